// Action-link requests as the engine carries them out, and the links already used.
//
// A request names the event it was made for: its key, and either its DateKey and source MAC
// (links of this version) or, for links mailed before links carried them, the alert's second,
// which no later event of the port can be older than. A request is carried out only while the
// event at the key is still that one, and each link once: the tokens of links carried out are
// kept until their link expires, in ActionLink.used of the service folder ("<until> <token>"
// lines, at most kMaxUsedLinks; a line that does not parse is skipped).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "shared/CEventItem.h"

namespace tarvell {

inline constexpr const char* kUsedLinksFileName = "ActionLink.used";
inline constexpr std::size_t kMaxUsedLinks = 20'000;

// One queued request: "<event>;<action>;<date>;<mac>;<token>;<until>;<host>". `date` is the
// event's DateKey, or "<=" and a second for an older link (then `mac` is empty).
struct LinkRequest {
    std::string event, action, date, mac, token;
    std::int64_t until = 0;
    std::string host;

    std::string Format() const;
    static std::optional<LinkRequest> Parse(const std::string& entry);
};

// Whether `event` is the event the request was made for.
bool LinkNamesEvent(const LinkRequest& request, const CEventItem& event);

// The tokens of links carried out, until their links expire. Not thread-safe: the engine
// keeps it under its EngineLock.
class UsedLinks {
public:
    bool Contains(const std::string& token) const { return until_.count(token) != 0; }
    // Adds a token; forgets the ones expired by `now` and, beyond the bound, the soonest to expire.
    void Add(const std::string& token, std::int64_t until, std::int64_t now);
    std::size_t Size() const { return until_.size(); }

    std::string Format() const;
    static UsedLinks Parse(const std::string& text, std::int64_t now);

private:
    void Prune(std::int64_t now);
    std::map<std::string, std::int64_t> until_;
};

}  // namespace tarvell
