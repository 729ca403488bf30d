// Walks against agents that misbehave: rows out of order and a table that leads back to its
// start (the walk must take every row once and end), and a table without end (the row limit).
#include <algorithm>
#include <atomic>
#include <map>
#include <vector>

#include "platform/snmp/Message.h"
#include "tests/fixtures/snmp/LoopbackResponder.h"
#include "tests/service/polling/PollingFixture.h"

namespace tarvell::polltest {
namespace {

using snmp::Oid;
using snmp::Value;

Oid Join(Oid head, std::initializer_list<std::uint32_t> tail) {
    head.insert(head.end(), tail);
    return head;
}

const Oid kBasePort{1, 3, 6, 1, 2, 1, 17, 1, 4, 1, 1};
const Oid kBaseIfIndex{1, 3, 6, 1, 2, 1, 17, 1, 4, 1, 2};
const Oid kFdbAddress{1, 3, 6, 1, 2, 1, 17, 4, 3, 1, 1};
const Oid kFdbPort{1, 3, 6, 1, 2, 1, 17, 4, 3, 1, 2};
const Oid kFdbStatus{1, 3, 6, 1, 2, 1, 17, 4, 3, 1, 3};

// An SNMPv1 agent whose get-next follows a list per column in the list's order (not OID
// order). After the last row a column either ends or, with `cycle`, starts over.
class ListAgent {
public:
    ListAgent(std::map<Oid, std::vector<std::pair<Oid, Value>>> columns, bool cycle)
        : columns_(std::move(columns)), cycle_(cycle) {}

    std::string Answer(std::string_view datagram) {
        auto message = snmp::DecodeCommunityMessage(datagram);
        if (!message || message->pdu.type != snmp::pdu::kGetNext) return {};
        ++requests_;
        snmp::Pdu reply = message->pdu;
        reply.type = snmp::pdu::kResponse;
        for (auto& binding : reply.bindings) {
            auto next = Next(binding.oid);
            if (!next) {
                reply.errorStatus = 2;  // noSuchName: the end of the view
                reply.errorIndex = 1;
                break;
            }
            binding = {next->first, next->second};
        }
        return snmp::EncodeCommunityMessage(message->version, message->community, reply);
    }
    int Requests() const { return requests_; }

private:
    std::optional<std::pair<Oid, Value>> Next(const Oid& asked) {
        for (const auto& [head, rows] : columns_) {
            if (rows.empty()) continue;
            if (asked == head) return rows.front();
            for (std::size_t i = 0; i < rows.size(); ++i) {
                if (rows[i].first != asked) continue;
                if (i + 1 < rows.size()) return rows[i + 1];
                if (cycle_) return rows.front();
                return std::nullopt;
            }
        }
        return std::nullopt;
    }

    std::map<Oid, std::vector<std::pair<Oid, Value>>> columns_;
    bool cycle_;
    std::atomic<int> requests_{0};
};

// Twenty MACs on bridge port 1 (interface 5), listed in a scrambled order.
std::map<Oid, std::vector<std::pair<Oid, Value>>> ScrambledTable(MacSet& macs) {
    std::map<Oid, std::vector<std::pair<Oid, Value>>> columns;
    columns[kBasePort] = {{Join(kBasePort, {1}), Value::Integer(1)}};
    columns[kBaseIfIndex] = {{Join(kBaseIfIndex, {1}), Value::Integer(5)}};
    for (int i = 0; i < 20; ++i) {
        const std::uint32_t last =
            static_cast<std::uint32_t>((i * 7) % 20);  // a permutation of 0..19
        const std::string mac{'\0', '\x11', '\x22', '\x33', '\x44', static_cast<char>(last)};
        macs.insert(Hex(mac));
        const std::initializer_list<std::uint32_t> index{0, 0x11, 0x22, 0x33, 0x44, last};
        columns[kFdbAddress].push_back({Join(kFdbAddress, index), Value::OctetString(mac)});
        columns[kFdbPort].push_back({Join(kFdbPort, index), Value::Integer(1)});
        columns[kFdbStatus].push_back({Join(kFdbStatus, index), Value::Integer(3)});
    }
    return columns;
}

class MisbehavingAgent : public PollingFixture {
protected:
    CScanSnmpMacs Poll(std::uint16_t port, PollOptions options = {},
                       OncePerSwitch* once = nullptr) {
        UseSettings(LabSettings());
        UseLabClient(port);
        options.attempts = 1;
        CScanSnmpMacs poll(*engine, linkup,
                           {Request("127.0.0.1", "public", "1.3.6.1.4.1.99999", "5", "SW")},
                           nullptr, options, once);
        EXPECT_TRUE(poll.Run());
        return poll;
    }
};

// Fixed fault: rows in hash order used to end the walk at the first backward step.
TEST_F(MisbehavingAgent, RowsOutOfOrderAreAllReadAndATableLeadingBackToItsStartEnds) {
    for (bool cycle : {false, true}) {
        MacSet expected;
        ListAgent agent(ScrambledTable(expected), cycle);
        snmptest::LoopbackResponder responder([&](std::string_view d) { return agent.Answer(d); });
        const CScanSnmpMacs poll = Poll(responder.Port());
        EXPECT_EQ(Keys(poll.Found()[0]), expected) << (cycle ? "cycle" : "end");
        EXPECT_LT(agent.Requests(), 200);
    }
}

TEST_F(MisbehavingAgent, AColumnWithoutEndIsCutAtTheRowLimitAndLoggedOncePerSwitch) {
    // Every answer is a new row after the one asked for.
    snmptest::LoopbackResponder responder([](std::string_view datagram) -> std::string {
        auto message = snmp::DecodeCommunityMessage(datagram);
        if (!message) return {};
        snmp::Pdu reply = message->pdu;
        reply.type = snmp::pdu::kResponse;
        for (auto& b : reply.bindings) {
            Oid next = b.oid;
            next.push_back(1);
            b = {next, Value::Integer(1)};
        }
        return snmp::EncodeCommunityMessage(message->version, message->community, reply);
    });
    PollOptions options;
    options.maxRowsPerColumn = 50;
    OncePerSwitch once;
    Poll(responder.Port(), options, &once);
    Poll(responder.Port(), options, &once);
    int lines = 0;
    for (const std::string& line : log.Lines())
        lines += line.find("could not be read whole") != std::string::npos;
    EXPECT_EQ(lines, 1);
}

// A switch whose columns never end: the poll stops at its request budget (a walk may send one
// request past its last row) or at once with no time left, and logs that once.
TEST_F(MisbehavingAgent, APollEndsAtItsWholePollBudgetAndLogsItOnce) {
    std::atomic<int> requests{0};
    snmptest::LoopbackResponder responder([&](std::string_view datagram) -> std::string {
        auto message = snmp::DecodeCommunityMessage(datagram);
        if (!message) return {};
        ++requests;
        snmp::Pdu reply = message->pdu;
        reply.type = snmp::pdu::kResponse;
        for (auto& b : reply.bindings) {
            Oid next = b.oid;
            next.push_back(1);
            b = {next, Value::Integer(1)};
        }
        return snmp::EncodeCommunityMessage(message->version, message->community, reply);
    });
    struct Case {
        std::size_t budgetRequests;
        std::int64_t budgetMs;
        int most;
    };
    for (const Case c : {Case{40, 120'000, 41}, Case{50'000, 0, 0}}) {
        requests = 0;
        const std::size_t before = log.Lines().size();
        PollOptions options;
        options.budgetRequests = c.budgetRequests;
        options.budgetMs = c.budgetMs;
        Poll(responder.Port(), options);
        EXPECT_LE(requests.load(), c.most) << c.budgetRequests;
        const std::vector<std::string> lines = log.Lines();
        EXPECT_EQ(std::count_if(lines.begin() + static_cast<std::ptrdiff_t>(before), lines.end(),
                                [](const std::string& l) {
                                    return l.find("within one poll's bound") != std::string::npos;
                                }),
                  1)
            << c.budgetRequests;
    }
}

// Fixed fault: the bridge-port column spent the whole poll's budget; no MAC was raised.
TEST_F(MisbehavingAgent, AnEndlessFirstColumnIsCutAndThePortsMacsAreStillFound) {
    MacSet expected;
    auto table = ScrambledTable(expected);
    for (auto& [oid, status] : table[kFdbStatus])  // three valid MACs, the rest invalid
        if (oid.back() >= 3) status = Value::Integer(2);
    std::erase_if(expected, [](const std::string& mac) { return mac.substr(10) >= "03"; });
    ListAgent agent(table, false);
    // The bridge-port columns never end: each answer is the next row after the one asked for
    // (short names, so that the walk's bound, not the names' growing length, ends it).
    snmptest::LoopbackResponder responder([&](std::string_view datagram) -> std::string {
        auto message = snmp::DecodeCommunityMessage(datagram);
        if (!message || !snmp::OidStartsWith(message->pdu.bindings.at(0).oid, kBasePort))
            return agent.Answer(datagram);
        message->pdu.type = snmp::pdu::kResponse;
        for (auto& b : message->pdu.bindings) {
            const bool first = b.oid == kBasePort || b.oid == kBaseIfIndex;
            b.value = Value::Integer(first ? (b.oid == kBasePort ? 1 : 5) : 9);
            if (first) b.oid.push_back(1);
            else ++b.oid.back();
        }
        return snmp::EncodeCommunityMessage(message->version, message->community, message->pdu);
    });
    UseSettings(LabSettings());
    UseLabClient(responder.Port());
    // A switch key with a line break (from the sibling database) stays on its log line.
    CScanSnmpMacs poll(*engine, linkup,
                       {Request("127.0.0.1", "public", "1.3.6.1.4.1.99999", "5", "SW\r\nX")},
                       nullptr, PollOptions{.attempts = 1});
    ASSERT_TRUE(poll.Run());
    EXPECT_EQ(Keys(poll.Found()[0]), expected);
    EXPECT_EQ(log.Lines(), std::vector<std::string>{
                               "Switch SW??X (127.0.0.1) could not be read whole (column "
                               "1.3.6.1.2.1.17.1.4.1.1 and 1.3.6.1.2.1.17.1.4.1.2 has more than "
                               "8192 rows); the rest of the column is not read, the poll goes on"});
}

}  // namespace
}  // namespace tarvell::polltest
