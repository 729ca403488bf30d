#include "viewer/core/shell/CommandRouter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarvell {
namespace {

// A frame, a view and two pages chained the way the viewer chains them: the view offers a
// command to whichever page it shows.
struct Chain {
    CommandTarget frame, view, monitor, settings;
    CommandTarget* shown = &monitor;
    std::vector<std::string> log;
    CommandRouter router{&frame};

    Chain() {
        frame.SetNext([this] { return &view; });
        view.SetNext([this] { return shown; });
        frame.On(cmd::kStartServer, [this] { log.push_back("frame:start"); });
        view.On(cmd::kSummary, [this] { log.push_back("view:summary"); });
        monitor.On(cmd::kUpdateNow, [this] { log.push_back("monitor:update"); });
        settings.On(cmd::kUpdateNow, [this] { log.push_back("settings:update"); });
        settings.On(cmd::kHelp, [this] { log.push_back("settings:help"); });
    }
};

TEST(CommandRouter, ACommandReachesTheTargetThatHandlesIt) {
    Chain c;
    EXPECT_TRUE(c.router.Send(cmd::kStartServer));
    EXPECT_TRUE(c.router.Send(cmd::kSummary));
    EXPECT_TRUE(c.router.Send(cmd::kUpdateNow));
    EXPECT_EQ(c.log, (std::vector<std::string>{"frame:start", "view:summary", "monitor:update"}));
}

TEST(CommandRouter, ThePageCommandFollowsThePageTheViewShows) {
    Chain c;
    c.shown = &c.settings;
    EXPECT_TRUE(c.router.Send(cmd::kUpdateNow));
    EXPECT_TRUE(c.router.Send(cmd::kHelp));
    c.shown = &c.monitor;
    EXPECT_FALSE(c.router.Send(cmd::kHelp));  // the monitor has no help handler
    c.shown = nullptr;                        // no page shown yet
    EXPECT_FALSE(c.router.Send(cmd::kUpdateNow));
    EXPECT_EQ(c.log, (std::vector<std::string>{"settings:update", "settings:help"}));
}

TEST(CommandRouter, TheFirstTargetAlongTheChainWins) {
    Chain c;
    c.view.On(cmd::kUpdateNow, [&c] { c.log.push_back("view:update"); });
    EXPECT_EQ(c.router.FindTarget(cmd::kUpdateNow), &c.view);
    c.router.Send(cmd::kUpdateNow);
    EXPECT_EQ(c.log, std::vector<std::string>{"view:update"});
    c.view.Remove(cmd::kUpdateNow);
    EXPECT_EQ(c.router.FindTarget(cmd::kUpdateNow), &c.monitor);
}

TEST(CommandRouter, AnUnhandledCommandIsUnavailable) {
    Chain c;
    EXPECT_FALSE(c.router.Send(cmd::kShutdown));
    EXPECT_FALSE(c.router.IsEnabled(cmd::kShutdown));
    EXPECT_TRUE(c.router.IsEnabled(cmd::kStartServer));
    bool granted = false;
    c.frame.On(
        cmd::kStopServer, [] {}, [&granted] { return granted; });
    EXPECT_FALSE(c.router.IsEnabled(cmd::kStopServer));
    granted = true;
    EXPECT_TRUE(c.router.IsEnabled(cmd::kStopServer));
    EXPECT_FALSE(CommandRouter().Send(cmd::kSummary));  // no chain at all
}

TEST(CommandRouter, AHandlerMaySendAnotherCommandAndReplaceItself) {
    Chain c;
    // The frame's connect handler shows the summary page, as the frame does after a reconnect.
    c.frame.On(cmd::kConnectServer, [&c] {
        c.log.push_back("frame:connect");
        c.router.Send(cmd::kSummary);
        c.frame.On(cmd::kConnectServer, [&c] { c.log.push_back("frame:connect again"); });
    });
    c.router.Send(cmd::kConnectServer);
    c.router.Send(cmd::kConnectServer);
    EXPECT_EQ(c.log,
              (std::vector<std::string>{"frame:connect", "view:summary", "frame:connect again"}));
}

TEST(CommandRouter, ALoopOfTargetsEndsTheSearch) {
    CommandTarget a, b;
    a.SetNext([&b] { return &b; });
    b.SetNext([&a] { return &a; });
    CommandRouter router(&a);
    EXPECT_FALSE(router.Send(cmd::kHelp));  // returns instead of walking for ever
}

}  // namespace
}  // namespace tarvell
