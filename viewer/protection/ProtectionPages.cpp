#include "viewer/protection/ProtectionPages.h"

#include <array>

#include "viewer/core/protection/ProtectionRows.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/protection/CProtectionListWnd.h"
#include "viewer/protection/CProtectionSummaryWnd.h"
#include "viewer/protection/DetectionPagesUi.h"
#include "viewer/protection/PreventionPagesUi.h"
#include "viewer/widgets/CPropertySheet.h"
#include "viewer/widgets/PageTable.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {
namespace {

// GUI thread only, like the sheets.
std::array<std::array<ProtectionPageMaker, kProtectionRows>, 2>& PageMakers() {
    static std::array<std::array<ProtectionPageMaker, kProtectionRows>, 2> makers;
    return makers;
}

ProtectionPageMaker* MakerOf(CommandId mode, int row) {
    if (row < 0 || row >= kProtectionRows) return nullptr;
    const auto side =
        static_cast<std::size_t>(SideOfMode(mode) == ProtectionSide::Prevention ? 1 : 0);
    return &PageMakers()[side][static_cast<std::size_t>(row)];
}

}  // namespace

void RegisterProtectionPages(PageTable& table) {
    RegisterDetectionPages();
    RegisterPreventionPages();
    RegisterOverviewPage<CProtectionSummaryWnd>(table, PageSlot::ProtectionOverview);
    table.Register(PageSlot::Protection,
                   [](const PageContext& context, QWidget* parent) -> QWidget* {
                       return new CProtectionListWnd(context, parent);
                   });
}

void SetProtectionPage(CommandId mode, int row, ProtectionPageMaker maker) {
    if (ProtectionPageMaker* slot = MakerOf(mode, row)) *slot = std::move(maker);
}

int OpenProtectionPage(CommandId mode, int row, CProtectionListWnd& list) {
    const ProtectionPageMaker* maker = MakerOf(mode, row);
    if (!maker || !*maker) return 0;
    CPropertyPage* page = (*maker)(list);
    if (!page) return 0;
    const QString caption = FromUtf8(SplitRowText(ProtectionRowText(SideOfMode(mode), row)).title);
    CPropertySheet sheet(caption, list.window());
    sheet.AddPage(page);
    return sheet.DoModal();
}

EditResult SaveProtectionPage(CProtectionListWnd& list, int row,
                              const std::function<void(CTarvellDoc&)>& edit) {
    const PageContext& context = list.Context();
    const EditResult result = EditSettings(context.app, edit);
    if (result == EditResult::Saved)
        list.SetRowActive(row, ProtectionRowActive(list.Side(), row, *ShownSettings(context.app)));
    else
        context.prompt.AskString(EditResultMessage(result), PromptButtons::Ok,
                                 PromptIcon::Information);
    return result;
}

}  // namespace tarvell
