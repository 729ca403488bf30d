#include "viewer/summary/SummaryPages.h"

#include "viewer/summary/CSummaryWnd.h"
#include "viewer/widgets/PageTable.h"

namespace tarvell {

void RegisterSummaryPages(PageTable& table) {
    table.Register(PageSlot::Summary, [](const PageContext& context, QWidget* parent) -> QWidget* {
        return new CSummaryWnd(context.app, PageSender(context), parent);
    });
}

}  // namespace tarvell
