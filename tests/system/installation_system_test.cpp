// A real installation as root in private mount and network namespaces: /etc, /var and /run are
// overlays or empty, so groups, users, folders and the unit exist only for this program. The
// viewer's side runs as users made here, through the program itself (`--viewer`).
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <filesystem>

#include "tests/support/RunningService.h"
#include "tests/support/SwitchLab.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/hub/SettingsEdit.h"
#include "viewer/core/monitors/EventRequests.h"

namespace tarvell {
namespace {

using namespace testing;
const std::string kSrv = test::ServiceProgram(), kFolder = "/var/lib/tarvell",
                  kKey = "00AABB00FF01/3";
std::string skipReason, scratch;

class Namespaces : public ::testing::Environment {
    void SetUp() override {
        scratch = MakeTempFolder("installation-");
        if (::geteuid() != 0) return void(skipReason = "needs root (private mount namespace)");
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", scratch.c_str(), "tmpfs", 0, "mode=0755") != 0)
            return void(skipReason = "no private mount namespace here (unshare -m not allowed)");
        for (const std::string top : {"/etc", "/var"}) {
            const std::string up = scratch + top,
                              o = "lowerdir=" + top + ",upperdir=" + up + ",workdir=" + up + "w";
            if (!MakeDirectories(up) || !MakeDirectories(up + "w") ||
                ::mount("overlay", top.c_str(), "overlay", 0, o.c_str()))
                return void(skipReason = "overlays cannot be mounted here");
        }
        ::mount("tmpfs", "/run", "tmpfs", 0, "mode=0755");  // and so no systemd either
        if (!lab::EnterPrivateNetwork()) skipReason = "no private network namespace here";
    }
    void TearDown() override { ::umount2(scratch.c_str(), MNT_DETACH), ::rmdir(scratch.c_str()); }
};
auto* const kEnv = ::testing::AddGlobalTestEnvironment(new Namespaces);

ProcessResult Spawn(const std::vector<std::string>& argv) { return RunServiceTool("/", argv); }
std::string Access(const std::string& path) {  // "owner:group mode"
    struct stat st {};
    char mode[8];
    std::snprintf(mode, sizeof mode, " %04o",
                  ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0);
    return std::string(::getpwuid(st.st_uid)->pw_name) + ":" + ::getgrgid(st.st_gid)->gr_name +
           mode;
}
// This program as `user` through setpriv, to act as the viewer (ViewerMain) does; true: saved.
bool AsUser(const std::string& user, const std::string& action, const std::string& value) {
    const std::string home = scratch + "/" + user,
                      self = std::filesystem::read_symlink("/proc/self/exe");
    MakeDirectories(home), ::chown(home.c_str(), ::getpwnam(user.c_str())->pw_uid, 0);
    return Spawn({"/usr/bin/setpriv", "--reuid=" + user, "--regid=" + user, "--init-groups",
                  "/usr/bin/env", "HOME=" + home, self, "--viewer", action, value})
        .Succeeded();
}
bool AdminStatusIs(const char* status) {  // ifAdminStatus.3 of the simulated switch
    const std::string agent = "127.0.0.2:" + std::to_string(lab::Lab().agentPort);
    const std::vector<std::string> get{"/usr/bin/snmpget",     "-v1", "-cpublic", "-Oqv", agent,
                                       "1.3.6.1.2.1.2.2.1.7.3"};
    return WaitUntil([&] { return Spawn(get).out == std::string(status) + "\n"; }, 20'000);
}
bool SenderIs(const std::string& sender) {
    CTarvellDoc doc;
    return WaitUntil(
        [&] { return doc.LoadFromFile(kFolder + "/Tarvell.ini") && doc.SmtpSender == sender; },
        10'000);
}

TEST(InstallationSystem, AMemberHandsOverThroughTheGroupAndNobodyElseReadsOrHandsOver) {
    if (!skipReason.empty()) GTEST_SKIP() << skipReason;
    ASSERT_TRUE(Spawn({"/usr/sbin/useradd", "-M", "bob"}).Succeeded());
    const uid_t bob = ::getpwnam("bob")->pw_uid;
    // An earlier version's files, open to every user.
    ASSERT_TRUE(SeedStateFiles(kFolder));
    EventDatabaseFile events;
    CEventItem& event = *(events.EventMap[kKey] = std::make_unique<CEventItem>());
    event.SwitchKey = "00AABB00FF01", event.PortKey = "3", event.DeviceIp = "127.0.0.2";
    event.EventType = "Unauthorized Node", event.Category = "Detection";
    ASSERT_TRUE(WriteStateFile(JoinPath(kFolder, kEventDatabaseName), events));
    CTarvellDoc doc;
    doc.SetDefaults();
    doc.PreventionEnabled = doc.SnmpPreventionEnabled = doc.SnmpPreventionMethod =
        doc.SnmpCommunitiesEnabled = 1;
    doc.SnmpCommunities = {"public/1"};
    ASSERT_TRUE(doc.SaveToFile(kFolder + "/Tarvell.ini", true));
    // The folder was open to every user too, and one of them left a link where the hand-over
    // folder goes, a name that writes to the terminal, descriptors of the settings file, of the
    // temporary file its next save is written through and of two state files, and a link and a
    // folder of his at the two state files' temporary names.
    const std::string victim = "/var/lib/victim", forged = "\x1b[2J\nTarvellSrv is registered";
    ASSERT_TRUE(MakeDirectories(victim) && ::chmod(kFolder.c_str(), 0777) == 0 &&
                ::symlink(victim.c_str(), (kFolder + "/handover").c_str()) == 0 &&
                AtomicWriteFile(kFolder + "/" + forged, "", 0666) &&
                AtomicWriteFile(kFolder + "/Tarvell.ini.tmp", "", 0666));
    for (const char* name : {forged.c_str(), "Tarvell.ini.tmp", "Tarvell.db", "Tarvell.eml"})
        ::chmod((kFolder + "/" + name).c_str(), 0666);
    const std::string files[] = {"Tarvell.ini", "Tarvell.db", "Tarvell.eml", "Tarvell.ini.tmp"};
    std::vector<UniqueFd> planted;
    for (const std::string& name : files)
        planted.emplace_back(::open((kFolder + "/" + name).c_str(), O_WRONLY));
    ASSERT_TRUE(::symlink((victim + "/db").c_str(), (kFolder + "/Tarvell.db.tmp").c_str()) == 0 &&
                ::mkdir((kFolder + "/Tarvell.eml.tmp").c_str(), 0700) == 0 &&
                ::chown((kFolder + "/Tarvell.eml.tmp").c_str(), bob, bob) == 0);
    const auto plant = [&] {
        for (const UniqueFd& fd : planted)
            ASSERT_TRUE(::pwrite(fd.Get(), "[Alerts]\nRunCommands=planted\n", 29, 0) == 29);
    };
    const auto noneHasIt = [&](const std::string& text) {  // of the files the service reads
        return std::none_of(files, files + 3, [&](const std::string& name) {
            return ReadWholeFile(kFolder + "/" + name).value_or(text).find(text) != std::string::npos;
        });
    };

    const ProcessResult service = Spawn({kSrv, "-Service"});
    ASSERT_TRUE(service.Succeeded()) << service.err;
    const std::string aside = kFolder +
                              "/handover was a symbolic link, not a folder: moved "
                              "aside to " +
                              kFolder + "/handover.bad-";
    EXPECT_NE(service.out.find(aside), std::string::npos) << service.out;
    EXPECT_NE(service.out.find("?[2J?TarvellSrv is registered"), std::string::npos) << service.out;
    for (const char* line : {"/Tarvell.db.tmp was a symbolic link, not a file of the service",
                             "/Tarvell.eml.tmp was a folder, not a file of the service"})
        EXPECT_NE(service.out.find(kFolder + line), std::string::npos) << service.out;
    EXPECT_EQ(service.out.find('\x1b'), std::string::npos);
    const std::string expected[][2] = {{kFolder, "root:tarvell-admin 2750"},
                                       {kFolder + "/handover", "root:tarvell-admin 2770"},
                                       {kFolder + "/Tarvell.db", "root:tarvell-admin 0640"},
                                       {kFolder + "/Tarvell.ini", "root:tarvell-admin 0640"},
                                       {victim, "root:root 0755"},
                                       {"/etc/tarvell/registry", "root:root 0755"}};
    for (const auto& [path, access] : expected) EXPECT_EQ(Access(path), access) << path;
    plant();
    EXPECT_TRUE(noneHasIt("planted") && !FileExists(victim + "/db"));
    const auto unit = ReadWholeFile("/etc/systemd/system/tarvellsrv.service");
    EXPECT_EQ(Spawn({kSrv, "-Service"}).out,
              "TarvellSrv is registered and prepared already: nothing changed\n");
    EXPECT_EQ(ReadWholeFile("/etc/systemd/system/tarvellsrv.service"), unit);

    // A copy restored from an old backup is closed again at start, in one line. The hand-over
    // folder was opened again, and bob left a temporary file there with a link of his elsewhere.
    ::chmod((kFolder + "/Tarvell.log").c_str(), 0644);
    const std::string handOverTmp = kFolder + "/handover/Tarvell.ini.tmp", bobs = "/var/lib/bob";
    ASSERT_TRUE(::chmod((kFolder + "/handover").c_str(), 0777) == 0 &&
                AtomicWriteFile(handOverTmp, "bob's") && ::chmod(handOverTmp.c_str(), 0666) == 0 &&
                ::chown(handOverTmp.c_str(), bob, bob) == 0 &&
                ::link(handOverTmp.c_str(), bobs.c_str()) == 0);
    const std::string sibling = "/var/lib/ombrix", switches =
                                                       "switch 00AABB00FF01\n SwitchIps "
                                                       "127.0.0.2\n SwitchCommunity public\nend\n";
    ASSERT_TRUE(MakeDirectories(sibling) && AtomicWriteFile(sibling + ".txt", switches) &&
                InstallSiblingDatabase("/", sibling + ".txt", sibling));
    lab::SimSwitch sw;
    ASSERT_TRUE(sw.Start(2, {"public"}, snmptest::FixtureDir() / "switch")) << sw.Log();
    const std::string port = "TARVELL_SNMP_AGENT_PORT=" + std::to_string(lab::Lab().agentPort);
    BackgroundProgram srv({kSrv, "-Run"},
                          ServiceEnvironment("/", {"TARVELL_PASS_INTERVAL_MS=300", port}),
                          scratch + "/srv.txt");
    ASSERT_TRUE(srv.WaitForLineWith("Service started", 20'000)) << srv.Output();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // a few passes
    EXPECT_EQ(srv.LinesWith("of an earlier version").size(), 1u) << srv.Output();
    EXPECT_EQ(srv.LinesWith(handOverTmp + " is refused by the hand-over rule").size(), 1u);
    plant();
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    EXPECT_TRUE(noneHasIt("planted"));
    for (const auto& entry : std::filesystem::recursive_directory_iterator(kFolder))
        // What was kept aside stays as it was found, out of others' reach in the closed folders.
        if (entry.path().string().find(".bad-") == std::string::npos)
            EXPECT_EQ(Access(entry.path()).back() & 04, 0) << Access(entry.path()) << entry.path();

    ASSERT_TRUE(Spawn({"/usr/sbin/useradd", "-M", "-G", "tarvell-admin", "alice"}).Succeeded());
    ASSERT_TRUE(AsUser("alice", "save", "alice@lab.test"));
    EXPECT_TRUE(SenderIs("alice@lab.test")) << srv.Output();
    ASSERT_TRUE(AdminStatusIs("1") && AsUser("alice", "block", kKey));
    EXPECT_TRUE(AdminStatusIs("2")) << srv.Output();
    ASSERT_TRUE(AsUser("alice", "unblock", kKey));
    EXPECT_TRUE(AdminStatusIs("1")) << srv.Output();

    // Two saves of hers within one pass (the service held still meanwhile): the second goes
    // through a temporary file, which neither bob's link nor what he writes through it reaches.
    ASSERT_TRUE(WriteAllToFd(UniqueFd(::open(bobs.c_str(), O_WRONLY)).Get(), "planted"));
    ASSERT_TRUE(srv.Signal(SIGSTOP));
    EXPECT_TRUE(AsUser("alice", "password", "s3cret-of-alice") && AsUser("alice", "save", "alice2@lab.test"));
    EXPECT_EQ(ReadWholeFile(kFolder + "/handover/Tarvell.ini").value_or("planted").find("planted"),
              std::string::npos);
    ASSERT_TRUE(srv.Signal(SIGCONT));
    EXPECT_TRUE(SenderIs("alice2@lab.test") && doc.LoadFromFile(kFolder + "/Tarvell.ini") &&
                doc.SmtpPassword == "s3cret-of-alice" && noneHasIt("planted"));
    EXPECT_EQ(ReadWholeFile(bobs).value_or("s3cret").find("s3cret"), std::string::npos);
    // A session that still carries the group although bob is no member may not write the settings.
    const ProcessResult write =
        Spawn({"/usr/bin/setpriv", "--reuid=bob", "--regid=bob",
               "--groups=" + std::to_string(::getgrnam("tarvell-admin")->gr_gid), "/usr/bin/tee",
               "-a", kFolder + "/Tarvell.ini"});
    EXPECT_NE(write.err.find("Permission denied"), std::string::npos) << write.err;

    // Bob may not even read the settings; a file of his found in the folder is refused and set
    // aside, so that no member's later save hands his values over.
    EXPECT_FALSE(AsUser("bob", "save", "bob@lab.test"));
    doc.SmtpSender = "bob@lab.test";
    const std::string copy = kFolder + "/handover/Tarvell.ini";
    ASSERT_TRUE(doc.SaveToFile(copy, true, 0640));
    ::chown(copy.c_str(), ::getpwnam("bob")->pw_uid, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(2000));  // several passes
    EXPECT_EQ(srv.LinesWith("owner bob (uid").size(), 1u) << srv.Output();
    EXPECT_TRUE(SenderIs("alice2@lab.test") && !FileExists(copy)) << srv.Output();
}

TEST(InstallationSystem, TheInstalledProgramIsTheOneTheUnitRuns) {
    if (!skipReason.empty()) GTEST_SKIP() << skipReason;
    const std::string prefix = scratch + "/prefix";
    ASSERT_TRUE(
        Spawn({TARVELL_CMAKE, "--install", TARVELL_BINARY_DIR, "--prefix", prefix}).Succeeded());
    for (const char* file : {"Tarvell", "tarvell-ini", "tarvell-wmi-helper.py",
                             "../share/icons/hicolor/scalable/apps/tarvell.svg"})
        EXPECT_TRUE(FileExists(prefix + "/bin/" + file)) << file;
    const auto entry = ReadWholeFile(prefix + "/share/applications/Tarvell.desktop");
    EXPECT_NE(entry.value_or("").find("Exec=\"" + prefix + "/bin/Tarvell\"\nIcon=tarvell\n"),
              std::string::npos);
    ASSERT_TRUE(Spawn({prefix + "/bin/TarvellSrv", "-Service"}).Succeeded());
    const auto unit = ReadWholeFile("/etc/systemd/system/tarvellsrv.service");
    EXPECT_NE(unit.value_or("").find("ExecStart=\"" + prefix + "/bin/TarvellSrv\"\n"),
              std::string::npos);
    // A /tmp of its own: a driver's log or a run command's file is out of other users' reach.
    EXPECT_NE(unit.value_or("").find("\nPrivateTmp=yes\n"), std::string::npos);
}

// --viewer <save sender | password text | block key | unblock key>: the viewer's core on the
// service folder.
int ViewerMain(const std::string& action, const std::string& value) {
    ViewerEnvironment env;
    env.programFolder = kFolder;
    CTarvellApp app(env);
    app.ReadIdentity();
    if (!app.ReloadDocument() || !app.LoadEvents()) return 3;
    const EditResult r =
        action == "save"       ? EditSettings(app, [&](CTarvellDoc& d) { d.SmtpSender = value; })
        : action == "password" ? EditSettings(app, [&](CTarvellDoc& d) { d.SmtpPassword = value; })
        : action == "block"
            ? BlockEvents(app, {value})
            : UnblockEvents(app, {{value}, {UnblockRemoval::MoveToDetection}, false, {}}).result;
    return r == EditResult::Saved ? 0 : 4;
}

}  // namespace
}  // namespace tarvell

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--viewer")
        return tarvell::ViewerMain(argv[2], argv[3]);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
