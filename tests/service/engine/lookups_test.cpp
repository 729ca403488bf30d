// The engine's look-ups, port and node exclusion, event selection and the nodes-count verdicts,
// against records put into the engine's maps and settings published as a snapshot.
#include <gtest/gtest.h>

#include "platform/RecursiveLock.h"
#include "tests/service/engine/EngineFixture.h"

namespace tarvell::enginetest {
namespace {

class LookupsTest : public EngineFixture {};

TEST_F(LookupsTest, DisabledRecordsAreAbsentAndOnlyTheNamedFieldsAreCopied) {
    CDbItem& sw = AddSwitch("SW1", "10.0.0.1");
    sw.SwitchContact() = "not copied";
    sw.SwitchLocation() = "hall";
    AddSwitch("SW2", "10.0.0.2", true);
    AddPort("SW1", "7");
    AddPort("SW1", "8", true);
    AddNode("AAAAAAAAAAAA", "10.0.1.1", "SW1", "7", "3");
    AddNode("BBBBBBBBBBBB", "10.0.1.2", "SW1", "7", "3", "1000", true);

    CDbItem out;
    ASSERT_TRUE(engine->LookupSwitch("SW1", out));
    EXPECT_EQ(out.SwitchName(), "name-SW1");
    EXPECT_EQ(out.SwitchLocation(), "hall");
    EXPECT_EQ(out.SwitchContact(), "");
    EXPECT_FALSE(engine->LookupSwitch("SW2", out));
    EXPECT_FALSE(engine->LookupSwitch("SW9", out));

    CDbItem port;
    ASSERT_TRUE(engine->LookupPort("SW1/7", port));
    EXPECT_EQ(port.PortName(), "port-7");
    EXPECT_EQ(port.PortStatus(), 1);
    EXPECT_FALSE(engine->LookupPort("SW1/8", port));

    CDbItem node;
    ASSERT_TRUE(engine->LookupNode("AAAAAAAAAAAA", node));
    EXPECT_EQ(node.NodeSwitch(), "SW1");
    EXPECT_EQ(node.NodesOnPort(), "3");
    EXPECT_EQ(node.NodeFirstSeen(), "");  // not one of the copied fields
    EXPECT_FALSE(engine->LookupNode("BBBBBBBBBBBB", node));
}

TEST_F(LookupsTest, SwitchIsFoundByAnyOfItsAddresses) {
    AddSwitch("SW1", "10.0.0.1;192.168.5.1");
    AddSwitch("SW2", "10.0.0.2", true);
    CDbItem out;
    ASSERT_TRUE(engine->LookupSwitchByAddress("192.168.5.1", out));
    EXPECT_EQ(out.SwitchKey(), "SW1");
    EXPECT_TRUE(engine->LookupSwitchByAddress("10.0.0.1", out));
    EXPECT_FALSE(engine->LookupSwitchByAddress("192.168.5", out));
    EXPECT_FALSE(engine->LookupSwitchByAddress("10.0.0.2", out));
    EXPECT_FALSE(engine->LookupSwitchByAddress("", out));
}

// An address matches a whole ';'-separated entry, never part of one or a run of entries.
TEST_F(LookupsTest, SwitchAddressMatchesOnlyAWholeEntryOfItsList) {
    AddSwitch("SW1", ";10.0.0.1;;10.0.0.20; 10.0.0.3;");
    AddSwitch("SW2", "10.0.0.10");
    const struct {
        const char* address;
        const char* key;  // "" when no switch holds it
    } cases[] = {
        {"10.0.0.1", "SW1"}, {"10.0.0.20", "SW1"},       {"10.0.0.10", "SW2"}, {"10.0.0.2", ""},
        {"10.0.0.3", ""},    {" 10.0.0.3", "SW1"},       {"0.0.0.1", ""},      {";", ""},
        {"10.0.0.1;", ""},   {"10.0.0.1;10.0.0.20", ""},
    };
    for (const auto& c : cases) {
        CDbItem out;
        EXPECT_EQ(engine->LookupSwitchByAddress(c.address, out), *c.key != 0) << c.address;
        EXPECT_EQ(out.SwitchKey(), c.key) << c.address;
    }
}

TEST_F(LookupsTest, UnknownAndPendingNodes) {
    {
        RecursiveGuard lock(engine->EngineLock);
        engine->UnknownNodeLocations["CCCCCCCCCCCC"] = "SW3/Gi0/5";
        engine->PendingNewNodes["DDDDDDDDDDDD"] = "SW1/7";
        engine->UnknownNodeLocations["DDDDDDDDDDDD"] = "SW1/7";
        engine->DisabledNodes["EEEEEEEEEEEE"] = "SW1/7";
    }
    AddNode("DDDDDDDDDDDD", "10.0.1.4", "SW1", "7");

    CDbItem node;
    ASSERT_TRUE(engine->LookupNode("CCCCCCCCCCCC", node));
    EXPECT_EQ(node.NodeMac(), "CCCCCCCCCCCC");
    EXPECT_EQ(node.NodeSwitch(), "SW3");
    EXPECT_EQ(node.NodePort(), "Gi0/5");                     // split at the first "/" only
    EXPECT_FALSE(engine->LookupNode("DDDDDDDDDDDD", node));  // pending wins over both
    EXPECT_TRUE(engine->IsKnownKey("EEEEEEEEEEEE"));
    EXPECT_FALSE(engine->IsKnownKey("DDDDDDDDDDDD"));
}

TEST_F(LookupsTest, PortExclusionByDeviceNameTypeAndTrunk) {
    {
        RecursiveGuard lock(engine->EngineLock);
        engine->PortNames["SW1/1"] = "Gi0/1";
        engine->PortAliases["SW1/1"] = "ethernetCsmacd";
        engine->PortAliases["SW1/2"] = "ieee80211";
        engine->PortAliases["SW1/3"] = "propVirtual";
        engine->PortAliases["SW1/4"] = "tunnel";
        engine->TrunkPorts["SW1/5"] = "1";
    }
    CTarvellDoc doc = BlankSettings();
    doc.ExcludedDevices = {"SW9"};
    doc.ExcludedPorts = {"SW1/Gi0/1"};
    UseSettings(doc);
    for (const char* key : {"SW9/1", "SW1/1", "SW1/2", "SW1/3", "SW1/4", "SW1/5"})
        EXPECT_EQ(engine->IsMonitoredInterface(key), 0) << key << " with every flag off";

    doc.ExcludeDevicesEnabled = 1;
    doc.ExcludePortsEnabled = 1;
    doc.ExcludeTrunkPorts = 1;
    UseSettings(doc);
    EXPECT_NE(engine->IsMonitoredInterface("SW9/1"), 0);
    EXPECT_NE(engine->IsMonitoredInterface("SW1/1"), 0);
    EXPECT_NE(engine->IsMonitoredInterface("SW1/5"), 0);
    EXPECT_EQ(engine->IsMonitoredInterface("SW1/2"), 0);

    doc = BlankSettings();
    doc.ExcludePortTypesEnabled = 1;
    doc.ExcludeUnknownPorts = 1;
    UseSettings(doc);
    EXPECT_EQ(engine->IsMonitoredInterface("SW1/1"), 0);
    EXPECT_EQ(engine->IsMonitoredInterface("SW1/3"), 0) << "virtual is a known type";
    EXPECT_NE(engine->IsMonitoredInterface("SW1/4"), 0);
    EXPECT_EQ(engine->IsMonitoredInterface("SW1/6"), 0) << "no type text: no type rule";
    doc.ExcludeVirtualPorts = 1;
    doc.ExcludeWirelessPorts = 1;
    UseSettings(doc);
    EXPECT_NE(engine->IsMonitoredInterface("SW1/3"), 0);
    EXPECT_NE(engine->IsMonitoredInterface("SW1/2"), 0);
}

TEST_F(LookupsTest, EventSelectionByTypeLists) {
    CTarvellDoc doc = BlankSettings();
    UseSettings(doc);
    EXPECT_TRUE(engine->IsEventSelected(0, "Threat Receive", "SW1")) << "empty list: every device";

    doc.ReceiveDevices = {"SW2"};
    doc.NewMacDevices = {"SW2"};
    doc.WmiDevices = {"SW1"};
    doc.LinkupScriptDevices = {"SW2"};
    UseSettings(doc);
    // A device list of the type decides alone: an empty ThreatDevices does not select SW1 again.
    EXPECT_FALSE(engine->IsEventSelected(0, "Threat Receive", "SW1"));
    EXPECT_TRUE(engine->IsEventSelected(0, "Threat Receive", "SW2"));
    EXPECT_FALSE(engine->IsEventSelected(0, "New Mac", "SW1"));
    EXPECT_TRUE(engine->IsEventSelected(1, "New Mac", "SW2"));
    EXPECT_FALSE(engine->IsEventSelected(0, "New Mac", "sw2")) << "device names compare exactly";

    EXPECT_TRUE(engine->IsEventSelected(0, "WMI Hot Fix", "SW1"));
    EXPECT_FALSE(engine->IsEventSelected(0, "WMI Hot Fix", "SW2"));
    EXPECT_FALSE(engine->IsEventSelected(1, "WMI Hot Fix", "SW1")) << "families only with flag 0";
    EXPECT_TRUE(engine->IsEventSelected(0, "Linkup Script", "SW2"));
    EXPECT_TRUE(engine->IsEventSelected(0, "Threat Normal", "SW1")) << "ThreatDevices is empty";
    EXPECT_FALSE(engine->IsEventSelected(0, "Manual Blocking", "SW1"));
}

TEST_F(LookupsTest, UnmanagedMacEntries) {
    CTarvellDoc doc = BlankSettings();
    doc.UnmanagedMacs = {"", "0011223344556677", "AABBCC******", "dd*"};
    UseSettings(doc);
    EXPECT_EQ(engine->IsNodeExcluded("AABBCC000001", "", "", "", ""), 0) << "switched off";
    doc.UnmanagedMacEnabled = 1;
    UseSettings(doc);
    EXPECT_NE(engine->IsNodeExcluded("aabbcc000001", "", "", "", ""), 0);
    EXPECT_NE(engine->IsNodeExcluded("DD0000000000", "", "", "", ""), 0)
        << "matched over the entry's length";
    EXPECT_EQ(engine->IsNodeExcluded("001122334455", "", "", "", ""), 0) << "longer entry";
    EXPECT_EQ(engine->IsNodeExcluded("123456789012", "", "", "", ""), 0) << "empty entry";
    EXPECT_EQ(engine->IsNodeExcluded("AABBC", "", "", "", ""), 0);
}

TEST_F(LookupsTest, UnmanagedIpNetworks) {
    CTarvellDoc doc = BlankSettings();
    doc.UnmanagedIpEnabled = 1;
    doc.UnmanagedIps = {
        "10.1.0.0/255.255.0.0", "192.168.7.0/24", "172.16.0.9", "10.9.0.x/255.0.0.0",
        "10.8.0.0/255.0.255.0", "10.7.0.0/33",    "10.6.0.0/",  "junk"};
    UseSettings(doc);
    const auto excluded = [&](const std::string& ip) {
        return engine->IsNodeExcluded("", ip, "", "", "") != 0;
    };
    EXPECT_TRUE(excluded("10.1.200.3"));
    EXPECT_FALSE(excluded("10.2.0.1"));
    EXPECT_TRUE(excluded("192.168.7.255"));
    EXPECT_FALSE(excluded("192.168.8.0"));
    EXPECT_TRUE(excluded("172.16.0.9"));
    EXPECT_FALSE(excluded("172.16.0.10"));
    EXPECT_TRUE(excluded("10.1.0.5 (printer)")) << "the remark is not part of the address";
    // Malformed entries never match, whatever the node's address.
    EXPECT_FALSE(excluded("10.9.0.1"));
    EXPECT_FALSE(excluded("10.8.0.1"));
    EXPECT_FALSE(excluded("10.7.0.0"));
    EXPECT_FALSE(excluded("10.6.0.0"));
    EXPECT_FALSE(excluded("255.255.255.255"));
    EXPECT_FALSE(excluded("not an address"));

    EXPECT_EQ(CTarvellFrm::IpToHostOrder("1.2.3.4"), 0x01020304u);
    EXPECT_LT(CTarvellFrm::IpToHostOrder("10.0.0.255"), CTarvellFrm::IpToHostOrder("10.0.1.0"));
    EXPECT_EQ(CTarvellFrm::IpToHostOrder("1.2.3"), 0xFFFFFFFFu);
}

TEST_F(LookupsTest, NodeCountAndWhiteListExclusion) {
    CTarvellDoc doc = BlankSettings();
    doc.ExcludeDirectNodes = 1;
    doc.WhiteListEnabled = 1;
    doc.NodesWhiteList = {"AABB*/0;", "CCCCCCCCCCCC/1;SW1/7", "10.0.0.9/0;"};
    UseSettings(doc);
    EXPECT_NE(engine->IsNodeExcluded("", "", "1", "", ""), 0);
    EXPECT_EQ(engine->IsNodeExcluded("", "", "2", "", ""), 0);
    EXPECT_EQ(engine->IsNodeExcluded("", "", "", "", ""), 0);
    EXPECT_NE(engine->IsNodeExcluded("aabb00000000", "", "", "SW2", "1"), 0);
    EXPECT_EQ(engine->IsNodeExcluded("aabb00000000", "", "", "", ""), 0)
        << "no switch: no white list";
    EXPECT_NE(engine->IsNodeExcluded("CCCCCCCCCCCC", "", "", "SW1", "7"), 0);
    EXPECT_EQ(engine->IsNodeExcluded("CCCCCCCCCCCC", "", "", "SW1", "8"), 0);
    EXPECT_NE(engine->IsNodeExcluded("0F0F0F0F0F0F", "10.0.0.9", "", "SW1", "8"), 0);

    doc.ExcludeDirectNodes = 0;
    doc.ExcludeIndirectNodes = 1;
    doc.WhiteListDevices = {"SW1"};
    UseSettings(doc);
    EXPECT_NE(engine->IsNodeExcluded("", "", "2", "", ""), 0);
    EXPECT_EQ(engine->IsNodeExcluded("", "", "1", "", ""), 0);
    EXPECT_EQ(engine->IsNodeExcluded("aabb00000000", "", "", "SW2", "1"), 0);
}

TEST_F(LookupsTest, BlackListVerdict) {
    CTarvellDoc doc = BlankSettings();
    doc.NodesBlackList = {"AABB*/0;", "AABBCC000001/1;SW1/7", "10.0.0.9/0;SW1/8"};
    UseSettings(doc);
    EXPECT_EQ(engine->FindNodeBySource("SW1", "7", "AABBCC000001", ""), "") << "switched off";

    doc.BlackListEnabled = 1;
    UseSettings(doc);
    EXPECT_EQ(engine->FindNodeBySource("SW1", "7", "AABBCC000001", ""), "AABBCC000001/1");
    EXPECT_EQ(engine->FindNodeBySource("SW1", "6", "aabbcc000001", ""), "aabbcc000001/0");
    EXPECT_EQ(engine->FindNodeBySource("SW1", "8", "", "10.0.0.9"), "10.0.0.9/0");
    EXPECT_EQ(engine->FindNodeBySource("SW1", "9", "", "10.0.0.9"), "");
    EXPECT_EQ(engine->FindNodeBySource("SW1", "7", "112233445566", ""), "");

    doc.BlackListDevices = {"SW2"};
    UseSettings(doc);
    EXPECT_EQ(engine->FindNodeBySource("SW1", "7", "AABBCC000001", ""), "");

    // A current event of the port: prevention off, any such event; prevention on, a blocked one.
    doc.BlackListDevices.clear();
    UseSettings(doc);
    AddEvent("SW1", "7", "Changed Ip");
    EXPECT_EQ(engine->FindNodeBySource("SW1", "7", "AABBCC000001", ""), "AABBCC000001/-1");
    doc.PreventionEnabled = 1;
    UseSettings(doc);
    EXPECT_EQ(engine->FindNodeBySource("SW1", "7", "AABBCC000001", ""), "AABBCC000001/1");
    AddEvent("SW1", "7").Blocked = 1;
    EXPECT_EQ(engine->FindNodeBySource("SW1", "7", "AABBCC000001", ""), "AABBCC000001/-1");
}

class NodesCountTest : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        doc.NodesCountThreshold = 2;
        doc.NodeLocations = {"DDDDDDDDDDDD;SW1/7", "EEEEEEEEEEEE;SW1/9", "FFFF*;"};
        UseSettings(doc);
        AddNode("AAAAAAAAAAAA", "10.0.0.1", "SW1", "7", "4", "100");
        AddNode("BBBBBBBBBBBB", "10.0.0.2", "sw1", "7", "4", "300");
        AddNode("CCCCCCCCCCCC", "10.0.0.3", "SW1", "7", "4", "200");
        AddNode("DDDDDDDDDDDD", "10.0.0.4", "SW1", "7", "4", "400");
        AddNode("999999999999", "10.0.0.5", "SW1", "7", "4", "900", true);  // disabled
    }
    std::string Verdict(const std::string& mac, const std::string& ip,
                        const std::string& count = "4") {
        return engine->FindNodeForEvent("SW1", "7", count, mac, ip);
    }
    CTarvellDoc doc = BlankSettings();
};

TEST_F(NodesCountTest, OnlyTheNewestUnauthorisedNodeGetsTheCount) {
    EXPECT_EQ(Verdict("BBBBBBBBBBBB", "10.0.0.2"), "3");
    EXPECT_EQ(Verdict("AAAAAAAAAAAA", "10.0.0.1"), "");
    EXPECT_EQ(Verdict("CCCCCCCCCCCC", "10.0.0.3"), "");
    EXPECT_EQ(Verdict("DDDDDDDDDDDD", "10.0.0.4"), "") << "authorised at this port";
    EXPECT_EQ(Verdict("FFFF00000000", "10.0.0.6"), "") << "authorised on every port";
    EXPECT_EQ(Verdict("0A0A0A0A0A0A", "10.0.0.2"), "3") << "the newest named by its IP";
    EXPECT_EQ(Verdict("BBBBBBBBBBBB", "10.0.0.2", "3"), "") << "3 - 1 is not above 2";
}

TEST_F(NodesCountTest, LocationBoundToAnotherPortDoesNotAuthorise) {
    AddNode("EEEEEEEEEEEE", "10.0.0.7", "SW1", "7", "5", "500");
    EXPECT_EQ(Verdict("EEEEEEEEEEEE", "10.0.0.7", "5"), "4");
}

TEST_F(NodesCountTest, DevicesThresholdAndNegativeDifference) {
    doc.NodesCountDevices = {"SW2"};
    UseSettings(doc);
    EXPECT_EQ(Verdict("BBBBBBBBBBBB", "10.0.0.2"), "");
    doc.NodesCountDevices = {"SW2", "SW1"};
    UseSettings(doc);
    EXPECT_EQ(Verdict("BBBBBBBBBBBB", "10.0.0.2"), "3");

    doc.NodesCountThreshold = 0;
    UseSettings(doc);
    EXPECT_EQ(Verdict("BBBBBBBBBBBB", "10.0.0.2"), "");

    // A count below the nodes passed over gives a negative difference, which never passes.
    doc.NodesCountThreshold = 1;
    doc.UnmanagedMacEnabled = 1;
    doc.UnmanagedMacs = {"AAAAAAAAAAAA", "CCCCCCCCCCCC"};
    UseSettings(doc);
    EXPECT_EQ(Verdict("BBBBBBBBBBBB", "10.0.0.2", "0"), "");
    EXPECT_EQ(Verdict("BBBBBBBBBBBB", "10.0.0.2", "5"), "2");
}

// A count text from the sibling file that reads as the smallest number, less the node passed
// over, is far below the threshold; it must not wrap round to a huge count.
TEST_F(NodesCountTest, SmallestCountTextGivesNoVerdict) {
    const std::string smallest = "-99999999999999999999";
    EXPECT_EQ(Verdict("BBBBBBBBBBBB", "10.0.0.2", smallest), "");
    const std::map<std::string, std::string> found = {{"DDDDDDDDDDDD", "7"}, {"BBBBBBBBBBBB", "7"}};
    EXPECT_EQ(engine->FindNodeForSwitchPort(found, "SW1", "7", smallest, "BBBBBBBBBBBB"), "");
}

TEST_F(NodesCountTest, AReportedPortGivesNoVerdict) {
    CEventItem& event = AddEvent("SW1", "7", "Threat Errors");
    EXPECT_EQ(Verdict("BBBBBBBBBBBB", "10.0.0.2"), "") << "prevention off: any current event";
    std::map<std::string, std::string> found = {{"BBBBBBBBBBBB", "7"}, {"AAAAAAAAAAAA", "7"}};
    EXPECT_EQ(engine->FindNodeForSwitchPort(found, "SW1", "7", "4", "BBBBBBBBBBBB"), "");

    doc.PreventionEnabled = 1;
    UseSettings(doc);
    EXPECT_EQ(Verdict("BBBBBBBBBBBB", "10.0.0.2"), "3") << "prevention on: only a blocked event";
    event.Blocked = 1;
    EXPECT_EQ(Verdict("BBBBBBBBBBBB", "10.0.0.2"), "");
    event.Deleted = 1;
    EXPECT_EQ(Verdict("BBBBBBBBBBBB", "10.0.0.2"), "3");
}

TEST_F(NodesCountTest, PollValuesUnknownAndExcludedMacsAtTheCurrentTime) {
    StringMap found = {{"AAAAAAAAAAAA", "7"}, {"CCCCCCCCCCCC", "7"}, {"0E0E0E0E0E0E", "7"}};
    EXPECT_EQ(engine->FindNodeForSwitchPort(found, "SW1", "7", "3", "0E0E0E0E0E0E"), "3");
    EXPECT_EQ(engine->FindNodeForSwitchPort(found, "SW1", "7", "3", "CCCCCCCCCCCC"), "");

    // An excluded known MAC is valued now as well and is not taken off the count.
    doc.UnmanagedMacEnabled = 1;
    doc.UnmanagedMacs = {"CCCCCCCCCCCC"};
    UseSettings(doc);
    found = {{"AAAAAAAAAAAA", "7"}, {"CCCCCCCCCCCC", "7"}};
    EXPECT_EQ(engine->FindNodeForSwitchPort(found, "SW1", "7", "3", "CCCCCCCCCCCC"), "3");

    // A MAC authorised here is passed over.
    found = {{"AAAAAAAAAAAA", "7"}, {"DDDDDDDDDDDD", "7"}, {"0E0E0E0E0E0E", "7"}};
    EXPECT_EQ(engine->FindNodeForSwitchPort(found, "SW1", "7", "3", "0E0E0E0E0E0E"), "");
    EXPECT_EQ(engine->FindNodeForSwitchPort(found, "SW1", "7", "4", "0e0e0e0e0e0e"), "3");
    EXPECT_EQ(engine->FindNodeForSwitchPort(found, "SW1", "7", "4", "DDDDDDDDDDDD"), "");
}

}  // namespace
}  // namespace tarvell::enginetest
