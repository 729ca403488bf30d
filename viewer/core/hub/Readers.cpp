#include "viewer/core/hub/Readers.h"

#include <ctime>

#include "platform/Files.h"
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

bool CTarvellDb::PassOnce() {
    const std::string folder = app_.Server().Folder;
    app_.SetHandOverRefused(HandOverOverdue(folder, static_cast<std::int64_t>(std::time(nullptr))));
    std::optional<EventDatabaseFile> file = ReadEventsFile(folder);
    const std::string name(kEventDatabaseName);
    if (!file) {
        app_.NoteStateFile(name, !StateFilePresent(folder, name));
        return false;
    }
    app_.NoteStateFile(name, true);
    std::shared_ptr<const CTarvellDoc> settings = ReadServerSettings(folder);
    if (settings) app_.SetReaderSettings(settings);
    else settings = app_.ReaderSettings();
    ItemCounts counts;
    std::shared_ptr<const EventsSnapshot> snapshot =
        MakeEventsSnapshot(std::move(*file), *settings, counts);
    app_.PruneReadMarks(snapshot->EventMap);
    app_.SetEvents(std::move(snapshot), counts, folder);
    return true;
}

void CTarvellDb::Run() {
    while (!WaitForStop(app_.ReaderIntervalMs())) PassOnce();
}

bool CTarvellLog::PassOnce() {
    const std::string folder = app_.Server().Folder;
    std::optional<AlertLogFile> file = ReadAlertsFile(folder);
    const std::string name(kAlertLogName);
    if (!file) {
        app_.NoteStateFile(name, !StateFilePresent(folder, name));
        return false;
    }
    app_.NoteStateFile(name, true);
    ItemCounts counts;
    auto snapshot = MakeAlertsSnapshot(std::move(*file), *app_.ReaderSettings(), counts);
    app_.SetAlerts(std::move(snapshot), counts, folder);
    return true;
}

void CTarvellLog::Run() {
    while (!WaitForStop(app_.ReaderIntervalMs())) PassOnce();
}

}  // namespace tarvell
