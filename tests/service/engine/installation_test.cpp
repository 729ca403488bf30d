// The start's preparation of a service folder that an earlier version left open to others.
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/Files.h"
#include "platform/UniqueFd.h"
#include "service/engine/Installation.h"
#include "tests/support/FileSizeLimit.h"

namespace tarvell {
namespace {

// Fixed faults: a folder or a link at a writer's name made the copies fail and left the file
// open; what others left in the open hand-over folder stayed; Tarvell.ini stayed group-writable.
TEST(Installation, AStartClearsWhatOthersLeftAtTheServicesNamesAndClosesTheRest) {
    const std::string root = MakeTempFolder("tarvell-install-"), dir = root + "/service/";
    ASSERT_TRUE(MakeDirectories(dir + "handover") && ::chmod((dir + "handover").c_str(), 0777) == 0);
    const struct {
        std::string name;
        char plant;        // d a folder, l a link, f a file, 2 one with a second link, o another's
        unsigned made;     // a file's mode
        unsigned kept;     // 0 gone, 1 there, else there with this mode
        std::string line;  // what the line naming it says; empty: no line does
    } cases[] = {
        {"Tarvell.ini.tmp", 'd', 0, 0, "was a folder, not a file of the service: moved aside to"},
        {"Tarvell.db.tmp", 'l', 0, 0, "was a symbolic link, not a file of the service: removed"},
        {"Tarvell.eml.tmp", '2', 0600, 0, "was a file with 2 links"},
        {"AlertChannels.last.tmp", 'o', 0600, 0, "was a file of nobody"},
        {"Tarvell.db.bad-100", 'd', 0, 0, "was a folder"},
        {"snmpv3_boot_counter.tmp", 'f', 0600, 0600, ""},  // a killed writer's: the engine's
        {"notes.tmp", 'l', 0, 1, ""},
        {"Tarvell.ini", 'f', 0660, 0640, ""},
        {"ActionLink.key", 'f', 0600, 0600, ""},
        {"Tarvell.log", 'f', 0666, 0, "(File too large); kept as"},  // not copied: disk full
        {"handover/Tarvell.ini.tmp", 'f', 0666, 0, "rule (it is writable by others): moved aside"},
        {"handover/stray", 'l', 0, 0, "refused by the hand-over rule (not a regular file)"},
        {"handover/Tarvell.ini", 'f', 0666, 0666, ""},  // the engine's pass judges it
        {"handover/Tarvell.ini.bad-5", 'f', 0666, 0666, ""},
    };
    const bool asRoot = ::geteuid() == 0;
    for (const auto& c : cases) {
        const std::string path = dir + c.name;
        if (c.plant == 'd') ASSERT_TRUE(MakeDirectories(path + "/inside"));
        if (c.plant == 'l') ASSERT_EQ(::symlink(root.c_str(), path.c_str()), 0);
        if (c.made) {  // not through a writer, which would clear the names
            const UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, c.made));
            const std::string bytes(c.name == "Tarvell.log" ? 100 : 5, 'x');
            ASSERT_TRUE(::fchmod(fd.Get(), c.made) == 0 && WriteAllToFd(fd.Get(), bytes));
        }
        if (c.plant == '2') ASSERT_EQ(::link(path.c_str(), (root + "/link").c_str()), 0);
        if (c.plant == 'o' && asRoot) ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
    }
    InstallationLayout layout;
    layout.serviceFolder = root + "/service";
    layout.group = ::getgrgid(::getegid())->gr_name;
    auto full = std::make_optional<test::FileSizeLimit>(64);
    const PreparationReport report = PrepareInstallation(layout);
    full.reset();
    std::vector<std::string> lines = report.changes;
    lines.insert(lines.end(), report.problems.begin(), report.problems.end());
    for (const auto& c : cases) {
        if (c.plant == 'o' && !asRoot) continue;
        std::string said;
        for (const std::string& line : lines)
            if (line.find(dir + c.name + " ") != std::string::npos) said = line;
        EXPECT_TRUE(c.line.empty() ? said.empty() : said.find(c.line) != std::string::npos)
            << c.name << ": " << said;
        struct stat st {};
        EXPECT_EQ(::lstat((dir + c.name).c_str(), &st) == 0, c.kept != 0) << c.name;
        if (c.kept > 1) EXPECT_EQ(st.st_mode & 07777, c.kept) << c.name;
    }
    EXPECT_TRUE(report.stillOpen.empty());
    RemoveTree(root);
}

}  // namespace
}  // namespace tarvell
