// The server's settings against a real TarvellSrv on a temporary root: a server added for its
// folder and connected is current, the text tables the settings window brings in are taken
// over by the service, and the Local save is what a new viewer starts from (that the service's
// test alerts then carry those texts: alert_service_test). Only root and the administrators
// (tarvell-admin) may leave files in the hand-over folder.
#include <gtest/gtest.h>

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
using testing::WaitUntil;

TEST(SettingsServiceSystem, AnAddedServerTakesTheTablesAndIsTheSavedDefault) {
    if (!MayHandOver()) GTEST_SKIP() << "needs root or membership of group tarvell-admin";
    RunningService srv("settings-system-");
    const std::string service = srv.Folder();
    ASSERT_TRUE(srv.Start(CTarvellDoc{}));

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
