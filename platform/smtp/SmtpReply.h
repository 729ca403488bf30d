// Reading a mail server's replies out of the bytes it sends. A reply is one or more lines; it is
// complete at its first line that starts with three digits followed by a blank or the line end
// ("250-SIZE" continues, "250 OK" ends). Lines end in CR LF; a bare LF is taken as well. Lines
// before the final one that are not "ddd-" continuations are kept as text and otherwise ignored.
//
// The server is not trusted: a reply that grows past kMaxReplyBytes without ending is an error,
// not an allocation without bound. Bytes after the end of a reply stay for the next one.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace tarvell::smtp {

struct SmtpReply {
    int code = 0;      // the three digits of the final line, 0..999
    std::string text;  // every line of the reply as received, line ends included
};

class SmtpReplyParser {
public:
    static constexpr std::size_t kMaxReplyBytes = 64 * 1024;

    // Adds received bytes; false when the parser has failed. Call Next after every Feed, so the
    // pending bytes stay within kMaxReplyBytes and one received piece.
    bool Feed(std::string_view bytes);
    // The next complete reply, taken out of the pending bytes; nullopt while none is complete.
    // An incomplete reply longer than kMaxReplyBytes makes the parser fail for good.
    std::optional<SmtpReply> Next();
    bool Failed() const { return failed_; }
    // Bytes received beyond the replies taken so far.
    std::size_t Pending() const { return buffer_.size(); }
    void Clear() {
        buffer_.clear();
        scanned_ = 0;
        failed_ = false;
    }

private:
    std::string buffer_;
    std::size_t scanned_ = 0;  // buffer_ up to here holds only non-final complete lines
    bool failed_ = false;
};

// True when `word` stands in the reply as a keyword: compared without regard to case, found at
// a position after the first, preceded by '-', ' ' or '=' and followed by ' ', '=' or a line
// end. "250-AUTH=LOGIN PLAIN" holds AUTH, LOGIN and PLAIN.
bool ReplyContains(std::string_view reply, std::string_view word);

// The first line of a reply without its line end and with every byte outside printable ASCII
// shown as '?', cut to `limit` characters: fit for a log line.
std::string ReplyForLog(std::string_view reply, std::size_t limit = 200);

// The directives of a DIGEST-MD5 challenge (RFC 2831): name=value or name="quoted value" with
// backslash escapes, separated by commas; names in lower case; the first of a repeated name
// counts. nullopt for a quoted value without its closing quote or a directive without "=".
std::optional<std::map<std::string, std::string>> ParseDigestChallenge(std::string_view text);

}  // namespace tarvell::smtp
