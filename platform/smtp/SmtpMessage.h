// The bytes of one mail as the client puts them on the wire between DATA and the final ".":
// the header block and the body, from texts that may hold anything a node or a user typed.
//
// Header values (subject, addresses) never carry a line end: CR, LF and NUL become blanks, so a
// text cannot end the header block or start a header of its own. A subject with 8-bit or
// control bytes, or one too long for a header line, is written as RFC 2047 encoded words. The
// body's lines all end in CR LF and a line that starts with "." gets a second one, so no text
// can end the message early; lines too long for SMTP (998 bytes) are sent quoted-printable.
// The texts handed in are UTF-8 and declared as such.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarvell::smtp {

struct MailContent {
    std::string sender;                   // address only, UTF-8
    std::vector<std::string> recipients;  // addresses, UTF-8
    std::string subject;                  // UTF-8
    std::string body;                     // UTF-8, lines ending in CR LF, LF or CR
    bool html = false;
};

// A header value with CR, LF and NUL turned into blanks.
std::string CleanHeaderValue(std::string_view value);

// "Tue, 01 Dec 2026 09:05:03 +0100": the local time `seconds` since 1970 (RFC 5322).
std::string FormatDateHeader(std::int64_t seconds);

// The subject as it follows "Subject: ": as it stands when it is short printable ASCII, else
// "=?UTF-8?B?...?=" words (whole UTF-8 characters each) folded onto continuation lines.
std::string EncodeSubject(std::string_view utf8);

struct EncodedBody {
    std::string transferEncoding;  // "7bit", "8bit" or "quoted-printable"
    std::string wire;              // every line ends in CR LF, dot-stuffed; empty for no body
};
EncodedBody EncodeBody(std::string_view utf8);

// The header block with its closing empty line, for a body with the given transfer encoding.
std::string FormatHeaders(const MailContent& mail, std::string_view transferEncoding,
                          std::int64_t now);

// Headers, body and the closing ".\r\n": everything sent after the server's 354.
std::string FormatMessageData(const MailContent& mail, std::int64_t now);

}  // namespace tarvell::smtp
