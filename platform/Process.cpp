#include "platform/Process.h"
#include "platform/ErrnoText.h"
#include "platform/UniqueFd.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <security/pam_appl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

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
    UniqueFd fd;
    std::string* text = nullptr;
    bool* truncated = nullptr;
    std::size_t limit = 0;

    // Reads what is there now (a bounded number of reads, so that a program writing without
    // pause cannot hold up the watch); false once the stream has ended.
    bool Drain(int maxReads = 16) {
        char buffer[8192];
        for (int i = 0; fd.Valid() && i < maxReads; ++i) {
            const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
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
        return fd.Valid();
    }
    void Close() { fd.Reset(); }
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
    int Spawn(const ProcessOptions& options, int inFd, int outFd, int errFd, pid_t* pid);

private:
    int Prepare(const ProcessOptions& options, int inFd, int outFd, int errFd);

    posix_spawn_file_actions_t actions_;
    posix_spawnattr_t attr_;
};

int Spawner::Prepare(const ProcessOptions& options, int inFd, int outFd, int errFd) {
    int rc = inFd >= 0 ? ::posix_spawn_file_actions_adddup2(&actions_, inFd, 0)
                       : ::posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0);
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

int Spawner::Spawn(const ProcessOptions& options, int inFd, int outFd, int errFd, pid_t* pid) {
    if (const int rc = Prepare(options, inFd, outFd, errFd); rc != 0) return rc;
    std::vector<char*> argv = CArray(options.argv);
    std::vector<char*> envp;
    if (options.environment) envp = CArray(*options.environment);
    char** env = options.environment ? envp.data() : environ;
    const bool searchPath = options.argv[0].find('/') == std::string::npos;
    return searchPath ? ::posix_spawnp(pid, argv[0], &actions_, &attr_, argv.data(), env)
                      : ::posix_spawn(pid, argv[0], &actions_, &attr_, argv.data(), env);
}

// Opens a pipe whose ends are not inherited at an exec. false with errno when there is none.
bool MakePipe(UniqueFd& readEnd, UniqueFd& writeEnd) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    readEnd.Reset(fds[0]);
    writeEnd.Reset(fds[1]);
    return true;
}

// Waits for the child, reading its output, until it ends or must be killed.
class ChildWatch {
public:
    ChildWatch(pid_t pid, const ProcessOptions& options, ProcessResult& result, Capture* captures)
        : pid_(pid), options_(options), result_(result), captures_(captures) {
        pidFd_.Reset(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
        if (options.timeLimitMs > 0) {
            deadline_ = SteadyClock::now() + std::chrono::milliseconds(options.timeLimitMs);
        }
    }

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
    Capture* captures_;  // two
    UniqueFd pidFd_;
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
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(*deadline_ - SteadyClock::now());
        ms = std::max<std::int64_t>(0, left.count());
    }
    if (!pidFd_.Valid() || options_.cancel != nullptr)
        ms = ms < 0 ? kPollMs : std::min<std::int64_t>(ms, kPollMs);
    return static_cast<int>(std::min<std::int64_t>(ms, 60'000));
}

void ChildWatch::WaitOnce() {
    pollfd fds[3];
    nfds_t count = 0;
    if (pidFd_.Valid()) fds[count++] = {pidFd_.Get(), POLLIN, 0};
    for (int i = 0; i < 2; ++i) {
        if (captures_[i].fd.Valid()) fds[count++] = {captures_[i].fd.Get(), POLLIN, 0};
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
            ::kill(-pid_, SIGKILL);  // the group: the program and what it started
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

void NotStarted(ProcessResult& result, int error, const std::string& why) {
    result.end = ProcessEnd::NotStarted;
    result.error = error;
    result.errorText = why;
    if (error != 0) result.errorText += std::string(" (") + ErrnoText(error) + ")";
}

// ---- accounts

constexpr std::size_t kMaxUserName = 256;
constexpr std::size_t kMaxPassword = 512;

// The ids and texts a child needs to become a local user, found before the fork (the child may
// only make system calls).
struct AccountIds {
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups;
    std::string name;
    std::string home;
};

bool FindUser(const std::string& user, AccountIds& ids, std::string* why) {
    if (user.empty() || user.size() > kMaxUserName || user.find('\0') != std::string::npos) {
        *why = "the user name is empty or not a name";
        return false;
    }
    std::vector<char> buffer(16 * 1024);
    passwd entry{};
    passwd* found = nullptr;
    int rc;
    while ((rc = ::getpwnam_r(user.c_str(), &entry, buffer.data(), buffer.size(), &found)) ==
               ERANGE &&
           buffer.size() < 1024 * 1024) {
        buffer.resize(buffer.size() * 2);
    }
    if (rc != 0 || found == nullptr) {
        *why = "no local user " + user;
        if (rc != 0) *why += std::string(" (") + ErrnoText(rc) + ")";
        return false;
    }
    ids.uid = entry.pw_uid;
    ids.gid = entry.pw_gid;
    ids.name = entry.pw_name;
    ids.home = entry.pw_dir != nullptr ? entry.pw_dir : "/";
    int count = 32;
    for (int tries = 0; tries < 8; ++tries) {
        ids.groups.resize(static_cast<std::size_t>(count));
        int n = count;
        if (::getgrouplist(ids.name.c_str(), ids.gid, ids.groups.data(), &n) >= 0) {
            ids.groups.resize(static_cast<std::size_t>(n));
            return true;
        }
        count = std::max(n, count * 2);
    }
    *why = "the groups of " + user + " could not be listed";
    return false;
}

struct PamAnswers {
    const std::string* user;
    const std::string* password;
};

// Answers PAM's prompts: the password to hidden ones, the user name to visible ones. PAM frees
// what is returned.
int AnswerPam(int count, const pam_message** messages, pam_response** responses, void* data) {
    if (count <= 0 || count > PAM_MAX_NUM_MSG) return PAM_CONV_ERR;
    const auto* answers = static_cast<const PamAnswers*>(data);
    auto* replies = static_cast<pam_response*>(
        std::calloc(static_cast<std::size_t>(count), sizeof(pam_response)));
    if (replies == nullptr) return PAM_BUF_ERR;
    for (int i = 0; i < count; ++i) {
        const char* text = nullptr;
        if (messages[i]->msg_style == PAM_PROMPT_ECHO_OFF) text = answers->password->c_str();
        if (messages[i]->msg_style == PAM_PROMPT_ECHO_ON) text = answers->user->c_str();
        if (text == nullptr) continue;  // information and error texts need no answer
        replies[i].resp = ::strdup(text);
        if (replies[i].resp == nullptr) {
            for (int j = 0; j < i; ++j) std::free(replies[j].resp);
            std::free(replies);
            return PAM_BUF_ERR;
        }
    }
    *responses = replies;
    return PAM_SUCCESS;
}

// The service checks configured passwords, not a person at a prompt: a refusal is answered at
// once instead of after the modules' delay, which would hold a worker for seconds.
void NoFailDelay(int, unsigned, void*) {}

// Some PAM modules keep state between calls; one check at a time.
std::mutex pamMutex;

bool CheckPassword(const std::string& user, const std::string& password, std::string* why) {
    if (password.size() > kMaxPassword || password.find('\0') != std::string::npos) {
        *why = "the password is too long or not a text";
        return false;
    }
    std::lock_guard<std::mutex> guard(pamMutex);
    PamAnswers answers{&user, &password};
    const pam_conv conversation{AnswerPam, &answers};
    pam_handle_t* handle = nullptr;
    int rc = ::pam_start(kPamService, user.c_str(), &conversation, &handle);
    if (rc != PAM_SUCCESS) {
        *why = std::string("PAM could not be started (") + ::pam_strerror(handle, rc) + ")";
        if (handle != nullptr) ::pam_end(handle, rc);
        return false;
    }
    void (*noDelay)(int, unsigned, void*) = NoFailDelay;
    ::pam_set_item(handle, PAM_FAIL_DELAY, reinterpret_cast<const void*>(noDelay));
    rc = ::pam_authenticate(handle, PAM_SILENT | PAM_DISALLOW_NULL_AUTHTOK);
    if (rc == PAM_SUCCESS) rc = ::pam_acct_mgmt(handle, PAM_SILENT | PAM_DISALLOW_NULL_AUTHTOK);
    if (rc != PAM_SUCCESS)
        *why = std::string("the log-on of ") + user + " was refused (" +
               ::pam_strerror(handle, rc) + ")";
    ::pam_end(handle, rc);
    return rc == PAM_SUCCESS;
}

// The environment of a program run as `ids`: the given one (or the caller's) with HOME, USER
// and LOGNAME of the user.
std::vector<std::string> AccountEnvironment(const ProcessOptions& options, const AccountIds& ids) {
    std::vector<std::string> env;
    if (options.environment) {
        env = *options.environment;
    } else {
        for (char** e = environ; e != nullptr && *e != nullptr; ++e) env.emplace_back(*e);
    }
    std::erase_if(env, [](const std::string& entry) {
        return entry.starts_with("HOME=") || entry.starts_with("USER=") ||
               entry.starts_with("LOGNAME=");
    });
    env.push_back("HOME=" + ids.home);
    env.push_back("USER=" + ids.name);
    env.push_back("LOGNAME=" + ids.name);
    return env;
}

// What the child reports through its status pipe when it cannot exec.
enum class ChildStage : int { Setup = 1, Account = 2, Exec = 3 };
struct ChildFailure {
    int stage;
    int error;
};

[[noreturn]] void ChildFail(int statusFd, ChildStage stage, int error) {
    const ChildFailure failure{static_cast<int>(stage), error};
    [[maybe_unused]] const ssize_t n = ::write(statusFd, &failure, sizeof failure);
    ::_exit(127);
}

// Runs in the child between fork and exec: system calls only, no allocation, no lock.
[[noreturn]] void ChildMain(const ProcessOptions& options, const AccountIds& ids, bool switchUser,
                            char** argv, char** envp, int inFd, int outFd, int errFd,
                            int statusFd) {
    for (int s = 1; s < NSIG; ++s) {
        if (s != SIGKILL && s != SIGSTOP) ::signal(s, SIG_DFL);
    }
    if (::setpgid(0, 0) != 0) ChildFail(statusFd, ChildStage::Setup, errno);
    if (inFd >= 0) {
        if (::dup2(inFd, 0) < 0) ChildFail(statusFd, ChildStage::Setup, errno);
    } else {
        const int null = ::open("/dev/null", O_RDONLY);
        if (null < 0 || ::dup2(null, 0) < 0) ChildFail(statusFd, ChildStage::Setup, errno);
        if (null != 0) ::close(null);
    }
    if (outFd >= 0 && ::dup2(outFd, 1) < 0) ChildFail(statusFd, ChildStage::Setup, errno);
    if (errFd >= 0 && ::dup2(errFd, 2) < 0) ChildFail(statusFd, ChildStage::Setup, errno);
    if (switchUser) {
        if (::setgroups(ids.groups.size(), ids.groups.data()) != 0 || ::setgid(ids.gid) != 0 ||
            ::setuid(ids.uid) != 0) {
            ChildFail(statusFd, ChildStage::Account, errno);
        }
        // A user that is not root must not be able to take root back.
        if (ids.uid != 0 && (::setuid(0) == 0 || ::geteuid() != ids.uid)) {
            ChildFail(statusFd, ChildStage::Account, EPERM);
        }
    }
    if (!options.workingDir.empty() && ::chdir(options.workingDir.c_str()) != 0) {
        ChildFail(statusFd, ChildStage::Setup, errno);
    }
    // Sockets and files that other threads opened without close-on-exec stay with us; the
    // status pipe closes at the exec.
    if (statusFd > 3) ::close_range(3, static_cast<unsigned>(statusFd - 1), 0);
    ::close_range(static_cast<unsigned>(statusFd + 1), ~0u, 0);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    if (std::strchr(argv[0], '/') == nullptr) {
        ::execvpe(argv[0], argv, envp);
    } else {
        ::execve(argv[0], argv, envp);
    }
    ChildFail(statusFd, ChildStage::Exec, errno);
}

// Starts the program under an account: fork, become the user, exec. false with result filled
// when nothing runs.
bool LaunchAs(const ProcessOptions& options, int inFd, int outFd, int errFd, pid_t* pid,
              ProcessResult& result) {
    const ProcessAccount& account = *options.account;
    AccountIds ids;
    std::string why;
    if (!FindUser(account.user, ids, &why) ||
        (!account.password.empty() && !CheckPassword(ids.name, account.password, &why))) {
        result.logonFailed = true;
        NotStarted(result, EACCES, why);
        return false;
    }
    // Root switches to any user, root included; another caller can only run as itself.
    const bool switchUser = ::geteuid() == 0 || ids.uid != ::geteuid();
    const std::vector<std::string> environment = AccountEnvironment(options, ids);
    std::vector<char*> argv = CArray(options.argv);
    std::vector<char*> envp = CArray(environment);

    UniqueFd statusRead, statusWrite;
    if (!MakePipe(statusRead, statusWrite)) {
        NotStarted(result, errno, "no status pipe");
        return false;
    }
    // The child must not run the parent's signal handlers before it reset them.
    sigset_t all, old;
    sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &old);
    const pid_t child = ::fork();
    if (child == 0) {
        // The child never returns from here, so nothing of the parent's is destroyed in it.
        ::close(statusRead.Get());
        ChildMain(options, ids, switchUser, argv.data(), envp.data(), inFd, outFd, errFd,
                  statusWrite.Get());
    }
    const int forkError = errno;
    ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
    statusWrite.Reset();
    if (child < 0) {
        NotStarted(result, forkError, "no process could be made");
        return false;
    }
    ChildFailure failure{};
    ssize_t n;
    while ((n = ::read(statusRead.Get(), &failure, sizeof failure)) < 0 && errno == EINTR) {
    }
    statusRead.Reset();
    if (n == 0) {
        *pid = child;
        return true;
    }
    while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    if (n != static_cast<ssize_t>(sizeof failure)) {
        NotStarted(result, EIO, "the program's start could not be followed");
    } else if (failure.stage == static_cast<int>(ChildStage::Account)) {
        result.logonFailed = true;
        NotStarted(result, failure.error, "the account " + ids.name + " could not be taken");
    } else {
        NotStarted(result, failure.error,
                   "the program " + options.argv[0] + " could not be started");
    }
    return false;
}

// Starts the program; false with result filled (NotStarted) when nothing runs.
bool Launch(const ProcessOptions& options, int inFd, int outFd, int errFd, pid_t* pid,
            ProcessResult& result) {
    if (options.argv.empty() || options.argv[0].empty()) {
        NotStarted(result, EINVAL, "no program given");
        return false;
    }
    if (options.account) return LaunchAs(options, inFd, outFd, errFd, pid, result);
    int rc;
    {
        Spawner spawner;
        rc = spawner.Spawn(options, inFd, outFd, errFd, pid);
    }
    if (rc != 0) {
        NotStarted(result, rc, "the program " + options.argv[0] + " could not be started");
        return false;
    }
    return true;
}

}  // namespace

ProcessResult RunProcess(const ProcessOptions& options) {
    ProcessResult result;
    UniqueFd outRead, outWrite, errRead, errWrite;
    if (options.captureOutput && (!MakePipe(outRead, outWrite) || !MakePipe(errRead, errWrite))) {
        NotStarted(result, errno, "no pipe for its output");
        return result;
    }
    pid_t pid = -1;
    const bool started = Launch(options, -1, outWrite.Get(), errWrite.Get(), &pid, result);
    outWrite.Reset();
    errWrite.Reset();
    if (!started) return result;
    result.pid = pid;
    Capture captures[2] = {
        {std::move(outRead), &result.out, &result.outTruncated, options.maxOutputBytes},
        {std::move(errRead), &result.err, &result.errTruncated, options.maxOutputBytes}};
    for (const auto& c : captures) {
        if (c.fd.Valid()) ::fcntl(c.fd.Get(), F_SETFL, ::fcntl(c.fd.Get(), F_GETFL) | O_NONBLOCK);
    }
    ChildWatch(pid, options, result, captures).Run();
    return result;
}

// ---- programs not waited for

struct ProcessReaper::State {
    struct Child {
        pid_t pid = -1;
        UniqueFd pidFd;  // none when the kernel offers none: looked at every kPollMs
        std::optional<SteadyClock::time_point> deadline;
        EndHandler onEnd;
    };

    explicit State(std::size_t limit) : maxRunning(limit) {
        wakeFd.Reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    }

    void Wake() {
        if (wakeFd.Valid()) {
            const std::uint64_t one = 1;
            [[maybe_unused]] const ssize_t n = ::write(wakeFd.Get(), &one, sizeof one);
        }
    }
    void Loop();
    // Reaps what ended and kills what is overdue; the ended ones move to `ended`.
    void Collect(bool stopping, std::vector<std::pair<EndHandler, ProcessResult>>& ended);

    const std::size_t maxRunning;
    UniqueFd wakeFd;
    mutable std::mutex lock;
    mutable std::condition_variable changed;
    std::vector<Child> children;  // [lock]
    std::size_t starting = 0;     // [lock] slots taken by starts in progress
    bool stopping = false;        // [lock]
    std::thread thread;
};

void ProcessReaper::State::Collect(bool stop,
                                   std::vector<std::pair<EndHandler, ProcessResult>>& ended) {
    const auto now = SteadyClock::now();
    for (auto it = children.begin(); it != children.end();) {
        ProcessResult result;
        result.pid = it->pid;
        int status = 0;
        pid_t r = ::waitpid(it->pid, &status, WNOHANG);
        if (r == 0 && (stop || (it->deadline && now >= *it->deadline))) {
            ::kill(-it->pid, SIGKILL);  // the group: the program and what it started
            while ((r = ::waitpid(it->pid, &status, 0)) < 0 && errno == EINTR) {
            }
            result.end = stop ? ProcessEnd::Cancelled : ProcessEnd::TimedOut;
            result.signal = SIGKILL;
        } else if (r == it->pid) {
            if (WIFEXITED(status)) {
                result.end = ProcessEnd::Exited;
                result.exitCode = WEXITSTATUS(status);
            } else {
                result.end = ProcessEnd::Signalled;
                result.signal = WTERMSIG(status);
            }
        } else if (r < 0 && errno != EINTR) {
            result.end = ProcessEnd::Exited;  // reaped elsewhere: the status is unknown
        } else {
            ++it;
            continue;
        }
        it->pidFd.Reset();
        ended.emplace_back(std::move(it->onEnd), std::move(result));
        it = children.erase(it);
    }
}

void ProcessReaper::State::Loop() {
    for (;;) {
        std::vector<pollfd> fds;
        int timeout = -1;
        {
            std::lock_guard<std::mutex> guard(lock);
            if (stopping) break;
            fds.push_back({wakeFd.Get(), POLLIN, 0});
            const auto now = SteadyClock::now();
            for (const Child& c : children) {
                if (c.pidFd.Valid()) {
                    fds.push_back({c.pidFd.Get(), POLLIN, 0});
                } else {
                    timeout = timeout < 0 ? kPollMs : std::min(timeout, kPollMs);
                }
                if (c.deadline) {
                    const auto left =
                        std::chrono::ceil<std::chrono::milliseconds>(*c.deadline - now).count();
                    const int ms = static_cast<int>(std::clamp<std::int64_t>(left, 0, 60'000));
                    timeout = timeout < 0 ? ms : std::min(timeout, ms);
                }
            }
            if (!wakeFd.Valid()) timeout = timeout < 0 ? kPollMs : std::min(timeout, kPollMs);
        }
        if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) ::usleep(kPollMs * 1000);
        std::uint64_t count;
        while (wakeFd.Valid() && ::read(wakeFd.Get(), &count, sizeof count) > 0) {
        }
        std::vector<std::pair<EndHandler, ProcessResult>> ended;
        {
            std::lock_guard<std::mutex> guard(lock);
            if (stopping) break;
            Collect(false, ended);
        }
        for (auto& [handler, result] : ended) {
            if (handler) handler(result);
        }
        if (!ended.empty()) changed.notify_all();
    }
    std::vector<std::pair<EndHandler, ProcessResult>> ended;
    {
        std::lock_guard<std::mutex> guard(lock);
        Collect(true, ended);
    }
    for (auto& [handler, result] : ended) {
        if (handler) handler(result);
    }
    changed.notify_all();
}

ProcessReaper::ProcessReaper(std::size_t maxRunning)
    : state_(std::make_shared<State>(std::max<std::size_t>(1, maxRunning))) {
    state_->thread = std::thread([state = state_.get()] { state->Loop(); });
}

ProcessReaper::~ProcessReaper() {
    {
        std::lock_guard<std::mutex> guard(state_->lock);
        state_->stopping = true;
    }
    state_->Wake();
    if (state_->thread.joinable()) state_->thread.join();
}

std::size_t ProcessReaper::Running() const {
    std::lock_guard<std::mutex> guard(state_->lock);
    return state_->children.size();
}

bool ProcessReaper::WaitIdle(std::int64_t ms) const {
    std::unique_lock<std::mutex> guard(state_->lock);
    return state_->changed.wait_for(
        guard, std::chrono::milliseconds(std::max<std::int64_t>(0, ms)),
        [&] { return state_->children.empty() && state_->starting == 0; });
}

ProcessResult StartProcess(const ProcessOptions& options, ProcessReaper& reaper,
                           ProcessReaper::EndHandler onEnd) {
    ProcessReaper::State& state = *reaper.state_;
    ProcessResult result;
    {
        std::lock_guard<std::mutex> guard(state.lock);
        if (state.stopping || state.children.size() + state.starting >= state.maxRunning) {
            NotStarted(result, EAGAIN, "too many programs are running");
            return result;
        }
        ++state.starting;
    }
    pid_t pid = -1;
    const bool started = Launch(options, -1, -1, -1, &pid, result);
    {
        std::lock_guard<std::mutex> guard(state.lock);
        --state.starting;
        if (started && state.stopping) {
            // The reaper stopped while this one started: it is not left behind.
            ::kill(-pid, SIGKILL);
            while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
            NotStarted(result, ECANCELED, "the program's reaper was stopping");
        } else if (started) {
            ProcessReaper::State::Child child;
            child.pid = pid;
            child.pidFd.Reset(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
            if (options.timeLimitMs > 0) {
                child.deadline =
                    SteadyClock::now() + std::chrono::milliseconds(options.timeLimitMs);
            }
            child.onEnd = std::move(onEnd);
            state.children.push_back(std::move(child));
            result.end = ProcessEnd::Running;
            result.pid = pid;
        }
    }
    state.Wake();
    if (!started) state.changed.notify_all();
    return result;
}

// ---- a program spoken to over its standard input and output

ProcessPipe::~ProcessPipe() { Kill(); }

bool ProcessPipe::Start(const ProcessOptions& options, std::string* why) {
    Kill();
    UniqueFd inRead, inWrite, outRead, outWrite;
    if (!MakePipe(inRead, inWrite) || !MakePipe(outRead, outWrite)) {
        *why = std::string("no pipe (") + ErrnoText(errno) + ")";
        return false;
    }
    ProcessResult result;
    pid_t pid = -1;
    const bool started = Launch(options, inRead.Get(), outWrite.Get(), -1, &pid, result);
    inRead.Reset();
    outWrite.Reset();
    if (!started) {
        *why = result.errorText;
        return false;
    }
    pid_ = pid;
    toChild_ = std::move(inWrite);
    fromChild_ = std::move(outRead);
    ::fcntl(fromChild_.Get(), F_SETFL, ::fcntl(fromChild_.Get(), F_GETFL) | O_NONBLOCK);
    ::fcntl(toChild_.Get(), F_SETFL, ::fcntl(toChild_.Get(), F_GETFL) | O_NONBLOCK);
    buffer_.clear();
    return true;
}

namespace {

// Waits for one descriptor until the deadline, in slices that look at `cancel`; false when the
// time is up, the cancel event is set or poll fails.
bool WaitFd(int fd, short events, SteadyClock::time_point deadline,
            const ManualResetEvent* cancel) {
    for (;;) {
        if (cancel != nullptr && cancel->IsSet()) return false;
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
        if (left <= 0) return false;
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, static_cast<int>(std::min<std::int64_t>(left, 100)));
        if (n > 0) return true;
        if (n < 0 && errno != EINTR) return false;
    }
}

}  // namespace

bool ProcessPipe::WriteLine(std::string_view line, std::int64_t limitMs,
                            const ManualResetEvent* cancel) {
    if (!toChild_.Valid()) return false;
    std::string data(line);
    data += '\n';
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(limitMs);
    // A program that ended must not end the caller with SIGPIPE: the signal is blocked in this
    // thread while writing and a pending one is taken before the mask is restored.
    sigset_t pipeOnly, old;
    sigemptyset(&pipeOnly);
    sigaddset(&pipeOnly, SIGPIPE);
    ::pthread_sigmask(SIG_BLOCK, &pipeOnly, &old);
    bool ok = true;
    std::size_t done = 0;
    while (ok && done < data.size()) {
        const ssize_t n = ::write(toChild_.Get(), data.data() + done, data.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            ok = WaitFd(toChild_.Get(), POLLOUT, deadline, cancel);
        } else {
            if (errno == EPIPE) {
                const timespec zero{0, 0};
                ::sigtimedwait(&pipeOnly, nullptr, &zero);
            }
            ok = false;
        }
    }
    ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return ok;
}

std::optional<std::string> ProcessPipe::ReadLine(std::size_t maxBytes, std::int64_t limitMs,
                                                 const ManualResetEvent* cancel) {
    if (!fromChild_.Valid()) return std::nullopt;
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(limitMs);
    for (;;) {
        const std::size_t newline = buffer_.find('\n');
        if (newline != std::string::npos) {
            // A line over the bound is refused also when it arrived whole in one read.
            if (newline > maxBytes) {
                buffer_.erase(0, newline + 1);
                return std::nullopt;
            }
            std::string line = buffer_.substr(0, newline);
            buffer_.erase(0, newline + 1);
            return line;
        }
        if (buffer_.size() > maxBytes) return std::nullopt;
        char chunk[65536];
        const ssize_t n = ::read(fromChild_.Get(), chunk, sizeof chunk);
        if (n > 0) {
            buffer_.append(chunk, static_cast<std::size_t>(n));
            continue;
        }
        if (n == 0) return std::nullopt;  // the program closed its output
        if (errno == EINTR) continue;
        if (errno != EAGAIN) return std::nullopt;
        if (!WaitFd(fromChild_.Get(), POLLIN, deadline, cancel)) return std::nullopt;
    }
}

void ProcessPipe::CloseInput() { toChild_.Reset(); }

std::optional<int> ProcessPipe::WaitForExit(std::int64_t limitMs, const ManualResetEvent* cancel) {
    if (pid_ <= 0) return std::nullopt;
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(limitMs);
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            pid_ = -1;
            if (WIFEXITED(status)) return WEXITSTATUS(status);
            return std::nullopt;
        }
        if (done < 0 && errno != EINTR) return std::nullopt;
        if ((cancel != nullptr && cancel->IsSet()) || SteadyClock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void ProcessPipe::Kill() {
    toChild_.Reset();
    fromChild_.Reset();
    if (pid_ > 0) {
        ::kill(-pid_, SIGKILL);
        while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    pid_ = -1;
    buffer_.clear();
}

}  // namespace tarvell
