// The Access category's rules: the General page's checks, the qualifier and description texts,
// the permission tree, the rule keeping an Access holder, Delete and Browse's names.
#include <gtest/gtest.h>

#include "viewer/core/hub/MachineIdentity.h"
#include "viewer/core/settings/AccessSettings.h"
#include "viewer/core/base/StringTable.h"

namespace tarvell::test {
namespace {

std::size_t Item(std::string_view text) {
    for (std::size_t i = 0; i < kPermissionItems; ++i)
        if (PermissionText(i) == text) return i;
    ADD_FAILURE() << text;
    return 0;
}

TEST(AccessSettingsTest, GeneralChecksInTheirOrder) {
    const ViewerUsers users = {"Everyone/;Start Service;", "alice@CORP/;Access Settings;"};
    auto form = [](std::string name, QualifierKind kind = QualifierKind::None,
                   std::string field = "") {
        UserForm f;
        f.name = std::move(name);
        f.kind = kind;
        f.domain = f.ip = f.mac = std::move(field);
        return f;
    };
    const struct {
        UserForm form;
        unsigned message;
    } cases[] = {
        {form(""), str::kUserEmpty},
        {form(". . "), str::kUserInvalid},
        {form("a.b"), 0},
        {form("x@y"), str::kUserInvalid},
        {form("a\\b"), str::kUserInvalid},
        {form("a;b"), str::kUserInvalid},
        {form("", QualifierKind::Ip, "300.1.1.1"), str::kUserEmpty},  // the name comes first
        {form("bob", QualifierKind::Ip, "255.255.255.255"), str::kComputerInvalid},
        {form("bob", QualifierKind::Ip, "0.0.0.0"), 0},
        {form("bob", QualifierKind::Mac, "00A0C9123456"), 0},
        {form("bob", QualifierKind::Mac, "00-A0-C9-12-34"), str::kComputerInvalid},
        {form("bob", QualifierKind::Mac, "0"), str::kComputerInvalid},
        {form("bob", QualifierKind::Mac, "00A0C912345"), str::kComputerInvalid},
        {form("bob", QualifierKind::Mac, "000000000000"), str::kComputerInvalid},
        {form("Everyone"), str::kUserExists},
        {form("ALICE", QualifierKind::Domain, "corp"), str::kUserExists},
        {form("alice"), 0},  // another identity: no qualifier
    };
    for (const auto& c : cases)
        EXPECT_EQ(CheckUser(c.form, users), c.message) << c.form.name << " " << c.form.ip;
}

TEST(AccessSettingsTest, AddedEntryLosesSeparatorsAndKeepsCrLf) {
    UserForm f;
    f.name = "bob";
    f.kind = QualifierKind::Computer;
    f.computer = "a@b/c;d";
    f.domain = "ignored";
    f.description = "first/line;\nsecond@";
    ViewerUsers users;
    AddUser(users, f);
    ASSERT_EQ(users.size(), 1u);
    EXPECT_EQ(IdentityOf(users[0]), "bob@abcd");
    EXPECT_EQ(DescriptionOf(users[0]), "firstline\r\nsecond");
    EXPECT_EQ(PermissionPart(users[0]), NewUserPermissions());
}

TEST(AccessSettingsTest, EmptyListShowsGuestWithEveryPermissionButTheGroups) {
    const ViewerUsers shown = UsersToShow({});
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(IdentityOf(shown[0]), "Guest");
    EXPECT_EQ(DescriptionOf(shown[0]),
              "Built-in account for guest access to the selected Tarvell server");
    std::string expected;
    for (std::size_t i = 0; i < kPermissionItems; ++i)
        if (PermissionItems()[i].parent >= 0) expected += std::string(PermissionText(i)) + ";";
    EXPECT_EQ(PermissionPart(shown[0]), expected);
}

TEST(AccessSettingsTest, TreeLoadsFollowsParentsAndStoresInTreeOrder) {
    const std::size_t monitor = Item("Monitor Permissions"), detection = Item("Detection Monitor"),
                      prevention = Item("Prevention Monitor"), block = Item("Detection Block");
    PermissionTree tree;
    const std::string only = "u/;Detection Monitor;";
    tree.Load(&only);
    EXPECT_TRUE(tree.Checked(monitor) && tree.Expanded(monitor));
    EXPECT_FALSE(tree.Checked(prevention));
    EXPECT_TRUE(tree.Checked(detection));  // named by the entry: kept
    EXPECT_FALSE(tree.Checked(block));
    EXPECT_EQ(tree.PermissionString(), "Monitor Permissions;Detection Monitor;");

    tree.Click(monitor, false);
    tree.Click(block, true);
    tree.Click(monitor, true);  // direct children only; the grandchildren keep their state
    EXPECT_TRUE(tree.Checked(prevention) && tree.Checked(block));
    EXPECT_FALSE(tree.Checked(Item("Prevention Unblock")));
    EXPECT_EQ(tree.PermissionString(),
              "Monitor Permissions;Detection Monitor;Detection Block;Prevention Monitor;");

    tree.Load(nullptr);  // not found: every item
    for (std::size_t i = 0; i < kPermissionItems; ++i) EXPECT_TRUE(tree.Checked(i)) << i;
    tree.UncheckAll();
    EXPECT_EQ(tree.PermissionString(), "");
    EXPECT_FALSE(tree.Expanded(monitor));
}

TEST(AccessSettingsTest, OneAccessHolderIsAlwaysKept) {
    ViewerUsers users = {"alice/;Access Settings;", "bob/Access Settings;Nodes Settings;"};
    EXPECT_FALSE(AccessKept(users, "alice", false));  // bob's description does not count
    EXPECT_TRUE(AccessKept(users, "alice", true));
    EXPECT_TRUE(AccessKept(users, "bob", false));
    EXPECT_EQ(DeleteUser(users, "alice"), str::kAccessHolderNeeded);
    EXPECT_EQ(users.size(), 2u);
    EXPECT_EQ(DeleteUser(users, "bob"), 0u);
    EXPECT_EQ(DeleteUser(users, "alice"), 0u);  // the last entry: no users, nobody locked out
    EXPECT_TRUE(users.empty());

    users = {"a/;x;", "b/;"};
    EXPECT_TRUE(StorePermissions(users, "a", "Nodes Settings;"));
    EXPECT_EQ(users[0], "a/;Nodes Settings;");
    EXPECT_FALSE(StorePermissions(users, "A", "y;"));  // found exactly
    EXPECT_EQ(users[1], "b/;");
}

TEST(AccessSettingsTest, BrowseOffersThisMachineAndTheServersHosts) {
    MachineIdentity id;
    id.DomainName = "CORP";
    id.ComputerName = "desk7";
    id.HostName = "DESK7";
    const std::vector<std::string> folders = {"//files1/tarvell", "\\\\files2\\t", "nas:/srv",
                                              "/opt/tarvell", "C:/x"};
    EXPECT_EQ(HostChoices(true, id, folders), std::vector<std::string>{"CORP"});
    EXPECT_EQ(HostChoices(false, id, folders),
              (std::vector<std::string>{"desk7", "files1", "files2", "nas"}));
}

}  // namespace
}  // namespace tarvell::test
