// The list of the alerts screen: its rows keyed by alert key and the plan that brings them to
// the hub's alerts (or an archive's). A pass over the alerts of the last plan is not planned at
// all; a pass after a change compares the records field by field and names only the rows added,
// removed or changed. A row holds its alert's record and no text: its cells (AlertRows.h) are
// made when asked, so only the rows a screen paints, the column it sorts by and a report are ever
// turned into text. Not thread-safe: one list per screen, on the screen's thread.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "viewer/core/alerts/AlertRows.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/look/KeyedRows.h"

namespace tarvell {

struct AlertEntry {
    std::string_view key;               // in the snapshot the list keeps
    const CAlertItem* alert = nullptr;  // likewise
    // The Alert column's text, made for a sort by that column and kept while the row is
    // unchanged and the list sorted by it.
    std::string sortText;
};

class AlertList : public KeyedRows<AlertEntry> {
public:
    static constexpr int kColumns = kAlertColumns;

    // Plans the alerts of `mode` from `alerts` (generation `generation`); nullopt when both are
    // those of the last plan. The rows stay as they are until the plan is applied.
    std::optional<Plan> PlanFrom(std::uint32_t mode, std::uint64_t generation,
                                 std::shared_ptr<const AlertsSnapshot> alerts);
    std::string_view Header(int column) const {
        return kAlertColumnNames[static_cast<std::size_t>(column)];
    }
    // The text of a cell as stored (Windows-1252); empty outside the list.
    std::string Cell(int row, int column) const;
    // The row's texts and key (details, reports); empty outside the list.
    AlertRow Row(int row) const;
    std::string Key(int row) const { return Valid(row) ? std::string(At(row).key) : std::string(); }
    // Orders the rows as AlertRowLess; returns as KeyedRows::SortBy.
    std::vector<int> SortRows(int column, bool ascending);
    void Clear() {
        KeyedRows::Clear();
        last_.reset();
    }

private:
    struct Last {
        std::uint32_t mode;
        std::uint64_t generation;
    };
    std::optional<Last> last_;
};

}  // namespace tarvell
