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
#include <mutex>
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
    // Called once the real alert `key` was handed to Deliver: records it as delivered (every
    // alert up to it is done with). A channel that finishes its alerts later records them
    // itself, never past an alert it is not done with.
    virtual void MarkDelivered(const std::string& key) { engine_.NoteDelivered(queue_, key); }

    // Logs a failed delivery to `target` once while it lasts, and its recovery once. Any thread.
    void ReportDelivery(const std::string& target, bool ok, const std::string& why = {});

    CTarvellFrm& engine_;
    ObjectMap<CAlertItem>& queue_;  // [engine_.AlertLock]

private:
    std::unique_ptr<CAlertItem> Take(bool enabled, std::string& key);

    std::atomic<int>& testFlag_;
    const std::string name_;
    const std::int64_t intervalMs_;
    std::mutex failingMutex_;
    std::map<std::string, bool> failing_;  // [failingMutex_]
};

// The alert text the syslog and trap channels send: the configured description of the alert's
// type with "$cause", "$before", "$current", "$submitter" and "$severity" replaced.
std::string ChannelAlertText(const CTarvellFrm& engine, const CAlertItem& alert);

}  // namespace tarvell
