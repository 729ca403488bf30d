// Helpers shared by the service host's tests.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Files.h"
#include "platform/ManualResetEvent.h"
#include "service/engine/EngineControl.h"

namespace tarvell::testing {

// A private folder under /tmp, removed with everything in it at the end of the test.
class TempFolder {
public:
    explicit TempFolder(const std::string& prefix = "service-test-")
        : path_(MakeTempFolder(prefix)) {}
    ~TempFolder() {
        if (!path_.empty()) {
            RemoveTree(path_);
        }
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Path() const { return path_; }
    std::string operator/(std::string_view name) const { return JoinPath(path_, name); }

private:
    std::string path_;
};

// Polls until the condition holds or the time is up; true when it held.
inline bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// What a fake engine did, kept apart from the engine so a test can look after it is gone.
struct FakeEngineRecord {
    ManualResetEvent running;       // Run was entered
    ManualResetEvent release;       // lets a stubborn engine's Run return
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
            case FakeBehaviour::IgnoresStop:
                record_->release.Wait();
                break;
            case FakeBehaviour::Throws:
                throw std::runtime_error("settings lost");
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

}  // namespace tarvell::testing
