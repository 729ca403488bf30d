#include "service/detection/CScanDatabase.h"

#include <chrono>
#include <exception>
#include <mutex>

#include "platform/Text.h"
#include "service/detection/NodeRules.h"

namespace tarvell {

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;
using SteadyClock = std::chrono::steady_clock;

constexpr std::size_t kYieldEvery = 100;
constexpr const char* kDetection = "Detection";

std::string FirstAddress(const std::string& ips) { return SplitFirst(ips, ';').first; }

std::string DisplayName(const CDbItem& sw) {
    return sw.SwitchName().empty() ? sw.SwitchAltName() : sw.SwitchName();
}

const std::string& Figure(const CDbItem& port, ThreatRule rule) {
    switch (rule) {
        case ThreatRule::Receive: return port.PortReceiveRate();
        case ThreatRule::Transmit: return port.PortTransmitRate();
        case ThreatRule::Broadcast: return port.PortBroadcastRate();
        case ThreatRule::Errors: break;
    }
    return port.PortErrorsRate();
}

std::uint32_t Threshold(const CTarvellDoc& s, ThreatRule rule) {
    switch (rule) {
        case ThreatRule::Receive: return static_cast<std::uint32_t>(s.ReceiveThreshold);
        case ThreatRule::Transmit: return static_cast<std::uint32_t>(s.TransmitThreshold);
        case ThreatRule::Broadcast: return static_cast<std::uint32_t>(s.BroadcastThreshold);
        case ThreatRule::Errors: break;
    }
    return static_cast<std::uint32_t>(s.ErrorsThreshold);
}

}  // namespace

CScanDatabase::CScanDatabase(CTarvellFrm& engine, PollStarter& polls, LinkupStarter& linkup,
                             ScanPacing pacing)
    : engine_(engine), polls_(polls), linkup_(linkup), pacing_(pacing) {}

// ---- the thread

void CScanDatabase::Run() {
    bool failing = false;
    std::uint64_t seen = 0;
    auto last = SteadyClock::now() - std::chrono::milliseconds(pacing_.idlePassMs);
    do {
        const std::uint64_t generation = engine_.DataGeneration.load();
        const auto now = SteadyClock::now();
        if (generation == seen && now - last < std::chrono::milliseconds(pacing_.idlePassMs)) continue;
        seen = generation;
        last = now;
        try {
            RunPass();
            if (failing) engine_.Log("Detection passes complete again");
            failing = false;
        } catch (const std::exception& e) {
            // Logged once while it lasts; the next pass starts from fresh snapshots.
            if (!failing) engine_.Log(std::string("Detection pass could not be completed (") +
                                      e.what() + "); trying again in the next pass");
            failing = true;
            CTarvellFrm::ClearObjectMap(portSnapshot_);
            CTarvellFrm::ClearObjectMap(nodeSnapshot_);
        }
    } while (!WaitForStop(pacing_.tickMs));
}

bool CScanDatabase::Yield(std::size_t& counter) {
    const bool pause = counter++ % kYieldEvery == 0;
    if (pause && pacing_.yieldEvery100) return WaitForStop(1);
    return pause && StopRequested();
}

// ---- one pass

void CScanDatabase::RunPass() {
    CTarvellFrm::ClearObjectMap(portSnapshot_);
    CTarvellFrm::ClearObjectMap(nodeSnapshot_);
    engine_.SnapshotPorts(portSnapshot_);
    engine_.SnapshotNodes(nodeSnapshot_);
    DropVanishedPendingNodes();
    if (engine_.Settings()->DetectionEnabled != 0 && !enabledPorts_.empty() && !locatedNodes_.empty())
        ScanRound();
    BuildWorkingSets();
    CTarvellFrm::ClearObjectMap(portSnapshot_);
    CTarvellFrm::ClearObjectMap(nodeSnapshot_);
    ++passes_;
}

// A MAC waits in PendingNewNodes for the pass that meets it on a monitored port; one that left
// the sibling data would wait for ever.
void CScanDatabase::DropVanishedPendingNodes() {
    Lock lock(engine_.EngineLock);
    for (auto it = engine_.PendingNewNodes.begin(); it != engine_.PendingNewNodes.end();) {
        if (nodeSnapshot_.count(it->first))
            ++it;
        else
            it = engine_.PendingNewNodes.erase(it);
    }
}

void CScanDatabase::CopyRecord(const CDbItem& from, CDbItem& to) { to = from; }

void CScanDatabase::BuildWorkingSets() {
    CTarvellFrm::ClearObjectMap(enabledPorts_);
    std::size_t counter = 0;
    for (const auto& [key, port] : portSnapshot_) {
        if (Yield(counter)) return;
        if (port->PortDisabled() != 0) continue;
        auto& slot = enabledPorts_[key];
        slot = std::make_unique<CDbItem>();
        CopyRecord(*port, *slot);
    }
    CTarvellFrm::ClearObjectMap(locatedNodes_);
    counter = 0;
    for (const auto& [key, node] : nodeSnapshot_) {
        if (Yield(counter)) return;
        if (node->NodeDisabled() != 0 || node->NodeSwitch().empty() || node->NodePort().empty()) continue;
        auto& slot = locatedNodes_[key];
        slot = std::make_unique<CDbItem>();
        CopyRecord(*node, *slot);
    }
}

void CScanDatabase::ScanRound() {
    const auto settings = engine_.Settings();
    ScanPorts(*settings);
    if (StopRequested()) return;
    ScanNodes(*settings);
}

ThreatLevels& CScanDatabase::LevelsOf(ThreatRule rule) {
    switch (rule) {
        case ThreatRule::Receive: return receiveLevels_;
        case ThreatRule::Transmit: return transmitLevels_;
        case ThreatRule::Broadcast: return broadcastLevels_;
        case ThreatRule::Errors: break;
    }
    return errorsLevels_;
}

const ThreatLevels& CScanDatabase::Levels(ThreatRule rule) const {
    return const_cast<CScanDatabase*>(this)->LevelsOf(rule);
}

// ---- ports: threat rules and ports that came up

void CScanDatabase::ScanPorts(const CTarvellDoc& s) {
    std::size_t counter = 0;
    for (const auto& [key, port] : portSnapshot_) {
        if (Yield(counter)) return;
        if (port->PortDisabled() != 0) continue;
        const auto previous = enabledPorts_.find(key);
        if (previous == enabledPorts_.end()) continue;
        if (engine_.IsMonitoredInterface(key) != 0) continue;
        CDbItem sw;
        if (!engine_.LookupSwitch(port->PortSwitch(), sw)) continue;

        for (const ThreatRule rule : kThreatRules) {
            const std::string type = ThreatEventType(rule);
            ThreatInput in{rule, Threshold(s, rule), false, s.ThreatNormalAlerts != 0,
                           Figure(*port, rule), Figure(*previous->second, rule)};
            in.selected = in.threshold > 0 && engine_.IsEventSelected(0, type, port->PortSwitch());
            const auto finding = JudgeThreat(in, key, LevelsOf(rule));
            if (!finding) continue;
            if (finding->kind == ThreatFinding::Kind::Raised)
                RaiseDetectionEvent(finding->severity, kDetection, key, key, type, finding->current,
                                    finding->before);
            else
                RaiseThreatCleared(0, kDetection, key, key, type, finding->current, finding->before);
        }

        // A port that was down in the previous pass and is up now: its switch is polled.
        const auto before = enabledPorts_.find(port->PortSwitch() + "/" + port->PortIndex());
        if (before != enabledPorts_.end() && port->PortStatus() != 0 && before->second->PortStatus() == 0)
            StartPoll(*port, s);
    }
}

void CScanDatabase::StartPoll(const CDbItem& port, const CTarvellDoc& s) {
    CDbItem sw;
    if (!engine_.LookupSwitch(port.PortSwitch(), sw)) return;
    if (s.NewMacEnabled != 0 || !s.WmiConditions.empty() || !s.LinkupScriptFile.empty()) {
        PollRequest request;
        request.PortIndex = port.PortIndex();
        request.SwitchObjectId = sw.SwitchObjectId();
        request.SwitchIp = FirstAddress(sw.SwitchIps());
        request.SwitchKey = port.PortSwitch();
        request.Community = sw.SwitchCommunity();
        request.SwitchName = DisplayName(sw);
        request.PortName = port.PortName();
        request.SwitchLocation = sw.SwitchLocation();
        polls_.RequestPoll(request);
    }
    if (s.PreventionEnabled != 0 && s.SnmpPreventionEnabled != 0 && s.SnmpPreventionMethod != 0)
        engine_.ClearEventExtra(port.PortSwitch() + "/" + port.PortIndex());
}

// ---- nodes

void CScanDatabase::ScanNodes(const CTarvellDoc& s) {
    std::size_t counter = 0;
    for (const auto& [key, node] : nodeSnapshot_) {
        if (Yield(counter)) return;
        if (node->NodeDisabled() != 0) continue;
        ScanNode(key, *node, s);
    }
}

void CScanDatabase::ScanNode(const std::string& key, const CDbItem& node, const CTarvellDoc& s) {
    const std::string& switchKey = node.NodeSwitch();
    const std::string& portIndex = node.NodePort();
    const std::string portKey = switchKey + "/" + portIndex;

    if (switchKey.empty() || portIndex.empty() || engine_.IsMonitoredInterface(portKey) != 0) {
        // First met where it is not judged: it counts as new when it reaches a monitored port.
        if (!locatedNodes_.count(key)) {
            Lock lock(engine_.EngineLock);
            engine_.PendingNewNodes[key] = portKey;
        }
        return;
    }

    const std::string ip = CutRemark(node.NodeIp());
    if (engine_.IsNodeExcluded(node.NodeMac(), node.NodeIp(), node.NodesOnPort(), switchKey, portIndex) != 0)
        return;

    if (s.BlackListEnabled != 0) {
        const BlackListReading verdict =
            ReadBlackListVerdict(engine_.FindNodeBySource(switchKey, portIndex, node.NodeMac(), ip));
        if (verdict.kind == BlackListReading::Kind::Blacklist)
            RaiseDetectionEvent(0, kDetection, portKey, key, "Unauthorized Blacklist Node", verdict.matched, "");
        else if (verdict.kind == BlackListReading::Kind::Unauthorized)
            RaiseDetectionEvent(0, kDetection, portKey, key, "Unauthorized Node", verdict.matched, "");
        if (verdict.kind != BlackListReading::Kind::None) return;
    }

    const auto countThreshold = static_cast<std::uint32_t>(s.NodesCountThreshold);
    if (countThreshold > 0 && !node.NodesOnPort().empty() &&
        AtoL(node.NodesOnPort()) > static_cast<std::int64_t>(countThreshold)) {
        const std::string count =
            engine_.FindNodeForEvent(switchKey, portIndex, node.NodesOnPort(), node.NodeMac(), ip);
        if (!count.empty())
            RaiseDetectionEvent(0, kDetection, portKey, key, "Unauthorized Nodes Count", count, "");
    }

    CDbItem sw;
    if (!engine_.LookupSwitch(switchKey, sw)) return;
    const std::string& device = sw.SwitchKey();

    CDbItem reference;
    if (!engine_.LookupNode(key, reference)) {
        {
            Lock lock(engine_.EngineLock);
            engine_.UnknownNodeLocations.erase(key);
            engine_.PendingNewNodes.erase(key);
        }
        if (s.NewMacEnabled != 0 && engine_.IsEventSelected(0, "New Mac", device) &&
            SeenForLessThanADay(node.NodeFirstSeen(), node.NodeLastSeen())) {
            RaiseDetectionEvent(0, kDetection, portKey, key, "New Mac", node.NodeMac(),
                                engine_.IsKnownKey(key) ? "deleted from database" : "discovered");
        }
        StartLinkupChecks(node, sw, s);
        return;
    }

    // Known node: compared with its own record of the previous pass, so each change is raised
    // in the one pass that sees it.
    const auto previous = locatedNodes_.find(key);
    if (previous == locatedNodes_.end()) return;
    NodeRuleSwitches on;
    on.newIp = s.NewIpEnabled != 0;
    on.newName = s.NewNameEnabled != 0;
    on.newUser = s.NewUserEnabled != 0;
    on.changedIp = s.ChangedIpEnabled != 0;
    on.changedName = s.ChangedNameEnabled != 0;
    on.changedUser = s.ChangedUserEnabled != 0;
    on.changedPort = s.ChangedPortEnabled != 0;
    for (const NodeFinding& f : CompareNodes(node, *previous->second, on)) {
        if (engine_.IsEventSelected(0, f.type, device))
            RaiseDetectionEvent(0, kDetection, portKey, key, f.type, f.current, f.before);
    }
}

void CScanDatabase::StartLinkupChecks(const CDbItem& node, const CDbItem& sw, const CTarvellDoc& s) {
    const bool wmi = !s.WmiConditions.empty() && engine_.IsEventSelected(0, "WMI", sw.SwitchKey());
    const bool script = !s.LinkupScriptFile.empty() && engine_.IsEventSelected(0, "Script", sw.SwitchKey());
    if (!wmi && !script) return;
    LinkupTarget target;
    target.NodeMac = node.NodeMac();
    target.SwitchIp = FirstAddress(sw.SwitchIps());
    target.SwitchName = DisplayName(sw);
    target.SwitchKey = node.NodeSwitch();
    target.PortIndex = node.NodePort();
    target.PortName = engine_.GetPortName(node.NodeSwitch() + "/" + node.NodePort());
    target.SwitchLocation = sw.SwitchLocation();
    if (wmi) linkup_.StartCheck(LinkupCheck::Wmi, target);
    if (script) linkup_.StartCheck(LinkupCheck::Script, target);
}

// ---- events and alerts

std::string CScanDatabase::SnapshotPortName(const std::string& portKey) const {
    const auto it = portSnapshot_.find(portKey);
    return it == portSnapshot_.end() ? std::string() : it->second->PortName();
}

std::string CScanDatabase::ReadablePort(const std::string& portKey) {
    CDbItem sw;
    std::string text;
    if (engine_.LookupSwitch(SplitFirst(portKey, '/').first, sw))
        text = DisplayName(sw) + " (" + FirstAddress(sw.SwitchIps()) + ")";
    return text + " - " + SnapshotPortName(portKey);
}

void CScanDatabase::RaiseDetectionEvent(int severity, const std::string& category,
                                        const std::string& portKey, const std::string& sourceKey,
                                        const std::string& type, const std::string& current,
                                        const std::string& before) {
    auto [switchKey, portIndex] = SplitFirst(portKey, '/');
    if (!engine_.IsEventSelected(0, type, switchKey)) return;

    auto event = std::make_unique<CEventItem>();
    CDbItem sw;
    if (engine_.LookupSwitch(switchKey, sw)) {
        event->DeviceIp = FirstAddress(sw.SwitchIps());
        event->DeviceName = DisplayName(sw);
        event->DeviceLocation = sw.SwitchLocation();
    }
    if (sourceKey.find('/') == std::string::npos) {
        if (const auto node = nodeSnapshot_.find(sourceKey); node != nodeSnapshot_.end()) {
            event->SourceIp = CutRemark(node->second->NodeIp());
            event->SourceName = node->second->NodeName();
        }
    } else {
        CDbItem source;
        if (engine_.LookupSwitch(SplitFirst(sourceKey, '/').first, source)) {
            event->SourceIp = FirstAddress(source.SwitchIps());
            event->SourceName = DisplayName(source);
        }
    }
    const bool portChange = type == "Changed Port";
    event->Severity = severity;
    event->Category = category;
    event->SwitchKey = switchKey;
    event->DevicePort = SnapshotPortName(portKey);
    event->PortKey = portIndex;
    event->SourceMac = sourceKey;
    event->Description = type;
    event->EventType = type;
    event->Current = portChange ? ReadablePort(current) : current;
    event->Before = portChange ? ReadablePort(before) : before;
    engine_.RecordEvent(std::move(event));
}

void CScanDatabase::RaiseThreatCleared(int severity, const std::string& category,
                                       const std::string& portKey, const std::string& sourceKey,
                                       const std::string& type, const std::string& current,
                                       const std::string& before) {
    auto [switchKey, portIndex] = SplitFirst(portKey, '/');
    if (!engine_.IsEventSelected(0, type, switchKey)) return;

    auto alert = std::make_unique<CAlertItem>();
    CDbItem sw;
    if (engine_.LookupSwitch(switchKey, sw)) {
        alert->DeviceIp = sw.SwitchIps();
        alert->DeviceName = DisplayName(sw);
        alert->DeviceLocation = sw.SwitchLocation();
    }
    alert->DevicePort = SnapshotPortName(portKey);
    if (sourceKey.find('/') == std::string::npos) {
        if (const auto node = nodeSnapshot_.find(sourceKey); node != nodeSnapshot_.end()) {
            alert->SourceIp = CutRemark(node->second->NodeIp());
            alert->SourceName = node->second->NodeName();
        }
    } else {
        CDbItem source;
        if (engine_.LookupSwitch(SplitFirst(sourceKey, '/').first, source)) {
            alert->SourceIp = source.SwitchIps();
            alert->SourceName = DisplayName(source);
        }
    }
    alert->Severity = severity;
    alert->Category = category;
    alert->SwitchKey = switchKey;
    alert->PortKey = portIndex;
    alert->SourceMac = sourceKey;
    alert->Description = type;
    alert->EventType = type;
    alert->Current = current;
    alert->Before = before;
    engine_.QueueAlert(std::move(alert));
}

}  // namespace tarvell
