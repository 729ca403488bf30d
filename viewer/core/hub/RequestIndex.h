// What the settings ask about events, indexed by event key: built once per settings document the
// hub takes (its reader copy), so that a screen pass looks each event up in constant time and
// never reads the document itself. An entry without ";" names no key in the "<key>;" lists.
#pragma once

#include <string>
#include <unordered_map>
#include <unordered_set>

#include "shared/CTarvellDoc.h"

namespace tarvell {

struct RequestIndex {
    std::unordered_set<std::string> removed;                      // DeleteRequests, exact
    std::unordered_map<std::string, std::string> blockRequester;  // first "<key>;<requester>"
    std::unordered_set<std::string> unblock;                      // UnblockRequests
    std::unordered_set<std::string> notes;                        // EventNotes

    static RequestIndex Build(const CTarvellDoc& settings);
    bool IsRemoved(const std::string& key) const { return removed.count(key) != 0; }
    bool IsBlockRequested(const std::string& key) const { return blockRequester.count(key) != 0; }
    // The requester of the first block request for `key`; empty when there is none.
    const std::string& Requester(const std::string& key) const;
    bool HasNote(const std::string& key) const { return notes.count(key) != 0; }
    bool IsUnblockRequested(const std::string& key) const { return unblock.count(key) != 0; }
};

}  // namespace tarvell
