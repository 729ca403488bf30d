#include <gtest/gtest.h>

#include "platform/Files.h"
#include "viewer/core/protection/DeviceChoice.h"
#include "viewer/core/protection/LogonText.h"
#include "viewer/core/protection/NodeLists.h"
#include "viewer/core/base/StringTable.h"

namespace tarvell {
namespace {

using Strings = std::vector<std::string>;

const std::map<std::string, std::string> kDevices = {{"00AABB000001", "10.0.0.10/core-1/ops/rack"},
                                                     {"00AABB000002", "10.0.0.9/edge-2"},
                                                     {"00AABB000003", "lonely"}};
const std::map<std::string, std::string> kPorts = {
    {"00AABB000001/1", "Gi0/1"}, {"00AABB000001/2", "Gi0/2"}, {"00AABB000002/1", "Fa0/1"}};

TEST(LogonText, OpensSpecificAccountsAndKeepsTheOkRules) {
    const LogonParts parts = ParseLogon("a/b/c/");
    EXPECT_EQ(parts.user + "|" + parts.domain + "|" + parts.password, "a|b|c");
    EXPECT_EQ(FormatLogon(parts), "a/b/c/");
    const struct {
        LogonChoice choice;
        bool userAccount;
        unsigned message;
        std::string account;
    } cases[] = {
        {{false, "", "", "", ""}, true, 0, ""},
        {{false, "", "", "", ""}, false, str::kServiceAccountIsSystem, ""},
        {{true, "a", "b", "c", "c"}, false, 0, "a/b/c/"},
        {{true, "a", "b", "c", "C"}, true, str::kLogonInvalid, ""},
        {{true, "", "b", "c", "c"}, true, str::kLogonInvalid, ""},
        {{true, "a/x", "b", "c", "c"}, true, str::kLogonInvalid, ""},
        {{true, "a", "b/", "c", "c"}, true, str::kLogonInvalid, ""},
        {{true, "a", "b", "c/d", "c/d"}, true, str::kLogonInvalid, ""},
    };
    for (const auto& c : cases) {
        const LogonVerdict v = ConfirmLogon(c.choice, c.userAccount);
        EXPECT_EQ(v.message, c.message)
            << c.choice.user << "/" << c.choice.domain << "/" << c.choice.password;
        EXPECT_EQ(v.account, c.account);
    }
    EXPECT_FALSE(LoadString(str::kServiceAccountIsSystem).empty());
}

TEST(DeviceChoice, RowsKeepEveryChosenKeyAndRefuseAnEmptyChoice) {
    auto rows = BuildDeviceRows(kDevices, {"00AABB000003", "00AABB000001", "GONE"});
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].name + "|" + rows[0].ip, "core-1|10.0.0.10");
    EXPECT_EQ(rows[2].name + "|" + rows[2].ip, "lonely|");
    EXPECT_EQ(rows[3].name + "|" + rows[3].key, "GONE|GONE");
    std::string checked;
    for (const auto& r : rows) checked += r.checked ? '1' : '0';
    EXPECT_EQ(checked, "1011");
    EXPECT_EQ(ConfirmDevices(false, rows).keys, (Strings{"00AABB000001", "00AABB000003", "GONE"}));
    EXPECT_TRUE(ConfirmDevices(true, rows).keys.empty());
    EXPECT_EQ(ConfirmDevices(true, rows).message, 0u);
    for (auto& r : rows) r.checked = false;
    EXPECT_EQ(ConfirmDevices(false, rows).message, str::kSettingsInvalid);
}

TEST(DeviceChoice, IpOrderIsByValueWithUnreadableAddressesLast) {
    for (const char* bad : {"", "1.2.3", "1.2.3.256", "1.2.3.4.5", "a.b.c.d", "1..2.3", "1.2.3.4 "})
        EXPECT_FALSE(IpToHostOrder(bad)) << bad;
    EXPECT_EQ(IpToHostOrder("10.0.0.9"), 0x0A000009u);
    auto rows = BuildDeviceRows(kDevices, {});
    auto sorted = [&](DeviceColumn col, bool up) {
        std::sort(rows.begin(), rows.end(),
                  [&](auto& a, auto& b) { return DeviceRowBefore(a, b, col, up); });
        std::string names;
        for (const auto& r : rows) names += r.name + " ";
        return names;
    };
    EXPECT_EQ(sorted(DeviceColumn::Ip, true), "edge-2 core-1 lonely ");
    EXPECT_EQ(sorted(DeviceColumn::Ip, false), "lonely core-1 edge-2 ");
    EXPECT_EQ(sorted(DeviceColumn::Name, true), "core-1 edge-2 lonely ");
}

TEST(NodeLists, EntriesCaptionsAndNodes) {
    const struct {
        std::string entry;
        NodeMode mode;
        bool shown;
        std::string node, port;
    } cases[] = {
        {"00AA00000001/1;00AABB000001/2", NodeMode::List, true, "00AA00000001", "00AABB000001/2"},
        {"00AA00000001/01;", NodeMode::List, true, "00AA00000001", ""},
        {"00AA00000001/0;", NodeMode::List, false, "", ""},
        {"00AA00000001;00AABB000001/2", NodeMode::List, false, "", ""},
        {"00AA00000001/;", NodeMode::List, false, "", ""},
        {"10.0.0.5;00AABB000001/2", NodeMode::Count, true, "10.0.0.5", "00AABB000001/2"},
        {"10.0.0.5", NodeMode::Count, true, "10.0.0.5", ""},
    };
    for (const auto& c : cases) {
        const auto shown = ShownNodeEntry(c.entry, c.mode);
        ASSERT_EQ(shown.has_value(), c.shown) << c.entry;
        if (shown) {
            EXPECT_EQ(shown->node + "|" + shown->port, c.node + "|" + c.port) << c.entry;
        }
    }
    EXPECT_EQ(GroupCaption("Excluded Nodes (3)", 7), "Excluded Nodes (7)");
    EXPECT_EQ(GroupCaption("Current nodes", 0), "Current nodes (0)");
    for (const char* good : {"00AA00000001", "00aa0000000f", "00AA*", "*", "10.0.0.5"})
        EXPECT_TRUE(ValidNode(good)) << good;
    for (const char* bad : {"", "00AA0000000", "00AA000000011", "00:AA:00:00:00:01", "00AA0000000G",
                            "10.0.0", "10.0.0.256"})
        EXPECT_FALSE(ValidNode(bad)) << bad;
}

TEST(NodeLists, OkAppliesOnlyTheDialogsOwnChanges) {
    const Strings opened = {"00AA00000001/0;",
                            "00AA00000001/1;",
                            "00AA00000002/1;00AABB000001/1",
                            "00AA00000009;00AABB000001/1",
                            "00AA00000003/1;00AABB000001/1",
                            "00AA00000003/1;00AABB000001/2"};
    NodeListEdit edit(NodeMode::List, opened);
    ASSERT_EQ(edit.Nodes().size(), 3u);
    EXPECT_EQ(edit.Apply(opened), opened);
    edit.Remove("00AA00000001");
    edit.Put("00AA00000002", "00AABB000002/1");  // edit keeps the key
    edit.Put("00AA00000004", "");
    // Written to the file by the service or a block request while the dialog was open.
    Strings reloaded = opened;
    reloaded.push_back("00AA00000005/1;");
    EXPECT_EQ(edit.Apply(reloaded),
              (Strings{"00AA00000001/0;", "00AA00000002/1;00AABB000002/1",
                       "00AA00000009;00AABB000001/1", "00AA00000003/1;00AABB000001/1",
                       "00AA00000003/1;00AABB000001/2", "00AA00000005/1;", "00AA00000004/1;"}));
    edit.Put("00AA00000003", "");  // adding an existing node replaces its port
    EXPECT_EQ(edit.Apply(opened)[3], "00AA00000003/1;");
    EXPECT_EQ(edit.Apply(opened).size(), 5u);
}

TEST(NodeLists, ImportResolvesPlacesAsTheServiceDoes) {
    const std::string dir = MakeTempFolder("tarvell-nodes-");
    const std::string file = JoinPath(dir, "nodes.txt");
    ASSERT_TRUE(AtomicWriteFile(file,
                                "00AA00000001\r\n\n10.0.0.5;core-1/Gi0/2\n  10.0.0.6,10.0.0.9/1\n"
                                "10.0.0.7;nowhere/3\n00AA00000008;core-1/9\n"));
    const auto lines = ReadNodeImportFile(file, kDevices, kPorts);
    ASSERT_TRUE(lines);
    NodeListEdit list(NodeMode::List, {"00AA00000001/1;00AABB000001/1", "10.0.0.6/0;"});
    list.Import(*lines);
    EXPECT_EQ(list.Apply({"00AA00000001/1;00AABB000001/1", "10.0.0.6/0;"}),
              (Strings{"00AA00000001/1;", "10.0.0.6/0;", "10.0.0.5/1;00AABB000001/2",
                       "10.0.0.6/1;00AABB000002/1", "10.0.0.7/1;nowhere/3",
                       "00AA00000008/1;00AABB000001/9"}));
    NodeListEdit count(NodeMode::Count, {"00AA00000002;", "10.0.0.5;"});
    count.Import(*lines);
    EXPECT_EQ(count.Nodes().size(), 6u);  // imports add or replace, never remove
    EXPECT_EQ(count.Apply({"00AA00000002;", "10.0.0.5;"})[1], "10.0.0.5;00AABB000001/2");
    EXPECT_FALSE(ReadNodeImportFile(dir, kDevices, kPorts));
    RemoveTree(dir);
}

}  // namespace
}  // namespace tarvell
