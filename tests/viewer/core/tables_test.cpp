#include <gtest/gtest.h>

#include "viewer/core/shell/MenuTable.h"
#include "viewer/core/shell/StringTable.h"

namespace tarvell {
namespace {

// ---- string table

TEST(StringTable, HoldsTheViewerTextsByTheirIds) {
    EXPECT_EQ(LoadString(str::kAppTitle), "Quenmark Tarvell");
    EXPECT_EQ(LoadString(str::kNotConnected), "Not Connected");
    EXPECT_EQ(LoadString(str::kConnectFailed),
              "Tarvell failed connecting selected server, please check your access permissions.");
    EXPECT_EQ(LoadString(str::kAskStopService),
              "Are you sure you want to stop Tarvell? By clicking 'Yes' you will be shutting down "
              "real-time network intrusion detection and prevention.");
    EXPECT_EQ(LoadString(str::kTakeMeTo), "Take Me To:");
    // The permission of the prevention alerts screen is named "Protection Alerts".
    EXPECT_EQ(LoadString(str::kPermProtectionAlerts), "Protection Alerts");
    EXPECT_EQ(LoadString(str::kCreateDocumentFailed), "Failed to create empty document.");
}

TEST(StringTable, AnUnknownIdGivesAnEmptyText) {
    for (unsigned id : {0u, 1u, 127u, 129u, 10000u, 20009u, 61701u, 4294967295u})
        EXPECT_TRUE(LoadString(id).empty()) << id;
}

// ---- menu table

TEST(MenuTable, ToolbarsAndTitlesTakeTheirTextsWithoutMnemonics) {
    struct Case {
        unsigned menu;
        CommandId command;
        const char* text;
    };
    for (const Case& c : std::initializer_list<Case>{
             {res::kMainMenu, cmd::kDetectionMonitor, "Detection Monitor"},
             {res::kMainMenu, cmd::kPreventionMonitor, "Prevention Monitor"},
             {res::kMainMenu, cmd::kIntrusionDetection, "Intrusion Detection"},
             {res::kMainMenu, cmd::kIntrusionPrevention, "Intrusion Prevention"},
             {res::kMainMenu, cmd::kDetectionAlerts, "Detection Alerts"},
             {res::kMainMenu, cmd::kPreventionAlerts, "Prevention Alerts"},
             {res::kMainMenu, cmd::kAppExit, "Exit"},
             {res::kMainMenuTexts, cmd::kHelpMenu, "Help"},
             {res::kTitleMenu, cmd::kTitleMonitor, "Real-time Monitor"},
             {res::kTitleMenu, cmd::kTitleSettings, "Settings"},
             {res::kBackMenu, cmd::kBackToMonitor, "Back to Monitor Summary"},
             {res::kMainToolbar, cmd::kService, "Service"},
             {res::kFavoritesMenu, cmd::kSettings, "Tarvell Definitions"},
             {res::kTrayMenu, cmd::kShutdown, "Shutdown Tarvell"},
             // Missing menus and items give empty texts.
             {res::kTitleMenu, cmd::kSummary, ""},
             {999, cmd::kSummary, ""},
         }) {
        EXPECT_EQ(MenuText(c.menu, c.command), c.text) << c.menu << " " << c.command;
    }
}

const MenuItem& Popup(const std::vector<MenuItem>& items, std::size_t i) {
    EXPECT_LT(i, items.size());
    EXPECT_TRUE(items[i].IsPopup());
    return items[i];
}

TEST(MenuTable, TheItemsStandWhereThePermissionChecksLookForThem) {
    const std::vector<MenuItem>* main = LoadMenu(res::kMainMenu);
    ASSERT_NE(main, nullptr);
    ASSERT_EQ(main->size(), 4u);  // File, Options, Tools, Help
    // Options: the service item at position 2 is Start Server, followed by Stop Server; the
    // frame removes one of them, so whichever stays stands at position 2.
    const auto& options = Popup(*main, 1).popup;
    EXPECT_EQ(options[2].command, cmd::kStartServer);
    EXPECT_EQ(options[3].command, cmd::kStopServer);
    // Tools: in each submenu the detection screen first, the prevention screen second.
    const auto& tools = Popup(*main, 2).popup;
    ASSERT_EQ(tools.size(), 4u);
    const CommandId pairs[3][2] = {{cmd::kDetectionMonitor, cmd::kPreventionMonitor},
                                   {cmd::kIntrusionDetection, cmd::kIntrusionPrevention},
                                   {cmd::kDetectionAlerts, cmd::kPreventionAlerts}};
    for (int i = 0; i < 3; ++i) {
        const auto& sub = Popup(tools, static_cast<std::size_t>(i + 1)).popup;
        EXPECT_EQ(sub[0].command, pairs[i][0]);
        EXPECT_EQ(sub[1].command, pairs[i][1]);
    }
    // The tray menu's first popup: Open, a separator, Shutdown.
    const auto& tray = Popup(*LoadMenu(res::kTrayMenu), 0).popup;
    ASSERT_EQ(tray.size(), 3u);
    EXPECT_EQ(tray[0].command, cmd::kOpen);
    EXPECT_TRUE(tray[1].IsSeparator());
    EXPECT_EQ(tray[2].command, cmd::kShutdown);
}

TEST(MenuTable, StripMnemonicKeepsADoubledAmpersand) {
    EXPECT_EQ(StripMnemonic("E&xit"), "Exit");
    EXPECT_EQ(StripMnemonic("&&Fish && Chips"), "&Fish & Chips");
    EXPECT_EQ(StripMnemonic("Trailing&"), "Trailing");
    EXPECT_EQ(StripMnemonic(""), "");
}

TEST(StringTable, TheServiceStateTextsAreThere) {
    EXPECT_EQ(LoadString(str::kRunningNormally), "Running Normally");
    EXPECT_EQ(LoadString(str::kRunningSilently), "Running Silently");
    EXPECT_EQ(LoadString(str::kServiceStopped), "Stopped");
    EXPECT_EQ(LoadString(str::kServiceUnavailable), "Unavailable");
}

}  // namespace
}  // namespace tarvell
