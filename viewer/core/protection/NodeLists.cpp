#include "viewer/core/protection/NodeLists.h"

#include <cerrno>
#include <set>

#include "platform/Files.h"
#include "viewer/core/protection/DeviceChoice.h"

namespace tarvell {

namespace {

// The same bounds as the service's pass over its import files.
constexpr std::size_t kMaxImportBytes = 16u * 1024u * 1024u;
constexpr std::size_t kMaxImportLines = 100'000;

bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

}  // namespace

std::string_view NodeModeText(NodeMode mode) { return mode == NodeMode::List ? "list" : "count"; }

std::optional<ShownEntry> ShownNodeEntry(const std::string& entry, NodeMode mode) {
    const std::size_t semi = entry.find(';');
    std::string key = entry.substr(0, semi);
    std::string port = semi == std::string::npos ? std::string() : entry.substr(semi + 1);
    if (mode == NodeMode::Count) return ShownEntry{std::move(key), std::move(port)};
    const std::size_t slash = key.find('/');
    if (slash == std::string::npos) return std::nullopt;
    // The origin reads as the number 1: digits only, leading zeros allowed.
    const std::string_view origin = std::string_view(key).substr(slash + 1);
    const std::size_t first = origin.find_first_not_of('0');
    if (origin.empty() || first == std::string_view::npos || origin.substr(first) != "1")
        return std::nullopt;
    return ShownEntry{key.substr(0, slash), std::move(port)};
}

std::string FormatNodeEntry(const std::string& node, const std::string& port, NodeMode mode) {
    return node + (mode == NodeMode::List ? "/1;" : ";") + port;
}

std::string GroupCaption(const std::string& caption, std::size_t rows) {
    return caption.substr(0, caption.find(" (")) + " (" + std::to_string(rows) + ")";
}

bool ValidNode(const std::string& node) {
    if (node.find('.') != std::string::npos) return IpToHostOrder(node).has_value();
    if (node.empty() || node.size() > 12) return false;
    bool star = false;
    for (char c : node) {
        if (c == '*') star = true;
        else if (!IsHex(c)) return false;
    }
    return star || node.size() == 12;
}

std::string PortKey(const std::string& deviceKey, long index) {
    return deviceKey + "/" + std::to_string(index);
}

std::optional<std::vector<NodeListLine>> ReadNodeImportFile(
    const std::string& path, const std::map<std::string, std::string>& devices,
    const std::map<std::string, std::string>& ports) {
    const auto content = ReadWholeFile(path, kMaxImportBytes);
    if (!content) return std::nullopt;
    std::vector<NodeListLine> lines = ParseNodeListText(*content, kMaxImportLines);
    for (NodeListLine& line : lines)
        if (!line.place.empty()) line.place = ResolvePlace(line.place, devices, ports);
    return lines;
}

NodeListEdit::NodeListEdit(NodeMode mode, const std::vector<std::string>& entries) : mode_(mode) {
    for (const std::string& entry : entries)
        if (auto shown = ShownNodeEntry(entry, mode)) nodes_[shown->node] = shown->port;
}

const std::string* NodeListEdit::PortOf(const std::string& node) const {
    const auto it = nodes_.find(node);
    return it == nodes_.end() ? nullptr : &it->second;
}

void NodeListEdit::Record(const std::string& node, std::optional<std::string> port) {
    auto [it, added] = changes_.try_emplace(node, port);
    if (added) changeOrder_.push_back(node);
    else it->second = std::move(port);
}

void NodeListEdit::Put(const std::string& node, const std::string& port) {
    if (node.empty()) return;
    nodes_[node] = port;
    Record(node, port);
}

void NodeListEdit::Remove(const std::string& node) {
    if (nodes_.erase(node)) Record(node, std::nullopt);
}

void NodeListEdit::Import(const std::vector<NodeListLine>& lines) {
    for (const NodeListLine& line : lines) Put(line.node, line.place);
}

std::vector<std::string> NodeListEdit::Apply(const std::vector<std::string>& current) const {
    if (changes_.empty()) return current;
    std::vector<std::string> out;
    out.reserve(current.size() + changes_.size());
    std::set<std::string> placed;
    for (const std::string& entry : current) {
        const auto shown = ShownNodeEntry(entry, mode_);
        const auto change = shown ? changes_.find(shown->node) : changes_.end();
        if (change == changes_.end()) {
            out.push_back(entry);
            continue;
        }
        if (!change->second || !placed.insert(change->first).second) continue;
        out.push_back(FormatNodeEntry(change->first, *change->second, mode_));
    }
    for (const std::string& node : changeOrder_) {
        const auto& port = changes_.at(node);
        if (port && !placed.count(node)) out.push_back(FormatNodeEntry(node, *port, mode_));
    }
    return out;
}

}  // namespace tarvell
