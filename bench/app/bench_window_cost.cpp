// What the main window adds to the embedding runs it shows, and how soon a
// drill-down shows its new level. Run under a display (Xvfb with Mesa's
// software OpenGL is fine).
//
// Part 1, on M events (default 60,000, the size of the example data set):
// for an A-tSNE analysis, the overview level of an HSNE analysis and a
// focus-and-context analysis, each made through its menu action in the real
// main window, a run with the window watching against the same run of the
// same analysis object with the window deaf: every signal of the bridge
// blocked, so the analysis reports to nobody, no view copies anything and
// nothing is drawn or processed. Same data, settings, seed, iterations and
// threads. The runs:
//   A-tSNE Compute   " Compute tSNE " (probabilities and gradient descent);
//   A-tSNE restart   the plot overlay's restart (a new descent from the
//                    probabilities, seed 7);
//   HSNE level       the overlay's restart of the overview level (new start
//                    positions, the full iteration count);
//   focus+context    the overlay's restart (a new embedding over the mixed
//                    transition matrix of the top scale).
// The window runs press the real buttons; the deaf runs make the same calls
// as those buttons. HSNE levels and focus-and-context draw their start
// positions from the clock (no seed reaches them), so their descents differ
// slightly from run to run. Window and deaf runs alternate, R repeats; the
// best of each is compared. Goal: the window's run at most 1.1 x the deaf
// one. Each row also shows the processor seconds of this process in both runs
// (less sensitive to the machine's load than the wall time; the X server's
// are not counted) and, for the window's run, the frames its plot put on the
// screen for the updates reported.
//
// Part 2, on N events (default 1,000,000): an HSNE analysis of S scales
// (default 3, seed 7, caching off) is computed; a tenth of the overview's
// landmarks is selected by a square drawn on its plot, and the view's
// "Zoom into Selection." opens the next level (the name prompt answered with
// the default), which runs to its end; a tenth of that level opens the data
// level. For each drill: the selection itself (the last square: its events
// found and shown in every view, and that frame drawn), and from the zoom to
// the new level's first update and to its first frame on the screen, next to
// the same drill without a view (the level made, initialised and started on
// the same landmarks; its first update). Goal: at most 1 s from the zoom to
// the first frame.
//
//   bench_window_cost [--n N] [--run-n M] [--dims D] [--files F]
//                     [--iterations I] [--scales S] [--threads T] [--repeats R]
//                     [--only tsne|hsne|fc]
//
// --n 0 skips part 2, --run-n 0 part 1; --only runs one kind of part 1.

#include "bench/analysis/AnalysisBenchData.h"
#include "bench/app/BenchWindow.h"
#include "bench/app/FirstUpdate.h"
#include "bench/app/QuietConsole.h"
#include "bench/app/hsne/HsneDrill.h"
#include "bench/support/BenchArguments.h"
#include "bench/support/Verdict.h"
#include "tests/app/OverlayButton.h"
#include "support/WidgetFinders.h"

#include "analysis/applicationSurfaceFormat.h"
#include "analysis/fc/MCV_HsneFCAnalysis.h"
#include "analysis/hsne/MCV_HsneAnalysis.h"
#include "analysis/hsne/MCV_HsneAnalysisHierarchy.h"
#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "app/MainWindow.h"
#include "app/UI_Interface.h"
#include "ui/fc/UI_HsneFCSettingsWidget.h"
#include "ui/fc/UI_HsneFCWidget.h"
#include "ui/plot/UI_EmbeddingControl.h"
#include "ui/plot/UI_EmbeddingView.h"
#include "ui/plot/UI_ScatterplotWidget.h"
#include "ui/tsne/UI_TsneSettingsWidget.h"
#include "ui/tsne/UI_TsneWidget.h"

#include <QApplication>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStringList>
#include <QTemporaryDir>

#include <omp.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <limits>
#include <string>
#include <vector>

namespace {

struct Options {
    unsigned n = 1000000;
    unsigned runN = 60000;
    unsigned dims = 30;
    int files = 5;
    int iterations = 1000;
    int scales = 3;
    int threads = omp_get_max_threads();
    int repeats = 2;
    std::string only;  // tsne, hsne or fc: that run of part 1 alone
};

bool parse(int argc, char** argv, Options& opt) {
    BenchArguments args;
    args("--only", opt.only)("--n", opt.n)("--run-n", opt.runN)("--dims", opt.dims)("--files", opt.files);
    args("--iterations", opt.iterations)("--scales", opt.scales)("--threads", opt.threads)("--repeats", opt.repeats);
    return args.parse(argc, argv) && (opt.n == 0 || opt.n >= 1000) && (opt.runN == 0 || opt.runN >= 1000) &&
           opt.dims >= 1 && opt.files >= 1 && opt.iterations >= 1 && opt.scales >= 2 && opt.threads >= 1 &&
           opt.repeats >= 1 && (opt.only.empty() || opt.only == "tsne" || opt.only == "hsne" || opt.only == "fc");
}

// Processor seconds of every thread of this process so far (the X server's
// are not counted).
double processorSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto time = [](const timeval& t) { return static_cast<double>(t.tv_sec) + 1e-6 * t.tv_usec; };
    return time(usage.ru_utime) + time(usage.ru_stime);
}

// Wall-clock seconds `f` takes; `processor` (optional) receives the
// processor seconds.
double seconds(const std::function<void()>& f, double* processor = nullptr) {
    QuietConsole quiet;
    const double cpu = processorSeconds();
    const auto begin = std::chrono::steady_clock::now();
    f();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    if (processor) *processor = processorSeconds() - cpu;
    return wall;
}

QStringList writeBenchFiles(const Options& opt, unsigned n, const QTemporaryDir& dir) {
    QStringList files;
    for (const std::string& path : writeFiles(syntheticData(n, opt.dims), n, opt.dims, opt.files, dir))
        files << QString::fromStdString(path);
    return files;
}

// One kind of run, with the window and deaf.
struct Comparison {
    const char* name;
    double window = std::numeric_limits<double>::infinity();
    double deaf = std::numeric_limits<double>::infinity();
    // Processor seconds of the runs above.
    double windowProcessor = 0, deafProcessor = 0;
    int frames = 0;   // frames the view drew in its best run
    int updates = 0;  // updates reported in that run
};

// `inWindow` and `deaf` alternate (deaf first in odd repeats); the bridge is
// blocked around `deaf`. The frames and updates of the view's plot are
// counted in the window's runs.
Comparison compare(const char* name, MainWindow& w, UI_EmbeddingView* view, MCV_Analysis* analysis, int repeats,
                   const std::function<void()>& inWindow, const std::function<void()>& deaf) {
    Comparison c{name};
    int frames = 0, updates = 0;
    const QMetaObject::Connection counting =
        QObject::connect(view->plot(), &QOpenGLWidget::frameSwapped, [&frames]() { ++frames; });
    const QMetaObject::Connection reports =
        QObject::connect(w.bridge(), &UI_Interface::analysisUpdatedSignal, [&updates, analysis](void* a) {
            if (a == analysis) ++updates;
        });
    for (int r = 0; r < repeats; ++r) {
        for (int k = 0; k < 2; ++k) {
            if ((k == 0) == (r % 2 == 0)) {
                frames = updates = 0;
                double cpu = 0;
                const double t = seconds(inWindow, &cpu);
                if (t < c.window) c.window = t, c.windowProcessor = cpu, c.frames = frames, c.updates = updates;
            } else {
                QSignalBlocker deafen(w.bridge());
                double cpu = 0;
                const double t = seconds(deaf, &cpu);
                if (t < c.deaf) c.deaf = t, c.deafProcessor = cpu;
            }
        }
    }
    QObject::disconnect(counting);
    QObject::disconnect(reports);
    return c;
}

void printComparison(const Comparison& c) {
    std::printf(
        "  %-16s window %7.3f s   deaf %7.3f s   x %.3f   (processor %.2f s / %.2f s; %d frames, %d updates)   "
        "goal 1.1 x: %s\n",
        c.name, c.window, c.deaf, c.window / c.deaf, c.windowProcessor, c.deafProcessor, c.frames, c.updates,
        verdict(c.window <= 1.1 * c.deaf));
    std::fflush(stdout);
}

// The overlay's restart of `view`'s plot pressed, or, deaf, the same call.
std::function<void()> restartPressed(UI_EmbeddingView* view) {
    return [view]() {
        if (QPushButton* restart = overlayButton(view->plot(), 1)) restart->click();
    };
}
std::function<void()> restartCalled(MCV_Analysis* analysis) {
    return [analysis]() {
        if (std::unique_ptr<UI_EmbeddingControl> control = UI_EmbeddingControl::create(analysis)) control->restart();
    };
}

template <typename Analysis, typename View, typename Panel>
bool created(MainWindow& w, size_t analyses, Analysis*& analysis, View*& view, Panel*& panel) {
    if (w.analyses().size() <= analyses || w.views().empty() || w.settingsPanels().empty()) return false;
    analysis = dynamic_cast<Analysis*>(w.analyses()[analyses]);
    view = qobject_cast<View*>(w.views().back());
    panel = qobject_cast<Panel*>(w.settingsPanels().back());
    return analysis && view && panel;
}

bool tsneRuns(MainWindow& w, const Options& opt);
bool hsneRuns(MainWindow& w, const Options& opt);
bool fcRuns(MainWindow& w, const Options& opt);

bool runPart(MainWindow& w, const Options& opt, const QTemporaryDir& dir) {
    openBenchFiles(w, writeBenchFiles(opt, opt.runN, dir));
    std::printf("Part 1: runs with the window and deaf  M=%u  D=%u  files=%d  iterations=%d  threads=%d  repeats=%d\n",
                opt.runN, opt.dims, opt.files, opt.iterations, opt.threads, opt.repeats);
    std::fflush(stdout);

    const auto wanted = [&opt](const char* run) { return opt.only.empty() || opt.only == run; };
    if (wanted("tsne") && !tsneRuns(w, opt)) return false;
    if (wanted("hsne") && !hsneRuns(w, opt)) return false;
    return !wanted("fc") || fcRuns(w, opt);
}

bool tsneRuns(MainWindow& w, const Options& opt) {
    MCV_TsneAnalysis* tsne = nullptr;
    UI_TsneWidget* tsneView = nullptr;
    UI_TsneSettingsWidget* tsnePanel = nullptr;
    const size_t before = w.analyses().size();
    createBenchAnalysis(w, "actionNewTsneAnalysis", "T");
    if (!created(w, before, tsne, tsneView, tsnePanel)) {
        std::fprintf(stderr, "bench_window_cost: no A-tSNE analysis\n");
        return false;
    }
    tsne->setSeed(7);
    tsne->setIterations(opt.iterations);
    const auto compute = [tsnePanel]() { tsnePanel->computeTsneButton()->click(); };
    printComparison(compare("A-tSNE Compute", w, tsneView, tsne, opt.repeats, compute, compute));
    if (!overlayButton(tsneView->plot(), 1) || !overlayButton(tsneView->plot(), 1)->isEnabled()) {
        std::fprintf(stderr, "bench_window_cost: the A-tSNE plot has no restart button\n");
        return false;
    }
    printComparison(
        compare("A-tSNE restart", w, tsneView, tsne, opt.repeats, restartPressed(tsneView), restartCalled(tsne)));
    return true;
}

// An HSNE level: the overview.
bool hsneRuns(MainWindow& w, const Options& opt) {
    const BenchHsne h = computeBenchHsne(w, "H", MCV_HsneAnalysisHierarchy::defaultNumScales(opt.runN));
    if (!h.overview) {
        std::fprintf(stderr, "bench_window_cost: no HSNE analysis\n");
        return false;
    }
    h.overview->setIterations(opt.iterations);
    std::printf("  HSNE Compute (hierarchy and overview of %d landmarks) %.1f s\n", h.overview->numDataPoints(),
                h.compute);
    printComparison(compare("HSNE overview", w, h.view, h.overview, opt.repeats, restartPressed(h.view),
                            restartCalled(h.overview)));
    return true;
}

bool fcRuns(MainWindow& w, const Options& opt) {
    MCV_HsneFCAnalysis* fc = nullptr;
    UI_HsneFCWidget* fcView = nullptr;
    UI_HsneFCSettingsWidget* fcPanel = nullptr;
    const size_t before = w.analyses().size();
    createBenchAnalysis(w, "actionNewHsneFCAnalysis", "F");
    QSpinBox* seed = nullptr;
    if (!created(w, before, fc, fcView, fcPanel) || !(seed = widgetBeside<QSpinBox>(fcPanel, "RNG Seed"))) {
        std::fprintf(stderr, "bench_window_cost: no focus-and-context analysis\n");
        return false;
    }
    seed->setValue(7);
    const double fcCompute = seconds([fcPanel]() { fcPanel->computeHsneButton()->click(); });
    fc->setIterations(opt.iterations);
    std::printf("  F+C Compute (hierarchy and map of %d points) %.1f s\n", fc->numDataPoints(), fcCompute);
    printComparison(compare("focus+context", w, fcView, fc, opt.repeats, restartPressed(fcView), restartCalled(fc)));
    return true;
}

void printDrill(const std::string& name, const HsneDrill& d) {
    std::printf(
        "  %-26s selection %6.3f s   zoom to first update %6.3f s, to first frame %6.3f s (initialised at %.3f s)   "
        "without a view %6.3f s   (%zu selected, %d landmarks at scale %d)   goal 1 s: %s\n",
        name.c_str(), d.selection, d.window, d.frame, d.windowInitialised, d.baseline, d.selected, d.landmarks, d.scale,
        verdict(d.frame >= 0 && d.frame <= 1.0));
    std::fflush(stdout);
}

bool drillPart(MainWindow& w, const Options& opt, const QTemporaryDir& dir) {
    openBenchFiles(w, writeBenchFiles(opt, opt.n, dir));
    std::printf("Part 2: selection to the new level's first frame  N=%u  D=%u  files=%d  scales=%d  threads=%d\n",
                opt.n, opt.dims, opt.files, opt.scales, opt.threads);
    std::fflush(stdout);
    FirstUpdate first(w, stopHsneLevel);
    const BenchHsne h = computeBenchHsne(w, "H", opt.scales);
    if (!h.overview || h.hierarchy->numScales() != opt.scales) {
        std::fprintf(stderr, "bench_window_cost: no HSNE analysis of %d scales\n", opt.scales);
        return false;
    }
    std::printf("  HSNE Compute (hierarchy and overview of %d landmarks) %.1f s; scale sizes:",
                h.overview->numDataPoints(), h.compute);
    for (int s = 0; s < h.hierarchy->numScales(); ++s) std::printf(" %d", h.hierarchy->numLandmarksInScale(s));
    std::printf("\n");
    std::fflush(stdout);

    // From the overview down to the data level, one scale per drill.
    MCV_HsneAnalysis* from = h.overview;
    UI_HsneWidget* fromView = h.view;
    for (int scale = opt.scales - 1; scale >= 1; --scale) {
        const bool last = scale == 1;
        const HsneDrill d = drillATenth(w, first, h.hierarchy, from, fromView, last);
        if (!d.level || !d.view || d.scale != scale - 1) {
            std::fprintf(stderr, "bench_window_cost: the drill from scale %d opened no level\n", scale);
            return false;
        }
        printDrill(last ? std::string("drill into the data level") : "drill from scale " + std::to_string(scale), d);
        from = d.level;
        fromView = d.view;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options opt;
    if (!parse(argc, argv, opt)) {
        std::cerr << "usage: bench_window_cost [--n N (0 or 1000+)] [--run-n M (0 or 1000+)] [--dims D] [--files F] "
                     "[--iterations I] [--scales S (2+)] [--threads T] [--repeats R] [--only tsne|hsne|fc]\n";
        return 2;
    }
    omp_set_num_threads(opt.threads);
    setApplicationSurfaceFormat();
    QApplication app(argc, argv);
    QTemporaryDir runDir, drillDir;
    if (!runDir.isValid() || !drillDir.isValid()) return 1;

    MainWindow w;
    if (!showBenchWindow(w)) return 1;
    if (opt.runN > 0 && !runPart(w, opt, runDir)) return 1;
    if (opt.n > 0 && !drillPart(w, opt, drillDir)) return 1;
    return 0;
}
