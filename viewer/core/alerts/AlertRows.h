// The rows of the alerts screen: what each column shows, the details of a row, the order of the
// rows, which alerts an archive contributes, the report table and the archive's file name. Pure
// functions of the records; the row keeps its alert's key, so details, removal and "Learn more"
// address exactly that alert whatever the date format of the user's locale.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ObjectMap.h"
#include "shared/CAlertItem.h"
#include "viewer/core/summary/ReportText.h"

namespace tarvell {

inline constexpr std::uint32_t kDetectionAlertsMode = 32797;
inline constexpr std::uint32_t kPreventionAlertsMode = 32798;

// Columns, left to right, and the pixel widths of the first four ("Alert" takes the rest).
inline constexpr int kAlertColumns = 5;
inline constexpr std::array<std::string_view, kAlertColumns> kAlertColumnNames = {
    "Date", "Device Name", "Device Ip", "Device Port", "Alert"};
inline constexpr std::array<int, 4> kAlertFixedWidths = {130, 100, 100, 100};
// The columns never cut while the list is wide enough for them and the other headers: the date,
// and the device an administrator goes to.
inline constexpr std::array<int, 3> kAlertWholeColumns = {0, 1, 2};
// Relative widths of the report's columns (they add up to 100).
inline constexpr std::array<int, kAlertColumns> kAlertReportWidths = {18, 18, 18, 18, 28};

struct AlertRow {
    std::array<std::string, kAlertColumns> cells;  // date, device name, ip, port, alert text
    std::string key;                               // the alert's key in the hub or archive
};

// "Detection" for mode 32797, "Prevention" for 32798, empty for any other mode.
std::string_view ModeCategory(std::uint32_t mode);

// Date in the user's form from the key's seconds; the alert text is "name (text)" with the
// macros expanded (bounded: an inserted value is never searched again).
AlertRow MakeAlertRow(const std::string& key, const CAlertItem& alert);
// The rows of the alerts whose Category belongs to `mode`, in the map's order. Map: key to a
// pointer to the record (an archive's map or a hub snapshot's).
template <class Map>
std::vector<AlertRow> AlertRowsOf(const Map& alerts, std::uint32_t mode) {
    std::vector<AlertRow> rows;
    const std::string_view category = ModeCategory(mode);
    if (category.empty()) return rows;
    for (const auto& [key, alert] : alerts) {
        if (alert && alert->Category == category) rows.push_back(MakeAlertRow(key, *alert));
    }
    return rows;
}

// ---- details of a row
inline constexpr std::string_view kLabelSourceMac = "Source mac";
inline constexpr std::string_view kLabelSourceIp = "Source ip";
inline constexpr std::string_view kLabelSourceName = "Source name";

struct DetailsPiece {
    std::string text;
    bool label = false;  // written in the bold label format, else the value format
};
// heading (the Alert text up to its first "(", with the blank), "\n\n", "Occurred on: <date>",
// the source lines in the order mac, ip, name up to the last one that is set (earlier ones even
// when empty), then "Description: " and the text between the first "(" and the last ")".
std::vector<DetailsPiece> AlertDetails(const AlertRow& row, const CAlertItem& alert);
std::string JoinDetails(const std::vector<DetailsPiece>& pieces);

// ---- order
// A dotted IPv4 address as a number in host order; text that is no such address gives
// 0xFFFFFFFF, so it sorts with the highest address.
std::uint32_t IpToHostOrder(std::string_view text);

// The sort column and direction of the alerts screen (user-interface thread only; apart from
// the event lists' and the reports').
struct AlertSortState {
    int column = 0;
    bool ascending = false;
    // A header click: the column becomes c and the direction flips, whichever column it was.
    void Click(int c) {
        column = c;
        ascending = !ascending;
    }
};
AlertSortState& SharedAlertSort();

// Strict order of two rows: Date by the key's seconds and counter, Device Ip by IpToHostOrder,
// the others byte-wise. Descending swaps the operands, so equal rows stay equal.
bool AlertRowLess(const AlertRow& a, const AlertRow& b, int column, bool ascending);
void SortAlertRows(std::vector<AlertRow>& rows, const AlertSortState& sort);

// ---- report and archive
// The report's headers, the relative widths and the rows in the order given.
ReportTable AlertReportTable(const std::vector<AlertRow>& rows);
// The report's caption and title for the mode.
std::string AlertReportCaption(std::uint32_t mode);
std::string AlertReportTitle(std::uint32_t mode);
// The name an archive is written under: ".log" is added only when the name does not end in it.
std::string ArchiveFileName(std::string name);

}  // namespace tarvell
