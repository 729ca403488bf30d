// The pages of the protection area, entered into the main view's page table, and the property
// pages of the protection list's rows.
#pragma once

#include <functional>

#include "viewer/core/hub/SettingsEdit.h"
#include "viewer/core/base/CommandIds.h"

namespace tarvell {

class CPropertyPage;
class CProtectionListWnd;
class PageTable;

void RegisterProtectionPages(PageTable& table);

// Builds the property page of one row; the page reaches the settings and the service through
// list.Context() and sets its row's image with list.SetRowActive after a successful save.
using ProtectionPageMaker = std::function<CPropertyPage*(CProtectionListWnd& list)>;
// The page of row `row` (0..5) of the side of `mode` (32795 or 32796); an empty maker removes it.
void SetProtectionPage(CommandId mode, int row, ProtectionPageMaker maker);

// Opens the row's page alone in a modal property sheet captioned with the row's title and
// returns the sheet's result; 0, and nothing shown, for a row without a page.
int OpenProtectionPage(CommandId mode, int row, CProtectionListWnd& list);

// A page's OK: reloads the settings, applies `edit` and saves them. Only when they were saved
// does the row's image follow the saved settings; a failed edit is told (20040 or 20041) and
// leaves the image as it was.
EditResult SaveProtectionPage(CProtectionListWnd& list, int row,
                              const std::function<void(CTarvellDoc&)>& edit);

}  // namespace tarvell
