#include "platform/Paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "platform/Files.h"

namespace tarvell {

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

std::string HomeFolder() {
    std::string home = Env("HOME");
    if (!home.empty()) return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr) {
        return found->pw_dir;
    }
    return "/";
}

}  // namespace

std::string RootFolder() {
    const std::string root = Env("TARVELL_ROOT");
    return root.empty() ? std::string("/") : root;
}

std::string SystemPath(std::string_view relative) { return JoinPath(RootFolder(), relative); }

std::string ServiceFolder() {
    const std::string home = Env("TARVELL_HOME");
    return home.empty() ? SystemPath("var/lib/tarvell") : home;
}

std::string HandoverFolder() { return JoinPath(ServiceFolder(), "handover"); }

std::string MachineRegistryFolder() { return SystemPath("etc/tarvell/registry"); }

std::string UserRegistryFolder() {
    std::string config = Env("XDG_CONFIG_HOME");
    if (config.empty() || config.front() != '/') config = JoinPath(HomeFolder(), ".config");
    return JoinPath(config, "tarvell/registry");
}

std::string RunFolder() { return SystemPath("run/tarvell"); }

}  // namespace tarvell
