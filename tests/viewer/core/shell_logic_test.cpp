// The shell's rules without windows: Options menu, permissions, page routes, banner icon, texts.
#include <gtest/gtest.h>

#include "viewer/core/shell/ShellLogic.h"
#include "viewer/core/base/StringTable.h"

namespace tarvell {
namespace {

std::vector<CommandId> Commands(const std::vector<ShellMenuItem>& items) {
    std::vector<CommandId> out;
    for (const auto& i : items) out.push_back(i.command);
    return out;
}

const ShellMenuItem& ConnectItem(const std::vector<ShellMenuItem>& items) {
    for (const auto& i : items)
        if (i.text == "&Connect Server") return i;
    ADD_FAILURE() << "no Connect Server item";
    static ShellMenuItem none;
    return none;
}

TEST(OptionsMenu, ServiceItemFollowsTheState) {
    const ServerMap servers = {{"Local", {1, "/srv/a"}}};
    struct Case {
        int state;
        std::vector<CommandId> commands;
    } cases[] = {
        {1, {cmd::kSettings, cmd::kUpdateNow, cmd::kStopServer, 0, 0}},
        {0, {cmd::kSettings, cmd::kUpdateNow, cmd::kStartServer, 0, 0}},
        {-1, {cmd::kSettings, cmd::kUpdateNow, 0, 0}},
    };
    for (const auto& c : cases) {
        const auto menu = BuildOptionsMenu(c.state, servers);
        EXPECT_EQ(Commands(menu), c.commands) << "state " << c.state;
        // Connect Server always opens the servers, also when the service is unreachable.
        EXPECT_EQ(ConnectItem(menu).popup.size(), 1u) << "state " << c.state;
    }
}

TEST(OptionsMenu, ServersSubmenuMarksTheDefaultAndIsFoundByName) {
    const ServerMap servers = {
        {"Branch", {0, "/srv/b"}}, {"Local", {1, "/srv/a"}}, {"Annex", {0, "//annex/tarvell"}}};
    const auto menu = BuildOptionsMenu(1, servers);
    const auto& connect = ConnectItem(menu);
    ASSERT_EQ(connect.popup.size(), 3u);
    EXPECT_EQ(connect.command, 0u) << "the item opens the list instead of connecting";
    std::vector<std::string> names;
    for (const auto& s : connect.popup) {
        names.push_back(s.serverName);
        EXPECT_EQ(s.isDefault, s.serverName == "Local") << s.serverName;
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Annex", "Branch", "Local"}));
    ASSERT_NE(FindServerItem(menu, "Branch"), nullptr);
    EXPECT_EQ(FindServerItem(menu, "Branch")->text, "Branch");
    EXPECT_EQ(FindServerItem(menu, "Nowhere"), nullptr);

    const auto empty = BuildOptionsMenu(0, {});
    EXPECT_FALSE(ConnectItem(empty).enabled) << "no server: nothing to open";
}

TEST(Permissions, GreyingWithAndWithoutViewerUsers) {
    const std::string someRights =
        "Start Service;Detection Monitor;Intrusion Detection;Detection Alerts;";
    struct Case {
        CommandId command;
        bool granted;
    } cases[] = {
        {cmd::kStartServer, true},        {cmd::kStopServer, false},
        {cmd::kDetectionMonitor, true},   {cmd::kPreventionMonitor, false},
        {cmd::kIntrusionDetection, true}, {cmd::kIntrusionPrevention, false},
        {cmd::kDetectionAlerts, true},    {cmd::kPreventionAlerts, false},
        {cmd::kSettings, true},           {cmd::kUpdateNow, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CommandGranted(c.command, true, someRights), c.granted) << c.command;
        EXPECT_TRUE(CommandGranted(c.command, false, "")) << "no users: " << c.command;
    }
    // The text must be followed by ";": a permission that only begins alike grants nothing.
    EXPECT_FALSE(CommandGranted(cmd::kStopServer, true, "Stop Service"));
    EXPECT_FALSE(CommandGranted(cmd::kStopServer, true, "Stop Services;"));
    EXPECT_EQ(LoadString(str::kPermProtectionAlerts), "Protection Alerts");

    auto menu = BuildOptionsMenu(1, {{"Local", {1, "/a"}}});
    ApplyPermissions(menu, true, someRights);
    EXPECT_FALSE(FindShellItem(menu, cmd::kStopServer)->enabled);
    EXPECT_TRUE(FindShellItem(menu, cmd::kSettings)->enabled);
    auto tools = ToShellMenu((*LoadMenu(res::kMainMenu))[2].popup);
    ApplyPermissions(tools, true, someRights);
    EXPECT_TRUE(FindShellItem(tools, cmd::kDetectionMonitor)->enabled);
    EXPECT_FALSE(FindShellItem(tools, cmd::kPreventionMonitor)->enabled);
    EXPECT_FALSE(FindShellItem(tools, cmd::kPreventionAlerts)->enabled);
    auto open = ToShellMenu((*LoadMenu(res::kMainMenu))[2].popup);
    ApplyPermissions(open, false, "");
    EXPECT_TRUE(FindShellItem(open, cmd::kPreventionAlerts)->enabled);
}

TEST(Banner, ServiceClickAndStateIcon) {
    struct Case {
        int state;
        bool users;
        std::string rights;
        CommandId send;
        unsigned message;
    } cases[] = {
        {0, false, "", cmd::kStartServer, 0},
        {1, false, "", cmd::kStopServer, 0},
        {0, true, "Start Service;", cmd::kStartServer, 0},
        {0, true, "Stop Service;", 0, str::kStartFailed},
        {1, true, "Stop Service;", cmd::kStopServer, 0},
        {1, true, "Start Service;", 0, str::kStopFailed},
    };
    for (const auto& c : cases) {
        const auto click = ServiceClickAction(c.state, c.users, c.rights);
        EXPECT_EQ(click.send, c.send) << c.state << " " << c.rights;
        EXPECT_EQ(click.message, c.message) << c.state << " " << c.rights;
    }

    ServerStateIcon icon;
    EXPECT_FALSE(icon.Visible()) << "hidden until a state is known";
    EXPECT_FALSE(icon.Update(-1)) << "the same state changes nothing";
    EXPECT_TRUE(icon.Update(1));
    EXPECT_TRUE(icon.Visible());
    EXPECT_EQ(icon.Image(), 1);
    EXPECT_TRUE(icon.Update(0));
    EXPECT_EQ(icon.Image(), 0);
    EXPECT_TRUE(icon.Update(-1));
    EXPECT_FALSE(icon.Visible());
}

TEST(ViewState, EachPageCommandShowsItsSlotTitleAndBackButton) {
    struct Case {
        CommandId command;
        int slot;
        const char* title;
        const char* back;  // "" for an overview page
        CommandId backCommand;
        DropDownBar bar;
        int favorite;
    } cases[] = {
        {cmd::kSummary, 1, "Summary", "", 0, DropDownBar::None, 0},
        {cmd::kMonitor, 2, "Real-time Monitor", "", 0, DropDownBar::Monitor, 1},
        {cmd::kDetectionMonitor, 3, "Real-time Monitor", "Back to Monitor Summary", cmd::kMonitor,
         DropDownBar::None, 1},
        {cmd::kPreventionMonitor, 3, "Real-time Monitor", "Back to Monitor Summary", cmd::kMonitor,
         DropDownBar::None, 1},
        {cmd::kProtect, 4, "Real-time Protection", "", 0, DropDownBar::Protect, 2},
        {cmd::kIntrusionDetection, 5, "Real-time Protection", "Back to Protect Summary",
         cmd::kProtect, DropDownBar::None, 2},
        {cmd::kIntrusionPrevention, 5, "Real-time Protection", "Back to Protect Summary",
         cmd::kProtect, DropDownBar::None, 2},
        {cmd::kAlerts, 6, "Real-time Alerts", "", 0, DropDownBar::Alerts, 3},
        {cmd::kDetectionAlerts, 7, "Real-time Alerts", "Back to Alerts Summary", cmd::kAlerts,
         DropDownBar::None, 3},
        {cmd::kPreventionAlerts, 7, "Real-time Alerts", "Back to Alerts Summary", cmd::kAlerts,
         DropDownBar::None, 3},
        {cmd::kSettings, 8, "Settings", "", 0, DropDownBar::None, 4},
    };
    ASSERT_EQ(PageCommands().size(), std::size(cases));
    ViewState view;
    EXPECT_EQ(view.VisibleSlot(), 0);
    for (const auto& c : cases) {
        ASSERT_TRUE(view.Apply(c.command)) << c.command;
        EXPECT_EQ(view.VisibleSlot(), c.slot) << c.command;
        EXPECT_EQ(view.Title(), c.title) << c.command;
        EXPECT_EQ(view.BackShown(), *c.back != '\0') << c.command;
        EXPECT_EQ(view.BackText(), c.back) << c.command;
        EXPECT_EQ(view.BackCommand(), c.backCommand) << c.command;
        EXPECT_EQ(view.DropDown(), c.bar) << c.command;
        EXPECT_EQ(view.FavoriteIndex(), c.favorite) << c.command;
        if (*c.back) {
            EXPECT_EQ(view.ModeOf(c.slot), c.command);
        }
        EXPECT_EQ(view.RefreshOnUpdate(), c.slot != 8) << c.command;
    }
    const auto slotBefore = view.VisibleSlot();
    EXPECT_FALSE(view.Apply(cmd::kUpdateNow));
    EXPECT_EQ(view.VisibleSlot(), slotBefore);
    EXPECT_EQ(DropDownCommands(DropDownBar::Protect),
              (std::array<CommandId, 2>{cmd::kIntrusionDetection, cmd::kIntrusionPrevention}));
}

TEST(ShellTexts, CaptionTipHelpPathAndAutoRun) {
    EXPECT_EQ(FrameCaption("Not Connected"), "Quenmark Tarvell - Not Connected");
    EXPECT_EQ(TrayTip("Local"), "Tarvell - Local");
    const std::string longName(200, 'x');
    EXPECT_EQ(TrayTip(longName).size(), kMaxTrayTip);
    // A two-byte character across the limit is dropped whole.
    const std::string umlauts = std::string(116, 'a') + "\xC3\xA4";  // 10 + 116 + 2 = 128 bytes
    EXPECT_EQ(TrayTip(umlauts), "Tarvell - " + std::string(116, 'a'));

    struct Case {
        const char* program;
        const char* help;
    } cases[] = {
        {"/opt/tarvell/Tarvell", "/opt/tarvell/Tarvell.help/Welcome.htm"},
        {"/opt/tarvell.v3/Tarvell", "/opt/tarvell.v3/Tarvell.help/Welcome.htm"},
        {"/opt/tarvell.v3/Tarvell.bin", "/opt/tarvell.v3/Tarvell.help/Welcome.htm"},
        {"/home/u/.local/bin/.Tarvell", "/home/u/.local/bin/.Tarvell.help/Welcome.htm"},
        {"Tarvell", "Tarvell.help/Welcome.htm"},
    };
    for (const auto& c : cases) EXPECT_EQ(HelpFilePath(c.program), c.help) << c.program;

    EXPECT_TRUE(IsAutoRun({"/autoRun"}));
    EXPECT_TRUE(IsAutoRun({"-x", "--autoRunNow"}));
    EXPECT_FALSE(IsAutoRun({"/autorun"}));
    EXPECT_FALSE(IsAutoRun({}));
}

TEST(ShellLogic, OnlyAWellFormedListOfPageCommandsOpensPages) {
    const std::vector<std::pair<std::string_view, std::vector<CommandId>>> cases = {
        {"32797,32793", {cmd::kDetectionAlerts, cmd::kDetectionMonitor}},
        {"32788", {cmd::kSummary}},
        {"", {}},
        {"32793,", {}},
        {",32793", {}},
        {"32793,,32797", {}},
        {" 32793", {}},
        {"32793x", {}},
        {"327930", {}},
        {"4294967297", {}},   // would wrap to 1
        {"32793,32801", {}},  // the service's start or stop is not a page
        {"32788,32788,32788,32788,32788,32788,32788,32788,32788", {}},  // more than eight
    };
    for (const auto& [text, pages] : cases) EXPECT_EQ(ParseOpenPages(text), pages) << text;
}

}  // namespace
}  // namespace tarvell
