// The pages of the settings area, entered into the main view's page table.
#pragma once

namespace tarvell {

class PageTable;

void RegisterSettingsPages(PageTable& table);

}  // namespace tarvell
