// The hand-over pass on real folders: settings files written by the settings code, taken over,
// reloaded and saved; the request lists applied to the engine's events and alerts.
#include <gtest/gtest.h>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/RecursiveLock.h"
#include "shared/HandOverFile.h"
#include "tests/service/engine/EngineFixture.h"

namespace tarvell::enginetest {
namespace {

bool FileIn(const std::string& folder, const std::string& prefix) {
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().filename().string().rfind(prefix, 0) == 0) return true;
    return false;
}

std::size_t CountOf(const std::vector<std::string>& list, const std::string& entry) {
    return static_cast<std::size_t>(std::count(list.begin(), list.end(), entry));
}

class HandOverTest : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        settings = BlankSettings();
        settings.SmtpServer = "mail.original";
        settings.SnmpTimeout = 1000;  // in range: a pass has nothing to correct
        WriteServiceSettings(settings);
        ASSERT_TRUE(engine->Document->LoadFromFile(ServiceSettingsPath(), clock));
        engine->PublishSettings();
    }

    // The viewer's way: change the service's settings and hand them over.
    void HandOver(const std::function<void(CTarvellDoc&)>& edit) {
        CTarvellDoc doc = ReadServiceSettings();
        edit(doc);
        WriteHandOver(doc);
    }

    std::size_t AlertsOfType(const std::string& type) {
        RecursiveGuard lock(engine->AlertLock);
        return static_cast<std::size_t>(
            std::count_if(engine->AlertLog.begin(), engine->AlertLog.end(),
                          [&](const auto& a) { return a.second->EventType == type; }));
    }

    CTarvellDoc settings;
};

// ---- taking the file over

TEST_F(HandOverTest, WithoutAHandOverFileTheOwnFileIsReloaded) {
    CTarvellDoc edited = settings;
    edited.SmtpServer = "mail.edited";
    WriteServiceSettings(edited);
    engine->ApplyViewerUpdates();
    EXPECT_EQ(engine->Document->SmtpServer, "mail.edited");
    EXPECT_EQ(engine->Settings()->SmtpServer, "mail.edited");
    EXPECT_EQ(clock.Sleeps(), 0);
}

TEST_F(HandOverTest, AHandOverFileIsInstalledAndRemoved) {
    HandOver([](CTarvellDoc& d) { d.SmtpServer = "mail.handed"; });
    engine->ApplyViewerUpdates();
    EXPECT_FALSE(FileExists(HandOverPath()));
    EXPECT_EQ(engine->Settings()->SmtpServer, "mail.handed");
    EXPECT_EQ(ReadServiceSettings().SmtpServer, "mail.handed");
}

TEST_F(HandOverTest, ADamagedHandOverFileLeavesTheSettingsAsTheyWere) {
    CTarvellDoc doc = settings;
    doc.SmtpServer = "mail.damaged";
    std::string bytes = doc.StoreToBytes();
    bytes.resize(bytes.size() / 2);
    ASSERT_TRUE(AtomicWriteFile(HandOverPath(), bytes, 0660));
    const auto before = ReadWholeFile(ServiceSettingsPath());

    engine->ApplyViewerUpdates();
    EXPECT_EQ(engine->Settings()->SmtpServer, "mail.original");
    EXPECT_EQ(ReadWholeFile(ServiceSettingsPath()), before);
    EXPECT_FALSE(FileExists(HandOverPath()));
    EXPECT_TRUE(FileIn(handOverFolder, "Tarvell.ini.bad-"));
    EXPECT_TRUE(LogMentions("damaged"));
}

TEST_F(HandOverTest, AHandOverFileRewrittenDuringThePassWaitsForTheNextPass) {
    HandOver([](CTarvellDoc& d) { d.SmtpServer = "mail.first"; });
    int calls = 0;
    engine->onHandOverTaken = [&] {
        if (calls++ > 0) return;
        CTarvellDoc newer = ReadServiceSettings();
        newer.SmtpServer = "mail.second";
        newer.SaveToFile(HandOverPath(), true);
    };
    engine->ApplyViewerUpdates();
    EXPECT_EQ(engine->Settings()->SmtpServer, "mail.first");
    ASSERT_TRUE(FileExists(HandOverPath()));

    engine->ApplyViewerUpdates();
    EXPECT_EQ(engine->Settings()->SmtpServer, "mail.second");
    EXPECT_FALSE(FileExists(HandOverPath()));
}

// A refused file is set aside at once: left in place, the viewer would have shown its values and
// a member's next save would have handed them over as hers.
TEST_F(HandOverTest, AHandOverFileOfAnotherUserOrWritableByOthersIsSetAside) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give the file away";
    const struct passwd* nobody = ::getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    const std::string path = HandOverPath();
    const std::string elsewhere = JoinPath(root, "elsewhere.ini");
    CTarvellDoc planted = settings;
    planted.SmtpServer = "mail.planted";
    ASSERT_TRUE(planted.SaveToFile(elsewhere, true));
    const auto foreign = [&](uid_t uid, gid_t gid, mode_t mode) {
        return [=, this] {
            HandOver([](CTarvellDoc& d) { d.SmtpServer = "mail.foreign"; });
            return ::chown(path.c_str(), uid, gid) == 0 && ::chmod(path.c_str(), mode) == 0;
        };
    };
    const struct {
        std::function<bool()> plant;
        std::string logged;
    } cases[] = {
        {foreign(nobody->pw_uid, 0, 0640), "is neither root nor an administrator; kept as"},
        {foreign(0, 0, 0666), "is writable by others; kept as"},
        // Writable by its group, which is not the administrators': its members could hand
        // over settings.
        {foreign(0, nobody->pw_gid, 0660), "writable by a group other than the administrators'"},
        {[&] { return ::symlink(elsewhere.c_str(), path.c_str()) == 0; }, "a symbolic link; kept"},
        {[&] { return ::mkfifo(path.c_str(), 0600) == 0; }, "not a regular file; kept as"},
        // A folder there once locked every administrator out of saving.
        {[&] { return ::mkdir(path.c_str(), 0700) == 0; }, "a folder; kept as"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(c.plant()) << c.logged;
        engine->ApplyViewerUpdates();
        EXPECT_EQ(engine->Settings()->SmtpServer, "mail.original") << c.logged;
        EXPECT_EQ(ReadServiceSettings().SmtpServer, "mail.original") << c.logged;
        EXPECT_FALSE(FileExists(path)) << c.logged;
        EXPECT_TRUE(LogMentions(c.logged));
    }
    std::size_t copies = 0;
    for (const auto& entry : std::filesystem::directory_iterator(handOverFolder))
        copies += entry.path().filename().string().rfind("Tarvell.ini.bad-", 0) == 0;
    EXPECT_EQ(copies, std::min(std::size(cases), kKeptBadCopies));  // the newest five are kept
    EXPECT_EQ(ReadWholeFile(elsewhere), planted.StoreToBytes()) << "a link's target is left alone";

    // Another group may read it: taken over.
    ASSERT_TRUE(foreign(0, nobody->pw_gid, 0640)());
    engine->ApplyViewerUpdates();
    EXPECT_EQ(engine->Settings()->SmtpServer, "mail.foreign");
    EXPECT_FALSE(FileExists(path));
}

// The service's own file is reached by the hand-over only: one written in place (by a session
// that still carries the group, say) ran its commands as root within a pass.
TEST_F(HandOverTest, AServiceFileWrittenInPlaceByAnotherIsNotTakenIntoForce) {
    const std::string path = ServiceSettingsPath();
    const struct {
        uid_t owner;
        mode_t mode;
        const char* logged;
    } cases[] = {
        {::geteuid(), 0660, "(it is writable by its group); the settings in force stay until"},
        {54321, 0640, "(its owner is uid 54321, not "},  // an account nobody has
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.logged);
        if (c.owner != ::geteuid() && ::geteuid() != 0) continue;  // giving it away needs root
        CTarvellDoc planted = settings;
        planted.RunCommands = {"/tmp/planted"};
        WriteServiceSettings(planted);
        ASSERT_EQ(::chown(path.c_str(), c.owner, static_cast<gid_t>(-1)), 0);
        ASSERT_EQ(::chmod(path.c_str(), c.mode), 0);
        log.Clear();
        for (int pass = 0; pass < 3; ++pass) engine->ApplyViewerUpdates();
        EXPECT_TRUE(engine->Settings()->RunCommands.empty());
        EXPECT_EQ(clock.Sleeps(), 0);  // a refused file is not waited for
        EXPECT_EQ(log.Lines().size(), 1u);
        EXPECT_TRUE(LogMentions(c.logged));
        // A hand-over puts a file of the service's own in its place.
        CTarvellDoc handed = settings;
        handed.SmtpServer = "mail.handed";
        WriteHandOver(handed);
        engine->ApplyViewerUpdates();
        EXPECT_EQ(engine->Settings()->SmtpServer, "mail.handed");
        EXPECT_TRUE(engine->Settings()->RunCommands.empty());
        struct stat st {};
        EXPECT_TRUE(::stat(path.c_str(), &st) == 0 && (st.st_mode & 07777) == 0640);
        EXPECT_TRUE(LogMentions("is taken into force again"));
    }
}

TEST_F(HandOverTest, AMissingSettingsFileCostsFiveRetriesAndAppliesNothing) {
    ASSERT_TRUE(RemoveFile(ServiceSettingsPath()));
    AddEvent("SW1", "7");
    {
        RecursiveGuard lock(engine->EngineLock);
        engine->LinkRequests.push_back("SW1/7;None;;001122334455;t1;9999999999;mailhost");
    }
    engine->ApplyViewerUpdates();
    EXPECT_EQ(clock.Sleeps(), 5);
    EXPECT_EQ(clock.SleptMs(), 5000);
    EXPECT_EQ(engine->LinkRequests.size(), 1u);

    // A hand-over file gives the service its settings file back.
    WriteHandOver(settings);
    engine->ApplyViewerUpdates();
    EXPECT_TRUE(FileExists(ServiceSettingsPath()));
    EXPECT_TRUE(engine->LinkRequests.empty());
    EXPECT_EQ(EventCopy("SW1/7").Submitter, "mailhost");
}

// ---- prevention status and WMI conditions

TEST_F(HandOverTest, SwitchingPreventionRaisesOneStatusAlert) {
    HandOver([](CTarvellDoc& d) {
        d.PreventStatusAlerts = 1;
        d.PreventionEnabled = 1;
    });
    engine->ApplyViewerUpdates();
    EXPECT_EQ(AlertsOfType("Prevent Enabled"), 1u);
    HandOver([](CTarvellDoc& d) { d.SmtpServer = "mail.again"; });
    engine->ApplyViewerUpdates();
    EXPECT_EQ(AlertsOfType("Prevent Enabled"), 1u);
    HandOver([](CTarvellDoc& d) { d.PreventionEnabled = 0; });
    engine->ApplyViewerUpdates();
    EXPECT_EQ(AlertsOfType("Prevent Disabled"), 1u);
    RecursiveGuard lock(engine->AlertLock);
    for (const auto& [key, alert] : engine->AlertLog) {
        EXPECT_EQ(alert->Category, "Prevention");
        EXPECT_EQ(alert->Submitter, "user request");
    }
}

TEST_F(HandOverTest, ChangedWmiConditionsStartTheRecheck) {
    int started = 0;
    engine->startWmiRecheck = [&](CTarvellFrm&) { ++started; };
    engine->ApplyViewerUpdates();
    EXPECT_EQ(started, 0);
    HandOver([](CTarvellDoc& d) { d.WmiConditions = {"1;Windows"}; });
    engine->ApplyViewerUpdates();
    EXPECT_EQ(started, 1);
    engine->ApplyViewerUpdates();
    EXPECT_EQ(started, 1);
    HandOver([](CTarvellDoc& d) { d.WmiConditions = {"1;windows"}; });
    engine->ApplyViewerUpdates();
    EXPECT_EQ(started, 2);
}

// ---- request lists

TEST_F(HandOverTest, QueuedAuthorisationsAndBlocksMoveNodesBetweenTheLists) {
    HandOver([](CTarvellDoc& d) {
        d.NodesBlackList = {"AAAAAAAAAAAA/0;", "aaaaaaaaaaaa/1;SW1/7", "CCCCCCCCCCCC/0;"};
        d.NodesWhiteList = {"BBBBBBBBBBBB/0;", "DDDDDDDDDDDD/1;SW1/8"};
    });
    {
        RecursiveGuard lock(engine->EngineLock);
        engine->PortRequests = {"AAAAAAAAAAAA;BBBBBBBBBBBB"};
        engine->BlockMacs = {"DDDDDDDDDDDD"};
    }
    engine->ApplyViewerUpdates();
    const CTarvellDoc saved = ReadServiceSettings();
    EXPECT_EQ(saved.NodesWhiteList,
              (std::vector<std::string>{"BBBBBBBBBBBB/0;", "AAAAAAAAAAAA/0;"}));
    EXPECT_EQ(saved.NodesBlackList,
              (std::vector<std::string>{"CCCCCCCCCCCC/0;", "DDDDDDDDDDDD/0;"}));
    EXPECT_TRUE(engine->PortRequests.empty());
    EXPECT_TRUE(engine->BlockMacs.empty());
}

TEST_F(HandOverTest, BlockAndUnblockRequestsActOnTheirEventsAndLeaveTheList) {
    AddEvent("SW1", "7");
    AddEvent("SW1", "8").Blocked = 1;
    HandOver([](CTarvellDoc& d) {
        d.BlockRequests = {"SW1/7;admin@corp", "SW1/99;admin@corp"};
        d.UnblockRequests = {"SW1/8;boss@corp"};
    });
    engine->ApplyViewerUpdates();
    EXPECT_EQ(EventCopy("SW1/7").Blocked, 1);
    EXPECT_EQ(EventCopy("SW1/7").Submitter, "admin@corp");
    EXPECT_EQ(EventCopy("SW1/8").Blocked, 0);
    EXPECT_EQ(EventCopy("SW1/8").Submitter, "boss@corp");
    const CTarvellDoc saved = ReadServiceSettings();
    EXPECT_TRUE(saved.BlockRequests.empty());
    EXPECT_TRUE(saved.UnblockRequests.empty());
}

TEST_F(HandOverTest, AStaleBlockRequestIsDroppedAndNotAppliedToALaterEvent) {
    HandOver([](CTarvellDoc& d) { d.BlockRequests = {"SW1/7;admin@corp"}; });
    engine->ApplyViewerUpdates();
    EXPECT_TRUE(ReadServiceSettings().BlockRequests.empty());
    EXPECT_TRUE(engine->Settings()->BlockRequests.empty());

    AddEvent("SW1", "7");
    engine->ApplyViewerUpdates();
    EXPECT_EQ(EventCopy("SW1/7").Blocked, 0);
    EXPECT_EQ(EventCopy("SW1/7").Submitter, "");
}

TEST_F(HandOverTest, LinkRequestsUnblockAndDeleteInAnyLetterCase) {
    AddEvent("SW1", "1", "New Mac", "AAAAAAAAAAAA").Blocked = 1;
    AddEvent("SW1", "2", "New Mac", "BBBBBBBBBBBB").Blocked = 1;
    HandOver([](CTarvellDoc& d) {
        d.NodesBlackList = {"aaaaaaaaaaaa/0;", "AAAAAAAAAAAA/1;SW1/1", "BBBBBBBBBBBB/0;"};
    });
    {
        RecursiveGuard lock(engine->EngineLock);
        engine->LinkRequests = {"SW1/1;dElEtE;;AAAAAAAAAAAA;t1;9999999999;10.0.0.5",
                                "SW1/2;None;;BBBBBBBBBBBB;t2;9999999999;10.0.0.6",
                                "SW1/3;Delete;;CCCCCCCCCCCC;t3;9999999999;10.0.0.7"};
    }
    engine->ApplyViewerUpdates();
    const CEventItem first = EventCopy("SW1/1"), second = EventCopy("SW1/2");
    EXPECT_EQ(first.Blocked, 0);
    EXPECT_EQ(first.Submitter, "10.0.0.5");
    EXPECT_EQ(first.Deleted, 1);
    EXPECT_EQ(second.Blocked, 0);
    EXPECT_EQ(second.Deleted, 0);
    EXPECT_TRUE(engine->LinkRequests.empty());
    const CTarvellDoc saved = ReadServiceSettings();
    EXPECT_EQ(saved.NodesBlackList, (std::vector<std::string>{"AAAAAAAAAAAA/1;SW1/1"}));
    EXPECT_TRUE(saved.DeleteRequests.empty());
}

TEST_F(HandOverTest, UnblockingACrowdedPortAuthorisesItsNode) {
    AddEvent("SW1", "7", "Unauthorized Nodes Count", "AAAAAAAAAAAA").Blocked = 1;
    AddEvent("SW1", "8", "Unauthorized Nodes Count", "BBBBBBBBBBBB").Blocked = 1;
    AddEvent("SW1", "9", "New Mac", "CCCCCCCCCCCC").Blocked = 1;
    HandOver([](CTarvellDoc& d) {
        d.UnblockAuthorizeNode = 1;
        d.UnblockAuthorizeLocation = 1;
        d.NodeLocations = {"bbbbbbbbbbbb;SW1/8"};
        d.UnblockRequests = {"SW1/7;a@b", "SW1/8;a@b", "SW1/9;a@b"};
    });
    engine->ApplyViewerUpdates();
    EXPECT_EQ(
        ReadServiceSettings().NodeLocations,
        (std::vector<std::string>{"bbbbbbbbbbbb;SW1/8", "AAAAAAAAAAAA;", "AAAAAAAAAAAA;SW1/7"}));
}

TEST_F(HandOverTest, RemovedAlertsAndDeleteRequests) {
    {
        RecursiveGuard lock(engine->AlertLock);
        engine->AlertLog["1700000000.0"] = std::make_unique<CAlertItem>();
    }
    AddEvent("SW1", "1");
    AddEvent("SW1", "2").Extra = "1700000000";
    HandOver([](CTarvellDoc& d) {
        d.RemovedAlerts = {"1700000000.0", "1600000000.3"};
        d.DeleteRequests = {"SW1/1", "SW1/2", "SW1/3"};
    });
    engine->ApplyViewerUpdates();
    {
        RecursiveGuard lock(engine->AlertLock);
        EXPECT_EQ(engine->AlertLog["1700000000.0"]->State, 1);
    }
    EXPECT_EQ(EventCopy("SW1/1").Deleted, 1);
    EXPECT_EQ(EventCopy("SW1/2").Deleted, 0);
    const CTarvellDoc saved = ReadServiceSettings();
    EXPECT_TRUE(saved.RemovedAlerts.empty());
    EXPECT_EQ(saved.DeleteRequests, (std::vector<std::string>{"SW1/2"}));
}

// A request leaves the settings file only once its effect is in the state files.
TEST_F(HandOverTest, RequestsStayQueuedWhileTheirStateFileCannotBeWritten) {
    AddEvent("SW1", "7");
    HandOver([](CTarvellDoc& d) { d.BlockRequests = {"SW1/7;admin@corp"}; });
    // A folder under the file's own name: no save can be renamed over it.
    const std::string blocker = JoinPath(serviceFolder, kEventDatabaseName);
    ASSERT_TRUE(RemoveFile(blocker) && MakeDirectories(blocker));
    engine->ApplyViewerUpdates();
    EXPECT_EQ(EventCopy("SW1/7").Blocked, 1);
    EXPECT_EQ(ReadServiceSettings().BlockRequests, (std::vector<std::string>{"SW1/7;admin@corp"}));
    EXPECT_TRUE(LogMentions("stay queued"));

    ASSERT_TRUE(RemoveTree(blocker));
    engine->ApplyViewerUpdates();
    EXPECT_TRUE(ReadServiceSettings().BlockRequests.empty());
    EventDatabaseFile db;
    ASSERT_TRUE(ReadStateFile(JoinPath(serviceFolder, kEventDatabaseName), db));
    EXPECT_EQ(db.EventMap.at("SW1/7")->Blocked, 1);
    EXPECT_EQ(db.EventMap.at("SW1/7")->Submitter, "admin@corp");
}

TEST_F(HandOverTest, ImportsFollowEverySuccessfulReloadAndAreNotSaved) {
    const std::string importFile = JoinPath(root, "black.txt");
    {
        std::ofstream out(importFile);
        out << "EEEEEEEEEEEE\n";
    }
    HandOver([&](CTarvellDoc& d) {
        d.BlackListImportFile = importFile;
        d.NodesBlackList = {"CCCCCCCCCCCC/0;"};
        d.BlockRequests = {"SW1/1;x@y"};  // makes the pass save the document
    });
    engine->ApplyViewerUpdates();
    engine->ApplyViewerUpdates();
    const auto published = engine->Settings()->NodesBlackList;
    EXPECT_EQ(CountOf(published, "EEEEEEEEEEEE;"), 1u);
    EXPECT_EQ(CountOf(published, "CCCCCCCCCCCC/0;"), 1u);
    EXPECT_EQ(ReadServiceSettings().NodesBlackList, (std::vector<std::string>{"CCCCCCCCCCCC/0;"}));

    // A failed reload imports nothing.
    ASSERT_TRUE(RemoveFile(ServiceSettingsPath()));
    engine->ApplyViewerUpdates();
    EXPECT_EQ(CountOf(engine->Settings()->NodesBlackList, "EEEEEEEEEEEE;"), 1u);
}

}  // namespace
}  // namespace tarvell::enginetest
