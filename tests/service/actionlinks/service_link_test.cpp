// The built TarvellSrv with its Http slot: the listener on the test port, the secret made at the
// first start, a mailed link carried out by the next pass, and a clean stop that frees the port.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "platform/Files.h"
#include "shared/CTarvellDoc.h"
#include "shared/StateFiles.h"
#include "tests/service/ServiceTestSupport.h"
#include "tests/service/actionlinks/ActionLinkFixture.h"

namespace tarvell::actionlinktest {
namespace {

using tarvell::testing::BackgroundProgram;
using tarvell::testing::ServiceEnvironment;
using tarvell::testing::TempFolder;
using tarvell::testing::WaitUntil;

const std::string kProgram = std::string(TARVELL_BINARY_DIR) + "/service/TarvellSrv";

// A port that was free a moment ago.
std::uint16_t FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

TEST(ServiceActionLinks, TheServiceServesLinksOnTheTestPortAndTheNextPassCarriesThemOut) {
    if (!FileExists(kProgram)) GTEST_SKIP() << "TarvellSrv is not built";
    TempFolder root{"link-process-"};
    const std::string serviceFolder = root / "var/lib/tarvell";
    ASSERT_TRUE(MakeDirectories(serviceFolder + "/handover"));
    // State files as a service that ran before leaves them, so the start-up takes no retries.
    ASSERT_TRUE(WriteStateFile(JoinPath(serviceFolder, kAlertLogName), AlertLogFile{}));
    ASSERT_TRUE(WriteStateFile(JoinPath(serviceFolder, kEventDatabaseName), EventDatabaseFile{}));
    ASSERT_TRUE(WriteStateFile(JoinPath(serviceFolder, kReportStoreName), ReportStoreFile{}));
    CTarvellDoc doc;
    doc.SetDefaults();
    doc.EmailUnblockLink = 1;
    ASSERT_TRUE(doc.SaveToFile(JoinPath(serviceFolder, CTarvellDoc::kFileName), true));

    const std::uint16_t port = FreePort();
    const std::string eventFile = root / "event.txt";
    BackgroundProgram service({kProgram, "-Run"},
                              ServiceEnvironment(root.Path(), {"TARVELL_PASS_INTERVAL_MS=200",
                                                               "TARVELL_HTTP_PORT=" + std::to_string(port),
                                                               "TARVELL_TEST_EVENT_FILE=" + eventFile}),
                              root / "output.txt");
    ASSERT_GT(service.Pid(), 0);
    ASSERT_TRUE(service.WaitForLineWith("Test settings: action-link port " + std::to_string(port), 30'000))
        << service.Output();
    ASSERT_TRUE(AtomicWriteFile(eventFile, "SwitchKey S1\nPortKey 3\nSourceMac 001122334455\nCategory Detection\n"
                                           "EventType New Mac\nDescription New Mac\nBlocked 1\n"));
    ASSERT_TRUE(service.WaitForLineWith("Test event recorded S1/3", 30'000)) << service.Output();
    ASSERT_TRUE(WaitUntil([&] {
        const int fd = Connect(port);
        if (fd >= 0) ::close(fd);
        return fd >= 0;
    }, 30'000)) << service.Output();

    // The secret: made at the first start, ours alone, and nowhere in the settings file.
    const std::string secretPath = JoinPath(serviceFolder, kLinkSecretFileName);
    struct stat st {};
    ASSERT_EQ(::lstat(secretPath.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    const std::string secretBytes = ReadWholeFile(secretPath).value_or("");
    ASSERT_EQ(secretBytes.size(), kLinkSecretBytes);
    EXPECT_EQ(ReadWholeFile(JoinPath(serviceFolder, CTarvellDoc::kFileName)).value_or("").find(secretBytes),
              std::string::npos);
    LinkSecret secret;
    std::copy(secretBytes.begin(), secretBytes.end(), secret.bytes.begin());

    const std::string post = " HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\n\r\n";
    EXPECT_EQ(StatusOf(Exchange(port, {"POST /?Prog=Tarvell&Event=S1/3&Action=None&Key=1&Auth=x" + post})), 403);
    EXPECT_EQ(BodyOf(Exchange(port, {"POST /" + MakeLinkQuery(secret, "S1/3", "None", "1") + post})), "Request OK.");

    const std::string host = PeerHostName("127.0.0.1");
    ASSERT_TRUE(WaitUntil([&] {
        EventDatabaseFile db;
        if (!ReadStateFile(JoinPath(serviceFolder, kEventDatabaseName), db)) return false;
        const auto it = db.EventMap.find("S1/3");
        return it != db.EventMap.end() && it->second->Blocked == 0 && it->second->Submitter == host;
    }, 20'000)) << service.Output();

    ASSERT_TRUE(service.Signal(SIGTERM));
    EXPECT_EQ(service.WaitForExit(10'000), 0) << service.Output();
    EXPECT_EQ(Connect(port), -1);
    const std::string httpLog = ReadWholeFile(JoinPath(serviceFolder, "Http.log")).value_or("");
    EXPECT_NE(httpLog.find(": Http Started...\r\n"), std::string::npos) << httpLog;
    EXPECT_NE(httpLog.find(": Http Request from 127.0.0.1\r\n"), std::string::npos) << httpLog;
}

}  // namespace
}  // namespace tarvell::actionlinktest
