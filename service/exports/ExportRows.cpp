// Copying the engine's maps out for the exports, and the value of each export field.
#include "service/exports/ExportRows.h"

#include <time.h>

#include <cstdlib>
#include <cstring>

#include <chrono>
#include <algorithm>
#include <mutex>
#include <iterator>
#include <optional>
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

// Walks the map chunk by chunk, taking its lock per chunk of kExportChunk entries only:
// `visit(key, item)` sees each record that is not deleted or removed, with the lock held;
// `afterChunk(mapSize)` runs once the lock is let go. Each chunk starts after the last key of
// the one before, so entries added or removed between chunks change nothing but what is seen.
template <class Item, class Visit, class AfterChunk>
void WalkMap(std::recursive_mutex& lock, const ObjectMap<Item>& map, ExportSnapshotStats* stats,
             Visit&& visit, AfterChunk&& afterChunk) {
    std::string last;
    bool first = true;
    for (;;) {
        std::size_t mapSize = 0;
        bool done = false;
        const auto start = SteadyClock::now();
        const std::int64_t cpuStart = stats ? ThreadCpuUs() : 0;
        {
            RecursiveGuard guard(lock);
            mapSize = map.size();
            auto it = first ? map.begin() : map.upper_bound(last);
            auto seen = map.end();
            for (std::size_t taken = 0; it != map.end() && taken < kExportChunk; ++it, ++taken) {
                seen = it;
                if (it->second && !Skipped(*it->second)) visit(it->first, *it->second);
            }
            if (seen != map.end()) last = seen->first;
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
        afterChunk(mapSize);
        first = false;
        if (done) break;
        std::this_thread::yield();
    }
}

// A running 64-bit digest over values, eight bytes at a step. It only has to tell one state of
// the records from another within this process, so it is made for speed, not for secrecy.
class InputDigest {
public:
    void Add(std::string_view bytes) {
        const char* p = bytes.data();
        std::size_t n = bytes.size();
        for (; n >= 8; p += 8, n -= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, 8);
            Mix(word);
        }
        std::uint64_t tail = 0;
        if (n > 0) std::memcpy(&tail, p, n);  // an empty view may hold no pointer at all
        Mix(tail);
        Mix(bytes.size());  // the length last, so no two lists of texts run together alike
    }
    void Add(std::int64_t value) { Mix(static_cast<std::uint64_t>(value)); }
    void Add(const std::vector<std::string>& texts) {
        Add(static_cast<std::int64_t>(texts.size()));
        for (const std::string& text : texts) Add(text);
    }
    std::uint64_t Value() const {
        std::uint64_t h = h_;
        h ^= h >> 33;
        h *= 0xFF51AFD7ED558CCDull;
        h ^= h >> 33;
        h *= 0xC4CEB9FE1A85EC53ull;
        return h ^ (h >> 33);
    }

private:
    static std::uint64_t Rotl(std::uint64_t x, int r) { return (x << r) | (x >> (64 - r)); }
    void Mix(std::uint64_t word) {
        word *= 0x87C37B91114253D5ull;
        word = Rotl(word, 31);
        word *= 0x4CF5AD432745937Full;
        h_ ^= word;
        h_ = Rotl(h_, 27) * 5 + 0x52DCE729;
    }
    std::uint64_t h_ = 0x9E3779B97F4A7C15ull;
};

// The fields a row is formed from (see CopyRecord), hashed where they lie.
template <class Item>
void DigestCommon(InputDigest& d, const Item& item) {
    d.Add(item.Severity);
    for (const std::string* text :
         {&item.Description, &item.EventType, &item.Before, &item.Current, &item.Submitter,
          &item.DeviceName, &item.DeviceIp, &item.DevicePort, &item.DeviceLocation, &item.SourceMac,
          &item.SourceIp, &item.SourceName})
        d.Add(*text);
}
void DigestRecord(InputDigest& d, const CEventItem& event) {
    DigestCommon(d, event);
    d.Add(event.Blocked != 0);
    d.Add(event.DateKey);
}
void DigestRecord(InputDigest& d, const CAlertItem& alert) { DigestCommon(d, alert); }

template <class Item>
std::vector<RecordCopy> CopyMap(std::recursive_mutex& lock, const ObjectMap<Item>& map,
                                ExportSnapshotStats* stats, InputDigest* digest) {
    std::vector<RecordCopy> copies;
    // Reused for every chunk: its texts keep their room, so after the first chunks copying a
    // record under the lock seldom asks the allocator for memory.
    std::vector<RecordCopy> chunk(kExportChunk);
    std::size_t used = 0;
    WalkMap(
        lock, map, stats,
        [&](const std::string& key, const Item& item) {
            RecordCopy& copy = chunk[used++];
            copy.key = key;
            CopyRecord(copy, item);
            if (digest) {
                digest->Add(key);
                DigestRecord(*digest, item);
            }
        },
        [&](std::size_t mapSize) {
            if (copies.empty()) copies.reserve(mapSize + mapSize / 16);
            copies.insert(copies.end(), chunk.begin(),
                          chunk.begin() + static_cast<std::ptrdiff_t>(used));
            used = 0;
        });
    return copies;
}

template <class Item>
std::uint64_t DigestMap(InputDigest& d, std::recursive_mutex& lock, const ObjectMap<Item>& map,
                        ExportSnapshotStats* stats) {
    WalkMap(
        lock, map, stats,
        [&d](const std::string& key, const Item& item) {
            d.Add(key);
            DigestRecord(d, item);
        },
        [](std::size_t) {});
    return d.Value();
}

// What the rows of a map depend on besides its records, the digest's first values.
InputDigest SurroundingsDigest(CTarvellFrm& engine, ExportKind kind) {
    InputDigest d;
    d.Add(static_cast<std::int64_t>(kind));
    // The zone the dates are written in: TZ, and the zone's offset from UTC at noon on the first
    // of every month of this year and the last. tzset() takes up a changed TZ for this digest
    // and for the rows formed after it alike. tzname, timezone and daylight are not read:
    // localtime_r on another thread rewrites them while it runs (and leaves tzname null
    // meanwhile).
    ::tzset();
    const char* zone = std::getenv("TZ");
    d.Add(zone != nullptr);
    d.Add(zone ? std::string_view(zone) : std::string_view());
    const std::time_t now = ::time(nullptr);
    std::tm local{};
    const int year = ::localtime_r(&now, &local) ? local.tm_year : 0;
    for (int month = 0; month < 24; ++month) {
        std::tm noon{};
        noon.tm_year = year - 1 + month / 12;
        noon.tm_mon = month % 12;
        noon.tm_mday = 1;
        noon.tm_hour = 12;
        const std::time_t probe = ::timegm(&noon);
        if (::localtime_r(&probe, &local) == nullptr) local = {};
        d.Add(static_cast<std::int64_t>(local.tm_gmtoff));
        d.Add(static_cast<std::int64_t>(local.tm_isdst));
    }
    // The texts a description is expanded with.
    if (const auto settings = engine.Settings()) {
        d.Add(settings->AlertDescriptionTexts);
        d.Add(settings->AlertCauseTexts);
        d.Add(settings->AlertSeverityTexts);
    }
    return d;
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

std::uint64_t ExportInputDigest(CTarvellFrm& engine, ExportKind kind, ExportSnapshotStats* stats) {
    InputDigest d = SurroundingsDigest(engine, kind);
    return kind == ExportKind::Events ? DigestMap(d, engine.EngineLock, engine.EventMap, stats)
                                      : DigestMap(d, engine.AlertLock, engine.AlertLog, stats);
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
                                          ExportSnapshotStats* stats,
                                          std::optional<std::uint64_t>* digest) {
    std::optional<InputDigest> d;
    if (digest) d = SurroundingsDigest(engine, kind);
    const std::uint64_t surroundings = d ? d->Value() : 0;
    InputDigest* into = d ? &*d : nullptr;
    const std::vector<RecordCopy> copies =
        kind == ExportKind::Events ? CopyMap(engine.EngineLock, engine.EventMap, stats, into)
                                   : CopyMap(engine.AlertLock, engine.AlertLog, stats, into);
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
    if (digest) {
        // Rows formed under other texts or another zone than those digested first cannot be
        // told apart later: give no digest, so that the page is written again.
        if (SurroundingsDigest(engine, kind).Value() == surroundings) *digest = d->Value();
        else digest->reset();
    }
    return rows;
}

}  // namespace tarvell
