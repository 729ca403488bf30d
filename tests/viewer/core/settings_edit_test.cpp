#include "viewer/core/hub/SettingsEdit.h"

#include <gmock/gmock.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <ctime>
#include <fstream>
#include <thread>

#include "viewer/core/CTarvellApp.h"
#include "viewer/core/Readers.h"
#include "viewer/core/StringTable.h"
#include "viewer/core/hub/ServerHealth.h"
#include "tests/viewer/core/ViewerFixture.h"

namespace tarvell {
namespace {

using test::MakeEvent;
using ::testing::ElementsAre;

// A fake clock that runs a step of the test while the code under test waits between attempts.
class SteppingClock : public FakeClock {
public:
    std::function<void()> onSleep;
    void SleepMs(std::int64_t ms) override {
        FakeClock::SleepMs(ms);
        if (onSleep) onSleep();
    }
};

class SettingsEditTest : public test::ViewerFixture {
protected:
    CTarvellApp& Connected() {
        WriteSettings(DefaultSettings());
        CTarvellApp& app = StartApp();
        EXPECT_TRUE(app.ReloadDocument());
        app.ReadIdentity();
        app.LoadEvents();
        return app;
    }
    std::string HandOver() const { return ViewerDocument::HandOverPath(server_); }
    // Makes the hand-over folder refuse new files. Root writes into a read-only folder, so for
    // root a plain file stands where the folder should be.
    void MakeHandOverUnwritable() {
        const std::string folder = JoinPath(server_, "handover");
        RemoveTree(folder);
        if (::geteuid() == 0) {
            ASSERT_TRUE(AtomicWriteFile(folder, "not a folder"));
        } else {
            ASSERT_TRUE(MakeDirectories(folder));
            ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
        }
    }
    static unsigned ModeOf(const std::string& path) {
        struct stat st{};
        return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
    }
};

TEST_F(SettingsEditTest, AFailedReloadOrSaveChangesNothingAndNamesItsMessage) {
    struct Case {
        const char* name;
        std::function<void(SettingsEditTest&)> spoil;
        EditResult result;
        unsigned message;
    };
    const std::string ini = JoinPath(server_, "Tarvell.ini");
    const std::vector<Case> cases = {
        {"damaged settings", [&](SettingsEditTest&) { ASSERT_TRUE(AtomicWriteFile(ini, "\x03" "3.6")); },
         EditResult::ReloadFailed, str::kSettingsReloadFailed},
        {"a folder for the file", [&](SettingsEditTest&) {
             ASSERT_EQ(::unlink(ini.c_str()), 0);
             ASSERT_TRUE(MakeDirectories(ini));
         }, EditResult::ReloadFailed, str::kSettingsReloadFailed},
        {"unwritable hand-over", [this](SettingsEditTest&) { MakeHandOverUnwritable(); },
         EditResult::SaveFailed, str::kSettingsSaveFailed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RemoveTree(JoinPath(server_, "handover"));
        RemoveTree(ini);
        WriteEvents({{"S1/1", MakeEvent("New Mac")}});
        CTarvellApp& app = Connected();
        const CTarvellDoc before = app.Document().Fields();
        const ItemCounts counts = app.EventCounts();
        c.spoil(*this);
        bool edited = false;
        const EditResult result = EditSettings(app, [&](CTarvellDoc& doc) {
            edited = true;
            doc.EmailSubject = "changed";
        });
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(EditResultMessage(result), c.message);
        EXPECT_EQ(edited, c.result == EditResult::SaveFailed);
        EXPECT_EQ(app.Document().Fields(), before);   // restored after a failed save
        EXPECT_EQ(app.ReaderSettings()->EmailSubject, before.EmailSubject);
        // The mutators report the same and leave the hub as it was.
        EXPECT_EQ(app.BlockEvent("S1/1"), c.result);
        EditResult outcome = EditResult::Saved;
        EXPECT_FALSE(app.RemoveEvent("S1/1", &outcome));
        EXPECT_EQ(outcome, c.result);
        EXPECT_EQ(app.EventCounts(), counts);
        EXPECT_EQ(app.Events()->EventMap.size(), 1u);
        EXPECT_EQ(app.Document().Fields().BlockRequests, before.BlockRequests);
        if (c.result == EditResult::ReloadFailed) {
            EXPECT_FALSE(FileExists(HandOver()));
        }
        RemoveTree(JoinPath(server_, "handover"));
        app_.reset();
    }
    EXPECT_EQ(LoadString(str::kSettingsReloadFailed),
              "Tarvell failed reading the settings of the selected server, nothing was changed.");
    EXPECT_EQ(LoadString(str::kSettingsSaveFailed),
              "Tarvell failed saving the settings of the selected server, please check your access permissions.");
}

TEST_F(SettingsEditTest, ASavedEditRenewsTheReaderSettingsAndWritesTheCopyOwnerWritableOnly) {
    CTarvellApp& app = Connected();
    const mode_t mask = ::umask(0);   // the mode must not depend on the umask
    ASSERT_EQ(EditSettings(app, [](CTarvellDoc& doc) { doc.EmailSubject = "one"; }), EditResult::Saved);
    EXPECT_EQ(ModeOf(HandOver()), 0640u);   // created
    ASSERT_EQ(::chmod(HandOver().c_str(), 0660), 0);
    ASSERT_EQ(EditSettings(app, [](CTarvellDoc& doc) { doc.EmailSubject = "two"; }), EditResult::Saved);
    ::umask(mask);
    EXPECT_EQ(ModeOf(HandOver()), 0640u);   // replaced
    EXPECT_EQ(app.ReaderSettings()->EmailSubject, "two");
}

TEST_F(SettingsEditTest, ASecondThreadsEditWaitsForTheFirstToBeSaved) {
    CTarvellApp& app = Connected();
    std::atomic<bool> firstInside{false}, release{false}, secondRan{false};
    std::thread first([&] {
        EditSettings(app, [&](CTarvellDoc& doc) {
            firstInside = true;
            while (!release) std::this_thread::yield();
            doc.DeleteRequests.push_back("first");
        });
    });
    while (!firstInside) std::this_thread::yield();
    std::thread second([&] {
        EditSettings(app, [&](CTarvellDoc& doc) {
            secondRan = true;
            doc.DeleteRequests.push_back("second");
        });
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(secondRan);
    release = true;
    first.join();
    second.join();
    CTarvellDoc saved;
    ASSERT_TRUE(saved.LoadFromFile(HandOver()));
    EXPECT_THAT(saved.DeleteRequests, ElementsAre("first", "second"));   // the second saw the first
}

TEST_F(SettingsEditTest, ATakeOverBetweenAttemptsStillLoads) {
    // A copy the viewer left is there when the reload begins and cannot be read; the service
    // takes it over (and writes its own file) while the reload waits for its second attempt.
    SteppingClock clock;
    CTarvellDoc service = DefaultSettings();
    service.EmailSubject = "taken over";
    ASSERT_TRUE(MakeDirectories(JoinPath(server_, "handover")));
    ASSERT_TRUE(AtomicWriteFile(HandOver(), "half a file"));
    clock.onSleep = [&] {
        ::unlink(HandOver().c_str());
        WriteSettings(service);
        clock.onSleep = nullptr;
    };
    ViewerDocument document("3.6", clock);
    ASSERT_TRUE(document.OnNewDocument("Local", server_));
    EXPECT_EQ(document.Fields().EmailSubject, "taken over");
    EXPECT_EQ(clock.Sleeps(), 1);
}

TEST_F(SettingsEditTest, TheStateNamesAStateFileThatIsThereButCannotBeRead) {
    WriteEvents({{"S1/1", MakeEvent("New Mac")}});
    CTarvellApp& app = Connected();
    EXPECT_EQ(app.Health(), ServerHealth{});
    EXPECT_EQ(HealthStateText(app.Health()), "");

    std::ifstream in(JoinPath(server_, "Tarvell.db"), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    ASSERT_TRUE(AtomicWriteFile(JoinPath(server_, "Tarvell.db"), bytes.substr(0, bytes.size() / 2)));
    EXPECT_FALSE(CTarvellDb(app).PassOnce());
    EXPECT_EQ(app.Health().unreadableFile, "Tarvell.db");
    EXPECT_EQ(HealthStateText(app.Health()), "Files Unreadable (Tarvell.db)");
    EXPECT_THAT(HealthDetailText(app.Health()), ::testing::HasSubstr("Tarvell.db"));

    // A missing file is a server the service has not written yet, not a damaged one.
    ASSERT_EQ(::unlink(JoinPath(server_, "Tarvell.db").c_str()), 0);
    EXPECT_FALSE(CTarvellDb(app).PassOnce());
    EXPECT_EQ(app.Health().unreadableFile, "");
}

TEST_F(SettingsEditTest, ACopyLeftPastTwoPassesIsReportedAsRefused) {
    CTarvellApp& app = Connected();
    ASSERT_EQ(EditSettings(app, [](CTarvellDoc&) {}), EditResult::Saved);
    const std::int64_t now = std::time(nullptr);
    EXPECT_FALSE(HandOverOverdue(server_, now));
    EXPECT_TRUE(HandOverOverdue(server_, now + kHandOverOverdueSeconds + 2));
    const struct timespec old[2] = {{now - 60, 0}, {now - 60, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, HandOver().c_str(), old, 0), 0);
    CTarvellDb(app).PassOnce();
    EXPECT_TRUE(app.Health().handOverRefused);
    EXPECT_EQ(HealthStateText(app.Health()), LoadString(str::kHandOverRefusedState));
    ::unlink(HandOver().c_str());   // taken over at last
    CTarvellDb(app).PassOnce();
    EXPECT_FALSE(app.Health().handOverRefused);
}

TEST_F(SettingsEditTest, TheConnectFailureNamesTheServerAndTellsAMissingFolderFromAnUnreadableFile) {
    const std::string missing = JoinPath(root_, "nowhere");
    EXPECT_EQ(ConnectFailureText("Branch", missing),
              "Tarvell failed connecting server Branch: its folder " + missing + " does not exist.");
    EXPECT_THAT(ConnectFailureText("Branch", server_),
                ::testing::StartsWith("Tarvell failed connecting server Branch: its settings file " +
                                      JoinPath(server_, "Tarvell.ini") + " could not be read"));
    // A value holding a placeholder is not expanded again.
    EXPECT_THAT(ConnectFailureText("%2", missing), ::testing::StartsWith("Tarvell failed connecting server %2: "));
}

TEST_F(SettingsEditTest, AConnectDropsThePreviousServersRecordsAndItsLatePasses) {
    WriteEvents({{"S1/1", MakeEvent("New Mac")}, {"S1/2", MakeEvent("New Ip")}});
    CTarvellApp& app = Connected();
    const std::string small = JoinPath(root_, "small");
    ASSERT_TRUE(MakeDirectories(small));
    WriteSettings(DefaultSettings(), small);
    WriteEvents({}, small);
    app.SetServers({{"Local", {1, server_}}, {"Small", {0, small}}});
    std::weak_ptr<const EventsSnapshot> old = app.Events();
    // A pass of the old server that finishes after the connect.
    auto late = std::make_shared<const EventsSnapshot>(*app.Events());
    ASSERT_TRUE(app.SelectServer("Small"));
    EXPECT_TRUE(old.expired());
    app.SetEvents(late, ItemCounts{2, 2, 0}, server_);
    EXPECT_TRUE(app.Events()->EventMap.empty());
    EXPECT_EQ(app.EventCounts(), ItemCounts{});
}

}  // namespace
}  // namespace tarvell
