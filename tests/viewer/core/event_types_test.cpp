#include "viewer/core/hub/EventTypes.h"

#include <gtest/gtest.h>

#include <set>

namespace tarvell {
namespace {

TEST(EventTypes, KeysAreExactAndNamesMayDifferFromKeys) {
    EXPECT_EQ(EventTypeName("Prevent Enabled"), "Prevention Enabled");
    EXPECT_EQ(EventTypeName("WMI Process Name"), "WMI Process name");
    EXPECT_EQ(EventTypeName("Threat Broadcast"), "$severity Broadcasts Threat");
    EXPECT_EQ(EventTypeText("New Mac"), "New Mac Address $current $before.");
    for (const char* other : {"new mac", "New Mac ", "", "Test Alert"}) {
        EXPECT_EQ(EventTypeName(other), "") << other;
        EXPECT_EQ(EventTypeText(other), "") << other;
        EXPECT_EQ(EventTypeHelp(other), "") << other;
    }
}

TEST(EventTypes, ThreatLevelsHaveNamesOnlyFromZeroToFive) {
    EXPECT_EQ(ThreatLevelName(0), "Normal");
    EXPECT_EQ(ThreatLevelName(3), "Elevated");
    EXPECT_EQ(ThreatLevelName(5), "Severe");
    EXPECT_EQ(ThreatLevelName(6), "");
    EXPECT_EQ(ThreatLevelName(-1), "");
}

TEST(EventTypes, EveryKeyHasAllThreeTextsAndTheWmiKeysShareOnePage) {
    std::set<std::string> pages;
    ASSERT_EQ(EventTypeKeys().size(), 32u);
    for (std::string_view key : EventTypeKeys()) {
        EXPECT_FALSE(EventTypeName(key).empty()) << key;
        EXPECT_FALSE(EventTypeText(key).empty()) << key;
        const std::string help = EventTypeHelp(key);
        EXPECT_TRUE(
            help.starts_with("<style type='text/css'>body{font-size:70%;font-family:tahoma;}"
                             "h1{font-size:120%;font-family:tahoma;}</style>\r\n<body><h1>"))
            << key;
        EXPECT_TRUE(help.ends_with("</p>\r\n</body>")) << key;
        pages.insert(help);
    }
    EXPECT_EQ(pages.size(), 23u);
    EXPECT_EQ(EventTypeHelp("WMI Hot Fix"), EventTypeHelp("WMI Not Responding"));
    EXPECT_NE(EventTypeHelp("WMI Hot Fix").find("<h1>Linkup WMI</h1>"), std::string::npos);
}

TEST(EventTypes, HelpPagesFollowTheOneStructure) {
    const std::string node = EventTypeHelp("Unauthorized Node");
    EXPECT_NE(
        node.find("<p><b>What does this Detection Alert do?</b><br>\r\nThe Unauthorized Node Alert "
                  "notifies about node address that was marked as potential intruder."),
        std::string::npos);
    EXPECT_NE(
        node.find(
            "<p><b>What is an Unauthorized Node Alert?</b><br>The Unauthorized Node Alert is a "
            "notification about a node that using unsafe address. This alert is sent when a node "
            "is using an address that was marked as potential intruder.</p>"),
        std::string::npos);
    EXPECT_NE(EventTypeHelp("New Mac").find("What is a New Mac Alert?"), std::string::npos);
    EXPECT_NE(EventTypeHelp("Manual Blocking").find("What does this Prevention Alert do?"),
              std::string::npos);
    EXPECT_NE(EventTypeHelp("Prevent Disabled").find("<h1>Prevention Disabled</h1>"),
              std::string::npos);
    for (std::string_view key : EventTypeKeys()) {
        const std::size_t size = EventTypeHelp(key).size();
        EXPECT_GE(size, 400u) << key;
        EXPECT_LE(size, 700u) << key;
    }
}

}  // namespace
}  // namespace tarvell
