// The built TarvellSrv logging texts of settings and peers that hold line breaks: every such
// text reaches the log on one line, so no line of the log starts with a text someone else chose.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "platform/Files.h"
#include "platform/Text.h"
#include "shared/CTarvellDoc.h"
#include "tests/service/ServiceTestSupport.h"
#include "tests/support/Programs.h"

namespace tarvell {
namespace {

using tarvell::testing::BackgroundProgram;
using tarvell::testing::ServiceEnvironment;
using tarvell::testing::TempFolder;

const std::string kProgram = tarvell::test::ServiceProgram();

// Fixed fault: a syslog listener "127.0.0.1\r\n127.0.0.9" made the service write a second line
// that began with the settings text.
TEST(ServiceLogLines, TextsWithLineBreaksStayOnTheirOwnLineOnEveryPath) {
    if (!FileExists(kProgram)) GTEST_SKIP() << "TarvellSrv is not built";
    TempFolder root{"log-lines-"};
    const std::string serviceFolder = root / "var/lib/tarvell";
    CTarvellDoc doc;
    doc.SetDefaults();
    doc.DetectionEnabled = 1;
    doc.EmailAlertsEnabled = 1;
    doc.SmtpServer = "127.0.0.1";
    doc.SmtpPort = "9";  // discard: nobody listens on loopback
    doc.SmtpSender = "tarvell@test.local";
    doc.EmailRecipients = {"admin@test.local\r\nFORGED mail"};
    doc.SyslogAlertsOn = 1;
    doc.SyslogListeners = {"127.0.0.1\r\nFORGED syslog"};
    doc.SnmpAlertsOn = 1;
    doc.SnmpManagers = {"127.0.0.1\r\nFORGED trap"};
    ASSERT_TRUE(MakeDirectories(serviceFolder + "/handover", 0770));
    ASSERT_TRUE(testing::SeedStateFiles(serviceFolder));
    ASSERT_TRUE(doc.SaveToFile(JoinPath(serviceFolder, CTarvellDoc::kFileName), true));

    BackgroundProgram service(
        {kProgram, "-Run"},
        ServiceEnvironment(root.Path(), {"TARVELL_PASS_INTERVAL_MS=200",
                                         "TARVELL_TEST_EVENT_FILE=" + (root / "event.txt")}),
        root / "output.txt");
    ASSERT_GT(service.Pid(), 0);
    ASSERT_TRUE(service.WaitForLineWith("Service started", 30'000)) << service.Output();
    // The hand-over path: a value out of range is logged with the value given.
    doc.SmtpPort = "1\r\nFORGED handover";
    const std::string staged = root / "Tarvell.ini";
    ASSERT_TRUE(doc.SaveToFile(staged, true));
    ASSERT_EQ(::chmod(staged.c_str(), 0640), 0);
    ASSERT_EQ(::rename(staged.c_str(), (serviceFolder + "/handover/Tarvell.ini").c_str()), 0);
    ASSERT_TRUE(AtomicWriteFile(root / "event.txt",
                                "SwitchKey S1\nPortKey 3\nSourceMac 001122334455\n"
                                "Category Detection\nEventType New Mac\nDescription New Mac\n"));

    for (const char* path : {"mail", "syslog", "trap", "handover"}) {
        EXPECT_TRUE(service.WaitForLineWith(std::string("??FORGED ") + path, 30'000))
            << path << "\n"
            << service.Output();
    }
    EXPECT_TRUE(service.Signal(SIGTERM));
    EXPECT_EQ(service.WaitForExit(10'000), 0);
    const std::string output = service.Output();
    EXPECT_EQ(output.find('\r'), std::string::npos);
    for (const std::string& line : SplitAny(output, "\n"))
        EXPECT_NE(line.rfind("FORGED", 0), 0u) << line;
}

}  // namespace
}  // namespace tarvell
