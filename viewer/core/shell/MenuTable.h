// The viewer's menu table: the menus by resource number (CommandIds.h, namespace res), each a
// tree of items. A text may mark its mnemonic with "&" ("E&xit"); toolbars and titles that take
// their texts from a menu use MenuText, which drops the marks.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "viewer/core/base/CommandIds.h"

namespace tarvell {

struct MenuItem {
    std::string_view text;        // empty for a separator
    CommandId command = 0;        // 0 for a separator or a popup
    std::vector<MenuItem> popup;  // the items of a popup (submenu)

    bool IsSeparator() const { return text.empty() && popup.empty(); }
    bool IsPopup() const { return !popup.empty(); }
};

// The top-level items of menu `id`, or null for a number the table does not hold.
const std::vector<MenuItem>* LoadMenu(unsigned id);

// The text of the first item with `command` in menu `menuId` (searched depth first), without
// mnemonic marks; empty when the menu or the item is missing.
std::string MenuText(unsigned menuId, CommandId command);

// "E&xit" -> "Exit"; "&&" stands for one "&".
std::string StripMnemonic(std::string_view text);

}  // namespace tarvell
