#include "viewer/core/monitors/MonitorRules.h"

#include <algorithm>
#include <charconv>
#include <initializer_list>
#include <ctime>
#include <utility>

#include "viewer/core/hub/EventFilters.h"
#include "shared/EventTypes.h"
#include "viewer/core/hub/EventMacros.h"

namespace tarvell {

namespace {

constexpr std::size_t kSortTextChars = 259;

struct TypeFilter {
    CommandId command;
    std::string_view type;
};
constexpr TypeFilter kDetectionFilters[] = {
    {cmd::kFilterUnauthorizedNode, "Unauthorized Node"},
    {cmd::kFilterBlacklistNode, "Unauthorized Blacklist Node"},
    {cmd::kFilterNodesCount, "Unauthorized Nodes Count"},
    {cmd::kFilterNewMac, "New Mac"},
    {cmd::kFilterNewIp, "New Ip"},
    {cmd::kFilterNewName, "New Name"},
    {cmd::kFilterNewUser, "New User"},
    {cmd::kFilterChangedIp, "Changed Ip"},
    {cmd::kFilterChangedName, "Changed Name"},
    {cmd::kFilterChangedUser, "Changed User"},
    {cmd::kFilterChangedPort, "Changed Port"},
    {cmd::kFilterThreatReceive, "Threat Receive"},
    {cmd::kFilterThreatTransmit, "Threat Transmit"},
    {cmd::kFilterThreatBroadcast, "Threat Broadcast"},
    {cmd::kFilterThreatErrors, "Threat Errors"},
    {cmd::kFilterWmiNotResponding, "WMI Not Responding"},
    {cmd::kFilterWmiOperatingSystem, "WMI Operating System"},
    {cmd::kFilterWmiServicePack, "WMI Service Pack"},
    {cmd::kFilterWmiComputerDomain, "WMI Computer Domain"},
    {cmd::kFilterWmiHotFix, "WMI Hot Fix"},
    {cmd::kFilterWmiServiceName, "WMI Service Name"},
    {cmd::kFilterWmiProcessName, "WMI Process Name"},
    {cmd::kFilterWmiProgramName, "WMI Program Name"},
    {cmd::kFilterWmiRegistryString, "WMI Registry String"},
    {cmd::kFilterWmiRegistryDword, "WMI Registry DWORD"},
    {cmd::kFilterLinkupScript, "Linkup Script"},
};

std::string_view Capped(std::string_view text) {
    return text.substr(0, std::min(text.size(), kSortTextChars));
}

// One decimal part of a dotted address, 0..255, no sign, no empty part.
bool ParseOctet(std::string_view part, std::uint32_t& out) {
    if (part.empty() || part.size() > 3) return false;
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), value);
    if (ec != std::errc() || end != part.data() + part.size() || value > 255) return false;
    out = value;
    return true;
}

}  // namespace

bool InPreventionState(const std::string& key, const CEventItem& event,
                       const RequestIndex& requests) {
    return IsPreventionEvent(event, requests.IsBlockRequested(key));
}

bool InDetectionState(const std::string& key, const CEventItem& event,
                      const RequestIndex& requests) {
    return !requests.IsRemoved(key) && !InPreventionState(key, event, requests);
}

std::string_view DetectionFilterType(CommandId filter) {
    for (const TypeFilter& f : kDetectionFilters)
        if (f.command == filter) return f.type;
    return {};
}

bool PassesDetectionFilter(CommandId filter, const CEventItem& event) {
    if (filter == cmd::kAllEvents) return true;
    const std::string_view type = DetectionFilterType(filter);
    return !type.empty() && event.Description == type;
}

bool PassesPreventionFilter(CommandId filter, const std::string& key, const CEventItem& event,
                            const RequestIndex& requests) {
    const bool manual = !requests.Requester(key).empty() || !event.Submitter.empty();
    switch (filter) {
        case cmd::kAllEvents: return true;
        case cmd::kManualBlocking: return manual;
        case cmd::kSystemBlocking: return !manual;
        default: return false;
    }
}

std::string FormatEventTime(const std::string& seconds) {
    if (seconds.empty() || seconds.size() > 18) return seconds;
    long long value = 0;
    const auto [end, ec] = std::from_chars(seconds.data(), seconds.data() + seconds.size(), value);
    if (ec != std::errc() || end != seconds.data() + seconds.size() || value < 0) return seconds;
    const std::time_t t = static_cast<std::time_t>(value);
    std::tm local{};
    if (localtime_r(&t, &local) == nullptr) return seconds;
    char text[64];
    const std::size_t n = std::strftime(text, sizeof text, "%x %X", &local);
    return n == 0 ? seconds : std::string(text, n);
}

std::string EventSummary(const CEventItem& event) {
    const std::string text =
        EventTypeName(event.Description) + " (" + EventTypeText(event.Description) + ")";
    return ExpandEventMacros(text, {EventTypeName(event.EventType), event.Before, event.Current,
                                    event.Submitter, ThreatLevelName(event.Severity)});
}

std::string BlockingStatus(const std::string& key, const CEventItem& event,
                           const RequestIndex& requests) {
    if (requests.IsUnblockRequested(key)) return "Waiting for activation...";
    if (!event.Extra.empty()) return FormatEventTime(event.Extra);
    return "Waiting for blocking...";
}

std::uint32_t SortAddress(std::string_view text) {
    text = Capped(text);
    std::uint32_t address = 0;
    for (int part = 0; part < 4; ++part) {
        const std::size_t dot = text.find('.');
        const bool last = part == 3;
        if (last != (dot == std::string_view::npos)) return 0xFFFFFFFFu;
        std::uint32_t octet = 0;
        if (!ParseOctet(text.substr(0, dot), octet)) return 0xFFFFFFFFu;
        address = (address << 8) | octet;
        if (!last) text.remove_prefix(dot + 1);
    }
    return address;
}

int CompareEventRows(int column, std::string_view a, std::string_view b) {
    if (column == 2) {
        const std::uint32_t x = SortAddress(a), y = SortAddress(b);
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    const int c = Capped(a).compare(Capped(b));  // char_traits<char>::compare is unsigned bytes
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

std::string CountLabelText(bool detection, CommandId filter, long rows, long counter) {
    if (detection && filter != cmd::kAllEvents)
        return std::to_string(rows) + "/" + std::to_string(counter);
    return std::to_string(counter);
}

WantedRow RowOfEvent(bool detection, const std::string& key, const CEventItem& event,
                     const RequestIndex& requests, bool unread) {
    WantedRow row;
    row.key = key;
    row.cells[0] = key;
    row.cells[1] = event.DeviceName;
    row.cells[2] = event.DeviceIp;
    row.cells[3] = event.DevicePort;
    row.cells[4] = detection ? EventSummary(event) : BlockingStatus(key, event, requests);
    row.image = (detection ? 0 : 2) + (requests.HasNote(key) ? 1 : 0);
    row.unread = unread;
    return row;
}

MonitorPass PlanMonitorPass(bool detection, CommandId filter, const EventRecords& events,
                            const RequestIndex& requests,
                            const std::function<bool(const std::string&)>& isRead) {
    MonitorPass pass;
    pass.rows.reserve(events.size() / (detection ? 1 : 8) + 1);
    for (const auto& [key, item] : events) {
        if (!item) continue;
        const CEventItem& event = *item;
        if (detection) {
            if (!InDetectionState(key, event, requests)) continue;
            ++pass.counter;
            if (!PassesDetectionFilter(filter, event)) continue;
        } else {
            if (!InPreventionState(key, event, requests)) continue;
            if (!PassesPreventionFilter(filter, key, event, requests)) continue;
            ++pass.counter;
        }
        pass.rows.push_back(RowOfEvent(detection, key, event, requests, !isRead || !isRead(key)));
    }
    return pass;
}

std::string FilterLinkText(std::string_view current, std::string_view filterText) {
    const std::size_t colon = current.find(':');
    std::string out(colon == std::string_view::npos ? std::string_view{}
                                                    : current.substr(0, colon));
    out += ": ";
    out += filterText;
    return out;
}

DefaultFilterItem FilterDefaultItem(bool detection, CommandId filter) {
    using namespace cmd;
    const auto in = [filter](std::initializer_list<CommandId> group) {
        return std::find(group.begin(), group.end(), filter) != group.end();
    };
    if (detection) {
        if (in({kFilterNewMac, kFilterNewIp, kFilterNewName, kFilterNewUser})) return {3, 0};
        if (in({kFilterChangedIp, kFilterChangedName, kFilterChangedUser, kFilterChangedPort}))
            return {4, 0};
        // Broadcast and Computer Domain name their own item.
        if (in({kFilterThreatReceive, kFilterThreatTransmit, kFilterThreatErrors})) return {5, 0};
        if (in({kFilterWmiOperatingSystem, kFilterWmiServicePack, kFilterWmiHotFix,
                kFilterWmiServiceName, kFilterWmiProgramName, kFilterWmiRegistryString,
                kFilterWmiRegistryDword, kFilterWmiProcessName, kFilterWmiNotResponding}))
            return {7, 0};
    }
    return {-1, filter};
}

}  // namespace tarvell
