// TarvellSrv with one simulated switch that answers and many switches that never do (a UDP
// socket bound at their agent address that reads nothing), all sending linkUps: the answering
// switch's linkUp must still become an event within seconds.
//
// Measuring: TARVELL_BENCH_DEAD_SWITCHES=0,37,98 runs the case once per count and prints the
// delay (waiting up to 120 s); TARVELL_BENCH_SERVICE=<path> runs another TarvellSrv build;
// TARVELL_BENCH_FIRST_POLL=1 leaves out the switch's poll before the flood.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <thread>

#include "platform/Files.h"
#include "platform/Process.h"
#include "platform/UniqueFd.h"
#include "platform/snmp/Message.h"
#include "tests/service/ServiceTestSupport.h"
#include "tests/support/Programs.h"
#include "tests/support/SwitchLab.h"

namespace tarvell {
namespace {

using Clock = std::chrono::steady_clock;

// A UDP socket at address:port (0: any port); -1 when it cannot be bound.
UniqueFd BoundSocket(const std::string& address, std::uint16_t port) {
    UniqueFd fd(::socket(AF_INET, SOCK_DGRAM, 0));
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_port = htons(port);
    ::inet_pton(AF_INET, address.c_str(), &sin.sin_addr);
    if (fd.Get() < 0 || ::bind(fd.Get(), reinterpret_cast<sockaddr*>(&sin), sizeof sin) != 0)
        return UniqueFd();
    return fd;
}

void SendLinkUp(const UniqueFd& from, std::uint16_t trapPort, std::uint32_t ifIndex) {
    snmp::Pdu p;
    p.type = snmp::pdu::kTrapV2;
    p.requestId = static_cast<std::int32_t>(ifIndex);
    p.bindings = {
        {{1, 3, 6, 1, 2, 1, 1, 3, 0}, snmp::Value::Unsigned(snmp::tag::kTimeTicks, 5)},
        {{1, 3, 6, 1, 6, 3, 1, 1, 4, 1, 0}, snmp::Value::ObjectId({1, 3, 6, 1, 6, 3, 1, 1, 5, 4})},
        {{1, 3, 6, 1, 2, 1, 2, 2, 1, 1, ifIndex}, snmp::Value::Integer(ifIndex)}};
    const std::string bytes = snmp::EncodeCommunityMessage(snmp::kVersion2c, "public", p);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(trapPort);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::sendto(from.Get(), bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to),
             sizeof to);
}

// Seconds from the real switch's linkUp on port 11 to its event on disk while `dead` switches
// get linkUps at 200/s; a negative value when no event came within `limitMs`.
double LinkUpToEvent(int dead, const std::string& program, int limitMs, bool pollFirst = true) {
    if (!lab::Lab().agentPort) lab::Lab().agentPort = lab::PortFreeOnLabAddresses();
    const std::uint16_t agentPort = lab::Lab().agentPort;
    lab::SimSwitch sim;
    EXPECT_TRUE(sim.Start(2, {"lab-switch", "lab-switch@1", "lab-switch@20"})) << sim.Log();
    std::vector<UniqueFd> deadSockets;
    std::ostringstream sibling;
    sibling << "switch 00AABB000001\n SwitchIps 127.0.0.2\n SwitchName lab\n SwitchCommunity "
               "lab-switch\n SwitchObjectId 1.3.6.1.4.1.9.1.999\n SwitchDisabled 0\nend\n";
    for (int n = 1; n <= dead; ++n) {
        char key[24];
        std::snprintf(key, sizeof key, "00AABB01%04X", n);
        deadSockets.push_back(BoundSocket("127.0.1." + std::to_string(n), agentPort));
        EXPECT_GE(deadSockets.back().Get(), 0) << "127.0.1." << n;
        sibling << "switch " << key << "\n SwitchIps 127.0.1." << n << "\n SwitchName dead" << n
                << "\n SwitchCommunity public\n SwitchObjectId 1.3.6.1.4.1.9.1.999\n"
                << " SwitchDisabled 0\nend\n";
    }

    testing::RunningService service("dead-switches-", program);
    std::string why;
    EXPECT_TRUE(service.InstallSibling(sibling.str(), &why)) << why;
    const std::uint16_t trapPort = snmptest::FreeUdpPort();
    EXPECT_TRUE(
        service.Start(testing::TrapWatchingSettings(), testing::TrapPorts(trapPort, agentPort)));
    const auto recorded = [&](const char* port) {
        const auto event = service.Event(std::string("00AABB000001/") + port);
        return event && event->EventType == "New Mac";
    };
    // Port 12 first, until the listener is up: the switch has answered a poll before the flood.
    const UniqueFd real = BoundSocket("127.0.0.2", 0);
    bool ready = false;
    for (int attempt = 0; attempt < 30 && !ready; ++attempt) {
        if (!pollFirst) {  // the listener is up once its port is taken
            ready = testing::WaitUntil([&] { return BoundSocket("127.0.0.1", trapPort).Get() < 0; },
                                       1000);
            continue;
        }
        SendLinkUp(real, trapPort, 12);
        ready = testing::WaitUntil([&] { return recorded("12"); }, 1000);
    }
    EXPECT_TRUE(ready) << service.Output();

    std::atomic<bool> flooding{true};
    std::thread flood([&] {
        for (std::size_t i = 0; flooding && !deadSockets.empty(); ++i) {
            SendLinkUp(deadSockets[i % deadSockets.size()], trapPort, 1 + (i / 100) % 48);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const auto sent = Clock::now();
    SendLinkUp(real, trapPort, 11);
    const bool seen = testing::WaitUntil([&] { return recorded("11"); }, limitMs);
    const double seconds = std::chrono::duration<double>(Clock::now() - sent).count();
    flooding = false;
    flood.join();
    EXPECT_TRUE(service.Stop(30'000)) << service.Output();
    return seen ? seconds : -1;
}

TEST(DeadSwitchesProcessTest, ALinkUpOfAnAnsweringSwitchIsAnEventWithinTenSecondsAmid100Dead) {
    const char* counts = std::getenv("TARVELL_BENCH_DEAD_SWITCHES");
    const char* other = std::getenv("TARVELL_BENCH_SERVICE");
    const std::string program = other ? other : test::ServiceProgram();
    if (!counts) {
        const double seconds = LinkUpToEvent(100, program, 10'000);
        EXPECT_GE(seconds, 0) << "no event within 10 s";
        return;
    }
    std::istringstream list(counts);
    for (std::string count; std::getline(list, count, ',');)
        std::printf("dead switches %s: linkUp to event %.2f s\n", count.c_str(),
                    LinkUpToEvent(std::stoi(count), program, 120'000,
                                  !std::getenv("TARVELL_BENCH_FIRST_POLL")));
}

}  // namespace
}  // namespace tarvell
