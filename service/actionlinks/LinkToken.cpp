#include "service/actionlinks/LinkToken.h"

#include <fcntl.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/Files.h"
#include "platform/Text.h"
#include "platform/UniqueFd.h"

namespace tarvell {

namespace {

// Names the MAC's purpose, so the secret's MACs can never stand for anything else.
constexpr std::string_view kTokenLabel = "Tarvell action link 1";
constexpr std::string_view kBoundTokenLabel = "Tarvell action link 2";
constexpr std::size_t kMaxDateKeyDigits = 20;

std::string ErrnoText(int error) { return std::strerror(error); }

void SetError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

bool IsKeyCharacter(unsigned char c, bool colon) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_' || c == '-' || (colon && c == ':');
}

bool IsKeyPart(std::string_view part, bool colon) {
    if (part.empty() || part.size() > kMaxLinkKeyPart) return false;
    for (unsigned char c : part)
        if (!IsKeyCharacter(c, colon)) return false;
    return true;
}

// The file must be ours alone: a regular file (not a link, FIFO or device) of our user with
// mode 0600 and exactly the secret's size.
// `missing` tells whether the failure was that there is no file at all.
std::optional<LinkSecret> ReadSecretFile(const std::string& path, std::string* error,
                                         bool* missing = nullptr) {
    if (missing) *missing = false;
    UniqueFd file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    const int fd = file.Get();
    if (fd < 0) {
        if (missing) *missing = errno == ENOENT;
        SetError(error, errno == ELOOP ? "it is a symbolic link" : ErrnoText(errno));
        return std::nullopt;
    }
    struct stat st {};
    std::string why;
    if (::fstat(fd, &st) != 0) why = ErrnoText(errno);
    else if (!S_ISREG(st.st_mode)) why = "not a regular file";
    else if (st.st_uid != ::geteuid()) why = "owned by another user";
    else if ((st.st_mode & 07777) != 0600) why = "mode is not 0600";
    else if (st.st_size != static_cast<off_t>(kLinkSecretBytes)) why = "not 32 bytes long";
    LinkSecret secret;
    if (why.empty()) {
        std::size_t got = 0;
        while (got < secret.bytes.size()) {
            const ssize_t n = ::read(fd, secret.bytes.data() + got, secret.bytes.size() - got);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                why = n < 0 ? ErrnoText(errno) : "shorter than 32 bytes";
                break;
            }
            got += static_cast<std::size_t>(n);
        }
    }
    file.Reset();
    if (!why.empty()) {
        SetError(error, why);
        OPENSSL_cleanse(secret.bytes.data(), secret.bytes.size());
        return std::nullopt;
    }
    return secret;
}

// Writes a new secret under a temporary name and links it into place. link() never replaces
// a file, so of two starters racing, one secret wins and both read that one. A reader never
// sees a part of the file. False with errno when the file could not be made; EEXIST when
// another one was there first (which is no failure).
bool CreateSecretFile(const std::string& folder, const std::string& path) {
    std::string tmp = JoinPath(folder, std::string(kLinkSecretFileName) + ".tmp-XXXXXX");
    UniqueFd file(::mkostemp(tmp.data(), O_CLOEXEC));
    const int fd = file.Get();
    if (fd < 0) return false;
    unsigned char bytes[kLinkSecretBytes];
    bool ok = ::fchmod(fd, 0600) == 0;
    if (ok && RAND_bytes(bytes, sizeof bytes) != 1) {
        ok = false;
        errno = EIO;
    }
    ok = ok &&
         WriteAllToFd(fd, std::string_view(reinterpret_cast<const char*>(bytes), sizeof bytes)) &&
         ::fsync(fd) == 0;
    OPENSSL_cleanse(bytes, sizeof bytes);
    file.Reset();
    if (!ok) {
        const int saved = errno;
        ::unlink(tmp.c_str());
        errno = saved;
        return false;
    }
    const bool linked = ::link(tmp.c_str(), path.c_str()) == 0;
    const int saved = errno;
    ::unlink(tmp.c_str());
    if (linked) {
        const UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (dir.Valid()) ::fsync(dir.Get());
    }
    errno = saved;
    return linked;
}

// The MAC input: a label, then each value with its length in front, so no two different
// lists of values can give the same bytes.
std::string TokenMessage(std::initializer_list<std::string_view> values,
                         std::string_view label = kTokenLabel) {
    std::string message(label);
    for (std::string_view value : values) {
        const auto n = static_cast<std::uint32_t>(value.size());
        message.push_back('\0');
        for (int shift = 24; shift >= 0; shift -= 8)
            message.push_back(static_cast<char>((n >> shift) & 0xFF));
        message.append(value);
    }
    return message;
}

std::string MacToken(const LinkSecret& secret, const std::string& message) {
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!HMAC(EVP_sha256(), secret.bytes.data(), static_cast<int>(secret.bytes.size()),
              reinterpret_cast<const unsigned char*>(message.data()), message.size(), mac, &length))
        return std::string();
    std::string token =
        Base64UrlEncode(std::string_view(reinterpret_cast<const char*>(mac), length));
    OPENSSL_cleanse(mac, sizeof mac);
    return token;
}

bool SameToken(const std::string& expected, std::string_view token) {
    // The length of a token is no secret; only the bytes are compared in constant time.
    if (expected.size() != kLinkTokenChars || token.size() != expected.size()) return false;
    return CRYPTO_memcmp(expected.data(), token.data(), expected.size()) == 0;
}

}  // namespace

std::optional<LinkSecret> LoadOrCreateLinkSecret(const std::string& serviceFolder,
                                                 std::string* error) {
    const std::string path = JoinPath(serviceFolder, kLinkSecretFileName);
    std::string why;
    bool missing = false;
    if (std::optional<LinkSecret> secret = ReadSecretFile(path, &why, &missing)) return secret;
    // Only a missing file is made; one that is there but refused stays as it is. (Looking again
    // would race with another starter that has just made it.)
    if (!missing) {
        SetError(error, "Link secret " + path + " could not be used (" + why + ")");
        return std::nullopt;
    }
    if (!CreateSecretFile(serviceFolder, path) && errno != EEXIST) {
        SetError(error, "Link secret " + path + " could not be made (" + ErrnoText(errno) + ")");
        return std::nullopt;
    }
    std::optional<LinkSecret> secret = ReadSecretFile(path, &why);
    if (!secret) SetError(error, "Link secret " + path + " could not be used (" + why + ")");
    return secret;
}

std::optional<std::string> CanonicalLinkAction(std::string_view action) {
    if (EqualsNoCase(action, "None")) return std::string("None");
    if (EqualsNoCase(action, "Delete")) return std::string("Delete");
    return std::nullopt;
}

bool IsLinkEvent(std::string_view event) {
    const std::size_t slash = event.find('/');
    if (slash == std::string_view::npos) return false;
    return IsKeyPart(event.substr(0, slash), true) && IsKeyPart(event.substr(slash + 1), true);
}

bool IsLinkAlertKey(std::string_view alertKey) { return IsKeyPart(alertKey, false); }

std::string MakeLinkToken(const LinkSecret& secret, std::string_view event, std::string_view action,
                          std::string_view alertKey) {
    const std::string word = CanonicalLinkAction(action).value_or(std::string(action));
    return MacToken(secret, TokenMessage({event, word, alertKey}));
}

std::string MakeLinkToken(const LinkSecret& secret, std::string_view event, std::string_view action,
                          std::string_view alertKey, const LinkBinding& binding) {
    const std::string word = CanonicalLinkAction(action).value_or(std::string(action));
    const std::string until = std::to_string(binding.until);
    return MacToken(secret,
                    TokenMessage({event, word, alertKey, binding.dateKey, binding.mac, until},
                                 kBoundTokenLabel));
}

bool CheckLinkToken(const LinkSecret& secret, std::string_view event, std::string_view action,
                    std::string_view alertKey, const LinkBinding& binding, std::string_view token) {
    return SameToken(MakeLinkToken(secret, event, action, alertKey, binding), token);
}

std::string MakeLinkQuery(const LinkSecret& secret, std::string_view event, std::string_view action,
                          std::string_view alertKey, const LinkBinding& binding) {
    const std::optional<std::string> word = CanonicalLinkAction(action);
    if (!word || !IsLinkEvent(event) || !IsLinkAlertKey(alertKey) || !IsLinkBinding(binding))
        return std::string();
    return "?Prog=" + std::string(kLinkProgram) + "&Event=" + std::string(event) +
           "&Action=" + *word + "&Key=" + std::string(alertKey) + "&Date=" + binding.dateKey +
           "&Mac=" + binding.mac + "&Until=" + std::to_string(binding.until) +
           "&Auth=" + MakeLinkToken(secret, event, *word, alertKey, binding);
}

std::string MakeActionLink(std::string_view address, const LinkSecret& secret,
                           std::string_view event, std::string_view action,
                           std::string_view alertKey, const LinkBinding& binding) {
    const std::string query = MakeLinkQuery(secret, event, action, alertKey, binding);
    if (query.empty()) return std::string();
    return "http://" + std::string(address) + ":" + std::to_string(kActionLinkPort) + "/" + query;
}

bool IsLinkBinding(const LinkBinding& binding) {
    if (binding.dateKey.size() > kMaxDateKeyDigits || binding.until < 0) return false;
    for (unsigned char c : binding.dateKey)
        if (c < '0' || c > '9') return false;
    if (binding.mac.size() > kMaxLinkKeyPart) return false;
    for (unsigned char c : binding.mac)
        if (!IsKeyCharacter(c, true) && c != '/') return false;
    return true;
}

bool CheckLinkToken(const LinkSecret& secret, std::string_view event, std::string_view action,
                    std::string_view alertKey, std::string_view token) {
    return SameToken(MakeLinkToken(secret, event, action, alertKey), token);
}

std::string MakeLinkQuery(const LinkSecret& secret, std::string_view event, std::string_view action,
                          std::string_view alertKey) {
    const std::optional<std::string> word = CanonicalLinkAction(action);
    if (!word || !IsLinkEvent(event) || !IsLinkAlertKey(alertKey)) return std::string();
    std::string query = "?Prog=" + std::string(kLinkProgram);
    query += "&Event=" + std::string(event);
    query += "&Action=" + *word;
    query += "&Key=" + std::string(alertKey);
    query += "&Auth=" + MakeLinkToken(secret, event, *word, alertKey);
    return query;
}

std::string MakeActionLink(std::string_view address, const LinkSecret& secret,
                           std::string_view event, std::string_view action,
                           std::string_view alertKey) {
    const std::string query = MakeLinkQuery(secret, event, action, alertKey);
    if (query.empty()) return std::string();
    return "http://" + std::string(address) + ":" + std::to_string(kActionLinkPort) + "/" + query;
}

std::string Base64UrlEncode(std::string_view bytes) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::string out;
    out.reserve((bytes.size() * 4 + 2) / 3);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const std::uint32_t v = (static_cast<unsigned char>(bytes[i]) << 16) |
                                (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                                static_cast<unsigned char>(bytes[i + 2]);
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    const std::size_t rest = bytes.size() - i;
    if (rest > 0) {
        std::uint32_t v = static_cast<unsigned char>(bytes[i]) << 16;
        if (rest == 2) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        if (rest == 2) out += kAlphabet[(v >> 6) & 63];
    }
    return out;
}

}  // namespace tarvell
