#include "viewer/core/hub/RequestIndex.h"

namespace tarvell {
namespace {

// The key of a "<key>;<rest>" entry; false for an entry without ";".
bool EntryKey(const std::string& entry, std::string& key, std::string* rest = nullptr) {
    const std::size_t semi = entry.find(';');
    if (semi == std::string::npos) return false;
    key.assign(entry, 0, semi);
    if (rest != nullptr) rest->assign(entry, semi + 1, std::string::npos);
    return true;
}

void IndexKeys(const std::vector<std::string>& entries, std::unordered_set<std::string>& out) {
    std::string key;
    for (const std::string& entry : entries)
        if (EntryKey(entry, key)) out.insert(key);
}

}  // namespace

RequestIndex RequestIndex::Build(const CTarvellDoc& settings) {
    RequestIndex index;
    index.removed.insert(settings.DeleteRequests.begin(), settings.DeleteRequests.end());
    std::string key, requester;
    for (const std::string& entry : settings.BlockRequests)
        if (EntryKey(entry, key, &requester)) index.blockRequester.try_emplace(key, requester);
    IndexKeys(settings.UnblockRequests, index.unblock);
    IndexKeys(settings.EventNotes, index.notes);
    return index;
}

const std::string& RequestIndex::Requester(const std::string& key) const {
    static const std::string none;
    const auto it = blockRequester.find(key);
    return it == blockRequester.end() ? none : it->second;
}

}  // namespace tarvell
