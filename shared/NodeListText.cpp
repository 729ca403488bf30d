#include "shared/NodeListText.h"

#include <algorithm>

#include "platform/Text.h"

namespace tarvell {

namespace {

using StringMap = std::map<std::string, std::string>;

constexpr std::string_view kWhite = " \t\r\n";

// "ip/name/contact/location" -> does the device text name this switch by key, ip or name?
bool DeviceNamesSwitch(const std::string& device, const std::string& key, const std::string& row) {
    if (EqualsNoCase(device, key)) return true;
    const std::size_t first = row.find('/');
    const std::string ip = row.substr(0, first);
    if (EqualsNoCase(device, ip)) return true;
    if (first == std::string::npos) return false;
    const std::size_t second = row.find('/', first + 1);
    const std::string name =
        row.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
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

}  // namespace

NodeListLine ParseNodeListLine(std::string_view line) {
    const std::string trimmed = Trim(line, kWhite);
    const std::size_t cut = trimmed.find_first_of(kListSeparators);
    if (cut == std::string::npos) return {trimmed, {}};
    return {Trim(std::string_view(trimmed).substr(0, cut), kWhite),
            Trim(std::string_view(trimmed).substr(cut + 1), kWhite)};
}

std::vector<NodeListLine> ParseNodeListText(std::string_view text, std::size_t maxEntries,
                                            bool* cut) {
    std::vector<NodeListLine> entries;
    if (cut) *cut = false;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        NodeListLine entry = ParseNodeListLine(line);
        if (entry.node.empty()) continue;
        if (entries.size() == maxEntries) {
            if (cut) *cut = true;
            break;
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::string ResolvePlace(const std::string& place, const StringMap& devices,
                         const StringMap& ports) {
    const std::size_t slash = place.find('/');
    const std::string device = place.substr(0, slash);
    const std::string* switchKey = FindSwitchKey(device, devices);
    if (!switchKey) return place;
    if (slash == std::string::npos) return *switchKey;
    const std::string port = place.substr(slash + 1);
    if (const std::string* portKey = FindPortKey(*switchKey, port, ports)) return *portKey;
    return *switchKey + "/" + port;
}

}  // namespace tarvell
