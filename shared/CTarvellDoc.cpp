#include "shared/CTarvellDoc.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>

#include "platform/Accounts.h"
#include "platform/Files.h"
#include "platform/ErrnoText.h"
#include "platform/UniqueFd.h"

namespace tarvell {

namespace {

// Settings files are small; anything larger is not ours.
constexpr std::size_t kMaxSettingsBytes = 64u * 1024u * 1024u;
// List entries of one document, all lists together; far above any real network's lists.
constexpr std::size_t kMaxListEntries = 1'000'000;
// A reader waits this long for a writer's lock (the lock is held only while a file is written).
constexpr int kReadLockAttempts = 40;
constexpr std::int64_t kReadLockWaitMs = 50;
constexpr mode_t kNewFileMode = CTarvellDoc::kFileMode;

DocResult Failure(DocStatus status, std::string message) { return {status, std::move(message)}; }

std::string FileProblem(std::string_view what, const std::string& path) {
    return std::string(what) + " " + path + ": " + ErrnoText(errno);
}

bool SameFile(int fd, const std::string& path) {
    struct stat opened {
    }, named{};
    if (::fstat(fd, &opened) != 0 || ::stat(path.c_str(), &named) != 0) return false;
    return opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

enum class LockResult { Locked, Busy, Missing, NotRegular, Failed };

// Opens `path` and takes a flock of the given operation on it, making sure that the locked file
// is still the one under that name (a writer replaces the file by renaming over it).
LockResult OpenLocked(const std::string& path, int operation, UniqueFd& handle,
                      std::string& error) {
    for (int tries = 0; tries < 3; ++tries) {
        // The checked open: a FIFO planted under the name cannot stall the caller. The size is
        // bounded by the read.
        handle.Reset(OpenFileForReading(path, static_cast<std::size_t>(-1), FollowLink::No));
        if (!handle.Valid()) {
            if (errno == EINVAL || errno == EISDIR) {
                error = path + " is not a regular file";
                return LockResult::NotRegular;
            }
            const bool link = errno == ELOOP;
            error = FileProblem("cannot open", path);
            if (link) return LockResult::NotRegular;
            // A file where a folder of the path should be: there is no such file either.
            return errno == ENOENT || errno == ENOTDIR ? LockResult::Missing : LockResult::Failed;
        }
        if (::flock(handle.Get(), operation | LOCK_NB) != 0) {
            error = errno == EWOULDBLOCK ? path + " is locked by another writer"
                                         : FileProblem("cannot lock", path);
            return errno == EWOULDBLOCK ? LockResult::Busy : LockResult::Failed;
        }
        if (SameFile(handle.Get(), path)) return LockResult::Locked;
    }
    error = path + " keeps being replaced";
    return LockResult::Busy;
}

// Puts the finished temporary file under its final name unless a file of that name exists.
// A hard link does that atomically; on a file system without hard links (some network mounts)
// the file is renamed after a check, which leaves only a tiny window.
bool PlaceWithoutReplacing(const std::string& temp, const std::string& path) {
    if (::link(temp.c_str(), path.c_str()) == 0) return true;
    if (errno != EPERM && errno != ENOTSUP && errno != ENOSYS && errno != EXDEV) return false;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(temp.c_str(), path.c_str()) == 0;
}

// Writes a new file under `path` without ever replacing one that exists: the bytes go to a
// unique temporary file that is then linked under the final name.
DocResult CreateNoClobber(const std::string& path, std::string_view bytes,
                          mode_t mode = kNewFileMode) {
    std::string temp = path + ".new-XXXXXX";
    UniqueFd fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (!fd.Valid()) return Failure(DocStatus::IoError, FileProblem("cannot create", temp));
    const bool written =
        ::fchmod(fd.Get(), mode) == 0 && WriteAllToFd(fd.Get(), bytes) && ::fsync(fd.Get()) == 0;
    DocResult result;
    if (!written) {
        result = Failure(DocStatus::IoError, FileProblem("cannot write", temp));
    } else if (PlaceWithoutReplacing(temp, path)) {
        result.status = DocStatus::Created;
    } else {
        result = Failure(errno == EEXIST ? DocStatus::Busy : DocStatus::IoError,
                         FileProblem("cannot create", path));
    }
    ::unlink(temp.c_str());
    return result;
}

// A stored text made fit for a log line: at most 32 bytes, printable ASCII only.
std::string Printable(std::string_view text) {
    std::string out;
    for (unsigned char c : text.substr(0, 32))
        out += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
    return out;
}

// A list entry costs the file one byte but memory a string in every copy of the settings, so
// the entries of all lists of one document together are bounded.
std::vector<std::string> ReadBoundedList(ArchiveReader& ar, std::size_t& entriesLeft) {
    const std::uint32_t count = ar.ReadCount();
    if (count > entriesLeft) throw ArchiveError("too many list entries");
    entriesLeft -= count;
    std::vector<std::string> list;
    for (std::uint32_t i = 0; i < count; ++i) list.push_back(ar.ReadText());
    return list;
}

void ReadStep(ArchiveReader& ar, const LayoutStep& step, CTarvellDoc& doc,
              std::size_t& entriesLeft) {
    if (!step.field) {
        doc.*step.legacy = ar.ReadWord();
        return;
    }
    const DocumentField& f = *step.field;
    switch (f.kind) {
        case FieldKind::Word: f.Word(doc) = ar.ReadWord(); break;
        case FieldKind::Text: f.Text(doc) = ar.ReadText(); break;
        case FieldKind::List: f.List(doc) = ReadBoundedList(ar, entriesLeft); break;
    }
}

}  // namespace

CTarvellDoc::CTarvellDoc() : Version(kCurrentDocumentVersion) {}

void CTarvellDoc::SetDefaults() {
    Version = std::string(kCurrentDocumentVersion);
    for (const DocumentField& f : DocumentFields()) {
        switch (f.kind) {
            case FieldKind::Word: f.Word(*this) = f.defaultWord; break;
            case FieldKind::Text: f.Text(*this) = f.defaultText ? f.defaultText : ""; break;
            case FieldKind::List: f.List(*this).clear(); break;
        }
    }
    LegacyWordA = 0;
    LegacyWordB = 0;
    LegacyWordC = 1;
}

void CTarvellDoc::Store(ArchiveWriter& ar) const {
    ar.WriteText(Version);
    for (const DocumentField& f : DocumentFields()) {
        switch (f.kind) {
            case FieldKind::Word: ar.WriteWord(f.Word(*this)); break;
            case FieldKind::Text: ar.WriteText(f.Text(*this)); break;
            case FieldKind::List: ar.WriteStringList(f.List(*this)); break;
        }
    }
}

std::string CTarvellDoc::StoreToBytes() const {
    ArchiveWriter ar;
    Store(ar);
    return ar.TakeBytes();
}

DocResult CTarvellDoc::Load(ArchiveReader& ar, CTarvellDoc& into) {
    try {
        const std::string version = ar.ReadText();
        const auto layout = LayoutForVersion(version);
        if (!layout) {
            return Failure(DocStatus::UnknownVersion,
                           "unknown settings version \"" + Printable(version) + "\"");
        }
        CTarvellDoc scratch = into;
        std::size_t entriesLeft = kMaxListEntries;
        for (const LayoutStep& step : LayoutSteps(*layout))
            ReadStep(ar, step, scratch, entriesLeft);
        into = std::move(scratch);
        return {};
    } catch (const std::exception& e) {
        return Failure(DocStatus::Damaged, "damaged settings at byte " +
                                               std::to_string(ar.Position()) + ": " + e.what());
    }
}

DocResult CTarvellDoc::LoadFromBytes(std::string_view bytes, CTarvellDoc& into) {
    ArchiveReader ar(bytes);
    return Load(ar, into);
}

std::string CTarvellDoc::FilePath() const { return JoinPath(folder_, kFileName); }

DocResult CTarvellDoc::LoadFromFile(const std::string& path, Clock& clock) {
    return LoadFromFile(path, clock, nullptr);
}

DocResult CTarvellDoc::LoadFromFile(const std::string& path, Clock& clock, const FileCheck& check) {
    UniqueFd fd;
    std::string error;
    LockResult lock = LockResult::Busy;
    for (int i = 0; i < kReadLockAttempts; ++i) {
        lock = OpenLocked(path, LOCK_SH, fd, error);
        if (lock != LockResult::Busy) break;
        clock.SleepMs(kReadLockWaitMs);
    }
    switch (lock) {
        case LockResult::Locked: break;
        case LockResult::Missing: return Failure(DocStatus::Missing, error);
        case LockResult::Busy: return Failure(DocStatus::Busy, error);
        case LockResult::NotRegular:
            return Failure(check ? DocStatus::Refused : DocStatus::IoError, error);
        case LockResult::Failed: return Failure(DocStatus::IoError, error);
    }
    if (check) {
        struct stat st {};
        if (::fstat(fd.Get(), &st) != 0)
            return Failure(DocStatus::IoError, FileProblem("cannot check", path));
        const std::string refused = check(st);
        if (!refused.empty()) return Failure(DocStatus::Refused, path + " is ignored: " + refused);
    }
    const std::optional<std::string> bytes = ReadAllFromFd(fd.Get(), kMaxSettingsBytes);
    if (!bytes) {
        return Failure(DocStatus::IoError,
                       path + (errno == EFBIG ? ": file too large"
                                              : std::string(": read error: ") + ErrnoText(errno)));
    }
    DocResult result = LoadFromBytes(*bytes, *this);
    if (!result) result.message = path + ": " + result.message;
    return result;
}

std::string CTarvellDoc::NotOwnFile(const struct stat& st) {
    if (!S_ISREG(st.st_mode)) return "not a regular file";
    if (st.st_uid != ::geteuid())
        return "its owner is " + DescribeUser(st.st_uid) + ", not " + DescribeUser(::geteuid());
    if (st.st_mode & S_IWOTH) return "it is writable by others";
    if (st.st_mode & S_IWGRP) return "it is writable by its group";
    return {};
}

DocResult CTarvellDoc::LoadOwnFile(const std::string& path, Clock& clock) {
    std::string why;
    DocResult result = LoadFromFile(path, clock, [&](const struct stat& st) {
        why = NotOwnFile(st);
        return why;
    });
    if (result.status != DocStatus::Refused) return result;
    if (why.empty()) {
        // Refused before the check: the name holds no regular file.
        struct stat st {};
        why = ::lstat(path.c_str(), &st) != 0 ? result.message
              : S_ISLNK(st.st_mode)           ? "a symbolic link"
              : S_ISDIR(st.st_mode)           ? "a folder"
                                              : "not a regular file";
    }
    result.message = why;
    return result;
}

DocResult CTarvellDoc::SaveToFile(const std::string& path, bool mayCreate,
                                  std::optional<mode_t> fileMode) const {
    std::string bytes;
    try {
        bytes = StoreToBytes();
    } catch (const std::exception& e) {
        return Failure(DocStatus::IoError, std::string("cannot encode the settings: ") + e.what());
    }
    UniqueFd fd;
    std::string error;
    switch (OpenLocked(path, LOCK_EX, fd, error)) {
        case LockResult::Locked: break;
        case LockResult::Missing:
            if (!mayCreate) return Failure(DocStatus::Missing, error);
            return CreateNoClobber(path, bytes, fileMode.value_or(kNewFileMode));
        case LockResult::Busy: return Failure(DocStatus::Busy, error);
        case LockResult::NotRegular:
        case LockResult::Failed: return Failure(DocStatus::IoError, error);
    }
    struct stat old {};
    if (::fstat(fd.Get(), &old) != 0)
        return Failure(DocStatus::IoError, FileProblem("cannot stat", path));
    const mode_t mode = fileMode.value_or(old.st_mode & 07777);
    if (!AtomicWriteFile(path, bytes, mode))
        return Failure(DocStatus::IoError, FileProblem("cannot write", path));
    // The umask may have narrowed the new file's mode: give it the intended bits exactly.
    ::chmod(path.c_str(), mode);
    return {};
}

DocResult CTarvellDoc::OnNewDocument(Clock& clock) {
    const std::string path = FilePath();
    DocResult loaded = LoadOwnFile(path, clock);
    if (loaded.status != DocStatus::Missing) return loaded;

    CTarvellDoc fresh = *this;
    fresh.SetDefaults();
    DocResult created = CreateNoClobber(path, fresh.StoreToBytes());
    if (created) {
        *this = std::move(fresh);
        return created;
    }
    // Someone else created it in the meantime: read theirs.
    if (FileExists(path)) return LoadOwnFile(path, clock);
    return created;
}

DocResult CTarvellDoc::OnSaveDocument(Clock& clock) {
    const std::string path = FilePath();
    DocResult last;
    Retry(
        kSaveAttempts, kSaveRetryMs,
        [&] {
            last = SaveToFile(path, false, kFileMode);
            return static_cast<bool>(last);
        },
        clock, true);
    return last;
}

}  // namespace tarvell
