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
#include "support/WidgetFinders.h"

#include "analysis/applicationSurfaceFormat.h"
#include "analysis/hsne/MCV_HsneAnalysis.h"
#include "analysis/hsne/MCV_HsneAnalysisHierarchy.h"
#include "app/MainWindow.h"
#include "app/UI_Interface.h"
#include "ui/base/UI_ModalDialogs.h"
#include "ui/hsne/UI_HsneSettingsWidget.h"
#include "ui/hsne/UI_HsneWidget.h"
#include "ui/plot/UI_ScatterplotWidget.h"
#include "vel/utils/Timer.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QMouseEvent>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <omp.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Options {
    unsigned n = 1000000;
    unsigned dims = 30;
    int files = 5;
    int threads = omp_get_max_threads();
};

bool parse(int argc, char** argv, Options& opt) {
    for (int a = 1; a + 1 < argc; a += 2) {
        const std::string arg = argv[a];
        const long value = std::atol(argv[a + 1]);
        if (arg == "--n")
            opt.n = static_cast<unsigned>(value);
        else if (arg == "--dims")
            opt.dims = static_cast<unsigned>(value);
        else if (arg == "--files")
            opt.files = static_cast<int>(value);
        else if (arg == "--threads")
            opt.threads = static_cast<int>(value);
        else
            return false;
    }
    return argc % 2 == 1 && opt.n >= 1000 && opt.dims >= 1 && opt.files >= 1 && opt.threads >= 1;
}

// The analyses' console lines are part of their work: formatted, not shown.
class QuietConsole {
public:
    QuietConsole() : saved(std::cout.rdbuf(sink.rdbuf())) {}
    ~QuietConsole() { std::cout.rdbuf(saved); }
    QuietConsole(const QuietConsole&) = delete;
    QuietConsole& operator=(const QuietConsole&) = delete;

private:
    std::ostringstream sink;
    std::streambuf* saved;
};

// The time from start() to the first analysisUpdated of an analysis the
// window did not list at start() (-1 while there is none), and to its
// analysisInitialized; with `stopAtFirst` that analysis stops after its first
// update.
class FirstUpdate {
public:
    explicit FirstUpdate(MainWindow& window) : w(window) {
        QObject::connect(w.bridge(), &UI_Interface::analysisInitializedSignal, &w, [this](void* a) {
            if (isNew(a) && initialised < 0) initialised = elapsed();
        });
        QObject::connect(w.bridge(), &UI_Interface::analysisUpdatedSignal, &w, [this](void* a) { updated(a); });
    }
    void start(bool stopAtFirst) {
        known = w.analyses();
        armed = true;
        stopIt = stopAtFirst;
        time = initialised = -1;
        begin = Clock::now();
    }
    double time = -1, initialised = -1;

private:
    using Clock = std::chrono::steady_clock;
    double elapsed() const { return std::chrono::duration<double>(Clock::now() - begin).count(); }
    bool isNew(void* a) const {
        return armed && std::find(known.begin(), known.end(), static_cast<MCV_Analysis*>(a)) == known.end();
    }
    void updated(void* a) {
        if (!isNew(a)) return;
        time = elapsed();
        armed = false;
        if (stopIt) static_cast<MCV_HsneAnalysis*>(a)->stopGradientDescent();
    }
    MainWindow& w;
    std::vector<MCV_Analysis*> known;
    bool armed = false;
    bool stopIt = false;
    Clock::time_point begin;
};

// A left-button rectangle drawn on the plot, in its own coordinates.
void drawRectangle(UI_ScatterplotWidget* plot, QPointF from, QPointF to) {
    QMouseEvent press(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(plot, &press);
    QMouseEvent move(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(plot, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(plot, &release);
}

// Selects about a tenth of the level's landmarks with a square drawn around
// the first landmark (the renderer's placement: one scale for both axes, the
// range made symmetric about 0 when it holds negative values, into
// [0.1, 0.9] of the centred square viewport); the square's size is searched.
// Returns the selected plot positions.
std::vector<unsigned> selectATenth(UI_ScatterplotWidget* plot, MCV_HsneAnalysis* level) {
    const std::vector<float>& y = *level->output();
    if (y.size() < 2) return {};
    float lo = 0.f, hi = 0.f;
    for (float v : y) lo = std::min(lo, v), hi = std::max(hi, v);
    if (lo < 0.f) hi = std::max(hi, -lo), lo = -hi;
    const double span = hi > lo ? hi - lo : 1.0;
    const double side = std::min(plot->width(), plot->height());
    const double originX = (plot->width() - side) / 2, originY = (plot->height() - side) / 2;
    const QPointF centre(originX + ((y[0] - lo) / span * 0.8 + 0.1) * side,
                         plot->height() - (originY + ((y[1] - lo) / span * 0.8 + 0.1) * side));
    const size_t target = std::max<size_t>(static_cast<size_t>(level->numDataPoints()) / 10, 1);
    const auto square = [&](double r) {
        drawRectangle(plot, centre - QPointF(r, r), centre + QPointF(r, r));
        const std::vector<int>* idxs = plot->selectionIdxs();
        return idxs ? std::vector<unsigned>(idxs->begin(), idxs->end()) : std::vector<unsigned>();
    };
    const auto distance = [&](size_t c) { return c > target ? c - target : target - c; };
    double small = 0.5, large = side, bestR = large;
    size_t bestCount = 0;
    for (int step = 0; step < 20; ++step) {
        const double r = (small + large) / 2;
        const std::vector<unsigned> selected = square(r);
        if (step == 0 || distance(selected.size()) < distance(bestCount)) bestR = r, bestCount = selected.size();
        if (distance(selected.size()) <= target / 20) return selected;
        (selected.size() < target ? small : large) = r;
    }
    // The closest square once more, so that the plot holds it.
    std::fprintf(stderr, "bench_hsne_drill: %zu of %zu wanted landmarks selected\n", bestCount, target);
    return square(bestR);
}

// The drill without the window: the level made, initialised and started on
// the same hierarchy and landmarks as the window's, reporting through the
// same bridge to no view; it stops at its first update.
double withoutWindow(FirstUpdate& first, MCV_HsneAnalysisHierarchy* hierarchy, MCV_HsneAnalysis* from,
                     std::vector<unsigned> positions) {
    QuietConsole quiet;
    first.start(true);
    MCV_HsneAnalysis level(hierarchy);
    hierarchy->initNextLevelAnalysisFromSelection(&level, "baseline", from->scale(),
                                                  from->selectedLandmarkIdxs(&positions));
    level.embed();
    return first.time;
}

struct Drill {
    double window = -1, baseline = -1, windowInitialised = -1;
    int landmarks = 0, scale = -1;
    MCV_HsneAnalysis* level = nullptr;
    UI_HsneWidget* view = nullptr;
};

// A tenth of `from` selected in its view, the drill without the window, with
// it, and without it once more (the better of the two is the baseline). The
// window's level runs to its end unless `stopAtFirst`.
Drill drill(MainWindow& w, FirstUpdate& first, MCV_HsneAnalysisHierarchy* hierarchy, MCV_HsneAnalysis* from,
            UI_HsneWidget* fromView, bool stopAtFirst) {
    Drill d;
    const std::vector<unsigned> positions = selectATenth(fromView->plot(), from);
    if (positions.empty()) return d;
    std::printf("  selected %zu of %d landmarks at scale %d\n", positions.size(), from->numDataPoints(), from->scale());
    const double before = withoutWindow(first, hierarchy, from, positions);
    {
        QuietConsole quiet;
        UI_ModalDialogs::answerText(QString());
        first.start(stopAtFirst);
        fromView->drillIntoSelection();
        d.window = first.time;
        d.windowInitialised = first.initialised;
    }
    const double after = withoutWindow(first, hierarchy, from, positions);
    d.baseline = before < 0 || after < 0 ? std::max(before, after) : std::min(before, after);
    d.level = dynamic_cast<MCV_HsneAnalysis*>(w.analyses().back());
    d.view = qobject_cast<UI_HsneWidget*>(w.views().back());
    if (d.level) d.landmarks = d.level->numDataPoints(), d.scale = d.level->scale();
    return d;
}

const char* verdict(bool met) { return met ? "PASS" : "MISS"; }

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
    UI_ModalDialogs::setScripted(true);

    QTemporaryDir dir;
    if (!dir.isValid()) return 1;
    QStringList files;
    for (const std::string& path : writeFiles(syntheticData(opt.n, opt.dims), opt.n, opt.dims, opt.files, dir))
        files << QString::fromStdString(path);
    std::printf("HSNE drill-down in the main window  N=%u  D=%u  files=%d  scales=3  threads=%d\n", opt.n, opt.dims,
                opt.files, opt.threads);
    std::fflush(stdout);

    MainWindow w;
    w.resize(1400, 1000);
    w.show();
    if (!QTest::qWaitForWindowExposed(&w)) return 1;
    UI_ModalDialogs::answerFiles(files);
    UI_ModalDialogs::answerDialog([](QDialog* d) {
        d->done(0);
        return 0;
    });
    w.findChild<QAction*>("actionOpenFile")->trigger();
    UI_ModalDialogs::answerText("H");
    w.findChild<QAction*>("actionNewHsneAnalysis")->trigger();
    auto* hierarchy = w.analyses().size() == 2 ? dynamic_cast<MCV_HsneAnalysisHierarchy*>(w.analyses()[0]) : nullptr;
    auto* overview = hierarchy ? hierarchy->analysis(0) : nullptr;
    auto* panel = w.settingsPanels().empty() ? nullptr : qobject_cast<UI_HsneSettingsWidget*>(w.settingsPanels()[0]);
    auto* view = w.views().empty() ? nullptr : qobject_cast<UI_HsneWidget*>(w.views()[0]);
    auto* seed = panel ? widgetBeside<QSpinBox>(panel, "RNG Seed") : nullptr;
    auto* caching = panel ? widgetBeside<QCheckBox>(panel, "Cache HSNE Hierarchy") : nullptr;
    if (!overview || !view || !seed || !caching) {
        std::fprintf(stderr, "bench_hsne_drill: no HSNE analysis after opening the data\n");
        return 1;
    }
    seed->setValue(7);
    caching->setChecked(false);
    panel->numScalesBox()->setValue(3);

    FirstUpdate first(w);
    vel::utils::Timer compute;
    {
        QuietConsole quiet;
        compute.start();
        panel->computeHsneButton()->click();
        compute.stop();
    }
    std::printf("  Compute: hierarchy and overview (%d landmarks, %d iterations) %.1f s; scale sizes:",
                overview->numDataPoints(), overview->iterations(), compute.elapsedTime());
    for (int s = 0; s < hierarchy->numScales(); ++s) std::printf(" %d", hierarchy->numLandmarksInScale(s));
    std::printf("\n");
    std::fflush(stdout);
    if (hierarchy->numScales() != 3 || overview->numDataPoints() < 100) {
        std::fprintf(stderr, "bench_hsne_drill: the hierarchy has no three scales\n");
        return 1;
    }

    const Drill fromOverview = drill(w, first, hierarchy, overview, view, false);
    if (!fromOverview.level || !fromOverview.view || fromOverview.scale != 1) {
        std::fprintf(stderr, "bench_hsne_drill: the drill from the overview opened no level at scale 1\n");
        return 1;
    }
    std::fflush(stdout);
    const Drill intoData = drill(w, first, hierarchy, fromOverview.level, fromOverview.view, true);
    if (!intoData.level || intoData.scale != 0) {
        std::fprintf(stderr, "bench_hsne_drill: the second drill opened no data level\n");
        return 1;
    }

    for (const auto& [name, d] : {std::make_pair("drill from the overview", fromOverview),
                                  std::make_pair("drill into the data level", intoData)})
        std::printf(
            "  %-26s %7.3f s (level initialised at %.3f s)   without the window %7.3f s   "
            "(%d landmarks at scale %d)   goal 1 s: %s\n",
            name, d.window, d.windowInitialised, d.baseline, d.landmarks, d.scale,
            verdict(d.window >= 0 && d.window <= 1.0));
    return 0;
}
