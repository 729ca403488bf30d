// The viewer's service control against a real TarvellSrv run in the foreground on a temporary
// root: its state through the pid and state files, a test code reaching the e-mail slot, a stop,
// and a start that runs the service on its own.
#include <gtest/gtest.h>

#include <signal.h>

#include "platform/Clock.h"
#include "platform/Files.h"
#include "shared/StateFiles.h"
#include "tests/support/RunningService.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/core/service/ServiceControl.h"

namespace tarvell {
namespace {

using testing::RunningService;
using testing::WaitUntil;

class PidFileServiceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(service.Install()); }

    PidFileServiceBackend::Options Options() const {
        PidFileServiceBackend::Options o;
        o.runFolder = root / "run/tarvell";
        o.programPath = RunningService::Program();
        o.environment = testing::ServiceEnvironment(
            root.Path(), {"TARVELL_PASS_INTERVAL_MS=200", "TARVELL_TEST_EMAIL_SLOT=1"});
        return o;
    }
    ServiceControl Control(Clock& clock) {
        return ServiceControl([] { return std::string(); },
                              [this](const std::string&) {
                                  return std::make_unique<PidFileServiceBackend>(Options());
                              },
                              clock);
    }

    RunningService service{"viewer-service-"};
    const testing::TempFolder& root = service.Root();
};

TEST_F(PidFileServiceTest, StateTestCodeAndStopOfARunningService) {
    SystemClock clock;
    ServiceControl control = Control(clock);
    EXPECT_EQ(control.QueryServerState(), kServiceStopped) << "not running, but startable";

    ASSERT_TRUE(service.Run({"TARVELL_TEST_EMAIL_SLOT=1"}));
    ASSERT_TRUE(WaitUntil([&] { return control.QueryServerState() == kServiceRunning; }, 10'000))
        << service.Output();
    PidFileServiceBackend backend(Options());
    EXPECT_EQ(backend.RunningPid(), service.Pid());
    EXPECT_EQ(control.IsServiceUserAccount(), ::geteuid() == 0 ? 0 : 1);

    // The service reports RUNNING a moment before its engine takes test codes (it logs and
    // ignores them until then), so the code is sent again while it was ignored.
    bool received = false;
    for (int attempt = 0; attempt < 10 && !received; ++attempt) {
        ASSERT_TRUE(control.SendTestAlert(kTestEmail));
        WaitUntil(
            [&] {
                return service.LinesWith("Test request 136 ignored").size() >
                           static_cast<std::size_t>(attempt) ||
                       !service.LinesWith("E-mail test alert ").empty();
            },
            5000);
        received = service.WaitForLineWith("E-mail test alert ", 3000);
    }
    EXPECT_TRUE(received) << service.Output();

    PromptRecorder prompt;
    EXPECT_TRUE(control.StopServer(prompt));
    EXPECT_TRUE(prompt.Requests().empty());
    EXPECT_EQ(service.Process().WaitForExit(10'000), 0) << service.Output();
    EXPECT_EQ(control.QueryServerState(), kServiceStopped);
    EXPECT_FALSE(backend.RunningPid());
    EXPECT_FALSE(control.SendTestAlert(kTestEmail)) << "nothing to signal";
}

TEST_F(PidFileServiceTest, StartRunsTheServiceOnItsOwn) {
    SystemClock clock;
    ServiceControl control = Control(clock);
    PromptRecorder prompt;
    ASSERT_TRUE(control.StartServer(prompt))
        << ReadWholeFile(root / "run/tarvell/TarvellSrv.state").value_or("");
    EXPECT_TRUE(prompt.Requests().empty());
    PidFileServiceBackend backend(Options());
    const auto pid = backend.RunningPid();
    ASSERT_TRUE(pid);
    EXPECT_NE(::getsid(*pid), ::getsid(0)) << "it runs in a session of its own";
    EXPECT_TRUE(control.StopServer(prompt));
    EXPECT_FALSE(backend.RunningPid());
    EXPECT_TRUE(prompt.Requests().empty());
}

TEST_F(PidFileServiceTest, LeftoverPidFileIsNotARunningService) {
    ASSERT_TRUE(MakeDirectories(root / "run/tarvell"));
    ASSERT_TRUE(
        AtomicWriteFile(root / "run/tarvell/TarvellSrv.pid", std::to_string(::getpid()) + "\n"));
    ASSERT_TRUE(AtomicWriteFile(root / "run/tarvell/TarvellSrv.state", "RUNNING\n"));
    PidFileServiceBackend backend(Options());
    EXPECT_FALSE(backend.RunningPid()) << "no lock held: a leftover";
    EXPECT_EQ(backend.QueryState(), kServiceStopped);
    EXPECT_FALSE(backend.SendControl(kTestEmail));

    auto missing = Options();
    missing.programPath = root / "no-such-program";
    EXPECT_EQ(PidFileServiceBackend(missing).QueryState(), kServiceUnreachable);
}

}  // namespace
}  // namespace tarvell
