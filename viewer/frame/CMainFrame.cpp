#include "viewer/frame/CMainFrame.h"

#include "viewer/frame/CAboutDlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <thread>

#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/shell/MenuTable.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/core/service/ServiceControl.h"
#include "viewer/core/base/StringTable.h"
#include "viewer/frame/CBannerBar.h"
#include "viewer/frame/CTarvellView.h"
#include "viewer/summary/CInformationDlg.h"
#include "viewer/widgets/CommandActions.h"
#include "viewer/widgets/HubSignals.h"
#include "viewer/widgets/Images.h"
#include "viewer/widgets/TextConv.h"
#include "viewer/widgets/WaitCursor.h"

namespace tarvell {

namespace {
// Position of each drop-down's popup in the main menu.
int PopupIndex(CommandId button) {
    switch (button) {
        case cmd::kFileMenu: return 0;
        case cmd::kOptionsMenu: return 1;
        case cmd::kToolsMenu: return 2;
        case cmd::kHelpMenu: return 3;
        default: return -1;
    }
}
}  // namespace

CMainFrame::CMainFrame(CTarvellApp& app, ServiceControl& service, Prompt& prompt,
                       FrameOptions options)
    : app_(app), service_(service), prompt_(prompt), options_(std::move(options)) {
    setObjectName(QStringLiteral("mainFrame"));
    setWindowIcon(ProgramIcon());
    const int dpi = logicalDpiX();
    setMinimumSize(8 * dpi, 6 * dpi);
    resize(minimumSize());

    // The hub asks the service at each reader pass; the banner asks it afresh (through the hub,
    // so the summary follows) when shown, after a start, stop or connect, and on a click.
    app_.SetServiceProbe([this] { return service_.QueryServerState(); });
    CBannerBar::Hooks bannerHooks;
    bannerHooks.queryState = [this] { return app_.ProbeService(); };
    bannerHooks.hasViewerUsers = [this] { return !app_.Document().Fields().ViewerUsers.empty(); };
    bannerHooks.permissions = [this] { return app_.GetUserPermissions(); };
    banner_ = new CBannerBar(router_, prompt_, std::move(bannerHooks), this);
    banner_->hide();
    connect(banner_, &CBannerBar::dropDown, this,
            [this](CommandId id, QRect at) { ShowDropDown(id, at); });
    connect(new HubSignals(app_, this), &HubSignals::changed, this, [this](HubChange change) {
        if (change == HubChange::ServerStateChanged) banner_->ShowServerState(app_.ServiceState());
    });

    CTarvellView::Hooks viewHooks;
    viewHooks.refreshServiceState = [this] {
        banner_->RefreshServerState();
        RefreshTitles();
    };
    viewHooks.openHelp = options_.openHelp;
    viewHooks.programPath = options_.programPath;
    PageContext pages{app_, router_, prompt_, [this] { return service_.QueryServerState(); }};
    pages.serviceUserAccount = [this] { return service_.IsServiceUserAccount(); };
    pages.service = &service_;
    pages.showInformation = [](const QString& title, const QString& html, QWidget* parent) {
        CInformationDlg(title, html, parent).exec();
    };
    pages.connectServer = [this](const std::string& name, const std::string& folder) {
        return ConnectTo(name, folder);
    };
    view_ = new CTarvellView(pages, std::move(viewHooks), this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(banner_);
    layout->addWidget(view_, 1);

    commands_.On(cmd::kStartServer, [this] { StartServer(); });
    commands_.On(cmd::kStopServer, [this] { StopServer(); });
    commands_.On(cmd::kConnectServer, [this] { ConnectTo(app_.Server().Name); });
    commands_.On(cmd::kOpen, [this] { Open(); });
    commands_.On(cmd::kShutdown, [this] { Shutdown(); });
    commands_.On(cmd::kAppExit, [this] { close(); });
    commands_.On(cmd::kService, [this] { banner_->OnServiceCommand(); });
    commands_.On(cmd::kAppAbout, [this] {
        CAboutDlg about(QString::fromStdString(app_.Document().Fields().Version), this);
        about.exec();
    });
    commands_.SetNext([this] { return &view_->Commands(); });

    trayMenu_ = new QMenu(this);
    trayMenu_->setObjectName(QStringLiteral("trayMenu"));
    if (const auto* tray = LoadMenu(res::kTrayMenu); tray && !tray->empty())
        FillMenu(trayMenu_, ToShellMenu(tray->front().popup));
    tray_ = new QSystemTrayIcon(ProgramIcon(), this);
    tray_->setToolTip(QStringLiteral("Tarvell"));
    tray_->setContextMenu(trayMenu_);
    connect(tray_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::DoubleClick) Open();
            });
    tray_->show();
    RefreshTitles();
}

CMainFrame::~CMainFrame() {
    app_.SetServiceProbe(nullptr);  // the reader thread may be asking; service_ may go next
    if (tray_) tray_->hide();
}

void CMainFrame::RefreshTitles() {
    const std::string title = app_.Document().Title();
    setWindowTitle(FromUtf8(FrameCaption(title)));
    if (tray_) tray_->setToolTip(FromUtf8(TrayTip(title)));
}

void CMainFrame::FillMenu(QMenu* menu, const std::vector<ShellMenuItem>& items) {
    for (const ShellMenuItem& item : items) {
        if (item.IsSeparator()) {
            menu->addSeparator();
            continue;
        }
        if (!item.popup.empty() || (item.command == 0 && item.serverName.empty())) {
            QMenu* sub = menu->addMenu(FromUtf8(item.text));
            sub->setEnabled(item.enabled);
            FillMenu(sub, item.popup);
            continue;
        }
        QAction* action = nullptr;
        if (!item.serverName.empty()) {
            // Servers are chosen by name: the list may differ from when the menu was built.
            action = menu->addAction(FromUtf8(item.text));
            const std::string name = item.serverName;
            connect(action, &QAction::triggered, this, [this, name] { ConnectTo(name); });
            if (item.isDefault) menu->setDefaultAction(action);
        } else {
            action = MakeCommandAction(FromUtf8(item.text), item.command, menu);
            menu->addAction(action);
            const CommandId id = item.command;
            connect(action, &QAction::triggered, this, [this, id] { router_.Send(id); });
        }
        action->setEnabled(item.enabled);
    }
}

QMenu* CMainFrame::BuildDropDownMenu(CommandId button, QWidget* parent) {
    const int index = PopupIndex(button);
    const auto* main = LoadMenu(res::kMainMenu);
    if (index < 0 || !main || static_cast<int>(main->size()) <= index) return nullptr;
    std::vector<ShellMenuItem> items;
    if (button == cmd::kOptionsMenu) {
        ServerMap servers;
        app_.CopyServers(servers);
        items = BuildOptionsMenu(service_.QueryServerState(), servers);
    } else {
        items = ToShellMenu((*main)[static_cast<std::size_t>(index)].popup);
    }
    const bool users = !app_.Document().Fields().ViewerUsers.empty();
    ApplyPermissions(items, users, users ? app_.GetUserPermissions() : std::string());
    auto* menu = new QMenu(parent);
    menu->setObjectName(QStringLiteral("dropDown%1").arg(button));
    FillMenu(menu, items);
    return menu;
}

void CMainFrame::ShowDropDown(CommandId button, QRect at) {
    std::unique_ptr<QMenu> menu(BuildDropDownMenu(button, this));
    if (!menu) return;
    menu->exec(QPoint(at.left() + 3, at.bottom() + 1 - 4));
}

bool CMainFrame::RunOffGuiThread(const std::function<bool()>& work) {
    WaitCursor wait;
    QEventLoop loop;
    bool result = false;
    // The window keeps painting while the poll runs; clicks and keys wait until it is done.
    std::thread worker([&] {
        result = work();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    return result;
}

void CMainFrame::StartServer() {
    const bool started = RunOffGuiThread([this] { return service_.StartAndWait(); });
    if (!started) {
        prompt_.AskString(str::kStartFailed, PromptButtons::Ok, PromptIcon::Information);
        return;
    }
    banner_->RefreshServerState();
}

void CMainFrame::StopServer() {
    if (prompt_.AskString(str::kAskStopService, PromptButtons::YesNoCancel, PromptIcon::Question) !=
        PromptAnswer::Yes)
        return;
    const bool stopped = RunOffGuiThread([this] { return service_.StopAndWait(); });
    if (!stopped) {
        prompt_.AskString(str::kStopFailed, PromptButtons::Ok, PromptIcon::Information);
        return;
    }
    banner_->RefreshServerState();
}

bool CMainFrame::ConnectTo(const std::string& serverName) { return Connect(serverName, nullptr); }

bool CMainFrame::ConnectTo(const std::string& serverName, const std::string& folder) {
    return Connect(serverName, &folder);
}

bool CMainFrame::Connect(const std::string& serverName, const std::string* givenFolder) {
    // Reading a server whose files cannot be read takes up to 5 attempts of 1 s per file: the
    // reading runs on a worker while the window keeps painting; only the commit runs here.
    ServerLoad load;
    RunOffGuiThread([&] {
        load = givenFolder ? app_.PrepareServer(serverName, *givenFolder)
                           : app_.PrepareServer(serverName);
        return load.settings.has_value();
    });
    const bool known = load.known || givenFolder;
    const std::string folder = load.server.Folder;
    if (!app_.CommitServer(std::move(load))) {
        PromptRequest request;
        request.text = known ? ConnectFailureText(serverName, folder)
                             : std::string(LoadString(str::kConnectFailed));
        request.buttons = PromptButtons::Ok;
        request.icon = PromptIcon::Information;
        prompt_.Ask(request);
        return false;
    }
    banner_->RefreshServerState();
    router_.Send(cmd::kSummary);
    RefreshTitles();
    return true;
}

void CMainFrame::CenterOnScreen() {
    if (QScreen* screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        QRect frame = frameGeometry();
        frame.moveCenter(area.center());
        move(frame.topLeft());
    }
}

void CMainFrame::Open() {
    WaitCursor wait;
    showNormal();
    raise();
    activateWindow();
    CenterOnScreen();
    setFocus();
}

void CMainFrame::Shutdown() {
    hide();
    tray_->hide();
    if (options_.exit) options_.exit(0);
    else QCoreApplication::exit(0);
}

void CMainFrame::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (event->spontaneous()) return;  // a window manager's restore, not a show of ours
    // The splash runs over the frame; its timer starts the readers (once per process).
    if (!splash_) {
        // The first loads retry unreadable files for seconds: they run on a worker too.
        splash_ = new CSplashDlg(
            [this] {
                RunOffGuiThread([this] {
                    if (options_.startReaders) options_.startReaders();
                    else app_.StartReaders();
                    return true;
                });
            },
            options_.splashMs, this);
        splash_->setAttribute(Qt::WA_DeleteOnClose);
        connect(splash_, &QDialog::finished, this, [this] {
            // Deleted on close; the next show makes a new one.
            splash_ = nullptr;
            emit splashFinished();
        });
        QTimer::singleShot(0, splash_, [s = splash_] {
            if (s) s->open();
        });
    }
    CenterOnScreen();
    banner_->show();
    router_.Send(cmd::kSummary);
    RefreshTitles();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    // Closing only hides the window: the readers and the tray icon stay.
    event->ignore();
    hide();
}

}  // namespace tarvell
