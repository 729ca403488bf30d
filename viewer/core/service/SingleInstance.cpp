#include "viewer/core/service/SingleInstance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "platform/Files.h"

namespace tarvell {
namespace {

constexpr const char* kShowRequest = "show\n";
constexpr int kConnectAttempts = 20;
constexpr int kConnectWaitMs = 100;
constexpr int kAcceptPollMs = 200;

bool SocketAddress(const std::string& path, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size());
    return true;
}

}  // namespace

SingleInstance::SingleInstance(std::string folder) : folder_(std::move(folder)) {}

SingleInstance::~SingleInstance() {
    stop_ = true;
    if (listener_.joinable()) listener_.join();
    if (listenFd_.Valid()) {
        ::unlink(JoinPath(folder_, "viewer.sock").c_str());
        listenFd_.Reset();
    }
    lockFd_.Reset();  // last: the next viewer may take the lock once the socket is gone
}

std::string SingleInstance::DefaultFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/') return JoinPath(runtime, "tarvell");
    return "/tmp/tarvell-" + std::to_string(::getuid());
}

bool SingleInstance::PrepareFolder() {
    if (::mkdir(folder_.c_str(), 0700) != 0 && errno != EEXIST) {
        error_ = "cannot create " + folder_ + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::lstat(folder_.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() ||
        (st.st_mode & 077) != 0) {
        error_ = folder_ + " is not a private folder of this user";
        return false;
    }
    return true;
}

SingleInstance::Role SingleInstance::Acquire() {
    if (!PrepareFolder()) return Role::Failed;
    const std::string lockPath = JoinPath(folder_, "viewer.lock");
    lockFd_.Reset(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!lockFd_.Valid()) {
        error_ = "cannot open " + lockPath + ": " + std::strerror(errno);
        return Role::Failed;
    }
    if (::flock(lockFd_.Get(), LOCK_EX | LOCK_NB) != 0) {
        lockFd_.Reset();
        if (errno != EWOULDBLOCK) {
            error_ = "cannot lock " + lockPath + ": " + std::strerror(errno);
            return Role::Failed;
        }
        AskFirstToShow();
        return Role::Other;
    }
    // Ours: a socket left by a viewer that ended without cleaning up is replaced.
    const std::string socketPath = JoinPath(folder_, "viewer.sock");
    sockaddr_un address{};
    if (!SocketAddress(socketPath, address)) {
        error_ = "socket path too long: " + socketPath;
        return Role::First;
    }
    ::unlink(socketPath.c_str());
    listenFd_.Reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!listenFd_.Valid() ||
        ::bind(listenFd_.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listenFd_.Get(), 8) != 0) {
        error_ = "cannot listen on " + socketPath + ": " + std::strerror(errno);
        listenFd_.Reset();
    }
    return Role::First;
}

bool SingleInstance::AskFirstToShow() {
    sockaddr_un address{};
    if (!SocketAddress(JoinPath(folder_, "viewer.sock"), address)) return false;
    // The first viewer may still be starting: its socket comes right after its lock.
    for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
        const UniqueFd client(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        const int fd = client.Get();
        if (fd < 0) return false;
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
            return ::send(fd, kShowRequest, std::strlen(kShowRequest), MSG_NOSIGNAL) > 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(kConnectWaitMs));
    }
    return false;
}

bool SingleInstance::Listen(std::function<void()> onShow) {
    if (!listenFd_.Valid() || listener_.joinable()) return false;
    onShow_ = std::move(onShow);
    listener_ = std::thread([this] { ListenLoop(); });
    return true;
}

void SingleInstance::ListenLoop() {
    while (!stop_) {
        pollfd pfd{listenFd_.Get(), POLLIN, 0};
        if (::poll(&pfd, 1, kAcceptPollMs) <= 0) continue;
        const UniqueFd connection(::accept4(listenFd_.Get(), nullptr, nullptr, SOCK_CLOEXEC));
        const int fd = connection.Get();
        if (fd < 0) continue;
        // Only another viewer of this user can reach the private folder; read a few bytes at most.
        pollfd in{fd, POLLIN, 0};
        char request[16] = {};
        if (::poll(&in, 1, 1000) > 0 && ::recv(fd, request, sizeof request - 1, 0) > 0 &&
            std::strcmp(request, kShowRequest) == 0 && onShow_)
            onShow_();
    }
}

}  // namespace tarvell
