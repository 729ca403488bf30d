#include "shared/DocumentFields.h"

#include <algorithm>
#include <stdexcept>

#include "shared/CTarvellDoc.h"

namespace tarvell {

namespace {

// Nine lines, each ended by CR LF.
constexpr const char* kDefaultEmailBody =
    "Device Name: $device_name\r\n"
    "Device Ip: $device_ip\r\n"
    "Device Port: $device_port\r\n"
    "Device Location: $device_location\r\n"
    "Source Mac: $source_mac\r\n"
    "Source Ip: $source_ip\r\n"
    "Source Name: $source_name\r\n"
    "Occurred on: $date\r\n"
    "Description: $description\r\n";

#define DOC_WORD(row, name, def)                                                            \
    DocumentField {                                                                         \
        row, #name, FieldKind::Word, &CTarvellDoc::name, nullptr, nullptr, -1, def, nullptr \
    }
#define DOC_TEXT(row, name, def) \
    DocumentField { row, #name, FieldKind::Text, nullptr, &CTarvellDoc::name, nullptr, -1, 0, def }
#define DOC_LIST(row, name)                                                               \
    DocumentField {                                                                       \
        row, #name, FieldKind::List, nullptr, nullptr, &CTarvellDoc::name, -1, 0, nullptr \
    }
#define DOC_COLUMN(row, column, def)                                                           \
    DocumentField {                                                                            \
        row, "ReportColumns[" #column "]", FieldKind::Word, nullptr, nullptr, nullptr, column, \
            def, nullptr                                                                       \
    }

const DocumentField kFields[] = {
    DOC_WORD(2, DiscoverDatabaseEnabled, 1),
    DOC_WORD(3, DiscoverTrapsEnabled, 1),
    DOC_WORD(4, AlertRemoveDays, 30),
    DOC_WORD(5, AlertArchiveEnabled, 0),
    DOC_WORD(6, UnmanagedIpEnabled, 0),
    DOC_WORD(7, UnmanagedMacEnabled, 0),
    DOC_WORD(8, ExcludeDirectNodes, 0),
    DOC_WORD(9, ExcludeIndirectNodes, 0),
    DOC_WORD(10, SyslogAlertsOn, 0),
    DOC_WORD(11, SyslogStandardMode, 1),
    DOC_WORD(12, SyslogSpecificMode, 0),
    DOC_WORD(13, SyslogFacility, 0),
    DOC_WORD(14, SyslogSeverity, 0),
    DOC_WORD(15, SnmpAlertsOn, 0),
    DOC_WORD(16, SnmpTrapStandard, 1),
    DOC_WORD(17, SnmpTrapSpecific, 0),
    DOC_WORD(18, SnmpTrapCommunityOn, 0),
    DOC_WORD(19, SnmpTrapV3On, 0),
    DOC_TEXT(20, SnmpTrapCommunity, nullptr),
    DOC_TEXT(21, SnmpTrapEnterprise, nullptr),
    DOC_WORD(22, EmailAlertsEnabled, 0),
    DOC_TEXT(23, SmtpPort, "25"),
    DOC_TEXT(24, SmtpServer, nullptr),
    DOC_TEXT(25, SmtpSender, nullptr),
    DOC_TEXT(26, SmtpTimeout, "1"),
    DOC_TEXT(27, SmtpUser, nullptr),
    DOC_TEXT(28, SmtpPassword, nullptr),
    DOC_TEXT(29, SmtpSecurity, nullptr),
    DOC_TEXT(30, EmailBody, kDefaultEmailBody),
    DOC_TEXT(31, EmailSubject, "$alert"),
    DOC_WORD(32, ExcludeTrunkPorts, 1),
    DOC_WORD(33, ExcludeDevicesEnabled, 0),
    DOC_WORD(34, ExcludePortsEnabled, 0),
    DOC_WORD(35, ExcludePortTypesEnabled, 0),
    DOC_WORD(36, ExcludeCsmacdPorts, 0),
    DOC_WORD(37, ExcludeWirelessPorts, 0),
    DOC_WORD(38, ExcludeVirtualPorts, 0),
    DOC_WORD(39, ExcludeUnknownPorts, 0),
    DOC_WORD(40, SnmpPublicEnabled, 1),
    DOC_WORD(41, SnmpCommunitiesEnabled, 0),
    DOC_WORD(42, SnmpRetries, 1),
    DOC_WORD(43, SnmpTimeout, 1000),
    DOC_WORD(44, SnmpV3Enabled, 0),
    DOC_WORD(45, SnmpV3SecurityModel, 0),
    DOC_WORD(46, SnmpV3SecurityLevel, 0),
    DOC_WORD(47, SnmpV3AuthProtocol, 0),
    DOC_WORD(48, SnmpV3PrivProtocol, 0),
    DOC_TEXT(49, SnmpV3Context, nullptr),
    DOC_TEXT(50, SnmpV3User, nullptr),
    DOC_TEXT(51, SnmpV3PrivPassword, nullptr),
    DOC_TEXT(52, SnmpV3AuthPassword, nullptr),
    DOC_TEXT(53, SnmpV3EngineId, nullptr),
    DOC_WORD(54, DetectionEnabled, 1),
    DOC_WORD(55, BlackListEnabled, 1),
    DOC_WORD(56, WhiteListEnabled, 1),
    DOC_WORD(57, NewMacEnabled, 0),
    DOC_WORD(58, NewIpEnabled, 0),
    DOC_WORD(59, NewNameEnabled, 0),
    DOC_WORD(60, NewUserEnabled, 0),
    DOC_WORD(61, ChangedIpEnabled, 0),
    DOC_WORD(62, ChangedNameEnabled, 0),
    DOC_WORD(63, ChangedUserEnabled, 0),
    DOC_WORD(64, ChangedPortEnabled, 0),
    DOC_WORD(65, ThreatNormalAlerts, 0),
    DOC_WORD(66, UnblockAuthorizeNode, 0),
    DOC_WORD(67, UnblockAuthorizeLocation, 0),
    DOC_WORD(68, NodesCountThreshold, 0),
    DOC_WORD(69, ReceiveThreshold, 0),
    DOC_WORD(70, TransmitThreshold, 0),
    DOC_WORD(71, BroadcastThreshold, 0),
    DOC_WORD(72, ErrorsThreshold, 0),
    DOC_TEXT(73, BlackListImportFile, nullptr),
    DOC_TEXT(74, WhiteListImportFile, nullptr),
    DOC_TEXT(75, NodeLocationImportFile, nullptr),
    DOC_TEXT(76, WmiNodesMode, nullptr),
    DOC_TEXT(77, WmiLogon, nullptr),
    DOC_TEXT(78, LinkupScriptFile, nullptr),
    DOC_TEXT(79, LinkupScriptLogon, nullptr),
    DOC_WORD(80, PreventAlertsEnabled, 1),
    DOC_WORD(81, PreventionEnabled, 0),
    DOC_WORD(82, PreventStatusAlerts, 0),
    DOC_WORD(83, EmailUnblockLink, 0),
    DOC_WORD(84, EmailDeleteLink, 0),
    DOC_WORD(85, EmailScheduleDeleteLink, 0),
    DOC_WORD(86, UnblockManualBlocked, 0),
    DOC_WORD(87, UnblockSystemBlocked, 0),
    DOC_WORD(88, UnblockAfterMinutes, 0),
    DOC_WORD(89, UnblockAuthorization, 0),
    DOC_WORD(90, SnmpPreventionEnabled, 0),
    DOC_WORD(91, SnmpPreventionMethod, 1),
    DOC_TEXT(92, SnmpBlockQuery, nullptr),
    DOC_TEXT(93, SnmpUnblockQuery, nullptr),
    DOC_TEXT(94, BlockScriptLogon, nullptr),
    DOC_TEXT(95, BlockScriptFile, nullptr),
    DOC_TEXT(96, UnblockScriptLogon, nullptr),
    DOC_TEXT(97, UnblockScriptFile, nullptr),
    DOC_TEXT(98, NotifyScriptFile, nullptr),
    DOC_TEXT(99, NetSendMessage, nullptr),
    DOC_TEXT(100, NotifyScriptLogon, nullptr),
    DOC_TEXT(101, NetSendLogon, nullptr),
    DOC_TEXT(102, MonitorPassword, nullptr),
    DOC_WORD(103, DailyReport, 1),
    DOC_WORD(104, WeeklyReport, 1),
    DOC_COLUMN(105, 0, 1),
    DOC_COLUMN(106, 1, 1),
    DOC_COLUMN(107, 2, 1),
    DOC_COLUMN(108, 3, 1),
    DOC_COLUMN(109, 4, 1),
    DOC_COLUMN(110, 5, 1),
    DOC_COLUMN(111, 6, 1),
    DOC_COLUMN(112, 7, 1),
    DOC_COLUMN(113, 8, 1),
    DOC_WORD(114, SqlExportOn, 0),
    DOC_WORD(115, SqlInterval, 5),
    DOC_TEXT(116, SqlDatabase, nullptr),
    DOC_TEXT(117, SqlEventsTable, nullptr),
    DOC_TEXT(118, SqlAlertsTable, nullptr),
    DOC_WORD(119, SqlEventsKeep, 0),
    DOC_WORD(120, SqlAlertsKeep, 0),
    DOC_WORD(121, HtmlExportOn, 0),
    DOC_WORD(122, HtmlInterval, 5),
    DOC_TEXT(123, HtmlFolder, nullptr),
    DOC_TEXT(124, HtmlEventsPage, nullptr),
    DOC_TEXT(125, HtmlAlertsPage, nullptr),
    DOC_WORD(126, RunAlertsEnabled, 0),
    DOC_LIST(127, ViewerUsers),
    DOC_LIST(128, SnmpNetworks),
    DOC_LIST(129, SnmpCommunities),
    DOC_LIST(130, UnmanagedIps),
    DOC_LIST(131, UnmanagedMacs),
    DOC_LIST(132, ExcludedPorts),
    DOC_LIST(133, ExcludedDevices),
    DOC_LIST(134, NodesBlackList),
    DOC_LIST(135, NodesWhiteList),
    DOC_LIST(136, BlackListDevices),
    DOC_LIST(137, WhiteListDevices),
    DOC_LIST(138, NodesCountDevices),
    DOC_LIST(139, NodeLocations),
    DOC_LIST(140, NewMacDevices),
    DOC_LIST(141, NewIpDevices),
    DOC_LIST(142, NewNameDevices),
    DOC_LIST(143, NewUserDevices),
    DOC_LIST(144, ChangedIpDevices),
    DOC_LIST(145, ChangedNameDevices),
    DOC_LIST(146, ChangedUserDevices),
    DOC_LIST(147, ChangedPortDevices),
    DOC_LIST(148, ReceiveDevices),
    DOC_LIST(149, TransmitDevices),
    DOC_LIST(150, BroadcastDevices),
    DOC_LIST(151, ErrorsDevices),
    DOC_LIST(152, ThreatDevices),
    DOC_LIST(153, WmiConditions),
    DOC_LIST(154, WmiDevices),
    DOC_LIST(155, LinkupScriptDevices),
    DOC_LIST(156, PreventionSchedule),
    DOC_LIST(157, BlockRequests),
    DOC_LIST(158, UnblockRequests),
    DOC_LIST(159, EventNotes),
    DOC_LIST(160, DeleteRequests),
    DOC_LIST(161, HtmlEventsColumns),
    DOC_LIST(162, HtmlAlertsColumns),
    DOC_LIST(163, SqlEventsColumns),
    DOC_LIST(164, SqlAlertsColumns),
    DOC_LIST(165, RemovedAlerts),
    DOC_LIST(166, AlertCauseTexts),
    DOC_LIST(167, AlertSeverityTexts),
    DOC_LIST(168, AlertDescriptionTexts),
    DOC_LIST(169, EmailRecipients),
    DOC_LIST(170, SnmpManagers),
    DOC_LIST(171, SyslogListeners),
    DOC_LIST(172, RunCommands),
};

#undef DOC_WORD
#undef DOC_TEXT
#undef DOC_LIST
#undef DOC_COLUMN

constexpr std::size_t kFieldCount = sizeof(kFields) / sizeof(kFields[0]);
static_assert(kFieldCount == kLastDocumentRow - kFirstDocumentRow + 1);

// Rows that the layouts of 3.2, 3.1 and 2.9 (and 2.8) lack.
constexpr int kRowMonitorPassword = 102;
constexpr int kRowLocationColumn = 109;
// 2.8 specifics.
constexpr int kRowEmailAlertsEnabled = 22;
constexpr int kRowSmtpSecurity = 29;

LayoutStep RowStep(const DocumentField& f) { return LayoutStep{&f, nullptr, nullptr}; }

std::vector<LayoutStep> BuildCurrent() {
    std::vector<LayoutStep> steps;
    for (const auto& f : kFields) steps.push_back(RowStep(f));
    return steps;
}

std::vector<LayoutStep> BuildV32() {
    std::vector<LayoutStep> steps;
    for (const auto& f : kFields)
        if (f.row != kRowMonitorPassword && f.row != kRowLocationColumn)
            steps.push_back(RowStep(f));
    return steps;
}

std::vector<LayoutStep> BuildV28() {
    std::vector<LayoutStep> steps;
    for (const auto& f : kFields) {
        if (f.row == kRowSmtpSecurity || f.row == kRowLocationColumn) continue;
        if (f.row == kRowMonitorPassword) {
            steps.push_back({nullptr, &CTarvellDoc::LegacyWordC, "LegacyWordC"});
            continue;
        }
        steps.push_back(RowStep(f));
        if (f.row == kRowEmailAlertsEnabled) {
            steps.push_back({nullptr, &CTarvellDoc::LegacyWordA, "LegacyWordA"});
            steps.push_back({nullptr, &CTarvellDoc::LegacyWordB, "LegacyWordB"});
        }
    }
    return steps;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A decimal number as whole-number digits and fraction digits, both without the zeros that do
// not change the value, so that equal numbers have equal forms and the order is the text order
// (first by the length of the whole part).
struct DecimalNumber {
    std::string whole;
    std::string fraction;
};

int Compare(const DecimalNumber& a, const DecimalNumber& b) {
    if (a.whole.size() != b.whole.size()) return a.whole.size() < b.whole.size() ? -1 : 1;
    if (int c = a.whole.compare(b.whole)) return c < 0 ? -1 : 1;
    if (int c = a.fraction.compare(b.fraction)) return c < 0 ? -1 : 1;
    return 0;
}

std::optional<DecimalNumber> ParseLeadingDecimal(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    DecimalNumber n;
    bool anyDigit = false;
    for (; i < text.size() && IsDigit(text[i]); ++i, anyDigit = true)
        if (!n.whole.empty() || text[i] != '0') n.whole += text[i];
    if (i < text.size() && text[i] == '.') {
        for (++i; i < text.size() && IsDigit(text[i]); ++i, anyDigit = true) n.fraction += text[i];
        while (!n.fraction.empty() && n.fraction.back() == '0') n.fraction.pop_back();
    }
    if (!anyDigit) return std::nullopt;
    return n;
}

}  // namespace

std::int32_t& DocumentField::Word(CTarvellDoc& doc) const {
    return column >= 0 ? doc.ReportColumns[static_cast<std::size_t>(column)] : doc.*word;
}
std::int32_t DocumentField::Word(const CTarvellDoc& doc) const {
    return column >= 0 ? doc.ReportColumns[static_cast<std::size_t>(column)] : doc.*word;
}
std::string& DocumentField::Text(CTarvellDoc& doc) const { return doc.*text; }
const std::string& DocumentField::Text(const CTarvellDoc& doc) const { return doc.*text; }
std::vector<std::string>& DocumentField::List(CTarvellDoc& doc) const { return doc.*list; }
const std::vector<std::string>& DocumentField::List(const CTarvellDoc& doc) const {
    return doc.*list;
}

std::span<const DocumentField> DocumentFields() { return kFields; }

const DocumentField* FindDocumentField(int row) {
    if (row < kFirstDocumentRow || row > kLastDocumentRow) return nullptr;
    return &kFields[row - kFirstDocumentRow];
}

const DocumentField* FindDocumentField(std::string_view name) {
    auto it = std::find_if(std::begin(kFields), std::end(kFields),
                           [&](const DocumentField& f) { return name == f.name; });
    return it == std::end(kFields) ? nullptr : &*it;
}

std::span<const LayoutStep> LayoutSteps(DocumentLayout layout) {
    static const std::vector<LayoutStep> current = BuildCurrent();
    static const std::vector<LayoutStep> v32 = BuildV32();
    static const std::vector<LayoutStep> v28 = BuildV28();
    switch (layout) {
        case DocumentLayout::Current: return current;
        case DocumentLayout::V32: return v32;
        case DocumentLayout::V28: return v28;
    }
    throw std::logic_error("unknown document layout");
}

std::optional<DocumentLayout> LayoutForVersion(std::string_view version) {
    const auto number = ParseLeadingDecimal(version);
    if (!number) return std::nullopt;
    if (Compare(*number, {"3", "3"}) >= 0) return DocumentLayout::Current;
    for (const char* older : {"3.2", "3.1", "2.9"}) {
        if (Compare(*number, *ParseLeadingDecimal(older)) == 0) return DocumentLayout::V32;
    }
    if (Compare(*number, {"2", "8"}) == 0) return DocumentLayout::V28;
    return std::nullopt;
}

}  // namespace tarvell
