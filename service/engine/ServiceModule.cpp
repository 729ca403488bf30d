#include "service/engine/ServiceModule.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "platform/ErrnoText.h"
#include "platform/UniqueFd.h"
#include "service/engine/ServiceUnit.h"

namespace tarvell {

namespace {

constexpr std::string_view kProgramName = "TarvellSrv";
constexpr std::string_view kProgramKey = "TarvellSrv.EXE";
constexpr std::int64_t kSystemctlLimitMs = 120'000;

std::string AppIdKeyPath() { return "AppID\\" + std::string(kAppId); }
std::string ProgramKeyPath() { return "AppID\\" + std::string(kProgramKey); }

sigset_t ControlSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    for (int signo : ControlSignals()) {
        sigaddset(&set, signo);
    }
    return set;
}

std::string OwnProgramPath() {
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buffer) {
        return {};
    }
    return std::string(buffer, static_cast<std::size_t>(n));
}

int RunSystemctl(const std::vector<std::string>& args) {
    ProcessOptions options;
    options.argv.push_back("systemctl");
    options.argv.insert(options.argv.end(), args.begin(), args.end());
    options.timeLimitMs = kSystemctlLimitMs;
    const ProcessResult result = RunProcess(options);
    return result.end == ProcessEnd::Exited ? result.exitCode : -1;
}

// The pid of this process as the only content of an already locked pid file.
bool WritePid(const std::string& path) {
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!fd.Valid()) {
        return false;
    }
    const std::string text = std::to_string(::getpid()) + "\n";
    const bool ok = WriteAllToFd(fd.Get(), text);
    return fd.Close() && ok;
}

}  // namespace

// ---------------------------------------------------------------- states

std::string_view StateName(ServiceState state) {
    switch (state) {
        case ServiceState::Stopped: return "STOPPED";
        case ServiceState::StartPending: return "START_PENDING";
        case ServiceState::StopPending: return "STOP_PENDING";
        case ServiceState::Running: return "RUNNING";
    }
    return "UNKNOWN";
}

StatusReporter SystemdStatusReporter() {
    return [](ServiceState state) {
        const char* message = "STATUS=Stopped";
        switch (state) {
            case ServiceState::StartPending: message = "STATUS=Starting"; break;
            case ServiceState::Running: message = "READY=1\nSTATUS=Running"; break;
            case ServiceState::StopPending: message = "STOPPING=1\nSTATUS=Stopping"; break;
            case ServiceState::Stopped: break;
        }
        ::sd_notify(0, message);
    };
}

StatusReporter StateFileReporter(std::string path) {
    return [path = std::move(path)](ServiceState state) {
        AtomicWriteFile(path, std::string(StateName(state)) + "\n");
    };
}

// ---------------------------------------------------------------- surroundings

ServiceHostEnvironment ServiceHostEnvironment::FromProcess() {
    ServiceHostEnvironment env;
    env.programPath = OwnProgramPath();
    env.unitFolder = SystemPath("etc/systemd/system");
    env.runFolder = RunFolder();
    env.systemdRunning = RootFolder() == "/" && IsDirectory("/run/systemd/system");
    const char* notifySocket = std::getenv("NOTIFY_SOCKET");
    env.underSystemd = notifySocket != nullptr && *notifySocket != '\0';
    env.installation = InstallationLayout::FromProcess();
    return env;
}

// ---------------------------------------------------------------- signal thread

bool BlockControlSignals() {
    const sigset_t set = ControlSignalSet();
    return ::pthread_sigmask(SIG_BLOCK, &set, nullptr) == 0;
}

ControlSignalThread::~ControlSignalThread() { Stop(); }

bool ControlSignalThread::Start(std::function<void(int)> handler) {
    if (thread_.joinable()) {
        return false;
    }
    handler_ = std::move(handler);
    quit_ = false;
    // The new thread inherits the mask; with the signals blocked here first it can never be
    // killed by one of them before it waits.
    sigset_t previous;
    const sigset_t set = ControlSignalSet();
    if (::pthread_sigmask(SIG_BLOCK, &set, &previous) != 0) {
        return false;
    }
    try {
        thread_ = std::thread([this] { Main(); });
    } catch (const std::system_error&) {
    }
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return thread_.joinable();
}

void ControlSignalThread::Stop() {
    if (!thread_.joinable()) {
        return;
    }
    quit_ = true;
    // Directed at the thread itself: it takes the signal from its own pending set.
    ::pthread_kill(thread_.native_handle(), SIGTERM);
    thread_.join();
}

void ControlSignalThread::Main() {
    const sigset_t set = ControlSignalSet();
    while (!quit_) {
        siginfo_t info;
        const int signo = ::sigwaitinfo(&set, &info);
        if (signo < 0 || quit_) {
            continue;
        }
        if (const auto code = ControlCodeForSignal(signo)) {
            handler_(*code);
        }
    }
}

// ---------------------------------------------------------------- module

ServiceModule::ServiceModule(ServiceHostEnvironment env) : env_(std::move(env)) {
    if (!env_.serviceLog) {
        ownServiceLog_ = std::make_unique<SyslogEventLog>(serviceName_);
        env_.serviceLog = ownServiceLog_.get();
    }
    if (!env_.consoleLog) {
        ownConsoleLog_ = std::make_unique<StdoutEventLog>();
        env_.consoleLog = ownConsoleLog_.get();
    }
    if (!env_.systemctl) {
        env_.systemctl = RunSystemctl;
    }
}

ServiceModule::~ServiceModule() {
    if (engineThread_.joinable()) {
        stopEvent_.Set();
        engineThread_.join();
    }
}

Registry& ServiceModule::Store() const {
    return env_.registry ? *env_.registry : Registry::Default();
}

void ServiceModule::Error(std::string_view text) {
    std::ostream& out = env_.errors ? *env_.errors : std::cerr;
    out << PrintableLogText(text) << std::endl;
}

void ServiceModule::Say(std::string_view text) {
    // Names found in the service folder are among the texts, and anyone could make them there.
    std::ostream& out = env_.report ? *env_.report : std::cout;
    out << PrintableLogText(text) << std::endl;
}

int ServiceModule::Systemctl(const std::vector<std::string>& args) { return env_.systemctl(args); }

std::string ServiceModule::UnitPath() const { return JoinPath(env_.unitFolder, kUnitName); }

// ---------------------------------------------------------------- registration

namespace {

// The program's registration: its AppID key and the key that maps the program file to it.
RegResult ApplyRegistrationScript(Registry& store) {
    RegKey appKey;
    RegKey programKey;
    RegResult r = store.CreateKey(Hive::ClassesRoot, AppIdKeyPath(), &appKey);
    if (r == kRegSuccess) r = appKey.SetString("", kProgramName);
    if (r == kRegSuccess) r = store.CreateKey(Hive::ClassesRoot, ProgramKeyPath(), &programKey);
    if (r == kRegSuccess) r = programKey.SetString("AppID", kAppId);
    return r;
}

RegResult OpenAppIdKey(Registry& store, RegKey* appKey) {
    RegKey appIds;
    RegResult r = store.OpenKey(Hive::ClassesRoot, "AppID", &appIds);
    if (r == kRegSuccess) r = appIds.OpenKey(kAppId, appKey);
    return r;
}

}  // namespace

// The registration -Service leaves behind, for this very program: the keys with their values
// and the unit as it would be written now.
bool ServiceModule::IsRegisteredAsIs() {
    RegKey appKey;
    RegKey programKey;
    std::string name, localService, parameters, appId;
    if (OpenAppIdKey(Store(), &appKey) != kRegSuccess ||
        Store().OpenKey(Hive::ClassesRoot, ProgramKeyPath(), &programKey) != kRegSuccess)
        return false;
    const auto unit = UnitFileText(env_.programPath, description_);
    const auto written = ReadWholeFile(UnitPath(), 1u << 20);
    return appKey.QueryString("", &name) == kRegSuccess && name == kProgramName &&
           appKey.QueryString("LocalService", &localService) == kRegSuccess &&
           localService == kProgramName &&
           appKey.QueryString("ServiceParameters", &parameters) == kRegSuccess &&
           parameters == "-Service" && programKey.QueryString("AppID", &appId) == kRegSuccess &&
           appId == kAppId && unit && written && *unit == *written;
}

int ServiceModule::RegisterServer(bool asService) {
    if (asService) {
        const PreparationReport prepared = PrepareInstallation(env_.installation);
        for (const std::string& line : prepared.problems) Error(line);
        const bool registered = IsRegisteredAsIs();
        for (const std::string& line : prepared.changes) Say(line);
        if (registered) {
            if (prepared.changes.empty())
                Say(std::string(kProgramName) +
                    " is registered and prepared already: nothing changed");
            return prepared.problems.empty() ? 0 : 1;
        }
    }
    // A previous registration may point at another program file.
    const bool uninstalled = Uninstall();

    RegKey appKey;
    RegResult r = ApplyRegistrationScript(Store());
    if (r == kRegSuccess) r = OpenAppIdKey(Store(), &appKey);
    if (r != kRegSuccess) {
        return static_cast<int>(r);
    }
    appKey.DeleteValue("LocalService");
    if (!asService) {
        return uninstalled ? 0 : 1;
    }
    r = appKey.SetString("LocalService", kProgramName);
    if (r == kRegSuccess) r = appKey.SetString("ServiceParameters", "-Service");
    if (r != kRegSuccess) {
        return static_cast<int>(r);
    }
    const bool installed = Install();
    if (installed) Say("Service registered; unit " + UnitPath() + " runs " + env_.programPath);
    return uninstalled && installed ? 0 : 1;
}

int ServiceModule::UnregisterServer() {
    RegKey appKey, programKey;
    const bool registered =
        OpenAppIdKey(Store(), &appKey) == kRegSuccess ||
        Store().OpenKey(Hive::ClassesRoot, ProgramKeyPath(), &programKey) == kRegSuccess ||
        IsInstalled();
    if (!registered) {
        if (!env_.installation.serviceFolder.empty())
            Say(std::string(kProgramName) + " was not registered: nothing removed; the data in " +
                env_.installation.serviceFolder + " and the group " + env_.installation.group +
                " are not touched");
        return 0;
    }
    // Only the keys below AppID; AppID itself is shared with other programs.
    Store().DeleteKey(Hive::ClassesRoot, AppIdKeyPath(), true);
    Store().DeleteKey(Hive::ClassesRoot, ProgramKeyPath(), true);
    if (!Uninstall()) return 1;
    if (!env_.installation.serviceFolder.empty())
        Say("Registration and unit removed; the data in " + env_.installation.serviceFolder +
            " and the group " + env_.installation.group + " are kept");
    return 0;
}

bool ServiceModule::IsInstalled() const { return FileExists(UnitPath()); }

bool ServiceModule::Install() {
    if (IsInstalled()) {
        return true;
    }
    if (!MakeDirectories(env_.unitFolder)) {
        Error("Couldn't open service manager");
        return false;
    }
    const auto text = UnitFileText(env_.programPath, description_);
    if (!text || !AtomicWriteFile(UnitPath(), *text, 0644)) {
        Error("Couldn't create service");
        return false;
    }
    if (env_.systemdRunning &&
        (Systemctl({"daemon-reload"}) != 0 || Systemctl({"enable", std::string(kUnitName)}) != 0)) {
        RemoveFile(UnitPath());
        Systemctl({"daemon-reload"});
        Error("Couldn't create service");
        return false;
    }
    return true;
}

bool ServiceModule::Uninstall() {
    if (!IsInstalled()) {
        return true;
    }
    if (::access(env_.unitFolder.c_str(), W_OK) != 0) {
        Error("Couldn't open service manager");
        return false;
    }
    if (env_.systemdRunning) {
        Systemctl({"stop", std::string(kUnitName)});  // a service that is not running is fine
        if (Systemctl({"disable", std::string(kUnitName)}) != 0) {
            Error("Couldn't open service");
            return false;
        }
    }
    if (!RemoveFile(UnitPath())) {
        Error("Service could not be deleted");
        return false;
    }
    if (env_.systemdRunning) {
        Systemctl({"daemon-reload"});
    }
    return true;
}

// ---------------------------------------------------------------- running

int ServiceModule::StartFromRegistration() {
    RegKey appKey;
    if (RegResult r = OpenAppIdKey(Store(), &appKey); r != kRegSuccess) {
        return static_cast<int>(r);
    }
    std::string localService;
    isService_ = appKey.QueryString("LocalService", &localService) == kRegSuccess;
    if (isService_ && env_.underSystemd) {
        if (!reporter_) {
            reporter_ = SystemdStatusReporter();
        }
        return ServiceMain();
    }
    // Started from a command line: a plain process without the engine.
    isService_ = false;
    return RunInPlace();
}

int ServiceModule::RunForeground() {
    isService_ = true;
    foreground_ = true;
    if (!MakeDirectories(env_.runFolder)) {
        Error("Couldn't create " + env_.runFolder + ": " + ErrnoText(errno));
        return 1;
    }
    const std::string pidPath = JoinPath(env_.runFolder, kPidFileName);
    FileLock pidLock;
    if (!pidLock.Lock(pidPath, FileLock::Mode::Exclusive, false)) {
        const int error = errno;
        Error(error == EWOULDBLOCK ? std::string(kProgramName) + " is already running"
                                   : "Couldn't lock " + pidPath + ": " + ErrnoText(error));
        return 1;
    }
    if (!WritePid(pidPath)) {
        Error("Couldn't write " + pidPath + ": " + ErrnoText(errno));
        return 1;
    }
    if (!reporter_) {
        reporter_ = StateFileReporter(JoinPath(env_.runFolder, kStateFileName));
    }
    const int code = ServiceMain();
    RemoveFile(pidPath);  // still locked, so no other instance has taken it over
    return code;
}

int ServiceModule::RunInPlace() {
    ControlSignalThread signals;
    if (!signals.Start([this](int code) { Handler(code); })) {
        LogEvent("Handler not installed");
        return 1;
    }
    return Run();
}

int ServiceModule::ServiceMain() {
    state_ = ServiceState::StartPending;
    ControlSignalThread signals;
    if (!signals.Start([this](int code) { Handler(code); })) {
        LogEvent("Handler not installed");
        return 1;
    }
    SetServiceStatus(ServiceState::StartPending);
    const int code = Run();
    // No request is taken any more, so nothing can report a state after STOPPED; signals that
    // still come stay blocked until the process ends.
    signals.Stop();
    SetServiceStatus(ServiceState::Stopped);
    LogEvent("Service stopped");
    return code;
}

int ServiceModule::Run() {
    LogEvent("Service started");
    if (isService_ && !stopEvent_.IsSet()) {
        SetServiceStatus(ServiceState::Running);
        if (!StartEngine()) {
            return 1;
        }
    }
    stopEvent_.Wait();
    return StopEngine();
}

bool ServiceModule::StartEngine() {
    if (!engineFactory_) {
        return true;
    }
    std::unique_ptr<EngineControl> engine;
    try {
        engine = engineFactory_();
    } catch (const std::exception& e) {
        LogEvent(std::string("Engine could not be built: ") + e.what());
    }
    if (!engine) {
        LogEvent("Engine not started");
        return false;
    }
    EngineControl* raw = engine.get();
    {
        std::lock_guard<std::mutex> lock(engineMutex_);
        engine_ = std::move(engine);
    }
    try {
        engineThread_ = std::thread([this, raw] { EngineMain(raw); });
    } catch (const std::system_error&) {
        LogEvent("Engine not started");
        std::lock_guard<std::mutex> lock(engineMutex_);
        engine_.reset();
        return false;
    }
    return true;
}

void ServiceModule::EngineMain(EngineControl* engine) {
    try {
        engine->Run(stopEvent_);
    } catch (const EngineCannotRun& e) {
        LogEvent(e.what());
        engineFailed_ = true;
    } catch (const std::exception& e) {
        LogEvent(std::string("Engine failed: ") + e.what());
        engineFailed_ = true;
    } catch (...) {
        LogEvent("Engine failed");
        engineFailed_ = true;
    }
    if (!stopEvent_.IsSet()) {
        // The engine ended on its own: the service cannot go on without it.
        if (!engineFailed_) {
            LogEvent("Engine ended before the stop request");
        }
        engineFailed_ = true;
        stopEvent_.Set();
    }
    engineDone_.Set();
}

int ServiceModule::StopEngine() {
    if (engineThread_.joinable()) {
        if (!engineDone_.WaitFor(env_.engineStopLimitMs)) {
            // The engine thread still uses this object; leaving without it is all that is left.
            LogEvent("Engine did not stop within " + std::to_string(env_.engineStopLimitMs / 1000) +
                     " s");
            SetServiceStatus(ServiceState::Stopped);
            std::fflush(nullptr);
            std::_Exit(1);
        }
        engineThread_.join();
    }
    std::unique_ptr<EngineControl> engine;
    {
        std::lock_guard<std::mutex> lock(engineMutex_);
        engine = std::move(engine_);
    }
    engine.reset();
    return engineFailed_ ? 1 : 0;
}

void ServiceModule::Handler(int controlCode) {
    switch (controlCode) {
        case kControlStop:
            SetServiceStatus(ServiceState::StopPending);
            stopEvent_.Set();
            return;
        case 2:  // pause
        case 3:  // continue
        case 4:  // interrogate
        case 5:  // shutdown
            return;
        case 136:  // e-mail test alert
        case 137:  // SNMP-trap test alert
        case 144:  // syslog test alert
        case 145:  // run-command test alert
            QueueTestAlert(controlCode);
            return;
        default: LogEvent("Bad service request"); return;
    }
}

void ServiceModule::QueueTestAlert(int controlCode) {
    std::lock_guard<std::mutex> lock(engineMutex_);
    if (engine_) {
        engine_->QueueTestAlert(controlCode);
    } else {
        LogEvent("Test request " + std::to_string(controlCode) +
                 " ignored: the engine is not running");
    }
}

void ServiceModule::SetServiceStatus(ServiceState state) {
    std::lock_guard<std::mutex> lock(statusMutex_);
    state_ = state;
    if (reporter_) {
        reporter_(state);
    }
}

EventLog& ServiceModule::CurrentLog() {
    return isService_ && !foreground_ ? *env_.serviceLog : *env_.consoleLog;
}

void ServiceModule::LogEvent(std::string_view text) { CurrentLog().Log(text); }

}  // namespace tarvell
