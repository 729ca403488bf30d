// The round every alert channel shares. Once a second a channel looks at its queue: while the
// channel is enabled it takes the oldest alert (keys ordered by their seconds and counter as
// numbers); while it is disabled but a test was requested, it takes the queued test alert. The
// alert leaves the queue under AlertLock and is delivered with no lock held; the test flag is
// cleared at the end of every round, as the viewer's test request expects.
//
// Threads: Run on the channel's own thread. TakeOnce may be called by tests without starting
// the thread. Settings: one snapshot per round. A delivery that fails for a target is logged
// once while the failure lasts and once more when the target works again.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/WorkerThread.h"
#include "service/engine/CTarvellFrm.h"

namespace tarvell {

class AlertChannelThread : public WorkerThread {
public:
    AlertChannelThread(CTarvellFrm& engine, ObjectMap<CAlertItem>& queue,
                       std::atomic<int>& testFlag, std::string name,
                       std::int64_t intervalMs = 1000);

    // One round: true when an alert was taken and delivered.
    bool TakeOnce();

protected:
    void Run() override;
    virtual bool Enabled(const CTarvellDoc& settings) const = 0;
    virtual void Deliver(const std::string& key, const CAlertItem& alert,
                         const CTarvellDoc& settings) = 0;
    // The key recorded as delivered once the alert `key` was delivered: every alert up to it is
    // done with. A channel that keeps alerts for a later try returns an earlier key.
    virtual std::string DeliveredThrough(const std::string& key) { return key; }

    // Logs a failed delivery to `target` once while it lasts, and its recovery once.
    void ReportDelivery(const std::string& target, bool ok, const std::string& why = {});

    CTarvellFrm& engine_;
    ObjectMap<CAlertItem>& queue_;  // [engine_.AlertLock]

private:
    std::unique_ptr<CAlertItem> Take(bool enabled, std::string& key);

    std::atomic<int>& testFlag_;
    const std::string name_;
    const std::int64_t intervalMs_;
    std::map<std::string, bool> failing_;  // channel thread only
};

// The alert text the syslog and trap channels send: the configured description of the alert's
// type with "$cause", "$before", "$current", "$submitter" and "$severity" replaced.
std::string ChannelAlertText(const CTarvellFrm& engine, const CAlertItem& alert);

}  // namespace tarvell
