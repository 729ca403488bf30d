#include "service/polling/PollScheduler.h"

#include <pthread.h>

#include <exception>
#include <system_error>

#include "platform/Text.h"

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
    order_.push_back(key);
    if (idleThreads_ == 0 && threads_.size() < std::min(options_.maxPolls, kMaxPolls)) {
        try {
            threads_.emplace_back([this] { Worker(); });
        } catch (const std::system_error& e) {
            if (threads_.empty()) {
                engine_.Log(std::string("Poll thread could not be started (") + e.what() +
                            "); polls wait");
            }
        }
    }
    wake_.notify_one();
}

void PollScheduler::Worker() {
    ::pthread_setname_np(::pthread_self(), "SnmpMacs");
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        ++idleThreads_;
        wake_.wait(lock, [&] { return stopping_ || !order_.empty(); });
        --idleThreads_;
        if (stopping_) return;
        const std::string key = order_.front();
        order_.pop_front();
        std::vector<PollRequest> ports = std::move(waiting_[key].ports);
        waiting_.erase(key);
        running_[key] = ports;
        peakRunning_ = std::max(peakRunning_, running_.size());
        lock.unlock();

        {
            CScanSnmpMacs poll(engine_, linkup_, std::move(ports), &stop_, options_.poll,
                               &rowLimitLog_, &failureLog_);
            bool ran = false;
            try {
                ran = poll.Run();
            } catch (const std::exception& e) {
                engine_.Log("Switch " + key + " could not be polled (" + e.what() +
                            "); the poll ends");
            }
            if (onPollDone) onPollDone(poll, ran);
        }

        lock.lock();
        running_.erase(key);
        if (const auto later = followUps_.find(key); later != followUps_.end()) {
            std::vector<PollRequest> ports = std::move(later->second);
            followUps_.erase(later);
            if (!stopping_)
                for (const PollRequest& p : ports) QueueLocked(p);
        }
        idle_.notify_all();
    }
}

bool PollScheduler::WaitIdle(std::int64_t ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    return idle_.wait_for(lock, std::chrono::milliseconds(ms),
                          [&] { return order_.empty() && running_.empty(); });
}

std::size_t PollScheduler::Dropped() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return dropped_;
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
        order_.clear();
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
