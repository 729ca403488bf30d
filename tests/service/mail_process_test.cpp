// The built TarvellSrv mailing an alert to a server that accepts the connection and never
// answers: a stop still ends the service at once. And a recipient whose dialogue hangs holds up
// neither the other recipients' mails nor the stop.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/stat.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <thread>

#include "platform/Files.h"
#include "platform/Text.h"
#include "shared/CTarvellDoc.h"
#include "shared/StateFiles.h"
#include "tests/platform/smtp/SmtpFixture.h"
#include "tests/support/RunningService.h"

namespace tarvell {
namespace {

using tarvell::testing::RunningService;
using tarvell::testing::WaitUntil;

const std::string kProgram = RunningService::Program();
const std::string kNewMacAtPort3 =
    "SwitchKey S1\nPortKey 3\nSourceMac 001122334455\n"
    "Category Detection\nEventType New Mac\nDescription New Mac\n";

// Detection and e-mail alerts on: the SMTP server `server` (127.0.0.1 unless named) at `port`,
// each wait one minute.
CTarvellDoc MailingSettings(const std::string& port, const std::vector<std::string>& recipients,
                            const std::string& server = "127.0.0.1") {
    CTarvellDoc doc;
    doc.SetDefaults();
    doc.DetectionEnabled = 1;
    doc.EmailAlertsEnabled = 1;
    doc.SmtpServer = server;
    doc.SmtpPort = port;
    doc.SmtpSender = "tarvell@test.local";
    doc.SmtpTimeout = "1";
    doc.EmailRecipients = recipients;
    return doc;
}

// Milliseconds from SIGTERM to the service's exit, which must be a clean one.
std::int64_t MsToStop(RunningService& service) {
    const auto stopAt = std::chrono::steady_clock::now();
    EXPECT_TRUE(service.Stop()) << service.Output();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 stopAt)
        .count();
}

// A mail server on 127.0.0.1 that never answers: the kernel accepts the connection; nobody
// ever reads or writes.
class SilentServer {
public:
    SilentServer() {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::listen(fd_, 8) == 0 &&
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port_ = std::to_string(ntohs(address.sin_port));
    }
    ~SilentServer() {
        for (int fd : accepted_) ::close(fd);
        ::close(fd_);
    }
    const std::string& Port() const { return port_; }  // empty when it could not listen
    // True once a client has connected (within 20 s); its connection stays open, unanswered.
    bool Accepted() {
        int held = -1;
        if (!WaitUntil([&] { return (held = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0; },
                       20'000))
            return false;
        accepted_.push_back(held);
        return true;
    }
    void CloseAccepted() {
        for (int fd : accepted_) ::close(fd);
        accepted_.clear();
    }

private:
    int fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    std::string port_;
    std::vector<int> accepted_;
};

// Whether a thread of process `pid` bears the name.
bool HasThreadNamed(pid_t pid, const std::string& name) {
    std::error_code error;
    for (const auto& task :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error))
        if (ReadWholeFile(task.path() / "comm").value_or("") == name + "\n") return true;
    return false;
}

// A SIGTERM while the e-mail channel waits for the greeting of a server on 127.0.0.1, or for the
// name server that is to find `server`, ends the service within 2 s, cleanly, with the event
// and its alert saved. (A server that stops answering later: AStalledRecipient... below.)
void StopWhileTheMailDialogueWaits(const std::string& server) {
    const bool lookup = server != "127.0.0.1";
    SilentServer silent;
    ASSERT_FALSE(silent.Port().empty());
    RunningService service("mail-stop-");
    if (lookup) {  // a private network and resolver; the machine's stay untouched
        ASSERT_TRUE(AtomicWriteFile(service.Root() / "resolv.conf", "nameserver 127.0.0.1\n"));
        service.RunThrough({"/usr/bin/unshare", "-mn", "--", "/bin/sh", "-c",
                            "ip link set lo up && nft 'add table ip t; add chain ip t in { type "
                            "filter hook input priority 0; }; add rule ip t in udp dport 53 drop' "
                            "&& mount --bind \"$1\" /etc/resolv.conf && shift && exec \"$@\"",
                            "sh", service.Root() / "resolv.conf"});
    }
    ASSERT_TRUE(service.Start(MailingSettings(silent.Port(), {"admin@test.local"}, server)));
    ASSERT_TRUE(service.Started()) << service.Output();
    ASSERT_TRUE(service.RecordEvent(kNewMacAtPort3, "S1/3")) << service.Output();
    // The channel has connected, or asks the name server; nothing answers until the end.
    if (lookup)
        ASSERT_TRUE(WaitUntil([&] { return HasThreadNamed(service.Pid(), "Name look-up"); },
                              20'000))
            << service.Output();
    else
        ASSERT_TRUE(silent.Accepted()) << service.Output();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));

    const auto ms = MsToStop(service);
    std::cout << "stopped " << ms << " ms after SIGTERM while a mail " << (lookup ? "name " : "")
              << "server hung\n";
    EXPECT_LT(ms, 2000) << service.Output();
    EXPECT_EQ(service.LinesWith("(stopped); the mail is tried again later").size(), 1u)
        << service.Output();
    const auto events = service.Read<EventDatabaseFile>(kEventDatabaseName);
    const auto alerts = service.Read<AlertLogFile>(kAlertLogName);
    ASSERT_TRUE(events && alerts);
    EXPECT_EQ(events->EventMap.size() + alerts->AlertLog.size(), 2u);
}

TEST(ServiceMail, AStopEndsTheServiceWhileAMailServerHangs) {
    if (!FileExists(kProgram)) GTEST_SKIP() << "TarvellSrv is not built";
    StopWhileTheMailDialogueWaits("127.0.0.1");
}

TEST(ServiceMail, AStopEndsTheServiceWhileTheNameServerHangs) {
    if (!FileExists(kProgram)) GTEST_SKIP() << "TarvellSrv is not built";
    if (::geteuid() != 0 || !FileExists("/usr/sbin/nft")) GTEST_SKIP() << "needs root and nft";
    StopWhileTheMailDialogueWaits("mail.tarvell.test");
}

// A server under STARTTLS that gives its reply to RCPT a byte a second: every byte that comes
// keeps the reply's wait going, and a stop still ends it, and the service, within 1 s.
TEST(ServiceMail, AStopEndsTheServiceWhileATlsReplyDrips) {
    if (!FileExists(kProgram)) GTEST_SKIP() << "TarvellSrv is not built";
    RunningService service("mail-drip-");
    const std::string mail = service.Root() / "mail";
    ASSERT_TRUE(MakeDirectories(mail) && MakeDirectories(service.Folder()));
    ASSERT_TRUE(smtp::test::MakeCertificates(mail));
    ASSERT_TRUE(AtomicWriteFile(JoinPath(service.Folder(), "smtp-ca.pem"),
                                ReadWholeFile(mail + "/ca.pem").value_or("")));
    smtp::test::MailServers servers(mail, {{"tls", "starttls", "none", "server"}});
    ASSERT_TRUE(servers.Ready()) << servers.Log();
    CTarvellDoc doc = MailingSettings(std::to_string(servers.Port("tls")), {"drip@test.local"});
    doc.SmtpSecurity = "TLS";
    ASSERT_TRUE(service.Start(doc));
    ASSERT_TRUE(service.Started()) << service.Output();
    ASSERT_TRUE(service.RecordEvent(kNewMacAtPort3, "S1/3")) << service.Output();
    ASSERT_TRUE(
        WaitUntil([&] { return servers.Log().find("dripping to") != std::string::npos; }, 20'000))
        << service.Output() << servers.Log();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // a byte or two came

    const auto ms = MsToStop(service);
    std::cout << "stopped " << ms << " ms after SIGTERM while a TLS reply dripped\n";
    EXPECT_LT(ms, 1000) << service.Output();
    EXPECT_EQ(
        service.LinesWith("no reply to RCPT TO (stopped); the mail is tried again later").size(),
        1u)
        << service.Output();
}

// An alert recorded and saved but not yet mailed when the service is killed (-9) is mailed after
// the restart.
TEST(ServiceMail, AnAlertNotMailedBeforeAKillIsMailedAfterTheRestart) {
    if (!FileExists(kProgram)) GTEST_SKIP() << "TarvellSrv is not built";
    SilentServer silent;
    ASSERT_FALSE(silent.Port().empty());
    RunningService service("mail-kill-");
    ASSERT_TRUE(service.Start(MailingSettings(silent.Port(), {"admin@test.local"})));
    ASSERT_TRUE(service.Started()) << service.Output();
    ASSERT_TRUE(service.RecordEvent(kNewMacAtPort3, "S1/3")) << service.Output();
    ASSERT_TRUE(silent.Accepted()) << service.Output();            // the mail's dialogue hangs here
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));  // some passes save the log
    service.Kill();
    silent.CloseAccepted();
    ASSERT_TRUE(service.Run());
    ASSERT_TRUE(service.WaitForLineWith("1 alerts recorded before the start but not yet delivered"))
        << service.Output();
    EXPECT_TRUE(silent.Accepted()) << service.Output();  // the alert is mailed again
}

TEST(ServiceMail, AStalledRecipientHoldsNeitherTheOthersMailNorTheStop) {
    if (!FileExists(kProgram)) GTEST_SKIP() << "TarvellSrv is not built";
    RunningService service("mail-stall-");
    const std::string mail = service.Root() / "mail";
    ASSERT_TRUE(MakeDirectories(mail));
    // The server never answers RCPT for "stall...": that dialogue hangs for the whole timeout.
    smtp::test::MailServers servers(mail, {{"plain", "plain", "none", "-"}});
    ASSERT_TRUE(servers.Ready()) << servers.Log();
    ASSERT_TRUE(service.Start(MailingSettings(std::to_string(servers.Port("plain")),
                                              {"stall@test.local", "admin@test.local"})));
    ASSERT_TRUE(service.Started()) << service.Output();
    for (int port = 1; port <= 3; ++port) {
        ASSERT_TRUE(service.RecordEvent("SwitchKey S1\nPortKey " + std::to_string(port) +
                                            "\nSourceMac 00112233445" + std::to_string(port) +
                                            "\nCategory Detection\nEventType New Mac\n"
                                            "Description New Mac\n",
                                        "S1/" + std::to_string(port)))
            << service.Output();
        const auto recorded = std::chrono::steady_clock::now();
        const bool mailed = WaitUntil(
            [&] {
                return servers.MessagesTo("plain", "admin@test.local").size() >=
                       static_cast<std::size_t>(port);
            },
            5'000);
        std::cout << "alert " << port << " mailed to the other recipient "
                  << std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::steady_clock::now() - recorded)
                         .count()
                  << " ms after it was recorded\n";
        ASSERT_TRUE(mailed) << service.Output() << servers.Log();
    }
    EXPECT_TRUE(servers.MessagesTo("plain", "stall@test.local").empty());

    const auto ms = MsToStop(service);
    std::cout << "stopped " << ms << " ms after SIGTERM while a recipient's dialogue hung\n";
    EXPECT_LT(ms, 2000) << service.Output();
}

// Fixed fault: a syslog listener "127.0.0.1\r\n127.0.0.9" wrote a second line beginning with the
// settings text. Mail, syslog, trap and hand-over paths here; the poll path in walk_test.
TEST(ServiceMail, TextsWithLineBreaksNeverStartALineOfTheLog) {
    if (!FileExists(kProgram)) GTEST_SKIP() << "TarvellSrv is not built";
    RunningService service("log-lines-");
    CTarvellDoc doc = MailingSettings("9", {"admin@test.local\r\nFORGED mail"});
    doc.SyslogAlertsOn = doc.SnmpAlertsOn = 1;
    doc.SyslogListeners = {"127.0.0.1\r\nFORGED syslog"};
    doc.SnmpManagers = {"127.0.0.1\r\nFORGED trap"};
    ASSERT_TRUE(service.Start(doc));
    ASSERT_TRUE(service.Started()) << service.Output();
    doc.SmtpPort = "1\r\nFORGED handover";  // logged by the hand-over's range check
    const std::string staged = service.Root() / "Tarvell.ini";
    ASSERT_TRUE(doc.SaveToFile(staged, true));
    ASSERT_EQ(::chmod(staged.c_str(), 0640), 0);
    ASSERT_EQ(::rename(staged.c_str(), service.HandOver().c_str()), 0);
    ASSERT_TRUE(AtomicWriteFile(service.EventFile(), kNewMacAtPort3));
    for (const char* path : {"mail", "syslog", "trap", "handover"})
        EXPECT_TRUE(service.WaitForLineWith(std::string("??FORGED ") + path, 30'000)) << path;
    MsToStop(service);
    for (const std::string& line : SplitAny(service.Output(), "\n"))
        EXPECT_NE(line.rfind("FORGED", 0), 0u) << line;
}

}  // namespace
}  // namespace tarvell
