// The installed service end to end: TarvellSrv with its real workers, a simulated switch on a
// lab address, and a linkUp trap sent with snmptrap; the poll it starts records the MACs of the
// port in Tarvell.db. The test ports keep the real 161 and 162 out of it.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/Files.h"
#include "platform/Process.h"
#include "tests/service/ServiceTestSupport.h"
#include "tests/support/SwitchLab.h"
#include "tests/support/Programs.h"

namespace tarvell {
namespace {

const std::string kProgram = tarvell::test::ServiceProgram();

constexpr const char* kSibling = R"(switch 00AABB000001
  SwitchIps 127.0.0.2
  SwitchName lab
  SwitchCommunity lab-switch
  SwitchObjectId 1.3.6.1.4.1.9.1.999
  SwitchMac 00AABB000001
  SwitchDisabled 0
end

port 00AABB000001/11
  PortName Gi0/11
  PortAlias ethernetCsmacd
  PortStatus 0
  PortDisabled 0
end
)";

class TrapProcessTest : public ::testing::Test {
protected:
    testing::TempFolder root{"trap-process-"};
    const std::string serviceFolder = root / "var/lib/tarvell";
};

TEST_F(TrapProcessTest, ALinkUpTrapToTheServiceRecordsTheNewMacsOfThePort) {
    if (!lab::Lab().agentPort) lab::Lab().agentPort = lab::PortFreeOnLabAddresses();
    lab::SimSwitch sim;
    ASSERT_TRUE(sim.Start(2, {"lab-switch", "lab-switch@1", "lab-switch@20"})) << sim.Log();

    std::string why;
    ASSERT_TRUE(testing::InstallTrapWatchingService(root.Path(), kSibling, &why)) << why;
    const std::uint16_t trapPort = snmptest::FreeUdpPort();
    testing::BackgroundProgram service(
        {kProgram, "-Run"}, testing::TrapServiceEnvironment(root.Path(), trapPort, sim.Port()),
        root / "output.txt");
    ASSERT_GT(service.Pid(), 0);

    // The listener binds once start-up is through; a trap before that is lost, so send again
    // until the event is on disk.
    const auto recorded = [&] { return testing::NewMacRecorded(serviceFolder, "00AABB000001/11"); };
    bool seen = false;
    for (int attempt = 0; attempt < 30 && !seen; ++attempt) {
        lab::SendV2c("snmptrap", "127.0.0.2", trapPort, "public", "1.3.6.1.6.3.1.1.5.4",
                     {"1.3.6.1.2.1.2.2.1.1.11", "i", "11"});
        seen = testing::WaitUntil(recorded, 1000);
    }
    EXPECT_TRUE(seen) << service.Output();
    EXPECT_FALSE(service.LinesWith("TARVELL_TRAP_PORT " + std::to_string(trapPort)).empty())
        << service.Output();
    ASSERT_TRUE(service.Signal(SIGTERM));
    EXPECT_EQ(service.WaitForExit(10'000), 0) << service.Output();
}

}  // namespace
}  // namespace tarvell
