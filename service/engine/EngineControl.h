// How the service host drives the engine: one object, built by a factory the host is given, run
// on a thread of its own, and told about the viewer's test requests.
#pragma once

#include <functional>
#include <memory>
#include <stdexcept>

namespace tarvell {

class ManualResetEvent;

// Thrown out of Run when the engine cannot go on and must not save what it holds (a state file
// that did not fit in memory: its save would write an empty map over it). what() is the whole
// line for the log: what happened and what to do. The host ends the service with an error.
class EngineCannotRun : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class EngineControl {
public:
    virtual ~EngineControl() = default;

    // The engine thread's body: start-up, then a pass at every interval until `stop` is set,
    // then one last save pass and the workers stopped and joined. Returns when all of that is
    // done; the host waits for it (within a time limit) before it reports the service stopped.
    virtual void Run(ManualResetEvent& stop) = 0;

    // A user-defined control code (136, 137, 144 or 145) from the signal thread. May be called
    // at any time between construction and destruction, also while Run is still starting up or
    // has already returned; an engine that cannot take it yet logs and ignores it.
    virtual void QueueTestAlert(int controlCode) = 0;
};

// Builds the engine. Called once, on the host's main thread, before the engine thread starts; the
// host publishes the object to the control handler only after the factory has returned it.
// A null result means the engine could not be built.
using EngineFactory = std::function<std::unique_ptr<EngineControl>()>;

}  // namespace tarvell
