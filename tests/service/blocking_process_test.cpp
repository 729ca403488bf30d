// Runs the built TarvellSrv with a block program: a blocked event kept in Tarvell.db is shut
// once, and a restart of the service finds it shut and leaves it alone.
#include <sys/stat.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Files.h"
#include "shared/CTarvellDoc.h"
#include "shared/StateFiles.h"
#include "tests/service/ServiceTestSupport.h"
#include "tests/support/Programs.h"

namespace tarvell {
namespace {

using testing::BackgroundProgram;
using testing::ServiceEnvironment;
using testing::TempFolder;
using testing::WaitUntil;

const std::string kProgram = tarvell::test::ServiceProgram();
const std::string kEventKey = "00AABB000001/3";

class BlockingProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(root.Path().empty());
        ASSERT_TRUE(MakeDirectories(serviceFolder));
        ASSERT_TRUE(WriteStateFile(Path(kAlertLogName), AlertLogFile{}));
        ASSERT_TRUE(WriteStateFile(Path(kReportStoreName), ReportStoreFile{}));
        EventDatabaseFile events;
        auto event = std::make_unique<CEventItem>();
        event->SwitchKey = "00AABB000001";
        event->PortKey = "3";
        event->DeviceIp = "10.0.0.1;10.0.0.2";
        event->SourceMac = "001122334455";
        event->EventType = event->Description = "Unauthorized Node";
        event->Category = "Detection";
        event->DateKey = "1700000000";
        event->Blocked = 1;
        event->Submitter = "admin@LAB";  // a manual block: carried out with prevention off
        events.EventMap[kEventKey] = std::move(event);
        ASSERT_TRUE(WriteStateFile(Path(kEventDatabaseName), events));

        // The block program notes each call; the shell here is the test's, not the service's.
        ASSERT_TRUE(AtomicWriteFile(script, "#!/bin/sh\necho \"$1\" >> '" + calls + "'\n"));
        ASSERT_EQ(::chmod(script.c_str(), 0755), 0);
        CTarvellDoc doc;
        doc.BlockScriptFile = script;
        ASSERT_TRUE(doc.SaveToFile(Path(CTarvellDoc::kFileName), true));
    }

    std::unique_ptr<BackgroundProgram> Start() {
        auto service = std::make_unique<BackgroundProgram>(
            std::vector<std::string>{kProgram, "-Run"},
            ServiceEnvironment(root.Path(), {"TARVELL_PASS_INTERVAL_MS=200"}), root / "output.txt");
        EXPECT_GT(service->Pid(), 0);
        return service;
    }

    void Stop(BackgroundProgram& service) {
        ASSERT_TRUE(service.Signal(SIGTERM));
        EXPECT_EQ(service.WaitForExit(10'000), 0) << service.Output();
    }

    std::optional<CEventItem> StoredEvent() {
        EventDatabaseFile db;
        if (!ReadStateFile(Path(kEventDatabaseName), db)) return std::nullopt;
        const auto it = db.EventMap.find(kEventKey);
        if (it == db.EventMap.end()) return std::nullopt;
        return *it->second;
    }

    // Waits until the engine has rewritten Tarvell.db `count` times.
    bool WaitForSaves(int count) {
        for (int i = 0; i < count; ++i) {
            struct stat before {};
            ::stat(Path(kEventDatabaseName).c_str(), &before);
            if (!WaitUntil(
                    [&] {
                        struct stat now {};
                        return ::stat(Path(kEventDatabaseName).c_str(), &now) == 0 &&
                               (now.st_ino != before.st_ino ||
                                now.st_mtim.tv_nsec != before.st_mtim.tv_nsec ||
                                now.st_mtim.tv_sec != before.st_mtim.tv_sec);
                    },
                    10'000))
                return false;
        }
        return true;
    }

    std::string Path(std::string_view name) const { return JoinPath(serviceFolder, name); }
    std::string Calls() const { return ReadWholeFile(calls).value_or(""); }

    TempFolder root{"blocking-process-"};
    const std::string serviceFolder = root / "var/lib/tarvell";
    const std::string script = root / "block.sh";
    const std::string calls = root / "calls.txt";
};

TEST_F(BlockingProcessTest, ABlockedEventSurvivesARestartAndIsNotShutTwice) {
    auto service = Start();
    ASSERT_TRUE(WaitUntil(
        [&] {
            const auto event = StoredEvent();
            return event && !event->Extra.empty();
        },
        30'000))
        << service->Output();
    EXPECT_EQ(Calls(), "10.0.0.1/3\n");
    const std::string shutAt = StoredEvent()->Extra;
    Stop(*service);

    auto again = Start();
    // The first pass writes the state files; later passes with nothing changed write nothing,
    // so four more are waited for by the clock.
    ASSERT_TRUE(WaitForSaves(1)) << again->Output();
    std::this_thread::sleep_for(std::chrono::milliseconds(4 * 200));
    Stop(*again);
    EXPECT_EQ(Calls(), "10.0.0.1/3\n") << "the port was shut only once";
    const auto event = StoredEvent();
    ASSERT_TRUE(event);
    EXPECT_EQ(event->Blocked, 1);
    EXPECT_EQ(event->Extra, shutAt);
}

}  // namespace
}  // namespace tarvell
