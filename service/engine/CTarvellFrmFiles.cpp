// The engine's state files: Tarvell.db (events), Tarvell.log (alerts), Tarvell.eml (report
// store) and the sibling product's Ombrix.db, read only. Loads read and decode outside every
// lock into fresh values that are swapped in under the file's lock. Saves take the records a
// chunk at a time under the lock, skip a file whose content did not change, and encode each
// chunk into the temporary file with no lock held; the file replaces the old one by rename.
#include <sys/stat.h>

#include <cerrno>

#include <algorithm>
#include <chrono>
#include <functional>
#include <future>
#include <limits>
#include <thread>
#include <unordered_map>
#include <utility>

#include "platform/ErrnoText.h"
#include "platform/Files.h"
#include "platform/RecursiveLock.h"
#include "platform/Text.h"
#include "service/engine/CTarvellFrm.h"

namespace tarvell {

namespace {

constexpr int kLoadAttempts = 5;
constexpr std::int64_t kLoadRetryMs = 1000;
constexpr std::int64_t kSecondsPerDay = 86400;
// Records taken from the sibling product's file, whose size is not ours to bound. The service's
// own state files are never capped: the next save would lose what was not read.
constexpr SiblingCaps kSiblingCaps{20'000, 500'000, 500'000};

enum FileTrouble : unsigned {
    kEventsTrouble = 1,
    kAlertsTrouble = 2,
    kReportsTrouble = 4,
    kSiblingTrouble = 8,
    kSaveThreadTrouble = 16,
    kArchiveTrouble = 32,  // the daily archives, as one
};

// NoMemory: the file could not be held in memory; it may well be whole.
enum class LoadOutcome { Loaded, Missing, Damaged, NoMemory };

// How a load treats a file that is not there. The engine's own state files are only ever
// written whole by rename, so one that is missing at the first attempt is a fresh installation
// (or a first start after the files were removed) and is not waited for. The sibling product's
// file is written by another program in its own way and keeps the attempts.
enum class WhenMissing { StartEmpty, Wait };

// Up to five attempts 1000 ms apart on the engine's clock (also after the last, as the service
// always waited). Each attempt reads the whole file and decodes it with `decode(bytes, into,
// error)`; a file that is being rewritten by its writer may turn up whole at a later attempt.
// Something that is no file to read (a FIFO, a device, a folder, a file over the size bound)
// does not turn into one by waiting: it counts as damaged at once. Memory that runs out while the
// file is read or decoded ends the attempts too, and says nothing about the file.
template <class F, class Decode>
LoadOutcome ReadWithRetries(const std::string& path, F& into, std::string& error, Clock& clock,
                            std::size_t maxBytes, WhenMissing whenMissing, Decode decode) {
    bool refused = false;
    bool missing = false;
    bool noMemory = false;
    bool first = true;
    const bool loaded = Retry(
        kLoadAttempts, kLoadRetryMs,
        [&] {
            std::string bytes;
            const bool firstAttempt = std::exchange(first, false);
            if (ReadStateFileBytes(path, bytes, &error, maxBytes)) {
                if (decode(bytes, into, &error)) return true;
                noMemory = errno == ENOMEM;
                return noMemory;
            }
            const int cause = errno;
            if (cause == ENOENT && firstAttempt && whenMissing == WhenMissing::StartEmpty) {
                missing = true;
                return true;  // ends the attempts; told apart from a load below
            }
            noMemory = cause == ENOMEM;
            refused = IsRefusedFileError(cause);
            return refused || noMemory;
        },
        clock);
    if (missing) return LoadOutcome::Missing;
    if (noMemory) return LoadOutcome::NoMemory;
    if (loaded && !refused) return LoadOutcome::Loaded;
    return refused || FileExists(path) ? LoadOutcome::Damaged : LoadOutcome::Missing;
}

template <class F>
LoadOutcome ReadWithRetries(const std::string& path, F& into, std::string& error, Clock& clock,
                            std::size_t maxBytes) {
    return ReadWithRetries(path, into, error, clock, maxBytes, WhenMissing::StartEmpty,
                           [](std::string_view bytes, F& file, std::string* why) {
                               return DecodeStateFile(bytes, file, why);
                           });
}

// A state file that did not fit in memory is left as it is, and the service does not go on
// without its content: a save would write the empty map over it.
[[noreturn]] void StopForMemory(const std::string& path) {
    throw EngineCannotRun("State file " + path + " could not be read (" +
                          std::string(kNoMemoryForFile) +
                          "); the file is left as it is and the service stops: give it more "
                          "memory (a higher address-space limit, or fewer other programs) and "
                          "start it again");
}

// A state file of the service that exists but cannot be read is kept aside, so that the next
// save does not write an empty map over it.
void KeepAside(const CTarvellFrm& engine, const std::string& path, const std::string& error) {
    const std::string aside = MoveAside(path, engine.clock());
    engine.Log("State file " + path + " could not be read (" + error + ")" +
               (aside.empty() ? "; it could not be moved aside" : "; kept as " + aside) +
               "; starting without its content");
}

// Logs a file failure once, when it starts, and once more when the file works again.
void ReportFileState(const CTarvellFrm& engine, std::atomic<unsigned>& trouble, unsigned bit,
                     bool ok, const std::string& failure, const std::string& recovery) {
    const unsigned before = ok ? trouble.fetch_and(~bit) : trouble.fetch_or(bit);
    const bool wasTrouble = (before & bit) != 0;
    if (!ok && !wasTrouble) engine.Log(failure);
    if (ok && wasTrouble) engine.Log(recovery);
}

// How a save ended.
struct SaveEnd {
    bool written = false;
    int error = 0;              // errno of a failure
    bool tooLarge = false;      // the file would have been larger than the state-file bound
    const char* why = nullptr;  // the reason, when it is not the errno's
};

// A file that would outgrow the bound is not written: a larger file would be refused at the next
// start and its content lost. `advice` says how the administrator makes it smaller.
void ReportSave(const CTarvellFrm& engine, std::atomic<unsigned>& trouble, unsigned bit,
                const SaveEnd& end, const std::string& path, const std::string& advice = {}) {
    const std::string why =
        end.tooLarge ? "it would be larger than " +
                           FormatLong(static_cast<std::int64_t>(engine.StateFileBytes())) +
                           " bytes, the most a state file may hold"
        : end.why ? std::string(end.why)
                  : ErrnoText(end.error);
    const std::string kept = end.tooLarge ? "; the file written before is kept, and what changed "
                                            "since is lost at a restart until a save fits again"
                                          : "; the file written before is kept and the next pass "
                                            "tries again";
    ReportFileState(engine, trouble, bit, end.written,
                    "State file " + path + " could not be written (" + why + ")" + kept +
                        (end.tooLarge && !advice.empty() ? "; to make room, " + advice : ""),
                    "State file " + path + " written again");
}

// The alert's time: the seconds before the first "." of its key.
std::int64_t AlertTime(std::string_view key) { return AtoL(key.substr(0, key.find('.'))); }

// Whether an alert of this key is at the end of its keep time. A keep time of 0 (or a negative
// one, which no settings screen writes) keeps alerts for ever. The key's time comes from a file
// and may be any number, so the keep time is taken from the clock's side of the comparison.
bool IsAged(const std::string& key, std::int64_t now, std::int64_t keepDays) {
    return keepDays > 0 && now - keepDays * kSecondsPerDay >= AlertTime(key);
}

// ---- the engine's members of each state file and the lock that guards them

std::recursive_mutex& LockOf(CTarvellFrm& engine, const EventDatabaseFile&) {
    return engine.EngineLock;
}
std::recursive_mutex& LockOf(CTarvellFrm& engine, const AlertLogFile&) { return engine.AlertLock; }
std::recursive_mutex& LockOf(CTarvellFrm& engine, const ReportStoreFile&) {
    return engine.MailLock;
}

// Swaps the engine's members with the file value's. The caller holds LockOf(engine, file).
void Exchange(CTarvellFrm& engine, EventDatabaseFile& file) {
    engine.SwitchCount.swap(file.SwitchCount);
    engine.NodeCount.swap(file.NodeCount);
    engine.DeviceTable.swap(file.DeviceTable);
    engine.PortNames.swap(file.PortNames);
    engine.EventMap.swap(file.EventMap);
}

void Exchange(CTarvellFrm& engine, AlertLogFile& file) { engine.AlertLog.swap(file.AlertLog); }

void Exchange(CTarvellFrm& engine, ReportStoreFile& file) {
    engine.ReportStore.swap(file.ReportStore);
    engine.LastDailyReport.swap(file.LastDailyReport);
    engine.LastWeeklyReport.swap(file.LastWeeklyReport);
}

// The change counter of the file raised (under its lock) when its content was replaced.
void NoteTakenOver(CTarvellFrm& engine, const EventDatabaseFile&) { ++engine.EventsChanged; }
void NoteTakenOver(CTarvellFrm& engine, const AlertLogFile&) { ++engine.AlertsChanged; }
void NoteTakenOver(CTarvellFrm&, const ReportStoreFile&) {}  // its save compares the bytes

// Puts what a load read in place under the file's lock; the old content leaves in `file` and
// is freed by the caller after the lock is released.
template <class File>
void TakeOver(CTarvellFrm& engine, File&& file) {
    RecursiveGuard guard(LockOf(engine, file));
    Exchange(engine, file);
    NoteTakenOver(engine, file);
}

template <class File>
bool DecodeAndTakeOver(CTarvellFrm& engine, std::string_view bytes, std::string* error) {
    File file;
    if (!DecodeStateFile(bytes, file, error)) return false;
    TakeOver(engine, std::move(file));
    return true;
}

// Loads a state file of the service. Without a usable file the engine starts with those members
// empty; a damaged file is kept aside.
template <class File>
void LoadOrStartEmpty(CTarvellFrm& engine, const std::string& path) {
    File file;
    std::string error;
    switch (ReadWithRetries(path, file, error, engine.clock(), engine.StateFileBytes())) {
        case LoadOutcome::Damaged: KeepAside(engine, path, error); break;
        case LoadOutcome::NoMemory: StopForMemory(path);
        case LoadOutcome::Loaded:
        case LoadOutcome::Missing: break;
    }
    TakeOver(engine, std::move(file));  // empty unless it loaded
}

// The sibling database with the tables the engine derives from it.
struct SiblingTables {
    SiblingDatabaseFile db;
    std::shared_ptr<const SiblingView> view;  // of db's ports and nodes as swapped in
    StringMap switchMacs;
    StringMap switchAddresses;
    StringMap deviceTable;
    StringMap portNames;
    StringMap portAliases;
    StringMap disabledNodes;
    std::string switchCount;
    std::string nodeCount;
};

void DeriveSwitchTables(SiblingTables& t) {
    std::int64_t count = 0;
    for (const auto& [key, record] : t.db.SiblingSwitches) {
        const CDbItem& sw = *record;  // read only: no place is made for an empty text
        if (sw.SwitchDisabled() != 0) continue;
        const std::string ip = SplitFirst(sw.SwitchIps(), ';').first;
        if (!sw.SwitchMac().empty()) t.switchMacs[sw.SwitchMac()] = key;
        if (!sw.SwitchMac2().empty()) t.switchMacs[sw.SwitchMac2()] = key;
        for (std::string& address : SplitAny(sw.SwitchIps(), ";"))
            t.switchAddresses.emplace(std::move(address), key);  // the first switch keeps it
        const std::string& name = sw.SwitchName().empty() ? sw.SwitchAltName() : sw.SwitchName();
        t.deviceTable[key] = ip + "/" + name + "/" + sw.SwitchContact() + "/" + sw.SwitchLocation();
        ++count;
    }
    t.switchCount = FormatLong(count);
}

// Fills the port tables; returns the MACs of the enabled ports.
std::unordered_map<std::string, const CDbItem*> DerivePortTables(SiblingTables& t) {
    std::unordered_map<std::string, const CDbItem*> portMacs;
    for (const auto& [key, record] : t.db.SiblingPorts) {
        const CDbItem& port = *record;
        if (port.PortDisabled() != 0) continue;
        t.portAliases[key] = port.PortAlias();
        t.portNames[key] = port.PortName();
        portMacs.emplace(port.PortMac(), &port);
    }
    return portMacs;
}

// Disabled nodes go to the disabled list; a node whose MAC belongs to a switch or a port, or
// whose place is unknown, is dropped. The node count leaves switches and ports out.
void FilterNodes(SiblingTables& t,
                 const std::unordered_map<std::string, const CDbItem*>& portMacs) {
    std::int64_t count = 0;
    auto& nodes = t.db.SiblingNodes;
    for (auto it = nodes.begin(); it != nodes.end();) {
        const CDbItem& node = *it->second;
        bool keep = false;
        if (node.NodeDisabled() != 0) {
            t.disabledNodes[it->first] = node.NodeSwitch() + "/" + node.NodePort();
        } else {
            const bool infrastructure = t.db.SiblingSwitches.count(node.NodeMac()) != 0 ||
                                        portMacs.count(node.NodeMac()) != 0;
            if (!infrastructure) ++count;
            keep = !infrastructure && !node.NodeSwitch().empty() && !node.NodePort().empty();
        }
        it = keep ? std::next(it) : nodes.erase(it);
    }
    t.nodeCount = FormatLong(count);
}

SiblingTables DeriveSiblingTables(SiblingDatabaseFile&& db) {
    SiblingTables t;
    t.db = std::move(db);
    DeriveSwitchTables(t);
    const auto portMacs = DerivePortTables(t);
    FilterNodes(t, portMacs);
    t.view = SiblingView::Of(t.db.SiblingPorts, t.db.SiblingNodes);
    return t;
}

// Swaps the new sibling maps, tables and view in; the old ones leave in `t` and are freed by the
// caller after the lock is released (a reader may keep the old view longer). Disabled node keys
// are kept for the life of the service.
void TakeOver(CTarvellFrm& engine, SiblingTables& t) {
    RecursiveGuard guard(engine.EngineLock);
    engine.SiblingSwitches.swap(t.db.SiblingSwitches);
    engine.SiblingPorts.swap(t.db.SiblingPorts);
    engine.SiblingNodes.swap(t.db.SiblingNodes);
    engine.SwitchMacs.swap(t.switchMacs);
    engine.SwitchAddresses.swap(t.switchAddresses);
    engine.DeviceTable.swap(t.deviceTable);
    engine.PortNames.swap(t.portNames);
    engine.PortAliases.swap(t.portAliases);
    engine.SwitchCount.swap(t.switchCount);
    engine.NodeCount.swap(t.nodeCount);
    for (auto& [key, place] : t.disabledNodes) engine.DisabledNodes[key] = std::move(place);
    ++engine.EventsChanged;  // Tarvell.db holds the device and port tables and the counts
    engine.DataGeneration.fetch_add(1);
    SwapInSiblingView(engine, t.view);
}

// ---- the bytes of a whole file at once (Serialize), encoded under its lock
//
// The live members are lent to a file value by swapping (constant time, never throws), encoded
// and swapped back, however the encoding ends.

template <class F>
struct AtExit {
    F f;
    ~AtExit() { f(); }
};

template <class File>
std::string Encode(CTarvellFrm& engine) {
    File file;
    RecursiveGuard guard(LockOf(engine, file));
    const auto exchange = [&] { Exchange(engine, file); };
    exchange();
    AtExit<decltype(exchange)> giveBack{exchange};
    return EncodeStateFile(file);
}

// ---- copies for a save
//
// A save copies what its file holds under the file's lock kSaveChunk records at a time, so that
// no other thread waits long for the lock, lets the lock go between chunks, encodes each chunk
// with no lock held and hands its bytes to the temporary file at once. Each chunk starts after
// the last key of the one before: a record added or removed between chunks may be in the file
// or not, and its change counter makes the next pass save again.

constexpr std::size_t kSaveChunk = 64;

// The longest hold of one chunk, in microseconds, kept in `longestUs`.
class HoldTimer {
public:
    explicit HoldTimer(std::int64_t& longestUs)
        : longestUs_(longestUs), start_(std::chrono::steady_clock::now()) {}
    ~HoldTimer() {
        const auto held = std::chrono::duration_cast<std::chrono::microseconds>(
                              std::chrono::steady_clock::now() - start_)
                              .count();
        longestUs_ = std::max<std::int64_t>(longestUs_, held);
    }

private:
    std::int64_t& longestUs_;
    std::chrono::steady_clock::time_point start_;
};

constexpr int kPrefetchAhead = 4;

void Prefetch(const std::pair<const std::string, std::string>& entry) {
    __builtin_prefetch(entry.first.data());
    __builtin_prefetch(entry.second.data());
}

// The record and its texts; a record's own fields were asked for by the entry before.
template <class Item>
void Prefetch(const std::pair<const std::string, std::unique_ptr<Item>>& entry) {
    const Item& item = *entry.second;
    __builtin_prefetch(entry.first.data());
    for (const auto& field : Item::ArchiveFields())
        if (field.text) __builtin_prefetch((item.*field.text).data());
}

// Visits every entry of `map` chunk by chunk, each chunk under `lock`: `visit(key, value)` runs
// with the lock held, `afterChunk()` after it is let go. Returns the number of entries visited.
template <class Map, class Visit, class AfterChunk>
std::size_t WalkInChunks(std::recursive_mutex& lock, Map& map, std::int64_t& longestHoldUs,
                         Visit visit, AfterChunk afterChunk) {
    std::string last;
    std::size_t visited = 0;
    for (bool first = true;; first = false) {
        bool done = false;
        {
            RecursiveGuard guard(lock);
            const HoldTimer timer(longestHoldUs);
            auto it = first ? map.begin() : map.upper_bound(last);
            // The records a few places ahead are asked from memory while this one is copied.
            auto ahead = it;
            for (int n = 0; n < kPrefetchAhead && ahead != map.end(); ++n) ++ahead;
            for (std::size_t n = 0; it != map.end() && n < kSaveChunk; ++it, ++n, ++visited) {
                if (ahead != map.end()) Prefetch(*ahead++);
                visit(it->first, it->second);
            }
            done = it == map.end();
            if (!done) last.assign(std::prev(it)->first);
        }
        // The chunk is encoded and written now, with the lock free for whoever waits for it.
        afterChunk();
        if (done) return visited;
        // Whoever waits for the processor has it now, between two holds rather than in one.
        std::this_thread::yield();
    }
}

// A string map copied chunk by chunk.
StringMap CopyInChunks(std::recursive_mutex& lock, const StringMap& from,
                       std::int64_t& longestHoldUs) {
    StringMap copy;
    WalkInChunks(
        lock, from, longestHoldUs,
        [&](const std::string& key, const std::string& value) {
            copy.emplace_hint(copy.end(), key, value);
        },
        [] {});
    return copy;
}

// A state file written while it is encoded: the archive's bytes go to the temporary file after
// each chunk. The count in front of an object map is not known before its last chunk: it is
// written for the map's size when the walk starts and put right at the end. A count that then
// needs another width (the map crossed 0xFFFF entries meanwhile) cannot be put in its place;
// the file is made again.
class StreamedFile {
public:
    struct WriteFailed {};  // thrown out of a walk: the rest need not be encoded

    // The file is never larger than maxBytes: a walk that gets there throws WriteFailed and
    // TooLarge() says why.
    bool Open(const std::string& path, std::size_t maxBytes) {
        archive_.Reserve(kPieceBytes);
        if (!out_.Open(path)) return false;
        out_.LimitSize(maxBytes);
        return true;
    }
    bool TooLarge() const { return out_.LimitReached(); }
    ArchiveWriter& Archive() { return archive_; }
    // Hands the bytes encoded so far to the file.
    void Pass() {
        if (archive_.Bytes().size() < kPieceBytes / 2) return;  // gathered into larger pieces
        Hand();
    }
    void BeginCount(std::size_t expected) {
        countAt_ = out_.Size() + archive_.Bytes().size();
        countBytes_ = CountBytes(expected).size();
        archive_.WriteCount(expected);
    }
    // False when the count does not fit where BeginCount left room for it.
    bool EndCount(std::size_t count) {
        const std::string bytes = CountBytes(count);
        if (bytes.size() != countBytes_) return false;
        Hand();
        if (!out_.Overwrite(countAt_, bytes)) throw WriteFailed{};
        return true;
    }
    bool Commit() {
        Hand();
        return out_.Commit();
    }

private:
    static constexpr std::size_t kPieceBytes = 256 * 1024;

    static std::string CountBytes(std::size_t count) {
        ArchiveWriter ar;
        ar.WriteCount(count);
        return ar.TakeBytes();
    }
    void Hand() {
        const bool ok = out_.Append(archive_.Bytes());
        archive_.DropBytes();
        if (!ok) throw WriteFailed{};
    }

    AtomicFileWriter out_;
    ArchiveWriter archive_;
    std::uint64_t countAt_ = 0;
    std::size_t countBytes_ = 0;
};

// The source address of an event or alert as its node record has it now; true when it changed.
template <class Item>
bool RefreshSource(Item& item, const SaveNodeIndex& index) {
    const auto node = index.nodes.find(item.SourceMac);
    if (node == index.nodes.end()) return false;
    const CDbItem& record = *node->second;
    if (item.SourceIp == record.NodeIp() && item.SourceName == record.NodeName()) return false;
    item.SourceIp = record.NodeIp();
    item.SourceName = record.NodeName();
    return true;
}

// What a save does with one record of an object map.
enum class Copy {
    AsIs,       // written as it is
    Refreshed,  // written with its source address refreshed from the node records
    LeftOut,    // not written
};

// The count and entries of an object map, each entry as StoreObjectMap writes it. `take(key,
// item)` runs under the lock, may change the live record and says what is written of it. Each
// chunk is copied under the lock into records that are used again for every chunk (their texts
// keep their room, so copying seldom asks for memory); the look-ups of the node records, the
// encoding and the writing are done after the lock is let go. A refreshed address is put back
// into the live record under the lock, in the rare chunk that has one. `counted` holds the count
// of an earlier attempt at the same file (room is left for it rather than for the map's size)
// and receives this one's. False when the file must be made again (see StreamedFile).
template <class Item, class Take>
bool StreamObjectMap(std::recursive_mutex& lock, ObjectMap<Item>& map, StreamedFile& file,
                     std::int64_t& longestHoldUs, const SaveNodeIndex& index,
                     std::optional<std::size_t>& counted, Take take) {
    {
        RecursiveGuard guard(lock);
        file.BeginCount(counted.value_or(map.size()));
    }
    struct Entry {
        std::string key;
        Item item;
        bool refresh = false;
    };
    std::vector<Entry> chunk(kSaveChunk);
    std::vector<const Entry*> refreshed;
    std::size_t used = 0;
    std::size_t leftOut = 0;
    ArchiveWriter& ar = file.Archive();
    const std::size_t visited = WalkInChunks(
        lock, map, longestHoldUs,
        [&](const std::string& key, const std::unique_ptr<Item>& item) {
            const Copy copy = take(key, *item);
            if (copy == Copy::LeftOut) {
                ++leftOut;
                return;
            }
            Entry& entry = chunk[used++];
            entry.refresh = copy == Copy::Refreshed;
            entry.key.assign(key);
            entry.item = *item;
        },
        [&] {
            refreshed.clear();
            for (std::size_t n = 0; n < used; ++n) {
                Entry& entry = chunk[n];
                if (entry.refresh && RefreshSource(entry.item, index)) refreshed.push_back(&entry);
                ar.WriteText(entry.key);
                ar.WriteObjectHeader(Item::kClassName, Item::kSchema);
                entry.item.Store(ar);
            }
            used = 0;
            if (!refreshed.empty()) {
                RecursiveGuard guard(lock);
                const HoldTimer timer(longestHoldUs);
                for (const Entry* entry : refreshed) {
                    const auto live = map.find(entry->key);
                    if (live == map.end() || live->second->SourceMac != entry->item.SourceMac)
                        continue;  // changed meanwhile: the next save looks again
                    live->second->SourceIp = entry->item.SourceIp;
                    live->second->SourceName = entry->item.SourceName;
                }
            }
            file.Pass();
        });
    counted = visited - leftOut;
    return file.EndCount(*counted);
}

// Makes the file at `path` with `fill(file)` (false: make it again), never larger than the
// engine's state-file bound, and puts it in place after `beforeCommit()`. An encoding error is
// logged; any failure leaves the old file as it was.
template <class Fill, class BeforeCommit>
SaveEnd WriteStreamed(const CTarvellFrm& engine, const std::string& path, Fill fill,
                      BeforeCommit beforeCommit) {
    const auto failed = [](const StreamedFile& file) {
        return SaveEnd{false, errno, file.TooLarge()};
    };
    for (int attempt = 0; attempt < 3; ++attempt) {
        StreamedFile file;
        if (!file.Open(path, engine.StateFileBytes())) return failed(file);
        try {
            if (!fill(file)) continue;
        } catch (const ArchiveError& e) {
            engine.Log("State file " + path + " could not be encoded (" + e.what() + ")");
            return SaveEnd{false, 0, false, "it could not be encoded"};
        } catch (const StreamedFile::WriteFailed&) {
            return failed(file);
        }
        beforeCommit();
        try {
            if (file.Commit()) return SaveEnd{true};
        } catch (const StreamedFile::WriteFailed&) {
        }
        return failed(file);
    }
    return SaveEnd{false, 0, false, "its records kept changing while it was made"};
}

}  // namespace

// ---- encoding by explicit file kind

std::string CTarvellFrm::Serialize(StoredFileKind kind) {
    switch (kind) {
        case StoredFileKind::Events: return Encode<EventDatabaseFile>(*this);
        case StoredFileKind::Alerts: return Encode<AlertLogFile>(*this);
        case StoredFileKind::Reports: return Encode<ReportStoreFile>(*this);
        default: return {};  // the engine writes no other file through here
    }
}

bool CTarvellFrm::Deserialize(StoredFileKind kind, std::string_view bytes, std::string* error) {
    switch (kind) {
        case StoredFileKind::Events:
            return DecodeAndTakeOver<EventDatabaseFile>(*this, bytes, error);
        case StoredFileKind::Alerts: return DecodeAndTakeOver<AlertLogFile>(*this, bytes, error);
        case StoredFileKind::Reports:
            return DecodeAndTakeOver<ReportStoreFile>(*this, bytes, error);
        case StoredFileKind::Sibling: {
            SiblingDatabaseFile file;
            if (!DecodeSiblingFile(bytes, file, kSiblingCaps, nullptr, error)) return false;
            SiblingTables tables = DeriveSiblingTables(std::move(file));
            TakeOver(*this, tables);
            return true;
        }
        default:
            if (error) *error = "not a state file of the engine";
            return false;
    }
}

// ---- loads

void CTarvellFrm::LoadAlertLog() {
    LoadOrStartEmpty<AlertLogFile>(*this, JoinPath(ServiceFolder, kAlertLogName));
}

void CTarvellFrm::LoadReportStore() {
    LoadOrStartEmpty<ReportStoreFile>(*this, JoinPath(ServiceFolder, kReportStoreName));
}

void CTarvellFrm::LoadEventDatabase() {
    const std::string path = JoinPath(ServiceFolder, kEventDatabaseName);
    EventDatabaseFile file;
    std::string error;
    switch (ReadWithRetries(path, file, error, clock(), StateFileBytes())) {
        case LoadOutcome::Loaded: TakeOver(*this, std::move(file)); break;
        case LoadOutcome::Missing: break;
        case LoadOutcome::Damaged:
            KeepAside(*this, path, error);
            TakeOver(*this, EventDatabaseFile{});
            break;
        case LoadOutcome::NoMemory: StopForMemory(path);
    }
}

// Reads Ombrix.db when the sibling product is installed and the file is not the one read (or
// refused) last time. A missing or damaged file leaves the sibling maps and the tables derived
// from them as they were; the file is the sibling product's and is never moved. True when new
// content was swapped in.
bool CTarvellFrm::LoadSiblingDatabase() {
    if (SiblingFolder.empty()) return false;
    const std::string path = JoinPath(SiblingFolder, kSiblingDatabaseName);
    struct stat named {};
    const bool exists = ::stat(path.c_str(), &named) == 0;
    const FileStamp stamp = exists ? FileStamp::Of(named) : FileStamp{};
    if (exists && stamp == siblingStamp_) return false;  // unchanged since the last read

    SiblingDatabaseFile file;
    SiblingDropped dropped;
    std::string error;
    const LoadOutcome outcome =
        ReadWithRetries(path, file, error, clock(), kMaxStateFileBytes, WhenMissing::Wait,
                        [&](std::string_view bytes, SiblingDatabaseFile& into, std::string* why) {
                            return DecodeSiblingFile(bytes, into, kSiblingCaps, &dropped, why);
                        });
    ReportFileState(*this, fileTrouble_, kSiblingTrouble, outcome == LoadOutcome::Loaded,
                    "Sibling database " + path + " could not be read" +
                        (outcome == LoadOutcome::Damaged || outcome == LoadOutcome::NoMemory
                             ? " (" + error + ")"
                             : std::string()) +
                        "; keeping the switches, ports and nodes read before",
                    "Sibling database " + path + " read again");
    // A damaged file is not read again until it changes; a missing one, or one there was no
    // memory for, is looked for each pass.
    siblingStamp_ =
        outcome == LoadOutcome::Missing || outcome == LoadOutcome::NoMemory ? FileStamp{} : stamp;
    if (outcome != LoadOutcome::Loaded) return false;
    ReportSiblingCut(path, dropped);
    SiblingTables tables = DeriveSiblingTables(std::move(file));
    // The new sibling data is swapped in here.
    TakeOver(*this, tables);
    return true;
}

// Once while a file keeps exceeding a cap: which records were left out.
void CTarvellFrm::ReportSiblingCut(const std::string& path, const SiblingDropped& dropped) {
    const bool wasCut = siblingCut_;
    siblingCut_ = dropped.Any();
    if (!siblingCut_ || wasCut) return;
    const auto part = [](std::size_t left, std::size_t cap, const char* what) {
        return left == 0
                   ? std::string()
                   : " " + FormatLong(static_cast<std::int64_t>(left)) + " " + what +
                         " beyond the first " + FormatLong(static_cast<std::int64_t>(cap)) + ";";
    };
    std::string detail = part(dropped.switches, kSiblingCaps.switches, "switches") +
                         part(dropped.ports, kSiblingCaps.ports, "ports") +
                         part(dropped.nodes, kSiblingCaps.nodes, "nodes");
    detail.pop_back();
    Log("Sibling database " + path +
        " holds more records than the service takes; left out:" + detail);
}

void CTarvellFrm::ReportArchiveState(bool ok, const std::string& failure,
                                     const std::string& recovery) {
    ReportFileState(*this, fileTrouble_, kArchiveTrouble, ok, failure, recovery);
}

bool CTarvellFrm::ArchiveTroubleLogged() const { return (fileTrouble_ & kArchiveTrouble) != 0; }

// ---- saves

CTarvellFrm::SaveView CTarvellFrm::ViewForSave() {
    RecursiveGuard lock(EngineLock);
    if (siblingView_ && siblingViewGeneration_ == DataGeneration.load())
        return {siblingView_, siblingViewSerial_};
    if (SiblingNodes.empty()) {
        static const auto none = std::make_shared<const SiblingView>();
        return {none, 1};
    }
    return {SiblingView::Of(SiblingPorts, SiblingNodes), 0};
}

std::shared_ptr<const SaveNodeIndex> CTarvellFrm::NodeIndexFor(const SaveView& view) {
    std::lock_guard<std::mutex> guard(indexLock_);
    if (nodeIndex_ && nodeIndex_->view == view.view) return nodeIndex_;
    auto index = std::make_shared<SaveNodeIndex>();
    index->view = view.view;
    index->nodes.reserve(view.view->Nodes.size());
    for (const auto& [mac, record] : view.view->Nodes) index->nodes.emplace(mac, record.get());
    nodeIndex_ = index;
    return index;
}

bool CTarvellFrm::SaveStateFiles() {
    // Without a thread for the events (threads or memory run out) they are saved here after the
    // alerts: a pass, and above all the last one of a stop, must not lose its saves to that.
    std::future<bool> events;
    std::string noThread;
    try {
        events = std::async(std::launch::async, [this] { return SaveEventDatabase(); });
    } catch (const std::system_error& e) {
        noThread = e.what();
    }
    ReportFileState(*this, fileTrouble_, kSaveThreadTrouble, noThread.empty(),
                    "The events' save thread could not be started (" + noThread +
                        "); the state files are saved one after the other",
                    "The events' save thread starts again");
    const bool alerts = SaveAlertLog();
    const bool written = (events.valid() ? events.get() : SaveEventDatabase()) && alerts;
    return SaveReportStore() && written;
}

// Refreshes the source address of every live event from its node record, then writes the file;
// writes nothing when neither the events nor the node records changed since the last write.
bool CTarvellFrm::SaveEventDatabase() {
    std::lock_guard<std::mutex> saving(eventsSaver_);
    const SaveView view = ViewForSave();
    std::string switchCount, nodeCount;
    std::uint64_t changes = 0;
    {
        RecursiveGuard guard(EngineLock);
        changes = EventsChanged;
        if (eventsWritten_.written && eventsWritten_.changes == changes && view.serial != 0 &&
            eventsWritten_.viewSerial == view.serial)
            return true;
        switchCount = SwitchCount;
        nodeCount = NodeCount;
    }
    const std::string path = JoinPath(ServiceFolder, kEventDatabaseName);
    SaveEnd end;
    // A file too large with its deleted events is made again without them: the next start
    // purges them anyway, and the viewer shows none but those whose port is still shut.
    for (const bool leaveOutDeleted : {false, true}) {
        std::optional<std::size_t> counted;
        end = WriteStreamed(
            *this, path,
            [&](StreamedFile& file) {
                ArchiveWriter& ar = file.Archive();
                ar.WriteText(switchCount);
                ar.WriteText(nodeCount);
                ar.WriteStringMap(CopyInChunks(EngineLock, DeviceTable, saveHolds_.engineUs));
                ar.WriteStringMap(CopyInChunks(EngineLock, PortNames, saveHolds_.engineUs));
                return StreamObjectMap(EngineLock, EventMap, file, saveHolds_.engineUs,
                                       *NodeIndexFor(view), counted,
                                       [&](const std::string&, const CEventItem& event) {
                                           if (event.Deleted == 0) return Copy::Refreshed;
                                           return leaveOutDeleted ? Copy::LeftOut : Copy::AsIs;
                                       });
            },
            [] {});
        if (end.written || !end.tooLarge) break;
    }
    ReportSave(*this, fileTrouble_, kEventsTrouble, end, path,
               "delete the events no longer needed in the viewer");
    if (end.written) eventsWritten_ = {true, changes, view.serial};
    return end.written;
}

// Marks alerts at the end of their keep time as removed, refreshes the source address of the
// others, writes the file, then the daily archives. Writes nothing when no alert changed, none
// came to the end of its keep time and neither the keep time nor the node records changed.
bool CTarvellFrm::SaveAlertLog() {
    std::lock_guard<std::mutex> saving(alertsSaver_);
    const std::int64_t keepDays = Settings()->AlertRemoveDays;
    const SaveView view = ViewForSave();
    const std::int64_t now = clock().Now();
    std::uint64_t changes = 0;
    bool unchanged = false;
    {
        RecursiveGuard guard(AlertLock);
        changes = AlertsChanged;
        unchanged = alertsWritten_.written && alertsWritten_.changes == changes &&
                    view.serial != 0 && alertsWritten_.viewSerial == view.serial &&
                    alertsKeepDays_ == keepDays && now < alertsAgeAt_;
    }
    if (unchanged) {
        FlushDailyArchive();
        return true;
    }
    const std::string path = JoinPath(ServiceFolder, kAlertLogName);
    std::int64_t ageAt = std::numeric_limits<std::int64_t>::max();
    bool flushed = false;
    SaveEnd end;
    // A log too large with its removed alerts (by the viewer, or at the end of their keep time)
    // is made again without them: the next start drops them anyway and the viewer shows none,
    // so a shorter keep time or cleared alerts make room at the next pass.
    for (const bool leaveOutRemoved : {false, true}) {
        std::optional<std::size_t> counted;
        end = WriteStreamed(
            *this, path,
            [&](StreamedFile& file) {
                ageAt = std::numeric_limits<std::int64_t>::max();
                return StreamObjectMap(
                    AlertLock, AlertLog, file, saveHolds_.alertUs, *NodeIndexFor(view), counted,
                    [&](const std::string& key, CAlertItem& alert) {
                        if (IsAged(key, now, keepDays)) {
                            alert.State = 1;
                            return leaveOutRemoved ? Copy::LeftOut : Copy::AsIs;
                        }
                        if (alert.State != 0 && leaveOutRemoved) return Copy::LeftOut;
                        // A key beyond every clock never ages (and must not overflow the sum).
                        const auto at = AlertTime(key);
                        const auto keep = decltype(at){keepDays} * kSecondsPerDay;
                        if (keepDays > 0 && alert.State == 0 &&
                            at <= std::numeric_limits<decltype(at)>::max() - keep)
                            ageAt = std::min(ageAt, at + keep);
                        return Copy::Refreshed;
                    });
            },
            // The archive copies waiting are taken after the last alert was taken, and the
            // archive files are written before the log is put in place: every alert in the log
            // file is then in its archive file too, whenever the service is killed (at worst an
            // alert reaches its archive twice, and the archive's key keeps one).
            [&] {
                FlushDailyArchive();
                flushed = true;
                ReachSavePoint("alert-log-archived");
            });
        if (end.written || !end.tooLarge) break;
    }
    if (!flushed) FlushDailyArchive();
    ReportSave(*this, fileTrouble_, kAlertsTrouble, end, path,
               "keep alerts for fewer days (alert settings) or archive the alerts in the viewer "
               "and clear them");
    const bool ok = end.written;
    if (ok) {
        alertsWritten_ = {true, changes, view.serial};
        alertsKeepDays_ = keepDays;
        alertsAgeAt_ = ageAt;
    }
    return ok;
}

CTarvellFrm::SaveHolds CTarvellFrm::TakeSaveHolds() {
    std::scoped_lock saving(eventsSaver_, alertsSaver_);
    return std::exchange(saveHolds_, SaveHolds{});
}

// A fresh installation (no stored alert and no report date yet) writes nothing. Once the e-mail
// channel has set the report dates the file is kept, also with an empty store, so that the dates
// survive a restart and alerts taken out on a Sunday do not come back. Bytes that are the ones
// written last are not written again.
bool CTarvellFrm::SaveReportStore() {
    std::lock_guard<std::mutex> saving(reportsSaver_);
    {
        RecursiveGuard guard(MailLock);
        if (ReportStore.empty() && LastDailyReport.empty() && LastWeeklyReport.empty()) return true;
    }
    const std::string bytes = Serialize(StoredFileKind::Reports);
    const std::size_t digest = std::hash<std::string_view>{}(bytes);
    if (reportsDigest_ == digest) return true;
    const std::string path = JoinPath(ServiceFolder, kReportStoreName);
    SaveEnd end;
    end.written = WriteStateFileBytes(path, bytes, StateFileBytes());
    end.error = errno;
    end.tooLarge = bytes.size() > StateFileBytes();
    ReportSave(*this, fileTrouble_, kReportsTrouble, end, path);
    if (end.written) reportsDigest_ = digest;
    return end.written;
}

// ---- start-up clean-up

void CTarvellFrm::PruneAlertLog() {
    const std::int64_t keepDays = Settings()->AlertRemoveDays;
    RecursiveGuard guard(AlertLock);
    const std::int64_t now = clock().Now();
    if (std::erase_if(AlertLog, [&](const auto& entry) {
            return entry.second->State != 0 || IsAged(entry.first, now, keepDays);
        }) != 0)
        ++AlertsChanged;
}

void CTarvellFrm::PurgeDeletedEvents() {
    RecursiveGuard guard(EngineLock);
    if (std::erase_if(EventMap, [](const auto& entry) { return entry.second->Deleted != 0; }) != 0)
        ++EventsChanged;
}

}  // namespace tarvell
