// Dates and times as the system shows them to people: the en-US form "M/D/YYYY h:mm:ss AM" of
// the local time, the form every mail, report, export page and log line of the service uses.
// A time exactly at local midnight is written as its date alone, as that form always did.
#pragma once

#include <cstdint>
#include <string>

namespace tarvell {

// `seconds` since 1970, in the local time zone. Times the C library cannot convert (far outside
// the years 1..9999) give an empty text.
std::string FormatUserDateTime(std::int64_t seconds);

// The date part alone ("M/D/YYYY") of the local time.
std::string FormatUserDate(std::int64_t seconds);

}  // namespace tarvell
