// The prevention schedule's entries as the page stores them, read back by the service's own
// parser, and the dialog's time moves.
#include "viewer/core/protection/ScheduleEntry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "service/blocking/BlockingRules.h"

namespace tarvell {
namespace {

TEST(ScheduleEntryTest, TimesAndDaysParseOnlyTheirForms) {
    const struct {
        const char* text;
        std::optional<int> seconds;
    } times[] = {
        {"23:30:00", 84600},    {"11:30:00 PM", 84600}, {"12:00:05 AM", 5},
        {"12:00:00 PM", 43200}, {"00:00:00", 0},        {"24:00:00", {}},
        {"13:00:00 PM", {}},    {"9:5:00", {}},         {"", {}},
        {"1:00", {}},
    };
    for (const auto& c : times) EXPECT_EQ(ParseScheduleTime(c.text), c.seconds) << c.text;
    EXPECT_EQ(ParseScheduleDay("Every Day"), 0);
    EXPECT_EQ(ParseScheduleDay("every saturday"), 7);
    EXPECT_EQ(ParseScheduleDay("someday"), std::nullopt);
    EXPECT_EQ(ParseScheduleDay("2/30/2026"), std::nullopt);
    const auto date = ParseScheduleDay("12/9/2026");
    ASSERT_TRUE(date);
    EXPECT_EQ(ScheduleDayText(*date), "12/9/2026") << "a date survives a save and reopen";
}

TEST(ScheduleEntryTest, StoredEntriesAreWhatTheServiceReads) {
    ::setenv("TZ", "America/New_York", 1);
    ::tzset();
    const std::int64_t day = *ParseScheduleDay("3/8/2026");  // a day that changes the clocks
    const ScheduleRow rows[] = {{0, 0, 86399}, {3, 84600, 86399}, {day, 3600, 7200}};
    for (const ScheduleRow& row : rows) {
        const std::string stored = StoredScheduleEntry(row);
        const auto service = ParseScheduleEntry(stored);
        ASSERT_TRUE(service) << stored;
        EXPECT_EQ(service->day, row.day);
        EXPECT_EQ(service->start, row.start);
        EXPECT_EQ(service->end, row.end);
        EXPECT_EQ(ParseStoredSchedule(stored), row);
    }
    EXPECT_EQ(StoredScheduleEntry({0, *ParseScheduleTime("11:30:00 PM"), 86399}),
              "0/23:30:00/23:59:59");
    EXPECT_EQ(ParseStoredSchedule("0/11:30:00 PM/23:59:59"), std::nullopt);
    ::unsetenv("TZ");
    ::tzset();
}

TEST(ScheduleEntryTest, TheDialogMovesAndThePageOrder) {
    ScheduleRow late{0, 84600, 82800};  // start 23:30:00 after end 23:00:00
    ScheduleStartChanged(late);
    EXPECT_EQ(late.end, 86399);
    ScheduleRow early{0, 3600, 1800};  // end 00:30:00 before start 01:00:00
    ScheduleEndChanged(early);
    EXPECT_EQ(early.start, 0);
    std::vector<ScheduleRow> rows = {{1800000000, 0, 1}, {3, 5, 6}, {1700000000, 0, 1}, {0, 9, 10}};
    SortScheduleRows(rows);
    EXPECT_EQ(rows[0].day, 0);
    EXPECT_EQ(rows[1].day, 3);
    EXPECT_EQ(rows[2].day, 1700000000);
}

}  // namespace
}  // namespace tarvell
