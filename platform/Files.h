// File helpers: whole-file reads, atomic replacement, moving a damaged file aside, retries.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Clock.h"
#include "platform/UniqueFd.h"

namespace tarvell {

// Whether the last element of a path to be read may be a symbolic link.
enum class FollowLink { Yes, No };

// The one checked open of every reader of a file: read-only, close-on-exec, never a terminal,
// and without blocking, so that a FIFO planted under the name cannot stall the reader (the
// O_NONBLOCK is cleared again once the file is open). Only a regular file of at most maxBytes is
// accepted. Returns the descriptor, or -1 with errno: ENOENT no file, ELOOP a link that may not
// be followed, EINVAL not a regular file (a FIFO, a device such as /dev/zero, a socket), EISDIR a
// folder, EFBIG larger than maxBytes. `st` (when given) receives the opened file's status
// whenever the file could be opened, also when it was then refused, so that a caller can tell
// which file it refused.
int OpenFileForReading(const std::string& path, std::size_t maxBytes,
                       FollowLink follow = FollowLink::Yes, struct stat* st = nullptr);

// The whole file through OpenFileForReading, or nullopt when it cannot be opened or read; errno
// then tells why (ENOENT: there is no file; EFBIG: larger than maxBytes; EINVAL or EISDIR: not a
// regular file; ENOMEM: no memory to hold it).
std::optional<std::string> ReadWholeFile(const std::string& path,
                                         std::size_t maxBytes = 1024u * 1024u * 1024u,
                                         FollowLink follow = FollowLink::Yes);
// Whether an errno of OpenFileForReading or ReadWholeFile says that the file is there but not
// one that may be read (not a regular file, or too large): retrying will not help.
bool IsRefusedFileError(int error);

// Writes path + ".tmp" in the same folder, flushes it to disk and renames it over path, so a
// reader sees either the old or the new file, never a part. Returns false (and removes the
// temporary file) on any failure; the old file is then untouched and errno tells why.
// The temporary file is always made anew (O_EXCL), never opened when it is there, so nothing
// opened or linked before reaches what is written. What stands under its name is taken for a
// writer's only when it is a regular file of this process's user without a second link: it is
// waited for while its writer holds it (concurrent writers of one path, threads or processes,
// take turns on that lock), and removed when it is still there afterwards (a killed writer's).
// Anything else there (a symbolic link, a folder, a FIFO, another user's file, a file linked
// elsewhere) is removed, a folder moved aside (MoveAside), and the file made again; EBUSY after
// kTemporaryNameAttempts such rounds (waiting for a live writer counts as none). The new file gets
// `mode` (less the umask).
inline constexpr int kTemporaryNameAttempts = 20;
bool AtomicWriteFile(const std::string& path, std::string_view bytes, unsigned mode = 0644);

// AtomicWriteFile for a file that is made piece by piece: the pieces go through a buffer into
// path + ".tmp" (taken and made as AtomicWriteFile does), and only Commit flushes the file to
// disk and renames it over path. Until then path is untouched; a writer let go without Commit,
// or one whose write failed, removes its temporary file, so after a crash at any moment path is
// either the old file or the whole new one. Written pieces are handed to the disk as they add
// up, so Commit's flush finds little left to do. One thread uses a writer at a time.
class AtomicFileWriter {
public:
    AtomicFileWriter() = default;
    ~AtomicFileWriter() { Abandon(); }
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // Makes the temporary file as AtomicWriteFile does. False with errno when it cannot be had.
    bool Open(const std::string& path, unsigned mode = 0644);
    // The most bytes the file may hold (set after Open; no limit by default). An Append that
    // would go beyond it fails with EFBIG, as a write past a file-size limit does, so a file
    // larger than its readers accept is never put in place.
    void LimitSize(std::uint64_t maxBytes) { limit_ = maxBytes; }
    // Whether the last failure was an Append beyond LimitSize's bound.
    bool LimitReached() const { return limitReached_; }
    // Adds bytes at the end. False (errno set) when a write failed; every later call then
    // fails too, and Commit leaves path alone.
    bool Append(std::string_view bytes);
    // Replaces bytes already appended, from `offset` on (a count known only at the end); the
    // bytes must lie within what was appended.
    bool Overwrite(std::uint64_t offset, std::string_view bytes);
    // The bytes appended so far.
    std::uint64_t Size() const { return flushed_ + buffer_.size(); }
    // Writes what is buffered, flushes the file and renames it over path. False (errno set,
    // the temporary file removed, path untouched) on any failure.
    bool Commit();
    // Removes the temporary file; path stays as it was. Nothing happens after Commit.
    void Abandon();

private:
    bool Flush();
    bool Fail();

    UniqueFd fd_;
    std::string path_;
    std::string tmp_;
    std::string buffer_;
    std::uint64_t flushed_ = 0;       // bytes in the file
    std::uint64_t handedToDisk_ = 0;  // bytes whose write-back was started
    std::uint64_t limit_ = UINT64_MAX;
    bool failed_ = false;
    bool limitReached_ = false;
};

// The mode a new file in `folder` is made with: `mode` as asked, less every right of others when
// the folder is this user's own and others may not enter it (the service folder,
// root:tarvell-admin 2750), so that a file made there stays closed to others also should the
// folder be opened again. A folder of another owner (a daemon's own, say) leaves the mode alone:
// its owner may be the one who is to read the file. The group comes from the folder's
// set-group-ID bit. AtomicWriteFile, FileLock and the appended logs make their files with it.
unsigned ModeInFolder(const std::string& folder, unsigned mode);
// The folder part of a path ("." when it has none).
std::string FolderOf(const std::string& path);

// Renames a file that exists but cannot be used to path + ".bad-<seconds>". An earlier bad
// copy of the same second is never overwritten: the name then gets "-2", "-3"... appended.
// Only the newest kKeptBadCopies copies of the path are kept; older ones are deleted, so a
// file refused again and again does not fill its folder. The copy just made is always among
// those kept, also when the clock stood later before. Returns the new name, or an empty text
// when the rename failed.
inline constexpr std::size_t kKeptBadCopies = 5;
std::string MoveAside(const std::string& path, Clock& clock = DefaultClock());
// Whether `name` (without folder) is a copy MoveAside made of the file named `base`:
// base + ".bad-<seconds>" or base + ".bad-<seconds>-<n>".
bool IsBadCopyName(std::string_view name, std::string_view base);
// Deletes all but the newest `keep` copies path + ".bad-<seconds>[-<n>]" (by seconds, then n).
// A copy named after a second later than `now` was made before the clock was set back and
// counts as older than every other. The copy named `newest` (a name in path's folder, the copy
// just made) counts as newer than all and is never deleted.
void PruneBadCopies(const std::string& path, std::size_t keep, std::int64_t now,
                    std::string_view newest = {});

// Writes all bytes to a descriptor, going on after short writes and EINTR. False (errno set)
// when a write fails.
bool WriteAllToFd(int fd, std::string_view bytes);
// Everything from the descriptor's position to the end of its file, or nullopt with errno set
// (EFBIG: the file is larger than maxBytes; ENOMEM: there is no memory for it).
std::optional<std::string> ReadAllFromFd(int fd, std::size_t maxBytes);

bool FileExists(const std::string& path);
bool IsDirectory(const std::string& path);
// True when the file is gone afterwards (also when it did not exist).
bool RemoveFile(const std::string& path);
// Creates the folder and its parents (like mkdir -p); true when it exists afterwards.
bool MakeDirectories(const std::string& path, unsigned mode = 0755);
// Removes a file or a folder with everything below it; symbolic links are removed, never
// followed. True when nothing is left at path.
bool RemoveTree(const std::string& path);
// Creates a new private folder (mode 0700) named <parent>/<prefix>XXXXXX; empty on failure.
std::string MakeTempFolder(const std::string& prefix = "tarvell-",
                           const std::string& parent = "/tmp");
// Folder + "/" + name, without doubling the separator.
std::string JoinPath(std::string_view folder, std::string_view name);

// Calls attempt() up to `attempts` times until it returns true, sleeping delayMs on the clock
// after each failed attempt (also after the last one, as the settings file's retries do when
// `sleepAfterLast` is set). Returns whether an attempt succeeded.
bool Retry(int attempts, std::int64_t delayMs, const std::function<bool()>& attempt,
           Clock& clock = DefaultClock(), bool sleepAfterLast = true);

// An advisory lock (flock) on a file, held until Unlock or destruction. It keeps writers of
// different threads and processes apart where Windows opened files for exclusive sharing. The
// lock belongs to this object's open file, so two FileLocks on one path exclude each other
// even within one process.
class FileLock {
public:
    enum class Mode { Shared, Exclusive };

    FileLock() = default;

    // Opens the file (creating it with `createMode` when missing; a shared lock falls back to
    // opening it read-only) and locks it. With `wait` false it fails at once (errno
    // EWOULDBLOCK) while another holder has a conflicting lock. False with errno on failure.
    bool Lock(const std::string& path, Mode mode = Mode::Exclusive, bool wait = true,
              unsigned createMode = 0644);
    void Unlock();
    bool IsLocked() const { return fd_.Valid(); }

private:
    UniqueFd fd_;
};

}  // namespace tarvell
