#include "service/exports/SqlConnect.h"

#include <algorithm>

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

}  // namespace

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
