#include "platform/smtp/SmtpReply.h"

#include "platform/Text.h"

namespace tarvell::smtp {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// The line without its line end ends a reply: three digits, then nothing or a blank.
bool IsFinalLine(std::string_view line) {
    if (line.size() < 3 || !IsDigit(line[0]) || !IsDigit(line[1]) || !IsDigit(line[2]))
        return false;
    return line.size() == 3 || line[3] == ' ';
}

}  // namespace

bool SmtpReplyParser::Feed(std::string_view bytes) {
    if (failed_) return false;
    buffer_.append(bytes);
    return true;
}

std::optional<SmtpReply> SmtpReplyParser::Next() {
    if (failed_) return std::nullopt;
    while (scanned_ < buffer_.size()) {
        const std::size_t lf = buffer_.find('\n', scanned_);
        if (lf == std::string::npos) break;
        std::string_view line(buffer_.data() + scanned_, lf - scanned_);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (IsFinalLine(line)) {
            SmtpReply reply;
            reply.code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
            reply.text = buffer_.substr(0, lf + 1);
            buffer_.erase(0, lf + 1);
            scanned_ = 0;
            return reply;
        }
        scanned_ = lf + 1;
    }
    if (buffer_.size() > kMaxReplyBytes) {
        failed_ = true;
        buffer_.clear();
        scanned_ = 0;
    }
    return std::nullopt;
}

bool ReplyContains(std::string_view reply, std::string_view word) {
    if (word.empty() || reply.size() < word.size() + 1) return false;
    for (std::size_t at = 1; at + word.size() <= reply.size(); ++at) {
        const char before = reply[at - 1];
        if (before != '-' && before != ' ' && before != '=') continue;
        bool same = true;
        for (std::size_t i = 0; i < word.size() && same; ++i)
            same = Lower(reply[at + i]) == Lower(word[i]);
        if (!same) continue;
        const std::size_t end = at + word.size();
        if (end == reply.size()) continue;  // a line end must follow: the reply was cut here
        const char after = reply[end];
        if (after == ' ' || after == '=' || after == '\r' || after == '\n') return true;
    }
    return false;
}

std::string ReplyForLog(std::string_view reply, std::size_t limit) {
    const std::size_t end = reply.find_first_of("\r\n");
    std::string_view line = reply.substr(0, end);
    std::string out;
    for (const char c : line.substr(0, limit)) out.push_back((c >= 0x20 && c < 0x7F) ? c : '?');
    if (line.size() > limit) out += "...";
    return out;
}

std::optional<std::map<std::string, std::string>> ParseDigestChallenge(std::string_view text) {
    std::map<std::string, std::string> out;
    std::size_t i = 0;
    auto skipBlanks = [&] {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == ',')) ++i;
    };
    while (true) {
        skipBlanks();
        if (i >= text.size()) break;
        const std::size_t eq = text.find('=', i);
        if (eq == std::string_view::npos) return std::nullopt;
        std::string name = ToLowerAscii(Trim(text.substr(i, eq - i), " \t"));
        i = eq + 1;
        std::string value;
        if (i < text.size() && text[i] == '"') {
            ++i;
            bool closed = false;
            while (i < text.size()) {
                const char c = text[i++];
                if (c == '\\' && i < text.size()) {
                    value.push_back(text[i++]);
                } else if (c == '"') {
                    closed = true;
                    break;
                } else {
                    value.push_back(c);
                }
            }
            if (!closed) return std::nullopt;
        } else {
            const std::size_t comma = text.find(',', i);
            value = Trim(text.substr(i, comma == std::string_view::npos ? std::string_view::npos
                                                                        : comma - i),
                         " \t");
            i = comma == std::string_view::npos ? text.size() : comma;
        }
        out.emplace(std::move(name), std::move(value));
    }
    return out;
}

}  // namespace tarvell::smtp
