#include "viewer/monitors/MonitorPages.h"

#include "viewer/monitors/CEventMonitorWnd.h"
#include "viewer/monitors/CMonitorWnd.h"
#include "viewer/widgets/PageTable.h"

namespace tarvell {

void RegisterMonitorPages(PageTable& table) {
    table.Register(PageSlot::MonitorOverview,
                   [](const PageContext& context, QWidget* parent) -> QWidget* {
                       return new CMonitorWnd(context.app, PageSender(context), parent);
                   });
    table.Register(PageSlot::Monitor, [](const PageContext& context, QWidget* parent) -> QWidget* {
        return new CEventMonitorWnd(context, parent);
    });
}

}  // namespace tarvell
