// Service control on the fake and on recorded systemctl calls.
#include <gtest/gtest.h>

#include <condition_variable>
#include <csignal>
#include <thread>
#include <map>

#include "platform/Clock.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/core/service/ServiceControl.h"
#include "viewer/core/base/StringTable.h"

namespace tarvell {
namespace {

class ServiceControlTest : public ::testing::Test {
protected:
    ServiceControl& Control() {
        if (!control_) {
            control_ = std::make_unique<ServiceControl>(
                [this] { return machine_; },
                [this](const std::string& machine) -> std::unique_ptr<ServiceBackend> {
                    machines_.push_back(machine);
                    auto fake = std::make_unique<FakeServiceBackend>();
                    fake_ = fake.get();
                    setUp_(*fake);
                    return fake;
                },
                clock_);
            control_->QueryServerState();  // makes the backend
        }
        return *control_;
    }

    FakeClock clock_;
    PromptRecorder prompt_;
    std::string machine_;
    std::vector<std::string> machines_;
    std::function<void(FakeServiceBackend&)> setUp_ = [](FakeServiceBackend&) {};
    FakeServiceBackend* fake_ = nullptr;
    std::unique_ptr<ServiceControl> control_;
};

TEST_F(ServiceControlTest, AlreadyRunningStartsWithoutRequestOrMessage) {
    setUp_ = [](FakeServiceBackend& f) { f.SetState(kServiceRunning); };
    EXPECT_TRUE(Control().StartServer(prompt_));
    EXPECT_TRUE(prompt_.Requests().empty());
    EXPECT_EQ(fake_->Starts(), 0);
    EXPECT_EQ(clock_.Sleeps(), 0);
}

TEST_F(ServiceControlTest, NeverStartingPollsSixtyTimesThenReports20001) {
    setUp_ = [](FakeServiceBackend& f) { f.SetSettleQueries(-1); };
    EXPECT_FALSE(Control().StartServer(prompt_));
    EXPECT_EQ(fake_->Starts(), 1);
    EXPECT_EQ(Control().LastPolls(), kServicePolls);
    EXPECT_EQ(clock_.Sleeps(), kServicePolls);
    EXPECT_EQ(clock_.SleptMs(), kServicePolls * kServicePollMs);
    ASSERT_EQ(prompt_.Requests().size(), 1u);
    EXPECT_EQ(prompt_.Requests()[0].text, LoadString(str::kStartFailed));
    EXPECT_EQ(prompt_.Requests()[0].icon, PromptIcon::Information);
}

TEST_F(ServiceControlTest, StartAndStopSettleWithinThePolls) {
    setUp_ = [](FakeServiceBackend& f) { f.SetSettleQueries(5); };
    EXPECT_TRUE(Control().StartServer(prompt_));
    EXPECT_EQ(Control().LastPolls(), 5);
    EXPECT_EQ(Control().QueryServerState(), kServiceRunning);
    EXPECT_TRUE(Control().StopServer(prompt_));
    EXPECT_EQ(Control().QueryServerState(), kServiceStopped);
    EXPECT_TRUE(prompt_.Requests().empty());
}

TEST_F(ServiceControlTest, UnreachableServiceNeverCountsAsStopped) {
    setUp_ = [](FakeServiceBackend& f) {
        f.SetState(kServiceUnreachable);
        f.SetSettleQueries(-1);
    };
    EXPECT_FALSE(Control().StopServer(prompt_));
    EXPECT_EQ(Control().LastPolls(), kServicePolls);
    ASSERT_EQ(prompt_.Requests().size(), 1u);
    EXPECT_EQ(prompt_.Requests()[0].text, LoadString(str::kStopFailed));
}

TEST_F(ServiceControlTest, FollowsTheMachineOfTheConnectedServer) {
    Control().QueryServerState();
    machine_ = "annex";
    Control().QueryServerState();
    Control().QueryServerState();
    EXPECT_EQ(machines_, (std::vector<std::string>{"", "annex"}));
}

TEST_F(ServiceControlTest, AccountAndTestCodes) {
    struct Case {
        std::optional<std::string> account;
        int own;
    } cases[] = {{"", 0}, {"root", 0}, {"tarvell", 1}, {"rootless", 1}, {std::nullopt, 0}};
    for (const auto& c : cases) {
        Control();
        fake_->SetAccount(c.account);
        EXPECT_EQ(Control().IsServiceUserAccount(), c.own) << c.account.value_or("<none>");
    }
    fake_->SetState(kServiceRunning);
    EXPECT_TRUE(Control().SendTestAlert(kTestEmail));
    EXPECT_FALSE(Control().SendTestAlert(1)) << "only the four test codes";
    EXPECT_FALSE(Control().SendTestAlert(138));
    EXPECT_EQ(fake_->Codes(), (std::vector<int>{kTestEmail}));
}

TEST(ServiceSignals, CodesMapToRealTimeSignals) {
    EXPECT_EQ(SignalOfControlCode(136), SIGRTMIN + 8);
    EXPECT_EQ(SignalOfControlCode(145), SIGRTMIN + 17);
    EXPECT_EQ(SignalOfControlCode(127), std::nullopt);
    EXPECT_EQ(SignalOfControlCode(160), std::nullopt);
    EXPECT_EQ(SignalNameOfControlCode(137), "SIGRTMIN+9");
    EXPECT_EQ(SignalNameOfControlCode(144), "SIGRTMIN+16");
}

// systemctl as the backend calls it, answered from a script.
struct Systemctl {
    std::vector<std::vector<std::string>> calls;
    std::vector<std::int64_t> limits;
    std::map<std::string, ProcessResult> answers;  // by the verb after the options

    CommandRunner Runner() {
        return [this](const std::vector<std::string>& argv, std::int64_t limitMs) {
            calls.push_back(argv);
            limits.push_back(limitMs);
            for (const auto& a : argv) {
                auto it = answers.find(a);
                if (it != answers.end()) return it->second;
            }
            ProcessResult ok;
            ok.end = ProcessEnd::Exited;
            ok.exitCode = 0;
            return ok;
        };
    }
    static ProcessResult Exit(int code, std::string out) {
        ProcessResult r;
        r.end = ProcessEnd::Exited;
        r.exitCode = code;
        r.out = std::move(out);
        return r;
    }
};

TEST(SystemdBackend, StatesFromIsActiveAndLoadState) {
    struct Case {
        ProcessResult active;
        ProcessResult load;
        int state;
    } cases[] = {
        {Systemctl::Exit(0, "active\n"), Systemctl::Exit(0, "loaded\n"), 1},
        {Systemctl::Exit(3, "inactive\n"), Systemctl::Exit(0, "loaded\n"), 0},
        {Systemctl::Exit(3, "failed\n"), Systemctl::Exit(0, "loaded\n"), 0},
        {Systemctl::Exit(3, "inactive\n"), Systemctl::Exit(0, "not-found\n"), -1},
        {Systemctl::Exit(1, ""), Systemctl::Exit(1, ""), -1},
        {ProcessResult{}, Systemctl::Exit(0, "loaded\n"), -1},
    };
    for (const auto& c : cases) {
        Systemctl s;
        s.answers["is-active"] = c.active;
        s.answers["LoadState"] = c.load;
        SystemdServiceBackend backend("", s.Runner(), true);
        EXPECT_EQ(backend.QueryState(), c.state) << c.active.out << "/" << c.load.out;
    }
}

TEST(SystemdBackend, CommandLines) {
    Systemctl s;
    SystemdServiceBackend local("", s.Runner(), true);
    local.RequestStart();
    local.RequestStop();
    local.SendControl(136);
    EXPECT_FALSE(local.SendControl(2));
    s.answers["User"] = Systemctl::Exit(0, "tarvell\n");
    EXPECT_EQ(local.LogonAccount(), "tarvell");
    ASSERT_EQ(s.calls.size(), 4u);
    EXPECT_EQ(s.calls[0], (std::vector<std::string>{"pkexec", "/usr/bin/systemctl", "start",
                                                    "tarvellsrv.service"}));
    EXPECT_EQ(s.calls[1], (std::vector<std::string>{"pkexec", "/usr/bin/systemctl", "stop",
                                                    "tarvellsrv.service"}));
    EXPECT_EQ(s.calls[2],
              (std::vector<std::string>{"pkexec", "/usr/bin/systemctl", "kill", "--kill-whom=main",
                                        "--signal=SIGRTMIN+8", "tarvellsrv.service"}));
    EXPECT_EQ(s.calls[3], (std::vector<std::string>{"systemctl", "show", "-p", "User", "--value",
                                                    "tarvellsrv.service"}));
    EXPECT_EQ(s.limits, (std::vector<std::int64_t>{kServiceRequestLimitMs, kServiceRequestLimitMs,
                                                   kServiceRequestLimitMs, kServiceQueryLimitMs}));

    // Another machine: -H and never pkexec; as root, no pkexec either.
    Systemctl r;
    SystemdServiceBackend remote("annex", r.Runner(), true);
    remote.RequestStart();
    EXPECT_EQ(r.calls[0], (std::vector<std::string>{"systemctl", "-H", "annex", "start",
                                                    "tarvellsrv.service"}));
    Systemctl root;
    SystemdServiceBackend asRoot("", root.Runner(), false);
    asRoot.RequestStop();
    EXPECT_EQ(root.calls[0], (std::vector<std::string>{"systemctl", "stop", "tarvellsrv.service"}));
}

}  // namespace
}  // namespace tarvell

namespace tarvell {
namespace {

// A start request that takes its time (systemctl start waits for the service's start-up).
class SlowStart : public FakeServiceBackend {
public:
    bool RequestStart() override {
        std::unique_lock<std::mutex> lock(mutex_);
        entered_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return released_; });
        lock.unlock();
        return FakeServiceBackend::RequestStart();
    }
    void WaitEntered() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return entered_; });
    }
    void Release() {
        std::lock_guard<std::mutex> lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool entered_ = false;
    bool released_ = false;
};

TEST(ServiceControlConcurrencyTest, AQueryDoesNotWaitBehindARequest) {
    FakeClock clock;
    auto slow = std::make_shared<SlowStart>();
    ServiceControl control([] { return std::string(); },
                           [slow](const std::string&) -> std::unique_ptr<ServiceBackend> {
                               struct Forward : ServiceBackend {
                                   std::shared_ptr<SlowStart> s;
                                   int QueryState() override { return s->QueryState(); }
                                   bool RequestStart() override { return s->RequestStart(); }
                                   bool RequestStop() override { return s->RequestStop(); }
                                   std::optional<std::string> LogonAccount() override {
                                       return s->LogonAccount();
                                   }
                                   bool SendControl(int c) override { return s->SendControl(c); }
                               };
                               auto f = std::make_unique<Forward>();
                               f->s = slow;
                               return f;
                           },
                           clock);
    bool started = false;
    std::thread worker([&] { started = control.StartAndWait(); });
    slow->WaitEntered();
    // The window's query answers while the worker is still inside the request.
    EXPECT_EQ(control.QueryServerState(), kServiceStopped);
    slow->Release();
    worker.join();
    EXPECT_TRUE(started);
    EXPECT_EQ(control.QueryServerState(), kServiceRunning);
}

}  // namespace
}  // namespace tarvell
