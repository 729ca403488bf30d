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
#include "service/engine/HandOverFile.h"

namespace tarvell {

namespace {

constexpr std::int64_t kGroupaddLimitMs = 30'000;
constexpr std::size_t kNamesInReport = 12;  // more changed files are counted, not named

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

std::vector<std::string> ConformFolderFiles(const std::string& folder,
                                            std::vector<std::string>* problems) {
    std::vector<std::string> changed;
    const UniqueFd dir(OpenFolderAt(AT_FDCWD, folder));
    struct stat dst {};
    if (!dir.Valid() || ::fstat(dir.Get(), &dst) != 0) return changed;
    DIR* list = ::fdopendir(::fcntl(dir.Get(), F_DUPFD_CLOEXEC, 0));
    if (!list) return changed;
    struct Found {
        std::string name;
        struct stat st;
        unsigned mode;
        gid_t gid;
    };
    std::vector<Found> found;
    while (const dirent* entry = ::readdir(list)) {
        const std::string name = entry->d_name;
        struct stat st {};
        if (::fstatat(dir.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode))
            continue;
        const unsigned mode = ModeInFolder(folder, st.st_mode & 07777);
        const gid_t gid = (dst.st_mode & S_ISGID) ? dst.st_gid : st.st_gid;
        // A file of another owner in root's folder: its owner may change it back at any time.
        const bool foreign = ::geteuid() == 0 && st.st_uid != 0;
        if (mode == (st.st_mode & 07777) && gid == st.st_gid && !foreign) continue;
        found.push_back({name, st, mode, gid});
    }
    ::closedir(list);
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
        if (r == Replacement::Failed && problems)
            problems->push_back("File " + JoinPath(folder, f->name) +
                                " of an earlier version could not be replaced by a copy closed "
                                "to others (" +
                                ErrnoText(errno) + ")");
    }
    for (std::size_t i = 0; i < found.size(); ++i)
        if (done[i]) changed.push_back(found[i].name);
    return changed;
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
    if (folder.Valid())
        PrepareFolder(folder.Get(), "handover", JoinPath(layout.serviceFolder, "handover"),
                      kHandOverFolderMode, false, true, gid, report);
    if (!layout.registryFolder.empty() && !IsDirectory(layout.registryFolder)) {
        if (MakeDirectories(layout.registryFolder))
            report.changes.push_back("Folder " + layout.registryFolder +
                                     " made for the registry store");
        else
            report.problems.push_back("Folder " + layout.registryFolder +
                                      " could not be created (" + ErrnoText(errno) + ")");
    }
    const std::vector<std::string> files =
        folder.Valid() ? ConformFolderFiles(layout.serviceFolder, &report.problems)
                       : std::vector<std::string>();
    if (!files.empty()) {
        std::string names;
        for (std::size_t i = 0; i < files.size() && i < kNamesInReport; ++i)
            names += (i ? ", " : "") + files[i];
        if (files.size() > kNamesInReport)
            names += " and " + std::to_string(files.size() - kNamesInReport) + " more";
        struct stat st {};
        ::fstat(folder.Get(), &st);
        report.changes.push_back(
            std::to_string(files.size()) + (files.size() == 1 ? " file" : " files") +
            " of an earlier version in " + layout.serviceFolder +
            " replaced by copies closed to others, group " + GroupName(st.st_gid) + ": " + names);
    }
    return report;
}

}  // namespace tarvell
