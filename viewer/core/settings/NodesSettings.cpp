#include "viewer/core/settings/NodesSettings.h"

#include <algorithm>
#include <cctype>

#include "platform/Text.h"
#include "viewer/core/base/AddressText.h"
#include "viewer/core/base/StringTable.h"

namespace tarvell {

bool MacEntryValid(std::string_view text) {
    return MacEntryComplete(text) && std::all_of(text.begin(), text.end(), [](char c) {
               return c == '*' || std::isxdigit(static_cast<unsigned char>(c));
           });
}

AddressEntry SplitAddressEntry(std::string_view entry) {
    const std::size_t slash = entry.find('/');
    if (slash == std::string_view::npos) return {std::string(entry), {}};
    return {std::string(entry.substr(0, slash)), std::string(entry.substr(slash + 1))};
}

std::string JoinAddressEntry(const AddressEntry& entry) {
    return entry.mask.empty() ? entry.address : entry.address + "/" + entry.mask;
}

bool NetworkMaskValid(std::string_view mask) {
    const auto octets = ParseDottedIpv4(mask);
    if (!octets) return false;
    std::uint32_t value = 0;
    for (std::uint8_t o : *octets) value = value << 8 | o;
    const std::uint32_t inverted = ~value;
    return (inverted & (inverted + 1)) == 0;
}

bool ListHolds(const std::vector<std::string>& firstColumn, std::string_view text) {
    return std::any_of(firstColumn.begin(), firstColumn.end(),
                       [&](const std::string& item) { return EqualsNoCase(item, text); });
}

unsigned CheckMacEntry(const std::vector<std::string>& listed, std::string_view mac) {
    if (!MacEntryValid(mac)) return str::kMacEntryInvalid;
    return ListHolds(listed, mac) ? str::kItemExists : 0;
}

unsigned CheckAddressEntry(const std::vector<std::string>& listed, const AddressEntry& entry) {
    if (!NetworkMaskValid(entry.mask)) return str::kMaskInvalid;
    return ListHolds(listed, entry.address) ? str::kItemExists : 0;
}

}  // namespace tarvell
