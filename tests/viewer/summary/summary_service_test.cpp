// The summary's state text against a real TarvellSrv run in the foreground: the events reader
// asks the service control after its pass, the hub announces the change, and the shown panel
// follows without a timer of its own.
#include <QTest>
#include <gtest/gtest.h>

#include "tests/service/ServiceTestSupport.h"
#include "tests/viewer/core/ViewerFixture.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/core/service/ServiceControl.h"
#include "viewer/summary/CSummaryWnd.h"
#include "viewer/summary/SummaryPanels.h"

namespace tarvell::test {
namespace {

class SummaryServiceTest : public ViewerFixture {};

TEST_F(SummaryServiceTest, AStartAndAStopOfTheServiceReachTheShownSummaryThroughTheHub) {
    testing::TempFolder root{"viewer-summary-service-"};
    const std::string state = root / "var/lib/tarvell";
    ASSERT_TRUE(MakeDirectories(state));
    ASSERT_TRUE(WriteStateFile(JoinPath(state, kAlertLogName), AlertLogFile{}));
    ASSERT_TRUE(WriteStateFile(JoinPath(state, kEventDatabaseName), EventDatabaseFile{}));
    ASSERT_TRUE(WriteStateFile(JoinPath(state, kReportStoreName), ReportStoreFile{}));
    PidFileServiceBackend::Options options;
    options.runFolder = root / "run/tarvell";
    options.programPath = ServiceProgram();
    options.environment =
        testing::ServiceEnvironment(root.Path(), {"TARVELL_PASS_INTERVAL_MS=200"});
    SystemClock clock;
    ServiceControl control(
        [] { return std::string(); },
        [&](const std::string&) { return std::make_unique<PidFileServiceBackend>(options); },
        clock);

    WriteSettings(DefaultSettings());
    CTarvellApp& app = StartApp();
    ASSERT_TRUE(app.ReloadDocument());
    app.SetServiceProbe([&] { return control.QueryServerState(); });
    CSummaryWnd page(app, [](int) {});
    page.resize(900, 560);
    page.show();
    app.StartReaders();
    const auto shows = [&](const char* text) {
        return QTest::qWaitFor([&] { return page.SummaryDlg()->Text(1007) == text; }, 10'000);
    };
    EXPECT_TRUE(shows("Stopped")) << page.SummaryDlg()->Text(1007).toStdString();

    testing::BackgroundProgram service({ServiceProgram(), "-Run"}, *options.environment,
                                       root / "output.txt");
    ASSERT_GT(service.Pid(), 0);
    EXPECT_TRUE(shows("Running Normally")) << service.Output();
    PromptRecorder prompt;
    EXPECT_TRUE(control.StopServer(prompt));
    EXPECT_TRUE(shows("Stopped")) << page.SummaryDlg()->Text(1007).toStdString();
    EXPECT_EQ(service.WaitForExit(10'000), 0) << service.Output();
    app.SetServiceProbe(nullptr);  // before `control` goes
}

}  // namespace
}  // namespace tarvell::test
