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

namespace {

// The mail account, recipients and commands the pictures show.
CTarvellDoc Settings() {
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
    return doc;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    ShotStage stage;
    if (const int rc = OpenShotStage(stage, "tarvell-email-shots", Settings())) return rc;
    {
        CTarvellApp app(stage.env);
        app.ReloadDocument();
        PromptRecorder prompt;
        {
            CPropertySheet sheet(QStringLiteral("Email Options"));
            AddEmailOptionsPages(sheet, app, prompt);
            stage.ShootSheet(sheet, {"settings-email-account.png", "settings-email-recipients.png",
                                     "settings-email-message.png", "settings-email-reports.png"});
        }
        {
            CPropertySheet sheet(QStringLiteral("Run Commands Options"));
            AddRunCommandsOptionsPages(sheet, app, prompt, DesktopFilePicker());
            stage.ShootSheet(sheet, {"settings-run-commands.png"});
        }
        {
            CAvailablePropertiesDlg dialog;
            dialog.Radio(4)->setChecked(true);
            dialog.show();
            stage.Shoot(dialog, "settings-available-properties.png");
        }
        {
            CCommandPropertiesDlg dialog(
                "stamp", std::string("/usr/bin/touch;/var/tmp/ran-$source_ip;nobody;;pw;"), prompt,
                DesktopFilePicker());
            dialog.show();
            stage.Shoot(dialog, "settings-command-properties.png");
        }
    }
    return stage.status;
}
