#include "viewer/core/hub/ServerHealth.h"

#include <sys/stat.h>

#include "platform/Files.h"
#include "viewer/core/base/StringTable.h"
#include "viewer/core/hub/ViewerDocument.h"

namespace tarvell {
namespace {

// `text` with "%1" and "%2" replaced once each by the two values (a value is not searched again).
std::string Fill(std::string_view text, const std::string& first, const std::string& second = {}) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && (text[i + 1] == '1' || text[i + 1] == '2')) {
            out += text[i + 1] == '1' ? first : second;
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace

bool HandOverOverdue(const std::string& folder, std::int64_t nowSeconds) {
    if (folder.empty()) return false;
    struct stat st {};
    if (::lstat(ViewerDocument::HandOverPath(folder).c_str(), &st) != 0) return false;
    return nowSeconds - static_cast<std::int64_t>(st.st_mtime) > kHandOverOverdueSeconds;
}

bool StateFilePresent(const std::string& folder, const std::string& name) {
    struct stat st {};
    return !folder.empty() && ::lstat(JoinPath(folder, name).c_str(), &st) == 0;
}

std::string HealthStateText(const ServerHealth& health) {
    if (!health.unreadableFile.empty())
        return Fill(LoadString(str::kFilesUnreadableState), health.unreadableFile);
    if (health.handOverRefused) return std::string(LoadString(str::kHandOverRefusedState));
    return {};
}

std::string HealthDetailText(const ServerHealth& health) {
    if (!health.unreadableFile.empty())
        return Fill(LoadString(str::kFilesUnreadable), health.unreadableFile);
    if (health.handOverRefused) return std::string(LoadString(str::kHandOverRefused));
    return {};
}

std::string ConnectFailureText(const std::string& name, const std::string& folder) {
    if (folder.empty() || !IsDirectory(folder))
        return Fill(LoadString(str::kConnectFolderMissing), name, folder);
    const std::string pending = ViewerDocument::HandOverPath(folder);
    const std::string file = FileExists(pending) ? pending : ViewerDocument::SettingsPath(folder);
    return Fill(LoadString(str::kConnectFilesUnreadable), name, file);
}

}  // namespace tarvell
