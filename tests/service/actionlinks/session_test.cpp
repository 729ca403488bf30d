// One request line through CTarvellHttpSession::HandleRequest, without sockets: which requests
// are queued, which are refused and with what status, and the confirmation page of a GET.
#include <gtest/gtest.h>

#include "platform/Files.h"
#include "platform/RecursiveLock.h"
#include "tests/service/actionlinks/ActionLinkFixture.h"
#include "tests/support/Golden.h"

namespace tarvell::actionlinktest {
namespace {

class SessionTest : public ActionLinkFixture {
protected:
    void SetUp() override {
        ActionLinkFixture::SetUp();
        context = std::make_unique<HttpSessionContext>(*engine, engine->LinkRequests, secret);
    }
    void TearDown() override {
        context.reset();
        ActionLinkFixture::TearDown();
    }

    std::string Handle(const std::string& line) {
        CTarvellHttpSession session(-1, "127.0.0.1", *context);
        return session.HandleRequest(line);
    }

    std::unique_ptr<HttpSessionContext> context;
};

// ---- what is queued

TEST_F(SessionTest, AValidPostQueuesTheRequestWithTheHostName) {
    const std::string reply = Handle("POST " + Target("S1/3", "None") + " HTTP/1.1");
    EXPECT_EQ(reply,
              "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 11\r\nConnection: "
              "close\r\n\r\n"
              "Request OK.");
    EXPECT_EQ(Queued(), StringList{"S1/3;None;" + PeerHostName("127.0.0.1")});
    // The same request again is not queued twice.
    Handle("POST " + Target("S1/3", "None") + " HTTP/1.1");
    EXPECT_EQ(LinkRequests().size(), 1u);
}

TEST_F(SessionTest, LetterCaseOfMethodNamesAndActionDoesNotMatter) {
    const std::string target = "/?prog=Tarvell&event=S1/3&action=dElEtE&key=1700000000.0&auth=" +
                               MakeLinkToken(secret, "S1/3", "Delete", "1700000000.0");
    EXPECT_EQ(StatusOf(Handle("post " + target + " HTTP/1.0")), 200);
    EXPECT_EQ(Queued(), StringList{"S1/3;Delete;" + PeerHostName("127.0.0.1")});
}

TEST_F(SessionTest, TheLastOfTwoParametersDecidesAndLongerNamesAreOthers) {
    // Prog2 is another parameter, not Prog (a forged Prog2 once decided the request).
    const std::string target =
        "/?Event=S9/9" +
        MakeLinkQuery(secret, "S1/3", "None", "7", BindingOf("S1/3")).replace(0, 1, "&") +
        "&Prog2=x";
    EXPECT_EQ(StatusOf(Handle("POST " + target + " HTTP/1.1")), 200);
    EXPECT_EQ(LinkRequests().at(0).substr(0, 10), "S1/3;None;");
}

TEST_F(SessionTest, AGetShowsAConfirmationPageAndChangesNothing) {
    const std::string none =
        Handle("GET " + Target("00AABB000001/12", "None", "1700000000.3") + " HTTP/1.1");
    EXPECT_EQ(StatusOf(none), 200);
    EXPECT_NE(none.find("Content-Type: text/html; charset=utf-8\r\n"), std::string::npos);
    test::ExpectGolden("actionlinks/confirm-none.html", BodyOf(none));
    const std::string remove =
        Handle("GET " + Target("00AABB000001/12", "Delete", "1700000000.3") + " HTTP/1.1");
    test::ExpectGolden("actionlinks/confirm-delete.html", BodyOf(remove));
    EXPECT_TRUE(LinkRequests().empty());
}

// ---- what is refused

TEST_F(SessionTest, RefusalsAnswerWithTheirStatusAndQueueNothing) {
    const std::string token = MakeLinkToken(secret, "S1/3", "None", "1");
    const std::string link = "Event=S1/3&Action=None&Key=1&Auth=" + token;
    struct Case {
        std::string line;
        int status;
    } cases[] = {
        {"GET /?Prog=Tarvell&" + link, 400},  // no version
        {"POST /?Prog=Tarvell&" + link + " HTTP/2.0", 400},
        {"Position: /?Prog=Tarvell&" + link + " HTTP/1.0", 400},  // a header line
        {"HEAD /?Prog=Tarvell&" + link + " HTTP/1.0", 405},
        {"POSX /?Prog=Tarvell&" + link + " HTTP/1.0", 405},
        {"POST /x?Prog=Tarvell&" + link + " HTTP/1.0", 404},
        {"POST / HTTP/1.0", 403},              // no query
        {"POST /?Prog&Event= HTTP/1.0", 403},  // once an exception
        {"POST /?Prog=Tarvell HTTP/1.0", 403},
        {"POST /?" + link + " HTTP/1.0", 403},  // no Prog
        {"POST /?Prog=Tarvell2&" + link + " HTTP/1.0", 403},
        {"POST /?Prog=tarvell&" + link + " HTTP/1.0", 403},
        {"POST /?Prog2=Tarvell&" + link + " HTTP/1.0", 403},
        {"POST /?Prog=Tarvell&Event=S1/3&Action=None&Key=1 HTTP/1.0", 403},  // no token
        {"POST /?Prog=Tarvell&Event=S1/3&Action=None&Key=1&Auth= HTTP/1.0", 403},
        {"POST /?Prog=Tarvell&Event=S1/3&Action=None&Key=1&Auth=" + token + "x HTTP/1.0", 403},
        {"POST /?Prog=Tarvell&Event=S1/4&Action=None&Key=1&Auth=" + token + " HTTP/1.0", 403},
        {"POST /?Prog=Tarvell&Event=S1/3&Action=Delete&Key=1&Auth=" + token + " HTTP/1.0", 403},
        {"POST /?Prog=Tarvell&Event=S1/3&Action=None&Key=2&Auth=" + token + " HTTP/1.0", 403},
        // A forged submitter: even with a token made for it, the event text is refused.
        {"POST /?Prog=Tarvell&Event=S1/3;None;x&Action=None&Key=1&Auth=" +
             MakeLinkToken(secret, "S1/3;None;x", "None", "1") + " HTTP/1.0",
         403},
        {"POST /?Prog=Tarvell&Event=S1/3&Action=Block&Key=1&Auth=" +
             MakeLinkToken(secret, "S1/3", "Block", "1") + " HTTP/1.0",
         403},
        {"POST /?Prog=Tarvell&Event=S1/3&Action=None&Key=1;2&Auth=" +
             MakeLinkToken(secret, "S1/3", "None", "1;2") + " HTTP/1.0",
         403},
    };
    for (const Case& c : cases) {
        const std::string reply = Handle(c.line);
        EXPECT_EQ(StatusOf(reply), c.status) << c.line;
        EXPECT_EQ(BodyOf(reply), "Request Failed.") << c.line;
    }
    EXPECT_TRUE(LinkRequests().empty());
    EXPECT_NE(Handle(cases[3].line).find("Allow: GET, POST\r\n"), std::string::npos);
}

TEST_F(SessionTest, NothingIsTakenWhileEveryLinkOptionIsOff) {
    const std::string line = "POST " + Target("S1/3", "None") + " HTTP/1.1";
    CTarvellDoc doc = settings;
    doc.EmailUnblockLink = 0;
    UseSettings(doc);
    EXPECT_EQ(StatusOf(Handle(line)), 403);
    EXPECT_EQ(StatusOf(Handle("GET " + Target("S1/3", "None") + " HTTP/1.1")), 403);
    for (auto option : {&CTarvellDoc::EmailUnblockLink, &CTarvellDoc::EmailDeleteLink,
                        &CTarvellDoc::EmailScheduleDeleteLink}) {
        CTarvellDoc one = doc;
        one.*option = 1;
        UseSettings(one);
        EXPECT_EQ(StatusOf(Handle(line)), 200);
    }
}

TEST_F(SessionTest, WithoutASecretEveryLinkIsRefused) {
    context->secret.reset();
    EXPECT_EQ(StatusOf(Handle("POST " + Target("S1/3", "None") + " HTTP/1.1")), 403);
    EXPECT_TRUE(LinkRequests().empty());
}

TEST_F(SessionTest, AFullQueueRefusesAndSaysSoOnce) {
    {
        RecursiveGuard lock(engine->EngineLock);
        for (std::size_t i = 0; i < kMaxLinkRequests; ++i)
            engine->LinkRequests.push_back("S/" + std::to_string(i) + ";None;h");
    }
    EXPECT_EQ(StatusOf(Handle("POST " + Target("S1/3", "None") + " HTTP/1.1")), 503);
    EXPECT_EQ(StatusOf(Handle("POST " + Target("S1/4", "None") + " HTTP/1.1")), 503);
    std::size_t logged = 0;
    for (const std::string& line : log.Lines())
        logged += line.find("could not be queued") != std::string::npos;
    EXPECT_EQ(logged, 1u);
    EXPECT_EQ(LinkRequests().size(), kMaxLinkRequests);
    {
        RecursiveGuard lock(engine->EngineLock);
        engine->LinkRequests.clear();
    }
    EXPECT_EQ(StatusOf(Handle("POST " + Target("S1/3", "None") + " HTTP/1.1")), 200);
}

TEST(PeerHostName, NamesAreCleanedAndUnknownAddressesStayDotted) {
    const std::string local = PeerHostName("127.0.0.1");
    EXPECT_FALSE(local.empty());
    EXPECT_EQ(local.find_first_of("; \t\r\n"), std::string::npos);
    EXPECT_EQ(PeerHostName("not an address"), "not an address");
}

}  // namespace
}  // namespace tarvell::actionlinktest
