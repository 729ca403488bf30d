// An incremental MD5 digest (RFC 1321) and the keyed HMAC-MD5 (RFC 2104) built on it, for the
// challenge-response logins of the mail client. Not for anything that needs a secure hash.
//
// Misuse (adding to a finished digest, finishing twice, reading an unfinished one) writes one
// line to the error stream and changes nothing; digests are returned as values.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarvell::smtp {

class MD5 {
public:
    using Digest = std::array<std::uint8_t, 16>;

    MD5() { init(); }

    // Starts over: the initial chaining words, nothing hashed, not finalized.
    void init();
    void update(const void* bytes, std::size_t length);
    void update(std::string_view bytes) { update(bytes.data(), bytes.size()); }
    // Appends the fill bytes and the bit count and keeps the digest.
    void finalize();
    bool finalized() const { return finalized_; }
    // The 16 digest bytes; all zero before finalize.
    Digest raw_digest() const;
    // 32 lower-case hex digits; empty before finalize.
    std::string hex_digest() const;

    // The hex digest of one text in one call.
    static std::string Hex(std::string_view bytes);
    static Digest Raw(std::string_view bytes);

private:
    void transform(const std::uint8_t block[64]);

    std::uint32_t state_[4] = {};
    std::uint64_t count_ = 0;  // bits hashed so far
    std::uint8_t buffer_[64] = {};
    Digest digest_{};
    bool finalized_ = false;
};

// HMAC-MD5 of `message` under `key`; a key longer than 64 bytes is first replaced by its MD5.
MD5::Digest HmacMd5(std::string_view key, std::string_view message);

// Lower-case hex of bytes.
std::string ToHex(const std::uint8_t* bytes, std::size_t length);

}  // namespace tarvell::smtp
