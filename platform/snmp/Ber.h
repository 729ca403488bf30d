// BER encoding of the SNMP subset of ASN.1, and a strict decoder for untrusted input.
//
// Byte strings are std::string (owning) and std::string_view (borrowed). The decoder checks
// every length against the bytes that are left, refuses the indefinite form, multi-byte tags and
// nesting deeper than kMaxDepth, and throws BerError on any fault; callers that take input from
// the network catch it at the message boundary (see Message.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tarvell::snmp {

namespace tag {
inline constexpr std::uint8_t kInteger = 0x02;
inline constexpr std::uint8_t kOctetString = 0x04;
inline constexpr std::uint8_t kNull = 0x05;
inline constexpr std::uint8_t kOid = 0x06;
inline constexpr std::uint8_t kSequence = 0x30;
inline constexpr std::uint8_t kIpAddress = 0x40;
inline constexpr std::uint8_t kCounter32 = 0x41;
inline constexpr std::uint8_t kGauge32 = 0x42;
inline constexpr std::uint8_t kTimeTicks = 0x43;
inline constexpr std::uint8_t kOpaque = 0x44;
inline constexpr std::uint8_t kCounter64 = 0x46;
inline constexpr std::uint8_t kUInteger32 = 0x47;
inline constexpr std::uint8_t kNoSuchObject = 0x80;
inline constexpr std::uint8_t kNoSuchInstance = 0x81;
inline constexpr std::uint8_t kEndOfMibView = 0x82;
}  // namespace tag

class BerError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An object identifier as its sub-identifiers. Valid OIDs have at least two arcs, the first at
// most 2 and, below 2, a second arc below 40.
using Oid = std::vector<std::uint32_t>;

// Dotted decimal ("1.3.6.1"); a leading dot is accepted. nullopt for anything else, including a
// sub-identifier above 4294967295.
std::optional<Oid> ParseOid(std::string_view text);
std::string OidToText(const Oid& oid);
bool IsValidOid(const Oid& oid);
// True when `oid` lies strictly below `prefix` or equals it.
bool OidStartsWith(const Oid& oid, const Oid& prefix);

// ---- encoding --------------------------------------------------------------------------------

// Tag, minimal definite length, content.
std::string EncodeTlv(std::uint8_t tagByte, std::string_view content);
void AppendTlv(std::string& out, std::uint8_t tagByte, std::string_view content);
// Number of bytes the tag and length of a TLV with `contentLength` bytes take.
std::size_t TlvHeaderSize(std::size_t contentLength);
// Two's complement, minimal.
std::string EncodeInteger(std::int64_t value, std::uint8_t tagByte = tag::kInteger);
// Unsigned (Counter32, Gauge32, TimeTicks, Counter64): minimal, with a leading zero byte when
// the top bit would otherwise read as a sign.
std::string EncodeUnsigned(std::uint64_t value, std::uint8_t tagByte);
std::string EncodeOctetString(std::string_view bytes, std::uint8_t tagByte = tag::kOctetString);
std::string EncodeNull(std::uint8_t tagByte = tag::kNull);
// Throws BerError for an OID that IsValidOid refuses.
std::string EncodeOid(const Oid& oid);

// ---- decoding --------------------------------------------------------------------------------

inline constexpr int kMaxDepth = 8;

struct Tlv {
    std::uint8_t tagByte = 0;
    std::string_view content;  // points into the reader's input
};

class BerReader {
public:
    explicit BerReader(std::string_view input, int depth = 0) : input_(input), depth_(depth) {}
    // The reader borrows its input: refuse temporaries that would die under it.
    explicit BerReader(std::string&&, int = 0) = delete;

    bool AtEnd() const { return pos_ == input_.size(); }
    std::size_t Remaining() const { return input_.size() - pos_; }
    // The unread rest of the input.
    std::string_view Rest() const { return input_.substr(pos_); }
    // Tag of the next TLV; throws at the end of the input.
    std::uint8_t PeekTag() const;

    Tlv ReadTlv();
    // Reads a TLV that must carry `expectedTag`.
    std::string_view ReadContent(std::uint8_t expectedTag);
    // A reader over the content of a constructed TLV with `expectedTag`, one level deeper.
    BerReader EnterConstructed(std::uint8_t expectedTag);
    std::int64_t ReadInteger(std::uint8_t expectedTag = tag::kInteger);
    // INTEGER restricted to the 32-bit signed range (versions, request ids, error fields).
    std::int32_t ReadInt32();
    std::string_view ReadOctetString(std::uint8_t expectedTag = tag::kOctetString);
    Oid ReadOid();
    void ReadNull();
    // Throws unless every byte was consumed.
    void ExpectEnd() const;

private:
    std::string_view input_;
    std::size_t pos_ = 0;
    int depth_ = 0;
};

// Content decoders, usable on their own (the fuzz tests call them directly).
std::int64_t DecodeSigned(std::string_view content);
// Unsigned value of at most `bits` bits. A content whose top bit is set and which is no longer
// than bits/8 bytes is read as that many bits' two's complement pattern, as broken agents send
// large counters that way.
std::uint64_t DecodeUnsigned(std::string_view content, unsigned bits);
Oid DecodeOid(std::string_view content);

}  // namespace tarvell::snmp
