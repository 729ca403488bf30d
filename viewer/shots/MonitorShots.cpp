// Pictures of the event monitor page against fixture files made here (settings, events, read
// marks) in a temporary tree, each checked for the frame grey and the separator at y = 60.
//   tarvell-monitor-shots --out DIR
#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <chrono>
#include <cstdio>
#include <thread>

#include "viewer/shots/ShotStage.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "shared/StateFiles.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/shell/CommandRouter.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/core/monitors/MonitorRules.h"
#include "viewer/monitors/CEventDetailsDlg.h"
#include "viewer/monitors/ToolOptionsDlgs.h"
#include "viewer/monitors/CEventMonitorWnd.h"
#include "viewer/monitors/EventListModel.h"
#include "viewer/widgets/CThemeTabCtrl.h"
#include "viewer/monitors/EventRequestDialogs.h"
#include "viewer/monitors/MonitorDetailsPanels.h"
#include "viewer/summary/CInformationDlg.h"
#include "viewer/summary/CReportDlg.h"
#include "viewer/monitors/MonitorReportPanels.h"
#include "viewer/widgets/TextConv.h"
#include "viewer/monitors/MonitorHeaderPanels.h"
#include "viewer/widgets/CPaintListCtrl.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/Images.h"
#include "viewer/widgets/LinkLabel.h"

using namespace tarvell;

namespace {

bool WriteFixtures(const std::string& server) {
    CTarvellDoc doc;
    doc.SetDefaults();
    doc.BlockRequests = {"S2/7;alice@CORP"};
    doc.UnblockRequests = {"S2/9;alice@CORP"};
    doc.EventNotes = {"S1/2;checked with the desk", "S2/8;port of the printer"};
    if (!WriteSettingsFile(server, doc)) return false;
    EventDatabaseFile file;
    file.SwitchCount = "4";
    file.NodeCount = "40";
    const struct {
        const char *key, *type, *name, *ip, *port, *current;
        int blocked;
        const char* extra;
    } events[] = {
        {"S1/1", "New Mac", "core", "10.0.0.10", "Gi0/1", "00:1a:2b:00:00:01", 0, ""},
        {"S1/2", "New Mac", "core", "10.0.0.9", "Gi0/2", "00:1a:2b:00:00:02", 0, ""},
        {"S1/3", "Changed Ip", "core", "10.0.0.9", "Gi0/3", "10.1.1.7", 0, ""},
        {"S3/4", "Threat Receive", "floor-3", "10.0.0.30", "Fa0/4", "High", 0, ""},
        {"S4/1", "New Name", "lab", "10.0.0.4", "Fa0/1", "LAB-PC-17", 0, ""},
        {"S4/5", "Changed Port", "lab", "10.0.0.100", "Fa0/5", "Fa0/6", 0, ""},
        {"S2/7", "New Mac", "edge", "10.0.0.2", "Gi1/7", "00:1a:2b:00:00:08", 0, ""},
        {"S2/8", "New Mac", "edge", "10.0.0.2", "Gi1/8", "00:1a:2b:00:00:09", 1, "1700000000"},
        {"S2/9", "New Ip", "edge", "10.0.0.2", "Gi1/9", "10.1.1.9", 1, "1700003600"},
        {"S2/10", "New Mac", "edge", "10.0.0.2", "Gi1/10", "00:1a:2b:00:00:0a", 1, ""},
    };
    for (const auto& e : events) {
        auto item = std::make_unique<CEventItem>();
        item->Description = e.type;
        item->EventType = "Changed Port";
        item->DeviceName = e.name;
        item->DeviceIp = e.ip;
        item->DevicePort = e.port;
        item->Current = e.current;
        item->Before = "Normal";
        item->Severity = 4;
        item->Blocked = e.blocked;
        item->Extra = e.extra;
        item->Category = "Detection";
        item->DateKey = "1700000000";
        if (std::string(e.key) == "S1/2") {
            item->SourceMac = "00:1A:2B:00:00:02;00:1A:2B:00:00:12";
            item->SourceIp = "10.1.1.2";
            item->SourceName = "DESK-PC-02";
        }
        file.EventMap.emplace(e.key, std::move(item));
    }
    return WriteStateFile(JoinPath(server, "Tarvell.db"), file);
}

// Writes the picture after checking the frame and the separator.
bool Save(const QPixmap& pixmap, const QString& dir, const char* name) {
    const QImage image = pixmap.toImage();
    const QColor grey(193, 193, 193);
    if (image.pixelColor(image.width() / 2, 20) != grey ||
        image.pixelColor(image.width() / 2, 60) != grey) {
        std::fprintf(
            stderr,
            "tarvell-monitor-shots: %s: no frame grey at y = 20 or no separator at y = 60\n", name);
        return false;
    }
    return SaveShot(pixmap, dir, name);
}

bool Show(CEventMonitorWnd& page, CommandId mode) {
    page.hide();
    page.SetMode(mode);
    const int passes = page.Passes();
    page.show();
    for (int i = 0; i < 200 && page.Passes() == passes; ++i) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    QApplication::processEvents();
    return page.Passes() > passes;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    ShotStage stage;
    if (const int rc = OpenShotStage(stage, "tarvell-monitor-shots", WriteFixtures)) return rc;
    const QString& out = stage.out;
    int& status = stage.status;
    {
        CTarvellApp app(stage.env);
        app.ReloadDocument();
        app.LoadEvents();
        app.MarkEventRead("S1/3");
        app.MarkEventRead("S4/5");
        CommandRouter router;
        PromptRecorder prompt;
        // Learn more's page is drawn, not run modally.
        std::function<void(const QString&, const QString&, QWidget*)> information;
        PageContext context{app, router, prompt, {}, {}, {}};
        context.showInformation = [&information](const QString& title, const QString& html,
                                                 QWidget* parent) {
            if (information) information(title, html, parent);
        };
        CEventMonitorWnd page(context, nullptr);
        page.resize(1000, 420);

        if (!Show(page, cmd::kDetectionMonitor)) status = 1;
        page.OnHeaderClick(page.List(true), 2);
        page.List(true)->SelectRow(1);
        if (!Save(page.grab(), out, "monitor-detection.png")) status = 1;

        if (!Show(page, cmd::kPreventionMonitor)) status = 1;
        if (!Save(page.grab(), out, "monitor-prevention.png")) status = 1;

        if (!Show(page, cmd::kDetectionMonitor)) status = 1;
        CMonitorHeaderPanel* header = page.Header(true);
        header->SetFilter(cmd::kFilterThreatBroadcast, QStringLiteral("Broadcast Rate"));
        {
            // The drop-down drawn where it opens, below the link, with its group open.
            std::unique_ptr<QMenu> menu = header->BuildFilterMenu();
            QMenu* group = menu->actions().at(5)->menu();
            menu->setActiveAction(menu->actions().at(5));
            menu->adjustSize();
            group->adjustSize();
            QPixmap picture = page.grab();
            QPainter p(&picture);
            const QPoint at = header->Link()->mapTo(&page, QPoint(0, header->Link()->height()));
            p.drawPixmap(at, menu->grab());
            p.drawPixmap(
                at + QPoint(menu->width() - 4, menu->actionGeometry(menu->actions().at(5)).top()),
                group->grab());
            p.end();
            if (!Save(picture, out, "monitor-filter-menu.png")) status = 1;
        }

        // The details pane: the introduction, then a chosen event; then a user who may not
        // remove events.
        header->SetFilter(cmd::kAllEvents, QStringLiteral("All Events"));
        page.List(true)->SelectRow(-1);
        QApplication::processEvents();
        if (!Save(page.grab(), out, "monitor-details-intro.png")) status = 1;
        int chosen = -1;
        for (int r = 0; r < page.Rows(true)->rowCount(); ++r)
            if (page.Rows(true)->ItemText(r, 0) == QStringLiteral("S1/2")) chosen = r;
        page.List(true)->SelectRow(chosen);
        page.ShowEvent(true, chosen);
        QApplication::processEvents();
        if (!Save(page.grab(), out, "monitor-details-selected.png")) status = 1;

        app.Document().Fields().ViewerUsers = {
            "Everyone/All users;Detection Monitor;Detection Details;Detection "
            "Information;Detection About;"};
        page.List(true)->SelectRow(-1);
        page.List(true)->SelectRow(chosen);
        QApplication::processEvents();
        if (page.DetailsPane(true)->Actions()->IsLinkActive(MonitorLink::RemoveEvents)) {
            std::fprintf(stderr, "tarvell-monitor-shots: Remove selected events stayed active\n");
            status = 1;
        }
        if (!Save(page.grab(), out, "monitor-actions-restricted.png")) status = 1;
        app.Document().Fields().ViewerUsers.clear();

        information = [&](const QString& title, const QString& html, QWidget*) {
            CInformationDlg dialog(title, html);
            dialog.resize(560, 420);
            dialog.show();
            QApplication::processEvents();
            stage.Shoot(dialog.grab(), "monitor-learn-more.png");
        };
        page.DetailsPane(true)->Actions()->OnLearnMore();

        header->SetFilter(cmd::kVulnerablePorts, QStringLiteral("Vulnerable Ports"));
        QApplication::processEvents();
        if (page.Rows(true)->rowCount() != 0) {
            std::fprintf(stderr, "tarvell-monitor-shots: the Vulnerable Ports filter left rows\n");
            status = 1;
        }
        if (!Save(page.grab(), out, "monitor-empty.png")) status = 1;
        header->SetFilter(cmd::kAllEvents, QStringLiteral("All Events"));

        // The request dialogs, drawn without running them; nothing is saved.
        if (!Show(page, cmd::kPreventionMonitor)) status = 1;
        CPaintListCtrl* prevention = page.List(false);
        prevention->SelectRow(0);
        {
            CUnblockEventsDlg unblock(app, prompt, *prevention, &page);
            unblock.show();
            QApplication::processEvents();
            stage.Shoot(unblock.grab(), "unblock-dialog.png");
            unblock.OnOptions();
            QApplication::processEvents();
            stage.Shoot(unblock.grab(), "unblock-dialog-options.png");
        }
        app.Document().Fields().MonitorPassword = "secret";
        {
            CStopPreventionDlg stop(app, prompt, *prevention, &page);
            stop.show();
            QApplication::processEvents();
            stage.Shoot(stop.grab(), "stop-prevention-password.png");
        }
        app.Document().Fields().MonitorPassword.clear();
        {
            CEventInformationDlg info(ToStored(EventRows(*prevention)->ItemText(0, 0)), page);
            info.show();
            QApplication::processEvents();
            stage.Shoot(info.grab(), "event-information.png");
        }
        if (QWidget* report = OpenReportDialog(nullptr, QStringLiteral("Prevention events report"),
                                               QStringLiteral("Tarvell - prevention report"),
                                               MonitorReportTable(false, *prevention))) {
            report->resize(640, 360);
            QApplication::processEvents();
            stage.Shoot(report->grab(), "monitor-report.png");
            delete report;
        }
        page.hide();

        // The event details dialog: the location, a ping of this machine, an SNMP query that
        // gets no answer, and two options dialogs.
        EventDetails details = ReadEventDetails(app, "S1/2");
        details.sourceIp = "127.0.0.1";
        NodeToolHooks hooks = DefaultNodeToolHooks();
        hooks.options = [](QWidget*, int tab, QString& first, QString& second) {
            first = tab == CEventDetailsDlg::kSnmp ? QStringLiteral("public") : "32";
            second = QStringLiteral("200");
            return true;
        };
        CEventDetailsDlg dialog(details, nullptr, hooks);
        dialog.show();
        QApplication::processEvents();
        stage.Shoot(dialog.grab(), "event-details-location.png");
        const auto runTab = [&](int tab, const char* name, const char* last) {
            dialog.Tabs()->SetCurSel(tab);
            tab == CEventDetailsDlg::kPing ? dialog.OnPing() : dialog.OnSnmp();
            for (int i = 0; i < 500 && !dialog.OutputText().contains(QLatin1String(last)); ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                QApplication::processEvents();
            }
            stage.Shoot(dialog.grab(), name);
        };
        runTab(CEventDetailsDlg::kPing, "event-details-ping.png", "loss)");
        runTab(CEventDetailsDlg::kSnmp, "event-details-snmp.png", "loss)");
        for (const auto& [tab, name] : {std::pair{CEventDetailsDlg::kPing, "ping-options.png"},
                                        std::pair{CEventDetailsDlg::kSnmp, "snmp-options.png"},
                                        std::pair{CEventDetailsDlg::kWmi, "wmi-options.png"}}) {
            std::unique_ptr<QDialog> options(CreateToolOptionsDlg(tab, &dialog));
            options->show();
            QApplication::processEvents();
            stage.Shoot(options->grab(), name);
        }
    }
    return status;
}
