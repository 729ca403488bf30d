// The viewer's command ids. A menu item, toolbar button or link carries one of these; the
// command router (CommandRouter.h) takes it to the frame, the view or the page that answers it.
// The numbers are those the viewer's menus and settings have always used, so they are kept.
#pragma once

namespace tarvell {

using CommandId = unsigned;

namespace cmd {
// Pages of the main view.
inline constexpr CommandId kSummary = 32788;
inline constexpr CommandId kMonitor = 32774;
inline constexpr CommandId kDetectionMonitor = 32793;
inline constexpr CommandId kPreventionMonitor = 32794;
inline constexpr CommandId kProtect = 32775;
inline constexpr CommandId kIntrusionDetection = 32795;
inline constexpr CommandId kIntrusionPrevention = 32796;
inline constexpr CommandId kAlerts = 32776;
inline constexpr CommandId kDetectionAlerts = 32797;
inline constexpr CommandId kPreventionAlerts = 32798;
inline constexpr CommandId kSettings = 32777;
inline constexpr CommandId kUpdateNow = 32789;
inline constexpr CommandId kHelp = 32786;
// Frame commands.
inline constexpr CommandId kStartServer = 32790;
inline constexpr CommandId kStopServer = 32791;
inline constexpr CommandId kConnectServer = 32792;
inline constexpr CommandId kOpen = 32799;
inline constexpr CommandId kShutdown = 32800;
inline constexpr CommandId kService = 32801;
// Drop-down buttons of the banner's text toolbar.
inline constexpr CommandId kFileMenu = 32778;
inline constexpr CommandId kOptionsMenu = 32779;
inline constexpr CommandId kToolsMenu = 32780;
inline constexpr CommandId kHelpMenu = 57670;
// Items of the header title menu and of the back menu (texts only, never sent).
inline constexpr CommandId kTitleSummary = 32781;
inline constexpr CommandId kTitleMonitor = 32782;
inline constexpr CommandId kTitleProtect = 32783;
inline constexpr CommandId kTitleAlerts = 32784;
inline constexpr CommandId kTitleSettings = 32785;
inline constexpr CommandId kBackToMonitor = 32771;
inline constexpr CommandId kBackToProtect = 32772;
inline constexpr CommandId kBackToAlerts = 32773;
// The settings window's categories and its Save button.
inline constexpr CommandId kSettingsLocal = 32823;
inline constexpr CommandId kSettingsAccess = 32824;
inline constexpr CommandId kSettingsSnmp = 32825;
inline constexpr CommandId kSettingsDevices = 32826;
inline constexpr CommandId kSettingsNodes = 32827;
inline constexpr CommandId kSettingsAlerts = 32828;
inline constexpr CommandId kSettingsSave = 32829;
// The servers list's menu (besides Connect Server).
inline constexpr CommandId kServerDelete = 32830;
inline constexpr CommandId kServerRename = 32831;
inline constexpr CommandId kServerDefault = 32832;
// The application's own commands.
inline constexpr CommandId kAppExit = 57665;
inline constexpr CommandId kAppAbout = 57664;
// The detection monitor's type filters, one per event type it can show.
inline constexpr CommandId kFilterUnauthorizedNode = 32845;
inline constexpr CommandId kFilterBlacklistNode = 32847;
inline constexpr CommandId kFilterNodesCount = 32846;
inline constexpr CommandId kFilterNewMac = 32804;
inline constexpr CommandId kFilterNewIp = 32805;
inline constexpr CommandId kFilterNewName = 32806;
inline constexpr CommandId kFilterNewUser = 32807;
inline constexpr CommandId kFilterChangedIp = 32809;
inline constexpr CommandId kFilterChangedName = 32810;
inline constexpr CommandId kFilterChangedUser = 32811;
inline constexpr CommandId kFilterChangedPort = 32812;
inline constexpr CommandId kFilterThreatReceive = 32813;
inline constexpr CommandId kFilterThreatTransmit = 32814;
inline constexpr CommandId kFilterThreatBroadcast = 32842;
inline constexpr CommandId kFilterThreatErrors = 32815;
inline constexpr CommandId kFilterWmiNotResponding = 32838;
inline constexpr CommandId kFilterWmiOperatingSystem = 32818;
inline constexpr CommandId kFilterWmiServicePack = 32819;
inline constexpr CommandId kFilterWmiComputerDomain = 32844;
inline constexpr CommandId kFilterWmiHotFix = 32820;
inline constexpr CommandId kFilterWmiServiceName = 32821;
inline constexpr CommandId kFilterWmiProcessName = 32837;
inline constexpr CommandId kFilterWmiProgramName = 32822;
inline constexpr CommandId kFilterWmiRegistryString = 32835;
inline constexpr CommandId kFilterWmiRegistryDword = 32836;
inline constexpr CommandId kFilterLinkupScript = 32817;
// A toolbar button with command 0 is a divider; command 1 a disabled spacer.
inline constexpr CommandId kDivider = 0;
inline constexpr CommandId kSpacer = 1;
// The monitors' filters that no event type names.
inline constexpr CommandId kAllEvents = 32802;       // either screen: no filter
inline constexpr CommandId kManualBlocking = 32839;  // prevention: a requester or a submitter
inline constexpr CommandId kSystemBlocking = 32840;  // prevention: neither
inline constexpr CommandId kVulnerablePorts = 32816;
inline constexpr CommandId kRemovableDisks = 32843;
}  // namespace cmd

// Resource numbers of the menus, images and title strings the viewer names.
namespace res {
inline constexpr unsigned kMainMenu = 128;  // File, Options, Tools, Help popups
inline constexpr unsigned kBackMenu = 133;
inline constexpr unsigned kFavoritesMenu = 134;
inline constexpr unsigned kMainMenuTexts = 135;  // the banner's text toolbar
inline constexpr unsigned kTitleMenu = 136;      // the main view's header titles
inline constexpr unsigned kTrayMenu = 139;
inline constexpr unsigned kMainToolbar = 140;   // the banner's icon toolbar
inline constexpr unsigned kSettingsMenu = 160;  // the settings window's categories
inline constexpr unsigned kServersMenu = 161;   // a row of the Local panel's servers list
inline constexpr unsigned kDetectionFilterMenu = 188;
inline constexpr unsigned kPreventionFilterMenu = 189;

inline constexpr unsigned kAppIcon = 128;        // 32 x 32, also the tray icon
inline constexpr unsigned kToolbarNormal = 137;  // 40 x 40: Summary .. Settings
inline constexpr unsigned kToolbarHot = 138;     // 40 x 40, also the header icons
inline constexpr unsigned kServiceState = 141;   // 51 x 20: 0 not running, 1 running
inline constexpr unsigned kBackButton = 142;     // 42 x 33
inline constexpr unsigned kFavorites = 146;      // 24 x 24: Monitor, Protect, Alerts, Settings
inline constexpr unsigned kEventRows = 220;      // 16 x 16: detection/prevention, with a note
}  // namespace res

}  // namespace tarvell
