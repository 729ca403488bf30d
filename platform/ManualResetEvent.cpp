#include "platform/ManualResetEvent.h"

#include <chrono>

namespace tarvell {

void ManualResetEvent::Set() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        set_ = true;
    }
    signalled_.notify_all();
}

void ManualResetEvent::Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    set_ = false;
}

bool ManualResetEvent::IsSet() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return set_;
}

void ManualResetEvent::Wait() const {
    std::unique_lock<std::mutex> lock(mutex_);
    signalled_.wait(lock, [this] { return set_; });
}

bool ManualResetEvent::WaitFor(std::int64_t ms) const {
    std::unique_lock<std::mutex> lock(mutex_);
    if (ms <= 0) return set_;
    // A steady deadline: changes of the wall clock neither shorten nor lengthen the wait.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    return signalled_.wait_until(lock, deadline, [this] { return set_; });
}

}  // namespace tarvell
