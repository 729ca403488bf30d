// The trap listener against notifications sent by Net-SNMP's tools (and by our own client for
// SNMPv3 with 3DES, which the tools lack), inside a private network namespace where it holds
// the real port 162 and the switches have addresses of their own; outside one on free ports.
#include <chrono>
#include <thread>

#include "platform/RecursiveLock.h"
#include "platform/snmp/Message.h"
#include "service/engine/SnmpClient.h"
#include "service/traps/CScanSnmpTraps.h"
#include "tests/service/engine/EngineFixture.h"
#include "tests/support/SwitchLab.h"

namespace tarvell::traptest {
namespace {

using namespace std::chrono_literals;

[[maybe_unused]] auto* const kLab = ::testing::AddGlobalTestEnvironment(new lab::LabEnvironment);

constexpr const char* kSwitchKey = "00AABB000001";
constexpr const char* kLinkUp = "1.3.6.1.6.3.1.1.5.4";
constexpr const char* kLinkDown = "1.3.6.1.6.3.1.1.5.3";

class TrapListener : public enginetest::EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        CDbItem& sw = AddSwitch(kSwitchKey, "127.0.0.2;127.0.0.3");
        sw.SwitchCommunity() = "public";
        sw.SwitchObjectId() = "1.3.6.1.4.1.9.1.999";
        sw.SwitchLocation() = "Lab";
        AddSwitch("00AABB000002", "127.0.0.1").SwitchCommunity() = "SNMP/V3";
        {
            RecursiveGuard lock(engine->EngineLock);
            engine->PortNames[std::string(kSwitchKey) + "/7"] = "Gi0/7";
        }
        UseSettings(Settings());
    }
    void TearDown() override {
        if (listener) listener->StopAndJoin();
        listener.reset();
        EngineFixture::TearDown();
    }

    CTarvellDoc Settings(int auth = 2, int priv = 2) {
        CTarvellDoc doc = BlankSettings();
        doc.DiscoverTrapsEnabled = 1;
        doc.SnmpV3Enabled = 1;
        doc.SnmpV3User = "labuser";
        doc.SnmpV3AuthProtocol = auth;
        doc.SnmpV3PrivProtocol = priv;
        doc.SnmpV3AuthPassword = "lab-auth-pass";
        doc.SnmpV3PrivPassword = "lab-priv-pass";
        doc.SnmpV3SecurityLevel = 3;
        return doc;
    }

    void Listen(std::int64_t bindRetryMs = 30'000) {
        TrapListenerOptions options;
        options.port = lab::Lab().trapPort;
        options.address = lab::Lab().isolated ? "0.0.0.0" : "127.0.0.1";
        options.bindRetryMs = bindRetryMs;
        options.bootCounterPath = JoinPath(serviceFolder, "snmpv3_boot_counter");
        listener = std::make_unique<CScanSnmpTraps>(*engine, polls, options);
        ASSERT_TRUE(listener->Start());
        ASSERT_TRUE(snmptest::WaitUntil([&] { return listener->BoundPort() != 0; }, 10s)) << Log();
    }

    std::string Log() const {
        std::string text;
        for (const auto& line : log.Lines()) text += line + "\n";
        return text;
    }

    // Waits for `n` poll requests, then a little longer to see that no more come.
    std::vector<PollRequest> Polls(std::size_t n) {
        snmptest::WaitUntil([&] { return polls.Requests().size() >= n; }, 10s);
        std::this_thread::sleep_for(300ms);
        return polls.Requests();
    }

    // Nothing was asked for within a second of the last notification.
    bool NoPolls() {
        std::this_thread::sleep_for(1s);
        return polls.Requests().empty();
    }

    static std::vector<std::string> IfIndex(const std::string& value,
                                            const std::string& type = "i") {
        return {"1.3.6.1.2.1.2.2.1.1.7", type, value};
    }

    lab::V3Sender Md5Des() const {
        return {"labuser", "MD5", "lab-auth-pass", "DES", "lab-priv-pass"};
    }

    RecordingPollStarter polls;
    std::unique_ptr<CScanSnmpTraps> listener;
};

void ExpectPollOfPort7(const PollRequest& r, const std::string& from) {
    EXPECT_EQ(r.PortIndex, "7");
    EXPECT_EQ(r.SwitchKey, kSwitchKey);
    EXPECT_EQ(r.SwitchIp, from);
    EXPECT_EQ(r.Community, "public");
    EXPECT_EQ(r.SwitchObjectId, "1.3.6.1.4.1.9.1.999");
    EXPECT_EQ(r.SwitchName, std::string("name-") + kSwitchKey);
    EXPECT_EQ(r.PortName, "Gi0/7");
    EXPECT_EQ(r.SwitchLocation, "Lab");
}

// ---- linkUp in every version

TEST_F(TrapListener, AV1LinkUpPollsThePortOfTheSendingSwitch) {
    Listen();
    const auto sent = lab::SendV1LinkUp("127.0.0.2", lab::Lab().trapPort, "public", "7");
    ASSERT_EQ(sent.exitCode, 0) << sent.output;
    const auto requests = Polls(1);
    ASSERT_EQ(requests.size(), 1u) << Log();
    ExpectPollOfPort7(requests[0], "127.0.0.2");
}

TEST_F(TrapListener, AV2cLinkUpPollsThePortAndTheSecondAddressOfTheListIsRecognised) {
    Listen();
    const auto sent =
        lab::SendV2c("snmptrap", "127.0.0.3", lab::Lab().trapPort, "public", kLinkUp, IfIndex("7"));
    ASSERT_EQ(sent.exitCode, 0) << sent.output;
    const auto requests = Polls(1);
    ASSERT_EQ(requests.size(), 1u) << Log();
    ExpectPollOfPort7(requests[0], "127.0.0.3");
}

TEST_F(TrapListener, AV3LinkUpWithMd5AndDesPollsThePort) {
    Listen();
    const auto sent =
        lab::SendV3("snmptrap", "127.0.0.2", lab::Lab().trapPort, Md5Des(), kLinkUp, IfIndex("7"));
    ASSERT_EQ(sent.exitCode, 0) << sent.output;
    const auto requests = Polls(1);
    ASSERT_EQ(requests.size(), 1u) << Log();
    ExpectPollOfPort7(requests[0], "127.0.0.2");
}

TEST_F(TrapListener, AV3LinkUpWithShaAnd3DesPollsThePort) {
    UseSettings(Settings(3, 3));
    Listen();
    // The tools have no 3DES: our own client sends it, from an engine of its own.
    SnmpClientOptions options;
    options.trapPort = lab::Lab().trapPort;
    options.bootCounterPath = JoinPath(root, "sender_boots");
    SnmpClient sender(
        [&] {
            SnmpClientSettings s;
            s.SnmpV3User = "labuser";
            s.SnmpV3AuthProtocol = 3;
            s.SnmpV3PrivProtocol = 3;
            s.SnmpV3AuthPassword = "lab-auth-pass";
            s.SnmpV3PrivPassword = "lab-priv-pass";
            s.SnmpV3SecurityLevel = 3;
            return s;
        },
        options);
    SnmpOidEntry entries[2] = {};
    std::snprintf(entries[0].oid, sizeof entries[0].oid, "%s", kLinkUp);
    std::snprintf(entries[1].oid, sizeof entries[1].oid, "1.3.6.1.2.1.2.2.1.1.7");
    std::snprintf(entries[1].value, sizeof entries[1].value, "7");
    ASSERT_EQ(sender.Request(SnmpClient::kTrap, "127.0.0.1", "SNMP/V3", 1000, 0, 2, 0, entries), 1);
    const auto requests = Polls(1);
    ASSERT_EQ(requests.size(), 1u) << Log();
    EXPECT_EQ(requests[0].SwitchKey, "00AABB000002");
    EXPECT_EQ(requests[0].PortIndex, "7");
    EXPECT_EQ(requests[0].Community, "SNMP/V3");
}

TEST_F(TrapListener, AV3TrapWithAWrongPassPhraseStartsNothing) {
    Listen();
    lab::V3Sender wrong = Md5Des();
    wrong.authKey = "not-the-pass-phrase";
    lab::SendV3("snmptrap", "127.0.0.2", lab::Lab().trapPort, wrong, kLinkUp, IfIndex("7"));
    EXPECT_TRUE(NoPolls());
}

// ---- what starts nothing

TEST_F(TrapListener, LinkDownUnknownSendersAndBadIfIndexesStartNothing) {
    Listen();
    const std::uint16_t port = lab::Lab().trapPort;
    struct Case {
        const char* what;
        std::string from, notification;
        std::vector<std::string> bindings;
    };
    const Case cases[] = {
        {"linkDown", "127.0.0.2", kLinkDown, IfIndex("7")},
        {"unknown sender", "127.0.0.5", kLinkUp, IfIndex("7")},
        {"ifIndex = abc", "127.0.0.2", kLinkUp, IfIndex("abc", "s")},
        {"ifIndex = 0", "127.0.0.2", kLinkUp, IfIndex("0")},
        {"ifIndex = -7", "127.0.0.2", kLinkUp, IfIndex("-7")},
        {"no ifIndex", "127.0.0.2", kLinkUp, {"1.3.6.1.2.1.2.2.1.10.7", "c", "7"}},
        // The text of the ifIndex column inside a longer OID is not the ifIndex binding.
        {"ifIndex text inside a vendor OID",
         "127.0.0.2",
         kLinkUp,
         {"1.3.6.1.4.1.9.1.3.6.1.2.1.2.2.1.1.7", "i", "7"}},
    };
    for (const Case& c : cases) {
        const auto sent =
            lab::SendV2c("snmptrap", c.from, port, "public", c.notification, c.bindings);
        EXPECT_EQ(sent.exitCode, 0) << c.what << ": " << sent.output;
    }
    EXPECT_TRUE(NoPolls());
}

TEST_F(TrapListener, AnExcludedPortIsNotPolled) {
    CTarvellDoc doc = Settings();
    doc.ExcludeDevicesEnabled = 1;
    doc.ExcludedDevices = {kSwitchKey};
    UseSettings(doc);
    Listen();
    lab::SendV2c("snmptrap", "127.0.0.2", lab::Lab().trapPort, "public", kLinkUp, IfIndex("7"));
    EXPECT_TRUE(NoPolls());
}

// ---- a flood

// More traps than the socket's buffer holds: every one is either read or counted as dropped by
// the system, and the drops are logged.
TEST_F(TrapListener, AFloodBeyondTheReceiveBufferLogsItsDrops) {
    TrapListenerOptions options;
    options.port = 0;
    options.address = "127.0.0.1";
    options.receiveBufferBytes = 4096;
    listener = std::make_unique<CScanSnmpTraps>(*engine, polls, options);
    ASSERT_TRUE(listener->Start());
    ASSERT_TRUE(snmptest::WaitUntil([&] { return listener->BoundPort() != 0; }, 10s));

    snmp::Pdu trap;
    trap.type = snmp::pdu::kTrapV2;
    trap.bindings.push_back({*snmp::ParseOid("1.3.6.1.6.3.1.1.4.1.0"),
                             snmp::Value::ObjectId(*snmp::ParseOid(kLinkUp))});
    trap.bindings.push_back({*snmp::ParseOid("1.3.6.1.2.1.2.2.1.1.7"), snmp::Value::Integer(7)});
    const std::string datagram = snmp::EncodeCommunityMessage(snmp::kVersion2c, "public", trap);
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(listener->BoundPort());
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    constexpr std::uint64_t kSent = 20'000;
    for (std::uint64_t i = 0; i < kSent; ++i)
        ::sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                 sizeof to);
    // The system reports its drop count with the next datagram it queues: one more, once the
    // buffer has been read empty.
    std::this_thread::sleep_for(500ms);
    ::sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&to),
             sizeof to);
    ::close(fd);

    EXPECT_TRUE(snmptest::WaitUntil(
        [&] { return listener->ReceivedDatagrams() + listener->DroppedDatagrams() == kSent + 1; },
        10s))
        << listener->ReceivedDatagrams() << " read, " << listener->DroppedDatagrams() << " dropped";
    EXPECT_GT(listener->DroppedDatagrams(), 0u);
    EXPECT_TRUE(
        snmptest::WaitUntil([&] { return LogMentions("traps were dropped by the system"); }, 5s))
        << Log();
}

// ---- informs

TEST_F(TrapListener, InformsAreAnsweredInV2cAndV3WhateverTheirNotification) {
    Listen();
    const std::uint16_t port = lab::Lab().trapPort;
    auto sent = lab::SendV2c("snmpinform", "127.0.0.2", port, "public", kLinkDown, IfIndex("7"));
    EXPECT_EQ(sent.exitCode, 0) << sent.output;
    sent = lab::SendV3("snmpinform", "127.0.0.2", port, Md5Des(), kLinkDown, IfIndex("7"));
    EXPECT_EQ(sent.exitCode, 0) << sent.output;
    EXPECT_TRUE(NoPolls());
    sent = lab::SendV3("snmpinform", "127.0.0.3", port, Md5Des(), kLinkUp, IfIndex("7"));
    EXPECT_EQ(sent.exitCode, 0) << sent.output;
    const auto requests = Polls(1);
    ASSERT_EQ(requests.size(), 1u);
    ExpectPollOfPort7(requests[0], "127.0.0.3");
}

TEST_F(TrapListener, WithDiscoveryOffTrapsAreDroppedNotKeptAndInformsStillAnswered) {
    CTarvellDoc doc = Settings();
    doc.DiscoverTrapsEnabled = 0;
    UseSettings(doc);
    Listen();
    const std::uint16_t port = lab::Lab().trapPort;
    lab::SendV2c("snmptrap", "127.0.0.2", port, "public", kLinkUp, IfIndex("7"));
    const auto sent =
        lab::SendV2c("snmpinform", "127.0.0.2", port, "public", kLinkUp, IfIndex("7"));
    EXPECT_EQ(sent.exitCode, 0) << sent.output;
    std::this_thread::sleep_for(500ms);
    UseSettings(Settings());  // on again: no burst of what came while it was off
    EXPECT_TRUE(NoPolls());
}

// ---- prevention hook, port trouble, stop

TEST_F(TrapListener, WithSnmpPreventionALinkUpShowsTheBlockedPortAsUpAgain) {
    CTarvellDoc doc = Settings();
    doc.PreventionEnabled = 1;
    doc.SnmpPreventionEnabled = 1;
    doc.SnmpPreventionMethod = 1;
    UseSettings(doc);
    CEventItem& blocked = AddEvent(kSwitchKey, "7");
    blocked.Blocked = 1;
    blocked.Extra = "1700000000";
    Listen();
    lab::SendV2c("snmptrap", "127.0.0.2", lab::Lab().trapPort, "public", kLinkUp, IfIndex("7"));
    ASSERT_EQ(Polls(1).size(), 1u);
    EXPECT_EQ(EventCopy(std::string(kSwitchKey) + "/7").Extra, "");
}

TEST_F(TrapListener, ATakenPortIsLoggedAndBoundWhenItIsFree) {
    const int holder = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_port = htons(lab::Lab().trapPort);
    ::inet_pton(AF_INET, lab::Lab().isolated ? "0.0.0.0" : "127.0.0.1", &sin.sin_addr);
    ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&sin), sizeof sin), 0);

    TrapListenerOptions options;
    options.port = lab::Lab().trapPort;
    options.address = lab::Lab().isolated ? "0.0.0.0" : "127.0.0.1";
    options.bindRetryMs = 200;
    listener = std::make_unique<CScanSnmpTraps>(*engine, polls, options);
    ASSERT_TRUE(listener->Start());
    ASSERT_TRUE(snmptest::WaitUntil([&] { return LogMentions("could not be bound"); }, 10s));
    EXPECT_EQ(listener->BoundPort(), 0);
    ::close(holder);
    ASSERT_TRUE(snmptest::WaitUntil([&] { return listener->BoundPort() != 0; }, 10s));
    lab::SendV2c("snmptrap", "127.0.0.2", lab::Lab().trapPort, "public", kLinkUp, IfIndex("7"));
    EXPECT_EQ(Polls(1).size(), 1u);
    int lines = 0;
    for (const auto& line : log.Lines())
        lines += line.find("could not be bound") != std::string::npos;
    EXPECT_EQ(lines, 1);
}

TEST_F(TrapListener, AsRootTheLabHoldsTheRealPortsInANamespaceOfItsOwn) {
    if (::geteuid() != 0) GTEST_SKIP() << "not root: the lab runs on free high ports";
    EXPECT_TRUE(lab::Lab().isolated);
    EXPECT_EQ(lab::Lab().trapPort, 162);
    Listen();
    EXPECT_EQ(listener->BoundPort(), 162);
}

TEST_F(TrapListener, StopsPromptly) {
    Listen();
    const auto start = std::chrono::steady_clock::now();
    listener->StopAndJoin();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

TEST(LinkUpPortIndex, TheIfIndexIsTheLastBindingUnderTheColumnAndMustBeAPortNumber) {
    using snmp::Oid;
    using snmp::Value;
    using snmp::VarBind;
    const Oid column7{1, 3, 6, 1, 2, 1, 2, 2, 1, 1, 7};
    const Oid column9{1, 3, 6, 1, 2, 1, 2, 2, 1, 1, 9};
    struct Case {
        std::vector<VarBind> bindings;
        const char* index;
    };
    const Case cases[] = {
        {{{column7, Value::Integer(7)}}, "7"},
        {{{column7, Value::Integer(7)}, {column9, Value::Integer(9)}}, "9"},
        {{{column7, Value::OctetString("7")}}, "7"},
        {{{column7, Value::Integer(2147483647)}}, "2147483647"},
        {{{column7, Value::Integer(2147483648LL)}}, ""},
        {{{column7, Value::Integer(0)}}, ""},
        {{{column7, Value::Integer(-3)}}, ""},
        {{{column7, Value::OctetString("abc")}}, ""},
        {{{column7, Value::OctetString("07")}}, ""},
        {{{column7, Value::OctetString("")}}, ""},
        {{{Oid{1, 3, 6, 1, 2, 1, 2, 2, 1, 1}, Value::Integer(7)}}, ""},
        {{{Oid{1, 3, 6, 1, 2, 1, 2, 2, 1, 10, 7}, Value::Integer(7)}}, ""},
        {{}, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(LinkUpPortIndex(c.bindings), c.index);
}

}  // namespace
}  // namespace tarvell::traptest
