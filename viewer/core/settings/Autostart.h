// Start with the desktop session: the current user's autostart entry
// $XDG_CONFIG_HOME/autostart/Tarvell.desktop (an unset, empty or relative XDG_CONFIG_HOME means
// ~/.config), whose Exec runs the viewer with "/autoRun".
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvell {

inline constexpr std::string_view kAutoRunArgument = "/autoRun";

std::string AutostartPath();

// The Exec value that runs `program` with "/autoRun": the path in double quotes with '"', '`',
// '$' and '\' escaped, "%" doubled, then the desktop file's own escaping of '\'. nullopt for a
// path that cannot be written on one line (a control character) or is not absolute.
std::optional<std::string> AutostartExec(std::string_view program);
// The arguments of an Exec value (the file's escaping undone, then the quoting); nullopt when
// the quoting is broken.
std::optional<std::vector<std::string>> ParseExec(std::string_view exec);

// Whether the entry at `path` starts exactly `program` with "/autoRun" and is not hidden. A
// missing or unreadable file, another program or "Hidden=true" read as off.
bool IsAutostartEnabledFor(const std::string& path, std::string_view program);
// Writes the entry (creating the autostart folder); false when it cannot be written.
bool EnableAutostart(const std::string& path, std::string_view program);
// Removes the entry; true when no entry is left.
bool DisableAutostart(const std::string& path);

}  // namespace tarvell
