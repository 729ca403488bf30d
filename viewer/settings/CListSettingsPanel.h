// The settings kit's list panel: a settings panel whose lower part is one list of rows and the
// button that adds a row under it (the Access panel's users, the Local panel's servers). A right
// click on a row selects it and opens the list's menu (nothing beside the rows); a double click
// on a row selects it and runs the panel's default action. The list fills the panel's width and
// its height down to the button, which stays 40 pixels above the bottom. GUI thread only.
#pragma once

#include <QPushButton>
#include <functional>

#include "viewer/settings/CSettingsPanelBase.h"

class QMenu;

namespace tarvell {

class CSortListCtrl;

class CListSettingsPanel : public CSettingsPanelBase {
    Q_OBJECT
public:
    CSortListCtrl* List() const { return view_; }
    QPushButton* AddButton() const { return add_; }

protected:
    using CSettingsPanelBase::CSettingsPanelBase;

    // Builds the list, named `name`, at `top` under the panel's texts, and the button after it
    // (so both follow the controls built before them in the tab order).
    void AddList(const QString& name, int top);
    // The menu of a right click, the action of a double click (after selecting the row) and the
    // button's text and action.
    void SetRowActions(QMenu* menu, std::function<void()> open);
    void SetAddButton(const QString& text, std::function<void()> add);

    void resizeEvent(QResizeEvent*) override;

private:
    CSortListCtrl* view_ = nullptr;
    QPushButton* add_ = nullptr;
    QMenu* menu_ = nullptr;
    int top_ = 0;
};

}  // namespace tarvell
