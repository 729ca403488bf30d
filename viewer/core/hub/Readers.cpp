#include "viewer/core/hub/Readers.h"

#include <algorithm>
#include <ctime>

#include "platform/Files.h"
#include "platform/Memory.h"
#include "shared/StateFiles.h"

namespace tarvell {
namespace {

template <class File>
std::optional<File> ReadFileOf(const std::string& folder, std::string_view name) {
    if (folder.empty()) return std::nullopt;
    File file;
    if (!ReadStateFile(JoinPath(folder, name), file)) return std::nullopt;
    return file;
}

}  // namespace

std::optional<EventDatabaseFile> ReadEventsFile(const std::string& folder) {
    return ReadFileOf<EventDatabaseFile>(folder, kEventDatabaseName);
}

std::optional<AlertLogFile> ReadAlertsFile(const std::string& folder) {
    return ReadFileOf<AlertLogFile>(folder, kAlertLogName);
}

std::shared_ptr<const CTarvellDoc> ReadServerSettings(const std::string& folder,
                                                      const std::string& handOverGroup) {
    if (folder.empty()) return nullptr;
    const std::string pending = ViewerDocument::HandOverPath(folder);
    auto doc = std::make_shared<CTarvellDoc>();
    if (LoadHandOverFile(pending, handOverGroup, *doc)) return doc;
    if (doc->LoadFromFile(ViewerDocument::SettingsPath(folder))) return doc;
    return nullptr;
}

std::shared_ptr<const EventsSnapshot> MakeEventsSnapshot(EventDatabaseFile file,
                                                         const CTarvellDoc& settings,
                                                         ItemCounts& counts) {
    counts = FilterEvents(file.EventMap, settings);
    auto snapshot = std::make_shared<EventsSnapshot>();
    snapshot->SwitchCount = std::move(file.SwitchCount);
    snapshot->NodeCount = std::move(file.NodeCount);
    snapshot->DeviceTable = std::move(file.DeviceTable);
    snapshot->PortNames = std::move(file.PortNames);
    for (auto& [key, event] : file.EventMap) snapshot->EventMap.emplace(key, std::move(event));
    return snapshot;
}

std::shared_ptr<const AlertsSnapshot> MakeAlertsSnapshot(AlertLogFile file,
                                                         const CTarvellDoc& settings,
                                                         ItemCounts& counts) {
    counts = FilterAlerts(file.AlertLog, settings);
    auto snapshot = std::make_shared<AlertsSnapshot>();
    for (auto& [key, alert] : file.AlertLog) snapshot->AlertLog.emplace(key, std::move(alert));
    return snapshot;
}

namespace {

// The state file at `path`, read and decoded unless `watch` tells it is what was taken last
// (`same` then, and `into` untouched). False when it cannot be read or decoded.
// What one pass read of a state file: whether it is the one already published, and the stamp and
// digest to remember once its snapshot is taken.
struct StateRead {
    std::string path;
    bool same = false;
    std::uint64_t digest = 0, size = 0;
    std::optional<FileStamp> stamp;
    std::int64_t readAt = 0;
};

template <class File>
bool ReadChanged(FileWatch& watch, bool filterSame, File& into, StateRead& r) {
    r.same = false;
    if (filterSame && watch.Unchanged(r.path)) {
        r.same = true;
        return true;
    }
    r.readAt = FileClockNs();
    r.stamp = StampFile(r.path);
    std::string bytes;
    if (!ReadStateFileBytes(r.path, bytes, nullptr)) return false;
    r.digest = BytesDigest(bytes);
    r.size = bytes.size();
    if (filterSame && watch.SameBytes(r.path, r.stamp, r.digest, r.size, r.readAt)) {
        r.same = true;
        return true;
    }
    return DecodeStateFile(bytes, into, nullptr);
}

// Reads `name` of `folder` into `into` unless it is the one already published (`r.same`); a file
// that cannot be read is forgotten and noted as missing or damaged.
template <class File>
bool ReadStateFile(CTarvellApp& app, const std::string& folder, const std::string& name,
                   FileWatch& watch, bool filterSame, File& into, StateRead& r) {
    r.path = JoinPath(folder, name);
    if (!ReadChanged(watch, filterSame, into, r)) {
        watch.Forget();
        app.NoteStateFile(name, !StateFilePresent(folder, name));
        return false;
    }
    app.NoteStateFile(name, true);
    return true;
}

}  // namespace

std::shared_ptr<const CTarvellDoc> CTarvellDb::Settings(const std::string& folder, bool& fresh) {
    fresh = false;
    const std::string ini = ViewerDocument::SettingsPath(folder);
    const std::string pending = ViewerDocument::HandOverPath(folder);
    if (settings_.Unchanged(ini) && handOver_.Unchanged(pending)) return app_.ReaderSettings();
    const std::int64_t readAt = FileClockNs();
    const std::optional<FileStamp> iniStamp = StampFile(ini), pendingStamp = StampFile(pending);
    std::shared_ptr<const CTarvellDoc> settings =
        ReadServerSettings(folder, app_.Document().HandOverGroup());
    if (!settings) {
        settings_.Forget();
        return app_.ReaderSettings();
    }
    settings_.Take(ini, iniStamp, 0, 0, readAt);
    handOver_.Take(pending, pendingStamp, 0, 0, readAt);
    // The same settings written again (or just saved by this viewer) change nothing.
    std::shared_ptr<const CTarvellDoc> current = app_.ReaderSettings();
    if (current && *current == *settings) return current;
    app_.SetReaderSettings(settings);
    fresh = true;
    return settings;
}

bool CTarvellDb::PassOnce() {
    app_.FreeRetired();  // what the screens let go of is freed here, where it was built
    const std::string folder = app_.Server().Folder;
    app_.SetHandOverRefused(HandOverOverdue(folder, static_cast<std::int64_t>(std::time(nullptr))));
    const std::string name(kEventDatabaseName);
    if (folder.empty()) {
        app_.NoteStateFile(name, true);
        return false;
    }
    bool freshSettings = false;
    const std::shared_ptr<const CTarvellDoc> settings = Settings(folder, freshSettings);
    if (freshSettings) app_.NotifyHub(HubChange::SettingsReloaded);
    const bool filterSame = settings && settings->DeleteRequests == deleteRequests_ &&
                            settings->BlockRequests == blockRequests_;
    EventDatabaseFile file;
    StateRead read;
    if (!ReadStateFile(app_, folder, name, file_, filterSame, file, read)) return false;
    if (read.same) return true;
    ItemCounts counts;
    std::shared_ptr<const EventsSnapshot> snapshot =
        MakeEventsSnapshot(std::move(file), *settings, counts);
    const std::size_t records = snapshot->EventMap.size();
    app_.PruneReadMarks(snapshot->EventMap);
    std::size_t left = 0;
    // A snapshot the hub dropped (a local change came first) is read again next pass.
    if (!app_.SetEvents(std::move(snapshot), counts, folder, &left)) {
        file_.Forget();
    } else {
        ++publications_;
        file_.Take(read.path, read.stamp, read.digest, read.size, read.readAt);
        deleteRequests_ = settings->DeleteRequests;
        blockRequests_ = settings->BlockRequests;
    }
    if (std::max(records, left) >= kTrimAfterRecords) ReturnFreedMemory();
    return true;
}

void CTarvellDb::Run() {
    while (!WaitForStop(app_.ReaderIntervalMs())) {
        PassOnce();
        app_.ProbeService();
    }
}

bool CTarvellLog::PassOnce() {
    app_.FreeRetired();
    const std::string folder = app_.Server().Folder;
    const std::string name(kAlertLogName);
    if (folder.empty()) {
        app_.NoteStateFile(name, true);
        return false;
    }
    const std::shared_ptr<const CTarvellDoc> settings = app_.ReaderSettings();
    const bool filterSame = settings->RemovedAlerts == removedAlerts_;
    AlertLogFile file;
    StateRead read;
    if (!ReadStateFile(app_, folder, name, file_, filterSame, file, read)) return false;
    if (read.same) return true;
    ItemCounts counts;
    auto snapshot = MakeAlertsSnapshot(std::move(file), *settings, counts);
    const std::size_t records = snapshot->AlertLog.size();
    std::size_t left = 0;
    if (!app_.SetAlerts(std::move(snapshot), counts, folder, &left)) {
        file_.Forget();
    } else {
        ++publications_;
        file_.Take(read.path, read.stamp, read.digest, read.size, read.readAt);
        removedAlerts_ = settings->RemovedAlerts;
    }
    if (std::max(records, left) >= kTrimAfterRecords) ReturnFreedMemory();
    return true;
}

void CTarvellLog::Run() {
    while (!WaitForStop(app_.ReaderIntervalMs())) PassOnce();
}

}  // namespace tarvell
