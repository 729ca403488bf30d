// Walk of a 10 000-entry forwarding-table column served by snmpsim: our client (SNMPv1 get-next,
// one column) against Net-SNMP's `snmpwalk -v1 -Cc` run as a process, same agent, same run.
// The two run alternately, three rounds, so that both see the same load on the machine; the end
// prints the mean of each and their ratio.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

#include "service/engine/SnmpClient.h"
#include "tests/fixtures/snmp/SnmpPeers.h"

namespace {

using namespace tarvell;

constexpr int kEntries = 10000;
constexpr const char* kAddressColumn = "1.3.6.1.2.1.17.4.3.1.1";

snmptest::SnmpSim* g_sim = nullptr;
snmptest::TempDir* g_dir = nullptr;
double g_oursMs = 0;  // sum over rounds
double g_snmpwalkMs = 0;
constexpr int kRounds = 3;

std::string MakeForwardingTable() {
    std::ostringstream out;
    for (int column = 1; column <= 3; ++column) {
        for (int i = 0; i < kEntries; ++i) {
            const int mac[6] = {0x00, 0x1a, 0x2b, (i >> 16) & 0xFF, (i >> 8) & 0xFF, i & 0xFF};
            out << "1.3.6.1.2.1.17.4.3.1." << column;
            for (int b : mac) out << "." << b;
            if (column == 1) {
                char hex[13];
                std::snprintf(hex, sizeof hex, "%02x%02x%02x%02x%02x%02x", mac[0], mac[1], mac[2],
                              mac[3], mac[4], mac[5]);
                out << "|4x|" << hex << "\n";
            } else if (column == 2) {
                out << "|2|" << (1 + i % 48) << "\n";
            } else {
                out << "|2|3\n";
            }
        }
    }
    return out.str();
}

int OurWalk(SnmpClient& client) {
    SnmpOidEntry entry{};
    std::strcpy(entry.oid, kAddressColumn);
    int rows = 0;
    while (client.Request(SnmpClient::kGetNext, "127.0.0.1", "public", 2000, 1, 1, 11, &entry))
        ++rows;
    return rows;
}

int SnmpwalkProcess() {
    const std::string out = (*g_dir) / "snmpwalk.out";
    snmptest::PeerProcess walk;
    walk.Start({"/usr/bin/snmpwalk", "-v1", "-Cc", "-c", "public", "-On", "-t", "2", "-r", "1",
                "127.0.0.1:" + std::to_string(g_sim->Port()), kAddressColumn},
               out, {"MIBS="});
    while (walk.Alive()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::ifstream in(out);
    int rows = 0;
    for (std::string line; std::getline(in, line);)
        rows += line.rfind(std::string(".") + kAddressColumn, 0) == 0;
    return rows;
}

void BM_OurClientWalk(benchmark::State& state) {
    SnmpClientOptions options;
    options.agentPort = g_sim->Port();
    options.bootCounterPath = (*g_dir) / "snmpv3_boot_counter";
    SnmpClient client([] { return SnmpClientSettings{}; }, options);
    double totalMs = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const int rows = OurWalk(client);
        totalMs +=
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        if (rows != kEntries)
            state.SkipWithError(("walked " + std::to_string(rows) + " rows").c_str());
    }
    g_oursMs += totalMs / static_cast<double>(state.iterations());
    state.counters["rows/s"] =
        benchmark::Counter(static_cast<double>(kEntries) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
}

void BM_SnmpwalkProcess(benchmark::State& state) {
    double totalMs = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const int rows = SnmpwalkProcess();
        totalMs +=
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        if (rows != kEntries)
            state.SkipWithError(("snmpwalk printed " + std::to_string(rows) + " rows").c_str());
    }
    g_snmpwalkMs += totalMs / static_cast<double>(state.iterations());
    state.counters["rows/s"] =
        benchmark::Counter(static_cast<double>(kEntries) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
}

// Registered in alternating order, one walk each, so that both see the same load.
void RegisterRounds() {
    using Fn = void (*)(benchmark::State&);
    const std::pair<const char*, Fn> ours{"BM_OurClientWalk", BM_OurClientWalk};
    const std::pair<const char*, Fn> theirs{"BM_SnmpwalkProcess", BM_SnmpwalkProcess};
    for (int round = 0; round < kRounds; ++round) {
        const std::vector<std::pair<const char*, Fn>> order =
            round % 2 ? std::vector{theirs, ours} : std::vector{ours, theirs};
        for (const auto& [name, fn] : order) {
            benchmark::RegisterBenchmark(
                (std::string(name) + "/round:" + std::to_string(round)).c_str(), fn)
                ->Iterations(1)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    RegisterRounds();
    benchmark::Initialize(&argc, argv);
    snmptest::TempDir dir("snmpbench");
    const auto data = dir.Path() / "data";
    snmptest::fs::create_directories(data);
    ::chmod(data.c_str(), 0755);
    snmptest::WriteFile((data / "public.snmprec").string(), MakeForwardingTable());
    snmptest::SnmpSim sim;
    if (!sim.Start(data, {}, std::chrono::seconds(180))) {
        std::cerr << "snmpsim did not start:\n" << sim.Log() << "\n";
        return 1;
    }
    g_sim = &sim;
    g_dir = &dir;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (g_oursMs > 0 && g_snmpwalkMs > 0) {
        std::printf(
            "walk of %d rows, mean of %d rounds: ours %.0f ms, snmpwalk %.0f ms, ours/snmpwalk = "
            "%.3f\n",
            kEntries, kRounds, g_oursMs / kRounds, g_snmpwalkMs / kRounds, g_oursMs / g_snmpwalkMs);
    }
    return 0;
}
