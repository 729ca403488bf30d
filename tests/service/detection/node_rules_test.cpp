// The node rules of a detection pass over real sibling generations loaded by the engine.
#include <gtest/gtest.h>

#include "service/detection/NodeRules.h"
#include "tests/service/detection/DetectionFixture.h"

namespace tarvell::detectiontest {
namespace {

const std::string kSwitch = "00AABB000001";
const std::string kNode = "00AA00000001";

class NodeRulesTest : public DetectionFixture {};

// ---- New and Changed rules compare a node with its own record of the previous pass

// Fixed fault: every pass compared the node with the engine's reading of the same data, so a
// lasting difference was raised on every pass and a change was never seen as one.
TEST_F(NodeRulesTest, AnIpThatChangesBetweenGenerationsRaisesChangedIpOnceOverFiftyPasses) {
    settings.ChangedIpEnabled = 1;
    Apply();
    Start();
    NodeOf(kNode).NodeIp() = "10.0.0.2";
    Publish();
    Passes(50);
    const auto raised = AlertsOf("Changed Ip");
    ASSERT_EQ(raised.size(), 1u);
    EXPECT_EQ(raised[0].Current, "10.0.0.2");
    EXPECT_EQ(raised[0].Before, "10.0.0.1");
    EXPECT_EQ(raised[0].SourceMac, kNode);
    EXPECT_EQ(raised[0].SourceIp, "10.0.0.2");
    EXPECT_EQ(raised[0].SwitchKey, kSwitch);
    EXPECT_EQ(raised[0].PortKey, "1");
    EXPECT_EQ(raised[0].DevicePort, "port-1");
    EXPECT_EQ(raised[0].DeviceIp, "127.0.0.11");
    EXPECT_EQ(raised[0].DeviceName, "core-1");
    EXPECT_EQ(raised[0].DeviceLocation, "Building A, rack 1");
    EXPECT_EQ(raised[0].Category, "Detection");
    EXPECT_EQ(raised[0].Severity, 0);
}

// Fixed fault: "New User" was met by every known node with a user text on every pass.
TEST_F(NodeRulesTest, ANodeWithAUserTextRaisesNoNewUserWhileNothingChanges) {
    settings.NewUserEnabled = 1;
    settings.ChangedUserEnabled = 1;
    Apply();
    NodeOf(kNode).NodeUser() = "alice";
    Node("00AA00000002", "10.0.0.3", kSwitch, "2");
    Start();
    Passes(20);
    EXPECT_TRUE(Alerts().empty());

    NodeOf("00AA00000002").NodeUser() = "bob";  // appears
    NodeOf(kNode).NodeUser() = "carol";         // changes
    Publish();
    Passes(20);
    ASSERT_EQ(AlertsOf("New User").size(), 1u);
    EXPECT_EQ(AlertsOf("New User")[0].Current, "bob");
    ASSERT_EQ(AlertsOf("Changed User").size(), 1u);
    EXPECT_EQ(AlertsOf("Changed User")[0].Before, "alice");
}

TEST_F(NodeRulesTest, EachNewAndChangedRuleFiresOnItsOwnChangeOnly) {
    settings.NewIpEnabled = settings.NewNameEnabled = settings.NewUserEnabled = 1;
    settings.ChangedIpEnabled = settings.ChangedNameEnabled = settings.ChangedUserEnabled = 1;
    Apply();
    NodeOf(kNode).NodeIp() = "";
    NodeOf(kNode).NodeName() = "";
    Start();
    NodeOf(kNode).NodeIp() = "10.0.0.9";
    Publish();
    Passes(3);
    NodeOf(kNode).NodeName() = "pc";
    Publish();
    Passes(3);
    NodeOf(kNode).NodeName() = "pc-renamed";
    Publish();
    Passes(3);
    EXPECT_EQ(AlertsOf("New Ip").size(), 1u);
    EXPECT_EQ(AlertsOf("New Name").size(), 1u);
    EXPECT_EQ(AlertsOf("Changed Name").size(), 1u);
    EXPECT_EQ(AlertsOf("Changed Ip").size(), 0u);
    EXPECT_EQ(AlertsOf("New User").size(), 0u);
    EXPECT_EQ(Alerts().size(), 3u);
}

TEST_F(NodeRulesTest, TheIpRemarkIsCutForTheSourceButTheRulesCompareTheWholeText) {
    settings.ChangedIpEnabled = 1;
    Apply();
    NodeOf(kNode).NodeIp() = "10.0.0.1 (desk)";
    Start();
    NodeOf(kNode).NodeIp() = "10.0.0.1 (laptop)";
    Publish();
    Passes(2);
    const auto raised = AlertsOf("Changed Ip");
    ASSERT_EQ(raised.size(), 1u);
    EXPECT_EQ(raised[0].Current, "10.0.0.1 (laptop)");
    EXPECT_EQ(raised[0].SourceIp, "10.0.0.1 ");
}

// ---- "Changed Port"

TEST_F(NodeRulesTest, ChangedPortNamesBothPlacesAndNeedsASingleNodeOnThePort) {
    settings.ChangedPortEnabled = 1;
    Apply();
    Switch("00AABB000002", "127.0.0.12", "").SwitchAltName() = "core-2.lan";
    Port("00AABB000002", "7");
    Node("00AA00000002", "10.0.0.2", kSwitch, "2", "2");
    Start();
    NodeOf(kNode).NodeSwitch() = "00AABB000002";
    NodeOf(kNode).NodePort() = "7";
    NodeOf("00AA00000002").NodePort() = "1";  // count 2: never a port change
    Publish();
    Passes(5);
    const auto raised = AlertsOf("Changed Port");
    ASSERT_EQ(raised.size(), 1u);
    EXPECT_EQ(raised[0].SourceMac, kNode);
    EXPECT_EQ(raised[0].Current, "core-2.lan (127.0.0.12) - port-7");
    EXPECT_EQ(raised[0].Before, "core-1 (127.0.0.11) - port-1");
    EXPECT_EQ(raised[0].SwitchKey, "00AABB000002");
    EXPECT_EQ(raised[0].PortKey, "7");
}

// ---- new nodes

struct NewMacCase {
    std::int64_t seenFor;
    std::size_t raised;
};

class NewMacTest : public DetectionFixture, public ::testing::WithParamInterface<NewMacCase> {};

TEST_P(NewMacTest, ANodeFirstMetOnAnExcludedPortIsNewWhenSeenForLessThanADay) {
    settings.NewMacEnabled = 1;
    settings.WmiConditions = {"Win32_OperatingSystem"};
    settings.LinkupScriptFile = "/opt/check-node";
    ExcludePortThree();
    const std::string mac = "00AA000000F1";
    Start();
    Node(mac, "10.0.0.50", kSwitch, "3");  // new in this generation, on an excluded port
    Publish();
    Passes(3);
    EXPECT_TRUE(Pending(mac));
    NodeOf(mac).NodePort() = "2";
    NodeOf(mac).NodeFirstSeen() = "100000";
    NodeOf(mac).NodeLastSeen() = std::to_string(100000 + GetParam().seenFor);
    Publish();
    Passes(10);
    EXPECT_FALSE(Pending(mac));
    const auto raised = AlertsOf("New Mac");
    ASSERT_EQ(raised.size(), GetParam().raised);
    if (!raised.empty()) {
        EXPECT_EQ(raised[0].Current, mac);
        EXPECT_EQ(raised[0].Before, "discovered");
        EXPECT_EQ(raised[0].PortKey, "2");
    }
    // The checks start once whatever the age: the node is unknown in that one pass.
    const auto starts = linkup.Starts();
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_EQ(starts[0].check, LinkupCheck::Wmi);
    EXPECT_EQ(starts[1].check, LinkupCheck::Script);
    const LinkupTarget expected{mac,      "127.0.0.11",        "core-1", kSwitch, "2",
                                "port-2", "Building A, rack 1"};
    EXPECT_EQ(starts[0].target, expected);
    EXPECT_EQ(starts[1].target, expected);
}

INSTANTIATE_TEST_SUITE_P(Ages, NewMacTest,
                         ::testing::Values(NewMacCase{23 * 3600, 1}, NewMacCase{24 * 3600 - 1, 1},
                                           NewMacCase{24 * 3600, 0}, NewMacCase{30 * 86400, 0}));

TEST_F(NodeRulesTest, TheChecksOfANewNodeFollowTheirDeviceSelections) {
    settings.WmiConditions = {"Win32_OperatingSystem"};
    settings.WmiDevices = {"00AABB000099"};
    settings.LinkupScriptFile = "/opt/check-node";
    ExcludePortThree();
    const std::string mac = "00AA000000F4";
    Start();
    Node(mac, "10.0.0.53", kSwitch, "3");
    Publish();
    Passes(1);
    NodeOf(mac).NodePort() = "1";
    Publish();
    Passes(3);
    const auto starts = linkup.Starts();
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].check, LinkupCheck::Script);
    EXPECT_TRUE(AlertsOf("New Mac").empty());  // the rule is off
}

TEST_F(NodeRulesTest, PendingNewNodesOfMacsThatLeftTheSiblingDataAreDropped) {
    ExcludePortThree();
    const std::string mac = "00AA000000F2";
    Start();
    Node(mac, "10.0.0.51", kSwitch, "3");
    Publish();
    Passes(1);
    EXPECT_TRUE(Pending(mac));
    generation.SiblingNodes.erase(mac);
    Publish();
    Passes(1);
    EXPECT_FALSE(Pending(mac));
}

TEST_F(NodeRulesTest, ANodeKnownOnlyAsDisabledBeforeIsNewAsDeletedFromTheDatabase) {
    settings.NewMacEnabled = 1;
    ExcludePortThree();
    const std::string mac = "00AA000000F3";
    Node(mac, "10.0.0.52", kSwitch, "2").NodeDisabled() = 1;
    Start();
    NodeOf(mac).NodeDisabled() = 0;
    NodeOf(mac).NodePort() = "3";
    Publish();
    Passes(2);
    EXPECT_TRUE(Pending(mac));
    NodeOf(mac).NodePort() = "2";
    Publish();
    Passes(2);
    ASSERT_EQ(AlertsOf("New Mac").size(), 1u);
    EXPECT_EQ(AlertsOf("New Mac")[0].Before, "deleted from database");
}

// ---- unauthorised nodes

TEST_F(NodeRulesTest, ABlackListHitEndsTheNodesPass) {
    settings.BlackListEnabled = 1;
    settings.ChangedIpEnabled = 1;
    settings.NodesBlackList = {kNode + "/1;"};
    Apply();
    Start();
    NodeOf(kNode).NodeIp() = "10.0.0.2";
    Publish();
    Passes(5);
    const auto raised = AlertsOf("Unauthorized Blacklist Node");
    ASSERT_EQ(raised.size(), 1u);  // afterwards the port is reported
    EXPECT_EQ(raised[0].Current, kNode);
    EXPECT_EQ(raised[0].Before, "");
    EXPECT_TRUE(AlertsOf("Changed Ip").empty());
}

TEST_F(NodeRulesTest, ABlackListEntryByAddressWithFlagZeroIsAnUnauthorizedNode) {
    settings.BlackListEnabled = 1;
    settings.NodesBlackList = {"10.0.0.1/0;" + kSwitch + "/1"};
    Apply();
    Start();
    const auto raised = AlertsOf("Unauthorized Node");
    ASSERT_EQ(raised.size(), 1u);
    EXPECT_EQ(raised[0].Current, "10.0.0.1");
}

TEST_F(NodeRulesTest, TheNodesCountVerdictGoesOnlyToTheNewestNode) {
    settings.NodesCountThreshold = 2;
    Apply();
    generation.SiblingNodes.clear();
    for (int i = 1; i <= 4; ++i) {
        const std::string mac = "00AA0000000" + std::to_string(i);
        Node(mac, "10.0.0." + std::to_string(i), kSwitch, "1", "4").NodeFirstSeen() =
            std::to_string(i == 3 ? 900 : 100 * i);
    }
    Start();
    Passes(5);
    const auto raised = AlertsOf("Unauthorized Nodes Count");
    ASSERT_EQ(raised.size(), 1u);  // afterwards the port is reported
    EXPECT_EQ(raised[0].SourceMac, "00AA00000003");
    EXPECT_EQ(raised[0].Current, "4");
}

// ---- plain functions

TEST(NodeRules, CompareNodesTable) {
    CDbItem before, after;
    before.NodeSwitch() = "S";
    before.NodePort() = "1";
    after = before;
    after.NodesOnPort() = "1";
    NodeRuleSwitches all{true, true, true, true, true, true, true};
    EXPECT_TRUE(CompareNodes(after, before, all).empty());

    after.NodeIp() = "10.0.0.1";
    after.NodePort() = "2";
    EXPECT_EQ(
        CompareNodes(after, before, all),
        (std::vector<NodeFinding>{{"New Ip", "10.0.0.1", ""}, {"Changed Port", "S/2", "S/1"}}));
    NodeRuleSwitches none;
    EXPECT_TRUE(CompareNodes(after, before, none).empty());
    after.NodesOnPort() = "3";
    EXPECT_EQ(CompareNodes(after, before, all).size(), 1u);
    before.NodeIp() = "10.0.0.7";
    EXPECT_EQ(CompareNodes(after, before, all),
              (std::vector<NodeFinding>{{"Changed Ip", "10.0.0.1", "10.0.0.7"}}));
    after.NodeIp() = "";  // an address that goes away is no change
    EXPECT_TRUE(CompareNodes(after, before, all).empty());
}

TEST(NodeRules, BlackListVerdictReadings) {
    using K = BlackListReading::Kind;
    const std::pair<const char*, K> table[] = {
        {"", K::None},
        {"0011/1", K::Blacklist},
        {"0011/0", K::Unauthorized},
        {"0011/-1", K::Reported},
        {"/1", K::Reported},
        {"0011/", K::Unauthorized},
    };
    for (const auto& [verdict, kind] : table)
        EXPECT_EQ(ReadBlackListVerdict(verdict).kind, kind) << verdict;
}

TEST(NodeRules, FreshnessAndRemarks) {
    EXPECT_TRUE(SeenForLessThanADay("1000", "1000"));
    EXPECT_TRUE(SeenForLessThanADay("1000", "87399"));
    EXPECT_FALSE(SeenForLessThanADay("1000", "87400"));
    EXPECT_TRUE(SeenForLessThanADay("", ""));
    EXPECT_FALSE(SeenForLessThanADay("-9223372036854775808", "9223372036854775807"));
    EXPECT_TRUE(SeenForLessThanADay("9223372036854775807", "-9223372036854775808"));
    EXPECT_EQ(CutRemark("10.0.0.1 (desk)"), "10.0.0.1 ");
    EXPECT_EQ(CutRemark("10.0.0.1"), "10.0.0.1");
    EXPECT_EQ(CutRemark("(x)"), "");
}

}  // namespace
}  // namespace tarvell::detectiontest
