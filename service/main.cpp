// TarvellSrv: registers itself (-RegServer, -UnregServer, -Service), runs as the systemd service,
// or as the service in the foreground (-Run) where no systemd runs.
#include <csignal>
#include <memory>
#include <string>

#include "service/engine/EngineControl.h"
#include "service/engine/ServiceModule.h"
#include "service/engine/ServiceUnit.h"

namespace tarvell {
namespace {

// TEMPORARY: stands in for the engine until the engine is wired in here. It only waits for the
// stop request and notes test requests, so that the host can already be run and stopped.
class PlaceholderEngine final : public EngineControl {
public:
    explicit PlaceholderEngine(EventLog& log) : log_(log) {}
    void Run(ManualResetEvent& stop) override { stop.Wait(); }
    void QueueTestAlert(int controlCode) override {
        log_.Log("Test request " + std::to_string(controlCode) + " received");
    }

private:
    EventLog& log_;
};

int Main(int argc, char** argv) {
    // Writes to a peer that went away must fail with EPIPE, not end the service.
    std::signal(SIGPIPE, SIG_IGN);

    const HostCommand command = ScanCommandLine(JoinArguments(argc, argv));
    if (command == HostCommand::Run || command == HostCommand::None) {
        // Before any thread exists, so that only the signal thread ever takes them.
        BlockControlSignals();
    }

    ServiceModule module(ServiceHostEnvironment::FromProcess());
    module.SetEngineFactory([&module]() -> std::unique_ptr<EngineControl> {
        return std::make_unique<PlaceholderEngine>(module.Log());
    });

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
