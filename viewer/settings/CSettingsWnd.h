// The settings screen (page 8 of the main view): six categories on a vertical toolbar at the
// left, one panel at a time at the right and Save at the bottom right. Each show starts on Local,
// reloads the settings, keeps their text tables in step, then gates the categories by the user's
// permissions. Save stores what the visible panel shows. GUI thread only.
#pragma once

#include <QAbstractButton>
#include <QPixmap>
#include <QWidget>
#include <array>

#include "viewer/core/shell/CommandRouter.h"
#include "viewer/widgets/ImageList.h"
#include "viewer/widgets/PageShowing.h"
#include "viewer/widgets/ShellPage.h"

namespace tarvell {

class CFlatToolBarCtrl;
class CLocalSettingsPanel;
class CSettingsPanelBase;
class FilePicker;
class FolderPicker;

// The Save button, drawn from four images (up, down, focused, disabled) made at start-up.
class CSaveButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit CSaveButton(QWidget* parent);
    QSize sizeHint() const override { return {100, 25}; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    std::array<QPixmap, 4> images_;
};

class CSettingsWnd : public QWidget, public ShellPage {
    Q_OBJECT
public:
    static constexpr int kPanels = 6;

    CSettingsWnd(const PageContext& context, QWidget* parent, FolderPicker* folders = nullptr,
                 FilePicker* files = nullptr);

    CommandTarget* Commands() override { return &commands_; }

    // Shows the category's panel and presses its button; a category the user may not open is
    // not shown (the visible panel stays).
    void ShowCategory(CommandId command);
    void OnSave();
    // The panels reach Save through these.
    void EnableSave(bool enable);

    CommandId Current() const { return current_; }
    CFlatToolBarCtrl* Toolbar() const { return toolbar_; }
    QAbstractButton* SaveButton() const { return save_; }
    CSettingsPanelBase* Panel(int index) const { return panels_[static_cast<std::size_t>(index)]; }
    CSettingsPanelBase* VisiblePanel() const;
    CLocalSettingsPanel* LocalPanel() const { return local_; }

protected:
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void paintEvent(QPaintEvent*) override;

private:
    bool MayOpen(CommandId command) const;

    PageContext context_;
    CommandTarget commands_;
    ImageList images_;
    CFlatToolBarCtrl* toolbar_;
    CSaveButton* save_;
    CLocalSettingsPanel* local_;
    std::array<CSettingsPanelBase*, kPanels> panels_{};
    CommandId current_ = 0;
    PageShowing showing_;
};

}  // namespace tarvell
