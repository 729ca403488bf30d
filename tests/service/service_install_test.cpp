#include <sstream>

#include <gtest/gtest.h>

#include "platform/EventLog.h"
#include "platform/Files.h"
#include "platform/Process.h"
#include "platform/Registry.h"
#include "service/engine/ServiceModule.h"
#include "service/engine/ServiceUnit.h"
#include "tests/service/ServiceTestSupport.h"

namespace tarvell {
namespace {

using testing::TempFolder;

constexpr char kAppIdPath[] = "AppID\\{153DD494-5815-4713-8D4A-3073F42EF6BC}";
constexpr char kProgramKeyPath[] = "AppID\\TarvellSrv.EXE";

class ServiceInstall : public ::testing::Test {
protected:
    ServiceInstall() {
        env_.programPath = MakeProgram(root_ / "opt/tarvell");
        env_.unitFolder = root_ / "etc/systemd/system";
        env_.runFolder = root_ / "run/tarvell";
        env_.registry = &registry_;
        env_.errors = &errors_;
        env_.serviceLog = &log_;
        env_.consoleLog = &log_;
        env_.systemctl = [this](const std::vector<std::string>& args) {
            std::string call;
            for (const auto& a : args) {
                call += (call.empty() ? "" : " ") + a;
            }
            calls_.push_back(call);
            return call == failingCall_ ? 1 : 0;
        };
    }

    // A real executable (a copy of /bin/true) in the folder, so that systemd accepts the unit.
    static std::string MakeProgram(const std::string& folder) {
        EXPECT_TRUE(MakeDirectories(folder));
        const std::string path = JoinPath(folder, "TarvellSrv");
        const auto bytes = ReadWholeFile("/bin/true");
        EXPECT_TRUE(bytes && AtomicWriteFile(path, *bytes, 0755));
        return path;
    }

    std::string UnitPath() const { return JoinPath(env_.unitFolder, kUnitName); }

    std::string AppIdValue(const char* keyPath, const char* name) {
        RegKey key;
        std::string value;
        if (registry_.OpenKey(Hive::ClassesRoot, keyPath, &key) != kRegSuccess ||
            key.QueryString(name, &value) != kRegSuccess) {
            return "<missing>";
        }
        return value;
    }

    bool KeyExists(const std::string& path) {
        RegKey key;
        return registry_.OpenKey(Hive::ClassesRoot, path, &key) == kRegSuccess;
    }

    TempFolder root_;
    Registry registry_{root_ / "etc/tarvell/registry", root_ / "user"};
    std::ostringstream errors_;
    TestEventLog log_;
    ServiceHostEnvironment env_;
    std::vector<std::string> calls_;
    std::string failingCall_;
};

TEST_F(ServiceInstall, ServiceKeywordRegistersAndInstallsTheUnit) {
    ServiceModule module(env_);
    EXPECT_EQ(module.RegisterServer(true), 0);
    EXPECT_EQ(errors_.str(), "");

    EXPECT_EQ(AppIdValue(kAppIdPath, ""), "TarvellSrv");
    EXPECT_EQ(AppIdValue(kAppIdPath, "LocalService"), "TarvellSrv");
    EXPECT_EQ(AppIdValue(kAppIdPath, "ServiceParameters"), "-Service");
    EXPECT_EQ(AppIdValue(kProgramKeyPath, "AppID"), "{153DD494-5815-4713-8D4A-3073F42EF6BC}");

    EXPECT_TRUE(module.IsInstalled());
    const auto unit = ReadWholeFile(UnitPath());
    ASSERT_TRUE(unit);
    EXPECT_EQ(*unit, UnitFileText(env_.programPath, "Monitors network access control protection."));
    EXPECT_NE(unit->find("ExecStart=\"" + env_.programPath + "\"\n"), std::string::npos);
    EXPECT_TRUE(calls_.empty()) << "systemctl called without systemd";
}

TEST_F(ServiceInstall, RegServerKeepsNoServiceAndRemovesAnEarlierOne) {
    ServiceModule module(env_);
    ASSERT_EQ(module.RegisterServer(true), 0);
    EXPECT_EQ(module.RegisterServer(false), 0);
    EXPECT_EQ(AppIdValue(kAppIdPath, ""), "TarvellSrv");
    EXPECT_EQ(AppIdValue(kAppIdPath, "LocalService"), "<missing>");
    EXPECT_EQ(AppIdValue(kProgramKeyPath, "AppID"), "{153DD494-5815-4713-8D4A-3073F42EF6BC}");
    EXPECT_FALSE(module.IsInstalled());
}

TEST_F(ServiceInstall, RegisteringAgainReplacesThePreviousProgram) {
    ASSERT_EQ(ServiceModule(env_).RegisterServer(true), 0);
    env_.programPath = MakeProgram(root_ / "usr/sbin");
    ASSERT_EQ(ServiceModule(env_).RegisterServer(true), 0);
    const auto unit = ReadWholeFile(UnitPath());
    ASSERT_TRUE(unit);
    EXPECT_NE(unit->find("ExecStart=\"" + env_.programPath + "\"\n"), std::string::npos);
}

TEST_F(ServiceInstall, UnregServerRemovesOnlyTheKeysBelowAppId) {
    RegKey other;
    ASSERT_EQ(registry_.CreateKey(Hive::ClassesRoot,
                                  "AppID\\{00000000-1111-2222-3333-444444444444}", &other),
              kRegSuccess);
    ASSERT_EQ(ServiceModule(env_).RegisterServer(true), 0);
    std::ostringstream said;
    env_.report = &said;
    env_.installation.serviceFolder = root_ / "var/lib/tarvell";
    env_.installation.group = "tarvell-admin";
    ServiceModule module(env_);
    EXPECT_EQ(module.UnregisterServer(), 0);

    EXPECT_FALSE(KeyExists(kAppIdPath));
    EXPECT_FALSE(KeyExists(kProgramKeyPath));
    EXPECT_TRUE(KeyExists("AppID"));
    EXPECT_TRUE(KeyExists("AppID\\{00000000-1111-2222-3333-444444444444}"));
    EXPECT_FALSE(FileExists(UnitPath()));
    // Nothing registered any more: a second run has nothing to do, says so and still succeeds.
    EXPECT_EQ(module.UnregisterServer(), 0);
    EXPECT_TRUE(KeyExists("AppID"));
    const std::string folder = env_.installation.serviceFolder;
    EXPECT_EQ(said.str(), "Registration and unit removed; the data in " + folder +
                              " and the group tarvell-admin are kept\n"
                              "TarvellSrv was not registered: nothing removed; the data in " +
                              folder + " and the group tarvell-admin are not touched\n");
}

TEST_F(ServiceInstall, SystemctlIsToldWhenSystemdRuns) {
    env_.systemdRunning = true;
    ServiceModule module(env_);
    ASSERT_EQ(module.RegisterServer(true), 0);
    EXPECT_EQ(calls_, (std::vector<std::string>{"daemon-reload", "enable tarvellsrv.service"}));
    calls_.clear();
    ASSERT_EQ(module.UnregisterServer(), 0);
    EXPECT_EQ(calls_, (std::vector<std::string>{"stop tarvellsrv.service",
                                                "disable tarvellsrv.service", "daemon-reload"}));
}

TEST_F(ServiceInstall, FailuresAreReportedAndEndInAnErrorCode) {
    {
        SCOPED_TRACE("unit folder cannot be made");
        ASSERT_TRUE(MakeDirectories(root_ / "etc"));
        ASSERT_TRUE(AtomicWriteFile(root_ / "etc/systemd", "not a folder"));
        ServiceModule module(env_);
        EXPECT_NE(module.RegisterServer(true), 0);
        EXPECT_EQ(errors_.str(), "Couldn't open service manager\n");
        RemoveFile(root_ / "etc/systemd");
    }
    errors_.str("");
    {
        SCOPED_TRACE("program path that systemd cannot run");
        ServiceHostEnvironment env = env_;
        env.programPath = MakeProgram(root_ / "opt/it's");
        ServiceModule module(env);
        EXPECT_NE(module.RegisterServer(true), 0);
        EXPECT_EQ(errors_.str(), "Couldn't create service\n");
        EXPECT_FALSE(FileExists(UnitPath()));
    }
    errors_.str("");
    {
        SCOPED_TRACE("systemctl enable fails");
        env_.systemdRunning = true;
        failingCall_ = "enable tarvellsrv.service";
        ServiceModule module(env_);
        EXPECT_NE(module.RegisterServer(true), 0);
        EXPECT_EQ(errors_.str(), "Couldn't create service\n");
        EXPECT_FALSE(FileExists(UnitPath())) << "a unit that is not enabled is left behind";
    }
    errors_.str("");
    {
        SCOPED_TRACE("systemctl disable fails");
        failingCall_.clear();
        ServiceModule module(env_);
        ASSERT_EQ(module.RegisterServer(true), 0);
        failingCall_ = "disable tarvellsrv.service";
        EXPECT_NE(module.UnregisterServer(), 0);
        EXPECT_EQ(errors_.str(), "Couldn't open service\n");
        EXPECT_TRUE(FileExists(UnitPath()));
        env_.systemdRunning = false;
    }
    errors_.str("");
    {
        SCOPED_TRACE("unit cannot be deleted");
        RemoveFile(UnitPath());
        ASSERT_TRUE(MakeDirectories(UnitPath()));
        ASSERT_TRUE(AtomicWriteFile(JoinPath(UnitPath(), "x"), "x"));
        ServiceModule module(env_);
        EXPECT_NE(module.UnregisterServer(), 0);
        EXPECT_EQ(errors_.str(), "Service could not be deleted\n");
    }
}

TEST_F(ServiceInstall, EnvironmentFollowsTheRoot) {
    const char* old = std::getenv("TARVELL_ROOT");
    const std::string saved = old ? old : "";
    ::setenv("TARVELL_ROOT", root_.Path().c_str(), 1);
    const ServiceHostEnvironment env = ServiceHostEnvironment::FromProcess();
    if (old) {
        ::setenv("TARVELL_ROOT", saved.c_str(), 1);
    } else {
        ::unsetenv("TARVELL_ROOT");
    }
    EXPECT_EQ(env.unitFolder, root_ / "etc/systemd/system");
    EXPECT_EQ(env.runFolder, root_ / "run/tarvell");
    EXPECT_FALSE(env.systemdRunning) << "systemctl must never act on a test root";
    EXPECT_EQ(env.programPath.front(), '/');
}

// systemd's own checker accepts the unit, also for a program path with blanks.
class UnitVerify : public ServiceInstall, public ::testing::WithParamInterface<const char*> {};

TEST_P(UnitVerify, SystemdAcceptsTheUnit) {
    if (!FileExists("/usr/bin/systemd-analyze")) {
        GTEST_SKIP() << "systemd-analyze is not installed";
    }
    env_.programPath = MakeProgram(root_ / GetParam());
    ServiceModule module(env_);
    ASSERT_EQ(module.RegisterServer(true), 0);

    ProcessOptions options;
    options.argv = {"/usr/bin/systemd-analyze", "verify", UnitPath()};
    options.timeLimitMs = 60'000;
    options.captureOutput = true;
    const ProcessResult result = RunProcess(options);
    EXPECT_TRUE(result.Succeeded()) << result.out << result.err;
    // Warnings about our unit (unknown keys, ...) name its file.
    EXPECT_EQ(result.err.find(std::string(kUnitName)), std::string::npos) << result.err;
}

INSTANTIATE_TEST_SUITE_P(ProgramPaths, UnitVerify,
                         ::testing::Values("usr/sbin", "opt/Tarvell Tools/bin", "opt/100% sure",
                                           "opt/$HOME/\xc3\xa4"));

}  // namespace
}  // namespace tarvell
