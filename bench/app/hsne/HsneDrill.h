#pragma once

// HSNE in the real main window for the window benchmarks: an HSNE analysis
// computed through its panel (seed 7, caching off, a given number of scales)
// and drill-downs from a selection of a tenth of a level's landmarks, each
// next to the same drill without the window.

#include "bench/app/BenchWindow.h"
#include "bench/app/FirstUpdate.h"
#include "bench/app/PlotSelection.h"
#include "bench/app/QuietConsole.h"
#include "support/WidgetFinders.h"

#include "analysis/hsne/MCV_HsneAnalysis.h"
#include "analysis/hsne/MCV_HsneAnalysisHierarchy.h"
#include "app/MainWindow.h"
#include "ui/base/UI_ModalDialogs.h"
#include "ui/hsne/UI_HsneSettingsWidget.h"
#include "ui/hsne/UI_HsneWidget.h"
#include "vel/utils/Timer.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QPushButton>
#include <QSpinBox>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

// The analysis, its overview and their dock and panel, and how long the
// Compute took (hierarchy and overview run).
struct BenchHsne {
    MCV_HsneAnalysisHierarchy* hierarchy = nullptr;
    MCV_HsneAnalysis* overview = nullptr;
    UI_HsneWidget* view = nullptr;
    UI_HsneSettingsWidget* panel = nullptr;
    double compute = -1;
};

// Creates an HSNE analysis named `name` on the open data and computes it
// with `scales` scales; null members when the window made none.
inline BenchHsne computeBenchHsne(MainWindow& w, const QString& name, int scales) {
    BenchHsne h;
    const size_t analyses = w.analyses().size(), views = w.views().size(), panels = w.settingsPanels().size();
    createBenchAnalysis(w, "actionNewHsneAnalysis", name);
    if (w.analyses().size() != analyses + 2 || w.views().size() != views + 1 || w.settingsPanels().size() != panels + 1)
        return h;
    h.hierarchy = dynamic_cast<MCV_HsneAnalysisHierarchy*>(w.analyses()[analyses]);
    h.overview = h.hierarchy ? h.hierarchy->analysis(0) : nullptr;
    h.panel = qobject_cast<UI_HsneSettingsWidget*>(w.settingsPanels()[panels]);
    h.view = qobject_cast<UI_HsneWidget*>(w.views()[views]);
    auto* seed = h.panel ? widgetBeside<QSpinBox>(h.panel, "RNG Seed") : nullptr;
    auto* caching = h.panel ? widgetBeside<QCheckBox>(h.panel, "Cache HSNE Hierarchy") : nullptr;
    if (!h.overview || !h.view || !seed || !caching) return BenchHsne();
    seed->setValue(7);
    caching->setChecked(false);
    h.panel->numScalesBox()->setValue(scales);
    QuietConsole quiet;
    vel::utils::Timer compute;
    compute.start();
    h.panel->computeHsneButton()->click();
    compute.stop();
    h.compute = compute.elapsedTime();
    return h;
}

// One drill: the selection (its last square, and the frame showing it), from
// the zoom to the new level's first update, to its first frame on the screen
// and to its initialisation in the window, and to the first update without it.
struct HsneDrill {
    double selection = -1;
    double window = -1, frame = -1, windowInitialised = -1, baseline = -1;
    size_t selected = 0;
    int landmarks = 0, scale = -1;
    MCV_HsneAnalysis* level = nullptr;
    UI_HsneWidget* view = nullptr;
};

// The drill without the window: the level made, initialised and started on
// the same hierarchy and landmarks as the window's, reporting through the
// same bridge to no view; it stops at its first update.
inline double drillWithoutWindow(FirstUpdate& first, MCV_HsneAnalysisHierarchy* hierarchy, MCV_HsneAnalysis* from,
                                 std::vector<unsigned> positions) {
    QuietConsole quiet;
    first.start(true);
    MCV_HsneAnalysis level(hierarchy);
    hierarchy->initNextLevelAnalysisFromSelection(&level, "baseline", from->scale(),
                                                  from->selectedLandmarkIdxs(&positions));
    level.embed();
    return first.time;
}

// A tenth of `from` selected in its view, the drill without the window, with
// it (its name prompt answered with the default), and without it once more
// (the better of the two is the baseline). The window's level runs to its
// end unless `stopAtFirst`. `first` stops levels by stopGradientDescent.
inline HsneDrill drillATenth(MainWindow& w, FirstUpdate& first, MCV_HsneAnalysisHierarchy* hierarchy,
                             MCV_HsneAnalysis* from, UI_HsneWidget* fromView, bool stopAtFirst) {
    HsneDrill d;
    double square = -1;
    const std::vector<unsigned> positions =
        selectATenth(fromView->plot(), *from->output(), from->numDataPoints(), &square);
    if (positions.empty()) return d;
    const auto begin = std::chrono::steady_clock::now();
    QCoreApplication::processEvents();
    d.selection = square + std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    d.selected = positions.size();
    const double before = drillWithoutWindow(first, hierarchy, from, positions);
    {
        QuietConsole quiet;
        UI_ModalDialogs::answerText(QString());
        first.start(stopAtFirst);
        fromView->drillIntoSelection();
        d.window = first.time;
        d.frame = first.frame;
        d.windowInitialised = first.initialised;
    }
    const double after = drillWithoutWindow(first, hierarchy, from, positions);
    d.baseline = before < 0 || after < 0 ? std::max(before, after) : std::min(before, after);
    d.level = dynamic_cast<MCV_HsneAnalysis*>(w.analyses().back());
    d.view = qobject_cast<UI_HsneWidget*>(w.views().back());
    if (d.level) d.landmarks = d.level->numDataPoints(), d.scale = d.level->scale();
    return d;
}

// Stops an HSNE level (FirstUpdate's stop).
inline void stopHsneLevel(MCV_Analysis* a) {
    if (auto* level = dynamic_cast<MCV_HsneAnalysis*>(a)) level->stopGradientDescent();
}
