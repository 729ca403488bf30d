// TarvellSrv: registers itself (-RegServer, -UnregServer, -Service), runs as the systemd service,
// or as the service in the foreground (-Run) where no systemd runs.
//
// Test-only settings come from the environment; service/engine/TestProbes.h lists them
// (TARVELL_PASS_INTERVAL_MS, TARVELL_TEST_EMAIL_SLOT, TARVELL_TEST_EVENT_FILE, TARVELL_TRAP_PORT,
// TARVELL_SNMP_AGENT_PORT, TARVELL_TEST_KILL_AT).
#include <atomic>
#include <csignal>
#include <memory>
#include <string>

#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/ManualResetEvent.h"
#include "service/engine/CTarvellFrm.h"
#include "service/engine/EngineControl.h"
#include "service/engine/Installation.h"
#include "service/engine/ServiceModule.h"
#include "service/engine/ServiceUnit.h"
#include "service/engine/TestProbes.h"
#include "service/Workers.h"

namespace tarvell {
namespace {

std::string JoinNotes(const std::vector<std::string>& notes) {
    std::string text;
    for (const std::string& note : notes) text += (text.empty() ? "" : "; ") + note;
    return text;
}

// The system clock, except that once the stop request has come every wait on it ends at once.
// The engine's waits are retries (a state file that is missing costs five of them at start-up);
// without this a stop during start-up would wait for all of them before the last save.
class StopAwareClock final : public Clock {
public:
    std::int64_t Now() override { return system_.Now(); }
    void SleepMs(std::int64_t ms) override {
        if (const ManualResetEvent* stop = stop_.load()) stop->WaitFor(ms);
        else system_.SleepMs(ms);
    }
    void Watch(const ManualResetEvent& stop) { stop_ = &stop; }

private:
    SystemClock system_;
    std::atomic<const ManualResetEvent*> stop_{nullptr};
};

// The engine with the clock it runs on; the clock outlives it.
class InstalledEngine final : public EngineControl {
public:
    explicit InstalledEngine(EngineEnvironment env) : engine_(WithClock(std::move(env))) {}
    void Run(ManualResetEvent& stop) override {
        clock_.Watch(stop);
        engine_.Run(stop);
    }
    void QueueTestAlert(int controlCode) override { engine_.QueueTestAlert(controlCode); }

private:
    EngineEnvironment WithClock(EngineEnvironment env) {
        env.clock = &clock_;
        return env;
    }

    StopAwareClock clock_;
    CTarvellFrm engine_;
};

// The engine of this installation, logging through the module, with every worker that exists.
std::unique_ptr<EngineControl> BuildEngine(ServiceModule& module) {
    const ServiceTestSettings tests = ReadServiceTestSettings();
    if (!tests.notes.empty()) module.LogEvent("Test settings: " + JoinNotes(tests.notes));

    EngineEnvironment env = SystemEngineEnvironment();
    env.log = &module.Log();
    if (tests.passIntervalMs) env.passIntervalMs = *tests.passIntervalMs;
    if (tests.trapManagerPort) env.trapManagerPort = *tests.trapManagerPort;
    if (tests.snmpAgentPort) env.snmpAgentPort = *tests.snmpAgentPort;
    env.startWorker = MakeWorkerStarter(tests);
    if (!tests.killAt.empty())
        env.atSavePoint = [point = tests.killAt](std::string_view reached) {
            if (reached == point) ::raise(SIGKILL);
        };
    // On Windows the service folder was the program's own, so it always existed; here it may
    // not yet, or may be one an earlier version left open to every user.
    InstallationLayout layout = InstallationLayout::FromProcess();
    layout.serviceFolder = env.ServiceFolder;
    const PreparationReport prepared = PrepareInstallation(layout);
    for (const std::string& line : prepared.changes) module.LogEvent(line);
    for (const std::string& line : prepared.problems) module.LogEvent(line);
    if (!prepared.stillOpen.empty()) return nullptr;  // said in the problems above
    if (!IsDirectory(env.ServiceFolder)) {
        module.LogEvent("Service folder " + env.ServiceFolder + " could not be created");
        return nullptr;
    }
    return std::make_unique<InstalledEngine>(std::move(env));
}

int Main(int argc, char** argv) {
    // Writes to a peer that went away must fail with EPIPE, not end the service; a write past
    // the file-size limit (ulimit -f) must fail with EFBIG, a failed save that keeps the old
    // file and is tried again, rather than end the service before it can say why.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);

    const HostCommand command = ScanCommandLine(JoinArguments(argc, argv));
    if (command == HostCommand::Run || command == HostCommand::None) {
        // Before any thread exists, so that only the signal thread ever takes them.
        BlockControlSignals();
    }

    ServiceModule module(ServiceHostEnvironment::FromProcess());
    module.SetEngineFactory([&module] { return BuildEngine(module); });

    switch (command) {
        case HostCommand::UnregServer: return module.UnregisterServer();
        case HostCommand::RegServer: return module.RegisterServer(false);
        case HostCommand::Service: return module.RegisterServer(true);
        case HostCommand::Run: return module.RunForeground();
        case HostCommand::None: break;
    }
    return module.StartFromRegistration();
}

}  // namespace
}  // namespace tarvell

int main(int argc, char** argv) { return tarvell::Main(argc, argv); }
