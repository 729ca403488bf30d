#include "viewer/core/monitors/MonitorPlan.h"

#include "viewer/core/hub/EventFilters.h"

namespace tarvell {

void MonitorPlanner::Reset() {
    last_.reset();
    rows_.clear();
    events_.reset();
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

    MonitorDiff diff;
    std::unordered_map<std::string_view, Entry> next;
    next.reserve(rows_.size() + 16);
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
        Entry entry{&event, !detection && requests.IsUnblockRequested(key), true};
        const auto old = sameList ? rows_.find(key) : rows_.end();
        const bool known = old != rows_.end();
        const bool sameRecord =
            known && (old->second.event == &event || *old->second.event == event);
        if (known && sameRecord && marksSame) entry.unread = old->second.unread;
        else entry.unread = !isRead || !isRead(key);
        next.emplace(key, entry);
        if (known && sameRecord && old->second.unblock == entry.unblock &&
            old->second.unread == entry.unread)
            continue;
        WantedRow row;
        row.key = key;
        row.cells[0] = key;
        row.cells[1] = event.DeviceName;
        row.cells[2] = event.DeviceIp;
        row.cells[3] = event.DevicePort;
        row.cells[4] = detection ? EventSummary(event) : BlockingStatus(key, event, requests);
        row.image = (detection ? 0 : 2) + (requests.HasNote(key) ? 1 : 0);
        row.unread = entry.unread;
        (known ? diff.changed : diff.added).push_back(std::move(row));
    }
    for (const auto& [key, entry] : rows_)
        if (!next.count(key)) diff.removed.emplace_back(key);
    rows_ = std::move(next);
    events_ = view.events;
    last_ = inputs;
    return diff;
}

}  // namespace tarvell
