// One pass of each reader over a large server: 50 000 events and 100 000 alerts, read, filtered,
// counted and handed to the hub; and the memory the viewer holds for them.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include "platform/Files.h"
#include "platform/Registry.h"
#include "shared/StateFiles.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/hub/Readers.h"

namespace tarvell {
namespace {

struct LargeServer {
    std::string root = MakeTempFolder("tarvell-viewer-bench-");
    std::string folder = JoinPath(root, "server");
    Registry registry{JoinPath(root, "m"), JoinPath(root, "u")};

    LargeServer() {
        MakeDirectories(folder);
        CTarvellDoc doc;
        doc.SetDefaults();
        for (int i = 0; i < 1000; ++i) doc.DeleteRequests.push_back("S" + std::to_string(i) + "/1");
        doc.SaveToFile(JoinPath(folder, "Tarvell.ini"), true);
        EventDatabaseFile events;
        for (int i = 0; i < 50'000; ++i) {
            auto e = std::make_unique<CEventItem>();
            e->EventType = e->Description = "New Mac";
            e->Category = "Detection";
            e->Current = "00AABBCC" + std::to_string(10000 + i);
            e->DeviceName = "switch-" + std::to_string(i / 48);
            e->DevicePort = "Gi0/" + std::to_string(i % 48);
            e->DateKey = std::to_string(1700000000 + i);
            events.EventMap.emplace("S" + std::to_string(i / 48) + "/" + std::to_string(i % 48),
                                    std::move(e));
        }
        WriteStateFile(JoinPath(folder, "Tarvell.db"), events);
        AlertLogFile alerts;
        for (int i = 0; i < 100'000; ++i) {
            auto a = std::make_unique<CAlertItem>();
            a->Category = i % 3 ? "Detection" : "Prevention";
            a->EventType = "New Mac";
            a->Current = "00AABBCC" + std::to_string(10000 + i);
            a->DeviceName = "switch-" + std::to_string(i / 48);
            alerts.AlertLog.emplace(
                std::to_string(1700000000 + i / 10) + "." + std::to_string(i % 10), std::move(a));
        }
        WriteStateFile(JoinPath(folder, "Tarvell.log"), alerts);
    }
    ~LargeServer() { RemoveTree(root); }
};

LargeServer& Server() {
    static LargeServer server;
    return server;
}

std::unique_ptr<CTarvellApp> MakeApp() {
    ViewerEnvironment env;
    env.programFolder = Server().folder;
    env.registry = &Server().registry;
    env.mountInfo = [] { return std::string(); };
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

}  // namespace
}  // namespace tarvell

BENCHMARK_MAIN();
