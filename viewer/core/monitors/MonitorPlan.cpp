#include "viewer/core/monitors/MonitorPlan.h"

#include <algorithm>

#include "viewer/core/hub/EventFilters.h"

namespace tarvell {

void MonitorPlanner::Reset() {
    last_.reset();
    rows_.clear();
    events_.reset();
}

bool MonitorPlanner::Has(const std::string& key) const {
    const auto it =
        std::lower_bound(rows_.begin(), rows_.end(), std::string_view(key),
                         [](const auto& row, std::string_view k) { return row.first < k; });
    return it != rows_.end() && it->first == key;
}

std::optional<MonitorDiff> MonitorPlanner::Plan(
    const Inputs& inputs, const HubView& view,
    const std::function<bool(const std::string&)>& isRead) {
    if (last_ && *last_ == inputs) return std::nullopt;
    static const EventsSnapshot kNone;
    static const RequestIndex kNoRequests;
    const EventsSnapshot& events = view.events ? *view.events : kNone;
    const RequestIndex& requests = view.requests ? *view.requests : kNoRequests;
    // Another screen: every row is new to the comparison (another filter is not: a row's texts
    // do not depend on it).
    const bool sameList = last_ && last_->detection == inputs.detection;
    const bool marksSame = sameList && last_->readMarks == inputs.readMarks;
    if (!sameList) rows_.clear();

    MonitorDiff diff;
    std::vector<std::pair<std::string_view, Entry>> next;
    next.reserve(rows_.size() + 16);
    auto old = rows_.begin();
    const bool detection = inputs.detection;
    for (const auto& [key, item] : events.EventMap) {
        if (!item) continue;
        const CEventItem& event = *item;
        if (detection) {
            if (!InDetectionState(key, event, requests)) continue;
            ++diff.counter;
            if (!PassesDetectionFilter(inputs.filter, event)) continue;
        } else {
            if (!InPreventionState(key, event, requests)) continue;
            if (!PassesPreventionFilter(inputs.filter, key, event, requests)) continue;
            ++diff.counter;
        }
        // Both in key order: the rows of the last plan before this key are gone.
        const std::string_view k(key);
        for (; old != rows_.end() && old->first < k; ++old) diff.removed.emplace_back(old->first);
        const bool known = old != rows_.end() && old->first == k;
        Entry entry{&event, !detection && requests.IsUnblockRequested(key), true};
        const Entry was = known ? old->second : Entry{};
        if (known) ++old;
        const bool sameRecord = known && (was.event == &event || *was.event == event);
        if (sameRecord && marksSame) entry.unread = was.unread;
        else entry.unread = !isRead || !isRead(key);
        next.emplace_back(k, entry);
        if (sameRecord && was.unblock == entry.unblock && was.unread == entry.unread) continue;
        (known ? diff.changed : diff.added)
            .push_back(RowOfEvent(detection, key, event, requests, entry.unread));
    }
    for (; old != rows_.end(); ++old) diff.removed.emplace_back(old->first);
    rows_ = std::move(next);
    events_ = view.events;
    last_ = inputs;
    return diff;
}

}  // namespace tarvell
