// The two reader threads of the viewer. Every interval each reads one state file of the current
// server into private values, filters and counts it, and hands the hub a whole new snapshot;
// they never touch the settings document or data that the screens read. CTarvellDb also reads
// the server's settings privately (the request lists its filter needs), prunes the read marks
// and, after each pass, asks the service's state for the hub (CTarvellApp::ProbeService). A
// file that is missing or damaged publishes nothing: the hub keeps what it had.
//
// A pass over files nobody changed (the state file, and the settings the filter reads) reads and
// publishes nothing: the hub keeps the snapshot it has and the screens hear of nothing. A file
// rewritten with the same bytes is read but not decoded. After a large snapshot replaced another
// the freed heap is handed back to the system.
//
// Threads: Run on the reader's own thread; PassOnce may be called by tests without starting it.
// The server folder is read from the hub at each pass, so a connect applies at the next pass.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/WorkerThread.h"
#include "shared/StateFiles.h"
#include "viewer/core/hub/FileWatch.h"
#include "viewer/core/hub/CTarvellApp.h"

namespace tarvell {

// Reads <folder>/Tarvell.db and <folder>/Tarvell.log (the content is chosen here, not by the
// name); nullopt when the file is missing or cannot be decoded.
std::optional<EventDatabaseFile> ReadEventsFile(const std::string& folder);
std::optional<AlertLogFile> ReadAlertsFile(const std::string& folder);
// The server's settings as the viewer sees them (a pending hand-over copy first, when the
// service would take it over from a member of `handOverGroup`); nullopt when neither file loads.
std::shared_ptr<const CTarvellDoc> ReadServerSettings(const std::string& folder,
                                                      const std::string& handOverGroup);

// Filters, counts and turns a file's content into a hub snapshot.
std::shared_ptr<const EventsSnapshot> MakeEventsSnapshot(EventDatabaseFile file,
                                                         const CTarvellDoc& settings,
                                                         ItemCounts& counts);
std::shared_ptr<const AlertsSnapshot> MakeAlertsSnapshot(AlertLogFile file,
                                                         const CTarvellDoc& settings,
                                                         ItemCounts& counts);

// Snapshots of this many records or more hand the heap they leave back to the system.
inline constexpr std::size_t kTrimAfterRecords = 10'000;

class CTarvellDb : public WorkerThread {
public:
    explicit CTarvellDb(CTarvellApp& app) : app_(app) {}
    ~CTarvellDb() override { StopAndJoin(); }
    // One pass: true when the file was read and a snapshot handed to the hub, or when neither
    // the file nor the settings changed since the last snapshot it handed over.
    bool PassOnce();
    // How many snapshots this reader handed to the hub.
    int Publications() const { return publications_; }

protected:
    void Run() override;

private:
    // The settings the filter reads, read again only when their files may have changed; `fresh`
    // tells whether they differ from the hub's copy, which they then replace.
    std::shared_ptr<const CTarvellDoc> Settings(const std::string& folder, bool& fresh);

    CTarvellApp& app_;
    FileWatch file_, settings_, handOver_;  // reader thread only
    // The request lists the last snapshot handed over was filtered with.
    std::vector<std::string> deleteRequests_, blockRequests_;
    int publications_ = 0;
};

class CTarvellLog : public WorkerThread {
public:
    explicit CTarvellLog(CTarvellApp& app) : app_(app) {}
    ~CTarvellLog() override { StopAndJoin(); }
    // As CTarvellDb::PassOnce; the settings are the hub's (ReaderSettings).
    bool PassOnce();
    int Publications() const { return publications_; }

protected:
    void Run() override;

private:
    CTarvellApp& app_;
    FileWatch file_;                          // reader thread only
    std::vector<std::string> removedAlerts_;  // what the last snapshot was filtered with
    int publications_ = 0;
};

}  // namespace tarvell
