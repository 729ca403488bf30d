// The pages of the summary area, entered into the main view's page table.
#pragma once

namespace tarvell {

class PageTable;

void RegisterSummaryPages(PageTable& table);

}  // namespace tarvell
