// The servers the viewer can watch and its popup preferences, kept per user in the registry
// store under HKEY_CURRENT_USER "SOFTWARE\Tarvell" ("Servers", "Views"), and the machine a
// server's folder lies on. A server is reached through its service folder: a local path, or a
// path on a network mount of the server's folder.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace tarvell {

class Registry;

// A server known to the viewer; its name is its key in ServerMap.
struct CServerItem {
    std::int32_t IsDefault = 0;  // 1 for the default server
    std::string Folder;          // the server's service folder (Tarvell.ini, .db, .log)

    bool operator==(const CServerItem&) const = default;
};
using ServerMap = std::map<std::string, CServerItem>;

inline constexpr std::string_view kViewerKey = "SOFTWARE\\Tarvell";
inline constexpr std::string_view kLocalServerName = "Local";
inline constexpr std::uint32_t kDefaultPopupTimeout = 10;
inline constexpr std::uint32_t kDefaultPopupAlerts = 1;
inline constexpr std::size_t kMaxPopupSound = 259;

struct ViewerPreferences {
    ServerMap Servers;
    std::uint32_t PopupAlerts = 0;
    std::uint32_t PopupTimeout = 0;
    std::string PopupSound;
};

// Reads the viewer's key, creating it with the defaults on a first start: the server "Local"
// (the default) whose folder is `localFolder`, and popups on for 10 seconds with no sound. A
// server is the default when its name equals the key's default value. False when the viewer's
// key can be neither opened nor created: then `out` holds no server and popups off.
bool ReadViewerRegistry(Registry& registry, const std::string& localFolder, ViewerPreferences& out);

// Rewrites "Servers" whole from `prefs.Servers` and the three "Views" values. False when the
// viewer's key cannot be opened or created (nothing written) or a write failed.
bool SaveViewerRegistry(Registry& registry, const ViewerPreferences& prefs);

// The default server of the map (the first marked default, in name order), or nullopt.
struct ServerChoice {
    std::string Name;
    std::string Folder;
};
std::optional<ServerChoice> DefaultServer(const ServerMap& servers);

// The machine of a server folder, empty for this machine: "//host/..." and "\\host\..." give
// "host"; a folder on or below a network mount (cifs, smb3, smbfs, nfs, nfs4, sshfs) given in
// `mountInfo` (the text of /proc/self/mountinfo) gives the host the mount comes from.
std::string ServerMachineOf(std::string_view folder, std::string_view mountInfo);
// The text of /proc/self/mountinfo (bounded), empty when it cannot be read.
std::string ReadMountInfo();

// The registry key of one server's read marks below the viewer's key: "Events\<name>" with any
// "\" of the name written as "/" (a key path splits at "\").
std::string ReadMarksKey(std::string_view serverName);

}  // namespace tarvell
