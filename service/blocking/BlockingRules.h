// The plain rules of port blocking, apart from the thread that acts on them: the prevention
// schedule, the age of a block, the SNMP object that shuts or opens a port, and the log-on text
// of a program. No locks, no I/O; every input is a stored setting or event text and is checked
// here (a malformed entry matches nothing, a bad port key gives no object).
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/Process.h"

namespace tarvell {

// One entry of PreventionSchedule: <day>/<hh:mm:ss>/<hh:mm:ss>. Day 0 = every day, 1..7 = the
// weekday (1 = Sunday), any other number = seconds since 1970 of a date (its local day).
struct ScheduleEntry {
    std::int64_t day = 0;
    int start = 0;  // seconds of the day, both ends included
    int end = 0;
};

// nullopt for a short or malformed entry: exactly three parts, a decimal day, and times written
// hh:mm:ss with hours 0-23 and minutes and seconds 0-59.
std::optional<ScheduleEntry> ParseScheduleEntry(const std::string& text);

// Whether the entry covers the local moment `now` (broken down as localtime gives it); the
// clock breaks a date entry's seconds down into its local date.
bool ScheduleCovers(const ScheduleEntry& entry, const std::tm& now, Clock& clock);

// Whole minutes from the block time (Extra, "%ld" seconds) to now, rounded down; a block time
// that lies ahead gives a negative count.
std::int64_t ElapsedMinutes(std::int64_t blockedAt, std::int64_t now);

// The object and value that shut (block = true) or open a port.
struct PortObject {
    std::string oid;  // dotted decimal, no leading dot
    std::string value;
};

// ifAdminStatus of the port (standard = true), "2" down or "1" up; else the configured query
// <OID>/<value> with a leading "." of the OID removed. nullopt when the port key is not an
// interface index, or the query has no "/", an OID the SNMP layer does not read, or texts too long
// for one SNMP entry.
std::optional<PortObject> PortObjectFor(bool standard, bool block, const std::string& portKey,
                                        const std::string& query);

// <user>/<domain>/<password>/ as the settings hold it: each part up to the next "/"; a part not
// followed by "/" is empty.
ProcessAccount SplitLogonText(const std::string& text);

// Seconds to wait after the n-th failure in a row (n >= 1): 30, 60, 120, ... up to 600.
std::int64_t RetryDelaySeconds(int failures);

inline constexpr std::int64_t kFirstRetrySeconds = 30;
inline constexpr std::int64_t kLongestRetrySeconds = 600;

}  // namespace tarvell
