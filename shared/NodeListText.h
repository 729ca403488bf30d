// The lines of a node list file, read alike by the service (its pass over the import files) and
// by the viewer (the import buttons of its node list dialogs).
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tarvell {

struct NodeListLine {
    std::string node;
    std::string place;  // "device/port" as written, or empty
};

// Node, then an optional place after the first list separator (tab, CR, LF, ";", "," or blank);
// both trimmed.
NodeListLine ParseNodeListLine(std::string_view line);

// The non-empty lines of a file's text, at most maxEntries of them; `cut` (when given) tells
// whether lines were left over. A line ends at LF, a CR before it is dropped.
std::vector<NodeListLine> ParseNodeListText(std::string_view text, std::size_t maxEntries,
                                            bool* cut = nullptr);

// "device/port" written by a person -> "switch key/port key" where both are known (the device
// by key, ip or name, the port by number or name, both without regard to case); what matches
// nothing stays as written. devices: key -> "ip/name/...", ports: "switch key/number" -> name.
std::string ResolvePlace(const std::string& place,
                         const std::map<std::string, std::string>& devices,
                         const std::map<std::string, std::string>& ports);

}  // namespace tarvell
