#include "shared/AlertKey.h"

#include <charconv>
#include <climits>

namespace tarvell {

std::optional<AlertKeyParts> ParseAlertKey(std::string_view key) {
    const std::size_t dot = key.find('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == key.size()) return std::nullopt;
    AlertKeyParts parts;
    const char* begin = key.data();
    const char* end = begin + key.size();
    const auto a = std::from_chars(begin, begin + dot, parts.seconds);
    const auto b = std::from_chars(begin + dot + 1, end, parts.counter);
    if (a.ec != std::errc() || a.ptr != begin + dot || b.ec != std::errc() || b.ptr != end)
        return std::nullopt;
    if (parts.seconds < 0 || parts.counter < 0) return std::nullopt;
    return parts;
}

std::pair<std::int64_t, std::int64_t> AlertKeyOrder(std::string_view key) {
    const std::optional<AlertKeyParts> parts = ParseAlertKey(key);
    if (!parts) return {INT64_MAX, INT64_MAX};
    return {parts->seconds, parts->counter};
}

std::int64_t AlertKeySeconds(std::string_view key) {
    std::int64_t seconds = 0;
    for (const char c : key) {
        if (c < '0' || c > '9') break;
        if (seconds > (INT64_MAX - 9) / 10) break;
        seconds = seconds * 10 + (c - '0');
    }
    return seconds;
}

}  // namespace tarvell
