// The detection thread's pass: working sets, pacing of the rules, polls of ports that came up,
// the threat rules over real passes, and the thread itself.
#include <gtest/gtest.h>

#include <chrono>
#include <clocale>
#include <thread>

#include "platform/RecursiveLock.h"
#include "tests/service/ServiceTestSupport.h"
#include "tests/service/detection/DetectionFixture.h"

namespace tarvell::detectiontest {
namespace {

const std::string kSwitch = "00AABB000001";
const std::string kNode = "00AA00000001";

using ScanDatabaseTest = DetectionFixture;
using ScanDatabaseConcurrencyTest = DetectionFixture;

// ---- working sets and the conditions of a round

TEST_F(ScanDatabaseTest, CopyRecordCopiesEveryField) {
    CDbItem from;
    for (int n = dbfield::kFirst; n <= dbfield::kLast; ++n) {
        if (dbfield::IsWord(n)) from.SetNumber(n, n * 3);
        else from.SetText(n, "field " + std::to_string(n));
    }
    CDbItem to;
    CScanDatabase::CopyRecord(from, to);
    EXPECT_EQ(to, from);
}

TEST_F(ScanDatabaseTest, WorkingSetsHoldEnabledPortsAndLocatedEnabledNodes) {
    PortOf(kSwitch + "/2").PortDisabled() = 1;
    Node("00AA00000002", "10.0.0.2", "", "");
    Node("00AA00000003", "10.0.0.3", kSwitch, "");
    Node("00AA00000004", "10.0.0.4", kSwitch, "2").NodeDisabled() = 1;
    Publish();
    Passes(1);
    ASSERT_EQ(scan->EnabledPorts().size(), 1u);
    EXPECT_EQ(scan->EnabledPorts().begin()->first, kSwitch + "/1");
    EXPECT_EQ(*scan->EnabledPorts().begin()->second, PortOf(kSwitch + "/1"));
    ASSERT_EQ(scan->LocatedNodes().size(), 1u);
    EXPECT_EQ(*scan->LocatedNodes().at(kNode), NodeOf(kNode));
}

TEST_F(ScanDatabaseTest, WithDetectionOffNothingStartsButTheSetsAreRebuilt) {
    settings.DetectionEnabled = 0;
    settings.NewMacEnabled = 1;
    settings.ChangedIpEnabled = 1;
    Apply();
    PortOf(kSwitch + "/2").PortStatus() = 0;
    Start();
    PortOf(kSwitch + "/2").PortStatus() = 1;
    NodeOf(kNode).NodeIp() = "10.0.0.2";
    Publish();
    Passes(3);
    EXPECT_TRUE(polls.Requests().empty());
    EXPECT_TRUE(Alerts().empty());
    EXPECT_EQ(scan->EnabledPorts().at(kSwitch + "/2")->PortStatus(), 1);
    EXPECT_EQ(scan->LocatedNodes().at(kNode)->NodeIp(), "10.0.0.2");
}

TEST_F(ScanDatabaseTest, NoRuleRunsWithoutAnEnabledPortOrWithoutALocatedNode) {
    settings.ChangedIpEnabled = 1;
    settings.ReceiveThreshold = 10;
    Apply();
    for (int withoutPorts = 0; withoutPorts < 2; ++withoutPorts) {
        SCOPED_TRACE(withoutPorts ? "no enabled port" : "no located node");
        if (withoutPorts) {
            NodeOf(kNode).NodeSwitch() = kSwitch;
            for (auto& [key, port] : generation.SiblingPorts) port->PortDisabled() = 1;
        } else {
            NodeOf(kNode).NodeSwitch() = "";
        }
        PortOf(kSwitch + "/1").PortReceiveRate() = "50";
        Start();
        NodeOf(kNode).NodeIp() = "10.0.0." + std::to_string(5 + withoutPorts);
        Publish();
        Passes(3);
        EXPECT_TRUE(Alerts().empty());
    }
}

TEST_F(ScanDatabaseTest, ADisabledSwitchSilencesTheRulesOfItsPorts) {
    settings.ReceiveThreshold = 10;
    settings.ChangedIpEnabled = 1;
    Apply();
    generation.SiblingSwitches.at(kSwitch)->SwitchDisabled() = 1;
    PortOf(kSwitch + "/1").PortReceiveRate() = "50";
    Start();
    NodeOf(kNode).NodeIp() = "10.0.0.2";
    Publish();
    Passes(3);
    EXPECT_TRUE(Alerts().empty());
}

// The engine's own generation is read, not a copy, and the pass keeps it as the previous one
// after the engine has let it go.
TEST_F(ScanDatabaseTest, ALoadedGenerationIsReadInPlaceAndKeptUntilThePassAfterTheNext) {
    settings.ChangedIpEnabled = 1;
    Apply();
    Publish();
    Passes(1);
    const std::weak_ptr<const SiblingView> first = scan->PreviousGeneration();
    EXPECT_EQ(first.lock(), engine->SiblingData());
    NodeOf(kNode).NodeIp() = "10.0.0.2";
    Publish();
    EXPECT_FALSE(first.expired());
    Passes(1);
    EXPECT_EQ(AlertsOf("Changed Ip").size(), 1u);  // judged against it
    EXPECT_TRUE(first.expired());
}

// The passes rely on this: the engine raises the counter whenever what a pass reads may change.
TEST_F(ScanDatabaseTest, TheEngineRaisesItsDataGenerationForNewSiblingDataAndNewSettings) {
    std::uint64_t last = engine->DataGeneration.load();
    Publish();  // Ombrix.db read by the engine
    EXPECT_GT(engine->DataGeneration.load(), last);
    last = engine->DataGeneration.load();
    ASSERT_TRUE(engine->Deserialize(StoredFileKind::Sibling, EncodeStateFile(generation)));
    EXPECT_GT(engine->DataGeneration.load(), last);
    last = engine->DataGeneration.load();
    Apply();  // settings published
    EXPECT_GT(engine->DataGeneration.load(), last);
    last = engine->DataGeneration.load();
    ASSERT_TRUE(AtomicWriteFile(JoinPath(siblingFolder, "Ombrix.db"), "damaged"));
    EXPECT_FALSE(engine->LoadSiblingDatabase());
    EXPECT_EQ(engine->DataGeneration.load(), last);  // nothing was swapped in
}

// A pass on unchanged data reads the working sets instead of fresh copies; it still asks the
// engine's verdicts, which change without a new generation (an event deleted in between).
TEST_F(ScanDatabaseTest, PassesOnUnchangedDataStillAnswerTheBlackList) {
    settings.BlackListEnabled = 1;
    Apply();
    Start();
    EXPECT_TRUE(Alerts().empty());
    settings.NodesBlackList = {kNode + "/1;"};
    Apply();  // new settings: a new generation
    Passes(3);
    EXPECT_EQ(AlertsOf("Unauthorized Blacklist Node").size(), 1u);
    // The event is deleted by the viewer: the node is raised again in the next pass.
    {
        RecursiveGuard lock(engine->EngineLock);
        engine->EventMap.begin()->second->Deleted = 1;
    }
    Passes(1);
    EXPECT_EQ(AlertsOf("Unauthorized Blacklist Node").size(), 2u);
}

// ---- ports that come up

TEST_F(ScanDatabaseTest, APortThatComesUpStartsOnePollWithItsSwitchLocation) {
    settings.NewMacEnabled = 1;
    Apply();
    PortOf(kSwitch + "/2").PortStatus() = 0;
    Start();
    PortOf(kSwitch + "/2").PortStatus() = 1;
    Port(kSwitch, "3", 1);  // new in this generation: no previous copy, no poll
    Publish();
    Passes(10);
    const auto requests = polls.Requests();
    ASSERT_EQ(requests.size(), 1u);
    PollRequest expected;
    expected.PortIndex = "2";
    expected.SwitchObjectId = "1.3.6.1.4.1.8072.3.2.10";
    expected.SwitchIp = "127.0.0.11";
    expected.SwitchKey = kSwitch;
    expected.Community = "public";
    expected.SwitchName = "core-1";
    expected.PortName = "port-2";
    expected.SwitchLocation = "Building A, rack 1";
    EXPECT_EQ(requests[0], expected);
}

TEST_F(ScanDatabaseTest, APortThatComesUpIsPolledOnlyWhenSomethingWantsTheNewNodes) {
    PortOf(kSwitch + "/2").PortStatus() = 0;
    Start();
    PortOf(kSwitch + "/2").PortStatus() = 1;
    Publish();
    Passes(2);
    EXPECT_TRUE(polls.Requests().empty());
}

TEST_F(ScanDatabaseTest, APortThatComesUpWithSnmpPreventionClearsTheBlockTime) {
    settings.PreventionEnabled = settings.SnmpPreventionEnabled = settings.SnmpPreventionMethod = 1;
    Apply();
    CEventItem& blocked = AddEvent(kSwitch, "2");
    blocked.Blocked = 1;
    blocked.Extra = "1700000000";
    PortOf(kSwitch + "/2").PortStatus() = 0;
    Start();
    PortOf(kSwitch + "/2").PortStatus() = 1;
    Publish();
    Passes(1);
    EXPECT_EQ(EventCopy(kSwitch + "/2").Extra, "");
}

// ---- threat rules over passes

TEST_F(ScanDatabaseTest, AThreatRisesOnceAndAgainWithEachNewLevelThenClearsWithOneAlert) {
    settings.ReceiveThreshold = 25;
    settings.ThreatNormalAlerts = 1;
    Apply();
    const std::string key = kSwitch + "/2";
    PortOf(key).PortReceiveRate() = "30";
    Start();
    Passes(5);
    auto raised = AlertsOf("Threat Receive");
    ASSERT_EQ(raised.size(), 1u);
    EXPECT_EQ(raised[0].Severity, 2);
    EXPECT_EQ(raised[0].Current, "30%");
    EXPECT_EQ(raised[0].SourceMac, key);
    EXPECT_EQ(raised[0].SourceIp, "127.0.0.11");
    EXPECT_EQ(raised[0].SourceName, "core-1");
    EXPECT_EQ(scan->Levels(ThreatRule::Receive).at(key), "Moderate");

    PortOf(key).PortReceiveRate() = "65";
    Publish();
    Passes(5);
    raised = AlertsOf("Threat Receive");
    ASSERT_EQ(raised.size(), 2u);
    EXPECT_EQ(EventCopy(key).Severity, 4);
    EXPECT_EQ(EventCopy(key).Current, "65%");
    EXPECT_EQ(EventCopy(key).Before, "30%");

    PortOf(key).PortReceiveRate() = "10";
    Publish();
    Passes(5);
    raised = AlertsOf("Threat Receive");
    ASSERT_EQ(raised.size(), 3u);
    const CAlertItem& cleared = raised.back();
    EXPECT_EQ(cleared.Severity, 0);
    EXPECT_EQ(cleared.Current, "10%");
    EXPECT_EQ(cleared.Before, "65%");
    EXPECT_EQ(cleared.DevicePort, "port-2");
    EXPECT_EQ(cleared.PortKey, "2");
    EXPECT_EQ(EventCopy(key).Severity, 4);  // no event for the fall
    EXPECT_EQ(EventCount(), 1u);
    EXPECT_TRUE(scan->Levels(ThreatRule::Receive).empty());
}

// A level event names its switch by the first address of the list; the alert of the fall names
// it by the whole list, as device and as source.
TEST_F(ScanDatabaseTest, TheLevelEventTakesTheFirstAddressAndTheBackToNormalAlertTheWholeList) {
    struct Case {
        const char* key;
        const char* ips;
        const char* first;
    };
    const Case cases[] = {
        {"00AABB000001", "127.0.0.11;127.0.1.11", "127.0.0.11"},
        {"00AABB000002", "127.0.0.12", "127.0.0.12"},
        {"00AABB000003", "127.0.0.13;127.0.1.13;127.0.2.13", "127.0.0.13"},
    };
    settings.ReceiveThreshold = 25;
    settings.ThreatNormalAlerts = 1;
    Apply();
    for (const Case& c : cases) {
        Switch(c.key, c.ips, "sw");
        Port(c.key, "5");
        PortOf(std::string(c.key) + "/5").PortReceiveRate() = "30";
    }
    Start();
    for (const Case& c : cases) PortOf(std::string(c.key) + "/5").PortReceiveRate() = "10";
    Publish();
    Passes(1);
    for (const Case& c : cases) {
        const CEventItem raised = EventCopy(std::string(c.key) + "/5");
        EXPECT_EQ(raised.DeviceIp, c.first) << c.ips;
        EXPECT_EQ(raised.SourceIp, c.first) << c.ips;
        std::vector<CAlertItem> cleared;
        for (const CAlertItem& a : AlertsOf("Threat Receive"))
            if (a.SwitchKey == c.key && a.Severity == 0) cleared.push_back(a);
        ASSERT_EQ(cleared.size(), 1u) << c.ips;
        EXPECT_EQ(cleared[0].DeviceIp, c.ips);
        EXPECT_EQ(cleared[0].SourceIp, c.ips);
    }
}

TEST_F(ScanDatabaseTest, EachRuleReadsItsOwnFigureAndThreshold) {
    struct Case {
        ThreatRule rule;
        int CTarvellDoc::*threshold;
        std::string& (CDbItem::*figure)();
        const char* current;
    };
    const Case cases[] = {
        {ThreatRule::Receive, &CTarvellDoc::ReceiveThreshold, &CDbItem::PortReceiveRate, "45%"},
        {ThreatRule::Transmit, &CTarvellDoc::TransmitThreshold, &CDbItem::PortTransmitRate, "45%"},
        {ThreatRule::Broadcast, &CTarvellDoc::BroadcastThreshold, &CDbItem::PortBroadcastRate,
         "45 p/s"},
        {ThreatRule::Errors, &CTarvellDoc::ErrorsThreshold, &CDbItem::PortErrorsRate, "45 p/s"},
    };
    int port = 10;
    for (const Case& c : cases) {
        settings.*c.threshold = 40;
        Port(kSwitch, std::to_string(port), 1);
        (PortOf(kSwitch + "/" + std::to_string(port)).*c.figure)() = "45";
        ++port;
    }
    Apply();
    Start();
    for (const Case& c : cases) {
        const auto raised = AlertsOf(ThreatEventType(c.rule));
        ASSERT_EQ(raised.size(), 1u) << ThreatEventType(c.rule);
        EXPECT_EQ(raised[0].Current, c.current);
        EXPECT_EQ(raised[0].Severity, 3);
    }
    EXPECT_EQ(Alerts().size(), 4u);
}

TEST_F(ScanDatabaseTest, AThreatOnADeviceOutsideTheSelectionIsNotRaised) {
    settings.ReceiveThreshold = 10;
    settings.ReceiveDevices = {"00AABB000099"};
    Apply();
    PortOf(kSwitch + "/1").PortReceiveRate() = "90";
    Start();
    EXPECT_TRUE(Alerts().empty());
}

// ---- the thread

TEST_F(ScanDatabaseConcurrencyTest, TheThreadRunsAPassForEachNewGenerationAndStopsCleanly) {
    settings.ChangedIpEnabled = 1;
    Apply();
    Publish();
    ScanPacing pacing;
    pacing.idlePassMs = 600'000;  // passes only for new generations
    pacing.tickMs = 5;
    CScanDatabase thread(*engine, polls, linkup, pacing);
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(testing::WaitUntil([&] { return thread.Passes() >= 1; }));
    Publish();  // a second generation: the rules now have a previous pass
    ASSERT_TRUE(testing::WaitUntil([&] { return thread.Passes() >= 2; }));
    NodeOf(kNode).NodeIp() = "10.0.0.2";
    Publish();
    ASSERT_TRUE(testing::WaitUntil([&] { return AlertsOf("Changed Ip").size() == 1; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const std::uint64_t passes = thread.Passes();
    EXPECT_LE(passes, 4u);  // nothing new, no pass
    const auto asked = std::chrono::steady_clock::now();
    thread.StopAndJoin();
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(2));
    EXPECT_EQ(AlertsOf("Changed Ip").size(), 1u);
}

TEST_F(ScanDatabaseConcurrencyTest, WithoutNewDataTheThreadStillPassesAboutOnceASecond) {
    Publish();
    ScanPacing pacing;
    pacing.tickMs = 5;
    CScanDatabase thread(*engine, polls, linkup, pacing);
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(testing::WaitUntil([&] { return thread.Passes() >= 2; }, 5000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_LE(thread.Passes(), 3u);
    thread.StopAndJoin();
}

TEST_F(ScanDatabaseConcurrencyTest, GenerationsSwappedInWhileThePassesRunAreJudgedSafely) {
    settings.ChangedIpEnabled = 1;
    settings.ReceiveThreshold = 25;
    settings.ThreatNormalAlerts = 1;
    Apply();
    for (int i = 0; i < 200; ++i)
        Node("00AA0001" + std::to_string(1000 + i), "10.1.0.1", kSwitch, "2", "5");
    Publish();
    ScanPacing pacing;
    pacing.tickMs = 1;
    CScanDatabase thread(*engine, polls, linkup, pacing);
    ASSERT_TRUE(thread.Start());
    constexpr int kGenerations = 30;
    for (int g = 0; g < kGenerations; ++g) {
        NodeOf(kNode).NodeIp() = "10.0.0." + std::to_string(g % 2 + 1);
        PortOf(kSwitch + "/1").PortReceiveRate() = g % 2 ? "70" : "5";
        Publish();
        if (g % 5 == 0) Apply();  // settings published from this thread too
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    ASSERT_TRUE(testing::WaitUntil([&] { return thread.Passes() >= 3; }));
    thread.StopAndJoin();
    // Each alert answers one change that a pass saw; passes may skip generations, never repeat one.
    EXPECT_LE(AlertsOf("Changed Ip").size(), static_cast<std::size_t>(kGenerations));
    EXPECT_LE(AlertsOf("Threat Receive").size(), static_cast<std::size_t>(kGenerations));
}

}  // namespace
}  // namespace tarvell::detectiontest
