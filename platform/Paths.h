// The system's folders. TARVELL_ROOT (default "/") prefixes every system path, so that tests and
// the demo run unprivileged in a temporary tree. The environment is read on every call.
#pragma once

#include <string>
#include <string_view>

namespace tarvell {

// $TARVELL_ROOT, or "/" when it is unset or empty.
std::string RootFolder();
// A system path below the root: SystemPath("etc/tarvell") is "<root>/etc/tarvell".
std::string SystemPath(std::string_view relative);
// State files, Tarvell.ini, Http.log: $TARVELL_HOME, else <root>/var/lib/tarvell.
std::string ServiceFolder();
// Where the viewer hands settings over to the service: <service folder>/handover.
std::string HandoverFolder();
// The machine hives of the registry store: <root>/etc/tarvell/registry.
std::string MachineRegistryFolder();
// The current user's hive: $XDG_CONFIG_HOME/tarvell/registry; an unset, empty or relative
// XDG_CONFIG_HOME means ~/.config ($HOME, else the password database's home).
std::string UserRegistryFolder();
// Pid and state files of a foreground service: <root>/run/tarvell.
std::string RunFolder();

}  // namespace tarvell
