// The on-demand WMI check: when the viewer brings a new WMI condition list, every located node
// that the WMI events concern is checked at once, one CScanLinkupWmi thread per node and at most
// kWmiNowMaxRunning of them at a time; the thread ends when all of them have ended. A stop ends
// the starting of checks and every running check's waits; the thread still joins them all.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/WorkerThread.h"
#include "service/engine/CTarvellFrm.h"
#include "service/linkup/CScanLinkupWmi.h"

namespace tarvell {

inline constexpr std::size_t kWmiNowMaxRunning = 64;

class CScanLinkupWmiNow : public WorkerThread {
public:
    CScanLinkupWmiNow(CTarvellFrm& engine, WmiClient& wmi,
                      std::size_t maxRunning = kWmiNowMaxRunning)
        : engine_(engine), wmi_(wmi), maxRunning_(maxRunning) {}
    ~CScanLinkupWmiNow() override { StopAndJoin(); }

    // Asks for one more round once this one has ended (the conditions changed again meanwhile).
    // false when the thread has already ended its last round: start a new one then.
    bool RunAgain();
    // Checks started so far, for tests and the log.
    std::size_t Started() const;

    // One round on the calling thread.
    void CheckAll();

protected:
    void Run() override;

private:
    // The eligible nodes' targets, in map order.
    std::vector<LinkupTarget> Targets();
    // Waits until a slot is free; the index, or nullopt when stopping.
    std::optional<std::size_t> FreeSlot(std::vector<std::unique_ptr<CScanLinkupWmi>>& slots);

    CTarvellFrm& engine_;
    WmiClient& wmi_;
    const std::size_t maxRunning_;
    mutable std::mutex lock_;
    std::condition_variable ended_;  // a check ended
    bool again_ = false;             // [lock_]
    bool lastRound_ = false;         // [lock_]
    std::size_t started_ = 0;        // [lock_]
    std::vector<bool> done_;         // [lock_] per slot: its check has ended
};

}  // namespace tarvell
