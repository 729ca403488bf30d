// The pass that takes over what the viewer and the workers asked for: a settings file left in
// the hand-over folder, the reload of the service's own settings file, and the request lists
// (node authorisations, block and unblock requests, action links, removed alerts, deletions,
// node list imports). Runs on the engine thread only.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>

#include "platform/Accounts.h"
#include "platform/Files.h"
#include "platform/RecursiveLock.h"
#include "platform/Text.h"
#include "platform/ErrnoText.h"
#include "service/engine/CTarvellFrm.h"
#include "service/engine/SettingsInRange.h"
#include "shared/HandOverFile.h"
#include "platform/UniqueFd.h"

namespace tarvell {

namespace {

constexpr int kReloadAttempts = 5;
constexpr std::int64_t kReloadRetryMs = 1000;
// Settings files are small; a larger hand-over file is not one of ours.
constexpr std::size_t kMaxHandOverBytes = 64u * 1024u * 1024u;

// ---- the hand-over file

struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    struct timespec modified {};

    static FileIdentity Of(const struct stat& st) {
        return {st.st_dev, st.st_ino, st.st_size, st.st_mtim};
    }
    bool operator==(const FileIdentity& o) const {
        return device == o.device && inode == o.inode && size == o.size &&
               modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec;
    }
};

// Is the file under `path` still the one that was read?
bool StillSameFile(const std::string& path, const FileIdentity& read) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && FileIdentity::Of(st) == read;
}

bool ReadBounded(int fd, std::string& out) {
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        if (out.size() + static_cast<std::size_t>(n) > kMaxHandOverBytes) {
            errno = EFBIG;
            return false;
        }
        out.append(buffer, static_cast<std::size_t>(n));
    }
}

// ---- node entries of the black and white lists: "node/flag;location"

std::string NodePart(const std::string& entry) { return entry.substr(0, entry.find(';')); }

// Removes every entry whose node part is one of the given texts (without case).
bool RemoveNodeEntries(std::vector<std::string>& list,
                       std::initializer_list<std::string> nodeParts) {
    const auto named = [&](const std::string& entry) {
        const std::string part = NodePart(entry);
        return std::any_of(nodeParts.begin(), nodeParts.end(),
                           [&](const std::string& n) { return EqualsNoCase(part, n); });
    };
    const auto before = list.size();
    list.erase(std::remove_if(list.begin(), list.end(), named), list.end());
    return list.size() != before;
}

// Adds "node/0;" (the node anywhere) unless the list names the node anywhere already.
bool AddNodeAnywhere(std::vector<std::string>& list, const std::string& node) {
    const std::string part = node + "/0";
    for (const std::string& entry : list)
        if (EqualsNoCase(NodePart(entry), part)) return false;
    list.push_back(part + ";");
    return true;
}

std::unique_ptr<CAlertItem> PreventionStatusAlert(bool enabled) {
    auto alert = std::make_unique<CAlertItem>();
    alert->State = 0;
    alert->Severity = 0;
    alert->Category = "Prevention";
    alert->Description = alert->EventType = enabled ? "Prevent Enabled" : "Prevent Disabled";
    alert->Before = enabled ? "disabled" : "enabled";
    alert->Current = enabled ? "enabled" : "disabled";
    alert->Submitter = "user request";
    return alert;
}

// What the node authorisation after an unblock or a deletion needs of an event.
struct EventNode {
    std::string description, sourceMac, sourceIp, switchKey, portKey;

    static EventNode Of(const CEventItem& e) {
        return {e.Description, e.SourceMac, e.SourceIp, e.SwitchKey, e.PortKey};
    }
};

// The request lists of the settings file, as loaded.
struct RequestLists {
    StringList block, unblock, remove, deletion;

    static RequestLists Of(const CTarvellDoc& doc) {
        return {doc.BlockRequests, doc.UnblockRequests, doc.RemovedAlerts, doc.DeleteRequests};
    }
    // Puts every request back that the list no longer holds.
    void PutBack(CTarvellDoc& doc) const {
        const auto back = [](const StringList& from, StringList& into) {
            for (const std::string& entry : from)
                if (std::find(into.begin(), into.end(), entry) == into.end()) into.push_back(entry);
        };
        back(block, doc.BlockRequests);
        back(unblock, doc.UnblockRequests);
        back(remove, doc.RemovedAlerts);
        back(deletion, doc.DeleteRequests);
    }
};

// One run of the pass. Holds the engine's locks only while it touches the shared maps and lists;
// the settings document belongs to the engine thread.
class ViewerUpdatePass {
public:
    // `onDefaults`: no settings file was taken into force since the start.
    ViewerUpdatePass(CTarvellFrm& engine, std::vector<std::string>& loggedProblems,
                     bool& onDefaults)
        : engine_(engine), loggedProblems_(loggedProblems), onDefaults_(onDefaults) {}

    void Run();

private:
    CTarvellDoc& Doc() { return *engine_.Document; }
    std::string ServiceFile() const {
        return JoinPath(engine_.ServiceFolder, CTarvellDoc::kFileName);
    }
    std::string HandOverFile() const {
        return JoinPath(engine_.HandOverFolder, CTarvellDoc::kFileName);
    }

    bool ReloadAttempt();
    void TakeOverHandOverFile();
    bool ReadHandOverFile(const std::string& path, std::string& bytes, FileIdentity& read);
    void SetRefusedFileAside(const std::string& path, const std::string& why,
                             const FileIdentity& seen);
    void Problem(const std::string& text);
    void FinishProblems();
    // The line for a settings file the service does not take as its own; without a reason, the
    // start that every such line shares.
    std::string RefusedSettingsLine(const std::string& why = {}) const;

    void ApplyRequests();
    void SaveAppliedRequests(const RequestLists& queued);
    void AuthoriseQueuedNodes();
    void BlacklistQueuedNodes();
    // Sets the block state and requester of each "key;requester" event; returns those events.
    std::vector<EventNode> SetBlockedAsRequested(StringList& requests, std::int32_t blocked);
    void ApplyBlockRequests();
    void ApplyUnblockRequests();
    void ApplyLinkRequests();
    void MarkRemovedAlerts();
    void ApplyDeleteRequests();
    void AuthoriseAfterUnblock(const EventNode& event);
    void ImportNodeLists();
    StringList TakeEngineList(StringList& list);

    CTarvellFrm& engine_;
    std::vector<std::string>& loggedProblems_;
    bool& onDefaults_;
    std::vector<std::string> problems_;
    bool changed_ = false;
    bool eventsTouched_ = false;  // a request changed an event
    bool alertsTouched_ = false;  // a request changed an alert
    bool linksUsed_ = false;      // an action link was carried out
};

void ViewerUpdatePass::Problem(const std::string& text) {
    problems_.push_back(text);
    if (std::find(loggedProblems_.begin(), loggedProblems_.end(), text) == loggedProblems_.end())
        engine_.Log(text);
}

// A problem that lasts is logged once, not in every pass.
void ViewerUpdatePass::FinishProblems() { loggedProblems_ = std::move(problems_); }

// Someone wrote the service's file in place, or gave it away: what it holds is not taken, not
// even its requests. A hand-over replaces it by a file of the service's own.
std::string ViewerUpdatePass::RefusedSettingsLine(const std::string& why) const {
    const std::string start = "Settings file " + ServiceFile() + " could not be taken into force (";
    if (why.empty()) return start;
    const std::optional<std::string> user = FindUserName(::geteuid());
    return start + why + "); " +
           (onDefaults_ ? "the service runs on the defaults" : "the settings in force stay") +
           " until it is owned by " + user.value_or("uid " + std::to_string(::geteuid())) +
           " and writable by nobody else (mode 0640), or a viewer hands settings over";
}

void ViewerUpdatePass::Run() {
    const std::vector<std::string> wmiBefore = Doc().WmiConditions;
    const bool preventionBefore = Doc().PreventionEnabled != 0;
    const CTarvellDoc lastGood = WordsAndTextsOf(Doc());

    DocResult last;
    Retry(
        kReloadAttempts, kReloadRetryMs,
        [&] {
            TakeOverHandOverFile();
            last = Doc().LoadOwnFile(ServiceFile(), engine_.clock());
            // A file that is not the service's own stays so however long the pass waits.
            return last || last.status == DocStatus::Refused;
        },
        engine_.clock(), true);
    if (last.status == DocStatus::Refused) {
        Problem(RefusedSettingsLine(last.message));
        FinishProblems();
        return;
    }
    if (!last) {
        Problem("The settings file could not be loaded: " + last.message);
        FinishProblems();
        return;
    }
    if (std::any_of(loggedProblems_.begin(), loggedProblems_.end(), [&](const std::string& p) {
            return p.rfind(RefusedSettingsLine(), 0) == 0;
        }))
        engine_.Log("Settings file " + ServiceFile() + " is taken into force again");
    onDefaults_ = false;
    // Out-of-range fields are corrected before anyone sees them; the save below writes the
    // values in force back to the file.
    changed_ |= KeepSettingsInRange(Doc(), lastGood, [&](const std::string& m) { engine_.Log(m); });
    engine_.PublishSettings();

    const bool preventionNow = Doc().PreventionEnabled != 0;
    if (Doc().PreventStatusAlerts && preventionNow != preventionBefore)
        engine_.QueueAlert(PreventionStatusAlert(preventionNow));
    if (Doc().WmiConditions != wmiBefore && engine_.startWmiRecheck)
        engine_.startWmiRecheck(engine_);

    const RequestLists queued = RequestLists::Of(Doc());
    ApplyRequests();
    SaveAppliedRequests(queued);
    ImportNodeLists();
    engine_.PublishSettings();
    FinishProblems();
}

// What the requests did is written to the state files before the settings file drops the
// requests: killed in between, the service finds them again at its next start and applies them
// once more, which gives what was written already. When a state file cannot be written the
// requests stay in the settings file for the next pass. Action links count as used once their
// effect is written.
void ViewerUpdatePass::SaveAppliedRequests(const RequestLists& queued) {
    bool written = true;
    if (eventsTouched_) written = engine_.SaveEventDatabase() && written;
    if (alertsTouched_) written = engine_.SaveAlertLog() && written;
    if (linksUsed_) engine_.SaveUsedActionLinks();
    if (!written) {
        queued.PutBack(Doc());
        Problem("The requests of the settings file stay queued: a state file could not be written");
    }
    engine_.ReachSavePoint("requests-state-saved");
    if (!changed_) return;
    const DocResult saved = Doc().OnSaveDocument(engine_.clock());
    if (!saved) Problem("The settings file could not be saved: " + saved.message);
    engine_.ReachSavePoint("requests-settings-saved");
}

// The settings the viewer left in the hand-over folder. The file is parsed before anything is
// replaced: only a file that loads is installed as the service's settings file, a damaged one is
// kept aside. It is removed only when it is still the file that was read, so a newer one written
// meanwhile waits for the next pass. A file that cannot be taken now (being written, or the
// service's file is busy) stays for a later attempt.
void ViewerUpdatePass::TakeOverHandOverFile() {
    const std::string path = HandOverFile();
    std::string bytes;
    FileIdentity read;
    if (!ReadHandOverFile(path, bytes, read)) return;

    CTarvellDoc candidate = Doc();
    const DocResult parsed = CTarvellDoc::LoadFromBytes(bytes, candidate);
    if (!parsed) {
        const std::string aside =
            StillSameFile(path, read) ? MoveAside(path, engine_.clock()) : std::string();
        Problem("The hand-over file " + path + " is damaged (" + parsed.message + ")" +
                (aside.empty() ? std::string() : "; kept as " + aside) +
                "; the service keeps its settings");
        return;
    }
    const DocResult installed = candidate.SaveToFile(ServiceFile(), true, CTarvellDoc::kFileMode);
    if (!installed) {
        Problem("The hand-over file " + path + " cannot be taken over: " + installed.message);
        return;
    }
    if (engine_.onHandOverTaken) engine_.onHandOverTaken();
    if (StillSameFile(path, read)) ::unlink(path.c_str());
}

// Reads the hand-over file when there is one that may be taken over now. The file is opened
// without following a link and checked on the opened file; a writer's lock means it is still
// being written. The lock is released before the file is parsed.
bool ViewerUpdatePass::ReadHandOverFile(const std::string& path, std::string& bytes,
                                        FileIdentity& read) {
    struct stat st {};
    const UniqueFd fd(OpenFileForReading(path, kMaxHandOverBytes, FollowLink::No, &st));
    if (fd.Get() < 0) {
        const int error = errno;
        struct stat seen {};
        if ((error == EINVAL || error == ELOOP || error == EISDIR) &&
            ::lstat(path.c_str(), &seen) == 0) {
            SetRefusedFileAside(path,
                                error == ELOOP    ? "a symbolic link"
                                : error == EISDIR ? "a folder"
                                                  : "not a regular file",
                                FileIdentity::Of(seen));
        } else if (error != ENOENT) {
            Problem("The hand-over file " + path + " cannot be opened: " + ErrnoText(error));
        }
        return false;
    }
    std::string why;
    if (!IsHandOverFileAcceptable(st, engine_.HandOverGroup(), &why)) {
        SetRefusedFileAside(path, why, FileIdentity::Of(st));
        return false;
    }
    if (::flock(fd.Get(), LOCK_SH | LOCK_NB) != 0) return false;
    if (!ReadBounded(fd.Get(), bytes)) {
        Problem("The hand-over file " + path + " cannot be read: " + ErrnoText(errno));
        return false;
    }
    read = FileIdentity::Of(st);
    return true;
}

// A file the service will never take over is kept aside like a damaged one: left in place, the
// viewer's next save could not replace a link, a FIFO or a folder, and a refused file would keep
// the folder looking as if a hand-over were pending. Only the file that was checked is moved.
void ViewerUpdatePass::SetRefusedFileAside(const std::string& path, const std::string& why,
                                           const FileIdentity& seen) {
    const std::string aside =
        StillSameFile(path, seen) ? MoveAside(path, engine_.clock()) : std::string();
    Problem("The hand-over file " + path + " is ignored: " + why +
            (aside.empty() ? std::string() : "; kept as " + aside));
}

// Lists that other threads append to: taken whole under the engine lock.
StringList ViewerUpdatePass::TakeEngineList(StringList& list) {
    RecursiveGuard lock(engine_.EngineLock);
    StringList taken;
    taken.swap(list);
    return taken;
}

void ViewerUpdatePass::ApplyRequests() {
    AuthoriseQueuedNodes();
    BlacklistQueuedNodes();
    ApplyBlockRequests();
    ApplyUnblockRequests();
    ApplyLinkRequests();
    MarkRemovedAlerts();
    ApplyDeleteRequests();
}

// Nodes the workers authorised: off the black list, onto the white list.
void ViewerUpdatePass::AuthoriseQueuedNodes() {
    for (const std::string& entry : TakeEngineList(engine_.PortRequests)) {
        for (const std::string& node : SplitAny(entry, ";")) {
            changed_ |= RemoveNodeEntries(Doc().NodesBlackList, {node + "/0", node + "/1"});
            changed_ |= AddNodeAnywhere(Doc().NodesWhiteList, node);
        }
    }
}

// Nodes queued for blocking: off the white list, onto the black list.
void ViewerUpdatePass::BlacklistQueuedNodes() {
    for (const std::string& entry : TakeEngineList(engine_.BlockMacs)) {
        for (const std::string& node : SplitAny(entry, ";")) {
            changed_ |= RemoveNodeEntries(Doc().NodesWhiteList, {node + "/0", node + "/1"});
            changed_ |= AddNodeAnywhere(Doc().NodesBlackList, node);
        }
    }
}

// Every request is either applied to its event or, when the event is gone, dropped: a request
// left in the list could otherwise act on a later event of the same port.
std::vector<EventNode> ViewerUpdatePass::SetBlockedAsRequested(StringList& requests,
                                                               std::int32_t blocked) {
    std::vector<EventNode> changed;
    if (requests.empty()) return changed;
    {
        RecursiveGuard lock(engine_.EngineLock);
        for (const std::string& entry : requests) {
            const auto [key, requester] = SplitFirst(entry, ';');
            const auto it = engine_.EventMap.find(key);
            if (it == engine_.EventMap.end()) continue;
            it->second->Blocked = blocked;
            it->second->Submitter = requester;
            ++engine_.EventsChanged;
            eventsTouched_ = true;
            changed.push_back(EventNode::Of(*it->second));
        }
    }
    requests.clear();
    changed_ = true;
    return changed;
}

void ViewerUpdatePass::ApplyBlockRequests() { SetBlockedAsRequested(Doc().BlockRequests, 1); }

void ViewerUpdatePass::ApplyUnblockRequests() {
    for (const EventNode& event : SetBlockedAsRequested(Doc().UnblockRequests, 0))
        AuthoriseAfterUnblock(event);
}

// Requests of the mail links: unblock, and with "Delete" also queue the deletion; each only when
// the event at its key is still the one the link was made for, and each link once.
void ViewerUpdatePass::ApplyLinkRequests() {
    std::vector<EventNode> unblocked;
    std::vector<std::string> refused;
    {
        RecursiveGuard lock(engine_.EngineLock);
        StringList requests;
        requests.swap(engine_.LinkRequests);
        for (const std::string& entry : requests) {
            const std::optional<LinkRequest> request = LinkRequest::Parse(entry);
            if (!request) continue;
            const auto it = engine_.EventMap.find(request->event);
            std::string why;
            if (it == engine_.EventMap.end()) why = "its event is gone";
            else if (!LinkNamesEvent(*request, *it->second)) why = "the port holds a later event";
            else if (engine_.UsedActionLinks().Contains(request->token)) why = "it was used before";
            if (!why.empty()) {
                refused.push_back("An action-link request for " + request->event + " from " +
                                  request->host + " was not carried out: " + why);
                continue;
            }
            engine_.UsedActionLinks().Add(request->token, request->until, engine_.clock().Now());
            linksUsed_ = true;
            it->second->Blocked = 0;
            it->second->Submitter = request->host;
            ++engine_.EventsChanged;
            eventsTouched_ = true;
            if (EqualsNoCase(request->action, "Delete"))
                Doc().DeleteRequests.push_back(request->event);
            unblocked.push_back(EventNode::Of(*it->second));
        }
    }
    for (const std::string& line : refused) engine_.Log(line);
    for (const EventNode& event : unblocked) {
        RemoveNodeEntries(Doc().NodesBlackList, {event.sourceMac + "/0"});
        AuthoriseAfterUnblock(event);
        changed_ = true;
    }
}

// A node of a crowded port that was unblocked or deleted may be authorised at once: anywhere, at
// the port, or both, as the settings say, unless NodeLocations authorises it already.
void ViewerUpdatePass::AuthoriseAfterUnblock(const EventNode& event) {
    const CTarvellDoc& doc = Doc();
    if (event.description != "Unauthorized Nodes Count" || event.sourceMac.empty()) return;
    if (!doc.UnblockAuthorizeNode && !doc.UnblockAuthorizeLocation) return;
    const std::string here = event.switchKey + "/" + event.portKey;
    for (const std::string& entry : doc.NodeLocations) {
        const auto [node, location] = SplitFirst(entry, ';');
        const bool names = EqualsNoCase(node, event.sourceMac) ||
                           (!event.sourceIp.empty() && EqualsNoCase(node, event.sourceIp));
        if (names && (location.empty() || EqualsNoCase(location, here))) return;
    }
    if (doc.UnblockAuthorizeNode) Doc().NodeLocations.push_back(event.sourceMac + ";");
    if (doc.UnblockAuthorizeLocation) Doc().NodeLocations.push_back(event.sourceMac + ";" + here);
    changed_ = true;
}

void ViewerUpdatePass::MarkRemovedAlerts() {
    if (Doc().RemovedAlerts.empty()) return;
    {
        RecursiveGuard lock(engine_.AlertLock);
        for (const std::string& key : Doc().RemovedAlerts) {
            const auto it = engine_.AlertLog.find(key);
            if (it == engine_.AlertLog.end()) continue;
            it->second->State = 1;
            ++engine_.AlertsChanged;
            alertsTouched_ = true;
        }
    }
    Doc().RemovedAlerts.clear();
    changed_ = true;
}

// An event whose port is still shut stays queued; the others are marked for the purge. Keys
// without an event are dropped.
void ViewerUpdatePass::ApplyDeleteRequests() {
    if (Doc().DeleteRequests.empty()) return;
    StringList kept;
    std::vector<EventNode> deleted;
    {
        RecursiveGuard lock(engine_.EngineLock);
        for (const std::string& key : Doc().DeleteRequests) {
            const auto it = engine_.EventMap.find(key);
            if (it == engine_.EventMap.end()) continue;
            if (!it->second->Extra.empty()) {
                kept.push_back(key);
                continue;
            }
            it->second->Deleted = 1;
            ++engine_.EventsChanged;
            eventsTouched_ = true;
            deleted.push_back(EventNode::Of(*it->second));
        }
    }
    if (kept != Doc().DeleteRequests) {
        Doc().DeleteRequests = std::move(kept);
        changed_ = true;
    }
    for (const EventNode& event : deleted) AuthoriseAfterUnblock(event);
}

// The import files are read after every successful reload and never saved, so the lists hold
// the file's entries once on top of the stored ones.
void ViewerUpdatePass::ImportNodeLists() {
    CTarvellDoc& doc = Doc();
    if (!doc.BlackListImportFile.empty())
        engine_.ReadNodeListFile(true, doc.BlackListImportFile, doc.NodesBlackList);
    if (!doc.WhiteListImportFile.empty())
        engine_.ReadNodeListFile(true, doc.WhiteListImportFile, doc.NodesWhiteList);
    if (!doc.NodeLocationImportFile.empty())
        engine_.ReadNodeListFile(false, doc.NodeLocationImportFile, doc.NodeLocations);
}

}  // namespace

void CTarvellFrm::ApplyViewerUpdates() {
    ViewerUpdatePass(*this, handOverProblems_, settingsOnDefaults_).Run();
}

}  // namespace tarvell
