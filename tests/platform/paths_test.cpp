#include "platform/Paths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include "platform/Files.h"
#include "platform/Registry.h"

namespace tarvell {
namespace {

// Sets an environment variable for one test and puts the old value back afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(Paths, SystemFoldersLieBelowTheRoot) {
    ScopedEnv root("TARVELL_ROOT", "/tmp/demo-root");
    ScopedEnv home("TARVELL_HOME", nullptr);
    EXPECT_EQ(RootFolder(), "/tmp/demo-root");
    EXPECT_EQ(ServiceFolder(), "/tmp/demo-root/var/lib/tarvell");
    EXPECT_EQ(HandoverFolder(), "/tmp/demo-root/var/lib/tarvell/handover");
    EXPECT_EQ(MachineRegistryFolder(), "/tmp/demo-root/etc/tarvell/registry");
    EXPECT_EQ(RunFolder(), "/tmp/demo-root/run/tarvell");
    EXPECT_EQ(SystemPath("etc/systemd/system"), "/tmp/demo-root/etc/systemd/system");
}

TEST(Paths, WithoutARootTheSystemPathsAreUsed) {
    ScopedEnv root("TARVELL_ROOT", "");
    ScopedEnv home("TARVELL_HOME", nullptr);
    EXPECT_EQ(RootFolder(), "/");
    EXPECT_EQ(ServiceFolder(), "/var/lib/tarvell");
    EXPECT_EQ(MachineRegistryFolder(), "/etc/tarvell/registry");
    EXPECT_EQ(RunFolder(), "/run/tarvell");
}

TEST(Paths, TheServiceFolderCanBeSetApart) {
    ScopedEnv root("TARVELL_ROOT", "/r");
    ScopedEnv home("TARVELL_HOME", "/srv/tarvell");
    EXPECT_EQ(ServiceFolder(), "/srv/tarvell");
    EXPECT_EQ(HandoverFolder(), "/srv/tarvell/handover");
    EXPECT_EQ(RunFolder(), "/r/run/tarvell");
}

TEST(Paths, TheUserHiveFollowsXdgConfigHome) {
    ScopedEnv home("HOME", "/home/ann");
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", "/cfg");
        EXPECT_EQ(UserRegistryFolder(), "/cfg/tarvell/registry");
    }
    for (const char* unusable : {"", "relative/cfg"}) {
        ScopedEnv xdg("XDG_CONFIG_HOME", unusable);
        EXPECT_EQ(UserRegistryFolder(), "/home/ann/.config/tarvell/registry");
    }
}

TEST(Paths, TheDefaultRegistryUsesTheFoldersOfTheMoment) {
    const std::string dir = MakeTempFolder("paths-test-");
    ScopedEnv root("TARVELL_ROOT", dir.c_str());
    ScopedEnv xdg("XDG_CONFIG_HOME", (dir + "/cfg").c_str());
    Registry& reg = Registry::Default();
    EXPECT_EQ(reg.HiveFile(Hive::LocalMachine),
              dir + "/etc/tarvell/registry/HKEY_LOCAL_MACHINE.reg");
    EXPECT_EQ(reg.HiveFile(Hive::CurrentUser), dir + "/cfg/tarvell/registry/HKEY_CURRENT_USER.reg");
    EXPECT_EQ(&Registry::Default(), &reg);
    RegKey key;
    ASSERT_EQ(reg.CreateKey(Hive::CurrentUser, "SOFTWARE\\Tarvell", &key), kRegSuccess);
    EXPECT_TRUE(FileExists(dir + "/cfg/tarvell/registry/HKEY_CURRENT_USER.reg"));
    RemoveTree(dir);
}

}  // namespace
}  // namespace tarvell
