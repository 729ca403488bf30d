// One port of one switch as an event names it, and the one builder of detection events, used by
// the poll, the detection pass, the threat clearing and the linkup checks.
#pragma once

#include <memory>
#include <string>

#include "shared/CEventItem.h"

namespace tarvell {

struct SwitchPort {
    std::string SwitchKey;
    std::string SwitchIp;  // the address polled, the first of the switch's list (an alert of a
                           // threat's end names the whole list)
    std::string SwitchName;
    std::string SwitchLocation;
    std::string PortIndex;  // the port's key under the switch (its ifIndex as decimal text)
    std::string PortName;

    bool operator==(const SwitchPort&) const = default;
};

// A detection event of `type` (its description and cause) on `port` about the node or switch
// `sourceMac`, severity 0 unless told otherwise; the caller fills what else it knows (source
// address and name, before and current values).
std::unique_ptr<CEventItem> MakeDetectionEvent(const SwitchPort& port, const std::string& type,
                                               const std::string& sourceMac);

}  // namespace tarvell
