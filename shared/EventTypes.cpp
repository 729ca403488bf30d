#include "shared/EventTypes.h"

#include <array>

namespace tarvell {
namespace {

struct HelpPage {
    const char* title;
    bool prevention;   // "Prevention Alert" rather than "Detection Alert"
    const char* does;  // the sentence after "The <title> Alert notifies about"
    const char* what;  // the sentences after "What is a(n) <title> Alert?"
};

// One page per help id, in id order.
constexpr std::array<HelpPage, 23> kHelpPages{{
    {"Unauthorized Node", false, "node address that was marked as potential intruder.",
     "The Unauthorized Node Alert is a notification about a node that using unsafe address. This "
     "alert is sent when a node is using an address that was marked as potential intruder."},
    {"Unauthorized Blacklist Node", false, "node that is listed in the black list.",
     "The Unauthorized Blacklist Node Alert is a notification about a node that the black list "
     "names. This alert is sent when a listed node is found on a monitored port."},
    {"Unauthorized Nodes Count", false, "more nodes on one port than are allowed.",
     "The Unauthorized Nodes Count Alert is a notification about a port with too many nodes. This "
     "alert is sent when the number of nodes found behind one port is above the allowed count."},
    {"New Mac", false, "node address that was never seen before.",
     "The New Mac Alert is a notification about a new node on the network. This alert is sent "
     "when a port shows a node address that the database does not know."},
    {"New Ip", false, "node that received its first IP address.",
     "The New Ip Alert is a notification about a node that now has an IP address. This alert is "
     "sent when a known node shows an IP address for the first time."},
    {"New Name", false, "node that received its first computer name.",
     "The New Name Alert is a notification about a node that now has a computer name. This alert "
     "is sent when a known node shows a computer name for the first time."},
    {"New User", false, "node with its first logged on user.",
     "The New User Alert is a notification about a node that now has a user. This alert is sent "
     "when a known node shows a logged on user name for the first time."},
    {"Changed Ip", false, "node whose IP address has changed.",
     "The Changed Ip Alert is a notification about a node that uses another IP address. This "
     "alert is sent when the IP address of a known node differs from the one seen before."},
    {"Changed Name", false, "node whose computer name has changed.",
     "The Changed Name Alert is a notification about a node that uses another computer name. "
     "This alert is sent when the name of a known node differs from the one seen before."},
    {"Changed User", false, "node whose logged on user has changed.",
     "The Changed User Alert is a notification about a node that another user logged on to. This "
     "alert is sent when the user of a known node differs from the one seen before."},
    {"Changed Port", false, "node that moved to another port.",
     "The Changed Port Alert is a notification about a node that is now connected elsewhere. "
     "This alert is sent when a known node is found on another switch port than before."},
    {"Threat Receive", false, "port whose receive rate crossed a threat level.",
     "The Threat Receive Alert is a notification about unusual incoming traffic. This alert is "
     "sent when the receive rate of a port rises into another threat level."},
    {"Threat Transmit", false, "port whose transmit rate crossed a threat level.",
     "The Threat Transmit Alert is a notification about unusual outgoing traffic. This alert is "
     "sent when the transmit rate of a port rises into another threat level."},
    {"Threat Broadcast", false, "port whose broadcast rate crossed a threat level.",
     "The Threat Broadcast Alert is a notification about a port that floods the network. This "
     "alert is sent when the broadcasts per second of a port rise into another threat level."},
    {"Threat Errors", false, "port whose error rate crossed a threat level.",
     "The Threat Errors Alert is a notification about a faulty link or device. This alert is "
     "sent when the errors per second of a port rise into another threat level."},
    {"Linkup WMI", false, "node that failed one of the WMI conditions.",
     "The Linkup WMI Alert is a notification about a new node that does not meet the required "
     "conditions. This alert is sent when the node does not answer WMI queries or its operating "
     "system, service pack, domain, hot fixes, services, processes, programs or registry differ "
     "from the conditions."},
    {"Linkup Script", false, "node for which the linkup script failed.",
     "The Linkup Script Alert is a notification about a new node that the linkup script refused. "
     "This alert is sent when the script run for the node reports a failure."},
    {"Manual Blocking", true, "port that a user has blocked.",
     "The Manual Blocking Alert is a notification about a port shut on request. This alert is "
     "sent when the port of a node was blocked by a user of the viewer."},
    {"Manual Unblocking", true, "port that a user has opened again.",
     "The Manual Unblocking Alert is a notification about a port opened on request. This alert "
     "is sent when a blocked port was opened again by a user or an action link."},
    {"System Blocking", true, "port that the system has blocked.",
     "The System Blocking Alert is a notification about a port shut by the prevention rules. "
     "This alert is sent when the port of an unauthorized node was blocked automatically."},
    {"System Unblocking", true, "port that the system has opened again.",
     "The System Unblocking Alert is a notification about a port opened by the prevention rules. "
     "This alert is sent when a blocked port was opened again automatically after its time."},
    {"Prevention Enabled", true, "prevention that was switched on.",
     "The Prevention Enabled Alert is a notification about a change of the protection. This "
     "alert is sent when a user switched the prevention on."},
    {"Prevention Disabled", true, "prevention that was switched off.",
     "The Prevention Disabled Alert is a notification about a change of the protection. This "
     "alert is sent when a user switched the prevention off."},
}};

// The event types, then the test alert, whose texts the viewer never shows.
constexpr std::array<EventTypeEntry, 33> kRows{{
    {"Unauthorized Node", "Unauthorized Node", "Unauthorized Node Address $current discovered.", 0},
    {"Unauthorized Blacklist Node", "Unauthorized Blacklist Node",
     "Unauthorized Blacklist Node $current discovered.", 1},
    {"Unauthorized Nodes Count", "Unauthorized Nodes Count",
     "Unauthorized Nodes Count of $current discovered.", 2},
    {"New Mac", "New Mac", "New Mac Address $current $before.", 3},
    {"New Ip", "New Ip", "New Ip Address $current discovered.", 4},
    {"New Name", "New Name", "New Computer Name $current discovered.", 5},
    {"New User", "New User", "New User Name $current discovered.", 6},
    {"Changed Ip", "Changed Ip", "Changed Ip Address discovered from $before to $current.", 7},
    {"Changed Name", "Changed Name", "Changed Computer Name discovered from $before to $current.",
     8},
    {"Changed User", "Changed User", "Changed User Name discovered from $before to $current.", 9},
    {"Changed Port", "Changed Port", "Changed Port Location discovered from $before to $current.",
     10},
    {"Threat Receive", "$severity Receive Threat",
     "$severity Receive Threat discovered from $before to $current.", 11},
    {"Threat Transmit", "$severity Transmit Threat",
     "$severity Transmit Threat discovered from $before to $current.", 12},
    {"Threat Broadcast", "$severity Broadcasts Threat",
     "$severity Broadcast Threat discovered from $before to $current.", 13},
    {"Threat Errors", "$severity Errors Threat",
     "$severity Errors Threat discovered from $before to $current.", 14},
    {"WMI Not Responding", "WMI Not Responding", "WMI Not Responding to query request.", 15},
    {"WMI Operating System", "WMI Operating System",
     "WMI Operating System $current found instead of $before.", 15},
    {"WMI Service Pack", "WMI Service Pack", "WMI Service Pack $current found instead of $before.",
     15},
    {"WMI Computer Domain", "WMI Computer Domain",
     "WMI Computer Domain $current found instead of $before.", 15},
    {"WMI Hot Fix", "WMI Hot Fix", "WMI Hot Fix $current not found.", 15},
    {"WMI Service Name", "WMI Service Name", "WMI Service Name $current not found.", 15},
    {"WMI Process Name", "WMI Process name", "WMI Process Name $current not found.", 15},
    {"WMI Program Name", "WMI Program Name", "WMI Program Name $current not found.", 15},
    {"WMI Registry String", "WMI Registry String", "WMI Registry String $current not found.", 15},
    {"WMI Registry DWORD", "WMI Registry DWORD", "WMI Registry DWORD $current not found.", 15},
    {"Linkup Script", "Linkup Script", "Linkup Script Failed running.", 16},
    {"Manual Blocking", "Manual Blocking", "Manual Blocking by $submitter.", 17},
    {"Manual Unblocking", "Manual Unblocking", "Manual Unblocking by $submitter.", 18},
    {"System Blocking", "System Blocking", "System Blocking due to $cause.", 19},
    {"System Unblocking", "System Unblocking", "System Unblocking due to $cause.", 20},
    {"Prevent Enabled", "Prevention Enabled", "Prevention Enabled by $submitter.", 21},
    {"Prevent Disabled", "Prevention Disabled", "Prevention Disabled by $submitter.", 22},
    {"Test Message", "Quenmark Tarvell", "Quenmark Tarvell - Test message", -1},
}};

constexpr std::size_t kEventTypes = 32;

// "WMI Process name" keeps its lower-case "n", and "Threat Broadcast" reads "Broadcasts" in the
// name but "Broadcast" in the sentence: the settings files have always held them so.
constexpr std::array<std::string_view, 6> kThreatLevels{"Normal",   "Low",  "Moderate",
                                                        "Elevated", "High", "Severe"};

bool StartsWithUnauthorized(std::string_view title) { return title.starts_with("Unauthorized"); }

std::string RenderHelp(const HelpPage& page) {
    const std::string title = page.title;
    std::string html =
        "<style type='text/css'>body{font-size:70%;font-family:tahoma;}h1{font-size:120%;"
        "font-family:tahoma;}</style>\r\n<body>";
    html += "<h1>" + title + "</h1>\r\n";
    html += page.prevention ? "<p><b>What does this Prevention Alert do?</b><br>"
                            : "<p><b>What does this Detection Alert do?</b><br>";
    html += "\r\nThe " + title + " Alert notifies about " + page.does + "</p>\r\n";
    html += std::string("<p><b>What is ") + (StartsWithUnauthorized(title) ? "an " : "a ") + title +
            " Alert?</b><br>" + page.what + "</p>\r\n</body>";
    return html;
}

}  // namespace

std::span<const EventTypeEntry> EventTypeTable() {
    return std::span<const EventTypeEntry>(kRows).first(kEventTypes);
}

std::span<const EventTypeEntry> AlertTextTable() { return kRows; }

const EventTypeEntry* FindEventType(std::string_view key) {
    for (const EventTypeEntry& row : EventTypeTable())
        if (row.key == key) return &row;
    return nullptr;
}

std::optional<std::size_t> AlertTextIndex(std::string_view key) {
    for (std::size_t i = 0; i < kRows.size(); ++i)
        if (kRows[i].key == key) return i;
    return std::nullopt;
}

std::string EventTypeName(std::string_view key) {
    const EventTypeEntry* row = FindEventType(key);
    return row ? std::string(row->name) : std::string();
}

std::string EventTypeText(std::string_view key) {
    const EventTypeEntry* row = FindEventType(key);
    return row ? std::string(row->sentence) : std::string();
}

std::string EventTypeHelp(std::string_view key) {
    const EventTypeEntry* row = FindEventType(key);
    if (!row || row->help < 0) return {};
    return RenderHelp(kHelpPages[static_cast<std::size_t>(row->help)]);
}

std::string ThreatLevelName(int level) {
    if (level < 0 || level >= static_cast<int>(kThreatLevels.size())) return {};
    return std::string(kThreatLevels[static_cast<std::size_t>(level)]);
}

std::span<const std::string_view> ThreatLevelNames() { return kThreatLevels; }

std::span<const std::string_view> EventTypeKeys() {
    static const std::array<std::string_view, kEventTypes> keys = [] {
        std::array<std::string_view, kEventTypes> out{};
        for (std::size_t i = 0; i < kEventTypes; ++i) out[i] = kRows[i].key;
        return out;
    }();
    return keys;
}

}  // namespace tarvell
