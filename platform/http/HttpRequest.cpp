#include "platform/http/HttpRequest.h"

#include <algorithm>

#include "platform/Text.h"

namespace tarvell::http {

namespace {

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsVisible(char c) { return c >= 0x21 && c <= 0x7E; }

void SetError(std::string* error, const char* text) {
    if (error) *error = text;
}

}  // namespace

LineStatus RequestLineReader::Feed(std::string_view bytes) {
    if (status_ != LineStatus::NeedMore) return status_;
    const std::size_t taken = std::min(bytes.size(), Room());
    const std::size_t searchFrom = buffer_.size();
    buffer_.append(bytes.data(), taken);
    const std::size_t end = buffer_.find('\n', searchFrom);
    if (end != std::string::npos) {
        lineEnd_ = end;
        buffer_.resize(end + 1);
        status_ = LineStatus::Complete;
    } else if (buffer_.size() >= maxBytes_) {
        status_ = LineStatus::TooLong;
    }
    return status_;
}

std::string_view RequestLineReader::Line() const {
    if (status_ != LineStatus::Complete) return {};
    std::string_view line(buffer_.data(), lineEnd_);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

std::optional<RequestLine> ParseRequestLine(std::string_view line, std::string* error) {
    const std::size_t first = line.find(' ');
    if (first == std::string_view::npos) {
        SetError(error, "no blank after the method");
        return std::nullopt;
    }
    const std::string_view method = line.substr(0, first);
    if (method.empty() || method.size() > kMaxMethodChars ||
        !std::all_of(method.begin(), method.end(), IsLetter)) {
        SetError(error, "the method is not a word of letters");
        return std::nullopt;
    }
    const std::size_t second = line.find(' ', first + 1);
    if (second == std::string_view::npos) {
        SetError(error, "no protocol version");
        return std::nullopt;
    }
    const std::string_view target = line.substr(first + 1, second - first - 1);
    if (target.empty() || target.front() != '/') {
        SetError(error, "the target does not begin with /");
        return std::nullopt;
    }
    if (!std::all_of(target.begin(), target.end(), IsVisible)) {
        SetError(error, "the target holds a character that is not visible ASCII");
        return std::nullopt;
    }
    const std::string_view version = line.substr(second + 1);
    if (version != "HTTP/1.0" && version != "HTTP/1.1") {
        SetError(error, "the protocol version is not HTTP/1.0 or HTTP/1.1");
        return std::nullopt;
    }
    RequestLine request;
    request.method = std::string(method);
    request.target = std::string(target);
    const std::size_t mark = target.find('?');
    request.path = std::string(target.substr(0, mark));
    if (mark != std::string_view::npos) {
        request.hasQuery = true;
        request.query = std::string(target.substr(mark + 1));
    }
    request.minorVersion = version.back() - '0';
    return request;
}

std::optional<std::string> QueryParameter(std::string_view query, std::string_view name) {
    if (name.empty()) return std::nullopt;
    std::optional<std::string> found;
    while (true) {
        const std::size_t amp = query.find('&');
        const std::string_view item = query.substr(0, amp);
        const std::size_t eq = item.find('=');
        const std::string_view itemName = item.substr(0, eq);
        if (EqualsNoCase(itemName, name))
            found = eq == std::string_view::npos ? std::string() : std::string(item.substr(eq + 1));
        if (amp == std::string_view::npos) break;
        query.remove_prefix(amp + 1);
    }
    return found;
}

}  // namespace tarvell::http
