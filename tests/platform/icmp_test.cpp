// ICMP echo against this machine's loopback address.
#include "platform/Icmp.h"

#include <gtest/gtest.h>

namespace tarvell {
namespace {

TEST(IcmpTest, LoopbackAnswersWithTheSentData) {
    IcmpSocket socket;
    if (const std::string reason = socket.Open(); !reason.empty()) GTEST_SKIP() << reason;
    std::string payload("17\0", 3);
    payload.resize(1000, 'x');
    for (int round = 0; round < 4; ++round) {
        const IcmpEchoReply reply = socket.Echo("127.0.0.1", payload, 1000);
        ASSERT_TRUE(reply.answered) << "round " << round;
        EXPECT_EQ(reply.from, "127.0.0.1");
        EXPECT_EQ(reply.data, payload);
        EXPECT_LT(reply.ms, 1000);
    }
    // Not an address, or too long: nothing sent, no reply.
    EXPECT_FALSE(socket.Echo("127.0.0.1;x", payload, 100).answered);
    EXPECT_FALSE(socket.Echo("127.0.0.1", std::string(65501, 'a'), 100).answered);
}

}  // namespace
}  // namespace tarvell
