// The connect string of the database export, made from the `SqlDatabase` location.
//
// A location that names its own data source or driver ("DSN=" or "DRIVER=", any letter case)
// is used as it stands. Otherwise the location is a list of attribute pairs: a location holding
// ".mdb" becomes an Access driver string with its DBQ= pair, any other a SQL Server driver
// string with its SERVER=, ADDRESS=, NETWORK=, DATABASE=, TRUSTED_CONNECTION=, UID= and PWD=
// pairs in that order; other attributes are dropped. The driver names are those of the
// installed drivers where one fits (no Access driver exists on this platform, so such a
// location fails to connect and is reported as any unreachable database is).
//
// A connect string is checked before the driver manager sees it (RefuseConnectString): the
// export runs as root, and the driver manager loads whatever library a DRIVER names and writes
// the files that SAVEFILE and FILEDSN name. Only drivers registered by name and data sources
// are used; a database file may not lie in the system's own folders.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tarvell {

// `installedDrivers`: the driver names the driver manager knows.
std::string BuildConnectString(const std::string& location,
                               const std::vector<std::string>& installedDrivers);

// Why the connect string may not be used (for the log; never holds a value but a driver's name
// or the key), or nullopt when it may. Refused: a DRIVER that is not a registered driver's name
// (a path, or any value with a slash, included); a DSN with a slash; the keys SAVEFILE,
// FILEDSN, LOADEXT and TRACEFILE with a value (they write files or load code); a DATABASE or
// DBQ that names a file under /etc, /usr, /bin, /sbin, /lib*, /boot, /proc, /sys, /dev or /run,
// or a relative path with a slash. Keys are compared without letter case and blanks; a value in braces may
// hold ";", and the string is also read as plain ";"-separated pairs, so that a key hidden in a
// braced value is seen as well.
std::optional<std::string> RefuseConnectString(const std::string& connect,
                                               const std::vector<std::string>& installedDrivers);

}  // namespace tarvell
