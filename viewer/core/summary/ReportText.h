// The texts of the information and report dialogs: the report's summary line, the HTML table it
// prints, its comma- or tab-separated export, the separator markers of information pages, and
// the sort order that all report dialogs share. Texts are UTF-8; cells come from the service's
// records (node, user and device names are whatever the network sent), so every cell, heading
// and title is escaped into HTML and quoted into CSV here, never by the caller.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Text.h"

namespace tarvell {

// & < > " ' as entities; every other byte unchanged. The Append form adds to `out`.
std::string HtmlEscape(std::string_view text);

struct ReportTable {
    std::vector<std::string> headers;
    std::vector<int> widths;                     // each header column's width in pixels
    std::vector<std::vector<std::string>> rows;  // one text per column; missing cells read empty
};

// "There are currently no available results." for no rows, else
// "Report created at <dateTime> includes <rows> results."
std::string ReportSummaryText(std::size_t rows, std::string_view dateTime);

// The printable page: the title as heading, the summary in bold, and a bordered table with the
// header row and one row per report row (an empty cell as "&nbsp;").
std::string BuildReportHtml(std::string_view title, std::string_view summary,
                            const ReportTable& table);

// How an export is written, chosen by the file name's extension (case-insensitive): ".csv"
// comma-separated, ".txt" tab-separated, anything else neither.
enum class ExportKind { Csv, Txt, Other };
ExportKind ExportKindOf(std::string_view path);
char ExportSeparator(ExportKind kind);  // ',' for Csv and Other, '\t' for Txt

// One cell as written between separators: quoted (its quotes doubled) only when it holds the
// separator, a quote or a line break; any other cell is written byte for byte.
std::string QuoteCell(std::string_view cell, char separator);
void AppendQuotedCell(std::string& out, std::string_view cell, char separator);

// The header line and one line per row, cells joined by the separator, each line ended by CRLF.
std::string BuildReportExport(const ReportTable& table, char separator);

// An information page's exported text: pages that want columns write "[sep]" between the cells
// of a line. For Csv and Txt each line holding the marker becomes its cells, quoted as above and
// joined by "," or a tab; lines without a marker, and every line for Other, stay as they are.
inline constexpr std::string_view kSeparatorMarker = "[sep]";
std::string ExportInformationText(std::string_view text, ExportKind kind);

// ---- sort order shared by every report dialog of the process (user-interface thread only)

struct ReportSortState {
    int column = 0;
    bool ascending = false;
    // A click on `c`: the column becomes c and the direction flips, whichever column it was, so
    // the first click in a new dialog continues from the last direction used.
    void Click(int c) {
        column = c;
        ascending = !ascending;
    }
};
ReportSortState& SharedReportSort();

// Byte by byte as unsigned characters (for UTF-8 that is code point order).
bool ReportCellLess(std::string_view a, std::string_view b);

}  // namespace tarvell
