// Who may leave settings in the hand-over folder: the one rule the service and the viewer apply.
#include <gtest/gtest.h>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Files.h"
#include "shared/HandOverFile.h"

namespace tarvell {
namespace {

constexpr uid_t kNoAccount = 54321;  // no user and no group has this id

TEST(HandOverOwnerTest, RootAndMembersOfTheGroupAreTrusted) {
    EXPECT_TRUE(IsHandOverOwnerTrusted(0, "no-such-group-tarvell"));
    const struct passwd* nobody = ::getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    EXPECT_FALSE(IsHandOverOwnerTrusted(nobody->pw_uid, "no-such-group-tarvell"));
    EXPECT_FALSE(IsHandOverOwnerTrusted(nobody->pw_uid, "root"));
    // nobody's primary group: the owner counts as a member of it.
    struct group* primary = ::getgrgid(nobody->pw_gid);
    ASSERT_NE(primary, nullptr);
    EXPECT_TRUE(IsHandOverOwnerTrusted(nobody->pw_uid, primary->gr_name));
}

// A root-owned file of mode 0660 whose group was not the administrators' was taken over.
TEST(HandOverFileTest, OnlyTheAdministratorsGroupMayWriteTheFile) {
    const struct group* admins = ::getgrnam("root");
    const struct passwd* nobody = ::getpwnam("nobody");
    ASSERT_NE(admins, nullptr);
    ASSERT_NE(nobody, nullptr);
    const gid_t other = nobody->pw_gid;
    ASSERT_NE(other, admins->gr_gid);
    const struct {
        mode_t mode;
        gid_t group;
        bool accepted;
    } cases[] = {
        {S_IFREG | 0600, other, true},           {S_IFREG | 0640, other, true},
        {S_IFREG | 0660, other, false},          {S_IFREG | 0620, other, false},
        {S_IFREG | 0660, admins->gr_gid, true},  {S_IFREG | 0662, admins->gr_gid, false},
        {S_IFIFO | 0600, admins->gr_gid, false},
    };
    for (const auto& c : cases) {
        struct stat st {};
        st.st_mode = c.mode;
        st.st_uid = 0;
        st.st_gid = c.group;
        std::string why;
        EXPECT_EQ(IsHandOverFileAcceptable(st, "root", &why), c.accepted)
            << std::oct << c.mode << std::dec << " group " << c.group << ": " << why;
    }
    // Without the administrators' group no group may write the file.
    struct stat st {};
    st.st_mode = S_IFREG | 0660;
    EXPECT_FALSE(IsHandOverFileAcceptable(st, "no-such-group-tarvell"));
}

// The rule on real files, as both programs open them: the owner's membership as the group
// database has it now, who else may write the file, and only a regular file under the name.
TEST(HandOverFileTest, OnlyAFileOfRootOrAMemberThatNobodyElseMayWriteIsLoaded) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give files away";
    const struct passwd* nobody = ::getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    const uid_t member = nobody->pw_uid;
    const struct group* admins = ::getgrgid(nobody->pw_gid);  // nobody is a member of it
    ASSERT_NE(admins, nullptr);
    ASSERT_NE(admins->gr_gid, 0u);
    const gid_t adminsId = admins->gr_gid;
    const std::string group = admins->gr_name;
    const struct passwd* daemon = ::getpwnam("daemon");  // and daemon is not
    ASSERT_NE(daemon, nullptr);
    ASSERT_NE(daemon->pw_gid, adminsId);
    const uid_t outsider = daemon->pw_uid;
    const std::string folder = MakeTempFolder("tarvell-handover-");
    ASSERT_FALSE(folder.empty());
    const std::string path = JoinPath(folder, "Tarvell.ini"), other = JoinPath(folder, "other");
    CTarvellDoc written;
    written.SmtpSender = "left@there";
    const auto file = [&](uid_t uid, gid_t gid, mode_t mode) {
        return [=, &written] {
            return written.SaveToFile(path, true, mode) && ::chown(path.c_str(), uid, gid) == 0 &&
                   ::chmod(path.c_str(), mode) == 0;
        };
    };
    const struct {
        const char* name;
        std::function<bool()> make;
        DocStatus status;
    } cases[] = {
        {"root", file(0, 0, 0640), DocStatus::Ok},
        {"a member", file(member, 0, 0600), DocStatus::Ok},
        {"a member, g+w for the members", file(member, adminsId, 0660), DocStatus::Ok},
        {"nobody's account", file(kNoAccount, 0, 0640), DocStatus::Refused},
        {"a non-member", file(outsider, adminsId, 0600), DocStatus::Refused},
        {"g+w for another group", file(0, 0, 0660), DocStatus::Refused},
        {"o+w", file(0, adminsId, 0642), DocStatus::Refused},
        {"a link to root's file",
         [&] {
             return written.SaveToFile(other, true, 0640) &&
                    ::symlink(other.c_str(), path.c_str()) == 0;
         },
         DocStatus::Refused},
        {"a FIFO, which must not stall the reader",
         [&] { return ::mkfifo(path.c_str(), 0600) == 0; }, DocStatus::Refused},
        {"no file", [] { return true; }, DocStatus::Missing},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RemoveFile(path);
        ASSERT_TRUE(c.make());
        CTarvellDoc read;
        const DocResult result = LoadHandOverFile(path, group, read);
        EXPECT_EQ(result.status, c.status) << result.message;
        EXPECT_EQ(read.SmtpSender, c.status == DocStatus::Ok ? "left@there" : "");
    }
    RemoveTree(folder);
}

}  // namespace
}  // namespace tarvell
