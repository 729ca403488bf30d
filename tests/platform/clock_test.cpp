#include "platform/Clock.h"

#include <gtest/gtest.h>

namespace tarvell {
namespace {

TEST(FakeClock, SleepingAdvancesTimeAndIsCounted) {
    FakeClock clock(100);
    clock.SleepMs(1500);
    clock.SleepMs(500);
    EXPECT_EQ(clock.Now(), 102);
    EXPECT_EQ(clock.Sleeps(), 2);
    EXPECT_EQ(clock.SleptMs(), 2000);
}

TEST(DefaultClock, CanBeReplacedAndRestored) {
    FakeClock fake(42);
    SetDefaultClock(&fake);
    EXPECT_EQ(DefaultClock().Now(), 42);
    SetDefaultClock(nullptr);
    EXPECT_GT(DefaultClock().Now(), 1'600'000'000);
}

}  // namespace
}  // namespace tarvell
