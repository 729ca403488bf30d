#include "viewer/core/hub/CTarvellApp.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <fcntl.h>

#include <algorithm>
#include <atomic>
#include <ctime>
#include <thread>

#include "platform/ManualResetEvent.h"
#include "viewer/core/hub/CTarvellPopup.h"
#include "viewer/core/hub/FileWatch.h"
#include "viewer/core/hub/Readers.h"
#include "tests/viewer/core/ViewerFixture.h"

namespace tarvell {
namespace {

using test::MakeAlert;
using test::MakeEvent;
using test::ViewerFixture;
using ::testing::ElementsAre;

class HubTest : public ViewerFixture {
protected:
    CTarvellApp& Connected() {
        CTarvellApp& app = StartApp();
        EXPECT_TRUE(app.ReloadDocument());
        app.ReadIdentity();
        app.LoadEvents();
        app.LoadAlerts();
        return app;
    }
    CTarvellDoc Saved() {
        CTarvellDoc doc;
        EXPECT_TRUE(doc.LoadFromFile(ViewerDocument::HandOverPath(server_)));
        return doc;
    }
};

// ---- the settings document

TEST_F(HubTest, APendingHandOverCopyIsReadInsteadOfTheServicesFile) {
    CTarvellDoc service = DefaultSettings();
    service.EmailSubject = "service";
    WriteSettings(service);
    CTarvellApp& app = StartApp();
    ASSERT_TRUE(app.ReloadDocument());
    EXPECT_EQ(app.Document().Fields().EmailSubject, "service");
    EXPECT_EQ(app.Document().Title(), "Local");

    app.Document().Fields().EmailSubject = "edited";
    ASSERT_TRUE(app.SaveDocument());
    EXPECT_TRUE(FileExists(JoinPath(server_, "handover/Tarvell.ini")));
    EXPECT_FALSE(FileExists(JoinPath(server_, "handover/Tarvell.ini.tmp")));
    app.Document().Fields().EmailSubject = "lost";
    ASSERT_TRUE(app.ReloadDocument());
    EXPECT_EQ(app.Document().Fields().EmailSubject, "edited");
}

TEST_F(HubTest, AFailedLoadKeepsEveryFieldAndTheTitle) {
    CTarvellApp& app = StartApp();
    EXPECT_FALSE(app.ReloadDocument());  // no file yet: five tries on the clock
    EXPECT_EQ(clock_.Sleeps(), 5);
    EXPECT_EQ(app.Document().Title(), "Not Connected");

    CTarvellDoc service = DefaultSettings();
    service.EmailSubject = "good";
    WriteSettings(service);
    ASSERT_TRUE(app.ReloadDocument());
    ASSERT_TRUE(AtomicWriteFile(JoinPath(server_, "Tarvell.ini"), std::string("\x03"
                                                                              "3.6\x01",
                                                                              5)));
    EXPECT_FALSE(app.ReloadDocument());
    EXPECT_EQ(app.Document().Fields().EmailSubject, "good");
    EXPECT_EQ(app.Document().Title(), "Local");
}

// ---- filters and counts

TEST_F(HubTest, TheEventFilterKeepsWhatIsStillBlockedOrShut) {
    CTarvellDoc settings = DefaultSettings();
    settings.DeleteRequests = {"S1/1", "S1/2", "S1/3"};
    settings.BlockRequests = {"S1/5;bob@CORP"};
    WriteSettings(settings);
    WriteEvents({{"S1/1", MakeEvent("New Mac")},                   // deletion requested: dropped
                 {"S1/2", MakeEvent("New Mac", 1)},                // requested but blocked: stays
                 {"S1/3", MakeEvent("New Mac", 0, "1700000100")},  // requested but shut: stays
                 {"S1/4", MakeEvent("New Mac", 0, "", 1)},         // deleted by the service
                 {"S1/5", MakeEvent("New Mac")},                   // block request pending
                 {"S1/6", MakeEvent("New Ip")}});
    CTarvellApp& app = Connected();
    const auto events = app.Events();
    EXPECT_EQ(events->EventMap.size(), 4u);
    EXPECT_EQ(events->EventMap.count("S1/1"), 0u);
    EXPECT_EQ(events->EventMap.count("S1/4"), 0u);
    EXPECT_EQ(app.EventCounts(), (ItemCounts{4, 1, 3}));
    EXPECT_EQ(events->SwitchCount, "2");
    EXPECT_EQ(events->PortNames.at("S1/3"), "Gi0/3");
}

TEST_F(HubTest, RemovedAndTestAlertsAreNotCountedAsDetectionOrPrevention) {
    CTarvellDoc settings = DefaultSettings();
    settings.RemovedAlerts = {"1700000000.1"};
    WriteSettings(settings);
    WriteAlerts({{"1700000000.1", MakeAlert("Detection")},
                 {"1700000000.2", MakeAlert("Detection", 1)},
                 {"1700000000.3", MakeAlert("Detection")},
                 {"1700000000.4", MakeAlert("Prevention")},
                 {"1700000000.5", MakeAlert("Test Alert")}});
    CTarvellApp& app = Connected();
    EXPECT_EQ(app.Alerts()->AlertLog.size(), 3u);
    EXPECT_EQ(app.AlertCounts(), (ItemCounts{3, 1, 1}));
}

// ---- mutators

TEST_F(HubTest, BlockingMovesACountOnlyForAnEventCountedAsDetection) {
    WriteSettings(DefaultSettings());
    WriteEvents({{"S1/1", MakeEvent("New Mac")}, {"S1/2", MakeEvent("New Mac", 1)}});
    CTarvellApp& app = Connected();
    ASSERT_EQ(app.EventCounts(), (ItemCounts{2, 1, 1}));
    app.BlockEvent("S1/1");
    EXPECT_EQ(app.EventCounts(), (ItemCounts{2, 0, 2}));
    app.BlockEvent("S1/1");  // already counted as prevention
    app.BlockEvent("S1/2");  // blocked already
    app.BlockEvent("S9/9");  // not there
    EXPECT_EQ(app.EventCounts(), (ItemCounts{2, 0, 2}));
    EXPECT_THAT(Saved().BlockRequests,
                ElementsAre("S1/1;alice@CORP", "S1/2;alice@CORP", "S9/9;alice@CORP"));
}

TEST_F(HubTest, ARemovedEventStaysAwayAndLowersTheCountOfItsState) {
    CTarvellDoc settings = DefaultSettings();
    settings.EventNotes = {"S1/1;note one", "S1/2;other"};
    WriteSettings(settings);
    WriteEvents({{"S1/1", MakeEvent("New Mac", 1)}, {"S1/2", MakeEvent("New Ip")}});
    CTarvellApp& app = Connected();
    EXPECT_FALSE(app.RemoveEvent("S9/9"));
    ASSERT_TRUE(app.RemoveEvent("S1/1"));
    EXPECT_EQ(app.EventCounts(), (ItemCounts{1, 1, 0}));  // it was counted as prevention
    EXPECT_THAT(Saved().DeleteRequests, ElementsAre("S1/1"));
    EXPECT_THAT(Saved().EventNotes, ElementsAre("S1/2;other"));

    // The pass that began before the removal is dropped; later passes keep it out only while
    // it is not blocked (the file still holds it blocked, so it comes back as prevention).
    CTarvellDb reader(app);
    ASSERT_TRUE(reader.PassOnce());
    EXPECT_EQ(app.Events()->EventMap.count("S1/1"), 0u);
    WriteEvents({{"S1/1", MakeEvent("New Mac")}, {"S1/2", MakeEvent("New Ip")}});
    ASSERT_TRUE(reader.PassOnce());
    EXPECT_EQ(app.Events()->EventMap.count("S1/1"), 0u);
    EXPECT_EQ(app.EventCounts(), (ItemCounts{1, 1, 0}));
}

TEST_F(HubTest, RemovingAndClearingAlertsRecountsByCategory) {
    WriteSettings(DefaultSettings());
    WriteAlerts({{"1.1", MakeAlert("Detection")},
                 {"1.2", MakeAlert("Detection")},
                 {"1.3", MakeAlert("Prevention")},
                 {"1.4", MakeAlert("Test Alert")}});
    CTarvellApp& app = Connected();
    EXPECT_FALSE(app.RemoveAlert("9.9"));
    ASSERT_TRUE(app.RemoveAlert("1.3"));
    EXPECT_EQ(app.AlertCounts(), (ItemCounts{3, 2, 0}));
    app.ClearDetectionAlerts();
    EXPECT_EQ(app.AlertCounts(), (ItemCounts{1, 0, 0}));  // the test alert is left
    EXPECT_THAT(Saved().RemovedAlerts, ElementsAre("1.3", "1.1", "1.2"));
    CTarvellLog reader(app);
    ASSERT_TRUE(reader.PassOnce());  // dropped once after the local change
    EXPECT_EQ(app.Alerts()->AlertLog.size(), 1u);
}

TEST_F(HubTest, RemovingAlertsInOneBatchSavesOnceAndAFailedReloadRemovesNothing) {
    WriteSettings(DefaultSettings());
    WriteAlerts({{"1.1", MakeAlert("Detection")},
                 {"1.2", MakeAlert("Detection")},
                 {"1.3", MakeAlert("Prevention")},
                 {"1.4", MakeAlert("Detection")}});
    CTarvellApp& app = Connected();
    EditResult saved = EditResult::SaveFailed;
    EXPECT_THAT(app.RemoveAlerts({"1.4", "9.9", "1.1", "1.4", "1.3"}, &saved),
                ElementsAre("1.4", "1.1", "1.3"));
    EXPECT_EQ(saved, EditResult::Saved);
    EXPECT_EQ(app.AlertCounts(), (ItemCounts{1, 1, 0}));
    EXPECT_THAT(Saved().RemovedAlerts, ElementsAre("1.4", "1.1", "1.3"));
    EXPECT_TRUE(app.RemoveAlerts({"9.9"}, &saved).empty());
    EXPECT_EQ(saved, EditResult::Saved);  // nothing to remove is no failure

    // The server's settings cannot be read: nothing leaves the hub and no file is written.
    const std::string handover = JoinPath(JoinPath(server_, "handover"), "Tarvell.ini");
    const std::string ini = JoinPath(server_, "Tarvell.ini");
    ASSERT_EQ(std::remove(handover.c_str()), 0);
    ASSERT_EQ(std::remove(ini.c_str()), 0);
    ASSERT_TRUE(MakeDirectories(ini));  // no file to read
    EXPECT_TRUE(app.RemoveAlerts({"1.2"}, &saved).empty());
    EXPECT_EQ(saved, EditResult::ReloadFailed);
    EXPECT_EQ(app.ClearDetectionAlerts(), EditResult::ReloadFailed);  // the clear stops too
    EXPECT_EQ(app.Alerts()->AlertLog.count("1.2"), 1u);
    EXPECT_EQ(app.AlertCounts(), (ItemCounts{1, 1, 0}));
    EXPECT_FALSE(FileExists(handover));
}

// ---- readers

TEST_F(HubTest, ADamagedFileKeepsThePreviousSnapshot) {
    WriteSettings(DefaultSettings());
    WriteEvents({{"S1/1", MakeEvent("New Mac")}});
    WriteAlerts({{"1.1", MakeAlert("Detection")}});
    CTarvellApp& app = Connected();
    ASSERT_TRUE(AtomicWriteFile(JoinPath(server_, "Tarvell.db"), "damaged"));
    ASSERT_TRUE(AtomicWriteFile(JoinPath(server_, "Tarvell.log"), std::string("\xff\xff", 2)));
    EXPECT_FALSE(CTarvellDb(app).PassOnce());
    EXPECT_FALSE(CTarvellLog(app).PassOnce());
    EXPECT_EQ(app.Events()->EventMap.size(), 1u);
    EXPECT_EQ(app.Alerts()->AlertLog.size(), 1u);
}

TEST_F(HubTest, AServerFolderWhoseNameLooksLikeAFileKindWorks) {
    const std::string odd = JoinPath(root_, "x.log.d Tarvell.db");
    ASSERT_TRUE(MakeDirectories(odd));
    WriteSettings(DefaultSettings(), odd);
    WriteEvents({{"S1/1", MakeEvent("New Mac")}}, odd);
    WriteAlerts({{"1.1", MakeAlert("Prevention")}}, odd);
    CTarvellApp& app = StartApp();
    app.SetServers({{"Odd", {1, odd}}});
    ASSERT_TRUE(app.SelectServer("Odd"));
    EXPECT_EQ(app.Events()->EventMap.size(), 1u);
    EXPECT_EQ(app.Alerts()->AlertLog.size(), 1u);
    // The counts came with the connect (they read 0 until the next reader pass).
    EXPECT_EQ(app.EventCounts(), (ItemCounts{1, 1, 0}));
    EXPECT_EQ(app.AlertCounts(), (ItemCounts{1, 0, 1}));
}

TEST_F(HubTest, AConnectThatFailsKeepsTheServerAndItsData) {
    WriteSettings(DefaultSettings());
    WriteEvents({{"S1/1", MakeEvent("New Mac")}});
    CTarvellApp& app = Connected();
    app.SetServers({{"Local", {1, server_}}, {"Gone", {0, JoinPath(root_, "missing")}}});
    EXPECT_FALSE(app.SelectServer("Gone"));
    EXPECT_FALSE(app.SelectServer("Unknown"));
    EXPECT_EQ(app.Server().Name, "Local");
    EXPECT_EQ(app.Document().Title(), "Local");
    EXPECT_EQ(app.Events()->EventMap.size(), 1u);
}

TEST_F(HubTest, AServerFolderChangeAppliesAtTheNextPass) {
    const std::string other = JoinPath(root_, "other");
    ASSERT_TRUE(MakeDirectories(other));
    WriteSettings(DefaultSettings());
    WriteSettings(DefaultSettings(), other);
    WriteEvents({{"S1/1", MakeEvent("New Mac")}});
    WriteEvents({{"S2/1", MakeEvent("New Mac")}, {"S2/2", MakeEvent("New Ip")}}, other);
    CTarvellApp& app = Connected();
    CTarvellDb reader(app);
    app.SetServers({{"Local", {1, server_}}, {"Other", {0, other}}});
    ASSERT_TRUE(app.SelectServer("Other"));
    ASSERT_TRUE(reader.PassOnce());
    EXPECT_EQ(app.Events()->EventMap.size(), 2u);
    EXPECT_EQ(app.EventCounts().total, 2);
}

TEST_F(HubTest, ReadMarksArePrunedPerServer) {
    WriteSettings(DefaultSettings());
    WriteEvents({{"S1/1", MakeEvent("New Mac")}, {"S1/2", MakeEvent("New Mac")}});
    CTarvellApp& app = Connected();
    app.MarkEventRead("S1/1");
    app.MarkEventRead("S1/2");
    WriteEvents({{"S1/2", MakeEvent("New Mac")}});  // S1/1 purged by the service
    ASSERT_TRUE(CTarvellDb(app).PassOnce());
    EXPECT_FALSE(app.IsEventRead("S1/1"));
    EXPECT_TRUE(app.IsEventRead("S1/2"));

    // Another server's pass does not touch these marks.
    const std::string other = JoinPath(root_, "other");
    ASSERT_TRUE(MakeDirectories(other));
    WriteSettings(DefaultSettings(), other);
    WriteEvents({}, other);
    app.SetServers({{"Local", {1, server_}}, {"Other", {0, other}}});
    ASSERT_TRUE(app.SelectServer("Other"));
    ASSERT_TRUE(CTarvellDb(app).PassOnce());
    ASSERT_TRUE(app.SelectServer("Local"));
    EXPECT_TRUE(app.IsEventRead("S1/2"));
}

// ---- unchanged files

// Moves a file's times `seconds` into the past (its stamp is then old enough to trust).
void Age(const std::string& path, int seconds = 60) {
    const std::int64_t then = std::time(nullptr) - seconds;
    const struct timespec times[2] = {{then, 123}, {then, 123}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST_F(HubTest, APassOverFilesNobodyChangedPublishesNothingAndAChangeIsPublishedOnce) {
    CTarvellDoc settings = DefaultSettings();
    WriteSettings(settings);
    WriteEvents({{"S1/1", MakeEvent("New Mac")}, {"S1/2", MakeEvent("New Ip")}});
    WriteAlerts({{"1.1", MakeAlert("Detection")}});
    const std::string db = JoinPath(server_, "Tarvell.db"), log = JoinPath(server_, "Tarvell.log");
    for (const std::string& path : {db, log, JoinPath(server_, "Tarvell.ini")}) Age(path);
    CTarvellApp& app = Connected();
    std::vector<HubChange> heard;
    app.AddHubListener([&](HubChange change) { heard.push_back(change); });
    CTarvellDb events(app);
    CTarvellLog alerts(app);
    ASSERT_TRUE(events.PassOnce());
    ASSERT_TRUE(alerts.PassOnce());
    const auto eventSnapshot = app.Events();
    const auto alertSnapshot = app.Alerts();
    heard.clear();

    struct Case {
        const char* what;
        std::function<void()> change;
        bool published;
    };
    const std::vector<Case> cases = {
        {"nothing", [] {}, false},
        {"the same bytes written again",
         [&] {
             const std::string bytes = ReadWholeFile(db).value_or("");
             ASSERT_TRUE(AtomicWriteFile(db, bytes));
             Age(db);
             ASSERT_TRUE(AtomicWriteFile(log, ReadWholeFile(log).value_or("")));
         },
         false},
        // Written just now: the stamp is not trusted, the next pass compares the bytes.
        {"the same bytes, recently",
         [&] { ASSERT_TRUE(AtomicWriteFile(db, ReadWholeFile(db).value_or(""))); }, false},
        {"a new event",
         [&] {
             WriteEvents({{"S1/1", MakeEvent("New Mac")},
                          {"S1/2", MakeEvent("New Ip")},
                          {"S1/3", MakeEvent("New Name")}});
         },
         true},
        {"a deletion requested by another viewer",
         [&] {
             settings.DeleteRequests = {"S1/3"};
             WriteSettings(settings);
         },
         true},
    };
    for (const Case& c : cases) {
        const int before = events.Publications();
        const auto snapshot = app.Events();
        c.change();
        ASSERT_TRUE(events.PassOnce()) << c.what;
        ASSERT_TRUE(events.PassOnce()) << c.what;  // a second look changes nothing more
        EXPECT_EQ(events.Publications() - before, c.published ? 1 : 0) << c.what;
        EXPECT_EQ(app.Events() == snapshot, !c.published) << c.what;
        ASSERT_TRUE(alerts.PassOnce()) << c.what;
        EXPECT_EQ(app.Alerts(), alertSnapshot) << c.what;
    }
    EXPECT_EQ(app.Events()->EventMap.size(), 2u);
    EXPECT_EQ(std::count(heard.begin(), heard.end(), HubChange::EventsPublished), 2);
    EXPECT_EQ(std::count(heard.begin(), heard.end(), HubChange::AlertsPublished), 0);
    EXPECT_NE(eventSnapshot, app.Events());

    // An alert the user removes comes with new settings: the alerts are filtered again.
    ASSERT_TRUE(app.RemoveAlert("1.1"));
    ASSERT_TRUE(events.PassOnce());
    ASSERT_TRUE(alerts.PassOnce());  // dropped: the removal came first
    ASSERT_TRUE(alerts.PassOnce());
    EXPECT_EQ(alerts.Publications(), 2);
    EXPECT_TRUE(app.Alerts()->AlertLog.empty());
}

TEST(FileStamp, OnlyAStampOldEnoughForItsFileSystemsClockIsTrusted) {
    FileStamp fine;
    fine.modifiedNs = 1'700'000'000'123'000'000;
    fine.changedNs = fine.modifiedNs;
    FileStamp coarse;
    coarse.modifiedNs = coarse.changedNs = 1'700'000'000'000'000'000;
    EXPECT_LT(StampTrustDelayNs(fine), 1'000'000'000);
    EXPECT_GE(StampTrustDelayNs(coarse), 2'000'000'000);  // two-second file systems
    EXPECT_NE(BytesDigest("abc"), BytesDigest("abd"));
}

// ---- identity and permissions

TEST(Identity, TheFirstUpInterfaceThatIsNotLoopbackGivesAddressAndHardware) {
    IdentitySources sources;
    sources.interfaces = [] {
        return std::vector<InterfaceAddress>{
            {"lo", "127.0.0.1", true, true, ""},
            {"eth9", "192.168.7.7", false, false, "\x01\x02\x03\x04\x05\x06"},
            {"eth0", "10.1.2.3", true, false, std::string("\x00\x1a\xff\x3c\x4d\x5e", 6)}};
    };
    sources.userName = [] { return std::string("alice"); };
    sources.hostName = [] { return std::string("desk7.branch.example"); };
    sources.domainName = [] { return std::string(); };
    sources.reverseName = [](const std::string&) { return std::string(); };
    const MachineIdentity id = ReadMachineIdentity(sources);
    EXPECT_EQ(id.LocalIp, "10.1.2.3");
    EXPECT_EQ(id.LocalMac, "001AFF3C4D5E");
    EXPECT_EQ(id.ComputerName, "desk7");
    EXPECT_EQ(id.HostName, "");
    EXPECT_EQ(id.DomainName, "branch.example");

    sources.interfaces = [] {
        return std::vector<InterfaceAddress>{{"lo", "127.0.0.1", true, true, ""}};
    };
    sources.hostName = [] { return std::string("desk7"); };
    const MachineIdentity alone = ReadMachineIdentity(sources);
    EXPECT_EQ(alone.LocalIp, "");
    EXPECT_EQ(alone.LocalMac, "");
    EXPECT_EQ(alone.DomainName, "desk7");  // no workgroup of another system's
}

TEST_F(HubTest, PermissionsComeFromTheFirstEntryThatFitsThisUserAndMachine) {
    WriteSettings(DefaultSettings());
    CTarvellApp& app = Connected();
    std::vector<std::string>& users = app.Document().Fields().ViewerUsers;
    struct Case {
        std::vector<std::string> entries;
        const char* expected;
    } cases[] = {
        {{"alice@DESK7/Alice;Monitor;"}, "Monitor;"},
        {{"ALICE@10.1.2.3/Alice;ip;"}, "ip;"},
        {{"alice@001a2b3c4d5e/Alice;mac;"}, "mac;"},
        {{"alice@desk7.corp.example/Alice;host;"}, "host;"},
        {{"alice@corp/Alice;domain;"}, "domain;"},
        {{"alice@other/Alice;no;", "everyone/All;all;"}, "all;"},
        {{"alice;no slash"}, ""},
        {{"bob/Bob;x;",
          "Guest/Built-in account for guest access to the selected Tarvell server;guest;"},
         "guest;"},
        {{"bob/Bob;x;",
          "guest/built-in account for guest access to the selected tarvell server;g;"},
         ""},
        {{}, ""},
    };
    for (const Case& c : cases) {
        users = c.entries;
        EXPECT_EQ(app.GetUserPermissions(), c.expected) << (c.entries.empty() ? "" : c.entries[0]);
    }
}

// ---- change notifications

TEST_F(HubTest, EachChangeIsAnnouncedOnceWithTheHubsLocksFree) {
    WriteSettings(DefaultSettings());
    WriteEvents({{"S1/1", MakeEvent("New Mac")}, {"S1/2", MakeEvent("New Ip")}});
    WriteAlerts({{"1.1", MakeAlert("Detection")},
                 {"1.2", MakeAlert("Prevention")},
                 {"1.3", MakeAlert("Detection")}});
    CTarvellApp& app = Connected();
    std::vector<HubChange> heard;
    const int id = app.AddHubListener([&](HubChange change) {
        heard.push_back(change);
        // Another thread gets both hub locks while the listener runs (a held lock would hang).
        std::thread other([&] {
            (void)app.EventCounts();
            (void)app.AlertCounts();
        });
        other.join();
    });
    using C = HubChange;
    const struct {
        std::function<void()> change;
        std::vector<HubChange> expected;
    } cases[] = {
        {[&] { app.BlockEvent("S1/1"); }, {C::EventsChangedLocally}},
        {[&] { EXPECT_TRUE(app.RemoveEvent("S1/2")); }, {C::EventsChangedLocally}},
        {[&] { EXPECT_FALSE(app.RemoveEvent("S9/9")); }, {}},
        {[&] { EXPECT_TRUE(app.RemoveAlert("1.3")); }, {C::AlertsChangedLocally}},
        {[&] { EXPECT_FALSE(app.RemoveAlert("9.9")); }, {}},
        {[&] { app.ClearDetectionAlerts(); }, {C::AlertsChangedLocally}},
        {[&] { app.ClearPreventionAlerts(); }, {C::AlertsChangedLocally}},
        // The snapshot after a local change is dropped once, and so is its notice.
        {[&] { app.SetEvents(std::make_shared<EventsSnapshot>(), {}); }, {}},
        {[&] { app.SetEvents(std::make_shared<EventsSnapshot>(), {}); }, {C::EventsPublished}},
        {[&] { app.SetAlerts(std::make_shared<AlertsSnapshot>(), {}); }, {}},
        {[&] { app.SetAlerts(std::make_shared<AlertsSnapshot>(), {}); }, {C::AlertsPublished}},
        {[&] { EXPECT_TRUE(app.LoadEvents()); }, {C::EventsPublished}},
        {[&] { app.NotifyHub(C::SettingsSaved); }, {C::SettingsSaved}},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        heard.clear();
        cases[i].change();
        EXPECT_EQ(heard, cases[i].expected) << "case " << i;
    }

    // A removed listener is not called again, and a listener may remove itself in its call.
    app.RemoveHubListener(id);
    app.RemoveHubListener(id);
    int calls = 0, self = 0;
    self = app.AddHubListener([&](HubChange) {
        ++calls;
        app.RemoveHubListener(self);
    });
    app.NotifyHub(C::SettingsReloaded);
    app.NotifyHub(C::SettingsReloaded);
    EXPECT_EQ(calls, 1);
    heard.clear();
    app.NotifyHub(C::SettingsReloaded);
    EXPECT_TRUE(heard.empty());
}

// After RemoveHubListener returns on one thread, a call running on another has finished.
TEST_F(HubTest, ListenerRemovalConcurrencyTest) {
    CTarvellApp& app = StartApp();
    std::atomic<bool> inside{false}, finished{false};
    const int id = app.AddHubListener([&](HubChange) {
        inside = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        finished = true;
    });
    std::thread reader([&] { app.NotifyHub(HubChange::EventsPublished); });
    while (!inside) std::this_thread::yield();
    app.RemoveHubListener(id);
    EXPECT_TRUE(finished);
    reader.join();
}

TEST_F(HubTest, TheServerStateIsAnnouncedOnlyWhenTheServiceOrTheFilesHealthChanges) {
    CTarvellApp& app = StartApp();
    int answer = 1, asked = 0, heard = 0;
    app.AddHubListener([&](HubChange change) { heard += change == HubChange::ServerStateChanged; });
    EXPECT_EQ(app.ProbeService(), -1) << "nothing to ask yet";
    app.SetServiceProbe([&] {
        ++asked;
        return answer;
    });
    struct Step {
        const char* what;
        std::function<void()> act;
        int state;
        bool announced;
    };
    const std::vector<Step> steps = {
        {"the first answer", [&] { app.ProbeService(); }, 1, true},
        {"the same answer", [&] { app.ProbeService(); }, 1, false},
        {"stopped", [&] { answer = 0, app.ProbeService(); }, 0, true},
        {"unreachable", [&] { answer = -1, app.ProbeService(); }, -1, true},
        {"a damaged events file", [&] { app.NoteStateFile("Tarvell.db", false); }, -1, true},
        {"still damaged", [&] { app.NoteStateFile("Tarvell.db", false); }, -1, false},
        {"read again", [&] { app.NoteStateFile("Tarvell.db", true); }, -1, true},
        {"a refused hand-over", [&] { app.SetHandOverRefused(true); }, -1, true},
        {"still refused", [&] { app.SetHandOverRefused(true); }, -1, false},
    };
    for (const Step& step : steps) {
        const int before = heard;
        step.act();
        EXPECT_EQ(app.ServiceState(), step.state) << step.what;
        EXPECT_EQ(heard - before, step.announced ? 1 : 0) << step.what;
    }
    EXPECT_EQ(asked, 4);
    app.SetServiceProbe(nullptr);
    EXPECT_EQ(app.ProbeService(), -1) << "without a probe the last answer stays";
    EXPECT_EQ(asked, 4);
}

// ---- threads

TEST_F(HubTest, ReadersConcurrencyTest) {
    WriteSettings(DefaultSettings());
    WriteEvents({{"S1/1", MakeEvent("New Mac")}, {"S1/2", MakeEvent("New Ip")}});
    WriteAlerts({{"1.1", MakeAlert("Detection")}});
    CTarvellApp& app = StartApp();
    ASSERT_TRUE(app.ReloadDocument());
    app.StartReaders();
    app.StartReaders();  // once per process
    EXPECT_TRUE(app.ReadersStarted());
    std::thread screens([&] {
        for (int i = 0; i < 200; ++i) {
            ObjectMap<CEventItem> copy;
            app.CopyEvents(copy);
            CAlertItem alert;
            app.LookupAlert("1.1", alert);
            (void)app.EventCounts();
        }
    });
    for (int i = 0; i < 20; ++i) {
        WriteEvents(
            {{"S1/1", MakeEvent("New Mac")}, {"S1/" + std::to_string(i + 2), MakeEvent("New Ip")}});
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    screens.join();
    app_.reset();  // stops and joins both readers
}

}  // namespace
}  // namespace tarvell

namespace tarvell {
namespace {

TEST_F(HubTest, PopupsShowWhatArrivedSinceTheConnectOldestFirstAndOnce) {
    WriteSettings(DefaultSettings());
    clock_.Set(1700000100);
    WriteAlerts({{"1700000050.1", MakeAlert("Detection")}});  // before the connect
    CTarvellApp& app = Connected();
    std::vector<std::string> shown;
    CTarvellPopup popup(app, [&](const std::string& key, const CAlertItem&,
                                 const ManualResetEvent&) { shown.push_back(key); });
    EXPECT_EQ(popup.LookOnce(), 0);
    WriteAlerts({{"1700000050.1", MakeAlert("Detection")},
                 {"1700000200.10", MakeAlert("Detection")},
                 {"1700000300.x", MakeAlert("Detection")},  // not a key: never shown
                 {"1700000200.9", MakeAlert("Prevention")},
                 {"1700000150.1", MakeAlert("Detection")}});
    ASSERT_TRUE(CTarvellLog(app).PassOnce());
    EXPECT_EQ(popup.LookOnce(), 3);
    EXPECT_EQ(popup.LookOnce(), 0);
    EXPECT_EQ(shown, (std::vector<std::string>{"1700000150.1", "1700000200.9", "1700000200.10"}));
    app.SetPopupPreferences(0, 10, "");
    WriteAlerts({{"1700000300.1", MakeAlert("Detection")}});
    ASSERT_TRUE(CTarvellLog(app).PassOnce());
    EXPECT_EQ(popup.LookOnce(), 0);
}

TEST_F(HubTest, PopupsTurnedOffDuringALookShowTheRestOfTheSameSnapshotOnceBackOn) {
    WriteSettings(DefaultSettings());
    clock_.Set(1700000100);
    CTarvellApp& app = Connected();
    std::vector<std::string> shown;
    CTarvellPopup popup(
        app, [&](const std::string& key, const CAlertItem&, const ManualResetEvent&) {
            shown.push_back(key);
            app.SetPopupPreferences(0, 10, "");  // the user turns them off while the first shows
        });
    EXPECT_EQ(popup.LookOnce(), 0);
    WriteAlerts(
        {{"1700000200.1", MakeAlert("Detection")}, {"1700000200.2", MakeAlert("Detection")}});
    ASSERT_TRUE(CTarvellLog(app).PassOnce());
    EXPECT_EQ(popup.LookOnce(), 1);
    app.SetPopupPreferences(1, 10, "");
    EXPECT_EQ(popup.LookOnce(), 1) << "the same snapshot, not looked at whole";
    app.SetPopupPreferences(1, 10, "");
    EXPECT_EQ(popup.LookOnce(), 0);
    EXPECT_EQ(shown, (std::vector<std::string>{"1700000200.1", "1700000200.2"}));
}

// The popup thread on the fake clock: what a look shows, with the records it was given.
class PopupTest : public HubTest {
protected:
    CTarvellApp& Start(const std::map<std::string, CAlertItem>& alerts) {
        WriteSettings(DefaultSettings());
        clock_.Set(kNow);
        WriteAlerts(alerts);
        CTarvellApp& app = Connected();
        clock_.Set(kNow);  // the loads' retries moved it
        popup_ = std::make_unique<CTarvellPopup>(
            app, [this](const std::string& key, const CAlertItem& alert, const ManualResetEvent&) {
                shown_.push_back(key + " " + alert.Current);
            });
        return app;
    }
    // The hub reads `alerts`, then the popup thread looks once; returns what popped up.
    std::vector<std::string> Pass(const std::map<std::string, CAlertItem>& alerts) {
        WriteAlerts(alerts);
        EXPECT_TRUE(CTarvellLog(*app_).PassOnce());
        shown_.clear();
        popup_->LookOnce();
        return shown_;
    }
    static CAlertItem Alert(std::string current) {
        CAlertItem a = MakeAlert("Detection");
        a.Current = std::move(current);
        return a;
    }
    static std::string Key(std::int64_t seconds, int counter = 1) {
        return std::to_string(seconds) + "." + std::to_string(counter);
    }
    static constexpr std::int64_t kNow = 1700000100;
    std::unique_ptr<CTarvellPopup> popup_;
    std::vector<std::string> shown_;
};

TEST_F(PopupTest, TheStartingPointFollowsTheFirstLookWithPopupsOnAndTheServer) {
    using Shown = std::vector<std::string>;
    std::map<std::string, CAlertItem> alerts;
    for (int i = 0; i < 100; ++i) alerts[Key(kNow - 500 + i)] = Alert("old");
    CTarvellApp& app = Start(alerts);
    app.SetPopupPreferences(0, 0, "");  // off at the start: no starting point yet
    clock_.Advance(30);
    alerts[Key(kNow + 10)] = Alert("before on");
    EXPECT_EQ(Pass(alerts), Shown{});
    app.SetPopupPreferences(1, 0, "");
    EXPECT_EQ(Pass(alerts), Shown{});  // older than the first look with popups on
    clock_.Advance(60);
    alerts[Key(kNow + 90)] = Alert("minute");
    EXPECT_EQ(popup_->LookOnce(), 0);  // not read by the hub yet
    EXPECT_EQ(Pass(alerts), Shown{Key(kNow + 90) + " minute"});
    EXPECT_EQ(Pass(alerts), Shown{});

    // Off later: nothing is reset, and what comes meanwhile pops up once they are back on.
    app.SetPopupPreferences(0, 0, "");
    clock_.Advance(60);
    alerts[Key(kNow + 150)] = Alert("while off");
    EXPECT_EQ(Pass(alerts), Shown{});
    app.SetPopupPreferences(1, 0, "");
    EXPECT_EQ(Pass(alerts), Shown{Key(kNow + 150) + " while off"});

    // Another server: none of its alerts so far pops up, a later one does.
    const std::string other = JoinPath(root_, "other");
    ASSERT_TRUE(MakeDirectories(other));
    WriteSettings(DefaultSettings(), other);
    WriteAlerts({{Key(kNow + 100), Alert("there before")}}, other);
    app.SetServers({{"Local", {1, server_}}, {"Other", {0, other}}});
    ASSERT_TRUE(app.SelectServer("Other"));
    EXPECT_EQ(popup_->LookOnce(), 0);
    clock_.Advance(10);
    WriteAlerts({{Key(kNow + 100), Alert("there before")}, {Key(clock_.Now()), Alert("there new")}},
                other);
    ASSERT_TRUE(CTarvellLog(app).PassOnce());
    EXPECT_EQ(popup_->LookOnce(), 1);
}

TEST_F(PopupTest, AnAlertRemovedBeforeItsTurnIsSkippedAndTheNextFollows) {
    CTarvellApp& app = Start({});
    std::vector<std::string> shown;
    CTarvellPopup popup(
        app, [&](const std::string& key, const CAlertItem& alert, const ManualResetEvent&) {
            shown.push_back(alert.Current);
            if (key == Key(kNow + 1)) {
                EXPECT_TRUE(app.RemoveAlert(Key(kNow + 2)));  // while "one" is open
            }
        });
    EXPECT_EQ(popup.LookOnce(), 0);  // sets its starting point
    WriteAlerts({{Key(kNow + 1), Alert("one")},
                 {Key(kNow + 2), Alert("two")},
                 {Key(kNow + 3), Alert("three")}});
    ASSERT_TRUE(CTarvellLog(app).PassOnce());
    EXPECT_EQ(popup.LookOnce(), 2);
    EXPECT_EQ(shown, (std::vector<std::string>{"one", "three"}));
}

TEST_F(PopupTest, ConcurrencyTestEachPopupOpensAfterThePreviousClosedAndStopEndsAWaitingShow) {
    CTarvellApp& app = Start({});
    std::vector<std::string> order;  // written by the popup thread only
    std::atomic<int> open{0}, most{0};
    ManualResetEvent lastShown;
    ASSERT_TRUE(app.StartPopup(
        [&](const std::string&, const CAlertItem& alert, const ManualResetEvent& stop) {
            most = std::max(most.load(), ++open);
            order.push_back(alert.Current);
            if (alert.Current == "third") {
                lastShown.Set();
                stop.Wait();  // a popup left open until shutdown
            }
            --open;
        }));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the first look has passed
    WriteAlerts({{Key(kNow + 3), Alert("third")},
                 {Key(kNow + 1, 10), Alert("second")},
                 {Key(kNow + 1, 9), Alert("first")}});
    ASSERT_TRUE(CTarvellLog(app).PassOnce());
    ASSERT_TRUE(lastShown.WaitFor(5000));
    app.StopPopup();  // returns: the waiting show saw the stop
    EXPECT_EQ(order, (std::vector<std::string>{"first", "second", "third"}));
    EXPECT_EQ(most, 1);
}

}  // namespace
}  // namespace tarvell
