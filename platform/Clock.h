// Time and sleeping go through a clock so that tests can run retries and passes without waiting.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>

namespace tarvell {

class Clock {
public:
    virtual ~Clock() = default;
    // Whole seconds since 1970.
    virtual std::int64_t Now() = 0;
    virtual void SleepMs(std::int64_t ms) = 0;
    // Broken-down local time of a moment (seconds since 1970).
    virtual std::tm LocalTime(std::int64_t seconds);
};

class SystemClock : public Clock {
public:
    std::int64_t Now() override;
    void SleepMs(std::int64_t ms) override;
};

// A clock that stands still until told otherwise. Sleeping advances it by the slept time and
// counts the sleeps, so a test sees how many retries were waited for without waiting.
class FakeClock : public Clock {
public:
    explicit FakeClock(std::int64_t start = 1'700'000'000) : nowMs_(start * 1000) {}
    std::int64_t Now() override { return nowMs_.load() / 1000; }
    void SleepMs(std::int64_t ms) override {
        nowMs_ += ms;
        ++sleeps_;
        sleptMs_ += ms;
    }
    void Set(std::int64_t seconds) { nowMs_ = seconds * 1000; }
    void Advance(std::int64_t seconds) { nowMs_ += seconds * 1000; }
    int Sleeps() const { return sleeps_.load(); }
    std::int64_t SleptMs() const { return sleptMs_.load(); }

private:
    std::atomic<std::int64_t> nowMs_;
    std::atomic<int> sleeps_{0};
    std::atomic<std::int64_t> sleptMs_{0};
};

// The process-wide clock: the system clock unless a test installs another one.
Clock& DefaultClock();
void SetDefaultClock(Clock* clock);  // nullptr restores the system clock

}  // namespace tarvell
