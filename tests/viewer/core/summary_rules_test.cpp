#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "viewer/core/summary/SummaryRules.h"

namespace tarvell {
namespace {

std::shared_ptr<const CEventItem> Event(std::string mac, std::string ip, std::int32_t blocked = 0) {
    auto e = std::make_shared<CEventItem>();
    e->SourceMac = std::move(mac);
    e->DeviceIp = std::move(ip);
    e->Blocked = blocked;
    return e;
}

EventsSnapshot Snapshot(std::string switches, std::string nodes) {
    EventsSnapshot s;
    s.SwitchCount = std::move(switches);
    s.NodeCount = std::move(nodes);
    return s;
}

CTarvellDoc Defaults() {
    CTarvellDoc d;
    d.SetDefaults();
    return d;
}

// ---- levels

TEST(SummaryLevels, ANodeTotalOfZeroDividesNothingAndKeepsTheLevels) {
    EventsSnapshot s = Snapshot("0", "0");
    s.EventMap["S1/1"] = Event("aa", "10.0.0.1");
    SummaryLevels levels;
    ComputeLevels(s, Defaults(), levels);
    EXPECT_EQ(levels, SummaryLevels{});
    levels.DetectionNodeLevel = 40;
    ComputeLevels(s, Defaults(), levels);
    EXPECT_EQ(levels.DetectionNodeLevel, 40);
}

TEST(SummaryLevels, CountTextsThatAreNotNumbersCountAsZero) {
    for (const char* text : {"", "-3", "4x", " 5", "1234567890", "0x10"})
        EXPECT_EQ(ParseCountText(text), 0) << text;
    EXPECT_EQ(ParseCountText("123456789"), 123456789);
    EXPECT_EQ(ParseCountText("007"), 7);
}

TEST(SummaryLevels, EveryMacOfAListIsANodeAndEmptyPartsAreNot) {
    EventsSnapshot s = Snapshot("4", "10");
    s.EventMap["S1/1"] = Event("aa;bb;cc", "10.0.0.1");
    s.EventMap["S1/2"] = Event("bb;;dd;", "10.0.0.1");  // bb counted once, empty parts none
    s.EventMap["S2/1"] = Event(";", "");                // no node, no device
    SummaryLevels levels;
    ComputeLevels(s, Defaults(), levels);
    EXPECT_DOUBLE_EQ(levels.DetectionNodeLevel, 40);    // aa bb cc dd of 10
    EXPECT_DOUBLE_EQ(levels.DetectionDeviceLevel, 25);  // one device of 4
    EXPECT_DOUBLE_EQ(levels.PreventionNodeLevel, 0);
}

TEST(SummaryLevels, ABlockRequestCountsForPreventionBeforeTheServiceBlocks) {
    EventsSnapshot s = Snapshot("2", "4");
    s.EventMap["S1/1"] = Event("aa", "10.0.0.1");
    s.EventMap["S1/2"] = Event("bb", "10.0.0.2", 1);
    s.EventMap["S1/3"] = Event("cc", "10.0.0.1");
    CTarvellDoc settings = Defaults();
    settings.BlockRequests = {"S1/1;alice@CORP", "S1/33;bob@CORP"};  // "S1/3" is no prefix match
    SummaryLevels levels;
    ComputeLevels(s, settings, levels);
    EXPECT_DOUBLE_EQ(levels.PreventionNodeLevel, 50);     // aa, bb
    EXPECT_DOUBLE_EQ(levels.PreventionDeviceLevel, 100);  // both devices
    EXPECT_DOUBLE_EQ(levels.DetectionNodeLevel, 25);      // cc
    EXPECT_DOUBLE_EQ(levels.DetectionDeviceLevel, 50);
}

// ---- dial

TEST(SummaryDial, LevelsMapOntoFifteenToEightyFiveAndAreClamped) {
    const struct {
        double level, shown;
    } cases[] = {{0, 15}, {100, 85}, {50, 50}, {-20, 15}, {250, 85}, {NAN, 15}};
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(DialValue(c.level), c.shown) << c.level;
    EXPECT_EQ(LevelText(42.46), "42.5 %");
    EXPECT_EQ(LevelText(180), "100.0 %");
    EXPECT_EQ(LevelText(0), "0.0 %");
}

TEST(SummaryDial, TheBoxAndPointsFollowThePanel) {
    const Rect panel{750, 20, 980, 193};  // a window 1000 wide
    const Rect box = ChartBox(panel);
    EXPECT_EQ(box, (Rect{816, 84, 916, 186}));
    const PointF top = DialPoint(box, 50);  // half way: straight up
    EXPECT_NEAR(top.x, 866, 1e-9);
    EXPECT_NEAR(top.y, 84, 1e-9);
    const PointF low = DialPoint(box, 0), high = DialPoint(box, 100);
    EXPECT_LT(low.x, 866);  // 0 lies to the lower left, 100 to the lower right
    EXPECT_GT(low.y, 135);
    EXPECT_GT(high.x, 866);
    EXPECT_NEAR(low.y, high.y, 1e-9);
    const auto needle = NeedlePolygon(box, 50);
    EXPECT_NEAR(needle[1].x, 866 - 4, 1e-9);  // b = pi: the base lies across the centre
    EXPECT_NEAR(needle[2].x, 866 + 4, 1e-9);
}

TEST(SummaryDial, ThePieGrowsCounterClockwiseFromTheValueToTheLowerLeft) {
    const Rect box{0, 0, 100, 102};
    EXPECT_NEAR(PieSector(box, 0).spanDeg, 0, 0.5);
    EXPECT_NEAR(PieSector(box, -5).spanDeg, 0, 0.5);
    const PieAngles half = PieSector(box, 50), full = PieSector(box, 100);
    EXPECT_NEAR(half.startDeg, 90, 1e-6);
    EXPECT_GT(full.spanDeg, half.spanDeg);
    EXPECT_LT(full.spanDeg, 300);
    EXPECT_NEAR(std::fmod(half.startDeg + half.spanDeg, 360),
                std::fmod(full.startDeg + full.spanDeg, 360), 1e-6);
}

// ---- protection counts

TEST(ProtectionCountsTest, AMasterSwitchOffCountsNothing) {
    CTarvellDoc d = Defaults();
    d.DetectionEnabled = 0;
    d.PreventionEnabled = 0;
    d.NewMacEnabled = 1;
    d.PreventAlertsEnabled = 1;
    d.PreventionSchedule = {"1/08:00/17:00"};
    const ProtectionCounts c = CountProtections(d);
    EXPECT_EQ(c.detection, 0);
    EXPECT_EQ(c.prevention, 0);
    d.DetectionEnabled = 1;
    EXPECT_EQ(CountProtections(d).Total(), CountProtections(d).detection);
}

TEST(ProtectionCountsTest, EachFieldOfTheTableSwitchesItsRuleOnAlone) {
    for (const ProtectionTable* table : {&DetectionProtections(), &PreventionProtections()}) {
        EXPECT_LE(table->rules.size(), 6u);
        for (const ProtectionRule& rule : table->rules)
            for (const ProtectionField& field : rule.fields) {
                // Everything off but the master switch, then one field on.
                CTarvellDoc d;
                d.DetectionEnabled = d.PreventionEnabled = 1;
                EXPECT_EQ(CountProtections(*table, d), 0) << field.field;
                const std::string f(field.field);
                if (f == "BlackListEnabled") d.BlackListEnabled = 1;
                else if (f == "WhiteListEnabled") d.WhiteListEnabled = 1;
                else if (f == "NodesCountThreshold") d.NodesCountThreshold = 3;
                else if (f == "NewMacEnabled") d.NewMacEnabled = 1;
                else if (f == "NewIpEnabled") d.NewIpEnabled = 1;
                else if (f == "NewNameEnabled") d.NewNameEnabled = 1;
                else if (f == "NewUserEnabled") d.NewUserEnabled = 1;
                else if (f == "ChangedIpEnabled") d.ChangedIpEnabled = 1;
                else if (f == "ChangedNameEnabled") d.ChangedNameEnabled = 1;
                else if (f == "ChangedUserEnabled") d.ChangedUserEnabled = 1;
                else if (f == "ChangedPortEnabled") d.ChangedPortEnabled = 1;
                else if (f == "ReceiveThreshold") d.ReceiveThreshold = 80;
                else if (f == "TransmitThreshold") d.TransmitThreshold = 80;
                else if (f == "BroadcastThreshold") d.BroadcastThreshold = 100;
                else if (f == "ErrorsThreshold") d.ErrorsThreshold = 10;
                else if (f == "ThreatNormalAlerts") d.ThreatNormalAlerts = 1;
                else if (f == "LinkupScriptFile") d.LinkupScriptFile = "/opt/check.sh";
                else if (f == "WmiConditions") d.WmiConditions = {"0;Linux"};
                else if (f == "PreventAlertsEnabled") d.PreventAlertsEnabled = 1;
                else if (f == "NetSendMessage") d.NetSendMessage = "bye";
                else if (f == "NotifyScriptFile") d.NotifyScriptFile = "/opt/n.sh";
                else if (f == "SnmpPreventionEnabled") d.SnmpPreventionEnabled = 1;
                else if (f == "BlockScriptFile") d.BlockScriptFile = "/opt/b.sh";
                else if (f == "UnblockScriptFile") d.UnblockScriptFile = "/opt/u.sh";
                else if (f == "UnblockAfterMinutes") d.UnblockAfterMinutes = 30;
                else if (f == "PreventionSchedule") d.PreventionSchedule = {"1/08:00/17:00"};
                else ADD_FAILURE() << "no case for " << f;
                EXPECT_EQ(CountProtections(*table, d), 1) << f;
            }
    }
}

TEST(ProtectionCountsTest, EverythingOnCountsSixEach) {
    CTarvellDoc d = Defaults();
    d.DetectionEnabled = d.PreventionEnabled = 1;
    d.BlackListEnabled = d.NewMacEnabled = d.NewIpEnabled = d.ChangedPortEnabled =
        d.ErrorsThreshold = 1;
    d.LinkupScriptFile = "s";
    d.WmiConditions = {"0;x"};
    d.PreventAlertsEnabled = d.SnmpPreventionEnabled = 1;
    d.NetSendMessage = d.NotifyScriptFile = d.BlockScriptFile = d.UnblockScriptFile = "x";
    d.UnblockAfterMinutes = 5;
    d.PreventionSchedule = {"a"};
    const ProtectionCounts c = CountProtections(d);
    EXPECT_EQ(c.detection, 6);
    EXPECT_EQ(c.prevention, 6);
    EXPECT_EQ(c.Total(), 12);
}

// ---- state text and permissions

TEST(SummaryState, TheTextFollowsConnectionStateAndSwitches) {
    CTarvellDoc d = Defaults();
    int queries = 0;
    auto answer = [&](int state) {
        return [&queries, state] {
            ++queries;
            return state;
        };
    };
    EXPECT_EQ(ServiceStateText("Not Connected", answer(1), d), "Not Connected");
    EXPECT_EQ(queries, 0);  // no service query without a server
    EXPECT_EQ(ServiceStateText("Local", answer(1), d), "Running Normally");
    d.DiscoverDatabaseEnabled = 0;
    EXPECT_EQ(ServiceStateText("Local", answer(1), d), "Running Normally");
    d.DiscoverTrapsEnabled = 0;
    EXPECT_EQ(ServiceStateText("Local", answer(1), d), "Running Silently");
    EXPECT_EQ(ServiceStateText("Local", answer(0), d), "Stopped");
    EXPECT_EQ(ServiceStateText("Local", answer(-1), d), "Unavailable");
    EXPECT_EQ(ServiceStateText("Local", nullptr, d), "Unavailable");
    EXPECT_EQ(queries, 5);
}

TEST(SummaryState, PermissionsApplyOnlyWithViewerUsers) {
    CTarvellDoc d = Defaults();
    EXPECT_TRUE(PermissionGranted(d, "", "Prevention Monitor"));
    d.ViewerUsers = {"alice/x;Detection Monitor;"};
    EXPECT_TRUE(
        PermissionGranted(d, "Detection Monitor;Intrusion Detection;", "Detection Monitor"));
    EXPECT_FALSE(
        PermissionGranted(d, "Detection Monitor;Intrusion Detection;", "Prevention Monitor"));
    EXPECT_FALSE(PermissionGranted(d, "Prevention Monitor", "Prevention Monitor"));  // no ";"
    EXPECT_FALSE(PermissionGranted(d, "", "Detection Monitor"));
}

}  // namespace
}  // namespace tarvell
