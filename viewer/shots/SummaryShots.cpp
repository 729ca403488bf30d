// Pictures of the overview pages and the information, report and About dialogs, drawn against a
// server folder of fixture files made here (settings, events) in a temporary tree.
//   tarvell-summary-shots --out DIR
#include <QApplication>
#include <QHeaderView>
#include <QTextBrowser>
#include <cstdio>

#include "viewer/shots/ShotStage.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "shared/StateFiles.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/frame/CAboutDlg.h"
#include "viewer/summary/CInformationDlg.h"
#include "viewer/summary/CReportDlg.h"
#include "viewer/summary/CSummaryWnd.h"
#include "viewer/monitors/CMonitorWnd.h"
#include "viewer/monitors/MonitorPanels.h"
#include "viewer/protection/ProtectionPanels.h"
#include "viewer/summary/SummaryPanels.h"
#include "viewer/widgets/CSortListCtrl.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/Images.h"

using namespace tarvell;

namespace {

bool WriteFixtures(const std::string& server) {
    CTarvellDoc doc;
    doc.SetDefaults();
    doc.PreventionEnabled = 1;
    doc.NewMacEnabled = 1;
    doc.SnmpPreventionEnabled = 1;
    doc.BlockRequests = {"S2/7;alice@CORP"};
    if (!doc.SaveToFile(JoinPath(server, "Tarvell.ini"), true)) return false;
    EventDatabaseFile file;
    file.SwitchCount = "8";
    file.NodeCount = "40";
    file.DeviceTable["S1"] = "10.0.0.1/core/ops/rack 1";
    const struct {
        const char *key, *mac, *ip;
        int blocked;
    } events[] = {{"S1/1", "00:1a:2b:00:00:01;00:1a:2b:00:00:02", "10.0.0.1", 0},
                  {"S1/2", "00:1a:2b:00:00:03", "10.0.0.1", 0},
                  {"S3/4", "00:1a:2b:00:00:04;00:1a:2b:00:00:05;00:1a:2b:00:00:06", "10.0.0.3", 0},
                  {"S4/1", "00:1a:2b:00:00:07", "10.0.0.4", 0},
                  {"S2/7", "00:1a:2b:00:00:08", "10.0.0.2", 0},
                  {"S2/9", "00:1a:2b:00:00:09", "10.0.0.2", 1}};
    for (const auto& e : events) {
        auto item = std::make_unique<CEventItem>();
        item->SourceMac = e.mac;
        item->DeviceIp = e.ip;
        item->Blocked = e.blocked;
        item->EventType = "New Mac";
        item->Category = "Detection";
        item->DateKey = "1700000000";
        file.EventMap.emplace(e.key, std::move(item));
    }
    return WriteStateFile(JoinPath(server, "Tarvell.db"), file);
}

// A server of 100 000 events on 100 000 devices with 250 000 nodes: six-digit counts.
bool WriteLargeFixtures(const std::string& server) {
    CTarvellDoc doc;
    doc.SetDefaults();
    if (!doc.SaveToFile(JoinPath(server, "Tarvell.ini"), true)) return false;
    EventDatabaseFile file;
    file.SwitchCount = "100000";
    file.NodeCount = "250000";
    for (int i = 0; i < 100000; ++i) {
        auto item = std::make_unique<CEventItem>();
        item->SourceMac = "00:1a:2b:00:00:01";
        item->DeviceIp = "10.0.0.1";
        item->Blocked = i % 5 == 0 ? 1 : 0;
        item->EventType = "New Mac";
        item->Category = "Detection";
        item->DateKey = "1700000000";
        file.EventMap.emplace("S" + std::to_string(i) + "/1", std::move(item));
    }
    return WriteStateFile(JoinPath(server, "Tarvell.db"), file);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    ShotStage stage;
    if (const int rc = OpenShotStage(stage, "tarvell-summary-shots", WriteFixtures)) return rc;
    const QString& out = stage.out;
    ViewerEnvironment& env = stage.env;
    const std::string& root = stage.root;
    FakeClock& clock = stage.clock;
    int status = 0;
    {
        CTarvellApp app(env);
        app.ReloadDocument();
        app.LoadEvents();
        app.SetServiceProbe([] { return 1; });
        app.ProbeService();
        const auto send = [](int) {};

        CSummaryWnd summary(app, send);
        summary.resize(900, 560);
        summary.show();
        if (!SaveShot(summary, out, "summary-page.png")) status = 1;
        summary.hide();

        CMonitorWnd monitor(app, send);
        monitor.resize(900, 560);
        monitor.show();
        if (!SaveShot(monitor, out, "monitor-overview.png")) status = 1;
        monitor.hide();

        CInformationDlg info(
            QStringLiteral("New Mac"),
            QStringLiteral("<h3>New Mac</h3><p>A node with a MAC address never seen before was "
                           "found on a device port.</p><table border=1><tr><td>Device</td>"
                           "<td>Port</td></tr><tr><td>core</td><td>Gi0/3</td></tr></table>"));
        info.show();
        if (!SaveShot(info, out, "information-dialog.png")) status = 1;
        info.hide();

        auto* report = new CReportDlg(QStringLiteral("Detection events report"),
                                      QStringLiteral("Tarvell - detection report"), nullptr, clock);
        const char* headers[] = {"Date", "Device Name", "Device Port", "Source Mac", "Description"};
        for (int c = 0; c < 5; ++c)
            report->List().InsertColumn(c, QString::fromLatin1(headers[c]), 100);
        std::vector<ListRow> rows;
        for (int i = 0; i < 1000; ++i) {
            ListRow row;
            row.cells = {QStringLiteral("11/14/2023 %1:%2:00 PM")
                             .arg(1 + i % 12)
                             .arg(i % 60, 2, 10, QLatin1Char('0')),
                         QStringLiteral("switch-%1").arg(i % 17),
                         QStringLiteral("Gi0/%1").arg(i % 48),
                         QStringLiteral("00:1a:2b:%1:%2:%3")
                             .arg(i / 256 % 256, 2, 16, QLatin1Char('0'))
                             .arg(i % 256, 2, 16, QLatin1Char('0'))
                             .arg(i % 7, 2, 16, QLatin1Char('0')),
                         QStringLiteral("New Mac Address discovered.")};
            rows.push_back(std::move(row));
        }
        report->List().Rows()->SetRows(std::move(rows));
        report->show();
        if (!SaveShot(*report, out, "report-dialog.png")) status = 1;
        report->close();

        CAboutDlg about(QStringLiteral("3.6"));
        about.show();
        if (!SaveShot(about, out, "about-dialog.png")) status = 1;
        about.hide();
    }
    {
        const std::string large = JoinPath(root, "large");
        if (!MakeDirectories(large) || !WriteLargeFixtures(large)) {
            std::fprintf(stderr,
                         "tarvell-summary-shots: the large fixture files could not be written\n");
            status = 1;
        } else {
            // A registry of its own, so that the local server is the large one.
            Registry largeRegistry(JoinPath(root, "large-machine"), JoinPath(root, "large-user"));
            env.programFolder = large;
            env.registry = &largeRegistry;
            CTarvellApp app(env);
            app.ReloadDocument();
            app.LoadEvents();
            CMonitorWnd monitor(app, [](int) {});
            monitor.resize(900, 560);
            monitor.show();
            if (!SaveShot(monitor, out, "monitor-overview-six-digits.png")) status = 1;
        }
    }
    RemoveTree(root);
    return status;
}
