#include "viewer/alerts/AlertPages.h"

#include "viewer/alerts/CAlertsSummaryWnd.h"
#include "viewer/widgets/PageTable.h"

namespace tarvell {

void RegisterAlertPages(PageTable& table, AlertDialogs dialogs) {
    RegisterOverviewPage<CAlertsSummaryWnd>(table, PageSlot::AlertOverview);
    table.Register(PageSlot::Alerts,
                   [dialogs](const PageContext& context, QWidget* parent) -> QWidget* {
                       return new CAlertsListWnd(context.app, context.prompt, dialogs, parent);
                   });
}

}  // namespace tarvell
