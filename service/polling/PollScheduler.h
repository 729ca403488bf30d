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
// A switch whose poll got no answer at all waits out a back-off before it is polled again
// (backoffFirstMs, doubled after each silent poll up to backoffMaxMs, ended by an answer):
// requests for it meanwhile are merged into its one waiting entry, which becomes ready when the
// back-off ends. Ready switches go in three ranks: those that answered their last poll, then
// those never polled since the start, then those whose last poll was silent. A poll of a switch
// not known to answer ends at its first unanswered walk (PollOptions::endAtFirstSilence), so a
// dead switch holds a thread for one walk's time-out. Together these keep dead switches flooded
// with linkUps from starving the polls of switches that answer.
//
// Stop (also run by the destructor) refuses new requests, ends running polls after their
// request in flight and joins every pool thread; what was queued is dropped.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
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
    std::int64_t backoffFirstMs = 30'000;
    std::int64_t backoffMaxMs = 600'000;
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
    // Switches whose last poll was silent (in back-off or waiting behind those that answer).
    std::size_t SilentSwitches() const;
    // Switches whose last poll got an answer.
    std::size_t AnsweringSwitches() const;
    std::size_t PeakRunning() const;

private:
    using Clock = std::chrono::steady_clock;
    struct Waiting {
        std::vector<PollRequest> ports;
    };
    // A switch whose last poll got no answer.
    struct Silence {
        std::int64_t backoffMs = 0;
        Clock::time_point retryAt;
    };
    void Worker();
    // Queues ports for a switch; the caller holds mutex_.
    void QueueLocked(const PollRequest& request);
    // Puts a waiting switch where its last poll says: ready in its rank, or deferred until its
    // back-off ends. The caller holds mutex_.
    void ScheduleLocked(const std::string& key);
    // Moves the deferred switches whose back-off has ended to retry_. The caller holds mutex_.
    void ReleaseDueLocked();
    // True when a switch is ready; the caller holds mutex_.
    bool AnyReadyLocked() const;
    // Records how a poll of the switch went. The caller holds mutex_.
    void NoteOutcomeLocked(const std::string& key, bool silent);
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
    bool stopping_ = false;  // [mutex_]
    // Ready switch keys, first come first, in three ranks (see above).
    std::deque<std::string> answering_;   // [mutex_] answered their last poll
    std::deque<std::string> order_;       // [mutex_] not polled yet
    std::deque<std::string> retry_;       // [mutex_] silent at their last poll
    std::set<std::string> answeredLast_;  // [mutex_] switches whose last poll got an answer
    std::set<std::pair<Clock::time_point, std::string>> deferred_;  // [mutex_] in back-off
    std::map<std::string, Silence> silent_;                         // [mutex_]
    std::map<std::string, Waiting> waiting_;                        // [mutex_]
    std::map<std::string, std::vector<PollRequest>> running_;       // [mutex_] ports being polled
    std::map<std::string, std::vector<PollRequest>>
        followUps_;                     // [mutex_] ports that came up meanwhile
    std::size_t idleThreads_ = 0;       // [mutex_]
    std::size_t dropped_ = 0;           // [mutex_]
    std::size_t peakRunning_ = 0;       // [mutex_]
    bool fullLogged_ = false;           // [mutex_]
    std::vector<std::thread> threads_;  // [mutex_]
};

}  // namespace tarvell
