#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "viewer/core/summary/ReportText.h"

namespace tarvell {
namespace {

ReportTable Table() {
    ReportTable t;
    t.headers = {"Date", "Device Name", "Description"};
    t.widths = {120, 120, 200};
    t.rows = {{"1/2/2026 3:04:05 PM", "core, floor 2", "New Mac aa discovered."},
              {"1/2/2026", "", "say \"hi\""}};
    return t;
}

// ---- summary and HTML

TEST(ReportText, TheSummarySaysWhenThereIsNothing) {
    EXPECT_EQ(ReportSummaryText(0, "1/2/2026 3:04:05 PM"),
              "There are currently no available results.");
    EXPECT_EQ(ReportSummaryText(3, "1/2/2026 3:04:05 PM"),
              "Report created at 1/2/2026 3:04:05 PM includes 3 results.");
}

TEST(ReportText, AnEmptyReportPrintsOnlyTheHeaderRow) {
    ReportTable t = Table();
    t.rows.clear();
    const std::string html =
        BuildReportHtml("Tarvell - detection report", ReportSummaryText(0, ""), t);
    EXPECT_NE(html.find("<h1>Tarvell - detection report</h1>"), std::string::npos);
    EXPECT_NE(html.find("<div><b>There are currently no available results.</b></div>"),
              std::string::npos);
    EXPECT_NE(html.find("<td style=\"width:120;border:1px solid black\">Date</td>"),
              std::string::npos);
    size_t rows = 0;
    for (size_t at = html.find("<tr>"); at != std::string::npos; at = html.find("<tr>", at + 1))
        ++rows;
    EXPECT_EQ(rows, 1u);
    EXPECT_NE(html.rfind("</table></p>"), std::string::npos);
}

// Node, user and device names come from the network: no cell may open a tag.
TEST(ReportText, EveryCellHeadingAndTitleIsEscaped) {
    ReportTable t;
    t.headers = {"<b>Name</b>"};
    t.widths = {10};
    t.rows = {{"<script>alert('x')</script>&"}, {""}};
    const std::string html = BuildReportHtml("a<b", "c&d", t);
    EXPECT_EQ(html.find("<script>"), std::string::npos);
    EXPECT_EQ(html.find("<b>Name"), std::string::npos);
    EXPECT_NE(html.find("&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;&amp;"), std::string::npos);
    EXPECT_NE(html.find("<h1>a&lt;b</h1>"), std::string::npos);
    EXPECT_NE(html.find("c&amp;d"), std::string::npos);
    EXPECT_NE(html.find(">&nbsp;</td>"), std::string::npos);
}

// ---- export

TEST(ReportExport, TheExtensionChoosesTheSeparator) {
    const struct {
        const char* path;
        ExportKind kind;
    } cases[] = {{"/tmp/a.csv", ExportKind::Csv},     {"/tmp/A.CSV", ExportKind::Csv},
                 {"/tmp/a.txt", ExportKind::Txt},     {"/tmp/a.csv.txt", ExportKind::Txt},
                 {"/tmp/a.txt.csv", ExportKind::Csv}, {"/tmp/x.csv/a", ExportKind::Other},
                 {"/tmp/a.dat", ExportKind::Other},   {"a", ExportKind::Other}};
    for (const auto& c : cases) EXPECT_EQ(ExportKindOf(c.path), c.kind) << c.path;
    EXPECT_EQ(ExportSeparator(ExportKind::Csv), ',');
    EXPECT_EQ(ExportSeparator(ExportKind::Txt), '\t');
}

TEST(ReportExport, OnlyCellsThatNeedItAreQuoted) {
    const struct {
        const char* cell;
        char sep;
        const char* out;
    } cases[] = {{"plain", ',', "plain"},
                 {"a,b", ',', "\"a,b\""},
                 {"a,b", '\t', "a,b"},
                 {"a\tb", '\t', "\"a\tb\""},
                 {"say \"hi\"", ',', "\"say \"\"hi\"\"\""},
                 {"two\r\nlines", ',', "\"two\r\nlines\""},
                 {"", ',', ""},
                 {" lead ", ',', " lead "},
                 {"\xe9t\xe9", ',', "\xe9t\xe9"}};
    for (const auto& c : cases) EXPECT_EQ(QuoteCell(c.cell, c.sep), c.out) << c.cell;
}

TEST(ReportExport, CsvAndTabTextsHaveTheHeaderAndOneLinePerRow) {
    EXPECT_EQ(BuildReportExport(Table(), ','),
              "Date,Device Name,Description\r\n"
              "1/2/2026 3:04:05 PM,\"core, floor 2\",New Mac aa discovered.\r\n"
              "1/2/2026,,\"say \"\"hi\"\"\"\r\n");
    EXPECT_EQ(BuildReportExport(Table(), '\t'),
              "Date\tDevice Name\tDescription\r\n"
              "1/2/2026 3:04:05 PM\tcore, floor 2\tNew Mac aa discovered.\r\n"
              "1/2/2026\t\t\"say \"\"hi\"\"\"\r\n");
}

// A strict reader of the export's form (RFC 4180 with CRLF lines), for the round trip below.
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
    lines.pop_back();  // after the last CRLF
    return lines;
}

// Cells of random bytes drawn mostly from the troublesome ones come back unchanged.
TEST(ReportExport, RandomTablesReadBackCellForCell) {
    std::mt19937 rng(24);
    const std::string alphabet = std::string("ab ,\t\"\r\n;x\xe9") + '\0';
    for (int round = 0; round < 500; ++round) {
        ReportTable t;
        const int columns = 1 + static_cast<int>(rng() % 5);
        for (int c = 0; c < columns; ++c) t.headers.push_back("h" + std::to_string(c));
        for (int r = static_cast<int>(rng() % 6); r > 0; --r) {
            std::vector<std::string> row;
            for (int c = 0; c < columns; ++c) {
                std::string cell;
                for (int n = static_cast<int>(rng() % 7); n > 0; --n)
                    cell += alphabet[rng() % alphabet.size()];
                row.push_back(cell);
            }
            t.rows.push_back(row);
        }
        for (const char sep : {',', '\t'}) {
            std::vector<std::vector<std::string>> expected{t.headers};
            expected.insert(expected.end(), t.rows.begin(), t.rows.end());
            ASSERT_EQ(ReadExport(BuildReportExport(t, sep), sep), expected) << round;
        }
    }
}

TEST(InformationExport, SeparatorMarkersBecomeCommasOrTabsByExtension) {
    const std::string text = "Title line, with a comma\nA[sep]B, C[sep]D\r\nlast";
    EXPECT_EQ(ExportInformationText(text, ExportKindOf("/x/page.csv")),
              "Title line, with a comma\nA,\"B, C\",D\r\nlast");
    EXPECT_EQ(ExportInformationText(text, ExportKindOf("/x/page.txt")),
              "Title line, with a comma\nA\tB, C\tD\r\nlast");
    EXPECT_EQ(ExportInformationText(text, ExportKindOf("/x/page.htm")), text);
    EXPECT_EQ(ExportInformationText("[sep][sep]\n", ExportKind::Csv), ",,\n");
}

// ---- shared sort

TEST(ReportSort, TheSameColumnTwiceReversesAndTheDirectionCarriesOn) {
    ReportSortState& shared = SharedReportSort();
    shared = ReportSortState{};
    shared.Click(2);
    EXPECT_EQ(shared.column, 2);
    EXPECT_TRUE(shared.ascending);
    shared.Click(2);
    EXPECT_FALSE(shared.ascending);
    shared.Click(0);  // another column, or a second dialog, flips from the last direction
    EXPECT_EQ(shared.column, 0);
    EXPECT_TRUE(shared.ascending);
    EXPECT_EQ(&shared, &SharedReportSort());
}

TEST(ReportSort, CellsCompareAsUnsignedBytes) {
    std::vector<std::string> cells = {"b", "B", "\xc3\xa9t\xc3\xa9", "a", "", "ab"};
    std::stable_sort(cells.begin(), cells.end(), [](const std::string& x, const std::string& y) {
        return ReportCellLess(x, y);
    });
    EXPECT_EQ(cells, (std::vector<std::string>{"", "B", "a", "ab", "b", "\xc3\xa9t\xc3\xa9"}));
}

}  // namespace
}  // namespace tarvell
