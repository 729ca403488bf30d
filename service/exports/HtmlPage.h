// The text of an export page: the list control's page with its title line, header and print
// tables, the control with its parameters, the script that fills it and the print and sort
// scripts. Inside the control's element a plain table holds the same rows, so a browser
// without the control shows them too.
//
// Every stored text (Windows-1252 bytes) crosses into the page escaped: inside the script's
// string literals as \xNN / \uNNNN (so neither a quote, a line break nor "</script>" can end
// the literal or the block), in HTML text and attributes as entities. The page is therefore
// plain ASCII whatever the texts hold.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "service/exports/ExportRows.h"

namespace tarvell {

// A Windows-1252 text as the inside of a single-quoted script string.
std::string ScriptStringEscape(std::string_view bytes);
// A Windows-1252 text as HTML text or attribute value.
std::string EscapePageHtml(std::string_view bytes);

// Longest page name accepted (it becomes a file name with ".htm" appended).
inline constexpr std::size_t kMaxPageNameBytes = 200;

// Why a page name cannot name a file in the export folder, or empty when it can: a name must
// not be empty, be "." or "..", hold "/", "\" or ".." or a control byte, or be longer than
// kMaxPageNameBytes.
std::string PageNameProblem(std::string_view name);

struct HtmlPageInput {
    ExportKind kind = ExportKind::Events;
    std::string pageName;              // title line
    std::vector<std::string> columns;  // nine titles, empty = not shown
    std::int64_t now = 0;              // time of writing, seconds since 1970
};

// The part of the page up to and including the column headers.
std::string BuildPageHead(const HtmlPageInput& input, const std::vector<ExportRow>& rows);
// The script rows of the records.
void AppendPageRows(std::string& page, const HtmlPageInput& input,
                    const std::vector<ExportRow>& rows);
// The tail: list size, item count, print and sort scripts, end of body.
void AppendPageTail(std::string& page);
// Head, rows and tail together.
std::string BuildPage(const HtmlPageInput& input, const std::vector<ExportRow>& rows);

}  // namespace tarvell
