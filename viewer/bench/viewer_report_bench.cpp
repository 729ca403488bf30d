// The texts of a large report (100 000 rows of nine columns, as the alert reports can grow):
// the printable HTML table, the CSV export, and the summary levels over 50 000 events.
#include <benchmark/benchmark.h>

#include "viewer/core/summary/ReportText.h"
#include "viewer/core/summary/SummaryRules.h"

namespace tarvell {
namespace {

ReportTable LargeReport(int rows) {
    ReportTable t;
    for (int c = 0; c < 9; ++c) {
        t.headers.push_back("Column " + std::to_string(c));
        t.widths.push_back(90);
    }
    for (int r = 0; r < rows; ++r) {
        std::vector<std::string> row;
        for (int c = 0; c < 9; ++c)
            row.push_back(c == 8 ? "New Mac Address 00:1a:2b:" + std::to_string(r) +
                                       " discovered, port <Gi0/3>"
                                 : "cell " + std::to_string(r) + "/" + std::to_string(c));
        t.rows.push_back(std::move(row));
    }
    return t;
}

void BM_ReportHtml(benchmark::State& state) {
    const ReportTable t = LargeReport(static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(BuildReportHtml("Tarvell - detection report", "summary", t));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ReportHtml)->Arg(100'000)->Unit(benchmark::kMillisecond);

void BM_ReportCsv(benchmark::State& state) {
    const ReportTable t = LargeReport(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(BuildReportExport(t, ','));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ReportCsv)->Arg(100'000)->Unit(benchmark::kMillisecond);

void BM_SummaryLevels(benchmark::State& state) {
    EventsSnapshot s;
    s.SwitchCount = "500";
    s.NodeCount = "100000";
    for (int i = 0; i < state.range(0); ++i) {
        auto e = std::make_shared<CEventItem>();
        e->SourceMac = "00:1a:2b:00:" + std::to_string(i) + ";00:1a:2c:00:" + std::to_string(i);
        e->DeviceIp = "10.0." + std::to_string(i % 500 / 250) + "." + std::to_string(i % 250);
        e->Blocked = i % 5 == 0;
        s.EventMap.emplace("S" + std::to_string(i % 500) + "/" + std::to_string(i), std::move(e));
    }
    CTarvellDoc settings;
    for (int i = 0; i < 1000; ++i)
        settings.BlockRequests.push_back("S1/" + std::to_string(i * 7) + ";a@b");
    for (auto _ : state) {
        SummaryLevels levels;
        ComputeLevels(s, settings, levels);
        benchmark::DoNotOptimize(levels);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SummaryLevels)->Arg(50'000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tarvell

BENCHMARK_MAIN();
