// The settings document: every setting of the service and the viewer's queued requests, kept in
// the file "Tarvell.ini" of the document's folder. A plain value: copying it gives an independent
// snapshot, which is how the engine hands settings to its workers.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Archive.h"
#include "platform/Clock.h"
#include "shared/DocumentFields.h"

namespace tarvell {

enum class DocStatus {
    Ok,
    Created,         // the file was missing and has been written with the defaults
    Missing,         // no such file (saving never creates the settings file)
    Busy,            // another writer holds the file's lock
    IoError,         // the file or its folder could not be read or written
    Damaged,         // truncated or corrupt content
    UnknownVersion,  // a version text that names no known layout
    Refused,         // a checked load: not a regular file, or one the check turned down
};

struct DocResult {
    DocStatus status = DocStatus::Ok;
    std::string message;  // what went wrong, for the log; empty on success

    explicit operator bool() const {
        return status == DocStatus::Ok || status == DocStatus::Created;
    }
};

class CTarvellDoc {
public:
    static constexpr std::string_view kFileName = "Tarvell.ini";
    // Every settings file the programs write: its owner writes it, its group (the
    // administrators) only reads it, as it may hold passwords.
    static constexpr mode_t kFileMode = 0640;
    static constexpr int kSaveAttempts = 5;
    static constexpr std::int64_t kSaveRetryMs = 1000;

    // Everything empty or 0 except Version, which is the current version.
    CTarvellDoc();

    // Written first; loading never changes it, so a file of an older layout is written in the
    // current one at its next save.
    std::string Version;

    // The stored fields, in file order (see DocumentFields()).
    std::int32_t DiscoverDatabaseEnabled = 0;
    std::int32_t DiscoverTrapsEnabled = 0;
    std::int32_t AlertRemoveDays = 0;
    std::int32_t AlertArchiveEnabled = 0;
    std::int32_t UnmanagedIpEnabled = 0;
    std::int32_t UnmanagedMacEnabled = 0;
    std::int32_t ExcludeDirectNodes = 0;
    std::int32_t ExcludeIndirectNodes = 0;
    std::int32_t SyslogAlertsOn = 0;
    std::int32_t SyslogStandardMode = 0;
    std::int32_t SyslogSpecificMode = 0;
    std::int32_t SyslogFacility = 0;
    std::int32_t SyslogSeverity = 0;
    std::int32_t SnmpAlertsOn = 0;
    std::int32_t SnmpTrapStandard = 0;
    std::int32_t SnmpTrapSpecific = 0;
    std::int32_t SnmpTrapCommunityOn = 0;
    std::int32_t SnmpTrapV3On = 0;
    std::string SnmpTrapCommunity;
    std::string SnmpTrapEnterprise;
    std::int32_t EmailAlertsEnabled = 0;
    std::string SmtpPort;
    std::string SmtpServer;
    std::string SmtpSender;
    std::string SmtpTimeout;
    std::string SmtpUser;
    std::string SmtpPassword;
    std::string SmtpSecurity;
    std::string EmailBody;
    std::string EmailSubject;
    std::int32_t ExcludeTrunkPorts = 0;
    std::int32_t ExcludeDevicesEnabled = 0;
    std::int32_t ExcludePortsEnabled = 0;
    std::int32_t ExcludePortTypesEnabled = 0;
    std::int32_t ExcludeCsmacdPorts = 0;
    std::int32_t ExcludeWirelessPorts = 0;
    std::int32_t ExcludeVirtualPorts = 0;
    std::int32_t ExcludeUnknownPorts = 0;
    std::int32_t SnmpPublicEnabled = 0;
    std::int32_t SnmpCommunitiesEnabled = 0;
    std::int32_t SnmpRetries = 0;
    std::int32_t SnmpTimeout = 0;
    std::int32_t SnmpV3Enabled = 0;
    std::int32_t SnmpV3SecurityModel = 0;
    std::int32_t SnmpV3SecurityLevel = 0;
    std::int32_t SnmpV3AuthProtocol = 0;
    std::int32_t SnmpV3PrivProtocol = 0;
    std::string SnmpV3Context;
    std::string SnmpV3User;
    std::string SnmpV3PrivPassword;
    std::string SnmpV3AuthPassword;
    std::string SnmpV3EngineId;
    std::int32_t DetectionEnabled = 0;
    std::int32_t BlackListEnabled = 0;
    std::int32_t WhiteListEnabled = 0;
    std::int32_t NewMacEnabled = 0;
    std::int32_t NewIpEnabled = 0;
    std::int32_t NewNameEnabled = 0;
    std::int32_t NewUserEnabled = 0;
    std::int32_t ChangedIpEnabled = 0;
    std::int32_t ChangedNameEnabled = 0;
    std::int32_t ChangedUserEnabled = 0;
    std::int32_t ChangedPortEnabled = 0;
    std::int32_t ThreatNormalAlerts = 0;
    std::int32_t UnblockAuthorizeNode = 0;
    std::int32_t UnblockAuthorizeLocation = 0;
    std::int32_t NodesCountThreshold = 0;
    std::int32_t ReceiveThreshold = 0;
    std::int32_t TransmitThreshold = 0;
    std::int32_t BroadcastThreshold = 0;
    std::int32_t ErrorsThreshold = 0;
    std::string BlackListImportFile;
    std::string WhiteListImportFile;
    std::string NodeLocationImportFile;
    std::string WmiNodesMode;
    std::string WmiLogon;
    std::string LinkupScriptFile;
    std::string LinkupScriptLogon;
    std::int32_t PreventAlertsEnabled = 0;
    std::int32_t PreventionEnabled = 0;
    std::int32_t PreventStatusAlerts = 0;
    std::int32_t EmailUnblockLink = 0;
    std::int32_t EmailDeleteLink = 0;
    std::int32_t EmailScheduleDeleteLink = 0;
    std::int32_t UnblockManualBlocked = 0;
    std::int32_t UnblockSystemBlocked = 0;
    std::int32_t UnblockAfterMinutes = 0;
    std::int32_t UnblockAuthorization = 0;
    std::int32_t SnmpPreventionEnabled = 0;
    std::int32_t SnmpPreventionMethod = 0;
    std::string SnmpBlockQuery;
    std::string SnmpUnblockQuery;
    std::string BlockScriptLogon;
    std::string BlockScriptFile;
    std::string UnblockScriptLogon;
    std::string UnblockScriptFile;
    std::string NotifyScriptFile;
    std::string NetSendMessage;
    std::string NotifyScriptLogon;
    std::string NetSendLogon;
    std::string MonitorPassword;
    std::int32_t DailyReport = 0;
    std::int32_t WeeklyReport = 0;
    std::array<std::int32_t, 9> ReportColumns{};  // rows 105-113: report columns
    std::int32_t SqlExportOn = 0;
    std::int32_t SqlInterval = 0;
    std::string SqlDatabase;
    std::string SqlEventsTable;
    std::string SqlAlertsTable;
    std::int32_t SqlEventsKeep = 0;
    std::int32_t SqlAlertsKeep = 0;
    std::int32_t HtmlExportOn = 0;
    std::int32_t HtmlInterval = 0;
    std::string HtmlFolder;
    std::string HtmlEventsPage;
    std::string HtmlAlertsPage;
    std::int32_t RunAlertsEnabled = 0;
    std::vector<std::string> ViewerUsers;
    std::vector<std::string> SnmpNetworks;
    std::vector<std::string> SnmpCommunities;
    std::vector<std::string> UnmanagedIps;
    std::vector<std::string> UnmanagedMacs;
    std::vector<std::string> ExcludedPorts;
    std::vector<std::string> ExcludedDevices;
    std::vector<std::string> NodesBlackList;
    std::vector<std::string> NodesWhiteList;
    std::vector<std::string> BlackListDevices;
    std::vector<std::string> WhiteListDevices;
    std::vector<std::string> NodesCountDevices;
    std::vector<std::string> NodeLocations;
    std::vector<std::string> NewMacDevices;
    std::vector<std::string> NewIpDevices;
    std::vector<std::string> NewNameDevices;
    std::vector<std::string> NewUserDevices;
    std::vector<std::string> ChangedIpDevices;
    std::vector<std::string> ChangedNameDevices;
    std::vector<std::string> ChangedUserDevices;
    std::vector<std::string> ChangedPortDevices;
    std::vector<std::string> ReceiveDevices;
    std::vector<std::string> TransmitDevices;
    std::vector<std::string> BroadcastDevices;
    std::vector<std::string> ErrorsDevices;
    std::vector<std::string> ThreatDevices;
    std::vector<std::string> WmiConditions;
    std::vector<std::string> WmiDevices;
    std::vector<std::string> LinkupScriptDevices;
    std::vector<std::string> PreventionSchedule;
    std::vector<std::string> BlockRequests;
    std::vector<std::string> UnblockRequests;
    std::vector<std::string> EventNotes;
    std::vector<std::string> DeleteRequests;
    std::vector<std::string> HtmlEventsColumns;
    std::vector<std::string> HtmlAlertsColumns;
    std::vector<std::string> SqlEventsColumns;
    std::vector<std::string> SqlAlertsColumns;
    std::vector<std::string> RemovedAlerts;
    std::vector<std::string> AlertCauseTexts;
    std::vector<std::string> AlertSeverityTexts;
    std::vector<std::string> AlertDescriptionTexts;
    std::vector<std::string> EmailRecipients;
    std::vector<std::string> SnmpManagers;
    std::vector<std::string> SyslogListeners;
    std::vector<std::string> RunCommands;

    // Carried only by the 2.8 layout and never written.
    std::int32_t LegacyWordA = 0;
    std::int32_t LegacyWordB = 0;
    std::int32_t LegacyWordC = 0;

    // The defaults of a new installation (also the version and the legacy words).
    void SetDefaults();

    // The archive of the current layout.
    void Store(ArchiveWriter& ar) const;
    std::string StoreToBytes() const;
    // Reads a document of any accepted layout. The fields are read into a copy of `into`, which
    // takes the result over only when the whole layout was read: a damaged file or an unknown
    // version changes nothing. Fields the file's layout does not carry and `Version` keep the
    // values they had. Bytes after the layout are ignored.
    static DocResult Load(ArchiveReader& ar, CTarvellDoc& into);
    static DocResult LoadFromBytes(std::string_view bytes, CTarvellDoc& into);

    // The folder of the settings file (not the file itself).
    void SetPathName(std::string folder) { folder_ = std::move(folder); }
    const std::string& GetPathName() const { return folder_; }
    // Folder + "/Tarvell.ini".
    std::string FilePath() const;

    // Loads the settings file (LoadOwnFile), or creates it with the defaults, mode 0640, when it
    // does not exist. A file that exists but cannot be loaded or is not the caller's own is a
    // failure and is left as it is.
    DocResult OnNewDocument(Clock& clock = DefaultClock());
    // Stores the document into the existing settings file, which is replaced by a new one of
    // mode 0640 whatever mode the old one had: up to 5 attempts, 1000 ms apart on the clock
    // (also after the last). Never creates the file.
    DocResult OnSaveDocument(Clock& clock = DefaultClock());

    // One load of any file under a shared lock (waiting a little for a writer to finish).
    DocResult LoadFromFile(const std::string& path, Clock& clock = DefaultClock());
    // Whether an opened file may be read, decided on its status: empty when it may, else why not.
    using FileCheck = std::function<std::string(const struct stat&)>;
    // LoadFromFile of a file whose owner and mode matter: `check` sees the status of the file
    // that is locked and would be read. A file it turns down, a link (not followed), a FIFO or a
    // folder is not read: DocStatus::Refused, and the message says why.
    DocResult LoadFromFile(const std::string& path, Clock& clock, const FileCheck& check);
    // Why the opened file is not the caller's own: empty when it is a regular file owned by the
    // effective user that nobody else can write (neither its group nor others).
    static std::string NotOwnFile(const struct stat& st);
    // LoadFromFile of a file the caller keeps for itself, such as the service's settings file:
    // only while NotOwnFile finds nothing. Otherwise DocStatus::Refused, nothing read, and the
    // message is only the reason ("it is writable by its group", "a symbolic link", ...).
    DocResult LoadOwnFile(const std::string& path, Clock& clock = DefaultClock());
    // One save of any file: under an exclusive lock of the existing file, written to a
    // temporary file and renamed over it, keeping the old file's permission bits (or giving it
    // `fileMode` when set). A missing file is created only when `mayCreate` is set, with
    // `fileMode` or kFileMode.
    DocResult SaveToFile(const std::string& path, bool mayCreate,
                         std::optional<mode_t> fileMode = std::nullopt) const;

    bool IsModified() const { return modified_; }
    void SetModifiedFlag(bool modified = true) { modified_ = modified; }

    bool operator==(const CTarvellDoc&) const = default;

private:
    std::string folder_;
    bool modified_ = false;
};

}  // namespace tarvell
