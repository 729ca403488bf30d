// The last alert each channel delivered, kept in AlertChannels.last beside the state files: one
// line "<channel> <alert key>" per channel. At start every enabled channel is given again the
// alerts of the alert log whose keys come after its line, so an alert recorded before a stop or
// a crash but not yet delivered is delivered at least once.
#include <cerrno>
#include <cstring>
#include <map>

#include "platform/Files.h"
#include "platform/RecursiveLock.h"
#include "platform/Text.h"
#include "service/engine/CTarvellFrm.h"
#include "shared/AlertKey.h"

namespace tarvell {

namespace {

constexpr std::size_t kMaxMarkFileBytes = 1024;
constexpr std::size_t kMaxKeyChars = 48;

// The channel's name in the file, or nullptr for a queue that is not a channel's.
const char* ChannelName(const CTarvellFrm& engine, const ObjectMap<CAlertItem>& queue) {
    if (&queue == &engine.EmailQueue) return "Email";
    if (&queue == &engine.SnmpQueue) return "Snmp";
    if (&queue == &engine.SyslogQueue) return "Syslog";
    if (&queue == &engine.RunQueue) return "Run";
    return nullptr;
}

bool KnownChannel(std::string_view name) {
    return name == "Email" || name == "Snmp" || name == "Syslog" || name == "Run";
}

}  // namespace

// Lines of exactly "<channel> <key>\n", each channel at most once, a key of the alert-key form.
std::optional<std::map<std::string, std::string>> ParseDeliveredMarks(std::string_view bytes) {
    std::map<std::string, std::string> marks;
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        if (end == std::string_view::npos) return std::nullopt;
        const std::string_view line = bytes.substr(0, end);
        bytes.remove_prefix(end + 1);
        const std::size_t space = line.find(' ');
        if (space == std::string_view::npos) return std::nullopt;
        const std::string_view name = line.substr(0, space);
        const std::string_view key = line.substr(space + 1);
        if (!KnownChannel(name) || key.size() > kMaxKeyChars || !ParseAlertKey(key))
            return std::nullopt;
        if (!marks.emplace(std::string(name), std::string(key)).second) return std::nullopt;
    }
    return marks;
}

std::string CTarvellFrm::DeliveredMarkPath() const {
    return JoinPath(ServiceFolder, kDeliveredMarkName);
}

std::string CTarvellFrm::DeliveredMark(const ObjectMap<CAlertItem>& queue) const {
    const char* name = ChannelName(*this, queue);
    std::lock_guard<std::mutex> guard(marksMutex_);
    if (name == nullptr) return {};
    const auto found = deliveredMarks_.find(name);
    return found == deliveredMarks_.end() ? std::string() : found->second;
}

bool CTarvellFrm::WriteDeliveredMarks() {
    std::string bytes;
    for (const auto& [name, key] : deliveredMarks_) bytes += name + " " + key + "\n";
    const bool ok = AtomicWriteFile(DeliveredMarkPath(), bytes);
    if (!ok && !marksTrouble_)
        Log("The delivered-alert file " + DeliveredMarkPath() + " could not be written (" +
            std::strerror(errno) + "); alerts may be delivered again after a restart");
    else if (ok && marksTrouble_)
        Log("The delivered-alert file " + DeliveredMarkPath() + " is written again");
    marksTrouble_ = !ok;
    return ok;
}

void CTarvellFrm::NoteDelivered(const ObjectMap<CAlertItem>& queue, const std::string& key) {
    const char* name = ChannelName(*this, queue);
    if (name == nullptr || !ParseAlertKey(key)) return;
    std::lock_guard<std::mutex> guard(marksMutex_);
    std::string& mark = deliveredMarks_[name];
    if (mark == key) return;
    mark = key;
    WriteDeliveredMarks();
}

// A missing or damaged file gives no channel anything again (the first start after an upgrade
// does not mail the whole history); every channel then starts from the newest alert of the log.
// A channel switched off at start also starts from there: it was given none of those alerts.
void CTarvellFrm::RequeueUndelivered(const CTarvellDoc& settings) {
    std::map<std::string, std::string> marks;
    const std::string path = DeliveredMarkPath();
    errno = 0;
    const std::optional<std::string> bytes = ReadWholeFile(path, kMaxMarkFileBytes, FollowLink::No);
    if (bytes) {
        if (auto parsed = ParseDeliveredMarks(*bytes)) marks = std::move(*parsed);
        else Log("The delivered-alert file " + path + " is damaged; no alert is delivered again");
    } else if (errno != ENOENT) {
        Log("The delivered-alert file " + path + " could not be read (" + std::strerror(errno) +
            "); no alert is delivered again");
    }

    RecursiveGuard alertGuard(AlertLock);
    std::string newest;
    for (const auto& entry : AlertLog)
        if (ParseAlertKey(entry.first) &&
            (newest.empty() || AlertKeyOrder(newest) < AlertKeyOrder(entry.first)))
            newest = entry.first;

    const std::pair<std::int32_t, ObjectMap<CAlertItem>*> channels[] = {
        {settings.EmailAlertsEnabled, &EmailQueue},
        {settings.SnmpAlertsOn, &SnmpQueue},
        {settings.SyslogAlertsOn, &SyslogQueue},
        {settings.RunAlertsEnabled, &RunQueue},
    };
    std::lock_guard<std::mutex> guard(marksMutex_);
    deliveredMarks_.clear();
    for (const auto& [enabled, queue] : channels) {
        const std::string name = ChannelName(*this, *queue);
        const auto found = marks.find(name);
        if (!enabled || found == marks.end()) {
            // An empty log: every alert to come is after "0.0".
            deliveredMarks_[name] = newest.empty() ? std::string("0.0") : newest;
            continue;
        }
        deliveredMarks_[name] = found->second;
        const auto after = AlertKeyOrder(found->second);
        std::size_t queued = 0;
        for (const auto& [key, alert] : AlertLog) {
            if (!ParseAlertKey(key) || !(after < AlertKeyOrder(key)) || queue->count(key)) continue;
            (*queue)[key] = std::make_unique<CAlertItem>(*alert);
            ++queued;
        }
        if (queued)
            Log(name + " channel: " + FormatLong(static_cast<std::int64_t>(queued)) +
                " alerts recorded before the start but not yet delivered are queued again");
    }
    WriteDeliveredMarks();
}

}  // namespace tarvell
