// The settings file's rows as the test knows them, written independently of the production
// table, and an independent encoder of the archive bytes (no ArchiveWriter).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "shared/CTarvellDoc.h"

namespace tarvell::rowtest {

using Value = std::variant<std::int32_t, std::string, std::vector<std::string>>;

struct TestRow {
    int row;
    const char* name;
    Value defaultValue;  // also tells the kind
    void (*set)(CTarvellDoc&, const Value&);
    Value (*get)(const CTarvellDoc&);
};

inline constexpr const char* kEmailBodyDefault =
    "Device Name: $device_name\r\nDevice Ip: $device_ip\r\nDevice Port: $device_port\r\n"
    "Device Location: $device_location\r\nSource Mac: $source_mac\r\nSource Ip: $source_ip\r\n"
    "Source Name: $source_name\r\nOccurred on: $date\r\nDescription: $description\r\n";

// Row number, member, default, in file order (row 1 is the version).
#define TARVELL_TEST_DOCUMENT_ROWS(W, T, L, C) \
    W(2, DiscoverDatabaseEnabled, 1)           \
    W(3, DiscoverTrapsEnabled, 1)              \
    W(4, AlertRemoveDays, 30)                  \
    W(5, AlertArchiveEnabled, 0)               \
    W(6, UnmanagedIpEnabled, 0)                \
    W(7, UnmanagedMacEnabled, 0)               \
    W(8, ExcludeDirectNodes, 0)                \
    W(9, ExcludeIndirectNodes, 0)              \
    W(10, SyslogAlertsOn, 0)                   \
    W(11, SyslogStandardMode, 1)               \
    W(12, SyslogSpecificMode, 0)               \
    W(13, SyslogFacility, 0)                   \
    W(14, SyslogSeverity, 0)                   \
    W(15, SnmpAlertsOn, 0)                     \
    W(16, SnmpTrapStandard, 1)                 \
    W(17, SnmpTrapSpecific, 0)                 \
    W(18, SnmpTrapCommunityOn, 0)              \
    W(19, SnmpTrapV3On, 0)                     \
    T(20, SnmpTrapCommunity, "")               \
    T(21, SnmpTrapEnterprise, "")              \
    W(22, EmailAlertsEnabled, 0)               \
    T(23, SmtpPort, "25")                      \
    T(24, SmtpServer, "")                      \
    T(25, SmtpSender, "")                      \
    T(26, SmtpTimeout, "1")                    \
    T(27, SmtpUser, "")                        \
    T(28, SmtpPassword, "")                    \
    T(29, SmtpSecurity, "")                    \
    T(30, EmailBody, kEmailBodyDefault)        \
    T(31, EmailSubject, "$alert")              \
    W(32, ExcludeTrunkPorts, 1)                \
    W(33, ExcludeDevicesEnabled, 0)            \
    W(34, ExcludePortsEnabled, 0)              \
    W(35, ExcludePortTypesEnabled, 0)          \
    W(36, ExcludeCsmacdPorts, 0)               \
    W(37, ExcludeWirelessPorts, 0)             \
    W(38, ExcludeVirtualPorts, 0)              \
    W(39, ExcludeUnknownPorts, 0)              \
    W(40, SnmpPublicEnabled, 1)                \
    W(41, SnmpCommunitiesEnabled, 0)           \
    W(42, SnmpRetries, 1)                      \
    W(43, SnmpTimeout, 1000)                   \
    W(44, SnmpV3Enabled, 0)                    \
    W(45, SnmpV3SecurityModel, 0)              \
    W(46, SnmpV3SecurityLevel, 0)              \
    W(47, SnmpV3AuthProtocol, 0)               \
    W(48, SnmpV3PrivProtocol, 0)               \
    T(49, SnmpV3Context, "")                   \
    T(50, SnmpV3User, "")                      \
    T(51, SnmpV3PrivPassword, "")              \
    T(52, SnmpV3AuthPassword, "")              \
    T(53, SnmpV3EngineId, "")                  \
    W(54, DetectionEnabled, 1)                 \
    W(55, BlackListEnabled, 1)                 \
    W(56, WhiteListEnabled, 1)                 \
    W(57, NewMacEnabled, 0)                    \
    W(58, NewIpEnabled, 0)                     \
    W(59, NewNameEnabled, 0)                   \
    W(60, NewUserEnabled, 0)                   \
    W(61, ChangedIpEnabled, 0)                 \
    W(62, ChangedNameEnabled, 0)               \
    W(63, ChangedUserEnabled, 0)               \
    W(64, ChangedPortEnabled, 0)               \
    W(65, ThreatNormalAlerts, 0)               \
    W(66, UnblockAuthorizeNode, 0)             \
    W(67, UnblockAuthorizeLocation, 0)         \
    W(68, NodesCountThreshold, 0)              \
    W(69, ReceiveThreshold, 0)                 \
    W(70, TransmitThreshold, 0)                \
    W(71, BroadcastThreshold, 0)               \
    W(72, ErrorsThreshold, 0)                  \
    T(73, BlackListImportFile, "")             \
    T(74, WhiteListImportFile, "")             \
    T(75, NodeLocationImportFile, "")          \
    T(76, WmiNodesMode, "")                    \
    T(77, WmiLogon, "")                        \
    T(78, LinkupScriptFile, "")                \
    T(79, LinkupScriptLogon, "")               \
    W(80, PreventAlertsEnabled, 1)             \
    W(81, PreventionEnabled, 0)                \
    W(82, PreventStatusAlerts, 0)              \
    W(83, EmailUnblockLink, 0)                 \
    W(84, EmailDeleteLink, 0)                  \
    W(85, EmailScheduleDeleteLink, 0)          \
    W(86, UnblockManualBlocked, 0)             \
    W(87, UnblockSystemBlocked, 0)             \
    W(88, UnblockAfterMinutes, 0)              \
    W(89, UnblockAuthorization, 0)             \
    W(90, SnmpPreventionEnabled, 0)            \
    W(91, SnmpPreventionMethod, 1)             \
    T(92, SnmpBlockQuery, "")                  \
    T(93, SnmpUnblockQuery, "")                \
    T(94, BlockScriptLogon, "")                \
    T(95, BlockScriptFile, "")                 \
    T(96, UnblockScriptLogon, "")              \
    T(97, UnblockScriptFile, "")               \
    T(98, NotifyScriptFile, "")                \
    T(99, NetSendMessage, "")                  \
    T(100, NotifyScriptLogon, "")              \
    T(101, NetSendLogon, "")                   \
    T(102, MonitorPassword, "")                \
    W(103, DailyReport, 1)                     \
    W(104, WeeklyReport, 1)                    \
    C(105, 0, 1)                               \
    C(106, 1, 1)                               \
    C(107, 2, 1)                               \
    C(108, 3, 1)                               \
    C(109, 4, 1)                               \
    C(110, 5, 1)                               \
    C(111, 6, 1)                               \
    C(112, 7, 1)                               \
    C(113, 8, 1)                               \
    W(114, SqlExportOn, 0)                     \
    W(115, SqlInterval, 5)                     \
    T(116, SqlDatabase, "")                    \
    T(117, SqlEventsTable, "")                 \
    T(118, SqlAlertsTable, "")                 \
    W(119, SqlEventsKeep, 0)                   \
    W(120, SqlAlertsKeep, 0)                   \
    W(121, HtmlExportOn, 0)                    \
    W(122, HtmlInterval, 5)                    \
    T(123, HtmlFolder, "")                     \
    T(124, HtmlEventsPage, "")                 \
    T(125, HtmlAlertsPage, "")                 \
    W(126, RunAlertsEnabled, 0)                \
    L(127, ViewerUsers)                        \
    L(128, SnmpNetworks)                       \
    L(129, SnmpCommunities)                    \
    L(130, UnmanagedIps)                       \
    L(131, UnmanagedMacs)                      \
    L(132, ExcludedPorts)                      \
    L(133, ExcludedDevices)                    \
    L(134, NodesBlackList)                     \
    L(135, NodesWhiteList)                     \
    L(136, BlackListDevices)                   \
    L(137, WhiteListDevices)                   \
    L(138, NodesCountDevices)                  \
    L(139, NodeLocations)                      \
    L(140, NewMacDevices)                      \
    L(141, NewIpDevices)                       \
    L(142, NewNameDevices)                     \
    L(143, NewUserDevices)                     \
    L(144, ChangedIpDevices)                   \
    L(145, ChangedNameDevices)                 \
    L(146, ChangedUserDevices)                 \
    L(147, ChangedPortDevices)                 \
    L(148, ReceiveDevices)                     \
    L(149, TransmitDevices)                    \
    L(150, BroadcastDevices)                   \
    L(151, ErrorsDevices)                      \
    L(152, ThreatDevices)                      \
    L(153, WmiConditions)                      \
    L(154, WmiDevices)                         \
    L(155, LinkupScriptDevices)                \
    L(156, PreventionSchedule)                 \
    L(157, BlockRequests)                      \
    L(158, UnblockRequests)                    \
    L(159, EventNotes)                         \
    L(160, DeleteRequests)                     \
    L(161, HtmlEventsColumns)                  \
    L(162, HtmlAlertsColumns)                  \
    L(163, SqlEventsColumns)                   \
    L(164, SqlAlertsColumns)                   \
    L(165, RemovedAlerts)                      \
    L(166, AlertCauseTexts)                    \
    L(167, AlertSeverityTexts)                 \
    L(168, AlertDescriptionTexts)              \
    L(169, EmailRecipients)                    \
    L(170, SnmpManagers)                       \
    L(171, SyslogListeners)                    \
    L(172, RunCommands)

#define TARVELL_TEST_W(r, m, def)                                                    \
    TestRow{r, #m, Value{std::int32_t{def}},                                         \
            [](CTarvellDoc& d, const Value& v) { d.m = std::get<std::int32_t>(v); }, \
            [](const CTarvellDoc& d) { return Value{d.m}; }},
#define TARVELL_TEST_T(r, m, def)                                                   \
    TestRow{r, #m, Value{std::string(def)},                                         \
            [](CTarvellDoc& d, const Value& v) { d.m = std::get<std::string>(v); }, \
            [](const CTarvellDoc& d) { return Value{d.m}; }},
#define TARVELL_TEST_L(r, m)                                                                     \
    TestRow{r, #m, Value{std::vector<std::string>{}},                                            \
            [](CTarvellDoc& d, const Value& v) { d.m = std::get<std::vector<std::string>>(v); }, \
            [](const CTarvellDoc& d) { return Value{d.m}; }},
#define TARVELL_TEST_C(r, col, def)                                                               \
    TestRow{                                                                                      \
        r, "ReportColumns[" #col "]", Value{std::int32_t{def}},                                   \
        [](CTarvellDoc& d, const Value& v) { d.ReportColumns[col] = std::get<std::int32_t>(v); }, \
        [](const CTarvellDoc& d) { return Value{d.ReportColumns[col]}; }},

inline const std::vector<TestRow>& TestRows() {
    static const std::vector<TestRow> rows{
        TARVELL_TEST_DOCUMENT_ROWS(TARVELL_TEST_W, TARVELL_TEST_T, TARVELL_TEST_L, TARVELL_TEST_C)};
    return rows;
}

#undef TARVELL_TEST_W
#undef TARVELL_TEST_T
#undef TARVELL_TEST_L
#undef TARVELL_TEST_C

// Little-endian words and the length-prefixed texts and counted lists of the file format.
class ExpectedBytes {
public:
    void Word(std::int32_t v) { U32(static_cast<std::uint32_t>(v)); }
    void Text(std::string_view t) {
        if (t.size() < 0xFF) {
            Byte(static_cast<std::uint8_t>(t.size()));
        } else if (t.size() < 0xFFFE) {
            Byte(0xFF);
            U16(static_cast<std::uint16_t>(t.size()));
        } else {
            Byte(0xFF);
            U16(0xFFFF);
            U32(static_cast<std::uint32_t>(t.size()));
        }
        bytes_.append(t);
    }
    void List(const std::vector<std::string>& list) {
        if (list.size() < 0xFFFF) {
            U16(static_cast<std::uint16_t>(list.size()));
        } else {
            U16(0xFFFF);
            U32(static_cast<std::uint32_t>(list.size()));
        }
        for (const auto& t : list) Text(t);
    }
    void Add(const rowtest::Value& v) {
        if (auto* w = std::get_if<std::int32_t>(&v)) Word(*w);
        else if (auto* t = std::get_if<std::string>(&v)) Text(*t);
        else List(std::get<std::vector<std::string>>(v));
    }
    void Raw(std::string_view b) { bytes_.append(b); }
    const std::string& Bytes() const { return bytes_; }

private:
    void Byte(std::uint8_t b) { bytes_.push_back(static_cast<char>(b)); }
    void U16(std::uint16_t v) {
        Byte(static_cast<std::uint8_t>(v));
        Byte(static_cast<std::uint8_t>(v >> 8));
    }
    void U32(std::uint32_t v) {
        U16(static_cast<std::uint16_t>(v));
        U16(static_cast<std::uint16_t>(v >> 16));
    }

    std::string bytes_;
};

}  // namespace tarvell::rowtest
