// Column walks against snmpsim serving every recording: GetBulk over SNMPv3 gives the very rows of
// the get-next walk; an agent that answers GetBulk with an error or not at all is walked with
// get-next and remembered; an SNMPv3 walk that fails says why.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "platform/snmp/Message.h"
#include "service/engine/SnmpClient.h"
#include "tests/fixtures/snmp/LoopbackResponder.h"
#include "tests/support/SwitchLab.h"

namespace tarvell {
namespace {

constexpr const char* kLocalhost = "127.0.0.1";
const snmptest::SimUser kUser{"walker", "", "", "", ""};
const snmptest::SimUser kPrivUser{"walkpriv", "SHA", "walk-auth-1", "DES", "walk-priv-1"};

// The column sets a poll reads, plus interface columns and the system group for longer walks.
const std::vector<std::vector<std::string>> kColumnSets = {
    {"1.3.6.1.2.1.17.1.4.1.1", "1.3.6.1.2.1.17.1.4.1.2"},
    {"1.3.6.1.2.1.17.4.3.1.1", "1.3.6.1.2.1.17.4.3.1.2", "1.3.6.1.2.1.17.4.3.1.3"},
    {"1.3.6.1.2.1.17.7.1.2.2.1.1", "1.3.6.1.2.1.17.7.1.2.2.1.2", "1.3.6.1.2.1.17.7.1.2.2.1.3"},
    {"1.3.6.1.4.1.9.9.68.1.2.2.1.2"},
    {"1.3.6.1.4.1.9.5.1.9.2.1.1"},
    {"1.3.6.1.4.1.43.10.1.14.1.2.1.4"},
    {"1.3.6.1.2.1.2.2.1.2", "1.3.6.1.2.1.2.2.1.3", "1.3.6.1.2.1.2.2.1.8"},
    {"1.3.6.1.2.1.1"},
};

std::vector<std::string> Recordings() {
    std::vector<std::string> out;
    for (const auto& f : std::filesystem::directory_iterator(lab::SnmprecFolder()))
        if (f.path().extension() == ".snmprec") out.push_back(f.path().stem().string());
    std::sort(out.begin(), out.end());
    return out;
}

SnmpClientSettings SettingsOf(const snmptest::SimUser& u) {
    SnmpClientSettings s;
    s.SnmpV3User = u.name;
    s.SnmpV3SecurityLevel = u.authProto.empty() ? 1 : u.privProto.empty() ? 2 : 3;
    s.SnmpV3AuthProtocol = u.authProto == "MD5" ? 2 : u.authProto == "SHA" ? 3 : 1;
    s.SnmpV3PrivProtocol = u.privProto == "DES" ? 2 : u.privProto == "3DES" ? 3 : 1;
    s.SnmpV3AuthPassword = u.authKey;
    s.SnmpV3PrivPassword = u.privKey;
    return s;
}

// Every row as text: each binding's OID, type and raw bytes.
struct Rows {
    std::vector<std::string> rows;
    SnmpWalkResult result;
};

Rows WalkRows(SnmpClient& client, const std::string& address,
              const std::vector<std::string>& columns, SnmpWalkOptions options) {
    Rows out;
    out.result = client.Walk(
        address, SnmpClient::kV3Marker, 300, 2, columns,
        [&](const snmp::WalkRow& row) {
            std::string text;
            for (const auto& b : row)
                text += snmp::OidToText(b.oid) + "/" + std::to_string(b.value.type) + "/" +
                        snmp::HexUpper(b.value.raw) + " ";
            out.rows.push_back(std::move(text));
        },
        options);
    return out;
}

class SnmpWalkTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        sim_ = new snmptest::SnmpSim;
        if (!sim_->Start(lab::SnmprecFolder(), {kUser, kPrivUser}, std::chrono::seconds(90),
                         Recordings()))
            FAIL() << "snmpsim did not start:\n" << sim_->Log();
    }
    static void TearDownTestSuite() {
        delete sim_;
        sim_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(sim_ && sim_->Port()); }

    std::unique_ptr<SnmpClient> Client(std::uint16_t port,
                                       SnmpClientSettings settings = SettingsOf(kUser)) {
        SnmpClientOptions o;
        o.agentPort = port;
        o.bootCounterPath = dir_ / "snmpv3_boot_counter";
        return std::make_unique<SnmpClient>([settings] { return settings; }, o);
    }

    static snmptest::SnmpSim* sim_;
    snmptest::TempDir dir_{"walk"};
};
snmptest::SnmpSim* SnmpWalkTest::sim_ = nullptr;

TEST_F(SnmpWalkTest, GetBulkGivesTheRowsOfTheGetNextWalkOnEveryRecording) {
    auto client = Client(sim_->Port());
    std::size_t total = 0;
    for (const std::string& recording : Recordings()) {
        for (const auto& columns : kColumnSets) {
            for (const bool ordered : {true, false}) {
                SnmpWalkOptions options;
                options.v3Context = recording;  // snmpsim picks the recording by context name
                options.ordered = ordered;
                options.getNextOnly = true;
                const Rows slow = WalkRows(*client, kLocalhost, columns, options);
                options.getNextOnly = false;
                const Rows bulk = WalkRows(*client, kLocalhost, columns, options);
                ASSERT_EQ(slow.result.end, snmp::WalkEnd::Done) << recording << " " << columns[0];
                ASSERT_EQ(bulk.result.end, snmp::WalkEnd::Done) << recording << " " << columns[0];
                EXPECT_TRUE(bulk.result.bulk) << recording;
                EXPECT_EQ(bulk.rows, slow.rows)
                    << recording << " " << columns[0] << " ordered " << ordered;
                if (slow.rows.size() > 2 * SnmpClient::kMaxRepetitions)
                    EXPECT_LT(bulk.result.requests * 4, slow.result.requests) << recording;
                total += slow.rows.size();
            }
        }
    }
    EXPECT_GT(total, 5'000u);
    EXPECT_FALSE(client->RefusedBulk(kLocalhost));
}

// A relay in front of snmpsim that answers GetBulk itself: with genErr, or not at all.
class BulkRefuser {
public:
    BulkRefuser(std::uint16_t simPort, bool silent)
        : silent_(silent),
          sim_(*snmp::ParseEndpoint(kLocalhost, simPort)),
          relay_([this](std::string_view d) { return Answer(d); }) {}
    std::uint16_t Port() const { return relay_.Port(); }
    int Refused() const { return refused_; }

private:
    std::string Answer(std::string_view datagram) {
        auto msg = snmp::DecodeV3Message(datagram);
        if (msg && !msg->encrypted && msg->scoped.pdu.type == snmp::pdu::kGetBulk) {
            ++refused_;
            if (silent_) return {};
            snmp::V3Header header = msg->header;
            header.flags = 0;
            snmp::ScopedPdu scoped = msg->scoped;
            scoped.pdu.type = snmp::pdu::kResponse;
            scoped.pdu.errorStatus = 5;  // genErr
            scoped.pdu.errorIndex = 1;
            return snmp::EncodeV3Message(header, msg->usm, snmp::EncodeScopedPdu(scoped)).bytes;
        }
        snmp::UdpChannel channel(sim_);
        std::string reply;
        if (!channel.Send(datagram)) return {};
        channel.ReceiveUntil(std::chrono::steady_clock::now() + std::chrono::seconds(2),
                             [&](std::string_view d) {
                                 reply.assign(d);
                                 return true;
                             });
        return reply;
    }

    const bool silent_;
    const snmp::Endpoint sim_;
    std::atomic<int> refused_{0};
    snmptest::LoopbackResponder relay_;
};

TEST_F(SnmpWalkTest, AnAgentRefusingGetBulkIsWalkedWithGetNextAndRemembered) {
    const std::vector<std::string> columns = kColumnSets[1];
    SnmpWalkOptions options;
    options.v3Context = "hpe-procurve-516733-b21";
    options.ordered = false;
    const Rows direct = WalkRows(*Client(sim_->Port()), kLocalhost, columns, options);
    ASSERT_FALSE(direct.rows.empty());
    for (const bool silent : {false, true}) {
        BulkRefuser relay(sim_->Port(), silent);
        auto client = Client(relay.Port());
        const Rows first = WalkRows(*client, kLocalhost, columns, options);
        EXPECT_EQ(first.result.end, snmp::WalkEnd::Done) << silent;
        EXPECT_FALSE(first.result.bulk);
        EXPECT_EQ(first.rows, direct.rows) << silent;
        EXPECT_TRUE(client->RefusedBulk(kLocalhost));
        // The next walk asks with get-next at once.
        const Rows second = WalkRows(*client, kLocalhost, columns, options);
        EXPECT_EQ(second.rows, direct.rows);
        EXPECT_EQ(relay.Refused(), silent ? 3 : 1)
            << silent;  // silence: the request and its two retries
    }
}

// Net-SNMP's agent reports each of these faults; a silent port gives no answer.
TEST(SnmpWalkFailure, AFailedSnmpV3WalkSaysWhy) {
    snmptest::Snmpd snmpd;
    ASSERT_TRUE(snmpd.Start(snmptest::FixtureDir() / "switch" / "public.snmprec", {kPrivUser}))
        << snmpd.Log();
    snmptest::TempDir dir("walk-fail");
    const auto client = [&](std::uint16_t port, const SnmpClientSettings& settings) {
        SnmpClientOptions o;
        o.agentPort = port;
        o.bootCounterPath = dir / "snmpv3_boot_counter";
        return std::make_unique<SnmpClient>([settings] { return settings; }, o);
    };
    SnmpClientSettings wrongAuth = SettingsOf(kPrivUser), wrongPriv = wrongAuth,
                       unknown = wrongAuth;
    wrongAuth.SnmpV3AuthPassword = "not-the-pass";
    wrongPriv.SnmpV3PrivPassword = "not-the-pass";
    unknown.SnmpV3User = "nobody";
    const std::vector<std::tuple<SnmpClientSettings, bool, std::string>> cases = {
        {wrongAuth, false, "wrong digest"}, {wrongPriv, false, "not decryptable"},
        {unknown, false, "unknown user"},   {SettingsOf(kPrivUser), true, "no answer"},
        {SettingsOf(kPrivUser), false, ""},
    };
    for (const auto& [settings, silent, reason] : cases) {
        const Rows walked =
            WalkRows(*client(silent ? snmptest::FreeUdpPort() : snmpd.Port(), settings), kLocalhost,
                     kColumnSets.back(), {});
        EXPECT_EQ(walked.result.end, reason.empty() ? snmp::WalkEnd::Done : snmp::WalkEnd::Failed)
            << reason;
        EXPECT_EQ(walked.result.reason, reason);
        EXPECT_EQ(walked.rows.empty(), !reason.empty()) << reason;
    }
}

}  // namespace
}  // namespace tarvell
