// The event monitor's refresh pass over 100 000 events (10 % in the prevention state) with four
// request lists of 5 000 entries: the first pass into an empty list (opening the screen), a pass
// with nothing changed, a pass after the hub published equal records again, a pass with 1 %
// changed (1 000 devices renamed), and a sort by "Device Ip"; each against the floor (a plain
// QTableView over a minimal model refilled with the same rows) measured in the same run, with the
// heap bytes per listed event of both. Then a search with no match over the list and a click on
// a row with 100 000 read marks stored. Offscreen; run it from the build folder:
// viewer/viewer_monitor_bench.
#include <QApplication>
#include <QLineEdit>
#include <benchmark/benchmark.h>
#include <filesystem>
#include <fstream>

#include "platform/Files.h"
#include "platform/Memory.h"
#include "platform/Registry.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/shell/CommandRouter.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/monitors/CEventMonitorWnd.h"
#include "viewer/monitors/EventListModel.h"
#include "viewer/monitors/MonitorDetailsPanels.h"
#include "viewer/widgets/CPaintListCtrl.h"
#include "viewer/bench/BenchKit.h"
#include "viewer/bench/WidgetBench.h"
#include "viewer/bench/FloorModel.h"
#include "viewer/core/monitors/MonitorRules.h"

namespace tarvell {
namespace {

constexpr int kEvents = 100'000;
constexpr int kRequests = 5'000;

std::string Key(int i) { return "S" + std::to_string(i / 48) + "/" + std::to_string(i % 48 + 1); }

std::shared_ptr<const EventsSnapshot> Snapshot(int generation) {
    auto snapshot = std::make_shared<EventsSnapshot>();
    // Generation 1 renames 1 000 devices (1 %); generation 2 is generation 0 read again.
    for (int i = 0; i < kEvents; ++i) {
        auto e = std::make_shared<CEventItem>();
        e->Description = i % 3 == 0 ? "New Mac" : "Changed Ip";
        e->EventType = "Changed Port";
        e->Before = "00:1a:2b:" + std::to_string(i);
        e->Current = "10.1." + std::to_string(i % 250) + "." + std::to_string(i % 199);
        e->DeviceName = (generation == 1 && i >= 1000 && i < 2000)
                            ? "renamed"
                            : "switch-" + std::to_string(i / 48);
        e->DeviceIp =
            "10.0." + std::to_string((i * 7919) % 256) + "." + std::to_string((i * 31) % 256);
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
    std::shared_ptr<const EventsSnapshot> generations[3] = {Snapshot(0), Snapshot(1), Snapshot(0)};
    bench::Floor floor;

    Bench() {
        app = std::make_unique<CTarvellApp>(bench::BenchEnvironment(root, registry));
        CTarvellDoc& doc = app->Document().Fields();
        for (int i = 0; i < kRequests; ++i) {
            doc.DeleteRequests.push_back("S9999/" + std::to_string(i));
            doc.BlockRequests.push_back(Key(i * 10) + ";alice@CORP");
            doc.UnblockRequests.push_back(Key(i * 10 + 10) + ";bob@CORP");
            doc.EventNotes.push_back(Key(i * 7) + ";seen at the desk");
        }
        app->SetReaderSettings(app->Document().Snapshot());  // the copy the screens read
        for (int i = 0; i < kEvents; i += 100) app->MarkEventRead(Key(i));  // 1 000 read events
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

// The rows the monitor shows for a snapshot, as stored texts: what the floor is fed.
std::vector<std::array<std::string, 5>> FloorRows(const Bench& b, int generation) {
    const HubView view = b.app->View();
    const MonitorPass pass =
        PlanMonitorPass(true, cmd::kAllEvents, b.generations[generation]->EventMap, *view.requests,
                        [](const std::string&) { return false; });
    std::vector<std::array<std::string, 5>> rows;
    rows.reserve(pass.rows.size());
    for (const WantedRow& row : pass.rows)
        rows.push_back({row.cells[0], row.cells[1], row.cells[2], row.cells[3], row.cells[4]});
    return rows;
}

void BM_FirstPass(benchmark::State& s) {
    Bench& b = Shared();
    double bytes = 0;
    for (auto _ : s) {
        s.PauseTiming();
        // An empty hub first: the list and its plan hold nothing before the measured pass.
        b.app->SetEvents(std::make_shared<const EventsSnapshot>(), {});
        b.window->FillEventLists();
        ReturnFreedMemory();
        const std::size_t before = bench::HeapInUse();
        b.app->SetEvents(b.generations[0], {});
        s.ResumeTiming();
        b.window->FillEventLists();
        s.PauseTiming();
        bytes = static_cast<double>(bench::HeapInUse() - before);
        s.ResumeTiming();
    }
    const int rows = b.window->Rows(true)->rowCount();
    s.counters["rows"] = rows;
    s.counters["bytes_per_event"] = bytes / rows;
    s.counters["list_bytes_per_event"] =
        static_cast<double>(b.window->Rows(true)->Rows().Footprint()) / rows;
}
BENCHMARK(BM_FirstPass)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_FloorFill(benchmark::State& s) {
    Bench& b = Shared();
    const auto rows = FloorRows(b, 0);
    double bytes = 0;
    for (auto _ : s) {
        s.PauseTiming();
        b.floor.model.Fill({});
        ReturnFreedMemory();
        const std::size_t before = bench::HeapInUse();
        s.ResumeTiming();
        b.floor.model.Fill(rows);
        s.PauseTiming();
        bytes = static_cast<double>(bench::HeapInUse() - before);
        s.ResumeTiming();
    }
    s.counters["rows"] = static_cast<double>(rows.size());
    s.counters["bytes_per_event"] = bytes / static_cast<double>(rows.size());
}
BENCHMARK(BM_FloorFill)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_UnchangedPass(benchmark::State& s) {
    Bench& b = Shared();
    b.window->FillEventLists();
    for (auto _ : s) b.window->FillEventLists();
}
BENCHMARK(BM_UnchangedPass)->Unit(benchmark::kMillisecond)->Iterations(5);

// Passes that alternate between generation 0 and `other` of the hub's events (2: records equal
// to those shown, as a file rewritten with the same events; 1: 1 % changed).
void AlternatingPasses(benchmark::State& s, int other) {
    Bench& b = Shared();
    int generation = 0;
    b.window->FillEventLists();
    for (auto _ : s) {
        s.PauseTiming();
        generation = generation == 0 ? other : 0;
        b.app->SetEvents(b.generations[generation], {});
        s.ResumeTiming();
        b.window->FillEventLists();
    }
}

void BM_EqualRecordsPass(benchmark::State& s) { AlternatingPasses(s, 2); }
BENCHMARK(BM_EqualRecordsPass)->Unit(benchmark::kMillisecond)->Iterations(4);

void BM_ChangedPass(benchmark::State& s) { AlternatingPasses(s, 1); }
BENCHMARK(BM_ChangedPass)->Unit(benchmark::kMillisecond)->Iterations(6);

// The floor's pass for a changed hub: the same rows converted and the model reset.
void BM_FloorChangedPass(benchmark::State& s) {
    Bench& b = Shared();
    const std::vector<std::array<std::string, 5>> rows[2] = {FloorRows(b, 0), FloorRows(b, 1)};
    int generation = 0;
    for (auto _ : s) {
        generation = 1 - generation;
        b.floor.model.Fill(rows[generation]);
    }
}
BENCHMARK(BM_FloorChangedPass)->Unit(benchmark::kMillisecond)->Iterations(6);

void BM_SortByDeviceIp(benchmark::State& s) {
    Bench& b = Shared();
    b.window->FillEventLists();
    for (auto _ : s) b.window->OnHeaderClick(b.window->List(true), 2);
}
BENCHMARK(BM_SortByDeviceIp)->Unit(benchmark::kMillisecond)->Iterations(6);

// A pass with 1 % changed while the list is sorted by "Event Details": only the changed rows'
// texts are made again for the sort.
void BM_ChangedPassSortedByDetails(benchmark::State& s) {
    Bench& b = Shared();
    b.app->SetEvents(b.generations[0], {});
    b.window->FillEventLists();
    b.window->OnHeaderClick(b.window->List(true), 4);
    AlternatingPasses(s, 1);
    CEventMonitorWnd::s_SortColumn = 0;
}
BENCHMARK(BM_ChangedPassSortedByDetails)->Unit(benchmark::kMillisecond)->Iterations(6);

void BM_SearchNoMatch(benchmark::State& s) {
    Bench& b = Shared();
    b.app->SetEvents(b.generations[0], {});
    b.window->FillEventLists();
    CMonitorDetailsPanel* pane = b.window->DetailsPane(true);
    pane->SearchEdit()->setText(QStringLiteral("no such text"));
    for (auto _ : s) pane->OnSearch();
    s.counters["rows"] = b.window->Rows(true)->rowCount();
}
BENCHMARK(BM_SearchNoMatch)->Unit(benchmark::kMillisecond)->Iterations(5);

// Ten events the click benchmark opens for the first time.
bool Unmarked(int i) { return i % 10000 == 1; }

// Every other event marked read. The store writes its file whole after each change, so the marks go
// into the file in one write next to the first one; the store reloads a file changed outside.
void SeedReadMarks(Bench& b) {
    b.app->MarkEventRead(Key(0));
    const std::string first = "S \"" + Key(0) + "\" \"\"\n";
    for (const auto& entry : std::filesystem::recursive_directory_iterator(b.root)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::size_t at = text.find(first);
        if (at == std::string::npos) continue;
        std::string more;
        for (int i = 1; i < kEvents; ++i)
            if (i % 100 != 0 && !Unmarked(i)) more += "S \"" + Key(i) + "\" \"\"\n";
        text.insert(at + first.size(), more);
        in.close();
        std::ofstream(entry.path(), std::ios::binary | std::ios::trunc) << text;
    }
}

void BM_ClickWithAllMarks(benchmark::State& s) {
    Bench& b = Shared();
    b.app->SetEvents(b.generations[0], {});
    SeedReadMarks(b);
    b.window->FillEventLists();
    std::vector<int> fresh;
    for (int i = 1; i < kEvents; i += 10000)
        if (const int r = b.window->Rows(true)->FindKey(Key(i)); r >= 0) fresh.push_back(r);
    std::size_t next = 0;
    for (auto _ : s) {
        const int row = fresh.at(next++ % fresh.size());
        b.window->ShowEvent(true, row);  // writes a new mark beside the others
    }
    s.counters["marks"] = static_cast<double>(b.app->ReadMarkNames().size());
}
BENCHMARK(BM_ClickWithAllMarks)->Unit(benchmark::kMillisecond)->Iterations(6);

}  // namespace
}  // namespace tarvell

int main(int argc, char** argv) { return tarvell::bench::RunWidgetBenchmarks(argc, argv); }
