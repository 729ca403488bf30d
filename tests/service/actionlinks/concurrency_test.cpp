// Sessions append to LinkRequests while the engine's passes take the list: no request is lost
// between the two, and every one that was answered "Request OK." is carried out.
#include <gtest/gtest.h>

#include <atomic>

#include "tests/service/actionlinks/ActionLinkFixture.h"

namespace tarvell::actionlinktest {
namespace {

class ActionLinksConcurrencyTest : public ActionLinkFixture {};

TEST_F(ActionLinksConcurrencyTest, RequestsAnsweredOkAreAllCarriedOutWhilePassesRun) {
    constexpr int kEvents = 160;
    for (int i = 1; i <= kEvents; ++i) AddEvent("S1", std::to_string(i)).Blocked = 1;
    StartListener();
    std::atomic<bool> done{false};
    std::thread passes([&] {
        while (!done) engine->Pass();
    });
    std::atomic<int> next{1}, ok{0};
    std::vector<std::thread> clients;
    // Eight browsers, each on its own address (one address holds at most four request slots).
    for (int c = 0; c < 8; ++c) {
        clients.emplace_back([&, c] {
            const std::string from = "127.0.0." + std::to_string(c + 2);
            for (int i = next++; i <= kEvents; i = next++) {
                const std::string reply =
                    Exchange(port,
                             {"POST " + Target("S1/" + std::to_string(i), "None") +
                              " HTTP/1.1\r\nHost: x\r\n\r\n"},
                             0, from);
                if (BodyOf(reply) == "Request OK.") ++ok;
            }
        });
    }
    for (auto& t : clients) t.join();
    done = true;
    passes.join();
    engine->Pass();
    EXPECT_EQ(ok.load(), kEvents);
    for (int i = 1; i <= kEvents; ++i)
        EXPECT_EQ(EventCopy("S1/" + std::to_string(i)).Blocked, 0) << i;
    EXPECT_TRUE(LinkRequests().empty());
}

}  // namespace
}  // namespace tarvell::actionlinktest
