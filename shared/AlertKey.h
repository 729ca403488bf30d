// The key of an alert in the log, the channel queues and the archives: "<seconds>.<counter>",
// the seconds of its time and a counter that keeps keys of one second apart. Keys are ordered
// by their two numbers, not as text ("10.1" comes after "9.2").
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>

namespace tarvell {

struct AlertKeyParts {
    std::int64_t seconds = 0;
    std::int64_t counter = 0;
    auto operator<=>(const AlertKeyParts&) const = default;
};

// Both numbers of a key of exactly that form (decimal digits, ".", decimal digits, nothing
// more); nullopt for any other text.
std::optional<AlertKeyParts> ParseAlertKey(std::string_view key);

// The order of a key: its two numbers, and {INT64_MAX, INT64_MAX} for a key of another form so
// that such a key sorts after every well-formed one.
std::pair<std::int64_t, std::int64_t> AlertKeyOrder(std::string_view key);

// The time of a key: its leading decimal digits (0 when there are none), saturating rather than
// overflowing on a damaged key.
std::int64_t AlertKeySeconds(std::string_view key);

}  // namespace tarvell
