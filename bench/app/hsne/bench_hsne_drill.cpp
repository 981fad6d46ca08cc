// HSNE drill-downs through the real main window: the time from a selection of
// about a tenth of a level's landmarks to the new level's first update, with
// the level's dock, view and renderer made on the way, next to the same drill
// without the window (the level made, initialised and started as the analysis
// benchmark does, on the same hierarchy and landmarks) measured in the same
// run. Goal: at most 1 s for a drill from the overview and for a drill into the
// data level, at 1,000,000 events.
//
// The window opens the analysis benchmarks' data (written as FCS files into a
// temporary folder) through "Open File(s) ...", starts HSNE with Ctrl+F,
// computes a hierarchy of three scales (seed 7, caching off) and embeds the
// overview. A tenth of the overview's landmarks is selected by a rectangle
// drawn on its plot around its first landmark; the view's drill-down slot
// opens the next level (its name prompt answered with the default), which
// runs to its end; a tenth of that level opens the data level. Run under a
// display (Xvfb with Mesa is fine).
//
//   bench_hsne_drill [--n N] [--dims D] [--files F] [--threads T]

#include "bench/analysis/AnalysisBenchData.h"
#include "bench/app/BenchWindow.h"
#include "bench/app/FirstUpdate.h"
#include "bench/app/hsne/HsneDrill.h"
#include "bench/support/BenchArguments.h"
#include "bench/support/Verdict.h"

#include "analysis/applicationSurfaceFormat.h"
#include "analysis/hsne/MCV_HsneAnalysisHierarchy.h"
#include "app/MainWindow.h"

#include <QApplication>
#include <QStringList>
#include <QTemporaryDir>

#include <omp.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

namespace {

struct Options {
    unsigned n = 1000000;
    unsigned dims = 30;
    int files = 5;
    int threads = omp_get_max_threads();
};

bool parse(int argc, char** argv, Options& opt) {
    BenchArguments args;
    args("--n", opt.n)("--dims", opt.dims)("--files", opt.files)("--threads", opt.threads);
    return args.parse(argc, argv) && opt.n >= 1000 && opt.dims >= 1 && opt.files >= 1 && opt.threads >= 1;
}

}  // namespace

int main(int argc, char** argv) {
    Options opt;
    if (!parse(argc, argv, opt)) {
        std::cerr << "usage: bench_hsne_drill [--n N (1000+)] [--dims D] [--files F] [--threads T]\n";
        return 2;
    }
    omp_set_num_threads(opt.threads);
    setApplicationSurfaceFormat();
    QApplication app(argc, argv);

    QTemporaryDir dir;
    if (!dir.isValid()) return 1;
    QStringList files;
    for (const std::string& path : writeFiles(syntheticData(opt.n, opt.dims), opt.n, opt.dims, opt.files, dir))
        files << QString::fromStdString(path);
    std::printf("HSNE drill-down in the main window  N=%u  D=%u  files=%d  scales=3  threads=%d\n", opt.n, opt.dims,
                opt.files, opt.threads);
    std::fflush(stdout);

    MainWindow w;
    if (!showBenchWindow(w)) return 1;
    openBenchFiles(w, files);
    FirstUpdate first(w, stopHsneLevel);
    const BenchHsne h = computeBenchHsne(w, "H", 3);
    if (!h.overview) {
        std::fprintf(stderr, "bench_hsne_drill: no HSNE analysis after opening the data\n");
        return 1;
    }
    MCV_HsneAnalysisHierarchy* hierarchy = h.hierarchy;
    std::printf("  Compute: hierarchy and overview (%d landmarks, %d iterations) %.1f s; scale sizes:",
                h.overview->numDataPoints(), h.overview->iterations(), h.compute);
    for (int s = 0; s < hierarchy->numScales(); ++s) std::printf(" %d", hierarchy->numLandmarksInScale(s));
    std::printf("\n");
    std::fflush(stdout);
    if (hierarchy->numScales() != 3 || h.overview->numDataPoints() < 100) {
        std::fprintf(stderr, "bench_hsne_drill: the hierarchy has no three scales\n");
        return 1;
    }

    const HsneDrill fromOverview = drillATenth(w, first, hierarchy, h.overview, h.view, false);
    if (!fromOverview.level || !fromOverview.view || fromOverview.scale != 1) {
        std::fprintf(stderr, "bench_hsne_drill: the drill from the overview opened no level at scale 1\n");
        return 1;
    }
    std::fflush(stdout);
    const HsneDrill intoData = drillATenth(w, first, hierarchy, fromOverview.level, fromOverview.view, true);
    if (!intoData.level || intoData.scale != 0) {
        std::fprintf(stderr, "bench_hsne_drill: the second drill opened no data level\n");
        return 1;
    }

    for (const auto& [name, d] : {std::make_pair("drill from the overview", fromOverview),
                                  std::make_pair("drill into the data level", intoData)})
        std::printf(
            "  %-26s %7.3f s (level initialised at %.3f s, first frame at %.3f s)   without the window %7.3f s   "
            "(%zu selected, %d landmarks at scale %d)   goal 1 s: %s\n",
            name, d.window, d.windowInitialised, d.frame, d.baseline, d.selected, d.landmarks, d.scale,
            verdict(d.window >= 0 && d.window <= 1.0));
    return 0;
}
