// Dotted IPv4 text: four decimal octets 0..255 separated by dots, nothing else (no spaces, no
// signs, at most three digits per octet, so "010" is 10 and "0x1" is refused).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvell {

using Ipv4Octets = std::array<std::uint8_t, 4>;

std::optional<Ipv4Octets> ParseDottedIpv4(std::string_view text);
std::string FormatDottedIpv4(const Ipv4Octets& octets);

}  // namespace tarvell
