#include "viewer/summary/SummaryPages.h"

#include "viewer/summary/CSummaryWnd.h"
#include "viewer/widgets/PageTable.h"

namespace tarvell {

void RegisterSummaryPages(PageTable& table) {
    table.Register(PageSlot::Summary, [](const PageContext& context, QWidget* parent) -> QWidget* {
        auto* page = new CSummaryWnd(context.app, PageSender(context), parent);
        if (context.serviceState) page->SetServiceQuery(context.serviceState);
        return page;
    });
}

}  // namespace tarvell
