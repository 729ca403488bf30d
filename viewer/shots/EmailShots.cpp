// Pictures of the e-mail and run-command options: the Email Options pages (Account with a
// masked password, Recipients, E-mail, Reports), the Run Commands Options sheet, the Available
// Properties dialog and the Command Properties dialog, against settings made here in a
// temporary tree.
//   tarvell-email-shots --out DIR
#include <QApplication>
#include <cstdio>

#include "platform/Files.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/settings/EmailAlertSettings.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/settings/EmailAlertSettingsUi.h"
#include "viewer/settings/RunCommandsUi.h"
#include "viewer/shots/ShotStage.h"
#include "viewer/widgets/CCheckListCtrl.h"
#include "viewer/widgets/Pickers.h"

using namespace tarvell;

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    ShotStage stage;
    CTarvellDoc doc;
    doc.SetDefaults();
    doc.SmtpServer = "mail.corp.example";
    doc.SmtpPort = "587";
    doc.SmtpSender = "tarvell@corp.example";
    doc.SmtpUser = "tarvell";
    doc.SmtpPassword = "s3cret";
    doc.SmtpSecurity = "TLS";
    doc.SmtpTimeout = "3";
    doc.EmailSubject = "Tarvell: $alert";
    doc.ReportColumns[4] = 0;
    doc.EmailRecipients = {"noc@corp.example", "security@corp.example|0/Unauthorized*;"};
    doc.RunCommands = {"stamp;/usr/bin/touch;/var/tmp/ran-$source_ip;nobody;;pw;",
                       "page;/usr/local/bin/page-oncall;$alert;;;;|1/core-*;"};
    const auto writeSettings = [&doc](const std::string& server) {
        return static_cast<bool>(doc.SaveToFile(JoinPath(server, "Tarvell.ini"), true));
    };
    if (const int rc = OpenShotStage(stage, "tarvell-email-shots", writeSettings)) return rc;
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(JoinPath(stage.root, "config")));
    int status = 0;
    {
        CTarvellApp app(stage.env);
        app.ReloadDocument();
        PromptRecorder prompt;
        {
            CPropertySheet sheet(QStringLiteral("Email Options"));
            AddEmailOptionsPages(sheet, app, prompt);
            sheet.show();
            if (!SaveShot(sheet, stage.out, "settings-email-account.png")) status = 1;
            sheet.SetActivePage(1);
            if (!SaveShot(sheet, stage.out, "settings-email-recipients.png")) status = 1;
            sheet.SetActivePage(2);
            if (!SaveShot(sheet, stage.out, "settings-email-message.png")) status = 1;
            sheet.SetActivePage(3);
            if (!SaveShot(sheet, stage.out, "settings-email-reports.png")) status = 1;
            sheet.hide();
        }
        {
            CPropertySheet sheet(QStringLiteral("Run Commands Options"));
            AddRunCommandsOptionsPages(sheet, app, prompt, DesktopFilePicker());
            sheet.show();
            if (!SaveShot(sheet, stage.out, "settings-run-commands.png")) status = 1;
            sheet.hide();
        }
        {
            CAvailablePropertiesDlg dialog;
            dialog.Radio(4)->setChecked(true);
            dialog.show();
            if (!SaveShot(dialog, stage.out, "settings-available-properties.png")) status = 1;
        }
        {
            CCommandPropertiesDlg dialog(
                "stamp", std::string("/usr/bin/touch;/var/tmp/ran-$source_ip;nobody;;pw;"), prompt,
                DesktopFilePicker());
            dialog.show();
            if (!SaveShot(dialog, stage.out, "settings-command-properties.png")) status = 1;
        }
    }
    RemoveTree(stage.root);
    return status;
}
