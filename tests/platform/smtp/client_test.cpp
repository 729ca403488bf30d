#include "platform/smtp/CSmtpClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <chrono>
#include <thread>

#include "tests/platform/smtp/Golden.h"
#include "tests/platform/smtp/SmtpFixture.h"

namespace tarvell::smtp {
namespace {

using namespace std::chrono_literals;
using test::ExpectGolden;
using test::MailServers;
using test::WithoutDate;

const char* const kModes[] = {"plain", "ssl", "starttls"};
const char* const kMechanisms[] = {"none", "LOGIN", "PLAIN", "CRAM-MD5", "DIGEST-MD5"};

std::string SecurityText(const std::string& mode) {
    return mode == "ssl" ? "SSL" : mode == "starttls" ? "TLS" : "";
}

// One set of servers for the whole suite: starting Python and making keys takes a moment.
class SmtpClientTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ::signal(SIGPIPE, SIG_IGN);
        dir_ = MakeTempFolder("tarvell-smtp-");
        ASSERT_FALSE(dir_.empty());
        ASSERT_TRUE(test::MakeCertificates(dir_));
        std::vector<test::ServerSpec> specs;
        for (const std::string mode : kModes)
            for (const std::string mech : kMechanisms)
                specs.push_back({mode + "-" + mech, mode, mech, mode == "plain" ? "-" : "server"});
        specs.push_back({"plain-all", "plain", "all", "-"});
        specs.push_back({"ssl-rogue", "ssl", "none", "rogue"});
        specs.push_back({"starttls-rogue", "starttls", "none", "rogue"});
        servers_ = new MailServers(dir_, specs);
        ASSERT_TRUE(servers_->Ready()) << servers_->Log();
    }
    static void TearDownTestSuite() {
        delete servers_;
        servers_ = nullptr;
        if (!dir_.empty()) RemoveTree(dir_);
    }

    static SmtpSettings Settings(const std::string& server, const std::string& security) {
        SmtpSettings s;
        s.server = "localhost";
        s.port = servers_->Port(server);
        s.security = security;
        s.user = test::kUser;
        s.password = test::kPassword;
        s.sender = "tarvell@example.org";
        s.timeout = 10s;
        s.caFile = dir_ + "/ca.pem";
        return s;
    }

    static std::string dir_;
    static MailServers* servers_;
};
std::string SmtpClientTest::dir_;
MailServers* SmtpClientTest::servers_ = nullptr;

// ---- delivery

TEST_F(SmtpClientTest, EveryModeAndMechanismDelivers) {
    for (const std::string mode : kModes) {
        for (const std::string mech : kMechanisms) {
            SCOPED_TRACE(mode + " " + mech);
            const std::string name = mode + "-" + mech;
            const std::string to = "pair-" + name + "@example.org";
            CSmtpClient client;
            // Stored texts are code page 1252: "Grüße" and a euro sign.
            const SendResult r =
                client.SendMail(Settings(name, SecurityText(mode)), to, "New Mac on core-sw \x80",
                                "Gr\xFC\xDF"
                                "e\r\nPort 7\r\n",
                                false);
            EXPECT_EQ(r.status, SendStatus::Delivered) << r.reason;
            EXPECT_EQ(client.AuthMechanism(), mech == "none" ? "" : mech);
            const auto stored = servers_->MessagesTo(name, to);
            ASSERT_EQ(stored.size(), 1u);
            EXPECT_NE(stored[0].envelope.find("auth=" + (mech == "none" ? "" : mech) + "\n"),
                      std::string::npos)
                << stored[0].envelope;
            EXPECT_NE(stored[0].envelope.find("from=tarvell@example.org\n"), std::string::npos);
            std::string data = WithoutDate(stored[0].data);
            const std::size_t toAt = data.find("To: <" + to + ">");
            ASSERT_NE(toAt, std::string::npos);
            data.replace(toAt, 5 + to.size() + 1, "To: <recipient>");
            ExpectGolden("delivered.eml", data);
        }
    }
}

TEST_F(SmtpClientTest, LoginIsPreferredWhenEveryMechanismIsOffered) {
    CSmtpClient client;
    const SendResult r =
        client.SendMail(Settings("plain-all", ""), "prefer@example.org", "s", "b", false);
    EXPECT_EQ(r.status, SendStatus::Delivered) << r.reason;
    EXPECT_EQ(client.AuthMechanism(), "LOGIN");
}

// A relay that announces AUTH but needs none gets the mail when no login is configured.
TEST_F(SmtpClientTest, WithoutUserOrPasswordNoLoginIsTried) {
    for (const bool noUser : {true, false}) {
        SmtpSettings s = Settings("starttls-LOGIN", "TLS");
        (noUser ? s.user : s.password).clear();
        CSmtpClient client;
        const std::string to = std::string(noUser ? "nouser" : "nopassword") + "@example.org";
        const SendResult r = client.SendMail(s, to, "s", "b", false);
        EXPECT_EQ(r.status, SendStatus::Delivered) << r.reason;
        EXPECT_EQ(client.AuthMechanism(), "");
        ASSERT_EQ(servers_->MessagesTo("starttls-LOGIN", to).size(), 1u);
    }
}

TEST_F(SmtpClientTest, ALargeBodyArrivesWhole) {
    std::string lines;
    for (int i = 0; lines.size() < 25'000; ++i)
        lines += "line " + std::to_string(i) + ": " + std::string(80, 'x') + "\r\n";
    lines.resize(25'000 - 2);
    lines += "\r\n";
    const std::string oneLine(25'000, 'y');  // no line end at all: goes quoted-printable
    for (const auto& [to, body] :
         {std::pair{"big@example.org", lines}, std::pair{"bigline@example.org", oneLine}}) {
        CSmtpClient client;
        const SendResult r = client.SendMail(Settings("ssl-PLAIN", "SSL"), to, "big", body, false);
        EXPECT_EQ(r.status, SendStatus::Delivered) << r.reason;
        const auto stored = servers_->MessagesTo("ssl-PLAIN", to);
        ASSERT_EQ(stored.size(), 1u);
        const std::string& data = stored[0].data;
        const std::string storedBody = data.substr(data.find("\r\n\r\n") + 4);
        EXPECT_EQ(storedBody, EncodeBody(body).wire);
        if (body == lines) {
            EXPECT_EQ(storedBody, lines);
        }
    }
}

// A body line "." and a text that tries to end the data and start a second mail arrive as text
// of one message; the server sees no second mail.
TEST_F(SmtpClientTest, DotsAndSmuggledCommandsStayInsideOneMessage) {
    const std::string server = "starttls-CRAM-MD5";
    const std::size_t before = servers_->CountAll(server);
    const std::string body =
        "first\r\n.\r\nx\r\n.\r\nMAIL FROM:<a@b>\r\nRCPT TO:<victim@example.org>\r\nDATA\r\n.\r\n";
    CSmtpClient client;
    const SendResult r = client.SendMail(Settings(server, "TLS"), "dots@example.org",
                                         "x\r\n.\r\nMAIL FROM:<a@b>", body, false);
    EXPECT_EQ(r.status, SendStatus::Delivered) << r.reason;
    const auto stored = servers_->MessagesTo(server, "dots@example.org");
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(servers_->CountAll(server), before + 1);
    EXPECT_TRUE(servers_->MessagesTo(server, "victim@example.org").empty());
    const std::string& data = stored[0].data;
    EXPECT_EQ(data.substr(data.find("\r\n\r\n") + 4), body);
    EXPECT_NE(data.find("Subject: x  .  MAIL FROM:<a@b>\r\n"), std::string::npos);
}

// ---- failures deliver nothing and say why

TEST_F(SmtpClientTest, FailuresDeliverNothingAndSayWhy) {
    struct Case {
        const char* what;
        std::string server, security;
        std::string password;
        SendStatus status;
        const char* reason;
    } cases[] = {
        {"wrong password", "plain-LOGIN", "", "wrong", SendStatus::Rejected, "535"},
        {"wrong password, CRAM-MD5", "ssl-CRAM-MD5", "SSL", "wrong", SendStatus::Rejected, "535"},
        {"wrong password, DIGEST-MD5", "starttls-DIGEST-MD5", "TLS", "wrong", SendStatus::Rejected,
         "535"},
        {"no STARTTLS offered", "plain-none", "TLS", test::kPassword, SendStatus::Rejected,
         "STARTTLS"},
        {"untrusted certificate", "ssl-rogue", "SSL", test::kPassword, SendStatus::RetryLater,
         "not trusted"},
        {"untrusted certificate after STARTTLS", "starttls-rogue", "TLS", test::kPassword,
         SendStatus::RetryLater, "not trusted"},
        {"TLS against a plain server", "plain-none", "SSL", test::kPassword, SendStatus::RetryLater,
         "TLS handshake"},
        {"unknown security text", "plain-none", "tls", test::kPassword, SendStatus::Rejected,
         "not known"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::size_t before = servers_->CountAll(c.server);
        SmtpSettings s = Settings(c.server, c.security);
        s.password = c.password;
        CSmtpClient client;
        const SendResult r = client.SendMail(s, "failure@example.org", "s", "b", false);
        EXPECT_EQ(r.status, c.status) << r.reason;
        EXPECT_NE(r.reason.find(c.reason), std::string::npos) << r.reason;
        EXPECT_EQ(servers_->CountAll(c.server), before) << r.reason;
    }
}

TEST_F(SmtpClientTest, TheServersNameMustBeTheCertificates) {
    SmtpSettings s = Settings("ssl-none", "SSL");
    s.server = "127.0.0.1";  // in the certificate as well
    CSmtpClient client;
    EXPECT_EQ(client.SendMail(s, "byaddress@example.org", "s", "b", false).status,
              SendStatus::Delivered);
    s.caFile = dir_ + "/missing.pem";  // only the system's authorities: ours is not one
    const SendResult r = client.SendMail(s, "noca@example.org", "s", "b", false);
    EXPECT_EQ(r.status, SendStatus::RetryLater);
    EXPECT_NE(r.reason.find("not trusted"), std::string::npos) << r.reason;
}

// ---- bounded waits, against servers that misbehave

// Listens on a free loopback port; answers each line it reads with the next scripted reply,
// each after `delay`.
class ScriptedServer {
public:
    ScriptedServer(std::string greeting, std::vector<std::string> replies,
                   std::chrono::milliseconds delay = {})
        : greeting_(std::move(greeting)), replies_(std::move(replies)), delay_(delay) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listener_, 4);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~ScriptedServer() {
        ::shutdown(listener_, SHUT_RDWR);
        ::close(listener_);
        thread_.join();
    }
    std::uint16_t Port() const { return port_; }
    std::string Received() const { return received_; }

private:
    void Serve() {
        const int fd = ::accept(listener_, nullptr, nullptr);
        if (fd < 0) return;
        ::send(fd, greeting_.data(), greeting_.size(), MSG_NOSIGNAL);
        std::size_t next = 0;
        char c;
        std::string line;
        timeval tv{5, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        while (::recv(fd, &c, 1, 0) == 1) {
            received_.push_back(c);
            if (c != '\n') continue;
            if (next >= replies_.size()) break;  // out of script: hang up
            std::this_thread::sleep_for(delay_);
            ::send(fd, replies_[next].data(), replies_[next].size(), MSG_NOSIGNAL);
            ++next;
        }
        ::close(fd);
    }

    std::string greeting_;
    std::vector<std::string> replies_;
    std::chrono::milliseconds delay_;
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::thread thread_;
    std::string received_;
};

SmtpSettings LocalSettings(std::uint16_t port, std::chrono::milliseconds timeout = 10s) {
    SmtpSettings s;
    s.server = "127.0.0.1";
    s.port = port;
    s.sender = "tarvell@example.org";
    s.timeout = timeout;
    return s;
}

TEST(SmtpClientLimits, ADeadPortFailsAtOnce) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);  // nothing listens there now
    const auto start = std::chrono::steady_clock::now();
    CSmtpClient client;
    const SendResult r =
        client.SendMail(LocalSettings(ntohs(a.sin_port), 3s), "x@example.org", "s", "b", false);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    EXPECT_EQ(r.status, SendStatus::RetryLater);
    EXPECT_NE(r.reason.find("no connection"), std::string::npos) << r.reason;
}

TEST(SmtpClientLimits, ASilentServerFailsWithinTheTimeout) {
    ScriptedServer silent("", {});
    const auto start = std::chrono::steady_clock::now();
    CSmtpClient client;
    const SendResult r =
        client.SendMail(LocalSettings(silent.Port(), 1s), "x@example.org", "s", "b", false);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 900ms);
    EXPECT_LT(took, 4s);
    EXPECT_EQ(r.status, SendStatus::RetryLater);
    EXPECT_NE(r.reason.find("timed out"), std::string::npos) << r.reason;
}

// Every reply comes within the timeout, but the whole dialogue has its limit; a stop ends any
// wait at once.
TEST(SmtpClientLimits, TheWholeDialogueIsBoundedAndAStopEndsIt) {
    ScriptedServer slow("220 hi\r\n", std::vector<std::string>(9, "250 ok\r\n"), 700ms);
    SmtpSettings s = LocalSettings(slow.Port(), 1s);
    s.dialogueLimit = 1500ms;
    auto start = std::chrono::steady_clock::now();
    CSmtpClient client;
    SendResult r = client.SendMail(s, "x@example.org", "s", "b", false);
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 1400ms);
    EXPECT_LT(took, 3s);
    EXPECT_EQ(r.status, SendStatus::RetryLater);

    ScriptedServer silent("", {});
    ManualResetEvent idle, stop;
    CSmtpClient stopping;
    stopping.SetStopEvents({&idle, &stop});
    std::thread stopper([&] {
        std::this_thread::sleep_for(300ms);
        stop.Set();
    });
    start = std::chrono::steady_clock::now();
    r = stopping.SendMail(LocalSettings(silent.Port(), 30s), "x@example.org", "s", "b", false);
    took = std::chrono::steady_clock::now() - start;
    stopper.join();
    EXPECT_LT(took, 1s);
    EXPECT_EQ(r.status, SendStatus::RetryLater);
    EXPECT_NE(r.reason.find("stopped"), std::string::npos) << r.reason;
    // A stop that is still set fails the next mail before it connects.
    r = stopping.SendMail(LocalSettings(silent.Port(), 30s), "x@example.org", "s", "b", false);
    EXPECT_NE(r.reason.find("no connection was tried (stopped)"), std::string::npos) << r.reason;
}

TEST(SmtpClientLimits, AnEndlessReplyFailsTheMail) {
    std::string flood;
    while (flood.size() < 70'000) flood += "220-" + std::string(200, 'z') + "\r\n";
    ScriptedServer server(flood, {});
    CSmtpClient client;
    const SendResult r =
        client.SendMail(LocalSettings(server.Port()), "x@example.org", "s", "b", false);
    EXPECT_EQ(r.status, SendStatus::RetryLater);
    EXPECT_NE(r.reason.find("longer than 65536"), std::string::npos) << r.reason;
}

// Bytes sent after the 220 to STARTTLS came in clear text; taking them as replies under TLS
// would let someone on the way answer for the server.
TEST(SmtpClientLimits, RepliesInjectedBeforeTheTlsHandshakeAreRefused) {
    ScriptedServer server("220 hi\r\n",
                          {"250-x\r\n250 STARTTLS\r\n", "220 go\r\n250 injected\r\n"});
    SmtpSettings s = LocalSettings(server.Port());
    s.security = "TLS";
    CSmtpClient client;
    const SendResult r = client.SendMail(s, "x@example.org", "s", "b", false);
    EXPECT_EQ(r.status, SendStatus::RetryLater);
    EXPECT_NE(r.reason.find("before the TLS handshake"), std::string::npos) << r.reason;
}

TEST(SmtpClientLimits, RepliesDecideBetweenRetryAndRejection) {
    struct Case {
        std::vector<std::string> replies;
        SendStatus status;
        const char* reason;
    } cases[] = {
        {{"250 ok\r\n", "451 try later\r\n"},
         SendStatus::RetryLater,
         "MAIL FROM was answered \"451 try later\""},
        {{"250 ok\r\n", "250 ok\r\n", "550 no such user\r\n"}, SendStatus::Rejected, "RCPT TO"},
        {{"250 ok\r\n", "250 ok\r\n", "250 ok\r\n", "354 go\r\n", "552 too big\r\n"},
         SendStatus::Rejected,
         "552"},
        {{"250 ok\r\n", "250 ok\r\n", "250 ok\r\n", "354 go\r\n", "250 queued\r\n", "221 bye\r\n"},
         SendStatus::Delivered,
         ""},
    };
    for (const auto& c : cases) {
        ScriptedServer server("220 hi\r\n", c.replies);
        CSmtpClient client;
        const SendResult r =
            client.SendMail(LocalSettings(server.Port()), "x@example.org", "s", "b", false);
        EXPECT_EQ(r.status, c.status) << r.reason;
        EXPECT_NE(r.reason.find(c.reason), std::string::npos) << r.reason;
    }
}

TEST(SmtpClientLimits, AnAuthOfferWithoutAKnownMechanismSendsWithoutLogin) {
    ScriptedServer server("220 hi\r\n",
                          {"250-x\r\n250 AUTH GSSAPI XOAUTH2\r\n", "250 ok\r\n", "250 ok\r\n",
                           "354 go\r\n", "250 queued\r\n", "221 bye\r\n"});
    SmtpSettings s = LocalSettings(server.Port());
    s.user = "u";
    s.password = "p";
    CSmtpClient client;
    const SendResult r = client.SendMail(s, "x@example.org", "s", "b", false);
    EXPECT_EQ(r.status, SendStatus::Delivered) << r.reason;
    EXPECT_EQ(client.AuthMechanism(), "");
}

TEST(SmtpClientLimits, PortAndTimeoutTextsAreChecked) {
    std::string error;
    EXPECT_FALSE(SmtpSettingsFromTexts("h", "25x", "", "", "", "s", "1", &error));
    EXPECT_NE(error.find("25x"), std::string::npos);
    EXPECT_FALSE(SmtpSettingsFromTexts("h", "70000", "", "", "", "s", "1"));
    EXPECT_FALSE(SmtpSettingsFromTexts("h", "0", "", "", "", "s", "1"));
    const auto s = SmtpSettingsFromTexts("h", "", "TLS", "u", "p", "s", "0");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->port, 25);
    EXPECT_EQ(s->timeout, std::chrono::minutes(1));
    EXPECT_EQ(SmtpSettingsFromTexts("h", "587", "", "", "", "s", "5")->timeout,
              std::chrono::minutes(5));
}

}  // namespace
}  // namespace tarvell::smtp
