// Runs the built TarvellSrv with a block program: a blocked event kept in Tarvell.db is shut
// once, and a restart of the service finds it shut and leaves it alone. And a stop while a port
// is being set by SNMP on a switch that never answers.
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/fixtures/snmp/LoopbackResponder.h"
#include "tests/support/RunningService.h"

namespace tarvell {
namespace {

using testing::RunningService;
using testing::WaitUntil;

const std::string kEventKey = "00AABB000001/3";

// Tarvell.db with a manual block (carried out with prevention off) of port 3 of the switch.
bool WriteManualBlock(const RunningService& service, const std::string& deviceIp) {
    EventDatabaseFile events;
    auto event = std::make_unique<CEventItem>();
    event->SwitchKey = "00AABB000001";
    event->PortKey = "3";
    event->DeviceIp = deviceIp;
    event->SourceMac = "001122334455";
    event->EventType = event->Description = "Unauthorized Node";
    event->Category = "Detection";
    event->DateKey = "1700000000";
    event->Blocked = 1;
    event->Submitter = "admin@LAB";
    events.EventMap[kEventKey] = std::move(event);
    return MakeDirectories(service.Folder()) &&
           WriteStateFile(service.Path(kEventDatabaseName), events);
}

TEST(BlockingProcessTest, ABlockedEventSurvivesARestartAndIsNotShutTwice) {
    RunningService service("blocking-process-");
    ASSERT_TRUE(WriteManualBlock(service, "10.0.0.1;10.0.0.2"));
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

// Fault: each of four communities waited out its time-out and retry on a silent switch (8 s).
TEST(BlockingProcessTest, AStopEndsTheServiceWithinASecondWhileASilentSwitchIsSet) {
    RunningService service("blocking-stop-");
    std::atomic<int> requests{0};
    snmptest::LoopbackResponder silent([&](std::string_view) { return ++requests, std::string(); });
    ASSERT_TRUE(service.InstallSibling("switch 00AABB000001\n SwitchIps 127.0.0.1\nend\n"));
    ASSERT_TRUE(WriteManualBlock(service, "127.0.0.1"));
    CTarvellDoc doc;
    doc.SnmpPreventionEnabled = doc.SnmpPreventionMethod = doc.SnmpCommunitiesEnabled = 1;
    doc.SnmpCommunities = {"one/1", "two/1", "three/1", "four/1"};
    ASSERT_TRUE(service.Start(doc, {"TARVELL_SNMP_AGENT_PORT=" + std::to_string(silent.Port())}));
    ASSERT_TRUE(WaitUntil([&] { return requests > 0; }, 30'000)) << service.Output();

    const auto stopAt = std::chrono::steady_clock::now();
    ASSERT_TRUE(service.Stop()) << service.Output();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - stopAt)
                        .count();
    EXPECT_LT(ms, 1000) << service.Output();
    EXPECT_TRUE(service.LinesWith("could not be shut").empty()) << service.Output();
}

}  // namespace
}  // namespace tarvell
