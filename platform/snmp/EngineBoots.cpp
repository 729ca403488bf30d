#include "platform/snmp/EngineBoots.h"

#include <cerrno>
#include <map>
#include <mutex>

#include "platform/Files.h"
#include "platform/Text.h"
#include "platform/snmp/Pdu.h"

namespace tarvell::snmp {

namespace {

constexpr std::size_t kMaxFileSize = 64 * 1024;
constexpr std::size_t kMaxLines = 1024;

// The only process-wide mutable state of the SNMP engine: it orders read-increment-store.
std::mutex& BootCounterMutex() {
    static std::mutex m;
    return m;
}

std::optional<std::string> FromHex(std::string_view hex) {
    if (hex.empty() || hex.size() % 2 != 0 || hex.size() > 2 * 32) return std::nullopt;
    std::string bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int hi = HexDigit(hex[i]);
        const int lo = HexDigit(hex[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        bytes.push_back(static_cast<char>(hi * 16 + lo));
    }
    return bytes;
}

std::optional<std::uint32_t> ParseBoots(std::string_view text) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    std::uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (v > kMaxEngineBoots) return std::nullopt;
    return static_cast<std::uint32_t>(v);
}

enum class LoadStatus { Ok, NoFile, Damaged };

// Engine id bytes to boots, or a status saying why there is none.
LoadStatus LoadFile(const std::string& path, std::map<std::string, std::uint32_t>& entries) {
    const std::optional<std::string> text = ReadWholeFile(path, kMaxFileSize);
    if (!text) return errno == ENOENT ? LoadStatus::NoFile : LoadStatus::Damaged;

    std::size_t pos = 0;
    while (pos < text->size()) {
        const std::size_t end = text->find('\n', pos);
        if (end == std::string::npos || entries.size() >= kMaxLines) return LoadStatus::Damaged;
        const std::string_view line(text->data() + pos, end - pos);
        pos = end + 1;
        const std::size_t blank = line.find(' ');
        if (blank == std::string_view::npos) return LoadStatus::Damaged;
        auto id = FromHex(line.substr(0, blank));
        auto boots = ParseBoots(line.substr(blank + 1));
        if (!id || !boots || entries.count(*id)) return LoadStatus::Damaged;
        entries[*id] = *boots;
    }
    return LoadStatus::Ok;
}

bool StoreLocked(const std::string& path, std::map<std::string, std::uint32_t> entries,
                 std::string_view engineId, std::uint32_t boots) {
    entries[std::string(engineId)] = boots;
    std::string text;
    for (const auto& [id, count] : entries) {
        text += HexUpper(id);
        text.push_back(' ');
        text += std::to_string(count);
        text.push_back('\n');
    }
    return AtomicWriteFile(path, text);
}

}  // namespace

BootRead ReadBootCounter(const std::string& path, std::string_view engineId) {
    std::map<std::string, std::uint32_t> entries;
    switch (LoadFile(path, entries)) {
        case LoadStatus::NoFile: return {BootReadStatus::NoFile, 0};
        case LoadStatus::Damaged: return {BootReadStatus::Damaged, 0};
        case LoadStatus::Ok: break;
    }
    const auto it = entries.find(std::string(engineId));
    if (it == entries.end()) return {BootReadStatus::NoEntry, 0};
    return {BootReadStatus::Ok, it->second};
}

bool SaveBootCounter(const std::string& path, std::string_view engineId, std::uint32_t boots) {
    if (engineId.empty() || engineId.size() > 32 || boots > kMaxEngineBoots) return false;
    std::lock_guard<std::mutex> lock(BootCounterMutex());
    std::map<std::string, std::uint32_t> entries;
    if (LoadFile(path, entries) == LoadStatus::Damaged) return false;
    return StoreLocked(path, std::move(entries), engineId, boots);
}

std::optional<std::uint32_t> NextBootCount(const std::string& path, std::string_view engineId) {
    if (engineId.empty() || engineId.size() > 32) return std::nullopt;
    std::lock_guard<std::mutex> lock(BootCounterMutex());
    std::map<std::string, std::uint32_t> entries;
    if (LoadFile(path, entries) == LoadStatus::Damaged) return std::nullopt;
    const auto it = entries.find(std::string(engineId));
    const std::uint32_t current = it == entries.end() ? 0 : it->second;
    const std::uint32_t next = current >= kMaxEngineBoots ? kMaxEngineBoots : current + 1;
    if (!StoreLocked(path, std::move(entries), engineId, next)) return std::nullopt;
    return next;
}

}  // namespace tarvell::snmp
