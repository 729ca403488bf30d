// Pictures of the protection list (detection and prevention, each with a row selected), of the
// Unauthorized, Threatened, Script and WMI detection pages with the WMI properties dialog, of the
// prevention pages (alerts, SNMP, a schedule with a dated row and its dialog, automatic
// unblocking) and of the protection overview against a settings file made here in a temporary
// tree.
//   tarvell-protection-shots --out DIR
#include <QApplication>
#include <cstdio>
#include <functional>

#include "viewer/shots/ShotStage.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/shell/CommandRouter.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/protection/CProtectionListWnd.h"
#include "viewer/protection/CProtectionSummaryWnd.h"
#include "viewer/protection/CProtectionDetectChanges.h"
#include "viewer/protection/CProtectionDetectNew.h"
#include "viewer/protection/CProtectionDetectScript.h"
#include "viewer/protection/CProtectionDetectThreats.h"
#include "viewer/protection/CProtectionDetectUnauthorized.h"
#include "viewer/protection/CProtectionDetectWmi.h"
#include "viewer/protection/CWmiPropertiesDlg.h"
#include "viewer/core/protection/ProtectionRows.h"
#include "viewer/widgets/CPropertySheet.h"
#include "viewer/widgets/TextConv.h"
#include "viewer/protection/PreventionPagesUi.h"
#include "viewer/widgets/CPaintListCtrl.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/Images.h"

using namespace tarvell;

namespace {

bool WriteFixtures(const std::string& server) {
    CTarvellDoc doc;
    doc.SetDefaults();
    doc.DetectionEnabled = 1;
    doc.PreventionEnabled = 0;
    doc.NodesCountThreshold = 4;
    doc.NewMacEnabled = 1;
    doc.ReceiveThreshold = 80;
    doc.BroadcastThreshold = 250;
    doc.BlackListEnabled = 1;
    doc.LinkupScriptFile = "/opt/tarvell/linkup.sh";
    doc.LinkupScriptLogon = "admin/OFFICE/secret";
    doc.WmiConditions = {"0;6.1|10.0", "3;KB955839|KB2918614", "5;winlogon.exe"};
    doc.WmiNodesMode = "1";
    doc.PreventAlertsEnabled = 1;
    doc.UnblockAfterMinutes = 30;
    doc.UnblockSystemBlocked = 1;
    doc.SnmpPreventionEnabled = 1;
    doc.SnmpPreventionMethod = 0;
    doc.SnmpBlockQuery = "1.3.6.1.2.1.2.2.1.7.12/2";
    doc.SnmpUnblockQuery = "1.3.6.1.2.1.2.2.1.7.12/1";
    doc.PreventionSchedule = {"0/18:00:00/23:59:59", "2/00:00:00/06:30:00"};
    return WriteSettingsFile(server, doc);
}

bool Show(CProtectionListWnd& page, CommandId mode) {
    page.hide();
    page.SetMode(mode);
    const int fills = page.Fills();
    page.show();
    for (int i = 0; i < 200 && page.Fills() == fills; ++i)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    Settle(100);
    return page.Fills() > fills;
}

// The page of row `row` alone in its sheet, shown without running it; `arrange` runs once the
// page is filled.
bool ShootPage(CPropertyPage* page, ProtectionSide side, int row, const QString& out,
               const char* name, const std::function<void()>& arrange = {}) {
    CPropertySheet sheet(FromUtf8(SplitRowText(ProtectionRowText(side, row)).title));
    sheet.AddPage(page);
    sheet.show();
    Settle(100);
    if (arrange) {
        arrange();
        Settle(100);
    }
    const bool saved = SaveShot(sheet.grab(), out, name);
    sheet.hide();
    return saved;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    ShotStage stage;
    if (const int rc = OpenShotStage(stage, "tarvell-protection-shots", WriteFixtures)) return rc;
    const QString& out = stage.out;
    int& status = stage.status;
    {
        CTarvellApp app(stage.env);
        app.ReloadDocument();
        CommandRouter router;
        PromptRecorder prompt;
        CProtectionListWnd page(PageContext{app, router, prompt, {}}, nullptr);
        page.resize(1000, 560);
        if (!Show(page, cmd::kIntrusionDetection)) status = 1;
        page.List()->SelectRow(1);
        page.ShowRowDetails(1);
        Settle(100);
        stage.Shoot(page.grab(), "protection-detection-selected.png");
        if (!Show(page, cmd::kIntrusionPrevention)) status = 1;
        stage.Shoot(page.grab(), "protection-prevention.png");
        page.List()->SelectRow(4);
        page.ShowRowDetails(4);
        Settle(100);
        stage.Shoot(page.grab(), "protection-prevention-selected.png");

        const ProtectionSide prevent = ProtectionSide::Prevention;
        auto* schedule = new CProtectionPreventSchedule(page);
        const bool pages =
            ShootPage(new CProtectionPreventAlerts(page), prevent, 0, out, "prevent-alerts.png") &&
            ShootPage(new CProtectionPreventSnmp(page), prevent, 2, out, "prevent-snmp.png") &&
            ShootPage(schedule, prevent, 4, out, "prevent-schedule.png",
                      [schedule] {
                          // A dated row, as "Add..." puts it in.
                          schedule->AddRow({*ParseScheduleDay("12/24/2026"), 8 * 3600, 17 * 3600});
                      }) &&
            ShootPage(new CProtectionPreventUnblock(page), prevent, 5, out,
                      "prevent-unblock.png") &&
            ShootPage(new CProtectionPreventOptions(page, false), prevent, 1, out,
                      "prevent-notify.png") &&
            ShootPage(new CProtectionPreventOptions(page, true), prevent, 3, out,
                      "prevent-script.png");
        if (!pages) status = 1;
        {
            CSchedulePropertiesDlg dialog(prompt, &page);
            dialog.show();
            Settle(100);
            stage.Shoot(dialog.grab(), "schedule-dialog.png");
        }
        page.hide();

        if (!ShootPage(new CProtectionDetectUnauthorized(page), ProtectionSide::Detection, 0, out,
                       "detect-unauthorized.png"))
            status = 1;
        if (!ShootPage(new CProtectionDetectNew(page), ProtectionSide::Detection, 1, out,
                       "detect-new.png") ||
            !ShootPage(new CProtectionDetectChanges(page), ProtectionSide::Detection, 2, out,
                       "detect-changes.png"))
            status = 1;
        if (!ShootPage(new CProtectionDetectThreats(page), ProtectionSide::Detection, 3, out,
                       "detect-threats.png"))
            status = 1;
        if (!ShootPage(new CProtectionDetectScript(page), ProtectionSide::Detection, 5, out,
                       "detect-script.png"))
            status = 1;
        if (!ShootPage(new CProtectionDetectWmi(page), ProtectionSide::Detection, 4, out,
                       "detect-wmi.png"))
            status = 1;
        {
            std::vector<WmiConditionRow> rows = LoadWmi(app.Document().Fields()).rows;
            CWmiPropertiesDlg dialog(rows, 1, prompt);
            dialog.show();
            Settle(100);
            stage.Shoot(dialog.grab(), "wmi-properties.png");
        }

        CProtectionSummaryWnd overview(app, nullptr);
        overview.resize(900, 420);
        overview.show();
        Settle(100);
        stage.Shoot(overview.grab(), "protection-overview.png");
    }
    return status;
}
