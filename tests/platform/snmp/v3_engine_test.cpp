// The SNMPv3 engine: discovery, reports and time synchronisation, against snmpsim and against a
// scripted authoritative agent for the cases real agents give only after hours (clock drift,
// an agent replaced under the same address).
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <optional>
#include <regex>

#include "platform/snmp/V3Engine.h"
#include "tests/fixtures/snmp/LoopbackResponder.h"
#include "tests/fixtures/snmp/SnmpPeers.h"

namespace tarvell::snmp {
namespace {

const Oid kSysDescr{1, 3, 6, 1, 2, 1, 1, 1, 0};

V3Params Params(const std::string& user, AuthProtocol auth, const std::string& authPass,
                PrivProtocol priv, const std::string& privPass, SecurityLevel level) {
    V3Params p;
    p.user = {user, auth, priv, authPass, privPass};
    p.level = level;
    p.contextName = "public";
    return p;
}

Endpoint Loopback(std::uint16_t port) { return *ParseEndpoint("127.0.0.1", port); }

// ---- snmpsim ---------------------------------------------------------------------------------

class V3EngineSim : public testing::Test {
protected:
    static void SetUpTestSuite() {
        sim_ = new snmptest::SnmpSim;
        if (!sim_->Start(
                snmptest::FixtureDir() / "switch",
                {{"md5des", "MD5", "authpass1", "DES", "privpass1"}, {"noauth", "", "", "", ""}})) {
            FAIL() << sim_->Log();
        }
    }
    static void TearDownTestSuite() {
        delete sim_;
        sim_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(sim_ && sim_->Port()); }

    Reply Get(V3Engine& engine, const V3Params& params) {
        return engine.Request(Loopback(sim_->Port()), Timing{1000, 1}, params, pdu::kGet,
                              {{kSysDescr, Value::Null()}});
    }

    static snmptest::SnmpSim* sim_;
};
snmptest::SnmpSim* V3EngineSim::sim_ = nullptr;

TEST_F(V3EngineSim, LearnsTheAgentsEngineId) {
    V3Engine engine("Tarvell", 1);
    const auto params = Params("md5des", AuthProtocol::Md5, "authpass1", PrivProtocol::Des,
                               "privpass1", SecurityLevel::AuthPriv);
    EXPECT_FALSE(engine.KnownEngineId(Loopback(sim_->Port())));
    const Reply reply = Get(engine, params);
    ASSERT_EQ(reply.status, Status::Ok);
    EXPECT_EQ(PrintableValue(reply.pdu.bindings.at(0).value), "Test access switch, 4 ports");
    const auto learnt = engine.KnownEngineId(Loopback(sim_->Port()));
    ASSERT_TRUE(learnt);
    std::smatch m;
    const std::string log = sim_->Log();
    ASSERT_TRUE(std::regex_search(log, m, std::regex("SNMPv3 EngineID: 0x([0-9a-f]+)"))) << log;
    std::string expected = m[1].str();
    for (char& c : expected) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(HexUpper(*learnt), expected);
}

// The simulator answers a wrong pass phrase with a report signed with its key; it drops requests
// of unknown users and of a security level the user lacks (see Net-SNMP's agent below).
TEST_F(V3EngineSim, WrongPassPhraseEndsTheRequestAtOnce) {
    V3Engine engine("Tarvell", 1);
    const auto start = std::chrono::steady_clock::now();
    const Reply reply = Get(engine, Params("md5des", AuthProtocol::Md5, "wrongpass",
                                           PrivProtocol::None, "", SecurityLevel::AuthNoPriv));
    EXPECT_EQ(reply.status, Status::AuthFailure);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
}

TEST(V3EngineSnmpd, AgentErrorsComeBackAsReports) {
    snmptest::Snmpd snmpd;
    ASSERT_TRUE(snmpd.Start(snmptest::FixtureDir() / "switch" / "public.snmprec",
                            {{"full", "SHA", "authpass1", "DES", "privpass1"},
                             {"authonly", "MD5", "authpass2", "", ""}}))
        << snmpd.Log();
    V3Engine engine("Tarvell", 1);
    const auto get = [&](const V3Params& p) {
        V3Params params = p;
        params.contextName = "";
        return engine.Request(Loopback(snmpd.Port()), Timing{1000, 1}, params, pdu::kGet,
                              {{kSysDescr, Value::Null()}});
    };
    Reply ok = get(Params("full", AuthProtocol::Sha, "authpass1", PrivProtocol::Des, "privpass1",
                          SecurityLevel::AuthPriv));
    ASSERT_EQ(ok.status, Status::Ok);
    EXPECT_EQ(PrintableValue(ok.pdu.bindings.at(0).value), "Test access switch, 4 ports");

    struct Case {
        V3Params params;
        Oid report;
    };
    const std::vector<Case> cases = {
        {Params("nosuchuser", AuthProtocol::Md5, "authpass1", PrivProtocol::None, "",
                SecurityLevel::AuthNoPriv),
         usm_stats::kUnknownUserNames},
        {Params("full", AuthProtocol::Sha, "wrongpass", PrivProtocol::None, "",
                SecurityLevel::AuthNoPriv),
         usm_stats::kWrongDigests},
        {Params("authonly", AuthProtocol::Md5, "authpass2", PrivProtocol::Des, "privpass2",
                SecurityLevel::AuthPriv),
         usm_stats::kUnsupportedSecLevels},
    };
    for (const Case& c : cases) {
        const Reply reply = get(c.params);
        EXPECT_EQ(reply.status, Status::Report) << c.params.user.name;
        ASSERT_FALSE(reply.pdu.bindings.empty()) << c.params.user.name;
        EXPECT_EQ(OidToText(reply.pdu.bindings[0].oid), OidToText(c.report)) << c.params.user.name;
    }
}

TEST_F(V3EngineSim, UnusableSettingsSendNothing) {
    V3Engine engine("Tarvell", 1);
    EXPECT_EQ(Get(engine, Params("md5des", AuthProtocol::None, "", PrivProtocol::None, "",
                                 SecurityLevel::AuthNoPriv))
                  .status,
              Status::BadRequest);
    EXPECT_EQ(Get(engine, Params("md5des", AuthProtocol::Md5, "authpass1", PrivProtocol::Des, "",
                                 SecurityLevel::AuthPriv))
                  .status,
              Status::BadRequest);
    EXPECT_EQ(Get(engine, Params(std::string(33, 'u'), AuthProtocol::None, "", PrivProtocol::None,
                                 "", SecurityLevel::NoAuthNoPriv))
                  .status,
              Status::BadRequest);
    EXPECT_FALSE(engine.KnownEngineId(Loopback(sim_->Port())));
}

// ---- a scripted authoritative agent ------------------------------------------------------------

// Answers SNMPv3 with HMAC-MD5 authentication as engine `engineId` (changeable), with its clock
// and answers chosen by the test.
class ScriptedAgent {
public:
    // ForgedNotInTimeWindow: an unauthenticated report claiming a clock far ahead, as anyone who
    // saw the request could send.
    enum class Answer { Response, NotInTimeWindow, StaleResponse, Silence, ForgedNotInTimeWindow };

    ScriptedAgent(std::string user, const std::string& password)
        : user_(std::move(user)), ku_(PasswordToKey(AuthProtocol::Md5, password)) {}

    std::uint16_t Port() const { return responder_.Port(); }
    void SetEngine(const std::string& id, std::int32_t boots, std::int32_t time) {
        std::lock_guard<std::mutex> lock(m_);
        engineId_ = id;
        boots_ = boots;
        time_ = time;
    }
    // Boots that the unauthenticated discovery report claims instead of the real ones.
    void ForgeDiscoveryBoots(std::int32_t boots) {
        std::lock_guard<std::mutex> lock(m_);
        discoveryBoots_ = boots;
    }
    void Script(std::vector<Answer> answers) {
        std::lock_guard<std::mutex> lock(m_);
        script_ = std::move(answers);
    }
    // (engine id, boots, time) of each authenticated request received.
    std::vector<std::tuple<std::string, std::int32_t, std::int32_t>> Seen() {
        std::lock_guard<std::mutex> lock(m_);
        return seen_;
    }
    int Discoveries() const { return discoveries_; }

private:
    std::string Handle(std::string_view datagram) {
        std::lock_guard<std::mutex> lock(m_);
        auto msg = DecodeV3Message(datagram);
        if (!msg || msg->encrypted) return {};
        if (msg->usm.engineId != engineId_) {
            // Discovery, or a request for an engine id this agent no longer has.
            if (msg->usm.engineId.empty()) ++discoveries_;
            return Encode(*msg, pdu::kReport, usm_stats::kUnknownEngineIds, false,
                          discoveryBoots_.value_or(boots_), time_);
        }
        const std::string key = LocalizeKey(AuthProtocol::Md5, ku_, engineId_);
        std::string zeroed(datagram);
        zeroed.replace(msg->authParamsOffset, 12, 12, '\0');
        if (msg->usm.userName != user_ ||
            !AuthDigestMatches(AuthProtocol::Md5, key, zeroed, msg->usm.authParams)) {
            return {};
        }
        seen_.emplace_back(msg->usm.engineId, msg->usm.boots, msg->usm.time);
        const Answer answer = script_.empty() ? Answer::Response : script_.front();
        if (!script_.empty()) script_.erase(script_.begin());
        switch (answer) {
            case Answer::NotInTimeWindow:
                return Encode(*msg, pdu::kReport, usm_stats::kNotInTimeWindows, true, boots_,
                              time_);
            case Answer::StaleResponse:
                return Encode(*msg, pdu::kResponse, kSysDescr, true, boots_ - 1, time_);
            case Answer::Silence: return {};
            case Answer::ForgedNotInTimeWindow:
                return Encode(*msg, pdu::kReport, usm_stats::kNotInTimeWindows, false,
                              boots_ + 1000, time_);
            case Answer::Response: break;
        }
        return Encode(*msg, pdu::kResponse, kSysDescr, true, boots_, time_);
    }

    std::string Encode(const V3Message& request, std::uint8_t type, const Oid& oid,
                       bool authenticated, std::int32_t boots, std::int32_t time) {
        V3Header h;
        h.msgId = request.header.msgId;
        h.flags = authenticated ? flags::kAuth : 0;
        UsmParameters usm;
        usm.engineId = engineId_;
        usm.boots = boots;
        usm.time = time;
        usm.userName = authenticated ? user_ : "";
        if (authenticated) usm.authParams.assign(12, '\0');
        ScopedPdu scoped;
        scoped.contextEngineId = engineId_;
        scoped.pdu.type = type;
        scoped.pdu.requestId = request.scoped.pdu.requestId;
        scoped.pdu.bindings = {{oid, type == pdu::kReport ? Value::Unsigned(tag::kCounter32, 1)
                                                          : Value::OctetString("scripted agent")}};
        EncodedV3 enc = EncodeV3Message(h, usm, EncodeScopedPdu(scoped));
        if (authenticated) {
            enc.bytes.replace(
                enc.authParamsOffset, 12,
                AuthDigest(AuthProtocol::Md5, LocalizeKey(AuthProtocol::Md5, ku_, engineId_),
                           enc.bytes));
        }
        return enc.bytes;
    }

    std::string user_;
    std::string ku_;
    std::mutex m_;
    std::string engineId_ = "agent-engine-1";
    std::int32_t boots_ = 5;
    std::int32_t time_ = 1000;
    std::optional<std::int32_t> discoveryBoots_;
    std::vector<Answer> script_;
    std::vector<std::tuple<std::string, std::int32_t, std::int32_t>> seen_;
    std::atomic<int> discoveries_{0};
    // Last: it starts after and stops before what Handle uses.
    snmptest::LoopbackResponder responder_{
        [this](std::string_view datagram) { return Handle(datagram); }};
};

V3Params ScriptedParams() {
    return Params("scripted", AuthProtocol::Md5, "scriptpass", PrivProtocol::None, "",
                  SecurityLevel::AuthNoPriv);
}

Reply ScriptedGet(V3Engine& engine, ScriptedAgent& agent, int timeoutMs = 500) {
    return engine.Request(Loopback(agent.Port()), Timing{timeoutMs, 0}, ScriptedParams(), pdu::kGet,
                          {{kSysDescr, Value::Null()}});
}

TEST(V3EngineScripted, ResynchronisesOnNotInTimeWindowAndRemembersTheClock) {
    ScriptedAgent agent("scripted", "scriptpass");
    V3Engine engine("Tarvell", 1);
    ASSERT_EQ(ScriptedGet(engine, agent).status, Status::Ok);
    // The agent rebooted: its clock moved on, and it says so once.
    agent.SetEngine("agent-engine-1", 6, 20);
    agent.Script({ScriptedAgent::Answer::NotInTimeWindow});
    const Reply reply = ScriptedGet(engine, agent);
    ASSERT_EQ(reply.status, Status::Ok);
    EXPECT_EQ(PrintableValue(reply.pdu.bindings.at(0).value), "scripted agent");
    ASSERT_EQ(ScriptedGet(engine, agent).status, Status::Ok);
    const auto seen = agent.Seen();
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(std::get<1>(seen[0]), 5);
    EXPECT_EQ(std::get<1>(seen[1]), 5);  // sent with the old clock
    EXPECT_EQ(std::get<1>(seen[2]), 6);  // resent with the new one
    EXPECT_GE(std::get<2>(seen[2]), 20);
    EXPECT_EQ(std::get<1>(seen[3]), 6);  // and kept
    EXPECT_EQ(agent.Discoveries(), 1);
}

TEST(V3EngineScripted, AnAnswerFromBeforeTheAgentsLastBootIsDropped) {
    ScriptedAgent agent("scripted", "scriptpass");
    V3Engine engine("Tarvell", 1);
    ASSERT_EQ(ScriptedGet(engine, agent).status, Status::Ok);
    agent.Script({ScriptedAgent::Answer::StaleResponse});
    EXPECT_EQ(ScriptedGet(engine, agent, 300).status, Status::Timeout);
}

TEST(V3EngineScripted, FollowsAnAgentWhoseEngineIdChanged) {
    ScriptedAgent agent("scripted", "scriptpass");
    V3Engine engine("Tarvell", 1);
    ASSERT_EQ(ScriptedGet(engine, agent).status, Status::Ok);
    agent.SetEngine("agent-engine-2", 1, 3);
    ASSERT_EQ(ScriptedGet(engine, agent).status, Status::Ok);
    EXPECT_EQ(engine.KnownEngineId(Loopback(agent.Port())), "agent-engine-2");
    const auto seen = agent.Seen();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(std::get<0>(seen[1]), "agent-engine-2");  // with keys localised for the new id
}

TEST(V3EngineScripted, UnauthenticatedReportsCannotLockTheAgentOut) {
    // A forged report after the clock was learnt from authenticated answers moves nothing.
    ScriptedAgent agent("scripted", "scriptpass");
    V3Engine engine("Tarvell", 1);
    ASSERT_EQ(ScriptedGet(engine, agent).status, Status::Ok);
    agent.Script({ScriptedAgent::Answer::ForgedNotInTimeWindow});
    EXPECT_EQ(ScriptedGet(engine, agent).status, Status::Ok);
    EXPECT_EQ(ScriptedGet(engine, agent).status, Status::Ok);
    for (const auto& seen : agent.Seen()) EXPECT_EQ(std::get<1>(seen), 5);

    // A discovery report's clock is only a first guess: the agent's authenticated answer wins.
    ScriptedAgent lied("scripted", "scriptpass");
    lied.ForgeDiscoveryBoots(1000);
    V3Engine fresh("Tarvell", 1);
    EXPECT_EQ(ScriptedGet(fresh, lied).status, Status::Ok);
    EXPECT_EQ(ScriptedGet(fresh, lied).status, Status::Ok);
    const auto seen = lied.Seen();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(std::get<1>(seen[1]), 5);
}

TEST(V3EngineScripted, SilentAgentTimesOutWithoutDiscovery) {
    V3Engine engine("Tarvell", 1);
    const std::uint16_t port = snmptest::FreeUdpPort();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(engine
                  .Request(Loopback(port), Timing{100, 1}, ScriptedParams(), pdu::kGet,
                           {{kSysDescr, Value::Null()}})
                  .status,
              Status::Timeout);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
    EXPECT_FALSE(engine.KnownEngineId(Loopback(port)));
}

// ---- transport helpers -----------------------------------------------------------------------

TEST(Session, EndpointsAreNumericOnlyAndTimingIsBounded) {
    EXPECT_EQ(ParseEndpoint("10.0.0.1", 161)->Key(), "10.0.0.1:161");
    EXPECT_EQ(ParseEndpoint("::1", 162)->Key(), "[::1]:162");
    EXPECT_EQ(ParseEndpoint("[fe80::1]", 161)->Family(), AF_INET6);
    for (const char* bad : {"", "localhost", "10.0.0", "10.0.0.1:161", "[10.0.0.1", "1.2.3.4 "}) {
        EXPECT_FALSE(ParseEndpoint(bad, 161)) << bad;
    }
    EXPECT_EQ(MakeTiming(0, -1).timeoutMs, 1);
    EXPECT_EQ(MakeTiming(0, -1).retries, 0);
    EXPECT_EQ(MakeTiming(4294967295LL, 4294967295LL).timeoutMs, 600000);
    EXPECT_EQ(MakeTiming(4294967295LL, 4294967295LL).retries, 20);
    RequestIds ids;
    for (int i = 0; i < 1000; ++i) EXPECT_GT(ids.Next(), 0);
}

}  // namespace
}  // namespace tarvell::snmp
