#include "viewer/core/settings/SnmpSettings.h"

#include <cctype>

#include "viewer/core/settings/SettingsRules.h"
#include "viewer/core/base/StringTable.h"

namespace tarvell {

std::string_view RightsName(std::string_view number) {
    if (number == "0") return LoadString(str::kReadOnly);
    if (number == "1") return LoadString(str::kReadWrite);
    if (number == "2") return LoadString(str::kWriteOnly);
    return {};
}

CommunityEntry SplitCommunity(std::string_view entry) {
    const std::size_t slash = entry.rfind('/');
    if (slash == std::string_view::npos) return {std::string(entry), "0"};
    return {std::string(entry.substr(0, slash)), std::string(entry.substr(slash + 1))};
}

std::string JoinCommunity(const CommunityEntry& entry) {
    return entry.community + "/" + entry.rights;
}

std::int32_t ShownProtocol(std::int32_t stored) {
    return stored >= kProtocolNone && stored <= kProtocolSecond ? stored : kProtocolNone;
}

std::int32_t PrivacyFor(std::int32_t auth, std::int32_t priv) {
    return ShownProtocol(auth) == kProtocolNone ? kProtocolNone : ShownProtocol(priv);
}

std::int32_t SecurityLevelOf(std::int32_t auth, std::int32_t priv) {
    if (ShownProtocol(auth) == kProtocolNone) return 1;
    return PrivacyFor(auth, priv) == kProtocolNone ? 2 : 3;
}

bool EngineIdValid(std::string_view text) {
    std::size_t start = 0;
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) start = 2;
    std::size_t digits = 0;
    for (std::size_t i = start; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ' || c == ':') continue;
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        ++digits;
    }
    return digits % 2 == 0 && digits <= 2 * kEngineIdMaxBytes;
}

unsigned CheckSnmpV3(const SnmpV3Values& v) {
    if (!EngineIdValid(v.engineId)) return str::kEngineIdInvalid;
    return CheckStorable({v.user, v.context, v.engineId, v.authPassword, v.privPassword});
}

}  // namespace tarvell
