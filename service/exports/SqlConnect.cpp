#include "service/exports/SqlConnect.h"

#include <algorithm>
#include <filesystem>
#include <utility>

#include "platform/Text.h"

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

using Pairs = std::vector<std::pair<std::string, std::string>>;

// Upper case, without blanks: "Save File" and "savefile" are one key.
std::string KeyOf(std::string_view raw) {
    std::string key;
    for (char c : raw)
        if (c != ' ' && c != '\t') key += c;
    return ToUpperAscii(key);
}

std::string Unbraced(std::string value) {
    value = Trim(value, " \t");
    if (value.size() >= 2 && value.front() == '{' && value.back() == '}')
        value = value.substr(1, value.size() - 2);
    return value;
}

// key=value pairs; a value opening with "{" runs to its closing "}" ("}}" stands for "}").
Pairs BracedPairs(const std::string& text) {
    Pairs out;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t eq = text.find('=', i);
        const std::size_t semi = text.find(';', i);
        if (eq == std::string::npos || (semi != std::string::npos && semi < eq)) {
            if (semi == std::string::npos) break;
            i = semi + 1;
            continue;
        }
        std::string key = KeyOf(text.substr(i, eq - i));
        std::size_t v = eq + 1;
        while (v < text.size() && (text[v] == ' ' || text[v] == '\t')) ++v;
        std::string value;
        if (v < text.size() && text[v] == '{') {
            std::size_t j = v + 1;
            for (; j < text.size(); ++j) {
                if (text[j] != '}') {
                    value += text[j];
                } else if (j + 1 < text.size() && text[j + 1] == '}') {
                    value += '}';
                    ++j;
                } else {
                    break;
                }
            }
            i = text.find(';', j);
        } else {
            i = text.find(';', v);
            value = text.substr(v, i == std::string::npos ? std::string::npos : i - v);
        }
        out.emplace_back(std::move(key), Trim(value, " \t"));
        if (i == std::string::npos) break;
        ++i;
    }
    return out;
}

Pairs PlainPairs(const std::string& text) {
    Pairs out;
    for (const std::string& part : SplitAny(text, ";")) {
        const std::size_t eq = part.find('=');
        if (eq == std::string::npos) continue;
        out.emplace_back(KeyOf(part.substr(0, eq)), Unbraced(part.substr(eq + 1)));
    }
    return out;
}

constexpr const char* kSystemFolders[] = {"/etc",   "/usr",   "/bin",    "/sbin", "/lib",
                                          "/lib32", "/lib64", "/libx32", "/boot", "/proc",
                                          "/sys",   "/dev",   "/run"};

bool InSystemFolder(const std::filesystem::path& p) {
    const std::string text = p.string();
    for (const char* folder : kSystemFolders) {
        const std::string f = folder;
        if (text == f || text.rfind(f + "/", 0) == 0) return true;
    }
    return false;
}

// Why a database file location is refused, or an empty text.
std::string RefusedLocation(std::string value) {
    if (ToUpperAscii(value.substr(0, 5)) == "FILE:") {  // an SQLite URI
        value = value.substr(5);
        value = value.substr(0, value.find('?'));
    }
    if (value.find('/') == std::string::npos) return {};  // a name: the server's or the driver's
    if (value.front() != '/') return "a relative path";
    namespace fs = std::filesystem;
    const fs::path lexical = fs::path(value).lexically_normal();
    std::error_code ec;
    const fs::path resolved = fs::weakly_canonical(lexical, ec);
    if (InSystemFolder(lexical) || (!ec && InSystemFolder(resolved))) return "a system folder";
    return {};
}

std::optional<std::string> RefusedPair(const std::string& key, const std::string& value,
                                       const std::vector<std::string>& installed) {
    // Drivers list these keys among their attributes, so a data source dialog may store them
    // empty; empty, they do nothing.
    if ((key == "SAVEFILE" || key == "FILEDSN" || key == "LOADEXT" || key == "TRACEFILE") &&
        !Unbraced(value).empty())
        return key + " is not accepted (it writes files or loads code)";
    if (key == "DRIVER") {
        const std::string name = Unbraced(value);
        if (name.find_first_of("/\\") != std::string::npos)
            return std::string("DRIVER names a file; only a registered driver's name is accepted");
        const bool registered =
            std::any_of(installed.begin(), installed.end(),
                        [&](const std::string& d) { return EqualsNoCase(d, name); });
        if (!registered) return "DRIVER " + name + " is not a registered driver";
    }
    if (key == "DSN" && value.find_first_of("/\\") != std::string::npos)
        return std::string("DSN names a file; only a data source's name is accepted");
    if (key == "DATABASE" || key == "DBQ") {
        const std::string why = RefusedLocation(Unbraced(value));
        if (!why.empty()) return key + " names " + why + "; the database file may not be there";
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> RefuseConnectString(const std::string& connect,
                                               const std::vector<std::string>& installedDrivers) {
    for (const Pairs& pairs : {BracedPairs(connect), PlainPairs(connect)})
        for (const auto& [key, value] : pairs)
            if (auto why = RefusedPair(key, value, installedDrivers)) return why;
    return std::nullopt;
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
