#include "service/detection/CScanDatabase.h"

#include <chrono>
#include <exception>
#include <mutex>

#include "platform/RecursiveLock.h"
#include "platform/Text.h"
#include "service/detection/NodeRules.h"

namespace tarvell {

namespace {

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

bool Enabled(const CDbItem& port) { return port.PortDisabled() == 0; }

bool Located(const CDbItem& node) {
    return node.NodeDisabled() == 0 && !node.NodeSwitch().empty() && !node.NodePort().empty();
}

const CDbItem* Find(const ObjectMap<CDbItem>& table, const std::string& key) {
    const auto it = table.find(key);
    return it == table.end() ? nullptr : it->second.get();
}

bool AnyOf(const ObjectMap<CDbItem>& table, bool (*test)(const CDbItem&)) {
    for (const auto& [key, record] : table)
        if (test(*record)) return true;
    return false;
}

CScanDatabase::RecordIndex IndexOf(const ObjectMap<CDbItem>& table, bool (*test)(const CDbItem&)) {
    CScanDatabase::RecordIndex index;
    for (const auto& [key, record] : table)
        if (test(*record)) index.emplace_hint(index.end(), key, record.get());
    return index;
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
        if (generation == seen && now - last < std::chrono::milliseconds(pacing_.idlePassMs))
            continue;
        seen = generation;
        last = now;
        try {
            RunPass();
            if (failing) engine_.Log("Detection passes complete again");
            failing = false;
        } catch (const std::exception& e) {
            // Logged once while it lasts; the next pass starts from fresh snapshots.
            if (!failing)
                engine_.Log(std::string("Detection pass could not be completed (") + e.what() +
                            "); trying again in the next pass");
            failing = true;
            current_.reset();
            setsGeneration_.reset();
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
    // Read before the generation is taken: a swap after this point is seen as a new generation
    // next time.
    const std::uint64_t generation = engine_.DataGeneration.load();
    const bool fresh = !setsGeneration_ || *setsGeneration_ != generation;
    setsGeneration_.reset();  // stays unset if the pass does not end
    if (fresh) {
        current_ = engine_.SiblingData();
        DropVanishedPendingNodes();
    } else {
        // The previous pass's generation is read again: each record is its own previous copy.
        current_ = previous_;
    }
    sameData_ = !fresh;
    if (engine_.Settings()->DetectionEnabled != 0 && previous_ &&
        AnyOf(previous_->Ports, Enabled) && AnyOf(previous_->Nodes, Located))
        ScanRound();
    switches_.clear();
    if (StopRequested()) return;
    // The generation before this pass's is let go here, outside every lock.
    previous_ = std::move(current_);
    setsGeneration_ = generation;
    ++passes_;
}

// A MAC waits in PendingNewNodes for the pass that meets it on a monitored port; one that left
// the sibling data would wait for ever.
void CScanDatabase::DropVanishedPendingNodes() {
    std::lock_guard<std::mutex> lock(engine_.NodeNotesLock);
    for (auto it = engine_.PendingNewNodes.begin(); it != engine_.PendingNewNodes.end();) {
        if (current_->Nodes.count(it->first)) ++it;
        else it = engine_.PendingNewNodes.erase(it);
    }
}

void CScanDatabase::CopyRecord(const CDbItem& from, CDbItem& to) { to = from; }

const CDbItem* CScanDatabase::PreviousPort(const std::string& key) const {
    const CDbItem* port = previous_ ? Find(previous_->Ports, key) : nullptr;
    return port && Enabled(*port) ? port : nullptr;
}

const CDbItem* CScanDatabase::PreviousNode(const std::string& key) const {
    const CDbItem* node = previous_ ? Find(previous_->Nodes, key) : nullptr;
    return node && Located(*node) ? node : nullptr;
}

const CDbItem* CScanDatabase::CurrentPort(const std::string& key) const {
    if (sameData_) return PreviousPort(key);
    return current_ ? Find(current_->Ports, key) : nullptr;
}

const CDbItem* CScanDatabase::CurrentNode(const std::string& key) const {
    if (sameData_) return PreviousNode(key);
    return current_ ? Find(current_->Nodes, key) : nullptr;
}

CScanDatabase::RecordIndex CScanDatabase::EnabledPorts() const {
    return previous_ ? IndexOf(previous_->Ports, Enabled) : RecordIndex{};
}

CScanDatabase::RecordIndex CScanDatabase::LocatedNodes() const {
    return previous_ ? IndexOf(previous_->Nodes, Located) : RecordIndex{};
}

void CScanDatabase::ScanRound() {
    switches_.clear();
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

// The switch look-up of the engine, once per switch and pass: a pass judges every port and node
// of a switch against the same switch record.
CScanDatabase::SwitchEntry& CScanDatabase::EntryOf(const std::string& key) {
    auto it = switches_.find(key);
    if (it == switches_.end()) {
        SwitchEntry entry;
        entry.record.emplace();
        if (!engine_.LookupSwitch(key, *entry.record)) entry.record.reset();
        it = switches_.emplace(key, std::move(entry)).first;
    }
    return it->second;
}

const CDbItem* CScanDatabase::SwitchOf(const std::string& key) {
    const SwitchEntry& entry = EntryOf(key);
    return entry.record ? &*entry.record : nullptr;
}

// The device selection of a threat rule depends on the settings and the switch alone.
bool CScanDatabase::ThreatSelected(SwitchEntry& entry, ThreatRule rule,
                                   const std::string& switchKey) {
    signed char& known = entry.threatSelected[static_cast<std::size_t>(rule)];
    if (known < 0) known = engine_.IsEventSelected(0, ThreatEventType(rule), switchKey) ? 1 : 0;
    return known != 0;
}

// ---- ports: threat rules and ports that came up

void CScanDatabase::ScanPorts(const CTarvellDoc& s) {
    std::size_t counter = 0;
    for (const auto& [key, port] : current_->Ports) {
        if (Yield(counter)) return;
        if (port->PortDisabled() != 0) continue;
        const CDbItem* previous = sameData_ ? port.get() : PreviousPort(key);
        if (!previous) continue;
        if (engine_.IsMonitoredInterface(key) != 0) continue;
        SwitchEntry& sw = EntryOf(port->PortSwitch());
        if (!sw.record) continue;

        for (const ThreatRule rule : kThreatRules) {
            ThreatInput in{rule,
                           Threshold(s, rule),
                           false,
                           s.ThreatNormalAlerts != 0,
                           Figure(*port, rule),
                           Figure(*previous, rule)};
            in.selected = in.threshold > 0 && ThreatSelected(sw, rule, port->PortSwitch());
            const auto finding = JudgeThreat(in, key, LevelsOf(rule));
            if (!finding) continue;
            const std::string type = ThreatEventType(rule);
            if (finding->kind == ThreatFinding::Kind::Raised)
                RaiseDetectionEvent(finding->severity, kDetection, key, key, type, finding->current,
                                    finding->before);
            else
                RaiseThreatCleared(0, kDetection, key, key, type, finding->current,
                                   finding->before);
        }

        // A port that was down in the previous pass and is up now: its switch is polled.
        if (sameData_ || port->PortStatus() == 0) continue;
        const CDbItem* before = PreviousPort(port->PortSwitch() + "/" + port->PortIndex());
        if (before && before->PortStatus() == 0) StartPoll(*port, s);
    }
}

void CScanDatabase::StartPoll(const CDbItem& port, const CTarvellDoc& s) {
    const CDbItem* found = SwitchOf(port.PortSwitch());
    if (!found) return;
    const CDbItem& sw = *found;
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
    for (const auto& [key, node] : current_->Nodes) {
        if (Yield(counter)) return;
        // With the previous pass's data, a node without a place was judged in the pass that
        // first met it.
        if (node->NodeDisabled() != 0 || (sameData_ && !Located(*node))) continue;
        ScanNode(key, *node, s);
    }
}

void CScanDatabase::ScanNode(const std::string& key, const CDbItem& node, const CTarvellDoc& s) {
    const std::string& switchKey = node.NodeSwitch();
    const std::string& portIndex = node.NodePort();
    const std::string portKey = switchKey + "/" + portIndex;

    if (switchKey.empty() || portIndex.empty() || engine_.IsMonitoredInterface(portKey) != 0) {
        // First met where it is not judged: it counts as new when it reaches a monitored port.
        if (!PreviousNode(key)) {
            std::lock_guard<std::mutex> lock(engine_.NodeNotesLock);
            engine_.PendingNewNodes[key] = portKey;
        }
        return;
    }

    const std::string ip = CutRemark(node.NodeIp());
    if (engine_.IsNodeExcluded(node.NodeMac(), node.NodeIp(), node.NodesOnPort(), switchKey,
                               portIndex) != 0)
        return;

    if (s.BlackListEnabled != 0) {
        const BlackListReading verdict = ReadBlackListVerdict(
            engine_.FindNodeBySource(switchKey, portIndex, node.NodeMac(), ip));
        if (verdict.kind == BlackListReading::Kind::Blacklist)
            RaiseDetectionEvent(0, kDetection, portKey, key, "Unauthorized Blacklist Node",
                                verdict.matched, "");
        else if (verdict.kind == BlackListReading::Kind::Unauthorized)
            RaiseDetectionEvent(0, kDetection, portKey, key, "Unauthorized Node", verdict.matched,
                                "");
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

    const CDbItem* found = SwitchOf(switchKey);
    if (!found) return;
    const CDbItem& sw = *found;
    const std::string& device = sw.SwitchKey();

    if (!engine_.LookupNode(key, reference_)) {
        {
            std::lock_guard<std::mutex> lock(engine_.NodeNotesLock);
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
    // in the one pass that sees it. With the previous pass's data there is no change to see.
    if (sameData_) return;
    const CDbItem* previous = PreviousNode(key);
    if (!previous) return;
    NodeRuleSwitches on;
    on.newIp = s.NewIpEnabled != 0;
    on.newName = s.NewNameEnabled != 0;
    on.newUser = s.NewUserEnabled != 0;
    on.changedIp = s.ChangedIpEnabled != 0;
    on.changedName = s.ChangedNameEnabled != 0;
    on.changedUser = s.ChangedUserEnabled != 0;
    on.changedPort = s.ChangedPortEnabled != 0;
    for (const NodeFinding& f : CompareNodes(node, *previous, on)) {
        if (engine_.IsEventSelected(0, f.type, device))
            RaiseDetectionEvent(0, kDetection, portKey, key, f.type, f.current, f.before);
    }
}

void CScanDatabase::StartLinkupChecks(const CDbItem& node, const CDbItem& sw,
                                      const CTarvellDoc& s) {
    const bool wmi = !s.WmiConditions.empty() && engine_.IsEventSelected(0, "WMI", sw.SwitchKey());
    const bool script =
        !s.LinkupScriptFile.empty() && engine_.IsEventSelected(0, "Script", sw.SwitchKey());
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
    const CDbItem* port = CurrentPort(portKey);
    return port ? port->PortName() : std::string();
}

std::string CScanDatabase::ReadablePort(const std::string& portKey) {
    std::string text;
    if (const CDbItem* sw = SwitchOf(SplitFirst(portKey, '/').first))
        text = DisplayName(*sw) + " (" + FirstAddress(sw->SwitchIps()) + ")";
    return text + " - " + SnapshotPortName(portKey);
}

// The event of `type` on the port `portKey` about `sourceKey` (a node, or a port whose switch is
// the source). A switch's address is the first of its list, or the whole list with `wholeLists`.
std::unique_ptr<CEventItem> CScanDatabase::BuildEvent(const std::string& portKey,
                                                      const std::string& sourceKey,
                                                      const std::string& type, bool wholeLists) {
    const auto address = [wholeLists](const CDbItem& sw) {
        return wholeLists ? sw.SwitchIps() : FirstAddress(sw.SwitchIps());
    };
    auto [switchKey, portIndex] = SplitFirst(portKey, '/');
    SwitchPort where{switchKey, "", "", "", portIndex, SnapshotPortName(portKey)};
    if (const CDbItem* sw = SwitchOf(switchKey)) {
        where.SwitchIp = address(*sw);
        where.SwitchName = DisplayName(*sw);
        where.SwitchLocation = sw->SwitchLocation();
    }
    auto event = MakeDetectionEvent(where, type, sourceKey);
    if (sourceKey.find('/') == std::string::npos) {
        if (const CDbItem* node = CurrentNode(sourceKey)) {
            event->SourceIp = CutRemark(node->NodeIp());
            event->SourceName = node->NodeName();
        }
    } else {
        if (const CDbItem* source = SwitchOf(SplitFirst(sourceKey, '/').first)) {
            event->SourceIp = address(*source);
            event->SourceName = DisplayName(*source);
        }
    }
    return event;
}

void CScanDatabase::RaiseDetectionEvent(int severity, const std::string& category,
                                        const std::string& portKey, const std::string& sourceKey,
                                        const std::string& type, const std::string& current,
                                        const std::string& before) {
    if (!engine_.IsEventSelected(0, type, SplitFirst(portKey, '/').first)) return;
    auto event = BuildEvent(portKey, sourceKey, type, false);
    const bool portChange = type == "Changed Port";
    event->Severity = severity;
    event->Category = category;
    event->Current = portChange ? ReadablePort(current) : current;
    event->Before = portChange ? ReadablePort(before) : before;
    engine_.RecordEvent(std::move(event));
}

// No event is recorded for the fall, only its alert queued; the alert names the switches by
// their whole address lists.
void CScanDatabase::RaiseThreatCleared(int severity, const std::string& category,
                                       const std::string& portKey, const std::string& sourceKey,
                                       const std::string& type, const std::string& current,
                                       const std::string& before) {
    if (!engine_.IsEventSelected(0, type, SplitFirst(portKey, '/').first)) return;
    auto event = BuildEvent(portKey, sourceKey, type, true);
    event->Severity = severity;
    event->Category = category;
    event->Current = current;
    event->Before = before;
    engine_.QueueAlert(AlertFromEvent(*event));
}

}  // namespace tarvell
