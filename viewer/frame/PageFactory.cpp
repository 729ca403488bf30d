// The one place that maps the main view's slots to page windows. The screens of the other
// subsystems replace the stand-ins here as they arrive.
#include "viewer/core/CommandRouter.h"
#include "viewer/frame/PlaceholderPage.h"
#include "viewer/frame/ShellPage.h"
#include "viewer/monitors/CEventMonitorWnd.h"
#include "viewer/summary/CSummaryWnd.h"

namespace tarvell {

QWidget* CreatePage(int slot, const PageContext& context, QWidget* parent) {
    if (slot < 1 || slot > 8) return nullptr;
    CommandRouter& router = context.router;
    auto send = [&router](int id) { router.Send(static_cast<CommandId>(id)); };
    if (slot == 1) {
        auto* page = new CSummaryWnd(context.app, send, parent);
        if (context.serviceState) page->SetServiceQuery(context.serviceState);
        return page;
    }
    if (slot == 2) return new CMonitorWnd(context.app, send, parent);
    if (slot == 3) return new CEventMonitorWnd(context, parent);
    return new CPlaceholderPage(slot, context, parent);
}

}  // namespace tarvell
