#include "platform/smtp/Base64.h"

#include <cstdint>

namespace tarvell::smtp {

namespace {
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}
}  // namespace

std::string Base64Encode(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const std::uint32_t v = (std::uint32_t(std::uint8_t(bytes[i])) << 16) |
                                (std::uint32_t(std::uint8_t(bytes[i + 1])) << 8) |
                                std::uint8_t(bytes[i + 2]);
        out.push_back(kAlphabet[(v >> 18) & 63]);
        out.push_back(kAlphabet[(v >> 12) & 63]);
        out.push_back(kAlphabet[(v >> 6) & 63]);
        out.push_back(kAlphabet[v & 63]);
    }
    const std::size_t rest = bytes.size() - i;
    if (rest) {
        std::uint32_t v = std::uint32_t(std::uint8_t(bytes[i])) << 16;
        if (rest == 2) v |= std::uint32_t(std::uint8_t(bytes[i + 1])) << 8;
        out.push_back(kAlphabet[(v >> 18) & 63]);
        out.push_back(kAlphabet[(v >> 12) & 63]);
        out.push_back(rest == 2 ? kAlphabet[(v >> 6) & 63] : '=');
        out.push_back('=');
    }
    return out;
}

bool IsBase64Char(char c) { return Value(c) >= 0; }

std::string Base64Decode(std::string_view text) {
    std::string out;
    out.reserve(text.size() / 4 * 3 + 3);
    std::uint32_t bits = 0;
    int held = 0;
    for (const char c : text) {
        const int v = Value(c);
        if (v < 0) break;
        bits = (bits << 6) | static_cast<std::uint32_t>(v);
        held += 6;
        if (held >= 8) {
            held -= 8;
            out.push_back(static_cast<char>((bits >> held) & 0xFF));
        }
    }
    return out;
}

}  // namespace tarvell::smtp
