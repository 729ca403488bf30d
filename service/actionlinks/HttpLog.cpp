#include "service/actionlinks/HttpLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "platform/DateText.h"
#include "platform/Files.h"
#include "platform/UniqueFd.h"

namespace tarvell {

HttpLog::HttpLog(std::string serviceFolder, Clock& clock, std::size_t maxBytes)
    : folder_(std::move(serviceFolder)), clock_(clock), maxBytes_(maxBytes) {}

std::string HttpLog::Path() const { return JoinPath(folder_, kHttpLogName); }
std::string HttpLog::OlderPath() const { return JoinPath(folder_, kHttpLogOlderName); }

void HttpLog::Started() {
    Append(FormatUserDateTime(clock_.Now()) + ": Http Started...\r\n", true);
}

void HttpLog::Request(std::string_view peer) {
    Append(FormatUserDateTime(clock_.Now()) + ": Http Request from " + std::string(peer) + "\r\n",
           false);
}

void HttpLog::Append(const std::string& line, bool truncate) {
    const std::string path = Path();
    const int flags = O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC |
                      (truncate ? O_TRUNC : 0);
    const unsigned mode = ModeInFolder(FolderOf(path), 0644);
    UniqueFd fd(::open(path.c_str(), flags, mode));
    if (!fd.Valid()) return;
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return;
    off_t before = st.st_size;
    if (static_cast<std::size_t>(st.st_size) + line.size() > maxBytes_ && st.st_size > 0) {
        fd.Reset();
        // rename() replaces the older copy, or a link planted there, without following it.
        if (std::rename(path.c_str(), OlderPath().c_str()) != 0) return;
        fd.Reset(::open(path.c_str(), flags | O_EXCL, mode));
        if (!fd.Valid()) return;
        before = 0;
    }
    // A line cut short (a full disk, a file-size limit) is taken back, so that the next line
    // does not continue it.
    if (!WriteAllToFd(fd.Get(), line)) (void)::ftruncate(fd.Get(), before);
}

}  // namespace tarvell
