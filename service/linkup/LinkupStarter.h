// The checks a new node is put through when it is seen on a port: the WMI conditions and the
// linkup script. The poll and the detection thread start them through this interface; the
// linkup workers implement it on a bounded pool. Tests of the callers use RecordingLinkupStarter.
#pragma once

#include <string>
#include <vector>

#include "platform/LockedList.h"
#include "shared/SwitchPort.h"

namespace tarvell {

// The fields a linkup check is started with.
struct LinkupTarget {
    std::string NodeMac;  // 12 upper-case hex digits
    std::string SwitchIp;
    std::string SwitchName;
    std::string SwitchKey;
    std::string PortIndex;
    std::string PortName;
    std::string SwitchLocation;

    SwitchPort Port() const {
        return {SwitchKey, SwitchIp, SwitchName, SwitchLocation, PortIndex, PortName};
    }

    bool operator==(const LinkupTarget&) const = default;
};

enum class LinkupCheck { Wmi, Script };

// Safe to call from any thread; never blocks on the network or on a child process.
class LinkupStarter {
public:
    virtual ~LinkupStarter() = default;
    virtual void StartCheck(LinkupCheck check, const LinkupTarget& target) = 0;
};

// Keeps every start, for tests of the callers (and stands in where no checks are built).
class RecordingLinkupStarter final : public LinkupStarter {
public:
    struct Start {
        LinkupCheck check;
        LinkupTarget target;
    };
    void StartCheck(LinkupCheck check, const LinkupTarget& target) override {
        starts_.Append({check, target});
    }
    std::vector<Start> Starts() const { return starts_.Copy(); }

private:
    LockedList<Start> starts_;
};

}  // namespace tarvell
