#include "viewer/monitors/MonitorPages.h"

#include "viewer/monitors/CEventMonitorWnd.h"
#include "viewer/monitors/CMonitorWnd.h"
#include "viewer/widgets/PageTable.h"

namespace tarvell {

void RegisterMonitorPages(PageTable& table, MonitorReportOpener report) {
    RegisterOverviewPage<CMonitorWnd>(table, PageSlot::MonitorOverview);
    table.Register(PageSlot::Monitor,
                   [report](const PageContext& context, QWidget* parent) -> QWidget* {
                       auto* window = new CEventMonitorWnd(context, parent);
                       if (report)
                           window->hooks.report = [report, window](const QString& caption,
                                                                   const QString& title,
                                                                   const ReportTable& table) {
                               report(nullptr, caption, title, table);
                           };
                       return window;
                   });
}

}  // namespace tarvell
