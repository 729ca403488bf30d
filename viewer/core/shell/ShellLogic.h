// The rules of the viewer's shell, apart from its windows: the Options drop-down built from the
// service state and the known servers, the commands that the viewer users' permissions grant,
// the main view's page routes (slot, header title, back button, drop-down toolbar), the
// service-state icon of the banner, and the texts of the caption, tray tip and help path.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "viewer/core/base/CommandIds.h"
#include "viewer/core/shell/PageSlots.h"
#include "viewer/core/shell/MenuTable.h"
#include "viewer/core/hub/ServerRegistry.h"

namespace tarvell {

// ---------------------------------------------------------------- menus

// A menu item built at run time. A server's item carries the server's name: a choice is
// resolved by that name, never by the item's position.
struct ShellMenuItem {
    std::string text;  // with "&" marks; empty for a separator
    CommandId command = 0;
    std::string serverName;  // items of the servers submenu
    bool isDefault = false;  // drawn bold
    bool enabled = true;
    std::vector<ShellMenuItem> popup;

    bool IsSeparator() const { return text.empty() && popup.empty(); }
};

std::vector<ShellMenuItem> ToShellMenu(const std::vector<MenuItem>& items);

// The Options drop-down for service state `state` (1, 0, -1): "Stop Server" only while running,
// "Start Server" only while stopped (neither at -1), and "Connect Server" opening one item per
// server in name order, the default server's item the default (bold) one.
std::vector<ShellMenuItem> BuildOptionsMenu(int state, const ServerMap& servers);

// The first item (depth first) with this command, or null.
const ShellMenuItem* FindShellItem(const std::vector<ShellMenuItem>& items, CommandId command);
const ShellMenuItem* FindServerItem(const std::vector<ShellMenuItem>& items, std::string_view name);

// ---------------------------------------------------------------- permissions

struct PermissionRule {
    CommandId command;
    unsigned stringId;  // the permission's text in the string table
};
// Start and stop of the service and the six detection and prevention screens.
const std::vector<PermissionRule>& PermissionRules();
// True when nothing restricts the command: no viewer users are configured, the command needs no
// permission, or the permission string holds the permission's text followed by ";".
bool CommandGranted(CommandId command, bool hasViewerUsers, std::string_view permissions);
// Disables the items whose command is not granted (submenus included).
void ApplyPermissions(std::vector<ShellMenuItem>& items, bool hasViewerUsers,
                      std::string_view permissions);

// ---------------------------------------------------------------- banner

// What a click on the service-state icon does: send a command, or show a message instead.
struct ServiceClick {
    CommandId send = 0;
    unsigned message = 0;
};
ServiceClick ServiceClickAction(int state, bool hasViewerUsers, std::string_view permissions);

// The state the icon shows; -1 (hidden) at construction.
class ServerStateIcon {
public:
    // True when the state changed (the icon and the caption are then redrawn).
    bool Update(int state);
    int State() const { return state_; }
    bool Visible() const { return state_ != -1; }
    // Image of the state list: 0 not running, 1 running.
    int Image() const { return state_ == 1 ? 1 : 0; }

private:
    int state_ = -1;
};

// ---------------------------------------------------------------- main view

inline constexpr int kHeaderHeight = 81;

enum class DropDownBar { None = 0, Monitor = 1, Protect = 2, Alerts = 3 };

struct PageRoute {
    CommandId command = 0;
    int slot = 0;                              // 1..8
    bool inner = false;                        // a detection or prevention screen (mode = command)
    int favoriteIndex = 0;                     // 0 Summary .. 4 Settings; also the header icon
    CommandId titleCommand = 0;                // item of the title menu
    DropDownBar dropDown = DropDownBar::None;  // overview pages: the toolbar shown
    CommandId backCommand = 0;                 // inner pages: the overview the back button leads to
    CommandId backText = 0;                    // inner pages: item of the back menu
};
// The route of a page command, or nullopt for another command.
std::optional<PageRoute> RouteOf(CommandId command);
// The eleven page commands in the order of the view's message map.
const std::vector<CommandId>& PageCommands();
// The two buttons of a drop-down toolbar.
std::array<CommandId, 2> DropDownCommands(DropDownBar bar);

// Which page the view shows and what goes with it in the header.
class ViewState {
public:
    // Applies a page command: false for a command that is not one.
    bool Apply(CommandId command);

    int FavoriteIndex() const { return favoriteIndex_; }
    bool BackShown() const { return backShown_; }
    CommandId TitleCommand() const { return titleCommand_; }
    DropDownBar DropDown() const { return dropDown_; }
    CommandId BackCommand() const { return backCommand_; }
    int VisibleSlot() const { return visibleSlot_; }  // 0 before the first page
    CommandId ModeOf(int slot) const;                 // 0 for a page without modes
    std::string Title() const;                        // text of the title menu item
    std::string BackText() const;

    // Update Now refreshes the visible page unless it is the settings page (slot 8).
    bool RefreshOnUpdate() const { return visibleSlot_ >= 1 && visibleSlot_ <= 7; }

private:
    int favoriteIndex_ = 0;
    bool backShown_ = false;
    CommandId titleCommand_ = cmd::kTitleSummary;
    DropDownBar dropDown_ = DropDownBar::None;
    CommandId backCommand_ = 0;
    CommandId backText_ = 0;
    int visibleSlot_ = 0;
    std::array<CommandId, kPageSlots + 1> modes_{};
};

// ---------------------------------------------------------------- texts

// "Quenmark Tarvell - <document title>".
std::string FrameCaption(std::string_view documentTitle);
// "Tarvell - <document title>", cut to 127 bytes without splitting a UTF-8 character.
std::string TrayTip(std::string_view documentTitle);
inline constexpr std::size_t kMaxTrayTip = 127;
// The program path with the extension of its file name replaced by ".help" (a dot in a folder
// name is left alone), followed by "/Welcome.htm".
std::string HelpFilePath(std::string_view programPath);
// True when any argument holds "autoRun" (case-sensitive, anywhere in the argument).
bool IsAutoRun(const std::vector<std::string>& arguments);

// The pages a benchmark or a test has the program open once its window is up (the environment
// variable TARVELL_OPEN_PAGES): page commands as decimal ids separated by commas, at most
// kMostOpenPages. Empty, and nothing opened, when the text is malformed, too long, or names
// anything but a page command.
inline constexpr std::size_t kMostOpenPages = 8;
std::vector<CommandId> ParseOpenPages(std::string_view text);

}  // namespace tarvell
