#include "service/linkup/LinkupRules.h"

#include <unistd.h>

#include "platform/Text.h"

namespace tarvell {

WmiAccount SplitLogon(const std::string& text) {
    WmiAccount account;
    const std::size_t first = text.find('/');
    account.user = text.substr(0, first);
    if (first == std::string::npos) return account;
    const std::size_t second = text.find('/', first + 1);
    account.domain = text.substr(
        first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
    if (second == std::string::npos) return account;
    account.password = text.substr(second + 1);
    if (!account.password.empty() && account.password.back() == '/') account.password.pop_back();
    return account;
}

bool MatchAny(const std::string& alternatives, const std::string& value) {
    std::size_t start = 0;
    for (;;) {
        const std::size_t bar = alternatives.find('|', start);
        const std::string_view one =
            std::string_view(alternatives)
                .substr(start, bar == std::string::npos ? std::string::npos : bar - start);
        if (EqualsNoCase(one, value)) return true;
        if (bar == std::string::npos) return false;
        start = bar + 1;
    }
}

WmiCondition ParseWmiCondition(const std::string& entry) {
    WmiCondition condition;
    const std::size_t semicolon = entry.find(';');
    const std::string head = entry.substr(0, semicolon);
    const std::int64_t type = AtoL(head);
    condition.type = type < 0 || type > 1000 ? -1 : static_cast<long>(type);
    if (semicolon != std::string::npos) condition.alternatives = entry.substr(semicolon + 1);
    return condition;
}

std::pair<std::string, std::string> SplitProgram(const std::string& alternative) {
    const std::size_t colon = alternative.rfind(':');
    if (colon == std::string::npos) return {alternative, {}};
    return {alternative.substr(0, colon), alternative.substr(colon + 1)};
}

std::pair<std::string, std::string> SplitRegistryExpected(const std::string& alternative) {
    return SplitFirst(alternative, ':');
}

std::optional<RegistryPath> ParseRegistryPath(const std::string& path) {
    static const std::pair<const char*, std::uint32_t> kRoots[] = {
        {"HKEY_CLASSES_ROOT", kHkeyClassesRoot},     {"HKEY_CURRENT_USER", kHkeyCurrentUser},
        {"HKEY_LOCAL_MACHINE", kHkeyLocalMachine},   {"HKEY_USERS", kHkeyUsers},
        {"HKEY_CURRENT_CONFIG", kHkeyCurrentConfig}, {"HKEY_DYN_DATA", kHkeyDynData},
    };
    const std::size_t first = path.find('\\');
    const std::size_t last = path.rfind('\\');
    if (first == std::string::npos || last == first) return std::nullopt;
    RegistryPath parsed;
    const std::string rootName = path.substr(0, first);
    bool known = false;
    for (const auto& [name, number] : kRoots) {
        if (EqualsNoCase(rootName, name)) {
            parsed.root = number;
            known = true;
        }
    }
    if (!known) return std::nullopt;
    parsed.key = path.substr(first + 1, last - first - 1);
    parsed.value = path.substr(last + 1);
    if (parsed.key.empty()) return std::nullopt;
    return parsed;
}

std::string NodeAddress(const std::string& text) {
    return Trim(std::string_view(text).substr(0, text.find('(')), " \t");
}

bool IsThisComputer(const std::string& nodeName) {
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0) return false;
    const std::string own(host);
    const auto shortName = [](const std::string& name) { return name.substr(0, name.find('.')); };
    return !nodeName.empty() && EqualsNoCase(shortName(own), shortName(nodeName));
}

std::string LogText(const std::string& text) {
    std::string out = text.substr(0, 256);
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    }
    return out;
}

}  // namespace tarvell
