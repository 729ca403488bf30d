// SNMPv3 switches: per-VLAN bridge data is read through the context "vlan-<id>", never through
// a community "SNMP/V3@<id>" over SNMPv1.
#include "tests/service/polling/PollingFixture.h"

namespace tarvell::polltest {
namespace {

// Fixed fault: "SNMP/V3@<vlan>" went out as an SNMPv1 community.
TEST_F(PollingFixture, AnSnmpV3SwitchIsReadPerVlanThroughVlanContexts) {
    if (!lab::Lab().agentPort) lab::Lab().agentPort = lab::PortFreeOnLabAddresses();
    // snmpsim picks the recording by context name: the switch's own data under the configured
    // context "lab", each VLAN's under "vlan-<id>".
    snmptest::TempDir data("v3-lab");
    const auto copy = [&](const char* from, const char* to) {
        snmptest::WriteFile(data / to, snmptest::ReadFile((lab::SnmprecFolder() / from).string()));
    };
    copy("lab-switch.snmprec", "lab.snmprec");
    copy("lab-switch@1.snmprec", "vlan-1.snmprec");
    copy("lab-switch@20.snmprec", "vlan-20.snmprec");
    lab::SimSwitch sim;
    ASSERT_TRUE(sim.Start(4, {"lab", "vlan-1", "vlan-20"}, data.Path(),
                          {{"labuser", "MD5", "lab-auth-pass", "DES", "lab-priv-pass"}}))
        << sim.Log();

    CTarvellDoc doc = LabSettings();
    doc.SnmpV3User = "labuser";
    doc.SnmpV3SecurityLevel = 3;
    doc.SnmpV3AuthProtocol = 2;
    doc.SnmpV3PrivProtocol = 2;
    doc.SnmpV3AuthPassword = "lab-auth-pass";
    doc.SnmpV3PrivPassword = "lab-priv-pass";
    doc.SnmpV3Context = "lab";
    UseSettings(doc);
    UseLabClient(sim.Port());

    PollOptions once;
    once.attempts = 1;
    CScanSnmpMacs poll(*engine, linkup,
                       {Request(sim.Address(), "SNMP/V3", "1.3.6.1.4.1.9.1.999", "11")}, nullptr,
                       once);
    ASSERT_TRUE(poll.Run());
    const std::vector<PollCommunity> expected{
        {"SNMP/V3", ""}, {"SNMP/V3", "vlan-1"}, {"SNMP/V3", "vlan-20"}};
    EXPECT_EQ(poll.Communities(), expected);
    EXPECT_EQ(Keys(poll.Found()[0]), (MacSet{"001122334401", "001122334404", "414243444546",
                                             "00AABB000001", "001122335501", "001122336601"}));
}

// Fixed fault: an SNMPv3 switch that could not be read (here: a wrong privacy pass phrase) left
// no trace. It is logged once per switch while it lasts, and again after it was read once.
TEST_F(PollingFixture, AnSnmpV3SwitchThatCannotBeReadIsLoggedOncePerSwitchWhileItLasts) {
    if (!lab::Lab().agentPort) lab::Lab().agentPort = lab::PortFreeOnLabAddresses();
    lab::SimSwitch sim;
    ASSERT_TRUE(sim.Start(5, {"cisco-c3750"}, lab::SnmprecFolder(),
                          {{"labuser", "SHA", "lab-auth-pass", "DES", "lab-priv-pass"}}))
        << sim.Log();
    CTarvellDoc doc = LabSettings();
    doc.SnmpRetries = 0;
    doc.SnmpV3User = "labuser";
    doc.SnmpV3SecurityLevel = 3;
    doc.SnmpV3AuthProtocol = 3;
    doc.SnmpV3PrivProtocol = 2;
    doc.SnmpV3AuthPassword = "lab-auth-pass";
    doc.SnmpV3Context = "cisco-c3750";
    UseLabClient(sim.Port());
    PollOptions once;
    once.attempts = 1;
    OncePerSwitch rowLimits, failures;
    const auto poll = [&](const std::string& privPass) {
        doc.SnmpV3PrivPassword = privPass;
        UseSettings(doc);
        CScanSnmpMacs p(*engine, linkup,
                        {Request(sim.Address(), "SNMP/V3", "1.3.6.1.4.1.99", "10101")}, nullptr,
                        once, &rowLimits, &failures);
        ASSERT_TRUE(p.Run());
    };
    const auto lines = [&] {
        int n = 0;
        for (const std::string& line : log.Lines())
            n += line.find("could not be read over SNMPv3") != std::string::npos;
        return n;
    };
    poll("wrong-priv-pass");
    poll("wrong-priv-pass");
    EXPECT_EQ(lines(), 1);
    EXPECT_TRUE(LogMentions("00AABB000001 (" + sim.Address() + ")"));
    poll("lab-priv-pass");
    EXPECT_EQ(lines(), 1);
    poll("wrong-priv-pass");
    EXPECT_EQ(lines(), 2);
}

}  // namespace
}  // namespace tarvell::polltest
