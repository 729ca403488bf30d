// Pictures of the alert popup under a real X server: a detection and a prevention alert, each
// slid in at the bottom right and grabbed from the screen, and the close icon under the pointer;
// then the alerts overview, the alerts screen of each kind, an archive viewed on it and a report.
//   tarvell-alert-shots --out DIR
//   tarvell-alert-shots --add-alert FOLDER   adds a detection alert of this second to the alert
//                                            file of the server in FOLDER (a live viewer's popup)
#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QScreen>
#include <QThread>
#include <cstdio>
#include <functional>

#include "viewer/shots/ShotStage.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "shared/StateFiles.h"
#include "viewer/alerts/AlertArchivePicker.h"
#include "viewer/alerts/CAlertPopupDlg.h"
#include "viewer/alerts/CAlertsListWnd.h"
#include "viewer/alerts/CAlertsSummaryWnd.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/summary/CReportDlg.h"
#include "viewer/widgets/CPaintListCtrl.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/Images.h"

using namespace tarvell;

namespace {

bool WriteFixtures(const std::string& server) {
    CTarvellDoc doc;
    doc.SetDefaults();
    if (!WriteSettingsFile(server, doc)) return false;
    AlertLogFile file;
    auto detection = std::make_unique<CAlertItem>();
    detection->Category = "Detection";
    detection->Description = "New Ip";
    detection->Current = "10.20.30.44";
    detection->DeviceName = "core-sw1";
    detection->DeviceIp = "10.0.0.1";
    detection->DevicePort = "Gi0/12";
    file.AlertLog.emplace("1700000000.1", std::move(detection));
    auto prevention = std::make_unique<CAlertItem>();
    prevention->Category = "Prevention";
    prevention->Description = "Manual Blocking";
    prevention->Submitter = "alice@CORP";
    prevention->DeviceName = "edge-sw4";
    prevention->DevicePort = "Fa0/7";
    file.AlertLog.emplace("1700000100.1", std::move(prevention));
    // More rows for the alerts screen: two of one second, an address of each length.
    const char* types[] = {"New Mac", "Threat Receive", "New Ip", "Port Down"};
    for (int i = 0; i < 14; ++i) {
        auto a = std::make_unique<CAlertItem>();
        a->Category = i % 4 == 3 ? "Prevention" : "Detection";
        a->Description = a->Category == "Prevention" ? "Manual Blocking" : types[i % 3];
        a->Severity = i % 5;
        a->Submitter = "alice@CORP";
        a->Current = "00:1a:2b:3c:4d:" + std::to_string(10 + i);
        a->DeviceName = "access-sw" + std::to_string(1 + i % 3);
        a->DeviceIp = "10.0.0." + std::to_string(7 + i);
        a->DevicePort = "Gi1/0/" + std::to_string(1 + i);
        a->SourceMac = "00:1a:2b:3c:4d:" + std::to_string(10 + i);
        a->SourceIp = i % 2 ? "192.168.1." + std::to_string(20 + i) : "";
        file.AlertLog.emplace(
            std::to_string(1699990000 + i * 600 / 2 * 2) + "." + std::to_string(1 + i % 2),
            std::move(a));
    }
    return WriteStateFile(JoinPath(server, "Tarvell.log"), file);
}

// Adds "<now>.1" (or the next free counter of this second) to FOLDER's alert file.
int AddAlert(const std::string& folder) {
    const std::string path = JoinPath(folder, kAlertLogName);
    AlertLogFile file;
    if (!ReadStateFile(path, file)) {
        std::fprintf(stderr, "tarvell-alert-shots: %s could not be read\n", path.c_str());
        return 1;
    }
    const std::string second = std::to_string(SystemClock().Now());
    int counter = 1;
    while (file.AlertLog.count(second + "." + std::to_string(counter))) ++counter;
    auto alert = std::make_unique<CAlertItem>();
    alert->Category = "Detection";
    alert->Description = "New Mac";
    alert->Current = "00:1a:2b:3c:4d:5e";
    alert->DeviceName = "access-sw2";
    alert->DevicePort = "Gi1/0/14";
    file.AlertLog.emplace(second + "." + std::to_string(counter), std::move(alert));
    return WriteStateFile(path, file) ? 0 : 1;
}

struct ScriptedPicker : ArchivePicker {
    QString path;
    QString SavePath(QWidget*) override { return path; }
    QString OpenPath(QWidget*) override { return path; }
};

bool Grab(QWidget& w, const QString& dir, const char* name) {
    Settle(200);
    return SaveShot(w.grab(), dir, name);
}

// The alerts overview, the alerts screen of each kind, an archive on it and its report.
bool ScreenShots(const ViewerEnvironment& env, const std::string& root, const QString& out) {
    bool ok = true;
    CTarvellApp app(env);
    app.ReloadDocument();
    app.LoadAlerts();
    {
        CAlertsSummaryWnd overview(app, [](int) {});
        overview.resize(760, 480);
        overview.show();
        ok = Grab(overview, out, "alerts-overview.png") && ok;
    }
    PromptRecorder prompt;
    ScriptedPicker picker;
    picker.path = QString::fromStdString(JoinPath(root, "archive.log"));
    QWidget* report = nullptr;
    AlertDialogs dialogs;
    dialogs.report = [&report](QWidget* parent, const QString& c, const QString& t,
                               const ReportTable& table) {
        report = OpenReportDialog(parent, c, t, table);
        return report;
    };
    CAlertsListWnd screen(app, prompt, dialogs);
    screen.SetPicker(&picker);
    screen.resize(1000, 560);
    auto showMode = [&](CommandId mode) {
        screen.hide();
        screen.SetMode(mode);
        screen.show();
        RunUntil([&] { return !screen.FillPending(); }, 2000);
    };
    showMode(kDetectionAlertsMode);
    screen.activateWindow();
    screen.List().setFocus();
    screen.List().SelectRow(1);
    ok = Grab(screen, out, "alerts-detection-selected.png") && ok;
    screen.List().SelectRow(-1);
    screen.SortBy(2);
    screen.CreateReport();
    if (report) {
        report->resize(760, 520);
        ok = Grab(*report, out, "alerts-report.png") && ok;
        report->close();
    } else {
        ok = false;
    }
    prompt.Script({PromptAnswer::Yes});
    screen.ArchiveAlerts();
    showMode(kPreventionAlertsMode);
    prompt.Script({PromptAnswer::Yes});
    screen.ClearAlerts();
    ok = Grab(screen, out, "alerts-prevention-empty.png") && ok;
    showMode(kDetectionAlertsMode);
    prompt.Script({PromptAnswer::Yes});
    screen.ClearAlerts();
    screen.ViewArchivedAlerts();
    ok = Grab(screen, out, "alerts-archive-view.png") && ok;
    if (!prompt.Requests().empty() && prompt.Requests().back().buttons == PromptButtons::Ok) {
        std::fprintf(stderr, "tarvell-alert-shots: %s\n", prompt.Requests().back().text.c_str());
        ok = false;
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    if (const auto folder = OptionValue(QApplication::arguments(), "--add-alert"))
        return AddAlert(folder->toStdString());
    ShotStage stage;
    if (const int rc = OpenShotStage(stage, "tarvell-alert-shots", WriteFixtures)) return rc;
    const QString& out = stage.out;
    int& status = stage.status;
    {
        CTarvellApp app(stage.env);
        app.ReloadDocument();
        app.LoadAlerts();
        app.SetPopupPreferences(1, 0, "");
        QCursor::setPos(10, 10);
        const struct {
            const char* key;
            const char* file;
        } shots[] = {{"1700000000.1", "alert-popup-detection.png"},
                     {"1700000100.1", "alert-popup-prevention.png"}};
        for (const auto& shot : shots) {
            CAlertPopupDlg popup(app, shot.key);
            if (!popup.Begin() || !RunUntil([&] { return !popup.SlidingIn(); }, 5000)) {
                std::fprintf(stderr, "tarvell-alert-shots: the popup of %s did not slide in\n",
                             shot.key);
                status = 1;
                continue;
            }
            Settle(300);
            if (!SaveScreen(out + QLatin1Char('/') + QLatin1String(shot.file))) status = 1;
            if (shot.file == shots[1].file) {
                // The pointer over the close icon: its second image.
                QCursor::setPos(popup.mapToGlobal(popup.CloseIconRect().center()));
                if (!RunUntil([&] { return popup.CloseImage() == 1; }, 3000)) {
                    std::fprintf(
                        stderr,
                        "tarvell-alert-shots: the close icon did not change under the pointer\n");
                    status = 1;
                }
                Settle(200);
                if (!SaveScreen(out + QStringLiteral("/alert-popup-close-hover.png"),
                                popup.frameGeometry()))
                    status = 1;
                QCursor::setPos(10, 10);
            }
            popup.done(0);
            Settle(100);
        }
    }
    if (!ScreenShots(stage.env, stage.root, out)) status = 1;
    return status;
}
