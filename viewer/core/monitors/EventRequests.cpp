#include "viewer/core/monitors/EventRequests.h"

#include <algorithm>

#include "platform/Text.h"
#include "shared/CEventItem.h"
#include "shared/CTarvellDoc.h"
#include "viewer/core/hub/CTarvellApp.h"

namespace tarvell {

namespace {

// Removes the first entry that belongs to `key`.
void RemoveFirstOf(std::vector<std::string>& list, const std::string& key) {
    const auto it = std::find_if(list.begin(), list.end(),
                                 [&](const std::string& e) { return BelongsToKey(e, key); });
    if (it != list.end()) list.erase(it);
}

bool HeadIs(const std::string& entry, const std::string& head) {
    return EqualsNoCase(EntryHead(entry), head);
}

}  // namespace

std::vector<std::string> NodeTokens(const std::string& sourceMac) {
    std::vector<std::string> tokens;
    if (sourceMac.empty() || sourceMac.find('/') != std::string::npos) return tokens;
    std::string_view rest = sourceMac;
    while (!rest.empty()) {
        const std::size_t semi = rest.find(';');
        const std::string_view token = rest.substr(0, semi);
        rest = semi == std::string_view::npos ? std::string_view() : rest.substr(semi + 1);
        // An empty token would match every entry without a node part: it is skipped.
        if (!token.empty()) tokens.emplace_back(token);
    }
    return tokens;
}

std::string EntryHead(const std::string& entry) {
    const std::size_t semi = entry.find(';');
    return semi == std::string::npos ? std::string() : entry.substr(0, semi);
}

std::string NodePart(const std::string& entry) {
    const std::string head = EntryHead(entry);
    const std::size_t slash = head.find('/');
    return slash == std::string::npos ? std::string() : head.substr(0, slash);
}

bool BelongsToKey(const std::string& entry, const std::string& key) {
    return entry.size() > key.size() && entry.compare(0, key.size(), key) == 0 &&
           entry[key.size()] == ';';
}

void BlockNodes(CTarvellDoc& doc, const std::vector<std::string>& tokens,
                const std::string& sourceIp) {
    for (const std::string& token : tokens) {
        auto& white = doc.NodesWhiteList;
        const auto allowed = std::find_if(white.begin(), white.end(), [&](const std::string& e) {
            const std::string node = NodePart(e);
            return !node.empty() && (EqualsNoCase(node, token) ||
                                     (!sourceIp.empty() && EqualsNoCase(node, sourceIp)));
        });
        if (allowed != white.end()) white.erase(allowed);
        auto& black = doc.NodesBlackList;
        const bool listed = std::any_of(black.begin(), black.end(), [&](const std::string& e) {
            return EqualsNoCase(NodePart(e), token);
        });
        if (!listed) black.push_back(token + "/0;");
    }
}

void UnblockStep(CTarvellDoc& doc, const std::string& key, const CEventItem* event,
                 const UnblockOptions& options, const std::string& requester) {
    if (event) {
        for (const std::string& token : NodeTokens(event->SourceMac)) {
            const std::string head = token + "/0";
            auto& black = doc.NodesBlackList;
            black.erase(std::remove_if(black.begin(), black.end(),
                                       [&](const std::string& e) { return HeadIs(e, head); }),
                        black.end());
            if (options.authorization == NodeAuthorization::KeepInBlackList)
                black.push_back(head + ";");
            auto& white = doc.NodesWhiteList;
            if (options.authorization == NodeAuthorization::MoveToWhiteList &&
                std::none_of(white.begin(), white.end(),
                             [&](const std::string& e) { return HeadIs(e, head); }))
                white.push_back(head + ";");
        }
    }
    RemoveFirstOf(doc.BlockRequests, key);
    RemoveFirstOf(doc.UnblockRequests, key);
    doc.UnblockRequests.push_back(key + ";" + requester);
    if (options.removal == UnblockRemoval::DeleteEvent) {
        doc.DeleteRequests.push_back(key);
        RemoveFirstOf(doc.EventNotes, key);
    }
}

std::optional<std::string> NoteOf(const CTarvellDoc& doc, const std::string& key) {
    for (const std::string& entry : doc.EventNotes)
        if (BelongsToKey(entry, key)) return entry.substr(key.size() + 1);
    return std::nullopt;
}

void SetNote(CTarvellDoc& doc, const std::string& key, const std::string& text) {
    auto& notes = doc.EventNotes;
    const auto it = std::find_if(notes.begin(), notes.end(),
                                 [&](const std::string& e) { return BelongsToKey(e, key); });
    if (it == notes.end()) {
        if (!text.empty()) notes.push_back(key + ";" + text);
    } else if (text.empty()) {
        notes.erase(it);
    } else {
        *it = key + ";" + text;
    }
}

std::string Requester(const CTarvellApp& app) {
    const MachineIdentity id = app.Identity();
    return id.UserName + "@" + id.DomainName;
}

EditResult BlockEvents(CTarvellApp& app, const std::vector<std::string>& keys) {
    // The events are looked up before the edit; those gone from the hub still get a request.
    std::vector<CEventItem> events;
    for (const std::string& key : keys) {
        CEventItem event;
        if (app.LookupEvent(key, event)) events.push_back(std::move(event));
    }
    return app.BlockEvents(keys, [&](CTarvellDoc& doc) {
        for (const CEventItem& event : events)
            BlockNodes(doc, NodeTokens(event.SourceMac), event.SourceIp);
    });
}

UnblockOutcome UnblockEvents(CTarvellApp& app, const UnblockRequest& request) {
    UnblockOutcome outcome;
    if (request.password) {
        // Checked against the settings as they are now, not as the dialog found them.
        if (!app.ReloadDocument()) {
            outcome.result = EditResult::ReloadFailed;
            return outcome;
        }
        if (app.Document().Fields().MonitorPassword != *request.password) {
            outcome.wrongPassword = true;
            return outcome;
        }
    }
    std::vector<std::pair<std::string, std::optional<CEventItem>>> events;
    for (const std::string& key : request.keys) {
        CEventItem event;
        events.emplace_back(key, app.LookupEvent(key, event) ? std::optional(event) : std::nullopt);
    }
    const std::string requester = Requester(app);
    outcome.result = EditSettings(app, [&](CTarvellDoc& doc) {
        if (request.stopPrevention) doc.PreventionEnabled = 0;
        for (const auto& [key, event] : events)
            UnblockStep(doc, key, event ? &*event : nullptr, request.options, requester);
    });
    return outcome;
}

EditResult StoreNote(CTarvellApp& app, const std::string& key, const std::string& text) {
    return EditSettings(app, [&](CTarvellDoc& doc) { SetNote(doc, key, text); });
}

}  // namespace tarvell
