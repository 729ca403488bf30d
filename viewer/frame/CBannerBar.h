// The banner across the top of the main frame: the product name, the text toolbar with the
// File, Options, Tools and Help drop-downs, the icon toolbar of the three overview pages, and
// the service-state icon, which shows whether the service runs and starts or stops it when
// clicked. The state is asked when the banner is shown and on RefreshServerState; otherwise the
// frame passes on the state the hub's reading cycle found (ShowServerState).
#pragma once

#include <QLabel>
#include <QWidget>
#include <functional>

#include "viewer/core/base/CommandIds.h"
#include "viewer/core/shell/ShellLogic.h"

namespace tarvell {

class CFlatToolBarCtrl;
class CommandRouter;
class Prompt;

inline constexpr int kBannerHeight = 64;

class CBannerBar : public QWidget {
    Q_OBJECT
public:
    struct Hooks {
        std::function<int()> queryState;  // the service state: 1, 0, -1
        std::function<bool()> hasViewerUsers;
        std::function<std::string()> permissions;
    };
    CBannerBar(const CommandRouter& router, Prompt& prompt, Hooks hooks, QWidget* parent = nullptr);

    // Asks the state; when it changed, the icon and its caption follow at once.
    void RefreshServerState();
    // Shows a state known without asking (1, 0, -1).
    void ShowServerState(int state);
    int ServerState() const { return icon_.State(); }
    bool StateIconVisible() const { return stateIcon_->isVisible(); }
    // The click on the state icon (command 32801).
    void OnServiceCommand();

    CFlatToolBarCtrl* TextToolbar() const { return textBar_; }
    CFlatToolBarCtrl* IconToolbar() const { return iconBar_; }
    QLabel* StateIcon() const { return stateIcon_; }

signals:
    // A drop-down button of the text toolbar was pressed; `at` is the button in global
    // coordinates.
    void dropDown(tarvell::CommandId command, QRect at);

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void showEvent(QShowEvent*) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    const CommandRouter& router_;
    Prompt& prompt_;
    Hooks hooks_;
    CFlatToolBarCtrl* textBar_;
    CFlatToolBarCtrl* iconBar_;
    QLabel* stateIcon_;
    ServerStateIcon icon_;
};

}  // namespace tarvell
