#include "service/engine/UsedLinks.h"

#include <algorithm>
#include <charconv>
#include <vector>

#include "platform/Files.h"
#include "platform/RecursiveLock.h"
#include "service/engine/CTarvellFrm.h"

namespace tarvell {

namespace {

constexpr std::size_t kMaxTokenChars = 64;

std::optional<std::int64_t> Decimal(std::string_view text) {
    std::int64_t value = 0;
    if (text.empty() || text.size() > 19) return std::nullopt;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
    return value;
}

// The fields of `text` split at ';', the last one taking the rest.
std::vector<std::string> SplitFields(const std::string& text, std::size_t count) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (fields.size() + 1 < count) {
        const std::size_t semi = text.find(';', start);
        if (semi == std::string::npos) break;
        fields.push_back(text.substr(start, semi - start));
        start = semi + 1;
    }
    fields.push_back(text.substr(start));
    return fields;
}

}  // namespace

std::string LinkRequest::Format() const {
    return event + ";" + action + ";" + date + ";" + mac + ";" + token + ";" +
           std::to_string(until) + ";" + host;
}

std::optional<LinkRequest> LinkRequest::Parse(const std::string& entry) {
    const std::vector<std::string> f = SplitFields(entry, 7);
    if (f.size() != 7) return std::nullopt;
    const std::optional<std::int64_t> until = Decimal(f[5]);
    if (!until || f[0].empty() || f[4].empty()) return std::nullopt;
    return LinkRequest{f[0], f[1], f[2], f[3], f[4], *until, f[6]};
}

bool LinkNamesEvent(const LinkRequest& request, const CEventItem& event) {
    if (request.date.rfind("<=", 0) == 0) {
        const std::optional<std::int64_t> second =
            Decimal(std::string_view(request.date).substr(2));
        const std::optional<std::int64_t> recorded = Decimal(event.DateKey);
        return second && recorded && *recorded <= *second;
    }
    return request.date == event.DateKey && request.mac == event.SourceMac;
}

void UsedLinks::Add(const std::string& token, std::int64_t until, std::int64_t now) {
    until_[token] = until;
    Prune(now);
}

void UsedLinks::Prune(std::int64_t now) {
    for (auto it = until_.begin(); it != until_.end();)
        it = it->second < now ? until_.erase(it) : std::next(it);
    if (until_.size() <= kMaxUsedLinks) return;
    // Beyond the bound the tokens that expire last are kept.
    std::vector<std::pair<std::int64_t, std::string>> byExpiry;
    byExpiry.reserve(until_.size());
    for (auto& [token, until] : until_) byExpiry.emplace_back(until, token);
    std::nth_element(byExpiry.begin(),
                     byExpiry.begin() + static_cast<std::ptrdiff_t>(kMaxUsedLinks), byExpiry.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    byExpiry.resize(kMaxUsedLinks);
    until_.clear();
    for (auto& [until, token] : byExpiry) until_.emplace(std::move(token), until);
}

std::string UsedLinks::Format() const {
    std::string text;
    for (const auto& [token, until] : until_) text += std::to_string(until) + " " + token + "\n";
    return text;
}

UsedLinks UsedLinks::Parse(const std::string& text, std::int64_t now) {
    UsedLinks links;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string_view line(text.data() + start, end - start);
        start = end + 1;
        const std::size_t blank = line.find(' ');
        if (blank == std::string_view::npos) continue;
        const std::optional<std::int64_t> until = Decimal(line.substr(0, blank));
        const std::string_view token = line.substr(blank + 1);
        if (!until || token.empty() || token.size() > kMaxTokenChars) continue;
        links.until_[std::string(token)] = *until;
    }
    links.Prune(now);
    return links;
}

UsedLinks& CTarvellFrm::UsedActionLinks() {
    RecursiveGuard lock(EngineLock);
    if (!usedLinks_) {
        // A few hundred bytes, read once.
        const std::optional<std::string> text =
            ReadWholeFile(JoinPath(ServiceFolder, kUsedLinksFileName), 4 << 20);
        usedLinks_ = UsedLinks::Parse(text.value_or(""), clock().Now());
    }
    return *usedLinks_;
}

bool CTarvellFrm::SaveUsedActionLinks() {
    std::string text;
    {
        RecursiveGuard lock(EngineLock);
        text = UsedActionLinks().Format();
    }
    const std::string path = JoinPath(ServiceFolder, kUsedLinksFileName);
    if (AtomicWriteFile(path, text, 0600)) return true;
    Log("The used action links could not be saved to " + path +
        "; a link carried out may be taken again after a restart");
    return false;
}

}  // namespace tarvell
