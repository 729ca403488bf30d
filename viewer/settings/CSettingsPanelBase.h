// The common look of the settings window's panels: a white child with its title in bold Tahoma
// of height pixels-per-inch / 7 inside a tab-shaped frame, headings in bold Tahoma 13, texts in
// Tahoma 13, RGB(83, 83, 83). A panel loads its controls each time it is shown and tells the
// window of every change the user makes (which enables Save). GUI thread only.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QWidget>
#include <functional>
#include <utility>
#include <vector>

#include "viewer/core/base/CommandIds.h"
#include "viewer/widgets/Accessibility.h"  // Labelled and Named for the pages

namespace tarvell {

class LinkLabel;
class SettingsPanel;

class CSettingsPanelBase : public QWidget {
    Q_OBJECT
public:
    CSettingsPanelBase(const QString& title, CommandId category, QWidget* parent);

    CommandId Category() const { return category_; }
    QString Title() const { return title_->text(); }
    // Fills the controls; called on each show, before the window disables Save.
    virtual void LoadPanel() {}
    // The document side of the panel for Save, or null (the Local panel stores elsewhere).
    virtual const SettingsPanel* Document() const { return nullptr; }

signals:
    void changed();

protected:
    void paintEvent(QPaintEvent*) override;
    // Keeps the texts inside the panel: each wrapping text and each box is narrowed to the
    // panel's width less its margin (never widened past its place), so a text wraps there
    // instead of running off the edge; a box with two lines of room breaks its text at a blank.
    void resizeEvent(QResizeEvent*) override;
    // A heading (one line, bold) or a text that wraps within `place`.
    QLabel* AddText(const QString& text, QRect place, bool heading = false);
    QCheckBox* AddCheck(const QString& text, QRect place);
    // A link in RGB(66, 26, 66), active only while `box` is ticked.
    LinkLabel* AddLinkedTo(QCheckBox* box, const QString& text, QRect place);

private:
    QLabel* title_;
    CommandId category_;
    std::vector<std::pair<QLabel*, QRect>> texts_;  // the wrapping texts and their places
    struct Check {
        QCheckBox* box;
        QRect place;
        QString text;  // whole, on one line
    };
    std::vector<Check> checks_;
};

// A category whose panel is not built yet: its title alone.
class CTitledSettingsPanel : public CSettingsPanelBase {
    Q_OBJECT
public:
    using CSettingsPanelBase::CSettingsPanelBase;
};

}  // namespace tarvell
