// The main view: eight page windows below an 81-pixel header band, exactly one visible at a
// time. The band shows the family's title and icon, and either the drop-down toolbar of the
// overview's detection and prevention screens ("Take Me To:") or the back button of an inner
// page. Every page command reaches the view, which is the single place mapping them to pages.
#pragma once

#include <QWidget>
#include <array>
#include <functional>

#include "viewer/core/shell/CommandRouter.h"
#include "viewer/core/shell/ShellLogic.h"
#include "viewer/frame/PageFactory.h"

namespace tarvell {

class CFlatToolBarCtrl;

class CTarvellView : public QWidget {
    Q_OBJECT
public:
    struct Hooks {
        std::function<void()> refreshServiceState;     // the banner's state icon
        std::function<bool(const QString&)> openHelp;  // the desktop's opener
        std::function<QString()> programPath;          // the running program's file
    };
    CTarvellView(const PageContext& context, Hooks hooks, QWidget* parent = nullptr);

    CommandTarget& Commands() { return commands_; }
    const ViewState& State() const { return state_; }
    QWidget* Page(int slot) const;  // 1..8
    QWidget* VisiblePage() const;
    CFlatToolBarCtrl* BackToolbar() const { return back_; }
    CFlatToolBarCtrl* DropDownToolbar(DropDownBar bar) const;

    // Shows the page of a page command; false for another command.
    bool ShowPage(CommandId command);
    void UpdateNow();
    // Opens the help topic; false when the file is missing (nothing is shown then).
    bool Help();
    QString HelpPath() const;

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;

private:
    void HideAllPages();
    void ApplyToolbarPermissions();

    PageContext context_;
    Hooks hooks_;
    CommandTarget commands_;
    ViewState state_;
    std::array<QWidget*, kPageSlots> pages_{};
    std::array<CFlatToolBarCtrl*, 3> dropDowns_{};
    CFlatToolBarCtrl* back_ = nullptr;
};

}  // namespace tarvell
