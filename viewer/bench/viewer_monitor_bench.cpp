// The event monitor's refresh pass over 50 000 events (10 % in the prevention state) with four
// request lists of 5 000 entries: the first pass into an empty list, a pass with nothing
// changed, a pass with 1 000 changed, 200 new and 200 gone events, and a sort by "Device Ip".
// Targets for GUI-thread time: 400, 150, 200 and 150 ms. Offscreen; run it from the build
// folder: viewer/viewer_monitor_bench.
#include <QApplication>
#include <benchmark/benchmark.h>

#include "platform/Files.h"
#include "platform/Registry.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/shell/CommandRouter.h"
#include "viewer/core/shell/Prompt.h"
#include "viewer/monitors/CEventMonitorWnd.h"
#include "viewer/widgets/CPaintListCtrl.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/Images.h"

namespace tarvell {
namespace {

constexpr int kEvents = 50'000;
constexpr int kRequests = 5'000;

std::string Key(int i) { return "S" + std::to_string(i / 48) + "/" + std::to_string(i % 48 + 1); }

std::shared_ptr<const EventsSnapshot> Snapshot(int generation) {
    auto snapshot = std::make_shared<EventsSnapshot>();
    // Generation 1 renames 1 000 devices, drops events 0..199 and adds 200 beyond the end.
    const int first = generation == 0 ? 0 : 200;
    const int last = generation == 0 ? kEvents : kEvents + 200;
    for (int i = first; i < last; ++i) {
        auto e = std::make_shared<CEventItem>();
        e->Description = i % 3 == 0 ? "New Mac" : "Changed Ip";
        e->EventType = "Changed Port";
        e->Before = "00:1a:2b:" + std::to_string(i);
        e->Current = "10.1." + std::to_string(i % 250) + "." + std::to_string(i % 199);
        e->DeviceName = (generation == 1 && i >= 1000 && i < 2000) ? "renamed" : "switch-" + std::to_string(i / 48);
        e->DeviceIp = "10.0." + std::to_string((i * 7919) % 256) + "." + std::to_string((i * 31) % 256);
        e->DevicePort = "Gi0/" + std::to_string(i % 48 + 1);
        if (i % 10 == 0) {
            e->Blocked = 1;
            e->Extra = "1700000000";
        }
        snapshot->EventMap.emplace(Key(i), std::move(e));
    }
    return snapshot;
}

struct Bench {
    std::string root = MakeTempFolder("tarvell-monitor-bench-");
    Registry registry{JoinPath(root, "machine"), JoinPath(root, "user")};
    std::unique_ptr<CTarvellApp> app;
    CommandRouter router;
    PromptRecorder prompt;
    std::unique_ptr<CEventMonitorWnd> window;
    std::shared_ptr<const EventsSnapshot> generations[2] = {Snapshot(0), Snapshot(1)};

    Bench() {
        ViewerEnvironment env;
        env.programFolder = root;
        env.registry = &registry;
        env.mountInfo = [] { return std::string(); };
        app = std::make_unique<CTarvellApp>(env);
        CTarvellDoc& doc = app->Document().Fields();
        for (int i = 0; i < kRequests; ++i) {
            doc.DeleteRequests.push_back("S9999/" + std::to_string(i));
            doc.BlockRequests.push_back(Key(i * 10) + ";alice@CORP");
            doc.UnblockRequests.push_back(Key(i * 10 + 10) + ";bob@CORP");
            doc.EventNotes.push_back(Key(i * 7) + ";seen at the desk");
        }
        for (int i = 0; i < kEvents; i += 50) app->MarkEventRead(Key(i));   // 1 000 read events
        app->SetEvents(generations[0], {});
        window = std::make_unique<CEventMonitorWnd>(PageContext{*app, router, prompt, {}}, nullptr);
        window->resize(1200, 800);
        window->SetMode(cmd::kDetectionMonitor);
        CEventMonitorWnd::s_SortColumn = 0;
    }
    ~Bench() {
        window.reset();
        app.reset();
        RemoveTree(root);
    }
};

Bench& Shared() {
    static Bench bench;
    return bench;
}

void BM_FirstPass(benchmark::State& s) {
    Bench& b = Shared();
    b.app->SetEvents(b.generations[0], {});
    for (auto _ : s) {
        s.PauseTiming();
        b.window->List(true)->Rows()->DeleteAllItems();
        s.ResumeTiming();
        b.window->FillEventLists();
    }
    s.counters["rows"] = b.window->List(true)->Rows()->rowCount();
}
BENCHMARK(BM_FirstPass)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_UnchangedPass(benchmark::State& s) {
    Bench& b = Shared();
    b.window->FillEventLists();
    for (auto _ : s) b.window->FillEventLists();
}
BENCHMARK(BM_UnchangedPass)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ChangedPass(benchmark::State& s) {
    Bench& b = Shared();
    int generation = 0;
    b.window->FillEventLists();
    for (auto _ : s) {
        s.PauseTiming();
        generation = 1 - generation;
        b.app->SetEvents(b.generations[generation], {});
        s.ResumeTiming();
        b.window->FillEventLists();
    }
}
BENCHMARK(BM_ChangedPass)->Unit(benchmark::kMillisecond)->Iterations(6);

void BM_SortByDeviceIp(benchmark::State& s) {
    Bench& b = Shared();
    b.window->FillEventLists();
    for (auto _ : s) b.window->OnHeaderClick(b.window->List(true), 2);
}
BENCHMARK(BM_SortByDeviceIp)->Unit(benchmark::kMillisecond)->Iterations(6);

}  // namespace
}  // namespace tarvell

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    tarvell::InstallFontSubstitutes();
    tarvell::BuildViewerImages();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
