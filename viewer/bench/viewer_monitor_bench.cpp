// The event monitor's refresh pass over 50 000 events (10 % in the prevention state) with four
// request lists of 5 000 entries: the first pass into an empty list, a pass with nothing
// changed, a pass with 1 000 changed, 200 new and 200 gone events, and a sort by "Device Ip".
// Targets for GUI-thread time: 400, 150, 200 and 150 ms. Then a search with no match over the
// list (100 ms) and a click on a row with 50 000 read marks stored (30 ms). Offscreen; run it from
// the build folder: viewer/viewer_monitor_bench.
#include <QApplication>
#include <QLineEdit>
#include <benchmark/benchmark.h>
#include <filesystem>
#include <fstream>

#include "platform/Files.h"
#include "platform/Registry.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/shell/CommandRouter.h"
#include "viewer/core/shell/Prompt.h"
#include "viewer/monitors/CEventMonitorWnd.h"
#include "viewer/monitors/MonitorDetailsPanels.h"
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
        for (int i = 0; i < kEvents; i += 50) app->MarkEventRead(Key(i));  // 1 000 read events
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

void BM_SearchNoMatch(benchmark::State& s) {
    Bench& b = Shared();
    b.app->SetEvents(b.generations[0], {});
    b.window->FillEventLists();
    CMonitorDetailsPanel* pane = b.window->DetailsPane(true);
    pane->SearchEdit()->setText(QStringLiteral("no such text"));
    for (auto _ : s) pane->OnSearch();
    s.counters["rows"] = b.window->List(true)->Rows()->rowCount();
}
BENCHMARK(BM_SearchNoMatch)->Unit(benchmark::kMillisecond)->Iterations(5);

// Ten events the click benchmark opens for the first time.
bool Unmarked(int i) { return i % 5000 == 1; }

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
            if (i % 50 != 0 && !Unmarked(i)) more += "S \"" + Key(i) + "\" \"\"\n";
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
    ListRowsModel* rows = b.window->List(true)->Rows();
    std::vector<int> fresh;
    for (int i = 1; i < kEvents; i += 5000) {
        const QString key = QString::fromStdString(Key(i));
        for (int r = 0; r < rows->rowCount(); ++r)
            if (rows->ItemText(r, 0) == key) fresh.push_back(r);
    }
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

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    tarvell::InstallFontSubstitutes();
    tarvell::BuildViewerImages();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
