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

std::shared_ptr<const CTarvellDoc> ReadServerSettings(const std::string& folder) {
    if (folder.empty()) return nullptr;
    const std::string pending = ViewerDocument::HandOverPath(folder);
    auto doc = std::make_shared<CTarvellDoc>();
    if (FileExists(pending) && doc->LoadFromFile(pending)) return doc;
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
template <class File>
bool ReadChanged(const std::string& path, FileWatch& watch, bool filterSame, File& into, bool& same,
                 std::uint64_t& digest, std::uint64_t& size, std::optional<FileStamp>& stamp,
                 std::int64_t& readAt) {
    same = false;
    if (filterSame && watch.Unchanged(path)) {
        same = true;
        return true;
    }
    readAt = FileClockNs();
    stamp = StampFile(path);
    std::string bytes;
    if (!ReadStateFileBytes(path, bytes, nullptr)) return false;
    digest = BytesDigest(bytes);
    size = bytes.size();
    if (filterSame && watch.SameBytes(path, stamp, digest, size, readAt)) {
        same = true;
        return true;
    }
    return DecodeStateFile(bytes, into, nullptr);
}

}  // namespace

std::shared_ptr<const CTarvellDoc> CTarvellDb::Settings(const std::string& folder, bool& fresh) {
    fresh = false;
    const std::string ini = ViewerDocument::SettingsPath(folder);
    const std::string pending = ViewerDocument::HandOverPath(folder);
    if (settings_.Unchanged(ini) && handOver_.Unchanged(pending)) return app_.ReaderSettings();
    const std::int64_t readAt = FileClockNs();
    const std::optional<FileStamp> iniStamp = StampFile(ini), pendingStamp = StampFile(pending);
    std::shared_ptr<const CTarvellDoc> settings = ReadServerSettings(folder);
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
    const std::string path = JoinPath(folder, name);
    EventDatabaseFile file;
    bool same = false;
    std::uint64_t digest = 0, size = 0;
    std::optional<FileStamp> stamp;
    std::int64_t readAt = 0;
    if (!ReadChanged(path, file_, filterSame, file, same, digest, size, stamp, readAt)) {
        file_.Forget();
        app_.NoteStateFile(name, !StateFilePresent(folder, name));
        return false;
    }
    app_.NoteStateFile(name, true);
    if (same) return true;
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
        file_.Take(path, stamp, digest, size, readAt);
        deleteRequests_ = settings->DeleteRequests;
        blockRequests_ = settings->BlockRequests;
    }
    if (std::max(records, left) >= kTrimAfterRecords) ReturnFreedMemory();
    return true;
}

void CTarvellDb::Run() {
    while (!WaitForStop(app_.ReaderIntervalMs())) PassOnce();
}

bool CTarvellLog::PassOnce() {
    const std::string folder = app_.Server().Folder;
    const std::string name(kAlertLogName);
    if (folder.empty()) {
        app_.NoteStateFile(name, true);
        return false;
    }
    const std::shared_ptr<const CTarvellDoc> settings = app_.ReaderSettings();
    const bool filterSame = settings->RemovedAlerts == removedAlerts_;
    const std::string path = JoinPath(folder, name);
    AlertLogFile file;
    bool same = false;
    std::uint64_t digest = 0, size = 0;
    std::optional<FileStamp> stamp;
    std::int64_t readAt = 0;
    if (!ReadChanged(path, file_, filterSame, file, same, digest, size, stamp, readAt)) {
        file_.Forget();
        app_.NoteStateFile(name, !StateFilePresent(folder, name));
        return false;
    }
    app_.NoteStateFile(name, true);
    if (same) return true;
    ItemCounts counts;
    auto snapshot = MakeAlertsSnapshot(std::move(file), *settings, counts);
    const std::size_t records = snapshot->AlertLog.size();
    std::size_t left = 0;
    if (!app_.SetAlerts(std::move(snapshot), counts, folder, &left)) {
        file_.Forget();
    } else {
        ++publications_;
        file_.Take(path, stamp, digest, size, readAt);
        removedAlerts_ = settings->RemovedAlerts;
    }
    if (std::max(records, left) >= kTrimAfterRecords) ReturnFreedMemory();
    return true;
}

void CTarvellLog::Run() {
    while (!WaitForStop(app_.ReaderIntervalMs())) PassOnce();
}

}  // namespace tarvell
