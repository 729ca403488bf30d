#include "service/polling/PollScheduler.h"

#include <exception>
#include <system_error>

#include "platform/Memory.h"
#include "platform/Text.h"
#include "platform/WorkerThread.h"

namespace tarvell {

PollScheduler::PollScheduler(CTarvellFrm& engine, LinkupStarter& linkup,
                             PollSchedulerOptions options)
    : engine_(engine), linkup_(linkup), options_(options) {}

PollScheduler::~PollScheduler() { Stop(); }

bool PollScheduler::HasPort(const std::vector<PollRequest>& ports, const std::string& portIndex) {
    for (const PollRequest& p : ports)
        if (p.PortIndex == portIndex) return true;
    return false;
}

void PollScheduler::RequestPoll(const PollRequest& request) {
    if (request.SwitchKey.empty()) return;
    std::lock_guard<std::mutex> guard(mutex_);
    if (stopping_) return;
    QueueLocked(request);
}

void PollScheduler::QueueLocked(const PollRequest& request) {
    const std::string& key = request.SwitchKey;
    if (const auto running = running_.find(key); running != running_.end()) {
        if (HasPort(running->second, request.PortIndex)) return;
        auto& later = followUps_[key];
        if (HasPort(later, request.PortIndex)) return;
        if (later.size() >= options_.maxPortsPerSwitch) {
            ++dropped_;
            return;
        }
        later.push_back(request);
        return;
    }
    if (const auto waiting = waiting_.find(key); waiting != waiting_.end()) {
        auto& ports = waiting->second.ports;
        if (HasPort(ports, request.PortIndex)) return;
        if (ports.size() >= options_.maxPortsPerSwitch) {
            ++dropped_;
            return;
        }
        ports.push_back(request);
        return;
    }
    if (waiting_.size() >= options_.maxQueuedSwitches) {
        ++dropped_;
        if (!fullLogged_) {
            fullLogged_ = true;
            engine_.Log("Poll of switch " + key + " could not be queued (" +
                        FormatLong(static_cast<std::int64_t>(options_.maxQueuedSwitches)) +
                        " switches wait already); requests are dropped while the queue is full");
        }
        return;
    }
    fullLogged_ = false;
    waiting_[key].ports.push_back(request);
    ScheduleLocked(key);
    if (idleThreads_ == 0 && threads_.size() < std::min(options_.maxPolls, kMaxPolls)) {
        try {
            threads_.push_back(StartNamedThread("CScanSnmpMacs", [this] { Worker(); }));
        } catch (const std::system_error& e) {
            if (threads_.empty()) {
                engine_.Log(std::string("Poll thread could not be started (") + e.what() +
                            "); polls wait");
            }
        }
    }
    wake_.notify_one();
}

void PollScheduler::ScheduleLocked(const std::string& key) {
    const auto silence = silent_.find(key);
    if (silence == silent_.end()) (answeredLast_.count(key) ? answering_ : order_).push_back(key);
    else if (silence->second.retryAt > Clock::now())
        deferred_.emplace(silence->second.retryAt, key);
    else retry_.push_back(key);
}

void PollScheduler::ReleaseDueLocked() {
    const Clock::time_point now = Clock::now();
    while (!deferred_.empty() && deferred_.begin()->first <= now) {
        retry_.push_back(deferred_.begin()->second);
        deferred_.erase(deferred_.begin());
    }
}

bool PollScheduler::AnyReadyLocked() const {
    return !answering_.empty() || !order_.empty() || !retry_.empty();
}

void PollScheduler::NoteOutcomeLocked(const std::string& key, bool silent) {
    if (!silent) {
        silent_.erase(key);
        // Bounded like the queue: beyond it a switch that answers waits in the middle rank.
        if (answeredLast_.size() < options_.maxQueuedSwitches) answeredLast_.insert(key);
        return;
    }
    answeredLast_.erase(key);
    const auto known = silent_.find(key);
    // Bounded like the queue: beyond it a silent switch is simply polled again when asked.
    if (known == silent_.end() && silent_.size() >= options_.maxQueuedSwitches) return;
    Silence& s = silent_[key];
    s.backoffMs = s.backoffMs == 0 ? options_.backoffFirstMs
                                   : std::min(s.backoffMs * 2, options_.backoffMaxMs);
    s.retryAt = Clock::now() + std::chrono::milliseconds(s.backoffMs);
}

void PollScheduler::Worker() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        ++idleThreads_;
        for (;;) {
            ReleaseDueLocked();
            if (stopping_ || AnyReadyLocked()) break;
            if (deferred_.empty()) wake_.wait(lock);
            else wake_.wait_until(lock, deferred_.begin()->first);
        }
        --idleThreads_;
        if (stopping_) return;
        std::deque<std::string>& from = !answering_.empty() ? answering_
                                        : !order_.empty()   ? order_
                                                            : retry_;
        const std::string key = from.front();
        from.pop_front();
        std::vector<PollRequest> ports = std::move(waiting_[key].ports);
        waiting_.erase(key);
        running_[key] = ports;
        peakRunning_ = std::max(peakRunning_, running_.size());
        PollOptions pollOptions = options_.poll;
        pollOptions.endAtFirstSilence = !answeredLast_.count(key);
        lock.unlock();

        bool silent = false;
        bool answered = false;
        {
            CScanSnmpMacs poll(engine_, linkup_, std::move(ports), &stop_, pollOptions,
                               &rowLimitLog_, &failureLog_);
            bool ran = false;
            try {
                ran = poll.Run();
            } catch (const std::exception& e) {
                engine_.Log("Switch " + key + " could not be polled (" + e.what() +
                            "); the poll ends");
            }
            if (onPollDone) onPollDone(poll, ran);
            silent = ran && poll.Silent();
            answered = ran && !silent;
        }

        lock.lock();
        if (silent || answered) NoteOutcomeLocked(key, silent);
        running_.erase(key);
        if (const auto later = followUps_.find(key); later != followUps_.end()) {
            std::vector<PollRequest> ports = std::move(later->second);
            followUps_.erase(later);
            if (!stopping_)
                for (const PollRequest& p : ports) QueueLocked(p);
        }
        const bool burstOver = running_.empty() && !AnyReadyLocked();
        idle_.notify_all();
        if (burstOver) {
            // The last poll of a burst: the rows the polls read are freed, and the heap they
            // took goes back to the system rather than staying at the burst's peak.
            lock.unlock();
            ReturnFreedMemory();
            lock.lock();
        }
    }
}

bool PollScheduler::WaitIdle(std::int64_t ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    return idle_.wait_for(lock, std::chrono::milliseconds(ms),
                          [&] { return !AnyReadyLocked() && running_.empty(); });
}

std::size_t PollScheduler::Dropped() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return dropped_;
}

std::size_t PollScheduler::SilentSwitches() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return silent_.size();
}

std::size_t PollScheduler::AnsweringSwitches() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return answeredLast_.size();
}

std::size_t PollScheduler::PeakRunning() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return peakRunning_;
}

void PollScheduler::Stop() {
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        stopping_ = true;
        answering_.clear();
        order_.clear();
        retry_.clear();
        deferred_.clear();
        waiting_.clear();
        followUps_.clear();
        threads.swap(threads_);
    }
    stop_.Set();
    wake_.notify_all();
    for (std::thread& t : threads)
        if (t.joinable()) t.join();
    std::lock_guard<std::mutex> guard(mutex_);
    idle_.notify_all();
}

}  // namespace tarvell
