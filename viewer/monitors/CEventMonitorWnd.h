// Page 3 of the main view: the detection monitor (mode 32793) and the prevention monitor (mode
// 32794), one event list each with its header panel, report panel and details pane. Shown, the
// page empties the list of its mode, sorts by the first column and fills the list 1 ms later;
// while it stays shown it refills when the hub announces new events or settings (no timer of its
// own). A pass runs on the GUI thread, one at a time (a change announced during a pass is
// skipped); it keeps rows in place, announces only the rows whose events changed, removes the
// rows whose events left the screen and finds rows by their exact key (EventList).
#pragma once

#include <QTimer>
#include <QWidget>
#include <functional>
#include <string>

#include "viewer/core/summary/ReportText.h"
#include "viewer/widgets/ShellPage.h"
#include "viewer/widgets/ImageList.h"
#include "viewer/widgets/PageShowing.h"

namespace tarvell {

class CPaintListCtrl;
class CMonitorHeaderPanel;
class CDetectionMonitorHeaderPanel;
class CPreventionMonitorHeaderPanel;
class CFramedPanel;
class CMonitorDetailsPanel;
class EventListModel;

class CEventMonitorWnd : public QWidget, public ShellPage {
    Q_OBJECT
public:
    static constexpr int kFirstFillMs = 1;
    static constexpr int kShownSortColumn = 0;

    CEventMonitorWnd(const PageContext& context, QWidget* parent);
    ~CEventMonitorWnd() override;

    void SetMode(CommandId mode) override;
    bool IsDetection() const { return Mode() != cmd::kPreventionMonitor; }

    // One refresh pass over the list of the current mode; false (nothing done) while another
    // pass runs.
    bool FillEventLists();
    bool Filling() const { return filling_; }
    // A header click on `list`: sorts by `column`, flipping the direction.
    void OnHeaderClick(CPaintListCtrl* list, int column);
    // The filter of a header panel changed: clears that list's selection, redraws its details
    // pane and refills.
    void OnFilterChanged(bool detection);

    CPaintListCtrl* m_DetectionList = nullptr;
    CPaintListCtrl* m_PreventionList = nullptr;
    CPaintListCtrl* List(bool detection) const {
        return detection ? m_DetectionList : m_PreventionList;
    }
    // The rows of a list, by event key.
    EventListModel* Rows(bool detection) const { return models_[detection ? 0 : 1]; }
    CMonitorHeaderPanel* Header(bool detection) const;
    CFramedPanel* ReportPanel(bool detection) const {
        return detection ? reports_[0] : reports_[1];
    }
    CMonitorDetailsPanel* DetailsPane(bool detection) const {
        return detection ? details_[0] : details_[1];
    }
    bool RefreshTimerActive() const { return timer_.isActive(); }
    int RefreshInterval() const { return timer_.interval(); }
    int Passes() const { return passes_; }

    // Where a pass asks whether an event was read (the hub's read marks unless set).
    void SetReadMarkQuery(std::function<bool(const std::string&)> query) {
        readMark_ = std::move(query);
    }

    const PageContext& Context() const { return context_; }

    // Row `row` of a list chosen (click, arrow key, search): its event's text goes in the details
    // pane and the event is marked read. An event that left the hub keeps the pane's text and is
    // still marked.
    void ShowEvent(bool detection, int row);
    // A key in a list, before the list moves its selection: Down, Up and F3.
    // True when the key was taken here (the list is not to move its selection itself).
    bool OnListKey(bool detection, int key);
    // A click in a list's rows area: on a row, or beside the rows.
    void OnListClick(bool detection, int row);
    // A double click on a row: "Event details..." of the visible action panel.
    void OnListDoubleClick(int row);

    // The actions whose dialogs are built elsewhere; unset, they do nothing. `list` is the
    // detection or the prevention list; they work on its selected rows.
    struct Hooks {
        std::function<void(CPaintListCtrl*list)> blockEvents, removeEvents, unblockEvents;
        std::function<void(bool detection, const std::string&key)> eventDetails,
            setEventInformation;
        // Opens a report dialog (caption, title, table); the frame gives it.
        std::function<void(const QString& caption, const QString& title, const ReportTable& table)>
            report;
    } hooks;

    // Shared by both lists: the column last clicked (-1 before any show) and the direction.
    static int s_SortColumn;
    static bool s_SortAscending;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void paintEvent(QPaintEvent*) override;

private:
    CPaintListCtrl* MakeList(bool detection);
    void OnTimer();
    // Sorts `list` by the shared pair and shows the arrow.
    void SortList(CPaintListCtrl* list);
    void ShowScreen(bool detection, bool shown);
    // Rows removed outside a pass: the count label follows.
    void OnRowsRemoved(bool detection, bool all);

    PageContext context_;
    bool filling_ = false;
    int passes_ = 0;
    QTimer timer_;
    PageShowing showing_;
    ImageList images_[2];
    CDetectionMonitorHeaderPanel* detectionHeader_;
    CPreventionMonitorHeaderPanel* preventionHeader_;
    CFramedPanel* reports_[2];
    CMonitorDetailsPanel* details_[2] = {};
    std::function<bool(const std::string&)> readMark_;
    bool waitCursor_ = false;
    EventListModel* models_[2] = {};  // what each list shows, by key
    std::uint64_t ownMarksPass_ = 0;
};

}  // namespace tarvell
