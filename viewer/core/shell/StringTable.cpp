#include "viewer/core/shell/StringTable.h"

#include <algorithm>
#include <array>
#include <utility>

namespace tarvell {

namespace {
// Sorted by id for the binary search below.
constexpr std::array<std::pair<unsigned, std::string_view>, 37> kStrings{{
    {str::kAppTitle, "Quenmark Tarvell"},
    {str::kRunningNormally, "Running Normally"},
    {str::kRunningSilently, "Running Silently"},
    {str::kServiceStopped, "Stopped"},
    {str::kServiceUnavailable, "Unavailable"},
    {str::kNotConnected, "Not Connected"},
    {str::kDetectionLevelTitle, "Detection Level - Devices/Nodes"},
    {str::kPreventionLevelTitle, "Prevention Level - Devices/Nodes"},
    {str::kDetectionEventsReport, "Detection events report"},
    {str::kPreventionEventsReport, "Prevention events report"},
    {str::kDetectionAlertsReport, "Detection alerts report"},
    {str::kPreventionAlertsReport, "Prevention alerts report"},
    {str::kGuestAccount, "Guest/Built-in account for guest access to the selected Tarvell server"},
    {str::kEveryone, "Everyone"},
    {str::kPermStartService, "Start Service"},
    {str::kPermStopService, "Stop Service"},
    {str::kPermDetectionMonitor, "Detection Monitor"},
    {str::kPermPreventionMonitor, "Prevention Monitor"},
    {str::kPermIntrusionDetection, "Intrusion Detection"},
    {str::kPermIntrusionPrevention, "Intrusion Prevention"},
    {str::kPermDetectionAlerts, "Detection Alerts"},
    {str::kPermProtectionAlerts, "Protection Alerts"},
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
    {str::kSettingsReloadFailed,
     "Tarvell failed reading the settings of the selected server, nothing was changed."},
    {str::kSettingsSaveFailed,
     "Tarvell failed saving the settings of the selected server, please check your access permissions."},
    {str::kDeviceOpenFailed,
     "Tarvell could not open the device \"%1\": the address is not valid or no program can open it."},
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
    {str::kCreateDocumentFailed, "Failed to create empty document."},
}};

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
