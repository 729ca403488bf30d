// Pictures of the Alerts settings panel and of the SNMP trap and syslog option sheets, with
// their target pages and a Set Filters dialog of two rows, against settings made here.
//   tarvell-alert-settings-shots --out DIR
#include <QApplication>
#include <QTimer>
#include <cstdio>

#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/shell/CommandRouter.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/settings/AlertTargetsUi.h"
#include "viewer/settings/AlertsSettingsUi.h"
#include "viewer/shots/SettingsWindowShot.h"
#include "viewer/shots/ShotStage.h"
#include "viewer/widgets/ShellPage.h"

using namespace tarvell;

namespace {

// The alert channels, trap managers and syslog listeners the pictures show.
CTarvellDoc Settings() {
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
    return doc;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    ShotStage stage;
    if (const int rc = OpenShotStage(stage, "tarvell-alert-settings-shots", Settings())) return rc;
    {
        CTarvellApp app(stage.env);
        app.ReloadDocument();
        CommandRouter router;
        PromptRecorder prompt;
        PageContext context{app, router, prompt, {}, {}};
        WithSettingsWindow(context, [&](CSettingsWnd& window) {
            router.Send(cmd::kSettingsAlerts);
            stage.Shoot(window, "settings-alerts.png");
        });
        {
            CPropertySheet sheet(QString::fromLatin1(kSyslogOptionsSheet));
            AddSyslogOptionsPages(sheet, app, prompt, nullptr);
            sheet.show();
            stage.Shoot(sheet, "settings-syslog-options.png");
            sheet.SetActivePage(1);
            auto* page = static_cast<CTargetPage*>(sheet.Page(1));
            page->List()->setCurrentItem(page->List()->topLevelItem(0));
            stage.Shoot(sheet, "settings-syslog-listeners.png");
            QTimer::singleShot(0, [&] {
                if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                    stage.Shoot(*dialog, "settings-set-filters.png");
                    dialog->reject();
                }
            });
            page->EditFilters();
            sheet.hide();
        }
        {
            CPropertySheet sheet(QString::fromLatin1(kSnmpOptionsSheet));
            AddSnmpOptionsPages(sheet, app, prompt, nullptr);
            stage.ShootSheet(sheet, {"settings-snmp-trap.png", "settings-snmp-managers.png"});
        }
    }
    return stage.status;
}
