// A WMI backend for tests of concurrency: the first connect of each check blocks until the test
// lets that many through (or the check is cancelled); every connect then fails.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/ManualResetEvent.h"
#include "platform/wmi/WmiClient.h"

namespace tarvell::linkuptest {

using namespace std::chrono_literals;

class GateClient final : public WmiClient {
public:
    class Connection final : public WmiConnection {
    public:
        Connection(GateClient& gate, const ManualResetEvent* cancel)
            : gate_(gate), cancel_(cancel) {}
        bool Connect(const std::string&, const std::string&, const std::optional<WmiAccount>&,
                     std::int64_t, std::string* why) override {
            if (first_) {
                first_ = false;
                gate_.Enter(cancel_);
            }
            *why = "no answer";
            return false;
        }
        void Disconnect() override {}
        std::optional<std::vector<std::string>> Query(const std::string&, const std::string&,
                                                      std::int64_t) override {
            return std::nullopt;
        }
        std::optional<std::vector<std::string>> EnumKey(std::uint32_t, const std::string&,
                                                        std::int64_t) override {
            return std::nullopt;
        }
        std::optional<std::string> GetStringValue(std::uint32_t, const std::string&,
                                                  const std::string&, std::int64_t) override {
            return std::nullopt;
        }
        std::optional<std::uint32_t> GetDwordValue(std::uint32_t, const std::string&,
                                                   const std::string&, std::int64_t) override {
            return std::nullopt;
        }
        bool IsDomainComputer(const std::string&, std::int64_t) override { return false; }

    private:
        GateClient& gate_;
        const ManualResetEvent* cancel_;
        bool first_ = true;
    };

    std::unique_ptr<WmiConnection> Open(const ManualResetEvent* cancel) override {
        return std::make_unique<Connection>(*this, cancel);
    }
    std::string Name() const override { return "gate"; }

    void Enter(const ManualResetEvent* cancel) {
        std::unique_lock<std::mutex> guard(lock_);
        const int me = entered_++;
        changed_.notify_all();
        while (released_ <= me && !(cancel != nullptr && cancel->IsSet()))
            changed_.wait_for(guard, 20ms);
    }
    void Release(int n) {
        std::lock_guard<std::mutex> guard(lock_);
        released_ += n;
        changed_.notify_all();
    }
    int Entered() {
        std::lock_guard<std::mutex> guard(lock_);
        return entered_;
    }
    bool WaitEntered(int n, std::chrono::milliseconds limit = 20s) {
        std::unique_lock<std::mutex> guard(lock_);
        return changed_.wait_for(guard, limit, [&] { return entered_ >= n; });
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    int entered_ = 0;
    int released_ = 0;
};

}  // namespace tarvell::linkuptest
