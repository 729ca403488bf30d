#include "viewer/core/hub/ServerRegistry.h"

#include <sstream>
#include <vector>

#include "platform/Files.h"
#include "platform/Registry.h"

namespace tarvell {
namespace {

constexpr std::string_view kServersKey = "Servers";
constexpr std::string_view kViewsKey = "Views";
constexpr std::string_view kPopupTimeout = "View Popup Timeout";
constexpr std::string_view kPopupAlerts = "View Popup Alerts";
constexpr std::string_view kPopupSound = "View Popup Sound";
constexpr std::size_t kMaxMountInfo = 4 * 1024 * 1024;

void ReadServers(const RegKey& servers, ServerMap& out) {
    std::vector<RegValue> values;
    if (servers.EnumValues(&values) != kRegSuccess) return;
    std::string defaultName;
    for (const RegValue& value : values)
        if (value.name.empty() && value.type == RegType::String) defaultName = value.text;
    for (const RegValue& value : values) {
        if (value.name.empty() || value.type != RegType::String) continue;
        out[value.name] = CServerItem{value.name == defaultName ? 1 : 0, value.text};
    }
}

void ReadViews(const RegKey& views, ViewerPreferences& out) {
    std::uint32_t word = 0;
    if (views.QueryDword(kPopupTimeout, &word) == kRegSuccess) out.PopupTimeout = word;
    if (views.QueryDword(kPopupAlerts, &word) == kRegSuccess) out.PopupAlerts = word;
    std::string sound;
    if (views.QueryString(kPopupSound, &sound) == kRegSuccess)
        out.PopupSound = sound.substr(0, std::min(sound.find('\0'), kMaxPopupSound));
}

bool WriteViews(const RegKey& views, const ViewerPreferences& prefs) {
    const std::string sound = prefs.PopupSound.substr(0, kMaxPopupSound);
    return views.SetDword(kPopupTimeout, prefs.PopupTimeout) == kRegSuccess &&
           views.SetDword(kPopupAlerts, prefs.PopupAlerts) == kRegSuccess &&
           views.SetString(kPopupSound, sound) == kRegSuccess;
}

// Unescapes the octal escapes (\040 for a blank) of a mountinfo field.
std::string MountField(std::string_view field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const auto digit = [](char c) { return c >= '0' && c <= '7'; };
            if (digit(field[i + 1]) && digit(field[i + 2]) && digit(field[i + 3])) {
                out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                         (field[i + 3] - '0'));
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

bool IsNetworkFileSystem(std::string_view type) {
    return type == "cifs" || type == "smb3" || type == "smbfs" || type == "nfs" || type == "nfs4" ||
           type == "fuse.sshfs" || type == "sshfs";
}

// The host of a mount's source: "//host/share", "host:/path", "[v6]:/path", "user@host:path".
std::string HostOfSource(std::string_view source) {
    if (source.starts_with("//") || source.starts_with("\\\\")) {
        const std::string_view rest = source.substr(2);
        return std::string(rest.substr(0, rest.find_first_of("/\\")));
    }
    if (const std::size_t at = source.find('@'); at != std::string_view::npos)
        source = source.substr(at + 1);
    if (source.starts_with("[")) {
        const std::size_t close = source.find(']');
        return close == std::string_view::npos ? "" : std::string(source.substr(1, close - 1));
    }
    return std::string(source.substr(0, source.find(':')));
}

// True when `path` is `mountPoint` or lies below it.
bool IsWithin(std::string_view path, std::string_view mountPoint) {
    if (mountPoint == "/") return path.starts_with("/");
    if (!path.starts_with(mountPoint)) return false;
    return path.size() == mountPoint.size() || path[mountPoint.size()] == '/';
}

}  // namespace

bool ReadViewerRegistry(Registry& registry, const std::string& localFolder,
                        ViewerPreferences& out) {
    out = ViewerPreferences{};
    RegKey viewer;
    if (registry.CreateKey(Hive::CurrentUser, kViewerKey, &viewer) != kRegSuccess) return false;

    RegKey servers;
    if (viewer.OpenKey(kServersKey, &servers) == kRegSuccess) {
        ReadServers(servers, out.Servers);
    } else if (viewer.CreateKey(kServersKey, &servers) == kRegSuccess) {
        out.Servers[std::string(kLocalServerName)] = CServerItem{1, localFolder};
        servers.SetString("", kLocalServerName);
        servers.SetString(kLocalServerName, localFolder);
    }

    RegKey views;
    if (viewer.OpenKey(kViewsKey, &views) == kRegSuccess) {
        ReadViews(views, out);
    } else {
        out.PopupTimeout = kDefaultPopupTimeout;
        out.PopupAlerts = kDefaultPopupAlerts;
        if (viewer.CreateKey(kViewsKey, &views) == kRegSuccess) WriteViews(views, out);
    }
    return true;
}

bool SaveViewerRegistry(Registry& registry, const ViewerPreferences& prefs) {
    RegKey viewer;
    if (registry.CreateKey(Hive::CurrentUser, kViewerKey, &viewer) != kRegSuccess) return false;
    viewer.DeleteKey(kServersKey, true);
    RegKey servers;
    if (viewer.CreateKey(kServersKey, &servers) != kRegSuccess) return false;
    bool ok = true;
    for (const auto& [name, server] : prefs.Servers) {
        if (name.empty()) continue;  // the unnamed value is the default server's name
        if (server.IsDefault) ok = servers.SetString("", name) == kRegSuccess && ok;
        ok = servers.SetString(name, server.Folder) == kRegSuccess && ok;
    }
    RegKey views;
    if (viewer.CreateKey(kViewsKey, &views) != kRegSuccess) return false;
    return WriteViews(views, prefs) && ok;
}

std::optional<ServerChoice> DefaultServer(const ServerMap& servers) {
    for (const auto& [name, server] : servers)
        if (server.IsDefault) return ServerChoice{name, server.Folder};
    return std::nullopt;
}

std::string ServerMachineOf(std::string_view folder, std::string_view mountInfo) {
    if (folder.starts_with("//") || folder.starts_with("\\\\")) return HostOfSource(folder);
    if (!folder.starts_with("/")) return {};
    std::string bestPoint;
    std::string bestHost;
    bool found = false;
    std::istringstream lines{std::string(mountInfo)};
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::vector<std::string> parts;
        for (std::string part; fields >> part;) parts.push_back(part);
        std::size_t dash = 0;
        while (dash < parts.size() && parts[dash] != "-") ++dash;
        if (parts.size() < 5 || dash + 2 >= parts.size()) continue;
        const std::string point = MountField(parts[4]);
        if (!IsWithin(folder, point)) continue;
        if (found && point.size() < bestPoint.size()) continue;
        found = true;
        bestPoint = point;
        // A later mount on the same point hides the earlier one.
        bestHost =
            IsNetworkFileSystem(parts[dash + 1]) ? HostOfSource(MountField(parts[dash + 2])) : "";
    }
    return bestHost;
}

std::string ReadMountInfo() {
    return ReadWholeFile("/proc/self/mountinfo", kMaxMountInfo).value_or("");
}

std::string ReadMarksKey(std::string_view serverName) {
    std::string name(serverName);
    for (char& c : name)
        if (c == '\\') c = '/';
    return "Events\\" + name;
}

}  // namespace tarvell
