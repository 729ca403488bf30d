#include "viewer/core/summary/ReportText.h"

#include <algorithm>

namespace tarvell {
namespace {

std::string_view CellAt(const std::vector<std::string>& row, std::size_t column) {
    return column < row.size() ? std::string_view(row[column]) : std::string_view();
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

void AppendCells(std::string& out, const std::vector<std::string>& cells, std::size_t columns,
                 char separator) {
    for (std::size_t c = 0; c < columns; ++c) {
        if (c > 0) out += separator;
        AppendQuotedCell(out, CellAt(cells, c), separator);
    }
    out += "\r\n";
}

}  // namespace

std::string HtmlEscape(std::string_view text) { return EscapeHtml(text); }

std::string ReportSummaryText(std::size_t rows, std::string_view dateTime) {
    if (rows == 0) return "There are currently no available results.";
    return "Report created at " + std::string(dateTime) + " includes " + std::to_string(rows) +
           " results.";
}

std::string BuildReportHtml(std::string_view title, std::string_view summary,
                            const ReportTable& table) {
    std::string html =
        "<style "
        "type=\"text/"
        "css\">body{font-size:70%;font-family:tahoma;}h1{font-size:120%;font-family:tahoma;}"
        "</style>\r\n<body><h1>";
    html += HtmlEscape(title);
    html += "</h1>\r\n<div><b>";
    html += HtmlEscape(summary);
    // One allocation for the whole page: each cell's tag is about 80 bytes beside its text.
    std::size_t estimate = html.size() + 512 + table.headers.size() * 64;
    for (const std::vector<std::string>& row : table.rows) {
        estimate += 10 + table.headers.size() * 80;
        for (const std::string& cell : row) estimate += cell.size() + cell.size() / 8;
    }
    html.reserve(estimate);
    html +=
        "</b></div>\r\n<table cellspacing=\"0\" style=\"width:100%;border:2px solid black;"
        "font:normal normal normal 8pt tahoma;\"><tr>";
    for (std::size_t c = 0; c < table.headers.size(); ++c) {
        const int width = c < table.widths.size() ? std::max(table.widths[c], 0) : 0;
        html += "<td style=\"width:" + std::to_string(width) + ";border:1px solid black\">";
        html += HtmlEscape(table.headers[c]);
        html += "</td>";
    }
    html += "</tr>";
    static constexpr std::string_view kCell =
        "<td style=\"border-left:1px solid black;border-right:1px solid black\">";
    for (const std::vector<std::string>& row : table.rows) {
        html += "<tr>";
        for (std::size_t c = 0; c < table.headers.size(); ++c) {
            const std::string_view cell = CellAt(row, c);
            html += kCell;
            if (cell.empty()) html += "&nbsp;";
            else AppendHtmlEscaped(html, cell);
            html += "</td>";
        }
        html += "</tr>";
    }
    html += "</table></p>";
    return html;
}

ExportKind ExportKindOf(std::string_view path) {
    const std::size_t slash = path.find_last_of('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot == std::string_view::npos) return ExportKind::Other;
    std::string ext;
    for (const char c : name.substr(dot + 1)) ext += Lower(c);
    if (ext == "csv") return ExportKind::Csv;
    if (ext == "txt") return ExportKind::Txt;
    return ExportKind::Other;
}

char ExportSeparator(ExportKind kind) { return kind == ExportKind::Txt ? '\t' : ','; }

void AppendQuotedCell(std::string& out, std::string_view cell, char separator) {
    const char special[] = {separator, '"', '\r', '\n'};
    if (cell.find_first_of(std::string_view(special, sizeof special)) == std::string_view::npos) {
        out += cell;
        return;
    }
    out += '"';
    for (const char c : cell) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

std::string QuoteCell(std::string_view cell, char separator) {
    std::string out;
    AppendQuotedCell(out, cell, separator);
    return out;
}

std::string BuildReportExport(const ReportTable& table, char separator) {
    const std::size_t columns = table.headers.size();
    std::string text;
    AppendCells(text, table.headers, columns, separator);
    for (const std::vector<std::string>& row : table.rows)
        AppendCells(text, row, columns, separator);
    return text;
}

std::string ExportInformationText(std::string_view text, ExportKind kind) {
    if (kind == ExportKind::Other) return std::string(text);
    const char separator = ExportSeparator(kind);
    std::string out;
    out.reserve(text.size());
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        const bool lastLine = end == std::string_view::npos;
        if (lastLine) end = text.size();
        std::string_view line = text.substr(start, end - start);
        const bool cr = !line.empty() && line.back() == '\r';
        if (cr) line.remove_suffix(1);
        if (line.find(kSeparatorMarker) == std::string_view::npos) {
            out += line;
        } else {
            std::size_t from = 0;
            while (true) {
                const std::size_t marker = line.find(kSeparatorMarker, from);
                AppendQuotedCell(
                    out,
                    line.substr(from, marker == std::string_view::npos ? line.npos : marker - from),
                    separator);
                if (marker == std::string_view::npos) break;
                out += separator;
                from = marker + kSeparatorMarker.size();
            }
        }
        if (cr) out += '\r';
        if (!lastLine) out += '\n';
        start = end + 1;
    }
    return out;
}

ReportSortState& SharedReportSort() {
    static ReportSortState state;
    return state;
}

bool ReportCellLess(std::string_view a, std::string_view b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    });
}

}  // namespace tarvell
