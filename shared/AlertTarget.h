// The target entries of the alert channels' lists in the settings (EmailRecipients,
// SnmpManagers, SyslogListeners, RunCommands): "<target>" or "<target>|<filters>", the filters
// "<type>/<pattern>" each ended by ";" (the last may lack it). The type is one digit "0".."8"
// naming the alert value its pattern tests. A run command's target is
// "<name>;<command>;<parameters>;<user>;<domain>;<password>;". The viewer edits these entries;
// the service reads them when it delivers.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvell {

struct TargetEntry {
    std::string target;
    std::string filters;  // the text after the "|"; empty: none
};

// Splits at the first "|", or at the last with `atLast` (a run command's target holds
// ";"-separated properties but never a "|"). No "|": the whole entry is the target.
TargetEntry SplitTargetEntry(std::string_view entry, bool atLast = false);
// "<target>" or "<target>|<filters>".
std::string JoinTargetEntry(const TargetEntry& entry);

inline constexpr int kFilterTypes = 9;

struct TargetFilter {
    int type = 0;  // 0..8
    std::string pattern;
    bool operator==(const TargetFilter&) const = default;
};
// The filters of a list in order. An item without "/" or whose type is not one digit 0..8 tests
// nothing and is skipped; the pattern is the text after the first "/", as it stands.
std::vector<TargetFilter> ParseFilters(std::string_view list);
// Each filter as "<digit>/<pattern>;"; empty for none.
std::string FormatFilters(const std::vector<TargetFilter>& filters);

// ---- run commands

struct CommandProperties {
    std::string command, parameters, user, domain, password;
    bool operator==(const CommandProperties&) const = default;
};

// "<command>;<parameters>;<user>;<domain>;<password>;".
std::string PropertiesString(const CommandProperties& p);
// The five fields of a properties string: the first four end at ";", the password is the rest
// without the ";" that ends the string (so it may hold ";" itself). Missing fields are empty.
CommandProperties ParseProperties(std::string_view properties);
// A run command's target without its filters, "<name>;<properties>": the properties when the
// text holds all six fields (five ";" at least), else nullopt.
std::optional<CommandProperties> ParseCommandTarget(std::string_view target);

}  // namespace tarvell
