// Pictures of the Alerts settings panel and of the SNMP trap and syslog option sheets, with
// their target pages and a Set Filters dialog of two rows, against settings made here.
//   tarvell-alert-settings-shots --out DIR
#include <QApplication>
#include <QTimer>
#include <cstdio>

#include "platform/Files.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/shell/CommandRouter.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/settings/AlertTargetsUi.h"
#include "viewer/settings/AlertsSettingsUi.h"
#include "viewer/settings/CSettingsWnd.h"
#include "viewer/shots/ShotStage.h"
#include "viewer/widgets/ShellPage.h"

using namespace tarvell;

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    ShotStage stage;
    CTarvellDoc doc;
    doc.SetDefaults();
    doc.AlertRemoveDays = 90;
    doc.AlertArchiveEnabled = 1;
    doc.EmailAlertsEnabled = 1;
    doc.SyslogAlertsOn = 1;
    doc.SnmpAlertsOn = 1;
    doc.SnmpTrapStandard = 0;
    doc.SnmpTrapSpecific = 1;
    doc.SnmpTrapCommunityOn = 1;
    doc.SnmpTrapCommunity = "ops-ring";
    doc.SnmpTrapEnterprise = "1.3.6.1.4.1.99999";
    doc.SnmpManagers = {"10.0.0.9", "10.0.4.20|0/New*;"};
    doc.SyslogStandardMode = 0;
    doc.SyslogSpecificMode = 1;
    doc.SyslogFacility = 3;
    doc.SyslogSeverity = 4;
    doc.SyslogListeners = {"10.0.0.1|5/00A0*;0/New*;", "192.168.1.14"};
    const auto writeSettings = [&doc](const std::string& server) {
        return static_cast<bool>(doc.SaveToFile(JoinPath(server, "Tarvell.ini"), true));
    };
    if (const int rc = OpenShotStage(stage, "tarvell-alert-settings-shots", writeSettings))
        return rc;
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(JoinPath(stage.root, "config")));
    const QString& out = stage.out;
    int status = 0;
    {
        CTarvellApp app(stage.env);
        app.ReloadDocument();
        CommandRouter router;
        PromptRecorder prompt;
        PageContext context{app, router, prompt, {}, {}};
        {
            CSettingsWnd window(context, nullptr);
            router.SetRoot(window.Commands());
            window.resize(900, 560);
            window.show();
            router.Send(cmd::kSettingsAlerts);
            if (!SaveShot(window, out, "settings-alerts.png")) status = 1;
            window.hide();
        }
        {
            CPropertySheet sheet(QString::fromLatin1(kSyslogOptionsSheet));
            AddSyslogOptionsPages(sheet, app, prompt, nullptr);
            sheet.show();
            if (!SaveShot(sheet, out, "settings-syslog-options.png")) status = 1;
            sheet.SetActivePage(1);
            auto* page = static_cast<CTargetPage*>(sheet.Page(1));
            page->List()->setCurrentItem(page->List()->topLevelItem(0));
            if (!SaveShot(sheet, out, "settings-syslog-listeners.png")) status = 1;
            QTimer::singleShot(0, [&] {
                if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                    if (!SaveShot(*dialog, out, "settings-set-filters.png")) status = 1;
                    dialog->reject();
                }
            });
            page->EditFilters();
            sheet.hide();
        }
        {
            CPropertySheet sheet(QString::fromLatin1(kSnmpOptionsSheet));
            AddSnmpOptionsPages(sheet, app, prompt, nullptr);
            sheet.show();
            if (!SaveShot(sheet, out, "settings-snmp-trap.png")) status = 1;
            sheet.SetActivePage(1);
            if (!SaveShot(sheet, out, "settings-snmp-managers.png")) status = 1;
            sheet.hide();
        }
    }
    RemoveTree(stage.root);
    return status;
}
