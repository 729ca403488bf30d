// The pages of the protection area, entered into the main view's page table.
#pragma once

namespace tarvell {

class PageTable;

void RegisterProtectionPages(PageTable& table);

}  // namespace tarvell
