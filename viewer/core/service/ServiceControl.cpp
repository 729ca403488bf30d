#include "viewer/core/service/ServiceControl.h"

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <utility>

#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/UniqueFd.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/core/base/StringTable.h"

extern char** environ;

namespace tarvell {

namespace {

constexpr int kFirstUserControl = 128;
constexpr int kLastUserControl = 159;
constexpr std::size_t kMaxSmallFile = 64;

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

std::optional<std::string> UserOfUid(uid_t uid) {
    struct passwd pw {};
    struct passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(uid, &pw, buffer.data(), buffer.size(), &found) != 0 || !found)
        return std::nullopt;
    return std::string(found->pw_name);
}

}  // namespace

bool IsTestAlertCode(int code) {
    return code == kTestEmail || code == kTestSnmpTrap || code == kTestSyslog ||
           code == kTestRunCommand;
}

std::optional<int> SignalOfControlCode(int code) {
    if (code < kFirstUserControl || code > kLastUserControl) return std::nullopt;
    const int signo = SIGRTMIN + (code - kFirstUserControl);
    if (signo > SIGRTMAX) return std::nullopt;
    return signo;
}

std::optional<std::string> SignalNameOfControlCode(int code) {
    if (!SignalOfControlCode(code)) return std::nullopt;
    return "SIGRTMIN+" + std::to_string(code - kFirstUserControl);
}

bool IsSystemAccount(std::string_view user) { return user.empty() || user == "root"; }

CommandRunner DefaultCommandRunner() {
    return [](const std::vector<std::string>& argv, std::int64_t limitMs) {
        ProcessOptions options;
        options.argv = argv;
        options.timeLimitMs = limitMs;
        options.captureOutput = true;
        options.maxOutputBytes = 4096;
        return RunProcess(options);
    };
}

// ---------------------------------------------------------------- systemd

SystemdServiceBackend::SystemdServiceBackend(std::string machine, CommandRunner run, bool elevate)
    : machine_(std::move(machine)),
      run_(run ? std::move(run) : DefaultCommandRunner()),
      elevate_(elevate && machine_.empty()) {}

std::vector<std::string> SystemdServiceBackend::Command(std::vector<std::string> args,
                                                        bool privileged) const {
    std::vector<std::string> argv;
    if (privileged && elevate_) argv.emplace_back("pkexec");
    argv.emplace_back(privileged && elevate_ ? "/usr/bin/systemctl" : "systemctl");
    if (!machine_.empty()) {
        argv.emplace_back("-H");
        argv.push_back(machine_);
    }
    for (auto& a : args) argv.push_back(std::move(a));
    return argv;
}

int SystemdServiceBackend::QueryState() {
    const ProcessResult active =
        run_(Command({"is-active", std::string(kServiceUnitName)}, false), kServiceQueryLimitMs);
    if (active.end != ProcessEnd::Exited) return kServiceUnreachable;
    if (active.exitCode == 0 && Trimmed(active.out) == "active") return kServiceRunning;
    // is-active answers "inactive" also for a unit that is not installed; LoadState tells.
    const ProcessResult load =
        run_(Command({"show", "-p", "LoadState", "--value", std::string(kServiceUnitName)}, false),
             kServiceQueryLimitMs);
    if (!load.Succeeded()) return kServiceUnreachable;
    const std::string state = Trimmed(load.out);
    return state == "loaded" ? kServiceStopped : kServiceUnreachable;
}

bool SystemdServiceBackend::RequestStart() {
    return run_(Command({"start", std::string(kServiceUnitName)}, true), kServiceRequestLimitMs)
        .Succeeded();
}

bool SystemdServiceBackend::RequestStop() {
    return run_(Command({"stop", std::string(kServiceUnitName)}, true), kServiceRequestLimitMs)
        .Succeeded();
}

std::optional<std::string> SystemdServiceBackend::LogonAccount() {
    const ProcessResult r =
        run_(Command({"show", "-p", "User", "--value", std::string(kServiceUnitName)}, false),
             kServiceQueryLimitMs);
    if (!r.Succeeded()) return std::nullopt;
    return Trimmed(r.out);
}

bool SystemdServiceBackend::SendControl(int code) {
    const auto name = SignalNameOfControlCode(code);
    if (!IsTestAlertCode(code) || !name) return false;
    return run_(Command({"kill", "--kill-whom=main", "--signal=" + *name,
                         std::string(kServiceUnitName)},
                        true),
                kServiceRequestLimitMs)
        .Succeeded();
}

// ---------------------------------------------------------------- pid file

PidFileServiceBackend::PidFileServiceBackend(Options options) : options_(std::move(options)) {
    if (!options_.run) options_.run = DefaultCommandRunner();
}

std::optional<pid_t> PidFileServiceBackend::RunningPid() const {
    const std::string path = JoinPath(options_.runFolder, kServicePidFile);
    UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    const int fd = file.Get();
    if (fd < 0) return std::nullopt;
    // The service holds an exclusive lock for its whole life: a lock we can take means that
    // the file is a leftover and its number may belong to another process by now.
    const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    std::optional<std::string> text;
    if (held) text = ReadAllFromFd(fd, kMaxSmallFile);
    file.Reset();  // now: a lock taken here must not stand in a starting service's way
    if (!text) return std::nullopt;
    const std::string digits = Trimmed(*text);
    long value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc() || end != digits.data() + digits.size() || value <= 1 ||
        value > 0x3FFFFFFF)
        return std::nullopt;
    return static_cast<pid_t>(value);
}

int PidFileServiceBackend::QueryState() {
    if (RunningPid()) {
        // A service that holds its lock has not stopped yet, whatever its state file says on
        // the way out (STOP_PENDING, then STOPPED before it exits): a stop is done when the
        // process is gone. Only one that is still starting does not count as running.
        const auto state =
            ReadWholeFile(JoinPath(options_.runFolder, kServiceStateFile), kMaxSmallFile);
        const bool starting =
            !state || Trimmed(*state).empty() || Trimmed(*state) == "START_PENDING";
        return starting ? kServiceStopped : kServiceRunning;
    }
    // Not running: it can be started when the program is there.
    return ::access(options_.programPath.c_str(), X_OK) == 0 ? kServiceStopped
                                                             : kServiceUnreachable;
}

bool PidFileServiceBackend::RequestStart() {
    if (RunningPid()) return true;
    if (::access(options_.programPath.c_str(), X_OK) != 0) return false;
    // Everything the child needs is prepared before the fork: after it only calls that are
    // safe in a child of a threaded process are made.
    std::vector<std::string> args = {options_.programPath, "-Run"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> vars;
    std::vector<char*> envp;
    char** env = ::environ;
    if (options_.environment) {
        vars = *options_.environment;
        for (auto& v : vars) envp.push_back(v.data());
        envp.push_back(nullptr);
        env = envp.data();
    }
    const pid_t child = ::fork();
    if (child < 0) return false;
    if (child == 0) {
        // A grandchild in a session of its own runs the service, so that it outlives the viewer
        // and is never the viewer's zombie.
        ::setsid();
        const pid_t grandchild = ::fork();
        if (grandchild != 0) ::_exit(grandchild < 0 ? 1 : 0);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        const int null = ::open("/dev/null", O_RDWR);
        if (null >= 0) {
            ::dup2(null, 0);
            ::dup2(null, 1);
            ::dup2(null, 2);
        }
        ::close_range(3, ~0u, 0);
        ::execve(argv[0], argv.data(), env);
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool PidFileServiceBackend::Signal(int signo, const std::string& signalName) {
    const auto pid = RunningPid();
    if (!pid) return false;
    if (::kill(*pid, signo) == 0) return true;
    if (errno != EPERM || !options_.elevate) return false;
    // A service started by root: the signal goes through pkexec.
    return options_
        .run({"pkexec", "/bin/kill", "-s", signalName, std::to_string(*pid)},
             kServiceRequestLimitMs)
        .Succeeded();
}

bool PidFileServiceBackend::RequestStop() {
    if (!RunningPid()) return true;
    return Signal(SIGTERM, "TERM");
}

std::optional<std::string> PidFileServiceBackend::LogonAccount() {
    const auto pid = RunningPid();
    if (!pid) return std::nullopt;
    struct stat st {};
    if (::stat(("/proc/" + std::to_string(*pid)).c_str(), &st) != 0) return std::nullopt;
    if (st.st_uid == 0) return std::string();
    return UserOfUid(st.st_uid);
}

bool PidFileServiceBackend::SendControl(int code) {
    const auto signo = SignalOfControlCode(code);
    const auto name = SignalNameOfControlCode(code);
    if (!IsTestAlertCode(code) || !signo || !name) return false;
    return Signal(*signo, name->substr(3));  // kill -s takes "RTMIN+8"
}

// ---------------------------------------------------------------- fake

int FakeServiceBackend::QueryState() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++queries_;
    if (pending_ > 0) --pending_;
    if (pending_ == 0) {
        state_ = target_;
        pending_ = -1;
    }
    return state_;
}

bool FakeServiceBackend::RequestStart() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++starts_;
    target_ = kServiceRunning;
    pending_ = settle_;
    if (pending_ == 0) {
        state_ = target_;
        pending_ = -1;
    }
    return true;
}

bool FakeServiceBackend::RequestStop() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++stops_;
    target_ = kServiceStopped;
    pending_ = settle_;
    if (pending_ == 0) {
        state_ = target_;
        pending_ = -1;
    }
    return true;
}

std::optional<std::string> FakeServiceBackend::LogonAccount() {
    std::lock_guard<std::mutex> lock(mutex_);
    return account_;
}

bool FakeServiceBackend::SendControl(int code) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!IsTestAlertCode(code)) return false;
    codes_.push_back(code);
    return state_ == kServiceRunning;
}

void FakeServiceBackend::SetState(int state) {
    std::lock_guard<std::mutex> lock(mutex_);
    state_ = state;
    pending_ = -1;
}
void FakeServiceBackend::SetSettleQueries(int queries) {
    std::lock_guard<std::mutex> lock(mutex_);
    settle_ = queries;
}
void FakeServiceBackend::SetAccount(std::optional<std::string> account) {
    std::lock_guard<std::mutex> lock(mutex_);
    account_ = std::move(account);
}
int FakeServiceBackend::Queries() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return queries_;
}
int FakeServiceBackend::Starts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return starts_;
}
int FakeServiceBackend::Stops() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return stops_;
}
std::vector<int> FakeServiceBackend::Codes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return codes_;
}

// ---------------------------------------------------------------- choice

std::unique_ptr<ServiceBackend> MakeServiceBackend(const std::string& machine,
                                                   const std::string& serviceProgram) {
    const bool root = ::geteuid() == 0;
    if (!machine.empty()) return std::make_unique<SystemdServiceBackend>(machine, nullptr, false);
    PidFileServiceBackend::Options options;
    options.runFolder = RunFolder();
    options.programPath = serviceProgram;
    options.elevate = !root;
    auto pidFile = std::make_unique<PidFileServiceBackend>(options);
    const bool systemd =
        RootFolder() == "/" && IsDirectory("/run/systemd/system") &&
        FileExists(SystemPath("etc/systemd/system/") + std::string(kServiceUnitName));
    if (pidFile->RunningPid() || !systemd) return pidFile;
    return std::make_unique<SystemdServiceBackend>(std::string(), nullptr, !root);
}

// ---------------------------------------------------------------- control

ServiceControl::ServiceControl(std::function<std::string()> machine, BackendFactory factory,
                               Clock& clock)
    : machine_(std::move(machine)), factory_(std::move(factory)), clock_(clock) {}

template <class F>
auto ServiceControl::WithBackend(F&& f) {
    const std::string machine = machine_ ? machine_() : std::string();
    std::shared_ptr<ServiceBackend> backend;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!backend_ || machine != backendMachine_) {
            backend_ = factory_(machine);
            backendMachine_ = machine;
        }
        backend = backend_;
    }
    return f(backend.get());
}

int ServiceControl::QueryServerState() {
    return WithBackend([](ServiceBackend* b) { return b ? b->QueryState() : kServiceUnreachable; });
}

bool ServiceControl::Wait(bool start) {
    const int target = start ? kServiceRunning : kServiceStopped;
    lastPolls_ = 0;
    if (QueryServerState() == target) {
        lastPolls_ = 1;
        return true;
    }
    WithBackend([start](ServiceBackend* b) {
        return b ? (start ? b->RequestStart() : b->RequestStop()) : false;
    });
    // The request's own result is not trusted either way: only the state counts.
    for (int poll = 1; poll <= kServicePolls; ++poll) {
        lastPolls_ = poll;
        if (QueryServerState() == target) return true;
        clock_.SleepMs(kServicePollMs);
    }
    return false;
}

bool ServiceControl::StartAndWait() { return Wait(true); }
bool ServiceControl::StopAndWait() { return Wait(false); }

bool ServiceControl::StartServer(Prompt& prompt) {
    if (StartAndWait()) return true;
    prompt.AskString(str::kStartFailed, PromptButtons::Ok, PromptIcon::Information);
    return false;
}

bool ServiceControl::StopServer(Prompt& prompt) {
    if (StopAndWait()) return true;
    prompt.AskString(str::kStopFailed, PromptButtons::Ok, PromptIcon::Information);
    return false;
}

int ServiceControl::IsServiceUserAccount() {
    const auto account = WithBackend(
        [](ServiceBackend* b) { return b ? b->LogonAccount() : std::optional<std::string>(); });
    return account && !IsSystemAccount(*account) ? 1 : 0;
}

bool ServiceControl::SendTestAlert(int code) {
    if (!IsTestAlertCode(code)) return false;
    return WithBackend([code](ServiceBackend* b) { return b && b->SendControl(code); });
}

}  // namespace tarvell
