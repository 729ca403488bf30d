// What the viewer shows of the service's files: the events and alerts the user has not removed,
// and their counts. The same rules serve the reader threads and the direct loads.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "platform/ObjectMap.h"
#include "shared/CAlertItem.h"
#include "shared/CEventItem.h"
#include "shared/CTarvellDoc.h"

namespace tarvell {

struct ItemCounts {
    std::int32_t total = 0;
    std::int32_t detection = 0;
    std::int32_t prevention = 0;
    bool operator==(const ItemCounts&) const = default;
};

// An event is in the prevention state while it is blocked (Blocked set), its port is shut
// (Extra set) or a block request for it waits in the settings.
bool IsPreventionEvent(const std::string& key, const CEventItem& event,
                       const CTarvellDoc& settings);
// The same rule when the caller already knows whether a block request waits for the event.
bool IsPreventionEvent(const CEventItem& event, bool blockRequested);

// Drops the events whose deletion was requested (DeleteRequests) or that the service marked
// deleted, unless they are still blocked or shut; counts the rest.
ItemCounts FilterEvents(ObjectMap<CEventItem>& events, const CTarvellDoc& settings);

// Drops the alerts the user removed (RemovedAlerts) or whose State is set; counts the rest by
// category ("Detection", "Prevention"; other categories only in the total).
ItemCounts FilterAlerts(ObjectMap<CAlertItem>& alerts, const CTarvellDoc& settings);

// The event key of a request entry "<key>;<user>@<domain>" (the text before its first ";").
std::string RequestKey(const std::string& entry);

}  // namespace tarvell
