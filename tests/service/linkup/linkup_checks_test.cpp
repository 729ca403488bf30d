#include "service/linkup/LinkupChecks.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/service/linkup/GateWmiClient.h"
#include "tests/service/linkup/LinkupFixture.h"

namespace tarvell::linkuptest {
namespace {

// The pool's clients share one gate owned by the test.
class SharedGate final : public WmiClient {
public:
    explicit SharedGate(GateClient& gate) : gate_(gate) {}
    std::unique_ptr<WmiConnection> Open(const ManualResetEvent* cancel) override {
        return gate_.Open(cancel);
    }
    std::string Name() const override { return "gate"; }

private:
    GateClient& gate_;
};

class LinkupChecksConcurrencyTest : public LinkupFixture {
protected:
    void SetUp() override {
        LinkupFixture::SetUp();
        settings.WmiNodesMode = "1";
        settings.WmiConditions = {"4;Spooler"};
        Apply();
    }

    std::unique_ptr<LinkupChecks> MakeChecks(LinkupCheckOptions options = LinkupCheckOptions()) {
        return std::make_unique<LinkupChecks>(
            *engine, [this] { return std::make_unique<SharedGate>(gate); }, options);
    }

    static std::string Mac(int i) {
        char mac[13];
        std::snprintf(mac, sizeof mac, "00DD%08X", i);
        return mac;
    }
    void AddNodes(int count) {
        for (int i = 0; i < count; ++i)
            AddNode(Mac(i), "10.8.0." + std::to_string(i + 1), "SW1", "7");
    }

    GateClient gate;
};

TEST_F(LinkupChecksConcurrencyTest, SixteenChecksRunAtOnceAndTheRestWait) {
    AddNodes(20);
    auto checks = MakeChecks();
    for (int i = 0; i < 20; ++i) checks->StartCheck(LinkupCheck::Wmi, Target(Mac(i)));
    ASSERT_TRUE(gate.WaitEntered(16));
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(gate.Entered(), 16);
    EXPECT_EQ(checks->Pending(), 20u);
    gate.Release(1000);
    EXPECT_TRUE(checks->WaitIdle(20'000));
    EXPECT_EQ(gate.Entered(), 20);
    EXPECT_EQ(checks->Pending(), 0u);
}

TEST_F(LinkupChecksConcurrencyTest, ANodeHasAtMostOnePendingCheckOfEachKind) {
    AddNodes(2);
    auto checks = MakeChecks();
    for (int i = 0; i < 5; ++i) checks->StartCheck(LinkupCheck::Wmi, Target(Mac(0)));
    checks->StartCheck(LinkupCheck::Script, Target(Mac(0)));  // no script set: ends at once
    checks->StartCheck(LinkupCheck::Wmi, Target(Mac(1)));
    ASSERT_TRUE(gate.WaitEntered(2));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(gate.Entered(), 2);
    EXPECT_EQ(checks->Pending(), 2u);
    gate.Release(1000);
    ASSERT_TRUE(checks->WaitIdle(20'000));
    // Once ended, the node may be checked again.
    checks->StartCheck(LinkupCheck::Wmi, Target(Mac(0)));
    ASSERT_TRUE(checks->WaitIdle(20'000));
    EXPECT_EQ(gate.Entered(), 3);
}

TEST_F(LinkupChecksConcurrencyTest, AFullQueueDropsAndLogsOnce) {
    AddNodes(10);
    LinkupCheckOptions options;
    options.threads = 1;
    options.maxQueued = 2;
    auto checks = MakeChecks(options);
    checks->StartCheck(LinkupCheck::Wmi, Target(Mac(0)));
    ASSERT_TRUE(gate.WaitEntered(1));  // the one thread is busy
    for (int i = 1; i < 10; ++i) checks->StartCheck(LinkupCheck::Wmi, Target(Mac(i)));
    EXPECT_EQ(checks->Pending(), 3u);
    int logged = 0;
    for (const auto& line : log.Lines())
        logged += line.find("could not be queued") != std::string::npos;
    EXPECT_EQ(logged, 1);
    gate.Release(1000);
    EXPECT_TRUE(checks->WaitIdle(20'000));
    EXPECT_EQ(gate.Entered(), 3);
}

TEST_F(LinkupChecksConcurrencyTest, StopEndsBlockedChecksAndLaterStartsAreIgnored) {
    AddNodes(20);
    auto checks = MakeChecks();
    for (int i = 0; i < 20; ++i) checks->StartCheck(LinkupCheck::Wmi, Target(Mac(i)));
    checks->StartWmiRecheck();
    ASSERT_TRUE(gate.WaitEntered(16));
    const auto start = std::chrono::steady_clock::now();
    checks->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    EXPECT_EQ(checks->Pending(), 0u);
    checks->StartCheck(LinkupCheck::Wmi, Target(Mac(0)));
    checks->StartWmiRecheck();
    EXPECT_EQ(checks->Pending(), 0u);
    EXPECT_TRUE(checks->WaitIdle(1000));
}

TEST_F(LinkupChecksConcurrencyTest, TheRecheckChecksEveryNodeBesideThePool) {
    AddNodes(5);
    auto checks = MakeChecks();
    gate.Release(1000);
    checks->StartWmiRecheck();
    ASSERT_TRUE(checks->WaitIdle(20'000));
    EXPECT_EQ(gate.Entered(), 5);
    checks->StartWmiRecheck();  // the last one ended: a new one runs
    ASSERT_TRUE(checks->WaitIdle(20'000));
    EXPECT_EQ(gate.Entered(), 10);
    EXPECT_TRUE(LogMentions("WMI checks use the gate backend"));
}

}  // namespace
}  // namespace tarvell::linkuptest
