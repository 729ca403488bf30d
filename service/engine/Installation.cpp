#include "service/engine/Installation.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

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

// One folder made or brought to its owner (root, when we are root), group and mode. `keepTighter`
// keeps permission bits an administrator took away.
void PrepareFolder(const std::string& path, unsigned mode, bool keepTighter,
                   std::optional<gid_t> gid, PreparationReport& report) {
    struct stat before {};
    const bool existed = ::stat(path.c_str(), &before) == 0;
    if (existed && !S_ISDIR(before.st_mode)) {
        report.problems.push_back("Folder " + path + " could not be prepared (it is not a folder)");
        return;
    }
    if (!existed && (!MakeDirectories(FolderOf(path)) || ::mkdir(path.c_str(), 0700) != 0) &&
        errno != EEXIST) {
        report.problems.push_back("Folder " + path + " could not be created (" + ErrnoText(errno) +
                                  ")");
        return;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        report.problems.push_back("Folder " + path + " could not be read (" + ErrnoText(errno) +
                                  ")");
        return;
    }
    const uid_t uid = ::geteuid() == 0 ? 0 : st.st_uid;
    // Only root gives a folder away; anyone else can only pass it to a group of their own.
    const gid_t group = gid && (::geteuid() == 0 || ::group_member(*gid)) ? *gid : st.st_gid;
    if ((uid != st.st_uid || group != st.st_gid) && ::chown(path.c_str(), uid, group) != 0) {
        report.problems.push_back("Folder " + path + " could not be given to group " +
                                  GroupName(group) + " (" + ErrnoText(errno) + ")");
    }
    const unsigned bits = existed && keepTighter ? (before.st_mode & mode & 0777) : (mode & 0777);
    const unsigned want = bits | (mode & 07000);
    if (::chmod(path.c_str(), want) != 0) {
        report.problems.push_back("Folder " + path + " could not be given mode " + Octal(want) +
                                  " (" + ErrnoText(errno) + ")");
    }
    struct stat after {};
    ::stat(path.c_str(), &after);
    if (!existed) {
        report.changes.push_back("Folder " + path + " made: " + Access(after));
    } else if ((after.st_mode & 07777) != (before.st_mode & 07777) ||
               after.st_uid != before.st_uid || after.st_gid != before.st_gid) {
        report.changes.push_back("Folder " + path + " changed from " + Access(before) + " to " +
                                 Access(after));
    }
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

std::vector<std::string> ConformFolderFiles(const std::string& folder) {
    std::vector<std::string> changed;
    const UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat dst {};
    if (!dir.Valid() || ::fstat(dir.Get(), &dst) != 0) return changed;
    DIR* list = ::fdopendir(::fcntl(dir.Get(), F_DUPFD_CLOEXEC, 0));
    if (!list) return changed;
    while (const dirent* entry = ::readdir(list)) {
        const std::string name = entry->d_name;
        struct stat st {};
        if (::fstatat(dir.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode))
            continue;
        const unsigned mode = ModeInFolder(folder, st.st_mode & 07777);
        const gid_t gid = (dst.st_mode & S_ISGID) ? dst.st_gid : st.st_gid;
        if (mode == (st.st_mode & 07777) && gid == st.st_gid) continue;
        // Through a descriptor of the file itself: a name swapped for a link meanwhile is refused.
        const UniqueFd fd(::openat(dir.Get(), name.c_str(),
                                   O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        struct stat held {};
        if (!fd.Valid() || ::fstat(fd.Get(), &held) != 0 || held.st_ino != st.st_ino) continue;
        // The group first: a change of group may clear the set-group-ID bit the mode then sets.
        const bool ok =
            (gid == held.st_gid || ::fchown(fd.Get(), static_cast<uid_t>(-1), gid) == 0) &&
            ::fchmod(fd.Get(), mode) == 0;
        if (ok) changed.push_back(name);
    }
    ::closedir(list);
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
    PrepareFolder(layout.serviceFolder, kServiceFolderMode, true, gid, report);
    PrepareFolder(JoinPath(layout.serviceFolder, "handover"), kHandOverFolderMode, false, gid,
                  report);
    if (!layout.registryFolder.empty() && !IsDirectory(layout.registryFolder)) {
        if (MakeDirectories(layout.registryFolder))
            report.changes.push_back("Folder " + layout.registryFolder +
                                     " made for the registry store");
        else
            report.problems.push_back("Folder " + layout.registryFolder +
                                      " could not be created (" + ErrnoText(errno) + ")");
    }
    const std::vector<std::string> files = ConformFolderFiles(layout.serviceFolder);
    if (!files.empty()) {
        std::string names;
        for (std::size_t i = 0; i < files.size() && i < kNamesInReport; ++i)
            names += (i ? ", " : "") + files[i];
        if (files.size() > kNamesInReport)
            names += " and " + std::to_string(files.size() - kNamesInReport) + " more";
        struct stat st {};
        ::stat(layout.serviceFolder.c_str(), &st);
        report.changes.push_back(std::to_string(files.size()) +
                                 (files.size() == 1 ? " file" : " files") +
                                 " of an earlier version in " + layout.serviceFolder +
                                 " closed to others, group " + GroupName(st.st_gid) + ": " + names);
    }
    return report;
}

}  // namespace tarvell
