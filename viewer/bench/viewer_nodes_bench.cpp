// The node list dialog with 10 000 entries: importing a file of 10 000 lines (read, places
// resolved against 200 devices with 48 ports each, list refilled) and opening the dialog on a
// 10 000-entry list (its fill). Target: each under 500 ms.
// Runs on the offscreen platform; run it from the build folder: viewer/viewer_nodes_bench.
#include <QApplication>
#include <QTreeWidget>
#include <benchmark/benchmark.h>
#include <cstdio>

#include "platform/Files.h"
#include "viewer/bench/WidgetBench.h"
#include "viewer/protection/CUnauthorizedListDlg.h"

namespace tarvell {
namespace {

constexpr int kEntries = 10000;

std::string Mac(int i) {
    char text[16];
    std::snprintf(text, sizeof text, "00AA%08X", static_cast<unsigned>(i));
    return text;
}

struct Fixture : FilePicker {
    NodeDialogServices services;
    CTarvellDoc doc;
    std::string dir = MakeTempFolder("tarvell-nodes-bench-");
    std::string path = JoinPath(dir, "nodes.txt");
    Fixture() {
        for (int d = 0; d < 200; ++d) {
            const std::string key = "00BB" + Mac(d).substr(4);
            services.devices[key] = "10.1." + std::to_string(d) + ".1/switch-" + std::to_string(d);
            for (int p = 1; p <= 48; ++p)
                services.ports[key + "/" + std::to_string(p)] = "Gi0/" + std::to_string(p);
        }
        services.picker = this;
        std::string text;
        for (int i = 0; i < kEntries; ++i) {
            text += Mac(i) + ";switch-" + std::to_string(i % 200) + "/Gi0/" +
                    std::to_string(i % 48 + 1) + "\n";
            doc.NodesBlackList.push_back(Mac(i + kEntries) + "/1;");
        }
        AtomicWriteFile(path, text);
    }
    ~Fixture() override { RemoveTree(dir); }
    std::optional<QString> PickFile(QWidget*, const QString&) override {
        if (path.empty()) return std::nullopt;
        return QString::fromStdString(path);
    }
};

void BM_ImportTenThousandLines(benchmark::State& s) {
    Fixture f;
    for (auto _ : s) {
        CUnauthorizedListDlg dialog("Unauthorized List", CTarvellDoc(),
                                    &CTarvellDoc::NodesBlackList, &CTarvellDoc::BlackListImportFile,
                                    f.services);
        dialog.ImportNodes();
        benchmark::DoNotOptimize(dialog.list_->topLevelItemCount());
    }
}
BENCHMARK(BM_ImportTenThousandLines)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_FillTenThousandEntries(benchmark::State& s) {
    Fixture f;
    for (auto _ : s) {
        CUnauthorizedListDlg dialog("Unauthorized List", f.doc, &CTarvellDoc::NodesBlackList,
                                    &CTarvellDoc::BlackListImportFile, f.services);
        dialog.show();
        QApplication::processEvents();
        benchmark::DoNotOptimize(dialog.list_->topLevelItemCount());
    }
}
BENCHMARK(BM_FillTenThousandEntries)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
}  // namespace tarvell

int main(int argc, char** argv) { return tarvell::bench::RunWidgetBenchmarks(argc, argv); }
