#include "service/blocking/BlockingRules.h"

#include <algorithm>

#include "platform/Text.h"
#include "shared/SnmpQuery.h"
#include "service/engine/SnmpClient.h"

namespace tarvell {
namespace {

bool AllDigits(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// hh:mm:ss as seconds of the day; -1 when malformed.
int TimeOfDay(const std::string& text) {
    if (text.size() != 8 || text[2] != ':' || text[5] != ':') return -1;
    for (int i : {0, 1, 3, 4, 6, 7})
        if (text[i] < '0' || text[i] > '9') return -1;
    const int h = (text[0] - '0') * 10 + (text[1] - '0');
    const int m = (text[3] - '0') * 10 + (text[4] - '0');
    const int s = (text[6] - '0') * 10 + (text[7] - '0');
    if (h > 23 || m > 59 || s > 59) return -1;
    return h * 3600 + m * 60 + s;
}

// 1.3.6.1.2.1.2.2.1.7 ifAdminStatus, followed by the interface index
constexpr const char* kIfAdminStatus = "1.3.6.1.2.1.2.2.1.7.";

// A number that fits an interface index or an OID component.
constexpr std::size_t kMaxIndexDigits = 10;

}  // namespace

std::optional<ScheduleEntry> ParseScheduleEntry(const std::string& text) {
    const auto first = text.find('/');
    if (first == std::string::npos) return std::nullopt;
    const auto second = text.find('/', first + 1);
    if (second == std::string::npos || text.find('/', second + 1) != std::string::npos)
        return std::nullopt;
    const std::string day = text.substr(0, first);
    constexpr std::size_t kMaxDayDigits = 18;  // seconds since 1970 fit well below this
    if (!AllDigits(day) || day.size() > kMaxDayDigits) return std::nullopt;
    const int start = TimeOfDay(text.substr(first + 1, second - first - 1));
    const int end = TimeOfDay(text.substr(second + 1));
    if (start < 0 || end < 0) return std::nullopt;
    return ScheduleEntry{AtoL(day), start, end};
}

bool ScheduleCovers(const ScheduleEntry& entry, const std::tm& now, Clock& clock) {
    if (entry.day >= 1 && entry.day <= 7) {
        if (entry.day != now.tm_wday + 1) return false;
    } else if (entry.day != 0) {
        const std::tm date = clock.LocalTime(entry.day);
        if (date.tm_year != now.tm_year || date.tm_mon != now.tm_mon || date.tm_mday != now.tm_mday)
            return false;
    }
    const int second = now.tm_hour * 3600 + now.tm_min * 60 + now.tm_sec;
    return entry.start <= second && second <= entry.end;
}

std::int64_t ElapsedMinutes(std::int64_t blockedAt, std::int64_t now) {
    const std::int64_t seconds = now - blockedAt;
    // Whole minutes, rounded towards minus infinity so that a block a little in the future
    // counts as not yet old.
    return seconds >= 0 ? seconds / 60 : -((-seconds + 59) / 60);
}

std::optional<PortObject> PortObjectFor(bool standard, bool block, const std::string& portKey,
                                        const std::string& query) {
    PortObject object;
    if (standard) {
        if (!AllDigits(portKey) || portKey.size() > kMaxIndexDigits) return std::nullopt;
        // ifAdminStatus: 1 up, 2 down
        object.oid.assign(kIfAdminStatus).append(portKey);
        object.value = block ? "2" : "1";
        return object;
    }
    auto parsed = ParseBlockingQuery(query);
    if (!parsed) return std::nullopt;
    object.oid = std::move(parsed->oid);
    object.value = std::move(parsed->value);
    if (object.oid.size() >= SnmpOidEntry::kTextSize ||
        object.value.size() >= SnmpOidEntry::kTextSize)
        return std::nullopt;
    return object;
}

ProcessAccount SplitLogonText(const std::string& text) {
    ProcessAccount account;
    std::string* parts[] = {&account.user, &account.domain, &account.password};
    std::size_t from = 0;
    for (std::string* part : parts) {
        const auto slash = text.find('/', from);
        if (slash == std::string::npos) break;
        *part = text.substr(from, slash - from);
        from = slash + 1;
    }
    return account;
}

std::int64_t RetryDelaySeconds(int failures) {
    std::int64_t delay = kFirstRetrySeconds;
    for (int i = 1; i < failures && delay < kLongestRetrySeconds; ++i) delay *= 2;
    return std::min(delay, kLongestRetrySeconds);
}

}  // namespace tarvell
