#include "shared/AlertTarget.h"

#include <algorithm>

namespace tarvell {

TargetEntry SplitTargetEntry(std::string_view entry, bool atLast) {
    const std::size_t bar = atLast ? entry.rfind('|') : entry.find('|');
    if (bar == std::string_view::npos) return {std::string(entry), {}};
    return {std::string(entry.substr(0, bar)), std::string(entry.substr(bar + 1))};
}

std::string JoinTargetEntry(const TargetEntry& entry) {
    return entry.filters.empty() ? entry.target : entry.target + "|" + entry.filters;
}

std::vector<TargetFilter> ParseFilters(std::string_view list) {
    std::vector<TargetFilter> out;
    while (!list.empty()) {
        const std::size_t end = list.find(';');
        const std::string_view item = list.substr(0, end);
        list = end == std::string_view::npos ? std::string_view{} : list.substr(end + 1);
        const std::size_t slash = item.find('/');
        if (slash != 1 || item[0] < '0' || item[0] > '8') continue;
        out.push_back({item[0] - '0', std::string(item.substr(slash + 1))});
    }
    return out;
}

std::string FormatFilters(const std::vector<TargetFilter>& filters) {
    std::string out;
    for (const TargetFilter& f : filters) out += std::to_string(f.type) + "/" + f.pattern + ";";
    return out;
}

std::string PropertiesString(const CommandProperties& p) {
    return p.command + ";" + p.parameters + ";" + p.user + ";" + p.domain + ";" + p.password + ";";
}

CommandProperties ParseProperties(std::string_view properties) {
    std::string* fields[4];
    CommandProperties p;
    fields[0] = &p.command;
    fields[1] = &p.parameters;
    fields[2] = &p.user;
    fields[3] = &p.domain;
    std::size_t from = 0;
    for (std::string* field : fields) {
        const std::size_t semi = properties.find(';', from);
        if (semi == std::string_view::npos) {
            *field = std::string(properties.substr(std::min(from, properties.size())));
            return p;
        }
        *field = std::string(properties.substr(from, semi - from));
        from = semi + 1;
    }
    std::string_view rest = properties.substr(from);
    if (!rest.empty() && rest.back() == ';') rest.remove_suffix(1);
    p.password = std::string(rest);
    return p;
}

std::optional<CommandProperties> ParseCommandTarget(std::string_view target) {
    if (std::count(target.begin(), target.end(), ';') < 5) return std::nullopt;
    return ParseProperties(target.substr(target.find(';') + 1));
}

}  // namespace tarvell
