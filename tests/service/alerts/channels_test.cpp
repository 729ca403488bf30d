// The syslog and SNMP trap alert channels against real receivers: a UDP socket of the test and
// rsyslogd for syslog, snmptrapd for traps.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "platform/ManualResetEvent.h"
#include "platform/RecursiveLock.h"
#include "service/alerts/CScanAlertsSnmp.h"
#include "service/alerts/CScanAlertsSyslog.h"
#include "tests/support/Golden.h"
#include "tests/fixtures/snmp/SnmpPeers.h"
#include "tests/service/engine/EngineFixture.h"

namespace tarvell {
namespace {

using enginetest::EngineFixture;
using ::testing::HasSubstr;
using ::testing::Not;

std::string FixturePath(const std::string& name) { return test::GoldenPath("alerts/" + name); }

// "name<TAB>bytes" lines; "\r" and "\n" stand for CR and LF.
std::map<std::string, std::string> ReadGolden(const std::string& name) {
    std::map<std::string, std::string> golden;
    std::ifstream in(FixturePath(name));
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        const std::size_t tab = line.find('\t');
        golden[line.substr(0, tab)] = tab == std::string::npos ? "" : line.substr(tab + 1);
    }
    return golden;
}

// A UDP socket on a free loopback port that collects datagrams.
class UdpSink {
public:
    UdpSink() {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in sin{};
        sin.sin_family = AF_INET;
        sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof sin;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&sin), sizeof sin);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&sin), &len);
        port_ = ntohs(sin.sin_port);
    }
    ~UdpSink() { ::close(fd_); }
    std::uint16_t Port() const { return port_; }
    // The datagrams that arrive within `ms` of the last one.
    std::vector<std::string> Drain(int ms = 300) {
        std::vector<std::string> got;
        pollfd p{fd_, POLLIN, 0};
        while (::poll(&p, 1, ms) > 0) {
            char buffer[65536];
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n < 0) break;
            got.emplace_back(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }

private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
};

std::size_t TypeIndex(const std::string& type) {
    const auto& types = CTarvellFrm::EventTypes();
    for (std::size_t i = 0; i < types.size(); ++i)
        if (type == types[i]) return i;
    return 0;
}

class ChannelTest : public EngineFixture {
protected:
    CTarvellDoc Settings() {
        CTarvellDoc doc;
        doc.SetDefaults();
        doc.AlertDescriptionTexts.assign(CTarvellFrm::EventTypes().size(), "");
        doc.AlertDescriptionTexts[TypeIndex("New Mac")] = "New Mac $current discovered";
        doc.AlertDescriptionTexts[TypeIndex("System Blocking")] = "System Blocking due to $cause";
        doc.AlertCauseTexts.assign(CTarvellFrm::EventTypes().size(), "");
        doc.AlertCauseTexts[TypeIndex("System Blocking")] = "the $cause rule";
        return doc;
    }
    void Queue(ObjectMap<CAlertItem>& queue, const std::string& key, const std::string& category,
               const std::string& type = "New Mac", const std::string& deviceIp = "10.0.0.2",
               const std::string& current = "00AABBCCDDEE") {
        auto alert = std::make_unique<CAlertItem>();
        alert->Category = category;
        alert->Description = alert->EventType = type;
        alert->DeviceIp = deviceIp;
        alert->DevicePort = "7";
        alert->Current = current;
        alert->DeviceName = "core-1";
        RecursiveGuard guard(engine->AlertLock);
        queue[key] = std::move(alert);
    }
};

// ---- syslog

TEST_F(ChannelTest, SyslogDatagramsCarryThePriorityOfTheirModeAndCategory) {
    const auto golden = ReadGolden("syslog-datagrams.txt");
    UdpSink sink;
    CScanAlertsSyslog channel(*engine, sink.Port());
    struct Case {
        const char* name;
        int standard, specific, facility, severity;
        const char* category;
    } cases[] = {
        {"standard-detection", 1, 0, 0, 0, "Detection"},
        {"standard-prevention", 1, 0, 0, 0, "Prevention"},
        {"standard-test", 1, 1, 3, 3, "Test Alert"},  // standard wins over specific
        {"specific-local0-emergency", 0, 1, 0, 0, "Detection"},
        {"specific-local7-debug", 0, 1, 7, 7, "Detection"},
        {"specific-local4-warning", 0, 1, 4, 4, "Prevention"},
        {"no-mode", 0, 0, 2, 2, "Detection"},
    };
    for (const Case& c : cases) {
        CTarvellDoc doc = Settings();
        doc.SyslogAlertsOn = 1;
        doc.SyslogStandardMode = c.standard;
        doc.SyslogSpecificMode = c.specific;
        doc.SyslogFacility = c.facility;
        doc.SyslogSeverity = c.severity;
        doc.SyslogListeners = {"127.0.0.1"};
        UseSettings(doc);
        Queue(engine->SyslogQueue, "1700000000.1", c.category);
        ASSERT_TRUE(channel.TakeOnce()) << c.name;
        EXPECT_THAT(sink.Drain(), ::testing::ElementsAre(golden.at(c.name))) << c.name;
    }
}

TEST_F(ChannelTest, ControlBytesOfAnAlertCannotStartASyslogRecordOfTheirOwn) {
    UdpSink sink;
    CScanAlertsSyslog channel(*engine, sink.Port());
    CTarvellDoc doc = Settings();
    doc.SyslogAlertsOn = 1;
    doc.SyslogStandardMode = 1;
    doc.SyslogListeners = {"127.0.0.1"};
    UseSettings(doc);
    Queue(engine->SyslogQueue, "1700000000.1", "Detection", "New Mac", "10.0.0.2",
          "00AA\r\n<13>forged\x7F\t");
    {
        RecursiveGuard guard(engine->AlertLock);
        engine->SyslogQueue["1700000000.1"]->DevicePort =
            "Gi1/0/7\r\n<13>Jan  1 00:00:00 host forged:";
    }
    ASSERT_TRUE(channel.TakeOnce());
    EXPECT_THAT(sink.Drain(),
                ::testing::ElementsAre("<134>10.0.0.2/Gi1/0/7  <13>Jan  1 00:00:00 host forged:: "
                                       "New Mac 00AA  <13>forged   discovered"));
}

TEST_F(ChannelTest, SyslogListenersGetOnlyWhatTheirFiltersAccept) {
    UdpSink sink;
    CScanAlertsSyslog channel(*engine, sink.Port());
    struct Case {
        const char* listener;
        int fromTen;
        int fromEleven;
    } cases[] = {
        {"127.0.0.1", 1, 1},
        {"127.0.0.1|2/10.0.0.*", 1, 0},
        {"127.0.0.1|9/x", 0, 0},      // unknown type
        {"127.0.0.1|nothing", 0, 0},  // no "/"
        {"127.0.0.1|1/edge*;8/*discovered", 1, 1},
        {"not-an-address", 0, 0},
    };
    for (const Case& c : cases) {
        CTarvellDoc doc = Settings();
        doc.SyslogAlertsOn = 1;
        doc.SyslogStandardMode = 1;
        doc.SyslogListeners = {c.listener};
        UseSettings(doc);
        Queue(engine->SyslogQueue, "1700000000.1", "Detection", "New Mac", "10.0.0.9");
        ASSERT_TRUE(channel.TakeOnce());
        EXPECT_EQ(sink.Drain(150).size(), static_cast<std::size_t>(c.fromTen)) << c.listener;
        Queue(engine->SyslogQueue, "1700000000.2", "Detection", "New Mac", "10.0.1.9");
        ASSERT_TRUE(channel.TakeOnce());
        EXPECT_EQ(sink.Drain(150).size(), static_cast<std::size_t>(c.fromEleven)) << c.listener;
    }
    EXPECT_TRUE(LogMentions("Syslog alert to not-an-address could not be delivered"));
}

TEST_F(ChannelTest, AlertsLeaveOldestFirstOnePerRound) {
    UdpSink sink;
    CScanAlertsSyslog channel(*engine, sink.Port());
    CTarvellDoc doc = Settings();
    doc.SyslogAlertsOn = 1;
    doc.SyslogListeners = {"127.0.0.1"};
    UseSettings(doc);
    // As text "10.1" sorts before "9.2"; as times it comes last.
    Queue(engine->SyslogQueue, "10.1", "Detection", "New Mac", "10.0.0.2", "third");
    Queue(engine->SyslogQueue, "9.2", "Detection", "New Mac", "10.0.0.2", "second");
    Queue(engine->SyslogQueue, "9.1", "Detection", "New Mac", "10.0.0.2", "first");
    std::vector<std::string> got;
    while (channel.TakeOnce())
        for (const std::string& d : sink.Drain(200)) got.push_back(d);
    EXPECT_THAT(
        got, ::testing::ElementsAre(HasSubstr("first"), HasSubstr("second"), HasSubstr("third")));
}

TEST_F(ChannelTest, ATestRequestSendsTheTestAlertOnceWhileTheChannelIsOff) {
    UdpSink sink;
    CScanAlertsSyslog channel(*engine, sink.Port());
    CTarvellDoc doc = Settings();
    doc.SyslogStandardMode = 1;
    doc.SyslogListeners = {"127.0.0.1"};
    UseSettings(doc);
    Queue(engine->SyslogQueue, "1.1",
          "Detection");  // left from before the channel was switched off
    engine->QueueTestAlert(AlertChannel::Syslog);
    ASSERT_TRUE(channel.TakeOnce());
    const auto got = sink.Drain();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_TRUE(got[0].starts_with("<191>127.0.0.1/0: ")) << got[0];
    EXPECT_EQ(engine->SyslogTestFlag.load(), 0);
    EXPECT_FALSE(channel.TakeOnce());  // the flag is spent; the old alert waits
    EXPECT_EQ(engine->SyslogQueue.size(), 1u);
}

TEST_F(ChannelTest, ACauseTextThatHoldsItsOwnMacroIsInsertedOnce) {
    UdpSink sink;
    CScanAlertsSyslog channel(*engine, sink.Port());
    CTarvellDoc doc = Settings();
    doc.SyslogAlertsOn = 1;
    doc.SyslogStandardMode = 1;
    doc.SyslogListeners = {"127.0.0.1"};
    UseSettings(doc);
    Queue(engine->SyslogQueue, "1.1", "Prevention", "System Blocking");
    ASSERT_TRUE(channel.TakeOnce());
    EXPECT_THAT(sink.Drain(),
                ::testing::ElementsAre("<132>10.0.0.2/7: System Blocking due to the $cause rule"));
}

// rsyslogd parses the datagram: its tag is "DeviceIp/DevicePort:".
TEST_F(ChannelTest, RsyslogdReadsTheTagAndTheText) {
    if (::access("/usr/sbin/rsyslogd", X_OK) != 0) GTEST_SKIP() << "rsyslogd is not installed";
    snmptest::TempDir dir("rsyslog");
    const std::uint16_t port = snmptest::FreeUdpPort();
    const std::string out = dir / "received.log";
    std::ostringstream conf;
    conf << "global(workDirectory=\"" << dir.Path().string() << "\")\n"
         << "module(load=\"imudp\")\n"
         << "input(type=\"imudp\" address=\"127.0.0.1\" port=\"" << port << "\")\n"
         << "template(name=\"t\" type=\"string\" string=\"pri=%pri% tag=%syslogtag% "
            "msg=%msg%\\n\")\n"
         << "*.* action(type=\"omfile\" file=\"" << out << "\" template=\"t\")\n";
    snmptest::WriteFile(dir / "rsyslog.conf", conf.str());
    snmptest::PeerProcess rsyslogd;
    ASSERT_TRUE(
        rsyslogd.Start({"/usr/sbin/rsyslogd", "-n", "-f", dir / "rsyslog.conf", "-i", dir / "pid"},
                       dir / "rsyslogd.log"));
    CScanAlertsSyslog channel(*engine, port);
    CTarvellDoc doc = Settings();
    doc.SyslogAlertsOn = 1;
    doc.SyslogStandardMode = 1;
    doc.SyslogListeners = {"127.0.0.1"};
    UseSettings(doc);
    // rsyslogd may take a moment to listen: send until something arrives.
    const bool received = snmptest::WaitUntil(
        [&] {
            Queue(engine->SyslogQueue, "1.1", "Detection");
            channel.TakeOnce();
            return snmptest::ReadFile(out).find("tag=") != std::string::npos;
        },
        std::chrono::seconds(20));
    ASSERT_TRUE(received) << rsyslogd.Log();
    EXPECT_THAT(snmptest::ReadFile(out),
                HasSubstr("pri=134 tag=10.0.0.2/7: msg= New Mac 00AABBCCDDEE discovered"));
}

// ---- SNMP traps

class TrapChannelTest : public ChannelTest {
protected:
    // An engine whose SNMP client sends traps to `port`.
    void StartEngine(std::uint16_t port) {
        EngineEnvironment env = Environment();
        env.trapManagerPort = port;
        engine = std::make_unique<CTarvellFrm>(env);
        engine->StartUp(stop_);
    }
    CTarvellDoc TrapSettings(const std::vector<std::string>& managers) {
        CTarvellDoc doc = Settings();
        doc.SnmpAlertsOn = 1;
        doc.SnmpManagers = managers;
        doc.SnmpTimeout = 1000;
        doc.SnmpRetries = 0;
        return doc;
    }
    ManualResetEvent stop_;
    const snmptest::SimUser user_{"trapuser", "MD5", "authpass1", "DES", "privpass1"};
};

TEST_F(TrapChannelTest, DetectionAndTestAlertsGoToThePublicEnterprise) {
    snmptest::Snmptrapd trapd;
    ASSERT_TRUE(trapd.Start(user_, "54617276656C6C")) << trapd.Log();
    StartEngine(trapd.Port());
    CScanAlertsSnmp channel(*engine);
    CTarvellDoc doc = TrapSettings({"127.0.0.1"});
    doc.SnmpTrapCommunityOn = 1;  // ignored without specific traps
    doc.SnmpTrapCommunity = "secret";
    doc.SnmpTrapEnterprise = "1.3.6.1.4.1.99999";
    UseSettings(doc);
    Queue(engine->SnmpQueue, "1.1", "Detection");
    ASSERT_TRUE(channel.TakeOnce());
    ASSERT_TRUE(
        trapd.WaitForLog("10.0.0.2/7: New Mac 00AABBCCDDEE discovered", std::chrono::seconds(10)))
        << trapd.Log();
    EXPECT_THAT(trapd.Log(), HasSubstr(".1.3.6.1.3 Enterprise Specific Trap (1)"));
    EXPECT_THAT(
        trapd.Log(),
        HasSubstr(".1.3.6.1.3.1 = STRING: \"10.0.0.2/7: New Mac 00AABBCCDDEE discovered\""));

    engine->QueueTestAlert(AlertChannel::Snmp);
    doc.SnmpAlertsOn = 0;
    UseSettings(doc);
    ASSERT_TRUE(channel.TakeOnce());
    ASSERT_TRUE(trapd.WaitForLog("Enterprise Specific Trap (3)", std::chrono::seconds(10)))
        << trapd.Log();
    EXPECT_THAT(trapd.Log(), HasSubstr(".1.3.6.1 Enterprise Specific Trap (3)"));
}

TEST_F(TrapChannelTest, ASpecificEnterpriseAndCommunityAreHonoured) {
    snmptest::Snmptrapd trapd;
    ASSERT_TRUE(trapd.Start(user_, "54617276656C6C", std::chrono::seconds(20), "secret"))
        << trapd.Log();
    StartEngine(trapd.Port());
    CScanAlertsSnmp channel(*engine);
    CTarvellDoc doc = TrapSettings({"127.0.0.1"});
    doc.SnmpTrapSpecific = 1;
    doc.SnmpTrapCommunityOn = 1;
    doc.SnmpTrapCommunity = "secret";
    doc.SnmpTrapEnterprise = ".1.3.6.1.4.1.99999";
    UseSettings(doc);
    Queue(engine->SnmpQueue, "1.1", "Prevention", "System Blocking");
    ASSERT_TRUE(channel.TakeOnce());
    ASSERT_TRUE(trapd.WaitForLog("System Blocking due to", std::chrono::seconds(10)))
        << trapd.Log();
    EXPECT_THAT(trapd.Log(), HasSubstr("community secret"));
    EXPECT_THAT(trapd.Log(), HasSubstr(".1.3.6.1.4.1.99999 Enterprise Specific Trap (2)"));
    EXPECT_THAT(trapd.Log(), HasSubstr(".1.3.6.1.4.1.99999.2 = STRING:"));

    // A wrong community is not logged by the manager.
    doc.SnmpTrapCommunity = "wrong";
    UseSettings(doc);
    Queue(engine->SnmpQueue, "1.2", "Detection", "New Mac", "10.9.9.9");
    ASSERT_TRUE(channel.TakeOnce());
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_THAT(trapd.Log(), Not(HasSubstr("10.9.9.9")));
}

TEST_F(TrapChannelTest, TwoManagersGetTwoTrapsAndALongTextIsCut) {
    snmptest::Snmptrapd trapd;
    ASSERT_TRUE(trapd.Start(user_, "54617276656C6C")) << trapd.Log();
    StartEngine(trapd.Port());
    CScanAlertsSnmp channel(*engine);
    UseSettings(TrapSettings({"127.0.0.1", "127.0.0.1|2/10.0.0.*", "127.0.0.1|2/192.*"}));
    Queue(engine->SnmpQueue, "1.1", "Detection", "New Mac", "10.0.0.2", std::string(5000, 'x'));
    ASSERT_TRUE(channel.TakeOnce());
    ASSERT_TRUE(snmptest::WaitUntil(
        [&] {
            const std::string log = trapd.Log();
            std::size_t count = 0;
            for (std::size_t at = log.find("Enterprise Specific Trap (1)"); at != std::string::npos;
                 at = log.find("Enterprise Specific Trap (1)", at + 1))
                ++count;
            return count == 2;
        },
        std::chrono::seconds(10)))
        << trapd.Log();
    const std::string log = trapd.Log();
    const std::size_t start = log.find("STRING: \"10.0.0.2/7: New Mac ");
    ASSERT_NE(start, std::string::npos);
    const std::size_t xs = log.find_first_not_of('x', log.find("xxx", start));
    EXPECT_EQ(xs - log.find("xxx", start),
              kMaxTrapValue - std::string("10.0.0.2/7: New Mac ").size());
}

struct V3Case {
    snmptest::SimUser user;
    int authProtocol;
    int privProtocol;
};

class TrapChannelV3Test : public TrapChannelTest, public ::testing::WithParamInterface<V3Case> {};

TEST_P(TrapChannelV3Test, AnAuthPrivTrapFromEngineTarvellIsDecoded) {
    const V3Case& c = GetParam();
    snmptest::Snmptrapd trapd;
    ASSERT_TRUE(trapd.Start(c.user, "54617276656C6C")) << trapd.Log();
    StartEngine(trapd.Port());
    CScanAlertsSnmp channel(*engine);
    CTarvellDoc doc = TrapSettings({"127.0.0.1"});
    doc.SnmpTrapSpecific = 1;
    doc.SnmpTrapV3On = 1;
    doc.SnmpTrapEnterprise = "1.3.6.1.4.1.99999";
    doc.SnmpV3User = c.user.name;
    doc.SnmpV3SecurityLevel = 3;
    doc.SnmpV3AuthProtocol = c.authProtocol;
    doc.SnmpV3PrivProtocol = c.privProtocol;
    doc.SnmpV3AuthPassword = c.user.authKey;
    doc.SnmpV3PrivPassword = c.user.privKey;
    UseSettings(doc);
    Queue(engine->SnmpQueue, "1.1", "Detection");
    ASSERT_TRUE(channel.TakeOnce());
    ASSERT_TRUE(trapd.WaitForLog("New Mac 00AABBCCDDEE discovered", std::chrono::seconds(10)))
        << trapd.Log();
    EXPECT_THAT(trapd.Log(), HasSubstr(".1.3.6.1.6.3.1.1.4.1.0 = OID: .1.3.6.1.4.1.99999.1"));
    EXPECT_THAT(trapd.Log(), HasSubstr(".1.3.6.1.6.3.1.1.4.3.0 = OID: .1.3.6.1.4.1.99999"));
}

// The distribution's trap receiver has no 3DES privacy; SHA is paired with DES here (3DES is
// shown against the simulated agents in the client's own tests).
INSTANTIATE_TEST_SUITE_P(
    Protocols, TrapChannelV3Test,
    ::testing::Values(V3Case{{"md5user", "MD5", "authpass1", "DES", "privpass1"}, 2, 2},
                      V3Case{{"shauser", "SHA", "authpass2", "DES", "privpass2"}, 3, 2}),
    [](const auto& info) { return info.param.user.name; });

}  // namespace
}  // namespace tarvell
