#include "service/exports/SqlConnect.h"

#include <limits.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <utility>

#include "platform/Files.h"
#include "platform/Text.h"
#include "platform/odbc/ConnectString.h"

namespace tarvell {
namespace {

// Drivers that serve a SQL Server database on this platform, in order of preference.
constexpr const char* kSqlServerDrivers[] = {"ODBC Driver 18 for SQL Server",
                                             "ODBC Driver 17 for SQL Server", "FreeTDS"};

std::string PickDriver(const std::vector<std::string>& installed, const char* designName,
                       bool sqlServer) {
    if (sqlServer)
        for (const char* name : kSqlServerDrivers)
            if (std::find(installed.begin(), installed.end(), name) != installed.end()) return name;
    return designName;
}

// The keys handed on to the driver manager: those the export needs to reach a SQLite file or a
// server. A list of the keys to leave out could not be kept complete: the drivers take keys of
// their own (log files, log folders, extensions, options handed to their client libraries,
// two-letter short forms of each) that change with their versions.
constexpr const char* kAcceptedKeys[] = {"DRIVER",   "DSN",     "SERVER",
                                         "ADDRESS",  "NETWORK", "PORT",
                                         "DATABASE", "DBQ",     "TRUSTED_CONNECTION",
                                         "UID",      "PWD",     "SSLMODE"};

// Keys of the driver manager and of the installed drivers that write files, load code or hand
// options on to a client library. Any other key is left out of the text handed on, so the
// driver's default holds (a data source dialog completes a text with every option it knows, in
// long and short forms); these are refused unless they are empty or "0" (their default, off),
// because a location that asks for them asks for what the export will not do.
constexpr const char* kRefusedKeys[] = {"DEBUG",
                                        "COMMLOG",
                                        "LOGDIR",
                                        "LOADEXT",
                                        "TRACE",
                                        "TRACEFILE",
                                        "SAVEFILE",
                                        "FILEDSN",
                                        "TRANSLATIONDLL",
                                        "TRANSLATIONNAME",
                                        "TRANSLATIONOPTION",
                                        "PQOPT",
                                        "CONNSETTINGS",
                                        "SETUP",
                                        "DRIVER64",
                                        "SETUP64"};

constexpr const char* kSystemFolders[] = {"/etc",   "/usr",   "/bin",    "/sbin", "/lib",
                                          "/lib32", "/lib64", "/libx32", "/boot", "/proc",
                                          "/sys",   "/dev",   "/run"};

// A key or driver name given back in a reason is cut at this length.
constexpr std::size_t kMaxQuoted = 64;

std::string Cut(const std::string& text) {
    return text.size() <= kMaxQuoted ? text : text.substr(0, kMaxQuoted) + "...";
}

bool InSystemFolder(const std::string& path) {
    for (const char* folder : kSystemFolders) {
        const std::string f = folder;
        if (path == f || path.rfind(f + "/", 0) == 0) return true;
    }
    return false;
}

// The file path of an SQLite "file:" URI as SQLite reads it: after an empty or "localhost"
// host, up to "?" or "#", percent escapes decoded. Empty with `why` set when refused.
std::string UriPath(std::string_view uri, std::string* why) {
    std::string_view rest = uri.substr(5);
    if (rest.substr(0, 2) == "//") {
        const std::size_t slash = rest.find('/', 2);
        const std::string_view host =
            rest.substr(2, slash == std::string_view::npos ? slash : slash - 2);
        if (!host.empty() && !EqualsNoCase(host, "localhost")) {
            *why = "a URI with a host";
            return {};
        }
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
    }
    rest = rest.substr(0, rest.find_first_of("?#"));
    std::string path;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] != '%') {
            path += rest[i];
            continue;
        }
        const int high = i + 2 < rest.size() ? HexDigit(rest[i + 1]) : -1;
        const int low = high >= 0 ? HexDigit(rest[i + 2]) : -1;
        const char c = static_cast<char>(high * 16 + low);
        if (low < 0 || static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            *why = "a URI with a bad escape";
            return {};
        }
        path += c;
        i += 2;
    }
    return path;
}

// `path` (absolute) with every link in it followed, as the kernel would on creating the file:
// the longest existing part is resolved, and the rest, not there yet, is taken as written.
// Empty with `why` set for a link to nothing (a missing target or a loop), a part that cannot
// be looked at, or "." and ".." after a missing folder (no file can be made there).
std::string ResolvedPath(const std::string& path, std::string* why) {
    const std::vector<std::string> parts = SplitAny(path, "/");
    std::string current = "/";
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (parts[i] == ".") continue;
        if (parts[i] == "..") {  // `current` has no link in it, so this is its parent
            current = std::filesystem::path(current).parent_path().string();
            continue;
        }
        const std::string next = JoinPath(current, parts[i]);
        struct stat st {};
        if (::lstat(next.c_str(), &st) != 0) {
            if (errno != ENOENT) {
                *why = "a path that cannot be looked at";
                return {};
            }
            for (std::size_t j = i; j < parts.size(); ++j) {
                if (parts[j] == "." || parts[j] == "..") {
                    *why = "a path through a missing folder";
                    return {};
                }
                current = JoinPath(current, parts[j]);
            }
            return current;
        }
        if (!S_ISLNK(st.st_mode)) {
            current = next;
            continue;
        }
        char target[PATH_MAX];
        if (::realpath(next.c_str(), target) == nullptr) {
            *why = "a link to nothing";
            return {};
        }
        current = target;
    }
    return current;
}

// Why a database file location is refused, or an empty text.
std::string RefusedLocation(const std::string& location) {
    std::string why;
    const std::string path = EqualsNoCase(std::string_view(location).substr(0, 5), "file:")
                                 ? UriPath(location, &why)
                                 : location;
    if (!why.empty()) return why;
    if (path.find('/') == std::string::npos) return {};  // a name: the server's or the driver's
    if (path.front() != '/') return "a relative path";
    const std::string resolved = ResolvedPath(path, &why);
    if (!why.empty()) return why;
    if (InSystemFolder(std::filesystem::path(path).lexically_normal().string()) ||
        InSystemFolder(resolved))
        return "a system folder";
    return {};
}

// Why the pair is refused, or nullopt; `value` may be replaced by what is to be used.
std::optional<std::string> RefusedPair(const std::string& key, std::string& value,
                                       const std::vector<std::string>& installed) {
    if (key == "DRIVER") {
        if (value.find_first_of("/\\") != std::string::npos)
            return std::string("DRIVER names a file; only a registered driver's name is accepted");
        const auto registered =
            std::find_if(installed.begin(), installed.end(),
                         [&](const std::string& d) { return EqualsNoCase(d, value); });
        if (registered == installed.end())
            return "DRIVER " + Cut(value) + " is not a registered driver";
        value = *registered;
    }
    if (key == "DSN" && value.find_first_of("/\\") != std::string::npos)
        return std::string("DSN names a file; only a data source's name is accepted");
    if (key == "DATABASE" || key == "DBQ") {
        const std::string why = RefusedLocation(value);
        if (!why.empty()) return key + " names " + why + "; the database file may not be there";
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> CheckedConnectString(const std::string& connect,
                                                const std::vector<std::string>& installedDrivers,
                                                std::string* why) {
    auto pairs = odbc::ParseConnectString(connect, why);
    if (!pairs) return std::nullopt;
    std::vector<odbc::ConnectPair> used;
    for (auto& [given, value] : *pairs) {
        std::string key = ToUpperAscii(given);
        const bool accepted = std::any_of(std::begin(kAcceptedKeys), std::end(kAcceptedKeys),
                                          [&](const char* k) { return key == k; });
        if (!accepted) {
            // Blanks inside a key are looked through ("Save File"): a reader may drop them.
            std::string bare = key;
            std::erase_if(bare, [](char c) { return c == ' ' || c == '\t'; });
            const bool refused = std::any_of(std::begin(kRefusedKeys), std::end(kRefusedKeys),
                                             [&](const char* k) { return bare == k; });
            if (!refused || value.empty() || value == "0") continue;
            if (why)
                *why = "the key " + Cut(key) +
                       " writes files or loads code; only its default, 0 or empty, is accepted";
            return std::nullopt;
        }
        if (auto refused = RefusedPair(key, value, installedDrivers)) {
            if (why) *why = std::move(*refused);
            return std::nullopt;
        }
        used.push_back({std::move(key), std::move(value)});
    }
    return odbc::FormatConnectString(used, why);
}

std::string BuildConnectString(const std::string& location,
                               const std::vector<std::string>& installedDrivers) {
    const std::string upper = ToUpperAscii(location);
    if (upper.find("DSN=") != std::string::npos || upper.find("DRIVER=") != std::string::npos)
        return location;
    const bool access = upper.find(".MDB") != std::string::npos;
    std::string out =
        "Driver={" +
        PickDriver(installedDrivers, access ? "Microsoft Access Driver (*.mdb)" : "SQL Server",
                   !access) +
        "};";
    static const std::vector<std::string> accessKeys = {"DBQ="};
    static const std::vector<std::string> serverKeys = {
        "SERVER=", "ADDRESS=", "NETWORK=", "DATABASE=", "TRUSTED_CONNECTION=", "UID=", "PWD="};
    for (const std::string& key : access ? accessKeys : serverKeys) {
        const std::size_t at = upper.find(key);
        if (at == std::string::npos) continue;
        const std::string tail = location.substr(at);
        const std::size_t semicolon = tail.find(';');
        out += semicolon == std::string::npos ? tail + ";" : tail.substr(0, semicolon + 1);
    }
    return out;
}

}  // namespace tarvell
