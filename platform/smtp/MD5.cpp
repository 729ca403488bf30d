#include "platform/smtp/MD5.h"

#include <algorithm>
#include <cstring>
#include <iostream>

namespace tarvell::smtp {

namespace {

constexpr std::uint32_t Rotl(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

std::uint32_t LoadLe(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}

void StoreLe(std::uint32_t v, std::uint8_t* p) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Per-step shift amounts and additive constants (floor(abs(sin(i + 1)) * 2^32)).
constexpr int kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                            5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                            4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                            6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};
constexpr std::uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

}  // namespace

void MD5::init() {
    state_[0] = 0x67452301;
    state_[1] = 0xefcdab89;
    state_[2] = 0x98badcfe;
    state_[3] = 0x10325476;
    count_ = 0;
    std::memset(buffer_, 0, sizeof buffer_);
    digest_.fill(0);
    finalized_ = false;
}

void MD5::update(const void* bytes, std::size_t length) {
    if (finalized_) {
        std::cerr << "MD5::update:  Can't update a finalized digest!" << std::endl;
        return;
    }
    const auto* in = static_cast<const std::uint8_t*>(bytes);
    std::size_t used = static_cast<std::size_t>((count_ >> 3) & 63);
    count_ += static_cast<std::uint64_t>(length) << 3;
    if (used) {
        const std::size_t take = std::min<std::size_t>(64 - used, length);
        std::memcpy(buffer_ + used, in, take);
        in += take;
        length -= take;
        used += take;
        if (used < 64) return;
        transform(buffer_);
    }
    for (; length >= 64; in += 64, length -= 64) transform(in);
    if (length) std::memcpy(buffer_, in, length);
}

void MD5::finalize() {
    if (finalized_) {
        std::cerr << "MD5::finalize:  Already finalized this digest!" << std::endl;
        return;
    }
    std::uint8_t bits[8];
    for (int i = 0; i < 8; ++i) bits[i] = static_cast<std::uint8_t>(count_ >> (8 * i));
    const std::size_t used = static_cast<std::size_t>((count_ >> 3) & 63);
    const std::size_t fill = used < 56 ? 56 - used : 120 - used;
    static const std::uint8_t kFill[64] = {0x80};
    update(kFill, fill);
    update(bits, 8);
    for (int i = 0; i < 4; ++i) StoreLe(state_[i], digest_.data() + 4 * i);
    std::memset(buffer_, 0, sizeof buffer_);
    finalized_ = true;
}

MD5::Digest MD5::raw_digest() const {
    if (!finalized_) {
        std::cerr << "MD5::raw_digest:  Can't get digest if you haven't "
                  << "finalized the digest!" << std::endl;
        return Digest{};
    }
    return digest_;
}

std::string MD5::hex_digest() const {
    if (!finalized_) {
        std::cerr << "MD5::hex_digest:  Can't get digest if you haven't "
                  << "finalized the digest!" << std::endl;
        return {};
    }
    return ToHex(digest_.data(), digest_.size());
}

std::string MD5::Hex(std::string_view bytes) {
    MD5 md5;
    md5.update(bytes);
    md5.finalize();
    return md5.hex_digest();
}

MD5::Digest MD5::Raw(std::string_view bytes) {
    MD5 md5;
    md5.update(bytes);
    md5.finalize();
    return md5.raw_digest();
}

void MD5::transform(const std::uint8_t block[64]) {
    std::uint32_t x[16];
    for (int i = 0; i < 16; ++i) x[i] = LoadLe(block + 4 * i);
    std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
    for (int i = 0; i < 64; ++i) {
        std::uint32_t f;
        int g;
        if (i < 16) {
            f = (b & c) | (~b & d);
            g = i;
        } else if (i < 32) {
            f = (b & d) | (c & ~d);
            g = (5 * i + 1) & 15;
        } else if (i < 48) {
            f = b ^ c ^ d;
            g = (3 * i + 5) & 15;
        } else {
            f = c ^ (b | ~d);
            g = (7 * i) & 15;
        }
        const std::uint32_t next = b + Rotl(a + f + kSine[i] + x[g], kShift[i]);
        a = d;
        d = c;
        c = b;
        b = next;
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
}

MD5::Digest HmacMd5(std::string_view key, std::string_view message) {
    std::uint8_t k[64] = {};
    if (key.size() > 64) {
        const MD5::Digest hashed = MD5::Raw(key);
        std::memcpy(k, hashed.data(), hashed.size());
    } else {
        std::memcpy(k, key.data(), key.size());
    }
    std::uint8_t ipad[64], opad[64];
    for (int i = 0; i < 64; ++i) {
        ipad[i] = k[i] ^ 0x36;
        opad[i] = k[i] ^ 0x5c;
    }
    MD5 inner;
    inner.update(ipad, 64);
    inner.update(message);
    inner.finalize();
    const MD5::Digest innerDigest = inner.raw_digest();
    MD5 outer;
    outer.update(opad, 64);
    outer.update(innerDigest.data(), innerDigest.size());
    outer.finalize();
    return outer.raw_digest();
}

std::string ToHex(const std::uint8_t* bytes, std::size_t length) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(length * 2);
    for (std::size_t i = 0; i < length; ++i) {
        out.push_back(kDigits[bytes[i] >> 4]);
        out.push_back(kDigits[bytes[i] & 15]);
    }
    return out;
}

}  // namespace tarvell::smtp
