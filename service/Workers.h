// The one place that maps each worker slot of the engine to the class that fills it, and the
// services that several workers share (the poll scheduler, the linkup checks). The engine knows
// none of the workers: it is handed the starter made here.
#pragma once

#include <functional>

#include "service/engine/CTarvellFrm.h"
#include "service/engine/TestProbes.h"

namespace tarvell {

using WorkerStarter = std::function<WorkerStop(WorkerSlot, CTarvellFrm&)>;

// The starter of the installed service. Every slot whose worker exists starts it; a test probe
// takes a slot only while that slot has no worker of its own. The event-file probe is an input
// of the tests, not a worker: it runs beside the workers when its setting is given.
WorkerStarter MakeWorkerStarter(const ServiceTestSettings& tests);

}  // namespace tarvell
