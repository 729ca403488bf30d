#include "viewer/core/shell/MenuTable.h"

#include <map>

#include "viewer/core/base/CommandIds.h"

namespace tarvell {

namespace {

MenuItem Item(std::string_view text, CommandId command) { return MenuItem{text, command, {}}; }
MenuItem Popup(std::string_view text, std::vector<MenuItem> items) {
    return MenuItem{text, 0, std::move(items)};
}
MenuItem Separator() { return MenuItem{}; }

std::map<unsigned, std::vector<MenuItem>> BuildMenus() {
    std::map<unsigned, std::vector<MenuItem>> m;
    // The banner's drop-down menus, one popup per button of the text toolbar. In Options the
    // service item stands at position 2 (Start Server or Stop Server, whichever stays), and in
    // each Tools submenu the detection screen comes first and the prevention screen second: the
    // permission checks of the frame find the items at these positions.
    m[res::kMainMenu] = {
        Popup("&File", {Item("E&xit", cmd::kAppExit)}),
        Popup("&Options",
              {Item("&Settings", cmd::kSettings), Item("&Update Now", cmd::kUpdateNow),
               Item("S&tart Server", cmd::kStartServer), Item("St&op Server", cmd::kStopServer),
               Separator(), Item("&Connect Server", cmd::kConnectServer)}),
        Popup("&Tools",
              {Popup("&Summary", {Item("&Summary", cmd::kSummary)}),
               Popup("Real-time &Monitor", {Item("&Detection Monitor", cmd::kDetectionMonitor),
                                            Item("&Prevention Monitor", cmd::kPreventionMonitor),
                                            Separator(), Item("&Monitor Summary", cmd::kMonitor)}),
               Popup("Real-time &Protection",
                     {Item("Intrusion &Detection", cmd::kIntrusionDetection),
                      Item("Intrusion &Prevention", cmd::kIntrusionPrevention), Separator(),
                      Item("Protect &Summary", cmd::kProtect)}),
               Popup("Real-time &Alerts", {Item("&Detection Alerts", cmd::kDetectionAlerts),
                                           Item("&Prevention Alerts", cmd::kPreventionAlerts),
                                           Separator(), Item("Alerts &Summary", cmd::kAlerts)})}),
        Popup("&Help", {Item("&Help Topics", cmd::kHelp), Separator(),
                        Item("&About Tarvell...", cmd::kAppAbout)}),
    };
    m[res::kBackMenu] = {Item("Back to Monitor Summary", cmd::kBackToMonitor),
                         Item("Back to Protect Summary", cmd::kBackToProtect),
                         Item("Back to Alerts Summary", cmd::kBackToAlerts)};
    m[res::kFavoritesMenu] = {
        Item("Monitor Scanner", cmd::kMonitor), Item("Protection Scanner", cmd::kProtect),
        Item("Alerts Scanner", cmd::kAlerts), Item("Tarvell Definitions", cmd::kSettings)};
    m[res::kMainMenuTexts] = {Item("File", cmd::kFileMenu), Item("Options", cmd::kOptionsMenu),
                              Item("Tools", cmd::kToolsMenu), Item("Help", cmd::kHelpMenu)};
    m[res::kTitleMenu] = {
        Item("Summary", cmd::kTitleSummary), Item("Real-time Monitor", cmd::kTitleMonitor),
        Item("Real-time Protection", cmd::kTitleProtect),
        Item("Real-time Alerts", cmd::kTitleAlerts), Item("Settings", cmd::kTitleSettings)};
    m[res::kTrayMenu] = {Popup("Tray Menu", {Item("&Open Tarvell", cmd::kOpen), Separator(),
                                             Item("&Shutdown Tarvell", cmd::kShutdown)})};
    m[res::kMainToolbar] = {Item("Monitor", cmd::kMonitor), Item("Protect", cmd::kProtect),
                            Item("Alerts", cmd::kAlerts), Item("Service", cmd::kService)};
    m[res::kSettingsMenu] = {Popup(
        "Settings", {Item("&Local", cmd::kSettingsLocal), Item("&Access", cmd::kSettingsAccess),
                     Item("&Snmp", cmd::kSettingsSnmp), Item("&Devices", cmd::kSettingsDevices),
                     Item("&Nodes", cmd::kSettingsNodes), Item("A&lerts", cmd::kSettingsAlerts),
                     Separator(), Item("Sa&ve", cmd::kSettingsSave)})};
    m[res::kServersMenu] = {
        Popup("Servers", {Item("&Connect", cmd::kConnectServer), Separator(),
                          Item("&Delete", cmd::kServerDelete), Item("&Rename", cmd::kServerRename),
                          Separator(), Item("Set as &Default Server", cmd::kServerDefault)})};
    // The type filters of the event monitors' header panels, each one popup. The positions of
    // the detection groups (3, 4, 5 and 7, counting the separator) mark the default item.
    m[res::kDetectionFilterMenu] = {Popup(
        "Detection Filter",
        {Item("All Events", cmd::kAllEvents), Separator(),
         Popup("Unauthorized Nodes",
               {Item("Unauthorized Node", cmd::kFilterUnauthorizedNode),
                Item("Unauthorized Blacklist Node", cmd::kFilterBlacklistNode),
                Item("Unauthorized Nodes Count", cmd::kFilterNodesCount)}),
         Popup("New Nodes",
               {Item("New Mac", cmd::kFilterNewMac), Item("New IP", cmd::kFilterNewIp),
                Item("New Name", cmd::kFilterNewName), Item("New User", cmd::kFilterNewUser)}),
         Popup("Changed Nodes", {Item("Changed Ip", cmd::kFilterChangedIp),
                                 Item("Changed Name", cmd::kFilterChangedName),
                                 Item("Changed User", cmd::kFilterChangedUser),
                                 Item("Changed Port", cmd::kFilterChangedPort)}),
         Popup("Threatened Nodes", {Item("Receive Rate", cmd::kFilterThreatReceive),
                                    Item("Transmit Rate", cmd::kFilterThreatTransmit),
                                    Item("Broadcast Rate", cmd::kFilterThreatBroadcast),
                                    Item("Error Rate", cmd::kFilterThreatErrors)}),
         Item("Vulnerable Ports", cmd::kVulnerablePorts),
         Popup("Linkup WMI", {Item("Not Responding", cmd::kFilterWmiNotResponding),
                              Item("Operating System", cmd::kFilterWmiOperatingSystem),
                              Item("Computer Domain", cmd::kFilterWmiComputerDomain),
                              Item("Service Pack", cmd::kFilterWmiServicePack),
                              Item("Hot Fix", cmd::kFilterWmiHotFix),
                              Item("Service Name", cmd::kFilterWmiServiceName),
                              Item("Process Name", cmd::kFilterWmiProcessName),
                              Item("Program Name", cmd::kFilterWmiProgramName),
                              Item("Registry String", cmd::kFilterWmiRegistryString),
                              Item("Registry DWORD", cmd::kFilterWmiRegistryDword),
                              Item("Removable Disks", cmd::kRemovableDisks)}),
         Item("Linkup Script", cmd::kFilterLinkupScript)})};
    m[res::kPreventionFilterMenu] = {
        Popup("Prevention Filter", {Item("All Events", cmd::kAllEvents), Separator(),
                                    Item("Manual Blocking", cmd::kManualBlocking),
                                    Item("System Blocking", cmd::kSystemBlocking)})};
    return m;
}

const std::map<unsigned, std::vector<MenuItem>>& Menus() {
    static const auto menus = BuildMenus();
    return menus;
}

const MenuItem* FindItem(const std::vector<MenuItem>& items, CommandId command) {
    for (const MenuItem& item : items) {
        if (item.IsPopup()) {
            if (const MenuItem* found = FindItem(item.popup, command)) return found;
        } else if (!item.IsSeparator() && item.command == command) {
            return &item;
        }
    }
    return nullptr;
}

}  // namespace

const std::vector<MenuItem>* LoadMenu(unsigned id) {
    const auto& menus = Menus();
    const auto it = menus.find(id);
    return it == menus.end() ? nullptr : &it->second;
}

std::string MenuText(unsigned menuId, CommandId command) {
    const std::vector<MenuItem>* menu = LoadMenu(menuId);
    if (menu == nullptr) return {};
    const MenuItem* item = FindItem(*menu, command);
    return item == nullptr ? std::string{} : StripMnemonic(item->text);
}

std::string StripMnemonic(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&') {
            if (i + 1 < text.size() && text[i + 1] == '&') out += '&', ++i;
            continue;
        }
        out += text[i];
    }
    return out;
}

}  // namespace tarvell
