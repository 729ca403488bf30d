// Connecting to another server: the memory a viewer keeps after leaving a server of 100 000
// events for an empty one, against a viewer that only ever saw the empty one; and a connect to a
// server of 50 000 events read on a worker while the calling thread goes on ticking, with the
// longest pause of that thread (the commit included).
#include <benchmark/benchmark.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <thread>

#include "platform/Files.h"
#include "platform/Registry.h"
#include "shared/StateFiles.h"
#include "viewer/bench/BenchKit.h"
#include "viewer/core/hub/CTarvellApp.h"

namespace tarvell {
namespace {

// Writes a server of `count` events. It runs in a child process, so that building the file
// leaves nothing in this process's heap.
void WriteServer(const std::string& folder, int count) {
    const pid_t child = ::fork();
    if (child == 0) {
        MakeDirectories(folder);
        CTarvellDoc doc;
        doc.SetDefaults();
        doc.SaveToFile(JoinPath(folder, "Tarvell.ini"), true);
        EventDatabaseFile events;
        bench::AddMacEvents(events, count);
        WriteStateFile(JoinPath(folder, "Tarvell.db"), events);
        WriteStateFile(JoinPath(folder, "Tarvell.log"), AlertLogFile{});
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
}

struct Servers {
    std::string root = MakeTempFolder("tarvell-connect-bench-");
    Registry registry{JoinPath(root, "m"), JoinPath(root, "u")};
    Servers() {
        WriteServer(JoinPath(root, "large"), 100'000);
        WriteServer(JoinPath(root, "medium"), 50'000);
        WriteServer(JoinPath(root, "empty"), 0);
    }
    ~Servers() { RemoveTree(root); }
    std::unique_ptr<CTarvellApp> App() {
        auto app = std::make_unique<CTarvellApp>(
            bench::BenchEnvironment(JoinPath(root, "empty"), registry));
        app->SetServers({{"Empty", {1, JoinPath(root, "empty")}},
                         {"Large", {0, JoinPath(root, "large")}},
                         {"Medium", {0, JoinPath(root, "medium")}}});
        return app;
    }
};

Servers& TheServers() {
    static Servers servers;
    return servers;
}

void MemoryAfterLeavingALargeServer(benchmark::State& state) {
    Servers& servers = TheServers();
    double fresh = 0, after = 0, large = 0;
    for (auto _ : state) {
        auto app = servers.App();
        app->SelectServer("Empty");
        fresh = bench::ResidentMiB();
        app->SelectServer("Large");
        large = bench::ResidentMiB();
        app->SelectServer("Empty");
        after = bench::ResidentMiB();
    }
    state.counters["fresh_MB"] = fresh;
    state.counters["large_MB"] = large;
    state.counters["after_MB"] = after;
    state.counters["after_vs_fresh"] = after / fresh;
}
BENCHMARK(MemoryAfterLeavingALargeServer)->Unit(benchmark::kMillisecond)->Iterations(1);

void ConnectOffTheCallingThread(benchmark::State& state) {
    Servers& servers = TheServers();
    auto app = servers.App();
    double longestMs = 0;
    for (auto _ : state) {
        app->SelectServer("Empty");
        using Clock = std::chrono::steady_clock;
        auto load = std::async(std::launch::async, [&] { return app->PrepareServer("Medium"); });
        Clock::time_point last = Clock::now();
        double worst = 0;
        while (load.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) {
            const Clock::time_point now = Clock::now();
            worst = std::max(worst, std::chrono::duration<double, std::milli>(now - last).count());
            last = now;
        }
        const Clock::time_point before = Clock::now();
        app->CommitServer(load.get());
        worst = std::max(worst,
                         std::chrono::duration<double, std::milli>(Clock::now() - before).count());
        longestMs = std::max(longestMs, worst);
    }
    state.counters["events"] = static_cast<double>(app->Events()->EventMap.size());
    state.counters["longest_stall_ms"] = longestMs;
}
BENCHMARK(ConnectOffTheCallingThread)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace tarvell

BENCHMARK_MAIN();
