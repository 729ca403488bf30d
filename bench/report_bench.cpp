// The weekly report's HTML for a busy week: rows of nine columns with values that need escaping
// now and then, as a store of that many alerts gives them.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "service/alerts/CScanAlertsEmail.h"

namespace tarvell {
namespace {

void BM_ReportHtml(benchmark::State& state) {
    std::vector<ReportRow> rows(static_cast<std::size_t>(state.range(0)));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        ReportRow& row = rows[i];
        row.values[0] = "12/5/2026 1:00:00 AM";
        row.values[1] = i % 10 == 0 ? "core & <edge>" : "core-" + std::to_string(i % 50);
        row.values[2] = "10.0." + std::to_string(i % 256) + ".2";
        row.values[3] = "Gi0/" + std::to_string(i % 48);
        row.values[4] = "Hall";
        row.values[5] = "001122334455";
        row.values[6] = "10.0.0.50";
        row.values[7] = "pc-" + std::to_string(i);
        row.values[8] = "New Mac 001122334455 discovered on the port";
    }
    std::array<std::int32_t, 9> columns{};
    columns.fill(1);
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string html = ReportHtml("weekly report", 1796515200, rows, columns);
        bytes += html.size();
        benchmark::DoNotOptimize(html.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ReportHtml)->Arg(100)->Arg(10'000);

}  // namespace
}  // namespace tarvell

BENCHMARK_MAIN();
