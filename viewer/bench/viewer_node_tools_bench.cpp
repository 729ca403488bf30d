// The event details dialog's work: its location text over 20 000 devices and 500 000 ports (the
// look-up in the hub's snapshot, against copying both tables first as a copy-out would; target
// 20 ms or less), and one four-round ping of 127.0.0.1 (target 20 ms or less) against the
// system's ping of the same four rounds. Run it from the build folder:
// viewer/viewer_node_tools_bench.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>

#include <atomic>

#include "viewer/core/monitors/NodeBackends.h"
#include "viewer/core/monitors/NodeTools.h"

extern char** environ;

namespace tarvell::nodetools {
namespace {

const EventsSnapshot& Large() {
    static const EventsSnapshot snapshot = [] {
        EventsSnapshot s;
        for (int sw = 0; sw < 20'000; ++sw) {
            const std::string key = "S" + std::to_string(sw);
            s.DeviceTable[key] = "10.1." + std::to_string(sw / 256) + "." +
                                 std::to_string(sw % 256) + "/switch" + key + "/ops/rack 4";
            for (int port = 1; port <= 25; ++port)
                s.PortNames[key + "/" + std::to_string(port)] = "Gi1/0/" + std::to_string(port);
        }
        return s;
    }();
    return snapshot;
}

void BM_LocationFromTheSnapshot(benchmark::State& state) {
    const EventsSnapshot& s = Large();
    for (auto _ : state) benchmark::DoNotOptimize(LocationText(s, "S12345", "S12345/7"));
}
BENCHMARK(BM_LocationFromTheSnapshot)->Unit(benchmark::kMillisecond);

void BM_LocationAfterCopyingTheTables(benchmark::State& state) {
    const EventsSnapshot& s = Large();
    for (auto _ : state) {
        EventsSnapshot copy;
        copy.DeviceTable = s.DeviceTable;
        copy.PortNames = s.PortNames;
        benchmark::DoNotOptimize(LocationText(copy, "S12345", "S12345/7"));
    }
}
BENCHMARK(BM_LocationAfterCopyingTheTables)->Unit(benchmark::kMillisecond);

void BM_PingLoopback(benchmark::State& state) {
    IcmpEchoBackend echo;
    const std::atomic<bool> cancel{false};
    std::uint32_t token = 1;
    for (auto _ : state) {
        std::string out;
        RunPing(echo, "127.0.0.1", "32", "1000", token++, cancel,
                [&](const std::string& t) { out += t; });
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(BM_PingLoopback)->Unit(benchmark::kMillisecond);

// The reference: the system's ping, four rounds back to back (-i 0 needs root).
void BM_SystemPingLoopback(benchmark::State& state) {
    const char* argv[] = {"ping", "-q", "-n", "-c", "4", "-i", "0", "127.0.0.1", nullptr};
    for (auto _ : state) {
        pid_t pid = 0;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", 1, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", 1, 0);
        if (posix_spawnp(&pid, "ping", &actions, nullptr, const_cast<char**>(argv), environ) != 0) {
            state.SkipWithError("no ping program");
            break;
        }
        posix_spawn_file_actions_destroy(&actions);
        int status = 0;
        ::waitpid(pid, &status, 0);
    }
}
BENCHMARK(BM_SystemPingLoopback)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tarvell::nodetools

BENCHMARK_MAIN();
