#include <gtest/gtest.h>

#include "viewer/core/protection/DetectionPages.h"
#include "service/linkup/LinkupRules.h"
#include "viewer/core/protection/WmiConditions.h"

namespace tarvell::test {
namespace {

using Keys = std::vector<std::string>;

// A document with every detection field on and each list naming its own field.
CTarvellDoc AllOn() {
    CTarvellDoc d;
    d.BlackListEnabled = d.WhiteListEnabled = 1;
    d.NodesCountThreshold = 7;
    d.NewMacEnabled = d.NewIpEnabled = d.NewNameEnabled = d.NewUserEnabled = 1;
    d.ChangedIpEnabled = d.ChangedNameEnabled = d.ChangedUserEnabled = d.ChangedPortEnabled = 1;
    d.ReceiveThreshold = 30;
    d.ThreatNormalAlerts = 1;
    d.ChangedUserDevices = {"user"};
    d.ChangedPortDevices = {"port"};
    d.ReceiveDevices = {"rx"};
    d.BlackListDevices = {"black"};
    d.LinkupScriptFile = "s.sh";
    d.LinkupScriptDevices = {"script"};
    return d;
}

TEST(DetectionPages, OpenedOffThenOkStoresEverythingOff) {
    const CTarvellDoc off;
    CTarvellDoc d = AllOn();
    Store(LoadUnauthorized(off), d);
    Store(LoadNewNodes(off), d);
    Store(LoadChangedNodes(off), d);
    Store(LoadThreats(off), d);
    Store(LoadScript(off), d);
    EXPECT_EQ(d.BlackListEnabled + d.WhiteListEnabled + d.NodesCountThreshold + d.NewUserEnabled +
                  d.ChangedPortEnabled + d.ReceiveThreshold + d.ThreatNormalAlerts,
              0);
    EXPECT_TRUE(d.ChangedPortDevices.empty() && d.ReceiveDevices.empty() &&
                d.BlackListDevices.empty());
    EXPECT_TRUE(d.LinkupScriptFile.empty() && d.LinkupScriptDevices.empty());
}

TEST(DetectionPages, MasterUntickedTurnsRowInactiveAndStoresOff) {
    const CTarvellDoc on = AllOn();
    auto changed = LoadChangedNodes(on);
    auto threats = LoadThreats(on);
    auto script = LoadScript(on);
    ASSERT_TRUE(IsActive(changed) && IsActive(threats) && IsActive(script));
    SetMaster(changed, false);
    SetMaster(threats, false);
    SetMaster(script, false);
    EXPECT_FALSE(IsActive(changed) || IsActive(threats) || IsActive(script));
    CTarvellDoc d = on;
    Store(changed, d);
    Store(threats, d);
    EXPECT_EQ(d.ChangedIpEnabled + d.ChangedPortEnabled + d.ReceiveThreshold + d.ThreatNormalAlerts,
              0);
    EXPECT_TRUE(d.ChangedPortDevices.empty() && d.ReceiveDevices.empty());
    EXPECT_EQ(d.NewMacEnabled, 1) << "another page's field is not touched";
}

TEST(DetectionPages, ListOfASwitchedOffSubIsEmptiedAndComesBackWhenOnAgain) {
    CTarvellDoc d = AllOn();
    auto page = LoadChangedNodes(d);
    EXPECT_EQ(page.subs[ChangedNodesPage::Port].devices, Keys{"port"});
    EXPECT_EQ(page.subs[ChangedNodesPage::User].devices, Keys{"user"});
    page.subs[ChangedNodesPage::Port].on = false;
    Store(page, d);
    EXPECT_TRUE(d.ChangedPortDevices.empty());
    EXPECT_EQ(d.ChangedUserDevices, Keys{"user"});
    page.subs[ChangedNodesPage::Port].on = true;
    Store(page, d);
    EXPECT_EQ(d.ChangedPortDevices, Keys{"port"});
}

TEST(DetectionPages, NumberBoxes) {
    const struct {
        const char* text;
        bool ok;
        std::int32_t value;
    } cases[] = {{"", true, 0},
                 {"250", true, 250},
                 {"2147483647", true, 2147483647},
                 {"2147483648", false, 0},
                 {"99999999999", false, 0},
                 {"-5", false, 0},
                 {"1 ", false, 0},
                 {"0x10", false, 0}};
    for (const auto& c : cases) {
        const auto v = ParseBoxNumber(c.text);
        EXPECT_EQ(v.has_value(), c.ok) << c.text;
        if (c.ok && v) {
            EXPECT_EQ(*v, c.value) << c.text;
        }
    }
}

TEST(DetectionPages, ThreatsTickTypeAndEmpty) {
    CTarvellDoc d = AllOn();
    auto page = LoadThreats(d);
    EXPECT_EQ(page.thresholds[ThreatsPage::Receive].text, "30");
    SetThreshold(page, ThreatsPage::Broadcast, true);
    EXPECT_EQ(page.thresholds[ThreatsPage::Broadcast].text, "1");
    EXPECT_EQ(ThresholdRange(ThreatsPage::Broadcast), (SpinRange{1, 9999}));
    EXPECT_EQ(ThresholdRange(ThreatsPage::Transmit), (SpinRange{1, 99}));
    page.thresholds[ThreatsPage::Receive].text = "250";
    ASSERT_EQ(Check(page), 0);
    Store(page, d);
    EXPECT_EQ(d.ReceiveThreshold, 250);
    EXPECT_EQ(d.ReceiveDevices, Keys{"rx"});
    EXPECT_EQ(d.BroadcastThreshold, 1);

    page.thresholds[ThreatsPage::Receive].text = "";
    Store(page, d);
    EXPECT_EQ(d.ReceiveThreshold, 0);
    EXPECT_TRUE(d.ReceiveDevices.empty());

    page.thresholds[ThreatsPage::Errors].text = "99999999999";
    EXPECT_EQ(Check(page), kMsgSettingsInvalid);
}

TEST(DetectionPages, NodesCountTickedWithZeroThresholdStoresOne) {
    CTarvellDoc d;
    auto page = LoadUnauthorized(d);
    SetMaster(page, true);
    page.subs[UnauthorizedPage::NodesCount].on = true;
    Store(page, d);
    EXPECT_EQ(d.NodesCountThreshold, 1);
    EXPECT_TRUE(IsActive(page));
}

TEST(DetectionPages, ScriptChecks) {
    ScriptPage page;
    SetMaster(page, true);
    page.sub.on = true;
    EXPECT_EQ(Check(page, true), kMsgSettingsInvalid);
    page.file = "s.sh";
    EXPECT_EQ(Check(page, false), kMsgLogonRequired);
    EXPECT_EQ(Check(page, true), 0);
    page.logon = "DOM\\u";
    EXPECT_EQ(Check(page, false), 0);
}

// The black list dialog saves on its own: a page stored later (or never) keeps that list.
TEST(DetectionPages, StoreWritesOnlyItsOwnFields) {
    CTarvellDoc opened;
    auto page = LoadUnauthorized(opened);
    CTarvellDoc reloaded;
    reloaded.NodesBlackList = {"00AABB000001"};
    reloaded.BlackListImportFile = "b.txt";
    Store(page, reloaded);
    EXPECT_EQ(reloaded.NodesBlackList, Keys{"00AABB000001"});
    EXPECT_EQ(reloaded.BlackListImportFile, "b.txt");
}

// ---- WMI conditions

TEST(WmiConditions, EntriesRoundTripAndUnreadableOnesStayRaw) {
    const struct {
        const char* entry;
        int code;
        const char* property;
        const char* value;
    } cases[] = {{"3;KB1|KB2", 3, "Hot Fix", "KB1|KB2"},
                 {"0;4.0|5.0", 0, "Operating System", "4.0|5.0"},
                 {"12;x", -1, "", "12;x"},
                 {"no separator", -1, "", "no separator"},
                 {"9;x", -1, "", "9;x"},
                 {"8;", 8, "Registry DWORD", ""}};
    for (const auto& c : cases) {
        const auto cond = ParseWmiRow(c.entry);
        EXPECT_EQ(cond.code, c.code) << c.entry;
        EXPECT_EQ(WmiRowProperty(cond), c.property) << c.entry;
        EXPECT_EQ(WmiRowValue(cond), c.value) << c.entry;
        EXPECT_EQ(FormatWmiRow(cond), c.entry);
    }
    EXPECT_EQ(SplitWmiValues("KB1|KB2"), (Keys{"KB1", "KB2"}));
    EXPECT_EQ(SplitWmiValues("a||b|"), (Keys{"a", "", "b"}));
    EXPECT_EQ(JoinWmiValues({"", "a", "b"}), "a|b");
}

TEST(WmiConditions, PropertiesDialogOk) {
    WmiConditionRow c;
    EXPECT_EQ(MakeWmiCondition("hot fix", {"KB2", "KB1"}, c), 0);
    EXPECT_EQ(FormatWmiRow(c), "3;KB2|KB1");
    const WmiConditionRow before = c;
    EXPECT_EQ(MakeWmiCondition("hotfixes", {"x"}, c), kMsgSettingsInvalid);
    EXPECT_EQ(MakeWmiCondition("Hot Fix", {"a|b"}, c), kMsgSettingsInvalid);
    EXPECT_EQ(MakeWmiCondition("Hot Fix", {"a\nb"}, c), kMsgSettingsInvalid);
    EXPECT_EQ(c, before);

    Keys values;
    for (const char* v : {"KB9", "KB1", "KB5"}) InsertWmiValue(values, v);
    EXPECT_EQ(values, (Keys{"KB1", "KB5", "KB9"}));
}

TEST(WmiConditions, PageStoreAndChecks) {
    CTarvellDoc d;
    d.WmiConditions = {"12;x", "3;KB1", "3;KB2"};
    d.WmiNodesMode = "1";
    d.WmiDevices = {"sw"};
    auto page = LoadWmi(d);
    ASSERT_EQ(page.rows.size(), 3u);
    EXPECT_EQ(page.nodesMode, 1);
    EXPECT_EQ(Check(page, false), kMsgLogonRequired);
    page.rows.emplace_back();
    ASSERT_EQ(MakeWmiCondition("hot fix", {"KB3", "KB4"}, page.rows.back()), 0);
    CTarvellDoc out;
    Store(page, out);
    EXPECT_EQ(out.WmiConditions, (Keys{"12;x", "3;KB1", "3;KB2", "3;KB3|KB4"}));
    EXPECT_EQ(out.WmiDevices, Keys{"sw"});
    // The service's reader: the code is the type, each value an alternative of its own.
    const auto read = ParseWmiCondition(out.WmiConditions[3]);
    EXPECT_EQ(read.type, 3);
    EXPECT_TRUE(MatchAny(read.alternatives, "kb4") && !MatchAny(read.alternatives, "KB3|KB4"));

    auto empty = page;
    empty.rows.clear();
    EXPECT_EQ(Check(empty, true), kMsgSettingsInvalid);

    SetMaster(page, false);
    EXPECT_EQ(Check(page, false), 0);
    Store(page, out);
    EXPECT_TRUE(out.WmiConditions.empty() && out.WmiDevices.empty());
    EXPECT_EQ(out.WmiNodesMode, "1");
    EXPECT_FALSE(IsActive(page));
}

TEST(WmiConditions, SecondSortBySameColumnReverses) {
    std::vector<WmiConditionRow> rows{ParseWmiRow("5;b"), ParseWmiRow("0;c"), ParseWmiRow("3;a")};
    SortWmiRows(rows, 1, true);
    EXPECT_EQ(WmiRowValue(rows[0]) + WmiRowValue(rows[1]) + WmiRowValue(rows[2]), "abc");
    SortWmiRows(rows, 1, false);
    EXPECT_EQ(WmiRowValue(rows[0]) + WmiRowValue(rows[1]) + WmiRowValue(rows[2]), "cba");
    SortWmiRows(rows, 0, true);
    EXPECT_EQ(WmiRowProperty(rows[0]), "Hot Fix");
}

}  // namespace
}  // namespace tarvell::test
