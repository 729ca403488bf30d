#include "viewer/core/hub/SettingsEdit.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <ctime>
#include <thread>

#include "tests/viewer/core/ViewerFixture.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/hub/Readers.h"
#include "viewer/core/base/StringTable.h"

namespace tarvell {
namespace {

using test::MakeEvent;

// A fake clock that runs a step of the test while the code under test waits between attempts.
class SteppingClock : public FakeClock {
public:
    std::function<void()> onSleep;
    void SleepMs(std::int64_t ms) override {
        FakeClock::SleepMs(ms);
        if (onSleep) std::exchange(onSleep, nullptr)();
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
};

TEST_F(SettingsEditTest, AFailedReloadOrSaveChangesNothingAndNamesItsMessage) {
    const std::string ini = JoinPath(server_, "Tarvell.ini"),
                      handover = JoinPath(server_, "handover");
    const struct {
        const char* name;
        std::function<void()> spoil;
        EditResult result;
        std::vector<HubChange> announced;
    } cases[] = {
        {"damaged settings",
         [&] {
             ASSERT_TRUE(AtomicWriteFile(ini,
                                         "\x03"
                                         "3.6"));
         },
         EditResult::ReloadFailed,
         {}},
        {"a folder for the file",
         [&] { ASSERT_TRUE(RemoveTree(ini) && MakeDirectories(ini)); },
         EditResult::ReloadFailed,
         {}},
        // A read-only folder does not stop root: a file where the folder should be stops anyone.
        {"unwritable hand-over",
         [&] { ASSERT_TRUE(AtomicWriteFile(handover, "")); },
         EditResult::SaveFailed,
         {HubChange::SettingsReloaded}},
        {"nothing wrong", [] {}, EditResult::Saved, {HubChange::SettingsSaved}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RemoveTree(handover);
        RemoveTree(ini);
        WriteEvents({{"S1/1", MakeEvent("New Mac")}});
        CTarvellApp& app = Connected();
        const CTarvellDoc before = app.Document().Fields();
        c.spoil();
        std::vector<HubChange> heard;
        app.AddHubListener([&](HubChange change) { heard.push_back(change); });
        bool edited = false;
        const EditResult result = EditSettings(app, [&](CTarvellDoc& doc) {
            edited = true;
            doc.EmailSubject = "changed";
        });
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(heard, c.announced);
        if (result == EditResult::Saved) {
            EXPECT_EQ(app.ReaderSettings()->EmailSubject, "changed");
            continue;
        }
        EXPECT_EQ(edited, c.result == EditResult::SaveFailed);
        EXPECT_EQ(app.Document().Fields(), before);  // restored after a failed save
        EXPECT_EQ(app.ReaderSettings()->EmailSubject, before.EmailSubject);
        // The mutators report the same and leave the hub as it was.
        EXPECT_EQ(app.BlockEvent("S1/1"), c.result);
        EditResult outcome = EditResult::Saved;
        EXPECT_FALSE(app.RemoveEvent("S1/1", &outcome));
        EXPECT_EQ(outcome, c.result);
        EXPECT_EQ(app.EventCounts(), (ItemCounts{1, 1, 0}));
        EXPECT_EQ(app.Document().Fields().BlockRequests, before.BlockRequests);
    }
    EXPECT_EQ(LoadString(EditResultMessage(EditResult::ReloadFailed)),
              "Tarvell failed reading the settings of the selected server, nothing was changed.");
    EXPECT_EQ(LoadString(EditResultMessage(EditResult::SaveFailed)),
              "Tarvell failed saving the settings of the selected server, please check your access "
              "permissions.");
}

TEST_F(SettingsEditTest, TheCopyIsOwnerWritableOnlyAndASecondThreadsEditWaits) {
    CTarvellApp& app = Connected();
    const auto mode = [&] {
        struct stat st {};
        return ::stat(HandOver().c_str(), &st) == 0 ? st.st_mode & 07777 : 0u;
    };
    const mode_t mask = ::umask(0);  // the mode must not depend on the umask
    ASSERT_EQ(EditSettings(app, [](CTarvellDoc&) {}), EditResult::Saved);
    EXPECT_EQ(mode(), 0640u);  // created
    ASSERT_EQ(::chmod(HandOver().c_str(), 0660), 0);

    std::atomic<bool> inside{false}, release{false}, secondRan{false};
    std::thread first([&] {
        EditSettings(app, [&](CTarvellDoc& doc) {
            inside = true;
            while (!release) std::this_thread::yield();
            doc.DeleteRequests.push_back("first");
        });
    });
    while (!inside) std::this_thread::yield();
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
    ::umask(mask);
    EXPECT_EQ(mode(), 0640u);  // replaced
    // The second edit reloaded what the first saved.
    EXPECT_EQ(app.ReaderSettings()->DeleteRequests, (std::vector<std::string>{"first", "second"}));
}

TEST_F(SettingsEditTest, ATakeOverBetweenAttemptsStillLoads) {
    // A copy the viewer left is there when the reload begins and cannot be read; the service
    // takes it over (and writes its own file) while the reload waits for its second attempt.
    SteppingClock clock;
    CTarvellDoc service = DefaultSettings();
    service.EmailSubject = "taken over";
    ASSERT_TRUE(MakeDirectories(JoinPath(server_, "handover")) &&
                AtomicWriteFile(HandOver(), "half a file"));
    clock.onSleep = [&] {
        RemoveTree(HandOver());
        WriteSettings(service);
    };
    ViewerDocument document("3.6", clock);
    ASSERT_TRUE(document.OnNewDocument("Local", server_));
    EXPECT_EQ(document.Fields().EmailSubject, "taken over");
}

// A copy the service refuses, or one that cannot be read at all, is nobody's settings: the
// document and the reader show the service's file (the save that follows is the hand-over system
// test's road). A folder there once made every load fail.
TEST_F(SettingsEditTest, ACopyThatCannotBeTakenIsNotShown) {
    CTarvellDoc service = DefaultSettings();
    service.SmtpSender = "admin@lab";
    WriteSettings(service);
    CTarvellApp& app = StartApp();
    CTarvellDoc foreign = service;
    foreign.SmtpSender = "evil@x";
    const struct {
        const char* name;
        std::function<void()> plant;
        bool needsRoot;
    } cases[] = {
        {"another owner's copy",
         [&] {
             ASSERT_TRUE(foreign.SaveToFile(HandOver(), true, 0640));
             ASSERT_EQ(::chown(HandOver().c_str(), 54321, 54321), 0);  // an account nobody has
         },
         true},
        {"a folder", [&] { ASSERT_TRUE(MakeDirectories(HandOver())); }, false},
        {"a damaged copy", [&] { ASSERT_TRUE(AtomicWriteFile(HandOver(), "\x03" "3.6")); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.needsRoot && ::geteuid() != 0) continue;  // giving the copy away needs root
        RemoveTree(JoinPath(server_, "handover"));
        ASSERT_TRUE(MakeDirectories(JoinPath(server_, "handover")));
        c.plant();
        ASSERT_TRUE(app.ReloadDocument());
        EXPECT_EQ(app.Document().Fields().SmtpSender, "admin@lab");
        CTarvellDb(app).PassOnce();
        EXPECT_EQ(app.ReaderSettings()->SmtpSender, "admin@lab");
    }
}

TEST_F(SettingsEditTest, TheHealthNamesAnUnreadableStateFileAndARefusedCopy) {
    WriteEvents({{"S1/1", MakeEvent("New Mac")}});
    CTarvellApp& app = Connected();
    EXPECT_EQ(HealthStateText(app.Health()), "");
    const std::string db = JoinPath(server_, "Tarvell.db");
    const std::string bytes = ReadWholeFile(db).value_or("");
    ASSERT_TRUE(AtomicWriteFile(db, bytes.substr(0, bytes.size() / 2)));
    EXPECT_FALSE(CTarvellDb(app).PassOnce());
    EXPECT_EQ(HealthStateText(app.Health()), "Files Unreadable (Tarvell.db)");
    // A missing file is a server the service has not written yet, not a damaged one.
    ASSERT_TRUE(RemoveTree(db));
    EXPECT_FALSE(CTarvellDb(app).PassOnce());
    EXPECT_EQ(app.Health().unreadableFile, "");

    // A copy still there two passes after it was written was refused.
    ASSERT_EQ(EditSettings(app, [](CTarvellDoc&) {}), EditResult::Saved);
    const std::int64_t now = std::time(nullptr);
    EXPECT_FALSE(HandOverOverdue(server_, now));
    const struct timespec old[2] = {{now - 60, 0}, {now - 60, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, HandOver().c_str(), old, 0), 0);
    CTarvellDb(app).PassOnce();
    EXPECT_EQ(HealthStateText(app.Health()), "Settings Not Taken Over");
    ASSERT_TRUE(RemoveTree(HandOver()));  // taken over at last
    CTarvellDb(app).PassOnce();
    EXPECT_FALSE(app.Health().handOverRefused);
}

}  // namespace
}  // namespace tarvell
