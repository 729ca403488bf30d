// What the monitors' actions write into the settings: block, unblock and remove requests, the
// node lists that go with a block or an unblock, and the notes of events. Every action is one
// reload, one edit and one save (EditSettings); a failed reload or save changes nothing and the
// caller tells the user (20040, 20041). Requests are made by event key. User-interface thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "viewer/core/hub/SettingsEdit.h"

namespace tarvell {

class CEventItem;
class CTarvellApp;
class CTarvellDoc;

// ---- entry forms

// The node tokens of an event's SourceMac: its parts between ";", taken only when the text is
// not empty and holds no "/". Empty tokens (";;") are skipped.
std::vector<std::string> NodeTokens(const std::string& sourceMac);
// The text before the first ";" of a node-list entry; empty for an entry without ";".
std::string EntryHead(const std::string& entry);
// The node part of a node-list entry: the text before the first "/" of its head; empty when the
// head holds no "/".
std::string NodePart(const std::string& entry);
// True when a request-list entry belongs to `key` (it begins with "<key>;").
bool BelongsToKey(const std::string& entry, const std::string& key);

// ---- node lists

// A block's node-list edit for one event: per token, the first white-list entry whose node part
// is the token (or `sourceIp`, when set) goes, and "<token>/0;" joins the black list unless a
// black-list entry of that node is there already (whatever its flag).
void BlockNodes(CTarvellDoc& doc, const std::vector<std::string>& tokens,
                const std::string& sourceIp);

enum class UnblockRemoval { DeleteEvent, MoveToDetection };
enum class NodeAuthorization { RemoveFromBlackList, KeepInBlackList, MoveToWhiteList };
struct UnblockOptions {
    UnblockRemoval removal = UnblockRemoval::DeleteEvent;
    NodeAuthorization authorization = NodeAuthorization::RemoveFromBlackList;
};

// One event's unblock: its nodes leave the black list (and, as chosen, come back to it or go to
// the white list), its block and unblock requests are replaced by one unblock request of
// `requester`, and with DeleteEvent its deletion is requested and its note goes. `event` is null
// for an event no longer in the hub (the node lists stay as they are).
void UnblockStep(CTarvellDoc& doc, const std::string& key, const CEventItem* event,
                 const UnblockOptions& options, const std::string& requester);

// ---- notes

// The note of `key` (the first entry that belongs to it), or nothing.
std::optional<std::string> NoteOf(const CTarvellDoc& doc, const std::string& key);
// Replaces the first note of `key` by `text`, removes it when `text` is empty, or appends it.
void SetNote(CTarvellDoc& doc, const std::string& key, const std::string& text);

// ---- the actions

// "<user>@<domain>" of this viewer.
std::string Requester(const CTarvellApp& app);

// Blocks the events of `keys` in one edit: the node lists of each event still in the hub, then
// its block request (CTarvellApp::BlockEvents).
EditResult BlockEvents(CTarvellApp& app, const std::vector<std::string>& keys);

// Unblocks the events of `keys` in one edit. With `stopPrevention` prevention is also turned
// off (the save happens even when `keys` is empty). With `password`, the settings reloaded for
// the edit must hold exactly that monitor password, else nothing is saved and `wrongPassword`
// is set.
struct UnblockRequest {
    std::vector<std::string> keys;
    UnblockOptions options;
    bool stopPrevention = false;
    std::optional<std::string> password;
};
struct UnblockOutcome {
    EditResult result = EditResult::Saved;
    bool wrongPassword = false;
};
UnblockOutcome UnblockEvents(CTarvellApp& app, const UnblockRequest& request);

// Stores the note of one event in one edit.
EditResult StoreNote(CTarvellApp& app, const std::string& key, const std::string& text);

}  // namespace tarvell
