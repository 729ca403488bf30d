// Pictures of the protection list (detection and prevention, each with a row selected), of the
// prevention pages (alerts, SNMP, a schedule with a dated row and its dialog, automatic
// unblocking) and of the protection overview against a settings file made here in a temporary
// tree.
//   tarvell-protection-shots --out DIR
#include <QApplication>
#include <cstdio>

#include "viewer/shots/ShotStage.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/shell/CommandRouter.h"
#include "viewer/core/shell/Prompt.h"
#include "viewer/protection/CProtectionListWnd.h"
#include "viewer/protection/CProtectionSummaryWnd.h"
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
    doc.PreventAlertsEnabled = 1;
    doc.UnblockAfterMinutes = 30;
    doc.UnblockSystemBlocked = 1;
    doc.SnmpPreventionEnabled = 1;
    doc.SnmpPreventionMethod = 0;
    doc.SnmpBlockQuery = "1.3.6.1.2.1.2.2.1.7.12/2";
    doc.SnmpUnblockQuery = "1.3.6.1.2.1.2.2.1.7.12/1";
    doc.PreventionSchedule = {"0/18:00:00/23:59:59", "2/00:00:00/06:30:00"};
    return static_cast<bool>(doc.SaveToFile(JoinPath(server, "Tarvell.ini"), true));
}

bool Save(const QPixmap& pixmap, const QString& dir, const char* name) {
    const QString path = dir + QLatin1Char('/') + QLatin1String(name);
    if (!pixmap.save(path, "PNG")) {
        std::fprintf(stderr, "tarvell-protection-shots: %s could not be written\n",
                     path.toLocal8Bit().constData());
        return false;
    }
    return true;
}

void Settle() {
    for (int i = 0; i < 20; ++i) QApplication::processEvents(QEventLoop::AllEvents, 5);
}

// One prevention page in its sheet, as Edit shows it.
template <typename Page, typename... Args>
bool SavePage(CProtectionListWnd& list, const QString& dir, const char* name,
              const std::function<void(Page&)>& arrange, Args&&... args) {
    auto* page = new Page(list, std::forward<Args>(args)...);
    CPropertySheet sheet(QStringLiteral("Prevention Properties"));
    sheet.AddPage(page);
    sheet.show();
    Settle();
    if (arrange) arrange(*page);
    Settle();
    const bool saved = Save(sheet.grab(), dir, name);
    sheet.hide();
    return saved;
}

bool Show(CProtectionListWnd& page, CommandId mode) {
    page.hide();
    page.SetMode(mode);
    const int fills = page.Fills();
    page.show();
    for (int i = 0; i < 200 && page.Fills() == fills; ++i)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    Settle();
    return page.Fills() > fills;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    ShotStage stage;
    if (const int rc = OpenShotStage(stage, "tarvell-protection-shots", WriteFixtures)) return rc;
    const QString& out = stage.out;
    ViewerEnvironment& env = stage.env;
    const std::string& root = stage.root;
    int status = 0;
    {
        CTarvellApp app(env);
        app.ReloadDocument();
        CommandRouter router;
        PromptRecorder prompt;
        CProtectionListWnd page(PageContext{app, router, prompt, {}}, nullptr);
        page.resize(1000, 560);
        if (!Show(page, cmd::kIntrusionDetection)) status = 1;
        page.List()->SelectRow(1);
        page.ShowRowDetails(1);
        Settle();
        if (!Save(page.grab(), out, "protection-detection-selected.png")) status = 1;
        if (!Show(page, cmd::kIntrusionPrevention)) status = 1;
        if (!Save(page.grab(), out, "protection-prevention.png")) status = 1;
        page.List()->SelectRow(4);
        page.ShowRowDetails(4);
        Settle();
        if (!Save(page.grab(), out, "protection-prevention-selected.png")) status = 1;

        const bool pages =
            SavePage<CProtectionPreventAlerts>(page, out, "prevent-alerts.png", {}) &&
            SavePage<CProtectionPreventSnmp>(page, out, "prevent-snmp.png", {}) &&
            SavePage<CProtectionPreventSchedule>(
                page, out, "prevent-schedule.png", [](CProtectionPreventSchedule& schedule) {
                    // A dated row, as "Add..." puts it in.
                    schedule.AddRow({*ParseScheduleDay("12/24/2026"), 8 * 3600, 17 * 3600});
                }) &&
            SavePage<CProtectionPreventUnblock>(page, out, "prevent-unblock.png", {});
        if (!pages) status = 1;
        {
            CSchedulePropertiesDlg dialog(&page);
            dialog.show();
            Settle();
            if (!Save(dialog.grab(), out, "schedule-dialog.png")) status = 1;
        }
        page.hide();

        CProtectionSummaryWnd overview(app, nullptr);
        overview.resize(900, 420);
        overview.show();
        Settle();
        if (!Save(overview.grab(), out, "protection-overview.png")) status = 1;
    }
    RemoveTree(root);
    return status;
}
