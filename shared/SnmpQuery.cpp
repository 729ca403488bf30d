#include "shared/SnmpQuery.h"

#include "platform/snmp/Ber.h"

namespace tarvell {

bool IsOidText(std::string_view text) {
    return text.size() <= kMaxOidTextChars && snmp::ParseOid(text).has_value();
}

BlockingQuery SplitBlockingQuery(std::string_view stored) {
    const std::size_t slash = stored.find('/');
    if (slash == std::string_view::npos) return {std::string(stored), {}};
    return {std::string(stored.substr(0, slash)), std::string(stored.substr(slash + 1))};
}

std::string JoinBlockingQuery(const BlockingQuery& query) { return query.oid + "/" + query.value; }

std::optional<BlockingQuery> ParseBlockingQuery(std::string_view stored) {
    if (stored.find('/') == std::string_view::npos) return std::nullopt;
    BlockingQuery query = SplitBlockingQuery(stored);
    if (!IsOidText(query.oid)) return std::nullopt;
    if (!query.oid.empty() && query.oid.front() == '.') query.oid.erase(0, 1);
    return query;
}

}  // namespace tarvell
