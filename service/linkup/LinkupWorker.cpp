#include "service/linkup/LinkupWorker.h"

#include "service/linkup/LinkupRules.h"

namespace tarvell {

bool LinkupWorker::Stopping() const {
    return StopRequested() || (stop_ != nullptr && stop_->IsSet());
}

bool LinkupWorker::Pause(std::int64_t ms) {
    if (Stopping()) return true;
    Clock& clock = engine_.clock();
    if (dynamic_cast<SystemClock*>(&clock) != nullptr)
        return StopSignal().WaitFor(ms) || Stopping();
    clock.SleepMs(ms);
    return Stopping();
}

std::optional<LinkupWorker::NodeFacts> LinkupWorker::WaitForNode() {
    for (int i = 0; i < kNodeWaitTries; ++i) {
        if (Stopping()) return std::nullopt;
        CDbItem node;
        if (engine_.LookupNode(target_.NodeMac, node) && !node.NodeIp().empty()) {
            return NodeFacts{node.NodeIp(), NodeAddress(node.NodeIp()), node.NodeName()};
        }
        if (Pause(kNodeWaitPauseMs)) return std::nullopt;
    }
    return std::nullopt;
}

std::unique_ptr<CEventItem> LinkupWorker::NodeEvent(const NodeFacts& node,
                                                    const std::string& type) const {
    auto event = std::make_unique<CEventItem>();
    event->Severity = 0;
    event->Category = "Detection";
    event->Description = type;
    event->EventType = type;
    event->DeviceIp = target_.SwitchIp;
    event->SwitchKey = target_.SwitchKey;
    event->DeviceName = target_.SwitchName;
    event->DevicePort = target_.PortName;
    event->PortKey = target_.PortIndex;
    event->DeviceLocation = target_.SwitchLocation;
    event->SourceMac = target_.NodeMac;
    event->SourceIp = node.ip;
    event->SourceName = node.name;
    return event;
}

void LinkupWorker::Finish() {
    if (done_) done_();
}

}  // namespace tarvell
