// The rows of the protection list screen, without a display: the six detection and the six
// prevention protections with their texts, whether each is Active in a settings document, the
// details text with its bold runs, the information pages, the row an arrow key moves to, and the
// master switch of the status line (the only change this screen makes to the settings).
//
// A row is known by its index (0..5) on its side; the index is fixed and is what the property
// pages and the details panel's links use. Whether a row is Active is read from the protection
// counts' tables (summary/SummaryRules.h), found there by the protection's name, so the list and
// the overview's counts can never disagree.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "shared/CTarvellDoc.h"
#include "viewer/core/hub/SettingsEdit.h"
#include "viewer/core/base/CommandIds.h"

namespace tarvell {

class CTarvellApp;

enum class ProtectionSide { Detection, Prevention };
inline constexpr int kProtectionRows = 6;

// The side of a mode command: prevention for cmd::kIntrusionPrevention, else detection.
ProtectionSide SideOfMode(CommandId mode);
CommandId ModeOfSide(ProtectionSide side);

struct ProtectionRow {
    std::string_view text;  // "<title>\n<description>\n\n<advice>"
    std::string_view
        protection;  // the rule's name in DetectionProtections() / PreventionProtections()
};
const std::array<ProtectionRow, kProtectionRows>& ProtectionRowsOf(ProtectionSide side);

// The row's text; empty for an index outside 0..5.
std::string_view ProtectionRowText(ProtectionSide side, int row);
// Active when any field of the row's rule is on. The master switch does not enter into it.
// False for an index outside 0..5.
bool ProtectionRowActive(ProtectionSide side, int row, const CTarvellDoc& settings);
// The six Active marks in row order.
std::array<bool, kProtectionRows> ProtectionRowsActive(ProtectionSide side,
                                                       const CTarvellDoc& settings);

// A row's text cut at its first line feed: the title (also the property sheet's caption) and the
// rest. A text without a line feed is all title.
struct RowTextParts {
    std::string title, description;
};
RowTextParts SplitRowText(std::string_view text);

// The details text of a row: the title and "\n\nDescription: " bold, then the description
// regular. Empty for an empty text (a row beyond the list shows nothing new).
struct TextRun {
    std::string text;
    bool bold = false;
    bool operator==(const TextRun&) const = default;
};
std::vector<TextRun> DetailsRuns(std::string_view rowText);

// The information page of "Learn more about selected protection..." for a detection or a
// prevention row; empty for indices outside 0..5.
std::string ProtectionPageHtml(ProtectionSide side, int row);

// The row whose details an arrow key shows: the row after `current` for the down arrow, the one
// before it for the up arrow; -1 (nothing new) past either end or for any other key.
enum class ListKey { Up, Down, Other };
int DetailsRowAfterKey(int current, ListKey key, int rowCount);

// ---- the status line

// The master switch of the side's field in the document.
bool MasterSwitchOn(ProtectionSide side, const CTarvellDoc& settings);
struct StatusTexts {
    std::string state;  // "Active" or "In-active"
    std::string link;   // "Deactivate" or "Activate"
};
StatusTexts StatusTextsOf(bool on);

// Reloads the settings, flips the side's master switch and saves them. `on` (the state shown)
// becomes the switch as it is afterwards: flipped when saved, what the server's file holds when
// only the save failed, and stays as it was when the reload failed; so the status line never
// shows a state that was not stored.
EditResult ToggleMasterSwitch(CTarvellApp& app, ProtectionSide side, bool& on);

// The settings the screens show: the hub's reader copy, or the document in memory while the hub
// has none. Never null.
std::shared_ptr<const CTarvellDoc> ShownSettings(CTarvellApp& app);

}  // namespace tarvell
