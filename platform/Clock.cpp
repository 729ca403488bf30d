#include "platform/Clock.h"

#include <thread>

namespace tarvell {

std::tm Clock::LocalTime(std::int64_t seconds) {
    std::tm out{};
    const std::time_t t = static_cast<std::time_t>(seconds);
    localtime_r(&t, &out);
    return out;
}

std::int64_t SystemClock::Now() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void SystemClock::SleepMs(std::int64_t ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

namespace {
SystemClock gSystemClock;
std::atomic<Clock*> gClock{&gSystemClock};
}  // namespace

Clock& DefaultClock() { return *gClock.load(); }

void SetDefaultClock(Clock* clock) { gClock.store(clock ? clock : &gSystemClock); }

}  // namespace tarvell
