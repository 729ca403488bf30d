// What the two per-node linkup checks share: the wait for the node's address in the sibling
// database, pauses on the engine's clock that a stop ends, and the detection event of a node.
// A check runs as its own thread (Start) or on the caller's thread (Check), as the pool of
// LinkupChecks runs it; either way it ends soon after its stop event is set.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/WorkerThread.h"
#include "service/engine/CTarvellFrm.h"
#include "service/linkup/LinkupStarter.h"

namespace tarvell {

// How long a check waits for the node's address: this many looks, one a second.
inline constexpr int kNodeWaitTries = 3600;
inline constexpr std::int64_t kNodeWaitPauseMs = 1000;

class LinkupWorker : public WorkerThread {
public:
    // `stop` (may be null: the thread's own stop event) ends the waits; the pool passes its own.
    LinkupWorker(CTarvellFrm& engine, LinkupTarget target, const ManualResetEvent* stop)
        : engine_(engine), target_(std::move(target)), stop_(stop) {}

    // The whole check on the calling thread. `done` runs last, whatever happened.
    virtual void Check() = 0;
    void SetDone(std::function<void()> done) { done_ = std::move(done); }
    const LinkupTarget& Target() const { return target_; }

protected:
    void Run() override { Check(); }

    struct NodeFacts {
        std::string ip;       // as stored (may end in a remark): the event's SourceIp
        std::string address;  // the dotted address alone: what is connected to
        std::string name;
    };
    // Looks up the node until it has an address (kNodeWaitTries looks); nullopt when it never
    // got one or the check is stopping.
    std::optional<NodeFacts> WaitForNode();
    bool Stopping() const;
    // Waits ms on the engine's clock; true when stopping. On the system clock the stop event
    // ends the wait at once; a test clock just advances.
    bool Pause(std::int64_t ms);
    const ManualResetEvent& StopSignal() { return stop_ != nullptr ? *stop_ : StopEvent(); }
    // A detection event of the node with the port fields of the target.
    std::unique_ptr<CEventItem> NodeEvent(const NodeFacts& node, const std::string& type) const;
    void Finish();

    CTarvellFrm& engine_;
    const LinkupTarget target_;

private:
    const ManualResetEvent* stop_;
    std::function<void()> done_;
};

}  // namespace tarvell
