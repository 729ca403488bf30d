#include "platform/DateText.h"

#include <cstdio>
#include <ctime>

namespace tarvell {
namespace {

bool LocalTime(std::int64_t seconds, std::tm& out) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    if (localtime_r(&t, &out) == nullptr) return false;
    return out.tm_year + 1900 >= 1 && out.tm_year + 1900 <= 9999;
}

std::string DateOf(const std::tm& tm) {
    char text[32];
    std::snprintf(text, sizeof text, "%d/%d/%d", tm.tm_mon + 1, tm.tm_mday, tm.tm_year + 1900);
    return text;
}

}  // namespace

std::string FormatUserDateTime(std::int64_t seconds) {
    std::tm tm{};
    if (!LocalTime(seconds, tm)) return {};
    if (tm.tm_hour == 0 && tm.tm_min == 0 && tm.tm_sec == 0) return DateOf(tm);
    const int hour12 = tm.tm_hour % 12 == 0 ? 12 : tm.tm_hour % 12;
    char text[48];
    std::snprintf(text, sizeof text, " %d:%02d:%02d %s", hour12, tm.tm_min, tm.tm_sec,
                  tm.tm_hour < 12 ? "AM" : "PM");
    return DateOf(tm) + text;
}

std::string FormatUserDate(std::int64_t seconds) {
    std::tm tm{};
    if (!LocalTime(seconds, tm)) return {};
    return DateOf(tm);
}

}  // namespace tarvell
