// The viewer's one top-level window: the banner across the top, the main view below it, and an
// icon in the notification area for the whole life of the process. It builds the banner's
// drop-down menus (the Options menu from the service state and the known servers), connects
// the viewer to another server, starts and stops the service, and is the only place where the
// process ends: closing the window hides it; Shutdown in the tray menu ends the program.
#pragma once

#include <QMenu>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QWidget>
#include <functional>
#include <memory>

#include "viewer/core/shell/CommandRouter.h"
#include "viewer/core/shell/ShellLogic.h"
#include "viewer/frame/CSplashDlg.h"

namespace tarvell {

class CBannerBar;
class CTarvellApp;
class CTarvellView;
class Prompt;
class ServiceControl;

struct FrameOptions {
    int splashMs = kSplashMs;
    std::function<void(int)> exit;                 // Shutdown; nullptr: QCoreApplication::exit
    std::function<bool(const QString&)> openHelp;  // nullptr: the desktop's opener
    std::function<QString()> programPath;          // nullptr: the running program
    std::function<void()> startReaders;            // nullptr: CTarvellApp::StartReaders
};

class CMainFrame : public QWidget {
    Q_OBJECT
public:
    CMainFrame(CTarvellApp& app, ServiceControl& service, Prompt& prompt,
               FrameOptions options = {});
    ~CMainFrame() override;

    const CommandRouter& Router() const { return router_; }
    CommandTarget& Commands() { return commands_; }
    CBannerBar* Banner() const { return banner_; }
    CTarvellView* View() const { return view_; }
    QSystemTrayIcon* Tray() const { return tray_; }
    QMenu* TrayMenu() const { return trayMenu_; }

    // The menu of a drop-down button of the banner (File, Options, Tools, Help), built now,
    // greyed by the viewer user's permissions; the caller owns it.
    QMenu* BuildDropDownMenu(CommandId button, QWidget* parent);
    // Connects to the named server: settings first; on failure message 20000 and nothing changes.
    bool ConnectTo(const std::string& serverName);
    // A server by name and folder, saved among the servers or not (the Local panel's Connect).
    bool ConnectTo(const std::string& serverName, const std::string& folder);
    bool Connect(const std::string& serverName, const std::string* folder);
    // Tray Open: shown, raised, centred, focused.
    void Open();
    void StartServer();
    void StopServer();
    void Shutdown();
    // Caption and tray tip from the document's title.
    void RefreshTitles();

    // The splash currently shown, if any (for tests).
    CSplashDlg* Splash() const { return splash_; }

signals:
    void splashFinished();

protected:
    void showEvent(QShowEvent*) override;
    void closeEvent(QCloseEvent*) override;

private:
    void ShowDropDown(CommandId button, QRect at);
    void FillMenu(QMenu* menu, const std::vector<ShellMenuItem>& items);
    bool RunOffGuiThread(const std::function<bool()>& work);
    void CenterOnScreen();

    CTarvellApp& app_;
    ServiceControl& service_;
    Prompt& prompt_;
    FrameOptions options_;
    CommandTarget commands_;
    CommandRouter router_{&commands_};
    CBannerBar* banner_ = nullptr;
    CTarvellView* view_ = nullptr;
    QSystemTrayIcon* tray_ = nullptr;
    QMenu* trayMenu_ = nullptr;
    QPointer<CSplashDlg> splash_;
};

}  // namespace tarvell
