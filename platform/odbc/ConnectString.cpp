// The strict reading and the plain writing of connection texts.
#include "platform/odbc/ConnectString.h"

#include <algorithm>
#include <stdexcept>

#include "platform/Text.h"

namespace tarvell::odbc {
namespace {

// A key longer than this is quoted cut in a reason.
constexpr std::size_t kMaxQuotedKey = 40;

bool IsControl(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b < 0x20 || b == 0x7f;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Quoted(std::string_view key) {
    return std::string(key.substr(0, kMaxQuotedKey)) + (key.size() > kMaxQuotedKey ? "..." : "");
}

struct Refused : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    std::vector<ConnectPair> Pairs() {
        for (char c : text_)
            if (IsControl(c)) throw Refused("a control character");
        std::vector<ConnectPair> out;
        while (true) {
            SkipWhile([](char c) { return IsBlank(c) || c == ';'; });
            if (AtEnd()) return out;
            ConnectPair pair;
            pair.key = Key();
            pair.value = Value();
            for (const ConnectPair& seen : out)
                if (EqualsNoCase(seen.key, pair.key))
                    throw Refused("the key " + Quoted(pair.key) + " is given twice");
            out.push_back(std::move(pair));
        }
    }

private:
    bool AtEnd() const { return at_ >= text_.size(); }
    template <typename Pred>
    void SkipWhile(Pred pred) {
        while (!AtEnd() && pred(text_[at_])) ++at_;
    }

    std::string Key() {
        const std::size_t start = at_;
        SkipWhile([](char c) { return c != '=' && c != ';'; });
        if (AtEnd() || text_[at_] != '=') throw Refused("a part without \"=\"");
        std::string key = Trim(text_.substr(start, at_ - start), " \t");
        ++at_;
        if (key.empty()) throw Refused("an empty key");
        if (key.find_first_of("{}") != std::string::npos) throw Refused("a brace in a key");
        return key;
    }

    std::string Value() {
        SkipWhile(IsBlank);
        if (AtEnd() || text_[at_] != '{') {
            const std::size_t start = at_;
            SkipWhile([](char c) { return c != ';'; });
            return Trim(text_.substr(start, at_ - start), " \t");
        }
        std::string value;
        for (++at_;; ++at_) {
            if (AtEnd()) throw Refused("a brace without its closing brace");
            if (text_[at_] != '}') {
                value += text_[at_];
            } else if (at_ + 1 < text_.size() && text_[at_ + 1] == '}') {
                value += '}';
                ++at_;
            } else {
                break;
            }
        }
        ++at_;
        SkipWhile(IsBlank);
        if (!AtEnd() && text_[at_] != ';') throw Refused("text after a closing brace");
        return value;
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

}  // namespace

std::optional<std::vector<ConnectPair>> ParseConnectString(std::string_view text,
                                                           std::string* why) {
    try {
        return Reader(text).Pairs();
    } catch (const Refused& e) {
        if (why) *why = e.what();
        return std::nullopt;
    }
}

std::optional<std::string> FormatConnectString(const std::vector<ConnectPair>& pairs,
                                               std::string* why) {
    std::string out;
    for (const auto& [key, value] : pairs) {
        std::string problem;
        const std::string both = key + value;
        if (std::any_of(both.begin(), both.end(), IsControl)) problem = "a control character";
        else if (key.empty() || key.find_first_of("=;{}") != std::string::npos ||
                 IsBlank(key.front()) || IsBlank(key.back()))
            problem = "a key that cannot be written";
        // A driver that knows no braces would split a value at its ";" and read the rest as
        // pairs of their own; one that does would take a leading "{" as a brace.
        else if (value.find(';') != std::string::npos)
            problem = "a value of " + Quoted(key) + " holding \";\"";
        else if (!value.empty() &&
                 (value.front() == '{' || IsBlank(value.front()) || IsBlank(value.back())))
            problem = "a value of " + Quoted(key) + " that cannot be written without braces";
        if (!problem.empty()) {
            if (why) *why = problem;
            return std::nullopt;
        }
        out += key + "=" + value + ";";
    }
    return out;
}

}  // namespace tarvell::odbc
