// Base of the worker threads. The owner creates the object, sets its members (the pointers into
// the engine, the queue, ...), then calls Start; Run executes on the new thread. A stop request
// signals an event that Run may wait on; Join waits for Run to return. The object must outlive
// its thread: Run never deletes its own object.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "platform/ManualResetEvent.h"

namespace tarvell {

class WorkerThread {
public:
    WorkerThread() = default;
    // Stops and joins a thread that still runs. A derived class whose Run uses the derived
    // class's members must call StopAndJoin in its own destructor, before those members go.
    virtual ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Starts Run on a new thread; false when it was started before or no thread could be made.
    // `name` names the thread to the system (its first 15 bytes: ps, top, a core dump) and in
    // the line written when an exception ends it.
    bool Start(std::string name = {});
    const std::string& Name() const { return name_; }
    // Asks Run to end: sets the stop event. Does not wait.
    void RequestStop();
    bool StopRequested() const { return stop_.IsSet(); }
    // Waits until Run has returned; does nothing when the thread was never started, was joined
    // before, or when called from the thread itself.
    void Join();
    void StopAndJoin();
    // Started and Run has not yet returned.
    bool IsRunning() const { return running_.load(); }
    // Run has returned (the thread may still need a Join).
    bool Finished() const { return finished_.load(); }

protected:
    virtual void Run() = 0;
    // The stop event, for Run to wait on; also for a thread that must share it with others.
    ManualResetEvent& StopEvent() { return stop_; }
    // Waits up to ms for a stop request: true when stopping. The pause of a worker's loop.
    bool WaitForStop(std::int64_t ms) { return stop_.WaitFor(ms); }

private:
    void Main();

    ManualResetEvent stop_;
    std::mutex threadMutex_;
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<bool> finished_{false};
    bool started_ = false;
    std::string name_;  // set before the thread starts, constant after
};

// A plain thread of a pool (the polls, the linkup checks), named to the system as WorkerThread
// names its own before `body` runs. Throws std::system_error as std::thread does.
std::thread StartNamedThread(const std::string& name, std::function<void()> body);

}  // namespace tarvell
