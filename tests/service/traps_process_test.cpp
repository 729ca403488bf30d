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

namespace tarvell {
namespace {

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

TEST(TrapProcessTest, ALinkUpTrapToTheServiceRecordsTheNewMacsOfThePort) {
    if (!lab::Lab().agentPort) lab::Lab().agentPort = lab::PortFreeOnLabAddresses();
    lab::SimSwitch sim;
    ASSERT_TRUE(sim.Start(2, {"lab-switch", "lab-switch@1", "lab-switch@20"})) << sim.Log();

    testing::RunningService service("trap-process-");
    std::string why;
    ASSERT_TRUE(service.InstallSibling(kSibling, &why)) << why;
    const std::uint16_t trapPort = snmptest::FreeUdpPort();
    ASSERT_TRUE(
        service.Start(testing::TrapWatchingSettings(), testing::TrapPorts(trapPort, sim.Port())));

    // The listener binds once start-up is through; a trap before that is lost, so send again
    // until the event is on disk.
    const auto recorded = [&] {
        const auto event = service.Event("00AABB000001/11");
        return event && event->EventType == "New Mac";
    };
    bool seen = false;
    for (int attempt = 0; attempt < 30 && !seen; ++attempt) {
        lab::SendV2c("snmptrap", "127.0.0.2", trapPort, "public", "1.3.6.1.6.3.1.1.5.4",
                     {"1.3.6.1.2.1.2.2.1.1.11", "i", "11"});
        seen = testing::WaitUntil(recorded, 1000);
    }
    EXPECT_TRUE(seen) << service.Output();
    EXPECT_FALSE(service.LinesWith("TARVELL_TRAP_PORT " + std::to_string(trapPort)).empty())
        << service.Output();
    EXPECT_TRUE(service.Stop()) << service.Output();
}

}  // namespace
}  // namespace tarvell
