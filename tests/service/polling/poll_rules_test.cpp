// The poll's rules on the lab switch (tests/fixtures/snmprec/lab-switch*.snmprec): VLAN
// communities, statuses, MAC columns, the node rules and the checks they start.
#include <algorithm>
#include <map>
#include <stdexcept>

#include "platform/RecursiveLock.h"
#include "tests/service/polling/PollingFixture.h"

namespace tarvell::polltest {
namespace {

constexpr const char* kLabObjectId = "1.3.6.1.4.1.9.1.999";
constexpr const char* kLabKey = "00AABB000001";  // also a MAC the switch reports on port 11

class LabPoll : public PollingFixture {
protected:
    void SetUp() override {
        PollingFixture::SetUp();
        if (!lab::Lab().agentPort) lab::Lab().agentPort = lab::PortFreeOnLabAddresses();
        ASSERT_TRUE(sim.Start(2, {"lab-switch", "lab-switch@1", "lab-switch@20"})) << sim.Log();
        UseLabClient(sim.Port());
        UseSettings(LabSettings());
    }

    CScanSnmpMacs Poll(const std::string& port, const std::string& community = "lab-switch") {
        PollOptions once;
        once.attempts = 1;
        CScanSnmpMacs poll(*engine, linkup,
                           {Request(sim.Address(), community, kLabObjectId, port, kLabKey)},
                           nullptr, once);
        EXPECT_TRUE(poll.Run());
        return poll;
    }

    // Every alert of the poll by source MAC (the event map keeps only a port's last event).
    std::map<std::string, CAlertItem> AlertsByMac() {
        std::map<std::string, CAlertItem> out;
        RecursiveGuard lock(engine->AlertLock);
        for (const auto& [key, alert] : engine->AlertLog) out[alert->SourceMac] = *alert;
        return out;
    }

    CTarvellDoc DetectingSettings() {
        CTarvellDoc doc = LabSettings();
        doc.DetectionEnabled = 1;
        doc.NewMacEnabled = 1;
        return doc;
    }

    lab::SimSwitch sim;
};

// ---- reading the switch

TEST_F(LabPoll, CommunitiesAreTheSwitchsOwnThenOnePerVlanInColumnOrder) {
    const CScanSnmpMacs poll = Poll("11");
    const std::vector<PollCommunity> expected{
        {"lab-switch", ""}, {"lab-switch@1", ""}, {"lab-switch@20", ""}};
    EXPECT_EQ(poll.Communities(), expected);
}

TEST_F(LabPoll, FindsTheLearnedAndManagedMacsOfEveryVlanAndNoInvalidOrSelfEntry) {
    const CScanSnmpMacs poll = Poll("11");
    MacSet expected;
    for (const char* file : {"lab-switch", "lab-switch@1", "lab-switch@20"}) {
        const MacSet part = ExpectedMacs(
            lab::ReadSnmprec(lab::SnmprecFolder() / (std::string(file) + ".snmprec")), "11");
        expected.insert(part.begin(), part.end());
    }
    EXPECT_EQ(Keys(poll.Found()[0]), expected);
    // Spelled out: status 2 (invalid) and 4 (self) stay out; the printable MAC "ABCDEF" is a MAC.
    EXPECT_EQ(Keys(poll.Found()[0]), (MacSet{"001122334401", "001122334404", "414243444546",
                                             "00AABB000001", "001122335501", "001122336601"}));
    EXPECT_EQ(poll.Found()[0].at("001122334401"), "1");  // found under bridge port 1
}

TEST_F(LabPoll, APortWithoutMacsEndsAfterItsAttemptsWithNothing) {
    const CScanSnmpMacs poll = Poll("14");
    EXPECT_TRUE(poll.Found()[0].empty());
}

// ---- node rules

TEST_F(LabPoll, NewMacsAreDiscoveredOrDeletedFromDatabaseAndTheSwitchsOwnMacRaisesNothing) {
    AddSwitch(kLabKey, "127.0.0.2");
    {
        RecursiveGuard lock(engine->EngineLock);
        engine->DisabledNodes["001122334404"] = std::string(kLabKey) + "/11";
        engine->PendingNewNodes["001122335501"] = std::string(kLabKey) + "/11";
    }
    CTarvellDoc doc = DetectingSettings();
    doc.WmiConditions = {"OperatingSystem=*"};
    doc.LinkupScriptFile = "/bin/true";
    UseSettings(doc);

    Poll("11");
    const auto alerts = AlertsByMac();
    const std::map<std::string, std::string> expected{{"001122334401", "discovered"},
                                                      {"001122334404", "deleted from database"},
                                                      {"414243444546", "discovered"},
                                                      {"001122335501", "discovered"},
                                                      {"001122336601", "discovered"}};
    ASSERT_EQ(alerts.size(), expected.size());
    for (const auto& [mac, before] : expected) {
        ASSERT_TRUE(alerts.count(mac)) << mac;
        EXPECT_EQ(alerts.at(mac).EventType, "New Mac") << mac;
        EXPECT_EQ(alerts.at(mac).Before, before) << mac;
        EXPECT_EQ(alerts.at(mac).Current, mac);
        EXPECT_EQ(alerts.at(mac).PortKey, "11");
        EXPECT_EQ(alerts.at(mac).DevicePort, "port-11");
    }
    RecursiveGuard lock(engine->EngineLock);
    EXPECT_FALSE(engine->PendingNewNodes.count("001122335501"));
    EXPECT_EQ(engine->UnknownNodeLocations.at("001122334401"), std::string(kLabKey) + "/port-11");
    EXPECT_FALSE(engine->UnknownNodeLocations.count(kLabKey));

    // One WMI check and one script per MAC, though three communities were read.
    const auto starts = linkup.Starts();
    EXPECT_EQ(std::count_if(starts.begin(), starts.end(),
                            [](const auto& s) { return s.check == LinkupCheck::Wmi; }),
              5);
    EXPECT_EQ(std::count_if(starts.begin(), starts.end(),
                            [](const auto& s) { return s.check == LinkupCheck::Script; }),
              5);
    for (const auto& s : starts) {
        EXPECT_EQ(s.target.SwitchIp, "127.0.0.2");
        EXPECT_EQ(s.target.PortIndex, "11");
        EXPECT_EQ(s.target.PortName, "port-11");
    }
}

TEST_F(LabPoll, AKnownNodeOnlyHereAndStoredElsewhereRaisesChangedPortWithReadableLocations) {
    AddSwitch(kLabKey, "127.0.0.2;127.0.1.2").SwitchName() = "lab";
    AddSwitch("00AABB000009", "127.0.0.9").SwitchName() = "";
    {
        RecursiveGuard lock(engine->EngineLock);
        engine->SiblingSwitches["00AABB000009"]->SwitchAltName() = "old-switch";
    }
    AddPort(kLabKey, "12").PortName() = "Gi0/12";
    AddPort("00AABB000009", "5").PortName() = "Fa0/5";
    struct Case {
        std::string storedSwitch, storedPort, nodesOnPort;
        bool changed;
    };
    // Port keys are compared: a node stored at this switch's port 12 has not moved.
    const Case cases[] = {
        {"00AABB000009", "5", "1", true}, {kLabKey, "7", "1", true},
        {kLabKey, "12", "1", false},      {"00AABB000009", "5", "2", false},
        {"00AABB000009", "5", "", false},
    };
    CTarvellDoc doc = DetectingSettings();
    doc.NewMacEnabled = 0;
    doc.ChangedPortEnabled = 1;
    UseSettings(doc);
    for (const Case& c : cases) {
        {
            RecursiveGuard lock(engine->EngineLock);
            engine->EventMap.clear();
        }
        AddNode("001122334405", "10.0.0.5", c.storedSwitch, c.storedPort, c.nodesOnPort);
        const CScanSnmpMacs poll = Poll("12");
        ASSERT_EQ(Keys(poll.Found()[0]), MacSet{"001122334405"});
        const CEventItem event = EventCopy(std::string(kLabKey) + "/12");
        if (!c.changed) {
            EXPECT_TRUE(event.EventType.empty()) << c.storedSwitch << "/" << c.storedPort;
            continue;
        }
        EXPECT_EQ(event.EventType, "Changed Port");
        const std::string before =
            c.storedSwitch == kLabKey ? "lab (127.0.0.2) - " : "old-switch (127.0.0.9) - Fa0/5";
        EXPECT_EQ(event.Before, before);
        EXPECT_EQ(event.Current, "lab (127.0.0.2) - Gi0/12");
        EXPECT_EQ(event.SourceIp, "10.0.0.5");
        EXPECT_EQ(event.SourceName, "host-001122334405");
        EXPECT_EQ(event.SourceMac, "001122334405");
    }
}

TEST_F(LabPoll, ExcludedDirectNodesAreLeftAloneByTheDecimalCount) {
    CTarvellDoc doc = DetectingSettings();
    doc.ExcludeDirectNodes = 1;  // a port with exactly one MAC found
    UseSettings(doc);
    Poll("12");
    EXPECT_TRUE(AlertsByMac().empty());
    {
        RecursiveGuard lock(engine->EngineLock);
        engine->UnknownNodeLocations.clear();  // else the MAC is no longer new
    }
    doc.ExcludeDirectNodes = 0;
    doc.ExcludeIndirectNodes = 1;
    UseSettings(doc);
    Poll("12");
    EXPECT_EQ(AlertsByMac().size(), 1u);
}

TEST_F(LabPoll, BlackListedMacsAreUnauthorized) {
    CTarvellDoc doc = DetectingSettings();
    doc.NewMacEnabled = 0;
    doc.BlackListEnabled = 1;
    doc.NodesBlackList = {"001122334405/1;"};
    UseSettings(doc);
    Poll("12");
    const CEventItem event = EventCopy(std::string(kLabKey) + "/12");
    EXPECT_EQ(event.EventType, "Unauthorized Blacklist Node");
    EXPECT_EQ(event.Current, "001122334405");
}

// ---- one poll per switch

TEST_F(LabPoll, ASwitchBeingPolledIsNotPolledAgainAndTheEntryGoesWithThePoll) {
    {
        RecursiveGuard lock(engine->EngineLock);
        engine->PolledSwitches[kLabKey] = "1";
    }
    CScanSnmpMacs second(*engine, linkup,
                         {Request(sim.Address(), "lab-switch", kLabObjectId, "11", kLabKey)});
    EXPECT_FALSE(second.Run());
    EXPECT_TRUE(second.Communities().empty());
    {
        RecursiveGuard lock(engine->EngineLock);
        EXPECT_EQ(engine->PolledSwitches.at(kLabKey), "1");
        engine->PolledSwitches.clear();
    }
    Poll("11");
    RecursiveGuard lock(engine->EngineLock);
    EXPECT_TRUE(engine->PolledSwitches.empty());
}

TEST_F(LabPoll, AStoppedPollEndsAndLeavesNoEntry) {
    ManualResetEvent stop;
    stop.Set();
    CScanSnmpMacs poll(*engine, linkup,
                       {Request(sim.Address(), "lab-switch", kLabObjectId, "11", kLabKey)}, &stop);
    EXPECT_FALSE(poll.Run());
    RecursiveGuard lock(engine->EngineLock);
    EXPECT_TRUE(engine->PolledSwitches.empty());
}

TEST_F(LabPoll, AFailureInsideThePollIsLoggedAndLeavesNoEntry) {
    struct Throwing final : LinkupStarter {
        void StartCheck(LinkupCheck, const LinkupTarget&) override {
            throw std::runtime_error("no room");
        }
    } throwing;
    CTarvellDoc doc = DetectingSettings();
    doc.LinkupScriptFile = "/bin/true";
    UseSettings(doc);
    CScanSnmpMacs poll(*engine, throwing,
                       {Request(sim.Address(), "lab-switch", kLabObjectId, "12", kLabKey)});
    EXPECT_TRUE(poll.Run());
    EXPECT_TRUE(LogMentions("could not be polled (no room)"));
    RecursiveGuard lock(engine->EngineLock);
    EXPECT_TRUE(engine->PolledSwitches.empty());
}

TEST_F(LabPoll, AFollowUpPollReadsTheTablesOnceForEveryPort) {
    std::vector<PollRequest> ports{
        Request(sim.Address(), "lab-switch", kLabObjectId, "11", kLabKey),
        Request(sim.Address(), "lab-switch", kLabObjectId, "12", kLabKey)};
    PollOptions once;
    once.attempts = 1;
    CScanSnmpMacs poll(*engine, linkup, ports, nullptr, once);
    ASSERT_TRUE(poll.Run());
    ASSERT_EQ(poll.Found().size(), 2u);
    EXPECT_EQ(poll.Found()[0].size(), 6u);
    EXPECT_EQ(Keys(poll.Found()[1]), MacSet{"001122334405"});
}

}  // namespace
}  // namespace tarvell::polltest
