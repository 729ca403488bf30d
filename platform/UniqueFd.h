// Owns one file descriptor and closes it when it goes, without disturbing errno, which the code
// that failed may still report. Moves, never copies.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <utility>

namespace tarvell {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    // Gives the descriptor up without closing it.
    int Release() { return std::exchange(fd_, -1); }
    // Closes the held descriptor now, for a caller that must know whether the close failed (a
    // write-back error may show only there): false with errno set by close.
    bool Close() { return ::close(Release()) == 0; }
    // Closes the held descriptor (if any) and holds `fd`.
    void Reset(int fd = -1) {
        if (fd_ >= 0) {
            const int saved = errno;
            ::close(fd_);
            errno = saved;
        }
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

}  // namespace tarvell
