#include "service/linkup/CScanLinkupWmiNow.h"

#include "platform/Text.h"

namespace tarvell {

bool CScanLinkupWmiNow::RunAgain() {
    std::lock_guard<std::mutex> guard(lock_);
    if (lastRound_) return false;
    again_ = true;
    return true;
}

std::size_t CScanLinkupWmiNow::Started() const {
    std::lock_guard<std::mutex> guard(lock_);
    return started_;
}

void CScanLinkupWmiNow::Run() {
    for (;;) {
        CheckAll();
        std::lock_guard<std::mutex> guard(lock_);
        if (!again_ || StopRequested()) {
            lastRound_ = true;
            return;
        }
        again_ = false;
    }
}

std::vector<LinkupTarget> CScanLinkupWmiNow::Targets() {
    std::vector<LinkupTarget> targets;
    const std::shared_ptr<const SiblingView> generation = engine_.SiblingData();
    for (const auto& [mac, node] : generation->Nodes) {
        const std::string& switchKey = node->NodeSwitch();
        const std::string& portKey = node->NodePort();
        if (node->NodeIp().empty() || switchKey.empty() || portKey.empty()) continue;
        CDbItem device;
        if (!engine_.LookupSwitch(switchKey, device)) continue;
        if (!engine_.IsEventSelected(0, "WMI", switchKey)) continue;
        if (engine_.IsNodeExcluded(mac, node->NodeIp(), node->NodesOnPort(), switchKey, portKey) !=
            0)
            continue;
        if (engine_.IsMonitoredInterface(switchKey + "/" + portKey) != 0) continue;
        LinkupTarget target;
        target.NodeMac = mac;
        target.SwitchIp = device.SwitchIps().substr(0, device.SwitchIps().find(';'));
        target.SwitchName =
            device.SwitchName().empty() ? device.SwitchAltName() : device.SwitchName();
        target.SwitchKey = switchKey;
        target.PortIndex = portKey;
        target.PortName = engine_.GetPortName(switchKey + "/" + portKey);
        target.SwitchLocation = device.SwitchLocation();
        targets.push_back(std::move(target));
    }
    return targets;
}

std::optional<std::size_t> CScanLinkupWmiNow::FreeSlot(
    std::vector<std::unique_ptr<CScanLinkupWmi>>& slots) {
    std::unique_lock<std::mutex> guard(lock_);
    if (slots.size() < maxRunning_) {
        slots.emplace_back();
        done_.push_back(false);
        return slots.size() - 1;
    }
    for (;;) {
        if (StopRequested()) return std::nullopt;
        for (std::size_t i = 0; i < slots.size(); ++i) {
            if (done_[i]) {
                done_[i] = false;
                guard.unlock();
                if (slots[i]) slots[i]->Join();  // past its last step: ends at once
                slots[i].reset();
                return i;
            }
        }
        // The wake-up also covers a stop request, which signals no condition.
        ended_.wait_for(guard, std::chrono::milliseconds(200));
    }
}

void CScanLinkupWmiNow::CheckAll() {
    if (!engine_.Settings()->DetectionEnabled) return;
    std::vector<std::unique_ptr<CScanLinkupWmi>> slots;
    {
        std::lock_guard<std::mutex> guard(lock_);
        done_.clear();
    }
    for (LinkupTarget& target : Targets()) {
        if (StopRequested()) break;
        const auto slot = FreeSlot(slots);
        if (!slot) break;
        auto check =
            std::make_unique<CScanLinkupWmi>(engine_, wmi_, std::move(target), &StopEvent());
        const std::size_t index = *slot;
        check->SetDone([this, index] {
            std::lock_guard<std::mutex> guard(lock_);
            done_[index] = true;
            ended_.notify_all();
        });
        slots[index] = std::move(check);
        if (!slots[index]->Start()) {
            engine_.Log(
                "WMI check of a node could not be started (no thread); the on-demand check goes "
                "on");
            slots[index].reset();
            std::lock_guard<std::mutex> guard(lock_);
            done_[index] = true;
            continue;
        }
        std::lock_guard<std::mutex> guard(lock_);
        ++started_;
    }
    // Waits for every check started (a destructor would stop it first).
    for (auto& check : slots) {
        if (check) check->Join();
    }
    slots.clear();
}

}  // namespace tarvell
