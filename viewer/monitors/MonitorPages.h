// The pages of the monitors area, entered into the main view's page table.
#pragma once

namespace tarvell {

class PageTable;

void RegisterMonitorPages(PageTable& table);

}  // namespace tarvell
