// The one-line panels below the monitor lists: "Create detection report..." and, for the
// prevention list, "Create prevention report..." and "Stop prevention and unblock all events...".
// A report is a snapshot of the rows the list shows, in their order. GUI thread only.
#pragma once

#include <QString>

#include "viewer/core/summary/ReportText.h"
#include "viewer/monitors/MonitorHeaderPanels.h"

namespace tarvell {

class CEventMonitorWnd;
class CPaintListCtrl;
class LinkLabel;

// The report of `list` as the panel hands it on: five columns, widths 18/18/18/18/28 per cent.
ReportTable MonitorReportTable(bool detection, const CPaintListCtrl& list);

class CMonitorReportPanel : public CFramedPanel {
    Q_OBJECT
public:
    CMonitorReportPanel(bool detection, CEventMonitorWnd& window);

    void OnCreateReport();
    LinkLabel* ReportLink() const { return report_; }

protected:
    LinkLabel* AddLink(const QString& text, int x, int width);

    bool detection_;
    CEventMonitorWnd& window_;
    LinkLabel* report_;
};

class CDetectionMonitorReportPanel : public CMonitorReportPanel {
    Q_OBJECT
public:
    explicit CDetectionMonitorReportPanel(CEventMonitorWnd& window)
        : CMonitorReportPanel(true, window) {}
};

class CPreventionMonitorReportPanel : public CMonitorReportPanel {
    Q_OBJECT
public:
    explicit CPreventionMonitorReportPanel(CEventMonitorWnd& window);

    // Opens "Stop Prevention and Unblock Events" over the prevention list (no selection needed).
    void OnStopPrevention();
    LinkLabel* StopLink() const { return stop_; }

private:
    LinkLabel* stop_;
};

}  // namespace tarvell
