// Event recording and alert queueing: the current event of each switch port, the alert log with
// its keys, the copies for the four alert channels, the test alerts and the daily archive.
#include <sys/stat.h>

#include <cerrno>
#include <ctime>
#include <map>
#include <mutex>
#include <new>

#include "platform/ErrnoText.h"
#include "platform/Files.h"
#include "platform/RecursiveLock.h"
#include "platform/Text.h"
#include "service/engine/CTarvellFrm.h"

namespace tarvell {

namespace {

// Archive copies kept while their files cannot be written (a full disk); beyond this they are
// dropped and counted rather than filling memory.
constexpr std::size_t kMaxArchiveBacklog = 200'000;

std::string AlertKey(const std::string& seconds, int counter) {
    return seconds + "." + std::to_string(counter);
}

bool AlertKeyTaken(const CTarvellFrm& engine, const std::string& key) {
    return engine.AlertLog.count(key) || engine.EmailQueue.count(key) ||
           engine.SnmpQueue.count(key) || engine.SyslogQueue.count(key) ||
           engine.RunQueue.count(key);
}

// The key "%ld.%d" of the next alert: the second and its counter, which restarts when the
// second changes. When the clock has stepped back, a key may already be in use; the counter
// then moves on until the key is free, so an alert never replaces another. The caller holds
// the alert lock.
std::string NextAlertKey(CTarvellFrm& engine, std::int64_t now) {
    const std::string seconds = FormatLong(now);
    if (seconds != engine.LastAlertSecond) engine.AlertCounter = 0;
    else ++engine.AlertCounter;
    engine.LastAlertSecond = seconds;
    std::string key = AlertKey(seconds, engine.AlertCounter);
    while (AlertKeyTaken(engine, key)) key = AlertKey(seconds, ++engine.AlertCounter);
    return key;
}

std::string DailyArchiveName(const std::tm& day) {
    char name[64];
    const std::size_t n = std::strftime(name, sizeof name, kDailyArchiveFormat, &day);
    return std::string(name, n);
}

std::unique_ptr<CAlertItem> MakeTestAlert() {
    auto alert = std::make_unique<CAlertItem>();
    alert->Category = "Test Alert";
    alert->DeviceIp = "127.0.0.1";
    alert->SwitchKey = "000000000000";
    alert->DeviceName = "localhost";
    alert->DevicePort = "0";
    alert->PortKey = "0";
    alert->SourceMac = "000000000000";
    alert->SourceIp = "127.0.0.1";
    alert->SourceName = "localhost";
    alert->Description = "Test Message";
    alert->EventType = "Test Message";
    alert->Submitter = "localhost";
    return alert;
}

struct ChannelRef {
    ObjectMap<CAlertItem>& queue;
    std::atomic<int>& testFlag;
};

ChannelRef Channel(CTarvellFrm& engine, AlertChannel channel) {
    switch (channel) {
        case AlertChannel::Email: return {engine.EmailQueue, engine.EmailTestFlag};
        case AlertChannel::Snmp: return {engine.SnmpQueue, engine.SnmpTestFlag};
        case AlertChannel::Syslog: return {engine.SyslogQueue, engine.SyslogTestFlag};
        case AlertChannel::Run: break;
    }
    return {engine.RunQueue, engine.RunTestFlag};
}

// Adds an alert to a day's archive. A key that the archive already holds for another alert
// (left there by an earlier run while the clock stood later) gets the next free counter of
// its second; the same alert written again by a retried flush is not doubled.
void AddToDayArchive(ObjectMap<CAlertItem>& day, const std::string& key, const CAlertItem& alert) {
    auto found = day.find(key);
    if (found == day.end()) {
        day.emplace(key, std::make_unique<CAlertItem>(alert));
        return;
    }
    if (*found->second == alert) return;
    const auto [seconds, counter] = SplitFirst(key, '.');
    for (std::int64_t n = AtoL(counter) + 1;; ++n) {
        std::string next = seconds + "." + FormatLong(n);
        if (!day.count(next)) {
            day.emplace(std::move(next), std::make_unique<CAlertItem>(alert));
            return;
        }
    }
}

}  // namespace

// The event becomes the current event of its switch port; with prevention on it is marked for
// blocking, and with detection on it also becomes an alert.
void CTarvellFrm::RecordEvent(std::unique_ptr<CEventItem> event) {
    if (!event) return;
    const auto settings = Settings();
    RecursiveGuard engineGuard(EngineLock);

    event->Deleted = 0;
    event->Blocked = 0;
    event->Extra.clear();
    event->DateKey = FormatLong(clock().Now());

    auto& slot = EventMap[event->SwitchKey + "/" + event->PortKey];
    if (slot) {
        event->Blocked = slot->Blocked;
        event->Extra = slot->Extra;
    }
    if (settings->PreventionEnabled) {
        event->Blocked = 1;
        event->Submitter.clear();
        if (event->SourceMac.find('/') == std::string::npos) BlockMacs.push_back(event->SourceMac);
    }
    slot = std::move(event);  // the replaced event is deleted here
    ++EventsChanged;

    if (settings->DetectionEnabled) QueueAlert(AlertFromEvent(*slot), *settings);
}

void CTarvellFrm::QueueAlert(std::unique_ptr<CAlertItem> alert) {
    if (!alert) return;
    const auto settings = Settings();
    QueueAlert(std::move(alert), *settings);
}

// Keys the alert, keeps it in the alert log and gives every enabled channel its own copy. The
// daily archive copy waits in the backlog for FlushDailyArchive: this may run under the engine
// lock, where no file is touched.
void CTarvellFrm::QueueAlert(std::unique_ptr<CAlertItem> alert, const CTarvellDoc& settings) {
    RecursiveGuard alertGuard(AlertLock);
    const std::int64_t now = clock().Now();
    const std::string key = NextAlertKey(*this, now);

    const std::pair<std::int32_t, ObjectMap<CAlertItem>*> channels[] = {
        {settings.EmailAlertsEnabled, &EmailQueue},
        {settings.SnmpAlertsOn, &SnmpQueue},
        {settings.SyslogAlertsOn, &SyslogQueue},
        {settings.RunAlertsEnabled, &RunQueue},
    };
    for (const auto& [enabled, queue] : channels)
        if (enabled) (*queue)[key] = std::make_unique<CAlertItem>(*alert);

    if (settings.AlertArchiveEnabled) {
        if (archiveBacklog_.size() < kMaxArchiveBacklog)
            archiveBacklog_.push_back({DailyArchiveName(clock().LocalTime(now)), key, *alert});
        else ++archiveDropped_;
    }
    AlertLog[key] = std::move(alert);
    ++AlertsChanged;
}

void CTarvellFrm::QueueTestAlert(AlertChannel channel) {
    RecursiveGuard alertGuard(AlertLock);
    const std::string key = NextAlertKey(*this, clock().Now());
    const ChannelRef target = Channel(*this, channel);
    target.queue[key] = MakeTestAlert();
    target.testFlag = 1;
}

void CTarvellFrm::ClearEventExtra(const std::string& key) {
    RecursiveGuard engineGuard(EngineLock);
    const auto found = EventMap.find(key);
    if (found == EventMap.end()) return;
    CEventItem& event = *found->second;
    if (event.Blocked == 0 || event.Extra.empty()) return;
    event.Extra.clear();
    ++EventsChanged;
}

void CTarvellFrm::FlushDailyArchive() {
    std::lock_guard<std::mutex> writer(archiveWriter_);
    ArchiveBatch batch;
    {
        RecursiveGuard alertGuard(AlertLock);
        batch = TakeArchiveBacklog();
    }
    WriteDailyArchives(std::move(batch));
}

CTarvellFrm::ArchiveBatch CTarvellFrm::TakeArchiveBacklog() {
    ArchiveBatch batch;
    batch.alerts.swap(archiveBacklog_);
    std::swap(batch.dropped, archiveDropped_);
    return batch;
}

// Each day's archive file is read (a file that cannot be read is kept aside and the day starts
// a new one), given the day's new alerts and written by temporary file and rename. Copies whose
// file cannot be written wait for the next call; that the archives cannot be written is logged
// once, when it starts, and once more when a later call writes them all. Memory that runs out
// while an archive is read leaves the file as it is. An archive that cannot take more (it would
// outgrow the state-file bound) is not read again until it changes: its copies wait, as long as
// the backlog takes them, for the administrator to move the file away.
void CTarvellFrm::WriteDailyArchives(ArchiveBatch batch) {
    const bool inTrouble = ArchiveTroubleLogged();
    if (batch.dropped && inTrouble) {
        archiveDroppedUnsaid_ += batch.dropped;  // said with the recovery
    } else if (batch.dropped) {
        Log("Daily alert archive: " + FormatLong(static_cast<std::int64_t>(batch.dropped)) +
            " alerts were not archived because the archive files could not be written");
    }
    if (batch.alerts.empty()) return;

    std::map<std::string, std::vector<ArchivedAlert*>> byFile;
    for (auto& entry : batch.alerts) byFile[entry.fileName].push_back(&entry);

    const std::string bound = FormatLong(static_cast<std::int64_t>(StateFileBytes()));
    const auto fullLine = [&](const std::string& path) {
        return "Daily alert archive " + path + " could not be written (it would be larger than " +
               bound +
               " bytes, the most a state file may hold); the day's alerts wait and are not "
               "archived while it is full: to make room, move the file out of the service folder "
               "(the day's next alerts then start a new one)";
    };
    std::vector<ArchivedAlert> unwritten;
    std::string failure;  // the first file of this call that was not written, and why
    std::string written;  // the last one that was
    for (auto& [fileName, entries] : byFile) {
        const std::string path = JoinPath(ServiceFolder, fileName);
        AlertLogFile day;
        bool usable = true;
        struct stat st {};
        const bool exists = ::lstat(path.c_str(), &st) == 0;
        const auto full = fullArchives_.find(fileName);
        if (full != fullArchives_.end() && exists && full->second == FileStamp::Of(st)) {
            usable = false;
            if (failure.empty()) failure = fullLine(path);
        } else if (full != fullArchives_.end()) {
            fullArchives_.erase(full);  // moved away or changed: it is read again
        }
        if (usable && exists) {
            // Read through the checked open: a FIFO or a device under the name is refused at
            // once and moved aside like a damaged file.
            std::string error, bytes;
            const bool read = ReadStateFileBytes(path, bytes, &error, StateFileBytes()) &&
                              DecodeStateFile(bytes, day, &error);
            if (!read && errno == ENOMEM) {
                usable = false;
                if (failure.empty())
                    failure = "Daily alert archive " + path + " could not be read (" + error +
                              "); it is left as it is and its alerts wait for the next pass";
            } else if (!read) {
                const std::string aside = MoveAside(path, clock());
                const std::string refused =
                    "Daily alert archive " + path + " could not be read (" + error + ")";
                usable = !aside.empty();
                if (usable) Log(refused + "; kept as " + aside);
                else if (failure.empty()) failure = refused + "; it could not be moved aside";
                day = AlertLogFile{};
            }
        }
        if (usable) {
            // Memory that runs out while the day is put together leaves its alerts waiting:
            // they left the backlog and would be lost with the exception.
            std::string bytes;
            try {
                for (const ArchivedAlert* entry : entries)
                    AddToDayArchive(day.AlertLog, entry->key, entry->alert);
                bytes = EncodeStateFile(day);
                usable = WriteStateFileBytes(path, bytes, StateFileBytes());
            } catch (const std::bad_alloc&) {
                usable = false;
                errno = ENOMEM;
            }
            const int why = errno;
            if (usable) {
                written = path;
            } else if (bytes.size() > StateFileBytes()) {
                if (::lstat(path.c_str(), &st) == 0) fullArchives_[fileName] = FileStamp::Of(st);
                if (failure.empty()) failure = fullLine(path);
            } else if (failure.empty()) {
                failure = "Daily alert archive " + path + " could not be written (" +
                          ErrnoText(why) + "); its alerts wait for the next pass";
            }
        }
        if (!usable)
            for (ArchivedAlert* entry : entries) unwritten.push_back(std::move(*entry));
    }
    const bool ok = failure.empty();
    std::string recovery = "Daily alert archive " + written + " written again";
    if (archiveDroppedUnsaid_)
        recovery += "; " + FormatLong(static_cast<std::int64_t>(archiveDroppedUnsaid_)) +
                    " alerts were not archived meanwhile (too many were waiting)";
    ReportArchiveState(ok, failure, recovery);
    if (ok) archiveDroppedUnsaid_ = 0;

    if (unwritten.empty()) return;
    RecursiveGuard alertGuard(AlertLock);
    for (auto& entry : archiveBacklog_) {
        if (unwritten.size() >= kMaxArchiveBacklog) {
            ++archiveDropped_;
            continue;
        }
        unwritten.push_back(std::move(entry));
    }
    archiveBacklog_.swap(unwritten);
}

}  // namespace tarvell
