// The listener over real loopback connections: curl as a mail reader's browser, raw sockets for
// split, idle and crowding clients, the engine's pass carrying a request out, Http.log, the
// bind retry and the clean stop.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <fstream>

#include "platform/DateText.h"
#include "platform/RecursiveLock.h"
#include "tests/service/actionlinks/ActionLinkFixture.h"

namespace tarvell::actionlinktest {
namespace {

using Clock = std::chrono::steady_clock;

std::int64_t MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class ListenerTest : public ActionLinkFixture {
protected:
    bool WaitUntilLogged(const std::string& part, int ms = 10'000) {
        const auto start = Clock::now();
        while (!LogMentions(part)) {
            if (MsSince(start) > ms) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }

    std::string Post(const std::string& target) {
        return Exchange(port,
                        {"POST " + target + " HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\n\r\n"});
    }
};

// ---- curl, and the engine's pass

TEST_F(ListenerTest, CurlFollowsALinkConfirmsItAndTheNextPassUnblocks) {
    AddEvent("S1", "3", "New Mac", "AAAAAAAAAAAA").Blocked = 1;
    StartListener();
    const std::string url = Url(Target("S1/3", "None"));

    const ProcessResult get = Curl({url});
    ASSERT_TRUE(get.Succeeded()) << get.err;
    EXPECT_EQ(get.out.rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << get.out;
    EXPECT_NE(get.out.find("<form method=\"post\""), std::string::npos);
    EXPECT_TRUE(LinkRequests().empty()) << "a GET must change nothing";

    // The page's button: a POST of the same link (a browser sends a form body; curl -d too).
    const ProcessResult post = Curl({"-d", "", url});
    ASSERT_TRUE(post.Succeeded()) << post.err;
    EXPECT_EQ(post.out.rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << post.out;
    EXPECT_EQ(BodyOf(post.out), "Request OK.");
    const std::string host = PeerHostName("127.0.0.1");
    EXPECT_EQ(Queued(), StringList{"S1/3;None;" + host});

    engine->Pass();
    const CEventItem event = EventCopy("S1/3");
    EXPECT_EQ(event.Blocked, 0);
    EXPECT_EQ(event.Submitter, host);
    EXPECT_EQ(event.Deleted, 0);
    EXPECT_TRUE(LinkRequests().empty());
}

TEST_F(ListenerTest, CurlGetsForbiddenForEveryBadLink) {
    AddEvent("S1", "3").Blocked = 1;
    StartListener();
    const std::string token = MakeLinkToken(secret, "S1/3", "None", "1");
    const std::string targets[] = {
        "/?Prog=Tarvell&Event=S1/3&Action=None&Key=1",
        "/?Prog=Tarvell&Event=S1/3&Action=None&Key=1&Auth=" +
            MakeLinkToken(secret, "S1/3", "None", "2"),
        "/?Prog=Tarvell&Event=S1/3;None;x&Action=None&Key=1&Auth=" +
            MakeLinkToken(secret, "S1/3;None;x", "None", "1"),
        "/?Prog=Tarvell&Event=S1/3&Action=Unblock&Key=1&Auth=" +
            MakeLinkToken(secret, "S1/3", "Unblock", "1"),
        "/?Prog=Tarvell2&Event=S1/3&Action=None&Key=1&Auth=" + token,
    };
    for (const std::string& target : targets) {
        for (const bool post : {false, true}) {
            std::vector<std::string> arguments = {Url(target)};
            if (post) arguments.insert(arguments.begin(), {"-d", ""});
            const ProcessResult result = Curl(arguments);
            ASSERT_TRUE(result.Succeeded()) << result.err;
            EXPECT_EQ(result.out.rfind("HTTP/1.0 403 Forbidden\r\n", 0), 0u) << target;
            EXPECT_EQ(BodyOf(result.out), "Request Failed.");
        }
    }
    EXPECT_TRUE(LinkRequests().empty());
    engine->Pass();
    EXPECT_EQ(EventCopy("S1/3").Blocked, 1);
}

TEST_F(ListenerTest, DeleteLinksQueueTheEventForDeletion) {
    AddEvent("S1", "4").Blocked = 1;
    StartListener();
    EXPECT_EQ(BodyOf(Post(Target("S1/4", "Delete"))), "Request OK.");
    engine->Pass();
    const CEventItem event = EventCopy("S1/4");
    EXPECT_EQ(event.Blocked, 0);
    EXPECT_EQ(event.Deleted, 1);
}

// ---- raw sockets

TEST_F(ListenerTest, ARequestSplitIntoTwoSendsIsRead) {
    StartListener();
    const std::string request = "POST " + Target("S1/3", "None") + " HTTP/1.1\r\nHost: x\r\n\r\n";
    const std::string reply = Exchange(port, {request.substr(0, 20), request.substr(20)}, 100);
    EXPECT_EQ(BodyOf(reply), "Request OK.") << reply;
    EXPECT_EQ(LinkRequests().size(), 1u);
}

TEST_F(ListenerTest, TwoConnectionsAreServedSideBySide) {
    StartListener();
    const int first = Connect(port), second = Connect(port);
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);
    // Both are open before either sends: neither waits for the other.
    ASSERT_TRUE(SendText(second, "POST " + Target("S1/4", "None") + " HTTP/1.0\r\n\r\n"));
    ASSERT_TRUE(SendText(first, "POST " + Target("S1/3", "None") + " HTTP/1.0\r\n\r\n"));
    EXPECT_EQ(BodyOf(ReadUntilClosed(second)), "Request OK.");
    EXPECT_EQ(BodyOf(ReadUntilClosed(first)), "Request OK.");
    ::close(first);
    ::close(second);
    StringList queued = LinkRequests();
    std::sort(queued.begin(), queued.end());
    ASSERT_EQ(queued.size(), 2u);
    EXPECT_EQ(queued[0].substr(0, 10), "S1/3;None;");
    EXPECT_EQ(queued[1].substr(0, 10), "S1/4;None;");
}

TEST_F(ListenerTest, OnlyTheRequestLineCountsAndItsLengthIsBounded) {
    StartListener();
    const std::string link = Target("S1/3", "None");
    struct Case {
        std::string bytes;
        int status;
    } cases[] = {
        {"Position: " + link + " HTTP/1.0\r\n\r\n", 400},
        {"GARBAGE\r\nPOST " + link + " HTTP/1.0\r\n\r\n", 400},
        {std::string(2050, 'a'), 400},  // no line end within the bound
        {"POST " + link + "&Pad=" + std::string(2050, 'p') + " HTTP/1.0\r\n", 400},
        {"POST " + link + " HTTP/1.0\n", 200},  // a bare LF ends a line too
    };
    for (const Case& c : cases) {
        const std::string reply = Exchange(port, {c.bytes});
        EXPECT_EQ(StatusOf(reply), c.status) << c.bytes.substr(0, 60);
    }
    EXPECT_EQ(LinkRequests().size(), 1u);
}

TEST_F(ListenerTest, AClientThatSendsNothingIsDroppedAtTheTimeLimit) {
    HttpListenerOptions options = TestOptions();
    options.requestTimeLimitMs = 1000;
    StartListener(options);
    const int fd = Connect(port);
    ASSERT_GE(fd, 0);
    const auto start = Clock::now();
    const std::string reply = ReadUntilClosed(fd, 20'000);
    const std::int64_t ms = MsSince(start);
    ::close(fd);
    EXPECT_EQ(reply, "");
    EXPECT_GE(ms, 900);
    EXPECT_LT(ms, 10'000);
    EXPECT_TRUE(WaitForNoSessions());
}

// Idle clients from fifty addresses, four each: every newcomer takes the slot of the oldest
// session still waiting for its request line, so sixteen sessions at most, and a valid request
// from another address is answered at once while they are all open.
TEST_F(ListenerTest, TwoHundredIdleConnectionsHoldAtMostSixteenSessionsAndShutNoOneOut) {
    StartListener();
    std::vector<int> idle;
    for (int i = 0; i < 200; ++i) {
        const int fd = Connect(port, "127.0.1." + std::to_string(i / 4 + 1));
        ASSERT_GE(fd, 0) << i;
        idle.push_back(fd);
    }
    // The listener takes the queued connections as fast as it can; wait until it has seen them.
    const auto start = Clock::now();
    while (listener->EvictedSessions() < 200 - kMaxHttpSessions && MsSince(start) < 10'000)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(listener->EvictedSessions(), 200 - kMaxHttpSessions);
    EXPECT_EQ(listener->RefusedConnections(), 0u);
    EXPECT_EQ(listener->PeakSessions(), kMaxHttpSessions);
    EXPECT_TRUE(
        LogMentions("Action-link connections that have not sent their request are cut off"));
    const auto asked = Clock::now();
    EXPECT_EQ(StatusOf(Exchange(port, {"GET " + Target("S1/3", "None") + " HTTP/1.0\r\n"}, 0,
                                "127.0.0.99")),
              200);
    EXPECT_LT(MsSince(asked), 1000);

    for (int fd : idle) ::close(fd);
    ASSERT_TRUE(WaitForNoSessions());
    EXPECT_EQ(BodyOf(Post(Target("S1/3", "None"))), "Request OK.");
    EXPECT_LE(listener->PeakSessions(), kMaxHttpSessions);
}

// One address holds at most four request slots, an idle one loses its slot at the first-byte
// limit and an answered one while it lingers; other addresses are answered meanwhile.
TEST_F(ListenerTest, OneAddressCannotHoldTheSlotsOfOthers) {
    HttpListenerOptions options = TestOptions();
    options.firstByteLimitMs = 700;
    options.lingerMs = 3000;
    StartListener(options);
    std::vector<int> idle;
    for (int i = 0; i < 10; ++i) idle.push_back(Connect(port, "127.0.0.2"));
    const auto start = Clock::now();
    while (listener->RefusedConnections() < 6 && MsSince(start) < 5000)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(listener->RefusedConnections(), 6u);
    EXPECT_EQ(listener->ActiveSessions(), 4u);
    EXPECT_TRUE(WaitUntilLogged("Action-link connections from 127.0.0.2 are refused"));

    // Answered requests of one address that do not close linger outside its four slots.
    std::vector<int> lingering;
    for (int i = 0; i < 6; ++i) {
        const int fd = Connect(port, "127.0.0.3");
        SendText(fd, "GET " + Target("S1/3", "None") + " HTTP/1.0\r\n");
        char byte = 0;
        EXPECT_EQ(::recv(fd, &byte, 1, 0), 1) << i;
        lingering.push_back(fd);
    }
    // A session counts as lingering just after its answer was sent.
    const auto answered = Clock::now();
    while (listener->LingeringSessions() < 6 && MsSince(answered) < 2000)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(listener->LingeringSessions(), 6u);
    const auto asked = Clock::now();
    EXPECT_EQ(StatusOf(Exchange(port, {"GET " + Target("S1/3", "None") + " HTTP/1.0\r\n"}, 0,
                                "127.0.0.4")),
              200);
    EXPECT_LT(MsSince(asked), 1000);

    for (int fd : idle) EXPECT_EQ(ReadUntilClosed(fd, 5000), "");
    EXPECT_LT(MsSince(start), 3000) << "idle connections are dropped at the first-byte limit";
    for (int fd : idle) ::close(fd);
    for (int fd : lingering) ::close(fd);
    EXPECT_TRUE(WaitForNoSessions());
}

TEST_F(ListenerTest, ARefusedConnectionIsClosedAtOnce) {
    HttpListenerOptions options = TestOptions();
    options.maxSessionsPerPeer = 1;
    StartListener(options);
    const int holder = Connect(port);
    ASSERT_GE(holder, 0);
    const auto start = Clock::now();
    while (listener->ActiveSessions() < 1 && MsSince(start) < 5000)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const auto refusedAt = Clock::now();
    EXPECT_EQ(Exchange(port, {"POST " + Target("S1/3", "None") + " HTTP/1.0\r\n\r\n"}), "");
    EXPECT_LT(MsSince(refusedAt), 5000);
    ::close(holder);
}

// ---- a link acts once, on its own event, for seven days

// A link mailed for intruder A, used after the port was blocked again for intruder B, and a link
// used twice: "Request Failed." and nothing changes, whether the listener or the pass sees it.
TEST_F(ListenerTest, ALinkOpensOnlyTheBlockItWasMadeForAndOnlyOnce) {
    auto record = [&](const std::string& mac, const std::string& dateKey) {
        CEventItem& event = AddEvent("S1", "3", "New Mac", mac);
        event.Blocked = 1;
        event.DateKey = dateKey;
    };
    record("AAAAAAAAAAAA", "1699999990");
    StartListener();
    const std::string forA = Target("S1/3", "None");
    const std::string legacyA = "/" + MakeLinkQuery(secret, "S1/3", "None", "1699999990.0");

    record("BBBBBBBBBBBB", "1700000000");
    EXPECT_EQ(BodyOf(Post(forA)), "Request Failed.");
    EXPECT_EQ(BodyOf(Post(legacyA)), "Request Failed.");
    EXPECT_TRUE(
        WaitUntilLogged("An action link for S1/3 was refused: the port holds a later event"));
    EXPECT_TRUE(LinkRequests().empty());

    // Queued for B, but the port holds C before the pass: the pass does not carry it out.
    const std::string forB = Target("S1/3", "None");
    EXPECT_EQ(BodyOf(Post(forB)), "Request OK.");
    record("CCCCCCCCCCCC", "1700000001");
    engine->Pass();
    EXPECT_EQ(EventCopy("S1/3").Blocked, 1);
    EXPECT_TRUE(WaitUntilLogged("was not carried out: the port holds a later event"));

    const std::string forC = Target("S1/3", "None");
    EXPECT_EQ(BodyOf(Post(forC)), "Request OK.");
    engine->Pass();
    EXPECT_EQ(EventCopy("S1/3").Blocked, 0);
    {
        RecursiveGuard lock(engine->EngineLock);
        engine->EventMap["S1/3"]->Blocked = 1;  // shut again by hand
    }
    EXPECT_EQ(BodyOf(Post(forC)), "Request Failed.");
    engine->Pass();
    EXPECT_EQ(EventCopy("S1/3").Blocked, 1);

    // The used link is remembered over a restart of the engine.
    const std::string used =
        ReadWholeFile(JoinPath(serviceFolder, kUsedLinksFileName)).value_or("");
    EXPECT_EQ(UsedLinks::Parse(used, clock.Now()).Size(), 1u) << used;
}

TEST_F(ListenerTest, ALinkIsRefusedAfterSevenDays) {
    AddEvent("S1", "3").Blocked = 1;
    StartListener();
    const std::string link = Target("S1/3", "None");
    const std::string legacy =
        "/" + MakeLinkQuery(secret, "S1/3", "None", std::to_string(clock.Now()) + ".0");
    clock.Advance(kLinkLifeSeconds + 1);
    EXPECT_EQ(BodyOf(Post(link)), "Request Failed.");
    EXPECT_EQ(BodyOf(Post(legacy)), "Request Failed.");
    EXPECT_TRUE(WaitUntilLogged("was refused: it has expired"));
    EXPECT_TRUE(LinkRequests().empty());
}

TEST(UsedLinks, TheFileKeepsUnexpiredTokensAndSkipsBadLines) {
    const UsedLinks links = UsedLinks::Parse(
        "100 expired\n300 kept\nx bad\n400\n500 " + std::string(65, 't') + "\n\n600 also-kept",
        200);
    EXPECT_TRUE(links.Contains("kept"));
    EXPECT_TRUE(links.Contains("also-kept"));
    EXPECT_FALSE(links.Contains("expired"));
    EXPECT_EQ(links.Size(), 2u);
    EXPECT_EQ(UsedLinks::Parse(links.Format(), 200).Format(), links.Format());
    std::string many;
    for (int i = 0; i < 30'000; ++i)
        many += std::to_string(1000 + i) + " t" + std::to_string(i) + "\n";
    const UsedLinks bounded = UsedLinks::Parse(many, 0);
    EXPECT_EQ(bounded.Size(), kMaxUsedLinks);
    EXPECT_TRUE(bounded.Contains("t29999"));  // the last to expire are kept
    EXPECT_FALSE(bounded.Contains("t0"));
    const struct {
        const char* entry;
        bool ok;
    } entries[] = {
        {"S1/3;None;1700000000;AA;tok;1700604800;host;with;semicolons", true},
        {"S1/3;None;<=1700000000;;tok;1700604800;h", true},
        {"S1/3;None;1700000000;AA;tok;x;h", false},
        {"S1/3;None;localhost", false},
        {";None;1;AA;tok;1;h", false},
    };
    for (const auto& e : entries)
        EXPECT_EQ(LinkRequest::Parse(e.entry).has_value(), e.ok) << e.entry;
    CEventItem event;
    event.DateKey = "1700000000";
    event.SourceMac = "AA";
    EXPECT_TRUE(LinkNamesEvent(*LinkRequest::Parse("S1/3;None;1700000000;AA;t;1;h"), event));
    EXPECT_FALSE(LinkNamesEvent(*LinkRequest::Parse("S1/3;None;1700000000;AB;t;1;h"), event));
    EXPECT_TRUE(LinkNamesEvent(*LinkRequest::Parse("S1/3;None;<=1700000000;;t;1;h"), event));
    EXPECT_FALSE(LinkNamesEvent(*LinkRequest::Parse("S1/3;None;<=1699999999;;t;1;h"), event));
}

// ---- Http.log

TEST_F(ListenerTest, HttpLogHoldsTheStartAndEveryServedConnection) {
    StartListener();
    Post(Target("S1/3", "None"));
    Exchange(port, {"GET / HTTP/1.0\r\n\r\n"});
    listener->StopAndJoin();
    const std::string stamp = FormatUserDateTime(clock.Now());
    EXPECT_EQ(ReadWholeFile(JoinPath(serviceFolder, "Http.log")).value_or(""),
              stamp + ": Http Started...\r\n" + stamp + ": Http Request from 127.0.0.1\r\n" +
                  stamp + ": Http Request from 127.0.0.1\r\n");
}

TEST_F(ListenerTest, HttpLogKeepsOneOlderCopyAtItsCap) {
    HttpLog httpLog(serviceFolder, clock, 300);
    httpLog.Started();
    for (int i = 0; i < 50; ++i) httpLog.Request("10.0.0." + std::to_string(i));
    const std::string current = ReadWholeFile(httpLog.Path()).value_or("");
    const std::string older = ReadWholeFile(httpLog.OlderPath()).value_or("");
    EXPECT_LE(current.size(), 300u);
    EXPECT_LE(older.size(), 300u);
    EXPECT_GT(older.size(), 200u);
    EXPECT_NE(current.find("Http Request from 10.0.0.49\r\n"), std::string::npos);
    // A new start empties the file but keeps the older copy.
    httpLog.Started();
    EXPECT_EQ(ReadWholeFile(httpLog.Path()).value_or("").find("Http Started..."),
              FormatUserDateTime(clock.Now()).size() + 2);
    EXPECT_EQ(ReadWholeFile(httpLog.OlderPath()).value_or(""), older);

    // Under a file-size limit a line that does not fit whole is not written: once one was cut
    // in the middle and the next line continued it.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit low{100, saved.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &low), 0);
    for (int i = 0; i < 5; ++i) httpLog.Request("10.0.0." + std::to_string(i));
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &saved), 0);
    std::signal(SIGXFSZ, oldHandler);
    httpLog.Request("10.0.0.99");
    const std::string limited = ReadWholeFile(httpLog.Path()).value_or("");
    const std::string stamp = FormatUserDateTime(clock.Now());
    const auto count = [&](const std::string& part) {
        std::size_t n = 0;
        for (auto at = limited.find(part); at != std::string::npos; at = limited.find(part, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(count(stamp + ": Http "), count("\r\n")) << limited;
    EXPECT_TRUE(limited.ends_with("\r\n" + stamp + ": Http Request from 10.0.0.99\r\n"));
}

TEST_F(ListenerTest, HttpLogNeverFollowsALink) {
    const std::string target = JoinPath(root, "elsewhere");
    ASSERT_TRUE(AtomicWriteFile(target, "keep"));
    ASSERT_EQ(::symlink(target.c_str(), JoinPath(serviceFolder, "Http.log").c_str()), 0);
    HttpLog httpLog(serviceFolder, clock);
    httpLog.Started();
    httpLog.Request("10.0.0.1");
    EXPECT_EQ(ReadWholeFile(target).value_or(""), "keep");
}

// ---- start and stop

TEST_F(ListenerTest, ATakenPortIsTriedAgainAndLoggedOnce) {
    const int blocker = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(blocker, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(blocker, 1), 0);
    ASSERT_EQ(::getsockname(blocker, reinterpret_cast<sockaddr*>(&address), &length), 0);

    HttpListenerOptions options = TestOptions();
    options.port = ntohs(address.sin_port);
    options.bindRetryMs = 100;
    listener = std::make_unique<CTarvellHttp>(*engine, options);
    ASSERT_TRUE(listener->Start());
    EXPECT_FALSE(listener->WaitUntilListening(700));
    std::size_t logged = 0;
    for (const std::string& line : log.Lines())
        logged += line.find("could not use port") != std::string::npos;
    EXPECT_EQ(logged, 1u);
    ::close(blocker);
    ASSERT_TRUE(listener->WaitUntilListening(10'000));
    EXPECT_EQ(listener->BoundPort(), options.port);
    port = options.port;
    EXPECT_EQ(BodyOf(Post(Target("S1/3", "None"))), "Request OK.");
}

TEST_F(ListenerTest, AStopEndsIdleSessionsAndClosesThePort) {
    StartListener();
    std::vector<int> idle;
    for (int i = 0; i < 5; ++i) idle.push_back(Connect(port, "127.0.0." + std::to_string(i + 2)));
    const auto start = Clock::now();
    while (listener->ActiveSessions() < 5 && MsSince(start) < 5000)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const auto stopAt = Clock::now();
    listener->StopAndJoin();
    EXPECT_LT(MsSince(stopAt), 3000);
    EXPECT_EQ(listener->ActiveSessions(), 0u);
    EXPECT_EQ(Connect(port), -1);
    for (int fd : idle) {
        EXPECT_EQ(ReadUntilClosed(fd, 2000), "");
        ::close(fd);
    }
}

// Out of descriptors, accept fails while the connection stays queued: the listener pauses
// instead of spinning, says so once, and serves the connection when descriptors are back.
TEST_F(ListenerTest, AFailingAcceptPausesAndRecovers) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // The sanitizers' own checks need descriptors; without any they report false errors.
    GTEST_SKIP() << "not under a sanitizer";
#endif
    StartListener();
    const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(client, 0);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit low = saved;
    low.rlim_cur = static_cast<rlim_t>(client + 1);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    std::vector<int> fillers;  // take every free number below the limit
    for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) fillers.push_back(fd);

    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected =
        ::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    const bool sent =
        connected && SendText(client, "POST " + Target("S1/3", "None") + " HTTP/1.0\r\n\r\n");
    const bool failed = WaitUntilLogged("could not be accepted");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));

    for (int fd : fillers) ::close(fd);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);
    ASSERT_TRUE(connected);
    ASSERT_TRUE(sent);
    EXPECT_TRUE(failed);
    std::size_t logged = 0;
    for (const std::string& line : log.Lines())
        logged += line.find("could not be accepted") != std::string::npos;
    EXPECT_EQ(logged, 1u);
    EXPECT_EQ(BodyOf(ReadUntilClosed(client)), "Request OK.");
    ::close(client);
}

TEST_F(ListenerTest, ARefusedSecretFileRefusesEveryLinkAndIsReported) {
    ::chmod(JoinPath(serviceFolder, kLinkSecretFileName).c_str(), 0644);
    StartListener();
    EXPECT_EQ(StatusOf(Post(Target("S1/3", "None"))), 403);
    EXPECT_TRUE(LogMentions("mode is not 0600"));
    EXPECT_TRUE(LinkRequests().empty());
}

// ---- the test-only port setting

TEST(HttpListenerOptions, OnlyAPortNumberOverridesThePort) {
    struct Case {
        const char* value;
        std::uint16_t port;
        const char* note;
    } cases[] = {
        {nullptr, kActionLinkPort, ""},
        {"", kActionLinkPort, ""},
        {"8080", 8080, "action-link port 8080"},
        {"0", kActionLinkPort, "TARVELL_HTTP_PORT ignored (not a port number 1..65535)"},
        {"65536", kActionLinkPort, "TARVELL_HTTP_PORT ignored (not a port number 1..65535)"},
        {"80x", kActionLinkPort, "TARVELL_HTTP_PORT ignored (not a port number 1..65535)"},
        {"-1", kActionLinkPort, "TARVELL_HTTP_PORT ignored (not a port number 1..65535)"},
    };
    for (const Case& c : cases) {
        std::string note = "stale";
        const HttpListenerOptions options = ReadHttpListenerOptions(
            [&](const char* name) {
                return std::string_view(name) == "TARVELL_HTTP_PORT" ? c.value : nullptr;
            },
            &note);
        EXPECT_EQ(options.port, c.port) << (c.value ? c.value : "(unset)");
        EXPECT_EQ(note, c.note);
        EXPECT_EQ(options.address, "0.0.0.0");
    }
}

}  // namespace
}  // namespace tarvell::actionlinktest
