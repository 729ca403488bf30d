// What the viewer knows is wrong with the current server's files beyond what the service state
// says: a state file that exists but cannot be read, and a saved settings copy that the service
// leaves lying in its hand-over folder (it refuses a copy it does not trust).
#pragma once

#include <cstdint>
#include <string>

namespace tarvell {

struct ServerHealth {
    std::string unreadableFile;  // "Tarvell.db" or "Tarvell.log"; empty when both were read
    bool handOverRefused = false;
    bool operator==(const ServerHealth&) const = default;
};

// The service takes a hand-over copy over within one pass of 10 s; a copy older than two passes
// was refused.
inline constexpr std::int64_t kHandOverOverdueSeconds = 20;

// True when <folder>/handover/Tarvell.ini exists and was last written more than
// kHandOverOverdueSeconds before `nowSeconds` (seconds since 1970).
bool HandOverOverdue(const std::string& folder, std::int64_t nowSeconds);

// True when <folder>/<name> exists (a read of it failed for another reason than its absence).
bool StateFilePresent(const std::string& folder, const std::string& name);

// The summary's state text for a problem, empty when there is none. An unreadable file comes
// first: it also hides the events or alerts the page would count.
std::string HealthStateText(const ServerHealth& health);
// The long text of the problem, for a tool tip; empty when there is none.
std::string HealthDetailText(const ServerHealth& health);

// The message after a failed connect to `name` at `folder`: a missing folder, or the settings
// file that could not be read.
std::string ConnectFailureText(const std::string& name, const std::string& folder);

}  // namespace tarvell
