// The checks a new node is put through when it is seen on a port: the WMI conditions and the
// linkup script. The poll and the detection thread start them through this interface; the
// linkup workers implement it on a bounded pool. Tests of the callers use RecordingLinkupStarter.
#pragma once

#include <mutex>
#include <string>
#include <vector>

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
        std::lock_guard<std::mutex> guard(lock_);
        starts_.push_back({check, target});
    }
    std::vector<Start> Starts() const {
        std::lock_guard<std::mutex> guard(lock_);
        return starts_;
    }

private:
    mutable std::mutex lock_;
    std::vector<Start> starts_;
};

}  // namespace tarvell
