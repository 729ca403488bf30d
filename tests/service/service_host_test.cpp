#include <future>
#include <sstream>

#include <gtest/gtest.h>

#include "platform/EventLog.h"
#include "platform/Files.h"
#include "service/engine/ServiceModule.h"
#include "service/engine/ServiceUnit.h"
#include "tests/service/ServiceTestSupport.h"

namespace tarvell {
namespace {

using testing::FakeBehaviour;
using testing::FakeEngineFactory;
using testing::FakeEngineRecord;
using testing::TempFolder;

class ServiceHost : public ::testing::Test {
protected:
    ServiceHost() {
        ServiceHostEnvironment env;
        env.programPath = "/usr/sbin/TarvellSrv";
        env.unitFolder = root_ / "etc/systemd/system";
        env.runFolder = root_ / "run/tarvell";
        env.registry = &registry_;
        env.errors = &errors_;
        env.serviceLog = &serviceLog_;
        env.consoleLog = &consoleLog_;
        env.systemctl = [](const std::vector<std::string>&) { return 0; };
        env_ = env;
    }

    std::unique_ptr<ServiceModule> MakeModule(
        FakeBehaviour behaviour = FakeBehaviour::StopsOnRequest) {
        auto module = std::make_unique<ServiceModule>(env_);
        module->SetEngineFactory(FakeEngineFactory(engine_, behaviour));
        module->SetStatusReporter([this](ServiceState s) {
            std::lock_guard<std::mutex> lock(statesMutex_);
            states_.push_back(s);
        });
        return module;
    }

    std::vector<ServiceState> States() {
        std::lock_guard<std::mutex> lock(statesMutex_);
        return states_;
    }

    TempFolder root_;
    Registry registry_{root_ / "etc/tarvell/registry", root_ / "user"};
    std::ostringstream errors_;
    TestEventLog serviceLog_;
    TestEventLog consoleLog_;
    ServiceHostEnvironment env_;
    std::shared_ptr<FakeEngineRecord> engine_ = std::make_shared<FakeEngineRecord>();
    std::mutex statesMutex_;
    std::vector<ServiceState> states_;
};

TEST_F(ServiceHost, ControlCodesReachTheEngineOrAreRefused) {
    auto module = MakeModule();
    auto done = std::async(std::launch::async, [&] { return module->ServiceMain(); });
    ASSERT_TRUE(engine_->running.WaitFor(5000));
    serviceLog_.Clear();

    struct Case {
        int code;
        bool toEngine;
        bool refused;
    };
    const Case cases[] = {
        {136, true, false}, {137, true, false}, {144, true, false}, {145, true, false},
        {2, false, false},  {3, false, false},  {4, false, false},  {5, false, false},
        {0, false, true},   {6, false, true},   {128, false, true}, {129, false, true},
        {135, false, true}, {138, false, true}, {143, false, true}, {146, false, true},
        {159, false, true}, {255, false, true}, {-1, false, true},
    };
    for (const Case& c : cases) {
        const std::size_t codesBefore = engine_->Codes().size();
        module->Handler(c.code);
        const auto codes = engine_->Codes();
        EXPECT_EQ(codes.size(), codesBefore + (c.toEngine ? 1 : 0)) << "code " << c.code;
        if (c.toEngine) {
            EXPECT_EQ(codes.back(), c.code);
        }
        const auto lines = serviceLog_.Lines();
        if (c.refused) {
            EXPECT_EQ(lines, std::vector<std::string>{"Bad service request"}) << "code " << c.code;
        } else {
            EXPECT_TRUE(lines.empty()) << "code " << c.code;
        }
        EXPECT_EQ(module->State(), ServiceState::Running) << "code " << c.code;
        serviceLog_.Clear();
    }
    EXPECT_FALSE(module->StopEvent().IsSet());

    module->Handler(kControlStop);
    ASSERT_EQ(done.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(done.get(), 0);
}

TEST_F(ServiceHost, StopLetsTheEngineFinishBeforeStoppedIsReported) {
    auto module = MakeModule();
    auto done = std::async(std::launch::async, [&] { return module->ServiceMain(); });
    ASSERT_TRUE(engine_->running.WaitFor(5000));
    EXPECT_EQ(module->State(), ServiceState::Running);

    module->Handler(kControlStop);
    EXPECT_TRUE(module->StopEvent().IsSet());
    ASSERT_EQ(done.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(done.get(), 0);

    EXPECT_TRUE(engine_->sawStop);
    EXPECT_TRUE(engine_->destroyed);
    EXPECT_EQ(States(),
              (std::vector<ServiceState>{ServiceState::StartPending, ServiceState::Running,
                                         ServiceState::StopPending, ServiceState::Stopped}));
    EXPECT_EQ(serviceLog_.Lines(),
              (std::vector<std::string>{"Service started", "Service stopped"}));
    EXPECT_TRUE(consoleLog_.Lines().empty());

    // The engine is gone: a late test request is noted and changes nothing.
    module->Handler(136);
    EXPECT_TRUE(engine_->Codes().empty());
    EXPECT_EQ(serviceLog_.Lines().back(), "Test request 136 ignored: the engine is not running");
}

TEST_F(ServiceHost, StopDuringStartSkipsTheEngine) {
    auto module = MakeModule();
    module->Handler(kControlStop);
    EXPECT_EQ(module->ServiceMain(), 0);
    EXPECT_FALSE(engine_->running.IsSet());
    EXPECT_EQ(States().back(), ServiceState::Stopped);
    for (ServiceState s : States()) {
        EXPECT_NE(s, ServiceState::Running);
    }
}

TEST_F(ServiceHost, EngineThatFailsStopsTheServiceWithAnError) {
    auto module = MakeModule(FakeBehaviour::Throws);
    EXPECT_EQ(module->ServiceMain(), 1);
    EXPECT_EQ(serviceLog_.Lines(),
              (std::vector<std::string>{"Service started", "Engine failed: settings lost",
                                        "Service stopped"}));
}

TEST(ServiceHostDeathTest, EngineThatDoesNotStopEndsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TestEventLog log;
    ServiceHostEnvironment env;  // the run touches neither the registry nor any file
    env.serviceLog = &log;
    env.consoleLog = &log;
    env.engineStopLimitMs = 100;
    auto record = std::make_shared<FakeEngineRecord>();
    EXPECT_EXIT(
        {
            ServiceModule module(env);
            module.SetEngineFactory(FakeEngineFactory(record, FakeBehaviour::IgnoresStop));
            std::thread stopper([&] {
                record->running.Wait();
                module.Handler(kControlStop);
            });
            stopper.detach();
            module.ServiceMain();
            std::exit(0);
        },
        ::testing::ExitedWithCode(1), "");
}

}  // namespace
}  // namespace tarvell
