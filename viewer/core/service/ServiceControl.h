// Querying, starting and stopping the monitoring service of the current server, and sending it
// the test-alert codes. The way the service is reached is a backend: systemd (systemctl, with
// -H for a server on another machine), the pid and state files of a service run in the
// foreground (TarvellSrv -Run), or a fake for tests. ServiceControl adds what every backend
// shares: the 60 polls one second apart after a start or stop request and their messages.
//
// Threads: a backend and ServiceControl may be called from any thread at once (the backends
// keep no state between calls; the fake locks its own), so a state query of the window never
// waits behind a start that a worker is waiting for. StartAndWait and StopAndWait block for up to a
// minute: the windows run them off the user-interface thread (the messages are shown afterwards, on
// that thread).
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Clock.h"
#include "platform/Process.h"
#include "viewer/core/service/ServiceState.h"

namespace tarvell {

class Prompt;

inline constexpr int kServicePolls = 60;
inline constexpr std::int64_t kServicePollMs = 1000;
inline constexpr std::string_view kServiceUnitName = "tarvellsrv.service";
inline constexpr std::string_view kServiceProgramName = "TarvellSrv";
inline constexpr std::string_view kServicePidFile = "TarvellSrv.pid";
inline constexpr std::string_view kServiceStateFile = "TarvellSrv.state";
// The test alerts the settings screens ask for: e-mail, SNMP trap, syslog, run command.
inline constexpr int kTestEmail = 136;
inline constexpr int kTestSnmpTrap = 137;
inline constexpr int kTestSyslog = 144;
inline constexpr int kTestRunCommand = 145;

bool IsTestAlertCode(int code);
// The service takes a user control code C (128..159) as the signal SIGRTMIN + (C - 128).
std::optional<int> SignalOfControlCode(int code);
// "SIGRTMIN+8" for 136: the name systemctl kill takes.
std::optional<std::string> SignalNameOfControlCode(int code);
// True for the account the service runs under when it has none of its own: root or empty.
bool IsSystemAccount(std::string_view user);

class ServiceBackend {
public:
    virtual ~ServiceBackend() = default;
    // 1 running, 0 any other state, -1 the service (or its machine) cannot be reached.
    virtual int QueryState() = 0;
    // Ask for a start or a stop; they do not wait for the new state (ServiceControl polls).
    virtual bool RequestStart() = 0;
    virtual bool RequestStop() = 0;
    // The account the service runs under ("" for the system's), nullopt when it cannot be asked.
    virtual std::optional<std::string> LogonAccount() = 0;
    // One of the four test-alert codes.
    virtual bool SendControl(int code) = 0;
};

// Runs a program with its arguments (no shell) within a time limit and gives its result; tests
// give their own.
using CommandRunner =
    std::function<ProcessResult(const std::vector<std::string>& argv, std::int64_t limitMs)>;
CommandRunner DefaultCommandRunner();
// A question to systemctl (a state, the account) may keep the window waiting: it gets less time
// than a start or stop, which lasts as long as the service's own start-up or shut-down.
inline constexpr std::int64_t kServiceQueryLimitMs = 15'000;
inline constexpr std::int64_t kServiceRequestLimitMs = 120'000;

class SystemdServiceBackend : public ServiceBackend {
public:
    // `machine` empty: this machine; else systemctl -H machine. `elevate`: start, stop and kill
    // go through pkexec (the viewer runs without privileges); never for another machine.
    SystemdServiceBackend(std::string machine, CommandRunner run, bool elevate);

    int QueryState() override;
    bool RequestStart() override;
    bool RequestStop() override;
    std::optional<std::string> LogonAccount() override;
    bool SendControl(int code) override;

    // The command line of one systemctl call.
    std::vector<std::string> Command(std::vector<std::string> args, bool privileged) const;

private:
    std::string machine_;
    CommandRunner run_;
    bool elevate_;
};

// A service run in the foreground: it holds an exclusive lock on <run>/TarvellSrv.pid, which
// holds its process id, and writes its state word to <run>/TarvellSrv.state.
class PidFileServiceBackend : public ServiceBackend {
public:
    struct Options {
        std::string runFolder;                                // <root>/run/tarvell
        std::string programPath;                              // TarvellSrv, started with -Run
        std::optional<std::vector<std::string>> environment;  // nullopt: the viewer's own
        CommandRunner run;                                    // pkexec kill for a service of root
        bool elevate = false;
    };
    explicit PidFileServiceBackend(Options options);

    int QueryState() override;
    bool RequestStart() override;
    bool RequestStop() override;
    std::optional<std::string> LogonAccount() override;
    bool SendControl(int code) override;

    // The process id of the running service: the pid file is locked and holds a number.
    std::optional<pid_t> RunningPid() const;

private:
    bool Signal(int signo, const std::string& signalName);

    Options options_;
};

// A service in memory for tests: a start or stop request reaches its target state after
// `settleQueries` further queries (-1: never); every call is counted.
class FakeServiceBackend : public ServiceBackend {
public:
    int QueryState() override;
    bool RequestStart() override;
    bool RequestStop() override;
    std::optional<std::string> LogonAccount() override;
    bool SendControl(int code) override;

    void SetState(int state);
    void SetSettleQueries(int queries);
    void SetAccount(std::optional<std::string> account);
    int Queries() const;
    int Starts() const;
    int Stops() const;
    std::vector<int> Codes() const;

private:
    mutable std::mutex mutex_;
    int state_ = kServiceStopped;
    int target_ = kServiceStopped;
    int settle_ = 0;
    int pending_ = -1;  // queries left until the target is reached; -1: none pending
    int queries_ = 0;
    int starts_ = 0;
    int stops_ = 0;
    std::optional<std::string> account_ = std::string();
    std::vector<int> codes_;
};

// Picks the backend for a machine ("" = this one): systemd for another machine or when the
// unit is installed and systemd runs; otherwise the pid file of a foreground service.
std::unique_ptr<ServiceBackend> MakeServiceBackend(const std::string& machine,
                                                   const std::string& serviceProgram);

class ServiceControl {
public:
    using BackendFactory =
        std::function<std::unique_ptr<ServiceBackend>(const std::string& machine)>;
    // `machine` tells the current server's machine at each call, so the control follows the
    // connected server; a new backend is made whenever it changes.
    ServiceControl(std::function<std::string()> machine, BackendFactory factory,
                   Clock& clock = DefaultClock());

    int QueryServerState();
    // The request and up to 60 polls one second apart; true when the state was reached. A
    // service already in the state is not asked again. No message (any thread).
    bool StartAndWait();
    bool StopAndWait();
    // The same with the failure messages 20001 and 20002 (user-interface thread; blocks).
    bool StartServer(Prompt& prompt);
    bool StopServer(Prompt& prompt);
    // 1 when the service runs under an account of its own; 0 for root, an empty account, or
    // when it cannot be asked.
    int IsServiceUserAccount();
    bool SendTestAlert(int code);
    // Polls made by the last wait (for tests and the log).
    int LastPolls() const { return lastPolls_.load(); }

private:
    template <class F>
    auto WithBackend(F&& f);
    bool Wait(bool start);

    std::function<std::string()> machine_;
    BackendFactory factory_;
    Clock& clock_;
    std::mutex mutex_;
    std::string backendMachine_;               // [mutex_]
    std::shared_ptr<ServiceBackend> backend_;  // [mutex_]
    std::atomic<int> lastPolls_{0};
};

}  // namespace tarvell
