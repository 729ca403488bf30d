// An event that stays signalled once set, until reset; any number of threads may wait on it.
// A thread that waits on a socket as well can poll the event's descriptor beside it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace tarvell {

class ManualResetEvent {
public:
    explicit ManualResetEvent(bool initiallySet = false) : set_(initiallySet) {}
    ~ManualResetEvent();
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
    // A descriptor that polls readable (POLLIN) exactly while the event is set, made at the
    // first call and owned by the event; -1 when the system gives none (the caller then looks
    // at IsSet now and then). Never read it: Reset does.
    int PollFd() const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable signalled_;
    bool set_;
    mutable int fd_ = -1;           // [mutex_] eventfd holding 1 while set_, made on demand
    mutable bool fdTried_ = false;  // [mutex_]
};

}  // namespace tarvell
