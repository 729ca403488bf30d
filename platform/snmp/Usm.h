// User-based security model (RFC 3414) crypto on OpenSSL: password to key, key localisation,
// HMAC-MD5-96 and HMAC-SHA-96, DES-CBC privacy, and 3DES-EDE privacy in the form of the
// "3DES-EDE for USM" draft (localised key extended to 32 bytes: 24 key bytes and an 8-byte pre-IV).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvell::snmp {

enum class AuthProtocol { None, Md5, Sha };
enum class PrivProtocol { None, Des, TripleDes };
enum class SecurityLevel { NoAuthNoPriv = 1, AuthNoPriv = 2, AuthPriv = 3 };

inline constexpr std::size_t kAuthParamsSize = 12;
inline constexpr std::size_t kPrivParamsSize = 8;

// RFC 3414 A.2: the digest of the password repeated over 1 MiB. Empty for AuthProtocol::None or
// an empty password.
std::string PasswordToKey(AuthProtocol auth, std::string_view password);
// RFC 3414 A.2: digest(Ku | engineID | Ku).
std::string LocalizeKey(AuthProtocol auth, std::string_view ku, std::string_view engineId);
// The localised privacy key for `priv`: the plain localised key for DES, the extended 32-byte key
// for 3DES. Empty when it cannot be made.
std::string LocalizePrivKey(AuthProtocol auth, PrivProtocol priv, std::string_view privKu,
                            std::string_view engineId);

// First 12 bytes of HMAC(key, message).
std::string AuthDigest(AuthProtocol auth, std::string_view key, std::string_view message);
// Constant-time check of a received 12-byte digest.
bool AuthDigestMatches(AuthProtocol auth, std::string_view key, std::string_view messageWithZeros,
                       std::string_view received);

struct Encrypted {
    std::string ciphertext;
    std::string privParams;  // the 8-byte salt
};

// Salt = boots (4 bytes, big-endian) | counter (4 bytes); IV = pre-IV XOR salt.
std::optional<Encrypted> EncryptScopedPdu(PrivProtocol priv, std::string_view privKey,
                                          std::uint32_t boots, std::uint32_t counter,
                                          std::string_view plaintext);
std::optional<std::string> DecryptScopedPdu(PrivProtocol priv, std::string_view privKey,
                                            std::string_view privParams,
                                            std::string_view ciphertext);

// Random bytes from OpenSSL; zeros if that fails (used for request-id seeds only).
std::uint32_t RandomUint32();

}  // namespace tarvell::snmp
