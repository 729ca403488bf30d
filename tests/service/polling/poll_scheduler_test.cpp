// The poll scheduler: a bounded pool, a queue without duplicates, and the follow-up poll that
// covers the ports of a switch that came up while it was being polled.
#include <atomic>
#include <chrono>
#include <thread>

#include "platform/RecursiveLock.h"
#include "platform/snmp/Message.h"
#include "service/polling/PollScheduler.h"
#include "tests/fixtures/snmp/LoopbackResponder.h"
#include "tests/service/polling/PollingFixture.h"

namespace tarvell::polltest {
namespace {

using namespace std::chrono_literals;

class PollSchedulerConcurrencyTest : public PollingFixture {
protected:
    void SetUp() override {
        PollingFixture::SetUp();
        UseSettings(LabSettings());
        UseLabClient(snmptest::FreeUdpPort());  // nobody answers there
    }

    // A request that reads nothing: without a community the poll has no walk to make.
    static PollRequest Quiet(const std::string& switchKey, const std::string& port) {
        return Request("127.0.0.1", "", "1.3.6.1.4.1.9.1.1", port, switchKey);
    }
};

TEST_F(PollSchedulerConcurrencyTest, ALinkUpOfOtherPortsDuringAPollIsPolledAfterItInOneFollowUp) {
    PollScheduler scheduler(*engine, linkup);
    std::vector<std::vector<std::string>> polled;
    std::mutex lock;
    // A poll's first port and the number of ports it carried.
    scheduler.onPollDone = [&](const CScanSnmpMacs& poll, bool) {
        std::lock_guard<std::mutex> guard(lock);
        polled.push_back({poll.PortIndex, std::to_string(poll.Found().size())});
    };
    std::unique_lock<std::recursive_mutex> engineLock(engine->EngineLock);
    scheduler.RequestPoll(Quiet("SW1", "1"));
    ASSERT_TRUE(snmptest::WaitUntil([&] { return scheduler.PeakRunning() == 1; }, 10s));
    scheduler.RequestPoll(Quiet("SW1", "1"));  // the port being polled: nothing more
    scheduler.RequestPoll(Quiet("SW1", "2"));
    scheduler.RequestPoll(Quiet("SW1", "3"));
    scheduler.RequestPoll(Quiet("SW1", "2"));
    engineLock.unlock();
    ASSERT_TRUE(scheduler.WaitIdle(20'000));
    std::lock_guard<std::mutex> guard(lock);
    ASSERT_EQ(polled.size(), 2u);
    EXPECT_EQ(polled[0], (std::vector<std::string>{"1", "1"}));
    EXPECT_EQ(polled[1], (std::vector<std::string>{"2", "2"}));  // ports 2 and 3 together
}

TEST_F(PollSchedulerConcurrencyTest, AtMostThirtyTwoPollsRunAndTheRestWaitWithoutDuplicates) {
    PollScheduler scheduler(*engine, linkup);
    std::atomic<int> polls{0};
    scheduler.onPollDone = [&](const CScanSnmpMacs&, bool) { ++polls; };
    std::unique_lock<std::recursive_mutex> engineLock(engine->EngineLock);
    for (int round = 0; round < 2; ++round)
        for (int sw = 0; sw < 40; ++sw)
            scheduler.RequestPoll(Quiet("SW" + std::to_string(sw), "1"));
    ASSERT_TRUE(snmptest::WaitUntil([&] { return scheduler.PeakRunning() == 32; }, 10s));
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(scheduler.PeakRunning(), 32u);
    engineLock.unlock();
    ASSERT_TRUE(scheduler.WaitIdle(20'000));
    EXPECT_EQ(polls.load(), 40);
    EXPECT_EQ(scheduler.Dropped(), 0u);
    RecursiveGuard guard(engine->EngineLock);
    EXPECT_TRUE(engine->PolledSwitches.empty());
}

TEST_F(PollSchedulerConcurrencyTest, AFullQueueDropsAndSaysSoOnce) {
    PollSchedulerOptions options;
    options.maxPolls = 1;
    options.maxQueuedSwitches = 2;
    PollScheduler scheduler(*engine, linkup, options);
    std::unique_lock<std::recursive_mutex> engineLock(engine->EngineLock);
    scheduler.RequestPoll(Quiet("SW0", "1"));
    ASSERT_TRUE(snmptest::WaitUntil([&] { return scheduler.PeakRunning() == 1; }, 10s));
    for (int sw = 1; sw <= 5; ++sw) scheduler.RequestPoll(Quiet("SW" + std::to_string(sw), "1"));
    EXPECT_EQ(scheduler.Dropped(), 3u);
    engineLock.unlock();
    ASSERT_TRUE(scheduler.WaitIdle(20'000));
    int lines = 0;
    for (const std::string& line : log.Lines())
        lines += line.find("could not be queued") != std::string::npos;
    EXPECT_EQ(lines, 1);
}

TEST_F(PollSchedulerConcurrencyTest, StopEndsAPollOfADeadSwitchAfterItsRequestInFlight) {
    CTarvellDoc doc = LabSettings();
    doc.SnmpTimeout = 1000;
    doc.SnmpRetries = 0;
    UseSettings(doc);
    auto scheduler = std::make_unique<PollScheduler>(*engine, linkup);
    scheduler->RequestPoll(Request("127.0.0.1", "public", "1.3.6.1.4.1.9.1.1", "1", "DEAD"));
    ASSERT_TRUE(snmptest::WaitUntil([&] { return scheduler->PeakRunning() == 1; }, 10s));
    std::this_thread::sleep_for(100ms);
    const auto start = std::chrono::steady_clock::now();
    scheduler->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    scheduler->RequestPoll(Quiet("SW1", "1"));  // refused after stop
    EXPECT_TRUE(scheduler->WaitIdle(1000));
    RecursiveGuard guard(engine->EngineLock);
    EXPECT_TRUE(engine->PolledSwitches.empty());
}

// A switch whose poll got no answer waits out a doubling back-off; requests meanwhile merge into
// its one entry, and switches that answer are polled first.
TEST_F(PollSchedulerConcurrencyTest, ASilentSwitchBacksOffAndDoesNotDelayOthers) {
    CTarvellDoc doc = LabSettings();
    doc.SnmpTimeout = 100;
    doc.SnmpRetries = 0;
    UseSettings(doc);
    PollSchedulerOptions options;
    options.maxPolls = 1;
    options.backoffFirstMs = 600;
    options.poll.attempts = 1;
    PollScheduler scheduler(*engine, linkup, options);
    std::mutex lock;
    std::vector<std::pair<std::string, std::chrono::steady_clock::time_point>> polled;
    scheduler.onPollDone = [&](const CScanSnmpMacs& poll, bool) {
        std::lock_guard<std::mutex> guard(lock);
        polled.emplace_back(poll.SwitchKey, std::chrono::steady_clock::now());
    };
    const auto count = [&] {
        std::lock_guard<std::mutex> guard(lock);
        return polled.size();
    };
    const PollRequest dead = Request("127.0.0.1", "public", "1.3.6.1.4.1.9.1.1", "1", "DEAD");
    scheduler.RequestPoll(dead);
    ASSERT_TRUE(snmptest::WaitUntil([&] { return count() == 1; }, 10s));
    EXPECT_EQ(scheduler.SilentSwitches(), 1u);
    for (int i = 0; i < 5; ++i) scheduler.RequestPoll(dead);  // one entry, deferred
    scheduler.RequestPoll(Quiet("SW1", "1"));
    ASSERT_TRUE(snmptest::WaitUntil([&] { return count() == 3; }, 10s));
    std::this_thread::sleep_for(300ms);
    std::lock_guard<std::mutex> guard(lock);
    ASSERT_EQ(polled.size(), 3u);
    EXPECT_EQ(polled[1].first, "SW1");
    EXPECT_EQ(polled[2].first, "DEAD");
    EXPECT_GE(polled[2].second - polled[0].second, 600ms);
    EXPECT_EQ(scheduler.SilentSwitches(), 1u);
}

// A switch not known to answer (never polled, or silent at its last poll) gives up at its first
// unanswered walk; one that answered its last poll is read whole, and goes before new switches.
TEST_F(PollSchedulerConcurrencyTest, OnlySwitchesThatAnsweredLastAreReadWholeAndGoFirst) {
    std::atomic<bool> answers{false};
    std::atomic<int> requests{0};
    snmptest::LoopbackResponder agent([&](std::string_view datagram) -> std::string {
        ++requests;
        auto message = snmp::DecodeCommunityMessage(datagram);
        if (!answers || !message) return {};
        message->pdu.type = snmp::pdu::kResponse;
        for (snmp::VarBind& b : message->pdu.bindings) b = {{2, 1}, snmp::Value::Integer(0)};
        return snmp::EncodeCommunityMessage(message->version, message->community, message->pdu);
    });
    CTarvellDoc doc = LabSettings();
    doc.SnmpTimeout = 100;
    doc.SnmpRetries = 0;
    UseSettings(doc);
    UseLabClient(agent.Port());
    PollSchedulerOptions options;
    options.maxPolls = 1;
    options.backoffFirstMs = 10;
    options.poll.attemptPauseMs = 10;
    PollScheduler scheduler(*engine, linkup, options);
    std::vector<std::string> order;
    scheduler.onPollDone = [&](const CScanSnmpMacs& poll, bool) {
        order.push_back(poll.SwitchKey);
    };
    const PollRequest sw = Request("127.0.0.1", "public", "1.3.6.1.4.1.9.1.1", "1", "SW");
    // Two VLAN walks, then three forwarding-table walks in each of three attempts.
    const struct {
        bool answers;
        int requests;
    } steps[] = {{false, 1}, {true, 11}, {false, 11}, {false, 1}, {true, 11}};
    for (const auto& step : steps) {
        answers = step.answers;
        requests = 0;
        std::this_thread::sleep_for(50ms);  // past the back-off
        scheduler.RequestPoll(sw);
        ASSERT_TRUE(scheduler.WaitIdle(10'000));
        EXPECT_EQ(requests.load(), step.requests) << "answers " << step.answers;
    }
    std::unique_lock<std::recursive_mutex> engineLock(engine->EngineLock);
    scheduler.RequestPoll(Quiet("BUSY", "1"));
    std::this_thread::sleep_for(200ms);  // taken, and waiting for the engine
    scheduler.RequestPoll(Quiet("NEW", "1"));
    scheduler.RequestPoll(sw);
    engineLock.unlock();
    ASSERT_TRUE(scheduler.WaitIdle(10'000));
    EXPECT_EQ(std::vector<std::string>(order.end() - 3, order.end()),
              (std::vector<std::string>{"BUSY", "SW", "NEW"}));
}

}  // namespace
}  // namespace tarvell::polltest
