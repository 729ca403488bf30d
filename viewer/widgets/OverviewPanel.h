// The base of the small panels of the overview pages: a frameless white child that shows a few
// counts or a state text read from the hub and the settings document, refreshes them while it is
// visible (on the hub's change signal, and on a timer only for what the hub does not hold), and
// has links that switch the main view to a detailed screen through `sendCommand`.
// None of them changes any data. GUI thread only.
#pragma once

#include <QLabel>
#include <QWidget>
#include <functional>
#include <map>
#include <string_view>

#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/base/CommandIds.h"
#include "viewer/core/base/ControlIds.h"

class QPainter;

namespace tarvell {

class LinkLabel;

using SendCommand = std::function<void(int commandId)>;

// One side of a two-part details panel: its count, heading, description and link.
struct SideTexts {
    ControlId countId;
    QString heading, description;
    ControlId linkId;
    QString link;
    CommandId command;
};

// Shared by the panels: the white background with thin separators, the title, value labels that
// are rewritten only when their text changes, links, and the refresh on show and, while visible,
// on each change of the hub.
class OverviewPanel : public QWidget {
    Q_OBJECT
public:
    OverviewPanel(CTarvellApp& app, SendCommand send, QWidget* parent);

    // Updates the texts now (and restarts the timer while the panel is visible).
    void Refresh();
    // The text of the control with the resource id (1000 the title, 1008 a count, ...).
    QString Text(ControlId id) const;
    LinkLabel* Link(ControlId id) const;

protected:
    virtual void Update() = 0;
    QLabel* AddLabel(ControlId id, const QString& text, QRect place, const QFont& font,
                     bool wrap = false);
    QLabel* Label(ControlId id) const;
    LinkLabel* AddLink(ControlId id, const QString& text, CommandId command, QRect place);
    // Rewrites a label; a count label (FitCount) then takes the width of its text.
    void SetTextIfChanged(ControlId id, const QString& text);
    // The count label `id` keeps its place as the least width and grows with its text: the label
    // `next` to its right moves along (keeping its right edge), or, where the count would pass the
    // panel's right edge, the count and the label `before` it move left as far as the margin.
    void FitCount(ControlId id, QLabel* next, QLabel* before);
    // Links guarded by permissions, checked at each show.
    void ApplyPermissions(const std::map<ControlId, std::string_view>& permissions);
    void AddSeparator(int y) { separators_.push_back(y); }
    // The information panel at the left of an overview page (160 x 175): its title (1000) first,
    // then what the panel shows, then InformationText: a separator and the paragraph (1016) below
    // it, in InformationFont.
    void AddInformationTitle(const QString& title);
    void AddInformationText(const QString& text);

    void showEvent(QShowEvent*) override;
    void paintEvent(QPaintEvent*) override;

    CTarvellApp& app_;
    SendCommand send_;

private:
    std::map<ControlId, QLabel*> labels_;
    std::map<ControlId, LinkLabel*> links_;
    struct CountFit {
        QRect place;
        QLabel* next = nullptr;
        QRect nextPlace;
        QLabel* before = nullptr;
        QRect beforePlace;
    };
    std::map<ControlId, CountFit> fits_;
    std::vector<int> separators_;
};

// The details panel of an overview page: a total, then a block per side (detection, prevention)
// with its count, description and a link to the side's screen. Each link is guarded by its side's
// viewer permission, checked at each show. The counts are read from `counts` at each refresh.
struct DetailsTexts {
    QString title;
    ControlId totalId;
    QString totalText;
    SideTexts sides[2];
    QString countText;                // beside each side's count
    std::string_view permissions[2];  // of the sides' links, from the string table
    // With no viewer users the links keep the state they have, else they are enabled.
    bool keepLinksWithoutUsers = false;
};

class OverviewDetailsPanel : public OverviewPanel {
    Q_OBJECT
public:
    OverviewDetailsPanel(CTarvellApp& app, SendCommand send, const DetailsTexts& texts,
                         std::function<ItemCounts()> counts, QWidget* parent);

protected:
    void Update() override;
    void showEvent(QShowEvent*) override;

private:
    ControlId totalId_;
    ControlId countIds_[2];
    std::map<ControlId, std::string_view> permissions_;  // link id -> permission
    bool keepLinksWithoutUsers_;
    std::function<ItemCounts()> counts_;
};

// An overview page: the page background, the information panel at the left (30, 30, 160 x 175)
// and the details panel at the right (its top left at 220, 30). A subclass makes the two panels
// and hands them to PlacePanels.
class OverviewPage : public QWidget {
    Q_OBJECT
public:
    explicit OverviewPage(QWidget* parent);

protected:
    void PlacePanels(QWidget* information, QWidget* details);
    void resizeEvent(QResizeEvent*) override;
    void paintEvent(QPaintEvent*) override;

private:
    QWidget* information_ = nullptr;
    QWidget* details_ = nullptr;
};

// The shared background of the overview pages: the page gradient and two white panels, (20, 20)
// to (200, 210) and (210, 20) to (cx - 20, cy - 20).
void PaintOverviewBackground(QPainter& p, const QRect& client);

// Fonts of the panels.
QFont PanelTextFont();
QFont PanelBoldFont();
QFont PanelTitleFont(const QWidget& w);
// The small face of the information panels, so that the stand-in face, wider than the original
// one, fits their fixed layout.
QFont InformationFont();

}  // namespace tarvell
