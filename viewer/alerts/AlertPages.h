// The pages of the alerts area, entered into the main view's page table.
#pragma once

namespace tarvell {

class PageTable;

void RegisterAlertPages(PageTable& table);

}  // namespace tarvell
