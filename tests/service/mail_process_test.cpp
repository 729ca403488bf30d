// The built TarvellSrv mailing an alert to a server that holds the dialogue at one of its waits
// (or a name server that never answers): a stop still ends the service at once. And a recipient
// whose dialogue hangs holds up neither the other recipients' mails nor the stop.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/stat.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <thread>

#include "platform/Files.h"
#include "platform/Text.h"
#include "shared/CTarvellDoc.h"
#include "shared/StateFiles.h"
#include "tests/platform/smtp/SmtpFixture.h"
#include "tests/service/ServiceTestSupport.h"
#include "tests/support/Programs.h"

namespace tarvell {
namespace {

using tarvell::testing::BackgroundProgram;
using tarvell::testing::ServiceEnvironment;
using tarvell::testing::TempFolder;
using tarvell::testing::WaitUntil;

const std::string kProgram = tarvell::test::ServiceProgram();

// A service folder as a run before left it, with detection and e-mail alerts on: the SMTP server
// on 127.0.0.1 at `port`, each wait one minute.
bool InstallMailingService(const std::string& serviceFolder, const std::string& port,
                           const std::vector<std::string>& recipients,
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
    return MakeDirectories(serviceFolder + "/handover") && testing::SeedStateFiles(serviceFolder) &&
           doc.SaveToFile(JoinPath(serviceFolder, CTarvellDoc::kFileName), true);
}

// Milliseconds from SIGTERM to the service's exit, which must be a clean one.
std::int64_t MsToStop(BackgroundProgram& service) {
    const auto stopAt = std::chrono::steady_clock::now();
    EXPECT_TRUE(service.Signal(SIGTERM));
    EXPECT_EQ(service.WaitForExit(10'000), 0) << service.Output();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 stopAt)
        .count();
}

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
    // The silent server: the kernel accepts the connection; nobody ever reads or answers.
    const int silent = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(silent, 8), 0);
    ::getsockname(silent, reinterpret_cast<sockaddr*>(&address), &length);

    TempFolder root{"mail-stop-"};
    const std::string serviceFolder = root / "var/lib/tarvell";
    ASSERT_TRUE(InstallMailingService(serviceFolder, std::to_string(ntohs(address.sin_port)),
                                      {"admin@test.local"}, server));
    std::vector<std::string> argv = {kProgram, "-Run"};
    if (lookup) {  // a private network and resolver; the machine's stay untouched
        ASSERT_TRUE(AtomicWriteFile(root / "resolv.conf", "nameserver 127.0.0.1\n"));
        const std::string script =
            "ip link set lo up && nft 'add table ip t; add chain ip t in { type filter hook input "
            "priority 0; }; add rule ip t in udp dport 53 drop' && mount --bind \"$1\" "
            "/etc/resolv.conf && exec \"$2\" -Run";
        argv = {"/usr/bin/unshare",   "-mn",   "--", "/bin/sh", "-c", script, "sh",
                root / "resolv.conf", kProgram};
    }

    BackgroundProgram service(
        argv,
        ServiceEnvironment(root.Path(), {"TARVELL_PASS_INTERVAL_MS=200",
                                         "TARVELL_TEST_EVENT_FILE=" + (root / "event.txt")}),
        root / "output.txt");
    ASSERT_GT(service.Pid(), 0);
    ASSERT_TRUE(service.WaitForLineWith("Service started", 30'000)) << service.Output();
    ASSERT_TRUE(AtomicWriteFile(root / "event.txt",
                                "SwitchKey S1\nPortKey 3\nSourceMac 001122334455\n"
                                "Category Detection\nEventType New Mac\nDescription New Mac\n"));
    ASSERT_TRUE(service.WaitForLineWith("Test event recorded S1/3", 30'000)) << service.Output();
    // The channel has connected, or asks the name server; nothing answers until the end.
    int held = -1;
    ASSERT_TRUE(WaitUntil(
        [&] {
            if (lookup) return HasThreadNamed(service.Pid(), "Name look-up");
            held = ::accept4(silent, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            return held >= 0;
        },
        20'000))
        << service.Output();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));

    const auto ms = MsToStop(service);
    std::cout << "stopped " << ms << " ms after SIGTERM while a mail " << (lookup ? "name " : "")
              << "server hung\n";
    EXPECT_LT(ms, 2000) << service.Output();
    EXPECT_EQ(service.LinesWith("(stopped); the mail is tried again later").size(), 1u)
        << service.Output();
    EventDatabaseFile events;
    AlertLogFile alerts;
    EXPECT_TRUE(ReadStateFile(JoinPath(serviceFolder, kEventDatabaseName), events) &&
                ReadStateFile(JoinPath(serviceFolder, kAlertLogName), alerts));
    EXPECT_EQ(events.EventMap.size() + alerts.AlertLog.size(), 2u);
    ::close(held);
    ::close(silent);
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

// An alert recorded and saved but not yet mailed when the service is killed (-9) is mailed after
// the restart.
TEST(ServiceMail, AnAlertNotMailedBeforeAKillIsMailedAfterTheRestart) {
    if (!FileExists(kProgram)) GTEST_SKIP() << "TarvellSrv is not built";
    const int silent = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(silent, 8), 0);
    ::getsockname(silent, reinterpret_cast<sockaddr*>(&address), &length);
    auto accepted = [&] {
        int held = -1;
        WaitUntil(
            [&] {
                return (held = ::accept4(silent, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) >=
                       0;
            },
            20'000);
        return held;
    };

    TempFolder root{"mail-kill-"};
    const std::string serviceFolder = root / "var/lib/tarvell";
    ASSERT_TRUE(InstallMailingService(serviceFolder, std::to_string(ntohs(address.sin_port)),
                                      {"admin@test.local"}));
    const auto environment = ServiceEnvironment(
        root.Path(),
        {"TARVELL_PASS_INTERVAL_MS=200", "TARVELL_TEST_EVENT_FILE=" + (root / "event.txt")});
    int first = -1;
    {
        BackgroundProgram service({kProgram, "-Run"}, environment, root / "output1.txt");
        ASSERT_TRUE(service.WaitForLineWith("Service started", 30'000)) << service.Output();
        ASSERT_TRUE(
            AtomicWriteFile(root / "event.txt",
                            "SwitchKey S1\nPortKey 3\nSourceMac 001122334455\n"
                            "Category Detection\nEventType New Mac\nDescription New Mac\n"));
        ASSERT_TRUE(service.WaitForLineWith("Test event recorded S1/3", 30'000))
            << service.Output();
        first = accepted();  // the mail's dialogue hangs here
        ASSERT_GE(first, 0) << service.Output();
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));  // some passes save the log
        ASSERT_TRUE(service.Signal(SIGKILL));
        service.WaitForExit(10'000);
    }
    ::close(first);
    BackgroundProgram again({kProgram, "-Run"}, environment, root / "output2.txt");
    ASSERT_TRUE(
        again.WaitForLineWith("1 alerts recorded before the start but not yet delivered", 30'000))
        << again.Output();
    const int second = accepted();  // the alert is mailed again
    EXPECT_GE(second, 0) << again.Output();
    ::close(second);
    ::close(silent);
}

TEST(ServiceMail, AStalledRecipientHoldsNeitherTheOthersMailNorTheStop) {
    if (!FileExists(kProgram)) GTEST_SKIP() << "TarvellSrv is not built";
    TempFolder root{"mail-stall-"};
    ASSERT_TRUE(MakeDirectories(root / "mail"));
    // The server never answers RCPT for "stall...": that dialogue hangs for the whole timeout.
    smtp::test::MailServers servers(root / "mail", {{"plain", "plain", "none", "-"}});
    ASSERT_TRUE(servers.Ready()) << servers.Log();
    const std::string serviceFolder = root / "var/lib/tarvell";
    ASSERT_TRUE(InstallMailingService(serviceFolder, std::to_string(servers.Port("plain")),
                                      {"stall@test.local", "admin@test.local"}));

    BackgroundProgram service(
        {kProgram, "-Run"},
        ServiceEnvironment(root.Path(), {"TARVELL_PASS_INTERVAL_MS=200",
                                         "TARVELL_TEST_EVENT_FILE=" + (root / "event.txt")}),
        root / "output.txt");
    ASSERT_TRUE(service.WaitForLineWith("Service started", 30'000)) << service.Output();
    for (int port = 1; port <= 3; ++port) {
        const std::string name = "S1/" + std::to_string(port);
        ASSERT_TRUE(AtomicWriteFile(root / "event.txt",
                                    "SwitchKey S1\nPortKey " + std::to_string(port) +
                                        "\nSourceMac 00112233445" + std::to_string(port) +
                                        "\nCategory Detection\nEventType New Mac\n"
                                        "Description New Mac\n"));
        ASSERT_TRUE(service.WaitForLineWith("Test event recorded " + name, 30'000))
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
    TempFolder root{"log-lines-"};
    const std::string folder = root / "var/lib/tarvell", file = JoinPath(folder, "Tarvell.ini");
    ASSERT_TRUE(InstallMailingService(folder, "9", {"admin@test.local\r\nFORGED mail"}));
    CTarvellDoc doc;
    ASSERT_TRUE(doc.LoadFromFile(file));
    doc.SyslogAlertsOn = doc.SnmpAlertsOn = 1;
    doc.SyslogListeners = {"127.0.0.1\r\nFORGED syslog"};
    doc.SnmpManagers = {"127.0.0.1\r\nFORGED trap"};
    ASSERT_TRUE(doc.SaveToFile(file, true));
    BackgroundProgram service(
        {kProgram, "-Run"},
        ServiceEnvironment(root.Path(), {"TARVELL_PASS_INTERVAL_MS=200",
                                         "TARVELL_TEST_EVENT_FILE=" + (root / "event.txt")}),
        root / "output.txt");
    ASSERT_TRUE(service.WaitForLineWith("Service started", 30'000)) << service.Output();
    doc.SmtpPort = "1\r\nFORGED handover";  // logged by the hand-over's range check
    ASSERT_TRUE(doc.SaveToFile(root / "Tarvell.ini", true));
    ASSERT_EQ(::chmod((root / "Tarvell.ini").c_str(), 0640), 0);
    ASSERT_EQ(::rename((root / "Tarvell.ini").c_str(), (folder + "/handover/Tarvell.ini").c_str()),
              0);
    ASSERT_TRUE(AtomicWriteFile(root / "event.txt",
                                "SwitchKey S1\nPortKey 3\nSourceMac 001122334455\n"
                                "Category Detection\nEventType New Mac\nDescription New Mac\n"));
    for (const char* path : {"mail", "syslog", "trap", "handover"})
        EXPECT_TRUE(service.WaitForLineWith(std::string("??FORGED ") + path, 30'000)) << path;
    MsToStop(service);
    for (const std::string& line : SplitAny(service.Output(), "\n"))
        EXPECT_NE(line.rfind("FORGED", 0), 0u) << line;
}

}  // namespace
}  // namespace tarvell
