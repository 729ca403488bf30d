// The SNMP panel's sheets without their widgets: the community entries, the SNMPv3 protocols and
// security level, and the Context Engine ID as the service's SNMP client reads it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "shared/SettingRanges.h"

namespace tarvell {

inline constexpr std::int32_t kSnmpTimeoutMin = RangeOf("SnmpTimeout").min;
inline constexpr std::int32_t kSnmpTimeoutMax = RangeOf("SnmpTimeout").max;
inline constexpr std::int32_t kSnmpTimeoutStep = 1000;
inline constexpr std::int32_t kSnmpRetriesMin = 1;
inline constexpr std::int32_t kSnmpRetriesMax = RangeOf("SnmpRetries").max;

// ---- communities: "<community>/<rights>", rights 0 READ ONLY, 1 READ WRITE, 2 WRITE ONLY

inline constexpr int kCommunityRights = 3;
// "READ ONLY", "READ WRITE", "WRITE ONLY" for 0..2; empty for any other text.
std::string_view RightsName(std::string_view number);

// Split at the last "/", as the service reads it, so a community may hold "/". An entry without
// "/" is the whole text with rights "0", its meaning to the service.
struct CommunityEntry {
    std::string community;
    std::string rights;  // the stored number as text
};
CommunityEntry SplitCommunity(std::string_view entry);
std::string JoinCommunity(const CommunityEntry& entry);

// ---- SNMPv3

enum SnmpProtocol : std::int32_t { kProtocolNone = 1, kProtocolFirst = 2, kProtocolSecond = 3 };
// The drop-down entry of a stored protocol: 1..3 as stored, "None" for anything else.
std::int32_t ShownProtocol(std::int32_t stored);
// Privacy without authentication is not offered: it stays "None".
std::int32_t PrivacyFor(std::int32_t auth, std::int32_t priv);
// 1 no authentication, 2 authentication only, 3 authentication and privacy.
std::int32_t SecurityLevelOf(std::int32_t auth, std::int32_t priv);
inline constexpr std::int32_t kUsmSecurityModel = 3;

// The Context Engine ID: empty (the agent's own), or hexadecimal digits in pairs, at most 32
// bytes, after an optional "0x", with blanks and ":" between them.
inline constexpr std::size_t kEngineIdMaxBytes = 32;
bool EngineIdValid(std::string_view text);

// What the Paramerts page stores.
struct SnmpV3Values {
    std::string user, context, engineId, authPassword, privPassword;
    std::int32_t auth = kProtocolNone;
    std::int32_t priv = kProtocolNone;
};
// 0 when storable, else the message refusing it.
unsigned CheckSnmpV3(const SnmpV3Values& values);

}  // namespace tarvell
