// The exclusion pages of the Nodes panel without their widgets: the MAC entry rule, the
// "<ip>/<mask>" entries (also the SNMPv3 networks) and the duplicate test of the list pages.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tarvell {

inline constexpr std::size_t kMacEntryChars = 12;

// "Add" is offered once the edit holds 12 characters.
inline bool MacEntryComplete(std::string_view text) { return text.size() == kMacEntryChars; }
// What the service can match: 12 characters, each a hexadecimal digit or "*".
bool MacEntryValid(std::string_view text);

// An address entry as the two columns show it. An entry without "/" is an address with an empty
// mask, which the service reads as the one address.
struct AddressEntry {
    std::string address;
    std::string mask;
};
AddressEntry SplitAddressEntry(std::string_view entry);
// "<address>/<mask>", or the address alone when the mask is empty (stored back as it came).
std::string JoinAddressEntry(const AddressEntry& entry);

// A network mask the service matches against: a dotted quad of ones followed by zeros.
bool NetworkMaskValid(std::string_view mask);

// The list pages' duplicate test: the first column already holds `text`, ignoring case.
bool ListHolds(const std::vector<std::string>& firstColumn, std::string_view text);

// The messages of a refused "Add": 0 when the entry may be added, 20024 for a duplicate, else
// the rule's message.
unsigned CheckMacEntry(const std::vector<std::string>& listed, std::string_view mac);
unsigned CheckAddressEntry(const std::vector<std::string>& listed, const AddressEntry& entry);

}  // namespace tarvell
