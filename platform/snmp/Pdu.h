// Values, variable bindings and PDUs of SNMPv1, v2c and v3, with their BER form.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/snmp/Ber.h"

namespace tarvell::snmp {

namespace pdu {
inline constexpr std::uint8_t kGet = 0xA0;
inline constexpr std::uint8_t kGetNext = 0xA1;
inline constexpr std::uint8_t kResponse = 0xA2;
inline constexpr std::uint8_t kSet = 0xA3;
inline constexpr std::uint8_t kTrapV1 = 0xA4;
inline constexpr std::uint8_t kGetBulk = 0xA5;
inline constexpr std::uint8_t kInform = 0xA6;
inline constexpr std::uint8_t kTrapV2 = 0xA7;
inline constexpr std::uint8_t kReport = 0xA8;
}  // namespace pdu

// Upper bound on the bindings of one PDU; more is treated as malformed.
inline constexpr std::size_t kMaxVarBinds = 2048;

// A typed value. `raw` always holds the content octets of the value's BER form (for a decoded
// value exactly as received), so callers can reach the bytes behind any rendering.
struct Value {
    std::uint8_t type = tag::kNull;
    std::string raw;
    std::int64_t integer = 0;  // INTEGER
    std::uint64_t number = 0;  // Counter32, Gauge32, TimeTicks, Counter64, UInteger32
    Oid oid;                   // OBJECT IDENTIFIER

    static Value Null();
    static Value Integer(std::int64_t v);
    // Counter32, Gauge32, TimeTicks, UInteger32 or Counter64.
    static Value Unsigned(std::uint8_t type, std::uint64_t v);
    static Value OctetString(std::string_view bytes);
    static Value IpAddress(const std::array<std::uint8_t, 4>& address);
    static Value ObjectId(const Oid& oid);

    bool IsException() const;  // noSuchObject, noSuchInstance, endOfMibView
};

// The value as text: INTEGER in signed decimal, the unsigned types in unsigned decimal (TimeTicks
// as the raw count), OIDs dotted, IpAddress dotted quad, an OCTET STRING of printable ASCII
// (0x20-0x7E) as itself and any other OCTET STRING (and Opaque) as two upper-case hex digits per
// byte without separator, NULL as an empty text, the v2 exceptions by name.
std::string PrintableValue(const Value& value);
std::string HexUpper(std::string_view bytes);

struct VarBind {
    Oid oid;
    Value value;
};

struct Pdu {
    std::uint8_t type = pdu::kGet;
    std::int32_t requestId = 0;
    std::int32_t errorStatus = 0;  // non-repeaters for GetBulk
    std::int32_t errorIndex = 0;   // max-repetitions for GetBulk
    std::vector<VarBind> bindings;
};

struct TrapV1Pdu {
    Oid enterprise;
    std::array<std::uint8_t, 4> agentAddress{};
    std::int32_t genericTrap = 6;
    std::int32_t specificTrap = 0;
    std::uint32_t timeStamp = 0;
    std::vector<VarBind> bindings;
};

std::string EncodeValue(const Value& value);
std::string EncodeVarBindList(const std::vector<VarBind>& bindings);
std::string EncodePdu(const Pdu& p);
std::string EncodeTrapV1Pdu(const TrapV1Pdu& trap);

// Decoders for the content of a PDU that the reader is positioned at; throw BerError.
Value DecodeValue(const Tlv& tlv);
std::vector<VarBind> ReadVarBindList(BerReader& reader);
Pdu ReadPdu(BerReader& reader);
TrapV1Pdu ReadTrapV1Pdu(BerReader& reader);
bool IsPduTag(std::uint8_t tagByte);

}  // namespace tarvell::snmp
