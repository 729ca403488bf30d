// Real mail servers for the mail client's tests: one Python process (the distribution's
// aiosmtpd) with a server per security mode and AUTH mechanism on free loopback ports, a test CA
// and a server certificate made with openssl, and readers for what the servers stored.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/Files.h"
#include "platform/Process.h"
#include "platform/smtp/CSmtpClient.h"

extern char** environ;

namespace tarvell::smtp::test {

inline const char* kUser = "alert-user";
inline const char* kPassword = "s3cret^pass";  // '^' must reach the server as it stands

inline bool RunTool(const std::vector<std::string>& argv, const std::string& dir) {
    ProcessOptions o;
    o.argv = argv;
    o.workingDir = dir;
    o.timeLimitMs = 30'000;
    o.captureOutput = true;
    const ProcessResult r = RunProcess(o);
    if (!r.Succeeded()) ADD_FAILURE() << argv[0] << " " << argv[1] << " failed: " << r.err;
    return r.Succeeded();
}

// A CA, a server certificate it signed for localhost and 127.0.0.1, and a self-signed
// certificate for the same names that nobody trusts.
inline bool MakeCertificates(const std::string& dir) {
    const std::vector<std::string> ec = {"-newkey", "ec", "-pkeyopt",
                                         "ec_paramgen_curve:prime256v1", "-nodes"};
    auto req = [&](std::vector<std::string> head, std::vector<std::string> tail) {
        head.insert(head.end(), ec.begin(), ec.end());
        head.insert(head.end(), tail.begin(), tail.end());
        return RunTool(head, dir);
    };
    if (!AtomicWriteFile(dir + "/san.cnf", "subjectAltName=DNS:localhost,IP:127.0.0.1\n"))
        return false;
    return req({"openssl", "req", "-x509"}, {"-keyout", "ca.key", "-out", "ca.pem", "-days", "2",
                                             "-subj", "/CN=Tarvell Test CA"}) &&
           req({"openssl", "req"},
               {"-keyout", "server.key", "-out", "server.csr", "-subj", "/CN=localhost"}) &&
           RunTool(
               {"openssl", "x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                "-CAcreateserial", "-out", "server.pem", "-days", "2", "-extfile", "san.cnf"},
               dir) &&
           req({"openssl", "req", "-x509"},
               {"-keyout", "rogue.key", "-out", "rogue.pem", "-days", "2", "-subj", "/CN=localhost",
                "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1"});
}

struct ServerSpec {
    std::string name, security, mechanisms, cert;  // cert: "server", "rogue" or "-"
    std::uint16_t port = 0;                        // 0: a free port the system picks
};

class MailServers {
public:
    MailServers(const std::string& dir, const std::vector<ServerSpec>& specs) : dir_(dir) {
        std::string config;
        for (const auto& s : specs) {
            const std::string cert =
                s.cert == "-" ? "- -" : dir + "/" + s.cert + ".pem " + dir + "/" + s.cert + ".key";
            config += s.name + " " + s.security + " " + s.mechanisms + " " + cert;
            if (s.port != 0) config += " " + std::to_string(s.port);
            config += "\n";
        }
        if (!AtomicWriteFile(dir + "/servers.cfg", config)) return;
        int in[2];
        if (::pipe2(in, O_CLOEXEC) != 0) return;
        const std::string script =
            std::string(TARVELL_SOURCE_DIR) + "/tests/fixtures/smtp/smtp_server.py";
        const std::string log = dir + "/servers.log";
        std::vector<std::string> args = {"/usr/bin/python3", script, dir + "/store",
                                         dir + "/servers.cfg"};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        stdin_ = in[1];
        // Ready when the script has printed the ports of all servers.
        for (int i = 0; i < 300 && pid_ > 0 && ports_.empty(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            const std::string out = ReadWholeFile(log).value_or("");
            const std::size_t at = out.find("ready ");
            if (at == std::string::npos || out.find('\n', at) == std::string::npos) continue;
            std::istringstream words(out.substr(at + 6, out.find('\n', at) - at - 6));
            std::string word;
            while (words >> word) {
                const std::size_t eq = word.find('=');
                ports_[word.substr(0, eq)] =
                    static_cast<std::uint16_t>(std::stoi(word.substr(eq + 1)));
            }
        }
    }
    ~MailServers() {
        if (stdin_ >= 0) ::close(stdin_);
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    bool Ready() const { return !ports_.empty(); }
    std::string Log() const { return ReadWholeFile(dir_ + "/servers.log").value_or(""); }
    std::uint16_t Port(const std::string& name) const {
        const auto it = ports_.find(name);
        return it == ports_.end() ? 0 : it->second;
    }

    struct Stored {
        std::string data;      // the message as the server stored it
        std::string envelope;  // "from=", "to=", "auth=", "ehlo=" lines
    };
    // What the server took for the recipient, oldest first.
    std::vector<Stored> MessagesTo(const std::string& server, const std::string& recipient) const {
        return Read(dir_ + "/store/" + server + "/" + recipient);
    }
    // Every message the server took, for whichever recipient.
    std::size_t CountAll(const std::string& server) const {
        std::size_t n = 0;
        std::error_code ec;
        for (const auto& d : std::filesystem::directory_iterator(dir_ + "/store/" + server, ec))
            n += Read(d.path().string()).size();
        return n;
    }

private:
    static std::vector<Stored> Read(const std::string& folder) {
        std::vector<std::pair<int, std::string>> bases;
        std::error_code ec;
        for (const auto& f : std::filesystem::directory_iterator(folder, ec))
            if (f.path().extension() == ".eml")
                bases.emplace_back(std::stoi(f.path().stem().string()), f.path().string());
        std::sort(bases.begin(), bases.end());
        std::vector<Stored> out;
        for (const auto& [n, path] : bases) {
            const std::string base = path.substr(0, path.size() - 4);
            out.push_back(
                {ReadWholeFile(path).value_or(""), ReadWholeFile(base + ".env").value_or("")});
        }
        return out;
    }

    std::string dir_;
    pid_t pid_ = -1;
    int stdin_ = -1;
    std::map<std::string, std::uint16_t> ports_;
};

}  // namespace tarvell::smtp::test
