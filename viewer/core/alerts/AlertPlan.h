// The alerts screen's list planned as rows keyed by alert key, with the difference against the
// plan before: a pass over the hub's alerts of the last plan is not planned at all, and a pass
// after a change builds row texts only for the alerts added or changed (a record that differs
// field by field). Not thread-safe: one planner per list, on the screen's thread.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "viewer/core/alerts/AlertRows.h"
#include "viewer/core/hub/CTarvellApp.h"

namespace tarvell {

struct AlertDiff {
    std::vector<std::string> removed;  // keys whose rows go
    std::vector<AlertRow> added;       // in the snapshot's key order
    std::vector<AlertRow> changed;
    bool Empty() const { return removed.empty() && added.empty() && changed.empty(); }
};

class AlertPlanner {
public:
    // Plans the alerts of `mode` from `alerts` (generation `generation`); nullopt when both are
    // those of the last plan.
    std::optional<AlertDiff> Plan(std::uint32_t mode, std::uint64_t generation,
                                  const std::shared_ptr<const AlertsSnapshot>& alerts);
    // The next plan starts from nothing: every row is added.
    void Reset();
    // The row of `key` left the list outside a plan: the next plan does not remove it again.
    void Forget(const std::string& key);
    std::size_t size() const { return rows_.size(); }

private:
    std::optional<std::pair<std::uint32_t, std::uint64_t>> last_;
    std::shared_ptr<const AlertsSnapshot> alerts_;  // keeps the keys and records alive
    // In key order (the snapshot's): a plan walks the last one beside the new snapshot.
    std::vector<std::pair<std::string_view, const CAlertItem*>> rows_;
};

}  // namespace tarvell
