// The Devices, Nodes and Snmp sheets without widgets: the working lists, the entry rules and
// codecs, the SNMPv3 level and the spins. That the service reads what the pages store is shown
// end to end in tests/viewer/settings_service/exclusion_settings_service_test.cpp.
#include <gtest/gtest.h>

#include "service/engine/SnmpClient.h"
#include "viewer/core/settings/DevicesSettings.h"
#include "viewer/core/settings/NodesSettings.h"
#include "viewer/core/settings/PanelFields.h"
#include "viewer/core/settings/SnmpSettings.h"
#include "viewer/core/base/StringTable.h"

namespace tarvell {
namespace {

const DeviceTable kDevices = {
    {"S1", "10.0.0.1/core/ops"}, {"S2", "10.0.0.9/Edge"}, {"S3", "lonely"}};
const DeviceTable kPorts = {{"S1/1", "Gi0/1"}, {"S1/2", "gi0/2"}, {"S2/1", "Fa0/1"}};

TEST(DevicesSettingsTest, DeviceValuesAndChoices) {
    struct Case {
        std::string value, name, ip;
    } cases[] = {{"10.0.0.1/core/ops", "core", "10.0.0.1"},
                 {"10.0.0.9/Edge", "Edge", "10.0.0.9"},
                 {"lonely", "lonely", ""},
                 {"/", "", ""}};
    for (const Case& c : cases) {
        const DeviceEntry row = DeviceEntryOf("K", c.value);
        EXPECT_EQ(row.name, c.name) << c.value;
        EXPECT_EQ(row.ip, c.ip) << c.value;
    }
    EXPECT_EQ(DeviceChoices(kDevices, false)[1].key, "S2") << "sorted without regard to case";
    const auto addresses = DeviceChoices(kDevices, true);
    ASSERT_EQ(addresses.size(), 2u) << "a device without address is not offered by address";
    EXPECT_EQ(addresses[1].text, "10.0.0.9");
}

TEST(DevicesSettingsTest, DeviceExclusionsKeepKeysTheTableLacks) {
    struct Case {
        const char* what;
        DeviceTable table;
        std::vector<std::string> stored;
        std::vector<std::size_t> tick;
        std::vector<std::string> expected;
    } cases[] = {
        {"no event file read yet", {}, {"S7", "S1"}, {}, {"S7", "S1"}},
        {"stored rows stay ticked", kDevices, {"S1", "S9"}, {}, {"S1", "S9"}},
        {"ticked rows in list order, then the lacking keys",
         kDevices,
         {"S9"},
         {2, 0},
         {"S1", "S3", "S9"}},
        {"a row outside the list adds nothing", kDevices, {}, {7}, {}},
    };
    for (const Case& c : cases) {
        DeviceExclusions rows(c.table, c.stored);
        for (std::size_t r : c.tick) rows.Set(r, true);
        EXPECT_EQ(rows.Stored(c.stored), c.expected) << c.what;
    }
    DeviceExclusions rows(kDevices, {"S1", "S9"});
    rows.Set(0, false);
    EXPECT_EQ(rows.Stored({"S1", "S9"}), std::vector<std::string>{"S9"}) << "a row cleared";
}

TEST(DevicesSettingsTest, PortWorkingList) {
    PortExclusions ports({"S2/Fa0/1", "S1/Gi0/1", "S8/gone"});
    ports.ShowDevice(kPorts, "S1");
    ASSERT_EQ(ports.Rows(), (std::vector<std::string>{"Gi0/1", "gi0/2"}));
    EXPECT_TRUE(ports.Checked(0));
    EXPECT_FALSE(ports.Checked(1));
    EXPECT_FALSE(ports.Set(2, true)) << "a click below the last row";
    ports.SetAll(true);
    ports.SetAll(true);
    EXPECT_EQ(ports.Entries(),
              (std::vector<std::string>{"S2/Fa0/1", "S8/gone", "S1/Gi0/1", "S1/gi0/2"}));
    ports.Set(0, false);
    ports.SetAll(false);
    EXPECT_EQ(ports.Entries(), (std::vector<std::string>{"S2/Fa0/1", "S8/gone"}));
}

TEST(NodesSettingsTest, EntryRules) {
    const std::vector<std::string> macs = {"00A0C9FFFFFF"};
    const std::vector<std::string> ips = {"10.1.0.0"};
    struct Case {
        const char* what;
        bool mac;
        std::string text, mask;
        unsigned expected;
    } cases[] = {
        {"pattern", true, "00A0C9******", "", 0},
        {"not hexadecimal", true, "zzzzzzzzzzzz", "", str::kMacEntryInvalid},
        {"eleven characters", true, "00A0C9FFFFF", "", str::kMacEntryInvalid},
        {"lower-case duplicate", true, "00a0c9ffffff", "", str::kItemExists},
        {"network", false, "10.2.0.0", "255.255.0.0", 0},
        {"same address, other mask", false, "10.1.0.0", "255.0.0.0", str::kItemExists},
        {"mask with holes", false, "10.3.0.0", "255.0.255.0", str::kMaskInvalid},
    };
    for (const Case& c : cases) {
        const unsigned got =
            c.mac ? CheckMacEntry(macs, c.text) : CheckAddressEntry(ips, {c.text, c.mask});
        EXPECT_EQ(got, c.expected) << c.what;
    }
    EXPECT_FALSE(MacEntryComplete("00A0C9FFFFF")) << "11 characters keep Add off";
}

TEST(NodesSettingsTest, AddressEntriesRoundTrip) {
    struct Case {
        std::string stored, address, mask;
    } cases[] = {{"10.1.2.3", "10.1.2.3", ""},
                 {"10.0.0.0/255.0.0.0", "10.0.0.0", "255.0.0.0"},
                 {"10.0.0.0/255.0.0.0/x", "10.0.0.0", "255.0.0.0/x"}};
    for (const Case& c : cases) {
        const AddressEntry e = SplitAddressEntry(c.stored);
        EXPECT_EQ(e.address, c.address);
        EXPECT_EQ(e.mask, c.mask);
        EXPECT_EQ(JoinAddressEntry(e), c.stored);
    }
}

TEST(SnmpSettingsTest, CommunitiesRoundTrip) {
    struct Case {
        std::string stored, community, rightsName, joined;
    } cases[] = {{"c/1", "c", "READ WRITE", "c/1"},
                 {"a/b/2", "a/b", "WRITE ONLY", "a/b/2"},
                 {"plain", "plain", "READ ONLY", "plain/0"},
                 {"odd/7", "odd", "", "odd/7"}};
    for (const Case& c : cases) {
        const CommunityEntry e = SplitCommunity(c.stored);
        EXPECT_EQ(e.community, c.community) << c.stored;
        EXPECT_EQ(RightsName(e.rights), c.rightsName) << c.stored;
        EXPECT_EQ(JoinCommunity(e), c.joined) << c.stored;
    }
    EXPECT_TRUE(ListHolds({"Private"}, "PRIVATE")) << "a community differing in case is listed";
}

TEST(SnmpSettingsTest, SecurityLevelFollowsTheProtocols) {
    struct Case {
        std::int32_t auth, priv, shownPriv, level;
    } cases[] = {{1, 1, 1, 1},  {1, 2, 1, 1}, {2, 1, 1, 2}, {3, 3, 3, 3},
                 {-1, 2, 1, 1}, {2, 9, 1, 2}, {0, 0, 1, 1}};
    for (const Case& c : cases) {
        EXPECT_EQ(PrivacyFor(c.auth, c.priv), c.shownPriv) << c.auth << "/" << c.priv;
        EXPECT_EQ(SecurityLevelOf(c.auth, c.priv), c.level) << c.auth << "/" << c.priv;
    }
    EXPECT_EQ(ShownProtocol(-1), kProtocolNone);
    EXPECT_EQ(ShownProtocol(4), kProtocolNone);
}

TEST(SnmpSettingsTest, EngineIdAsTheServiceReadsIt) {
    const std::string tooLong(66, 'a');
    const std::string longest(64, 'a');
    for (const std::string& text :
         {std::string("80:00:1f:88:04"), std::string("0x80001F8804"), std::string(""),
          std::string("xyz"), std::string("abc"), std::string("80 00 1f 88"), tooLong, longest,
          std::string("0x"), std::string("0xg0")}) {
        EXPECT_EQ(EngineIdValid(text), EngineIdBytes(text).has_value()) << text;
    }
    EXPECT_EQ(EngineIdBytes("80:00:1f:88:04"), std::string("\x80\x00\x1f\x88\x04", 5));
    EXPECT_FALSE(EngineIdValid("xyz"));
    SnmpV3Values v;
    v.engineId = "xyz";
    EXPECT_EQ(CheckSnmpV3(v), str::kEngineIdInvalid);
}

TEST(PanelFieldsTest, StoredValuesAreClampedToTheControls) {
    struct Case {
        std::size_t field;
        std::int32_t stored, shown;
    } cases[] = {{0, 70000, 10000}, {0, 0, 1000}, {0, 65536 + 2000, 10000},
                 {0, 3000, 3000},   {1, 0, 1},    {1, 500, 10},
                 {2, 5, 1},         {2, 0, 0}};
    for (const Case& c : cases) {
        CTarvellDoc doc;
        doc.*(SnmpPanelFields()[c.field].field) = c.stored;
        FieldsPanel panel(SnmpPanelFields());
        panel.Load(doc);
        EXPECT_EQ(panel.Value(c.field), c.shown) << c.field << ": " << c.stored;
        CTarvellDoc out;
        panel.Store(out);
        EXPECT_EQ(out.*(SnmpPanelFields()[c.field].field), c.shown);
    }
}

}  // namespace
}  // namespace tarvell
