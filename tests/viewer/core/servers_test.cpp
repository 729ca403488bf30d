#include "viewer/core/hub/ServerRegistry.h"

#include <gtest/gtest.h>

#include "platform/Registry.h"
#include "tests/viewer/core/ViewerFixture.h"

namespace tarvell {
namespace {

using test::ViewerFixture;

// ---- registry

TEST_F(ViewerFixture, AFirstStartCreatesTheLocalServerAndThePopupDefaults) {
    CTarvellApp& app = StartApp();
    EXPECT_TRUE(app.RegistryAvailable());
    ServerMap servers;
    app.CopyServers(servers);
    ASSERT_EQ(servers.size(), 1u);
    EXPECT_EQ(servers["Local"], (CServerItem{1, server_}));
    EXPECT_EQ(app.Server().Name, "Local");
    EXPECT_EQ(app.Server().Folder, server_);
    EXPECT_EQ(app.Server().Machine, "");
    EXPECT_EQ(app.PopupTimeout(), 10u);
    EXPECT_EQ(app.PopupAlerts(), 1u);
    EXPECT_EQ(app.PopupSound(), "");

    // What was created reads back the same in a new process.
    ViewerPreferences again;
    ASSERT_TRUE(ReadViewerRegistry(*registry_, "/elsewhere", again));
    EXPECT_EQ(again.Servers, servers);
    EXPECT_EQ(again.PopupTimeout, 10u);
    EXPECT_EQ(again.PopupAlerts, 1u);
}

TEST_F(ViewerFixture, ASecondDefaultServerSurvivesSaveAndRestart) {
    CTarvellApp& app = StartApp();
    app.SetServers({{"Local", {0, server_}}, {"Branch", {1, "//branch1/tarvell"}}});
    app.SetPopupPreferences(0, 30, "/usr/share/sounds/alert.wav");
    ASSERT_TRUE(app.SaveSettings());

    CTarvellApp& restarted = StartApp();
    ServerMap servers;
    restarted.CopyServers(servers);
    EXPECT_EQ(servers["Local"].IsDefault, 0);
    EXPECT_EQ(servers["Branch"], (CServerItem{1, "//branch1/tarvell"}));
    EXPECT_EQ(restarted.Server().Name, "Branch");
    EXPECT_EQ(restarted.Server().Machine, "branch1");
    EXPECT_EQ(restarted.PopupAlerts(), 0u);
    EXPECT_EQ(restarted.PopupTimeout(), 30u);
    EXPECT_EQ(restarted.PopupSound(), "/usr/share/sounds/alert.wav");
}

TEST_F(ViewerFixture, NoDefaultServerMeansNoCurrentServer) {
    StartApp().SetServers({{"A", {0, "/a"}}, {"B", {0, "/b"}}});
    ASSERT_TRUE(app_->SaveSettings());
    CTarvellApp& restarted = StartApp();
    EXPECT_EQ(restarted.Server().Name, "");
    EXPECT_FALSE(restarted.ReloadDocument());
    EXPECT_EQ(restarted.Document().Title(), "Not Connected");
}

TEST_F(ViewerFixture, AViewerKeyThatCannotBeMadeGivesNoServersAndNoPopups) {
    // A file where the user's hive folder should be: nothing can be created there.
    ASSERT_TRUE(AtomicWriteFile(JoinPath(root_, "blocked"), "x"));
    registry_ =
        std::make_unique<Registry>(JoinPath(root_, "machine"), JoinPath(root_, "blocked/user"));
    CTarvellApp& app = StartApp();
    EXPECT_FALSE(app.RegistryAvailable());
    ServerMap servers;
    app.CopyServers(servers);
    EXPECT_TRUE(servers.empty());
    EXPECT_EQ(app.PopupAlerts(), 0u);
}

// ---- the machine of a server folder

TEST(ServerMachine, NetworkPathsAndNetworkMountsNameTheirHost) {
    const std::string mounts =
        "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
        "40 22 0:50 / /mnt/branch rw,relatime shared:20 - cifs //branch1/share rw,vers=3.0\n"
        "41 22 0:51 / /mnt/nfs rw shared:21 - nfs4 filer2:/export/tarvell rw\n"
        "42 22 0:52 / /mnt/ssh\\040box rw shared:22 - fuse.sshfs admin@gate3:/srv rw\n"
        "43 22 0:53 / /mnt/v6 rw shared:23 - nfs [fd00::7]:/x rw\n"
        "44 22 0:54 / /mnt/later rw shared:24 - cifs //old/share rw\n"
        "45 22 0:55 / /mnt/later rw shared:25 - tmpfs tmpfs rw\n"
        "46 40 0:56 / /mnt/branch/local rw shared:26 - ext4 /dev/sdb1 rw\n";
    struct Case {
        const char* folder;
        const char* machine;
    } cases[] = {
        {"//branch1/share/tarvell", "branch1"},
        {"\\\\branch1\\share\\tarvell", "branch1"},
        {"/mnt/branch", "branch1"},
        {"/mnt/branch/deep/sub/folder", "branch1"},
        {"/mnt/branchX/tarvell", ""},       // not below the mount point
        {"/mnt/branch/local/tarvell", ""},  // a local mount inside the network one
        {"/mnt/nfs/a", "filer2"},
        {"/mnt/ssh box/tarvell", "gate3"},
        {"/mnt/v6/tarvell", "fd00::7"},
        {"/mnt/later/x", ""},  // the later mount hides the network one
        {"/var/lib/tarvell", ""},
        {"relative/path", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(ServerMachineOf(c.folder, mounts), c.machine) << c.folder;
}

TEST(ServerMachine, ReadMarksOfEachServerHaveTheirOwnKey) {
    EXPECT_EQ(ReadMarksKey("Local"), "Events\\Local");
    EXPECT_EQ(ReadMarksKey("a\\b"), "Events\\a/b");
}

}  // namespace
}  // namespace tarvell
