// One look of the popup thread over a hub of 100 000 alerts of which 3 are new: the keys of the
// shared snapshot are read in place, and only the 3 shown alerts are looked up (copied).
#include <benchmark/benchmark.h>

#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "viewer/bench/BenchKit.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/hub/CTarvellPopup.h"

namespace tarvell {
namespace {

constexpr std::int64_t kStart = 1'700'000'000;

void PopupLookOverManyAlerts(benchmark::State& state) {
    const std::string root = MakeTempFolder("tarvell-popup-bench-");
    Registry registry(JoinPath(root, "m"), JoinPath(root, "u"));
    FakeClock clock(kStart + 100'000);
    CTarvellApp app(bench::BenchEnvironment(root, registry, &clock));
    app.SetPopupPreferences(1, 0, "");

    AlertRecords base;
    for (int i = 0; i < 100'000; ++i)
        base.emplace(std::to_string(kStart + i) + "." + std::to_string(i % 10), bench::MacAlert(i));
    int shown = 0;
    CTarvellPopup popup(
        app, [&](const std::string&, const CAlertItem&, const ManualResetEvent&) { ++shown; });
    app.SetAlerts(std::make_shared<const AlertsSnapshot>(AlertsSnapshot{base}), {});
    popup.LookOnce();  // the starting point: every alert of the base is older
    std::int64_t next = kStart + 200'000;
    for (auto _ : state) {
        state.PauseTiming();
        auto snapshot = std::make_shared<AlertsSnapshot>(AlertsSnapshot{base});
        for (int k = 0; k < 3; ++k)
            snapshot->AlertLog.emplace(std::to_string(next++) + ".1",
                                       std::make_shared<CAlertItem>());
        app.SetAlerts(std::move(snapshot), {});
        state.ResumeTiming();
        benchmark::DoNotOptimize(popup.LookOnce());
    }
    state.counters["shown_per_look"] =
        static_cast<double>(shown) / static_cast<double>(state.iterations());
    RemoveTree(root);
}
BENCHMARK(PopupLookOverManyAlerts)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace
}  // namespace tarvell

BENCHMARK_MAIN();
