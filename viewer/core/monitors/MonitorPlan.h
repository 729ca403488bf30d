// The list of one event monitor screen planned as rows keyed by event key, and the difference
// against the plan before, so that the screen touches only what changed: a pass over a hub
// whose events, settings and read marks are those of the last plan is not planned at all, and a
// pass after a change builds row texts only for the rows added or changed.
//
// A row is rebuilt when its event's record differs (field by field; a local removal keeps the
// other records themselves), when its unblock request comes or goes, or when its read mark does.
// The image is given once, with the row's first plan, as the screen never revises it.
// Not thread-safe: one planner per list, on the thread of its screen.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/monitors/MonitorRules.h"

namespace tarvell {

struct MonitorDiff {
    std::vector<std::string> removed;  // keys whose rows go
    std::vector<WantedRow> added;      // new rows, in the snapshot's key order
    std::vector<WantedRow> changed;    // rows whose texts or unread mark may differ
    long counter = 0;                  // as MonitorPass::counter
    bool Empty() const { return removed.empty() && added.empty() && changed.empty(); }
};

class MonitorPlanner {
public:
    // What a plan was made from.
    struct Inputs {
        bool detection = true;
        CommandId filter = 0;
        std::uint64_t events = 0, settings = 0, readMarks = 0;
        bool operator==(const Inputs&) const = default;
    };

    // Plans the list from `view`; nullopt when `inputs` are those of the last plan (nothing can
    // have changed). `isRead` is asked for the rows planned anew or whose record changed, and
    // for every wanted row when the read marks changed.
    std::optional<MonitorDiff> Plan(const Inputs& inputs, const HubView& view,
                                    const std::function<bool(const std::string&)>& isRead);
    // The list was emptied or filled by someone else: the next plan starts from nothing and
    // lists every wanted row as added.
    void Reset();
    // The rows of the last plan.
    std::size_t size() const { return rows_.size(); }
    bool Has(const std::string& key) const;

private:
    struct Entry {
        const CEventItem* event = nullptr;  // in events_
        bool unblock = false;
        bool unread = true;
    };
    std::optional<Inputs> last_;
    std::shared_ptr<const EventsSnapshot> events_;  // keeps the entries' records and keys alive
    // In key order (the snapshot's), so a plan walks the last one beside the new snapshot
    // instead of looking each key up; the keys point into events_.
    std::vector<std::pair<std::string_view, Entry>> rows_;
};

}  // namespace tarvell
