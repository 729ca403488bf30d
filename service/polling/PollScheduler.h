// Runs the polls that the detection thread and the trap listener ask for, on a bounded pool.
//
// RequestPoll is safe to call from any thread and never waits for the network: it queues the
// request and returns. At most kMaxPolls polls run at once, each on a pool thread; further
// requests wait in a queue that holds one entry per switch (a second request for a waiting
// switch adds its port to that entry, a repeated port is dropped). A request for a switch whose
// poll is running is remembered, and when that poll ends one follow-up poll reads the tables
// once for every port that came up meanwhile. Beyond kMaxQueuedSwitches waiting switches a
// request is dropped, counted and logged once while the queue stays full.
//
// Stop (also run by the destructor) refuses new requests, ends running polls after their
// request in flight and joins every pool thread; what was queued is dropped.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/ManualResetEvent.h"
#include "service/engine/CTarvellFrm.h"
#include "service/linkup/LinkupStarter.h"
#include "service/polling/CScanSnmpMacs.h"
#include "service/polling/PollRequest.h"

namespace tarvell {

struct PollSchedulerOptions {
    std::size_t maxPolls = 32;
    std::size_t maxQueuedSwitches = 10'000;
    std::size_t maxPortsPerSwitch = 4096;
    PollOptions poll;
};

class PollScheduler final : public PollStarter {
public:
    static constexpr std::size_t kMaxPolls = 32;

    PollScheduler(CTarvellFrm& engine, LinkupStarter& linkup, PollSchedulerOptions options = {});
    ~PollScheduler() override;
    PollScheduler(const PollScheduler&) = delete;
    PollScheduler& operator=(const PollScheduler&) = delete;

    void RequestPoll(const PollRequest& request) override;
    void Stop();

    // ---- for tests
    // Called on the pool thread after each poll (ran: false when the switch was being polled
    // by someone else and nothing was read).
    std::function<void(const CScanSnmpMacs& poll, bool ran)> onPollDone;
    // Waits until nothing is queued or running; false when `ms` passed first.
    bool WaitIdle(std::int64_t ms);
    std::size_t Dropped() const;
    std::size_t PeakRunning() const;

private:
    struct Waiting {
        std::vector<PollRequest> ports;
    };
    void Worker();
    // Queues ports for a switch; the caller holds mutex_.
    void QueueLocked(const PollRequest& request);
    static bool HasPort(const std::vector<PollRequest>& ports, const std::string& portIndex);

    CTarvellFrm& engine_;
    LinkupStarter& linkup_;
    const PollSchedulerOptions options_;
    ManualResetEvent stop_;
    OncePerSwitch rowLimitLog_;
    OncePerSwitch failureLog_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    bool stopping_ = false;                   // [mutex_]
    std::deque<std::string> order_;           // [mutex_] switch keys, first come first
    std::map<std::string, Waiting> waiting_;  // [mutex_]
    std::map<std::string, std::vector<PollRequest>> running_;  // [mutex_] ports being polled
    std::map<std::string, std::vector<PollRequest>>
        followUps_;                     // [mutex_] ports that came up meanwhile
    std::size_t idleThreads_ = 0;       // [mutex_]
    std::size_t dropped_ = 0;           // [mutex_]
    std::size_t peakRunning_ = 0;       // [mutex_]
    bool fullLogged_ = false;           // [mutex_]
    std::vector<std::thread> threads_;  // [mutex_]
};

}  // namespace tarvell
