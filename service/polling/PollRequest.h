// What one poll of a switch port needs to know, and the interface through which the detection
// thread and the trap listener ask for polls. The scheduler behind it (PollScheduler) runs polls
// on a bounded pool; tests of the callers use RecordingPollStarter.
#pragma once

#include <string>
#include <vector>

#include "platform/LockedList.h"
#include "shared/SwitchPort.h"

namespace tarvell {

// The fields a poll is started with (all text, as the switch and port records hold them).
struct PollRequest {
    std::string PortIndex;       // the port's ifIndex as decimal text
    std::string SwitchObjectId;  // the switch's sysObjectID text (fifth switch text)
    std::string SwitchIp;        // the address polled
    std::string SwitchKey;
    std::string Community;   // fourth switch text; "SNMP/V3" selects SNMPv3
    std::string SwitchName;  // the name, or the alternate name when the name is empty
    std::string PortName;
    std::string SwitchLocation;

    SwitchPort Port() const {
        return {SwitchKey, SwitchIp, SwitchName, SwitchLocation, PortIndex, PortName};
    }

    bool operator==(const PollRequest&) const = default;
};

// Safe to call from any thread. A request may be merged with one already waiting for the same
// switch; it never blocks on the network.
class PollStarter {
public:
    virtual ~PollStarter() = default;
    virtual void RequestPoll(const PollRequest& request) = 0;
};

// Keeps every request, for tests of the callers.
class RecordingPollStarter final : public PollStarter {
public:
    void RequestPoll(const PollRequest& request) override { requests_.Append(request); }
    std::vector<PollRequest> Requests() const { return requests_.Copy(); }

private:
    LockedList<PollRequest> requests_;
};

}  // namespace tarvell
