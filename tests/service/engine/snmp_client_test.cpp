// SnmpClient against real peers on loopback: snmpsim serving a recorded switch (v1 and six SNMPv3
// users), Net-SNMP's snmpd serving the same records, snmptrapd receiving traps; plus a small fake
// agent for answers that real agents do not give (non-increasing OIDs, echoes, silence).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <regex>
#include <thread>

#include "platform/snmp/EngineBoots.h"
#include "service/engine/SnmpClient.h"
#include "tests/fixtures/snmp/LoopbackResponder.h"
#include "tests/fixtures/snmp/SnmpPeers.h"

namespace tarvell {
namespace {

using snmptest::SimUser;
using testing::ElementsAre;

constexpr const char* kLocalhost = "127.0.0.1";
constexpr const char* kFdbTable = "1.3.6.1.2.1.17.4.3";
constexpr const char* kFdbAddress = "1.3.6.1.2.1.17.4.3.1.1";
constexpr const char* kFdbPort = "1.3.6.1.2.1.17.4.3.1.2";
constexpr const char* kFdbStatus = "1.3.6.1.2.1.17.4.3.1.3";
const std::vector<std::string> kFixtureMacs = {"00000C07AC01", "001A2B3C4D10", "001A2B3C4D11",
                                               "001A2B3C4D12", "001A2B3C4DFF", "ABCDEF"};

SnmpOidEntry Entry(const std::string& oid, const std::string& value = "") {
    SnmpOidEntry e{};
    std::strncpy(e.oid, oid.c_str(), sizeof e.oid - 1);
    std::strncpy(e.value, value.c_str(), sizeof e.value - 1);
    return e;
}

// Settings the test changes while clients run.
class SettingsBox {
public:
    void Set(const SnmpClientSettings& s) {
        std::lock_guard<std::mutex> lock(m_);
        s_ = s;
    }
    SnmpClientSettings Get() const {
        std::lock_guard<std::mutex> lock(m_);
        return s_;
    }
    std::function<SnmpClientSettings()> Source() {
        return [this] { return Get(); };
    }

private:
    mutable std::mutex m_;
    SnmpClientSettings s_;
};

SnmpClientSettings V3Settings(const std::string& user, int auth, int priv,
                              const std::string& authPass, const std::string& privPass) {
    SnmpClientSettings s;
    s.SnmpV3SecurityModel = 3;
    s.SnmpV3SecurityLevel = auth == 1 ? 1 : priv == 1 ? 2 : 3;
    s.SnmpV3AuthProtocol = static_cast<std::uint32_t>(auth);
    s.SnmpV3PrivProtocol = static_cast<std::uint32_t>(priv);
    s.SnmpV3User = user;
    s.SnmpV3AuthPassword = authPass;
    s.SnmpV3PrivPassword = privPass;
    s.SnmpV3Context = "public";
    return s;
}

struct Walked {
    std::vector<std::string> oids;               // answer OID of the first column, per row
    std::vector<std::vector<std::string>> rows;  // values per row
    std::vector<std::string> rawFirstColumn;     // raw bytes of the first column, as hex
};

Walked Walk(SnmpClient& client, const std::string& community,
            const std::vector<std::string>& columns, int prefix, std::uint32_t timeoutMs = 1000) {
    std::vector<SnmpOidEntry> entries;
    for (const auto& c : columns) entries.push_back(Entry(c));
    Walked w;
    std::vector<snmp::VarBind> answer;
    for (int guard = 0; guard < 20000; ++guard) {
        if (!client.Request(SnmpClient::kGetNext, kLocalhost, community, timeoutMs, 1,
                            static_cast<int>(entries.size()), prefix, entries.data(), &answer)) {
            break;
        }
        w.oids.push_back(entries[0].oid);
        std::vector<std::string> row;
        for (const auto& e : entries) row.push_back(e.value);
        w.rows.push_back(row);
        w.rawFirstColumn.push_back(snmp::HexUpper(answer.at(0).value.raw));
    }
    return w;
}

std::vector<std::string> Column(const Walked& w, std::size_t i) {
    std::vector<std::string> out;
    for (const auto& r : w.rows) out.push_back(r.at(i));
    return out;
}

// The reads that two agents serving the same records must answer alike.
std::vector<std::string> StandardReads(SnmpClient& client, const std::string& community) {
    std::vector<std::string> out;
    SnmpOidEntry sys[3] = {Entry("1.3.6.1.2.1.1.1.0"), Entry("1.3.6.1.2.1.1.2.0"),
                           Entry("1.3.6.1.2.1.1.5.0")};
    out.push_back("get=" + std::to_string(client.Request(SnmpClient::kGet, kLocalhost, community,
                                                         1000, 1, 3, 0, sys)));
    for (const auto& e : sys) out.push_back(std::string(e.oid) + "=" + e.value);
    const Walked fdb = Walk(client, community, {kFdbAddress, kFdbPort, kFdbStatus}, 11);
    for (std::size_t i = 0; i < fdb.rows.size(); ++i) {
        out.push_back(fdb.oids[i] + "=" + fdb.rawFirstColumn[i] + "|" + fdb.rows[i][1] + "|" +
                      fdb.rows[i][2]);
    }
    const Walked table = Walk(client, community, {kFdbTable}, 9);
    out.push_back("table rows=" + std::to_string(table.rows.size()));
    const Walked bridge =
        Walk(client, community, {"1.3.6.1.2.1.17.1.4.1.1", "1.3.6.1.2.1.17.1.4.1.2"}, 11);
    for (const auto& r : bridge.rows) out.push_back("bridge " + r[0] + "->" + r[1]);
    const Walked ifs =
        Walk(client, community,
             {"1.3.6.1.2.1.2.2.1.2", "1.3.6.1.2.1.2.2.1.5", "1.3.6.1.2.1.2.2.1.6"}, 10);
    for (const auto& r : ifs.rows) out.push_back("if " + r[0] + "|" + r[1] + "|" + r[2]);
    return out;
}

// ---- a fake agent for answers real agents do not give ---------------------------------------

class FakeAgent {
public:
    using Handler = std::function<std::optional<snmp::Pdu>(const snmp::CommunityMessage&)>;

    explicit FakeAgent(Handler handler) : handler_(std::move(handler)) {}
    std::uint16_t Port() const { return responder_.Port(); }
    std::vector<snmp::CommunityMessage> Received() {
        std::lock_guard<std::mutex> lock(m_);
        return received_;
    }
    std::vector<std::int32_t> Versions() {
        std::lock_guard<std::mutex> lock(m_);
        return versions_;
    }

private:
    std::string Handle(std::string_view datagram) {
        {
            std::lock_guard<std::mutex> lock(m_);
            versions_.push_back(snmp::PeekVersion(datagram).value_or(-1));
        }
        auto message = snmp::DecodeCommunityMessage(datagram);
        if (!message) return {};
        {
            std::lock_guard<std::mutex> lock(m_);
            received_.push_back(*message);
        }
        auto reply = handler_(*message);
        if (!reply) return {};
        reply->type = snmp::pdu::kResponse;
        reply->requestId = message->pdu.requestId;
        return snmp::EncodeCommunityMessage(message->version, message->community, *reply);
    }

    Handler handler_;
    std::mutex m_;
    std::vector<snmp::CommunityMessage> received_;
    std::vector<std::int32_t> versions_;
    // Last: it starts after and stops before what Handle uses.
    snmptest::LoopbackResponder responder_{
        [this](std::string_view datagram) { return Handle(datagram); }};
};

snmp::Pdu Answer(std::vector<std::pair<std::string, snmp::Value>> bindings) {
    snmp::Pdu p;
    for (auto& [oid, value] : bindings) p.bindings.push_back({*snmp::ParseOid(oid), value});
    return p;
}

class SnmpClientFake : public testing::Test {
protected:
    std::unique_ptr<SnmpClient> Client(std::uint16_t port) {
        SnmpClientOptions o;
        o.agentPort = port;
        o.trapPort = port;
        o.bootCounterPath = dir_ / "snmpv3_boot_counter";
        return std::make_unique<SnmpClient>(settings_.Source(), o);
    }
    snmptest::TempDir dir_{"client"};
    SettingsBox settings_;
};

TEST_F(SnmpClientFake, WalkStopsAtANonIncreasingOrEchoedOid) {
    // The agent answers every get-next with an OID before the one asked for.
    FakeAgent backwards([](const snmp::CommunityMessage&) {
        return Answer({{"1.3.6.1.2.1.17.4.3.1.1.0.0.0.0.0.1", snmp::Value::OctetString("x")}});
    });
    auto client = Client(backwards.Port());
    SnmpOidEntry e = Entry("1.3.6.1.2.1.17.4.3.1.1.0.26.43.60.77.16");
    EXPECT_EQ(client->Request(SnmpClient::kGetNext, kLocalhost, "public", 500, 0, 1, 11, &e), 0);
    EXPECT_STREQ(e.oid, "1.3.6.1.2.1.17.4.3.1.1.0.26.43.60.77.16");

    FakeAgent echo([](const snmp::CommunityMessage& m) {
        return Answer({{snmp::OidToText(m.pdu.bindings[0].oid), snmp::Value::Integer(1)}});
    });
    auto echoClient = Client(echo.Port());
    e = Entry("1.3.6.1.2.1.17.4.3.1.1");
    EXPECT_EQ(echoClient->Request(SnmpClient::kGetNext, kLocalhost, "public", 500, 0, 1, 11, &e),
              0);
    EXPECT_EQ(echo.Received().size(), 1u);
}

TEST_F(SnmpClientFake, ForeignBindingEndsTheWalkButLeavesItsValueAndOnlyTheLastEntryDecides) {
    FakeAgent agent([](const snmp::CommunityMessage&) {
        return Answer({{"1.3.6.1.2.1.17.4.3.1.2.0.1.2.3.4.5", snmp::Value::Integer(3)},
                       {"1.3.6.1.2.1.17.4.3.1.2.0.1.2.3.4.6", snmp::Value::Integer(4)}});
    });
    auto client = Client(agent.Port());
    SnmpOidEntry e[2] = {Entry("1.3.6.1.2.1.17.4.3.1.1.0.1.2.3.4.5"),
                         Entry("1.3.6.1.2.1.17.4.3.1.2.0.1.2.3.4.5")};
    EXPECT_EQ(client->Request(SnmpClient::kGetNext, kLocalhost, "public", 500, 0, 2, 11, e), 1);
    EXPECT_STREQ(e[0].oid, "1.3.6.1.2.1.17.4.3.1.1.0.1.2.3.4.5");  // left its column: kept
    EXPECT_STREQ(e[0].value, "3");                                 // but holds the value
    EXPECT_STREQ(e[1].oid, "1.3.6.1.2.1.17.4.3.1.2.0.1.2.3.4.6");
    EXPECT_STREQ(e[1].value, "4");
}

TEST_F(SnmpClientFake, MarkerMustMatchExactlyAndCommunitiesGoAsVersion1) {
    FakeAgent agent([](const snmp::CommunityMessage& m) {
        return Answer({{snmp::OidToText(m.pdu.bindings[0].oid), snmp::Value::Integer(5)}});
    });
    auto client = Client(agent.Port());
    SnmpOidEntry e = Entry("1.3.6.1.2.1.1.7.0");
    EXPECT_EQ(client->Request(SnmpClient::kGet, kLocalhost, "SNMP/V3@10", 500, 0, 1, 0, &e), 1);
    EXPECT_EQ(client->Request(SnmpClient::kGet, kLocalhost, "snmp/v3", 500, 0, 1, 0, &e), 1);
    const auto received = agent.Received();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].version, snmp::kVersion1);
    EXPECT_EQ(received[0].community, "SNMP/V3@10");
    EXPECT_EQ(received[1].community, "snmp/v3");
    // The marker itself goes out as SNMPv3 even with no user configured (this agent ignores it).
    EXPECT_EQ(
        client->Request(SnmpClient::kGet, kLocalhost, SnmpClient::kV3Marker, 100, 0, 1, 0, &e), 0);
    EXPECT_THAT(agent.Versions(), ElementsAre(0, 0, 3));
}

TEST_F(SnmpClientFake, SilentAgentFailsAfterTheTimeoutsAndRetries) {
    FakeAgent silent([](const snmp::CommunityMessage&) { return std::nullopt; });
    auto client = Client(silent.Port());
    SnmpOidEntry e = Entry("1.3.6.1.2.1.1.1.0", "before");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(client->Request(SnmpClient::kGet, kLocalhost, "public", 150, 2, 1, 0, &e), 0);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    EXPECT_GE(ms, 450);
    EXPECT_LT(ms, 1500);
    EXPECT_EQ(silent.Received().size(), 3u);
    EXPECT_STREQ(e.value, "before");

    // Under a stop already given a set sends nothing, SNMPv3's discovery included.
    const ManualResetEvent stop(true);
    EXPECT_EQ(client->Set(kLocalhost, "public", "public", 5000, 3, &e, &stop), 0);
    EXPECT_EQ(client->Set(kLocalhost, SnmpClient::kV3Marker, "", 5000, 3, &e, &stop), 0);
    EXPECT_EQ(silent.Versions().size(), 3u);
}

TEST_F(SnmpClientFake, BadInputIsRefusedWithoutSending) {
    FakeAgent agent([](const snmp::CommunityMessage&) { return std::nullopt; });
    auto client = Client(agent.Port());
    SnmpOidEntry e = Entry("1.3.6.x");
    EXPECT_EQ(client->Request(SnmpClient::kGet, kLocalhost, "public", 100, 0, 1, 0, &e), 0);
    e = Entry("1.3.6.1");
    EXPECT_EQ(client->Request(SnmpClient::kGet, "not-an-address", "public", 100, 0, 1, 0, &e), 0);
    EXPECT_EQ(client->Request(SnmpClient::kGet, kLocalhost, "public", 100, 0, 0, 0, &e), 0);
    EXPECT_EQ(client->Request(7, kLocalhost, "public", 100, 0, 1, 0, &e), 0);
    std::memset(e.oid, '1', sizeof e.oid);  // no terminator
    EXPECT_EQ(client->Request(SnmpClient::kGet, kLocalhost, "public", 100, 0, 1, 0, &e), 0);
    EXPECT_TRUE(agent.Received().empty());
}

TEST_F(SnmpClientFake, LongValuesAreCutToTheBufferAndRawBytesStayWhole) {
    const std::string big(1000, '\x01');
    FakeAgent agent([&](const snmp::CommunityMessage& m) {
        return Answer({{snmp::OidToText(m.pdu.bindings[0].oid), snmp::Value::OctetString(big)}});
    });
    auto client = Client(agent.Port());
    SnmpOidEntry e = Entry("1.3.6.1.2.1.1.1.0");
    std::vector<snmp::VarBind> answer;
    EXPECT_EQ(client->Request(SnmpClient::kGet, kLocalhost, "public", 500, 0, 1, 0, &e, &answer),
              1);
    EXPECT_EQ(std::strlen(e.value), SnmpOidEntry::kTextSize - 1);
    ASSERT_EQ(answer.size(), 1u);
    EXPECT_EQ(answer[0].value.raw, big);
}

TEST_F(SnmpClientFake, SetWritesOnlyTheObjectAskedFor) {
    // The agent answers the read with another object than the one asked for; writing the text
    // there would change an object the caller never named.
    FakeAgent agent([](const snmp::CommunityMessage& m) {
        if (m.pdu.type == snmp::pdu::kGet)
            return Answer({{"1.3.6.1.2.1.2.2.1.7.1", snmp::Value::Integer(1)}});
        return Answer({{snmp::OidToText(m.pdu.bindings.at(0).oid), m.pdu.bindings.at(0).value}});
    });
    auto client = Client(agent.Port());
    SnmpOidEntry admin = Entry("1.3.6.1.2.1.2.2.1.7.3", "2");
    EXPECT_EQ(client->Set(kLocalhost, "public", "private", 500, 0, &admin), 0);
    for (const auto& m : agent.Received()) EXPECT_NE(m.pdu.type, snmp::pdu::kSet);
}

// ---- snmpsim ---------------------------------------------------------------------------------

const std::vector<SimUser> kSimUsers = {
    {"md5des", "MD5", "authpass1", "DES", "privpass1"},
    {"shades", "SHA", "authpass2", "DES", "privpass2"},
    {"md53des", "MD5", "authpass3", "3DES", "privpass3"},
    {"sha3des", "SHA", "authpass4", "3DES", "privpass4"},
    {"authonly", "MD5", "authpass5", "", ""},
    {"noauth", "", "", "", ""},
};

class SnmpSimTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        sim_ = new snmptest::SnmpSim;
        if (!sim_->Start(snmptest::FixtureDir() / "switch", kSimUsers)) {
            FAIL() << "snmpsim did not start:\n" << sim_->Log();
        }
    }
    static void TearDownTestSuite() {
        delete sim_;
        sim_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(sim_ && sim_->Port()); }

    std::unique_ptr<SnmpClient> Client(const std::string& bootFile = "snmpv3_boot_counter") {
        SnmpClientOptions o;
        o.agentPort = sim_->Port();
        o.bootCounterPath = dir_ / bootFile;
        return std::make_unique<SnmpClient>(settings_.Source(), o);
    }

    static snmptest::SnmpSim* sim_;
    snmptest::TempDir dir_{"client"};
    SettingsBox settings_;
};
snmptest::SnmpSim* SnmpSimTest::sim_ = nullptr;

TEST_F(SnmpSimTest, GetRendersEveryTypeInItsTextForm) {
    auto client = Client();
    SnmpOidEntry sys[3] = {Entry("1.3.6.1.2.1.1.1.0"), Entry("1.3.6.1.2.1.1.2.0"),
                           Entry("1.3.6.1.2.1.1.3.0")};
    ASSERT_EQ(client->Request(SnmpClient::kGet, kLocalhost, "public", 1000, 1, 3, 0, sys), 1);
    EXPECT_STREQ(sys[0].value, "Test access switch, 4 ports");
    EXPECT_STREQ(sys[1].value, "1.3.6.1.4.1.99999.2.1");
    EXPECT_STREQ(sys[2].value, "123456");
    EXPECT_STREQ(sys[2].oid, "1.3.6.1.2.1.1.3.0");

    const std::vector<std::pair<std::string, std::string>> cases = {
        {"1.3.6.1.4.1.99999.1.1.0", ""},
        {"1.3.6.1.4.1.99999.1.2.0", "0001FF7F"},
        {"1.3.6.1.4.1.99999.1.3.0", "-2147483648"},
        {"1.3.6.1.4.1.99999.1.5.0", "4294967295"},
        {"1.3.6.1.4.1.99999.1.6.0", "1.3.6.1.4.1.99999.4294967295"},
        {"1.3.6.1.4.1.99999.4294967295.0", "7"},
        {"1.3.6.1.2.1.4.20.1.1.10.0.0.5", "10.0.0.5"},
        {"1.3.6.1.2.1.2.2.1.6.1", "001A2B3C4D01"},
        {"1.3.6.1.2.1.2.2.1.5.4", "4294967295"},
    };
    for (const auto& [oid, expected] : cases) {
        SnmpOidEntry e = Entry(oid, "stale");
        EXPECT_EQ(client->Request(SnmpClient::kGet, kLocalhost, "public", 1000, 1, 1, 0, &e), 1)
            << oid;
        EXPECT_EQ(std::string(e.value), expected) << oid;
    }
    SnmpOidEntry missing = Entry("1.3.6.1.2.1.1.99.0", "untouched");
    EXPECT_EQ(client->Request(SnmpClient::kGet, kLocalhost, "public", 1000, 1, 1, 0, &missing), 0);
    EXPECT_STREQ(missing.value, "untouched");
}

TEST_F(SnmpSimTest, GetNextWalksTwoAndThreeColumnsSideBySide) {
    auto client = Client();
    const Walked bridge =
        Walk(*client, "public", {"1.3.6.1.2.1.17.1.4.1.1", "1.3.6.1.2.1.17.1.4.1.2"}, 11);
    EXPECT_THAT(Column(bridge, 1), ElementsAre("1", "2", "3", "4"));

    const Walked fdb = Walk(*client, "public", {kFdbAddress, kFdbPort, kFdbStatus}, 11);
    ASSERT_EQ(fdb.rows.size(), 6u);
    EXPECT_EQ(fdb.rawFirstColumn,
              (std::vector<std::string>{"00000C07AC01", "001A2B3C4D10", "001A2B3C4D11",
                                        "001A2B3C4D12", "001A2B3C4DFF", "414243444546"}));
    EXPECT_EQ(Column(fdb, 0), kFixtureMacs);  // the printable MAC renders as text
    EXPECT_THAT(Column(fdb, 1), ElementsAre("1", "1", "2", "2", "4", "3"));
    EXPECT_THAT(Column(fdb, 2), ElementsAre("5", "3", "3", "3", "4", "3"));
    EXPECT_EQ(fdb.oids[1], "1.3.6.1.2.1.17.4.3.1.1.0.26.43.60.77.16");
}

TEST_F(SnmpSimTest, FullWalkOfTheForwardingTable) {
    auto client = Client();
    const Walked table = Walk(*client, "public", {kFdbTable}, 9);
    ASSERT_EQ(table.rows.size(), 18u);
    EXPECT_EQ(table.oids.front(), "1.3.6.1.2.1.17.4.3.1.1.0.0.12.7.172.1");
    EXPECT_EQ(table.oids.back(), "1.3.6.1.2.1.17.4.3.1.3.65.66.67.68.69.70");
}

TEST_F(SnmpSimTest, PerVlanCommunity) {
    auto client = Client();
    const Walked vlan = Walk(*client, "public@20", {kFdbAddress, kFdbPort}, 11);
    ASSERT_EQ(vlan.rows.size(), 2u);
    EXPECT_THAT(Column(vlan, 0), ElementsAre("001A2B3C2001", "001A2B3C2002"));
    EXPECT_THAT(Column(vlan, 1), ElementsAre("3", "4"));
}

TEST_F(SnmpSimTest, TypedSetWritesInTheAgentsTypeAndReadsBack) {
    auto client = Client();
    SnmpOidEntry admin = Entry("1.3.6.1.2.1.2.2.1.7.3", "2");
    ASSERT_EQ(client->Set(kLocalhost, "public", "public", 1000, 1, &admin), 1);
    SnmpOidEntry check = Entry("1.3.6.1.2.1.2.2.1.7.3");
    ASSERT_EQ(client->Request(SnmpClient::kGet, kLocalhost, "public", 1000, 1, 1, 0, &check), 1);
    EXPECT_STREQ(check.value, "2");

    SnmpOidEntry gauge = Entry("1.3.6.1.4.1.99999.1.8.0", "9");
    SnmpOidEntry ip = Entry("1.3.6.1.4.1.99999.1.9.0", "10.1.1.1");
    SnmpOidEntry text = Entry("1.3.6.1.2.1.1.4.0", "noc@example.invalid");
    for (SnmpOidEntry* e : {&gauge, &ip, &text}) {
        EXPECT_EQ(client->Set(kLocalhost, "public", "public", 1000, 1, e), 1) << e->oid;
        SnmpOidEntry back = Entry(e->oid);
        ASSERT_EQ(client->Request(SnmpClient::kGet, kLocalhost, "public", 1000, 1, 1, 0, &back), 1);
        EXPECT_STREQ(back.value, e->value);
    }
    // Types the client does not write, values that do not fit, objects that do not exist.
    SnmpOidEntry opaque = Entry("1.3.6.1.4.1.99999.1.7.0", "0304");
    EXPECT_EQ(client->Set(kLocalhost, "public", "public", 1000, 1, &opaque), 0);
    SnmpOidEntry badIp = Entry("1.3.6.1.4.1.99999.1.9.0", "10.1.1");
    EXPECT_EQ(client->Set(kLocalhost, "public", "public", 1000, 1, &badIp), 0);
    SnmpOidEntry negativeGauge = Entry("1.3.6.1.4.1.99999.1.8.0", "-1");
    EXPECT_EQ(client->Set(kLocalhost, "public", "public", 1000, 1, &negativeGauge), 0);
    SnmpOidEntry missing = Entry("1.3.6.1.2.1.2.2.1.7.99", "2");
    EXPECT_EQ(client->Set(kLocalhost, "public", "public", 1000, 1, &missing), 0);
    SnmpOidEntry opaqueBack = Entry("1.3.6.1.4.1.99999.1.7.0");
    ASSERT_EQ(client->Request(SnmpClient::kGet, kLocalhost, "public", 1000, 1, 1, 0, &opaqueBack),
              1);
    EXPECT_STREQ(opaqueBack.value, "0102");
}

class SnmpSimV3Test : public SnmpSimTest, public testing::WithParamInterface<SimUser> {};

TEST_P(SnmpSimV3Test, ReadsWalksAndCounter64) {
    const SimUser& u = GetParam();
    const int auth = u.authProto.empty() ? 1 : u.authProto == "MD5" ? 2 : 3;
    const int priv = u.privProto.empty() ? 1 : u.privProto == "DES" ? 2 : 3;
    settings_.Set(V3Settings(u.name, auth, priv, u.authKey, u.privKey));
    auto client = Client();
    SnmpOidEntry e[2] = {Entry("1.3.6.1.2.1.1.1.0"), Entry("1.3.6.1.4.1.99999.1.4.0")};
    ASSERT_EQ(
        client->Request(SnmpClient::kGet, kLocalhost, SnmpClient::kV3Marker, 1000, 1, 2, 0, e), 1);
    EXPECT_STREQ(e[0].value, "Test access switch, 4 ports");
    EXPECT_STREQ(e[1].value, "18446744073709551615");
    const Walked fdb = Walk(*client, SnmpClient::kV3Marker, {kFdbAddress, kFdbPort}, 11);
    EXPECT_EQ(Column(fdb, 0), kFixtureMacs);
    // SNMPv3 agents answer a get of a missing object with an exception: not accepted.
    SnmpOidEntry none = Entry("1.3.6.1.4.1.99999.1.99.0", "untouched");
    EXPECT_EQ(
        client->Request(SnmpClient::kGet, kLocalhost, SnmpClient::kV3Marker, 1000, 1, 1, 0, &none),
        0);
    EXPECT_STREQ(none.value, "untouched");
}

INSTANTIATE_TEST_SUITE_P(Users, SnmpSimV3Test, testing::ValuesIn(kSimUsers),
                         [](const testing::TestParamInfo<SimUser>& info) {
                             return info.param.name;
                         });

TEST_F(SnmpSimTest, V3SetOfIfAdminStatus) {
    settings_.Set(V3Settings("sha3des", 3, 3, "authpass4", "privpass4"));
    auto client = Client();
    SnmpOidEntry admin = Entry("1.3.6.1.2.1.2.2.1.7.4", "2");
    ASSERT_EQ(
        client->Set(kLocalhost, SnmpClient::kV3Marker, SnmpClient::kV3Marker, 1000, 1, &admin), 1);
    SnmpOidEntry back = Entry("1.3.6.1.2.1.2.2.1.7.4");
    ASSERT_EQ(client->Request(SnmpClient::kGet, kLocalhost, "public", 1000, 1, 1, 0, &back), 1);
    EXPECT_STREQ(back.value, "2");
}

TEST_F(SnmpSimTest, WrongPassPhrasesAndUnknownUsersFailWithinTheTimeout) {
    const std::vector<SnmpClientSettings> wrong = {
        V3Settings("md5des", 2, 2, "wrongpass", "privpass1"),   // bad digest
        V3Settings("md5des", 2, 2, "authpass1", "wrongpriv"),   // cannot decrypt
        V3Settings("sha3des", 3, 2, "authpass4", "privpass4"),  // DES against a 3DES user
        V3Settings("nobody", 2, 2, "authpass1", "privpass1"),   // unknown user
        V3Settings("noauth", 2, 1, "authpass5", ""),            // more security than the user has
    };
    for (const auto& s : wrong) {
        settings_.Set(s);
        auto client = Client();
        SnmpOidEntry e = Entry("1.3.6.1.2.1.1.1.0", "untouched");
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(
            client->Request(SnmpClient::kGet, kLocalhost, SnmpClient::kV3Marker, 300, 1, 1, 0, &e),
            0)
            << s.SnmpV3User;
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
        // Discovery and the request each wait at most two attempts of 300 ms.
        EXPECT_LT(ms.count(), 1300) << s.SnmpV3User;
        EXPECT_STREQ(e.value, "untouched");
    }
}

TEST_F(SnmpSimTest, OneEngineFollowsSettingChangesAndBootsOncePerClient) {
    auto client = Client();
    SnmpOidEntry e = Entry("1.3.6.1.2.1.1.5.0");
    settings_.Set(V3Settings("md5des", 2, 2, "authpass1", "privpass1"));
    EXPECT_EQ(
        client->Request(SnmpClient::kGet, kLocalhost, SnmpClient::kV3Marker, 1000, 1, 1, 0, &e), 1);
    settings_.Set(V3Settings("md5des", 2, 2, "authpass1", "wrongpriv"));
    EXPECT_EQ(
        client->Request(SnmpClient::kGet, kLocalhost, SnmpClient::kV3Marker, 300, 0, 1, 0, &e), 0);
    settings_.Set(V3Settings("sha3des", 3, 3, "authpass4", "privpass4"));
    EXPECT_EQ(
        client->Request(SnmpClient::kGet, kLocalhost, SnmpClient::kV3Marker, 1000, 1, 1, 0, &e), 1);
    EXPECT_STREQ(e.value, "sw-lab-1");
    // A context engine id given as hex text: the agent's own works, a foreign one or bad text not.
    std::smatch m;
    const std::string log = sim_->Log();
    ASSERT_TRUE(std::regex_search(log, m, std::regex("SNMPv3 EngineID: (0x[0-9a-f]+)"))) << log;
    SnmpClientSettings s = settings_.Get();
    for (const auto& [engineId, expected] : std::vector<std::pair<std::string, int>>{
             {m[1].str(), 1}, {"01 02 03 04 05", 0}, {"0x12345", 0}, {"xyz", 0}}) {
        s.SnmpV3EngineId = engineId;
        settings_.Set(s);
        EXPECT_EQ(
            client->Request(SnmpClient::kGet, kLocalhost, SnmpClient::kV3Marker, 300, 0, 1, 0, &e),
            expected)
            << engineId;
    }
    EXPECT_EQ(client->EngineBoots(), 1u);
    EXPECT_EQ(snmp::ReadBootCounter(dir_ / "snmpv3_boot_counter", "Tarvell").boots, 1u);
}

TEST_F(SnmpSimTest, BootCounterRisesByOnePerClientStartAndSurvivesRestarts) {
    settings_.Set(V3Settings("md5des", 2, 2, "authpass1", "privpass1"));
    const std::string path = dir_ / "snmpv3_boot_counter";
    for (std::uint32_t start = 1; start <= 3; ++start) {
        auto client = Client();
        EXPECT_EQ(client->EngineBoots(), 0u);  // nothing happens before the first SNMPv3 use
        SnmpOidEntry e = Entry("1.3.6.1.2.1.1.1.0");
        for (int i = 0; i < 3; ++i) {
            ASSERT_EQ(client->Request(SnmpClient::kGet, kLocalhost, SnmpClient::kV3Marker, 1000, 1,
                                      1, 0, &e),
                      1);
        }
        EXPECT_EQ(client->EngineBoots(), start);
        EXPECT_EQ(snmp::ReadBootCounter(path, "Tarvell").boots, start);
    }
}

TEST_F(SnmpSimTest, UnstorableBootCounterFailsSnmpV3OnlyAndIsRetried) {
    settings_.Set(V3Settings("md5des", 2, 2, "authpass1", "privpass1"));
    snmptest::WriteFile(dir_ / "blocker", "a file where a folder should be");
    auto client = Client("blocker/snmpv3_boot_counter");
    SnmpOidEntry e = Entry("1.3.6.1.2.1.1.1.0");
    EXPECT_EQ(
        client->Request(SnmpClient::kGet, kLocalhost, SnmpClient::kV3Marker, 300, 0, 1, 0, &e), 0);
    EXPECT_EQ(client->EngineBoots(), 0u);
    EXPECT_EQ(client->Request(SnmpClient::kGet, kLocalhost, "public", 1000, 1, 1, 0, &e), 1);

    // A damaged counter file is left as it is and SNMPv3 fails.
    snmptest::WriteFile(dir_ / "damaged", "not a counter\n");
    auto damaged = Client("damaged");
    EXPECT_EQ(
        damaged->Request(SnmpClient::kGet, kLocalhost, SnmpClient::kV3Marker, 300, 0, 1, 0, &e), 0);
    EXPECT_EQ(snmptest::ReadFile(dir_ / "damaged"), "not a counter\n");
}

TEST_F(SnmpSimTest, ManyThreadsShareOneClient) {
    settings_.Set(V3Settings("sha3des", 3, 3, "authpass4", "privpass4"));
    auto client = Client();
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 3; ++round) {
                const std::string community = t % 2 ? "public" : SnmpClient::kV3Marker;
                const Walked fdb =
                    Walk(*client, community, {kFdbAddress, kFdbPort, kFdbStatus}, 11, 3000);
                if (Column(fdb, 0) != kFixtureMacs) ++failures;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(snmp::ReadBootCounter(dir_ / "snmpv3_boot_counter", "Tarvell").boots, 1u);
}

// ---- snmpd: a second, independent agent with the same records --------------------------------

TEST(SnmpdAgreement, V1AndV3ReadsMatchTheSimulatorAndSetWorks) {
    const SimUser user{"netuser", "MD5", "authpass9", "DES", "privpass9"};
    snmptest::Snmpd snmpd;
    ASSERT_TRUE(snmpd.Start(snmptest::FixtureDir() / "switch" / "public.snmprec", {user}))
        << snmpd.Log();
    snmptest::SnmpSim sim;
    ASSERT_TRUE(sim.Start(snmptest::FixtureDir() / "switch", {user})) << sim.Log();

    snmptest::TempDir dir("client");
    SettingsBox settings;
    settings.Set(V3Settings(user.name, 2, 2, user.authKey, user.privKey));
    const auto client = [&](std::uint16_t port) {
        SnmpClientOptions o;
        o.agentPort = port;
        o.bootCounterPath = dir / "snmpv3_boot_counter";
        return std::make_unique<SnmpClient>(settings.Source(), o);
    };
    auto toSnmpd = client(snmpd.Port());
    auto toSim = client(sim.Port());

    const auto simV1 = StandardReads(*toSim, "public");
    EXPECT_EQ(simV1.size(), 1 + 3 + 6 + 1 + 4 + 4u);
    EXPECT_EQ(simV1[0], "get=1");
    EXPECT_EQ(StandardReads(*toSnmpd, "public"), simV1);
    // snmpd takes no context name for its default context.
    EXPECT_EQ(StandardReads(*toSim, SnmpClient::kV3Marker), simV1);
    SnmpClientSettings noContext = settings.Get();
    noContext.SnmpV3Context = "";
    settings.Set(noContext);
    EXPECT_EQ(StandardReads(*toSnmpd, SnmpClient::kV3Marker), simV1);

    SnmpOidEntry admin = Entry("1.3.6.1.2.1.2.2.1.7.3", "2");
    ASSERT_EQ(toSnmpd->Set(kLocalhost, "public", "private", 1000, 1, &admin), 1);
    SnmpOidEntry back = Entry("1.3.6.1.2.1.2.2.1.7.3");
    ASSERT_EQ(
        toSnmpd->Request(SnmpClient::kGet, kLocalhost, SnmpClient::kV3Marker, 1000, 1, 1, 0, &back),
        1);
    EXPECT_STREQ(back.value, "2");
    // The read-only community cannot write.
    admin = Entry("1.3.6.1.2.1.2.2.1.7.3", "1");
    EXPECT_EQ(toSnmpd->Set(kLocalhost, "public", "public", 1000, 1, &admin), 0);
}

// ---- traps received by snmptrapd -------------------------------------------------------------

TEST(SnmpTraps, V1TrapCarriesEnterpriseAndSpecificCode) {
    snmptest::Snmptrapd trapd;
    ASSERT_TRUE(trapd.Start({"trapuser", "MD5", "authpass1", "DES", "privpass1"}, "54617276656C6C"))
        << trapd.Log();
    snmptest::TempDir dir("client");
    SettingsBox settings;
    SnmpClientSettings s;
    s.SnmpTrapSpecific = 1;
    s.SnmpTrapEnterprise = ".1.3.6.1.4.1.99999";
    settings.Set(s);
    SnmpClientOptions o;
    o.trapPort = trapd.Port();
    o.bootCounterPath = dir / "snmpv3_boot_counter";
    SnmpClient client(settings.Source(), o);

    SnmpOidEntry e = Entry("1.3.6.1.4.1.99999.2", "10.0.0.1/port 3: Unauthorized Node");
    EXPECT_EQ(client.Request(SnmpClient::kTrap, kLocalhost, "public", 1000, 1, 1, 10, &e), 1);
    ASSERT_TRUE(trapd.WaitForLog("10.0.0.1/port 3: Unauthorized Node", std::chrono::seconds(10)))
        << trapd.Log();
    const std::string log = trapd.Log();
    EXPECT_NE(log.find("TRAP, SNMP v1, community public"), std::string::npos) << log;
    EXPECT_NE(log.find(".1.3.6.1.4.1.99999 Enterprise Specific Trap (2)"), std::string::npos)
        << log;

    // Without specific traps the public experimental enterprise is used; a notify id without a
    // suffix of its own is specific code 3 of the enterprise above it.
    s.SnmpTrapSpecific = 0;
    settings.Set(s);
    SnmpOidEntry test = Entry("1.3.6.1.3", "Test Alert text");
    EXPECT_EQ(client.Request(SnmpClient::kTrap, kLocalhost, "public", 1000, 1, 1, 10, &test), 1);
    ASSERT_TRUE(trapd.WaitForLog("Test Alert text", std::chrono::seconds(10))) << trapd.Log();
    EXPECT_NE(trapd.Log().find(".1.3.6.1 Enterprise Specific Trap (3)"), std::string::npos)
        << trapd.Log();
}

TEST(SnmpTraps, V3TrapFromEngineTarvellAuthPriv) {
    const SimUser user{"trapuser", "MD5", "authpass1", "DES", "privpass1"};
    snmptest::Snmptrapd trapd;
    ASSERT_TRUE(trapd.Start(user, "54617276656C6C")) << trapd.Log();
    snmptest::TempDir dir("client");
    SettingsBox settings;
    SnmpClientSettings s = V3Settings(user.name, 2, 2, user.authKey, user.privKey);
    s.SnmpV3Context = "";
    s.SnmpTrapSpecific = 1;
    s.SnmpTrapEnterprise = "1.3.6.1.4.1.99999";
    settings.Set(s);
    SnmpClientOptions o;
    o.trapPort = trapd.Port();
    o.bootCounterPath = dir / "snmpv3_boot_counter";
    SnmpClient client(settings.Source(), o);

    SnmpOidEntry e = Entry("1.3.6.1.4.1.99999.1", "10.0.0.2/port 4: New Mac");
    EXPECT_EQ(
        client.Request(SnmpClient::kTrap, kLocalhost, SnmpClient::kV3Marker, 1000, 1, 1, 10, &e),
        1);
    ASSERT_TRUE(trapd.WaitForLog("10.0.0.2/port 4: New Mac", std::chrono::seconds(10)))
        << trapd.Log();
    const std::string log = trapd.Log();
    EXPECT_NE(log.find(".1.3.6.1.6.3.1.1.4.1.0 = OID: .1.3.6.1.4.1.99999.1"), std::string::npos)
        << log;
    EXPECT_NE(log.find(".1.3.6.1.6.3.1.1.4.3.0 = OID: .1.3.6.1.4.1.99999"), std::string::npos)
        << log;

    // A receiver that knows the user under another engine id cannot read the trap.
    snmptest::Snmptrapd other;
    ASSERT_TRUE(other.Start(user, "0102030405")) << other.Log();
    SnmpClientOptions o2 = o;
    o2.trapPort = other.Port();
    SnmpClient client2(settings.Source(), o2);
    SnmpOidEntry hidden = Entry("1.3.6.1.4.1.99999.1", "should not be readable");
    EXPECT_EQ(client2.Request(SnmpClient::kTrap, kLocalhost, SnmpClient::kV3Marker, 1000, 1, 1, 10,
                              &hidden),
              1);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(other.Log().find("should not be readable"), std::string::npos) << other.Log();
}

}  // namespace
}  // namespace tarvell
