// The engine's start-up with the settings file: a damaged file is kept aside and replaced by the
// defaults; a file that is only busy or unreadable for the moment is left alone.
#include <fcntl.h>
#include <sys/file.h>
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

    void StartAndStop() {
        ManualResetEvent stop;
        engine->StartUp(stop);
        engine->ShutDown();
    }
};

TEST_F(StartUpTest, ADamagedSettingsFileIsKeptAsideAndTheDefaultsWritten) {
    std::ofstream(ServiceSettingsPath(), std::ios::binary) << "\x03" "3.6" "\x01";
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

}  // namespace
}  // namespace tarvell::enginetest
