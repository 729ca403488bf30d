// Pictures of the viewer's shell for tools/screenshots, taken under a virtual X server:
//   tarvell-shell-shots --out DIR     the main window on the Summary page and on an inner page,
//                                     every screen at the opening size (opening-*.png), the
//                                     banner, the Options drop-down and the tray menu, as PNG
//                                     files
//   tarvell-shell-shots --seed ROOT   writes default settings and empty state files to
//                                     ROOT/var/lib/tarvell, so that a viewer started on that root
//                                     connects
// The pictures use a server in a temporary folder and a service on the fake backend (running).
#include <QApplication>
#include <QMenu>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "shared/CTarvellDoc.h"
#include "shared/StateFiles.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/core/service/ServiceControl.h"
#include "viewer/frame/CBannerBar.h"
#include "viewer/frame/CMainFrame.h"
#include "viewer/shots/ShotStage.h"
#include "viewer/widgets/CFlatToolBarCtrl.h"

namespace tarvell {
namespace {

bool SeedSettings(const std::string& root) {
    const std::string folder = JoinPath(root, "var/lib/tarvell");
    CTarvellDoc doc;
    doc.SetDefaults();
    // Empty state files too, so that the first loads find them at once.
    return MakeDirectories(folder) && WriteSettingsFile(folder, doc) &&
           WriteStateFile(JoinPath(folder, kEventDatabaseName), EventDatabaseFile{}) &&
           WriteStateFile(JoinPath(folder, kAlertLogName), AlertLogFile{});
}

// A few events and alerts of both kinds, one blocked event waiting for its unblocking, so the
// lists show their columns as they are used.
bool SeedScreens(const std::string& root) {
    const std::string folder = JoinPath(root, "var/lib/tarvell");
    CTarvellDoc doc;
    doc.SetDefaults();
    doc.UnblockRequests = {"00AABB00F001/124;alice@CORP"};
    EventDatabaseFile events;
    AlertLogFile alerts;
    for (int i = 0; i < 4; ++i) {
        const bool blocked = i % 2 != 0;
        auto e = std::make_unique<CEventItem>();
        e->EventType = e->Description = "New Mac";
        e->Category = "Detection";
        e->DateKey = "1733829290";
        e->Blocked = blocked ? 1 : 0;
        e->Extra = blocked ? "1733829296" : "";
        e->DeviceName = "core-switch-0" + std::to_string(i + 1);
        e->DeviceIp = "192.168.100.25" + std::to_string(i);
        e->DevicePort = "Gi1/0/2" + std::to_string(i);
        e->SourceMac = "001A2B3C4D5" + std::to_string(i);
        auto a = std::make_unique<CAlertItem>();
        a->Category = blocked ? "Prevention" : "Detection";
        a->EventType = "New Mac";
        a->Description = blocked ? "Manual Blocking" : "New Mac";
        a->DeviceName = e->DeviceName;
        a->DeviceIp = e->DeviceIp;
        a->DevicePort = e->DevicePort;
        a->SourceMac = e->SourceMac;
        alerts.AlertLog["17338292" + std::to_string(90 + i) + ".1"] = std::move(a);
        events.EventMap["00AABB00F001/" + std::to_string(121 + i)] = std::move(e);
    }
    return WriteSettingsFile(folder, doc) &&
           WriteStateFile(JoinPath(folder, kEventDatabaseName), events) &&
           WriteStateFile(JoinPath(folder, kAlertLogName), alerts);
}

int TakePictures(const QString& out) {
    const std::string root = MakeTempFolder("tarvell-shots-");
    if (root.empty() || !SeedSettings(root) || !SeedScreens(root)) return 1;
    Registry registry(JoinPath(root, "machine"), JoinPath(root, "user"));
    ViewerEnvironment env;
    env.programFolder = JoinPath(root, "var/lib/tarvell");
    env.registry = &registry;
    env.mountInfo = [] { return std::string(); };
    int status = 0;
    {
        CTarvellApp app(env);
        ServerMap servers;
        app.CopyServers(servers);
        servers["Branch Office"] = {0, JoinPath(root, "branch")};
        app.SetServers(servers);
        app.ReloadDocument();
        FakeServiceBackend fake;
        fake.SetState(kServiceRunning);
        struct Forward : ServiceBackend {
            FakeServiceBackend& f;
            explicit Forward(FakeServiceBackend& fake) : f(fake) {}
            int QueryState() override { return f.QueryState(); }
            bool RequestStart() override { return f.RequestStart(); }
            bool RequestStop() override { return f.RequestStop(); }
            std::optional<std::string> LogonAccount() override { return f.LogonAccount(); }
            bool SendControl(int code) override { return f.SendControl(code); }
        };
        ServiceControl service(
            [] { return std::string(); },
            [&fake](const std::string&) { return std::make_unique<Forward>(fake); });
        PromptRecorder prompt;
        FrameOptions options;
        options.splashMs = 200;
        CMainFrame frame(app, service, prompt, options);
        frame.resize(1000, 700);
        frame.Open();
        Settle(1200);
        const auto save = [&](const QString& name, const QImage& image) {
            if (!AuditNames(name.toLocal8Bit().constData())) status = 1;
            if (!image.save(out + QStringLiteral("/") + name)) status = 1;
        };
        save(QStringLiteral("shell-summary.png"), frame.grab().toImage());
        // The banner alone, twice the size: the logo's two words and the service caption.
        const QImage banner = frame.Banner()->grab().toImage();
        save(QStringLiteral("shell-banner.png"), banner.scaled(banner.size() * 2));
        frame.Router().Send(cmd::kMonitor);
        Settle(300);
        save(QStringLiteral("shell-monitor-overview.png"), frame.grab().toImage());
        frame.Router().Send(cmd::kDetectionMonitor);
        Settle(300);
        save(QStringLiteral("shell-inner-page.png"), frame.grab().toImage());
        frame.Router().Send(cmd::kSummary);
        Settle(300);

        // Every screen at the size the window opens with.
        frame.resize(frame.minimumSize());
        const struct {
            CommandId command;
            const char* name;
        } screens[] = {
            {cmd::kSummary, "opening-summary.png"},
            {cmd::kMonitor, "opening-monitor.png"},
            {cmd::kDetectionMonitor, "opening-detection-monitor.png"},
            {cmd::kPreventionMonitor, "opening-prevention-monitor.png"},
            {cmd::kProtect, "opening-protect.png"},
            {cmd::kIntrusionDetection, "opening-intrusion-detection.png"},
            {cmd::kIntrusionPrevention, "opening-intrusion-prevention.png"},
            {cmd::kAlerts, "opening-alerts.png"},
            {cmd::kDetectionAlerts, "opening-detection-alerts.png"},
            {cmd::kPreventionAlerts, "opening-prevention-alerts.png"},
            {cmd::kSettings, "opening-settings.png"},
            {cmd::kSettingsLocal, "opening-settings-local.png"},
            {cmd::kSettingsAccess, "opening-settings-access.png"},
            {cmd::kSettingsSnmp, "opening-settings-snmp.png"},
            {cmd::kSettingsDevices, "opening-settings-devices.png"},
            {cmd::kSettingsNodes, "opening-settings-nodes.png"},
            {cmd::kSettingsAlerts, "opening-settings-alerts.png"},
        };
        for (const auto& screen : screens) {
            frame.Router().Send(screen.command);
            Settle(300);
            save(QString::fromLatin1(screen.name), frame.grab().toImage());
        }
        frame.Router().Send(cmd::kSummary);
        frame.resize(1000, 700);
        Settle(300);

        // The Options drop-down where its button would open it.
        CFlatToolBarCtrl* bar = frame.Banner()->TextToolbar();
        const QRect button = bar->ButtonRect(bar->CommandToIndex(cmd::kOptionsMenu));
        std::unique_ptr<QMenu> options_menu(frame.BuildDropDownMenu(cmd::kOptionsMenu, &frame));
        options_menu->popup(bar->mapToGlobal(QPoint(button.left() + 3, button.bottom() + 1 - 4)));
        Settle(300);
        if (QAction* connect = options_menu->actions().value(options_menu->actions().size() - 1)) {
            options_menu->setActiveAction(connect);
            if (connect->menu())
                connect->menu()->popup(
                    options_menu->mapToGlobal(options_menu->actionGeometry(connect).topRight()));
        }
        Settle(300);
        if (!SaveScreen(out + QStringLiteral("/shell-options-menu.png"))) status = 1;
        options_menu->close();
        Settle(300);

        // The tray menu at the lower right of the screen, as the notification area opens it.
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        frame.TrayMenu()->popup(screen.bottomRight() - QPoint(220, 90));
        Settle(300);
        if (!SaveScreen(out + QStringLiteral("/shell-tray-menu.png"))) status = 1;
        frame.TrayMenu()->close();
    }
    RemoveTree(root);
    return status;
}

}  // namespace
}  // namespace tarvell

int main(int argc, char** argv) {
    using namespace tarvell;
    QApplication app(argc, argv);
    const QStringList args = StartPictures();
    if (const auto root = OptionValue(args, "--seed"))
        return SeedSettings(root->toStdString()) ? 0 : 1;
    if (const auto out = OptionValue(args, "--out")) return TakePictures(*out);
    std::fprintf(stderr, "usage: tarvell-shell-shots [--out DIR | --seed ROOT]\n");
    return 2;
}
