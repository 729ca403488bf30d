#include "viewer/core/hub/ViewerDocument.h"

#include "platform/Files.h"
#include "platform/RecursiveLock.h"

namespace tarvell {

ViewerDocument::ViewerDocument(std::string version, Clock& clock, std::string handOverGroup)
    : version_(std::move(version)), clock_(clock), handOverGroup_(std::move(handOverGroup)) {
    doc_.Version = version_;
    snapshot_ = std::make_shared<const CTarvellDoc>(doc_);
}

std::string ViewerDocument::SettingsPath(const std::string& serverFolder) {
    return JoinPath(serverFolder, "Tarvell.ini");
}

std::string ViewerDocument::HandOverPath(const std::string& serverFolder) {
    return JoinPath(JoinPath(serverFolder, "handover"), "Tarvell.ini");
}

bool ViewerDocument::OnNewDocument(const std::string& serverName, const std::string& serverFolder) {
    RecursiveGuard guard(DocumentLock);
    std::optional<CTarvellDoc> fresh = ReadServerFile(serverFolder);
    if (!fresh) return false;
    Adopt(std::move(*fresh), serverName);
    return true;
}

std::optional<CTarvellDoc> ViewerDocument::ReadServerFile(const std::string& serverFolder) const {
    if (serverFolder.empty()) return std::nullopt;
    const std::shared_ptr<const CTarvellDoc> base = Snapshot();
    const std::string pending = HandOverPath(serverFolder);
    for (int attempt = 0; attempt < kDocumentAttempts; ++attempt) {
        CTarvellDoc fresh = *base;
        const DocResult copy = LoadHandOverFile(pending, handOverGroup_, fresh, clock_);
        if (copy) return fresh;
        // A copy being written is waited for. Any other copy that cannot be read (none, one the
        // service refuses, a folder, a damaged or unreadable file), and one still being written
        // at the last attempt, leaves the service's own file to be shown; the summary says that
        // a copy is waiting and not taken over.
        if (copy.status != DocStatus::Busy || attempt + 1 == kDocumentAttempts) {
            fresh = *base;
            if (fresh.LoadFromFile(SettingsPath(serverFolder), clock_)) return fresh;
        }
        clock_.SleepMs(kDocumentRetryMs);
    }
    return std::nullopt;
}

void ViewerDocument::Adopt(CTarvellDoc doc, const std::string& title) {
    RecursiveGuard guard(DocumentLock);
    doc_ = std::move(doc);
    doc_.Version = version_;
    title_ = title;
    loaded_ = true;
    Publish();
}

bool ViewerDocument::OnSaveDocument(const std::string& serverFolder) {
    RecursiveGuard guard(DocumentLock);
    if (serverFolder.empty()) return false;
    const std::string folder = JoinPath(serverFolder, "handover");
    for (int attempt = 0; attempt < kDocumentAttempts; ++attempt) {
        if (MakeDirectories(folder) &&
            doc_.SaveToFile(HandOverPath(serverFolder), true, kHandOverFileMode)) {
            Publish();
            return true;
        }
        clock_.SleepMs(kDocumentRetryMs);
    }
    return false;
}

void ViewerDocument::Publish() { snapshot_ = std::make_shared<const CTarvellDoc>(doc_); }

std::shared_ptr<const CTarvellDoc> ViewerDocument::Snapshot() const {
    RecursiveGuard guard(DocumentLock);
    return snapshot_;
}

std::string ViewerDocument::Title() const {
    RecursiveGuard guard(DocumentLock);
    return title_;
}

bool ViewerDocument::Loaded() const {
    RecursiveGuard guard(DocumentLock);
    return loaded_;
}

}  // namespace tarvell
