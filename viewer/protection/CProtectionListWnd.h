// Page 5 of the main view: the protection list screen. In detection mode (32795) it lists the six
// detection protections, in prevention mode (32796) the six prevention ones, each with its Active
// or In-active image; above the list the status line shows the side's master switch with a link
// that flips it; at the right a details panel shows the selected protection and links to edit it
// and to learn more about it. The rows and their rules are in core/protection/ProtectionRows.h.
//
// The list is filled 1 ms after each showing from the hub's copy of the settings
// (ShownSettings), so a change made by another viewer shows within one reader pass. A property
// page's OK sets its own row's image (SetRowActive) without a refill. GUI thread only.
#pragma once

#include <QTimer>
#include <QWidget>
#include <functional>

#include "viewer/core/protection/ProtectionRows.h"
#include "viewer/widgets/ImageList.h"
#include "viewer/widgets/ShellPage.h"

class QLabel;
class QTextEdit;

namespace tarvell {

class CPaintListCtrl;
class LinkLabel;

// The status line: the side's title as a tab, "Status:", the state text, a small image and the
// link that switches the master switch. A click reloads, flips and saves the settings; only a
// saved change moves the texts, and a failed one is told (20040 or 20041) through `prompt`.
class CProtectionStatusPanel : public QWidget {
    Q_OBJECT
public:
    CProtectionStatusPanel(CTarvellApp& app, Prompt& prompt, QWidget* parent);

    void SetSide(ProtectionSide side, const QString& title);
    // The texts for the side's switch in `settings`.
    void ShowState(const CTarvellDoc& settings);
    // The link's action (wait cursor, reload, flip, save).
    EditResult Toggle();

    QString Title() const;
    QString StateText() const;
    LinkLabel* Link() const { return link_; }

signals:
    void switched(bool on);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    void ShowOn(bool on);

    CTarvellApp& app_;
    Prompt& prompt_;
    ProtectionSide side_ = ProtectionSide::Detection;
    bool on_ = false;
    QLabel* title_;
    QLabel* state_;
    LinkLabel* link_;
};

// The links panel under the details: "Edit/Modify selected protection..." and "Learn more about
// selected protection...", each with its icon, on lilac.
class CIntrusionActionsPanel : public QWidget {
    Q_OBJECT
public:
    explicit CIntrusionActionsPanel(QWidget* parent);
    LinkLabel* EditLink() const { return edit_; }
    LinkLabel* LearnLink() const { return learn_; }

signals:
    void editClicked();
    void learnClicked();

protected:
    void paintEvent(QPaintEvent*) override;

private:
    LinkLabel* edit_;
    LinkLabel* learn_;
};

// The details panel of one side: its heading, the read-only details text and the links panel.
// The two sides are two instances given their own texts and actions.
struct DetailsPanelSetup {
    QString heading;      // "Detection details"
    QString defaultText;  // shown while no row is selected
    // The links' actions for the selected row (by index); not called without a selection.
    std::function<void(int row)> edit;
    std::function<void(int row)> learnMore;
};

class CIntrusionDetailsPanel : public QWidget {
    Q_OBJECT
public:
    CIntrusionDetailsPanel(DetailsPanelSetup setup, QWidget* parent);

    // The list whose selection the panel follows (given at each showing).
    void SetList(const CPaintListCtrl* list) { list_ = list; }
    // The details of a row (title and description bold label, description regular).
    void ShowDetails(const std::vector<TextRun>& runs);
    // Repaints for the list's selection: lilac with the links, or white with the default text.
    void Follow();
    bool HasSelection() const;

    QTextEdit* Details() const { return details_; }
    CIntrusionActionsPanel* Actions() const { return actions_; }
    void Edit();
    void LearnMore();

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;

private:
    int SelectedRow() const;

    DetailsPanelSetup setup_;
    const CPaintListCtrl* list_ = nullptr;
    QTextEdit* details_;
    CIntrusionActionsPanel* actions_;
    bool selected_ = false;
};

class CProtectionListWnd : public QWidget, public ShellPage {
    Q_OBJECT
public:
    CProtectionListWnd(const PageContext& context, QWidget* parent = nullptr);

    void SetMode(CommandId mode) override;
    ProtectionSide Side() const { return SideOfMode(Mode()); }

    // Fills the list for the current mode (the timer's work).
    void Fill();
    // A property page's OK: the row's image, 1 Active or 0 In-active.
    void SetRowActive(int row, bool active);
    bool RowActive(int row) const;
    // The details of `row` into the current side's panel (nothing for a row beyond the list).
    void ShowRowDetails(int row);

    CPaintListCtrl* List() const { return list_; }
    CProtectionStatusPanel* Status() const { return status_; }
    CIntrusionDetailsPanel* DetectionDetails() const { return detection_; }
    CIntrusionDetailsPanel* PreventionDetails() const { return prevention_; }
    CIntrusionDetailsPanel* VisibleDetails() const;
    bool FillPending() const { return fillTimer_.isActive(); }
    int Fills() const { return fills_; }
    const PageContext& Context() const { return context_; }

protected:
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void paintEvent(QPaintEvent*) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OpenPage(ProtectionSide side, int row);
    void LearnMore(ProtectionSide side, int row);

    PageContext context_;
    ImageList images_;
    CPaintListCtrl* list_;
    CProtectionStatusPanel* status_;
    CIntrusionDetailsPanel* detection_;
    CIntrusionDetailsPanel* prevention_;
    QTimer fillTimer_;
    int fills_ = 0;
};

}  // namespace tarvell
