// The start's preparation of the service folder that an earlier version left open to others.
#include <fcntl.h>
#include <grp.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include <gtest/gtest.h>

#include "platform/Files.h"
#include "platform/UniqueFd.h"
#include "service/engine/Installation.h"

namespace tarvell {
namespace {

bool SetImmutable(const std::string& path, int on) {
    const UniqueFd fd(::open(path.c_str(), O_RDONLY));
    return fd.Valid() && ::ioctl(fd.Get(), FS_IOC_SETFLAGS, &on) == 0;
}

// Fixed faults: a folder or link at a writer's name made the copies fail and left the file open;
// what others left in the open hand-over folder stayed; Tarvell.ini stayed writable by the group.
TEST(Installation, AStartClearsWhatOthersLeftAtTheServicesNamesAndClosesTheRest) {
    const std::string root = MakeTempFolder("tarvell-install-"), folder = root + "/service";
    ASSERT_TRUE(MakeDirectories(folder + "/handover") && AtomicWriteFile(root + "/other", "x"));
    ::chmod(folder.c_str(), 0777), ::chmod((folder + "/handover").c_str(), 0777);
    enum Plant { Folder, Link, File, Foreign, Linked, Immutable };
    const struct {
        std::string name;
        Plant plant;
        unsigned mode;     // of a file; the mode expected when it stays, else 0
        std::string line;  // a line that names the path says this; empty: none does
    } cases[] = {
        {"Tarvell.ini.tmp", Folder, 0, "was a folder, not a file of the service: moved aside to"},
        {"Tarvell.db.tmp", Link, 0, "was a symbolic link, not a file of the service: removed"},
        {"Tarvell.eml.tmp", Linked, 0, "was a file with 2 links, not a file of the service"},
        {"AlertChannels.last.tmp", Foreign, 0, "was a file of nobody, not a file of the service"},
        {"Tarvell.ini.new-Ab12Cd", Link, 0, "was a symbolic link"},
        {"Tarvell.db.bad-100", Folder, 0, "was a folder"},
        {"snmpv3_boot_counter.tmp", File, 0600, ""},  // a killed writer's: the engine's start
        {"notes.tmp", Link, 0, ""},
        {"Tarvell.ini", File, 0640, ""},  // was 0660
        {"ActionLink.key", File, 0600, ""},
        {"Tarvell.log", File, 0,
         "could not be replaced by a copy closed to others (File too "
         "large); kept as"},
        {"Tarvell.eml", Immutable, 0,
         "nor moved aside (Operation not permitted); the service "
         "does not start"},
        {"handover/Tarvell.ini.tmp", File, 0,
         "refused by the hand-over rule (it is writable by "
         "others): moved aside to"},
        {"handover/stray", Link, 0, "refused by the hand-over rule (not a regular file)"},
        {"handover/Tarvell.ini", File, 0666, ""},  // the engine's pass judges it
        {"handover/Tarvell.ini.bad-5", File, 0666, ""},
        {"handover/Tarvell.ini.new-Ab12Cd", File, 0600, ""},
    };
    const bool asRoot = ::geteuid() == 0;
    for (const auto& c : cases) {
        const std::string path = folder + "/" + c.name;
        const std::string bytes(c.name == "Tarvell.log" ? 100 : 5, 'x');  // small: copied
        const unsigned mode = c.name == "Tarvell.ini" ? 0660 : c.mode ? c.mode : 0666;
        if (c.plant == Folder) ASSERT_TRUE(MakeDirectories(path + "/inside"));
        if (c.plant == Link) ASSERT_EQ(::symlink((root + "/other").c_str(), path.c_str()), 0);
        if (c.plant != Folder && c.plant != Link) {  // not through a writer, which clears names
            const UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, mode));
            ASSERT_TRUE(::fchmod(fd.Get(), mode) == 0 && WriteAllToFd(fd.Get(), bytes)) << c.name;
        }
        if (c.plant == Linked) ASSERT_EQ(::link(path.c_str(), (root + "/link").c_str()), 0);
        if (c.plant == Foreign && asRoot) ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
    }
    const bool immutable = asRoot && SetImmutable(folder + "/Tarvell.eml", FS_IMMUTABLE_FL);
    InstallationLayout layout;
    layout.serviceFolder = folder;
    layout.group = ::getgrgid(::getegid())->gr_name;
    rlimit before{};
    ::getrlimit(RLIMIT_FSIZE, &before);
    const rlimit tiny{64, before.rlim_max};  // Tarvell.log cannot be copied
    std::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &tiny);
    const PreparationReport report = PrepareInstallation(layout);
    ::setrlimit(RLIMIT_FSIZE, &before);

    std::vector<std::string> lines = report.changes;
    lines.insert(lines.end(), report.problems.begin(), report.problems.end());
    for (const auto& c : cases) {
        const std::string path = folder + "/" + c.name;
        if ((c.plant == Foreign && !asRoot) || (c.plant == Immutable && !immutable)) continue;
        std::string said;
        for (const std::string& line : lines)
            if (line.find(path + " ") != std::string::npos) said = line;
        EXPECT_NE(said.find(c.line), std::string::npos) << c.name << ": " << said;
        EXPECT_EQ(c.line.empty(), said.empty()) << c.name << ": " << said;
        struct stat st {};
        const bool stays = ::lstat(path.c_str(), &st) == 0;
        EXPECT_EQ(stays, c.mode != 0 || c.name == "notes.tmp" || c.plant == Immutable) << c.name;
        if (stays && c.mode) EXPECT_EQ(st.st_mode & 07777, c.mode) << c.name;
    }
    EXPECT_EQ(report.stillOpen, immutable ? std::vector<std::string>{folder + "/Tarvell.eml"}
                                          : std::vector<std::string>{});
    if (immutable) SetImmutable(folder + "/Tarvell.eml", 0);
    RemoveTree(root);
}

}  // namespace
}  // namespace tarvell
