#include "platform/DateText.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace tarvell {
namespace {

// Pins the time zone for one test and puts the old one back.
class UtcZone : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("TZ");
        had_ = old != nullptr;
        if (had_) old_ = old;
        setenv("TZ", "UTC", 1);
        tzset();
    }
    void TearDown() override {
        if (had_) setenv("TZ", old_.c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }

private:
    bool had_ = false;
    std::string old_;
};

TEST_F(UtcZone, TimesReadAsMonthDayYearWithTwelveHourClock) {
    struct Case {
        std::int64_t seconds;
        const char* text;
    } cases[] = {
        {1764579903, "12/1/2025 9:05:03 AM"},   // morning, single-digit hour
        {1764622800, "12/1/2025 9:00:00 PM"},   // evening
        {1764590400, "12/1/2025 12:00:00 PM"},  // noon is 12 PM
        {1764547200, "12/1/2025"},              // midnight: the date alone
        {1764547201, "12/1/2025 12:00:01 AM"},  // just after midnight
        {0, "1/1/1970"},
    };
    for (const Case& c : cases) EXPECT_EQ(FormatUserDateTime(c.seconds), c.text) << c.seconds;
    EXPECT_EQ(FormatUserDate(1764622800), "12/1/2025");
}

TEST_F(UtcZone, TimesBeyondTheCalendarGiveNoText) {
    EXPECT_EQ(FormatUserDateTime(INT64_MAX), "");
    EXPECT_EQ(FormatUserDate(INT64_MIN), "");
}

}  // namespace
}  // namespace tarvell
