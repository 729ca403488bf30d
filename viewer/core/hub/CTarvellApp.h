// The viewer's application object without its windows: the current server, the settings
// document, the identity of this machine, and the data hub that holds what the readers last
// read from the server's state files, with the counts the summary pages show.
//
// Threads: the readers (CTarvellDb, CTarvellLog) build whole snapshots privately and hand them
// over with SetEvents / SetAlerts. The hub keeps each snapshot immutable: a getter returns the
// snapshot itself (shared, never changed afterwards) or a deep copy; a mutator makes a new
// snapshot. EventLock guards the events, their tables, counts, flag and the servers; AlertLock
// the alerts, counts and flag; ServerLock the current-server texts. No operation holds two of
// the hub's locks; a mutator holds its hub lock, then the document's lock inside it. The reader
// settings and the health have leaf locks of their own, taken under any other.
//
// Change notifications: listeners hear of each published snapshot, each settings reload or save
// announced through NotifyHub, each local change of the events or alerts, and each change of the
// service's state or of the health of the server's files. A listener runs on the thread that
// made the change, after the hub's locks are released.
//
// The service's state is asked by the events reader at each pass (and by whoever wants it fresh,
// through ProbeService), so that screens read it from the hub instead of asking on timers of
// their own.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/Clock.h"
#include "viewer/core/hub/EventFilters.h"
#include "viewer/core/hub/MachineIdentity.h"
#include "viewer/core/hub/RequestIndex.h"
#include "viewer/core/hub/ServerHealth.h"
#include "viewer/core/hub/ServerRegistry.h"
#include "viewer/core/hub/SettingsEdit.h"
#include "viewer/core/hub/ViewerDocument.h"

namespace tarvell {

class ManualResetEvent;
class Registry;
class CTarvellDb;
class CTarvellLog;
class CTarvellPopup;

using StringTable = std::map<std::string, std::string>;
using EventRecords = std::map<std::string, std::shared_ptr<const CEventItem>>;
using AlertRecords = std::map<std::string, std::shared_ptr<const CAlertItem>>;

// What one read of Tarvell.db gives the screens.
enum class HubChange {
    EventsPublished,       // a reader pass or a direct load replaced the events
    AlertsPublished,       // likewise the alerts
    SettingsReloaded,      // the settings document was read again from the server
    SettingsSaved,         // the settings document was written to the server
    EventsChangedLocally,  // a block or removal by this viewer
    AlertsChangedLocally,  // a removal or clear by this viewer
    ServerStateChanged,    // the service's state or the health of the server's files
};

struct EventsSnapshot {
    std::string SwitchCount = "0";
    std::string NodeCount = "0";
    StringTable DeviceTable;  // switch key -> "<ip>/<name>/<contact>/<location>"
    StringTable PortNames;    // "<switch key>/<port index>" -> port name
    EventRecords EventMap;
};

struct AlertsSnapshot {
    AlertRecords AlertLog;
};

// The events this user has opened on the current server: their keys in ASCII lower case (the
// read marks' names compare without case).
using ReadMarkSet = std::unordered_set<std::string>;

// What a screen takes from the hub for one pass, each part with its generation: a number that
// changes whenever that part is replaced and never comes back, so that a screen tells an
// unchanged hub from a changed one without looking at the records.
struct HubView {
    std::shared_ptr<const EventsSnapshot> events;
    std::shared_ptr<const AlertsSnapshot> alerts;
    std::shared_ptr<const CTarvellDoc> settings;   // the reader copy (ReaderSettings)
    std::shared_ptr<const RequestIndex> requests;  // built from `settings`
    std::uint64_t eventsGeneration = 0, alertsGeneration = 0, settingsGeneration = 0,
                  readMarksGeneration = 0;
};

// Shows one alert on the popup thread (CTarvellPopup.h states the contract).
using PopupShow = std::function<void(const std::string& key, const CAlertItem& alert,
                                     const ManualResetEvent& stop)>;

struct CurrentServer {
    std::string Name;
    std::string Folder;
    std::string Machine;  // host of the server's machine, empty for this one
};

inline constexpr std::string_view kEveryoneAccount = "Everyone";
inline constexpr std::string_view kGuestEntry =
    "Guest/Built-in account for guest access to the selected Tarvell server";
inline constexpr int kDirectLoadAttempts = 5;
inline constexpr std::int64_t kReaderIntervalMs = 10'000;

// What a connect reads before anything changes (PrepareServer, any thread).
struct ServerLoad {
    CurrentServer server;
    std::optional<CTarvellDoc> settings;           // nullopt: the connect fails
    std::shared_ptr<const EventsSnapshot> events;  // nullptr: the file was not read
    ItemCounts eventCounts;
    std::shared_ptr<const AlertsSnapshot> alerts;
    ItemCounts alertCounts;
    bool eventsUnreadable = false, alertsUnreadable = false;  // there, but not read
    bool known = false;                                       // the name is in the servers map
};

struct ViewerEnvironment {
    std::string programFolder;  // the "Local" server's folder on a first start
    std::string version = "3.6";
    Registry* registry = nullptr;            // nullptr: Registry::Default()
    Clock* clock = nullptr;                  // nullptr: DefaultClock()
    IdentitySources identity;                // empty members: the system's
    std::function<std::string()> mountInfo;  // nullptr: /proc/self/mountinfo
    std::int64_t readerIntervalMs = kReaderIntervalMs;
    // Whose hand-over copies the service takes over (the service's own group).
    std::string handOverGroup = kHandOverGroup;
};

class CTarvellApp {
public:
    // Reads the viewer's registry key and chooses the default server (no file is read yet).
    explicit CTarvellApp(ViewerEnvironment env);
    ~CTarvellApp();
    CTarvellApp(const CTarvellApp&) = delete;
    CTarvellApp& operator=(const CTarvellApp&) = delete;

    // ---- start-up
    // True when the viewer's registry key could be opened or created.
    bool RegistryAvailable() const { return registryOk_; }
    // The identity, the direct loads and the two reader threads, each once per process.
    void StartReaders();
    bool ReadersStarted() const;
    // The identity of this machine, read once (StartReaders' first step).
    void ReadIdentity();
    // Starts the alert popup thread once; `show` runs on that thread and returns when the popup
    // has closed or the thread is asked to stop. Nothing starts when the viewer's registry key
    // was not available.
    bool StartPopup(PopupShow show);
    // Stops and joins the popup thread (before whatever `show` uses goes away).
    void StopPopup();

    // ---- current server (any thread: copies under ServerLock)
    CurrentServer Server() const;
    // Connects to a known server: the settings are loaded first; only when they load does the
    // server become current (its machine recomputed) and the events and alerts are reloaded.
    // False leaves the current server, the document and the data as they were.
    bool SelectServer(const std::string& name);
    // SelectServer in two steps, so that the reading (up to 5 attempts of 1 s per file) runs
    // off the user-interface thread: PrepareServer reads the server's files and changes nothing;
    // CommitServer (user-interface thread) makes a loaded server current, drops the previous
    // server's snapshots and returns the freed memory to the system.
    ServerLoad PrepareServer(const std::string& name) const;
    // The same for a server given with its folder, among the servers or not (a row of the
    // servers list not saved yet); `known` tells whether the name is in the servers map.
    ServerLoad PrepareServer(const std::string& name, const std::string& folder) const;
    bool SelectServer(const std::string& name, const std::string& folder);
    bool CommitServer(ServerLoad load);
    // Reloads the settings of the current server (the document's title tells the outcome).
    // Each success of these two renews ReaderSettings().
    bool ReloadDocument();
    bool SaveDocument();
    ViewerDocument& Document() { return document_; }

    // ---- servers and preferences
    void CopyServers(ServerMap& out) const;
    void SetServers(const ServerMap& from);
    bool SaveSettings();
    std::uint32_t PopupAlerts() const { return popupAlerts_.load(); }
    std::uint32_t PopupTimeout() const { return popupTimeout_.load(); }
    std::string PopupSound() const;
    void SetPopupPreferences(std::uint32_t alerts, std::uint32_t timeout, std::string sound);

    // ---- identity (filled once by StartReaders)
    MachineIdentity Identity() const;
    std::string GetUserPermissions() const;

    // ---- getters (any thread)
    std::shared_ptr<const EventsSnapshot> Events() const;
    std::shared_ptr<const AlertsSnapshot> Alerts() const;
    void CopyEvents(ObjectMap<CEventItem>& out) const;
    bool LookupEvent(const std::string& key, CEventItem& out) const;
    void CopyDevices(StringTable& out) const;
    void CopyPorts(StringTable& out) const;
    void CopyAlerts(ObjectMap<CAlertItem>& out) const;
    bool LookupAlert(const std::string& key, CAlertItem& out) const;
    ItemCounts EventCounts() const;
    ItemCounts AlertCounts() const;
    // Every part a screen pass needs, with its generation (the read marks apart: ReadMarks).
    HubView View() const;

    // ---- mutators (user-interface thread): each files the change in the settings document
    // through EditSettings; when the edit is not saved the hub stays as it was.
    EditResult BlockEvent(const std::string& key);
    // Block requests for every key in one edit; `alsoEdit` (optional) runs first in the same
    // edit, with the hub's events lock held.
    EditResult BlockEvents(const std::vector<std::string>& keys,
                           const std::function<void(CTarvellDoc&)>& alsoEdit = {});
    // False when the key is not in the map (`outcome` untouched) or the edit was not saved.
    bool RemoveEvent(const std::string& key, EditResult* outcome = nullptr);
    // Removes every listed event the hub holds in one edit and returns the keys removed (keys
    // not in the hub, and repeats, are left out); nothing is removed when the edit is not saved.
    std::vector<std::string> RemoveEvents(const std::vector<std::string>& keys,
                                          EditResult* outcome = nullptr);
    EditResult ClearDetectionAlerts();
    EditResult ClearPreventionAlerts();
    bool RemoveAlert(const std::string& key, EditResult* outcome = nullptr);
    // Removes every listed alert the hub holds with one reload, one new snapshot and one save,
    // and returns the keys removed (in the order given; keys not in the hub, and repeats, are
    // left out). When the edit is not saved nothing is removed; `outcome` is Saved when there
    // was nothing to remove.
    std::vector<std::string> RemoveAlerts(const std::vector<std::string>& keys,
                                          EditResult* outcome = nullptr);

    // ---- health of the current server's files (any thread)
    ServerHealth Health() const;
    void NoteStateFile(const std::string& name, bool readable);
    void SetHandOverRefused(bool refused);

    // ---- the service's state (any thread)
    // The question asked about the current server's service: 1 running, 0 stopped, -1 cannot be
    // reached (the service control's answer). Replacing it (nullptr: none) waits for a question
    // in progress, so what the old one refers to may go once this returns.
    void SetServiceProbe(std::function<int()> probe);
    // Asks the probe now and keeps the answer; when it differs from the last one the listeners
    // hear ServerStateChanged. Returns the state kept (unchanged when there is no probe). A
    // question may take as long as the service control's query (systemctl on another machine).
    int ProbeService();
    // The last answer; -1 until a probe has answered.
    int ServiceState() const;

    // ---- read marks of the current server's events (per user and per server)
    void MarkEventRead(const std::string& key);
    bool IsEventRead(const std::string& key) const;
    // Every read mark of the current server in one read of its key, names in ASCII lower case
    // (value names compare without case, as IsEventRead does); empty when the key cannot be
    // opened. For a pass over many events.
    std::unordered_set<std::string> ReadMarkNames() const;
    // ReadMarkNames kept until a mark is added or pruned or the server changes; `generation`
    // (optional) receives the generation of what is returned.
    std::shared_ptr<const ReadMarkSet> ReadMarks(std::uint64_t* generation = nullptr) const;
    void PruneReadMarks(const EventRecords& events);

    // ---- publishing (reader threads). A snapshot that comes after a local change is dropped
    // once, so a pass that started before a removal cannot bring the removed item back.
    // A snapshot read from `folder` (when given) is dropped when that is no longer the current
    // server's folder: a pass that began before a connect cannot bring the old server back.
    // True when the snapshot was taken; `replaced` (optional) receives the number of records of
    // the snapshot it replaced, which is freed before the call returns unless a screen holds it.
    bool SetEvents(std::shared_ptr<const EventsSnapshot> events, ItemCounts counts,
                   const std::string& folder = {}, std::size_t* replaced = nullptr);
    bool SetAlerts(std::shared_ptr<const AlertsSnapshot> alerts, ItemCounts counts,
                   const std::string& folder = {}, std::size_t* replaced = nullptr);
    // A snapshot a screen stopped using, handed back so that its records are freed on the
    // thread that built them (the next publication or reader pass frees it) and not on the
    // screen's. At most kMaxRetired wait; beyond that the oldest is freed at once. Any thread.
    void RetireSnapshot(std::shared_ptr<const void> snapshot);
    static constexpr std::size_t kMaxRetired = 4;
    // Frees the retired snapshots no screen holds any more (the readers call it each pass).
    void FreeRetired();
    // A shared read-only copy of the current server's settings, renewed by each successful
    // reload or save and by each pass of the events reader; screens fill themselves from it.
    std::shared_ptr<const CTarvellDoc> ReaderSettings() const;
    void SetReaderSettings(std::shared_ptr<const CTarvellDoc> settings);

    // ---- direct loads (user-interface thread): read the server's file at once, up to 5 tries
    // 1000 ms apart; false keeps what the hub had.
    bool LoadEvents();
    bool LoadAlerts();

    // ---- change notifications (any thread)
    // Returns the listener's id (never 0). The listener is called with none of the hub's locks
    // held; it must not block on the thread that removes it.
    int AddHubListener(std::function<void(HubChange)> listener);
    // After this returns the listener is not running and is never called again; a listener may
    // remove itself from inside its call. An unknown id does nothing.
    void RemoveHubListener(int id);
    // Calls every listener with `change`. The caller holds none of the hub's locks.
    void NotifyHub(HubChange change);

    Clock& clock() const { return clock_; }
    std::int64_t ReaderIntervalMs() const { return env_.readerIntervalMs; }
    Registry& registry() const;

private:
    void ReadRegistry();
    void ChooseDefaultServer();
    std::string MachineOf(const std::string& folder) const;
    EditResult ClearAlertsOf(const std::string& category);
    static std::uint64_t NextGeneration();
    void ForgetReadMarks();

    ViewerEnvironment env_;
    Clock& clock_;
    ViewerDocument document_;
    bool registryOk_ = false;

    mutable std::mutex serverLock_;
    CurrentServer server_;  // [serverLock_]

    mutable std::recursive_mutex EventLock;
    std::shared_ptr<const EventsSnapshot> events_;  // [EventLock]
    ItemCounts eventCounts_;                        // [EventLock]
    bool eventsChanged_ = false;                    // [EventLock]
    std::uint64_t eventsGeneration_ = 0;            // [EventLock]
    ServerMap servers_;                             // [EventLock]

    mutable std::recursive_mutex AlertLock;
    std::shared_ptr<const AlertsSnapshot> alerts_;  // [AlertLock]
    ItemCounts alertCounts_;                        // [AlertLock]
    bool alertsChanged_ = false;                    // [AlertLock]
    std::uint64_t alertsGeneration_ = 0;            // [AlertLock]

    mutable std::mutex settingsLock_;
    std::shared_ptr<const CTarvellDoc> readerSettings_;  // [settingsLock_]
    std::shared_ptr<const RequestIndex> requests_;       // [settingsLock_]
    std::uint64_t settingsGeneration_ = 0;               // [settingsLock_]
    mutable std::mutex marksLock_;
    mutable std::shared_ptr<const ReadMarkSet> readMarks_;  // [marksLock_] null: read again
    std::uint64_t readMarksGeneration_ = 0;                 // [marksLock_]
    mutable std::mutex healthLock_;
    bool eventsUnreadable_ = false, alertsUnreadable_ = false,
         handOverRefused_ = false;  // [healthLock_]

    std::mutex probeLock_;               // held while the probe runs
    std::function<int()> serviceProbe_;  // [probeLock_]
    std::atomic<int> serviceState_{-1};  // written under probeLock_

    mutable std::mutex identityLock_;
    MachineIdentity identity_;   // [identityLock_]
    bool identityDone_ = false;  // [identityLock_]
    std::atomic<std::uint32_t> popupAlerts_{0};
    std::atomic<std::uint32_t> popupTimeout_{0};
    mutable std::mutex popupLock_;
    std::string popupSound_;  // [popupLock_]

    struct HubListener;
    class ChangeNotice;
    std::mutex retiredLock_;
    std::vector<std::shared_ptr<const void>> retired_;  // [retiredLock_]
    mutable std::mutex listenerLock_;
    std::map<int, std::shared_ptr<HubListener>> listeners_;  // [listenerLock_]
    int lastListener_ = 0;                                   // [listenerLock_]

    std::unique_ptr<CTarvellDb> dbReader_;    // user-interface thread
    std::unique_ptr<CTarvellLog> logReader_;  // user-interface thread
    std::unique_ptr<CTarvellPopup> popup_;    // user-interface thread
};

}  // namespace tarvell
