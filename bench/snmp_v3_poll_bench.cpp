// SNMPv3 read of a poll's forwarding-table columns from the largest recording, served by
// snmpsim: the walk as the poll made it until now (get-next, a socket per request, the BRIDGE-MIB
// columns one at a time), the column walk of the client (one socket, GetBulk, columns side by
// side), and Net-SNMP's `snmpbulkwalk -v3` of the same three tables as processes. Wall time and
// CPU time (ours: this process; snmpbulkwalk: its children), mean of alternating rounds.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <set>

#include "service/engine/SnmpClient.h"
#include "tests/fixtures/snmp/SnmpPeers.h"

namespace {

using namespace tarvell;

constexpr const char* kRecording = "bdcom-s5612";
constexpr int kRounds = 3;
const snmptest::SimUser kUser{"benchuser", "SHA", "bench-auth-1", "DES", "bench-priv-1"};
const std::vector<std::vector<std::string>> kSideBySide = {
    {"1.3.6.1.2.1.17.1.4.1.1", "1.3.6.1.2.1.17.1.4.1.2"},
    {"1.3.6.1.2.1.17.4.3.1.1", "1.3.6.1.2.1.17.4.3.1.2", "1.3.6.1.2.1.17.4.3.1.3"},
    {"1.3.6.1.2.1.17.7.1.2.2.1.1", "1.3.6.1.2.1.17.7.1.2.2.1.2", "1.3.6.1.2.1.17.7.1.2.2.1.3"},
};
const std::vector<std::string> kTables = {"1.3.6.1.2.1.17.1.4.1", "1.3.6.1.2.1.17.4.3.1",
                                          "1.3.6.1.2.1.17.7.1.2.2.1"};

struct Cost {
    double wallMs = 0, cpuMs = 0;
    std::size_t rows = 0, requests = 0;
};

double CpuMs(int who) {
    rusage u{};
    ::getrusage(who, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

template <typename F>
Cost Measure(int who, F run) {
    Cost c;
    const double cpu = CpuMs(who);
    const auto start = std::chrono::steady_clock::now();
    run(c);
    c.wallMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    c.cpuMs = CpuMs(who) - cpu;
    return c;
}

SnmpOidEntry Entry(const std::string& oid) {
    SnmpOidEntry e{};
    std::strncpy(e.oid, oid.c_str(), sizeof e.oid - 1);
    return e;
}

// The walk of the poll until now: Request in a loop, one PDU of the columns per row, a row taken
// while the last column stays in its subtree and repeats no OID.
void RequestWalk(SnmpClient& client, const std::vector<std::string>& columns, Cost& c) {
    std::vector<SnmpOidEntry> entries;
    std::vector<snmp::Oid> heads;
    for (const auto& column : columns) {
        entries.push_back(Entry(column));
        heads.push_back(*snmp::ParseOid(column));
    }
    const std::string context = kRecording;
    std::vector<snmp::VarBind> answer;
    std::set<snmp::Oid> seen;
    const std::size_t n = columns.size();
    for (;;) {
        ++c.requests;
        client.Request(SnmpClient::kGetNext, "127.0.0.1", SnmpClient::kV3Marker, 2000, 1,
                       static_cast<int>(n), 0, entries.data(), &answer, &context);
        if (answer.size() < n) break;
        const auto in = [&](std::size_t i) {
            return !answer[i].value.IsException() && snmp::OidStartsWith(answer[i].oid, heads[i]) &&
                   answer[i].oid.size() > heads[i].size();
        };
        if (!in(n - 1) || !seen.insert(answer[n - 1].oid).second) break;
        for (std::size_t i = 0; i < n; ++i) {
            if (!in(i)) continue;
            const std::string text = snmp::OidToText(answer[i].oid);
            std::strncpy(entries[i].oid, text.c_str(), sizeof entries[i].oid - 1);
        }
        ++c.rows;
    }
}

Cost Before(SnmpClient& client) {
    return Measure(RUSAGE_SELF, [&](Cost& c) {
        RequestWalk(client, kSideBySide[0], c);
        for (const auto& column : kSideBySide[1]) RequestWalk(client, {column}, c);
        RequestWalk(client, kSideBySide[2], c);
    });
}

Cost After(SnmpClient& client) {
    return Measure(RUSAGE_SELF, [&](Cost& c) {
        auto session = client.Open("127.0.0.1", 2000, 1);
        SnmpWalkOptions options;
        options.v3Context = kRecording;
        options.ordered = false;
        for (const auto& columns : kSideBySide) {
            const SnmpWalkResult r = session->Walk(
                SnmpClient::kV3Marker, columns, [](const snmp::WalkRow&) {}, options);
            c.rows += r.rows;
            c.requests += r.requests;
        }
    });
}

Cost Reference(const snmptest::SnmpSim& sim, const snmptest::TempDir& dir) {
    return Measure(RUSAGE_CHILDREN, [&](Cost& c) {
        for (const auto& table : kTables) {
            snmptest::PeerProcess walk;
            const std::string out = dir / "bulkwalk.out";
            walk.Start({"/usr/bin/snmpbulkwalk",
                        "-v3",
                        "-l",
                        "authPriv",
                        "-u",
                        kUser.name,
                        "-a",
                        "SHA",
                        "-A",
                        kUser.authKey,
                        "-x",
                        "DES",
                        "-X",
                        kUser.privKey,
                        "-n",
                        kRecording,
                        "-On",
                        "-Cc",
                        "-t",
                        "2",
                        "-r",
                        "1",
                        "127.0.0.1:" + std::to_string(sim.Port()),
                        table},
                       out, {"MIBS="});
            while (walk.Alive()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            for (const char ch : snmptest::ReadFile(out)) c.rows += ch == '\n';
        }
    });
}

}  // namespace

int main() {
    snmptest::TempDir dir("v3pollbench");
    snmptest::SnmpSim sim;
    const auto folder = snmptest::fs::path(TARVELL_SOURCE_DIR) / "tests" / "fixtures" / "snmprec";
    if (!sim.Start(folder, {kUser}, std::chrono::seconds(120), {kRecording})) {
        std::cerr << "snmpsim did not start:\n" << sim.Log() << "\n";
        return 1;
    }
    SnmpClientSettings settings;
    settings.SnmpV3User = kUser.name;
    settings.SnmpV3SecurityLevel = 3;
    settings.SnmpV3AuthProtocol = 3;
    settings.SnmpV3PrivProtocol = 2;
    settings.SnmpV3AuthPassword = kUser.authKey;
    settings.SnmpV3PrivPassword = kUser.privKey;
    SnmpClientOptions options;
    options.agentPort = sim.Port();
    options.bootCounterPath = dir / "snmpv3_boot_counter";
    SnmpClient client([settings] { return settings; }, options);

    Cost sum[3];
    Cost last[3];
    for (int round = 0; round < kRounds; ++round) {
        const int order[3][3] = {{0, 1, 2}, {2, 1, 0}, {1, 0, 2}};
        for (const int which : order[round % 3]) {
            last[which] = which == 0   ? Before(client)
                          : which == 1 ? After(client)
                                       : Reference(sim, dir);
            sum[which].wallMs += last[which].wallMs;
            sum[which].cpuMs += last[which].cpuMs;
        }
    }
    const char* names[3] = {"get-next, socket per request (until now)",
                            "column walk, GetBulk, one socket", "snmpbulkwalk -v3 (3 tables)"};
    for (int i = 0; i < 3; ++i) {
        std::printf("%-42s wall %8.1f ms  cpu %8.1f ms  rows %6zu  requests %6zu\n", names[i],
                    sum[i].wallMs / kRounds, sum[i].cpuMs / kRounds, last[i].rows,
                    last[i].requests);
    }
    std::printf("ratio to snmpbulkwalk: before wall %.2fx cpu %.2fx; after wall %.2fx cpu %.2fx\n",
                sum[0].wallMs / sum[2].wallMs, sum[0].cpuMs / sum[2].cpuMs,
                sum[1].wallMs / sum[2].wallMs, sum[1].cpuMs / sum[2].cpuMs);
    return 0;
}
