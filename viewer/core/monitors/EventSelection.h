// What selecting an event on a monitor screen does, without the widgets: the event's text for the
// details pane (plain runs, some bold), the row a key moves to, the count label after a row
// removal, the search over the rows, which action links a user may use and the information page
// of a prevention event.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "shared/CEventItem.h"
#include "shared/CTarvellDoc.h"

namespace tarvell {

// One piece of the event text. The pieces are put in as plain text, never as markup: node and
// device names come from the network.
struct EventTextRun {
    std::string text;
    bool bold = false;
    bool operator==(const EventTextRun&) const = default;
};

struct EventText {
    std::vector<EventTextRun> runs;
    std::string Plain() const;
    // The bold pieces in order.
    std::vector<std::string> BoldParts() const;
};

// Detection title and description from the row's column-4 text "<name> (<text>)": the title is
// the text up to its first "(", the description what lies between that "(" and the last ")".
// Without "(" the whole text is the title and the description is empty.
void SplitEventSummary(std::string_view column4, std::string& title, std::string& description);

// The requester of the first "<key>;<requester>" entry of the block requests; empty when none.
std::string BlockRequester(const std::vector<std::string>& blockRequests, const std::string& key);

// A prevention event is a manual blocking when a user asked for it (`requester`) or the service
// recorded a submitter.
bool IsManualBlocking(const std::string& requester, const CEventItem& event);

// The text of a selected event: title; "Occurred on"; "Source mac" (up to its first ";");
// "Source ip" when SourceIp or SourceName is set; "Source name" when SourceName is set;
// "Description". Blocks are separated by "\n\n"; the title and each label with its ": " are bold.
// `column4` is the detection row's column-4 text; `requester` serves the prevention screen.
EventText BuildEventText(bool detection, const CEventItem& event, std::string_view column4,
                         const std::string& requester);

// A key pressed in an event list, seen before the list moves its selection.
enum class MonitorKey { Down, Up, F3, Other };
// The row `key` selects from the first selected row (-1: none) of a list of `rows` rows; -1 when
// the key selects no row (F3 and other keys, or a row outside the list).
int KeyTargetRow(MonitorKey key, int firstSelected, int rows);

// The count label after rows were removed outside a pass: "0" when all went; otherwise "<n>"
// and "<rows>/<n>" lose one each. A number never goes below 0; a text that is no number counts 0.
std::string LowerCountLabel(std::string_view text, bool allRemoved);

// The seven texts a search looks at: columns 0 to 3 of the row, then the event's SourceIp,
// SourceMac and SourceName (empty when the event left the hub).
using SearchTexts = std::array<std::string, 7>;
// True when `upperNeedle` (already upper-cased, not empty) occurs in one of the texts, compared
// with ASCII letters upper-cased.
bool SearchMatches(const std::string& upperNeedle, const SearchTexts& texts);
// The first row from `start` to `rows` - 1 that matches; -1 when none does. `textsOf` fills the
// texts of a row.
int FindEventRow(const std::string& upperNeedle, int start, int rows,
                 const std::function<void(int, SearchTexts&)>& textsOf);

// The action links of the monitor panels.
enum class MonitorLink {
    BlockEvents,
    UnblockEvents,
    EventDetails,
    SetInformation,
    RemoveEvents,
    LearnMore
};
// The permission text that guards `link` on the detection or the prevention panel.
std::string_view LinkPermission(bool detection, MonitorLink link);
// Whether `link` is active after the panel is shown, given its state before: with no viewer users
// nothing changes; otherwise a link is active when the user's permissions hold its text followed
// by ";". "Block events" is the exception: without the permission it goes inactive, with it it
// becomes active only while prevention is enabled and otherwise keeps its state.
bool LinkActiveAfterShow(const CTarvellDoc& settings, std::string_view userPermissions,
                         bool detection, MonitorLink link, bool activeBefore);

// The information page of a prevention event: the page of "Manual Blocking" or of "System
// Blocking".
std::string PreventionHelpPage(const std::string& requester, const CEventItem& event);
// The title of the information dialog of each screen.
std::string_view InformationTitle(bool detection);

// Texts of the details pane.
inline constexpr std::string_view kNoEventsFound = "No events were found for the current search.";
inline constexpr std::string_view kNoMoreEventsFound =
    "No more events found for the current search.";
std::string_view DetailsIntroText(bool detection);

}  // namespace tarvell
