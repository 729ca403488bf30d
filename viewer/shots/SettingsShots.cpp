// Pictures of the settings window: the Local panel with two servers, the Access panel with Guest
// and two users and the "Add User" sheet's two pages, the window of a viewer user without some
// categories, and the popup options sheet, against settings made here in a
// temporary tree.
//   tarvell-settings-shots --out DIR
#include <QApplication>
#include <cstdio>

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
#include "viewer/settings/CSettingsWnd.h"
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
    const auto writeSettings = [&doc](const std::string& server) {
        return static_cast<bool>(doc.SaveToFile(JoinPath(server, "Tarvell.ini"), true));
    };
    if (const int rc = OpenShotStage(stage, "tarvell-settings-shots", writeSettings)) return rc;
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(JoinPath(stage.root, "config")));
    const QString& out = stage.out;
    ViewerEnvironment& env = stage.env;
    const std::string& root = stage.root;
    env.identity.userName = [] { return std::string("alice"); };
    int status = 0;
    {
        CTarvellApp app(env);
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
        {
            CSettingsWnd window(context, nullptr);
            router.SetRoot(window.Commands());
            window.resize(900, 560);
            window.show();
            window.LocalPanel()->List()->setFocus();
            if (!SaveShot(window, out, "settings-local.png")) status = 1;
            window.hide();
        }
        doc.ViewerUsers = {GuestEntry(), "alice@CORP/Network administrator;" + NewUserPermissions(),
                           "Everyone@10.1.2.3/Help desk;Detection Monitor;Detection Alerts;"};
        app.Document().Fields().ViewerUsers = doc.ViewerUsers;
        if (!app.SaveDocument()) status = 1;
        {
            CSettingsWnd window(context, nullptr);
            router.SetRoot(window.Commands());
            window.resize(900, 560);
            window.show();
            router.Send(cmd::kSettingsAccess);
            if (!SaveShot(window, out, "settings-access.png")) status = 1;
            window.hide();
        }
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
            if (!SaveShot(sheet, out, "settings-add-user-general.png")) status = 1;
            sheet.SetActivePage(1);
            if (!SaveShot(sheet, out, "settings-add-user-permissions.png")) status = 1;
            sheet.hide();
        }
        doc.ViewerUsers = {"alice/Alice;Snmp Settings;Nodes Settings;"};
        app.Document().Fields().ViewerUsers = doc.ViewerUsers;
        if (!app.SaveDocument()) status = 1;
        {
            CSettingsWnd window(context, nullptr);
            router.SetRoot(window.Commands());
            window.resize(900, 560);
            window.show();
            router.Send(cmd::kSettingsSnmp);
            if (!SaveShot(window, out, "settings-gated.png")) status = 1;
            window.hide();
        }
        {
            CPropertySheet sheet(QStringLiteral("Popup Options"));
            sheet.AddPage(new CSettingsLocalPopup(app, prompt, DesktopFilePicker()));
            sheet.show();
            if (!SaveShot(sheet, out, "settings-popup-options.png")) status = 1;
            sheet.hide();
        }
    }
    RemoveTree(root);
    return status;
}
