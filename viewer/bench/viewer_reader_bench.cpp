// One pass of each reader over a large server: 100 000 events and 100 000 alerts, read, filtered,
// counted and handed to the hub; the memory the viewer holds for them; and what the readers cost
// while nobody changes the files: the CPU of one tick and the resident size over many ticks
// (TARVELL_SOAK_SECONDS, 60 unless given, with the readers' own threads on a 100 ms tick).
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "platform/Files.h"
#include "platform/Registry.h"
#include "shared/StateFiles.h"
#include "viewer/bench/BenchKit.h"
#include "viewer/bench/LargeServer.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/hub/Readers.h"

namespace tarvell {
namespace {

using bench::LargeServer;

LargeServer& Server() {
    static LargeServer server;
    return server;
}

std::unique_ptr<CTarvellApp> MakeApp(std::int64_t tickMs = kReaderIntervalMs) {
    ViewerEnvironment env = bench::BenchEnvironment(Server().folder, Server().registry);
    env.readerIntervalMs = tickMs;
    return std::make_unique<CTarvellApp>(env);
}

void ReaderPassOverEvents(benchmark::State& state) {
    auto app = MakeApp();
    app->ReloadDocument();
    CTarvellDb reader(*app);
    for (auto _ : state) benchmark::DoNotOptimize(reader.PassOnce());
    state.counters["events"] = static_cast<double>(app->Events()->EventMap.size());
}
BENCHMARK(ReaderPassOverEvents)->Unit(benchmark::kMillisecond)->Iterations(5);

void ReaderPassOverAlerts(benchmark::State& state) {
    auto app = MakeApp();
    app->ReloadDocument();
    CTarvellLog reader(*app);
    for (auto _ : state) benchmark::DoNotOptimize(reader.PassOnce());
    state.counters["alerts"] = static_cast<double>(app->Alerts()->AlertLog.size());
}
BENCHMARK(ReaderPassOverAlerts)->Unit(benchmark::kMillisecond)->Iterations(5);

// Peak resident size of a viewer that holds both snapshots (after one pass of each reader).
void ResidentWithBothSnapshots(benchmark::State& state) {
    auto app = MakeApp();
    app->ReloadDocument();
    for (auto _ : state) {
        CTarvellDb(*app).PassOnce();
        CTarvellLog(*app).PassOnce();
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}
BENCHMARK(ResidentWithBothSnapshots)->Unit(benchmark::kMillisecond)->Iterations(1);

double CpuMs(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// One tick of both readers over files nobody changed: CPU of the tick (median and worst) and
// the resident size after all ticks against the size after the load.
void UnchangedTickOfBothReaders(benchmark::State& state) {
    auto app = MakeApp();
    app->ReloadDocument();
    app->LoadEvents();
    app->LoadAlerts();
    CTarvellDb db(*app);
    CTarvellLog log(*app);
    db.PassOnce();  // each reader takes the files once
    log.PassOnce();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // past the stamps' trust delay
    const double afterLoad = bench::ResidentMiB();
    std::vector<double> ticks;
    for (auto _ : state) {
        const double start = CpuMs(CLOCK_THREAD_CPUTIME_ID);
        db.PassOnce();
        log.PassOnce();
        ticks.push_back(CpuMs(CLOCK_THREAD_CPUTIME_ID) - start);
    }
    state.counters["cpu_ms_median"] = Median(ticks);
    state.counters["cpu_ms_max"] = *std::max_element(ticks.begin(), ticks.end());
    state.counters["rss_load_MB"] = afterLoad;
    state.counters["rss_end_MB"] = bench::ResidentMiB();
    state.counters["published"] = db.Publications() + log.Publications() - 2;
}
BENCHMARK(UnchangedTickOfBothReaders)->Unit(benchmark::kMillisecond)->Iterations(1000);

// The readers' own threads on a short tick for a while, nobody changing the files: resident
// size at the start, the largest and the last, and the CPU the process spent per tick.
void ReaderThreadsOverUnchangedFiles(benchmark::State& state) {
    const char* given = std::getenv("TARVELL_SOAK_SECONDS");
    const int seconds = given ? std::max(1, std::atoi(given)) : 60;
    constexpr int kTickMs = 100;
    for (auto _ : state) {
        auto app = MakeApp(kTickMs);
        app->ReloadDocument();
        app->StartReaders();  // the direct loads, then the two threads
        const double afterLoad = bench::ResidentMiB();
        std::this_thread::sleep_for(std::chrono::milliseconds(500));  // the threads' first pass
        const double cpuStart = CpuMs(CLOCK_PROCESS_CPUTIME_ID);
        double most = afterLoad, last = afterLoad;
        for (int s = 0; s < seconds; ++s) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            last = bench::ResidentMiB();
            most = std::max(most, last);
        }
        const double ticks = seconds * 1000.0 / kTickMs;
        state.counters["cpu_ms_per_tick"] = (CpuMs(CLOCK_PROCESS_CPUTIME_ID) - cpuStart) / ticks;
        state.counters["rss_load_MB"] = afterLoad;
        state.counters["rss_max_MB"] = most;
        state.counters["rss_end_MB"] = last;
        state.counters["end_over_load"] = last / afterLoad;
    }
}
BENCHMARK(ReaderThreadsOverUnchangedFiles)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace
}  // namespace tarvell

BENCHMARK_MAIN();
