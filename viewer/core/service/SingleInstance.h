// One viewer per user session. The first viewer holds a lock file and listens on a local socket
// beside it; a later start finds the lock held, asks the first to open its window through the
// socket, and ends. The folder is private to the user ($XDG_RUNTIME_DIR/tarvell, else
// /tmp/tarvell-<uid>, mode 0700); a folder owned by someone else or open to others is refused.
//
// Threads: Acquire and the destructor on the owner's thread; the callback given to Listen runs
// on the listener's own thread (the frame re-emits it to the user-interface thread).
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "platform/UniqueFd.h"

namespace tarvell {

class SingleInstance {
public:
    enum class Role {
        First,   // this is the viewer: it holds the lock
        Other,   // another viewer runs and was asked to show its window
        Failed,  // the folder or lock could not be used (the viewer may run unguarded)
    };

    explicit SingleInstance(std::string folder = DefaultFolder());
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    Role Acquire();
    // First only: calls `onShow` for every later start, until destruction.
    bool Listen(std::function<void()> onShow);

    static std::string DefaultFolder();
    const std::string& Error() const { return error_; }

private:
    bool PrepareFolder();
    bool AskFirstToShow();
    void ListenLoop();

    const std::string folder_;
    std::string error_;
    UniqueFd lockFd_;
    UniqueFd listenFd_;
    std::function<void()> onShow_;
    std::atomic<bool> stop_{false};
    std::thread listener_;
};

}  // namespace tarvell
