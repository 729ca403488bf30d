#include "platform/Process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

extern char** environ;

namespace tarvell {

namespace {

using SteadyClock = std::chrono::steady_clock;

// How often the wait looks at the child when the kernel cannot tell it, and at `cancel`.
constexpr int kPollMs = 20;
// Reads after the program ended: what its remaining children still write is not waited for.
constexpr int kFinalReads = 64;

// The pointers of a vector of texts, ended by a null pointer, as exec wants them.
std::vector<char*> CArray(const std::vector<std::string>& texts) {
    std::vector<char*> out;
    out.reserve(texts.size() + 1);
    for (const auto& t : texts) out.push_back(const_cast<char*>(t.c_str()));
    out.push_back(nullptr);
    return out;
}

// One captured stream: the read end of its pipe and what was read.
struct Capture {
    int fd = -1;
    std::string* text = nullptr;
    bool* truncated = nullptr;
    std::size_t limit = 0;

    // Reads what is there now (a bounded number of reads, so that a program writing without
    // pause cannot hold up the watch); false once the stream has ended.
    bool Drain(int maxReads = 16) {
        char buffer[8192];
        for (int i = 0; fd >= 0 && i < maxReads; ++i) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno == EAGAIN) return true;
            if (n <= 0) {
                Close();
                return false;
            }
            const std::size_t room = limit - std::min(limit, text->size());
            const std::size_t take = std::min(room, static_cast<std::size_t>(n));
            text->append(buffer, take);
            if (take < static_cast<std::size_t>(n)) *truncated = true;
        }
        return fd >= 0;
    }
    void Close() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
};

class Spawner {
public:
    Spawner() {
        ::posix_spawn_file_actions_init(&actions_);
        ::posix_spawnattr_init(&attr_);
    }
    ~Spawner() {
        ::posix_spawn_file_actions_destroy(&actions_);
        ::posix_spawnattr_destroy(&attr_);
    }
    Spawner(const Spawner&) = delete;
    Spawner& operator=(const Spawner&) = delete;

    // Returns 0 and the pid, or the errno of the failure.
    int Spawn(const ProcessOptions& options, int outFd, int errFd, pid_t* pid);

private:
    int Prepare(const ProcessOptions& options, int outFd, int errFd);

    posix_spawn_file_actions_t actions_;
    posix_spawnattr_t attr_;
};

int Spawner::Prepare(const ProcessOptions& options, int outFd, int errFd) {
    int rc = ::posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0);
    if (rc == 0 && outFd >= 0) rc = ::posix_spawn_file_actions_adddup2(&actions_, outFd, 1);
    if (rc == 0 && errFd >= 0) rc = ::posix_spawn_file_actions_adddup2(&actions_, errFd, 2);
    if (rc == 0 && !options.workingDir.empty()) {
        rc = ::posix_spawn_file_actions_addchdir_np(&actions_, options.workingDir.c_str());
    }
    // Sockets and files that other threads opened without close-on-exec stay with us.
    if (rc == 0) rc = ::posix_spawn_file_actions_addclosefrom_np(&actions_, 3);

    // The service blocks its control signals in every thread and may ignore others; the
    // program starts with a clean slate.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    sigdelset(&all, SIGKILL);
    sigdelset(&all, SIGSTOP);
    if (rc == 0) rc = ::posix_spawnattr_setsigmask(&attr_, &none);
    if (rc == 0) rc = ::posix_spawnattr_setsigdefault(&attr_, &all);
    if (rc == 0) rc = ::posix_spawnattr_setpgroup(&attr_, 0);
    if (rc == 0) {
        rc = ::posix_spawnattr_setflags(
            &attr_, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    return rc;
}

int Spawner::Spawn(const ProcessOptions& options, int outFd, int errFd, pid_t* pid) {
    if (const int rc = Prepare(options, outFd, errFd); rc != 0) return rc;
    std::vector<char*> argv = CArray(options.argv);
    std::vector<char*> envp;
    if (options.environment) envp = CArray(*options.environment);
    char** env = options.environment ? envp.data() : environ;
    const bool searchPath = options.argv[0].find('/') == std::string::npos;
    return searchPath ? ::posix_spawnp(pid, argv[0], &actions_, &attr_, argv.data(), env)
                      : ::posix_spawn(pid, argv[0], &actions_, &attr_, argv.data(), env);
}

bool MakePipe(int fds[2]) { return ::pipe2(fds, O_CLOEXEC) == 0; }

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// Waits for the child, reading its output, until it ends or must be killed.
class ChildWatch {
public:
    ChildWatch(pid_t pid, const ProcessOptions& options, ProcessResult& result,
               Capture* captures)
        : pid_(pid), options_(options), result_(result), captures_(captures) {
        pidFd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
        if (options.timeLimitMs > 0) {
            deadline_ = SteadyClock::now() + std::chrono::milliseconds(options.timeLimitMs);
        }
    }
    ~ChildWatch() { CloseFd(pidFd_); }
    ChildWatch(const ChildWatch&) = delete;
    ChildWatch& operator=(const ChildWatch&) = delete;

    void Run();

private:
    // The end to report when the child must be killed now, or Exited when it may run on.
    ProcessEnd KillReason() const;
    int PollTimeout() const;
    void WaitOnce();
    void Reap(int status);

    pid_t pid_;
    const ProcessOptions& options_;
    ProcessResult& result_;
    Capture* captures_;   // two
    int pidFd_ = -1;
    std::optional<SteadyClock::time_point> deadline_;
};

ProcessEnd ChildWatch::KillReason() const {
    if (options_.cancel != nullptr && options_.cancel->IsSet()) return ProcessEnd::Cancelled;
    if (deadline_ && SteadyClock::now() >= *deadline_) return ProcessEnd::TimedOut;
    return ProcessEnd::Exited;
}

int ChildWatch::PollTimeout() const {
    std::int64_t ms = -1;
    if (deadline_) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline_ - SteadyClock::now());
        ms = std::max<std::int64_t>(0, left.count());
    }
    if (pidFd_ < 0 || options_.cancel != nullptr) ms = ms < 0 ? kPollMs : std::min<std::int64_t>(ms, kPollMs);
    return static_cast<int>(std::min<std::int64_t>(ms, 60'000));
}

void ChildWatch::WaitOnce() {
    pollfd fds[3];
    nfds_t count = 0;
    if (pidFd_ >= 0) fds[count++] = {pidFd_, POLLIN, 0};
    for (int i = 0; i < 2; ++i) {
        if (captures_[i].fd >= 0) fds[count++] = {captures_[i].fd, POLLIN, 0};
    }
    if (::poll(fds, count, PollTimeout()) < 0 && errno != EINTR) {
        // Cannot happen with valid descriptors; fall back to a short sleep.
        ::usleep(kPollMs * 1000);
    }
    for (int i = 0; i < 2; ++i) captures_[i].Drain();
}

void ChildWatch::Reap(int status) {
    if (WIFEXITED(status)) {
        result_.end = ProcessEnd::Exited;
        result_.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result_.end = ProcessEnd::Signalled;
        result_.signal = WTERMSIG(status);
    }
}

void ChildWatch::Run() {
    int status = 0;
    for (;;) {
        const pid_t r = ::waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            Reap(status);
            break;
        }
        if (r < 0 && errno != EINTR) {
            // Reaped elsewhere (SIGCHLD ignored): the status is unknown.
            result_.end = ProcessEnd::Exited;
            break;
        }
        const ProcessEnd reason = KillReason();
        if (reason != ProcessEnd::Exited) {
            ::kill(-pid_, SIGKILL);   // the group: the program and what it started
            while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
            }
            result_.end = reason;
            result_.signal = SIGKILL;
            break;
        }
        WaitOnce();
    }
    for (int i = 0; i < 2; ++i) {
        captures_[i].Drain(kFinalReads);
        captures_[i].Close();
    }
}

}  // namespace

ProcessResult RunProcess(const ProcessOptions& options) {
    ProcessResult result;
    if (options.argv.empty() || options.argv[0].empty()) {
        result.error = EINVAL;
        return result;
    }
    int outPipe[2] = {-1, -1}, errPipe[2] = {-1, -1};
    if (options.captureOutput && (!MakePipe(outPipe) || !MakePipe(errPipe))) {
        result.error = errno;
        for (int* fd : {&outPipe[0], &outPipe[1], &errPipe[0], &errPipe[1]}) CloseFd(*fd);
        return result;
    }
    pid_t pid = -1;
    int rc;
    {
        Spawner spawner;
        rc = spawner.Spawn(options, outPipe[1], errPipe[1], &pid);
    }
    CloseFd(outPipe[1]);
    CloseFd(errPipe[1]);
    if (rc != 0) {
        result.error = rc;
        CloseFd(outPipe[0]);
        CloseFd(errPipe[0]);
        return result;
    }
    result.pid = pid;
    Capture captures[2] = {
        {outPipe[0], &result.out, &result.outTruncated, options.maxOutputBytes},
        {errPipe[0], &result.err, &result.errTruncated, options.maxOutputBytes}};
    for (const auto& c : captures) {
        if (c.fd >= 0) ::fcntl(c.fd, F_SETFL, ::fcntl(c.fd, F_GETFL) | O_NONBLOCK);
    }
    ChildWatch(pid, options, result, captures).Run();
    return result;
}

}  // namespace tarvell
