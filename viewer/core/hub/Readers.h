// The two reader threads of the viewer. Every interval each reads one state file of the current
// server into private values, filters and counts it, and hands the hub a whole new snapshot;
// they never touch the settings document or data that the screens read. CTarvellDb also reads
// the server's settings privately (the request lists its filter needs) and prunes the read
// marks. A file that is missing or damaged publishes nothing: the hub keeps what it had.
//
// Threads: Run on the reader's own thread; PassOnce may be called by tests without starting it.
// The server folder is read from the hub at each pass, so a connect applies at the next pass.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/WorkerThread.h"
#include "shared/StateFiles.h"
#include "viewer/core/hub/CTarvellApp.h"

namespace tarvell {

// Reads <folder>/Tarvell.db and <folder>/Tarvell.log (the content is chosen here, not by the
// name); nullopt when the file is missing or cannot be decoded.
std::optional<EventDatabaseFile> ReadEventsFile(const std::string& folder);
std::optional<AlertLogFile> ReadAlertsFile(const std::string& folder);
// The server's settings as the viewer sees them (a pending hand-over copy first); nullopt when
// neither file loads.
std::shared_ptr<const CTarvellDoc> ReadServerSettings(const std::string& folder);

// Filters, counts and turns a file's content into a hub snapshot.
std::shared_ptr<const EventsSnapshot> MakeEventsSnapshot(EventDatabaseFile file,
                                                         const CTarvellDoc& settings,
                                                         ItemCounts& counts);
std::shared_ptr<const AlertsSnapshot> MakeAlertsSnapshot(AlertLogFile file,
                                                         const CTarvellDoc& settings,
                                                         ItemCounts& counts);

class CTarvellDb : public WorkerThread {
public:
    explicit CTarvellDb(CTarvellApp& app) : app_(app) {}
    ~CTarvellDb() override { StopAndJoin(); }
    // One pass: true when the file was read and a snapshot handed to the hub.
    bool PassOnce();

protected:
    void Run() override;

private:
    CTarvellApp& app_;
};

class CTarvellLog : public WorkerThread {
public:
    explicit CTarvellLog(CTarvellApp& app) : app_(app) {}
    ~CTarvellLog() override { StopAndJoin(); }
    bool PassOnce();

protected:
    void Run() override;

private:
    CTarvellApp& app_;
};

}  // namespace tarvell
