#include "service/linkup/LinkupChecks.h"

#include "platform/Text.h"
#include "platform/WorkerThread.h"
#include "service/linkup/CScanLinkupWmi.h"

namespace tarvell {

LinkupChecks::LinkupChecks(CTarvellFrm& engine, WmiFactory wmi, LinkupCheckOptions options)
    : engine_(engine), options_(options), factory_(std::move(wmi)) {
    if (!factory_) {
        factory_ = [this] {
            std::string note;
            auto client = MakeWmiClient({}, &engine_.clock(), &note);
            engine_.Log("WMI backend: " + note);
            return client;
        };
    }
    for (std::size_t i = 0; i < std::max<std::size_t>(1, options_.threads); ++i) {
        try {
            threads_.push_back(StartNamedThread("LinkupCheck", [this] { Worker(); }));
        } catch (const std::system_error&) {
            engine_.Log("Linkup check threads could not all be started; " +
                        FormatLong(static_cast<std::int64_t>(threads_.size())) + " run the checks");
            break;
        }
    }
}

LinkupChecks::~LinkupChecks() { Stop(); }

void LinkupChecks::Stop() {
    std::unique_ptr<CScanLinkupWmiNow> recheck;
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
        recheck = std::move(recheck_);
    }
    stop_.Set();
    changed_.notify_all();
    if (recheck) recheck->StopAndJoin();
    for (std::thread& t : threads_) {
        if (t.joinable()) t.join();
    }
    threads_.clear();
    std::lock_guard<std::mutex> guard(lock_);
    queue_.clear();
    pending_.clear();
    changed_.notify_all();
}

void LinkupChecks::StartCheck(LinkupCheck check, const LinkupTarget& target) {
    std::lock_guard<std::mutex> guard(lock_);
    if (stopping_ || threads_.empty()) return;
    if (!pending_.insert({check, target.NodeMac}).second) return;  // one pending per node
    if (queue_.size() >= options_.maxQueued) {
        pending_.erase({check, target.NodeMac});
        if (!overflowLogged_) {
            engine_.Log("Linkup checks could not be queued (" +
                        FormatLong(static_cast<std::int64_t>(queue_.size())) +
                        " are waiting); new nodes are not checked until the queue shortens");
            overflowLogged_ = true;
        }
        return;
    }
    overflowLogged_ = false;
    queue_.push_back({check, target});
    changed_.notify_all();
}

void LinkupChecks::StartWmiRecheck() {
    std::unique_ptr<CScanLinkupWmiNow> ended;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (stopping_) return;
        if (recheck_ && recheck_->RunAgain()) return;
        ended = std::move(recheck_);  // it finished its last round: joined below at once
    }
    if (ended) ended->StopAndJoin();
    // The backend is made on this thread only when no check made it before; the fixture and
    // null backends are quick, the helper's self-test takes about a second.
    auto recheck = std::make_unique<CScanLinkupWmiNow>(engine_, Wmi(), options_.recheckMaxRunning);
    std::lock_guard<std::mutex> guard(lock_);
    if (stopping_ || recheck_) return;  // stopped, or another call won the race
    if (!recheck->Start()) {
        engine_.Log("The on-demand WMI check could not be started (no thread)");
        return;
    }
    recheck_ = std::move(recheck);
}

std::size_t LinkupChecks::Pending() const {
    std::lock_guard<std::mutex> guard(lock_);
    return pending_.size();
}

bool LinkupChecks::WaitIdle(std::int64_t ms) const {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        const bool recheckRunning = recheck_ && !recheck_->Finished();
        if (pending_.empty() && !recheckRunning) return true;
        if (std::chrono::steady_clock::now() >= until) return false;
        changed_.wait_for(guard, std::chrono::milliseconds(20));
    }
}

WmiClient& LinkupChecks::Wmi() {
    std::call_once(wmiOnce_, [this] {
        wmi_ = factory_();
        if (!wmi_) wmi_ = MakeNullWmiClient();
        engine_.Log("WMI checks use the " + wmi_->Name() + " backend");
    });
    return *wmi_;
}

void LinkupChecks::Worker() {
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> guard(lock_);
            changed_.wait(guard, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_) return;
            job = std::move(queue_.front());
            queue_.pop_front();
            ++running_;
        }
        if (job.check == LinkupCheck::Wmi) {
            CScanLinkupWmi(engine_, Wmi(), job.target, &stop_).Check();
        } else {
            CScanLinkupScript(engine_, job.target, &stop_, options_.scriptLimitMs).Check();
        }
        std::lock_guard<std::mutex> guard(lock_);
        --running_;
        pending_.erase({job.check, job.target.NodeMac});
        changed_.notify_all();
    }
}

}  // namespace tarvell
