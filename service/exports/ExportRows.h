// The rows that the HTML and database exports write: one per event that is not deleted and per
// alert that is still active, with the nine export fields of each list. The engine's maps are
// copied out in bounded chunks under their lock (EngineLock for events, AlertLock for alerts);
// the values are formed afterwards with no lock held, so a page or table is never built while
// the engine waits, and a map that changes between chunks cannot invalidate the walk.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shared/AlertKey.h"
#include "shared/ExportFields.h"
#include "service/engine/CTarvellFrm.h"

namespace tarvell {

enum class ExportKind { Events = 0, Alerts = 1 };

// One exported record: its map key and the text of each of the nine fields (stored
// Windows-1252 bytes, uncut).
struct ExportRow {
    std::string key;
    std::array<std::string, kExportFields> values;
};

// Entries copied per hold of a map's lock; between chunks the lock is free for a moment.
inline constexpr std::size_t kExportChunk = 256;

struct ExportSnapshotStats {
    std::size_t chunks = 0;
    std::int64_t longestHoldUs = 0;     // longest single hold of the map's lock (wall clock)
    std::int64_t longestHoldCpuUs = 0;  // processor time this thread spent in that hold at most
};

// The rows of one map in key order, skipping deleted events and removed alerts. Takes the
// map's lock per chunk of kExportChunk entries; formats outside it. With `digest`, also gives
// the ExportInputDigest of the records as they were copied (hashed in the same holds), or
// nothing when the time zone or the texts changed while the rows were formed.
std::vector<ExportRow> SnapshotExportRows(CTarvellFrm& engine, ExportKind kind,
                                          ExportSnapshotStats* stats = nullptr,
                                          std::optional<std::uint64_t>* digest = nullptr);

// A digest of all that the rows of one map are formed from, made without forming them: the key
// and row fields of every record SnapshotExportRows would take, the description, cause and
// severity texts, and the local time zone (tzset() is called first, so a changed TZ is taken
// up here and by the rows formed after). Walks the map as SnapshotExportRows does, a chunk per
// hold of its lock, hashing the fields in place.
std::uint64_t ExportInputDigest(CTarvellFrm& engine, ExportKind kind,
                                ExportSnapshotStats* stats = nullptr);

// The description text of a record: the configured description of `description`, with
// "$cause", "$before", "$current", "$submitter" and "$severity" replaced in that order.
std::string ExpandDescriptionText(const CTarvellFrm& engine, const std::string& description,
                                  const std::string& eventType, const std::string& before,
                                  const std::string& current, const std::string& submitter,
                                  int severity);

// The minutes of an interval setting (a 32-bit word the settings store as signed), at most a
// year so that the wait stays within the clock's range.
inline constexpr std::int64_t kMaxIntervalMinutes = 366 * 24 * 60;
std::int64_t IntervalMinutes(std::int32_t setting);

// The positions whose entry in `columns` is not empty, in position order (at most nine; entries
// past the ninth are ignored, missing ones count as empty).
std::vector<std::size_t> ShownPositions(const std::vector<std::string>& columns);

}  // namespace tarvell
