// The Access panel against a real TarvellSrv: a user for this viewer's account on this host,
// added through "Add User..." with two permissions and saved, is taken over by the service and
// is what a new viewer on that folder applies.
#include <QApplication>
#include <QTimer>
#include <gtest/gtest.h>

#include "tests/viewer/settings_service/SettingsServiceFixture.h"
#include "viewer/core/shell/ShellLogic.h"
#include "viewer/settings/CAccessSettingsPanel.h"
#include "viewer/settings/CSettingsWnd.h"
#include "viewer/widgets/CFlatToolBarCtrl.h"
#include "viewer/widgets/LinkLabel.h"

namespace tarvell {
namespace {

using testing::ConnectedViewer;
using testing::MayHandOver;
using testing::RunningService;

TEST(AccessServiceSystem, AUserSavedThroughThePanelIsWhatANewViewerApplies) {
    if (!MayHandOver()) GTEST_SKIP() << "needs root or membership of group tarvell-admin";
    CTarvellDoc doc;
    doc.SetDefaults();
    doc.ViewerUsers.clear();
    RunningService service("access-system-");
    ASSERT_TRUE(service.Start(doc)) << service.Output();
    auto viewer = std::make_unique<ConnectedViewer>(service);
    viewer->app.ReadIdentity();
    const MachineIdentity me = viewer->app.Identity();
    ASSERT_FALSE(me.UserName.empty());
    ASSERT_FALSE(me.ComputerName.empty());
    const std::string identity = me.UserName + "@" + me.ComputerName;
    {
        CSettingsWnd window(viewer->context, nullptr, &viewer->folders, &viewer->files);
        viewer->router.SetRoot(window.Commands());
        window.resize(900, 560);
        window.show();
        viewer->router.Send(cmd::kSettingsAccess);
        auto* panel = qobject_cast<CAccessSettingsPanel*>(window.VisiblePanel());
        ASSERT_TRUE(panel);
        QTimer::singleShot(0, [&] {
            auto* sheet = qobject_cast<CPropertySheet*>(QApplication::activeModalWidget());
            if (!sheet) return;
            auto* general = qobject_cast<CSettingsAccessUser*>(sheet->Page(0));
            general->NameEdit()->setText(QString::fromStdString(me.UserName));
            general->ComputerBox()->click();
            general->ComputerEdit()->setText(QString::fromStdString(me.ComputerName));
            sheet->SetActivePage(1);
            auto* page = qobject_cast<CSettingsAccessPermissions*>(sheet->Page(1));
            emit page->UncheckAllLink()->activated(0);
            for (std::size_t i = 0; i < kPermissionItems; ++i)
                if (PermissionText(i) == "Start Service" || PermissionText(i) == "Nodes Settings")
                    page->Item(i)->setCheckState(0, Qt::Checked);
            sheet->PressOk();
            if (sheet->isVisible()) sheet->PressCancel();
        });
        panel->AddButton()->click();
        ASSERT_EQ(panel->Users().size(), 2u);
        EXPECT_TRUE(window.SaveButton()->isEnabled());
        viewer->router.Send(cmd::kSettingsSave);
        EXPECT_FALSE(window.SaveButton()->isEnabled()) << "stored";
    }
    ASSERT_TRUE(service.HandOverTaken()) << service.Output();
    const std::string ini = service.PrintIni();
    EXPECT_NE(ini.find(identity + "/;Start Service;Nodes Settings;"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Guest/Built-in account"), std::string::npos) << ini;

    viewer = std::make_unique<ConnectedViewer>(service);
    viewer->app.ReadIdentity();
    EXPECT_EQ(viewer->app.GetUserPermissions(), "Start Service;Nodes Settings;");
    CSettingsWnd window(viewer->context, nullptr, &viewer->folders, &viewer->files);
    window.show();
    for (CommandId c : {cmd::kSettingsLocal, cmd::kSettingsAccess, cmd::kSettingsSnmp,
                        cmd::kSettingsDevices, cmd::kSettingsNodes, cmd::kSettingsAlerts})
        EXPECT_EQ(window.Toolbar()->Button(window.Toolbar()->CommandToIndex(c)).enabled,
                  c == cmd::kSettingsLocal || c == cmd::kSettingsNodes)
            << c;
    EXPECT_FALSE(CommandGranted(cmd::kStopServer, true, viewer->app.GetUserPermissions()));
    EXPECT_TRUE(CommandGranted(cmd::kStartServer, true, viewer->app.GetUserPermissions()));
}

}  // namespace
}  // namespace tarvell
