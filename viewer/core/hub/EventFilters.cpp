#include "viewer/core/hub/EventFilters.h"

#include <set>

namespace tarvell {
namespace {

std::set<std::string> RequestKeys(const std::vector<std::string>& entries) {
    std::set<std::string> keys;
    for (const std::string& entry : entries)
        if (entry.find(';') != std::string::npos) keys.insert(RequestKey(entry));
    return keys;
}

bool IsShutOrBlocked(const CEventItem& event) { return event.Blocked != 0 || !event.Extra.empty(); }

}  // namespace

std::string RequestKey(const std::string& entry) { return entry.substr(0, entry.find(';')); }

bool IsPreventionEvent(const CEventItem& event, bool blockRequested) {
    return blockRequested || IsShutOrBlocked(event);
}

bool IsPreventionEvent(const std::string& key, const CEventItem& event,
                       const CTarvellDoc& settings) {
    if (IsShutOrBlocked(event)) return true;
    for (const std::string& entry : settings.BlockRequests)
        if (entry.size() > key.size() && entry.compare(0, key.size(), key) == 0 &&
            entry[key.size()] == ';')
            return true;
    return false;
}

ItemCounts FilterEvents(ObjectMap<CEventItem>& events, const CTarvellDoc& settings) {
    const std::set<std::string> deleteRequests(settings.DeleteRequests.begin(),
                                               settings.DeleteRequests.end());
    const std::set<std::string> blockRequests = RequestKeys(settings.BlockRequests);
    ItemCounts counts;
    for (auto it = events.begin(); it != events.end();) {
        const CEventItem& event = *it->second;
        const bool removed = deleteRequests.count(it->first) != 0 || event.Deleted != 0;
        if (removed && !IsShutOrBlocked(event)) {
            it = events.erase(it);
            continue;
        }
        ++counts.total;
        if (IsShutOrBlocked(event) || blockRequests.count(it->first) != 0) ++counts.prevention;
        else ++counts.detection;
        ++it;
    }
    return counts;
}

ItemCounts FilterAlerts(ObjectMap<CAlertItem>& alerts, const CTarvellDoc& settings) {
    const std::set<std::string> removedAlerts(settings.RemovedAlerts.begin(),
                                              settings.RemovedAlerts.end());
    ItemCounts counts;
    for (auto it = alerts.begin(); it != alerts.end();) {
        if (removedAlerts.count(it->first) != 0 || it->second->State != 0) {
            it = alerts.erase(it);
            continue;
        }
        ++counts.total;
        if (it->second->Category == "Detection") ++counts.detection;
        else if (it->second->Category == "Prevention") ++counts.prevention;
        ++it;
    }
    return counts;
}

}  // namespace tarvell
