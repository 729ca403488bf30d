// A tab control painted by the viewer: tabs along the top and a pane below them, in which the
// owner places the page of the selected tab (DisplayRect). Themed painting (the default) draws
// flat tabs with hot tracking of the tab under the mouse; classic painting, used when the
// program runs unthemed (SetAppThemed(false)), draws button-face tabs with raised edges and
// does no hot tracking. Hot tracking follows hover and leave events and never captures the
// mouse, so the first click elsewhere always arrives. GUI thread only.
#pragma once

#include <QPalette>
#include <QWidget>
#include <vector>

#include "viewer/core/look/TabRules.h"

namespace tarvell {

class CThemeTabCtrl : public QWidget {
    Q_OBJECT
public:
    explicit CThemeTabCtrl(QWidget* parent = nullptr);

    // Whether controls of this class paint themed; shared by all of them, true at start.
    static void SetAppThemed(bool themed);
    static bool IsAppThemed();

    // The palette colour the control's background is filled with (QPalette::Window at start).
    void SetBackgroundColorRole(QPalette::ColorRole role) {
        backgroundRole_ = role;
        update();
    }

    int AddTab(const QString& text);
    int TabCount() const { return static_cast<int>(tabs_.size()); }
    QString TabText(int index) const;
    // Selects a tab (no signal); -1 selects none. False for an index outside the tabs.
    bool SetCurSel(int index);
    int CurSel() const { return current_; }
    // The tab's rectangle before the painting adjustments; empty for an index outside the tabs.
    QRect TabRect(int index) const;
    int TabAt(QPoint pos) const;
    // The area for the selected tab's page.
    QRect DisplayRect() const;
    // The hot tab, or -1.
    int HotTab() const { return tracker_.Hot(); }

    QSize sizeHint() const override;

signals:
    // The user chose another tab.
    void currentChanged(int index);

protected:
    void paintEvent(QPaintEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void leaveEvent(QEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    void changeEvent(QEvent*) override;

private:
    int TabHeight() const;
    void RepaintTabs(const std::vector<int>& tabs);
    void ChooseTab(int index);

    QPalette::ColorRole backgroundRole_ = QPalette::Window;
    std::vector<QString> tabs_;
    int current_ = -1;
    TabHotTracker tracker_;
};

}  // namespace tarvell
