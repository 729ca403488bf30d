#include "viewer/core/alerts/AlertRows.h"

#include <algorithm>
#include <charconv>

#include "platform/DateText.h"
#include "shared/AlertKey.h"
#include "viewer/core/alerts/AlertText.h"

namespace tarvell {

std::string_view ModeCategory(std::uint32_t mode) {
    if (mode == kDetectionAlertsMode) return "Detection";
    if (mode == kPreventionAlertsMode) return "Prevention";
    return {};
}

AlertRow MakeAlertRow(const std::string& key, const CAlertItem& alert) {
    const AlertText t = MakeAlertText(alert);
    AlertRow row;
    row.key = key;
    row.cells = {FormatUserDateTime(AlertKeySeconds(key)), alert.DeviceName, alert.DeviceIp,
                 alert.DevicePort, t.heading + " (" + t.text + ")"};
    return row;
}

std::vector<DetailsPiece> AlertDetails(const AlertRow& row, const CAlertItem& alert) {
    const std::string& text = row.cells[4];
    const std::size_t open = text.find('(');
    const std::size_t close = text.rfind(')');
    const std::string heading = text.substr(0, open);
    std::string description;
    if (open != std::string::npos && close != std::string::npos && close > open)
        description = text.substr(open + 1, close - open - 1);

    std::vector<DetailsPiece> out;
    out.push_back({heading + "\n\n", true});
    auto line = [&out](std::string_view label, const std::string& value, const char* end) {
        out.push_back({std::string(label) + ": ", true});
        out.push_back({value + end, false});
    };
    line(kLabelOccurredOn, row.cells[0], "\n\n");
    const std::pair<std::string_view, const std::string*> sources[] = {
        {kLabelSourceMac, &alert.SourceMac},
        {kLabelSourceIp, &alert.SourceIp},
        {kLabelSourceName, &alert.SourceName},
    };
    int last = -1;
    for (int i = 0; i < 3; ++i)
        if (!sources[i].second->empty()) last = i;
    for (int i = 0; i <= last; ++i) line(sources[i].first, *sources[i].second, "\n\n");
    line(kLabelDescription, description, "");
    return out;
}

std::string JoinDetails(const std::vector<DetailsPiece>& pieces) {
    std::string s;
    for (const DetailsPiece& p : pieces) s += p.text;
    return s;
}

std::uint32_t IpToHostOrder(std::string_view text) {
    constexpr std::uint32_t kNone = 0xFFFFFFFFu;
    std::uint32_t value = 0;
    const char* p = text.data();
    const char* end = p + text.size();
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (p == end || *p != '.') return kNone;
            ++p;
        }
        const char* start = p;
        while (p != end && *p >= '0' && *p <= '9' && p - start < 3) ++p;
        if (p == start || (p != end && *p >= '0' && *p <= '9')) return kNone;
        unsigned byte = 0;
        std::from_chars(start, p, byte);
        if (byte > 255) return kNone;
        value = value << 8 | byte;
    }
    return p == end ? value : kNone;
}

AlertSortState& SharedAlertSort() {
    static AlertSortState state;
    return state;
}

bool AlertRowLess(const AlertRow& a, const AlertRow& b, int column, bool ascending) {
    const AlertRow& x = ascending ? a : b;
    const AlertRow& y = ascending ? b : a;
    switch (column) {
        case 0: return AlertKeyOrder(x.key) < AlertKeyOrder(y.key);
        case 2: return IpToHostOrder(x.cells[2]) < IpToHostOrder(y.cells[2]);
        default:
            if (column < 0 || column >= kAlertColumns) return false;
            return ReportCellLess(x.cells[column], y.cells[column]);
    }
}

void SortAlertRows(std::vector<AlertRow>& rows, const AlertSortState& sort) {
    std::stable_sort(rows.begin(), rows.end(), [&sort](const AlertRow& a, const AlertRow& b) {
        return AlertRowLess(a, b, sort.column, sort.ascending);
    });
}

ReportTable AlertReportTable(const std::vector<AlertRow>& rows) {
    ReportTable table;
    for (int c = 0; c < kAlertColumns; ++c) {
        table.headers.emplace_back(kAlertColumnNames[c]);
        table.widths.push_back(kAlertReportWidths[c]);
    }
    table.rows.reserve(rows.size());
    for (const AlertRow& r : rows) table.rows.emplace_back(r.cells.begin(), r.cells.end());
    return table;
}

std::string AlertReportCaption(std::uint32_t mode) {
    return mode == kPreventionAlertsMode ? "Prevention alerts report" : "Detection alerts report";
}

std::string AlertReportTitle(std::uint32_t mode) {
    return mode == kPreventionAlertsMode ? "Tarvell - prevention alerts report"
                                         : "Tarvell - detection alerts report";
}

std::string ArchiveFileName(std::string name) {
    if (!name.ends_with(".log")) name += ".log";
    return name;
}

}  // namespace tarvell
