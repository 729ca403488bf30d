// The linkup checks of the service: StartCheck queues a WMI check or a linkup script run for a
// node and returns at once; a pool of kLinkupPoolThreads threads runs them. At most one check of
// each kind is pending (queued or running) per node MAC: a node seen again meanwhile adds
// nothing. The queue is bounded; what does not fit is dropped and logged once while it lasts.
// StartWmiRecheck runs the on-demand check (CScanLinkupWmiNow) beside the pool, one at a time.
// The WMI backend is chosen on first use, on a pool thread (its self-test starts a program).
// Stop ends every wait, kills running scripts and joins everything; StartCheck is then ignored.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/ManualResetEvent.h"
#include "service/engine/CTarvellFrm.h"
#include "service/linkup/CScanLinkupScript.h"
#include "service/linkup/CScanLinkupWmiNow.h"
#include "service/linkup/LinkupStarter.h"
#include "platform/wmi/WmiClient.h"

namespace tarvell {

inline constexpr std::size_t kLinkupPoolThreads = 16;
inline constexpr std::size_t kMaxQueuedLinkupChecks = 10'000;

struct LinkupCheckOptions {
    std::size_t threads = kLinkupPoolThreads;
    std::size_t maxQueued = kMaxQueuedLinkupChecks;
    std::int64_t scriptLimitMs = kLinkupScriptLimitMs;
    std::size_t recheckMaxRunning = kWmiNowMaxRunning;
};

class LinkupChecks final : public LinkupStarter {
public:
    using WmiFactory = std::function<std::unique_ptr<WmiClient>()>;

    // `wmi` makes the backend (default: MakeWmiClient).
    LinkupChecks(CTarvellFrm& engine, WmiFactory wmi = {},
                 LinkupCheckOptions options = LinkupCheckOptions());
    ~LinkupChecks() override;
    LinkupChecks(const LinkupChecks&) = delete;
    LinkupChecks& operator=(const LinkupChecks&) = delete;

    void StartCheck(LinkupCheck check, const LinkupTarget& target) override;
    // Starts the on-demand check of every node; when one runs, it runs once more after it.
    // Never blocks (the engine thread calls it).
    void StartWmiRecheck();
    void Stop();

    // Checks queued or running (tests).
    std::size_t Pending() const;
    // Waits until nothing is queued or running and no on-demand check runs; true when idle.
    bool WaitIdle(std::int64_t ms) const;

private:
    struct Job {
        LinkupCheck check;
        LinkupTarget target;
    };
    void Worker();
    WmiClient& Wmi();

    CTarvellFrm& engine_;
    const LinkupCheckOptions options_;
    WmiFactory factory_;
    ManualResetEvent stop_;

    std::once_flag wmiOnce_;
    std::unique_ptr<WmiClient> wmi_;

    mutable std::mutex lock_;
    mutable std::condition_variable changed_;
    std::deque<Job> queue_;                                  // [lock_]
    std::set<std::pair<LinkupCheck, std::string>> pending_;  // [lock_] queued or running
    std::size_t running_ = 0;                                // [lock_]
    bool stopping_ = false;                                  // [lock_]
    bool overflowLogged_ = false;                            // [lock_]
    std::unique_ptr<CScanLinkupWmiNow> recheck_;             // [lock_]
    std::vector<std::thread> threads_;
};

}  // namespace tarvell
