// Runs the built TarvellSrv as a process and talks to it with signals.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Files.h"
#include "platform/Process.h"
#include "tests/support/RunningService.h"
#include "tests/support/Programs.h"

namespace tarvell {
namespace {

using testing::TempFolder;
using testing::WaitUntil;

const std::string kProgram = tarvell::test::ServiceProgram();

// TarvellSrv started in the background on a root without -Run (as systemd or a user starts it),
// with its output in a file there.
class ServiceProcess : public testing::BackgroundProgram {
public:
    ServiceProcess(const std::string& root, const std::vector<std::string>& args,
                   const std::vector<std::string>& extraEnv = {})
        : BackgroundProgram(ProgramWith(args), testing::ServiceEnvironment(root, extraEnv),
                            JoinPath(root, "output.txt")) {}

    bool OutputHas(const std::string& line) const {
        return ("\n" + Output()).find("\n" + line + "\n") != std::string::npos;
    }
    bool WaitForLine(const std::string& line) const {
        return WaitUntil([&] { return OutputHas(line); });
    }

private:
    static std::vector<std::string> ProgramWith(const std::vector<std::string>& args) {
        std::vector<std::string> argv = {kProgram};
        argv.insert(argv.end(), args.begin(), args.end());
        return argv;
    }
};

// Stands in for systemd's notification socket.
class NotifySocket {
public:
    explicit NotifySocket(std::string path) : path_(std::move(path)) {
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path_.copy(address.sun_path, sizeof address.sun_path - 1);
        bound_ =
            fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~NotifySocket() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool Bound() const { return bound_; }
    const std::string& Path() const { return path_; }
    // The next message, or "" when none came within the time.
    std::string Receive(int timeoutMs = 5000) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) != 1) return "";
        char buffer[512];
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : "";
    }

private:
    std::string path_;
    int fd_ = -1;
    bool bound_ = false;
};

TEST(ServiceProcess, UnderSystemdItReportsItsStatesThroughNotify) {
    TempFolder root("service-process-");
    ProcessOptions install;
    install.argv = {kProgram, "-Service"};
    install.environment = testing::ServiceEnvironment(root.Path());
    install.timeLimitMs = 10'000;
    ASSERT_TRUE(RunProcess(install).Succeeded());

    NotifySocket notify(root / "notify");
    ASSERT_TRUE(notify.Bound());
    ServiceProcess service(root.Path(), {}, {"NOTIFY_SOCKET=" + notify.Path()});
    EXPECT_EQ(notify.Receive(), "STATUS=Starting");
    EXPECT_EQ(notify.Receive(), "READY=1\nSTATUS=Running");
    ASSERT_EQ(::kill(service.Pid(), SIGTERM), 0);
    EXPECT_EQ(notify.Receive(), "STOPPING=1\nSTATUS=Stopping");
    EXPECT_EQ(notify.Receive(), "STATUS=Stopped");
    EXPECT_EQ(service.WaitForExit(5000), 0);
    // As a service its messages go to the system log, not to standard output.
    EXPECT_EQ(service.Output(), "");
}

TEST(ServiceProcess, ForegroundServiceAnswersSignalsAndStopsCleanly) {
    testing::RunningService service("service-process-");
    const TempFolder& root = service.Root();
    const std::string pidFile = root / "run/tarvell/TarvellSrv.pid";
    const std::string stateFile = root / "run/tarvell/TarvellSrv.state";

    ASSERT_TRUE(service.Run());
    ASSERT_TRUE(WaitUntil([&] { return ReadWholeFile(stateFile) == "RUNNING\n"; }))
        << service.Output();
    EXPECT_EQ(ReadWholeFile(pidFile), std::to_string(service.Pid()) + "\n");
    EXPECT_FALSE(service.LinesWith("Service started").empty());

    ASSERT_EQ(::kill(service.Pid(), SIGRTMIN + 1), 0);
    EXPECT_TRUE(service.WaitForLineWith("Bad service request")) << service.Output();

    // A second instance on the same root refuses to run.
    ProcessOptions second;
    second.argv = {kProgram, "-Run"};
    second.environment = testing::ServiceEnvironment(root.Path());
    second.timeLimitMs = 10'000;
    second.captureOutput = true;
    const ProcessResult refused = RunProcess(second);
    EXPECT_EQ(refused.end, ProcessEnd::Exited);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("already running"), std::string::npos) << refused.err;

    const auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(service.Stop(5000)) << service.Output();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_FALSE(service.LinesWith("Service stopped").empty()) << service.Output();
    EXPECT_EQ(ReadWholeFile(stateFile), "STOPPED\n");
    EXPECT_FALSE(FileExists(pidFile));
}

TEST(ServiceProcess, WithoutKeywordItNeedsTheRegistrationAndRunsInPlace) {
    TempFolder root("service-process-");
    ProcessOptions plain;
    plain.argv = {kProgram};
    plain.environment = testing::ServiceEnvironment(root.Path());
    plain.timeLimitMs = 10'000;
    plain.captureOutput = true;
    const ProcessResult unregistered = RunProcess(plain);
    EXPECT_EQ(unregistered.end, ProcessEnd::Exited);
    EXPECT_EQ(unregistered.exitCode, 2) << "the registry's not-found error";

    ProcessOptions install = plain;
    install.argv = {kProgram, "/service"};
    const ProcessResult installed = RunProcess(install);
    ASSERT_TRUE(installed.Succeeded()) << installed.err;
    EXPECT_TRUE(FileExists(root / "etc/systemd/system/tarvellsrv.service"));

    // Registered as a service but started from a command line: no engine, messages on standard
    // output, and a stop request still ends it.
    ServiceProcess inPlace(root.Path(), {});
    ASSERT_TRUE(inPlace.WaitForLine("Service started")) << inPlace.Output();
    ASSERT_EQ(::kill(inPlace.Pid(), SIGRTMIN + 8), 0);
    EXPECT_TRUE(inPlace.WaitForLine("Test request 136 ignored: the engine is not running"));
    ASSERT_EQ(::kill(inPlace.Pid(), SIGTERM), 0);
    EXPECT_EQ(inPlace.WaitForExit(5000), 0) << inPlace.Output();
    EXPECT_FALSE(inPlace.OutputHas("Service stopped"));

    ProcessOptions uninstall = plain;
    uninstall.argv = {kProgram, "-UnregServer"};
    EXPECT_TRUE(RunProcess(uninstall).Succeeded());
    EXPECT_FALSE(FileExists(root / "etc/systemd/system/tarvellsrv.service"));
    EXPECT_EQ(RunProcess(plain).exitCode, 2);
}

}  // namespace
}  // namespace tarvell
