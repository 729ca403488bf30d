// Look-ups of the engine for its workers: each copies what the caller needs out of the shared
// records under EngineLock, so no worker ever holds a pointer into the engine's maps. Also the
// port and node exclusion tests, the per-type device selection of events, and the two
// nodes-count verdicts. Settings are read from one snapshot per call.
#include <arpa/inet.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <optional>

#include "platform/RecursiveLock.h"
#include "platform/Text.h"
#include "service/engine/CTarvellFrm.h"

namespace tarvell {

namespace {

bool Holds(const std::vector<std::string>& list, const std::string& text) {
    return std::find(list.begin(), list.end(), text) != list.end();
}

// An empty selection list selects every device.
bool Selects(const std::vector<std::string>& list, const std::string& device) {
    return list.empty() || Holds(list, device);
}

// True when one of the ';'-separated entries of `list` is exactly `address`. Walks the text in
// place: the trap listener asks this of every switch for every linkUp.
bool ListHoldsAddress(std::string_view list, std::string_view address) {
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t stop = list.find(';', start);
        if (stop == std::string_view::npos) stop = list.size();
        if (list.substr(start, stop - start) == address) return true;
        start = stop + 1;
    }
    return false;
}

bool Contains(const std::string& text, std::string_view part) {
    return text.find(part) != std::string::npos;
}

void CopyFields(const CDbItem& from, CDbItem& to, std::initializer_list<int> fields) {
    for (int n : fields) to.CopyField(from, n);
}

using namespace dbfield;

void CopySwitchLookupFields(const CDbItem& from, CDbItem& to) {
    CopyFields(from, to,
               {kSwitchKey, kSwitchIps, kSwitchName, kSwitchCommunity, kSwitchObjectId,
                kSwitchAltName, kSwitchLocation});
}

// ---- IPv4 texts

// A dotted quad of four decimal numbers 0..255, blanks around it allowed. Host byte order.
std::optional<std::uint32_t> ParseDottedQuad(std::string_view text) {
    const std::string trimmed = Trim(text, " \t");
    in_addr addr{};
    if (trimmed.empty() || ::inet_pton(AF_INET, trimmed.c_str(), &addr) != 1) return std::nullopt;
    return ntohl(addr.s_addr);
}

// A node's address as the sibling database stores it: it may end in a remark in parentheses.
std::optional<std::uint32_t> ParseNodeAddress(const std::string& text) {
    return ParseDottedQuad(std::string_view(text).substr(0, text.find('(')));
}

// A network mask written as a dotted quad (contiguous ones) or as a prefix length 0..32.
std::optional<std::uint32_t> ParseMask(std::string_view text) {
    const std::string trimmed = Trim(text, " \t");
    if (trimmed.empty()) return std::nullopt;
    if (trimmed.find('.') == std::string::npos) {
        if (trimmed.size() > 2 || !std::all_of(trimmed.begin(), trimmed.end(),
                                               [](char c) { return c >= '0' && c <= '9'; }))
            return std::nullopt;
        const int bits = std::stoi(trimmed);
        if (bits > 32) return std::nullopt;
        return bits == 0 ? 0u : ~std::uint32_t{0} << (32 - bits);
    }
    const auto mask = ParseDottedQuad(trimmed);
    if (!mask) return std::nullopt;
    const std::uint32_t inverted = ~*mask;
    if ((inverted & (inverted + 1)) != 0) return std::nullopt;  // holes in the mask
    return mask;
}

// Entry "address/mask" (an entry without a mask is the one address). The node's address lies
// between the entry's address and that address with every bit outside the mask set. A malformed
// entry or node address never matches.
bool NetworkHolds(const std::string& entry, const std::string& nodeIp) {
    const auto node = ParseNodeAddress(nodeIp);
    if (!node) return false;
    const std::size_t slash = entry.find('/');
    const auto base = ParseDottedQuad(std::string_view(entry).substr(0, slash));
    if (!base) return false;
    std::uint32_t mask = ~std::uint32_t{0};
    if (slash != std::string::npos) {
        const auto parsed = ParseMask(std::string_view(entry).substr(slash + 1));
        if (!parsed) return false;
        mask = *parsed;
    }
    return *node >= *base && *node <= (*base | ~mask);
}

// ---- node lists

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// An unmanaged MAC entry is compared position by position over its own length: "*" stands for
// any one character, letters compare without case. An empty entry matches nothing, and an entry
// longer than the MAC cannot match it.
bool UnmanagedMacMatches(const std::string& entry, const std::string& mac) {
    if (entry.empty() || entry.size() > mac.size()) return false;
    for (std::size_t i = 0; i < entry.size(); ++i) {
        if (entry[i] != '*' && LowerAscii(entry[i]) != LowerAscii(mac[i])) return false;
    }
    return true;
}

bool LocationFits(const std::string& location, const std::string& here) {
    return location.empty() || EqualsNoCase(location, here);
}

struct NodeEntry {
    std::string pattern;   // node text, wildcards allowed
    std::string flag;      // "0" anywhere, "1" bound to a location; empty in NodeLocations
    std::string location;  // switch key "/" port key, or empty for every port
};

// "node/flag;location" (black and white lists) or "node;location" (node locations).
NodeEntry SplitNodeEntry(const std::string& entry, bool hasFlag) {
    auto [node, location] = SplitFirst(entry, ';');
    NodeEntry out;
    out.location = std::move(location);
    if (hasFlag) {
        auto [pattern, flag] = SplitFirst(node, '/');
        out.pattern = std::move(pattern);
        out.flag = std::move(flag);
    } else {
        out.pattern = std::move(node);
    }
    return out;
}

enum class NodeMatch { None, ByMac, ByIp };

// A list entry names the node (its MAC by wildcard, or its IP exactly without case) and is either
// not bound to a location or bound to this port.
NodeMatch MatchNodeEntry(const NodeEntry& e, const std::string& mac, const std::string& ip,
                         const std::string& here) {
    if (!LocationFits(e.location, here)) return NodeMatch::None;
    if (!mac.empty() && CTarvellFrm::WildcardMatch(mac, e.pattern)) return NodeMatch::ByMac;
    if (!ip.empty() && EqualsNoCase(e.pattern, ip)) return NodeMatch::ByIp;
    return NodeMatch::None;
}

std::string PortLocation(const std::string& switchKey, const std::string& portKey) {
    return switchKey + "/" + portKey;
}

// Does an entry of NodeLocations authorise the node on this port? An IP is compared only when
// the node has one, so an entry without a node text authorises nobody.
bool LocationAuthorises(const CTarvellDoc& doc, const std::string& mac, const std::string& ip,
                        const std::string& here) {
    for (const std::string& entry : doc.NodeLocations) {
        const NodeEntry e = SplitNodeEntry(entry, false);
        if (!LocationFits(e.location, here)) continue;
        if (!mac.empty() && CTarvellFrm::WildcardMatch(mac, e.pattern)) return true;
        if (!ip.empty() && EqualsNoCase(e.pattern, ip)) return true;
    }
    return false;
}

bool LocationAuthorisesMac(const CTarvellDoc& doc, const std::string& mac,
                           const std::string& here) {
    for (const std::string& entry : doc.NodeLocations) {
        const NodeEntry e = SplitNodeEntry(entry, false);
        if (LocationFits(e.location, here) && CTarvellFrm::WildcardMatch(mac, e.pattern))
            return true;
    }
    return false;
}

// The node settings exclude the node, or the white list authorises it here. Non-zero: the
// number of the rule that decided.
int NodeExcludedBy(const CTarvellDoc& doc, const std::string& mac, const std::string& ip,
                   const std::string& count, const std::string& switchKey,
                   const std::string& portKey) {
    if (!mac.empty() && doc.UnmanagedMacEnabled) {
        for (const std::string& entry : doc.UnmanagedMacs)
            if (UnmanagedMacMatches(entry, mac)) return 1;
    }
    if (!ip.empty() && doc.UnmanagedIpEnabled) {
        for (const std::string& entry : doc.UnmanagedIps)
            if (NetworkHolds(entry, ip)) return 2;
    }
    if (!count.empty()) {
        const std::int64_t nodes = AtoL(count);
        if ((doc.ExcludeDirectNodes && nodes == 1) || (doc.ExcludeIndirectNodes && nodes > 1))
            return 3;
    }
    if (!switchKey.empty() && doc.WhiteListEnabled && Selects(doc.WhiteListDevices, switchKey)) {
        const std::string here = PortLocation(switchKey, portKey);
        for (const std::string& entry : doc.NodesWhiteList) {
            if (MatchNodeEntry(SplitNodeEntry(entry, true), mac, ip, here) != NodeMatch::None)
                return 4;
        }
    }
    return 0;
}

// ---- nodes-count verdict

// The candidates of a crowded port: "mac/ip" (or the MAC alone for a poll) to the first-seen
// time. The newest one leads; on equal times the first met keeps the lead, and a candidate
// without a time never takes the lead from one that has one.
const std::string* NewestCandidate(const StringMap& candidates) {
    const std::string* leaderKey = nullptr;
    const std::string* leaderValue = nullptr;
    for (const auto& [key, value] : candidates) {
        const bool takes = !leaderKey || leaderValue->empty() ||
                           (!value.empty() && AtoL(value) > AtoL(*leaderValue));
        if (takes) {
            leaderKey = &key;
            leaderValue = &value;
        }
    }
    return leaderKey;
}

// The rule is on and applies to this switch.
bool NodesCountApplies(const CTarvellDoc& doc, const std::string& switchKey) {
    if (doc.NodesCountThreshold == 0) return false;
    return Selects(doc.NodesCountDevices, switchKey);
}

// D: the port's node count less the nodes passed over. The count text comes from the sibling
// file or a poll and may read as any number; a difference below the smallest number is no count.
std::optional<std::int64_t> CountDifference(const std::string& count, std::int64_t passedOver) {
    const std::int64_t nodes = AtoL(count);
    if (nodes < std::numeric_limits<std::int64_t>::min() + passedOver) return std::nullopt;
    return nodes - passedOver;
}

// D above the threshold, compared as signed numbers: a count below the number of passed-over
// nodes never passes. The threshold is an unsigned setting.
bool AboveThreshold(std::optional<std::int64_t> difference, const CTarvellDoc& doc) {
    return difference && *difference > static_cast<std::int64_t>(
                                           static_cast<std::uint32_t>(doc.NodesCountThreshold));
}

}  // namespace

// ---- plain look-ups

bool CTarvellFrm::LookupSwitch(const std::string& key, CDbItem& out) {
    RecursiveGuard lock(EngineLock);
    const auto it = SiblingSwitches.find(key);
    if (it == SiblingSwitches.end() || it->second->SwitchDisabled() != 0) return false;
    CopySwitchLookupFields(*it->second, out);
    return true;
}

bool CTarvellFrm::LookupSwitchByAddress(const std::string& address, CDbItem& out) {
    if (address.empty()) return false;
    RecursiveGuard lock(EngineLock);
    // The table of the last load names the switch at once; it is checked against the record,
    // and every switch is searched when it names none that holds the address.
    if (const auto hint = SwitchAddresses.find(address); hint != SwitchAddresses.end()) {
        const auto it = SiblingSwitches.find(hint->second);
        if (it != SiblingSwitches.end() && it->second->SwitchDisabled() == 0 &&
            ListHoldsAddress(it->second->SwitchIps(), address)) {
            CopySwitchLookupFields(*it->second, out);
            return true;
        }
    }
    for (const auto& [key, record] : SiblingSwitches) {
        const CDbItem& item = *record;  // read only: no place is made for an empty text
        if (item.SwitchDisabled() != 0) continue;
        if (ListHoldsAddress(item.SwitchIps(), address)) {
            CopySwitchLookupFields(item, out);
            return true;
        }
    }
    return false;
}

bool CTarvellFrm::LookupPort(const std::string& key, CDbItem& out) {
    RecursiveGuard lock(EngineLock);
    const auto it = SiblingPorts.find(key);
    if (it == SiblingPorts.end() || it->second->PortDisabled() != 0) return false;
    CopyFields(*it->second, out,
               {dbfield::kPortStatus, dbfield::kPortSwitch, dbfield::kPortIndex, dbfield::kPortName,
                dbfield::kPortAlias, dbfield::kPortMac});
    return true;
}

// The node record is copied from the generation in force, which is never changed, with no lock
// held; maps put in place by hand, without a view, are read under EngineLock. The notes of the
// detection pass and the polls have their own lock: a look-up of a node takes no EngineLock.
bool CTarvellFrm::LookupNode(const std::string& key, CDbItem& out) {
    const auto copyNode = [&](const ObjectMap<CDbItem>& nodes) {
        const auto it = nodes.find(key);
        if (it == nodes.end() || it->second->NodeDisabled() != 0) return false;
        CopyFields(*it->second, out,
                   {dbfield::kNodeMac, dbfield::kNodeIp, dbfield::kNodeName, dbfield::kNodeSwitch,
                    dbfield::kNodePort, dbfield::kNodesOnPort});
        return true;
    };
    std::optional<std::string> unknownAt;
    {
        std::lock_guard<std::mutex> notes(NodeNotesLock);
        if (PendingNewNodes.count(key)) return false;
        if (const auto it = UnknownNodeLocations.find(key); it != UnknownNodeLocations.end())
            unknownAt = it->second;
    }
    if (const auto view = CurrentView()) {
        if (copyNode(view->Nodes)) return true;
    } else {
        RecursiveGuard lock(EngineLock);
        if (copyNode(SiblingNodes)) return true;
    }
    if (!unknownAt) return false;
    auto [switchKey, port] = SplitFirst(*unknownAt, '/');
    out.NodeMac() = key;
    out.NodeSwitch() = std::move(switchKey);
    out.NodePort() = std::move(port);
    return true;
}

std::shared_ptr<const SiblingView> CTarvellFrm::CurrentView() const {
    std::lock_guard<std::mutex> guard(viewLock_);
    if (siblingView_ && siblingViewGeneration_ == DataGeneration.load()) return siblingView_;
    return nullptr;
}

bool CTarvellFrm::IsKnownKey(const std::string& key) {
    RecursiveGuard lock(EngineLock);
    return DisabledNodes.count(key) != 0;
}

void CTarvellFrm::SnapshotNodes(ObjectMap<CDbItem>& out) {
    RecursiveGuard lock(EngineLock);
    for (const auto& [key, item] : SiblingNodes)
        out[key] = std::make_unique<CDbItem>(CDbItem::FieldsOf(*item, kNodeMac, kNodeDisabled));
}

void CTarvellFrm::SnapshotPorts(ObjectMap<CDbItem>& out) {
    RecursiveGuard lock(EngineLock);
    for (const auto& [key, item] : SiblingPorts)
        out[key] = std::make_unique<CDbItem>(CDbItem::FieldsOf(*item, kPortSwitch, kPortDisabled));
}

// ---- the view of the sibling ports and nodes

std::shared_ptr<const SiblingView> SiblingView::Of(const ObjectMap<CDbItem>& ports,
                                                   const ObjectMap<CDbItem>& nodes) {
    auto view = std::make_shared<SiblingView>();
    // The maps are ordered by key: each record goes in at the end.
    for (const auto& [key, item] : ports)
        view->Ports.emplace_hint(
            view->Ports.end(), key,
            std::make_unique<CDbItem>(CDbItem::FieldsOf(*item, kPortSwitch, kPortDisabled)));
    for (const auto& [key, item] : nodes)
        view->Nodes.emplace_hint(
            view->Nodes.end(), key,
            std::make_unique<CDbItem>(CDbItem::FieldsOf(*item, kNodeMac, kNodeDisabled)));
    return view;
}

void SwapInSiblingView(CTarvellFrm& engine, std::shared_ptr<const SiblingView>& view) {
    std::lock_guard<std::mutex> guard(engine.viewLock_);
    engine.siblingView_.swap(view);
    engine.siblingViewGeneration_ = engine.DataGeneration.load();
    ++engine.siblingViewSerial_;
}

std::shared_ptr<const SiblingView> CTarvellFrm::SiblingData() {
    RecursiveGuard lock(EngineLock);
    if (siblingView_ && siblingViewGeneration_ == DataGeneration.load()) return siblingView_;
    return SiblingView::Of(SiblingPorts, SiblingNodes);
}

void CTarvellFrm::PublishSiblingView() {
    std::shared_ptr<const SiblingView> old;  // let go after the lock
    RecursiveGuard lock(EngineLock);
    old = SiblingView::Of(SiblingPorts, SiblingNodes);
    SwapInSiblingView(*this, old);
}

std::string CTarvellFrm::GetPortName(const std::string& portKey) {
    RecursiveGuard lock(EngineLock);
    const auto it = PortNames.find(portKey);
    return it == PortNames.end() ? std::string() : it->second;
}

// ---- exclusion and selection

// Non-zero when the device settings exclude the port. The type texts are matched without their
// first letters so that either capitalisation of the word matches.
int CTarvellFrm::IsMonitoredInterface(const std::string& portKey) {
    const auto settings = Settings();
    const CTarvellDoc& doc = *settings;
    const std::string switchKey = SplitFirst(portKey, '/').first;
    if (doc.ExcludeDevicesEnabled && Holds(doc.ExcludedDevices, switchKey)) return 1;
    // The rest reads the engine's port tables: without a rule that needs them, the lock, which
    // every port and node of a detection pass would take, is not taken.
    if (!doc.ExcludePortsEnabled && !doc.ExcludePortTypesEnabled && !doc.ExcludeTrunkPorts)
        return 0;

    RecursiveGuard lock(EngineLock);
    if (doc.ExcludePortsEnabled) {
        const auto name = PortNames.find(portKey);
        if (name != PortNames.end() && Holds(doc.ExcludedPorts, switchKey + "/" + name->second))
            return 1;
    }
    if (doc.ExcludePortTypesEnabled) {
        const auto alias = PortAliases.find(portKey);
        if (alias != PortAliases.end()) {
            const std::string& type = alias->second;
            const bool csmacd = Contains(type, "csmacd") || Contains(type, "thernet");
            const bool wireless = Contains(type, "80211") || Contains(type, "ireless");
            const bool isVirtual = Contains(type, "irtual");
            if (doc.ExcludeCsmacdPorts && csmacd) return 1;
            if (doc.ExcludeWirelessPorts && wireless) return 1;
            if (doc.ExcludeVirtualPorts && isVirtual) return 1;
            if (doc.ExcludeUnknownPorts && !csmacd && !wireless && !isVirtual) return 1;
        }
    }
    if (doc.ExcludeTrunkPorts && TrunkPorts.count(portKey)) return 1;
    return 0;
}

// The device selection of an event type. A type with a selection list of its own is decided by
// that list alone; only the families without one (other threats, WMI, scripts) fall back to the
// family lists, and only when `flag` is 0.
bool CTarvellFrm::IsEventSelected(int flag, const std::string& type,
                                  const std::string& device) const {
    const auto settings = Settings();
    const CTarvellDoc& doc = *settings;
    const std::pair<const char*, const std::vector<std::string>*> ownLists[] = {
        {"Unauthorized Node", &doc.BlackListDevices},
        {"Unauthorized Blacklist Node", &doc.BlackListDevices},
        {"Unauthorized Nodes Count", &doc.NodesCountDevices},
        {"New Mac", &doc.NewMacDevices},
        {"New Ip", &doc.NewIpDevices},
        {"New Name", &doc.NewNameDevices},
        {"New User", &doc.NewUserDevices},
        {"Changed Ip", &doc.ChangedIpDevices},
        {"Changed Name", &doc.ChangedNameDevices},
        {"Changed User", &doc.ChangedUserDevices},
        {"Changed Port", &doc.ChangedPortDevices},
        {"Threat Receive", &doc.ReceiveDevices},
        {"Threat Transmit", &doc.TransmitDevices},
        {"Threat Broadcast", &doc.BroadcastDevices},
        {"Threat Errors", &doc.ErrorsDevices},
    };
    for (const auto& [name, list] : ownLists) {
        if (type == name) return Selects(*list, device);
    }
    if (flag != 0) return false;
    if (Contains(type, "Threat")) return Selects(doc.ThreatDevices, device);
    if (Contains(type, "WMI")) return Selects(doc.WmiDevices, device);
    if (Contains(type, "Script")) return Selects(doc.LinkupScriptDevices, device);
    return false;
}

int CTarvellFrm::IsNodeExcluded(const std::string& mac, const std::string& ip,
                                const std::string& count, const std::string& switchKey,
                                const std::string& portKey) const {
    const auto settings = Settings();
    return NodeExcludedBy(*settings, mac, ip, count, switchKey, portKey);
}

std::uint32_t CTarvellFrm::IpToHostOrder(const std::string& dotted) {
    return ParseNodeAddress(dotted).value_or(0xFFFFFFFFu);
}

namespace {

// Step shared by the verdicts: a current event of the port that is not deleted (and, with
// prevention on, is blocked) means the port is already reported. The port's event is kept under
// its port key (RecordEvent), so it is looked up, not searched for. The caller holds EngineLock.
bool PortAlreadyReported(const ObjectMap<CEventItem>& events, const CTarvellDoc& doc,
                         const std::string& switchKey, const std::string& portKey) {
    const auto it = events.find(switchKey + "/" + portKey);
    if (it == events.end()) return false;
    const CEventItem& event = *it->second;
    return event.Deleted == 0 && event.SwitchKey == switchKey && event.PortKey == portKey &&
           (doc.PreventionEnabled == 0 || event.Blocked != 0);
}

}  // namespace

// ---- black-list verdict

std::string CTarvellFrm::FindNodeBySource(const std::string& switchKey, const std::string& portKey,
                                          const std::string& mac, const std::string& ip) {
    const auto settings = Settings();
    const CTarvellDoc& doc = *settings;
    if (!doc.BlackListEnabled || !Selects(doc.BlackListDevices, switchKey)) return {};

    const std::string here = PortLocation(switchKey, portKey);
    std::string matched, code;
    for (const std::string& entry : doc.NodesBlackList) {
        const NodeEntry e = SplitNodeEntry(entry, true);
        const NodeMatch how = MatchNodeEntry(e, mac, ip, here);
        if (how == NodeMatch::None) continue;
        matched = how == NodeMatch::ByMac ? mac : ip;
        code = e.flag;
        if (AtoL(code) == 1) break;
    }
    if (matched.empty()) return {};
    RecursiveGuard lock(EngineLock);
    if (PortAlreadyReported(EventMap, doc, switchKey, portKey))
        code = "-1";  // the port's node is already reported
    return matched + "/" + code;
}

// ---- nodes-count verdicts

std::string CTarvellFrm::FindNodeForEvent(const std::string& switchKey, const std::string& portKey,
                                          const std::string& count, const std::string& mac,
                                          const std::string& ip) {
    const auto settings = Settings();
    const CTarvellDoc& doc = *settings;
    if (!NodesCountApplies(doc, switchKey)) return {};
    const std::string here = PortLocation(switchKey, portKey);

    if (LocationAuthorises(doc, mac, ip, here)) return {};
    std::shared_ptr<const SiblingView> sibling;
    {
        RecursiveGuard lock(EngineLock);
        if (PortAlreadyReported(EventMap, doc, switchKey, portKey)) return {};
        if (siblingView_ && siblingViewGeneration_ == DataGeneration.load()) sibling = siblingView_;
    }

    std::int64_t passedOver = 0;
    StringMap candidates;
    const auto countNodes = [&](const ObjectMap<CDbItem>& nodes) {
        for (const auto& [key, record] : nodes) {
            const CDbItem& node = *record;  // read only: no place is made for an empty text
            if (node.NodeDisabled() != 0 || !EqualsNoCase(node.NodeSwitch(), switchKey) ||
                !EqualsNoCase(node.NodePort(), portKey))
                continue;
            if (LocationAuthorises(doc, node.NodeMac(), node.NodeIp(), here) ||
                NodeExcludedBy(doc, node.NodeMac(), node.NodeIp(), node.NodesOnPort(),
                               node.NodeSwitch(), node.NodePort()) != 0) {
                ++passedOver;
            } else {
                candidates[node.NodeMac() + "/" + node.NodeIp()] = node.NodeFirstSeen();
            }
        }
    };
    // The nodes of the generation in force are read in place, outside the lock; maps put in
    // place by hand, without a view, are read under it.
    if (sibling) {
        countNodes(sibling->Nodes);
    } else {
        RecursiveGuard lock(EngineLock);
        countNodes(SiblingNodes);
    }
    const auto difference = CountDifference(count, passedOver);
    if (!AboveThreshold(difference, doc)) return {};
    const std::string* leader = NewestCandidate(candidates);
    if (!leader) return {};
    const auto [leaderMac, leaderIp] = SplitFirst(*leader, '/');
    if (EqualsNoCase(leaderMac, mac) || (!leaderIp.empty() && EqualsNoCase(leaderIp, ip)))
        return FormatLong(*difference);
    return {};
}

std::string CTarvellFrm::FindNodeForSwitchPort(const StringMap& found, const std::string& switchKey,
                                               const std::string& portKey, const std::string& count,
                                               const std::string& mac) {
    const auto settings = Settings();
    const CTarvellDoc& doc = *settings;
    if (!NodesCountApplies(doc, switchKey)) return {};
    const std::string here = PortLocation(switchKey, portKey);

    RecursiveGuard lock(EngineLock);
    if (LocationAuthorisesMac(doc, mac, here)) return {};
    if (PortAlreadyReported(EventMap, doc, switchKey, portKey)) return {};

    std::int64_t passedOver = 0;
    StringMap candidates;
    for (const auto& [foundMac, portText] : found) {
        if (LocationAuthorisesMac(doc, foundMac, here)) {
            ++passedOver;
            continue;
        }
        // A MAC the sibling database does not know, or one the node settings exclude, counts as
        // seen just now.
        std::string firstSeen;
        const auto it = SiblingNodes.find(foundMac);
        const CDbItem* node = it == SiblingNodes.end() ? nullptr : it->second.get();
        if (node != nullptr &&
            NodeExcludedBy(doc, node->NodeMac(), node->NodeIp(), node->NodesOnPort(),
                           node->NodeSwitch(), node->NodePort()) == 0) {
            firstSeen = node->NodeFirstSeen();
        } else {
            firstSeen = FormatLong(clock().Now());
        }
        candidates[foundMac] = std::move(firstSeen);
    }
    const auto difference = CountDifference(count, passedOver);
    if (!AboveThreshold(difference, doc)) return {};
    const std::string* leader = NewestCandidate(candidates);
    if (leader && EqualsNoCase(*leader, mac)) return FormatLong(*difference);
    return {};
}

}  // namespace tarvell
