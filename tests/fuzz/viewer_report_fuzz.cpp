// libFuzzer target: the report and information exports and the HTML escaping over any bytes (cell
// texts come from the network). Escaped text never holds a markup character; a report's export
// read back by a strict RFC 4180 reader gives every cell again; a page without markers is
// exported byte for byte.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "viewer/core/summary/ReportText.h"

namespace {

std::vector<std::vector<std::string>> ReadExport(const std::string& text, char sep) {
    std::vector<std::vector<std::string>> lines(1, std::vector<std::string>(1));
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        std::string& cell = lines.back().back();
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') cell += '"', ++i;
            else if (c == '"') quoted = false;
            else cell += c;
        } else if (c == '"' && cell.empty()) {
            quoted = true;
        } else if (c == sep) {
            lines.back().emplace_back();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            lines.emplace_back(1);
            ++i;
        } else {
            cell += c;
        }
    }
    lines.pop_back();
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarvell;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string escaped = HtmlEscape(text);
    if (escaped.find_first_of("<>\"'") != std::string::npos) std::abort();

    // Cells: the input cut at byte 0x1f; columns: the first byte (1..4).
    const std::size_t columns = size == 0 ? 1 : 1 + data[0] % 4;
    ReportTable table;
    for (std::size_t c = 0; c < columns; ++c) table.headers.push_back("h");
    std::vector<std::string> cells(1);
    for (std::size_t i = size == 0 ? 0 : 1; i < size; ++i) {
        if (data[i] == 0x1f) cells.emplace_back();
        else cells.back() += static_cast<char>(data[i]);
    }
    for (std::size_t i = 0; i < cells.size(); i += columns) {
        std::vector<std::string> row;
        for (std::size_t c = 0; c < columns; ++c)
            row.push_back(i + c < cells.size() ? cells[i + c] : std::string());
        table.rows.push_back(row);
    }
    for (const char sep : {',', '\t'}) {
        std::vector<std::vector<std::string>> expected{table.headers};
        expected.insert(expected.end(), table.rows.begin(), table.rows.end());
        if (ReadExport(BuildReportExport(table, sep), sep) != expected) std::abort();
    }
    const std::string html = BuildReportHtml(text, text, table);
    if (html.find("<script") != std::string::npos) std::abort();

    if (ExportInformationText(text, ExportKind::Other) != text) std::abort();
    if (text.find(kSeparatorMarker) == std::string::npos &&
        ExportInformationText(text, ExportKind::Csv) != text)
        std::abort();
    (void)ExportInformationText(text, ExportKind::Txt);
    (void)ExportKindOf(text);
    return 0;
}
