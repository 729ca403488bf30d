// Detection pass cost over 20 000 and 100 000 nodes (half as many ports): with nothing changed
// (the same generation, and a new generation of the same content), and with 1 % of the nodes
// and ports changed between passes. Each is run both ways the engine can hand the sibling data
// over: copied under EngineLock in every pass that meets a new generation (maps put in place
// without a view: "copy"), and read in place from the view the loader built outside the lock
// ("view"). A probe thread takes EngineLock over and over during each pass and records the
// longest it waited: the longest hold of the lock in the pass. CPU time is the pass's thread.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Files.h"
#include "platform/RecursiveLock.h"
#include "service/detection/CScanDatabase.h"
#include "service/engine/CTarvellFrm.h"

namespace tarvell {
namespace {

constexpr int kPortsPerSwitch = 48;

using SteadyClock = std::chrono::steady_clock;

std::string Mac(int n) {
    char text[13];
    std::snprintf(text, sizeof text, "%012X", n);
    return text;
}

std::string SwitchKey(int port) { return "00AABB" + Mac(port / kPortsPerSwitch).substr(6); }
std::string PortIndex(int port) { return std::to_string(port % kPortsPerSwitch + 1); }

struct Generation {
    ObjectMap<CDbItem> switches, ports, nodes;
};

// How a generation is put in place: the maps alone (each pass copies them under the lock), or
// the maps with their view built beforehand, as the loader does.
enum Way { kCopy = 0, kView = 1 };

// `changed`: the 1 % of nodes get another address and the 1 % of ports a receive figure above
// the threshold.
Generation MakeGeneration(int nodeCount, bool changed) {
    const int portCount = nodeCount / 2;
    Generation g;
    for (int s = 0; s <= (portCount - 1) / kPortsPerSwitch; ++s) {
        auto sw = std::make_unique<CDbItem>();
        sw->SwitchKey() = SwitchKey(s * kPortsPerSwitch);
        sw->SwitchIps() = "10.0." + std::to_string(s / 250) + "." + std::to_string(s % 250);
        sw->SwitchName() = "switch-" + std::to_string(s);
        sw->SwitchLocation() = "Building 4, floor 2";
        g.switches[sw->SwitchKey()] = std::move(sw);
    }
    for (int p = 0; p < portCount; ++p) {
        auto port = std::make_unique<CDbItem>();
        port->PortSwitch() = SwitchKey(p);
        port->PortIndex() = PortIndex(p);
        port->PortName() = "GigabitEthernet0/" + PortIndex(p);
        port->PortStatus() = 1;
        port->PortReceiveRate() = changed && p % 100 == 0 ? "75" : "12.5";
        port->PortTransmitRate() = "3";
        port->PortErrorsRate() = "0";
        port->PortBroadcastRate() = "4";
        g.ports[port->PortSwitch() + "/" + port->PortIndex()] = std::move(port);
    }
    for (int n = 0; n < nodeCount; ++n) {
        auto node = std::make_unique<CDbItem>();
        node->NodeMac() = Mac(0x1000000 + n);
        node->NodeIp() = "10.1." + std::to_string(n / 250 % 250) + "." +
                         std::to_string(changed && n % 100 == 0 ? 251 : n % 250);
        node->NodeName() = "workstation-" + std::to_string(n);
        node->NodeUser() = "user" + std::to_string(n);
        node->NodeSwitch() = SwitchKey(n % portCount);
        node->NodePort() = PortIndex(n % portCount);
        node->NodesOnPort() = "2";
        node->NodeFirstSeen() = "1700000000";
        node->NodeLastSeen() = "1700100000";
        g.nodes[node->NodeMac()] = std::move(node);
    }
    return g;
}

// Swaps g's maps in (the engine's leave in g), with `view` (of what g held) unless it is null.
void Install(CTarvellFrm& engine, Generation& g, std::shared_ptr<const SiblingView> view) {
    RecursiveGuard lock(engine.EngineLock);
    engine.SiblingSwitches.swap(g.switches);
    engine.SiblingPorts.swap(g.ports);
    engine.SiblingNodes.swap(g.nodes);
    engine.DataGeneration.fetch_add(1);
    if (view) SwapInSiblingView(engine, view);
}

// Takes the lock over and over (with a short sleep between) and keeps the longest wait since
// the last Take.
class LockProbe {
public:
    explicit LockProbe(std::recursive_mutex& lock)
        : thread_([this, &lock] {
              while (!stop_.load()) {
                  const auto start = SteadyClock::now();
                  { std::lock_guard<std::recursive_mutex> hold(lock); }
                  const auto waited = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                          SteadyClock::now() - start)
                                          .count();
                  std::int64_t longest = longestNs_.load();
                  while (waited > longest && !longestNs_.compare_exchange_weak(longest, waited)) {
                  }
                  std::this_thread::sleep_for(std::chrono::microseconds(20));
              }
          }) {}
    ~LockProbe() {
        stop_.store(true);
        thread_.join();
    }
    double TakeMs() { return static_cast<double>(longestNs_.exchange(0)) / 1e6; }

private:
    std::atomic<bool> stop_{false};
    std::atomic<std::int64_t> longestNs_{0};
    std::thread thread_;
};

// Longest and median of the longest holds of the passes. A probe of a lock that nobody else
// takes waits only for its own thread's turn on a processor: its longest wait, over the same
// passes, is the noise under the figures (large on a loaded machine).
void ReportHolds(benchmark::State& state, std::vector<double> holds, double noiseMs = -1) {
    if (holds.empty()) return;
    std::sort(holds.begin(), holds.end());
    state.counters["hold_max_ms"] = holds.back();
    state.counters["hold_median_ms"] = holds[holds.size() / 2];
    if (noiseMs >= 0) state.counters["probe_noise_max_ms"] = noiseMs;
}

std::recursive_mutex& UntakenLock() {
    static std::recursive_mutex lock;
    return lock;
}

struct Bench {
    std::string root = MakeTempFolder("tarvell-detection-bench-");
    std::unique_ptr<CTarvellFrm> engine;
    RecordingPollStarter polls;
    RecordingLinkupStarter linkup;
    std::unique_ptr<CScanDatabase> scan;

    Bench() {
        EngineEnvironment env;
        env.ServiceFolder = root;
        env.HandOverFolder = root;
        engine = std::make_unique<CTarvellFrm>(env);
        CTarvellDoc& doc = *engine->Document;
        doc.DetectionEnabled = 1;
        doc.BlackListEnabled = 1;
        doc.NodesBlackList = {"00AABBCC*/1;"};
        doc.NewIpEnabled = doc.NewNameEnabled = doc.NewUserEnabled = 1;
        doc.ChangedIpEnabled = doc.ChangedNameEnabled = doc.ChangedUserEnabled =
            doc.ChangedPortEnabled = 1;
        doc.NewMacEnabled = 1;
        doc.NodesCountThreshold = 5;
        doc.ReceiveThreshold = doc.TransmitThreshold = doc.BroadcastThreshold =
            doc.ErrorsThreshold = 50;
        doc.ThreatNormalAlerts = 1;
        engine->PublishSettings();
        ScanPacing pacing;
        pacing.yieldEvery100 = false;
        scan = std::make_unique<CScanDatabase>(*engine, polls, linkup, pacing);
    }
    ~Bench() {
        scan.reset();
        engine.reset();
        RemoveTree(root);
    }
    std::size_t Alerts() {
        RecursiveGuard lock(engine->AlertLock);
        return engine->AlertLog.size();
    }
};

// Passes over the same generation: nothing is copied either way.
void BM_DetectionPassNoChange(benchmark::State& state) {
    const int nodes = static_cast<int>(state.range(0));
    const bool view = state.range(1) == kView;
    Bench b;
    Generation g = MakeGeneration(nodes, false);
    auto built = view ? SiblingView::Of(g.ports, g.nodes) : nullptr;
    Install(*b.engine, g, built);
    b.scan->RunPass();
    b.scan->RunPass();
    const std::size_t before = b.Alerts();
    LockProbe probe(b.engine->EngineLock);
    LockProbe noise(UntakenLock());
    std::vector<double> holds;
    double noiseMs = 0;
    for (auto _ : state) {
        probe.TakeMs();
        noise.TakeMs();
        b.scan->RunPass();
        holds.push_back(probe.TakeMs());
        noiseMs = std::max(noiseMs, noise.TakeMs());
    }
    ReportHolds(state, holds, noiseMs);
    state.counters["events_per_pass"] =
        static_cast<double>(b.Alerts() - before) / static_cast<double>(state.iterations());
}

// The engine reloads Ombrix.db every pass: a new generation with the same content is judged
// afresh (copied first, the copy way), and raises nothing.
void BM_DetectionPassSameDataNewGeneration(benchmark::State& state) {
    const int nodes = static_cast<int>(state.range(0));
    const bool view = state.range(1) == kView;
    Bench b;
    Generation g = MakeGeneration(nodes, false);
    auto built = view ? SiblingView::Of(g.ports, g.nodes) : nullptr;
    Install(*b.engine, g, built);
    b.scan->RunPass();
    b.scan->RunPass();
    const std::size_t before = b.Alerts();
    LockProbe probe(b.engine->EngineLock);
    LockProbe noise(UntakenLock());
    std::vector<double> holds;
    double noiseMs = 0;
    for (auto _ : state) {
        {
            RecursiveGuard lock(b.engine->EngineLock);
            b.engine->DataGeneration.fetch_add(1);
            if (view) {
                auto again = built;
                SwapInSiblingView(*b.engine, again);
            }
        }
        probe.TakeMs();
        noise.TakeMs();
        b.scan->RunPass();
        holds.push_back(probe.TakeMs());
        noiseMs = std::max(noiseMs, noise.TakeMs());
    }
    ReportHolds(state, holds, noiseMs);
    state.counters["events_per_pass"] =
        static_cast<double>(b.Alerts() - before) / static_cast<double>(state.iterations());
}

void BM_DetectionPassOnePercentChanged(benchmark::State& state) {
    const int nodes = static_cast<int>(state.range(0));
    const bool view = state.range(1) == kView;
    Bench b;
    Generation a = MakeGeneration(nodes, false);
    Generation c = MakeGeneration(nodes, true);
    // Built as the loader builds it, outside the lock (its cost is the loader's, not the pass's).
    const auto buildStart = SteadyClock::now();
    std::shared_ptr<const SiblingView> views[2];
    if (view) {
        views[0] = SiblingView::Of(a.ports, a.nodes);
        views[1] = SiblingView::Of(c.ports, c.nodes);
    }
    const std::chrono::duration<double, std::milli> buildMs = SteadyClock::now() - buildStart;
    Install(*b.engine, a, views[0]);  // a now holds the engine's empty maps; c is the changed data
    b.scan->RunPass();
    b.scan->RunPass();
    const std::size_t before = b.Alerts();
    LockProbe probe(b.engine->EngineLock);
    LockProbe noise(UntakenLock());
    std::vector<double> holds;
    double noiseMs = 0;
    int next = 1;
    for (auto _ : state) {
        state.PauseTiming();
        Install(*b.engine, c, views[next]);  // alternate between the two generations
        next = 1 - next;
        probe.TakeMs();
        noise.TakeMs();
        state.ResumeTiming();
        b.scan->RunPass();
        state.PauseTiming();
        holds.push_back(probe.TakeMs());
        noiseMs = std::max(noiseMs, noise.TakeMs());
        state.ResumeTiming();
    }
    ReportHolds(state, holds, noiseMs);
    if (view) state.counters["view_build_ms_each"] = buildMs.count() / 2;
    state.counters["alerts_per_pass"] =
        static_cast<double>(b.Alerts() - before) / static_cast<double>(state.iterations());
}

// Sizes and ways: {nodes, kCopy or kView}.
void Sizes(benchmark::internal::Benchmark* b) {
    for (const int nodes : {20'000, 100'000})
        for (const int way : {kCopy, kView}) b->Args({nodes, way});
    b->ArgNames({"nodes", "view"})->Unit(benchmark::kMillisecond)->Iterations(8);
}
BENCHMARK(BM_DetectionPassNoChange)->Apply(Sizes);
BENCHMARK(BM_DetectionPassSameDataNewGeneration)->Apply(Sizes);
BENCHMARK(BM_DetectionPassOnePercentChanged)->Apply(Sizes);

// The snapshot copies of the copy way (still used by a pass over maps without a view).
void BM_DetectionSnapshotLockHold(benchmark::State& state) {
    Bench b;
    Generation g = MakeGeneration(static_cast<int>(state.range(0)), false);
    Install(*b.engine, g, nullptr);
    double longestMs = 0;
    for (auto _ : state) {
        ObjectMap<CDbItem> ports, nodes;
        for (int which = 0; which < 2; ++which) {
            const auto start = SteadyClock::now();
            if (which == 0) b.engine->SnapshotPorts(ports);
            else b.engine->SnapshotNodes(nodes);
            const std::chrono::duration<double, std::milli> held = SteadyClock::now() - start;
            longestMs = std::max(longestMs, held.count());
        }
        state.PauseTiming();
        ports.clear();
        nodes.clear();
        state.ResumeTiming();
    }
    state.counters["longest_hold_ms"] = longestMs;
}
BENCHMARK(BM_DetectionSnapshotLockHold)->Arg(20'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tarvell

BENCHMARK_MAIN();
