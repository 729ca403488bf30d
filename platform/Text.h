// Text helpers in the manner of the C library the system was written against.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarvell {

// "%ld" of a number.
std::string FormatLong(std::int64_t v);
// Case-insensitive (ASCII) comparison: <0, 0, >0 like strcasecmp.
int CompareNoCase(std::string_view a, std::string_view b);
bool EqualsNoCase(std::string_view a, std::string_view b);
std::string ToLowerAscii(std::string_view s);
std::string ToUpperAscii(std::string_view s);
// Splits at any character of `separators`; empty pieces are dropped.
std::vector<std::string> SplitAny(std::string_view text, std::string_view separators);
// Splits at the first occurrence of `sep`: {before, after}; after is empty when sep is absent.
std::pair<std::string, std::string> SplitFirst(std::string_view text, char sep);
std::string Trim(std::string_view s, std::string_view chars = " ");
// The value of a hexadecimal digit (either letter case), or -1.
int HexDigit(char c);
// Like atol: optional blanks, optional sign, decimal digits up to the first non-digit; 0 when
// there are none. Saturates at the 64-bit limits instead of overflowing (times stay valid
// past 2038).
std::int64_t AtoL(std::string_view s);
// The separators of lists typed or imported by the user: tab, CR, LF, ";", "," and blank.
inline constexpr std::string_view kListSeparators = "\t\r\n;, ";

// The stored texts are Windows-1252 bytes. These convert at the boundaries that need UTF-8
// (widgets, HTML, SQL, syslog, mail). Bytes 0x81, 0x8D, 0x8F, 0x90 and 0x9D, which the code
// page leaves unassigned, map to U+0081 etc. and back. Malformed UTF-8 and characters without
// a Windows-1252 byte become '?'.
std::string Cp1252ToUtf8(std::string_view bytes);
// One byte's code point, and a code point's byte ('?' when the code page has none).
char32_t Cp1252CodePoint(unsigned char byte);
char CodePointToCp1252(char32_t cp);

// Text for HTML element content and attribute values: "&", "<", ">", '"' and "'" as entities,
// every other byte as it is.
std::string EscapeHtml(std::string_view text);
void AppendHtmlEscaped(std::string& out, std::string_view text);
std::string Utf8ToCp1252(std::string_view utf8);

}  // namespace tarvell
