// The texts of the linkup settings taken apart: log-on texts, WMI conditions and their
// alternatives, registry paths. Plain functions over untrusted settings text: every input gives
// a result, never an exception.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "platform/wmi/WmiClient.h"

namespace tarvell {

// "user/domain/password": the user up to the first "/", the domain up to the second, the
// password the rest less one trailing "/" (so a password may hold "/"). Missing parts are empty.
WmiAccount SplitLogon(const std::string& text);

// True when `value` equals one of the "|"-separated alternatives, case-insensitively.
bool MatchAny(const std::string& alternatives, const std::string& value);

// A condition "<type>;<alternatives>": the type as atol reads the text before the first ";".
struct WmiCondition {
    long type = -1;
    std::string alternatives;
};
WmiCondition ParseWmiCondition(const std::string& entry);

// A program alternative "name:version": split at the last ":"; without one the version is empty
// (any version).
std::pair<std::string, std::string> SplitProgram(const std::string& alternative);
// A registry alternative "path:expected": split at the first ":".
std::pair<std::string, std::string> SplitRegistryExpected(const std::string& alternative);

// A registry value path "<root name>\<key path>\<value name>"; nullopt for an unknown root or a
// path without key and value.
struct RegistryPath {
    std::uint32_t root = 0;
    std::string key;
    std::string value;
};
std::optional<RegistryPath> ParseRegistryPath(const std::string& path);

// The node's address from the sibling database text, which may end in a remark in parentheses.
std::string NodeAddress(const std::string& text);

// Whether the node name is this computer's own name (case-insensitive, domain suffixes ignored).
bool IsThisComputer(const std::string& nodeName);

// A text from the network or the settings made safe for one log line: control characters become
// "?", and at most 256 bytes are kept.
std::string LogText(const std::string& text);

}  // namespace tarvell
