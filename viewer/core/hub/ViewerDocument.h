// The viewer's copy of the service's settings (the settings document of the current server) and
// the viewer's only channel to the service: a screen reloads the document, edits it and saves
// it; the save lands in the server's hand-over folder, where the service takes it over within
// one pass. Until then a reload reads that pending copy back, so the viewer sees its own edits.
//
// Threads: the user-interface thread owns the fields (Fields()). DocumentLock is held for each
// whole load and save. Other threads never read the fields: they take Snapshot(), a copy made
// after each successful load or save.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/Clock.h"
#include "shared/CTarvellDoc.h"
#include "shared/HandOverFile.h"

namespace tarvell {

inline constexpr std::string_view kNotConnectedTitle = "Not Connected";
inline constexpr int kDocumentAttempts = 5;
inline constexpr std::int64_t kDocumentRetryMs = 1000;
// The hand-over copy may be written only by its owner: the service refuses a copy that a group
// other than the administrators' could write, and the folder's group is not always theirs.
inline constexpr unsigned kHandOverFileMode = 0640;

class ViewerDocument {
public:
    // `handOverGroup`: the administrators' group, whose members' hand-over copies count.
    explicit ViewerDocument(std::string version, Clock& clock = DefaultClock(),
                            std::string handOverGroup = kHandOverGroup);

    // Reloads the settings of the server: <folder>/handover/Tarvell.ini when a viewer left one
    // there that the service has not taken yet and would take (LoadHandOverFile: a copy of
    // anyone else is nobody's settings), else <folder>/Tarvell.ini, chosen anew at each of
    // up to 5 attempts 1000 ms apart (the service may take the copy over in between). The file is
    // read into a fresh document taken over only when all of it was read: true, and the title
    // becomes the server's name. False leaves every field and the title as they were (the title
    // is "Not Connected" until a first load succeeds).
    bool OnNewDocument(const std::string& serverName, const std::string& serverFolder);

    // The reading half of OnNewDocument, for any thread: the fields are not touched and
    // DocumentLock is not held while the attempts run. nullopt after five failures.
    std::optional<CTarvellDoc> ReadServerFile(const std::string& serverFolder) const;
    // The taking-over half (user-interface thread): the fields become `doc`, the title `title`.
    void Adopt(CTarvellDoc doc, const std::string& title);

    // Writes the whole document to <folder>/handover/Tarvell.ini, mode 0640 whether created or
    // replaced (a temporary file renamed over it, so the service never copies half a file). Up
    // to 5 attempts 1000 ms apart; false after five failures.
    bool OnSaveDocument(const std::string& serverFolder);

    // User-interface thread only.
    CTarvellDoc& Fields() { return doc_; }
    const CTarvellDoc& Fields() const { return doc_; }
    // Any thread.
    std::shared_ptr<const CTarvellDoc> Snapshot() const;
    std::string Title() const;
    bool Loaded() const;

    static std::string SettingsPath(const std::string& serverFolder);
    static std::string HandOverPath(const std::string& serverFolder);
    // Any thread: set once at construction.
    const std::string& HandOverGroup() const { return handOverGroup_; }

    mutable std::recursive_mutex DocumentLock;

private:
    void Publish();  // under DocumentLock

    const std::string version_;
    Clock& clock_;
    const std::string handOverGroup_;
    CTarvellDoc doc_;                              // user-interface thread
    std::shared_ptr<const CTarvellDoc> snapshot_;  // [DocumentLock]
    std::string title_{kNotConnectedTitle};        // [DocumentLock]
    bool loaded_ = false;                          // [DocumentLock]
};

}  // namespace tarvell
