#include "service/linkup/CScanLinkupWmiNow.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "tests/service/linkup/GateWmiClient.h"
#include "tests/service/linkup/LinkupFixture.h"

namespace tarvell::linkuptest {
namespace {

using namespace std::chrono_literals;

class WmiNowTest : public LinkupFixture {
protected:
    void AddNodes(int count) {
        for (int i = 0; i < count; ++i) {
            char mac[13];
            std::snprintf(mac, sizeof mac, "00BB%08X", i);
            AddNode(mac, "10.9." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1),
                    "SW1", "7");
        }
    }

    bool WaitFinished(const WorkerThread& thread, std::chrono::milliseconds limit = 20s) {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (!thread.Finished() && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(5ms);
        return thread.Finished();
    }
};

// ---- the bound of 64

TEST_F(WmiNowTest, TheSixtyFifthCheckStartsOnlyAfterOneOfTheFirstSixtyFourEnded) {
    settings.WmiNodesMode = "1";
    settings.WmiConditions = {"4;Spooler"};
    Apply();
    AddNodes(65);
    GateClient gate;
    CScanLinkupWmiNow now(*engine, gate);
    ASSERT_TRUE(now.Start());
    ASSERT_TRUE(gate.WaitEntered(64));
    std::this_thread::sleep_for(300ms);  // time enough for a 65th to start if the bound failed
    EXPECT_EQ(gate.Entered(), 64);
    EXPECT_EQ(now.Started(), 64u);
    EXPECT_FALSE(now.Finished());

    gate.Release(1);
    ASSERT_TRUE(gate.WaitEntered(65));
    EXPECT_EQ(now.Started(), 65u);
    EXPECT_FALSE(now.Finished());  // it waits for all of them
    gate.Release(1000);
    EXPECT_TRUE(WaitFinished(now));
    EXPECT_EQ(gate.Entered(), 65);
}

TEST_F(WmiNowTest, AStopEndsTheStartingAndTheRunningChecks) {
    settings.WmiNodesMode = "1";
    Apply();
    AddNodes(70);
    GateClient gate;
    CScanLinkupWmiNow now(*engine, gate);
    ASSERT_TRUE(now.Start());
    ASSERT_TRUE(gate.WaitEntered(64));
    now.RequestStop();
    EXPECT_TRUE(WaitFinished(now));
    EXPECT_EQ(now.Started(), 64u);
}

TEST_F(WmiNowTest, WithoutEligibleNodesOrWithDetectionOffItEndsAtOnce) {
    GateClient gate;
    CScanLinkupWmiNow empty(*engine, gate);
    empty.CheckAll();
    EXPECT_EQ(empty.Started(), 0u);

    AddNodes(3);
    settings.DetectionEnabled = 0;
    Apply();
    CScanLinkupWmiNow off(*engine, gate);
    off.CheckAll();
    EXPECT_EQ(off.Started(), 0u);
    EXPECT_EQ(gate.Entered(), 0);
}

// ---- which nodes are checked

TEST_F(WmiNowTest, NodesFailingAnySkipRuleAreNotChecked) {
    CDbItem& sw2 = AddSwitch("SW2", "10.2.2.1;10.2.2.2");
    sw2.SwitchName() = "";
    sw2.SwitchAltName() = "edge-alt";
    sw2.SwitchLocation() = "Floor 2";
    AddSwitch("SW3", "10.3.3.1");
    settings.WmiDevices = {"SW2", "SW3"};
    settings.ExcludeDirectNodes = 1;
    settings.ExcludeDevicesEnabled = 1;
    settings.ExcludedDevices = {"SW3"};
    settings.WmiConditions = {"4;Spooler"};
    Apply();
    AddNode("00CC00000001", "10.5.0.1", "SW2", "7", "2");  // the one eligible node
    AddNode("00CC00000002", "", "SW2", "7", "2");          // no address
    AddNode("00CC00000003", "10.5.0.3", "", "7", "2");     // no switch
    AddNode("00CC00000004", "10.5.0.4", "SW2", "", "2");   // no port
    AddNode("00CC00000005", "10.5.0.5", "SW9", "7", "2");  // unknown switch
    AddNode("00CC00000006", "10.5.0.6", "SW1", "7", "2");  // WMI events not selected there
    AddNode("00CC00000007", "10.5.0.7", "SW2", "7", "1");  // excluded: alone on its port
    AddNode("00CC00000008", "10.5.0.8", "SW3", "7", "2");  // an excluded device
    WriteComputer("10.5.0.1", R"({"classes": {"Win32_Service": [{"Name": "WinRM"}]}})");

    CScanLinkupWmiNow now(*engine, *wmi);
    now.CheckAll();
    EXPECT_EQ(now.Started(), 1u);
    std::set<std::string> asked;
    for (const auto& c : wmi->Connects()) asked.insert(c.nodeIp);
    EXPECT_EQ(asked, std::set<std::string>{"10.5.0.1"});
    const auto events = Events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].EventType, "WMI Service Name");
    EXPECT_EQ(events[0].SourceMac, "00CC00000001");
    EXPECT_EQ(events[0].DeviceIp, "10.2.2.1");
    EXPECT_EQ(events[0].DeviceName, "edge-alt");
    EXPECT_EQ(events[0].DeviceLocation, "Floor 2");
    EXPECT_EQ(events[0].PortKey, "7");
}

TEST_F(WmiNowTest, ARequestWhileRunningGivesOneMoreRound) {
    settings.WmiNodesMode = "1";
    Apply();
    AddNodes(2);
    GateClient gate;
    CScanLinkupWmiNow now(*engine, gate);
    ASSERT_TRUE(now.Start());
    ASSERT_TRUE(gate.WaitEntered(2));
    EXPECT_TRUE(now.RunAgain());
    EXPECT_TRUE(now.RunAgain());  // requests meanwhile fold into one round
    gate.Release(1000);
    EXPECT_TRUE(WaitFinished(now));
    EXPECT_EQ(now.Started(), 4u);
    EXPECT_FALSE(now.RunAgain());  // ended: the caller starts a new one
}

}  // namespace
}  // namespace tarvell::linkuptest
