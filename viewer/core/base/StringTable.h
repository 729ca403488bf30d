// The viewer's string table: the fixed texts of titles, questions and messages by their id.
// The texts are plain ASCII, so they need no code-page conversion on the way to a widget.
#pragma once

#include <string_view>

namespace tarvell {

namespace str {
inline constexpr unsigned kAppTitle = 128;  // "Quenmark Tarvell"
inline constexpr unsigned kRunningNormally = 10001;
inline constexpr unsigned kRunningSilently = 10002;
inline constexpr unsigned kServiceStopped = 10003;
inline constexpr unsigned kServiceUnavailable = 10004;
inline constexpr unsigned kNotConnected = 10005;
inline constexpr unsigned kDetectionLevelTitle = 10006;
inline constexpr unsigned kPreventionLevelTitle = 10007;
inline constexpr unsigned kWaitingForActivation = 10039;
inline constexpr unsigned kDetectionEventsReport = 10040;
inline constexpr unsigned kPreventionEventsReport = 10041;
inline constexpr unsigned kSelectNodeFile = 10076;
inline constexpr unsigned kDetectionAlertsReport = 10122;
inline constexpr unsigned kPreventionAlertsReport = 10123;
inline constexpr unsigned kGuestAccount = 10264;
inline constexpr unsigned kEveryone = 10266;
inline constexpr unsigned kPermServiceGroup = 10269;
inline constexpr unsigned kPermStartService = 10270;
inline constexpr unsigned kPermStopService = 10271;
inline constexpr unsigned kPermMonitorGroup = 10272;
inline constexpr unsigned kPermDetectionMonitor = 10273;
inline constexpr unsigned kPermDetectionBlock = 10274;
inline constexpr unsigned kPermDetectionDetails = 10275;
inline constexpr unsigned kPermDetectionInformation = 10276;
inline constexpr unsigned kPermDetectionRemove = 10277;
inline constexpr unsigned kPermDetectionAbout = 10278;
inline constexpr unsigned kPermPreventionMonitor = 10279;
inline constexpr unsigned kPermPreventionUnblock = 10280;
inline constexpr unsigned kPermPreventionDetails = 10281;
inline constexpr unsigned kPermPreventionInformation = 10282;
inline constexpr unsigned kPermPreventionAbout = 10283;
inline constexpr unsigned kPermProtectionGroup = 10284;
inline constexpr unsigned kPermIntrusionDetection = 10285;
inline constexpr unsigned kPermIntrusionPrevention = 10286;
inline constexpr unsigned kPermAlertsGroup = 10287;
inline constexpr unsigned kPermDetectionAlerts = 10288;
inline constexpr unsigned kPermProtectionAlerts = 10289;
inline constexpr unsigned kPermSettingsGroup = 10290;
inline constexpr unsigned kPermAccessSettings = 10291;
inline constexpr unsigned kPermSnmpSettings = 10292;
inline constexpr unsigned kPermDevicesSettings = 10293;
inline constexpr unsigned kPermNodesSettings = 10294;
inline constexpr unsigned kPermAlertsSettings = 10295;
inline constexpr unsigned kSnmpCommunitiesSheet = 10303;
inline constexpr unsigned kSnmpV3Sheet = 10304;
inline constexpr unsigned kReadOnly = 10309;
inline constexpr unsigned kReadWrite = 10310;
inline constexpr unsigned kWriteOnly = 10311;
inline constexpr unsigned kConnectFailed = 20000;
inline constexpr unsigned kStartFailed = 20001;
inline constexpr unsigned kStopFailed = 20002;
inline constexpr unsigned kAskStopService = 20003;
inline constexpr unsigned kTakeMeTo = 20008;
inline constexpr unsigned kNoPreventionMethod = 20011;
inline constexpr unsigned kAskBlockEvents = 20012;
inline constexpr unsigned kAskRemoveEvents = 20013;
inline constexpr unsigned kSettingsInvalid = 20021;
inline constexpr unsigned kItemExists = 20024;
inline constexpr unsigned kLogonInvalid = 20032;
inline constexpr unsigned kServiceAccountIsSystem = 20033;
inline constexpr unsigned kLogonRequired = 20034;
inline constexpr unsigned kEmailRequired = 20035;
inline constexpr unsigned kWriteCommunityRequired = 20036;
inline constexpr unsigned kIncorrectPassword = 20038;
inline constexpr unsigned kSettingsReloadFailed = 20040;
inline constexpr unsigned kSettingsSaveFailed = 20041;
inline constexpr unsigned kDeviceOpenFailed = 20042;        // %1 address
inline constexpr unsigned kConnectFolderMissing = 20048;    // %1 server, %2 folder
inline constexpr unsigned kConnectFilesUnreadable = 20043;  // %1 server, %2 file
inline constexpr unsigned kFilesUnreadable = 20044;         // %1 file
inline constexpr unsigned kHandOverRefused = 20045;
inline constexpr unsigned kFilesUnreadableState = 20046;  // %1 file
inline constexpr unsigned kHandOverRefusedState = 20047;
inline constexpr unsigned kArchiveWriteFailed = 20050;
inline constexpr unsigned kNeedOneServer = 20051;
inline constexpr unsigned kSettingsSaved = 20052;
inline constexpr unsigned kTextNotStorable = 20053;
inline constexpr unsigned kPopupSoundTooLong = 20054;
inline constexpr unsigned kServerNameTaken = 20055;
inline constexpr unsigned kAutostartFailed = 20056;
inline constexpr unsigned kMacEntryInvalid = 20060;
inline constexpr unsigned kMaskInvalid = 20061;
inline constexpr unsigned kEngineIdInvalid = 20062;
inline constexpr unsigned kUserEmpty = 20070;
inline constexpr unsigned kUserInvalid = 20071;
inline constexpr unsigned kComputerInvalid = 20072;
inline constexpr unsigned kUserExists = 20073;
inline constexpr unsigned kAccessHolderNeeded = 20074;
inline constexpr unsigned kExportOpenFailed = 20080;
inline constexpr unsigned kExportVerifyFailed = 20081;
inline constexpr unsigned kExportSourceFailed = 20082;
inline constexpr unsigned kApplyBeforeTest = 20091;
inline constexpr unsigned kTestSent = 20092;
inline constexpr unsigned kTestFailed = 20093;
inline constexpr unsigned kTestNotTakenOver = 20094;
inline constexpr unsigned kTargetHasBar = 20095;
inline constexpr unsigned kFilterHasSeparator = 20096;
inline constexpr unsigned kEnterpriseIdInvalid = 20097;
inline constexpr unsigned kSmtpPortInvalid = 20100;
inline constexpr unsigned kCommandInvalid = 20101;
inline constexpr unsigned kCommandSeparator = 20102;
inline constexpr unsigned kCreateDocumentFailed = 61700;
}  // namespace str

// The text of `id`, or an empty text for an id the table does not hold (a missing text shows as
// an empty title or label, never as a failure).
std::string_view LoadString(unsigned id);

}  // namespace tarvell
