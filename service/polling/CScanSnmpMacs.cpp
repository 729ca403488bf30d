// The poll of one switch: VLAN communities, the forwarding tables, and the node rules for every
// MAC found on the polled ports.
#include "service/polling/CScanSnmpMacs.h"

#include <algorithm>
#include <exception>
#include <map>
#include <memory>
#include <optional>

#include "platform/ManualResetEvent.h"
#include "platform/RecursiveLock.h"
#include "platform/Text.h"
#include "service/engine/SnmpClient.h"

namespace tarvell {

namespace {

using Column = std::map<snmp::Oid, snmp::Value>;  // instance suffix to value

// sysObjectID prefixes that select the vendor walks.
constexpr const char* kCiscoPrefix = "1.3.6.1.4.1.9";
constexpr const char* kHpPrefix = "1.3.6.1.4.1.11.2.3.7";
constexpr const char* kThreeComPrefix = "1.3.6.1.4.1.43";
constexpr const char* kBranchAPrefix = "1.3.6.1.4.1.81.17.1.1";

// 1.3.6.1.4.1.9.9.68.1.2.2.1.2 vmVlan
constexpr const char* kVmVlan = "1.3.6.1.4.1.9.9.68.1.2.2.1.2";
// 1.3.6.1.4.1.9.5.1.9.2.1.1 vlanPortVlan
constexpr const char* kVlanPortVlan = "1.3.6.1.4.1.9.5.1.9.2.1.1";
// 1.3.6.1.4.1.43.10.1.14.1.2.1.4 3Com port VLAN column
constexpr const char* kThreeComVlan = "1.3.6.1.4.1.43.10.1.14.1.2.1.4";
// 1.3.6.1.4.1.81.19.1.2.2.1.1.{1,2,4} slot, port and MAC list of the branch-A address table
constexpr const char* kBranchASlot = "1.3.6.1.4.1.81.19.1.2.2.1.1.1";
constexpr const char* kBranchAPort = "1.3.6.1.4.1.81.19.1.2.2.1.1.2";
constexpr const char* kBranchAMacs = "1.3.6.1.4.1.81.19.1.2.2.1.1.4";
// 1.3.6.1.2.1.17.1.4.1.{1,2} dot1dBasePort, dot1dBasePortIfIndex
constexpr const char* kBasePort = "1.3.6.1.2.1.17.1.4.1.1";
constexpr const char* kBasePortIfIndex = "1.3.6.1.2.1.17.1.4.1.2";
// 1.3.6.1.2.1.17.4.3.1.{1,2,3} dot1dTpFdbAddress, dot1dTpFdbPort, dot1dTpFdbStatus
constexpr const char* kFdbAddress = "1.3.6.1.2.1.17.4.3.1.1";
constexpr const char* kFdbPort = "1.3.6.1.2.1.17.4.3.1.2";
constexpr const char* kFdbStatus = "1.3.6.1.2.1.17.4.3.1.3";
// 1.3.6.1.2.1.17.7.1.2.2.1.{1,2,3} dot1qTpFdbAddress, dot1qTpFdbPort, dot1qTpFdbStatus
constexpr const char* kQFdbAddress = "1.3.6.1.2.1.17.7.1.2.2.1.1";
constexpr const char* kQFdbPort = "1.3.6.1.2.1.17.7.1.2.2.1.2";
constexpr const char* kQFdbStatus = "1.3.6.1.2.1.17.7.1.2.2.1.3";

constexpr std::size_t kMacBytes = 6;
// VLAN ids run to 4094; one community per VLAN and the switch's own.
constexpr std::size_t kMaxCommunities = 4096;
constexpr std::size_t kMaxVlanText = 32;

bool BeginsWith(const std::string& text, std::string_view prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// The six bytes of a MAC column value as 12 upper-case hex digits; empty when the value is not
// an OCTET STRING of exactly six bytes. Printable bytes are bytes like any others.
std::string MacOf(const snmp::Value& value) {
    if (value.type != snmp::tag::kOctetString || value.raw.size() != kMacBytes) return {};
    return snmp::HexUpper(value.raw);
}

std::string TextOf(const Column& column, const snmp::Oid& instance) {
    const auto it = column.find(instance);
    return it == column.end() ? std::string() : snmp::PrintableValue(it->second);
}

// An INTEGER column value; nothing for any other type (an OCTET STRING "1" or a Counter32 1 is
// no port number).
std::optional<std::int64_t> IntegerOf(const snmp::Value& value) {
    if (value.type != snmp::tag::kInteger) return std::nullopt;
    return value.integer;
}

// A forwarding row's status: INTEGER learned(3) or mgmt(5) exactly.
bool LearnedOrManaged(const snmp::Value& status) {
    const auto s = IntegerOf(status);
    return s && (*s == 3 || *s == 5);
}

// The MAC written in the last six components of a Q-BRIDGE instance (fdb id, then the address).
std::string MacOfInstance(const snmp::Oid& instance) {
    if (instance.size() != 1 + kMacBytes) return {};
    std::string bytes;
    for (std::size_t i = 1; i < instance.size(); ++i) {
        if (instance[i] > 0xFF) return {};
        bytes.push_back(static_cast<char>(instance[i]));
    }
    return snmp::HexUpper(bytes);
}

}  // namespace

CScanSnmpMacs::CScanSnmpMacs(CTarvellFrm& engine, LinkupStarter& linkup,
                             std::vector<PollRequest> ports, const ManualResetEvent* stop,
                             PollOptions options, OncePerSwitch* rowLimitLog,
                             OncePerSwitch* failureLog)
    : engine_(engine),
      linkup_(linkup),
      ports_(std::move(ports)),
      stop_(stop),
      options_(options),
      rowLimitLog_(rowLimitLog),
      failureLog_(failureLog) {
    if (!ports_.empty()) {
        const PollRequest& first = ports_.front();
        PortIndex = first.PortIndex;
        SwitchObjectId = first.SwitchObjectId;
        SwitchIp = first.SwitchIp;
        SwitchKey = first.SwitchKey;
        Community = first.Community;
        SwitchName = first.SwitchName;
        PortName = first.PortName;
        SwitchLocation = first.SwitchLocation;
    }
    found_.resize(ports_.size());
}

bool CScanSnmpMacs::Stopping() const { return stop_ && stop_->IsSet(); }

bool CScanSnmpMacs::Run() {
    if (Stopping() || ports_.empty()) return false;
    {
        RecursiveGuard lock(engine_.EngineLock);
        if (engine_.PolledSwitches.count(SwitchKey)) return false;
        engine_.PolledSwitches[SwitchKey] = FormatLong(engine_.clock().Now());
    }
    struct Release {
        CTarvellFrm& engine;
        const std::string& key;
        ~Release() {
            RecursiveGuard lock(engine.EngineLock);
            engine.PolledSwitches.erase(key);
        }
    } release{engine_, SwitchKey};
    try {
        PollSwitch();
    } catch (const std::exception& e) {
        engine_.Log("Switch " + SwitchKey + " could not be polled (" + e.what() +
                    "); the poll ends");
    }
    return true;
}

// ---- walking

void CScanSnmpMacs::LogRowLimit(const std::vector<std::string>& columns) {
    if (rowLimitLogged_) return;
    rowLimitLogged_ = true;
    if (rowLimitLog_ && !rowLimitLog_->First(SwitchKey)) return;
    std::string names;
    for (const std::string& c : columns) names += (names.empty() ? "" : " and ") + c;
    engine_.Log("Switch " + SwitchKey + " (" + SwitchIp + ") could not be read whole (column " +
                names + " has more than " +
                FormatLong(static_cast<std::int64_t>(options_.maxRowsPerColumn)) +
                " rows); the rest of the column is not read, the poll goes on");
}

bool CScanSnmpMacs::OverBudget() {
    if (overBudget_) return true;
    const auto spentMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - started_)
                             .count();
    if (requests_ < options_.budgetRequests && spentMs < options_.budgetMs) return false;
    overBudget_ = true;
    engine_.Log("Switch " + SwitchKey + " (" + SwitchIp +
                ") could not be read whole within one poll's bound (" +
                FormatLong(options_.budgetMs / 1000) + " s, " +
                FormatLong(static_cast<std::int64_t>(options_.budgetRequests)) + " requests; " +
                FormatLong(static_cast<std::int64_t>(requests_)) +
                " requests sent); the poll ends with what was read");
    return true;
}

void CScanSnmpMacs::Walk(const PollCommunity& with, const std::vector<std::string>& columns,
                         bool ordered, const std::function<void(const Row&)>& onRow) {
    if (columns.empty() || !engine_.Snmp || Stopping() || GivenUp() || OverBudget()) return;
    if (!session_) session_ = engine_.Snmp->Open(SwitchIp, timeoutMs_, retries_, stop_);
    if (!session_) return;
    SnmpWalkOptions options;
    options.ordered = ordered;
    // A walk sends at most one request more than it takes rows, so the rows left in the request
    // budget bound its requests.
    const std::size_t budgetLeft = options_.budgetRequests - requests_;
    options.maxRows = std::min(options_.maxRowsPerColumn, budgetLeft);
    options.stop = [this] { return Stopping() || OverBudget(); };
    options.v3Context = with.context;
    const SnmpWalkResult result = session_->Walk(with.community, columns, onRow, options);
    requests_ += result.requests;
    if (result.requests > 0) ++walks_;
    if (result.rows > 0 || (result.end != snmp::WalkEnd::Failed &&
                            result.end != snmp::WalkEnd::Stopped && result.requests > 0))
        answered_ = true;
    if (result.end == snmp::WalkEnd::RowLimit) {
        if (options.maxRows < options_.maxRowsPerColumn)
            requests_ = std::max(requests_, options_.budgetRequests);
        if (!OverBudget()) LogRowLimit(columns);
    }
    NoteWalk(with, result);
}

// An SNMPv3 switch that cannot be read through its own context (wrong pass phrase, unknown user,
// no answer) is logged once while it lasts; per-VLAN contexts that fail are nothing to report.
void CScanSnmpMacs::NoteWalk(const PollCommunity& with, const SnmpWalkResult& result) {
    if (!result.v3 || !with.context.empty()) return;
    if (result.end != snmp::WalkEnd::Failed) {
        if (failureLog_) failureLog_->Forget(SwitchKey);
        return;
    }
    if (failureLogged_ || (failureLog_ && !failureLog_->First(SwitchKey))) return;
    failureLogged_ = true;
    engine_.Log("Switch " + SwitchKey + " (" + SwitchIp + ") could not be read over SNMPv3 (" +
                result.reason + "); its ports are not polled until it answers");
}

// Walks columns side by side and keeps, per column, the values of the bindings that lay in it,
// keyed by instance. Rows are joined by instance afterwards, so a column with a row missing
// does not shift the others.
static std::vector<Column> Collect(
    const std::vector<std::string>& columns,
    const std::function<void(const std::function<void(const std::vector<snmp::VarBind>&)>&)>&
        walk) {
    std::vector<snmp::Oid> heads;
    for (const std::string& c : columns) heads.push_back(snmp::ParseOid(c).value_or(snmp::Oid{}));
    std::vector<Column> out(columns.size());
    walk([&](const std::vector<snmp::VarBind>& row) {
        for (std::size_t i = 0; i < columns.size() && i < row.size(); ++i) {
            const snmp::VarBind& b = row[i];
            if (b.value.IsException() || !snmp::OidStartsWith(b.oid, heads[i]) ||
                b.oid.size() <= heads[i].size())
                continue;
            out[i].emplace(snmp::Oid(b.oid.begin() + static_cast<std::ptrdiff_t>(heads[i].size()),
                                     b.oid.end()),
                           b.value);
        }
    });
    return out;
}

// ---- phase 1: VLAN communities

void CScanSnmpMacs::FindVlans() {
    const bool v3 = Community == SnmpClient::kV3Marker;
    communities_.push_back({Community, {}});
    const PollCommunity base{Community, {}};
    const auto add = [&](const std::string& vlan) {
        // A VLAN is a number; a long or odd text from the switch is no VLAN to read.
        if (vlan.empty() || vlan.size() > kMaxVlanText || communities_.size() >= kMaxCommunities)
            return;
        for (char c : vlan)
            if (c < 0x21 || c > 0x7E) return;
        const PollCommunity c = v3 ? PollCommunity{Community, "vlan-" + vlan}
                                   : PollCommunity{Community + "@" + vlan, {}};
        if (std::find(communities_.begin(), communities_.end(), c) == communities_.end())
            communities_.push_back(c);
    };
    const auto walkValues = [&](const char* column) {
        Walk(base, {column}, true,
             [&](const Row& row) { add(snmp::PrintableValue(row[0].value)); });
    };
    if (BeginsWith(SwitchObjectId, kCiscoPrefix) || BeginsWith(SwitchObjectId, kHpPrefix)) {
        walkValues(kVmVlan);
        walkValues(kVlanPortVlan);
    }
    if (BeginsWith(SwitchObjectId, kThreeComPrefix)) walkValues(kThreeComVlan);
}

// ---- phase 2: forwarding tables

void CScanSnmpMacs::ReadBranchA(const PollCommunity& with, std::vector<StringMap>& found) {
    const std::vector<std::string> columns{kBranchASlot, kBranchAPort, kBranchAMacs};
    const auto table =
        Collect(columns, [&](const auto& sink) { Walk(with, columns, false, sink); });
    for (const auto& [instance, macs] : table[2]) {
        const std::int64_t slot =
            AtoL(TextOf(table[0], instance)) * 1024 + AtoL(TextOf(table[1], instance));
        if (macs.type != snmp::tag::kOctetString) continue;
        for (std::size_t p = 0; p < ports_.size(); ++p) {
            if (FormatLong(slot) != ports_[p].PortIndex) continue;
            for (std::size_t at = 0; at + kMacBytes <= macs.raw.size(); at += kMacBytes)
                found[p].emplace(snmp::HexUpper(macs.raw.substr(at, kMacBytes)), std::string());
        }
    }
}

void CScanSnmpMacs::ReadBranchB(const PollCommunity& with, std::vector<StringMap>& found) {
    // 1. The bridge port of each polled interface, through dot1dBasePortIfIndex only.
    std::vector<std::optional<std::int64_t>> bridgePort(ports_.size());
    {
        const std::vector<std::string> columns{kBasePort, kBasePortIfIndex};
        const auto table =
            Collect(columns, [&](const auto& sink) { Walk(with, columns, false, sink); });
        for (const auto& [instance, ifIndex] : table[1]) {
            const auto base = table[0].find(instance);
            const auto interfaceNumber = IntegerOf(ifIndex);
            if (base == table[0].end() || !interfaceNumber) continue;
            const auto number = IntegerOf(base->second);
            for (std::size_t p = 0; p < ports_.size(); ++p)
                if (number && FormatLong(*interfaceNumber) == ports_[p].PortIndex)
                    bridgePort[p] = number;
        }
    }
    const auto take = [&](const std::string& mac, const snmp::Value& port,
                          const snmp::Value* status) {
        const auto bridge = IntegerOf(port);
        if (mac.empty() || !bridge || !status || !LearnedOrManaged(*status)) return;
        for (std::size_t p = 0; p < ports_.size(); ++p)
            if (bridgePort[p] == *bridge) found[p][mac] = FormatLong(*bridge);
    };
    const auto at = [](const Column& column, const snmp::Oid& instance) -> const snmp::Value* {
        const auto it = column.find(instance);
        return it == column.end() ? nullptr : &it->second;
    };
    // 2 and 3. BRIDGE-MIB forwarding table, three columns side by side. Rows are joined by
    // instance, so a row that a column lacks joins nothing, as when the columns are read apart.
    {
        const std::vector<std::string> columns{kFdbAddress, kFdbPort, kFdbStatus};
        const auto table =
            Collect(columns, [&](const auto& sink) { Walk(with, columns, false, sink); });
        if (Stopping()) return;
        for (const auto& [instance, address] : table[0]) {
            const snmp::Value* port = at(table[1], instance);
            if (port) take(MacOf(address), *port, at(table[2], instance));
        }
    }
    // 4. Q-BRIDGE-MIB forwarding table, three columns side by side; the MAC from the instance,
    // else from the address column.
    {
        const std::vector<std::string> columns{kQFdbAddress, kQFdbPort, kQFdbStatus};
        const auto table =
            Collect(columns, [&](const auto& sink) { Walk(with, columns, false, sink); });
        for (const auto& [instance, portValue] : table[1]) {
            std::string mac = MacOfInstance(instance);
            if (mac.empty()) {
                const snmp::Value* address = at(table[0], instance);
                if (address) mac = MacOf(*address);
            }
            take(mac, portValue, at(table[2], instance));
        }
    }
}

void CScanSnmpMacs::PollSwitch() {
    const auto settings = engine_.Settings();
    timeoutMs_ = static_cast<std::uint32_t>(settings->SnmpTimeout);
    retries_ = static_cast<std::uint32_t>(settings->SnmpRetries);
    communities_.clear();
    started_ = std::chrono::steady_clock::now();
    requests_ = 0;
    overBudget_ = false;
    if (Community.empty()) return;
    FindVlans();

    // The 23rd character of a 22-character text is its terminator, which passes the test.
    const bool branchA = BeginsWith(SwitchObjectId, kBranchAPrefix) && SwitchObjectId.size() > 21 &&
                         (SwitchObjectId.size() == 22 || SwitchObjectId[22] <= '6');
    std::vector<bool> done(ports_.size(), false);
    for (int attempt = 0; attempt < options_.attempts; ++attempt) {
        if (Stopping()) return;
        for (const PollCommunity& with : communities_) {
            if (Stopping()) return;
            if (OverBudget()) break;
            std::vector<StringMap> found(ports_.size());
            if (branchA) ReadBranchA(with, found);
            else ReadBranchB(with, found);
            for (std::size_t p = 0; p < ports_.size(); ++p)
                if (!done[p]) found_[p].insert(found[p].begin(), found[p].end());
        }
        // Every MAC once per poll: a port is processed after all communities were read, with
        // the count of everything found on it.
        for (std::size_t p = 0; p < ports_.size(); ++p) {
            if (done[p] || found_[p].empty() || Stopping()) continue;
            ProcessPort(p, *settings);
            done[p] = true;
        }
        if (overBudget_ || GivenUp() ||
            std::all_of(done.begin(), done.end(), [](bool d) { return d; }))
            return;
        if (attempt + 1 < options_.attempts) {
            if (stop_) {
                if (stop_->WaitFor(options_.attemptPauseMs)) return;
            } else {
                engine_.clock().SleepMs(options_.attemptPauseMs);
            }
        }
    }
}

// ---- phase 3: the node rules

void CScanSnmpMacs::ProcessPort(std::size_t port, const CTarvellDoc& settings) {
    const StringMap snapshot = found_[port];
    for (const auto& [mac, portText] : snapshot) {
        if (Stopping()) return;
        ProcessMac(port, mac, settings);
    }
}

std::string CScanSnmpMacs::ReadableLocation(const std::string& switchKey,
                                            const std::string& portKey) {
    CDbItem sw;
    std::string name, ip;
    if (engine_.LookupSwitch(switchKey, sw)) {
        name = sw.SwitchName().empty() ? sw.SwitchAltName() : sw.SwitchName();
        ip = SplitFirst(sw.SwitchIps(), ';').first;
    }
    CDbItem port;
    const std::string portName =
        engine_.LookupPort(switchKey + "/" + portKey, port) ? port.PortName() : std::string();
    return name + " (" + ip + ") - " + portName;
}

void CScanSnmpMacs::Raise(std::size_t port, const std::string& type, const std::string& mac,
                          const std::string& before, const std::string& current,
                          const CDbItem* node) {
    SwitchPort where = ports_[port].Port();
    // The switch fields are those the poll was started with (its first request's).
    where.SwitchKey = SwitchKey;
    where.SwitchIp = SwitchIp;
    where.SwitchName = SwitchName;
    where.SwitchLocation = SwitchLocation;
    auto event = MakeDetectionEvent(where, type, mac);
    event->Before = before;
    event->Current = current;
    if (node) {
        event->SourceIp = node->NodeIp();
        event->SourceName = node->NodeName();
    }
    engine_.RecordEvent(std::move(event));
}

void CScanSnmpMacs::ProcessMac(std::size_t port, const std::string& mac, const CTarvellDoc& doc) {
    const PollRequest& here = ports_[port];
    const StringMap& found = found_[port];
    const std::string count = FormatLong(static_cast<std::int64_t>(found.size()));

    CDbItem sw;
    if (engine_.LookupSwitch(mac, sw)) return;  // the switch's own address
    CDbItem node;
    engine_.LookupNode(mac, node);
    const std::string nodeIp = node.NodeIp();
    const bool unknown = node.NodeMac().empty();
    if (unknown) {
        std::lock_guard<std::mutex> lock(engine_.NodeNotesLock);
        engine_.UnknownNodeLocations[mac] = SwitchKey + "/" + here.PortName;
    }
    if (!doc.DetectionEnabled) return;
    if (engine_.IsNodeExcluded(mac, nodeIp, count, SwitchKey, here.PortIndex) != 0) return;

    if (doc.BlackListEnabled) {
        const std::string verdict =
            engine_.FindNodeBySource(SwitchKey, here.PortIndex, mac, nodeIp);
        if (!verdict.empty()) {
            const std::int64_t code = AtoL(SplitFirst(verdict, '/').second);
            if (code == 1 && engine_.IsEventSelected(0, "Unauthorized Blacklist Node", SwitchKey))
                Raise(port, "Unauthorized Blacklist Node", mac, {}, mac);
            else if (code != -1 && engine_.IsEventSelected(0, "Unauthorized Node", SwitchKey))
                Raise(port, "Unauthorized Node", mac, {}, mac);
            return;
        }
    }
    if (doc.NodesCountThreshold != 0 &&
        static_cast<std::uint64_t>(static_cast<std::uint32_t>(doc.NodesCountThreshold)) <
            found.size() &&
        engine_.IsEventSelected(0, "Unauthorized Nodes Count", SwitchKey)) {
        const std::string verdict =
            engine_.FindNodeForSwitchPort(found, SwitchKey, here.PortIndex, count, mac);
        if (!verdict.empty()) Raise(port, "Unauthorized Nodes Count", mac, {}, verdict);
    }
    if (doc.NewMacEnabled && unknown && engine_.IsEventSelected(0, "New Mac", SwitchKey)) {
        {
            std::lock_guard<std::mutex> lock(engine_.NodeNotesLock);
            engine_.PendingNewNodes.erase(mac);
        }
        Raise(port, "New Mac", mac,
              engine_.IsKnownKey(mac) ? "deleted from database" : "discovered", mac);
    }
    if (doc.ChangedPortEnabled && engine_.IsEventSelected(0, "Changed Port", SwitchKey) &&
        !node.NodeSwitch().empty() && !node.NodePort().empty() && AtoL(node.NodesOnPort()) == 1 &&
        found.size() == 1 &&
        (!EqualsNoCase(node.NodeSwitch(), SwitchKey) || node.NodePort() != here.PortIndex)) {
        Raise(port, "Changed Port", mac, ReadableLocation(node.NodeSwitch(), node.NodePort()),
              ReadableLocation(SwitchKey, here.PortIndex), &node);
    }

    const LinkupTarget target{mac,           SwitchIp,      SwitchName, SwitchKey, here.PortIndex,
                              here.PortName, SwitchLocation};
    if (!doc.WmiConditions.empty() && engine_.IsEventSelected(0, "WMI", SwitchKey))
        linkup_.StartCheck(LinkupCheck::Wmi, target);
    if (!doc.LinkupScriptFile.empty() && engine_.IsEventSelected(0, "Script", SwitchKey))
        linkup_.StartCheck(LinkupCheck::Script, target);
}

}  // namespace tarvell
