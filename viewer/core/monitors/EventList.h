// The list of one event monitor screen: its column table, its rows keyed by event key, and the
// plan that brings them to a hub snapshot. A pass over a hub whose events, settings and read
// marks are those of the last plan is not planned at all; a pass after a change compares the
// records field by field and names only the rows added, removed or changed. A row holds its
// event's record and no text: its cells are made when asked (KeyedRows.h), so only the rows a
// screen paints and the column it sorts by are ever turned into text.
//
// A row is changed when its event's record differs, when its unblock request comes or goes, or
// when its read mark does. The image is given once, with the row's first plan, as the screen
// never revises it. Not thread-safe: one list per screen, on the thread of its screen.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/look/KeyedRows.h"
#include "viewer/core/monitors/MonitorRules.h"

namespace tarvell {

// ---- columns
inline constexpr int kEventColumns = 5;
struct EventColumn {
    std::string_view detection, prevention;  // the header on each screen
    int width;                               // pixels, before the list fits its columns
    // Never cut while the list is wide enough for these columns and the other headers: the key
    // the rows are found by, and the device an administrator goes to.
    bool whole;
};
inline constexpr std::array<EventColumn, kEventColumns> kEventColumnTable = {{
    {"Device Mac", "Device Mac", 125, true},
    {"Device Name", "Device Name", 100, true},
    {"Device Ip", "Device Ip", 100, true},
    {"Device Port", "Device Port", 100, false},
    {"Event Details", "Blocking Status", 100, false},
}};

struct EventEntry {
    std::string_view key;               // in the snapshot the list keeps
    const CEventItem* event = nullptr;  // likewise
    bool unblock = false;               // an unblock request is waiting (prevention)
    bool unread = true;
    std::uint8_t image = 0;  // 0..3: detection/prevention, with a note
    // Column 4's text, made for a sort by that column and kept while the row is unchanged and
    // the list sorted by it, so a pass after a change makes only the changed rows' texts.
    std::string sortText;
};

class EventList : public KeyedRows<EventEntry> {
public:
    static constexpr int kColumns = kEventColumns;
    // What a plan was made from.
    struct Inputs {
        bool detection = true;
        CommandId filter = 0;
        std::uint64_t events = 0, settings = 0, readMarks = 0;
        bool operator==(const Inputs&) const = default;
    };

    // Plans the rows from `view`; nullopt when `inputs` are those of the last plan (nothing can
    // have changed). `isRead` is asked for the rows planned anew or whose record changed, and
    // for every wanted row when the read marks changed. The rows stay as they are until the plan
    // is applied (KeyedRows' steps).
    std::optional<Plan> PlanFrom(const Inputs& inputs, const HubView& view,
                                 const std::function<bool(const std::string&)>& isRead);
    // The next plan is made even with the inputs of the last (rows left outside a plan: one
    // whose event is still listed comes back).
    void Replan() { last_.reset(); }
    // Detection: the events in the state before the type filter; prevention: the rows.
    long Counter() const { return counter_; }
    bool Detection() const { return detection_; }
    // The screen of the list, for its headers before the first plan.
    void SetDetection(bool detection) { detection_ = detection; }

    std::string_view Header(int column) const {
        return detection_ ? kEventColumnTable[static_cast<std::size_t>(column)].detection
                          : kEventColumnTable[static_cast<std::size_t>(column)].prevention;
    }
    // The text of a cell as stored (Windows-1252); empty outside the list.
    std::string Cell(int row, int column) const;
    std::string Key(int row) const { return Valid(row) ? std::string(At(row).key) : std::string(); }

    // Orders the rows by `column`; nothing moves while the rows are in that order since the last
    // sort (no row added, no text of the column changed). Column 2 sorts by address, the others by
    // their bytes. Returns as KeyedRows::SortBy.
    std::vector<int> SortRows(int column, bool ascending);
    // Whether SortRows would find the rows in order without looking at them.
    bool InOrder(int column, bool ascending) const {
        return sorted_.valid && sorted_.column == column && sorted_.ascending == ascending;
    }
    void Clear() {
        KeyedRows::Clear();
        last_.reset();
        sorted_ = {};
    }

private:
    // Column 4: the detection summary or the prevention status.
    std::string Detail(const EventEntry& e) const;
    struct SortState {
        bool valid = false;
        int column = -1;
        bool ascending = false;
    };
    std::optional<Inputs> last_;
    bool detection_ = true;
    long counter_ = 0;
    SortState sorted_;
};

}  // namespace tarvell
