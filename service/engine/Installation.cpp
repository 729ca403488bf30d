#include "service/engine/Installation.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <optional>

#include "platform/ErrnoText.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "platform/UniqueFd.h"
#include "service/engine/CTarvellFrm.h"
#include "service/engine/HandOverFile.h"

namespace tarvell {

namespace {

constexpr std::int64_t kGroupaddLimitMs = 30'000;
constexpr std::size_t kNamesInReport = 12;  // more changed files are counted, not named
// Entries of a folder looked at, and strays dealt with, per start: a folder flooded while it was
// open costs a bounded time, and what is left waits for the next start.
constexpr std::size_t kMaxEntries = 100'000;
constexpr std::size_t kStraysPerStart = 100;

std::optional<gid_t> GroupId(const std::string& name) {
    std::vector<char> buffer(65536);
    group entry{};
    group* found = nullptr;
    if (::getgrnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return std::nullopt;
    return found->gr_gid;
}

std::string UserName(uid_t uid) {
    std::vector<char> buffer(65536);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return found->pw_name;
    return std::to_string(uid);
}

std::string GroupName(gid_t gid) {
    std::vector<char> buffer(65536);
    group entry{};
    group* found = nullptr;
    if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return found->gr_name;
    return std::to_string(gid);
}

std::string Octal(unsigned mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", mode & 07777);
    return text;
}

std::string Access(const struct stat& st) {
    return UserName(st.st_uid) + ":" + GroupName(st.st_gid) + " " + Octal(st.st_mode);
}

bool RunGroupadd(const std::string& name) {
    ProcessOptions options;
    options.argv = {"groupadd", "--system", name};
    options.timeLimitMs = kGroupaddLimitMs;
    options.captureOutput = true;
    const ProcessResult result = RunProcess(options);
    return result.Succeeded() && GroupId(name).has_value();
}

std::string KindOf(int parent, const std::string& name) {
    struct stat st {};
    if (::fstatat(parent, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return "gone";
    if (S_ISLNK(st.st_mode)) return "a symbolic link";
    if (S_ISREG(st.st_mode)) return "a file";
    return "neither a folder nor a file";
}

UniqueFd OpenFolderAt(int parent, const std::string& name) {
    return UniqueFd(::openat(parent, name.c_str(),
                             O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
}

// One folder made or brought to its owner (root, when we are root), group and mode: `name` in
// the folder `parent` (AT_FDCWD with the whole path as the name). A link is never followed, and
// every change goes through the folder's own descriptor, so that a name swapped meanwhile cannot
// hand the rights to another file. `keepTighter` keeps permission bits an administrator took
// away; with `moveAside` something other than a folder at the name is renamed out of the way
// and a folder made in its place. Returns the open folder, or an invalid descriptor when it
// cannot be had (a problem then says why).
UniqueFd PrepareFolder(int parent, const std::string& name, const std::string& path, unsigned mode,
                       bool keepTighter, bool moveAside, std::optional<gid_t> gid,
                       PreparationReport& report) {
    UniqueFd fd = OpenFolderAt(parent, name);
    if (!fd.Valid() && (errno == ELOOP || errno == ENOTDIR)) {
        const std::string kind = KindOf(parent, name);
        if (!moveAside) {
            report.problems.push_back("Folder " + path + " could not be prepared (it is " + kind +
                                      ", not a folder)");
            return fd;
        }
        const std::string aside = MoveAside(path);
        if (aside.empty()) {
            report.problems.push_back("Folder " + path + " could not be prepared (it is " + kind +
                                      " and could not be moved aside: " + ErrnoText(errno) + ")");
            return fd;
        }
        report.changes.push_back(path + " was " + kind + ", not a folder: moved aside to " + aside);
        errno = ENOENT;
    }
    const bool existed = fd.Valid();
    if (!existed && errno != ENOENT) {
        report.problems.push_back("Folder " + path + " could not be opened (" + ErrnoText(errno) +
                                  ")");
        return fd;
    }
    if (!existed) {
        if (parent == AT_FDCWD) MakeDirectories(FolderOf(path));
        if (::mkdirat(parent, name.c_str(), 0700) != 0 && errno != EEXIST) {
            report.problems.push_back("Folder " + path + " could not be created (" +
                                      ErrnoText(errno) + ")");
            return fd;
        }
        fd = OpenFolderAt(parent, name);
    }
    struct stat before {};
    if (!fd.Valid() || ::fstat(fd.Get(), &before) != 0) {
        report.problems.push_back("Folder " + path + " could not be read (" + ErrnoText(errno) +
                                  ")");
        return UniqueFd();
    }
    const uid_t uid = ::geteuid() == 0 ? 0 : before.st_uid;
    // Only root gives a folder away; anyone else can only pass it to a group of their own.
    const gid_t group = gid && (::geteuid() == 0 || ::group_member(*gid)) ? *gid : before.st_gid;
    if ((uid != before.st_uid || group != before.st_gid) && ::fchown(fd.Get(), uid, group) != 0) {
        report.problems.push_back("Folder " + path + " could not be given to group " +
                                  GroupName(group) + " (" + ErrnoText(errno) + ")");
    }
    const unsigned bits = existed && keepTighter ? (before.st_mode & mode & 0777) : (mode & 0777);
    const unsigned want = bits | (mode & 07000);
    if (::fchmod(fd.Get(), want) != 0) {
        report.problems.push_back("Folder " + path + " could not be given mode " + Octal(want) +
                                  " (" + ErrnoText(errno) + ")");
    }
    struct stat after {};
    ::fstat(fd.Get(), &after);
    if (!existed) {
        report.changes.push_back("Folder " + path + " made: " + Access(after));
    } else if ((after.st_mode & 07777) != (before.st_mode & 07777) ||
               after.st_uid != before.st_uid || after.st_gid != before.st_gid) {
        report.changes.push_back("Folder " + path + " changed from " + Access(before) + " to " +
                                 Access(after));
    }
    return fd;
}

struct Entry {
    std::string name;
    struct stat st;
};

// The entries of the open folder `dir` with their status (links not followed), at most
// kMaxEntries.
std::vector<Entry> ListEntries(int dir) {
    std::vector<Entry> entries;
    DIR* list = ::fdopendir(::fcntl(dir, F_DUPFD_CLOEXEC, 0));
    if (!list) return entries;
    while (const dirent* entry = ::readdir(list)) {
        Entry e{entry->d_name, {}};
        if (e.name == "." || e.name == ".." ||
            ::fstatat(dir, e.name.c_str(), &e.st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        entries.push_back(std::move(e));
        if (entries.size() == kMaxEntries) break;
    }
    ::closedir(list);
    return entries;
}

// Lines of one kind of change: the first kNamesInReport as they come, the rest counted in one
// closing line.
struct ChangeLines {
    PreparationReport& report;
    std::size_t count = 0;
    void Add(std::string line) {
        if (count++ < kNamesInReport) report.changes.push_back(std::move(line));
    }
    void Close(const std::string& more) {
        if (count > kNamesInReport)
            report.changes.push_back(std::to_string(count - kNamesInReport) + " more " + more);
    }
};

// What stands at a name of the service's writers and is not theirs, in a few words; empty for
// what may be theirs. At a temporary name only a regular file of this user without a second
// link may be (a killed writer's, which the engine's start removes); at a kept-aside name any
// regular file (ConformFolderFiles closes one of another owner).
std::string StrayKind(const struct stat& st, bool temporary) {
    if (S_ISLNK(st.st_mode)) return "a symbolic link";
    if (S_ISDIR(st.st_mode)) return "a folder";
    if (!S_ISREG(st.st_mode)) return "neither a folder nor a file";
    if (!temporary) return {};
    if (st.st_uid != ::geteuid()) return "a file of " + UserName(st.st_uid);
    if (st.st_nlink > 1) return "a file with " + std::to_string(st.st_nlink) + " links";
    return {};
}

// Before any copy or save is written there: what stands at a name of the service's writers in
// the service folder and is not theirs goes, so that no copy or save is written through it
// (the writer would clear it too, but silently). A folder is moved aside with what it holds,
// anything else removed.
void ClearWritersNames(int dir, const std::string& folder, PreparationReport& report) {
    ChangeLines lines{report};
    std::size_t handled = 0, left = 0;
    for (const Entry& e : ListEntries(dir)) {
        const bool temporary = IsOwnTemporaryName(e.name);
        if (!temporary && !IsKeptAsideName(e.name)) continue;
        const std::string kind = StrayKind(e.st, temporary);
        if (kind.empty()) continue;
        if (handled == kStraysPerStart) {
            ++left;
            continue;
        }
        ++handled;
        const std::string path = JoinPath(folder, e.name);
        std::string done;
        if (S_ISDIR(e.st.st_mode)) {
            const std::string aside = MoveAside(path);
            if (!aside.empty()) done = "moved aside to " + aside;
        } else if (::unlinkat(dir, e.name.c_str(), 0) == 0 || errno == ENOENT) {
            done = "removed";
        }
        if (!done.empty())
            lines.Add(path + " was " + kind + ", not a file of the service: " + done);
        else
            report.problems.push_back("Name " + path + " could not be cleared (it is " + kind +
                                      ": " + ErrnoText(errno) +
                                      "); a save through that name fails while it is there");
    }
    lines.Close("names in " + folder + " that held what was not the service's were cleared");
    if (left)
        report.problems.push_back(
            std::to_string(left) + " more names in " + folder +
            " that hold what is not the service's are left for the next start");
}

// What others could leave in the hand-over folder while an earlier version left it open: every
// entry but the settings file itself (the engine's pass judges that one) that the hand-over
// rule refuses is moved aside, so that no member's save goes through it. Copies kept aside
// before (".bad-") stay as they are.
void SetAsideRefusedHandOvers(int dir, const std::string& folder, const std::string& group,
                              PreparationReport& report) {
    ChangeLines lines{report};
    std::size_t handled = 0, left = 0;
    for (const Entry& e : ListEntries(dir)) {
        std::string why;
        if (e.name == CTarvellDoc::kFileName || e.name.find(".bad-") != std::string::npos ||
            IsHandOverFileAcceptable(e.st, group, &why))
            continue;
        if (handled == kStraysPerStart) {
            ++left;
            continue;
        }
        ++handled;
        const std::string path = JoinPath(folder, e.name);
        const std::string aside = MoveAside(path);
        if (!aside.empty()) {
            lines.Add(path + " is refused by the hand-over rule (" + why + "): moved aside to " +
                      aside);
        } else {
            report.problems.push_back("Hand-over entry " + path + " could not be moved aside (" +
                                      ErrnoText(errno) + "); it stays, refused (" + why + ")");
        }
    }
    lines.Close("entries of " + folder + " that the hand-over rule refuses were moved aside");
    if (left)
        report.problems.push_back(std::to_string(left) + " more entries of " + folder +
                                  " that the hand-over rule refuses are left for the next start");
}

enum class Replacement { Done, Gone, Failed };

// Replaces the file `name` in the folder by a copy of it with `mode` and `gid`, written through
// the atomic writer and renamed over the name. A descriptor someone opened while the file was
// open to them then reaches a file that nobody reads any more; changing the mode of the file
// itself would leave it working. Gone: the name no longer holds the file that was seen (it was
// written anew meanwhile).
Replacement ReplaceWithCopy(int dir, const std::string& folder, const std::string& name,
                            const struct stat& seen, unsigned mode, gid_t gid) {
    AtomicFileWriter writer;
    if (!writer.Open(JoinPath(folder, name), mode & 0777)) return Replacement::Failed;
    // The writer's temporary file, held under its lock from here until the rename. It gets
    // group and mode before it holds a byte.
    const UniqueFd made(
        ::openat(dir, (name + ".tmp").c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (!made.Valid() || ::fstat(made.Get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_uid != ::geteuid() || st.st_nlink != 1) {
        errno = EPERM;
        return Replacement::Failed;
    }
    if ((st.st_gid != gid && ::fchown(made.Get(), static_cast<uid_t>(-1), gid) != 0) ||
        ::fchmod(made.Get(), mode) != 0)
        return Replacement::Failed;
    const UniqueFd old(
        ::openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat held {};
    if (!old.Valid() || ::fstat(old.Get(), &held) != 0 || held.st_dev != seen.st_dev ||
        held.st_ino != seen.st_ino)
        return Replacement::Gone;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(old.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return Replacement::Failed;
        if (n == 0) break;
        if (!writer.Append(std::string_view(buffer, static_cast<std::size_t>(n))))
            return Replacement::Failed;
    }
    return writer.Commit() ? Replacement::Done : Replacement::Failed;
}

}  // namespace

InstallationLayout InstallationLayout::FromProcess() {
    InstallationLayout layout;
    layout.serviceFolder = ServiceFolder();
    layout.registryFolder = MachineRegistryFolder();
    layout.group = kHandOverGroup;
    layout.mayMakeGroup = RootFolder() == "/" && ::geteuid() == 0;
    return layout;
}

namespace {

bool IsDailyArchiveName(std::string_view name) {
    constexpr std::size_t kDigits = 8;  // %Y%m%d
    if (name.size() != kDigits + kDailyArchiveSuffix.size()) return false;
    for (std::size_t i = 0; i < kDigits; ++i)
        if (name[i] < '0' || name[i] > '9') return false;
    return name.substr(kDigits) == kDailyArchiveSuffix;
}

// The files of the service folder that are written through "<name>.tmp".
bool IsWrittenThroughTemporary(std::string_view name) {
    return name == CTarvellDoc::kFileName || name == kEventDatabaseName || name == kAlertLogName ||
           name == kReportStoreName || name == kBootCounterName || name == kDeliveredMarkName ||
           name == kUsedLinksFileName || IsDailyArchiveName(name);
}

}  // namespace

bool IsOwnTemporaryName(std::string_view name) {
    constexpr std::string_view kTmp = ".tmp";
    constexpr std::string_view kNew = ".new-";
    constexpr std::size_t kUniqueChars = 6;  // mkstemp's XXXXXX
    const std::string_view settings = CTarvellDoc::kFileName;
    if (name.size() == settings.size() + kNew.size() + kUniqueChars &&
        name.substr(0, settings.size()) == settings &&
        name.substr(settings.size(), kNew.size()) == kNew)
        return true;
    return name.size() > kTmp.size() && name.substr(name.size() - kTmp.size()) == kTmp &&
           IsWrittenThroughTemporary(name.substr(0, name.size() - kTmp.size()));
}

bool IsKeptAsideName(std::string_view name) {
    const std::size_t at = name.rfind(".bad-");
    return at != std::string_view::npos && IsWrittenThroughTemporary(name.substr(0, at)) &&
           IsBadCopyName(name, name.substr(0, at));
}

ConformedFiles ConformFolderFiles(const std::string& folder) {
    ConformedFiles result;
    const UniqueFd dir(OpenFolderAt(AT_FDCWD, folder));
    struct stat dst {};
    if (!dir.Valid() || ::fstat(dir.Get(), &dst) != 0) return result;
    struct Found {
        std::string name;
        struct stat st;
        unsigned mode;
        gid_t gid;
    };
    std::vector<Found> found;
    for (const Entry& e : ListEntries(dir.Get())) {
        if (!S_ISREG(e.st.st_mode)) continue;
        const unsigned mode = ModeInFolder(folder, e.st.st_mode & 07777) & ~unsigned{S_IWGRP};
        const gid_t gid = (dst.st_mode & S_ISGID) ? dst.st_gid : e.st.st_gid;
        // A file of another owner in root's folder: its owner may change it back at any time.
        const bool foreign = ::geteuid() == 0 && e.st.st_uid != 0;
        if (mode == (e.st.st_mode & 07777) && gid == e.st.st_gid && !foreign) continue;
        found.push_back({e.name, e.st, mode, gid});
    }
    // Longest names first: the temporary file through which a name is replaced (<name>.tmp) is
    // then itself replaced before it is used.
    std::vector<const Found*> order;
    for (const Found& f : found) order.push_back(&f);
    std::stable_sort(order.begin(), order.end(), [](const Found* a, const Found* b) {
        return a->name.size() > b->name.size();
    });
    std::vector<bool> done(found.size());
    for (const Found* f : order) {
        const Replacement r = ReplaceWithCopy(dir.Get(), folder, f->name, f->st, f->mode, f->gid);
        done[static_cast<std::size_t>(f - found.data())] = r == Replacement::Done;
        if (r == Replacement::Failed) result.failed.push_back({f->name, ErrnoText(errno), f->mode});
    }
    for (std::size_t i = 0; i < found.size(); ++i)
        if (done[i]) result.replaced.push_back(found[i].name);
    return result;
}

PreparationReport PrepareInstallation(const InstallationLayout& layout) {
    PreparationReport report;
    if (layout.serviceFolder.empty()) return report;
    std::optional<gid_t> gid = GroupId(layout.group);
    if (!gid && layout.mayMakeGroup) {
        const bool made =
            layout.makeGroup ? layout.makeGroup(layout.group) : RunGroupadd(layout.group);
        gid = GroupId(layout.group);
        if (made && gid) {
            report.changes.push_back("Group " + layout.group +
                                     " made (its members hand settings and requests over)");
        } else {
            report.problems.push_back("Group " + layout.group +
                                      " could not be made; only root can hand settings over");
        }
    }
    // The service folder first: once it is closed, nobody else can plant a name in it.
    const UniqueFd folder = PrepareFolder(AT_FDCWD, layout.serviceFolder, layout.serviceFolder,
                                          kServiceFolderMode, true, false, gid, report);
    const std::string handOver = JoinPath(layout.serviceFolder, "handover");
    const UniqueFd handOverFd = folder.Valid()
                                    ? PrepareFolder(folder.Get(), "handover", handOver,
                                                    kHandOverFolderMode, false, true, gid, report)
                                    : UniqueFd();
    if (!layout.registryFolder.empty() && !IsDirectory(layout.registryFolder)) {
        if (MakeDirectories(layout.registryFolder))
            report.changes.push_back("Folder " + layout.registryFolder +
                                     " made for the registry store");
        else
            report.problems.push_back("Folder " + layout.registryFolder +
                                      " could not be created (" + ErrnoText(errno) + ")");
    }
    if (!folder.Valid()) return report;
    ClearWritersNames(folder.Get(), layout.serviceFolder, report);
    if (handOverFd.Valid())
        SetAsideRefusedHandOvers(handOverFd.Get(), handOver, layout.group, report);
    const ConformedFiles files = ConformFolderFiles(layout.serviceFolder);
    struct stat st {};
    ::fstat(folder.Get(), &st);
    if (!files.replaced.empty()) {
        std::string names;
        for (std::size_t i = 0; i < files.replaced.size() && i < kNamesInReport; ++i)
            names += (i ? ", " : "") + files.replaced[i];
        if (files.replaced.size() > kNamesInReport)
            names += " and " + std::to_string(files.replaced.size() - kNamesInReport) + " more";
        report.changes.push_back(std::to_string(files.replaced.size()) +
                                 (files.replaced.size() == 1 ? " file" : " files") +
                                 " of an earlier version in " + layout.serviceFolder +
                                 " replaced by copies closed to others, group " +
                                 GroupName(st.st_gid) + ": " + names);
    }
    // A file still open to others is not read as the service's: kept aside like a damaged one.
    for (const auto& [name, why, mode] : files.failed) {
        const std::string path = JoinPath(layout.serviceFolder, name);
        const std::string line = "File " + path +
                                 " of an earlier version could not be replaced by a copy closed "
                                 "to others (" +
                                 why + ")";
        const std::string aside = MoveAside(path);
        if (!aside.empty()) {
            report.problems.push_back(
                line + "; kept as " + aside +
                ", which the service does not read: once it is checked, "
                "close it (chown root:" +
                GroupName(st.st_gid) +
                ", chmod " + Octal(mode) + ") and rename it back while the service is stopped");
        } else {
            report.problems.push_back(line + " nor moved aside (" + ErrnoText(errno) +
                                      "); the service does not start while it is there");
            report.stillOpen.push_back(path);
        }
    }
    return report;
}

}  // namespace tarvell
