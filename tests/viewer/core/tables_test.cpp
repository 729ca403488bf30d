#include <gtest/gtest.h>

#include "viewer/core/shell/MenuTable.h"
#include "viewer/core/base/StringTable.h"
#include "tests/support/Golden.h"

namespace tarvell {
namespace {

using test::ExpectGolden;

// ---- string table

// Every text of the table by its id, as a golden file.
TEST(StringTable, HoldsTheViewerTextsByTheirIds) {
    std::string dump;
    for (unsigned id = 0; id <= 0xFFFF; ++id)
        if (const std::string_view text = LoadString(id); !text.empty())
            dump += std::to_string(id) + "\t" + std::string(text) + "\n";
    ExpectGolden("viewer/string_table.txt", dump);
}

TEST(StringTable, AnUnknownIdGivesAnEmptyText) {
    for (unsigned id : {0u, 1u, 127u, 129u, 10000u, 20009u, 61701u, 4294967295u})
        EXPECT_TRUE(LoadString(id).empty()) << id;
}

// ---- menu table

void DumpItems(const std::vector<MenuItem>& items, const std::string& indent, std::string& out) {
    for (const MenuItem& item : items) {
        if (item.IsSeparator()) out += indent + "-\n";
        else out += indent + std::string(item.text) + "\t" + std::to_string(item.command) + "\n";
        if (item.IsPopup()) DumpItems(item.popup, indent + "  ", out);
    }
}

// Every menu, toolbar and title bar with its items and commands, as a golden file.
TEST(MenuTable, MenusAsStored) {
    std::string dump;
    for (unsigned id = 0; id <= 0xFFFF; ++id) {
        if (const std::vector<MenuItem>* menu = LoadMenu(id)) {
            dump += "menu " + std::to_string(id) + "\n";
            DumpItems(*menu, "  ", dump);
        }
    }
    ExpectGolden("viewer/menus.txt", dump);
}

TEST(MenuTable, TextsComeWithoutMnemonicsAndMissingOnesAreEmpty) {
    EXPECT_EQ(MenuText(res::kMainMenu, cmd::kAppExit), "Exit");
    EXPECT_EQ(MenuText(res::kTrayMenu, cmd::kShutdown), "Shutdown Tarvell");
    EXPECT_EQ(MenuText(res::kTitleMenu, cmd::kSummary), "");
    EXPECT_EQ(MenuText(999, cmd::kSummary), "");
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

}  // namespace
}  // namespace tarvell
