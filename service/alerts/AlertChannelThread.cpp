#include "service/alerts/AlertChannelThread.h"

#include <charconv>
#include <climits>

#include "platform/RecursiveLock.h"
#include "service/alerts/AlertText.h"
#include "shared/AlertKey.h"

namespace tarvell {

AlertChannelThread::AlertChannelThread(CTarvellFrm& engine, ObjectMap<CAlertItem>& queue,
                                       std::atomic<int>& testFlag, std::string name,
                                       std::int64_t intervalMs)
    : engine_(engine),
      queue_(queue),
      testFlag_(testFlag),
      name_(std::move(name)),
      intervalMs_(intervalMs) {}

void AlertChannelThread::Run() {
    while (!WaitForStop(intervalMs_)) TakeOnce();
}

std::unique_ptr<CAlertItem> AlertChannelThread::Take(bool enabled, std::string& key) {
    RecursiveGuard guard(engine_.AlertLock);
    const bool test = testFlag_.exchange(0) != 0;
    auto chosen = queue_.end();
    for (auto it = queue_.begin(); it != queue_.end(); ++it) {
        if (!enabled && it->second->Category != "Test Alert") continue;
        if (chosen == queue_.end() || AlertKeyOrder(it->first) < AlertKeyOrder(chosen->first))
            chosen = it;
    }
    if (chosen == queue_.end() || (!enabled && !test)) return nullptr;
    key = chosen->first;
    std::unique_ptr<CAlertItem> alert = std::move(chosen->second);
    queue_.erase(chosen);
    return alert;
}

bool AlertChannelThread::TakeOnce() {
    const std::shared_ptr<const CTarvellDoc> settings = engine_.Settings();
    std::string key;
    std::unique_ptr<CAlertItem> alert = Take(Enabled(*settings), key);
    if (!alert) return false;
    Deliver(key, *alert, *settings);
    // A test alert is not in the alert log and leaves the record alone.
    if (alert->Category != "Test Alert") MarkDelivered(key);
    return true;
}

void AlertChannelThread::ReportDelivery(const std::string& target, bool ok,
                                        const std::string& why) {
    std::lock_guard<std::mutex> guard(failingMutex_);
    auto [it, inserted] = failing_.try_emplace(target, false);
    if (!ok && !it->second) {
        engine_.Log(name_ + " alert to " + target + " could not be delivered (" + why +
                    "); later alerts are tried again");
    } else if (ok && it->second) {
        engine_.Log(name_ + " alerts to " + target + " are delivered again");
    }
    it->second = !ok;
    if (ok && failing_.size() > 1024) failing_.erase(it);  // keep the map small
}

std::string ChannelAlertText(const CTarvellFrm& engine, const CAlertItem& alert) {
    const AlertTextSources sources = LookUpAlertTexts(engine, alert);
    return ExpandEventText(sources.descriptionText, alert, sources);
}

}  // namespace tarvell
