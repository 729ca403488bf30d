// One mail over STARTTLS with AUTH LOGIN against a local aiosmtpd: our client, and swaks doing
// the same dialogue (certificate checked against the same CA) in the same run. swaks is a
// separate program, so its figure includes starting it; that is what sending a mail with it
// costs.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <string>
#include <thread>

#include "platform/Files.h"
#include "platform/Process.h"
#include "platform/smtp/CSmtpClient.h"

extern char** environ;

namespace tarvell {
namespace {

std::string SourceDir() { return TARVELL_SOURCE_DIR; }

bool Run(const std::vector<std::string>& argv, const std::string& dir) {
    ProcessOptions o;
    o.argv = argv;
    o.workingDir = dir;
    o.timeLimitMs = 30'000;
    o.captureOutput = true;
    return RunProcess(o).Succeeded();
}

// The CA, a certificate for localhost, and one STARTTLS server offering AUTH LOGIN.
class Server {
public:
    Server() {
        dir = MakeTempFolder("tarvell-smtpbench-");
        const std::vector<std::string> ec = {"-newkey", "ec", "-pkeyopt",
                                             "ec_paramgen_curve:prime256v1", "-nodes"};
        auto with = [&](std::vector<std::string> a, std::vector<std::string> b) {
            a.insert(a.end(), ec.begin(), ec.end());
            a.insert(a.end(), b.begin(), b.end());
            return a;
        };
        AtomicWriteFile(dir + "/san.cnf", "subjectAltName=DNS:localhost,IP:127.0.0.1\n");
        Run(with({"openssl", "req", "-x509"},
                 {"-keyout", "ca.key", "-out", "ca.pem", "-days", "2", "-subj", "/CN=Bench CA"}),
            dir);
        Run(with({"openssl", "req"},
                 {"-keyout", "server.key", "-out", "server.csr", "-subj", "/CN=localhost"}),
            dir);
        Run({"openssl", "x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
             "-CAcreateserial", "-out", "server.pem", "-days", "2", "-extfile", "san.cnf"},
            dir);
        AtomicWriteFile(dir + "/servers.cfg",
                        "bench starttls LOGIN " + dir + "/server.pem " + dir + "/server.key\n");
        int in[2];
        if (::pipe2(in, O_CLOEXEC) != 0) return;
        std::vector<std::string> args = {"/usr/bin/python3",
                                         SourceDir() + "/tests/fixtures/smtp/smtp_server.py",
                                         dir + "/store", dir + "/servers.cfg"};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        const std::string log = dir + "/servers.log";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        stdinFd = in[1];
        for (int i = 0; i < 300 && port == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            const std::string out = ReadWholeFile(log).value_or("");
            const std::size_t at = out.find("bench=");
            if (at != std::string::npos && out.find('\n', at) != std::string::npos)
                port = std::stoi(out.substr(at + 6));
        }
    }
    ~Server() {
        if (stdinFd >= 0) ::close(stdinFd);
        if (pid > 0) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
        RemoveTree(dir);
    }
    std::string dir;
    pid_t pid = -1;
    int stdinFd = -1;
    int port = 0;
};

Server& TheServer() {
    static Server server;
    return server;
}

const char* kBody = "A new node was seen on core-sw port 7.\r\n";

void BM_OurClientStartTlsLogin(benchmark::State& state) {
    ::signal(SIGPIPE, SIG_IGN);
    Server& server = TheServer();
    smtp::SmtpSettings s;
    s.server = "localhost";
    s.port = static_cast<std::uint16_t>(server.port);
    s.security = "TLS";
    s.user = "alert-user";
    s.password = "s3cret^pass";
    s.sender = "tarvell@example.org";
    s.caFile = server.dir + "/ca.pem";
    s.timeout = std::chrono::seconds(10);
    for (auto _ : state) {
        smtp::CSmtpClient client;
        const auto r = client.SendMail(s, "ops@example.org", "New Mac", kBody, false);
        if (r.status != smtp::SendStatus::Delivered) state.SkipWithError(r.reason.c_str());
    }
}
BENCHMARK(BM_OurClientStartTlsLogin)->Unit(benchmark::kMillisecond)->Iterations(30);

void BM_SwaksStartTlsLogin(benchmark::State& state) {
    Server& server = TheServer();
    const std::vector<std::string> argv = {"swaks",
                                           "--silent",
                                           "2",
                                           "--server",
                                           "localhost",
                                           "--port",
                                           std::to_string(server.port),
                                           "--from",
                                           "tarvell@example.org",
                                           "--to",
                                           "ops@example.org",
                                           "--header",
                                           "Subject: New Mac",
                                           "--body",
                                           kBody,
                                           "--tls",
                                           "--tls-verify",
                                           "--tls-ca-path",
                                           server.dir + "/ca.pem",
                                           "--auth",
                                           "LOGIN",
                                           "--auth-user",
                                           "alert-user",
                                           "--auth-password",
                                           "s3cret^pass"};
    for (auto _ : state) {
        if (!Run(argv, server.dir)) state.SkipWithError("swaks failed");
    }
}
BENCHMARK(BM_SwaksStartTlsLogin)->Unit(benchmark::kMillisecond)->Iterations(30);

}  // namespace
}  // namespace tarvell

BENCHMARK_MAIN();
