// Detection pass cost over 20 000 nodes and 10 000 ports: with nothing changed (the same
// generation, and a new generation of the same content), and with 1 % of the nodes and ports
// changed between passes; and the longest hold of EngineLock in a pass (the two snapshot copies;
// the rules hold it only inside single look-ups).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>

#include "platform/Files.h"
#include "platform/RecursiveLock.h"
#include "service/detection/CScanDatabase.h"
#include "service/engine/CTarvellFrm.h"

namespace tarvell {
namespace {

constexpr int kNodes = 20'000;
constexpr int kPorts = 10'000;
constexpr int kPortsPerSwitch = 48;

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

// `changed`: the 1 % of nodes get another address and the 1 % of ports a receive figure above
// the threshold.
Generation MakeGeneration(bool changed) {
    Generation g;
    for (int s = 0; s <= (kPorts - 1) / kPortsPerSwitch; ++s) {
        auto sw = std::make_unique<CDbItem>();
        sw->SwitchKey() = SwitchKey(s * kPortsPerSwitch);
        sw->SwitchIps() = "10.0." + std::to_string(s / 250) + "." + std::to_string(s % 250);
        sw->SwitchName() = "switch-" + std::to_string(s);
        sw->SwitchLocation() = "Building 4, floor 2";
        g.switches[sw->SwitchKey()] = std::move(sw);
    }
    for (int p = 0; p < kPorts; ++p) {
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
    for (int n = 0; n < kNodes; ++n) {
        auto node = std::make_unique<CDbItem>();
        node->NodeMac() = Mac(0x1000000 + n);
        node->NodeIp() = "10.1." + std::to_string(n / 250 % 250) + "." +
                         std::to_string(changed && n % 100 == 0 ? 251 : n % 250);
        node->NodeName() = "workstation-" + std::to_string(n);
        node->NodeUser() = "user" + std::to_string(n);
        node->NodeSwitch() = SwitchKey(n % kPorts);
        node->NodePort() = PortIndex(n % kPorts);
        node->NodesOnPort() = "2";
        node->NodeFirstSeen() = "1700000000";
        node->NodeLastSeen() = "1700100000";
        g.nodes[node->NodeMac()] = std::move(node);
    }
    return g;
}

void Install(CTarvellFrm& engine, Generation& g) {
    RecursiveGuard lock(engine.EngineLock);
    engine.SiblingSwitches.swap(g.switches);
    engine.SiblingPorts.swap(g.ports);
    engine.SiblingNodes.swap(g.nodes);
    engine.DataGeneration.fetch_add(1);
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

void BM_DetectionPassNoChange(benchmark::State& state) {
    Bench b;
    Generation g = MakeGeneration(false);
    Install(*b.engine, g);
    b.scan->RunPass();
    b.scan->RunPass();
    const std::size_t before = b.Alerts();
    for (auto _ : state) b.scan->RunPass();
    state.counters["events_per_pass"] =
        static_cast<double>(b.Alerts() - before) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_DetectionPassNoChange)->Unit(benchmark::kMillisecond);

// The engine reloads Ombrix.db every pass: a new generation with the same content is copied
// afresh and judged, and raises nothing.
void BM_DetectionPassSameDataNewGeneration(benchmark::State& state) {
    Bench b;
    Generation g = MakeGeneration(false);
    Install(*b.engine, g);
    b.scan->RunPass();
    b.scan->RunPass();
    const std::size_t before = b.Alerts();
    for (auto _ : state) {
        b.engine->DataGeneration.fetch_add(1);
        b.scan->RunPass();
    }
    state.counters["events_per_pass"] =
        static_cast<double>(b.Alerts() - before) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_DetectionPassSameDataNewGeneration)->Unit(benchmark::kMillisecond);

void BM_DetectionPassOnePercentChanged(benchmark::State& state) {
    Bench b;
    Generation a = MakeGeneration(false);
    Generation c = MakeGeneration(true);
    Install(*b.engine, a);  // a now holds the engine's empty maps; c is the changed data
    b.scan->RunPass();
    b.scan->RunPass();
    const std::size_t before = b.Alerts();
    for (auto _ : state) {
        state.PauseTiming();
        Install(*b.engine, c);  // alternate between the two generations
        state.ResumeTiming();
        b.scan->RunPass();
    }
    state.counters["alerts_per_pass"] =
        static_cast<double>(b.Alerts() - before) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_DetectionPassOnePercentChanged)->Unit(benchmark::kMillisecond);

// The snapshots are the only long holds of EngineLock in a pass.
void BM_DetectionSnapshotLockHold(benchmark::State& state) {
    Bench b;
    Generation g = MakeGeneration(false);
    Install(*b.engine, g);
    double longestMs = 0;
    for (auto _ : state) {
        ObjectMap<CDbItem> ports, nodes;
        for (int which = 0; which < 2; ++which) {
            const auto start = std::chrono::steady_clock::now();
            if (which == 0) b.engine->SnapshotPorts(ports);
            else b.engine->SnapshotNodes(nodes);
            const std::chrono::duration<double, std::milli> held =
                std::chrono::steady_clock::now() - start;
            longestMs = std::max(longestMs, held.count());
        }
        state.PauseTiming();
        ports.clear();
        nodes.clear();
        state.ResumeTiming();
    }
    state.counters["longest_hold_ms"] = longestMs;
}
BENCHMARK(BM_DetectionSnapshotLockHold)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tarvell

BENCHMARK_MAIN();
