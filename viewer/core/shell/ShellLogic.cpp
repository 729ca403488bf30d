#include "viewer/core/shell/ShellLogic.h"

#include <algorithm>

#include "viewer/core/base/StringTable.h"

namespace tarvell {

// ---------------------------------------------------------------- menus

std::vector<ShellMenuItem> ToShellMenu(const std::vector<MenuItem>& items) {
    std::vector<ShellMenuItem> out;
    out.reserve(items.size());
    for (const MenuItem& item : items) {
        ShellMenuItem s;
        s.text = std::string(item.text);
        s.command = item.command;
        s.popup = ToShellMenu(item.popup);
        out.push_back(std::move(s));
    }
    return out;
}

std::vector<ShellMenuItem> BuildOptionsMenu(int state, const ServerMap& servers) {
    const auto* main = LoadMenu(res::kMainMenu);
    if (!main || main->size() < 2) return {};
    std::vector<ShellMenuItem> items = ToShellMenu((*main)[1].popup);
    std::erase_if(items, [state](const ShellMenuItem& i) {
        return (i.command == cmd::kStopServer && state != 1) ||
               (i.command == cmd::kStartServer && state != 0);
    });
    for (ShellMenuItem& item : items) {
        if (item.command != cmd::kConnectServer) continue;
        // The item keeps its text and opens the list of servers instead.
        item.command = 0;
        item.popup.clear();
        for (const auto& [name, server] : servers) {
            ShellMenuItem s;
            s.text = name;
            s.serverName = name;
            s.isDefault = server.IsDefault == 1;
            item.popup.push_back(std::move(s));
        }
        if (item.popup.empty()) item.enabled = false;
    }
    return items;
}

const ShellMenuItem* FindShellItem(const std::vector<ShellMenuItem>& items, CommandId command) {
    for (const auto& item : items) {
        if (item.command == command && command != 0) return &item;
        if (const auto* found = FindShellItem(item.popup, command)) return found;
    }
    return nullptr;
}

const ShellMenuItem* FindServerItem(const std::vector<ShellMenuItem>& items,
                                    std::string_view name) {
    for (const auto& item : items) {
        if (!item.serverName.empty() && item.serverName == name) return &item;
        if (const auto* found = FindServerItem(item.popup, name)) return found;
    }
    return nullptr;
}

// ---------------------------------------------------------------- permissions

const std::vector<PermissionRule>& PermissionRules() {
    static const std::vector<PermissionRule> rules = {
        {cmd::kStartServer, str::kPermStartService},
        {cmd::kStopServer, str::kPermStopService},
        {cmd::kDetectionMonitor, str::kPermDetectionMonitor},
        {cmd::kPreventionMonitor, str::kPermPreventionMonitor},
        {cmd::kIntrusionDetection, str::kPermIntrusionDetection},
        {cmd::kIntrusionPrevention, str::kPermIntrusionPrevention},
        {cmd::kDetectionAlerts, str::kPermDetectionAlerts},
        {cmd::kPreventionAlerts, str::kPermProtectionAlerts},
    };
    return rules;
}

bool CommandGranted(CommandId command, bool hasViewerUsers, std::string_view permissions) {
    if (!hasViewerUsers) return true;
    for (const auto& rule : PermissionRules()) {
        if (rule.command != command) continue;
        const std::string needed = std::string(LoadString(rule.stringId)) + ";";
        return permissions.find(needed) != std::string_view::npos;
    }
    return true;
}

void ApplyPermissions(std::vector<ShellMenuItem>& items, bool hasViewerUsers,
                      std::string_view permissions) {
    for (auto& item : items) {
        if (item.command != 0 && !CommandGranted(item.command, hasViewerUsers, permissions))
            item.enabled = false;
        ApplyPermissions(item.popup, hasViewerUsers, permissions);
    }
}

// ---------------------------------------------------------------- banner

ServiceClick ServiceClickAction(int state, bool hasViewerUsers, std::string_view permissions) {
    const CommandId command = state == 0 ? cmd::kStartServer : cmd::kStopServer;
    if (CommandGranted(command, hasViewerUsers, permissions)) return {command, 0};
    return {0, state == 0 ? str::kStartFailed : str::kStopFailed};
}

bool ServerStateIcon::Update(int state) {
    if (state == state_) return false;
    state_ = state;
    return true;
}

// ---------------------------------------------------------------- main view

namespace {

const std::vector<PageRoute>& Routes() {
    using D = DropDownBar;
    using S = PageSlot;
    static const std::vector<PageRoute> routes = {
        {cmd::kSummary, SlotNumber(S::Summary), false, 0, cmd::kTitleSummary, D::None, 0, 0},
        {cmd::kMonitor, SlotNumber(S::MonitorOverview), false, 1, cmd::kTitleMonitor, D::Monitor, 0,
         0},
        {cmd::kDetectionMonitor, SlotNumber(S::Monitor), true, 1, cmd::kTitleMonitor, D::None,
         cmd::kMonitor, cmd::kBackToMonitor},
        {cmd::kPreventionMonitor, SlotNumber(S::Monitor), true, 1, cmd::kTitleMonitor, D::None,
         cmd::kMonitor, cmd::kBackToMonitor},
        {cmd::kProtect, SlotNumber(S::ProtectionOverview), false, 2, cmd::kTitleProtect, D::Protect,
         0, 0},
        {cmd::kIntrusionDetection, SlotNumber(S::Protection), true, 2, cmd::kTitleProtect, D::None,
         cmd::kProtect, cmd::kBackToProtect},
        {cmd::kIntrusionPrevention, SlotNumber(S::Protection), true, 2, cmd::kTitleProtect, D::None,
         cmd::kProtect, cmd::kBackToProtect},
        {cmd::kAlerts, SlotNumber(S::AlertOverview), false, 3, cmd::kTitleAlerts, D::Alerts, 0, 0},
        {cmd::kDetectionAlerts, SlotNumber(S::Alerts), true, 3, cmd::kTitleAlerts, D::None,
         cmd::kAlerts, cmd::kBackToAlerts},
        {cmd::kPreventionAlerts, SlotNumber(S::Alerts), true, 3, cmd::kTitleAlerts, D::None,
         cmd::kAlerts, cmd::kBackToAlerts},
        {cmd::kSettings, SlotNumber(S::Settings), false, 4, cmd::kTitleSettings, D::None, 0, 0},
    };
    return routes;
}

}  // namespace

std::optional<PageRoute> RouteOf(CommandId command) {
    for (const auto& r : Routes())
        if (r.command == command) return r;
    return std::nullopt;
}

const std::vector<CommandId>& PageCommands() {
    static const std::vector<CommandId> commands = [] {
        std::vector<CommandId> c;
        for (const auto& r : Routes()) c.push_back(r.command);
        return c;
    }();
    return commands;
}

std::array<CommandId, 2> DropDownCommands(DropDownBar bar) {
    switch (bar) {
        case DropDownBar::Monitor: return {cmd::kDetectionMonitor, cmd::kPreventionMonitor};
        case DropDownBar::Protect: return {cmd::kIntrusionDetection, cmd::kIntrusionPrevention};
        case DropDownBar::Alerts: return {cmd::kDetectionAlerts, cmd::kPreventionAlerts};
        case DropDownBar::None: break;
    }
    return {0, 0};
}

bool ViewState::Apply(CommandId command) {
    const auto route = RouteOf(command);
    if (!route) return false;
    favoriteIndex_ = route->favoriteIndex;
    titleCommand_ = route->titleCommand;
    if (route->inner) {
        // The family's header stays; the back button replaces the drop-down toolbar.
        backShown_ = true;
        backCommand_ = route->backCommand;
        backText_ = route->backText;
        dropDown_ = DropDownBar::None;
        modes_[static_cast<std::size_t>(route->slot)] = command;
    } else {
        backShown_ = false;
        backCommand_ = 0;
        backText_ = 0;
        dropDown_ = route->dropDown;
    }
    visibleSlot_ = route->slot;
    return true;
}

CommandId ViewState::ModeOf(int slot) const {
    if (slot < 1 || slot > kPageSlots) return 0;
    return modes_[static_cast<std::size_t>(slot)];
}

std::string ViewState::Title() const { return MenuText(res::kTitleMenu, titleCommand_); }
std::string ViewState::BackText() const {
    return backShown_ ? MenuText(res::kBackMenu, backText_) : std::string();
}

// ---------------------------------------------------------------- texts

std::string FrameCaption(std::string_view documentTitle) {
    return std::string(LoadString(str::kAppTitle)) + " - " + std::string(documentTitle);
}

std::string TrayTip(std::string_view documentTitle) {
    std::string tip = "Tarvell - " + std::string(documentTitle);
    if (tip.size() <= kMaxTrayTip) return tip;
    std::size_t cut = kMaxTrayTip;
    // Back to the first byte of a character.
    while (cut > 0 && (static_cast<unsigned char>(tip[cut]) & 0xC0) == 0x80) --cut;
    tip.resize(cut);
    return tip;
}

std::string HelpFilePath(std::string_view programPath) {
    const std::size_t slash = programPath.find_last_of('/');
    const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    std::size_t dot = programPath.find_last_of('.');
    // Only a dot inside the file name (not its first character) starts an extension.
    if (dot == std::string_view::npos || dot <= nameStart) dot = programPath.size();
    return std::string(programPath.substr(0, dot)) + ".help/Welcome.htm";
}

bool IsAutoRun(const std::vector<std::string>& arguments) {
    return std::any_of(arguments.begin(), arguments.end(),
                       [](const std::string& a) { return a.find("autoRun") != std::string::npos; });
}

std::vector<CommandId> ParseOpenPages(std::string_view text) {
    std::vector<CommandId> pages;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        // A page command has five digits; anything longer cannot be one.
        if (item.empty() || item.size() > 5 || pages.size() == kMostOpenPages) return {};
        CommandId id = 0;
        for (char c : item) {
            if (c < '0' || c > '9') return {};
            id = id * 10 + static_cast<CommandId>(c - '0');
        }
        if (!RouteOf(id)) return {};
        pages.push_back(id);
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
        if (text.empty()) return {};  // a trailing comma
    }
    return pages;
}

}  // namespace tarvell
