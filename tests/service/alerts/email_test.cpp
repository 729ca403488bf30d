// The e-mail alert channel and its reports against a real mail server on loopback (the
// distribution's aiosmtpd, tests/fixtures/smtp/smtp_server.py) with the real mail client; time is
// the engine's fake clock, so retries and reports run without waiting.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <thread>

#include "platform/RecursiveLock.h"
#include "service/actionlinks/LinkToken.h"
#include "service/alerts/CScanAlertsEmail.h"
#include "tests/support/Golden.h"
#include "tests/platform/smtp/SmtpFixture.h"
#include "tests/service/engine/EngineFixture.h"

namespace tarvell {
namespace {

using enginetest::EngineFixture;
using smtp::test::MailServers;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

// Sunday 6 December 2026 00:00:00 UTC, and the Saturday before it.
constexpr std::int64_t kSunday = 1796515200;
constexpr std::int64_t kSaturday = kSunday - 86400;

// A golden file of tests/fixtures/alerts, stored with LF: every line the system writes ends in
// CR LF.
std::string Golden(const std::string& name) {
    const std::string text =
        test::ReadGolden("alerts/" + name).value_or("(missing golden file " + name + ")");
    std::string out;
    for (const char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

// Sets TZ for the life of the object.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) old_ = old;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ScopedTimeZone() {
        if (old_) ::setenv("TZ", old_->c_str(), 1);
        else ::unsetenv("TZ");
        ::tzset();
    }

private:
    std::optional<std::string> old_;
};

bool WaitUntil(const std::function<bool()>& done, int limitMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// Whether this host has an interface that is up with an IPv4 address outside 127.0.0.0/8.
bool HasUpNonLoopbackIpv4() {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return false;
    bool found = false;
    for (const ifaddrs* it = list; it != nullptr; it = it->ifa_next) {
        if (it->ifa_addr == nullptr || it->ifa_addr->sa_family != AF_INET ||
            (it->ifa_flags & IFF_UP) == 0)
            continue;
        const auto* sin = reinterpret_cast<const sockaddr_in*>(it->ifa_addr);
        found = found || (ntohl(sin->sin_addr.s_addr) >> 24) != 127;
    }
    ::freeifaddrs(list);
    return found;
}

std::size_t TypeIndex(const std::string& type) {
    const auto& types = CTarvellFrm::EventTypes();
    for (std::size_t i = 0; i < types.size(); ++i)
        if (type == types[i]) return i;
    return 0;
}

struct Message {
    std::string headers;
    std::string body;
    std::string Subject() const {
        const std::size_t at = headers.find("\r\nSubject: ");
        if (at == std::string::npos) return {};
        return headers.substr(at + 11, headers.find("\r\n", at + 11) - at - 11);
    }
};

std::string DecodeQuotedPrintable(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '=' && text.compare(i + 1, 2, "\r\n") == 0) {
            i += 2;
        } else if (text[i] == '=' && i + 2 < text.size()) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// Headers and the decoded body of a stored message.
Message Split(const std::string& data) {
    const std::size_t blank = data.find("\r\n\r\n");
    if (blank == std::string::npos) return {data, {}};
    Message m{data.substr(0, blank), data.substr(blank + 4)};
    if (m.headers.find("quoted-printable") != std::string::npos)
        m.body = DecodeQuotedPrintable(m.body);
    return m;
}

// The href values of an HTML text, entities of "&" decoded.
std::vector<std::string> Links(const std::string& html) {
    std::vector<std::string> links;
    for (std::size_t at = html.find("href=\""); at != std::string::npos;
         at = html.find("href=\"", at + 1)) {
        std::string link = html.substr(at + 6, html.find('"', at + 6) - at - 6);
        for (std::size_t amp; (amp = link.find("&amp;")) != std::string::npos;)
            link.replace(amp, 5, "&");
        links.push_back(link);
    }
    return links;
}

std::map<std::string, std::string> QueryOf(const std::string& link) {
    std::map<std::string, std::string> out;
    std::istringstream parts(link.substr(link.find('?') + 1));
    for (std::string part; std::getline(parts, part, '&');)
        out[part.substr(0, part.find('='))] = part.substr(part.find('=') + 1);
    return out;
}

class EmailTest : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        mailDir = JoinPath(root, "mail");
        ASSERT_TRUE(MakeDirectories(mailDir));
        StartServer();
        clock.Set(kSaturday + 12 * 3600);
    }
    void TearDown() override {
        servers.reset();
        EngineFixture::TearDown();
    }
    void StartServer(std::uint16_t port = 0) {
        servers = std::make_unique<MailServers>(
            mailDir, std::vector<smtp::test::ServerSpec>{{"plain", "plain", "none", "-", port}});
        ASSERT_TRUE(servers->Ready()) << servers->Log();
        port_ = servers->Port("plain");
    }

    CTarvellDoc Settings() {
        CTarvellDoc doc;
        doc.SetDefaults();
        doc.AlertDescriptionTexts.assign(CTarvellFrm::EventTypes().size(), "");
        doc.AlertCauseTexts.assign(CTarvellFrm::EventTypes().size(), "");
        doc.AlertDescriptionTexts[TypeIndex("New Mac")] = "New Mac $current discovered";
        doc.AlertCauseTexts[TypeIndex("New Mac")] = "New Mac";
        doc.AlertDescriptionTexts[TypeIndex("System Blocking")] = "Port blocked by $submitter";
        doc.AlertCauseTexts[TypeIndex("System Blocking")] = "Port shut by policy";  // customised
        doc.EmailAlertsEnabled = 1;
        doc.SmtpServer = "127.0.0.1";
        doc.SmtpPort = std::to_string(port_);
        doc.SmtpSender = "tarvell@test.local";
        doc.SmtpSecurity = "";
        doc.SmtpTimeout = "1";
        doc.DailyReport = 0;
        doc.WeeklyReport = 0;
        doc.EmailRecipients = {"a@test.local"};
        return doc;
    }

    CAlertItem Alert(const std::string& type = "New Mac",
                     const std::string& deviceIp = "10.0.0.2") {
        CAlertItem alert;
        alert.Category = type == "System Blocking" ? "Prevention" : "Detection";
        alert.Description = alert.EventType = type;
        alert.DeviceIp = deviceIp;
        alert.DeviceName = "core-1";
        alert.DevicePort = "Gi0/7";
        alert.DeviceLocation = "Hall";
        alert.SwitchKey = "00AA11BB22CC";
        alert.PortKey = "7";
        alert.SourceMac = "001122334455";
        alert.SourceIp = "10.0.0.50";
        alert.SourceName = "pc-50";
        alert.Current = "001122334455";
        alert.Submitter = "policy";
        return alert;
    }
    void Queue(const std::string& key, const CAlertItem& alert) {
        RecursiveGuard guard(engine->AlertLock);
        engine->EmailQueue[key] = std::make_unique<CAlertItem>(alert);
    }
    std::vector<Message> MailsTo(const std::string& address) {
        std::vector<Message> out;
        for (const auto& stored : servers->MessagesTo("plain", address))
            out.push_back(Split(stored.data));
        return out;
    }
    int LogLinesWith(const std::string& text) {
        int n = 0;
        for (const auto& line : log.Lines()) n += line.find(text) != std::string::npos;
        return n;
    }

    std::string mailDir;
    std::unique_ptr<MailServers> servers;
    std::uint16_t port_ = 0;
};

// ---- recipients, filters, link mails

TEST_F(EmailTest, EachRecipientWhoseFiltersAcceptTheAlertGetsOneMail) {
    CTarvellDoc doc = Settings();
    doc.EmailRecipients = {"a@test.local", "b@test.local|2/192.168.*;0/Changed*",
                           "c@test.local|2/10.0.0.*"};
    UseSettings(doc);
    CScanAlertsEmail channel(*engine);
    Queue("1796472000.0", Alert());
    channel.Cycle();

    ASSERT_EQ(MailsTo("a@test.local").size(), 1u) << servers->Log();
    EXPECT_TRUE(MailsTo("b@test.local").empty());
    ASSERT_EQ(MailsTo("c@test.local").size(), 1u);
    const Message mail = MailsTo("c@test.local")[0];
    EXPECT_EQ(mail.Subject(), "New Mac");
    EXPECT_THAT(mail.body, HasSubstr("Device Name: core-1\r\nDevice Ip: 10.0.0.2\r\n"));
    EXPECT_THAT(mail.body, HasSubstr("Description: New Mac 001122334455 discovered\r\n"));
    EXPECT_THAT(mail.headers, HasSubstr("text/plain"));
    EXPECT_EQ(channel.PendingMails(), 0u);
}

TEST_F(EmailTest, TwoQueuedAlertsLeaveOldestFirstOneACycle) {
    UseSettings(Settings());
    CScanAlertsEmail channel(*engine);
    CAlertItem later = Alert();
    later.DeviceName = "later";
    CAlertItem earlier = Alert();
    earlier.DeviceName = "earlier";
    Queue("1796472000.10", later);  // as text it would sort before ".9"
    Queue("1796472000.9", earlier);
    channel.Cycle();
    ASSERT_EQ(MailsTo("a@test.local").size(), 1u);
    EXPECT_THAT(MailsTo("a@test.local")[0].body, HasSubstr("Device Name: earlier"));
    channel.Cycle();
    ASSERT_EQ(MailsTo("a@test.local").size(), 2u);
    EXPECT_THAT(MailsTo("a@test.local")[1].body, HasSubstr("Device Name: later"));
}

// Pins the blocking test on the alert's type: the cause text here is customised and the links stay.
TEST_F(EmailTest, ABlockingAlertGivesALinkMailWithValidTokensAtTheServiceAddress) {
    CTarvellDoc doc = Settings();
    doc.EmailUnblockLink = 1;
    doc.EmailDeleteLink = 1;
    doc.EmailBody = "Device Name: $device_name\r\nSource Name: $source_name\r\nLong: " +
                    std::string(1500, 'x') + "\r\n";
    UseSettings(doc);
    CScanAlertsEmail channel(*engine);
    CAlertItem alert = Alert("System Blocking");
    alert.DeviceName = "<b>core & edge</b>";
    alert.SourceName = "pc\rwith\nbreaks";
    Queue("1796472000.3", alert);
    channel.Cycle();

    ASSERT_EQ(MailsTo("a@test.local").size(), 1u) << servers->Log();
    const Message mail = MailsTo("a@test.local")[0];
    EXPECT_EQ(mail.Subject(), "Port shut by policy");
    EXPECT_THAT(mail.headers, HasSubstr("text/html"));
    // Values escaped, the template's line ends turned into "<br>" with CR LF.
    EXPECT_THAT(mail.body, HasSubstr("Device Name: &lt;b&gt;core &amp; edge&lt;/b&gt;<br>\r\n"));
    EXPECT_THAT(mail.body, HasSubstr("Source Name: pc<br>\r\nwith<br>\r\nbreaks<br>\r\n"));
    EXPECT_THAT(mail.body, Not(HasSubstr("<b>core")));
    const std::string wire = servers->MessagesTo("plain", "a@test.local")[0].data;
    for (std::size_t at = 0, end; at < wire.size(); at = end + 2) {
        end = wire.find("\r\n", at);
        ASSERT_NE(end, std::string::npos) << "last line without CR LF";
        const std::string line = wire.substr(at, end - at);
        EXPECT_LE(line.size(), 998u);
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos)
            << "bare CR or LF in " << line.substr(0, 60);
    }

    const std::string& html = mail.body;
    EXPECT_THAT(html, HasSubstr(">Unblock Only</a>"));
    EXPECT_THAT(html, HasSubstr(">Unblock &amp; Delete</a>"));
    EXPECT_THAT(html, HasSubstr("<td align=\"right\">"));
    const auto secret = LoadOrCreateLinkSecret(serviceFolder);
    ASSERT_TRUE(secret);
    const std::vector<std::string> links = Links(html);
    ASSERT_EQ(links.size(), 2u);
    const std::string address = ServiceLinkAddress();
    if (HasUpNonLoopbackIpv4()) EXPECT_NE(address.rfind("127.", 0), 0u) << address;
    else EXPECT_EQ(address, "127.0.0.1");
    const char* actions[] = {"None", "Delete"};
    for (std::size_t i = 0; i < links.size(); ++i) {
        EXPECT_EQ(links[i].rfind(
                      "http://" + address + ":49151/?Prog=Tarvell&Event=00AA11BB22CC/7&Action=", 0),
                  0u)
            << links[i];
        const auto query = QueryOf(links[i]);
        EXPECT_EQ(query.at("Action"), actions[i]);
        EXPECT_EQ(query.at("Key"), "1796472000.3");
        EXPECT_EQ(query.at("Until"), std::to_string(engine->clock().Now() + kLinkLifeSeconds));
        const LinkBinding binding{query.at("Date"), query.at("Mac"), std::stoll(query.at("Until"))};
        EXPECT_TRUE(CheckLinkToken(*secret, query.at("Event"), query.at("Action"), query.at("Key"),
                                   binding, query.at("Auth")));
    }
}

TEST_F(EmailTest, LinkButtonsFollowTheLinkSettingsAndTheScheduleWindow) {
    struct Case {
        const char* name;
        const char* type;
        int unblock, remove, scheduleLink, prevention;
        std::vector<std::string> schedule;
        std::vector<std::string> captions;  // empty: a plain mail
    } cases[] = {
        {"delete only", "System Blocking", 0, 1, 0, 0, {}, {"Unblock &amp; Delete"}},
        {"unblock only", "Manual Blocking", 1, 0, 0, 0, {}, {"Unblock Only"}},
        {"no link settings", "System Blocking", 0, 0, 0, 0, {}, {}},
        {"unblocking is no blocking", "System Unblocking", 1, 1, 0, 0, {}, {}},
        {"whole-day window", "New Mac", 0, 0, 1, 1, {"0/00:00:00/23:59:59"}, {"Delete Event"}},
        {"window but prevention off", "New Mac", 0, 0, 1, 0, {"0/00:00:00/23:59:59"}, {}},
        {"window closed", "New Mac", 0, 0, 1, 1, {"0/00:00:00/11:59:59"}, {}},
        {"blocking wins over window",
         "System Blocking",
         1,
         0,
         1,
         1,
         {"0/00:00:00/23:59:59"},
         {"Unblock Only"}},
    };
    ScopedTimeZone utc("UTC");
    int n = 0;
    for (const Case& c : cases) {
        CTarvellDoc doc = Settings();
        doc.EmailUnblockLink = c.unblock;
        doc.EmailDeleteLink = c.remove;
        doc.EmailScheduleDeleteLink = c.scheduleLink;
        doc.PreventionEnabled = c.prevention;
        doc.PreventionSchedule = c.schedule;
        doc.EmailRecipients = {"case" + std::to_string(n) + "@test.local"};
        UseSettings(doc);
        CScanAlertsEmail channel(*engine);
        channel.SetLinkAddress("192.0.2.10");
        Queue("1796472000." + std::to_string(n), Alert(c.type));
        channel.Cycle();
        const auto mails = MailsTo(doc.EmailRecipients[0]);
        ASSERT_EQ(mails.size(), 1u) << c.name;
        std::vector<std::string> captions;
        for (std::size_t at = mails[0].body.find("\">"); at != std::string::npos;
             at = mails[0].body.find("\">", at + 1)) {
            const std::size_t close = mails[0].body.find("</a>", at);
            if (close != std::string::npos &&
                mails[0].body.substr(at, close - at).find('<') == std::string::npos &&
                mails[0].body.rfind("href=", at) != std::string::npos)
                captions.push_back(mails[0].body.substr(at + 2, close - at - 2));
        }
        EXPECT_EQ(captions, c.captions) << c.name;
        EXPECT_THAT(mails[0].headers, HasSubstr(c.captions.empty() ? "text/plain" : "text/html"))
            << c.name;
        ++n;
    }
}

TEST(LinkMail, HtmlHasTheButtonsInOrder) {
    const std::string html =
        LinkMailHtml("Line one<br>\r\nLine two<br>\r\n",
                     {{"Unblock Only", "http://192.0.2.10:49151/?a=1&b=2"},
                      {"Unblock &amp; Delete", "http://192.0.2.10:49151/?a=3"}});
    EXPECT_EQ(html, Golden("link-mail.html"));
}

TEST(LinkMail, LineEndsBecomeBreaksWithCrLf) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"a\r\nb", "a<br>\r\nb"},
        {"a\nb", "a<br>\r\nb"},
        {"a\rb", "a<br>\r\nb"},
        {"a\r\n\r\nb\n", "a<br>\r\n<br>\r\nb<br>\r\n"},
        {"", ""},
        {"\n\r", "<br>\r\n<br>\r\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(HtmlLineBreaks(c.in), c.out) << c.in;
    EXPECT_EQ(HtmlText("<a href='x'>&\"</a>"), "&lt;a href=&#39;x&#39;&gt;&amp;&quot;&lt;/a&gt;");
}

TEST(LinkMail, RandomTextsNeverLeaveABareLineEndOrAnUnescapedTag) {
    std::mt19937 random(16);
    const char alphabet[] = {'a', '\r', '\n', '<', '>', '&', '"', ' '};
    for (int round = 0; round < 1000; ++round) {
        std::string text(random() % 40, ' ');
        for (char& c : text) c = alphabet[random() % sizeof alphabet];
        const std::string html = HtmlLineBreaks(HtmlText(text));
        for (std::size_t i = 0; i < html.size(); ++i) {
            if (html[i] == '\r') {
                ASSERT_EQ(html.compare(i, 2, "\r\n"), 0) << ::testing::PrintToString(text);
            }
            if (html[i] == '\n') {
                ASSERT_TRUE(i > 0 && html[i - 1] == '\r') << ::testing::PrintToString(text);
            }
            if (html[i] == '<') {
                ASSERT_EQ(html.compare(i, 4, "<br>"), 0) << ::testing::PrintToString(text);
            }
            if (html[i] == '>') {
                ASSERT_TRUE(i >= 3 && html.compare(i - 3, 4, "<br>") == 0)
                    << ::testing::PrintToString(text);
            }
        }
    }
}

TEST(LinkMail, ScheduleWindowsHoldOnTheirDayAndBothEnds) {
    ScopedTimeZone utc("UTC");
    Clock& clock = DefaultClock();
    auto local = [&clock](std::int64_t s) { return clock.LocalTime(s); };
    const std::tm saturdayNoon = clock.LocalTime(kSaturday + 12 * 3600);
    const std::string saturdayAt3 = std::to_string(kSaturday + 3 * 3600);
    const struct {
        std::vector<std::string> schedule;
        bool in;
    } cases[] = {
        {{"0/12:00:00/12:00:00"}, true},  // both ends included
        {{"0/12:00:01/13:00:00"}, false},
        {{"7/11:00:00/13:00:00"}, true},               // Saturday is 7
        {{"1/00:00:00/23:59:59"}, false},              // Sunday
        {{saturdayAt3 + "/11:00:00/12:30:00"}, true},  // a date given as seconds
        {{std::to_string(kSaturday - 86400) + "/00:00:00/23:59:59"}, false},
        {{"x/00:00:00/23:59:59", "0/1:00:00/23:59:59", "0/00:00:00"}, false},  // malformed entries
        {{"bad", "0/11:00:00/12:00:00"}, true},
        {{}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(InScheduleWindow(c.schedule, saturdayNoon, local), c.in)
            << ::testing::PrintToString(c.schedule);
}

// ---- test alerts and the report store

TEST_F(EmailTest, ATestAlertIsMailedWhileTheChannelIsOffAndNeverStoredForReports) {
    CTarvellDoc doc = Settings();
    doc.EmailAlertsEnabled = 0;
    doc.DailyReport = 1;
    doc.WeeklyReport = 1;
    doc.EmailRecipients = {"a@test.local", "b@test.local"};
    UseSettings(doc);
    CScanAlertsEmail channel(*engine);
    Queue("1796472000.0", Alert());  // a real alert waits while the channel is off
    engine->QueueTestAlert(136);
    EXPECT_EQ(engine->EmailTestFlag.load(), 1);
    channel.Cycle();
    EXPECT_EQ(engine->EmailTestFlag.load(), 0);
    ASSERT_EQ(MailsTo("a@test.local").size(), 1u) << servers->Log();
    ASSERT_EQ(MailsTo("b@test.local").size(), 1u);
    EXPECT_THAT(MailsTo("a@test.local")[0].body, HasSubstr("Device Name: localhost"));
    EXPECT_EQ(LogLinesWith("E-mail test alert 1796472000.1 delivered to 2 of 2 recipients"), 1);
    {
        RecursiveGuard guard(engine->MailLock);
        EXPECT_TRUE(engine->ReportStore.empty());
    }
    channel.Cycle();  // off again: nothing more is mailed, the real alert stays queued
    EXPECT_EQ(MailsTo("a@test.local").size(), 1u);
    RecursiveGuard guard(engine->AlertLock);
    EXPECT_EQ(engine->EmailQueue.count("1796472000.0"), 1u);
}

// Pins report-store membership on the alert: a test alert taken while the channel is on with
// the test flag clear is still kept out, and a real alert is kept.
TEST_F(EmailTest, TheReportStoreKeepsRealAlertsOnly) {
    CTarvellDoc doc = Settings();
    doc.DailyReport = 1;
    UseSettings(doc);
    CScanAlertsEmail channel(*engine);
    CAlertItem test = Alert();
    test.Category = "Test Alert";
    Queue("1796472000.0", test);
    Queue("1796472000.1", Alert());
    channel.Cycle();
    channel.Cycle();
    RecursiveGuard guard(engine->MailLock);
    EXPECT_EQ(engine->ReportStore.size(), 1u);
    EXPECT_EQ(engine->ReportStore.count("1796472000.1"), 1u);
}

// ---- failures and retries

// Pins the retry of mails that met a passing failure (they were lost before).
TEST_F(EmailTest, WithTheServerStoppedAnAlertWaitsAndIsDeliveredWhenItIsBack) {
    UseSettings(Settings());
    CScanAlertsEmail channel(*engine);
    const std::uint16_t port = port_;
    servers.reset();
    const std::int64_t start = clock.Now();
    engine->NoteDelivered(engine->EmailQueue, "1796471999.0");
    Queue("1796472000.0", Alert());
    channel.Cycle();
    ASSERT_EQ(channel.PendingMails(), 1u);
    // A waiting mail keeps its alert out of the delivered record, so a restart mails it again.
    EXPECT_EQ(engine->DeliveredMark(engine->EmailQueue), "1796471999.0");
    EXPECT_EQ(channel.NextRetryAt(), start + 60);
    EXPECT_EQ(LogLinesWith("E-mail alert to a@test.local could not be delivered"), 1);

    // Still away: waits of 2, 4, 8, 16 and then 30 minutes at most; logged once.
    const std::int64_t waits[] = {120, 240, 480, 960, 1800, 1800};
    for (const std::int64_t wait : waits) {
        clock.Set(*channel.NextRetryAt() - 1);
        channel.Cycle();
        const std::int64_t due = *channel.NextRetryAt();
        clock.Set(due);
        channel.Cycle();
        EXPECT_EQ(*channel.NextRetryAt(), due + wait);
    }
    EXPECT_EQ(LogLinesWith("E-mail alert to a@test.local could not be delivered"), 1);

    StartServer(port);
    clock.Set(*channel.NextRetryAt() - 1);
    channel.Cycle();
    EXPECT_TRUE(MailsTo("a@test.local").empty());
    clock.Set(*channel.NextRetryAt());
    channel.Cycle();
    EXPECT_EQ(channel.PendingMails(), 0u);
    ASSERT_EQ(MailsTo("a@test.local").size(), 1u) << servers->Log();
    EXPECT_EQ(LogLinesWith("E-mail alerts to a@test.local are delivered again"), 1);
    EXPECT_EQ(ReadWholeFile(engine->DeliveredMarkPath()).value_or(""), "Email 1796472000.0\n");
}

TEST_F(EmailTest, AMailThatCannotBeDeliveredInADayIsDroppedAndLogged) {
    UseSettings(Settings());
    CScanAlertsEmail channel(*engine);
    servers.reset();
    Queue("1796472000.0", Alert());
    channel.Cycle();
    for (int i = 0; i < 100 && channel.PendingMails() > 0; ++i) {
        clock.Set(*channel.NextRetryAt());
        channel.Cycle();
    }
    EXPECT_EQ(channel.PendingMails(), 0u);
    EXPECT_EQ(LogLinesWith("could not be delivered in 24 hours"), 1);
    EXPECT_LE(clock.Now(), 1796472000 + 24 * 3600 + 1800);
}

TEST_F(EmailTest, ABusyRecipientWaitsWithoutHoldingUpTheOthersAndARefusedOneIsDropped) {
    CTarvellDoc doc = Settings();
    doc.EmailRecipients = {"busy@test.local", "a@test.local", "refused@test.local"};
    UseSettings(doc);
    CScanAlertsEmail channel(*engine);
    Queue("1796472000.0", Alert());
    Queue("1796472001.0", Alert());
    channel.Cycle();
    channel.Cycle();
    EXPECT_EQ(MailsTo("a@test.local").size(), 2u) << servers->Log();
    EXPECT_EQ(channel.PendingMails(),
              2u);  // the busy recipient's two mails; the refused ones are gone
    EXPECT_EQ(engine->DeliveredMark(engine->EmailQueue), "0.0");  // no alert done with for all
    EXPECT_EQ(LogLinesWith("alert to busy@test.local could not be delivered"), 1);
    const auto refused = LogLinesWith("alert to refused@test.local could not be delivered");
    EXPECT_EQ(refused, 1);
    EXPECT_EQ(LogLinesWith("550"), 1);
    EXPECT_EQ(LogLinesWith("the mail is dropped"), 1);
}

// ---- the thread

class EmailChannelConcurrencyTest : public EmailTest {};

// A recipient whose server never answers RCPT holds up neither the other's mails nor the stop,
// and the delivered mark stays before the alerts whose mails it has not had.
TEST_F(EmailChannelConcurrencyTest, AStalledRecipientHoldsNeitherTheOthersMailsNorTheStop) {
    CTarvellDoc doc = Settings();
    doc.EmailRecipients = {"stall@test.local", "a@test.local"};
    UseSettings(doc);
    engine->NoteDelivered(engine->EmailQueue, "1796471999.0");
    auto channel = std::make_unique<CScanAlertsEmail>(*engine, 10);
    ASSERT_TRUE(channel->Start());
    for (int i = 0; i < 3; ++i) Queue("179647200" + std::to_string(i) + ".0", Alert());
    EXPECT_TRUE(WaitUntil([&] { return MailsTo("a@test.local").size() == 3; }, 5'000));
    EXPECT_EQ(engine->DeliveredMark(engine->EmailQueue), "1796471999.0");
    const auto stopAt = std::chrono::steady_clock::now();
    channel->StopAndJoin();
    EXPECT_LT(std::chrono::steady_clock::now() - stopAt, std::chrono::seconds(1));
    EXPECT_TRUE(MailsTo("stall@test.local").empty());
}

TEST_F(EmailTest, MoreRecipientsThanLanesEachGetTheirMailsInAlertOrder) {
    CTarvellDoc doc = Settings();
    doc.EmailRecipients.clear();
    for (std::size_t r = 0; r < kMailLanes + 3; ++r)
        doc.EmailRecipients.push_back("r" + std::to_string(r) + "@test.local");
    UseSettings(doc);
    CScanAlertsEmail channel(*engine, 1);  // alerts come faster than the lanes send
    for (int i = 0; i < 4; ++i) {
        CAlertItem alert = Alert();
        alert.DeviceName = "n" + std::to_string(i);
        Queue("179647200" + std::to_string(i) + ".0", alert);
    }
    ASSERT_TRUE(channel.Start());
    for (const std::string& address : doc.EmailRecipients) {
        ASSERT_TRUE(WaitUntil([&] { return MailsTo(address).size() == 4; }, 10'000)) << address;
        for (int i = 0; i < 4; ++i)
            EXPECT_THAT(MailsTo(address)[i].body, HasSubstr("Name: n" + std::to_string(i) + "\r"));
    }
    EXPECT_TRUE(WaitUntil(
        [&] { return engine->DeliveredMark(engine->EmailQueue) == "1796472003.0"; }, 5'000));
}

TEST_F(EmailChannelConcurrencyTest, AlertsFromSeveralThreadsAreAllMailedAndTheStopIsClean) {
    CTarvellDoc doc = Settings();
    doc.DailyReport = 1;
    UseSettings(doc);
    auto channel = std::make_unique<CScanAlertsEmail>(*engine, 10);
    ASSERT_TRUE(channel->Start());
    constexpr int kPerThread = 10;
    std::vector<std::thread> producers;
    for (int t = 0; t < 2; ++t) {
        producers.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) {
                CAlertItem alert = Alert();
                alert.DeviceName = "switch-" + std::to_string(t) + "-" + std::to_string(i);
                engine->QueueAlert(std::make_unique<CAlertItem>(alert));
            }
        });
    }
    // The engine's save pass reads the report store meanwhile.
    std::atomic<bool> saving{true};
    std::thread saver([&] {
        while (saving) engine->SaveReportStore();
    });
    for (auto& p : producers) p.join();
    EXPECT_TRUE(WaitUntil([&] { return MailsTo("a@test.local").size() == 2 * kPerThread; }, 30'000))
        << MailsTo("a@test.local").size();
    saving = false;
    saver.join();
    channel->StopAndJoin();
    EXPECT_FALSE(channel->IsRunning());
    RecursiveGuard guard(engine->MailLock);
    EXPECT_EQ(engine->ReportStore.size(), static_cast<std::size_t>(2 * kPerThread));
}

// ---- reports

class ReportTest : public EmailTest {
protected:
    void SetUp() override {
        EmailTest::SetUp();
        CTarvellDoc doc = Settings();
        doc.DailyReport = 1;
        doc.WeeklyReport = 1;
        doc.EmailRecipients = {"a@test.local", "b@test.local|0/Nothing*"};  // filters do not apply
        UseSettings(doc);
    }
    void Store(const std::string& key, const CAlertItem& alert) {
        RecursiveGuard guard(engine->MailLock);
        engine->ReportStore[key] = std::make_unique<CAlertItem>(alert);
    }
    std::vector<std::string> Subjects(const std::string& address) {
        std::vector<std::string> out;
        for (const auto& mail : MailsTo(address)) out.push_back(mail.Subject());
        return out;
    }
    ScopedTimeZone utc_{"UTC"};
};

TEST_F(ReportTest, TheSundayCheckSendsBothReportsToEveryRecipient) {
    CScanAlertsEmail channel(*engine);
    clock.Set(kSaturday + 12 * 3600);
    channel.CheckReports();  // the first check only sets the dates
    EXPECT_TRUE(MailsTo("a@test.local").empty());
    channel.CheckReports();
    clock.Set(kSunday + 5);
    channel.CheckReports();
    EXPECT_THAT(Subjects("a@test.local"),
                ElementsAre("Tarvell - daily report", "Tarvell - weekly report"));
    EXPECT_THAT(Subjects("b@test.local"),
                ElementsAre("Tarvell - daily report", "Tarvell - weekly report"));
    const std::string empty = Golden("report-empty.html");
    for (const auto& mail : MailsTo("a@test.local"))
        EXPECT_THAT(mail.headers, HasSubstr("text/html"));
    EXPECT_EQ(MailsTo("a@test.local")[0].body, empty);
    std::string weekly = empty;
    weekly.replace(weekly.find("daily"), 5, "weekly");
    EXPECT_EQ(MailsTo("a@test.local")[1].body, weekly);
    channel.CheckReports();  // once a day
    EXPECT_EQ(MailsTo("a@test.local").size(), 2u);
    RecursiveGuard guard(engine->MailLock);
    EXPECT_EQ(engine->LastDailyReport, std::to_string(kSunday));
    EXPECT_EQ(engine->LastWeeklyReport, std::to_string(kSunday));
}

TEST_F(ReportTest, AReportListsItsPeriodNewestFirstAsTheGoldenFile) {
    CScanAlertsEmail channel(*engine);
    CAlertItem first = Alert();
    first.DeviceName = "core & <edge>";
    CAlertItem second = Alert("System Blocking");
    second.SourceName = "pc-51";
    CAlertItem third = Alert();
    third.Current = "0099AABBCCDD";
    Store(std::to_string(kSaturday + 3600) + ".9", first);
    Store(std::to_string(kSaturday + 3600) + ".10", second);  // same second, later counter
    Store(std::to_string(kSaturday + 80000) + ".0", third);
    Store(std::to_string(kSunday) + ".0", Alert());        // the next day's
    Store(std::to_string(kSaturday - 1) + ".0", Alert());  // the day before
    channel.BuildReport(1, "daily report", kSunday);
    ASSERT_EQ(MailsTo("a@test.local").size(), 1u) << servers->Log();
    EXPECT_EQ(MailsTo("a@test.local")[0].body, Golden("report-three.html"));
}

TEST_F(ReportTest, OnlyTheChosenColumnsAreShown) {
    std::array<std::int32_t, 9> columns{};
    columns[0] = columns[8] = 1;
    ReportRow row;
    for (int i = 0; i < 9; ++i) row.values[i] = "v" + std::to_string(i);
    const std::string html = ReportHtml("daily report", kSunday, {row}, columns);
    EXPECT_THAT(
        html,
        HasSubstr(
            "<tr bgcolor=\"#FFFFFF\"><td><font size=\"2\" color=\"#535353\" "
            "face=\"arial\">&nbsp;v0</font></td>"
            "<td><font size=\"2\" color=\"#535353\" face=\"arial\">&nbsp;v8</font></td></tr>\r\n"));
    EXPECT_THAT(ReportHtml("daily report", kSunday, {}, columns), HasSubstr("colspan=\"2\""));
}

// Pins the half-open period: an alert keyed at midnight is in exactly one daily report, and the
// Sunday clean-up keeps it for the next one.
TEST_F(ReportTest, AnAlertKeyedAtMidnightIsCountedOnce) {
    CScanAlertsEmail channel(*engine);
    clock.Set(kSaturday + 12 * 3600);
    channel.CheckReports();
    CAlertItem midnight = Alert();
    midnight.DeviceName = "midnight-switch";
    Store(std::to_string(kSunday) + ".0", midnight);
    Store(std::to_string(kSaturday + 7200) + ".0", Alert());
    clock.Set(kSunday + 1);
    channel.CheckReports();
    {
        RecursiveGuard guard(engine->MailLock);
        EXPECT_EQ(engine->ReportStore.size(), 1u);  // Saturday's alert went with the weekly report
        EXPECT_EQ(engine->ReportStore.count(std::to_string(kSunday) + ".0"), 1u);
    }
    clock.Set(kSunday + 86400 + 1);
    channel.CheckReports();
    int seen = 0;
    for (const auto& mail : MailsTo("a@test.local"))
        seen += mail.body.find("midnight-switch") != std::string::npos;
    EXPECT_EQ(seen, 1);
    EXPECT_EQ(MailsTo("a@test.local").size(), 3u);
}

TEST_F(ReportTest, TheStoreIsEmptiedOnSundaysAlsoWithoutTheWeeklyReport) {
    CTarvellDoc doc = Settings();
    doc.DailyReport = 1;
    doc.WeeklyReport = 0;
    UseSettings(doc);
    CScanAlertsEmail channel(*engine);
    clock.Set(kSaturday + 12 * 3600);
    channel.CheckReports();
    Store(std::to_string(kSaturday + 7200) + ".0", Alert());
    clock.Set(kSunday + 1);
    channel.CheckReports();
    EXPECT_THAT(Subjects("a@test.local"), ElementsAre("Tarvell - daily report"));
    RecursiveGuard guard(engine->MailLock);
    EXPECT_TRUE(engine->ReportStore.empty());
}

// Pins the saving of the report dates with an empty store (they were lost at a restart).
TEST_F(ReportTest, TheReportDatesSurviveARestart) {
    {
        CScanAlertsEmail channel(*engine);
        clock.Set(kSaturday + 12 * 3600);
        channel.CheckReports();
        clock.Set(kSunday + 1);
        channel.CheckReports();
    }
    ASSERT_TRUE(engine->SaveReportStore());
    auto second = std::make_unique<CTarvellFrm>(Environment());
    second->LoadReportStore();
    EXPECT_EQ(second->LastDailyReport, std::to_string(kSunday));
    EXPECT_EQ(second->LastWeeklyReport, std::to_string(kSunday));
    // The restarted channel sends nothing more that day, and Monday's daily report.
    *second->Document = *engine->Document;
    second->PublishSettings();
    CScanAlertsEmail channel(*second);
    clock.Set(kSunday + 3600);
    channel.CheckReports();
    EXPECT_EQ(MailsTo("a@test.local").size(), 2u);
    clock.Set(kSunday + 86400 + 10);
    channel.CheckReports();
    EXPECT_THAT(
        Subjects("a@test.local"),
        ElementsAre("Tarvell - daily report", "Tarvell - weekly report", "Tarvell - daily report"));
}

TEST(ReportPeriod, MidnightsComeFromTheCalendar) {
    ScopedTimeZone newYork("America/New_York");
    // 2026-03-08 (23 hours) and 2026-11-01 (25 hours) are the clock-change days there.
    const struct {
        const char* name;
        std::int64_t inDay;
        std::int64_t length;
    } cases[] = {
        {"spring", 1772946000 + 12 * 3600, 23 * 3600},
        {"autumn", 1793505600 + 12 * 3600, 25 * 3600},
        {"plain", 1796533200 + 12 * 3600, 24 * 3600},
    };
    for (const auto& c : cases) {
        const std::int64_t start = LocalMidnight(c.inDay);
        const std::tm tm = DefaultClock().LocalTime(start);
        EXPECT_EQ(tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec, 0) << c.name;
        EXPECT_EQ(AddLocalDays(start, 1) - start, c.length) << c.name;
        EXPECT_EQ(AddLocalDays(AddLocalDays(start, 1), -1), start) << c.name;
        EXPECT_EQ(LocalMidnight(start), start) << c.name;
    }
}

}  // namespace
}  // namespace tarvell
