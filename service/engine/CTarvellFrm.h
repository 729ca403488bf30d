// The engine of the service: owns every piece of shared state (sibling database records, events,
// alerts, channel queues, report store, request lists), keeps it in the state files, and runs the
// 10-second pass that takes over the viewer's changes. Workers reach the state through the public
// members below, each guarded by the lock named beside it, or through the engine's operations.
//
// Lock order: EngineLock, then AlertLock, then MailLock, never the reverse. A thread that holds
// AlertLock takes no EngineLock, and one that holds MailLock takes neither of the others; a
// thread may skip a lock (EngineLock then MailLock) but never go back up the order. The three
// are recursive, so a holder may call operations that take the same lock again.
#pragma once

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/Clock.h"
#include "platform/ObjectMap.h"
#include "service/engine/EngineControl.h"
#include "shared/HandOverFile.h"
#include "service/engine/UsedLinks.h"
#include "shared/CAlertItem.h"
#include "shared/CDbItem.h"
#include "shared/CEventItem.h"
#include "shared/CTarvellDoc.h"
#include "shared/StateFiles.h"

namespace tarvell {

class EventLog;
class ManualResetEvent;
class SnmpClient;

using StringMap = std::map<std::string, std::string>;
using StringList = std::vector<std::string>;

inline constexpr std::string_view kDeliveredMarkName = "AlertChannels.last";
inline constexpr std::string_view kBootCounterName = "snmpv3_boot_counter";

// The lines of AlertChannels.last by channel name, or nullopt for a damaged file.
std::optional<std::map<std::string, std::string>> ParseDeliveredMarks(std::string_view bytes);

// The four alert channels, in the order alerts are handed to them.
enum class AlertChannel { Email, Snmp, Syslog, Run };

// The ten worker slots, in start order.
enum class WorkerSlot {
    Blocking,
    Database,
    SnmpTraps,
    AlertsEmail,
    AlertsSnmp,
    AlertsSyslog,
    AlertsRun,
    ExportHtml,
    ExportSql,
    Http
};
inline constexpr int kWorkerSlots = 10;

// How the engine stops a worker it started: `request` asks it to end and does not wait; `join`
// ends it and waits until it has. At a stop every worker is asked first, so that all of them
// wind down (a mail dialogue, a poll) at the same time, and then joined one by one.
struct WorkerStop {
    WorkerStop() = default;
    // A worker that can only be stopped and waited for in one step.
    WorkerStop(std::function<void()> stopAndJoin) : join(std::move(stopAndJoin)) {}
    WorkerStop(std::function<void()> request, std::function<void()> join)
        : request(std::move(request)), join(std::move(join)) {}
    explicit operator bool() const { return static_cast<bool>(join); }

    std::function<void()> request;
    std::function<void()> join;
};

// One generation of the sibling ports and nodes as the detection pass and the WMI checks read
// them: the port part of every port record and the node part of every node record. The loader
// builds it whole, outside every lock, next to the maps it swaps in; it is never changed after,
// so it is read without a lock, and whoever holds it keeps the generation alive.
struct SiblingView {
    ObjectMap<CDbItem> Ports;  // "<switch key>/<port>" -> port part
    ObjectMap<CDbItem> Nodes;  // node MAC -> node part
    static std::shared_ptr<const SiblingView> Of(const ObjectMap<CDbItem>& ports,
                                                 const ObjectMap<CDbItem>& nodes);
};

// The node records of one sibling view by MAC, for the saves' refresh of source addresses. It
// keeps its view, and so its records, alive.
struct SaveNodeIndex {
    std::shared_ptr<const SiblingView> view;
    std::unordered_map<std::string_view, const CDbItem*> nodes;
};

// What the engine needs from its surroundings. Everything is given at construction, so the
// engine is complete before any other thread can see it.
struct EngineEnvironment {
    std::string ServiceFolder;   // state files and Tarvell.ini
    std::string HandOverFolder;  // where the viewer leaves Tarvell.ini
    std::string SiblingFolder;   // folder of Ombrix.db; empty: the sibling product is absent
    // The folder the sibling product's registration names now, looked at by every pass: the
    // engine keeps reading SiblingFolder, so a different one is logged once as read at the next
    // start. Empty text: the product is not registered; nullopt: the registration could not be
    // read just now. No function: not looked at.
    std::function<std::optional<std::string>()> siblingFolderNow;
    // The administrators' group: the only group that may write a hand-over file.
    std::string handOverGroup = kHandOverGroup;
    Clock* clock = nullptr;   // nullptr: DefaultClock()
    EventLog* log = nullptr;  // nullptr: messages are dropped
    std::int64_t passIntervalMs = 10'000;
    std::uint16_t trapManagerPort = 162;  // where the trap alert channel sends
    std::uint16_t snmpAgentPort = 161;    // the port of every SNMP request to a switch
    // The most bytes of each of the service's own state files, read and written (at most
    // kMaxStateFileBytes, which the viewer and the tools read).
    std::size_t stateFileBytes = kMaxStateFileBytes;
    // Firewall exception: the program and its arguments, run once at start-up with a time limit
    // (empty: no firewall step).
    std::vector<std::string> firewallCommand;
    std::int64_t firewallTimeLimitMs = 30'000;
    // Worker starter: called once per slot in start order during start-up; a slot whose worker
    // does not exist yet starts nothing. Returns the worker's stop functions (empty: none).
    std::function<WorkerStop(WorkerSlot, class CTarvellFrm&)> startWorker;
    // Optional hook run after every pass (tests observe passes through it).
    std::function<void()> afterPass;
    // Optional hook run at the named points of the hand-over pass's saves (tests stop the
    // process there): "requests-state-saved" when the state files hold what the requests did
    // and the settings file still holds the requests, "requests-settings-saved" after both;
    // "alert-log-archived" when a new Tarvell.log is made and its alerts are in their daily
    // archives, just before it replaces the old one.
    std::function<void(std::string_view point)> atSavePoint;
};

// Folders and settings of the real installation: the service folder and hand-over folder of the
// system paths, the sibling folder from the sibling product's service entry in the registry
// store (read again by each pass to notice a new one), and the firewall command from
// TARVELL_FIREWALL_COMMAND (blank-separated words).
EngineEnvironment SystemEngineEnvironment();

class CTarvellFrm : public EngineControl {
public:
    explicit CTarvellFrm(EngineEnvironment env);
    ~CTarvellFrm() override;
    CTarvellFrm(const CTarvellFrm&) = delete;
    CTarvellFrm& operator=(const CTarvellFrm&) = delete;

    // ---- thread body: start-up, then the pass every passIntervalMs until stop is set, then a
    // last save pass and the workers stopped and joined.
    void Run(ManualResetEvent& stop) override;
    // A user-defined service control code: 136 e-mail, 137 SNMP trap, 144 syslog, 145 run
    // command; any other code is logged and ignored.
    void QueueTestAlert(int controlCode) override;
    // The start-up of Run and one pass, for tests that drive the engine step by step.
    void StartUp(ManualResetEvent& stop);
    void Pass();
    void ShutDown();

    // ---- settings. Workers read an immutable snapshot; the engine thread edits Document and
    // publishes it. A snapshot stays valid for as long as the reader holds it.
    std::shared_ptr<const CTarvellDoc> Settings() const;
    void PublishSettings();

    // ---- state files
    void LoadAlertLog();
    void LoadEventDatabase();
    void LoadReportStore();
    bool LoadSiblingDatabase();
    bool SaveAlertLog();
    bool SaveEventDatabase();
    bool SaveReportStore();
    // The saves of a pass: Tarvell.log and Tarvell.db at the same time (the events on a thread
    // of their own; the two take different locks), then Tarvell.eml. True when all three worked.
    bool SaveStateFiles();
    // The longest time, in microseconds, that the saves since the last call held EngineLock and
    // AlertLock at a stretch.
    struct SaveHolds {
        std::int64_t engineUs = 0;
        std::int64_t alertUs = 0;
    };
    SaveHolds TakeSaveHolds();
    void PruneAlertLog();
    void PurgeDeletedEvents();
    template <class T>
    static void ClearObjectMap(ObjectMap<T>& map) {
        map.clear();
    }
    // The bytes of one state file (Events, Alerts or Reports), encoded under the file's lock
    // (memory only: the caller writes the bytes after the lock is released).
    std::string Serialize(StoredFileKind kind);
    // Takes over a whole file of the given kind (Events, Alerts, Reports or Sibling). The bytes
    // are decoded into fresh values that replace the engine's only when the whole file was
    // read; damaged bytes change nothing and give false with the reason in `error`.
    bool Deserialize(StoredFileKind kind, std::string_view bytes, std::string* error = nullptr);
    // Writes the alerts queued since the last call into their daily archive files (SaveAlertLog
    // does the same in every pass, before it writes the log).
    void FlushDailyArchive();

    // ---- event recording and alert queueing
    void RecordEvent(std::unique_ptr<CEventItem> event);
    void QueueAlert(std::unique_ptr<CAlertItem> alert);
    void QueueTestAlert(AlertChannel channel);
    void ClearEventExtra(const std::string& key);
    // The last alert a channel (given by its queue) delivered, kept in AlertChannels.last;
    // channels call NoteDelivered after each alert. RequeueUndelivered runs at start, after the
    // alert log was loaded: each enabled channel is given the logged alerts after its key.
    void NoteDelivered(const ObjectMap<CAlertItem>& queue, const std::string& key);
    std::string DeliveredMark(const ObjectMap<CAlertItem>& queue) const;
    void RequeueUndelivered(const CTarvellDoc& settings);
    std::string DeliveredMarkPath() const;

    // ---- text operations
    // The event-type keys by the position of their texts in the settings' per-type lists (the
    // shared alert-text rows: 32 event types, then "Test Message").
    static std::span<const std::string_view> EventTypes();
    std::string FormatAlertCause(const std::string& type) const;
    std::string FormatAlertDescription(const std::string& type) const;
    std::string FormatAlertSeverity(int code) const;
    static bool WildcardMatch(const std::string& text, const std::string& pattern);
    void ReadNodeListFile(bool addBlockEntries, const std::string& path, StringList& list);

    // ---- look-ups and event selection (each takes EngineLock inside unless noted)
    bool LookupSwitch(const std::string& key, CDbItem& out);
    bool LookupSwitchByAddress(const std::string& address, CDbItem& out);
    bool LookupPort(const std::string& key, CDbItem& out);
    bool LookupNode(const std::string& key, CDbItem& out);
    bool IsKnownKey(const std::string& key);
    void SnapshotNodes(ObjectMap<CDbItem>& out);
    void SnapshotPorts(ObjectMap<CDbItem>& out);
    // The generation of SiblingPorts and SiblingNodes in force, read in place: only a pointer is
    // copied under the lock. Maps put in place other than by a load (tests fill them by hand and
    // raise DataGeneration) have no view until PublishSiblingView; until then each call copies
    // them under the lock.
    std::shared_ptr<const SiblingView> SiblingData();
    // Builds the view of the maps as they are now (under the lock) and publishes it.
    void PublishSiblingView();
    std::string GetPortName(const std::string& portKey);
    int IsMonitoredInterface(const std::string& portKey);
    bool IsEventSelected(int flag, const std::string& type,
                         const std::string& device) const;  // no lock
    std::string FindNodeBySource(const std::string& switchKey, const std::string& portKey,
                                 const std::string& mac, const std::string& ip);
    int IsNodeExcluded(const std::string& mac, const std::string& ip, const std::string& count,
                       const std::string& switchKey, const std::string& portKey) const;  // no lock
    std::string FindNodeForEvent(const std::string& switchKey, const std::string& portKey,
                                 const std::string& count, const std::string& mac,
                                 const std::string& ip);
    std::string FindNodeForSwitchPort(const StringMap& found, const std::string& switchKey,
                                      const std::string& portKey, const std::string& count,
                                      const std::string& mac);
    static std::uint32_t IpToHostOrder(const std::string& dotted);  // no lock

    // ---- the viewer's hand-over and the queued requests (engine thread only)
    void ApplyViewerUpdates();
    // Started when the WMI conditions change; filled by the WMI checks.
    std::function<void(CTarvellFrm&)> startWmiRecheck;
    // Tests: runs after a hand-over file was read and installed, before it is removed.
    std::function<void()> onHandOverTaken;

    // ---- members (guard in brackets)
    int AlertCounter = 0;  // [AlertLock]
    std::atomic<int> RunTestFlag{0};
    std::atomic<int> SnmpTestFlag{0};
    std::atomic<int> EmailTestFlag{0};
    std::atomic<int> SyslogTestFlag{0};
    const std::string HandOverFolder;
    const std::string Version{"3.6"};
    std::string LastAlertSecond;         // [AlertLock]
    std::string NodeCount;               // [EngineLock]
    std::string SwitchCount;             // [EngineLock]
    StringList PortRequests;             // [EngineLock]
    StringList BlockMacs;                // [EngineLock]
    StringList LinkRequests;             // [EngineLock] LinkRequest::Format entries
    ObjectMap<CDbItem> SiblingNodes;     // [EngineLock]
    ObjectMap<CDbItem> SiblingPorts;     // [EngineLock]
    ObjectMap<CAlertItem> AlertLog;      // [AlertLock]
    ObjectMap<CEventItem> EventMap;      // [EngineLock]
    ObjectMap<CDbItem> SiblingSwitches;  // [EngineLock]
    ObjectMap<CAlertItem> RunQueue;      // [AlertLock]
    ObjectMap<CAlertItem> SnmpQueue;     // [AlertLock]
    ObjectMap<CAlertItem> EmailQueue;    // [AlertLock]
    ObjectMap<CAlertItem> ReportStore;   // [MailLock]
    ObjectMap<CAlertItem> SyslogQueue;   // [AlertLock]
    StringMap PortAliases;               // [EngineLock]
    StringMap PortNames;                 // [EngineLock]
    StringMap SwitchMacs;                // [EngineLock]
    StringMap SwitchAddresses;           // [EngineLock] address -> first enabled switch listing it
    StringMap DeviceTable;               // [EngineLock]
    mutable std::recursive_mutex EngineLock;
    mutable std::recursive_mutex AlertLock;
    mutable std::recursive_mutex MailLock;
    const std::string ServiceFolder;
    std::string LastDailyReport;            // [MailLock]
    std::string LastWeeklyReport;           // [MailLock]
    std::unique_ptr<CTarvellDoc> Document;  // engine thread only; publish after changes
    const std::string SiblingFolder;
    std::unique_ptr<SnmpClient> Snmp;
    // The two notes of single nodes that the detection pass and the poll threads write and
    // every node look-up reads have a lock of their own, so that a look-up needs no EngineLock.
    // NodeNotesLock is taken last: no other lock is taken while it is held.
    mutable std::mutex NodeNotesLock;
    StringMap UnknownNodeLocations;  // [NodeNotesLock]
    StringMap DisabledNodes;         // [EngineLock]
    StringMap PendingNewNodes;       // [NodeNotesLock]
    StringMap PolledSwitches;        // [EngineLock]
    StringMap TrunkPorts;            // [EngineLock] port keys of trunk ports
    // Raised each time new sibling data is swapped in or new settings are published; the
    // detection thread runs a pass when it changes.
    std::atomic<std::uint64_t> DataGeneration{0};
    // Change counters of Tarvell.db and Tarvell.log: raised under the file's lock by every change
    // of what the file holds (events, the device and port tables and the two counts; alerts). A
    // save that finds its counter where the last written file left it writes nothing.
    std::uint64_t EventsChanged = 0;  // [EngineLock]
    std::uint64_t AlertsChanged = 0;  // [AlertLock]

    // The links already carried out ([EngineLock]); read from ActionLink.used at the first call.
    UsedLinks& UsedActionLinks();
    // Writes ActionLink.used (call without the engine lock; false, logged, when it fails).
    bool SaveUsedActionLinks();

    Clock& clock() const { return *clock_; }
    void ReachSavePoint(std::string_view point) const {
        if (env_.atSavePoint) env_.atSavePoint(point);
    }
    const std::string& HandOverGroup() const { return env_.handOverGroup; }
    // The most bytes of a state file of the service, read or written.
    std::size_t StateFileBytes() const { return std::min(env_.stateFileBytes, kMaxStateFileBytes); }
    void Log(const std::string& text) const;

private:
    EngineEnvironment env_;
    Clock* clock_;
    std::optional<UsedLinks> usedLinks_;  // [EngineLock]
    // The view of the sibling maps and the DataGeneration it belongs to; a later value without a
    // new view (maps changed by hand) means the view is stale. New settings keep it current.
    // Written under EngineLock and viewLock_ (taken in that order); read under either.
    std::shared_ptr<const SiblingView> siblingView_;
    std::uint64_t siblingViewGeneration_ = 0;
    std::uint64_t siblingViewSerial_ = 1;  // raised by each view swapped in
    mutable std::mutex viewLock_;
    // The view when it is current, else null; takes viewLock_ only.
    std::shared_ptr<const SiblingView> CurrentView() const;
    friend void SwapInSiblingView(CTarvellFrm&, std::shared_ptr<const SiblingView>&);
    void LoadSettingsAtStart();
    void CreateSnmpClient();
    void AddFirewallException(ManualResetEvent& stop);
    void StartWorkers();
    void StopWorkers();
    void ReportCutNodeList(const std::string& path);
    void ReportSkippedNodeList(const std::string& path, int error);
    void RemoveStaleTemporaryFiles();
    template <class Step>
    std::string ResourceFailureOf(Step step);
    bool passTrouble_ = false;   // engine thread only: a failed pass was logged
    bool WriteDeliveredMarks();  // caller holds marksMutex_
    mutable std::mutex marksMutex_;
    std::map<std::string, std::string> deliveredMarks_;  // [marksMutex_] channel -> alert key
    bool marksTrouble_ = false;                          // [marksMutex_] a failed write was logged

    // QueueAlert with the settings snapshot of the calling operation.
    void QueueAlert(std::unique_ptr<CAlertItem> alert, const CTarvellDoc& settings);

    // Copies of queued alerts waiting for their daily archive file. QueueAlert may run under
    // the engine lock, so the files are written later by FlushDailyArchive, outside every lock.
    struct ArchivedAlert {
        std::string fileName;  // "%Y%m%d_AutoArchive.log" of the local day of queueing
        std::string key;
        CAlertItem alert;
    };
    std::vector<ArchivedAlert> archiveBacklog_;  // [AlertLock]
    std::size_t archiveDropped_ = 0;             // [AlertLock] copies refused: backlog full
    std::mutex archiveWriter_;                   // one writer of the archive files at a time
    struct ArchiveBatch {
        std::vector<ArchivedAlert> alerts;
        std::size_t dropped = 0;
    };
    ArchiveBatch TakeArchiveBacklog();            // caller holds AlertLock
    void WriteDailyArchives(ArchiveBatch batch);  // caller holds archiveWriter_, no other lock
    // Logs `failure` when the archives stop being written and `recovery` when they are again,
    // each once, as for the state files.
    void ReportArchiveState(bool ok, const std::string& failure, const std::string& recovery);
    // Whether a failure of the archives was logged and has not recovered yet.
    bool ArchiveTroubleLogged() const;
    std::size_t archiveDroppedUnsaid_ = 0;  // [archiveWriter_] dropped while the failure lasts

    // Which version of the sibling file was read last (loaded or refused as damaged): the file
    // is read again only when one of these changed.
    struct FileStamp {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = -1;
        std::int64_t modifiedNs = 0;
        static FileStamp Of(const struct stat& st) {
            return {st.st_dev, st.st_ino, st.st_size,
                    st.st_mtim.tv_sec * 1'000'000'000LL + st.st_mtim.tv_nsec};
        }
        bool operator==(const FileStamp&) const = default;
    };
    FileStamp siblingStamp_;   // engine thread only
    // Daily archives that cannot take more, by file name, as they were when a write was refused:
    // not read again while they stay so. [archiveWriter_]
    std::map<std::string, FileStamp> fullArchives_;
    bool siblingCut_ = false;  // engine thread only: a cap was hit last read
    // The folder last found registered (SiblingFolder until another is found); engine thread only.
    std::string siblingFolderSeen_;
    void NoteSiblingFolderChange();
    void ReportSiblingCut(const std::string& path, const SiblingDropped& dropped);
    std::atomic<unsigned> fileTrouble_{0};  // state files whose failure has been logged

    // ---- what the files last written were made of: the change counter and the
    // serial of the sibling view their node addresses came from, the log's keep time and the
    // first moment one of its kept alerts comes to the end of it, and the report store's digest.
    struct SaveView {
        std::shared_ptr<const SiblingView> view;
        std::uint64_t serial = 0;  // 0: made just now of maps changed by hand; new every call
    };
    SaveView ViewForSave();
    // The index of a save's view, made again only when the view changed.
    std::shared_ptr<const SaveNodeIndex> NodeIndexFor(const SaveView& view);
    std::mutex indexLock_;
    std::shared_ptr<const SaveNodeIndex> nodeIndex_;  // [indexLock_]
    struct WrittenFile {
        bool written = false;
        std::uint64_t changes = 0;
        std::uint64_t viewSerial = 0;
    };
    // One save of each file at a time; the saves of different files may run together.
    std::mutex eventsSaver_;
    std::mutex alertsSaver_;
    std::mutex reportsSaver_;
    WrittenFile eventsWritten_;                 // [eventsSaver_]
    WrittenFile alertsWritten_;                 // [alertsSaver_]
    std::int64_t alertsKeepDays_ = 0;           // [alertsSaver_]
    std::int64_t alertsAgeAt_ = 0;              // [alertsSaver_]
    std::optional<std::size_t> reportsDigest_;  // [reportsSaver_]
    SaveHolds saveHolds_;                       // engineUs [eventsSaver_], alertUs [alertsSaver_]

    mutable std::mutex settingsMutex_;
    std::vector<WorkerStop> workerStops_;
    // Problems of the hand-over pass already logged; each is logged once while it lasts.
    std::vector<std::string> handOverProblems_;  // engine thread only
    // No settings file was taken into force since the start: the defaults are (engine thread).
    bool settingsOnDefaults_ = false;
    std::vector<std::string> cutNodeLists_;  // [EngineLock] node list files reported as too long
    std::vector<std::string>
        skippedNodeLists_;  // [EngineLock] node list files reported as unreadable
    std::shared_ptr<const CTarvellDoc> settings_;
};

// The loader's step of a new generation: the caller holds EngineLock and has just raised
// DataGeneration for the maps it swapped in. The view in force leaves in `view`; the caller
// lets it go after the lock is released.
void SwapInSiblingView(CTarvellFrm& engine, std::shared_ptr<const SiblingView>& view);

}  // namespace tarvell
