// The rules of the event monitor screens, without their widgets: which events each screen lists,
// the texts of a row, the order of the rows and the count label, worked out once per refresh
// pass from one snapshot of the hub and one index of the settings' request lists.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "shared/CEventItem.h"
#include "shared/CTarvellDoc.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/hub/RequestIndex.h"
#include "viewer/core/base/CommandIds.h"

namespace tarvell {

bool InDetectionState(const std::string& key, const CEventItem& event,
                      const RequestIndex& requests);
bool InPreventionState(const std::string& key, const CEventItem& event,
                       const RequestIndex& requests);

// The type filters: a command of the "Detection Filter" menu tested on the type key
// (Description), and a command of the "Prevention Filter" menu. Unknown commands pass nothing.
bool PassesDetectionFilter(CommandId filter, const CEventItem& event);
bool PassesPreventionFilter(CommandId filter, const std::string& key, const CEventItem& event,
                            const RequestIndex& requests);
// The type key a detection filter command passes; empty for 32802 and for commands with no type.
std::string_view DetectionFilterType(CommandId filter);

// Seconds since 1970 as decimal text, shown as local date and time; any other text (empty,
// signed, out of range, trailing characters) is shown as stored.
std::string FormatEventTime(const std::string& seconds);

// Detection column 4: "<type name> (<type text>)" with the macros filled.
std::string EventSummary(const CEventItem& event);
// Prevention column 4.
std::string BlockingStatus(const std::string& key, const CEventItem& event,
                           const RequestIndex& requests);

// Positive when row text `a` goes after `b` in ascending order. Column 2 compares IPv4 addresses
// numerically (anything else counts as 255.255.255.255); other columns compare bytes. At most 259
// characters of a text count.
int CompareEventRows(int column, std::string_view a, std::string_view b);
// The number column 2 sorts by.
std::uint32_t SortAddress(std::string_view text);

// "<counter>", or "<rows>/<counter>" on the detection screen under a type filter.
std::string CountLabelText(bool detection, CommandId filter, long rows, long counter);

// One row a pass wants in the list.
struct WantedRow {
    std::string key;
    std::string cells[5];  // key, device name, device IP, device port, summary or status
    int image = 0;         // 0..3: detection/prevention, with a note
    bool unread = true;
};

// The row an event shows: its cells, image and read state.
WantedRow RowOfEvent(bool detection, const std::string& key, const CEventItem& event,
                     const RequestIndex& requests, bool unread);

struct MonitorPass {
    std::vector<WantedRow> rows;  // in the snapshot's key order
    long counter = 0;             // detection: state events before the filter; prevention: rows
};

// The rows of one pass. `isRead` is asked once per wanted row.
MonitorPass PlanMonitorPass(bool detection, CommandId filter, const EventRecords& events,
                            const RequestIndex& requests,
                            const std::function<bool(const std::string&)>& isRead);

// The filter menus' rules: the link text for the current filter and the item shown as default.
// "Filter by type:" + "New Mac" -> "Filter by type: New Mac"; a text without ":" is dropped.
std::string FilterLinkText(std::string_view current, std::string_view filterText);
// Detection: the group item ("New Nodes", ...) for a command of a group that has one, else the
// item of the command. Prevention: always the command's item. A position of 0 or more names a
// top-level item of the menu; -1 means the item that carries `command`.
struct DefaultFilterItem {
    int position = -1;
    CommandId command = 0;
};
DefaultFilterItem FilterDefaultItem(bool detection, CommandId filter);

}  // namespace tarvell
