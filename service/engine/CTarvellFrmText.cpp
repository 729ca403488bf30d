// Text operations of the engine: the event-type vocabulary and the configured texts per type and
// severity, the wildcard match of the alert filters and look-ups, and the node list reader.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <optional>
#include <unordered_set>

#include "platform/Files.h"
#include "platform/Text.h"
#include "platform/ErrnoText.h"
#include "service/engine/CTarvellFrm.h"

namespace tarvell {

namespace {

// Node list files are small text files typed or exported by an administrator. The entries of
// one file are bounded as well: each becomes two or three strings in every copy of the settings.
constexpr std::size_t kMaxNodeListBytes = 16u * 1024u * 1024u;
constexpr std::size_t kMaxNodeListEntries = 100'000;

// Index of an event type in the vocabulary (exact, case-sensitive), or nullopt.
std::optional<std::size_t> EventTypeIndex(const std::string& type) {
    const auto& types = CTarvellFrm::EventTypes();
    for (std::size_t i = 0; i < types.size(); ++i)
        if (type == types[i]) return i;
    return std::nullopt;
}

std::string EntryAt(const std::vector<std::string>& list, std::optional<std::size_t> index) {
    if (!index || *index >= list.size()) return {};
    return list[*index];
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Calls `take` with each line of a text, without its line end, while it returns true; a line
// has no length limit.
template <class Take>
void ForEachLine(std::string_view text, Take take) {
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!take(line)) return;
    }
}

// The content of a node list file through the checked open: a regular file only (a FIFO or
// device named by the setting must not stall the engine thread), bounded in size. nullopt with
// errno set when it cannot be read.
std::optional<std::string> ReadNodeListBytes(const std::string& path) {
    return ReadWholeFile(path, kMaxNodeListBytes);
}

// Why a node list file was skipped, for the log.
std::string NodeListRefusal(int error) {
    if (error == EFBIG)
        return "larger than " + FormatLong(static_cast<std::int64_t>(kMaxNodeListBytes)) + " bytes";
    if (error == EINVAL || error == EISDIR) return "not a regular file";
    return ErrnoText(error);
}

constexpr std::string_view kWhite = " \t\r\n";

struct NodeListLine {
    std::string node;
    std::string place;
};

// Node, then an optional place after the first list separator; both trimmed.
NodeListLine ParseNodeListLine(std::string_view line) {
    const std::string trimmed = Trim(line, kWhite);
    const std::size_t cut = trimmed.find_first_of(kListSeparators);
    if (cut == std::string::npos) return {trimmed, {}};
    return {Trim(std::string_view(trimmed).substr(0, cut), kWhite),
            Trim(std::string_view(trimmed).substr(cut + 1), kWhite)};
}

// "ip/name/contact/location" -> does the device text name this switch by key, ip or name?
bool DeviceNamesSwitch(const std::string& device, const std::string& key, const std::string& row) {
    if (EqualsNoCase(device, key)) return true;
    const std::size_t first = row.find('/');
    const std::string ip = row.substr(0, first);
    if (EqualsNoCase(device, ip)) return true;
    if (first == std::string::npos) return false;
    const std::size_t second = row.find('/', first + 1);
    const std::string name = row.substr(first + 1, second == std::string::npos
                                                        ? std::string::npos
                                                        : second - first - 1);
    return EqualsNoCase(device, name);
}

// The key of the first switch whose key, ip or name is the device text, or nullptr.
const std::string* FindSwitchKey(const std::string& device, const StringMap& devices) {
    for (const auto& [key, row] : devices)
        if (DeviceNamesSwitch(device, key, row)) return &key;
    return nullptr;
}

// The key of a port of the switch whose number or name is the port text, or nullptr. Port keys
// are the switch key, "/" and the port number, so the ports of one switch are one range of the
// sorted map; a switch "SW1" owns "SW1/3" but not "SW10/3".
const std::string* FindPortKey(const std::string& switchKey, const std::string& port,
                               const StringMap& ports) {
    const std::string prefix = switchKey + "/";
    for (auto it = ports.lower_bound(prefix); it != ports.end(); ++it) {
        const std::string& portKey = it->first;
        if (portKey.compare(0, prefix.size(), prefix) != 0) break;
        if (EqualsNoCase(port, std::string_view(portKey).substr(prefix.size())) ||
            EqualsNoCase(port, it->second))
            return &portKey;
    }
    return nullptr;
}

// "device/port" written by a person -> "switch key/port key" where both are known; what matches
// nothing stays as written. The caller holds the engine lock.
std::string ResolvePlace(const std::string& place, const StringMap& devices, const StringMap& ports) {
    const std::size_t slash = place.find('/');
    const std::string device = place.substr(0, slash);
    const std::string* switchKey = FindSwitchKey(device, devices);
    if (!switchKey) return place;
    if (slash == std::string::npos) return *switchKey;
    const std::string port = place.substr(slash + 1);
    if (const std::string* portKey = FindPortKey(*switchKey, port, ports)) return *portKey;
    return *switchKey + "/" + port;
}

// Appends entries that the list does not hold yet.
class UniqueAppender {
public:
    explicit UniqueAppender(StringList& list) : list_(list), seen_(list.begin(), list.end()) {}
    void Append(std::string entry) {
        if (seen_.insert(entry).second) list_.push_back(std::move(entry));
    }

private:
    StringList& list_;
    std::unordered_set<std::string> seen_;
};

}  // namespace

const std::array<const char*, 33>& CTarvellFrm::EventTypes() {
    static const std::array<const char*, 33> types = {
        "Unauthorized Node",   "Unauthorized Blacklist Node", "Unauthorized Nodes Count",
        "New Mac",             "New Ip",                      "New Name",
        "New User",            "Changed Ip",                  "Changed Name",
        "Changed User",        "Changed Port",                "Threat Receive",
        "Threat Transmit",     "Threat Broadcast",            "Threat Errors",
        "WMI Not Responding",  "WMI Operating System",        "WMI Service Pack",
        "WMI Computer Domain", "WMI Hot Fix",                 "WMI Service Name",
        "WMI Process Name",    "WMI Program Name",            "WMI Registry String",
        "WMI Registry DWORD",  "Linkup Script",               "Manual Blocking",
        "Manual Unblocking",   "System Blocking",             "System Unblocking",
        "Prevent Enabled",     "Prevent Disabled",            "Test Message",
    };
    return types;
}

std::string CTarvellFrm::FormatAlertCause(const std::string& type) const {
    return EntryAt(Settings()->AlertCauseTexts, EventTypeIndex(type));
}

std::string CTarvellFrm::FormatAlertDescription(const std::string& type) const {
    return EntryAt(Settings()->AlertDescriptionTexts, EventTypeIndex(type));
}

std::string CTarvellFrm::FormatAlertSeverity(int code) const {
    if (code < 0 || code > 5) return {};
    return EntryAt(Settings()->AlertSeverityTexts, static_cast<std::size_t>(code));
}

// Glob match where "*" stands for any run of characters (also none) and every other character
// stands for itself, letters A to Z compared without regard to case. On a mismatch the last
// star takes one more character of the text and matching goes on from just after that star;
// this finds a match whenever there is one, in time O(text x pattern) at worst.
bool CTarvellFrm::WildcardMatch(const std::string& text, const std::string& pattern) {
    std::size_t t = 0, p = 0;
    std::size_t starP = std::string::npos, starT = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starT = t;
        } else if (p < pattern.size() && LowerAscii(pattern[p]) == LowerAscii(text[t])) {
            ++p;
            ++t;
        } else if (starP != std::string::npos) {
            p = starP + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

// A node list file longer than the limit is reported once per file, not in every pass.
void CTarvellFrm::ReportCutNodeList(const std::string& path) {
    {
        std::lock_guard<std::recursive_mutex> guard(EngineLock);
        if (std::find(cutNodeLists_.begin(), cutNodeLists_.end(), path) != cutNodeLists_.end()) return;
        cutNodeLists_.push_back(path);
    }
    Log("Node list file " + path + ": only its first " + FormatLong(static_cast<std::int64_t>(kMaxNodeListEntries)) +
        " entries are taken");
}

// A node list file that cannot be read is reported once while it stays so (a missing file is
// not reported: the setting may name a file that comes later).
void CTarvellFrm::ReportSkippedNodeList(const std::string& path, int error) {
    {
        std::lock_guard<std::recursive_mutex> guard(EngineLock);
        const auto known = std::find(skippedNodeLists_.begin(), skippedNodeLists_.end(), path);
        if (error == 0 || error == ENOENT) {
            if (known != skippedNodeLists_.end()) skippedNodeLists_.erase(known);
            return;
        }
        if (known != skippedNodeLists_.end()) return;
        skippedNodeLists_.push_back(path);
    }
    Log("Node list file " + path + " could not be read (" + NodeListRefusal(error) + "); it is skipped");
}

// Appends the entries of a node list file to a settings list: per line a node, optionally
// followed by a place "device/port" that is resolved to a switch and port key where it names
// a known switch and port. With addBlockEntries each node also gets its location-bound entry
// "node/1;place". Entries the list already holds are not added again, so importing the same
// file in every pass does not grow the list.
void CTarvellFrm::ReadNodeListFile(bool addBlockEntries, const std::string& path, StringList& list) {
    const auto content = ReadNodeListBytes(path);
    ReportSkippedNodeList(path, content ? 0 : errno);
    if (!content) return;

    std::vector<NodeListLine> entries;
    bool cut = false;
    ForEachLine(*content, [&](std::string_view line) {
        NodeListLine entry = ParseNodeListLine(line);
        if (entry.node.empty()) return true;
        if (entries.size() == kMaxNodeListEntries) {
            cut = true;
            return false;
        }
        entries.push_back(std::move(entry));
        return true;
    });
    if (cut) ReportCutNodeList(path);

    {
        std::lock_guard<std::recursive_mutex> guard(EngineLock);
        for (auto& entry : entries)
            if (!entry.place.empty()) entry.place = ResolvePlace(entry.place, DeviceTable, PortNames);
    }

    UniqueAppender appender(list);
    for (const auto& entry : entries) {
        if (addBlockEntries) appender.Append(entry.node + "/1;" + entry.place);
        appender.Append(entry.node + ";" + entry.place);
    }
}

}  // namespace tarvell
