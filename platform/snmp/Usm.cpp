#include "platform/snmp/Usm.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/provider.h>
#include <openssl/rand.h>

#include <memory>

namespace tarvell::snmp {

namespace {

// OpenSSL 3 keeps single DES in its legacy provider. We load it, with the default provider, into
// a library context of our own so that the rest of the process keeps OpenSSL's defaults.
// Built once on first use; read-only afterwards.
class Crypto {
public:
    Crypto() {
        ctx_ = OSSL_LIB_CTX_new();
        if (!ctx_) return;
        defaultProvider_ = OSSL_PROVIDER_load(ctx_, "default");
        legacyProvider_ = OSSL_PROVIDER_load(ctx_, "legacy");
        md5_ = EVP_MD_fetch(ctx_, "MD5", nullptr);
        sha1_ = EVP_MD_fetch(ctx_, "SHA1", nullptr);
        des_ = EVP_CIPHER_fetch(ctx_, "DES-CBC", nullptr);
        des3_ = EVP_CIPHER_fetch(ctx_, "DES-EDE3-CBC", nullptr);
    }
    ~Crypto() {
        EVP_MD_free(md5_);
        EVP_MD_free(sha1_);
        EVP_CIPHER_free(des_);
        EVP_CIPHER_free(des3_);
        if (legacyProvider_) OSSL_PROVIDER_unload(legacyProvider_);
        if (defaultProvider_) OSSL_PROVIDER_unload(defaultProvider_);
        OSSL_LIB_CTX_free(ctx_);
    }
    Crypto(const Crypto&) = delete;
    Crypto& operator=(const Crypto&) = delete;

    OSSL_LIB_CTX* Context() const { return ctx_; }
    const EVP_MD* Digest(AuthProtocol auth) const {
        if (auth == AuthProtocol::Md5) return md5_;
        if (auth == AuthProtocol::Sha) return sha1_;
        return nullptr;
    }
    const EVP_CIPHER* Cipher(PrivProtocol priv) const {
        if (priv == PrivProtocol::Des) return des_;
        if (priv == PrivProtocol::TripleDes) return des3_;
        return nullptr;
    }

private:
    OSSL_LIB_CTX* ctx_ = nullptr;
    OSSL_PROVIDER* defaultProvider_ = nullptr;
    OSSL_PROVIDER* legacyProvider_ = nullptr;
    EVP_MD* md5_ = nullptr;
    EVP_MD* sha1_ = nullptr;
    EVP_CIPHER* des_ = nullptr;
    EVP_CIPHER* des3_ = nullptr;
};

const Crypto& TheCrypto() {
    static const Crypto crypto;
    return crypto;
}

struct MdCtxFree {
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};
struct CipherCtxFree {
    void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};

const unsigned char* Bytes(std::string_view s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

std::string Digest(const EVP_MD* md, std::string_view a, std::string_view b = {},
                   std::string_view c = {}) {
    std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int outLen = 0;
    if (!ctx || !EVP_DigestInit_ex(ctx.get(), md, nullptr) ||
        !EVP_DigestUpdate(ctx.get(), a.data(), a.size()) ||
        !EVP_DigestUpdate(ctx.get(), b.data(), b.size()) ||
        !EVP_DigestUpdate(ctx.get(), c.data(), c.size()) ||
        !EVP_DigestFinal_ex(ctx.get(), out, &outLen)) {
        return {};
    }
    return std::string(reinterpret_cast<char*>(out), outLen);
}

std::size_t KeyBytes(PrivProtocol priv) { return priv == PrivProtocol::TripleDes ? 24 : 8; }
std::size_t NeededPrivKeyBytes(PrivProtocol priv) { return KeyBytes(priv) + 8; }

std::string MakeIv(std::string_view privKey, PrivProtocol priv, std::string_view salt) {
    std::string iv(privKey.substr(KeyBytes(priv), 8));
    for (std::size_t i = 0; i < 8; ++i) iv[i] = static_cast<char>(iv[i] ^ salt[i]);
    return iv;
}

std::optional<std::string> RunCipher(PrivProtocol priv, std::string_view privKey,
                                     std::string_view iv, std::string_view input, bool encrypt) {
    const EVP_CIPHER* cipher = TheCrypto().Cipher(priv);
    if (!cipher || privKey.size() < NeededPrivKeyBytes(priv)) return std::nullopt;
    std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree> ctx(EVP_CIPHER_CTX_new());
    if (!ctx || !EVP_CipherInit_ex2(ctx.get(), cipher, Bytes(privKey), Bytes(iv), encrypt ? 1 : 0,
                                    nullptr)) {
        return std::nullopt;
    }
    EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
    std::string out(input.size() + 16, '\0');
    int n1 = 0;
    int n2 = 0;
    auto* o = reinterpret_cast<unsigned char*>(out.data());
    if (!EVP_CipherUpdate(ctx.get(), o, &n1, Bytes(input), static_cast<int>(input.size())) ||
        !EVP_CipherFinal_ex(ctx.get(), o + n1, &n2)) {
        return std::nullopt;
    }
    out.resize(static_cast<std::size_t>(n1 + n2));
    return out;
}

}  // namespace

std::string PasswordToKey(AuthProtocol auth, std::string_view password) {
    const EVP_MD* md = TheCrypto().Digest(auth);
    if (!md || password.empty()) return {};
    std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
    if (!ctx || !EVP_DigestInit_ex(ctx.get(), md, nullptr)) return {};
    unsigned char block[64];
    std::size_t index = 0;
    for (std::size_t count = 0; count < 1048576; count += sizeof block) {
        for (unsigned char& b : block) {
            b = static_cast<unsigned char>(password[index]);
            if (++index == password.size()) index = 0;
        }
        if (!EVP_DigestUpdate(ctx.get(), block, sizeof block)) return {};
    }
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int outLen = 0;
    if (!EVP_DigestFinal_ex(ctx.get(), out, &outLen)) return {};
    return std::string(reinterpret_cast<char*>(out), outLen);
}

std::string LocalizeKey(AuthProtocol auth, std::string_view ku, std::string_view engineId) {
    const EVP_MD* md = TheCrypto().Digest(auth);
    if (!md || ku.empty()) return {};
    return Digest(md, ku, engineId, ku);
}

std::string LocalizePrivKey(AuthProtocol auth, PrivProtocol priv, std::string_view privKu,
                            std::string_view engineId) {
    std::string key = LocalizeKey(auth, privKu, engineId);
    if (key.empty()) return {};
    // Extension for 3DES: append localize(passwordToKey(key so far)) until 32 bytes are there.
    const std::size_t needed = NeededPrivKeyBytes(priv);
    while (key.size() < needed) {
        const std::string more = LocalizeKey(auth, PasswordToKey(auth, key), engineId);
        if (more.empty()) return {};
        key += more;
    }
    if (priv == PrivProtocol::TripleDes) key.resize(needed);
    return key;
}

std::string AuthDigest(AuthProtocol auth, std::string_view key, std::string_view message) {
    const char* name = auth == AuthProtocol::Md5   ? "MD5"
                       : auth == AuthProtocol::Sha ? "SHA1"
                                                   : nullptr;
    if (!name || key.empty()) return {};
    unsigned char out[EVP_MAX_MD_SIZE];
    std::size_t outLen = 0;
    if (!EVP_Q_mac(TheCrypto().Context(), "HMAC", nullptr, name, nullptr, key.data(), key.size(),
                   Bytes(message), message.size(), out, sizeof out, &outLen) ||
        outLen < kAuthParamsSize) {
        return {};
    }
    return std::string(reinterpret_cast<char*>(out), kAuthParamsSize);
}

bool AuthDigestMatches(AuthProtocol auth, std::string_view key, std::string_view messageWithZeros,
                       std::string_view received) {
    if (received.size() != kAuthParamsSize) return false;
    const std::string expected = AuthDigest(auth, key, messageWithZeros);
    return expected.size() == kAuthParamsSize &&
           CRYPTO_memcmp(expected.data(), received.data(), kAuthParamsSize) == 0;
}

std::optional<Encrypted> EncryptScopedPdu(PrivProtocol priv, std::string_view privKey,
                                          std::uint32_t boots, std::uint32_t counter,
                                          std::string_view plaintext) {
    if (privKey.size() < NeededPrivKeyBytes(priv)) return std::nullopt;
    std::string salt(8, '\0');
    for (int i = 0; i < 4; ++i) {
        salt[static_cast<std::size_t>(i)] = static_cast<char>(boots >> (24 - 8 * i));
        salt[static_cast<std::size_t>(4 + i)] = static_cast<char>(counter >> (24 - 8 * i));
    }
    std::string padded(plaintext);
    padded.resize((padded.size() + 7) / 8 * 8, '\0');
    auto ciphertext = RunCipher(priv, privKey, MakeIv(privKey, priv, salt), padded, true);
    if (!ciphertext) return std::nullopt;
    return Encrypted{std::move(*ciphertext), std::move(salt)};
}

std::optional<std::string> DecryptScopedPdu(PrivProtocol priv, std::string_view privKey,
                                            std::string_view privParams,
                                            std::string_view ciphertext) {
    if (privParams.size() != kPrivParamsSize || ciphertext.empty() || ciphertext.size() % 8 != 0 ||
        privKey.size() < NeededPrivKeyBytes(priv)) {
        return std::nullopt;
    }
    return RunCipher(priv, privKey, MakeIv(privKey, priv, privParams), ciphertext, false);
}

std::uint32_t RandomUint32() {
    std::uint32_t v = 0;
    if (RAND_bytes(reinterpret_cast<unsigned char*>(&v), sizeof v) != 1) return 0;
    return v;
}

}  // namespace tarvell::snmp
