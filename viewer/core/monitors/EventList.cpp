#include "viewer/core/monitors/EventList.h"

#include <algorithm>

#include "viewer/core/base/StringTable.h"
#include "viewer/core/hub/EventFilters.h"

namespace tarvell {

std::optional<EventList::Plan> EventList::PlanFrom(
    const Inputs& inputs, const HubView& view,
    const std::function<bool(const std::string&)>& isRead) {
    if (last_ && *last_ == inputs) return std::nullopt;
    static const EventsSnapshot kNone;
    static const RequestIndex kNoRequests;
    const EventsSnapshot& events = view.events ? *view.events : kNone;
    const RequestIndex& requests = view.requests ? *view.requests : kNoRequests;
    const bool detection = inputs.detection;
    const bool marksSame = last_ && last_->readMarks == inputs.readMarks;
    detection_ = detection;
    counter_ = 0;

    Plan plan;
    plan.next.reserve(entries_.size() + 16);
    plan.from.reserve(entries_.size() + 16);
    plan.change.reserve(entries_.size() + 16);
    std::vector<std::uint8_t> kept(entries_.size(), 0);
    std::size_t old = 0;
    bool changed = false;
    for (const auto& [key, item] : events.EventMap) {
        if (!item) continue;
        const CEventItem& event = *item;
        if (detection) {
            if (!InDetectionState(key, event, requests)) continue;
            ++counter_;
            if (!PassesDetectionFilter(inputs.filter, event)) continue;
        } else {
            if (!InPreventionState(key, event, requests)) continue;
            if (!PassesPreventionFilter(inputs.filter, key, event, requests)) continue;
            ++counter_;
        }
        // Both in key order: the entries before this key are gone.
        const std::string_view k(key);
        while (old < entries_.size() && entries_[old].key < k) ++old;
        const bool known = old < entries_.size() && entries_[old].key == k;
        EventEntry entry{k, &event, !detection && requests.IsUnblockRequested(key), true, 0, {}};
        if (!known) {
            entry.image = static_cast<std::uint8_t>((detection ? 0 : 2) +
                                                    (requests.HasNote(key) ? 1 : 0));
            entry.unread = !isRead || !isRead(key);
            plan.next.push_back(std::move(entry));
            plan.from.push_back(-1);
            plan.change.push_back(0);
            ++plan.added;
            continue;
        }
        const EventEntry& was = entries_[old];
        kept[old] = 1;
        const bool sameRecord = was.event == &event || *was.event == event;
        entry.image = was.image;
        if (sameRecord && marksSame) entry.unread = was.unread;
        else entry.unread = !isRead || !isRead(key);
        const bool change =
            !sameRecord || was.unblock != entry.unblock || was.unread != entry.unread;
        changed = changed || change;
        // The plan replaces the entries it walks: an unchanged row's text moves over.
        if (!change) entry.sortText = std::move(entries_[old].sortText);
        plan.next.push_back(std::move(entry));
        plan.from.push_back(static_cast<std::int32_t>(old));
        plan.change.push_back(change ? 1 : 0);
        ++old;
    }
    plan.removed = RemovedRows(kept);
    plan.keep = view.events;
    last_ = inputs;
    // The key never changes, so a changed row leaves the order by key as it was.
    if (plan.added > 0 || (changed && sorted_.column != 0)) sorted_.valid = false;
    return plan;
}

std::string EventList::Detail(const EventEntry& e) const {
    if (detection_) return EventSummary(*e.event);
    // The row's own unblock mark stands for the request list it was planned with.
    static const RequestIndex kNoRequests;
    if (e.unblock) return std::string(LoadString(str::kWaitingForActivation));
    return BlockingStatus(std::string(e.key), *e.event, kNoRequests);
}

std::string EventList::Cell(int row, int column) const {
    if (!Valid(row)) return {};
    const EventEntry& e = At(row);
    switch (column) {
        case 0: return std::string(e.key);
        case 1: return e.event->DeviceName;
        case 2: return e.event->DeviceIp;
        case 3: return e.event->DevicePort;
        case 4: return Detail(e);
        default: return {};
    }
}

std::vector<int> EventList::SortRows(int column, bool ascending) {
    if (column < 0 || column >= kColumns || InOrder(column, ascending)) return {};
    sorted_ = {true, column, ascending};
    if (column != 4)
        for (EventEntry& e : entries_) std::string().swap(e.sortText);
    const auto order = [ascending](int c) { return ascending ? c < 0 : c > 0; };
    switch (column) {
        case 0:
            return SortBy<std::string_view>(
                [](const EventEntry& e) { return e.key; },
                [&](std::string_view a, std::string_view b) {
                    return order(CompareEventRows(0, a, b));
                },
                true);
        case 2:
            return SortBy<std::uint32_t>(
                [](const EventEntry& e) { return SortAddress(e.event->DeviceIp); },
                [ascending](std::uint32_t a, std::uint32_t b) { return ascending ? a < b : a > b; },
                false);
        case 4: {
            // Made for the rows that have none (new, changed, or the first sort by it).
            for (std::uint32_t i : order_) {
                EventEntry& e = entries_[i];
                if (e.sortText.empty()) e.sortText = Detail(e);
            }
            return SortBy<std::string_view>(
                [](const EventEntry& e) -> std::string_view { return e.sortText; },
                [&](std::string_view a, std::string_view b) {
                    return order(CompareEventRows(4, a, b));
                },
                false);
        }
        default:
            return SortBy<std::string_view>(
                [column](const EventEntry& e) -> std::string_view {
                    return column == 1 ? e.event->DeviceName : e.event->DevicePort;
                },
                [&](std::string_view a, std::string_view b) {
                    return order(CompareEventRows(column, a, b));
                },
                false);
    }
}

}  // namespace tarvell
