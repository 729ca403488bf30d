// The viewer's own ODBC data source "TarvellDB", through which the SQL Options page finds the
// export database: written with the driver manager's installer calls into a private odbc.ini
// (created 0600, named to the installer through ODBCINI), connected without any prompt, and
// turned into the driver-named connect string the settings store.
//
// GUI thread only: ODBCINI is set in the process environment for the length of each call.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "viewer/core/settings/ExportSettings.h"

namespace tarvell {

inline constexpr const char* kViewerDataSource = "TarvellDB";

// $XDG_CONFIG_HOME/tarvell/odbc.ini (~/.config when unset).
std::string ViewerOdbcIniPath();

using ConnectAttributes = std::vector<std::pair<std::string, std::string>>;

// What the data source dialog chose: a driver as the driver manager names it, the attributes
// kept in the data source (database file, or server, port and database), and the ones given
// only when connecting (user and password; they are not written to disk).
struct DataSourceRequest {
    std::string driver;
    ConnectAttributes attributes;
    ConnectAttributes credentials;
};

// Replaces the data source in `iniPath` (made 0600 first, its folder 0700). False with `error`
// when the installer refuses or the file cannot be made.
bool WriteDataSource(const std::string& iniPath, const DataSourceRequest& request,
                     std::string* error);
// A key of the data source; nullopt when absent. `readable` is cleared when the data source
// itself cannot be found in the file.
std::optional<std::string> DataSourceValue(const std::string& iniPath, const std::string& key,
                                           bool* readable);

// Connects (no prompt) with the driver, the data source's attributes and the credentials, and
// returns the driver's completed connect string, or nullopt with the driver's diagnostics in
// `error`. The connection names the driver itself, as the stored string will: the driver
// manager keeps its own view of a data-source file it has read, which a file rewritten within
// the same second does not renew.
std::optional<std::string> CompletedConnectString(const DataSourceRequest& request,
                                                  int loginTimeoutSeconds, std::string* error);

// "Browse..." of the SQL Options page after the dialog: write the data source, connect, apply
// the "SERVER=" rule for a server database and give the location to store. `message` is 0,
// 20082 (the data source was not written; no location), 20080 (no connection; no location) or
// 20081 (the data source could not be read back; the location is still given).
struct ChosenLocation {
    unsigned message = 0;
    std::optional<std::string> location;
    std::string detail;  // the driver's diagnostics, for the log
};
ChosenLocation ChooseDataSource(const std::string& iniPath, const DataSourceRequest& request,
                                DatabaseKind kind, int loginTimeoutSeconds = 15);

// The drivers the driver manager knows, those of `kind` first (each group in its own order).
std::vector<std::string> DriversFor(DatabaseKind kind, const std::vector<std::string>& installed);

}  // namespace tarvell
