// Pictures of the settings window: the Local panel with two servers, the Access panel with Guest
// and two users and the "Add User" sheet's two pages, the window of a viewer user without some
// categories, and the popup options sheet, against settings made here in a
// temporary tree.
//   tarvell-settings-shots --out DIR
#include <QApplication>
#include <cstdio>

#include "viewer/shots/SettingsWindowShot.h"
#include "viewer/shots/ShotStage.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/shell/CommandRouter.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/settings/CAccessSettingsPanel.h"
#include "viewer/settings/CLocalSettingsPanel.h"
#include "viewer/settings/CSettingsLocalPopup.h"
#include "viewer/widgets/CSortListCtrl.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/Images.h"
#include "viewer/widgets/Pickers.h"

using namespace tarvell;

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    ShotStage stage;
    CTarvellDoc doc;
    doc.SetDefaults();
    if (const int rc = OpenShotStage(stage, "tarvell-settings-shots", doc)) return rc;
    stage.env.identity.userName = [] { return std::string("alice"); };
    {
        CTarvellApp app(stage.env);
        app.ReadIdentity();
        app.ReloadDocument();
        ServerMap servers;
        app.CopyServers(servers);
        servers["Branch Office"] = CServerItem{0, "//branch-fs/tarvell"};
        app.SetServers(servers);
        app.SetPopupPreferences(1, 30, "/usr/share/sounds/tarvell/alert.wav");

        CommandRouter router;
        PromptRecorder prompt;
        PageContext context{app, router, prompt, {}, {}};
        WithSettingsWindow(context, [&](CSettingsWnd& window) {
            window.LocalPanel()->List()->setFocus();
            stage.Shoot(window, "settings-local.png");
        });
        doc.ViewerUsers = {GuestEntry(), "alice@CORP/Network administrator;" + NewUserPermissions(),
                           "Everyone@10.1.2.3/Help desk;Detection Monitor;Detection Alerts;"};
        app.Document().Fields().ViewerUsers = doc.ViewerUsers;
        if (!app.SaveDocument()) stage.status = 1;
        WithSettingsWindow(context, [&](CSettingsWnd& window) {
            router.Send(cmd::kSettingsAccess);
            stage.Shoot(window, "settings-access.png");
        });
        {
            ViewerUsers users = doc.ViewerUsers;
            CPropertySheet sheet(QStringLiteral("Add User"));
            auto* general = new CSettingsAccessUser(prompt, users, {"CORP"}, {"desk7"});
            sheet.AddPage(general);
            sheet.AddPage(new CSettingsAccessPermissions(
                prompt, users, std::string(), [general] { return IdentityOf(general->Form()); }));
            sheet.show();
            general->NameEdit()->setText(QStringLiteral("bob"));
            general->DomainBox()->click();
            general->DomainEdit()->setText(QStringLiteral("CORP"));
            general->DescriptionEdit()->setPlainText(QStringLiteral("Night shift operator"));
            stage.Shoot(sheet, "settings-add-user-general.png");
            sheet.SetActivePage(1);
            stage.Shoot(sheet, "settings-add-user-permissions.png");
            sheet.hide();
        }
        doc.ViewerUsers = {"alice/Alice;Snmp Settings;Nodes Settings;"};
        app.Document().Fields().ViewerUsers = doc.ViewerUsers;
        if (!app.SaveDocument()) stage.status = 1;
        WithSettingsWindow(context, [&](CSettingsWnd& window) {
            router.Send(cmd::kSettingsSnmp);
            stage.Shoot(window, "settings-gated.png");
        });
        {
            CPropertySheet sheet(QStringLiteral("Popup Options"));
            sheet.AddPage(new CSettingsLocalPopup(app, prompt, DesktopFilePicker()));
            stage.ShootSheet(sheet, {"settings-popup-options.png"});
        }
    }
    return stage.status;
}
