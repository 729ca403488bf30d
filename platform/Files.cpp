#include "platform/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>
#include <optional>
#include <string_view>
#include <tuple>
#include <vector>
#include <cstdio>

#include "platform/UniqueFd.h"

namespace tarvell {

namespace {

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

int FlockRetrying(int fd, int operation) {
    int rc;
    do {
        rc = ::flock(fd, operation);
    } while (rc != 0 && errno == EINTR);
    return rc;
}

// How long a writer gives the maker of an empty temporary file to lock it.
constexpr useconds_t kFreshTemporaryWaitUs = 2000;

// Whether `path` still names the file open at fd.
bool StillNamed(int fd, const std::string& path) {
    struct stat held {
    }, named{};
    return ::fstat(fd, &held) == 0 && ::lstat(path.c_str(), &named) == 0 && SameFile(held, named);
}

enum class Clearing { Waited, Cleared, Failed };

// Clears the temporary name of what stands there. Only a regular file of this user without a
// second link can be a writer's: its writer holds the lock while it writes, so the lock is
// waited for (Waited when the writer then put it in place or gave up, or the name is found
// empty), and a file still under the name afterwards was left by a killed writer. One that is
// still empty may be a writer's that has made it and not yet locked it: it is let go once
// (`emptySeen` remembers it) and taken for a killed writer's only when it is found so again.
// Anything else (a link, a folder, a FIFO, a file of another user or one linked elsewhere,
// through which another could read or change what is written) is nobody's temporary file: it is
// removed, a folder moved aside with what it holds.
Clearing ClearTemporaryName(const std::string& tmp, struct stat& emptySeen) {
    const auto result = [](bool ok) { return ok ? Clearing::Cleared : Clearing::Failed; };
    struct stat st {};
    if (::lstat(tmp.c_str(), &st) != 0)
        return errno == ENOENT ? Clearing::Waited : Clearing::Failed;
    if (S_ISDIR(st.st_mode)) return result(!MoveAside(tmp).empty());
    UniqueFd fd;  // held until the file is removed, so that no writer takes it meanwhile
    if (S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && st.st_nlink == 1) {
        fd.Reset(::open(tmp.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK));
        if (!fd.Valid() && errno == ENOENT) return Clearing::Waited;
        struct stat held {};
        if (fd.Valid()) {
            if (FlockRetrying(fd.Get(), LOCK_EX) != 0 || ::fstat(fd.Get(), &held) != 0)
                return Clearing::Failed;
            if (!StillNamed(fd.Get(), tmp)) return Clearing::Waited;
            if (held.st_size == 0 && !SameFile(held, emptySeen)) {
                emptySeen = held;
                fd.Reset();
                ::usleep(kFreshTemporaryWaitUs);
                return Clearing::Cleared;
            }
        }
    }
    return result(::unlink(tmp.c_str()) == 0 || errno == ENOENT);
}

// Makes the temporary file anew, never opening one that is there (O_EXCL), and locks it. A
// writer that finds the name taken clears it first (ClearTemporaryName); waiting for another
// writer does not count against the bound, as that writer got on. Another writer may take the
// new file for a killed writer's before this one has its lock; the name is then tried again.
UniqueFd OpenLockedTemp(const std::string& tmp, unsigned mode) {
    struct stat emptySeen {};
    for (int rounds = 0; rounds < kTemporaryNameAttempts;) {
        UniqueFd fd(::open(tmp.c_str(),
                           O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, mode));
        if (!fd.Valid()) {
            if (errno != EEXIST) return fd;
            const Clearing clearing = ClearTemporaryName(tmp, emptySeen);
            if (clearing == Clearing::Failed) return UniqueFd();
            rounds += clearing == Clearing::Cleared;
            continue;
        }
        if (FlockRetrying(fd.Get(), LOCK_EX) != 0) return UniqueFd();
        if (StillNamed(fd.Get(), tmp)) return fd;
        ++rounds;
    }
    errno = EBUSY;
    return UniqueFd();
}

// Makes a rename durable. Failures are ignored: the data is in place either way.
void SyncFolder(const std::string& folder) {
    const UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.Valid()) ::fsync(fd.Get());
}

// Renames without replacing an existing file. Falls back to a checked rename on file systems
// that cannot refuse the replacement themselves.
bool RenameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) return false;
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

unsigned ModeInFolder(const std::string& folder, unsigned mode) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0 && st.st_uid == ::geteuid() && (st.st_mode & S_IXOTH) == 0)
        return mode & ~0007u;
    return mode;
}

bool WriteAllToFd(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) {
            errno = EIO;  // a write that makes no progress would loop for ever
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::optional<std::string> ReadAllFromFd(int fd, std::size_t maxBytes) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return std::nullopt;
    if (static_cast<std::uint64_t>(st.st_size) > maxBytes) {
        errno = EFBIG;
        return std::nullopt;
    }
    try {
        std::string data;
        data.reserve(static_cast<std::size_t>(st.st_size));
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return std::nullopt;
            if (n == 0) return data;
            if (data.size() + static_cast<std::size_t>(n) > maxBytes) {
                errno = EFBIG;
                return std::nullopt;
            }
            data.append(buffer, static_cast<std::size_t>(n));
        }
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;  // the file is whole; there is no room for it
        return std::nullopt;
    }
}

int OpenFileForReading(const std::string& path, std::size_t maxBytes, FollowLink follow,
                       struct stat* st) {
    const int flags =
        O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (follow == FollowLink::No ? O_NOFOLLOW : 0);
    UniqueFd fd;
    do {
        fd.Reset(::open(path.c_str(), flags));
    } while (!fd.Valid() && errno == EINTR);
    if (!fd.Valid()) return -1;
    struct stat own {};
    struct stat& status = st ? *st : own;
    if (::fstat(fd.Get(), &status) != 0) return -1;
    int refusal = 0;
    if (S_ISDIR(status.st_mode)) refusal = EISDIR;
    else if (!S_ISREG(status.st_mode)) refusal = EINVAL;
    else if (static_cast<std::uint64_t>(status.st_size) > maxBytes) refusal = EFBIG;
    if (refusal == 0) {
        // A regular file never blocks; the flag goes so that later reads behave as usual.
        const int fl = ::fcntl(fd.Get(), F_GETFL);
        if (fl < 0 || ::fcntl(fd.Get(), F_SETFL, fl & ~O_NONBLOCK) != 0) refusal = errno;
    }
    if (refusal != 0) {
        fd.Reset();
        errno = refusal;
        return -1;
    }
    return fd.Release();
}

std::optional<std::string> ReadWholeFile(const std::string& path, std::size_t maxBytes,
                                         FollowLink follow) {
    const UniqueFd fd(OpenFileForReading(path, maxBytes, follow));
    if (!fd.Valid()) return std::nullopt;
    return ReadAllFromFd(fd.Get(), maxBytes);
}

bool IsRefusedFileError(int error) { return error == EINVAL || error == EISDIR || error == EFBIG; }

bool AtomicWriteFile(const std::string& path, std::string_view bytes, unsigned mode) {
    AtomicFileWriter writer;
    return writer.Open(path, mode) && writer.Append(bytes) && writer.Commit();
}

namespace {

// Small appends are gathered up to this many bytes before they are written; a piece of
// kDirectWrite bytes or more is written as it is.
constexpr std::size_t kWriterBuffer = 256u << 10;
constexpr std::size_t kDirectWrite = 64u << 10;
// Write-back of the written bytes is started whenever this many more have been written, so
// that the disk works while the writer makes the next pieces.
constexpr std::uint64_t kWriteBackStep = 2u << 20;

}  // namespace

bool AtomicFileWriter::Open(const std::string& path, unsigned mode) {
    Abandon();
    path_ = path;
    tmp_ = path + ".tmp";
    failed_ = limitReached_ = false;
    limit_ = UINT64_MAX;
    flushed_ = handedToDisk_ = 0;
    buffer_.clear();
    // The lock is held until fd_ goes, after the clean-up or the folder's sync.
    fd_ = OpenLockedTemp(tmp_, ModeInFolder(FolderOf(path), mode));
    return fd_.Valid();
}

// Removes the temporary file (when its name still holds it) and keeps the cause in errno.
bool AtomicFileWriter::Fail() {
    const int saved = errno;
    failed_ = true;
    if (fd_.Valid()) {
        if (StillNamed(fd_.Get(), tmp_)) ::unlink(tmp_.c_str());
        fd_.Reset();
    }
    errno = saved;
    return false;
}

bool AtomicFileWriter::Flush() {
    if (!WriteAllToFd(fd_.Get(), buffer_)) return Fail();
    flushed_ += buffer_.size();
    buffer_.clear();
    if (flushed_ - handedToDisk_ >= kWriteBackStep) {
        // Only a hint: the fsync of Commit is what makes the file durable.
        ::sync_file_range(fd_.Get(), static_cast<off_t>(handedToDisk_),
                          static_cast<off_t>(flushed_ - handedToDisk_), SYNC_FILE_RANGE_WRITE);
        handedToDisk_ = flushed_;
    }
    return true;
}

bool AtomicFileWriter::Append(std::string_view bytes) {
    if (failed_ || !fd_.Valid()) {
        errno = failed_ ? EIO : EBADF;
        return false;
    }
    if (bytes.size() > limit_ - std::min(limit_, Size())) {
        limitReached_ = true;
        errno = EFBIG;
        return Fail();
    }
    if (bytes.size() < kDirectWrite) {
        if (buffer_.size() + bytes.size() > kWriterBuffer && !Flush()) return false;
        buffer_.append(bytes);
        return true;
    }
    // A large piece goes to the file as it is, after what was buffered before it.
    if (!buffer_.empty() && !Flush()) return false;
    if (!WriteAllToFd(fd_.Get(), bytes)) return Fail();
    flushed_ += bytes.size();
    return Flush();
}

bool AtomicFileWriter::Overwrite(std::uint64_t offset, std::string_view bytes) {
    if (failed_ || !fd_.Valid()) {
        errno = failed_ ? EIO : EBADF;
        return false;
    }
    if (offset > Size() || bytes.size() > Size() - offset) {
        errno = EINVAL;
        return false;
    }
    // The part still in the buffer is changed there, the rest in the file.
    const std::uint64_t end = offset + bytes.size();
    if (end > flushed_) {
        const std::uint64_t from = std::max(offset, flushed_);
        buffer_.replace(from - flushed_, end - from, bytes.substr(from - offset));
        bytes = bytes.substr(0, from - offset);
    }
    while (!bytes.empty()) {
        const ssize_t n =
            ::pwrite(fd_.Get(), bytes.data(), bytes.size(), static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return Fail();
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
}

bool AtomicFileWriter::Commit() {
    if (failed_ || !fd_.Valid()) {
        errno = failed_ ? EIO : EBADF;
        return false;
    }
    if (!Flush()) return false;
    // A file taken from under its name (for a killed writer's) is not renamed: the name may hold
    // another writer's part by now.
    if (!StillNamed(fd_.Get(), tmp_)) {
        errno = EBUSY;
        return Fail();
    }
    if (::fsync(fd_.Get()) != 0 || ::rename(tmp_.c_str(), path_.c_str()) != 0) return Fail();
    SyncFolder(FolderOf(path_));
    fd_.Reset();  // lets the lock go
    buffer_ = std::string();
    return true;
}

void AtomicFileWriter::Abandon() {
    if (!fd_.Valid()) return;
    const int saved = errno;
    Fail();
    errno = saved;
}

namespace {

// The age of a kept-aside copy from its name's tail "<seconds>" or "<seconds>-<n>"; nullopt for
// a name of another shape (never removed).
std::optional<std::pair<long long, long long>> BadCopyAge(std::string_view tail) {
    long long seconds = 0, n = 1;
    std::size_t i = 0;
    auto number = [&](long long& out) {
        const std::size_t start = i;
        out = 0;
        while (i < tail.size() && tail[i] >= '0' && tail[i] <= '9' && i - start < 18)
            out = out * 10 + (tail[i++] - '0');
        return i > start;
    };
    if (!number(seconds)) return std::nullopt;
    if (i < tail.size() && tail[i] == '-') {
        ++i;
        if (!number(n)) return std::nullopt;
    }
    if (i != tail.size()) return std::nullopt;
    return std::pair{seconds, n};
}

}  // namespace

void PruneBadCopies(const std::string& path, std::size_t keep, std::int64_t now,
                    std::string_view newest) {
    const std::string folder = FolderOf(path);
    const std::string prefix = path.substr(path.find_last_of('/') + 1) + ".bad-";
    if (!newest.empty()) newest = newest.substr(newest.find_last_of('/') + 1);
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    // Sorted oldest first: copies from before a clock set back, then by seconds and n.
    std::vector<std::tuple<bool, bool, std::pair<long long, long long>, std::string>> copies;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name.substr(0, prefix.size()) != prefix) continue;
        if (const auto age = BadCopyAge(name.substr(prefix.size())))
            copies.emplace_back(name == newest, age->first <= now, *age, std::string(name));
        if (copies.size() > 100'000) break;  // a folder flooded by someone else: leave it
    }
    ::closedir(dir);
    if (copies.size() <= keep) return;
    std::sort(copies.begin(), copies.end());
    for (std::size_t i = 0; i + keep < copies.size(); ++i)
        RemoveTree(folder + "/" + std::get<3>(copies[i]));  // a folder kept aside goes too
}

bool IsBadCopyName(std::string_view name, std::string_view base) {
    const std::string_view infix = ".bad-";
    return name.size() > base.size() + infix.size() && name.substr(0, base.size()) == base &&
           name.substr(base.size(), infix.size()) == infix &&
           BadCopyAge(name.substr(base.size() + infix.size())).has_value();
}

std::string MoveAside(const std::string& path, Clock& clock) {
    const std::int64_t now = clock.Now();
    const std::string base = path + ".bad-" + std::to_string(now);
    for (int n = 1; n <= 100; ++n) {
        const std::string name = n == 1 ? base : base + "-" + std::to_string(n);
        if (RenameNoReplace(path, name)) {
            PruneBadCopies(path, kKeptBadCopies, now, name);
            SyncFolder(FolderOf(path));
            return name;
        }
        if (errno != EEXIST) return std::string();
    }
    return std::string();
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0 || errno == ENOENT; }

bool MakeDirectories(const std::string& path, unsigned mode) {
    if (path.empty()) return false;
    for (std::size_t at = path.find('/', 1);; at = path.find('/', at + 1)) {
        const std::string prefix = path.substr(0, at);
        if (::mkdir(prefix.c_str(), mode) != 0 && errno != EEXIST) {
            // An existing component may merely be unwritable; only the result counts.
            if (!IsDirectory(prefix)) return false;
        }
        if (at == std::string::npos) break;
    }
    return IsDirectory(path);
}

namespace {

// Empties the folder open at `folder`. Symbolic links are unlinked as entries.
bool RemoveFolderContents(UniqueFd folder) {
    DIR* dir = ::fdopendir(folder.Get());
    if (dir == nullptr) return false;
    const int dirFd = folder.Release();  // closed with the stream
    bool ok = true;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        if (::unlinkat(dirFd, name.c_str(), 0) == 0) continue;
        if (errno != EISDIR && errno != EPERM) {
            ok = false;
            continue;
        }
        const int child =
            ::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (child < 0 || !RemoveFolderContents(UniqueFd(child)) ||
            ::unlinkat(dirFd, name.c_str(), AT_REMOVEDIR) != 0) {
            ok = false;
        }
    }
    ::closedir(dir);
    return ok;
}

}  // namespace

bool RemoveTree(const std::string& path) {
    if (::unlink(path.c_str()) == 0 || errno == ENOENT) return true;
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.Valid()) return false;
    RemoveFolderContents(std::move(fd));
    return ::rmdir(path.c_str()) == 0;
}

std::string MakeTempFolder(const std::string& prefix, const std::string& parent) {
    std::string pattern = JoinPath(parent, prefix + "XXXXXX");
    if (::mkdtemp(pattern.data()) == nullptr) return std::string();
    return pattern;
}

std::string JoinPath(std::string_view folder, std::string_view name) {
    if (folder.empty()) return std::string(name);
    std::string out(folder);
    const bool folderSlash = out.back() == '/';
    const bool nameSlash = !name.empty() && name.front() == '/';
    if (folderSlash && nameSlash) {
        name.remove_prefix(1);
    } else if (!folderSlash && !nameSlash) {
        out += '/';
    }
    out += name;
    return out;
}

bool Retry(int attempts, std::int64_t delayMs, const std::function<bool()>& attempt, Clock& clock,
           bool sleepAfterLast) {
    for (int i = 1; i <= attempts; ++i) {
        if (attempt()) return true;
        if (i < attempts || sleepAfterLast) clock.SleepMs(delayMs);
    }
    return false;
}

bool FileLock::Lock(const std::string& path, Mode mode, bool wait, unsigned createMode) {
    Unlock();
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW,
                       ModeInFolder(FolderOf(path), createMode)));
    if (!fd.Valid() && mode == Mode::Shared && (errno == EACCES || errno == EROFS)) {
        fd.Reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    }
    if (!fd.Valid()) return false;
    const int operation = (mode == Mode::Exclusive ? LOCK_EX : LOCK_SH) | (wait ? 0 : LOCK_NB);
    if (FlockRetrying(fd.Get(), operation) != 0) return false;
    fd_ = std::move(fd);
    return true;
}

// Closing the only descriptor of the open file releases the lock.
void FileLock::Unlock() { fd_.Reset(); }

}  // namespace tarvell
