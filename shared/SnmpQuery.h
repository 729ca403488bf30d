// SNMP texts of the settings that the viewer checks and the service sends: object identifiers
// typed as dotted decimal text (the trap enterprise id, the objects of the SNMP blocking
// queries), and the blocking queries SnmpBlockQuery and SnmpUnblockQuery, "<OID>/<value>".
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tarvell {

// Longest OID text a setting may hold.
inline constexpr std::size_t kMaxOidTextChars = 1024;

// A dotted decimal OID that SNMP can carry ("1.3.6.1.4.1.99999"; a leading "." allowed): at
// most kMaxOidTextChars, read by the SNMP layer's own parser.
bool IsOidText(std::string_view text);

struct BlockingQuery {
    std::string oid;    // as stored: may lead with "."
    std::string value;  // the text after the first "/"
};

// The two parts of a stored query, split at the first "/" (none: all of it is the OID), for
// showing what is stored, sound or not.
BlockingQuery SplitBlockingQuery(std::string_view stored);
// "<oid>/<value>".
std::string JoinBlockingQuery(const BlockingQuery& query);
// The object and value the service sets: a "/" is required, one leading "." of the OID is
// dropped, and the OID must pass IsOidText. nullopt otherwise.
std::optional<BlockingQuery> ParseBlockingQuery(std::string_view stored);

}  // namespace tarvell
