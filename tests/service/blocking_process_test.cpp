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

#include "tests/support/RunningService.h"

namespace tarvell {
namespace {

using testing::RunningService;
using testing::WaitUntil;

const std::string kEventKey = "00AABB000001/3";

TEST(BlockingProcessTest, ABlockedEventSurvivesARestartAndIsNotShutTwice) {
    RunningService service("blocking-process-");
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
    ASSERT_TRUE(MakeDirectories(service.Folder()) &&
                WriteStateFile(service.Path(kEventDatabaseName), events));
    // The block program notes each call; the shell here is the test's, not the service's.
    const std::string script = service.Root() / "block.sh", calls = service.Root() / "calls.txt";
    ASSERT_TRUE(AtomicWriteFile(script, "#!/bin/sh\necho \"$1\" >> '" + calls + "'\n"));
    ASSERT_EQ(::chmod(script.c_str(), 0755), 0);
    CTarvellDoc doc;
    doc.BlockScriptFile = script;
    const auto callsMade = [&] { return ReadWholeFile(calls).value_or(""); };

    ASSERT_TRUE(service.Start(doc));
    ASSERT_TRUE(WaitUntil(
        [&] {
            const auto stored = service.Event(kEventKey);
            return stored && !stored->Extra.empty();
        },
        30'000))
        << service.Output();
    EXPECT_EQ(callsMade(), "10.0.0.1/3\n");
    const std::string shutAt = service.Event(kEventKey)->Extra;
    ASSERT_TRUE(service.Stop()) << service.Output();

    ASSERT_TRUE(service.Run());
    // The first pass writes the state files; later passes with nothing changed write nothing,
    // so four more are waited for by the clock.
    ASSERT_TRUE(service.WaitForSaves(1)) << service.Output();
    std::this_thread::sleep_for(std::chrono::milliseconds(4 * 200));
    ASSERT_TRUE(service.Stop()) << service.Output();
    EXPECT_EQ(callsMade(), "10.0.0.1/3\n") << "the port was shut only once";
    const auto stored = service.Event(kEventKey);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->Blocked, 1);
    EXPECT_EQ(stored->Extra, shutAt);
}

}  // namespace
}  // namespace tarvell
