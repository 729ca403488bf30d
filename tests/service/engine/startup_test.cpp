// The engine's start-up with the settings file: a damaged file is kept aside and replaced by the
// defaults; a file that is only busy or unreadable for the moment is left alone.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/ManualResetEvent.h"
#include "tests/service/engine/EngineFixture.h"

namespace tarvell::enginetest {
namespace {

class StartUpTest : public EngineFixture {
protected:
    std::string SettingsBytes() {
        const auto bytes = ReadWholeFile(ServiceSettingsPath(), 1u << 20);
        return bytes ? *bytes : std::string();
    }

    bool SettingsKeptAside() {
        for (const auto& entry : std::filesystem::directory_iterator(serviceFolder))
            if (entry.path().filename().string().rfind("Tarvell.ini.bad-", 0) == 0) return true;
        return false;
    }

    int LogLinesWith(std::string_view text) const {
        int n = 0;
        for (const std::string& line : log.Lines()) n += line.find(text) != std::string::npos;
        return n;
    }

    void StartAndStop() {
        ManualResetEvent stop;
        engine->StartUp(stop);
        engine->ShutDown();
    }
};

TEST_F(StartUpTest, ADamagedSettingsFileIsKeptAsideAndTheDefaultsWritten) {
    std::ofstream(ServiceSettingsPath(), std::ios::binary) << "\x03"
                                                              "3.6"
                                                              "\x01";
    StartAndStop();
    EXPECT_TRUE(SettingsKeptAside());
    CTarvellDoc defaults;
    defaults.SetDefaults();
    EXPECT_EQ(ReadServiceSettings().StoreToBytes(), defaults.StoreToBytes());
}

// A file that the viewer holds locked for longer than the load waits is not damaged: it stays
// where it is, untouched, and the next pass reads it.
TEST_F(StartUpTest, ASettingsFileBusyAtStartIsLeftInPlaceAndReadByThePass) {
    CTarvellDoc doc;
    doc.SetDefaults();
    doc.AlertRemoveDays = 7;
    WriteServiceSettings(doc);
    const std::string before = SettingsBytes();

    const int held = ::open(ServiceSettingsPath().c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    ManualResetEvent stop;
    engine->StartUp(stop);
    ::close(held);

    EXPECT_FALSE(SettingsKeptAside());
    EXPECT_EQ(SettingsBytes(), before);
    engine->Pass();
    EXPECT_EQ(engine->Settings()->AlertRemoveDays, 7);
    engine->ShutDown();
}

// An engine that is let go without the clean stop (a start-up that was cut short) still stops
// its workers before its members go: they must not run on over freed state.
TEST_F(StartUpTest, WorkersAreStoppedWhenTheEngineGoesWithoutAShutDown) {
    int running = 0;
    EngineEnvironment env = Environment();
    env.startWorker = [&](WorkerSlot, CTarvellFrm&) -> std::function<void()> {
        ++running;
        return [&] { --running; };
    };
    engine = std::make_unique<CTarvellFrm>(env);
    ManualResetEvent stop;
    engine->StartUp(stop);
    EXPECT_EQ(running, kWorkerSlots);
    engine.reset();
    EXPECT_EQ(running, 0);
}

// ---- temporary files of killed writers

// A kill while the settings file was first created left "Tarvell.ini.new-XXXXXX" for good.
TEST_F(StartUpTest, TemporaryFilesOfTheServicesOwnNamesAreRemovedAtStart) {
    const std::vector<std::string> stale = {
        "Tarvell.ini.new-Ab12Cd", "Tarvell.ini.tmp",
        "Tarvell.db.tmp",         "Tarvell.log.tmp",
        "Tarvell.eml.tmp",        "snmpv3_boot_counter.tmp",
        "ActionLink.used.tmp",    "20240131_AutoArchive.log.tmp"};
    const std::vector<std::string> foreign = {
        "Tarvell.ini.new-Ab12Cd7",     "Tarvell.ini.new-", "Other.db.tmp",
        "2024013_AutoArchive.log.tmp", "notes.tmp",        "Tarvell.db.bad-1700000000"};
    for (const auto& name : stale)
        ASSERT_TRUE(AtomicWriteFile(JoinPath(serviceFolder, name), "half"));
    for (const auto& name : foreign)
        ASSERT_TRUE(AtomicWriteFile(JoinPath(serviceFolder, name), "keep"));
    // A FIFO under a writer's temporary name would stall every save of that file.
    ASSERT_TRUE(RemoveFile(JoinPath(serviceFolder, "Tarvell.db.tmp")));
    ASSERT_EQ(::mkfifo(JoinPath(serviceFolder, "Tarvell.db.tmp").c_str(), 0600), 0);

    ::alarm(30);  // a save blocked on the FIFO never returns: the alarm ends the program then
    StartAndStop();
    ::alarm(0);
    for (const auto& name : stale) EXPECT_FALSE(FileExists(JoinPath(serviceFolder, name))) << name;
    for (const auto& name : foreign) EXPECT_TRUE(FileExists(JoinPath(serviceFolder, name))) << name;
    EXPECT_TRUE(FileExists(ServiceSettingsPath()));
    EXPECT_EQ(LogLinesWith("left by an earlier run was removed"), static_cast<int>(stale.size()));
}

// A writer that holds its temporary file just now keeps it.
TEST_F(StartUpTest, ATemporaryFileBeingWrittenIsLeftAlone) {
    const std::string busy = JoinPath(serviceFolder, "Tarvell.eml.tmp");
    FileLock writer;
    ASSERT_TRUE(writer.Lock(busy));
    StartAndStop();
    EXPECT_TRUE(FileExists(busy));
}

}  // namespace
}  // namespace tarvell::enginetest
