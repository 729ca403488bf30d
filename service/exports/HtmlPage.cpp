// The export page text. The structure is that of the list control page the viewer's users know;
// what it adds is the escaping of every text and the plain table inside the control's element.
#include "service/exports/HtmlPage.h"

#include <cstdio>

#include "platform/DateText.h"
#include "platform/Text.h"

namespace tarvell {
namespace {

constexpr const char* kEol = "\r\n";

// The list control's parameters, in the order they are written.
constexpr std::pair<const char*, const char*> kListParams[] = {
    {"_ExtentX", "6853"},
    {"_ExtentY", "3545"},
    {"SortKey", "0"},
    {"View", "3"},
    {"Arrange", "0"},
    {"LabelEdit", "-1"},
    {"SortOrder", "0"},
    {"Sorted", "0"},
    {"MultiSelect", "0"},
    {"LabelWrap", "-1"},
    {"HideSelection", "-1"},
    {"HideColumnHeaders", "0"},
    {"OLEDragMode", "0"},
    {"OLEDropMode", "0"},
    {"AllowReorder", "0"},
    {"Checkboxes", "0"},
    {"FlatScrollBar", "0"},
    {"FullRowSelect", "1"},
    {"GridLines", "1"},
    {"HotTracking", "0"},
    {"HoverSelection", "0"},
    {"PictureAlignment", "0"},
    {"TextBackground", "0"},
    {"_Version", "393217"},
    {"ForeColor", "-2147483640"},
    {"BackColor", "-2147483643"},
    {"BorderStyle", "1"},
    {"Appearance", "1"},
    {"MousePointer", "0"},
    {"Enabled", "1"},
    {"NumItems", "0"},
};

constexpr const char* kPrintBefore1 =
    "function OnBeforePrint() {list.style.display = \"none\"; printHeader = "
    "printTable.insertRow(); for (column = 1; column <= list.columnheaders.count; column++) "
    "{cellHeader = printHeader.insertCell(); cellHeader.innerText = "
    "list.columnheaders(column).text; cellHeader.width = list.columnheaders(column).width; "
    "cellHeader.style.border = \"1px solid black\";}";
constexpr const char* kPrintBefore2 =
    "for (row = 1; row <= list.listitems.count; row++) {printItem = printTable.insertRow(); "
    "for (cell = 0; cell < list.columnheaders.count; cell++) {printCell = "
    "printItem.insertCell(); if (cell == 0) text = list.listitems(row).text; else text = "
    "list.listitems(row).subitems(cell); if (text.length > 0) printCell.innerText = text; "
    "else printCell.innerText = \" \"; printCell.style.border = \"1px solid black\";}}}";
constexpr const char* kPrintAfter =
    "function OnAfterPrint() {for (row = printTable.rows.length - 1; row >= 0; row--) "
    "printTable.deleteRow(row); list.style.display = \"inline\";}";

std::uint32_t CodePoint(char byte) { return Cp1252CodePoint(static_cast<unsigned char>(byte)); }

void AppendHex(std::string& out, const char* format, std::uint32_t value) {
    // Only the few characters that need it come here; plain text is appended byte by byte.
    char text[16];
    std::snprintf(text, sizeof text, format, static_cast<unsigned>(value));
    out += text;
}

std::string Decimal(std::size_t n) { return FormatLong(static_cast<std::int64_t>(n)); }

}  // namespace

void AppendScriptEscaped(std::string& out, std::string_view bytes) {
    for (char byte : bytes) {
        const std::uint32_t cp = CodePoint(byte);
        switch (cp) {
            case '\\':
            case '\'':
            case '"':
            case '<':
            case '>':
            case '&': AppendHex(out, "\\x%02X", cp); continue;
            default: break;
        }
        if (cp < 0x20 || cp == 0x7F) AppendHex(out, "\\x%02X", cp);
        else if (cp < 0x80) out += static_cast<char>(cp);
        else AppendHex(out, "\\u%04X", cp);  // Windows-1252 has no code point above U+FFFF
    }
}

void AppendPageText(std::string& out, std::string_view bytes) {
    for (char byte : bytes) {
        const std::uint32_t cp = CodePoint(byte);
        switch (cp) {
            case '&': out += "&amp;"; continue;
            case '<': out += "&lt;"; continue;
            case '>': out += "&gt;"; continue;
            case '"': out += "&quot;"; continue;
            case '\'': out += "&#39;"; continue;
            case '\t':
            case '\n':
            case '\r': out += static_cast<char>(cp); continue;
            default: break;
        }
        if (cp < 0x20 || (cp >= 0x7F && cp < 0xA0)) out += "&#xFFFD;";
        else if (cp < 0x80) out += static_cast<char>(cp);
        else AppendHex(out, "&#%u;", cp);
    }
}

std::string ScriptStringEscape(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    AppendScriptEscaped(out, bytes);
    return out;
}

std::string EscapePageHtml(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    AppendPageText(out, bytes);
    return out;
}

std::string PageNameProblem(std::string_view name) {
    if (name.empty()) return "the name is empty";
    if (name.size() > kMaxPageNameBytes) return "the name is longer than 200 bytes";
    if (name == "." || name.find("..") != std::string_view::npos) return "the name holds \"..\"";
    if (name.find_first_of("/\\") != std::string_view::npos)
        return "the name holds a folder separator";
    for (char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return "the name holds a control character";
    return {};
}

std::string BuildPageHead(const HtmlPageInput& input, const std::vector<ExportRow>& rows) {
    const std::vector<std::size_t> shown = ShownPositions(input.columns);
    // Room for the whole page at once (each value appears twice, with per-cell markup), so a
    // large page is not copied again and again while it grows.
    std::size_t estimate = 8192;
    for (const ExportRow& row : rows)
        for (std::size_t pos : shown) estimate += 2 * row.values[pos].size() + 80;
    std::string page;
    page.reserve(estimate + estimate / 8);
    page +=
        "<body onclick=\"list.focus()\" onresize=\"location.reload()\" "
        "onbeforeprint=\"OnBeforePrint()\" onafterprint=\"OnAfterPrint()\">";
    page += kEol;
    page +=
        "<p><font size=\"5\" color=\"#EB2800\" face=\"arial\"><b>Tarvell</b><br><font "
        "size=\"1\" color=\"#535353\" face=\"arial\"><b>";
    page += EscapePageHtml(input.pageName) + " report for " +
            EscapePageHtml(FormatUserDateTime(input.now));
    page += "</b></font></p>";
    page += kEol;
    page +=
        "<table width=\"100%\"><tr style=\"font:normal normal normal 8pt tahoma\"><td "
        "align=\"left\"><b><div id=\"header\"></div></b></td></tr></table>";
    page += kEol;
    page +=
        "<table id=\"printTable\" cellspacing=\"0\" style=\"border:2px solid black;"
        "font:normal normal normal 8pt tahoma;\"></table>";
    page += kEol;
    page +=
        "<OBJECT id=\"list\" classid=\"clsid:BDD1F04B-858B-11D1-B16A-00C0F0283628\" "
        "codebase=\"MSCOMCTL.CAB\" VIEWASTEXT>";
    page += kEol;
    page += "<PARAM NAME=\"LPKPath\" value=\"/listview.lpk\">";
    page += kEol;
    for (const auto& [name, value] : kListParams) {
        page += std::string("<PARAM NAME=\"") + name + "\" VALUE=\"" + value + "\">";
        page += kEol;
    }
    // What a browser without the control shows: the same rows as a plain table.
    page +=
        "<table id=\"fallback\" cellspacing=\"0\" style=\"border:1px solid black;"
        "font:normal normal normal 8pt tahoma;\">";
    page += kEol;
    page += "<tr>";
    for (std::size_t pos : shown) page += "<th>" + EscapePageHtml(input.columns[pos]) + "</th>";
    page += "</tr>";
    page += kEol;
    for (const ExportRow& row : rows) {
        page += "<tr>";
        for (std::size_t pos : shown) {
            page += "<td>";
            AppendPageText(page, row.values[pos]);
            page += "</td>";
        }
        page += "</tr>";
        page += kEol;
    }
    page += "</table>";
    page += kEol;
    page += "</OBJECT>";
    page += kEol;
    for (const char* line :
         {"<script language=\"JavaScript\">", "list.font.size = 8;", "list.font = \"Arial\";",
          "list.ListItems.Clear();", "list.columnheaders.clear();"}) {
        page += line;
        page += kEol;
    }
    std::size_t k = 0;
    for (std::size_t pos : shown) {
        const std::string title = ScriptStringEscape(input.columns[pos]);
        page +=
            "list.columnheaders.Add(" + Decimal(++k) + ", '" + title + "', '" + title + "', 100);";
        page += kEol;
    }
    page += "list.width = " + Decimal(5 + 100 * shown.size()) + ";";
    page += kEol;
    return page;
}

void AppendPageRows(std::string& page, const HtmlPageInput& input,
                    const std::vector<ExportRow>& rows) {
    const std::vector<std::size_t> shown = ShownPositions(input.columns);
    for (const ExportRow& row : rows) {
        std::size_t n = 0;
        for (std::size_t pos : shown) {
            if (n == 0) {
                page += "list.ListItems.add(list.ListItems.count + 1,'','";
                AppendScriptEscaped(page, row.values[pos]);
                page += "', 0, 0);";
            } else {
                page += "list.ListItems(list.ListItems.count).SubItems(";
                page += Decimal(n);
                page += ") = '";
                AppendScriptEscaped(page, row.values[pos]);
                page += "';";
            }
            page += kEol;
            ++n;
        }
    }
}

void AppendPageTail(std::string& page) {
    for (const char* line :
         {"list.height = list.ListItems.count * 15 + 40;",
          "header.innerText = \"Displayed items: \" + list.ListItems.count;", kPrintBefore1,
          kPrintBefore2, kPrintAfter, "</script>", "<script language=\"VBScript\">",
          "Sub list_ColumnClick(header)",
          "If list.SortOrder = 0 Then list.SortOrder = 1 Else list.SortOrder = 0 End If",
          "list.SortKey = header.Index - 1", "list.Sorted = True", "End Sub", "</script>"}) {
        page += line;
        page += kEol;
    }
    page += kEol;
    page += "</body>";
}

std::string BuildPage(const HtmlPageInput& input, const std::vector<ExportRow>& rows) {
    std::string page = BuildPageHead(input, rows);
    AppendPageRows(page, input, rows);
    AppendPageTail(page);
    return page;
}

}  // namespace tarvell
