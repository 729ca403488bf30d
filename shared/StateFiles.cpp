#include "shared/StateFiles.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/Files.h"
#include "platform/ErrnoText.h"

namespace tarvell {

namespace {

bool EndsWith(std::string_view s, std::string_view end) {
    return s.size() >= end.size() && s.substr(s.size() - end.size()) == end;
}

constexpr std::array<std::pair<StoredFileKind, std::string_view>, 6> kKindWords{{
    {StoredFileKind::Settings, "settings"},
    {StoredFileKind::Events, "events"},
    {StoredFileKind::Alerts, "alerts"},
    {StoredFileKind::Reports, "reports"},
    {StoredFileKind::Sibling, "sibling"},
    {StoredFileKind::Archive, "archive"},
}};

}  // namespace

void EventDatabaseFile::Store(ArchiveWriter& ar) const {
    ar.WriteText(SwitchCount);
    ar.WriteText(NodeCount);
    ar.WriteStringMap(DeviceTable);
    ar.WriteStringMap(PortNames);
    StoreObjectMap(ar, EventMap);
}

void EventDatabaseFile::Load(ArchiveReader& ar) {
    SwitchCount = ar.ReadText();
    NodeCount = ar.ReadText();
    DeviceTable = ar.ReadStringMap();
    PortNames = ar.ReadStringMap();
    EventMap = LoadObjectMap<CEventItem>(ar);
}

void AlertLogFile::Store(ArchiveWriter& ar) const { StoreObjectMap(ar, AlertLog); }

void AlertLogFile::Load(ArchiveReader& ar) { AlertLog = LoadObjectMap<CAlertItem>(ar); }

void ReportStoreFile::Store(ArchiveWriter& ar) const {
    StoreObjectMap(ar, ReportStore);
    ar.WriteText(LastDailyReport);
    ar.WriteText(LastWeeklyReport);
}

void ReportStoreFile::Load(ArchiveReader& ar) {
    ReportStore = LoadObjectMap<CAlertItem>(ar);
    LastDailyReport = ar.ReadText();
    LastWeeklyReport = ar.ReadText();
}

void SiblingDatabaseFile::Store(ArchiveWriter& ar) const {
    StoreObjectMap(ar, SiblingSwitches);
    StoreObjectMap(ar, SiblingPorts);
    StoreObjectMap(ar, SiblingNodes);
}

void SiblingDatabaseFile::Load(ArchiveReader& ar, const SiblingCaps& caps,
                               SiblingDropped* dropped) {
    SiblingDropped left;
    SiblingSwitches = LoadObjectMap<CDbItem>(ar, caps.switches, &left.switches);
    SiblingPorts = LoadObjectMap<CDbItem>(ar, caps.ports, &left.ports);
    SiblingNodes = LoadObjectMap<CDbItem>(ar, caps.nodes, &left.nodes);
    if (dropped) *dropped = left;
}

bool DecodeSiblingFile(std::string_view bytes, SiblingDatabaseFile& into, const SiblingCaps& caps,
                       SiblingDropped* dropped, std::string* error) {
    try {
        ArchiveReader ar(bytes);
        SiblingDatabaseFile fresh;
        fresh.Load(ar, caps, dropped);
        into = std::move(fresh);
        return true;
    } catch (const std::bad_alloc&) {
        if (error) *error = kNoMemoryForFile;
        errno = ENOMEM;
        return false;
    } catch (const std::exception& e) {
        if (error) *error = e.what();
        errno = EILSEQ;
        return false;
    }
}

std::optional<StoredFileKind> StoredFileKindFromName(std::string_view path) {
    std::string_view name = path.substr(path.find_last_of('/') + 1);
    if (EndsWith(name, ".tmp")) name.remove_suffix(4);
    if (EndsWith(name, ".ini")) return StoredFileKind::Settings;
    if (name == kSiblingDatabaseName) return StoredFileKind::Sibling;
    if (EndsWith(name, kDailyArchiveSuffix)) return StoredFileKind::Archive;
    if (EndsWith(name, ".log")) return StoredFileKind::Alerts;
    if (EndsWith(name, ".eml")) return StoredFileKind::Reports;
    if (EndsWith(name, ".db")) return StoredFileKind::Events;
    return std::nullopt;
}

std::string_view StoredFileKindName(StoredFileKind kind) {
    for (const auto& [k, word] : kKindWords)
        if (k == kind) return word;
    return "unknown";
}

std::optional<StoredFileKind> StoredFileKindFromWord(std::string_view word) {
    for (const auto& [k, w] : kKindWords)
        if (w == word) return k;
    return std::nullopt;
}

bool ReadStateFileBytes(const std::string& path, std::string& bytes, std::string* error,
                        std::size_t maxBytes) {
    auto data = ReadWholeFile(path, maxBytes);
    if (!data) {
        const int why = errno;
        if (error) {
            *error = "cannot read " + path + " (" +
                     (why == EFBIG ? "larger than " + std::to_string(maxBytes) + " bytes"
                      : why == EINVAL || why == EISDIR ? std::string("not a regular file")
                      : why == ENOMEM                  ? std::string(kNoMemoryForFile)
                                                       : std::string(ErrnoText(why))) +
                     ")";
        }
        errno = why;
        return false;
    }
    bytes = std::move(*data);
    return true;
}

bool WriteStateFileBytes(const std::string& path, std::string_view bytes, std::size_t maxBytes) {
    if (bytes.size() > maxBytes) {
        errno = EFBIG;
        return false;
    }
    return AtomicWriteFile(path, bytes);
}

}  // namespace tarvell
