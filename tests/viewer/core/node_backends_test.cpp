// The node tools over their real backends: ICMP echo on the loopback address and SNMPv1 GETs
// against a simulated switch on 127.0.0.1.
#include <gtest/gtest.h>

#include "tests/support/SwitchLab.h"
#include "viewer/core/monitors/NodeBackends.h"

namespace tarvell::nodetools {
namespace {

std::string Collect(const std::function<void(const std::atomic<bool>&, const LineSink&)>& run) {
    std::atomic<bool> cancel{false};
    std::string out;
    run(cancel, [&](const std::string& s) { out += s; });
    return out;
}

TEST(NodeBackendsTest, PingLoopbackGetsFourReplies) {
    IcmpSocket probe;
    if (const std::string reason = probe.Open(); !reason.empty()) GTEST_SKIP() << reason;
    IcmpEchoBackend echo;
    const std::string out = Collect([&](auto& cancel, auto& sink) {
        RunPing(echo, "127.0.0.1", "32", "1000", 31337, cancel, sink);
    });
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n') - 2, 4) << out;
    EXPECT_NE(out.find("Reply from 127.0.0.1 : bytes=32 time="), std::string::npos) << out;
    EXPECT_TRUE(out.ends_with("Sent = 4, Received = 4, Lost = 0 (0% loss).")) << out;
}

TEST(NodeBackendsTest, SnmpAgainstSimulatedSwitch) {
    snmptest::SnmpSim sim;
    if (!sim.Start(lab::SnmprecFolder(), {}, std::chrono::seconds(60), {"cisco-c3750"}))
        GTEST_SKIP() << "snmpsim did not start: " << sim.Log();
    const auto records = lab::ReadSnmprec(lab::SnmprecFolder() / "cisco-c3750.snmprec");
    CommunitySnmpBackend snmp(sim.Port());
    const std::string out = Collect([&](auto& cancel, auto& sink) {
        RunSnmp(snmp, "127.0.0.1", "cisco-c3750", "1000", cancel, sink);
    });
    EXPECT_NE(out.find("Description: " + records.at("1.3.6.1.2.1.1.1.0").Bytes() + "\r\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("Name: " + records.at("1.3.6.1.2.1.1.5.0").Bytes() + "\r\n"),
              std::string::npos);
    EXPECT_TRUE(out.ends_with("Sent = 1, Received = 1, Lost = 0 (0% loss).")) << out;

    const std::string wrong = Collect([&](auto& cancel, auto& sink) {
        RunSnmp(snmp, "127.0.0.1", "no-such-community", "200", cancel, sink);
    });
    EXPECT_TRUE(wrong.ends_with("Sent = 4, Received = 0, Lost = 4 (100% loss).")) << wrong;
}

TEST(NodeBackendsTest, ValuesAreReadByTypeAndPlace) {
    snmp::Pdu answer;
    for (const char* oid : kSystemGroupOids)
        answer.bindings.push_back({*snmp::ParseOid(oid), snmp::Value::Integer(5)});
    answer.bindings[0].value = snmp::Value::OctetString("desc");
    answer.bindings[2].value = snmp::Value::Unsigned(snmp::tag::kTimeTicks, 100);
    answer.bindings[4].value = snmp::Value::OctetString("sw");
    answer.bindings[4].oid = *snmp::ParseOid("1.3.6.1.2.1.1.99.0");  // not the asked binding
    SystemGroup g;
    ReadSystemGroup(answer, g);
    EXPECT_EQ(g.description, "desc");
    EXPECT_EQ(g.uptimeTicks, 100u);
    EXPECT_EQ(g.objectId + g.contact + g.name + g.location, "");  // wrong type or place
    answer.errorStatus = 2;
    ReadSystemGroup(answer, g);
    EXPECT_EQ(g.description, "");
    EXPECT_FALSE(g.uptimeTicks);
}

}  // namespace
}  // namespace tarvell::nodetools
