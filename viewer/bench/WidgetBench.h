// The start of a viewer benchmark that builds widgets: an offscreen QApplication with the
// viewer's fonts and images, then the benchmarks registered with BENCHMARK. Use it as the whole
// of main: `int main(int argc, char** argv) { return tarvell::bench::RunWidgetBenchmarks(argc,
// argv); }`. `atEnd` runs before the application object goes (widgets the benchmarks kept must
// go first).
#pragma once

#include <benchmark/benchmark.h>

#include <QApplication>
#include <functional>

#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/Images.h"

namespace tarvell::bench {

inline int RunWidgetBenchmarks(int argc, char** argv, const std::function<void()>& atEnd = {}) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    InstallFontSubstitutes();
    BuildViewerImages();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (atEnd) atEnd();
    return 0;
}

}  // namespace tarvell::bench
