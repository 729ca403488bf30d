// The connect string of the database export, made from the `SqlDatabase` location.
//
// A location that names its own data source or driver ("DSN=" or "DRIVER=", any letter case)
// is used as it stands. Otherwise the location is a list of attribute pairs: a location holding
// ".mdb" becomes an Access driver string with its DBQ= pair, any other a SQL Server driver
// string with its SERVER=, ADDRESS=, NETWORK=, DATABASE=, TRUSTED_CONNECTION=, UID= and PWD=
// pairs in that order; other attributes are dropped. The driver names are those of the
// installed drivers where one fits (no Access driver exists on this platform, so such a
// location fails to connect and is reported as any unreachable database is).
#pragma once

#include <string>
#include <vector>

namespace tarvell {

// `installedDrivers`: the driver names the driver manager knows.
std::string BuildConnectString(const std::string& location,
                               const std::vector<std::string>& installedDrivers);

}  // namespace tarvell
