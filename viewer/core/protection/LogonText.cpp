#include "viewer/core/protection/LogonText.h"

#include "viewer/core/base/StringTable.h"

namespace tarvell {

namespace {

// The text up to the next "/" from `at`, moving `at` past it.
std::string NextPart(const std::string& text, std::size_t& at) {
    if (at >= text.size()) return {};
    const std::size_t slash = text.find('/', at);
    std::string part = text.substr(at, slash == std::string::npos ? std::string::npos : slash - at);
    at = slash == std::string::npos ? text.size() : slash + 1;
    return part;
}

bool UsablePart(const std::string& part) {
    return !part.empty() && part.find('/') == std::string::npos;
}

}  // namespace

LogonParts ParseLogon(const std::string& account) {
    std::size_t at = 0;
    LogonParts parts;
    parts.user = NextPart(account, at);
    parts.domain = NextPart(account, at);
    parts.password = NextPart(account, at);
    return parts;
}

std::string FormatLogon(const LogonParts& parts) {
    return parts.user + "/" + parts.domain + "/" + parts.password + "/";
}

LogonVerdict ConfirmLogon(const LogonChoice& choice, bool serviceUserAccount) {
    if (!choice.specific) {
        if (!serviceUserAccount) return {str::kServiceAccountIsSystem, {}};
        return {0, {}};
    }
    if (!UsablePart(choice.user) || !UsablePart(choice.domain) || !UsablePart(choice.password) ||
        choice.password != choice.verify)
        return {str::kLogonInvalid, {}};
    return {0, FormatLogon({choice.user, choice.domain, choice.password})};
}

}  // namespace tarvell
