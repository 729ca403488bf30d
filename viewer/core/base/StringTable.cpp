#include "viewer/core/base/StringTable.h"

#include <algorithm>
#include <array>
#include <utility>

namespace tarvell {

namespace {
// Sorted by id for the binary search below.
constexpr auto kStrings = std::to_array<std::pair<unsigned, std::string_view>>({
    {str::kAppTitle, "Quenmark Tarvell"},
    {str::kRunningNormally, "Running Normally"},
    {str::kRunningSilently, "Running Silently"},
    {str::kServiceStopped, "Stopped"},
    {str::kServiceUnavailable, "Unavailable"},
    {str::kNotConnected, "Not Connected"},
    {str::kDetectionLevelTitle, "Detection Level - Devices/Nodes"},
    {str::kPreventionLevelTitle, "Prevention Level - Devices/Nodes"},
    {str::kWaitingForActivation, "Waiting for activation..."},
    {str::kDetectionEventsReport, "Detection events report"},
    {str::kPreventionEventsReport, "Prevention events report"},
    {str::kSelectNodeFile, "Select file (use single MAC or IP in each row):"},
    {str::kDetectionAlertsReport, "Detection alerts report"},
    {str::kPreventionAlertsReport, "Prevention alerts report"},
    {str::kGuestAccount, "Guest/Built-in account for guest access to the selected Tarvell server"},
    {str::kEveryone, "Everyone"},
    {str::kPermServiceGroup, "Service Permissions"},
    {str::kPermStartService, "Start Service"},
    {str::kPermStopService, "Stop Service"},
    {str::kPermMonitorGroup, "Monitor Permissions"},
    {str::kPermDetectionMonitor, "Detection Monitor"},
    {str::kPermDetectionBlock, "Detection Block"},
    {str::kPermDetectionDetails, "Detection Details"},
    {str::kPermDetectionInformation, "Detection Information"},
    {str::kPermDetectionRemove, "Detection Remove"},
    {str::kPermDetectionAbout, "Detection About"},
    {str::kPermPreventionMonitor, "Prevention Monitor"},
    {str::kPermPreventionUnblock, "Prevention Unblock"},
    {str::kPermPreventionDetails, "Prevention Details"},
    {str::kPermPreventionInformation, "Prevention Information"},
    {str::kPermPreventionAbout, "Prevention About"},
    {str::kPermProtectionGroup, "Protection Permissions"},
    {str::kPermIntrusionDetection, "Intrusion Detection"},
    {str::kPermIntrusionPrevention, "Intrusion Prevention"},
    {str::kPermAlertsGroup, "Alerts Permissions"},
    {str::kPermDetectionAlerts, "Detection Alerts"},
    {str::kPermProtectionAlerts, "Protection Alerts"},
    {str::kPermSettingsGroup, "Settings Permissions"},
    {str::kPermAccessSettings, "Access Settings"},
    {str::kPermSnmpSettings, "Snmp Settings"},
    {str::kPermDevicesSettings, "Devices Settings"},
    {str::kPermNodesSettings, "Nodes Settings"},
    {str::kPermAlertsSettings, "Alerts Settings"},
    {str::kSnmpCommunitiesSheet, "SNMP Communities"},
    {str::kSnmpV3Sheet, "SNMPv3 Options"},
    {str::kReadOnly, "READ ONLY"},
    {str::kReadWrite, "READ WRITE"},
    {str::kWriteOnly, "WRITE ONLY"},
    {str::kConnectFailed,
     "Tarvell failed connecting selected server, please check your access permissions."},
    {str::kStartFailed,
     "Tarvell failed starting selected server, please check your access permissions."},
    {str::kStopFailed,
     "Tarvell failed stopping selected server, please check your access permissions."},
    {str::kAskStopService,
     "Are you sure you want to stop Tarvell? By clicking 'Yes' you will be shutting down "
     "real-time network intrusion detection and prevention."},
    {str::kTakeMeTo, "Take Me To:"},
    {str::kNoPreventionMethod,
     "No prevention methods enabled, please enable snmp or script preventions and try again."},
    {str::kAskBlockEvents, "Are you sure you would like to block the selected events?"},
    {str::kAskRemoveEvents, "Are you sure you would like to remove the selected events?"},
    {str::kSettingsInvalid, "Your settings are invalid, please set required information."},
    {str::kItemExists, "Item already exist, please try again."},
    {str::kLogonInvalid, "Logon information is invalid, please try again."},
    {str::kServiceAccountIsSystem,
     "Tarvell service is using the root account\nPlease set the User= account of its service unit "
     "to use the service's logon account."},
    {str::kLogonRequired,
     "Logon account is required for accessing remote computers\nPlease use the 'Logon...' button "
     "to set account details."},
    {str::kEmailRequired,
     "Email settings are required for unblocking mail option\nPlease use 'Options >> Settings >> "
     "Alerts'\nto set email information.\n\nWould you like to set the required information now?"},
    {str::kWriteCommunityRequired,
     "Snmp settings of SnmpV1/V3 write community is required\nPlease use 'Options >> Settings >> "
     "Snmp'\nto set snmp information.\n\nWould you like to set the required information now?"},
    {str::kIncorrectPassword, "Incorrect password, please try again."},
    {str::kSettingsReloadFailed,
     "Tarvell failed reading the settings of the selected server, nothing was changed."},
    {str::kSettingsSaveFailed,
     "Tarvell failed saving the settings of the selected server, please check your access "
     "permissions."},
    {str::kDeviceOpenFailed,
     "Tarvell could not open the device \"%1\": the address is not valid or no program can open "
     "it."},
    {str::kConnectFilesUnreadable,
     "Tarvell failed connecting server %1: its settings file %2 could not be read, please check "
     "your access permissions."},
    {str::kFilesUnreadable,
     "Tarvell could not read the file %1 of the selected server: it is damaged or not readable, "
     "so the events and alerts shown may be missing."},
    {str::kHandOverRefused,
     "The service of the selected server has not taken over the settings saved by Tarvell, please "
     "check the permissions of its handover folder."},
    {str::kFilesUnreadableState, "Files Unreadable (%1)"},
    {str::kHandOverRefusedState, "Settings Not Taken Over"},
    {str::kConnectFolderMissing,
     "Tarvell failed connecting server %1: its folder %2 does not exist."},
    {str::kArchiveWriteFailed,
     "Tarvell failed saving the alerts archive, please check the folder's permissions."},
    {str::kNeedOneServer, "At least one server should be configured, please set a default server."},
    {str::kSettingsSaved, "Your settings have been saved."},
    {str::kTextNotStorable,
     "The text holds characters that Tarvell cannot store, please use Western European characters "
     "only."},
    {str::kPopupSoundTooLong, "The sound file path is too long, please choose a shorter path."},
    {str::kServerNameTaken,
     "Another server already has this name, please choose a different name."},
    {str::kAutostartFailed,
     "Tarvell failed setting the viewer to start automatically, please check your access "
     "permissions."},
    {str::kMacEntryInvalid,
     "A MAC address is 12 hexadecimal digits (use * for any digit), please try again."},
    {str::kMaskInvalid,
     "The mask is not a network mask (ones followed by zeros, such as 255.255.0.0), please try "
     "again."},
    {str::kEngineIdInvalid,
     "The Context Engine ID must be pairs of hexadecimal digits (up to 32 bytes; \"0x\", blanks "
     "and \":\" may be used), please try again."},
    {str::kUserEmpty, "User is empty, please try again."},
    {str::kUserInvalid,
     "User is invalid, name may not consist entirely of periods and/or spaces, or contain these "
     "characters: \\/\"\"[]:|<>+=;,?*@"},
    {str::kComputerInvalid, "The specified computer is invalid, please try again."},
    {str::kUserExists, "User already exist, please try again."},
    {str::kAccessHolderNeeded,
     "At list one user with access settings permission should be exist, please try again."},
    {str::kExportOpenFailed, "Failed open database, please check your settings and try again."},
    {str::kExportVerifyFailed, "Failed verify database, please check your settings and try again."},
    {str::kExportSourceFailed,
     "Tarvell failed writing the data source, please check the driver and your access "
     "permissions."},
    {str::kApplyBeforeTest,
     "Current settings not applied, please click the apply button and try again."},
    {str::kTestSent, "Test was sent successfully."},
    {str::kTestFailed, "Test failed, please check your access permissions."},
    {str::kTestNotTakenOver,
     "The service has not taken over the applied settings yet, please try again in a moment."},
    {str::kTargetHasBar, "The character \"|\" cannot be used here, please remove it."},
    {str::kFilterHasSeparator,
     "The characters \";\" and \"|\" cannot be used in a filter value, please remove them."},
    {str::kEnterpriseIdInvalid,
     "The enterprise id should be a dotted object id such as 1.3.6.1.4.1.99999, please try "
     "again."},
    {str::kSmtpPortInvalid, "The SMTP port must be a number from 1 to 65535, please try again."},
    {str::kCommandInvalid, "The specified command is invalid, please try again."},
    {str::kCommandSeparator,
     "The command name and its properties cannot hold \";\" or \"|\", please try again."},
    {str::kCreateDocumentFailed, "Failed to create empty document."},
});

constexpr bool IsSorted() {
    for (std::size_t i = 1; i < kStrings.size(); ++i)
        if (kStrings[i - 1].first >= kStrings[i].first) return false;
    return true;
}
static_assert(IsSorted(), "the string table must stay sorted by id");
}  // namespace

std::string_view LoadString(unsigned id) {
    const auto it = std::lower_bound(kStrings.begin(), kStrings.end(), id,
                                     [](const auto& e, unsigned v) { return e.first < v; });
    return it != kStrings.end() && it->first == id ? it->second : std::string_view{};
}

}  // namespace tarvell
