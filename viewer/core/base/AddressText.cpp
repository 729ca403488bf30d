#include "viewer/core/base/AddressText.h"

namespace tarvell {

std::optional<Ipv4Octets> ParseDottedIpv4(std::string_view text) {
    Ipv4Octets out{};
    std::size_t pos = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        if (i > 0) {
            if (pos >= text.size() || text[pos] != '.') return std::nullopt;
            ++pos;
        }
        int value = 0, digits = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && digits < 4) {
            value = value * 10 + (text[pos] - '0');
            ++pos;
            ++digits;
        }
        if (digits == 0 || digits > 3 || value > 255) return std::nullopt;
        out[i] = static_cast<std::uint8_t>(value);
    }
    if (pos != text.size()) return std::nullopt;
    return out;
}

std::string FormatDottedIpv4(const Ipv4Octets& octets) {
    std::string s;
    for (std::size_t i = 0; i < 4; ++i) {
        if (i > 0) s += '.';
        s += std::to_string(octets[i]);
    }
    return s;
}

}  // namespace tarvell
