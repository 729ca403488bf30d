#include "service/Workers.h"

#include <memory>
#include <string>

#include "platform/Files.h"
#include "platform/WorkerThread.h"
#include "service/actionlinks/CTarvellHttp.h"
#include "service/alerts/CScanAlertsEmail.h"
#include "service/alerts/CScanAlertsRun.h"
#include "service/alerts/CScanAlertsSnmp.h"
#include "service/alerts/CScanAlertsSyslog.h"
#include "service/blocking/CScanBlocking.h"
#include "service/detection/CScanDatabase.h"
#include "service/exports/CScanExportHtml.h"
#include "service/exports/CScanExportSql.h"
#include "service/linkup/LinkupChecks.h"
#include "service/linkup/LinkupStarter.h"
#include "service/polling/PollRequest.h"
#include "service/polling/PollScheduler.h"
#include "service/traps/CScanSnmpTraps.h"

namespace tarvell {
namespace {

// What several workers share. Made when the first slot (Blocking) starts and stopped by that
// slot's stop function, which the engine calls last (it stops the slots in reverse order).
struct SharedWorkers {
    CTarvellFrm* engine = nullptr;
    std::unique_ptr<LinkupStarter> linkup;
    std::unique_ptr<PollStarter> polls;
    std::shared_ptr<WorkerThread> eventFileProbe;

    void Stop() {
        if (eventFileProbe) eventFileProbe->StopAndJoin();
        // The polls start linkup checks: they end before the checks go.
        polls.reset();
        // The engine thread calls this, so no WMI recheck is being started meanwhile.
        if (engine != nullptr) engine->startWmiRecheck = nullptr;
        if (auto* checks = dynamic_cast<LinkupChecks*>(linkup.get())) checks->Stop();
        linkup.reset();
    }
};

std::unique_ptr<SharedWorkers> MakeShared(CTarvellFrm& engine, const ServiceTestSettings& tests) {
    auto shared = std::make_unique<SharedWorkers>();
    shared->engine = &engine;
    auto checks = std::make_unique<LinkupChecks>(engine);
    LinkupChecks* recheck = checks.get();
    engine.startWmiRecheck = [recheck](CTarvellFrm&) { recheck->StartWmiRecheck(); };
    shared->linkup = std::move(checks);
    shared->polls = std::make_unique<PollScheduler>(engine, *shared->linkup);
    if (!tests.eventFile.empty()) {
        shared->eventFileProbe = std::make_shared<EventFileProbe>(engine, tests.eventFile);
        if (!shared->eventFileProbe->Start()) {
            engine.Log("A test probe could not be started");
            shared->eventFileProbe.reset();
        }
    }
    return shared;
}

// Starts a worker thread and returns its stop functions (empty when it could not start).
WorkerStop StartThread(CTarvellFrm& engine, std::shared_ptr<WorkerThread> worker,
                       const char* name) {
    if (!worker) return {};
    if (!worker->Start(name)) {
        engine.Log(std::string("Worker ") + name + " could not be started");
        return {};
    }
    return {[worker] { worker->RequestStop(); }, [worker] { worker->StopAndJoin(); }};
}

// ---- one function per slot. Each returns the slot's stop functions, empty when the slot has
// no worker. They run in start order, on the engine thread.

WorkerStop StartBlocking(CTarvellFrm& engine, SharedWorkers& shared) {
    (void)shared;
    return StartThread(engine, std::make_shared<CScanBlocking>(engine), "CScanBlocking");
}

WorkerStop StartDatabase(CTarvellFrm& engine, SharedWorkers& shared) {
    return StartThread(engine,
                       std::make_shared<CScanDatabase>(engine, *shared.polls, *shared.linkup),
                       "CScanDatabase");
}

WorkerStop StartSnmpTraps(CTarvellFrm& engine, SharedWorkers& shared,
                          const ServiceTestSettings& tests) {
    TrapListenerOptions options;
    if (tests.trapPort) options.port = *tests.trapPort;
    options.bootCounterPath = JoinPath(engine.ServiceFolder, "snmpv3_boot_counter");
    return StartThread(engine, std::make_shared<CScanSnmpTraps>(engine, *shared.polls, options),
                       "CScanSnmpTraps");
}

WorkerStop StartAlertsEmail(CTarvellFrm& engine, SharedWorkers& shared,
                            const ServiceTestSettings& tests) {
    (void)shared;
    // The channel itself answers the e-mail test request now; the slot probe is not started.
    (void)tests;
    return StartThread(engine, std::make_shared<CScanAlertsEmail>(engine), "CScanAlertsEmail");
}

WorkerStop StartAlertsSnmp(CTarvellFrm& engine, SharedWorkers& shared) {
    (void)shared;
    return StartThread(engine, std::make_shared<CScanAlertsSnmp>(engine), "CScanAlertsSnmp");
}

WorkerStop StartAlertsSyslog(CTarvellFrm& engine, SharedWorkers& shared,
                             const ServiceTestSettings& tests) {
    (void)shared;
    return StartThread(
        engine, std::make_shared<CScanAlertsSyslog>(engine, tests.syslogPort.value_or(kSyslogPort)),
        "CScanAlertsSyslog");
}

WorkerStop StartAlertsRun(CTarvellFrm& engine, SharedWorkers& shared) {
    (void)shared;
    return StartThread(engine, std::make_shared<CScanAlertsRun>(engine), "CScanAlertsRun");
}

WorkerStop StartExportHtml(CTarvellFrm& engine, SharedWorkers& shared) {
    (void)shared;
    return StartThread(engine, std::make_shared<CScanExportHtml>(engine), "CScanExportHtml");
}

WorkerStop StartExportSql(CTarvellFrm& engine, SharedWorkers& shared) {
    (void)shared;
    return StartThread(engine, std::make_shared<CScanExportSql>(engine), "CScanExportSql");
}

WorkerStop StartHttp(CTarvellFrm& engine, SharedWorkers& shared) {
    (void)shared;
    std::string note;
    HttpListenerOptions options = ReadHttpListenerOptions({}, &note);
    if (!note.empty()) engine.Log("Test settings: " + note);
    return StartThread(engine, std::make_shared<CTarvellHttp>(engine, std::move(options)), "Http");
}

}  // namespace

WorkerStarter MakeWorkerStarter(const ServiceTestSettings& tests) {
    // The starter outlives every call. The shared services are made at the first slot's start
    // and stopped at its stop; their memory goes with the starter.
    auto holder = std::make_shared<std::shared_ptr<SharedWorkers>>();
    return [tests, holder](WorkerSlot slot, CTarvellFrm& engine) -> WorkerStop {
        if (!*holder) *holder = std::shared_ptr<SharedWorkers>(MakeShared(engine, tests));
        SharedWorkers& shared = **holder;
        switch (slot) {
            case WorkerSlot::Blocking: {
                WorkerStop stop = StartBlocking(engine, shared);
                std::shared_ptr<SharedWorkers> keep = *holder;
                return {stop.request, [join = stop.join, keep] {
                            if (join) join();
                            keep->Stop();
                        }};
            }
            case WorkerSlot::Database: return StartDatabase(engine, shared);
            case WorkerSlot::SnmpTraps: return StartSnmpTraps(engine, shared, tests);
            case WorkerSlot::AlertsEmail: return StartAlertsEmail(engine, shared, tests);
            case WorkerSlot::AlertsSnmp: return StartAlertsSnmp(engine, shared);
            case WorkerSlot::AlertsSyslog: return StartAlertsSyslog(engine, shared, tests);
            case WorkerSlot::AlertsRun: return StartAlertsRun(engine, shared);
            case WorkerSlot::ExportHtml: return StartExportHtml(engine, shared);
            case WorkerSlot::ExportSql: return StartExportSql(engine, shared);
            case WorkerSlot::Http: return StartHttp(engine, shared);
        }
        return {};
    };
}

}  // namespace tarvell
