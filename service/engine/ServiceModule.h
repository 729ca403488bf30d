// The service host: registration as a systemd service, the service's states, its event-log
// messages, the control handler fed by the signal thread, and the engine thread's life.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/EventLog.h"
#include "platform/ManualResetEvent.h"
#include "platform/Registry.h"
#include "service/engine/EngineControl.h"
#include "service/engine/Installation.h"

namespace tarvell {

inline constexpr std::string_view kServiceName = "Quenmark Tarvell";
inline constexpr std::string_view kServiceDescription =
    "Monitors network access control protection.";
inline constexpr std::string_view kAppId = "{153DD494-5815-4713-8D4A-3073F42EF6BC}";
inline constexpr std::string_view kPidFileName = "TarvellSrv.pid";
inline constexpr std::string_view kStateFileName = "TarvellSrv.state";

// The service states with the numbers of the Windows service control manager
// (SERVICE_STOPPED 1 ... SERVICE_RUNNING 4).
enum class ServiceState { Stopped = 1, StartPending = 2, StopPending = 3, Running = 4 };
// "STOPPED", "START_PENDING", "STOP_PENDING", "RUNNING": the words of the state file.
std::string_view StateName(ServiceState state);

// Told about every state the service reports.
using StatusReporter = std::function<void(ServiceState)>;
// Reports to systemd through sd_notify (STATUS=, READY=1, STOPPING=1).
StatusReporter SystemdStatusReporter();
// Replaces the file with the state's word and a line end.
StatusReporter StateFileReporter(std::string path);

// Runs systemctl with the given arguments and returns its exit status (negative: it could not
// be run or did not end in time).
using SystemctlRunner = std::function<int(const std::vector<std::string>& args)>;

// Everything the host takes from its surroundings; tests give their own.
struct ServiceHostEnvironment {
    std::string programPath;          // absolute path of this program
    std::string unitFolder;           // <root>/etc/systemd/system
    std::string runFolder;            // <root>/run/tarvell: pid and state file of -Run
    bool systemdRunning = false;      // systemctl is called only then
    bool underSystemd = false;        // started by systemd as a notify service
    Registry* registry = nullptr;     // nullptr: Registry::Default()
    SystemctlRunner systemctl;        // nullptr: systemctl through the process runner
    std::ostream* errors = nullptr;   // install and uninstall messages; nullptr: standard error
    std::ostream* report = nullptr;   // what -Service made or changed; nullptr: standard output
    InstallationLayout installation;  // prepared by -Service; empty service folder: nothing
    EventLog* serviceLog = nullptr;   // LogEvent as a service; nullptr: syslog under the name
    EventLog* consoleLog = nullptr;   // LogEvent otherwise; nullptr: standard output
    std::int64_t engineStopLimitMs = 20'000;

    // The real surroundings of this process, from TARVELL_ROOT, /proc and the environment.
    static ServiceHostEnvironment FromProcess();
};

// Blocks the control signals in the calling thread, and so in every thread it starts later.
// The host calls it first thing, before any other thread exists.
bool BlockControlSignals();

// One thread that takes the control signals with sigwaitinfo and hands their control codes to a
// handler. The signals must be blocked in every thread of the process.
class ControlSignalThread {
public:
    ControlSignalThread() = default;
    ~ControlSignalThread();
    ControlSignalThread(const ControlSignalThread&) = delete;
    ControlSignalThread& operator=(const ControlSignalThread&) = delete;

    bool Start(std::function<void(int controlCode)> handler);
    void Stop();

private:
    void Main();

    std::function<void(int)> handler_;
    std::thread thread_;
    std::atomic<bool> quit_{false};
};

class ServiceModule {
public:
    explicit ServiceModule(ServiceHostEnvironment env);
    ~ServiceModule();
    ServiceModule(const ServiceModule&) = delete;
    ServiceModule& operator=(const ServiceModule&) = delete;

    const std::string& ServiceName() const { return serviceName_; }
    const std::string& Description() const { return description_; }
    bool IsService() const { return isService_.load(); }
    void SetIsService(bool isService) { isService_ = isService; }
    ManualResetEvent& StopEvent() { return stopEvent_; }
    ServiceState State() const { return state_.load(); }
    void SetEngineFactory(EngineFactory factory) { engineFactory_ = std::move(factory); }
    void SetStatusReporter(StatusReporter reporter) { reporter_ = std::move(reporter); }

    // ---- registration (exit codes: 0, a registry error, or 1 when the service part failed)
    int RegisterServer(bool asService);
    int UnregisterServer();
    bool Install();
    bool Uninstall();
    bool IsInstalled() const;

    // ---- running
    // No keyword on the command line: needs the registration; runs as a service under systemd,
    // else in place without the engine. Returns the exit code.
    int StartFromRegistration();
    // -Run: the service in the foreground with pid file and state file.
    int RunForeground();
    // The service's life: handler, states, Run, "Service stopped".
    int ServiceMain();
    // Starts the engine (as a service), waits for the stop request, stops the engine.
    int Run();
    void Handler(int controlCode);
    void SetServiceStatus(ServiceState state);
    void LogEvent(std::string_view text);
    // A sink that writes through LogEvent, for the engine and its workers.
    EventLog& Log() { return moduleLog_; }

private:
    class ModuleLog : public EventLog {
    public:
        explicit ModuleLog(ServiceModule& module) : module_(module) {}
        void Log(std::string_view text) override { module_.LogEvent(text); }

    private:
        ServiceModule& module_;
    };

    int RunInPlace();
    EventLog& CurrentLog();
    bool StartEngine();
    int StopEngine();
    void EngineMain(EngineControl* engine);
    void QueueTestAlert(int controlCode);
    void Error(std::string_view text);
    Registry& Store() const;
    int Systemctl(const std::vector<std::string>& args);
    std::string UnitPath() const;
    bool IsRegisteredAsIs();
    void Say(std::string_view text);

    ServiceHostEnvironment env_;
    const std::string serviceName_{kServiceName};
    const std::string description_{kServiceDescription};
    std::atomic<bool> isService_{true};
    std::atomic<bool> foreground_{false};
    std::unique_ptr<EventLog> ownServiceLog_;
    std::unique_ptr<EventLog> ownConsoleLog_;
    ModuleLog moduleLog_{*this};
    std::mutex statusMutex_;
    std::atomic<ServiceState> state_{ServiceState::Stopped};
    ManualResetEvent stopEvent_;
    StatusReporter reporter_;
    EngineFactory engineFactory_;

    std::mutex engineMutex_;  // guards engine_ against the handler
    std::unique_ptr<EngineControl> engine_;
    std::thread engineThread_;
    ManualResetEvent engineDone_;
    std::atomic<bool> engineFailed_{false};
};

}  // namespace tarvell
