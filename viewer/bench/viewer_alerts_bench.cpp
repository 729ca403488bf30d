// The alerts screen over a hub of 100 000 alerts, half of each kind: the fill (copy, rows, first
// paint) with the heap bytes per listed alert, the sorts, the switch to the other kind, the
// screen following the hub with nothing changed and with 1 % of its alerts changed, removing
// 1 000 selected rows, writing and viewing an archive, and a report of 50 000 rows. The floor (a
// plain QTableView over a minimal model refilled with the same rows) is measured in the same run.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QItemSelection>

#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "shared/CTarvellDoc.h"
#include "viewer/alerts/AlertArchivePicker.h"
#include "viewer/alerts/CAlertsListWnd.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/summary/CReportDlg.h"
#include "viewer/widgets/CPaintListCtrl.h"
#include "viewer/bench/BenchKit.h"
#include "viewer/bench/WidgetBench.h"
#include "viewer/alerts/AlertListModel.h"
#include "platform/Memory.h"
#include "viewer/bench/FloorModel.h"

namespace tarvell {
namespace {

constexpr std::int64_t kStart = 1'700'000'000;
constexpr int kAlerts = 100'000;

struct Picker : ArchivePicker {
    QString path;
    QString SavePath(QWidget*) override { return path; }
    QString OpenPath(QWidget*) override { return path; }
};

struct Bench {
    std::string root = MakeTempFolder("tarvell-alerts-bench-");
    Registry registry{JoinPath(root, "m"), JoinPath(root, "u")};
    FakeClock clock{kStart};
    std::unique_ptr<CTarvellApp> app;
    PromptRecorder prompt;
    Picker picker;
    std::unique_ptr<CAlertsListWnd> wnd;

    Bench() {
        const ViewerEnvironment env = bench::BenchEnvironment(root, registry, &clock);
        CTarvellDoc doc;
        doc.SetDefaults();
        doc.SaveToFile(JoinPath(root, "Tarvell.ini"), true);
        app = std::make_unique<CTarvellApp>(env);
        app->ReloadDocument();
        Publish();
        AlertDialogs dialogs;
        dialogs.report = [](QWidget* parent, const QString& c, const QString& t,
                            const ReportTable& table) {
            QWidget* dlg = OpenReportDialog(parent, c, t, table);
            QApplication::processEvents();
            dlg->close();
            return dlg;
        };
        wnd = std::make_unique<CAlertsListWnd>(*app, prompt, dialogs);
        wnd->SetPicker(&picker);
        wnd->resize(1024, 700);
        picker.path = QString::fromStdString(JoinPath(root, "bench.log"));
    }
    ~Bench() { RemoveTree(root); }
    // Generation 1 and 2 rename the device of 1 % of the alerts, each in its own way.
    void Publish(int generation = 0) {
        auto snapshot = std::make_shared<AlertsSnapshot>();
        for (int i = 0; i < kAlerts; ++i) {
            auto a = std::make_shared<CAlertItem>();
            a->Category = i % 2 ? "Detection" : "Prevention";
            a->Description = i % 3 ? "New Mac" : "Threat Receive";
            a->Severity = i % 5;
            a->Current = "00AABBCC" + std::to_string(10000 + i);
            a->DeviceName = generation > 0 && i % 100 == 1 ? "renamed-" + std::to_string(generation)
                                                           : "switch-" + std::to_string(i % 97);
            a->DeviceIp = "10." + std::to_string(i / 65536 % 256) + "." +
                          std::to_string(i / 256 % 256) + "." + std::to_string(i % 256);
            a->DevicePort = "Gi0/" + std::to_string(i % 48);
            snapshot->AlertLog.emplace(
                std::to_string(kStart + i / 3) + "." + std::to_string(i % 3 + 1), std::move(a));
        }
        app->SetAlerts(std::move(snapshot), {kAlerts, kAlerts / 2, kAlerts / 2});
    }
    void Show(CommandId mode) {
        wnd->hide();
        wnd->SetMode(mode);
        wnd->show();
        wnd->FillAlertLists();
        wnd->grab();  // the first paint
    }
};

Bench& B() {
    static Bench b;
    return b;
}

void Fill(benchmark::State& state) {
    double bytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        B().app->SetAlerts(std::make_shared<const AlertsSnapshot>(), {});
        B().Show(kDetectionAlertsMode);
        B().Publish();
        ReturnFreedMemory();
        const std::size_t before = bench::HeapInUse();
        state.ResumeTiming();
        B().Show(kDetectionAlertsMode);
        state.PauseTiming();
        bytes = static_cast<double>(bench::HeapInUse() - before);
        state.ResumeTiming();
    }
    const int rows = B().wnd->Rows()->rowCount();
    state.counters["rows"] = rows;
    state.counters["bytes_per_alert"] = bytes / rows;
    state.counters["list_bytes_per_alert"] =
        static_cast<double>(B().wnd->Rows()->Rows().Footprint()) / rows;
}
BENCHMARK(Fill)->Unit(benchmark::kMillisecond)->Iterations(3);

std::vector<std::array<std::string, 5>> FloorRows() {
    std::vector<std::array<std::string, 5>> rows;
    for (const AlertRow& row : AlertRowsOf(B().app->Alerts()->AlertLog, kDetectionAlertsMode))
        rows.push_back(row.cells);
    return rows;
}

void FloorFill(benchmark::State& state) {
    bench::Floor floor;
    B().Publish();
    const auto rows = FloorRows();
    double bytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        floor.model.Fill({});
        ReturnFreedMemory();
        const std::size_t before = bench::HeapInUse();
        state.ResumeTiming();
        floor.model.Fill(rows);
        floor.view.grab();  // the first paint
        state.PauseTiming();
        bytes = static_cast<double>(bench::HeapInUse() - before);
        state.ResumeTiming();
    }
    state.counters["rows"] = static_cast<double>(rows.size());
    state.counters["bytes_per_alert"] = bytes / static_cast<double>(rows.size());
}
BENCHMARK(FloorFill)->Unit(benchmark::kMillisecond)->Iterations(3);

void FollowUnchangedHub(benchmark::State& state) {
    B().Publish();
    B().Show(kDetectionAlertsMode);
    for (auto _ : state) B().wnd->RefreshAlerts();
}
BENCHMARK(FollowUnchangedHub)->Unit(benchmark::kMillisecond)->Iterations(5);

// One alert in a hundred changes between two generations; the list follows each, sorted by
// `sortColumn` (-1: as shown first).
void FollowChanges(benchmark::State& state, int sortColumn) {
    B().Publish();
    B().Show(kDetectionAlertsMode);
    if (sortColumn >= 0) B().wnd->SortBy(sortColumn);
    int generation = 1;
    for (auto _ : state) {
        state.PauseTiming();
        generation = 3 - generation;
        B().Publish(generation);
        state.ResumeTiming();
        B().wnd->RefreshAlerts();
    }
}

void FollowOnePercentChanged(benchmark::State& state) { FollowChanges(state, -1); }
BENCHMARK(FollowOnePercentChanged)->Unit(benchmark::kMillisecond)->Iterations(4);

// The same while the list is sorted by the Alert column.
void FollowOnePercentChangedSortedByAlert(benchmark::State& state) { FollowChanges(state, 4); }
BENCHMARK(FollowOnePercentChangedSortedByAlert)->Unit(benchmark::kMillisecond)->Iterations(4);

void FloorOnePercentChanged(benchmark::State& state) {
    bench::Floor floor;
    std::vector<std::array<std::string, 5>> rows[2];
    for (int g = 0; g < 2; ++g) {
        B().Publish(g + 1);
        rows[g] = FloorRows();
    }
    int generation = 0;
    for (auto _ : state) {
        generation = 1 - generation;
        floor.model.Fill(rows[generation]);
    }
}
BENCHMARK(FloorOnePercentChanged)->Unit(benchmark::kMillisecond)->Iterations(4);

void Sort(benchmark::State& state) {
    const int column = static_cast<int>(state.range(0));
    for (auto _ : state) B().wnd->SortBy(column);
}
BENCHMARK(Sort)->Arg(0)->Arg(2)->Arg(4)->Unit(benchmark::kMillisecond)->Iterations(3);

void SwitchKind(benchmark::State& state) {
    bool prevention = false;
    for (auto _ : state) {
        prevention = !prevention;
        B().Show(prevention ? kPreventionAlertsMode : kDetectionAlertsMode);
    }
}
BENCHMARK(SwitchKind)->Unit(benchmark::kMillisecond)->Iterations(2);

void RemoveThousandSelected(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        B().Publish();
        B().Show(kDetectionAlertsMode);
        CPaintListCtrl& list = B().wnd->List();
        QItemSelection selection;
        for (int r = 0; r < 1000; ++r)
            selection.select(B().wnd->Rows()->index(r * 40, 0), B().wnd->Rows()->index(r * 40, 4));
        list.selectionModel()->select(selection,
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
        B().prompt.Script({PromptAnswer::Yes});
        state.ResumeTiming();
        B().wnd->RemoveSelected();
    }
    state.counters["rows_left"] = B().wnd->Rows()->rowCount();
}
BENCHMARK(RemoveThousandSelected)->Unit(benchmark::kMillisecond)->Iterations(2);

void WriteArchive(benchmark::State& state) {
    B().Publish();
    for (auto _ : state) {
        B().prompt.Script({PromptAnswer::Yes});
        B().wnd->ArchiveAlerts();
    }
}
BENCHMARK(WriteArchive)->Unit(benchmark::kMillisecond)->Iterations(3);

void ViewArchive(benchmark::State& state) {
    for (auto _ : state) B().wnd->ViewArchivedAlerts();
    state.counters["rows"] = B().wnd->Rows()->rowCount();
}
BENCHMARK(ViewArchive)->Unit(benchmark::kMillisecond)->Iterations(3);

void Report50k(benchmark::State& state) {
    B().Show(kDetectionAlertsMode);
    for (auto _ : state) B().wnd->CreateReport();
}
BENCHMARK(Report50k)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace tarvell

int main(int argc, char** argv) {
    // a widget goes before the application object
    return tarvell::bench::RunWidgetBenchmarks(argc, argv, [] { tarvell::B().wnd.reset(); });
}
