// The main view's page windows: the page table with every area's registrations. GUI thread only.
#pragma once

#include "viewer/widgets/PageTable.h"

namespace tarvell {

// The table the view creates its pages from (built once).
const PageTable& ViewerPages();
// Creates the page window of `slot` (1..8) as a child of `parent`; null for another slot.
QWidget* CreatePage(int slot, const PageContext& context, QWidget* parent);

}  // namespace tarvell
