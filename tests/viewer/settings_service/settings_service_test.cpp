// The server's settings against a real TarvellSrv on a temporary root: a server added for its
// folder and connected is current, the text tables the settings window brings in are taken
// over by the service, a syslog test code brings the settings' listener the test line, and the
// Local save is what a new viewer starts from. Only root and the administrators
// (tarvell-admin) may leave files in the hand-over folder.
#include <gtest/gtest.h>

#include "platform/Clock.h"
#include "viewer/core/service/ServiceControl.h"
#include "viewer/core/base/CommandIds.h"
#include "viewer/settings/CLocalSettingsPanel.h"
#include "viewer/settings/CSettingsWnd.h"
#include "viewer/widgets/CSortListCtrl.h"
#include "tests/viewer/settings_service/SettingsServiceFixture.h"

namespace tarvell {
namespace {

using testing::ConnectedViewer;
using testing::MayHandOver;
using testing::RunningService;
using testing::ScriptedFolder;
using testing::UdpListener;
using testing::WaitUntil;

TEST(SettingsServiceSystem, AnAddedServerTakesTheTablesHearsTheSyslogTestAndIsTheSavedDefault) {
    if (!MayHandOver()) GTEST_SKIP() << "needs root or membership of group tarvell-admin";
    UdpListener listener;
    CTarvellDoc doc;
    doc.SyslogAlertsOn = 1;
    doc.SyslogStandardMode = 1;
    doc.SyslogListeners = {"127.0.0.1"};
    RunningService srv("settings-system-");
    const std::string service = srv.Folder();
    ASSERT_TRUE(srv.Start(doc, {"TARVELL_SYSLOG_PORT=" + std::to_string(listener.Port())}));

    // The window is shown on a viewer whose only server is elsewhere; "Add Server..." for the
    // service's folder and Connect, before any Save, make it current.
    Registry registry(srv.Root() / "machine", srv.Root() / "user");
    const ViewerEnvironment viewer = ConnectedViewer::MakeEnvironment(srv, registry);
    CTarvellApp app(viewer);
    CommandRouter router;
    PromptRecorder prompt;
    PageContext context{app, router, prompt, {}, {}};
    context.connectServer = [&](const std::string& name, const std::string& folder) {
        return app.SelectServer(name, folder);
    };
    ScriptedFolder folders;
    folders.answer = QString::fromStdString(service);
    CSettingsWnd window(context, nullptr, &folders, nullptr);
    router.SetRoot(window.Commands());
    window.resize(900, 560);
    window.show();
    CLocalSettingsPanel* local = window.LocalPanel();
    local->AddServer();
    const std::size_t added = local->Servers().Rows().size() - 1;
    const std::string name = local->Servers().Rows()[added].name;
    local->List()->SelectRow(static_cast<int>(added));
    const std::string ini = JoinPath(service, CTarvellDoc::kFileName);
    ASSERT_TRUE(WaitUntil([&] { return FileExists(ini); }, 10'000)) << srv.Output();
    local->RunCommand(cmd::kConnectServer);
    EXPECT_EQ(app.Server().Folder, service);
    local->RunCommand(cmd::kServerDefault);  // Local Save with the row as the default
    router.Send(cmd::kSettingsSave);
    EXPECT_FALSE(window.SaveButton()->isEnabled()) << "stored";

    // Showing the window again brings the text tables into the settings; the service takes the
    // hand-over copy and its settings file then holds them.
    window.hide();
    window.show();
    EXPECT_TRUE(srv.HandOverTaken()) << srv.Output();
    const std::string printed = srv.PrintIni();
    EXPECT_NE(printed.find("Quenmark Tarvell - Test message"), std::string::npos) << printed;

    SystemClock clock;
    PidFileServiceBackend::Options options;
    options.runFolder = srv.Root() / "run/tarvell";
    options.programPath = RunningService::Program();
    options.environment = srv.Environment();
    ServiceControl control(
        [] { return std::string(); },
        [&](const std::string&) { return std::make_unique<PidFileServiceBackend>(options); },
        clock);
    ASSERT_TRUE(WaitUntil([&] { return control.QueryServerState() == kServiceRunning; }, 10'000))
        << srv.Output();

    // The engine takes test codes a moment after the state reads RUNNING: send again until heard.
    std::string line;
    for (int attempt = 0; attempt < 10 && line.empty(); ++attempt) {
        ASSERT_TRUE(control.SendTestAlert(kTestSyslog));
        line = listener.Receive(2000);
    }
    EXPECT_NE(line.find("Quenmark Tarvell - Test message"), std::string::npos) << line << "\n"
                                                                               << srv.Output();

    // A new viewer reads the Local Save back with the added row as its default.
    CTarvellApp again(viewer);
    ServerMap saved;
    again.CopyServers(saved);
    const auto choice = DefaultServer(saved);
    ASSERT_TRUE(choice);
    EXPECT_EQ(choice->Name, name);
    EXPECT_EQ(choice->Folder, service);
}

}  // namespace
}  // namespace tarvell
