// The pages of the alerts area, entered into the main view's page table: the alerts overview
// (slot 6) and the alerts screen (slot 7).
#pragma once

#include "viewer/alerts/CAlertsListWnd.h"

namespace tarvell {

class PageTable;

// `dialogs`: the information window and the report dialog the alerts screen opens.
void RegisterAlertPages(PageTable& table, AlertDialogs dialogs = {});

}  // namespace tarvell
