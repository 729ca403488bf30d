// Polls of real switches' recordings served by snmpsim: each finds exactly the MACs that the
// rules give for the port, computed here from the file.
#include <chrono>

#include "platform/RecursiveLock.h"
#include "tests/service/polling/PollingFixture.h"

namespace tarvell::polltest {
namespace {

struct RecordingCase {
    const char* file;
    bool hasRules;  // holds the columns the rules need (address/port/status or port/status)
};
void PrintTo(const RecordingCase& c, std::ostream* os) { *os << c.file; }

class RecordingPoll : public PollingFixture, public ::testing::WithParamInterface<RecordingCase> {};

// The interface whose bridge port holds the most MACs by the rules (the first one when none
// does), and those MACs.
std::pair<std::string, MacSet> BusiestPort(const std::map<std::string, lab::Record>& rec) {
    std::pair<std::string, MacSet> best;
    for (const auto& [instance, r] : lab::ColumnOf(rec, "1.3.6.1.2.1.17.1.4.1.2")) {
        MacSet macs = ExpectedMacs(rec, r.value);
        if (best.first.empty() || macs.size() > best.second.size())
            best = {r.value, std::move(macs)};
    }
    return best;
}

TEST_P(RecordingPoll, FindsExactlyTheMacsTheRulesGiveForTheBusiestPort) {
    const RecordingCase c = GetParam();
    const auto rec = lab::ReadSnmprec(lab::SnmprecFolder() / (std::string(c.file) + ".snmprec"));
    const auto [port, expected] = BusiestPort(rec);
    ASSERT_FALSE(port.empty()) << "no bridge ports in " << c.file;
    if (c.hasRules) ASSERT_FALSE(expected.empty()) << c.file;
    else ASSERT_TRUE(expected.empty()) << c.file;

    lab::Lab().agentPort =
        lab::Lab().agentPort ? lab::Lab().agentPort : lab::PortFreeOnLabAddresses();
    lab::SimSwitch sim;
    ASSERT_TRUE(sim.Start(2, {c.file})) << sim.Log();
    UseSettings(LabSettings());
    UseLabClient(sim.Port());

    PollOptions once;
    once.attempts = 1;
    CScanSnmpMacs poll(*engine, linkup,
                       {Request(sim.Address(), c.file, rec.at("1.3.6.1.2.1.1.2.0").value, port)},
                       nullptr, once);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(poll.Run());
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(Keys(poll.Found()[0]), expected) << c.file << " port " << port;
    EXPECT_LT(took, std::chrono::seconds(45));
    // Detection is off in these settings: nothing recorded, nothing started, nothing left behind.
    EXPECT_TRUE(linkup.Starts().empty());
    RecursiveGuard lock(engine->EngineLock);
    EXPECT_TRUE(engine->EventMap.empty());
    EXPECT_TRUE(engine->PolledSwitches.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Recordings, RecordingPoll,
    ::testing::Values(RecordingCase{"hpe-procurve-516733-b21", true},
                      // Q-BRIDGE rows out of order: every row must still come.
                      RecordingCase{"bdcom-s5612", true}, RecordingCase{"cisco-c3750", true},
                      RecordingCase{"cisco-unmarked-0", true}, RecordingCase{"dlink-des3038", true},
                      RecordingCase{"cumulus_bgp", true},
                      // Port columns only: the poll ends with nothing.
                      RecordingCase{"routeros", false}, RecordingCase{"jetstream_sg2218p", false},
                      RecordingCase{"3com_4200", false}),
    [](const auto& info) {
        std::string name = info.param.file;
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return name;
    });

// Rows with a port or status that is not an INTEGER, a status "3 x" or "3.9", or a Q-BRIDGE bridge
// port equal to the interface number but without a mapping are no MAC on interface 11: only rows
// 01 (BRIDGE) and 07 (Q-BRIDGE) are. Interface 12 is bridge port 2 only by an OCTET STRING
// dot1dBasePortIfIndex, so the row of bridge port 2 (0A) is on no interface.
TEST_F(PollingFixture, MalformedForwardingRowsFindNoMac) {
    lab::Lab().agentPort =
        lab::Lab().agentPort ? lab::Lab().agentPort : lab::PortFreeOnLabAddresses();
    lab::SimSwitch sim;
    ASSERT_TRUE(sim.Start(2, {"malformed-rows"})) << sim.Log();
    UseSettings(LabSettings());
    UseLabClient(sim.Port());
    PollOptions once;
    once.attempts = 1;
    CScanSnmpMacs poll(*engine, linkup,
                       {Request(sim.Address(), "malformed-rows", "1.3.6.1.4.1.99999.1", "11"),
                        Request(sim.Address(), "malformed-rows", "1.3.6.1.4.1.99999.1", "12")},
                       nullptr, once);
    ASSERT_TRUE(poll.Run());
    EXPECT_EQ(Keys(poll.Found()[0]), (MacSet{"001122334401", "001122334407"}));
    EXPECT_EQ(Keys(poll.Found()[1]), MacSet{});
}

}  // namespace
}  // namespace tarvell::polltest
