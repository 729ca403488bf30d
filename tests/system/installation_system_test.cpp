// A real installation as root in private mount and network namespaces: /etc, /var and /run are
// overlays or empty, so groups, users, folders and the unit exist only for this program. The
// viewer's side runs as users made here, through the program itself (`--viewer`).
#include <grp.h>
#include <pwd.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/Registry.h"
#include "tests/service/ServiceTestSupport.h"
#include "tests/support/SwitchLab.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/hub/SettingsEdit.h"
#include "viewer/core/monitors/EventRequests.h"

namespace tarvell {
namespace {

using namespace testing;
const std::string kSrv = test::ServiceProgram(), kFolder = "/var/lib/tarvell";
const std::string kKey = "00AABB00FF01/3";
std::string skipReason, scratch;

class Namespaces : public ::testing::Environment {
    void SetUp() override {
        scratch = MakeTempFolder("installation-");
        if (::geteuid() != 0) return void(skipReason = "needs root (private mount namespace)");
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", scratch.c_str(), "tmpfs", 0, "mode=0755") != 0)
            return void(skipReason = "no private mount namespace here (unshare -m not allowed)");
        for (const char* top : {"etc", "var"}) {
            const std::string up = scratch + "/" + top, work = up + ".work",
                              lower = std::string("/") + top;
            MakeDirectories(up), MakeDirectories(work);
            const std::string opts = "lowerdir=" + lower + ",upperdir=" + up + ",workdir=" + work;
            if (::mount("overlay", lower.c_str(), "overlay", 0, opts.c_str()) != 0)
                return void(skipReason = "overlays cannot be mounted here");
        }
        ::mount("tmpfs", "/run", "tmpfs", 0, "mode=0755");  // and so no systemd either
        if (!lab::EnterPrivateNetwork()) skipReason = "no private network namespace here";
    }
    void TearDown() override { ::umount2(scratch.c_str(), MNT_DETACH), ::rmdir(scratch.c_str()); }
};
auto* const kEnv = ::testing::AddGlobalTestEnvironment(new Namespaces);

ProcessResult Spawn(std::vector<std::string> argv,
                    std::vector<std::string> env = ServiceEnvironment("/")) {
    ProcessOptions options;
    options.argv = std::move(argv), options.environment = std::move(env);
    options.timeLimitMs = 120'000, options.captureOutput = true;
    return RunProcess(options);
}
std::string Access(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return "missing";
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", st.st_mode & 07777);
    return std::string(::getpwuid(st.st_uid)->pw_name) + ":" + ::getgrgid(st.st_gid)->gr_name +
           " " + mode;
}
// This program as `user` through setpriv: the viewer's core saving to the service.
ProcessResult AsUser(const std::string& user, std::vector<std::string> args) {
    const std::string home = scratch + "/" + user;
    MakeDirectories(home);
    ::chown(home.c_str(), ::getpwnam(user.c_str())->pw_uid, 0);
    std::vector<std::string> argv{"/usr/bin/setpriv",
                                  "--reuid=" + user,
                                  "--regid=" + user,
                                  "--init-groups",
                                  "--",
                                  std::filesystem::read_symlink("/proc/self/exe"),
                                  "--viewer"};
    argv.insert(argv.end(), args.begin(), args.end());
    return Spawn(argv,
                 {"HOME=" + home, "XDG_CONFIG_HOME=" + home, "USER=" + user, "PATH=/usr/bin:/bin"});
}
std::string AdminStatus() {
    return Spawn({"/usr/bin/snmpget", "-v1", "-c", "public", "-Oqv",
                  "127.0.0.2:" + std::to_string(lab::Lab().agentPort), "1.3.6.1.2.1.2.2.1.7.3"},
                 {"MIBS="})
        .out;
}
std::string Sender() {
    CTarvellDoc doc;
    return doc.LoadFromFile(kFolder + "/Tarvell.ini") ? doc.SmtpSender : "unreadable";
}

TEST(InstallationSystem, AMemberHandsOverThroughTheGroupAndNobodyElseReadsOrHandsOver) {
    if (!skipReason.empty()) GTEST_SKIP() << skipReason;
    // An earlier version's files, open to every user.
    ASSERT_TRUE(SeedStateFiles(kFolder));
    EventDatabaseFile events;
    CEventItem& event =
        *events.EventMap.emplace(kKey, std::make_unique<CEventItem>()).first->second;
    event.SwitchKey = "00AABB00FF01", event.PortKey = "3", event.DeviceIp = "127.0.0.2";
    event.SourceMac = "001122334455", event.EventType = event.Description = "Unauthorized Node";
    event.Category = "Detection", event.DateKey = "1700000000";
    ASSERT_TRUE(WriteStateFile(JoinPath(kFolder, kEventDatabaseName), events));
    CTarvellDoc doc;
    doc.SetDefaults();
    doc.PreventionEnabled = doc.SnmpPreventionEnabled = doc.SnmpPreventionMethod =
        doc.SnmpCommunitiesEnabled = 1;
    doc.SnmpCommunities = {"public/1"};
    ASSERT_TRUE(doc.SaveToFile(kFolder + "/Tarvell.ini", true));

    const ProcessResult first = Spawn({kSrv, "-Service"}, ServiceEnvironment("/"));
    ASSERT_TRUE(first.Succeeded()) << first.out << first.err;
    ASSERT_NE(::getgrnam("tarvell-admin"), nullptr) << first.out;
    EXPECT_EQ(Access(kFolder), "root:tarvell-admin 2750");
    EXPECT_EQ(Access(kFolder + "/handover"), "root:tarvell-admin 2770");
    EXPECT_EQ(Access(kFolder + "/Tarvell.db"), "root:tarvell-admin 0640");
    EXPECT_EQ(Access(kFolder + "/Tarvell.ini"), "root:tarvell-admin 0660");
    EXPECT_TRUE(IsDirectory("/etc/tarvell/registry"));
    EXPECT_EQ(Access("/etc/polkit-1/rules.d/50-tarvellsrv.rules"), "root:root 0644");
    const std::string unit = ReadWholeFile("/etc/systemd/system/tarvellsrv.service").value_or("");
    const ProcessResult again = Spawn({kSrv, "-Service"});
    EXPECT_EQ(again.out, "TarvellSrv is registered and prepared already: nothing changed\n")
        << again.err;
    EXPECT_EQ(ReadWholeFile("/etc/systemd/system/tarvellsrv.service"), unit);

    // A copy restored from an old backup is closed again at start, in one line.
    ::chmod((kFolder + "/Tarvell.log").c_str(), 0644),
        ::chown((kFolder + "/Tarvell.log").c_str(), 0, 0);
    std::string why;
    ASSERT_TRUE(AtomicWriteFile(
        "/var/lib/ombrix.txt",
        "switch 00AABB00FF01\n  SwitchIps 127.0.0.2\n  SwitchCommunity "
        "public\n  SwitchMac 00AABB00FF01\nend\nport 00AABB00FF01/3\n  PortStatus 1\nend\n"));
    ASSERT_TRUE(MakeDirectories("/var/lib/ombrix"));
    ASSERT_TRUE(InstallSiblingDatabase("/", "/var/lib/ombrix.txt", "/var/lib/ombrix", &why)) << why;
    lab::SimSwitch sw;
    ASSERT_TRUE(sw.Start(2, {"public"}, snmptest::FixtureDir() / "switch")) << sw.Log();
    BackgroundProgram srv({kSrv, "-Run"},
                          ServiceEnvironment("/", {"TARVELL_PASS_INTERVAL_MS=300",
                                                   "TARVELL_SNMP_AGENT_PORT=" +
                                                       std::to_string(lab::Lab().agentPort)}),
                          scratch + "/srv.txt");
    ASSERT_TRUE(srv.WaitForLineWith("Service started", 20'000)) << srv.Output();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // a few passes
    EXPECT_EQ(srv.LinesWith("of an earlier version").size(), 1u) << srv.Output();
    for (const auto& entry : std::filesystem::recursive_directory_iterator(kFolder))
        EXPECT_EQ(Access(entry.path()).back() & 04, 0)
            << entry.path() << " " << Access(entry.path());

    ASSERT_TRUE(Spawn({"/usr/sbin/useradd", "-M", "-G", "tarvell-admin", "alice"}).Succeeded());
    ASSERT_TRUE(Spawn({"/usr/sbin/useradd", "-M", "bob"}).Succeeded());
    const ProcessResult save = AsUser("alice", {"save", "alice@lab.test"});
    ASSERT_TRUE(save.Succeeded()) << save.out << save.err;
    EXPECT_TRUE(WaitUntil([] { return Sender() == "alice@lab.test"; }, 10'000)) << srv.Output();
    ASSERT_EQ(AdminStatus(), "1\n");
    ASSERT_TRUE(AsUser("alice", {"block", kKey}).Succeeded());
    EXPECT_TRUE(WaitUntil([] { return AdminStatus() == "2\n"; }, 20'000)) << srv.Output();
    ASSERT_TRUE(AsUser("alice", {"unblock", kKey}).Succeeded());
    EXPECT_TRUE(WaitUntil([] { return AdminStatus() == "1\n"; }, 20'000)) << srv.Output();

    // Bob may not even read the settings; a file of his found in the folder is refused.
    EXPECT_FALSE(AsUser("bob", {"save", "bob@lab.test"}).Succeeded());
    doc.SmtpSender = "bob@lab.test";
    const std::string copy = kFolder + "/handover/Tarvell.ini";
    ASSERT_TRUE(doc.SaveToFile(copy, true, 0640));
    ::chown(copy.c_str(), ::getpwnam("bob")->pw_uid, ::getpwnam("bob")->pw_gid);
    EXPECT_TRUE(srv.WaitForLineWith("owner bob", 5000)) << srv.Output();
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    EXPECT_EQ(srv.LinesWith("owner bob").size(), 1u) << srv.Output();
    EXPECT_EQ(Sender(), "alice@lab.test");
    EXPECT_TRUE(FileExists(copy));
}

TEST(InstallationSystem, TheInstalledProgramIsTheOneTheUnitRuns) {
    if (!skipReason.empty()) GTEST_SKIP() << skipReason;
    const std::string prefix = scratch + "/prefix";
    const ProcessResult install =
        Spawn({TARVELL_CMAKE, "--install", TARVELL_BINARY_DIR, "--prefix", prefix});
    ASSERT_TRUE(install.Succeeded()) << install.out << install.err;
    for (const char* file : {"bin/TarvellSrv", "bin/Tarvell", "bin/tarvell-ini", "bin/tarvell-reg",
                             "bin/arcdump", "bin/ombrix-make", "bin/tarvell-wmi-helper.py",
                             "share/icons/hicolor/scalable/apps/tarvell.svg"})
        EXPECT_TRUE(FileExists(prefix + "/" + file)) << file;
    EXPECT_NE(ReadWholeFile(prefix + "/share/applications/Tarvell.desktop")
                  .value_or("")
                  .find("Exec=\"" + prefix + "/bin/Tarvell\"\nIcon=tarvell\n"),
              std::string::npos);
    ASSERT_TRUE(Spawn({prefix + "/bin/TarvellSrv", "-Service"}).Succeeded());
    EXPECT_NE(ReadWholeFile("/etc/systemd/system/tarvellsrv.service")
                  .value_or("")
                  .find("ExecStart=\"" + prefix + "/bin/TarvellSrv\"\n"),
              std::string::npos);
}

// --viewer <save sender | block key | unblock key>: the viewer's core on the service folder.
int ViewerMain(const std::string& action, const std::string& value) {
    Registry registry(std::string(std::getenv("HOME")) + "/machine",
                      std::string(std::getenv("HOME")) + "/user");
    ViewerEnvironment env;
    env.programFolder = kFolder, env.registry = &registry,
    env.mountInfo = [] { return std::string(); };
    CTarvellApp app(env);
    app.ReadIdentity();
    if (!app.ReloadDocument() || !app.LoadEvents()) return 3;
    if (action == "save")
        return EditSettings(app, [&](CTarvellDoc& d) { d.SmtpSender = value; }) == EditResult::Saved
                   ? 0
                   : 4;
    if (action == "block") return BlockEvents(app, {value}) == EditResult::Saved ? 0 : 5;
    return UnblockEvents(app, {{value}, {UnblockRemoval::MoveToDetection}, false, {}}).result ==
                   EditResult::Saved
               ? 0
               : 6;
}

}  // namespace
}  // namespace tarvell

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--viewer")
        return tarvell::ViewerMain(argv[2], argv[3]);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
