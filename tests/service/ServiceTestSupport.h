// Helpers shared by the service host's tests: a fake engine, and the settings of a trap-watching
// service. The running service itself is tests/support/RunningService.h.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/ManualResetEvent.h"
#include "service/engine/EngineControl.h"
#include "shared/CTarvellDoc.h"
#include "tests/support/RunningService.h"

namespace tarvell::testing {

// What a fake engine did, kept apart from the engine so a test can look after it is gone.
struct FakeEngineRecord {
    ManualResetEvent running;  // Run was entered
    ManualResetEvent release;  // lets a stubborn engine's Run return
    std::atomic<bool> sawStop{false};
    std::atomic<bool> destroyed{false};
    std::mutex mutex;
    std::vector<int> codes;

    std::vector<int> Codes() {
        std::lock_guard<std::mutex> lock(mutex);
        return codes;
    }
};

enum class FakeBehaviour { StopsOnRequest, IgnoresStop, Throws };

class FakeEngine : public EngineControl {
public:
    FakeEngine(std::shared_ptr<FakeEngineRecord> record, FakeBehaviour behaviour)
        : record_(std::move(record)), behaviour_(behaviour) {}
    ~FakeEngine() override { record_->destroyed = true; }

    void Run(ManualResetEvent& stop) override {
        record_->running.Set();
        switch (behaviour_) {
            case FakeBehaviour::StopsOnRequest:
                stop.Wait();
                record_->sawStop = true;
                break;
            case FakeBehaviour::IgnoresStop: record_->release.Wait(); break;
            case FakeBehaviour::Throws: throw std::runtime_error("settings lost");
        }
    }
    void QueueTestAlert(int controlCode) override {
        std::lock_guard<std::mutex> lock(record_->mutex);
        record_->codes.push_back(controlCode);
    }

private:
    std::shared_ptr<FakeEngineRecord> record_;
    FakeBehaviour behaviour_;
};

inline EngineFactory FakeEngineFactory(std::shared_ptr<FakeEngineRecord> record,
                                       FakeBehaviour behaviour = FakeBehaviour::StopsOnRequest) {
    return [record, behaviour]() -> std::unique_ptr<EngineControl> {
        return std::make_unique<FakeEngine>(record, behaviour);
    };
}

// The settings of a service that records the new MACs linkUp traps reveal: detection, new MACs
// and trap discovery on.
inline CTarvellDoc TrapWatchingSettings() {
    CTarvellDoc doc;
    doc.SetDefaults();
    doc.DetectionEnabled = 1;
    doc.NewMacEnabled = 1;
    doc.DiscoverTrapsEnabled = 1;
    return doc;
}

// The environment entries of such a service: traps taken on `trapPort`, switches asked on
// `agentPort`.
inline std::vector<std::string> TrapPorts(std::uint16_t trapPort, std::uint16_t agentPort) {
    return {"TARVELL_TRAP_PORT=" + std::to_string(trapPort),
            "TARVELL_SNMP_AGENT_PORT=" + std::to_string(agentPort)};
}

}  // namespace tarvell::testing
