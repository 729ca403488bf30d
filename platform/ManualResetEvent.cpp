#include "platform/ManualResetEvent.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace tarvell {

namespace {

void RaiseFd(int fd) {
    const std::uint64_t one = 1;
    while (::write(fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void DrainFd(int fd) {
    std::uint64_t count = 0;
    while (::read(fd, &count, sizeof count) < 0 && errno == EINTR) {
    }
}

}  // namespace

ManualResetEvent::~ManualResetEvent() {
    if (fd_ >= 0) ::close(fd_);
}

void ManualResetEvent::Set() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!set_ && fd_ >= 0) RaiseFd(fd_);
        set_ = true;
    }
    signalled_.notify_all();
}

void ManualResetEvent::Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (set_ && fd_ >= 0) DrainFd(fd_);
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

int ManualResetEvent::PollFd() const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!fdTried_) {
        fdTried_ = true;
        fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (fd_ >= 0 && set_) RaiseFd(fd_);
    }
    return fd_;
}

}  // namespace tarvell
