#include "viewer/core/hub/CTarvellApp.h"

#include <algorithm>
#include <set>
#include <utility>

#include "platform/Memory.h"
#include "platform/RecursiveLock.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "shared/StateFiles.h"
#include "viewer/core/hub/CTarvellPopup.h"
#include "viewer/core/hub/Readers.h"

namespace tarvell {
namespace {

// Removes the first entry that begins with "<key>;".
void RemoveFirstRequest(std::vector<std::string>& list, const std::string& key) {
    const std::string prefix = key + ";";
    const auto it = std::find_if(list.begin(), list.end(), [&](const std::string& entry) {
        return entry.starts_with(prefix);
    });
    if (it != list.end()) list.erase(it);
}

IdentitySources WithSystemDefaults(IdentitySources given) {
    const IdentitySources system = SystemIdentitySources();
    if (!given.interfaces) given.interfaces = system.interfaces;
    if (!given.userName) given.userName = system.userName;
    if (!given.hostName) given.hostName = system.hostName;
    if (!given.domainName) given.domainName = system.domainName;
    if (!given.reverseName) given.reverseName = system.reverseName;
    return given;
}

ItemCounts CountAlertsByCategory(const AlertRecords& alerts) {
    ItemCounts counts;
    for (const auto& [key, alert] : alerts) {
        ++counts.total;
        if (alert->Category == "Detection") ++counts.detection;
        else if (alert->Category == "Prevention") ++counts.prevention;
    }
    return counts;
}

}  // namespace

struct CTarvellApp::HubListener {
    std::function<void(HubChange)> call;
    std::recursive_mutex running;  // held while `call` runs; removal waits for it
    bool removed = false;          // [running]
};

// Notifies the hub's listeners when it goes out of scope: declared before a mutator's lock
// guard, it fires after the guard has released the lock.
class CTarvellApp::ChangeNotice {
public:
    ChangeNotice(CTarvellApp& app, HubChange change) : app_(app), change_(change) {}
    ~ChangeNotice() {
        if (armed_) app_.NotifyHub(change_);
    }
    ChangeNotice(const ChangeNotice&) = delete;
    ChangeNotice& operator=(const ChangeNotice&) = delete;
    void Cancel() { armed_ = false; }

private:
    CTarvellApp& app_;
    HubChange change_;
    bool armed_ = true;
};

CTarvellApp::CTarvellApp(ViewerEnvironment env)
    : env_(std::move(env)),
      clock_(env_.clock ? *env_.clock : DefaultClock()),
      document_(env_.version, clock_, env_.handOverGroup),
      events_(std::make_shared<const EventsSnapshot>()),
      alerts_(std::make_shared<const AlertsSnapshot>()),
      readerSettings_(document_.Snapshot()),
      requests_(std::make_shared<const RequestIndex>(RequestIndex::Build(*readerSettings_))),
      settingsGeneration_(NextGeneration()),
      readMarksGeneration_(NextGeneration()) {
    eventsGeneration_ = NextGeneration();
    alertsGeneration_ = NextGeneration();
    ReadRegistry();
    ChooseDefaultServer();
}

CTarvellApp::~CTarvellApp() {
    if (popup_) popup_->StopAndJoin();
    if (dbReader_) dbReader_->StopAndJoin();
    if (logReader_) logReader_->StopAndJoin();
}

Registry& CTarvellApp::registry() const {
    return env_.registry ? *env_.registry : Registry::Default();
}

void CTarvellApp::ReadRegistry() {
    ViewerPreferences prefs;
    registryOk_ = ReadViewerRegistry(registry(), env_.programFolder, prefs);
    RecursiveGuard guard(EventLock);
    servers_ = std::move(prefs.Servers);
    popupAlerts_ = prefs.PopupAlerts;
    popupTimeout_ = prefs.PopupTimeout;
    std::lock_guard<std::mutex> popup(popupLock_);
    popupSound_ = std::move(prefs.PopupSound);
}

std::string CTarvellApp::MachineOf(const std::string& folder) const {
    return ServerMachineOf(folder, env_.mountInfo ? env_.mountInfo() : ReadMountInfo());
}

void CTarvellApp::ChooseDefaultServer() {
    std::optional<ServerChoice> choice;
    {
        RecursiveGuard guard(EventLock);
        choice = DefaultServer(servers_);
    }
    CurrentServer server;
    if (choice) server = {choice->Name, choice->Folder, MachineOf(choice->Folder)};
    std::lock_guard<std::mutex> guard(serverLock_);
    server_ = std::move(server);
}

// ---- start-up

void CTarvellApp::ReadIdentity() {
    std::lock_guard<std::mutex> guard(identityLock_);
    if (identityDone_) return;
    identity_ = ReadMachineIdentity(WithSystemDefaults(env_.identity));
    identityDone_ = true;
}

void CTarvellApp::StartReaders() {
    ReadIdentity();
    if (!dbReader_) {
        LoadEvents();
        dbReader_ = std::make_unique<CTarvellDb>(*this);
        dbReader_->Start();
    }
    if (!logReader_) {
        LoadAlerts();
        logReader_ = std::make_unique<CTarvellLog>(*this);
        logReader_->Start();
    }
}

bool CTarvellApp::StartPopup(PopupShow show) {
    if (!registryOk_ || popup_) return false;
    popup_ = std::make_unique<CTarvellPopup>(*this, std::move(show), env_.readerIntervalMs);
    return popup_->Start();
}

void CTarvellApp::StopPopup() {
    if (popup_) popup_->StopAndJoin();
}

bool CTarvellApp::ReadersStarted() const { return dbReader_ && logReader_; }

// ---- current server

CurrentServer CTarvellApp::Server() const {
    std::lock_guard<std::mutex> guard(serverLock_);
    return server_;
}

bool CTarvellApp::SelectServer(const std::string& name) {
    return CommitServer(PrepareServer(name));
}

ServerLoad CTarvellApp::PrepareServer(const std::string& name) const {
    std::string folder;
    {
        RecursiveGuard guard(EventLock);
        const auto it = servers_.find(name);
        if (it == servers_.end()) return ServerLoad{};
        folder = it->second.Folder;
    }
    return PrepareServer(name, folder);
}

bool CTarvellApp::SelectServer(const std::string& name, const std::string& folder) {
    return CommitServer(PrepareServer(name, folder));
}

ServerLoad CTarvellApp::PrepareServer(const std::string& name, const std::string& folder) const {
    ServerLoad load;
    load.server = {name, folder, {}};
    {
        RecursiveGuard guard(EventLock);
        load.known = servers_.count(name) != 0;
    }
    load.settings = document_.ReadServerFile(folder);
    if (!load.settings) return load;
    load.server.Machine = MachineOf(folder);
    bool eventsRead = false, alertsRead = false;
    for (int attempt = 0; attempt < kDirectLoadAttempts && !(eventsRead && alertsRead); ++attempt) {
        if (attempt > 0) clock_.SleepMs(kDocumentRetryMs);
        if (!eventsRead) {
            if (std::optional<EventDatabaseFile> file = ReadEventsFile(folder)) {
                load.events =
                    MakeEventsSnapshot(std::move(*file), *load.settings, load.eventCounts);
                eventsRead = true;
            }
        }
        if (!alertsRead) {
            if (std::optional<AlertLogFile> file = ReadAlertsFile(folder)) {
                load.alerts =
                    MakeAlertsSnapshot(std::move(*file), *load.settings, load.alertCounts);
                alertsRead = true;
            }
        }
    }
    load.eventsUnreadable =
        !eventsRead && StateFilePresent(folder, std::string(kEventDatabaseName));
    load.alertsUnreadable = !alertsRead && StateFilePresent(folder, std::string(kAlertLogName));
    return load;
}

bool CTarvellApp::CommitServer(ServerLoad load) {
    if (!load.settings) return false;
    document_.Adopt(std::move(*load.settings), load.server.Name);
    {
        std::lock_guard<std::mutex> guard(serverLock_);
        server_ = std::move(load.server);
    }
    SetReaderSettings(document_.Snapshot());
    if (load.events) PruneReadMarks(load.events->EventMap);
    {
        std::lock_guard<std::mutex> guard(healthLock_);
        eventsUnreadable_ = load.eventsUnreadable;
        alertsUnreadable_ = load.alertsUnreadable;
        handOverRefused_ = false;
    }
    std::shared_ptr<const EventsSnapshot> oldEvents;
    std::shared_ptr<const AlertsSnapshot> oldAlerts;
    {
        RecursiveGuard guard(EventLock);
        oldEvents = std::move(events_);
        // The counts come with the snapshot (asked before it is moved out of the load).
        eventCounts_ = load.events ? load.eventCounts : ItemCounts{};
        events_ = load.events ? std::move(load.events) : std::make_shared<const EventsSnapshot>();
        eventsGeneration_ = NextGeneration();
        eventsChanged_ = false;
    }
    {
        RecursiveGuard guard(AlertLock);
        oldAlerts = std::move(alerts_);
        alertCounts_ = load.alerts ? load.alertCounts : ItemCounts{};
        alerts_ = load.alerts ? std::move(load.alerts) : std::make_shared<const AlertsSnapshot>();
        alertsGeneration_ = NextGeneration();
        alertsChanged_ = false;
    }
    // The previous server's records go now (unless a screen still holds a copy), and the heap
    // they took is handed back: a large server left for a small one would keep it otherwise.
    oldEvents.reset();
    oldAlerts.reset();
    ForgetReadMarks();
    ReturnFreedMemory();
    NotifyHub(HubChange::SettingsReloaded);
    NotifyHub(HubChange::EventsPublished);
    NotifyHub(HubChange::AlertsPublished);
    return true;
}

bool CTarvellApp::ReloadDocument() {
    const CurrentServer server = Server();
    if (!document_.OnNewDocument(server.Name, server.Folder)) return false;
    SetReaderSettings(document_.Snapshot());
    return true;
}

bool CTarvellApp::SaveDocument() {
    if (!document_.OnSaveDocument(Server().Folder)) return false;
    SetReaderSettings(document_.Snapshot());
    return true;
}

// ---- servers and preferences

void CTarvellApp::CopyServers(ServerMap& out) const {
    RecursiveGuard guard(EventLock);
    out = servers_;
}

void CTarvellApp::SetServers(const ServerMap& from) {
    RecursiveGuard guard(EventLock);
    servers_ = from;
}

bool CTarvellApp::SaveSettings() {
    ViewerPreferences prefs;
    CopyServers(prefs.Servers);
    prefs.PopupAlerts = popupAlerts_;
    prefs.PopupTimeout = popupTimeout_;
    prefs.PopupSound = PopupSound();
    return SaveViewerRegistry(registry(), prefs);
}

std::string CTarvellApp::PopupSound() const {
    std::lock_guard<std::mutex> guard(popupLock_);
    return popupSound_;
}

void CTarvellApp::SetPopupPreferences(std::uint32_t alerts, std::uint32_t timeout,
                                      std::string sound) {
    popupAlerts_ = alerts;
    popupTimeout_ = timeout;
    std::lock_guard<std::mutex> guard(popupLock_);
    popupSound_ = std::move(sound);
}

// ---- identity

MachineIdentity CTarvellApp::Identity() const {
    std::lock_guard<std::mutex> guard(identityLock_);
    return identity_;
}

std::string CTarvellApp::GetUserPermissions() const {
    const MachineIdentity id = Identity();
    const std::vector<std::string>& users = document_.Fields().ViewerUsers;
    for (const std::string& entry : users) {
        const std::string account = entry.substr(0, entry.find(';'));
        const std::size_t slash = account.find('/');
        const std::string name = slash == std::string::npos ? "" : account.substr(0, slash);
        const std::size_t at = name.find('@');
        const std::string user = name.substr(0, at);
        const std::string qualifier = at == std::string::npos ? "" : name.substr(at + 1);
        const bool userFits =
            EqualsNoCase(user, id.UserName) || EqualsNoCase(user, kEveryoneAccount);
        const bool placeFits =
            qualifier.empty() || EqualsNoCase(qualifier, id.LocalIp) ||
            EqualsNoCase(qualifier, id.LocalMac) || EqualsNoCase(qualifier, id.HostName) ||
            EqualsNoCase(qualifier, id.ComputerName) || EqualsNoCase(qualifier, id.DomainName);
        if (userFits && placeFits && entry.find(';') != std::string::npos)
            return entry.substr(entry.find(';') + 1);
    }
    for (const std::string& entry : users)
        if (entry.substr(0, entry.find(';')) == kGuestEntry && entry.find(';') != std::string::npos)
            return entry.substr(entry.find(';') + 1);
    return {};
}

// ---- getters

std::shared_ptr<const EventsSnapshot> CTarvellApp::Events() const {
    RecursiveGuard guard(EventLock);
    return events_;
}

std::shared_ptr<const AlertsSnapshot> CTarvellApp::Alerts() const {
    RecursiveGuard guard(AlertLock);
    return alerts_;
}

void CTarvellApp::CopyEvents(ObjectMap<CEventItem>& out) const {
    const auto events = Events();
    out.clear();
    for (const auto& [key, event] : events->EventMap)
        out.emplace(key, std::make_unique<CEventItem>(*event));
}

bool CTarvellApp::LookupEvent(const std::string& key, CEventItem& out) const {
    const auto events = Events();
    const auto it = events->EventMap.find(key);
    if (it == events->EventMap.end()) return false;
    out = *it->second;
    return true;
}

void CTarvellApp::CopyDevices(StringTable& out) const {
    const auto events = Events();
    for (const auto& [key, value] : events->DeviceTable) out[key] = value;
}

void CTarvellApp::CopyPorts(StringTable& out) const {
    const auto events = Events();
    for (const auto& [key, value] : events->PortNames) out[key] = value;
}

void CTarvellApp::CopyAlerts(ObjectMap<CAlertItem>& out) const {
    const auto alerts = Alerts();
    out.clear();
    for (const auto& [key, alert] : alerts->AlertLog)
        out.emplace(key, std::make_unique<CAlertItem>(*alert));
}

bool CTarvellApp::LookupAlert(const std::string& key, CAlertItem& out) const {
    const auto alerts = Alerts();
    const auto it = alerts->AlertLog.find(key);
    if (it == alerts->AlertLog.end()) return false;
    out = *it->second;
    return true;
}

ItemCounts CTarvellApp::EventCounts() const {
    RecursiveGuard guard(EventLock);
    return eventCounts_;
}

ItemCounts CTarvellApp::AlertCounts() const {
    RecursiveGuard guard(AlertLock);
    return alertCounts_;
}

// ---- mutators

EditResult CTarvellApp::BlockEvent(const std::string& key) { return BlockEvents({key}); }

EditResult CTarvellApp::BlockEvents(const std::vector<std::string>& keys,
                                    const std::function<void(CTarvellDoc&)>& alsoEdit) {
    ChangeNotice notice(*this, HubChange::EventsChangedLocally);
    RecursiveGuard guard(EventLock);
    const MachineIdentity id = Identity();
    std::int32_t movedToPrevention = 0;
    const EditResult result = EditSettingsQuietly(*this, [&](CTarvellDoc& doc) {
        if (alsoEdit) alsoEdit(doc);
        movedToPrevention = 0;
        std::set<std::string_view> done;
        for (const std::string& key : keys) {
            if (!done.insert(key).second) continue;
            const auto it = events_->EventMap.find(key);
            if (it != events_->EventMap.end() && !IsPreventionEvent(key, *it->second, doc))
                ++movedToPrevention;
            RemoveFirstRequest(doc.BlockRequests, key);
            RemoveFirstRequest(doc.UnblockRequests, key);
            doc.BlockRequests.push_back(key + ";" + id.UserName + "@" + id.DomainName);
        }
    });
    if (result != EditResult::Saved) {
        notice.Cancel();
    } else {
        eventCounts_.detection -= movedToPrevention;
        eventCounts_.prevention += movedToPrevention;
    }
    return result;
}

std::vector<std::string> CTarvellApp::RemoveEvents(const std::vector<std::string>& keys,
                                                   EditResult* outcome) {
    ChangeNotice notice(*this, HubChange::EventsChangedLocally);
    RecursiveGuard guard(EventLock);
    if (outcome) *outcome = EditResult::Saved;
    std::vector<std::string> removed;
    std::set<std::string_view> seen;
    for (const std::string& key : keys)
        if (events_->EventMap.count(key) && seen.insert(key).second) removed.push_back(key);
    if (removed.empty()) {
        notice.Cancel();
        return removed;
    }
    std::int32_t prevention = 0;
    const EditResult result = EditSettingsQuietly(*this, [&](CTarvellDoc& doc) {
        prevention = 0;
        for (const std::string& key : removed) {
            prevention += IsPreventionEvent(key, *events_->EventMap.at(key), doc) ? 1 : 0;
            doc.DeleteRequests.push_back(key);
            RemoveFirstRequest(doc.EventNotes, key);
        }
    });
    if (outcome) *outcome = result;
    if (result != EditResult::Saved) {
        notice.Cancel();
        return {};
    }
    const auto count = static_cast<std::int32_t>(removed.size());
    eventCounts_.total -= count;
    eventCounts_.prevention -= prevention;
    eventCounts_.detection -= count - prevention;
    auto next = std::make_shared<EventsSnapshot>(*events_);
    for (const std::string& key : removed) next->EventMap.erase(key);
    events_ = std::move(next);
    eventsGeneration_ = NextGeneration();
    eventsChanged_ = true;
    return removed;
}

bool CTarvellApp::RemoveEvent(const std::string& key, EditResult* outcome) {
    ChangeNotice notice(*this, HubChange::EventsChangedLocally);
    RecursiveGuard guard(EventLock);
    const auto it = events_->EventMap.find(key);
    if (it == events_->EventMap.end()) {
        notice.Cancel();
        return false;
    }
    bool prevention = false;
    const EditResult result = EditSettingsQuietly(*this, [&](CTarvellDoc& doc) {
        prevention = IsPreventionEvent(key, *it->second, doc);
        doc.DeleteRequests.push_back(key);
        RemoveFirstRequest(doc.EventNotes, key);
    });
    if (outcome) *outcome = result;
    if (result != EditResult::Saved) {
        notice.Cancel();
        return false;
    }
    --eventCounts_.total;
    if (prevention) --eventCounts_.prevention;
    else --eventCounts_.detection;
    auto next = std::make_shared<EventsSnapshot>(*events_);
    next->EventMap.erase(key);
    events_ = std::move(next);
    eventsGeneration_ = NextGeneration();
    eventsChanged_ = true;
    return true;
}

bool CTarvellApp::RemoveAlert(const std::string& key, EditResult* outcome) {
    ChangeNotice notice(*this, HubChange::AlertsChangedLocally);
    RecursiveGuard guard(AlertLock);
    const auto it = alerts_->AlertLog.find(key);
    if (it == alerts_->AlertLog.end()) {
        notice.Cancel();
        return false;
    }
    const EditResult result =
        EditSettingsQuietly(*this, [&](CTarvellDoc& doc) { doc.RemovedAlerts.push_back(key); });
    if (outcome) *outcome = result;
    if (result != EditResult::Saved) {
        notice.Cancel();
        return false;
    }
    --alertCounts_.total;
    if (it->second->Category == "Detection") --alertCounts_.detection;
    else if (it->second->Category == "Prevention") --alertCounts_.prevention;
    auto next = std::make_shared<AlertsSnapshot>(*alerts_);
    next->AlertLog.erase(key);
    alerts_ = std::move(next);
    alertsGeneration_ = NextGeneration();
    alertsChanged_ = true;
    return true;
}

std::vector<std::string> CTarvellApp::RemoveAlerts(const std::vector<std::string>& keys,
                                                   EditResult* outcome) {
    ChangeNotice notice(*this, HubChange::AlertsChangedLocally);
    RecursiveGuard guard(AlertLock);
    if (outcome) *outcome = EditResult::Saved;
    std::vector<std::string> removed;
    std::set<std::string_view> seen;
    for (const std::string& key : keys) {
        if (alerts_->AlertLog.count(key) && seen.insert(key).second) removed.push_back(key);
    }
    if (removed.empty()) {
        notice.Cancel();
        return removed;
    }
    const EditResult result = EditSettingsQuietly(*this, [&](CTarvellDoc& doc) {
        doc.RemovedAlerts.insert(doc.RemovedAlerts.end(), removed.begin(), removed.end());
    });
    if (outcome) *outcome = result;
    if (result != EditResult::Saved) {
        notice.Cancel();
        return {};
    }
    auto next = std::make_shared<AlertsSnapshot>(*alerts_);
    for (const std::string& key : removed) {
        const auto it = next->AlertLog.find(key);
        --alertCounts_.total;
        if (it->second->Category == "Detection") --alertCounts_.detection;
        else if (it->second->Category == "Prevention") --alertCounts_.prevention;
        next->AlertLog.erase(it);
    }
    alerts_ = std::move(next);
    alertsGeneration_ = NextGeneration();
    alertsChanged_ = true;
    return removed;
}

EditResult CTarvellApp::ClearAlertsOf(const std::string& category) {
    ChangeNotice notice(*this, HubChange::AlertsChangedLocally);
    RecursiveGuard guard(AlertLock);
    auto next = std::make_shared<AlertsSnapshot>();
    const EditResult result = EditSettingsQuietly(*this, [&](CTarvellDoc& doc) {
        for (const auto& [key, alert] : alerts_->AlertLog) {
            if (alert->Category == category) doc.RemovedAlerts.push_back(key);
            else next->AlertLog.emplace(key, alert);
        }
    });
    if (result != EditResult::Saved) {
        notice.Cancel();
        return result;
    }
    alertCounts_ = CountAlertsByCategory(next->AlertLog);
    alerts_ = std::move(next);
    alertsGeneration_ = NextGeneration();
    alertsChanged_ = true;
    return result;
}

EditResult CTarvellApp::ClearDetectionAlerts() { return ClearAlertsOf("Detection"); }

EditResult CTarvellApp::ClearPreventionAlerts() { return ClearAlertsOf("Prevention"); }

// ---- health

ServerHealth CTarvellApp::Health() const {
    std::lock_guard<std::mutex> guard(healthLock_);
    ServerHealth health;
    if (eventsUnreadable_) health.unreadableFile = std::string(kEventDatabaseName);
    else if (alertsUnreadable_) health.unreadableFile = std::string(kAlertLogName);
    health.handOverRefused = handOverRefused_;
    return health;
}

void CTarvellApp::NoteStateFile(const std::string& name, bool readable) {
    bool changed = false;
    {
        std::lock_guard<std::mutex> guard(healthLock_);
        bool* unreadable = name == kEventDatabaseName ? &eventsUnreadable_
                           : name == kAlertLogName    ? &alertsUnreadable_
                                                      : nullptr;
        if (unreadable != nullptr && *unreadable == readable) {
            *unreadable = !readable;
            changed = true;
        }
    }
    if (changed) NotifyHub(HubChange::ServerStateChanged);
}

void CTarvellApp::SetHandOverRefused(bool refused) {
    {
        std::lock_guard<std::mutex> guard(healthLock_);
        if (handOverRefused_ == refused) return;
        handOverRefused_ = refused;
    }
    NotifyHub(HubChange::ServerStateChanged);
}

// ---- the service's state

void CTarvellApp::SetServiceProbe(std::function<int()> probe) {
    std::lock_guard<std::mutex> guard(probeLock_);
    serviceProbe_ = std::move(probe);
}

int CTarvellApp::ProbeService() {
    int state = 0;
    bool changed = false;
    {
        std::lock_guard<std::mutex> guard(probeLock_);
        if (!serviceProbe_) return serviceState_.load();
        state = serviceProbe_();
        changed = serviceState_.exchange(state) != state;
    }
    if (changed) NotifyHub(HubChange::ServerStateChanged);
    return state;
}

int CTarvellApp::ServiceState() const { return serviceState_.load(); }

// ---- read marks

void CTarvellApp::MarkEventRead(const std::string& key) {
    RegKey marks;
    const std::string path = std::string(kViewerKey) + "\\" + ReadMarksKey(Server().Name);
    if (registry().CreateKey(Hive::CurrentUser, path, &marks) == kRegSuccess)
        marks.SetString(key, "");
    ForgetReadMarks();
}

void CTarvellApp::ForgetReadMarks() {
    std::lock_guard<std::mutex> guard(marksLock_);
    readMarks_.reset();
    readMarksGeneration_ = NextGeneration();
}

std::shared_ptr<const ReadMarkSet> CTarvellApp::ReadMarks(std::uint64_t* generation) const {
    std::uint64_t seen = 0;
    {
        std::lock_guard<std::mutex> guard(marksLock_);
        if (generation) *generation = readMarksGeneration_;
        if (readMarks_) return readMarks_;
        seen = readMarksGeneration_;
    }
    // Read without the lock; kept only when no mark changed meanwhile.
    auto marks = std::make_shared<const ReadMarkSet>(ReadMarkNames());
    std::lock_guard<std::mutex> guard(marksLock_);
    if (readMarksGeneration_ == seen) readMarks_ = marks;
    return marks;
}

bool CTarvellApp::IsEventRead(const std::string& key) const {
    RegKey marks;
    const std::string path = std::string(kViewerKey) + "\\" + ReadMarksKey(Server().Name);
    std::string value;
    return registry().OpenKey(Hive::CurrentUser, path, &marks) == kRegSuccess &&
           marks.QueryString(key, &value) == kRegSuccess;
}

std::unordered_set<std::string> CTarvellApp::ReadMarkNames() const {
    std::unordered_set<std::string> names;
    RegKey marks;
    const std::string path = std::string(kViewerKey) + "\\" + ReadMarksKey(Server().Name);
    std::vector<RegValue> values;
    if (registry().OpenKey(Hive::CurrentUser, path, &marks) != kRegSuccess ||
        marks.EnumValues(&values) != kRegSuccess)
        return names;
    names.reserve(values.size());
    for (const RegValue& value : values) names.insert(ToLowerAscii(value.name));
    return names;
}

void CTarvellApp::PruneReadMarks(const EventRecords& events) {
    RegKey marks;
    const std::string path = std::string(kViewerKey) + "\\" + ReadMarksKey(Server().Name);
    if (registry().OpenKey(Hive::CurrentUser, path, &marks) != kRegSuccess) return;
    std::vector<RegValue> values;
    if (marks.EnumValues(&values) != kRegSuccess) return;
    bool pruned = false;
    for (const RegValue& value : values) {
        if (!value.name.empty() && events.count(value.name) == 0) {
            marks.DeleteValue(value.name);
            pruned = true;
        }
    }
    if (pruned) ForgetReadMarks();
}

// ---- publishing

void CTarvellApp::RetireSnapshot(std::shared_ptr<const void> snapshot) {
    if (!snapshot) return;
    std::shared_ptr<const void> oldest;  // freed after the lock is released
    std::lock_guard lock(retiredLock_);
    if (retired_.size() >= kMaxRetired) {
        oldest = std::move(retired_.front());
        retired_.erase(retired_.begin());
    }
    retired_.push_back(std::move(snapshot));
}

void CTarvellApp::FreeRetired() {
    std::vector<std::shared_ptr<const void>> freed;  // freed after the lock is released
    std::lock_guard lock(retiredLock_);
    freed.swap(retired_);
}

bool CTarvellApp::SetEvents(std::shared_ptr<const EventsSnapshot> events, ItemCounts counts,
                            const std::string& folder, std::size_t* replaced) {
    FreeRetired();
    ChangeNotice notice(*this, HubChange::EventsPublished);
    std::shared_ptr<const EventsSnapshot> old;  // freed after the lock is released
    RecursiveGuard guard(EventLock);
    if (!folder.empty() && folder != Server().Folder) {
        notice.Cancel();
        return false;
    }
    if (eventsChanged_) {
        eventsChanged_ = false;
        notice.Cancel();
        return false;
    }
    old = std::exchange(events_, std::move(events));
    eventsGeneration_ = NextGeneration();
    if (replaced) *replaced = old ? old->EventMap.size() : 0;
    eventCounts_ = counts;
    return true;
}

bool CTarvellApp::SetAlerts(std::shared_ptr<const AlertsSnapshot> alerts, ItemCounts counts,
                            const std::string& folder, std::size_t* replaced) {
    FreeRetired();
    ChangeNotice notice(*this, HubChange::AlertsPublished);
    std::shared_ptr<const AlertsSnapshot> old;  // freed after the lock is released
    RecursiveGuard guard(AlertLock);
    if (!folder.empty() && folder != Server().Folder) {
        notice.Cancel();
        return false;
    }
    if (alertsChanged_) {
        alertsChanged_ = false;
        notice.Cancel();
        return false;
    }
    old = std::exchange(alerts_, std::move(alerts));
    alertsGeneration_ = NextGeneration();
    if (replaced) *replaced = old ? old->AlertLog.size() : 0;
    alertCounts_ = counts;
    return true;
}

std::shared_ptr<const CTarvellDoc> CTarvellApp::ReaderSettings() const {
    std::lock_guard<std::mutex> guard(settingsLock_);
    return readerSettings_;
}

void CTarvellApp::SetReaderSettings(std::shared_ptr<const CTarvellDoc> settings) {
    if (!settings) return;
    // Built before the lock: a screen's pass takes the index, it never waits for the build.
    auto requests = std::make_shared<const RequestIndex>(RequestIndex::Build(*settings));
    std::lock_guard<std::mutex> guard(settingsLock_);
    readerSettings_ = std::move(settings);
    requests_ = std::move(requests);
    settingsGeneration_ = NextGeneration();
}

HubView CTarvellApp::View() const {
    HubView view;
    {
        RecursiveGuard guard(EventLock);
        view.events = events_;
        view.eventsGeneration = eventsGeneration_;
    }
    {
        RecursiveGuard guard(AlertLock);
        view.alerts = alerts_;
        view.alertsGeneration = alertsGeneration_;
    }
    {
        std::lock_guard<std::mutex> guard(settingsLock_);
        view.settings = readerSettings_;
        view.requests = requests_;
        view.settingsGeneration = settingsGeneration_;
    }
    std::lock_guard<std::mutex> guard(marksLock_);
    view.readMarksGeneration = readMarksGeneration_;
    return view;
}

std::uint64_t CTarvellApp::NextGeneration() {
    static std::atomic<std::uint64_t> last{0};
    return ++last;
}

// ---- direct loads

bool CTarvellApp::LoadEvents() {
    for (int attempt = 0; attempt < kDirectLoadAttempts; ++attempt) {
        if (std::optional<EventDatabaseFile> file = ReadEventsFile(Server().Folder)) {
            ItemCounts counts;
            auto snapshot = MakeEventsSnapshot(std::move(*file), *document_.Snapshot(), counts);
            PruneReadMarks(snapshot->EventMap);
            NoteStateFile(std::string(kEventDatabaseName), true);
            {
                RecursiveGuard guard(EventLock);
                events_ = std::move(snapshot);
                eventsGeneration_ = NextGeneration();
                eventCounts_ = counts;
            }
            NotifyHub(HubChange::EventsPublished);
            return true;
        }
        clock_.SleepMs(kDocumentRetryMs);
    }
    NoteStateFile(std::string(kEventDatabaseName),
                  !StateFilePresent(Server().Folder, std::string(kEventDatabaseName)));
    return false;
}

bool CTarvellApp::LoadAlerts() {
    for (int attempt = 0; attempt < kDirectLoadAttempts; ++attempt) {
        if (std::optional<AlertLogFile> file = ReadAlertsFile(Server().Folder)) {
            ItemCounts counts;
            auto snapshot = MakeAlertsSnapshot(std::move(*file), *document_.Snapshot(), counts);
            NoteStateFile(std::string(kAlertLogName), true);
            {
                RecursiveGuard guard(AlertLock);
                alerts_ = std::move(snapshot);
                alertsGeneration_ = NextGeneration();
                alertCounts_ = counts;
            }
            NotifyHub(HubChange::AlertsPublished);
            return true;
        }
        clock_.SleepMs(kDocumentRetryMs);
    }
    NoteStateFile(std::string(kAlertLogName),
                  !StateFilePresent(Server().Folder, std::string(kAlertLogName)));
    return false;
}

// ---- change notifications

int CTarvellApp::AddHubListener(std::function<void(HubChange)> listener) {
    auto entry = std::make_shared<HubListener>();
    entry->call = std::move(listener);
    std::lock_guard<std::mutex> guard(listenerLock_);
    const int id = ++lastListener_;
    listeners_.emplace(id, std::move(entry));
    return id;
}

void CTarvellApp::RemoveHubListener(int id) {
    std::shared_ptr<HubListener> entry;
    {
        std::lock_guard<std::mutex> guard(listenerLock_);
        const auto it = listeners_.find(id);
        if (it == listeners_.end()) return;
        entry = std::move(it->second);
        listeners_.erase(it);
    }
    // Waits for a call in progress on another thread (a call on this thread holds it already).
    RecursiveGuard running(entry->running);
    entry->removed = true;
}

void CTarvellApp::NotifyHub(HubChange change) {
    std::vector<std::shared_ptr<HubListener>> targets;
    {
        std::lock_guard<std::mutex> guard(listenerLock_);
        targets.reserve(listeners_.size());
        for (const auto& [id, entry] : listeners_) targets.push_back(entry);
    }
    for (const auto& entry : targets) {
        RecursiveGuard running(entry->running);
        if (!entry->removed && entry->call) entry->call(change);
    }
}

}  // namespace tarvell
