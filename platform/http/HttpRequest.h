// The request side of a minimal HTTP/1.0 and HTTP/1.1 server that answers one request per
// connection from its request line alone: a bounded reader that collects bytes up to the first
// line end, a strict parser of that line, and the look-up of a query parameter. Headers and body
// are never interpreted, so a header line can never pass for a request.
//
// Everything here takes bytes from the network: lengths are bounded, anything outside the
// grammar below is refused with a reason, nothing throws.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tarvell::http {

// Longest method word accepted ("OPTIONS" is 7).
inline constexpr std::size_t kMaxMethodChars = 16;

enum class LineStatus {
    NeedMore,  // no line end yet and room for more bytes
    Complete,  // Line() holds the first line
    TooLong,   // the bound was reached without a line end
};

// Collects the bytes of a connection until the first line end ("\n", with an optional "\r"
// before it). At most `maxBytes` bytes are kept, line end included; bytes after the first line
// end are dropped.
class RequestLineReader {
public:
    explicit RequestLineReader(std::size_t maxBytes) : maxBytes_(maxBytes) {}

    // Adds received bytes; gives the status after them. Once Complete or TooLong, further
    // bytes change nothing.
    LineStatus Feed(std::string_view bytes);
    LineStatus Status() const { return status_; }
    // The first line without its line end (empty until Complete).
    std::string_view Line() const;
    // How many more bytes Feed can take before the bound; what a reader should ask for at most.
    std::size_t Room() const { return maxBytes_ - buffer_.size(); }

private:
    std::size_t maxBytes_;
    std::string buffer_;
    std::size_t lineEnd_ = 0;  // index of the "\n" when Complete
    LineStatus status_ = LineStatus::NeedMore;
};

struct RequestLine {
    std::string method;  // as received (the caller decides about letter case)
    std::string target;  // the whole request target, beginning with "/"
    std::string path;    // the target before the first "?"
    std::string query;   // the target after the first "?" (empty when there is none)
    bool hasQuery = false;
    int minorVersion = 0;  // 0 or 1 (HTTP/1.0 or HTTP/1.1)
};

// Parses "<method> SP <target> SP HTTP/1.<0|1>" exactly: the method 1..16 letters, the target
// visible ASCII (0x21..0x7E) beginning with "/", single blanks, nothing before or after.
// nullopt with the reason in `error` for anything else (HTTP/0.9 lines without a version, other
// versions, absolute targets, control characters, tabs, doubled blanks).
std::optional<RequestLine> ParseRequestLine(std::string_view line, std::string* error = nullptr);

// The value of a query parameter. The query (the text after "?") is split at "&"; an item's
// name is the text before its first "=" (the whole item when it has none) and must equal `name`
// exactly but for letter case: "Prog2=x" is no "Prog". An item without "=" gives an empty
// value. When the name appears more than once, the last item wins. nullopt when no item has the
// name (and always for an empty name). Values are given as they stand, not percent-decoded.
std::optional<std::string> QueryParameter(std::string_view query, std::string_view name);

}  // namespace tarvell::http
