// An event that stays signalled once set, until reset; any number of threads may wait on it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace tarvell {

class ManualResetEvent {
public:
    explicit ManualResetEvent(bool initiallySet = false) : set_(initiallySet) {}
    ManualResetEvent(const ManualResetEvent&) = delete;
    ManualResetEvent& operator=(const ManualResetEvent&) = delete;

    // Signals the event and wakes every waiter.
    void Set();
    void Reset();
    bool IsSet() const;
    // Waits until the event is signalled.
    void Wait() const;
    // Waits at most `ms` milliseconds (0 or less only looks); true when signalled.
    bool WaitFor(std::int64_t ms) const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable signalled_;
    bool set_;
};

}  // namespace tarvell
