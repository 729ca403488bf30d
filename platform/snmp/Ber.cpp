#include "platform/snmp/Ber.h"

#include <algorithm>
#include <limits>

namespace tarvell::snmp {

namespace {

constexpr std::uint64_t kMaxSubId = 0xFFFFFFFFull;

std::uint8_t Byte(std::string_view s, std::size_t i) { return static_cast<std::uint8_t>(s[i]); }

void AppendLength(std::string& out, std::size_t length) {
    if (length < 0x80) {
        out.push_back(static_cast<char>(length));
        return;
    }
    char bytes[sizeof(std::size_t)];
    int n = 0;
    for (std::size_t v = length; v != 0; v >>= 8) bytes[n++] = static_cast<char>(v & 0xFF);
    out.push_back(static_cast<char>(0x80 | n));
    while (n > 0) out.push_back(bytes[--n]);
}

void AppendBase128(std::string& out, std::uint64_t value) {
    char bytes[10];
    int n = 0;
    bytes[n++] = static_cast<char>(value & 0x7F);
    for (value >>= 7; value != 0; value >>= 7)
        bytes[n++] = static_cast<char>(0x80 | (value & 0x7F));
    while (n > 0) out.push_back(bytes[--n]);
}

}  // namespace

// ---- OID text --------------------------------------------------------------------------------

bool IsValidOid(const Oid& oid) {
    if (oid.size() < 2 || oid[0] > 2) return false;
    if (oid[0] < 2 && oid[1] >= 40) return false;
    // The first two arcs share one sub-identifier, which must stay within 32 bits.
    return oid[0] < 2 || oid[1] <= kMaxSubId - 80;
}

std::optional<Oid> ParseOid(std::string_view text) {
    if (!text.empty() && text.front() == '.') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    Oid oid;
    std::uint64_t value = 0;
    bool digits = false;
    for (char c : text) {
        if (c == '.') {
            if (!digits) return std::nullopt;
            oid.push_back(static_cast<std::uint32_t>(value));
            value = 0;
            digits = false;
        } else if (c >= '0' && c <= '9') {
            value = value * 10 + static_cast<std::uint64_t>(c - '0');
            if (value > kMaxSubId) return std::nullopt;
            digits = true;
        } else {
            return std::nullopt;
        }
    }
    if (!digits) return std::nullopt;
    oid.push_back(static_cast<std::uint32_t>(value));
    if (!IsValidOid(oid)) return std::nullopt;
    return oid;
}

std::string OidToText(const Oid& oid) {
    std::string text;
    text.reserve(oid.size() * 4);
    for (std::size_t i = 0; i < oid.size(); ++i) {
        if (i) text.push_back('.');
        text += std::to_string(oid[i]);
    }
    return text;
}

bool OidStartsWith(const Oid& oid, const Oid& prefix) {
    return oid.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), oid.begin());
}

// ---- encoding --------------------------------------------------------------------------------

std::size_t TlvHeaderSize(std::size_t contentLength) {
    std::size_t n = 2;
    if (contentLength >= 0x80) {
        for (std::size_t v = contentLength; v != 0; v >>= 8) ++n;
    }
    return n;
}

void AppendTlv(std::string& out, std::uint8_t tagByte, std::string_view content) {
    out.push_back(static_cast<char>(tagByte));
    AppendLength(out, content.size());
    out.append(content);
}

std::string EncodeTlv(std::uint8_t tagByte, std::string_view content) {
    std::string out;
    out.reserve(content.size() + TlvHeaderSize(content.size()));
    AppendTlv(out, tagByte, content);
    return out;
}

std::string EncodeInteger(std::int64_t value, std::uint8_t tagByte) {
    char bytes[8];
    int n = 8;
    for (int i = 7; i >= 0; --i) {
        bytes[i] = static_cast<char>(static_cast<std::uint64_t>(value) & 0xFF);
        value >>= 8;  // arithmetic shift keeps the sign
    }
    int start = 0;
    // Drop leading bytes that only repeat the sign of the next one.
    while (start < n - 1) {
        const auto b = static_cast<std::uint8_t>(bytes[start]);
        const auto next = static_cast<std::uint8_t>(bytes[start + 1]);
        if ((b == 0x00 && !(next & 0x80)) || (b == 0xFF && (next & 0x80))) {
            ++start;
        } else {
            break;
        }
    }
    return EncodeTlv(tagByte, std::string_view(bytes + start, static_cast<std::size_t>(n - start)));
}

std::string EncodeUnsigned(std::uint64_t value, std::uint8_t tagByte) {
    char bytes[9];
    int n = 0;
    for (std::uint64_t v = value; v != 0; v >>= 8) bytes[n++] = static_cast<char>(v & 0xFF);
    if (n == 0 || (static_cast<std::uint8_t>(bytes[n - 1]) & 0x80)) bytes[n++] = 0;
    std::string content(static_cast<std::size_t>(n), '\0');
    for (int i = 0; i < n; ++i) content[static_cast<std::size_t>(i)] = bytes[n - 1 - i];
    return EncodeTlv(tagByte, content);
}

std::string EncodeOctetString(std::string_view bytes, std::uint8_t tagByte) {
    return EncodeTlv(tagByte, bytes);
}

std::string EncodeNull(std::uint8_t tagByte) { return EncodeTlv(tagByte, {}); }

std::string EncodeOid(const Oid& oid) {
    if (!IsValidOid(oid)) throw BerError("invalid object identifier");
    std::string content;
    content.reserve(oid.size() * 2);
    AppendBase128(content, static_cast<std::uint64_t>(oid[0]) * 40 + oid[1]);
    for (std::size_t i = 2; i < oid.size(); ++i) AppendBase128(content, oid[i]);
    return EncodeTlv(tag::kOid, content);
}

// ---- content decoders ------------------------------------------------------------------------

std::int64_t DecodeSigned(std::string_view content) {
    if (content.empty() || content.size() > 8) throw BerError("bad integer length");
    std::uint64_t v = (Byte(content, 0) & 0x80) ? ~0ull : 0ull;
    for (std::size_t i = 0; i < content.size(); ++i) v = (v << 8) | Byte(content, i);
    return static_cast<std::int64_t>(v);
}

std::uint64_t DecodeUnsigned(std::string_view content, unsigned bits) {
    const std::size_t maxBytes = bits / 8;
    if (content.empty() || content.size() > maxBytes + 1) throw BerError("bad unsigned length");
    if (content.size() == maxBytes + 1 && Byte(content, 0) != 0)
        throw BerError("unsigned too large");
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < content.size(); ++i) v = (v << 8) | Byte(content, i);
    if ((Byte(content, 0) & 0x80) && content.size() <= maxBytes) {
        // Negative encoding: take it as the two's complement pattern of `bits` bits.
        const std::size_t padBytes = maxBytes - content.size();
        for (std::size_t i = 0; i < padBytes; ++i) v |= 0xFFull << (8 * (content.size() + i));
    }
    if (bits < 64) v &= (1ull << bits) - 1;
    return v;
}

Oid DecodeOid(std::string_view content) {
    if (content.empty()) throw BerError("empty object identifier");
    Oid oid;
    oid.reserve(content.size() + 1);
    std::uint64_t value = 0;
    bool inSubId = false;
    for (std::size_t i = 0; i < content.size(); ++i) {
        const std::uint8_t b = Byte(content, i);
        if (!inSubId && b == 0x80) throw BerError("non-minimal sub-identifier");
        value = (value << 7) | (b & 0x7F);
        if (value > kMaxSubId) throw BerError("sub-identifier too large");
        inSubId = true;
        if (!(b & 0x80)) {
            if (oid.empty()) {
                if (value < 80) {
                    oid.push_back(static_cast<std::uint32_t>(value / 40));
                    oid.push_back(static_cast<std::uint32_t>(value % 40));
                } else {
                    oid.push_back(2);
                    oid.push_back(static_cast<std::uint32_t>(value - 80));
                }
            } else {
                oid.push_back(static_cast<std::uint32_t>(value));
            }
            value = 0;
            inSubId = false;
        }
    }
    if (inSubId) throw BerError("truncated sub-identifier");
    return oid;
}

// ---- reader ----------------------------------------------------------------------------------

std::uint8_t BerReader::PeekTag() const {
    if (AtEnd()) throw BerError("unexpected end of input");
    return Byte(input_, pos_);
}

Tlv BerReader::ReadTlv() {
    if (Remaining() < 2) throw BerError("truncated header");
    const std::uint8_t tagByte = Byte(input_, pos_);
    if ((tagByte & 0x1F) == 0x1F) throw BerError("multi-byte tag");
    std::size_t p = pos_ + 1;
    const std::uint8_t first = Byte(input_, p++);
    std::size_t length = 0;
    if (first < 0x80) {
        length = first;
    } else {
        const std::size_t count = first & 0x7F;
        if (count == 0) throw BerError("indefinite length");
        if (count > 4) throw BerError("length field too long");
        if (input_.size() - p < count) throw BerError("truncated length");
        for (std::size_t i = 0; i < count; ++i) length = (length << 8) | Byte(input_, p++);
    }
    if (input_.size() - p < length) throw BerError("length beyond input");
    Tlv tlv{tagByte, input_.substr(p, length)};
    pos_ = p + length;
    return tlv;
}

std::string_view BerReader::ReadContent(std::uint8_t expectedTag) {
    const Tlv tlv = ReadTlv();
    if (tlv.tagByte != expectedTag) throw BerError("unexpected tag");
    return tlv.content;
}

BerReader BerReader::EnterConstructed(std::uint8_t expectedTag) {
    if (depth_ + 1 > kMaxDepth) throw BerError("nesting too deep");
    if (!(expectedTag & 0x20)) throw BerError("not a constructed tag");
    return BerReader(ReadContent(expectedTag), depth_ + 1);
}

std::int64_t BerReader::ReadInteger(std::uint8_t expectedTag) {
    return DecodeSigned(ReadContent(expectedTag));
}

std::int32_t BerReader::ReadInt32() {
    const std::int64_t v = ReadInteger(tag::kInteger);
    if (v < std::numeric_limits<std::int32_t>::min() ||
        v > std::numeric_limits<std::int32_t>::max()) {
        throw BerError("integer out of range");
    }
    return static_cast<std::int32_t>(v);
}

std::string_view BerReader::ReadOctetString(std::uint8_t expectedTag) {
    return ReadContent(expectedTag);
}

Oid BerReader::ReadOid() { return DecodeOid(ReadContent(tag::kOid)); }

void BerReader::ReadNull() {
    if (!ReadContent(tag::kNull).empty()) throw BerError("NULL with content");
}

void BerReader::ExpectEnd() const {
    if (!AtEnd()) throw BerError("trailing bytes");
}

}  // namespace tarvell::snmp
