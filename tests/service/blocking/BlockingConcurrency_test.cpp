// The blocking thread beside threads that record, replace and clear the same events.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/RecursiveLock.h"
#include "platform/Text.h"
#include "tests/service/blocking/BlockingFixture.h"

namespace tarvell::blockingtest {
namespace {

using BlockingConcurrencyTest = BlockingFixture;

TEST_F(BlockingConcurrencyTest, RecordingAndClearingWhileTheThreadBlocksLeavesWholeRecords) {
    CTarvellDoc doc = ProgramSettings();
    doc.PreventionEnabled = 1;
    doc.PreventAlertsEnabled = 1;
    doc.DetectionEnabled = 1;
    UseSettings(doc);
    // Every other program fails, so retries and successes mix.
    std::atomic<int> runs{0};
    programResult = [&](const ProcessOptions&) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        return Exited(runs++ % 2);
    };
    ASSERT_TRUE(blocking->Start());
    std::atomic<bool> done{false};
    std::thread recorder([&] {
        // Until three passes' worth of programs ran (a pass comes every second).
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        for (int round = 0; runs < 24 && std::chrono::steady_clock::now() < end; ++round) {
            for (int port = 1; port <= 8; ++port) {
                auto event = std::make_unique<CEventItem>();
                event->SwitchKey = "00AABB000001";
                event->PortKey = std::to_string(port);
                event->DeviceIp = "10.0.0.1";
                event->SourceMac = "0011223344" + std::to_string(10 + port);
                event->EventType = event->Description = "Unauthorized Node";
                engine->RecordEvent(std::move(event));
                if (round % 3 == 0) engine->ClearEventExtra("00AABB000001/" + std::to_string(port));
            }
            clock.Advance(31);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        done = true;
    });
    std::thread purger([&] {
        while (!done) {
            {
                RecursiveGuard lock(engine->EngineLock);
                engine->EventMap.erase("00AABB000001/4");
                engine->BlockMacs.clear();
                engine->PortRequests.clear();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        }
    });
    recorder.join();
    purger.join();
    blocking->StopAndJoin();
    EXPECT_GE(runs.load(), 24);

    RecursiveGuard lock(engine->EngineLock);
    for (const auto& [key, event] : engine->EventMap) {
        EXPECT_EQ(event->Blocked, 1) << key;
        EXPECT_TRUE(event->Extra.empty() || AtoL(event->Extra) > 0) << key;
    }
}

}  // namespace
}  // namespace tarvell::blockingtest
