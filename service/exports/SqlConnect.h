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
// A connect string is checked before the driver manager sees it (CheckedConnectString): the
// export runs as root, the driver manager loads whatever library a DRIVER names and writes the
// files that SAVEFILE and FILEDSN name, and the drivers have keys of their own that write logs
// or load extensions. Only the keys the export needs are taken, drivers registered by name and
// data sources are used, a database file may not lie in the system's own folders, and the
// driver manager is handed the text rebuilt from the pairs that passed, so what is checked is
// what is used.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tarvell {

// `installedDrivers`: the driver names the driver manager knows.
std::string BuildConnectString(const std::string& location,
                               const std::vector<std::string>& installedDrivers);

// The text to hand the driver manager, or nullopt with the reason in `why` (for the log; it
// never holds a value but a driver's name). The text must parse strictly
// (odbc::ParseConnectString: no control characters, nothing after a closing brace, ...) and may
// hold only the keys DRIVER, DSN, SERVER, ADDRESS, NETWORK, PORT, DATABASE, DBQ,
// TRUSTED_CONNECTION, UID, PWD and SSLMODE (letter case aside) are handed on; another key is
// left out (data source dialogs complete a text with every option of their driver), except that
// a key that writes files or loads code (DEBUG, COMMLOG, LOGDIR, LOADEXT, TRACE, TRACEFILE,
// SAVEFILE, FILEDSN, the translation library, options for the client library, ...) with a value
// other than empty or "0" refuses the whole text. Refused besides:
// a DRIVER that is not a registered driver's name (a path included), a DSN with a slash, and a
// DATABASE or DBQ that is a relative path with a slash or names, once its "file:" URI form is
// decoded (host empty or "localhost" only) and its links are followed, a file under /etc,
// /usr, /bin, /sbin, /lib*, /boot, /proc, /sys, /dev or /run, or a link to nothing. The result
// is "KEY=value;" per pair in the given order, DRIVER with the registered spelling; a value
// that cannot be written so that every reader takes it alike (one holding ";") is refused.
std::optional<std::string> CheckedConnectString(const std::string& connect,
                                                const std::vector<std::string>& installedDrivers,
                                                std::string* why);

}  // namespace tarvell
