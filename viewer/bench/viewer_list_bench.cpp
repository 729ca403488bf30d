// The report list with 100 000 rows: filling it and painting it the first time, sorting it by a
// column, and scrolling one page. Targets: under 300 ms, 300 ms and 16 ms (one frame).
// Runs on the offscreen platform; run it from the build folder: viewer/viewer_list_bench.
#include <QApplication>
#include <QScrollBar>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <random>

#include "viewer/core/base/CommandIds.h"
#include "viewer/widgets/CPaintListCtrl.h"
#include "viewer/bench/WidgetBench.h"

namespace tarvell {
namespace {

constexpr int kRows = 100000;

std::vector<ListRow> Rows(int count) {
    std::vector<ListRow> rows;
    rows.reserve(static_cast<std::size_t>(count));
    std::mt19937 rng(7);
    for (int i = 0; i < count; ++i) {
        const unsigned v = rng();
        ListRow r;
        r.cells = {QStringLiteral("00A0C9%1").arg(v & 0xFFFFFF, 6, 16, QLatin1Char('0')),
                   QStringLiteral("switch-%1").arg(v % 977),
                   QStringLiteral("New Mac Address %1 discovered.").arg(i), QString::number(i % 2)};
        r.image = i % 4;
        rows.push_back(std::move(r));
    }
    return rows;
}

struct List {
    CPaintListCtrl list;
    ImageList state{QSize(16, 16)};
    List() {
        list.resize(900, 700);
        list.InsertColumn(0, QStringLiteral("Device Mac"), 125);
        list.InsertColumn(1, QStringLiteral("Device Name"), 200);
        list.InsertColumn(2, QStringLiteral("Description"), 400);
        list.InsertColumn(3, QStringLiteral("State"), 60);
        QImage img(16, 16, QImage::Format_ARGB32_Premultiplied);
        img.fill(Qt::green);
        state.Add(img);
        state.Add(img);
        list.SetSmallImages(&ViewerImages(res::kEventRows));
        list.SetStateImages(&state, &state);
        list.SetStateColumns({3});
        list.show();
        QApplication::processEvents();
    }
    void Paint() {
        list.viewport()->repaint();
        QApplication::processEvents();
    }
};

void BM_FillAndFirstPaint(benchmark::State& s) {
    for (auto _ : s) {
        s.PauseTiming();
        auto list = std::make_unique<List>();
        s.ResumeTiming();
        list->list.Rows()->SetRows(Rows(kRows));
        list->list.SetBoldRows({0, 5, 9});
        list->Paint();
        s.PauseTiming();
        list.reset();
        s.ResumeTiming();
    }
}
BENCHMARK(BM_FillAndFirstPaint)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_SortByColumn(benchmark::State& s) {
    List list;
    const std::vector<ListRow> rows = Rows(kRows);
    for (auto _ : s) {
        s.PauseTiming();
        list.list.Rows()->SetRows(rows);
        list.list.SelectRow(500);
        list.Paint();
        s.ResumeTiming();
        list.list.Rows()->SortItems(
            [](const ListRow& a, const ListRow& b) { return a.cells[1] < b.cells[1]; });
        list.list.SetSortIndicator(1, true);
        list.Paint();
    }
}
BENCHMARK(BM_SortByColumn)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ScrollOnePage(benchmark::State& s) {
    List list;
    list.list.Rows()->SetRows(Rows(kRows));
    list.Paint();
    QScrollBar* bar = list.list.verticalScrollBar();
    for (auto _ : s) {
        if (bar->value() + bar->pageStep() > bar->maximum()) bar->setValue(0);
        bar->setValue(bar->value() + bar->pageStep());
        list.Paint();
    }
}
BENCHMARK(BM_ScrollOnePage)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace
}  // namespace tarvell

int main(int argc, char** argv) { return tarvell::bench::RunWidgetBenchmarks(argc, argv); }
