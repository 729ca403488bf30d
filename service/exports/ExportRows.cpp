// Copying the engine's maps out for the exports, and the value of each export field.
#include "service/exports/ExportRows.h"

#include <time.h>

#include <chrono>
#include <algorithm>
#include <mutex>
#include <iterator>
#include <thread>

#include "platform/DateText.h"
#include "platform/RecursiveLock.h"
#include "platform/Text.h"
#include "service/alerts/AlertText.h"
#include "shared/AlertKey.h"

namespace tarvell {
namespace {

using SteadyClock = std::chrono::steady_clock;

std::int64_t ThreadCpuUs() {
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000 + ts.tv_nsec / 1000;
}

// What a row needs of a record, copied under the lock.
struct RecordCopy {
    std::string key;
    std::int32_t severity = 0;
    std::int32_t blocked = 0;
    std::string dateKey, description, eventType, before, current, submitter;
    std::string deviceName, deviceIp, devicePort, deviceLocation, sourceMac, sourceIp, sourceName;
};

template <class Item>
void CopyCommon(RecordCopy& out, const Item& item) {
    out.severity = item.Severity;
    out.description = item.Description;
    out.eventType = item.EventType;
    out.before = item.Before;
    out.current = item.Current;
    out.submitter = item.Submitter;
    out.deviceName = item.DeviceName;
    out.deviceIp = item.DeviceIp;
    out.devicePort = item.DevicePort;
    out.deviceLocation = item.DeviceLocation;
    out.sourceMac = item.SourceMac;
    out.sourceIp = item.SourceIp;
    out.sourceName = item.SourceName;
}

bool Skipped(const CEventItem& event) { return event.Deleted != 0; }
bool Skipped(const CAlertItem& alert) { return alert.State != 0; }

void CopyRecord(RecordCopy& out, const CEventItem& event) {
    CopyCommon(out, event);
    out.blocked = event.Blocked;
    out.dateKey = event.DateKey;
}
void CopyRecord(RecordCopy& out, const CAlertItem& alert) { CopyCommon(out, alert); }

// Walks the map chunk by chunk: each chunk starts after the last key copied, so entries added
// or removed between chunks change nothing but what is seen.
template <class Item>
std::vector<RecordCopy> CopyMap(std::recursive_mutex& lock, const ObjectMap<Item>& map,
                                ExportSnapshotStats* stats) {
    std::vector<RecordCopy> copies;
    // Reused for every chunk: its texts keep their room, so after the first chunks copying a
    // record under the lock seldom asks the allocator for memory.
    std::vector<RecordCopy> chunk(kExportChunk);
    std::string last;
    bool first = true;
    for (;;) {
        std::size_t taken = 0, used = 0, mapSize = 0;
        bool done = false;
        const auto start = SteadyClock::now();
        const std::int64_t cpuStart = stats ? ThreadCpuUs() : 0;
        {
            RecursiveGuard guard(lock);
            mapSize = map.size();
            auto it = first ? map.begin() : map.upper_bound(last);
            for (; it != map.end() && taken < kExportChunk; ++it, ++taken) {
                last = it->first;
                if (!it->second || Skipped(*it->second)) continue;
                RecordCopy& copy = chunk[used++];
                copy.key = it->first;
                CopyRecord(copy, *it->second);
            }
            done = it == map.end();
        }
        if (stats) {
            ++stats->chunks;
            const auto us =
                std::chrono::duration_cast<std::chrono::microseconds>(SteadyClock::now() - start)
                    .count();
            stats->longestHoldUs = std::max<std::int64_t>(stats->longestHoldUs, us);
            stats->longestHoldCpuUs = std::max(stats->longestHoldCpuUs, ThreadCpuUs() - cpuStart);
        }
        if (first) copies.reserve(mapSize + mapSize / 16);
        copies.insert(copies.end(), chunk.begin(),
                      chunk.begin() + static_cast<std::ptrdiff_t>(used));
        first = false;
        if (done) break;
        std::this_thread::yield();
    }
    return copies;
}

}  // namespace

std::string ExpandDescriptionText(const CTarvellFrm& engine, const std::string& description,
                                  const std::string& eventType, const std::string& before,
                                  const std::string& current, const std::string& submitter,
                                  int severity) {
    std::string text = engine.FormatAlertDescription(description);
    if (text.find('$') == std::string::npos) return text;
    text = ReplaceMacro(text, "$cause", engine.FormatAlertCause(eventType));
    text = ReplaceMacro(text, "$before", before);
    text = ReplaceMacro(text, "$current", current);
    text = ReplaceMacro(text, "$submitter", submitter);
    return ReplaceMacro(text, "$severity", engine.FormatAlertSeverity(severity));
}

std::int64_t IntervalMinutes(std::int32_t setting) {
    return std::min<std::int64_t>(static_cast<std::uint32_t>(setting), kMaxIntervalMinutes);
}

std::vector<std::size_t> ShownPositions(const std::vector<std::string>& columns) {
    std::vector<std::size_t> shown;
    for (std::size_t i = 0; i < kExportFields && i < columns.size(); ++i)
        if (!columns[i].empty()) shown.push_back(i);
    return shown;
}

std::vector<ExportRow> SnapshotExportRows(CTarvellFrm& engine, ExportKind kind,
                                          ExportSnapshotStats* stats) {
    const std::vector<RecordCopy> copies = kind == ExportKind::Events
                                               ? CopyMap(engine.EngineLock, engine.EventMap, stats)
                                               : CopyMap(engine.AlertLock, engine.AlertLog, stats);
    std::vector<ExportRow> rows;
    rows.reserve(copies.size());
    for (const RecordCopy& c : copies) {
        ExportRow& row = rows.emplace_back();
        row.key = c.key;
        auto& v = row.values;
        const std::string description = ExpandDescriptionText(
            engine, c.description, c.eventType, c.before, c.current, c.submitter, c.severity);
        if (kind == ExportKind::Events) {
            v = {FormatUserDateTime(AtoL(c.dateKey)),
                 c.deviceName,
                 c.deviceIp,
                 c.devicePort,
                 c.sourceMac,
                 c.sourceIp,
                 c.sourceName,
                 c.blocked != 0 ? "yes" : "no",
                 description};
        } else {
            v = {FormatUserDateTime(AlertKeySeconds(c.key)),
                 c.deviceName,
                 c.deviceIp,
                 c.devicePort,
                 c.deviceLocation,
                 c.sourceMac,
                 c.sourceIp,
                 c.sourceName,
                 description};
        }
    }
    return rows;
}

}  // namespace tarvell
