// Event recording, alert keys and channel copies, test alerts and the daily archive.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <ctime>
#include <fstream>
#include <set>
#include <thread>

#include "platform/Text.h"

#include "platform/RecursiveLock.h"
#include "tests/service/engine/EngineFixture.h"
#include "tests/support/FileSizeLimit.h"

namespace tarvell::enginetest {
namespace {

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

class RecordingTest : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        settings = BlankSettings();
        settings.DetectionEnabled = 1;
        UseSettings(settings);
    }

    void Use(void (*change)(CTarvellDoc&)) {
        change(settings);
        UseSettings(settings);
    }

    static std::unique_ptr<CEventItem> Event(const std::string& switchKey, const std::string& port,
                                             const std::string& mac = "001122334455") {
        auto event = std::make_unique<CEventItem>();
        event->SwitchKey = switchKey;
        event->PortKey = port;
        event->SourceMac = mac;
        event->Category = "Detection";
        event->EventType = "New Mac";
        event->Description = "New Mac";
        event->Submitter = "viewer-host";
        event->Severity = 3;
        event->DeviceName = "Core";
        return event;
    }

    static std::unique_ptr<CAlertItem> Alert(const std::string& description) {
        auto alert = std::make_unique<CAlertItem>();
        alert->Description = description;
        alert->EventType = "New Mac";
        return alert;
    }

    std::vector<std::string> AlertKeys() {
        RecursiveGuard lock(engine->AlertLock);
        std::vector<std::string> keys;
        for (const auto& [key, alert] : engine->AlertLog) keys.push_back(key);
        return keys;
    }

    std::string Seconds(std::int64_t offset = 0) { return FormatLong(clock.Now() + offset); }

    // The first second of the next local day.
    std::int64_t NextLocalMidnight() {
        const std::int64_t now = clock.Now();
        const std::tm tm = clock.LocalTime(now);
        std::int64_t t = now + 86400 - (tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec);
        // Daylight saving changes move midnight by an hour; find the exact change of date.
        while (clock.LocalTime(t - 1).tm_mday != tm.tm_mday) --t;
        while (clock.LocalTime(t).tm_mday == tm.tm_mday) ++t;
        return t;
    }

    std::string ArchivePath(std::int64_t at) {
        const std::tm tm = clock.LocalTime(at);
        char name[64];
        std::strftime(name, sizeof name, "%Y%m%d_AutoArchive.log", &tm);
        return JoinPath(serviceFolder, name);
    }

    ObjectMap<CAlertItem> ReadArchive(const std::string& path) {
        AlertLogFile file;
        std::string error;
        EXPECT_TRUE(ReadStateFile(path, file, &error)) << error;
        return std::move(file.AlertLog);
    }

    CTarvellDoc settings;
};

// ---- events

TEST_F(RecordingTest, RecordingStampsAndReplacesTheEventOfThePort) {
    engine->RecordEvent(Event("SW1", "3", "AAAAAAAAAAAA"));
    clock.Advance(5);
    engine->RecordEvent(Event("SW1", "3", "BBBBBBBBBBBB"));
    RecursiveGuard lock(engine->EngineLock);
    ASSERT_EQ(engine->EventMap.size(), 1u);
    const CEventItem& event = *engine->EventMap.at("SW1/3");
    EXPECT_EQ(event.SourceMac, "BBBBBBBBBBBB");
    EXPECT_EQ(event.DateKey, Seconds());
    EXPECT_EQ(event.Blocked, 0);
    EXPECT_EQ(event.Deleted, 0);
    EXPECT_EQ(event.Submitter, "viewer-host");
}

TEST_F(RecordingTest, ReRecordingABlockedPortKeepsTheBlockWithPreventionOff) {
    CEventItem& stored = AddEvent("SW1", "3");
    stored.Blocked = 1;
    stored.Extra = "1699990000";
    auto event = Event("SW1", "3");
    event->Extra = "caller's";
    event->Deleted = 1;
    engine->RecordEvent(std::move(event));
    const CEventItem now = EventCopy("SW1/3");
    EXPECT_EQ(now.Blocked, 1);
    EXPECT_EQ(now.Extra, "1699990000");
    EXPECT_EQ(now.Deleted, 0);
    EXPECT_TRUE(engine->BlockMacs.empty());
}

TEST_F(RecordingTest, PreventionMarksBlockedAndQueuesPlainMacsOnly) {
    Use([](CTarvellDoc& d) { d.PreventionEnabled = 1; });
    engine->RecordEvent(Event("SW1", "3", "001122334455"));
    engine->RecordEvent(Event("SW1", "4", "001122334455/AABBCCDDEEFF"));
    EXPECT_EQ(EventCopy("SW1/3").Blocked, 1);
    EXPECT_EQ(EventCopy("SW1/3").Submitter, "");
    EXPECT_EQ(EventCopy("SW1/4").Blocked, 1);
    EXPECT_EQ(engine->BlockMacs, StringList{"001122334455"});
    // The alert is made after the prevention step: no submitter either.
    RecursiveGuard lock(engine->AlertLock);
    ASSERT_EQ(engine->AlertLog.size(), 2u);
    for (const auto& [key, alert] : engine->AlertLog) EXPECT_EQ(alert->Submitter, "");
}

TEST_F(RecordingTest, DetectionOffRecordsWithoutAlert) {
    Use([](CTarvellDoc& d) { d.DetectionEnabled = 0; });
    engine->RecordEvent(Event("SW1", "3"));
    EXPECT_EQ(EventCopy("SW1/3").SwitchKey, "SW1");
    EXPECT_TRUE(AlertKeys().empty());
}

TEST_F(RecordingTest, ClearEventExtraOnlyForBlockedEvents) {
    CEventItem& blocked = AddEvent("SW1", "3");
    blocked.Blocked = 1;
    blocked.Extra = "1699990000";
    CEventItem& open = AddEvent("SW1", "4");
    open.Extra = "note";
    engine->ClearEventExtra("SW1/3");
    engine->ClearEventExtra("SW1/4");
    engine->ClearEventExtra("SW9/9");
    EXPECT_EQ(EventCopy("SW1/3").Extra, "");
    EXPECT_EQ(EventCopy("SW1/4").Extra, "note");
}

// ---- alert keys

TEST_F(RecordingTest, KeysCountWithinASecondAndRestart) {
    for (int i = 0; i < 3; ++i) engine->QueueAlert(Alert("a"));
    clock.Advance(1);
    engine->QueueAlert(Alert("b"));
    const std::string s0 = Seconds(-1), s1 = Seconds();
    EXPECT_EQ(AlertKeys(), (std::vector<std::string>{s0 + ".0", s0 + ".1", s0 + ".2", s1 + ".0"}));
}

TEST_F(RecordingTest, TestAlertTakesTheNextNumberAndStaysOutOfTheLog) {
    engine->QueueAlert(Alert("a"));
    engine->QueueTestAlert(AlertChannel::Syslog);  // channel switched off
    engine->QueueAlert(Alert("b"));
    EXPECT_EQ(AlertKeys(), (std::vector<std::string>{Seconds() + ".0", Seconds() + ".2"}));
    EXPECT_EQ(engine->SyslogTestFlag.load(), 1);
    EXPECT_EQ(engine->EmailTestFlag.load(), 0);
    RecursiveGuard lock(engine->AlertLock);
    ASSERT_EQ(engine->SyslogQueue.size(), 1u);
    const auto& [key, test] = *engine->SyslogQueue.begin();
    EXPECT_EQ(key, Seconds() + ".1");
    EXPECT_EQ(test->Category, "Test Alert");
    EXPECT_EQ(test->EventType, "Test Message");
    EXPECT_EQ(test->SourceMac, "000000000000");
    EXPECT_EQ(test->Submitter, "localhost");
    EXPECT_TRUE(engine->EmailQueue.empty());
    EXPECT_TRUE(engine->SnmpQueue.empty());
    EXPECT_TRUE(engine->RunQueue.empty());
}

TEST_F(RecordingTest, ClockSteppingBackLosesNoAlert) {
    const std::int64_t start = clock.Now();
    engine->QueueAlert(Alert("first"));
    engine->QueueAlert(Alert("second"));
    clock.Set(start + 1);
    engine->QueueAlert(Alert("third"));
    clock.Set(start);  // the clock is set back
    engine->QueueAlert(Alert("fourth"));
    engine->QueueAlert(Alert("fifth"));
    engine->QueueTestAlert(AlertChannel::Email);

    RecursiveGuard lock(engine->AlertLock);
    std::multiset<std::string> descriptions;
    for (const auto& [key, alert] : engine->AlertLog) {
        descriptions.insert(alert->Description);
        EXPECT_EQ(key.substr(0, key.find('.')),
                  FormatLong(alert->Description == "third" ? start + 1 : start));
    }
    EXPECT_EQ(descriptions,
              (std::multiset<std::string>{"first", "second", "third", "fourth", "fifth"}));
    // The counter moved past the keys of the earlier pass through this second.
    EXPECT_EQ(engine->AlertLog.at(FormatLong(start) + ".2")->Description, "fourth");
    EXPECT_EQ(engine->AlertLog.at(FormatLong(start) + ".3")->Description, "fifth");
    EXPECT_EQ(engine->EmailQueue.count(FormatLong(start) + ".4"), 1u);
}

// ---- channels

TEST_F(RecordingTest, EveryChannelHoldsItsOwnCopy) {
    Use([](CTarvellDoc& d) {
        d.EmailAlertsEnabled = 1;
        d.SnmpAlertsOn = 1;
        d.SyslogAlertsOn = 1;
        d.RunAlertsEnabled = 1;
    });
    engine->RecordEvent(Event("SW1", "3"));
    RecursiveGuard lock(engine->AlertLock);
    ASSERT_EQ(engine->AlertLog.size(), 1u);
    const auto& [key, logged] = *engine->AlertLog.begin();
    std::set<const CAlertItem*> objects{logged.get()};
    for (auto* queue :
         {&engine->EmailQueue, &engine->SnmpQueue, &engine->SyslogQueue, &engine->RunQueue}) {
        ASSERT_EQ(queue->size(), 1u);
        ASSERT_EQ(queue->begin()->first, key);
        EXPECT_EQ(*queue->begin()->second, *logged);
        objects.insert(queue->begin()->second.get());
    }
    EXPECT_EQ(objects.size(), 5u);
    // A channel that changes or drops its entry leaves the others alone.
    engine->EmailQueue.begin()->second->Description = "changed";
    engine->SnmpQueue.clear();
    EXPECT_EQ(logged->Description, "New Mac");
    EXPECT_EQ(engine->SyslogQueue.begin()->second->Description, "New Mac");
}

TEST_F(RecordingTest, ChannelsAndArchiveOffLeaveTheAlertInTheLogOnly) {
    Use([](CTarvellDoc& d) { d.SnmpAlertsOn = 1; });
    engine->QueueAlert(Alert("x"));
    Use([](CTarvellDoc& d) { d.SnmpAlertsOn = 0; });
    engine->QueueAlert(Alert("y"));
    engine->FlushDailyArchive();
    RecursiveGuard lock(engine->AlertLock);
    EXPECT_EQ(engine->AlertLog.size(), 2u);
    EXPECT_EQ(engine->SnmpQueue.size(), 1u);
    EXPECT_TRUE(engine->EmailQueue.empty());
    EXPECT_FALSE(FileExists(ArchivePath(clock.Now())));
}

// ---- daily archive

TEST_F(RecordingTest, ArchiveFollowsTheLocalDateAcrossMidnight) {
    Use([](CTarvellDoc& d) { d.AlertArchiveEnabled = 1; });
    const std::int64_t midnight = NextLocalMidnight();
    clock.Set(midnight - 1);
    engine->QueueAlert(Alert("late"));
    clock.Set(midnight);
    engine->QueueAlert(Alert("early"));
    EXPECT_TRUE(engine->SaveAlertLog());

    const auto before = ReadArchive(ArchivePath(midnight - 1));
    const auto after = ReadArchive(ArchivePath(midnight));
    ASSERT_NE(ArchivePath(midnight - 1), ArchivePath(midnight));
    ASSERT_EQ(before.size(), 1u);
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(before.begin()->first, FormatLong(midnight - 1) + ".0");
    EXPECT_EQ(before.begin()->second->Description, "late");
    EXPECT_EQ(after.begin()->first, FormatLong(midnight) + ".0");
    EXPECT_EQ(after.begin()->second->Description, "early");
    EXPECT_FALSE(FileExists(ArchivePath(midnight) + ".tmp"));

    // A later flush of the same day keeps what the file already holds.
    clock.Set(midnight + 5);
    engine->QueueAlert(Alert("later"));
    engine->FlushDailyArchive();
    EXPECT_EQ(ReadArchive(ArchivePath(midnight)).size(), 2u);
}

TEST_F(RecordingTest, UnreadableDayFileIsKeptAsideAndArchivingGoesOn) {
    Use([](CTarvellDoc& d) { d.AlertArchiveEnabled = 1; });
    const std::string path = ArchivePath(clock.Now());
    const std::string garbage("\x05\x00garbage", 9);
    std::ofstream(path, std::ios::binary) << garbage;
    engine->QueueAlert(Alert("after damage"));
    engine->FlushDailyArchive();

    const auto day = ReadArchive(path);
    ASSERT_EQ(day.size(), 1u);
    EXPECT_EQ(day.begin()->second->Description, "after damage");
    const std::string aside = path + ".bad-" + Seconds();
    ASSERT_TRUE(FileExists(aside));
    EXPECT_EQ(*ReadWholeFile(aside), garbage);
    const auto lines = log.Lines();
    EXPECT_EQ(
        std::count_if(lines.begin(), lines.end(),
                      [&](const std::string& l) { return l.find(aside) != std::string::npos; }),
        1);
}

TEST_F(RecordingTest, ArchiveKeyOfAnEarlierRunIsNotOverwritten) {
    Use([](CTarvellDoc& d) { d.AlertArchiveEnabled = 1; });
    engine->QueueAlert(Alert("earlier run"));
    engine->FlushDailyArchive();
    {
        // A new run whose log no longer holds that alert, at the same second.
        RecursiveGuard lock(engine->AlertLock);
        engine->AlertLog.clear();
        engine->LastAlertSecond.clear();
    }
    engine->QueueAlert(Alert("this run"));
    engine->FlushDailyArchive();
    const auto day = ReadArchive(ArchivePath(clock.Now()));
    ASSERT_EQ(day.size(), 2u);
    EXPECT_EQ(day.at(Seconds() + ".0")->Description, "earlier run");
    EXPECT_EQ(day.at(Seconds() + ".1")->Description, "this run");
}

// Fixed fault: each pass that could not write the archive logged it again, and nothing told
// when it worked again.
TEST_F(RecordingTest, ArchiveThatCannotBeWrittenIsRetriedLaterAndLoggedOnce) {
    Use([](CTarvellDoc& d) { d.AlertArchiveEnabled = 1; });
    const std::string path = ArchivePath(clock.Now());
    auto count = [&](const std::string& text) {
        const auto lines = log.Lines();
        return std::count_if(lines.begin(), lines.end(), [&](const std::string& l) {
            return l.find("Daily alert archive " + path + text) != std::string::npos;
        });
    };
    auto full = std::make_optional<test::FileSizeLimit>(16);
    engine->QueueAlert(Alert("waiting"));
    for (int pass = 0; pass < 3; ++pass) engine->FlushDailyArchive();
    full.reset();
    EXPECT_FALSE(FileExists(path));
    EXPECT_EQ(count(" could not be written"), 1);
    EXPECT_EQ(count(" written again"), 0);
    engine->FlushDailyArchive();
    engine->QueueAlert(Alert("later"));
    engine->FlushDailyArchive();
    const auto day = ReadArchive(path);
    ASSERT_EQ(day.size(), 2u);
    EXPECT_EQ(day.begin()->second->Description, "waiting");
    EXPECT_EQ(count(" could not be written"), 1);
    EXPECT_EQ(count(" written again"), 1);

    full.emplace(16);  // failing again is told again
    engine->QueueAlert(Alert("again"));
    engine->FlushDailyArchive();
    full.reset();
    EXPECT_EQ(count(" could not be written"), 2);
}

// A day's archive at the state-file bound was read whole again at every pass (2 GiB in 10 s), and
// its line named neither the cause nor what makes room.
TEST_F(RecordingTest, AnArchiveAtTheBoundIsNotReadAgainUntilItIsMovedAway) {
    EngineEnvironment env = Environment();
    env.stateFileBytes = 4096;
    engine = std::make_unique<CTarvellFrm>(env);
    Use([](CTarvellDoc& d) { d.AlertArchiveEnabled = 1; });
    const std::string path = ArchivePath(clock.Now());
    for (int i = 0; i < 100 && !LogMentions(path + " could not be written"); ++i) {
        engine->QueueAlert(Alert(std::string(300, 'a')));
        engine->FlushDailyArchive();
    }
    EXPECT_TRUE(LogMentions(path + " could not be written (it would be larger than 4096 bytes, the "
                                    "most a state file may hold); the day's alerts wait and are "
                                    "not archived while it is full: to make room, move the file "
                                    "out of the service folder"));
    // Spoilt in place with its size and times kept: a read would take it for damaged.
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    std::fstream(path, std::ios::in | std::ios::out | std::ios::binary) << std::string(16, '\x7f');
    const timespec times[2] = {st.st_atim, st.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    engine->QueueAlert(Alert("waits"));
    for (int pass = 0; pass < 3; ++pass) engine->FlushDailyArchive();
    EXPECT_FALSE(LogMentions("could not be read"));
    EXPECT_EQ(log.Lines().size(), 1u);
    // Moved away: the alerts that waited start a new file.
    ASSERT_EQ(::rename(path.c_str(), (path + ".full").c_str()), 0);
    engine->FlushDailyArchive();
    EXPECT_EQ(ReadArchive(path).size(), 2u);
    EXPECT_TRUE(LogMentions(path + " written again"));
}

// A crash between the two writes left an alert in Tarvell.log and in no daily archive: the
// archive was written after the log had been renamed into place.
TEST_F(RecordingTest, TheDaysArchiveIsWrittenBeforeTheLog) {
    const std::string logPath = JoinPath(serviceFolder, kAlertLogName);
    // The save stops where a kill would end it: its log made but not yet in place.
    bool archivedFirst = false, logInPlace = true;
    EngineEnvironment env = Environment();
    env.atSavePoint = [&](std::string_view point) {
        if (point != "alert-log-archived") return;
        archivedFirst = FileExists(ArchivePath(clock.Now()));
        logInPlace = FileExists(logPath);
    };
    engine = std::make_unique<CTarvellFrm>(env);
    Use([](CTarvellDoc& d) { d.AlertArchiveEnabled = 1; });
    engine->QueueAlert(Alert("ordered"));
    EXPECT_TRUE(engine->SaveAlertLog());
    EXPECT_FALSE(logInPlace);
    EXPECT_TRUE(archivedFirst) << "the log was due before its alerts were archived";
    ASSERT_EQ(ReadArchive(ArchivePath(clock.Now())).size(), 1u);
    EXPECT_TRUE(FileExists(logPath));
}

// A FIFO under today's archive name hung the save that read it.
TEST_F(RecordingTest, AFifoUnderTheDaysArchiveNameIsMovedAsideWithoutBlocking) {
    Use([](CTarvellDoc& d) { d.AlertArchiveEnabled = 1; });
    const std::string path = ArchivePath(clock.Now());
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    engine->QueueAlert(Alert("after a fifo"));
    auto flushing = std::async(std::launch::async, [&] { engine->FlushDailyArchive(); });
    const bool finished = flushing.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    if (!finished) ::close(::open(path.c_str(), O_WRONLY | O_NONBLOCK));  // let the reader go
    flushing.wait();
    ASSERT_TRUE(finished) << "reading the archive waited for a writer";
    const auto day = ReadArchive(path);
    ASSERT_EQ(day.size(), 1u);
    EXPECT_TRUE(FileExists(path + ".bad-" + Seconds()));
}

// ---- several threads at once

TEST_F(RecordingTest, ConcurrentRecordingAndSavingLoseNothing) {
    Use([](CTarvellDoc& d) {
        d.EmailAlertsEnabled = 1;
        d.AlertArchiveEnabled = 1;
    });
    constexpr int kThreads = 4, kEach = 300;
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t) {
        workers.emplace_back([this, t] {
            for (int i = 0; i < kEach; ++i) {
                engine->RecordEvent(Event("SW" + std::to_string(t), std::to_string(i % 48)));
                if (i % 100 == 0) engine->QueueTestAlert(AlertChannel::Run);
            }
        });
    }
    for (int pass = 0; pass < 5; ++pass) {
        EXPECT_TRUE(engine->SaveAlertLog());
        EXPECT_TRUE(engine->SaveEventDatabase());
    }
    for (auto& worker : workers) worker.join();
    ASSERT_TRUE(engine->SaveAlertLog());

    // Every alert got a key of its own, all in the one second the fake clock shows.
    EXPECT_EQ(engine->AlertLog.size(), static_cast<std::size_t>(kThreads * kEach));
    EXPECT_EQ(engine->EmailQueue.size(), static_cast<std::size_t>(kThreads * kEach));
    EXPECT_EQ(engine->RunQueue.size(), static_cast<std::size_t>(kThreads * 3));
    EXPECT_EQ(engine->EventMap.size(), static_cast<std::size_t>(kThreads * 48));
    AlertLogFile file;
    ASSERT_TRUE(ReadStateFile(JoinPath(serviceFolder, kAlertLogName), file));
    EXPECT_EQ(file.AlertLog.size(), engine->AlertLog.size());
    EXPECT_EQ(ReadArchive(ArchivePath(clock.Now())).size(), engine->AlertLog.size());
}

}  // namespace
}  // namespace tarvell::enginetest
