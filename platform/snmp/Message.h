// Whole SNMP messages: the community form (v1, v2c) and the v3 form with USM parameters.
// Decoders take untrusted bytes and return nullopt for anything malformed; they never throw.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/snmp/Pdu.h"

namespace tarvell::snmp {

inline constexpr std::int32_t kVersion1 = 0;
inline constexpr std::int32_t kVersion2c = 1;
inline constexpr std::int32_t kVersion3 = 3;
// Largest UDP payload; also the msgMaxSize we announce.
inline constexpr std::size_t kMaxMessageSize = 65507;

// ---- community messages ----------------------------------------------------------------------

struct CommunityMessage {
    std::int32_t version = kVersion1;
    std::string community;
    bool isTrapV1 = false;
    Pdu pdu;         // when !isTrapV1
    TrapV1Pdu trap;  // when isTrapV1
};

std::string EncodeCommunityMessage(std::int32_t version, std::string_view community, const Pdu& p);
std::string EncodeTrapV1Message(std::string_view community, const TrapV1Pdu& trap);
std::optional<CommunityMessage> DecodeCommunityMessage(std::string_view bytes);

// Version field of any SNMP message, or nullopt when the bytes do not start like one.
std::optional<std::int32_t> PeekVersion(std::string_view bytes);

// ---- SNMPv3 ----------------------------------------------------------------------------------

namespace flags {
inline constexpr std::uint8_t kAuth = 0x01;
inline constexpr std::uint8_t kPriv = 0x02;
inline constexpr std::uint8_t kReportable = 0x04;
}  // namespace flags

inline constexpr std::int32_t kUsmSecurityModel = 3;
inline constexpr std::size_t kMaxEngineIdSize = 32;
inline constexpr std::size_t kMaxUserNameSize = 32;

struct V3Header {
    std::int32_t msgId = 0;
    std::int32_t maxSize = static_cast<std::int32_t>(kMaxMessageSize);
    std::uint8_t flags = 0;
    std::int32_t securityModel = kUsmSecurityModel;
};

struct UsmParameters {
    std::string engineId;
    std::int32_t boots = 0;
    std::int32_t time = 0;
    std::string userName;
    std::string authParams;
    std::string privParams;
};

struct ScopedPdu {
    std::string contextEngineId;
    std::string contextName;
    Pdu pdu;
};

struct V3Message {
    V3Header header;
    UsmParameters usm;
    // Offset of msgAuthenticationParameters' content within the whole message (for checking the
    // digest, which is computed with those bytes zeroed).
    std::size_t authParamsOffset = 0;
    bool encrypted = false;
    std::string encryptedPdu;  // when encrypted
    ScopedPdu scoped;          // when not encrypted
};

struct EncodedV3 {
    std::string bytes;
    std::size_t authParamsOffset = 0;
};

std::string EncodeScopedPdu(const ScopedPdu& scoped);
// msgData is either an encoded ScopedPDU or an OCTET STRING TLV holding the encrypted one.
EncodedV3 EncodeV3Message(const V3Header& header, const UsmParameters& usm,
                          std::string_view msgData);
std::optional<V3Message> DecodeV3Message(std::string_view bytes);
// A decrypted ScopedPDU; the bytes after it (cipher padding) are ignored.
std::optional<ScopedPdu> DecodeScopedPdu(std::string_view bytes);

}  // namespace tarvell::snmp
