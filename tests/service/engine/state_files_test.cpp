// The state files: loads with retries, saves, ageing and clean-up, the sibling database and the
// tables derived from it, damaged files.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>

#include "platform/RecursiveLock.h"
#include "platform/Text.h"
#include "tests/service/engine/EngineFixture.h"

namespace tarvell::enginetest {
namespace {

constexpr std::int64_t kDay = 86400;

class StateFilesTest : public EngineFixture {
protected:
    std::string ServicePath(std::string_view name) const { return JoinPath(serviceFolder, name); }
    std::string SiblingPath() const { return JoinPath(siblingFolder, kSiblingDatabaseName); }

    void WriteBytes(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }

    template <class F>
    F ReadBack(const std::string& path) {
        F file;
        std::string error;
        EXPECT_TRUE(ReadStateFile(path, file, &error)) << error;
        return file;
    }

    void AddAlert(const std::string& key, int state = 0, const std::string& mac = "001122334455") {
        auto alert = std::make_unique<CAlertItem>();
        alert->State = state;
        alert->SourceMac = mac;
        alert->Description = "New Mac";
        RecursiveGuard lock(engine->AlertLock);
        engine->AlertLog[key] = std::move(alert);
    }

    void KeepAlertsFor(int days) {
        CTarvellDoc doc = BlankSettings();
        doc.AlertRemoveDays = days;
        UseSettings(doc);
    }

    std::string AlertKey(std::int64_t secondsAgo) {
        return FormatLong(clock.Now() - secondsAgo) + ".0";
    }

    int LogLinesWith(std::string_view text) {
        const auto lines = log.Lines();
        return static_cast<int>(
            std::count_if(lines.begin(), lines.end(),
                          [&](const std::string& l) { return l.find(text) != std::string::npos; }));
    }

    // The name a damaged file was moved to, or "" when there is none.
    static std::string FindAside(const std::string& path) {
        const std::string folder = path.substr(0, path.find_last_of('/'));
        const std::string prefix = path.substr(path.find_last_of('/') + 1) + ".bad-";
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind(prefix, 0) == 0) return entry.path().string();
        }
        return {};
    }

    std::unique_ptr<CTarvellFrm> EngineOn(const std::string& folder) {
        EngineEnvironment env = Environment();
        env.ServiceFolder = folder;
        return std::make_unique<CTarvellFrm>(env);
    }
};

// ---- fresh installation, retries, round trips

// The engine's own files are written only by rename: one that is missing is a fresh
// installation, not a file on its way, and costs no wait. The sibling product's file keeps them.
TEST_F(StateFilesTest, MissingOwnFilesCostNoWaitAndAMissingSiblingFileFiveAttempts) {
    const auto started = std::chrono::steady_clock::now();
    engine->LoadAlertLog();
    engine->LoadEventDatabase();
    engine->LoadReportStore();
    EXPECT_EQ(clock.Sleeps(), 0);
    EXPECT_EQ(clock.SleptMs(), 0);
    EXPECT_FALSE(engine->LoadSiblingDatabase());
    EXPECT_EQ(clock.Sleeps(), 5);
    EXPECT_EQ(clock.SleptMs(), 5000);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    EXPECT_TRUE(engine->AlertLog.empty());
    EXPECT_TRUE(engine->EventMap.empty());
}

// A file that is there but does not read keeps its five attempts, whichever of the three it is.
TEST_F(StateFilesTest, AnOwnFileThatExistsButDoesNotDecodeKeepsItsFiveAttempts) {
    const struct {
        std::string_view name;
        void (CTarvellFrm::*load)();
    } cases[] = {
        {kAlertLogName, &CTarvellFrm::LoadAlertLog},
        {kEventDatabaseName, &CTarvellFrm::LoadEventDatabase},
        {kReportStoreName, &CTarvellFrm::LoadReportStore},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(AtomicWriteFile(ServicePath(c.name), "not an archive"));
        const int before = clock.Sleeps();
        (engine.get()->*c.load)();
        EXPECT_EQ(clock.Sleeps() - before, 5) << c.name;
        EXPECT_FALSE(FileExists(ServicePath(c.name))) << c.name << ": kept aside";
        EXPECT_FALSE(FindAside(ServicePath(c.name)).empty()) << c.name;
    }
}

TEST_F(StateFilesTest, FreshFolderWritesLogAndDbButNoEml) {
    engine->LoadAlertLog();
    engine->LoadEventDatabase();
    engine->LoadReportStore();
    EXPECT_TRUE(engine->SaveAlertLog());
    EXPECT_TRUE(engine->SaveEventDatabase());
    EXPECT_TRUE(engine->SaveReportStore());
    EXPECT_TRUE(FileExists(ServicePath(kAlertLogName)));
    EXPECT_TRUE(FileExists(ServicePath(kEventDatabaseName)));
    EXPECT_FALSE(FileExists(ServicePath(kReportStoreName)));
    EXPECT_TRUE(ReadBack<AlertLogFile>(ServicePath(kAlertLogName)).AlertLog.empty());
    EXPECT_FALSE(FileExists(ServicePath(kAlertLogName) + ".tmp"));
}

TEST_F(StateFilesTest, SavedStateLoadsBackIntoANewEngine) {
    const std::string longText(300, 'x');
    CEventItem& event = AddEvent("SW1", "3");
    event.Before = longText;
    event.Extra = "1699990000";
    AddAlert(AlertKey(0));
    {
        RecursiveGuard lock(engine->EngineLock);
        engine->SwitchCount = "2";
        engine->NodeCount = "7";
        engine->DeviceTable["SW1"] = "10.0.0.1/Core//Hall";
        engine->PortNames["SW1/3"] = "Gi0/3";
    }
    {
        RecursiveGuard lock(engine->MailLock);
        engine->ReportStore["1.0"] = std::make_unique<CAlertItem>();
        engine->LastDailyReport = "1699920000";
        engine->LastWeeklyReport = "1699488000";
    }
    ASSERT_TRUE(engine->SaveAlertLog());
    ASSERT_TRUE(engine->SaveEventDatabase());
    ASSERT_TRUE(engine->SaveReportStore());
    // A text of 300 characters is stored behind the 0xFF escape with a 16-bit length.
    EXPECT_NE(ReadWholeFile(ServicePath(kEventDatabaseName))
                  ->find(std::string("\xFF\x2C\x01", 3) + longText),
              std::string::npos);

    auto second = EngineOn(serviceFolder);
    second->LoadAlertLog();
    second->LoadEventDatabase();
    second->LoadReportStore();
    EXPECT_EQ(clock.Sleeps(), 0);
    ASSERT_EQ(second->EventMap.size(), 1u);
    EXPECT_EQ(*second->EventMap.at("SW1/3"), EventCopy("SW1/3"));
    EXPECT_EQ(second->EventMap.at("SW1/3")->Before, longText);
    EXPECT_EQ(second->AlertLog.size(), 1u);
    EXPECT_EQ(second->SwitchCount, "2");
    EXPECT_EQ(second->NodeCount, "7");
    EXPECT_EQ(second->DeviceTable, engine->DeviceTable);
    EXPECT_EQ(second->PortNames, engine->PortNames);
    EXPECT_EQ(second->ReportStore.size(), 1u);
    EXPECT_EQ(second->LastDailyReport, "1699920000");
    EXPECT_EQ(second->LastWeeklyReport, "1699488000");
}

TEST_F(StateFilesTest, FileKindComesFromTheCallNotFromThePath) {
    // A folder whose name holds every text the kind was once guessed from.
    const std::string folder = JoinPath(root, "x.log.eml Tarvell.db Ombrix.db");
    ASSERT_TRUE(MakeDirectories(folder));
    auto odd = EngineOn(folder);
    {
        RecursiveGuard lock(odd->EngineLock);
        odd->SwitchCount = "1";
        odd->EventMap["SW1/3"] = std::make_unique<CEventItem>();
    }
    odd->AlertLog["5.0"] = std::make_unique<CAlertItem>();
    odd->ReportStore["6.0"] = std::make_unique<CAlertItem>();
    ASSERT_TRUE(odd->SaveEventDatabase());
    ASSERT_TRUE(odd->SaveAlertLog());
    ASSERT_TRUE(odd->SaveReportStore());
    EXPECT_EQ(ReadBack<EventDatabaseFile>(JoinPath(folder, kEventDatabaseName)).EventMap.size(),
              1u);
    EXPECT_EQ(ReadBack<AlertLogFile>(JoinPath(folder, kAlertLogName)).AlertLog.count("5.0"), 1u);
    EXPECT_EQ(
        ReadBack<ReportStoreFile>(JoinPath(folder, kReportStoreName)).ReportStore.count("6.0"), 1u);

    std::string error;
    EXPECT_FALSE(odd->Deserialize(StoredFileKind::Settings, "", &error));
    EXPECT_EQ(odd->Serialize(StoredFileKind::Sibling), "");
}

// ---- damaged files

TEST_F(StateFilesTest, DamagedOwnFilesAreKeptAsideAndTheEngineStartsEmpty) {
    const std::string garbage("\x03\x00\x01", 3);
    for (auto name : {kAlertLogName, kEventDatabaseName, kReportStoreName})
        WriteBytes(ServicePath(name), garbage);
    AddEvent("SW1", "3");  // anything the engine held is not mixed with a damaged file
    engine->LoadAlertLog();
    engine->LoadEventDatabase();
    engine->LoadReportStore();
    EXPECT_TRUE(engine->AlertLog.empty());
    EXPECT_TRUE(engine->EventMap.empty());
    EXPECT_TRUE(engine->ReportStore.empty());
    for (auto name : {kAlertLogName, kEventDatabaseName, kReportStoreName}) {
        const std::string aside = FindAside(ServicePath(name));
        ASSERT_FALSE(aside.empty()) << name;
        EXPECT_EQ(*ReadWholeFile(aside), garbage);
        EXPECT_EQ(LogLinesWith(aside), 1) << aside;
    }
    // The next pass writes a new file; the damaged one stays where it was put.
    AddAlert(AlertKey(0));
    ASSERT_TRUE(engine->SaveAlertLog());
    EXPECT_EQ(ReadBack<AlertLogFile>(ServicePath(kAlertLogName)).AlertLog.size(), 1u);
}

TEST_F(StateFilesTest, FailedSaveIsLoggedOnceAndRecoveryOnce) {
    auto lost = EngineOn(JoinPath(root, "no-such-folder"));
    EXPECT_FALSE(lost->SaveEventDatabase());
    EXPECT_FALSE(lost->SaveEventDatabase());
    EXPECT_EQ(LogLinesWith("could not be written"), 1);
    ASSERT_TRUE(MakeDirectories(JoinPath(root, "no-such-folder")));
    EXPECT_TRUE(lost->SaveEventDatabase());
    EXPECT_EQ(LogLinesWith("written again"), 1);
}

// ---- ageing and clean-up

TEST_F(StateFilesTest, AlertAtExactlyItsKeepTimeIsRemovedBySaveAndDroppedAtStart) {
    KeepAlertsFor(2);
    const std::string expired = AlertKey(2 * kDay);
    const std::string young = AlertKey(2 * kDay - 1);
    AddAlert(expired);
    AddAlert(young);
    ASSERT_TRUE(engine->SaveAlertLog());
    const auto file = ReadBack<AlertLogFile>(ServicePath(kAlertLogName));
    EXPECT_EQ(file.AlertLog.at(expired)->State, 1);
    EXPECT_EQ(file.AlertLog.at(young)->State, 0);

    auto second = EngineOn(serviceFolder);
    second->Document->AlertRemoveDays = 2;
    second->PublishSettings();
    second->LoadAlertLog();
    second->PruneAlertLog();
    ASSERT_EQ(second->AlertLog.size(), 1u);
    EXPECT_EQ(second->AlertLog.count(young), 1u);
}

TEST_F(StateFilesTest, KeepZeroNeverAgesButRemovedAlertsGoAtStart) {
    KeepAlertsFor(0);
    AddAlert(AlertKey(3650 * kDay));
    AddAlert(AlertKey(10), 1);
    ASSERT_TRUE(engine->SaveAlertLog());
    EXPECT_EQ(ReadBack<AlertLogFile>(ServicePath(kAlertLogName))
                  .AlertLog.at(AlertKey(3650 * kDay))
                  ->State,
              0);
    engine->PruneAlertLog();
    ASSERT_EQ(engine->AlertLog.size(), 1u);
    EXPECT_EQ(engine->AlertLog.count(AlertKey(3650 * kDay)), 1u);
}

// A key from the file whose time reads as the largest number is not yet at the end of any keep
// time; working that out must not overflow.
TEST_F(StateFilesTest, AlertKeyBeyondEveryClockIsNotAged) {
    KeepAlertsFor(30);
    const std::string far = "99999999999999999999.0";
    AddAlert(far);
    ASSERT_TRUE(engine->SaveAlertLog());
    EXPECT_EQ(ReadBack<AlertLogFile>(ServicePath(kAlertLogName)).AlertLog.at(far)->State, 0);
    engine->PruneAlertLog();
    EXPECT_EQ(engine->AlertLog.count(far), 1u);
}

TEST_F(StateFilesTest, PurgeRemovesDeletedEventsOnly) {
    AddEvent("SW1", "3").Deleted = 1;
    AddEvent("SW1", "4");
    engine->PurgeDeletedEvents();
    ASSERT_EQ(engine->EventMap.size(), 1u);
    EXPECT_EQ(engine->EventMap.count("SW1/4"), 1u);
}

TEST_F(StateFilesTest, SavesRefreshSourceAddressesFromTheNodeRecords) {
    KeepAlertsFor(1);
    AddNode("001122334455", "10.0.0.50", "SW1", "3");
    AddEvent("SW1", "3", "New Mac", "001122334455");
    CEventItem& deleted = AddEvent("SW1", "4", "New Mac", "001122334455");
    deleted.Deleted = 1;
    deleted.SourceIp = "old";
    AddEvent("SW1", "5", "New Mac", "FFFFFFFFFFFF").SourceIp = "unknown node";
    AddAlert(AlertKey(0));
    AddAlert(AlertKey(kDay));  // aged: marked removed, not refreshed
    ASSERT_TRUE(engine->SaveEventDatabase());
    ASSERT_TRUE(engine->SaveAlertLog());

    const auto events = ReadBack<EventDatabaseFile>(ServicePath(kEventDatabaseName)).EventMap;
    EXPECT_EQ(events.at("SW1/3")->SourceIp, "10.0.0.50");
    EXPECT_EQ(events.at("SW1/3")->SourceName, "host-001122334455");
    EXPECT_EQ(events.at("SW1/4")->SourceIp, "old");
    EXPECT_EQ(events.at("SW1/5")->SourceIp, "unknown node");
    const auto alerts = ReadBack<AlertLogFile>(ServicePath(kAlertLogName)).AlertLog;
    EXPECT_EQ(alerts.at(AlertKey(0))->SourceIp, "10.0.0.50");
    EXPECT_EQ(alerts.at(AlertKey(kDay))->SourceIp, "");
    EXPECT_EQ(alerts.at(AlertKey(kDay))->State, 1);
}

// ---- saves write only what changed

struct Stamp {
    ino_t inode = 0;
    std::int64_t modifiedNs = 0;
    bool operator==(const Stamp&) const = default;
};

Stamp StampOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    return {st.st_ino, st.st_mtim.tv_sec * 1'000'000'000LL + st.st_mtim.tv_nsec};
}

// Each change of what a file holds, by the engine's own operations, rewrites that file and no
// other; a pass after which nothing changed writes nothing. What is written is byte for byte
// what the whole-file encoder gives.
TEST_F(StateFilesTest, ASaveWritesAFileOnlyWhenWhatItHoldsChanged) {
    CTarvellDoc doc = BlankSettings();
    doc.AlertRemoveDays = 2;
    doc.DetectionEnabled = 1;
    UseSettings(doc);
    AddNode("001122334455", "10.0.0.50", "SW1", "3");
    engine->PublishSiblingView();
    AddEvent("SW1", "3").Blocked = 1;
    engine->EventMap.at("SW1/3")->Extra = "1700000000";
    AddEvent("SW1", "4").Deleted = 1;
    AddAlert(AlertKey(kDay));
    {
        RecursiveGuard lock(engine->MailLock);
        engine->LastDailyReport = "1700000000";
    }
    const auto saveAll = [&] {
        return engine->SaveEventDatabase() && engine->SaveAlertLog() && engine->SaveReportStore();
    };
    ASSERT_TRUE(saveAll());

    struct Step {
        const char* change;
        std::function<void()> act;
        bool db, log, eml;
    };
    const Step steps[] = {
        {"nothing", [] {}, false, false, false},
        {"an event recorded",
         [&] {
             auto event = std::make_unique<CEventItem>();
             event->SwitchKey = "SW1";
             event->PortKey = "5";
             engine->RecordEvent(std::move(event));
         },
         true, true, false},
        {"an alert queued", [&] { engine->QueueAlert(std::make_unique<CAlertItem>()); }, false,
         true, false},
        {"a block's time cleared", [&] { engine->ClearEventExtra("SW1/3"); }, true, false, false},
        {"a block's time cleared again", [&] { engine->ClearEventExtra("SW1/3"); }, false, false,
         false},
        {"deleted events purged", [&] { engine->PurgeDeletedEvents(); }, true, false, false},
        {"new node records", [&] { engine->PublishSiblingView(); }, true, true, false},
        {"an alert at the end of its keep time", [&] { clock.Advance(kDay); }, false, true, false},
        {"the keep time changed",
         [&] {
             doc.AlertRemoveDays = 30;
             UseSettings(doc);
         },
         false, true, false},
        {"a report date set",
         [&] {
             RecursiveGuard lock(engine->MailLock);
             engine->LastWeeklyReport = "1700000000";
         },
         false, false, true},
        {"nothing again", [] {}, false, false, false},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.change);
        const Stamp db = StampOf(ServicePath(kEventDatabaseName));
        const Stamp log = StampOf(ServicePath(kAlertLogName));
        const Stamp eml = StampOf(ServicePath(kReportStoreName));
        step.act();
        ASSERT_TRUE(saveAll());
        EXPECT_EQ(StampOf(ServicePath(kEventDatabaseName)) != db, step.db);
        EXPECT_EQ(StampOf(ServicePath(kAlertLogName)) != log, step.log);
        EXPECT_EQ(StampOf(ServicePath(kReportStoreName)) != eml, step.eml);
    }
    EXPECT_EQ(ReadWholeFile(ServicePath(kEventDatabaseName)),
              engine->Serialize(StoredFileKind::Events));
    EXPECT_EQ(ReadWholeFile(ServicePath(kAlertLogName)), engine->Serialize(StoredFileKind::Alerts));
}

// ---- files that are no files to read

// A FIFO under a state file's name hung the load for good (a blocking open); a device was read
// up to the size bound. Both are refused at once, without retries, and a file of the service is
// kept aside so that the next save writes a regular file.
TEST_F(StateFilesTest, AFifoOrDeviceUnderAStateFileNameIsRefusedAtOnce) {
    const struct {
        std::string_view name;
        bool device;
        std::function<void()> load;
    } cases[] = {
        {kEventDatabaseName, false, [&] { engine->LoadEventDatabase(); }},
        {kAlertLogName, false, [&] { engine->LoadAlertLog(); }},
        {kReportStoreName, true, [&] { engine->LoadReportStore(); }},
        {kEventDatabaseName, true, [&] { engine->LoadEventDatabase(); }},
    };
    for (const auto& c : cases) {
        const std::string path = ServicePath(c.name);
        if (c.device) {
            ASSERT_EQ(::symlink("/dev/zero", path.c_str()), 0);
        } else {
            ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
        }
        const int sleeps = clock.Sleeps();
        ::alarm(30);  // a blocking open never returns: the alarm ends the test program then
        c.load();
        ::alarm(0);
        EXPECT_EQ(clock.Sleeps(), sleeps) << c.name << ": no retry mends it";
        const std::string aside = FindAside(path);
        EXPECT_FALSE(aside.empty()) << c.name;
        EXPECT_FALSE(FileExists(path)) << c.name;
        EXPECT_TRUE(LogMentions(path + " (not a regular file)")) << c.name;
        if (!aside.empty()) {
            ASSERT_TRUE(RemoveFile(aside));
        }
    }
    EXPECT_TRUE(engine->SaveEventDatabase());
    EventDatabaseFile saved;
    EXPECT_TRUE(ReadStateFile(ServicePath(kEventDatabaseName), saved));
}

// ---- the sibling database

class SiblingDatabaseTest : public StateFilesTest {
protected:
    static CDbItem& Put(ObjectMap<CDbItem>& map, const std::string& key) {
        auto& slot = map[key];
        slot = std::make_unique<CDbItem>();
        return *slot;
    }

    static SiblingDatabaseFile SampleDatabase() {
        SiblingDatabaseFile db;
        CDbItem& sw1 = Put(db.SiblingSwitches, "SW1");
        sw1.SwitchIps() = "10.0.0.1;10.0.9.1";
        sw1.SwitchName() = "Core";
        sw1.SwitchContact() = "admin";
        sw1.SwitchLocation() = "Hall";
        sw1.SwitchMac() = "0000000000A1";
        sw1.SwitchMac2() = "0000000000A2";
        CDbItem& sw2 = Put(db.SiblingSwitches, "SW2");
        sw2.SwitchIps() = "10.0.0.2";
        sw2.SwitchAltName() = "edge-alt";
        CDbItem& off = Put(db.SiblingSwitches, "SW3");
        off.SwitchIps() = "10.0.0.3";
        off.SwitchMac() = "0000000000A3";
        off.SwitchDisabled() = 1;

        CDbItem& p1 = Put(db.SiblingPorts, "SW1/1");
        p1.PortName() = "Gi0/1";
        p1.PortAlias() = "ethernetCsmacd";
        p1.PortMac() = "0000000000B1";
        CDbItem& p2 = Put(db.SiblingPorts, "SW1/2");
        p2.PortName() = "Gi0/2";
        p2.PortMac() = "0000000000B2";
        p2.PortDisabled() = 1;

        auto node = [&](const std::string& mac, const std::string& sw,
                        const std::string& port) -> CDbItem& {
            CDbItem& n = Put(db.SiblingNodes, mac);
            n.NodeMac() = mac;
            n.NodeIp() = "10.1.0.1";
            n.NodeSwitch() = sw;
            n.NodePort() = port;
            return n;
        };
        node("0000000000C1", "SW1", "1");                     // an ordinary node
        node("0000000000C2", "SW1", "1").NodeDisabled() = 1;  // disabled
        node("SW2", "SW1", "1");                              // MAC is a switch key
        node("0000000000B1", "SW1", "1");                     // MAC of an enabled port
        node("0000000000B2", "SW1", "1");                     // MAC of a disabled port
        node("0000000000C3", "", "1");                        // no switch
        node("0000000000C4", "SW1", "");                      // no port
        return db;
    }

    void WriteSibling(const SiblingDatabaseFile& db) {
        ASSERT_TRUE(WriteStateFile(SiblingPath(), db));
    }
};

TEST_F(SiblingDatabaseTest, TablesAreDerivedFromEnabledRecords) {
    WriteSibling(SampleDatabase());
    ASSERT_TRUE(engine->LoadSiblingDatabase());
    RecursiveGuard lock(engine->EngineLock);
    EXPECT_EQ(engine->SiblingSwitches.size(), 3u);
    EXPECT_EQ(engine->SiblingPorts.size(), 2u);
    EXPECT_EQ(engine->DeviceTable,
              (StringMap{{"SW1", "10.0.0.1/Core/admin/Hall"}, {"SW2", "10.0.0.2/edge-alt//"}}));
    EXPECT_EQ(engine->SwitchCount, "2");
    EXPECT_EQ(engine->SwitchMacs, (StringMap{{"0000000000A1", "SW1"}, {"0000000000A2", "SW1"}}));
    EXPECT_EQ(engine->PortNames, (StringMap{{"SW1/1", "Gi0/1"}}));
    EXPECT_EQ(engine->PortAliases, (StringMap{{"SW1/1", "ethernetCsmacd"}}));
    // Kept: the ordinary node and the one on a disabled port's MAC. Counted: those two and the
    // two without a place.
    std::vector<std::string> kept;
    for (const auto& [mac, node] : engine->SiblingNodes) kept.push_back(mac);
    EXPECT_EQ(kept, (std::vector<std::string>{"0000000000B2", "0000000000C1"}));
    EXPECT_EQ(engine->NodeCount, "4");
    EXPECT_EQ(engine->DisabledNodes, (StringMap{{"0000000000C2", "SW1/1"}}));
}

// A record of the file carries all three parts; the view of a load holds, per map, the part
// that map gives meaning to, every field of it, and nothing else.
TEST_F(SiblingDatabaseTest, TheViewOfALoadHoldsThePortPartOfPortsAndTheNodePartOfNodes) {
    SiblingDatabaseFile db = SampleDatabase();
    for (CDbItem* record :
         {db.SiblingPorts.at("SW1/1").get(), db.SiblingNodes.at("0000000000C1").get()}) {
        for (int n = dbfield::kFirst; n <= dbfield::kLast; ++n) {
            if (!dbfield::IsWord(n)) record->SetText(n, "f" + std::to_string(n));
            else if (n != dbfield::kPortDisabled && n != dbfield::kNodeDisabled)
                record->SetNumber(n, n);
        }
    }
    WriteSibling(db);
    ASSERT_TRUE(engine->LoadSiblingDatabase());
    const auto view = engine->SiblingData();
    RecursiveGuard lock(engine->EngineLock);
    const struct {
        const ObjectMap<CDbItem>& full;
        const ObjectMap<CDbItem>& part;
        int first, last;
    } tables[] = {{engine->SiblingPorts, view->Ports, dbfield::kPortSwitch, dbfield::kPortDisabled},
                  {engine->SiblingNodes, view->Nodes, dbfield::kNodeMac, dbfield::kNodeDisabled}};
    for (const auto& t : tables) {
        ASSERT_EQ(t.part.size(), t.full.size());
        for (const auto& [key, record] : t.full) {
            const CDbItem& part = *t.part.at(key);
            for (int n = dbfield::kFirst; n <= dbfield::kLast; ++n) {
                SCOPED_TRACE(key + " field " + std::to_string(n));
                const bool kept = n >= t.first && n <= t.last;
                if (dbfield::IsWord(n)) EXPECT_EQ(part.Number(n), kept ? record->Number(n) : 0);
                else EXPECT_EQ(part.Text(n), kept ? record->Text(n) : "");
            }
        }
    }
}

// Maps changed by hand (with DataGeneration raised) are not what the view shows: they are
// copied at each call until a view of them is published. New settings keep a view in force.
TEST_F(SiblingDatabaseTest, MapsPutInPlaceWithoutAViewAreCopiedUntilAViewIsPublished) {
    WriteSibling(SampleDatabase());
    ASSERT_TRUE(engine->LoadSiblingDatabase());
    const auto loaded = engine->SiblingData();
    engine->PublishSettings();
    EXPECT_EQ(engine->SiblingData(), loaded);
    {
        RecursiveGuard lock(engine->EngineLock);
        Put(engine->SiblingNodes, "0000000000D1").NodeIp() = "10.1.0.9";
        engine->DataGeneration.fetch_add(1);
    }
    const auto copied = engine->SiblingData();
    EXPECT_NE(engine->SiblingData(), copied);
    EXPECT_EQ(copied->Nodes.at("0000000000D1")->NodeIp(), "10.1.0.9");
    engine->PublishSiblingView();
    const auto published = engine->SiblingData();
    EXPECT_EQ(engine->SiblingData(), published);
    EXPECT_EQ(published->Nodes.count("0000000000D1"), 1u);
}

TEST_F(SiblingDatabaseTest, DisabledNodesAreRememberedAcrossLoads) {
    WriteSibling(SampleDatabase());
    ASSERT_TRUE(engine->LoadSiblingDatabase());
    SiblingDatabaseFile later = SampleDatabase();
    later.SiblingNodes.at("0000000000C2")->NodeDisabled() = 0;
    later.SiblingNodes.at("0000000000C1")->NodeDisabled() = 1;
    WriteSibling(later);
    ASSERT_TRUE(engine->LoadSiblingDatabase());
    EXPECT_EQ(engine->DisabledNodes.size(), 2u);
    EXPECT_EQ(engine->SiblingNodes.count("0000000000C2"), 1u);
}

TEST_F(SiblingDatabaseTest, DamagedOrMissingFileKeepsWhatWasRead) {
    WriteSibling(SampleDatabase());
    ASSERT_TRUE(engine->LoadSiblingDatabase());
    // Half a file: the switches are whole, the rest is cut off.
    const std::string whole = *ReadWholeFile(SiblingPath());
    WriteBytes(SiblingPath(), whole.substr(0, whole.size() / 2));
    EXPECT_FALSE(engine->LoadSiblingDatabase());
    EXPECT_FALSE(engine->LoadSiblingDatabase());
    EXPECT_EQ(engine->SiblingPorts.size(), 2u);
    EXPECT_EQ(engine->SiblingNodes.size(), 2u);
    EXPECT_EQ(engine->SwitchCount, "2");
    EXPECT_EQ(engine->PortNames.size(), 1u);
    EXPECT_EQ(LogLinesWith("Sibling database"), 1);
    EXPECT_TRUE(FileExists(SiblingPath()));  // the sibling product's file is never moved

    ASSERT_TRUE(RemoveFile(SiblingPath()));
    EXPECT_FALSE(engine->LoadSiblingDatabase());
    EXPECT_EQ(engine->SiblingNodes.size(), 2u);

    WriteSibling(SampleDatabase());
    EXPECT_TRUE(engine->LoadSiblingDatabase());
    EXPECT_EQ(LogLinesWith("read again"), 1);
}

// Every pass decoded the whole sibling file again, also when it had not changed.
TEST_F(SiblingDatabaseTest, AnUnchangedFileIsNotReadAgain) {
    WriteSibling(SampleDatabase());
    ASSERT_TRUE(engine->LoadSiblingDatabase());
    struct stat before {};
    ASSERT_EQ(::stat(SiblingPath().c_str(), &before), 0);

    // The same bytes over again in place (device, inode, size and time as they were): not read.
    SiblingDatabaseFile other = SampleDatabase();
    other.SiblingPorts.at("SW1/1")->PortName() = "Gi0/9";
    const std::string bytes = EncodeStateFile(other);
    ASSERT_EQ(bytes.size(), static_cast<std::size_t>(before.st_size));
    {
        std::fstream f(SiblingPath(), std::ios::binary | std::ios::in | std::ios::out);
        f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, SiblingPath().c_str(), times, 0), 0);
    EXPECT_FALSE(engine->LoadSiblingDatabase());
    EXPECT_EQ(engine->PortNames.at("SW1/1"), "Gi0/1");

    // Any of the four changed: read again.
    const struct timespec later[2] = {before.st_atim, {before.st_mtim.tv_sec + 1, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, SiblingPath().c_str(), later, 0), 0);
    EXPECT_TRUE(engine->LoadSiblingDatabase());
    EXPECT_EQ(engine->PortNames.at("SW1/1"), "Gi0/9");
    EXPECT_FALSE(engine->LoadSiblingDatabase());
    WriteSibling(SampleDatabase());  // a new file (another inode)
    EXPECT_TRUE(engine->LoadSiblingDatabase());
    EXPECT_EQ(engine->PortNames.at("SW1/1"), "Gi0/1");
    EXPECT_EQ(clock.Sleeps(), 0);
}

// A switch is found by any of its addresses, as the last load listed them and as the records
// say now when they were changed since.
TEST_F(SiblingDatabaseTest, SwitchesAreFoundByAddressAfterLoadsAndChanges) {
    SiblingDatabaseFile db = SampleDatabase();
    Put(db.SiblingSwitches, "SW4").SwitchIps() = "10.0.0.2;10.0.0.4";  // shares SW2's address
    for (auto& [key, sw] : db.SiblingSwitches) sw->SwitchKey() = key;
    WriteSibling(db);
    ASSERT_TRUE(engine->LoadSiblingDatabase());
    const auto owner = [&](const std::string& address) {
        CDbItem out;
        return engine->LookupSwitchByAddress(address, out) ? out.SwitchKey() : std::string("-");
    };
    EXPECT_EQ(owner("10.0.9.1"), "SW1");
    EXPECT_EQ(owner("10.0.0.2"), "SW2");  // the first switch listing it
    EXPECT_EQ(owner("10.0.0.4"), "SW4");
    EXPECT_EQ(owner("10.0.0.3"), "-");  // disabled

    {
        RecursiveGuard lock(engine->EngineLock);
        engine->SiblingSwitches.at("SW2")->SwitchIps() = "10.0.0.22";
        engine->SiblingSwitches.at("SW1")->SwitchDisabled() = 1;
    }
    AddSwitch("SW5", "10.0.0.5");
    EXPECT_EQ(owner("10.0.0.2"), "SW4");
    EXPECT_EQ(owner("10.0.0.22"), "SW2");
    EXPECT_EQ(owner("10.0.9.1"), "-");
    EXPECT_EQ(owner("10.0.0.5"), "SW5");

    db = SampleDatabase();  // the next load moves an address to another switch
    db.SiblingSwitches.at("SW1")->SwitchIps() = "10.0.0.1";
    db.SiblingSwitches.at("SW2")->SwitchIps() = "10.0.0.2;10.0.9.1";
    for (auto& [key, sw] : db.SiblingSwitches) sw->SwitchKey() = key;
    WriteSibling(db);
    ASSERT_TRUE(engine->LoadSiblingDatabase());
    EXPECT_EQ(owner("10.0.9.1"), "SW2");
    EXPECT_EQ(owner("10.0.0.1"), "SW1");
    EXPECT_EQ(owner("10.0.0.4"), "-");
    EXPECT_EQ(owner("10.0.0.5"), "-");
}

// The sibling file is another product's: what it makes the service hold is bounded.
TEST_F(SiblingDatabaseTest, RecordsBeyondTheCapsAreLeftOutWithOneLogLine) {
    constexpr std::size_t kSwitchCap = 20'000;
    SiblingDatabaseFile db = SampleDatabase();
    for (std::size_t i = 0; i < kSwitchCap; ++i)
        Put(db.SiblingSwitches, "X" + FormatLong(static_cast<std::int64_t>(100000 + i)));
    WriteSibling(db);  // 20 003 switches: the sample's three sort first
    ASSERT_TRUE(engine->LoadSiblingDatabase());
    EXPECT_EQ(engine->SiblingSwitches.size(), kSwitchCap);
    EXPECT_EQ(engine->SiblingSwitches.count("SW1"), 1u);
    EXPECT_EQ(engine->SiblingPorts.size(), 2u);
    EXPECT_EQ(LogLinesWith("3 switches beyond the first 20000"), 1) << log.Lines().back();

    // Still too large after a change: no second line.
    Put(db.SiblingSwitches, "Y");
    WriteSibling(db);
    ASSERT_TRUE(engine->LoadSiblingDatabase());
    EXPECT_EQ(LogLinesWith("holds more records"), 1);
}

TEST_F(StateFilesTest, TheServicesOwnStateFilesAreNeverCapped) {
    constexpr std::size_t kEvents = 25'000;  // beyond every sibling cap's smallest
    {
        RecursiveGuard lock(engine->EngineLock);
        for (std::size_t i = 0; i < kEvents; ++i)
            engine->EventMap["SW/" + FormatLong(static_cast<std::int64_t>(i))] =
                std::make_unique<CEventItem>();
    }
    ASSERT_TRUE(engine->SaveEventDatabase());
    auto again = EngineOn(serviceFolder);
    again->LoadEventDatabase();
    EXPECT_EQ(again->EventMap.size(), kEvents);
}

// ---- the size bound of the service's own files

// A Tarvell.log that outgrew the readers' bound was once written all the same, and refused (and
// set aside) at the next start, with every alert in it.
TEST_F(StateFilesTest, ALogAtTheBoundKeepsItsLastFileUntilAShorterKeepTimeMakesRoom) {
    constexpr std::size_t kBound = 16 * 1024;
    EngineEnvironment env = Environment();
    env.stateFileBytes = kBound;
    engine = std::make_unique<CTarvellFrm>(env);
    const auto addAlert = [&](const std::string& key) {
        AddAlert(key);
        RecursiveGuard lock(engine->AlertLock);
        engine->AlertLog.at(key)->Description = std::string(200, 'd');
        ++engine->AlertsChanged;
    };
    int added = 0;  // alerts of two days ago until the log no longer fits
    do addAlert(FormatLong(clock.Now() - 2 * kDay) + "." + FormatLong(added++));
    while (engine->SaveAlertLog() && added < 1000);
    const auto onDisk = ReadWholeFile(ServicePath(kAlertLogName), kBound);
    ASSERT_TRUE(onDisk.has_value()) << "larger than the bound";
    EXPECT_EQ(ReadBack<AlertLogFile>(ServicePath(kAlertLogName)).AlertLog.size(),
              static_cast<std::size_t>(added - 1));

    // Later passes fail the same way without another line.
    addAlert(AlertKey(0));
    EXPECT_FALSE(engine->SaveAlertLog());
    EXPECT_EQ(ReadWholeFile(ServicePath(kAlertLogName)), onDisk);
    EXPECT_EQ(LogLinesWith("(it would be larger than 16384 bytes, the most a state file may "
                           "hold); the file written before is kept"),
              1);
    EXPECT_EQ(LogLinesWith("could not be written"), 1);

    // With a keep time of a day the old alerts are removed, and the log is made without them.
    KeepAlertsFor(1);
    ASSERT_TRUE(engine->SaveAlertLog());
    EXPECT_EQ(LogLinesWith("written again"), 1);
    engine = std::make_unique<CTarvellFrm>(env);
    engine->LoadAlertLog();
    EXPECT_EQ(engine->AlertLog.size(), 1u);
}

TEST_F(SiblingDatabaseTest, NoSiblingProductMeansNothingIsRead) {
    WriteSibling(SampleDatabase());
    EngineEnvironment env = Environment();
    env.SiblingFolder.clear();
    CTarvellFrm alone(env);
    EXPECT_FALSE(alone.LoadSiblingDatabase());
    EXPECT_EQ(clock.Sleeps(), 0);
    EXPECT_TRUE(alone.SiblingSwitches.empty());
    EXPECT_TRUE(log.Lines().empty());
}

// The sibling folder is read at start; one registered, moved or removed later was ignored without
// a word. Each new registration is now logged once however many passes see it, an unreadable
// registry says nothing, and the folder of the start stays in use.
TEST_F(SiblingDatabaseTest, ARegistrationChangedWhileRunningIsLoggedOnce) {
    WriteSibling(SampleDatabase());
    std::optional<std::string> registered;
    EngineEnvironment env = Environment();
    env.siblingFolderNow = [&] { return registered; };
    CTarvellFrm running(env);
    const std::string other = JoinPath(root, "elsewhere");
    // what the registry names, and the lines logged about it so far
    const std::pair<std::optional<std::string>, int> steps[] = {
        {siblingFolder, 0}, {std::nullopt, 0}, {other, 1},        {std::nullopt, 1},
        {siblingFolder, 1}, {other, 2},        {std::string(), 3}};
    for (const auto& [now, lines] : steps) {
        registered = now;
        for (int pass = 0; pass < 3; ++pass) running.Pass();
        EXPECT_EQ(LogLinesWith("The sibling product "), lines) << now.value_or("unreadable");
    }
    EXPECT_EQ(running.SiblingSwitches.size(), 3u);
}

}  // namespace
}  // namespace tarvell::enginetest
