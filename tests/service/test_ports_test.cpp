// The test-only port settings of the trap listener and of requests to switches.
#include <gtest/gtest.h>

#include <string_view>

#include "service/engine/TestProbes.h"

namespace tarvell {
namespace {

TEST(TestPortSettings, APortIsTakenOnlyWhenItIsANumberFrom1To65535AndChangesNothingElse) {
    const auto read = [](const char* trap, const char* agent) {
        return ReadServiceTestSettings([=](const char* name) -> const char* {
            if (std::string_view(name) == "TARVELL_TRAP_PORT") return trap;
            if (std::string_view(name) == "TARVELL_SNMP_AGENT_PORT") return agent;
            return nullptr;
        });
    };
    const ServiceTestSettings both = read("10162", "10161");
    EXPECT_EQ(both.trapPort, 10162);
    EXPECT_EQ(both.snmpAgentPort, 10161);
    EXPECT_FALSE(both.passIntervalMs);
    EXPECT_FALSE(both.emailSlotProbe);
    EXPECT_TRUE(both.Any());
    EXPECT_EQ(read("1", "65535").snmpAgentPort, 65535);
    for (const char* junk : {"0", "65536", "-1", "162x", " 162", "0x10", "99999999999"}) {
        const ServiceTestSettings s = read(junk, junk);
        EXPECT_FALSE(s.trapPort) << junk;
        EXPECT_FALSE(s.snmpAgentPort) << junk;
        EXPECT_EQ(s.notes.size(), 2u) << junk;
    }
    EXPECT_FALSE(read(nullptr, "").Any());
}

}  // namespace
}  // namespace tarvell
