// Text operations of the engine: the event-type vocabulary and the configured texts per type and
// severity, the wildcard match of the alert filters and look-ups, and the node list reader.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <optional>
#include <unordered_set>

#include "platform/Files.h"
#include "platform/RecursiveLock.h"
#include "platform/Text.h"
#include "platform/ErrnoText.h"
#include "service/engine/CTarvellFrm.h"
#include "shared/EventTypes.h"
#include "shared/NodeListText.h"

namespace tarvell {

namespace {

// Node list files are small text files typed or exported by an administrator. The entries of
// one file are bounded as well: each becomes two or three strings in every copy of the settings.
constexpr std::size_t kMaxNodeListBytes = 16u * 1024u * 1024u;
constexpr std::size_t kMaxNodeListEntries = 100'000;

std::string EntryAt(const std::vector<std::string>& list, std::optional<std::size_t> index) {
    if (!index || *index >= list.size()) return {};
    return list[*index];
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// The content of a node list file through the checked open: a regular file only (a FIFO or
// device named by the setting must not stall the engine thread), bounded in size. nullopt with
// errno set when it cannot be read.
std::optional<std::string> ReadNodeListBytes(const std::string& path) {
    return ReadWholeFile(path, kMaxNodeListBytes);
}

// Why a node list file was skipped, for the log.
std::string NodeListRefusal(int error) {
    if (error == EFBIG)
        return "larger than " + FormatLong(static_cast<std::int64_t>(kMaxNodeListBytes)) + " bytes";
    if (error == EINVAL || error == EISDIR) return "not a regular file";
    return ErrnoText(error);
}

// Appends entries that the list does not hold yet.
class UniqueAppender {
public:
    explicit UniqueAppender(StringList& list) : list_(list), seen_(list.begin(), list.end()) {}
    void Append(std::string entry) {
        if (seen_.insert(entry).second) list_.push_back(std::move(entry));
    }

private:
    StringList& list_;
    std::unordered_set<std::string> seen_;
};

}  // namespace

std::span<const std::string_view> CTarvellFrm::EventTypes() {
    static const std::array<std::string_view, 33> types = [] {
        std::array<std::string_view, 33> out{};
        const auto rows = AlertTextTable();
        for (std::size_t i = 0; i < out.size() && i < rows.size(); ++i) out[i] = rows[i].key;
        return out;
    }();
    return types;
}

std::string CTarvellFrm::FormatAlertCause(const std::string& type) const {
    return EntryAt(Settings()->AlertCauseTexts, AlertTextIndex(type));
}

std::string CTarvellFrm::FormatAlertDescription(const std::string& type) const {
    return EntryAt(Settings()->AlertDescriptionTexts, AlertTextIndex(type));
}

std::string CTarvellFrm::FormatAlertSeverity(int code) const {
    if (code < 0 || code > 5) return {};
    return EntryAt(Settings()->AlertSeverityTexts, static_cast<std::size_t>(code));
}

// Glob match where "*" stands for any run of characters (also none) and every other character
// stands for itself, letters A to Z compared without regard to case. On a mismatch the last
// star takes one more character of the text and matching goes on from just after that star;
// this finds a match whenever there is one, in time O(text x pattern) at worst.
bool CTarvellFrm::WildcardMatch(const std::string& text, const std::string& pattern) {
    std::size_t t = 0, p = 0;
    std::size_t starP = std::string::npos, starT = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starT = t;
        } else if (p < pattern.size() && LowerAscii(pattern[p]) == LowerAscii(text[t])) {
            ++p;
            ++t;
        } else if (starP != std::string::npos) {
            p = starP + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

// A node list file longer than the limit is reported once per file, not in every pass.
void CTarvellFrm::ReportCutNodeList(const std::string& path) {
    {
        RecursiveGuard guard(EngineLock);
        if (std::find(cutNodeLists_.begin(), cutNodeLists_.end(), path) != cutNodeLists_.end())
            return;
        cutNodeLists_.push_back(path);
    }
    Log("Node list file " + path + ": only its first " +
        FormatLong(static_cast<std::int64_t>(kMaxNodeListEntries)) + " entries are taken");
}

// A node list file that cannot be read is reported once while it stays so (a missing file is
// not reported: the setting may name a file that comes later).
void CTarvellFrm::ReportSkippedNodeList(const std::string& path, int error) {
    {
        RecursiveGuard guard(EngineLock);
        const auto known = std::find(skippedNodeLists_.begin(), skippedNodeLists_.end(), path);
        if (error == 0 || error == ENOENT) {
            if (known != skippedNodeLists_.end()) skippedNodeLists_.erase(known);
            return;
        }
        if (known != skippedNodeLists_.end()) return;
        skippedNodeLists_.push_back(path);
    }
    Log("Node list file " + path + " could not be read (" + NodeListRefusal(error) +
        "); it is skipped");
}

// Appends the entries of a node list file to a settings list: per line a node, optionally
// followed by a place "device/port" that is resolved to a switch and port key where it names
// a known switch and port. With addBlockEntries each node also gets its location-bound entry
// "node/1;place". Entries the list already holds are not added again, so importing the same
// file in every pass does not grow the list.
void CTarvellFrm::ReadNodeListFile(bool addBlockEntries, const std::string& path,
                                   StringList& list) {
    const auto content = ReadNodeListBytes(path);
    ReportSkippedNodeList(path, content ? 0 : errno);
    if (!content) return;

    bool cut = false;
    std::vector<NodeListLine> entries = ParseNodeListText(*content, kMaxNodeListEntries, &cut);
    if (cut) ReportCutNodeList(path);

    {
        RecursiveGuard guard(EngineLock);
        for (auto& entry : entries)
            if (!entry.place.empty())
                entry.place = ResolvePlace(entry.place, DeviceTable, PortNames);
    }

    UniqueAppender appender(list);
    for (const auto& entry : entries) {
        if (addBlockEntries) appender.Append(entry.node + "/1;" + entry.place);
        appender.Append(entry.node + ";" + entry.place);
    }
}

}  // namespace tarvell
