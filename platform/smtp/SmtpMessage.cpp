#include "platform/smtp/SmtpMessage.h"

#include <algorithm>
#include <ctime>

#include "platform/smtp/Base64.h"

namespace tarvell::smtp {

namespace {

// RFC 5321: a line of text is at most 998 bytes before its CR LF.
constexpr std::size_t kMaxLineBytes = 998;
// A subject longer than this is folded into encoded words (with "Subject: " in front the line
// still fits comfortably).
constexpr std::size_t kMaxPlainSubject = 900;
// UTF-8 bytes per encoded word: 45 bytes are 60 Base64 characters, 72 with "=?UTF-8?B?" and
// "?=", within RFC 2047's 75.
constexpr std::size_t kEncodedWordBytes = 45;
// Quoted-printable lines: at most 76 characters with the soft break "=".
constexpr std::size_t kQpLineChars = 76;

const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::string TwoDigits(int v) {
    std::string s(2, '0');
    s[0] = static_cast<char>('0' + (v / 10) % 10);
    s[1] = static_cast<char>('0' + v % 10);
    return s;
}

// The lines of a text: split at CR LF, LF or a lone CR; a final line end adds no empty line.
std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start =
            end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
    }
    return lines;
}

void AppendStuffedLine(std::string& wire, std::string_view line) {
    if (!line.empty() && line[0] == '.') wire.push_back('.');
    wire.append(line);
    wire.append("\r\n");
}

// One line as quoted-printable with soft breaks, each piece dot-stuffed, appended to wire.
void AppendQuotedPrintable(std::string& wire, std::string_view line) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string piece;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(line[i]);
        const bool last = i + 1 == line.size();
        std::string token;
        if ((c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !last)) {
            token.push_back(static_cast<char>(c));
        } else {
            token = {'=', kHex[c >> 4], kHex[c & 15]};
        }
        if (piece.size() + token.size() > kQpLineChars - 1) {
            piece.push_back('=');
            AppendStuffedLine(wire, piece);
            piece.clear();
        }
        piece += token;
    }
    AppendStuffedLine(wire, piece);
}

bool NeedsEncodedWords(std::string_view subject) {
    if (subject.size() > kMaxPlainSubject) return true;
    if (subject.find("=?") != std::string_view::npos) return true;
    for (const char ch : subject) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c >= 0x80 || (c < 0x20 && c != '\t') || c == 0x7F) return true;
    }
    return false;
}

// Length of the UTF-8 sequence that starts with the byte (1 for a stray continuation byte).
std::size_t Utf8Length(unsigned char lead) {
    if (lead >= 0xF0 && lead < 0xF8) return 4;
    if (lead >= 0xE0) return lead < 0xF0 ? 3 : 1;
    if (lead >= 0xC0) return 2;
    return 1;
}

}  // namespace

std::string CleanHeaderValue(std::string_view value) {
    std::string out(value);
    for (char& c : out)
        if (c == '\r' || c == '\n' || c == '\0') c = ' ';
    return out;
}

std::string FormatDateHeader(std::int64_t seconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    if (!localtime_r(&t, &tm)) return {};
    long offset = tm.tm_gmtoff / 60;
    const char sign = offset < 0 ? '-' : '+';
    if (offset < 0) offset = -offset;
    return std::string(kDays[tm.tm_wday % 7]) + ", " + TwoDigits(tm.tm_mday) + " " +
           kMonths[tm.tm_mon % 12] + " " + std::to_string(tm.tm_year + 1900) + " " +
           TwoDigits(tm.tm_hour) + ":" + TwoDigits(tm.tm_min) + ":" + TwoDigits(tm.tm_sec) + " " +
           sign + TwoDigits(static_cast<int>(offset / 60)) +
           TwoDigits(static_cast<int>(offset % 60));
}

std::string EncodeSubject(std::string_view utf8) {
    const std::string clean = CleanHeaderValue(utf8);
    if (!NeedsEncodedWords(clean)) return clean;
    std::string out;
    std::size_t at = 0;
    while (at < clean.size()) {
        std::size_t end = at;
        while (end < clean.size()) {
            const std::size_t len = Utf8Length(static_cast<unsigned char>(clean[end]));
            if (end + len - at > kEncodedWordBytes && end > at) break;
            end = std::min(end + len, clean.size());
        }
        if (!out.empty()) out += "\r\n ";
        out += "=?UTF-8?B?" + Base64Encode(std::string_view(clean).substr(at, end - at)) + "?=";
        at = end;
    }
    return out;
}

EncodedBody EncodeBody(std::string_view utf8) {
    const std::vector<std::string_view> lines = SplitLines(utf8);
    bool eightBit = false, needsQp = false;
    for (const std::string_view line : lines) {
        if (line.size() > kMaxLineBytes) needsQp = true;
        for (const char c : line) {
            if (static_cast<unsigned char>(c) >= 0x80) eightBit = true;
            if (c == '\0') needsQp = true;
        }
    }
    EncodedBody body;
    body.transferEncoding = needsQp ? "quoted-printable" : eightBit ? "8bit" : "7bit";
    std::size_t size = 0;
    for (const std::string_view line : lines) size += line.size() + 3;
    body.wire.reserve(needsQp ? size * 3 / 2 : size);
    for (const std::string_view line : lines) {
        if (needsQp) AppendQuotedPrintable(body.wire, line);
        else AppendStuffedLine(body.wire, line);
    }
    return body;
}

std::string FormatHeaders(const MailContent& mail, std::string_view transferEncoding,
                          std::int64_t now) {
    std::string h;
    h += "Date: " + FormatDateHeader(now) + "\r\n";
    h += "From:  <" + CleanHeaderValue(mail.sender) + ">\r\n";
    h += "X-Priority: 3 (Normal)\r\n";
    h += "To: ";
    for (std::size_t i = 0; i < mail.recipients.size(); ++i) {
        if (i) h += ",";
        h += "<" + CleanHeaderValue(mail.recipients[i]) + ">";
    }
    h += "\r\n";
    h += mail.subject.empty() ? std::string("Subject:  \r\n")
                              : "Subject: " + EncodeSubject(mail.subject) + "\r\n";
    h += "MIME-Version: 1.0\r\n";
    h += mail.html ? "Content-Type: text/html; charset=\"UTF-8\"\r\n"
                   : "Content-type: text/plain; charset=\"UTF-8\"\r\n";
    h += "Content-Transfer-Encoding: " + std::string(transferEncoding) + "\r\n";
    h += "\r\n";
    return h;
}

std::string FormatMessageData(const MailContent& mail, std::int64_t now) {
    const EncodedBody body = EncodeBody(mail.body);
    std::string data = FormatHeaders(mail, body.transferEncoding, now);
    data += body.wire;
    data += ".\r\n";
    return data;
}

}  // namespace tarvell::smtp
