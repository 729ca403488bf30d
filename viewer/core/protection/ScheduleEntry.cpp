#include "viewer/core/protection/ScheduleEntry.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "platform/DateText.h"
#include "platform/Text.h"

namespace tarvell {

namespace {

constexpr int kLastSecond = 24 * 3600 - 1;

// Decimal digits only, 1..`maxDigits` of them.
std::optional<int> Number(const std::string& text, std::size_t maxDigits) {
    if (text.empty() || text.size() > maxDigits) return std::nullopt;
    int n = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + (c - '0');
    }
    return n;
}

std::vector<std::string> Split(const std::string& text, char at) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (;;) {
        const std::size_t next = text.find(at, from);
        parts.push_back(text.substr(from, next - from));
        if (next == std::string::npos) return parts;
        from = next + 1;
    }
}

bool IsWeekly(std::int64_t day) { return day >= 0 && day <= 7; }

}  // namespace

const std::vector<std::string>& ScheduleDayTexts() {
    static const std::vector<std::string> texts = {
        "Every Day",       "Every Sunday",   "Every Monday", "Every Tuesday",
        "Every Wednesday", "Every Thursday", "Every Friday", "Every Saturday"};
    return texts;
}

std::string ScheduleDayText(std::int64_t day) {
    return IsWeekly(day) ? ScheduleDayTexts()[static_cast<std::size_t>(day)] : FormatUserDate(day);
}

std::optional<std::int64_t> ParseScheduleDay(const std::string& text) {
    const std::string trimmed = Trim(text);
    const auto& texts = ScheduleDayTexts();
    for (std::size_t i = 0; i < texts.size(); ++i)
        if (EqualsNoCase(trimmed, texts[i])) return static_cast<std::int64_t>(i);
    const std::vector<std::string> parts = Split(trimmed, '/');
    if (parts.size() != 3) return std::nullopt;
    const auto month = Number(parts[0], 2), day = Number(parts[1], 2), year = Number(parts[2], 4);
    if (!month || !day || !year || *month < 1 || *month > 12 || *day < 1 || *day > 31 ||
        *year < 1971)
        return std::nullopt;
    std::tm local{};
    local.tm_year = *year - 1900;
    local.tm_mon = *month - 1;
    local.tm_mday = *day;
    local.tm_isdst = -1;
    const std::time_t midnight = std::mktime(&local);
    // mktime moves 2/30 to 3/2: such a date is refused.
    if (midnight == -1 || local.tm_mday != *day || local.tm_mon != *month - 1) return std::nullopt;
    return static_cast<std::int64_t>(midnight);
}

std::string ScheduleTimeText(int seconds) {
    seconds = std::clamp(seconds, 0, kLastSecond);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
    return text;
}

std::optional<int> ParseScheduleTime(const std::string& text) {
    std::string clock = Trim(text);
    std::optional<bool> pm;
    if (clock.size() > 3 && clock[clock.size() - 3] == ' ') {
        const std::string suffix = ToUpperAscii(clock.substr(clock.size() - 2));
        if (suffix != "AM" && suffix != "PM") return std::nullopt;
        pm = suffix == "PM";
        clock.resize(clock.size() - 3);
    }
    const std::vector<std::string> parts = Split(clock, ':');
    if (parts.size() != 3) return std::nullopt;
    const auto h = Number(parts[0], 2), m = Number(parts[1], 2), s = Number(parts[2], 2);
    if (!h || !m || !s || *m > 59 || *s > 59 || parts[1].size() != 2 || parts[2].size() != 2)
        return std::nullopt;
    int hours = *h;
    if (pm) {
        if (hours < 1 || hours > 12) return std::nullopt;
        hours = hours % 12 + (*pm ? 12 : 0);
    } else if (hours > 23) {
        return std::nullopt;
    }
    return hours * 3600 + *m * 60 + *s;
}

std::string StoredScheduleEntry(const ScheduleRow& row) {
    return std::to_string(row.day) + "/" + ScheduleTimeText(row.start) + "/" +
           ScheduleTimeText(row.end);
}

std::optional<ScheduleRow> ParseStoredSchedule(const std::string& entry) {
    const std::vector<std::string> parts = Split(entry, '/');
    if (parts.size() != 3 || parts[0].empty() || parts[0].size() > 18) return std::nullopt;
    for (const char c : parts[0])
        if (c < '0' || c > '9') return std::nullopt;
    const auto start = ParseScheduleTime(parts[1]), end = ParseScheduleTime(parts[2]);
    // The stored form is 24 hours: "h:mm:ss PM" is not what the service reads.
    if (!start || !end || parts[1].size() != 8 || parts[2].size() != 8) return std::nullopt;
    return ScheduleRow{std::stoll(parts[0]), *start, *end};
}

void ScheduleStartChanged(ScheduleRow& row) {
    if (row.start >= row.end) row.end = std::min(row.start + 3600, kLastSecond);
}

void ScheduleEndChanged(ScheduleRow& row) {
    if (row.start >= row.end) row.start = std::max(row.end - 3600, 0);
}

void SortScheduleRows(std::vector<ScheduleRow>& rows) { SortScheduleRowsBy(rows, 0, true); }

void SortScheduleRowsBy(std::vector<ScheduleRow>& rows, int column, bool ascending) {
    const auto less = [column](const ScheduleRow& a, const ScheduleRow& b) {
        if (column == 1) return a.start < b.start;
        if (column == 2) return a.end < b.end;
        const bool aw = IsWeekly(a.day), bw = IsWeekly(b.day);
        if (aw != bw) return aw;
        if (a.day != b.day) return a.day < b.day;
        return a.start < b.start;
    };
    std::stable_sort(rows.begin(), rows.end(), [&](const ScheduleRow& a, const ScheduleRow& b) {
        return ascending ? less(a, b) : less(b, a);
    });
}

}  // namespace tarvell
