#pragma once

#include "analysis/MCV_Analysis.h"
#include "app/MainWindow.h"
#include "app/UI_Interface.h"
#include "ui/plot/UI_EmbeddingView.h"
#include "ui/plot/UI_ScatterplotWidget.h"

#include <QObject>
#include <QPointer>

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

// Times an analysis that the window did not list at start(): from start() to
// its analysisInitialized, to its first analysisUpdated, and to the first
// frame its view's plot puts on the screen after the initialisation (-1 for
// what has not happened). The view is the window's newest view when the
// analysis reports its initialisation, as the shell opens a level's dock just
// before it prepares the level. With `stopAtFirst` the analysis is stopped
// (through `stop`) at its first update; the frame of that update is still
// drawn, as the view's slot runs after this one.
class FirstUpdate {
public:
    using Stop = std::function<void(MCV_Analysis*)>;

    FirstUpdate(MainWindow& window, Stop stopIn) : w(window), stop(std::move(stopIn)) {
        QObject::connect(w.bridge(), &UI_Interface::analysisInitializedSignal, &w,
                         [this](void* a) { initialisedAt(a); });
        QObject::connect(w.bridge(), &UI_Interface::analysisUpdatedSignal, &w, [this](void* a) { updated(a); });
    }
    FirstUpdate(const FirstUpdate&) = delete;
    FirstUpdate& operator=(const FirstUpdate&) = delete;

    void start(bool stopAtFirst) {
        known = w.analyses();
        armed = true;
        stopIt = stopAtFirst;
        time = initialised = frame = -1;
        watched = nullptr;
        begin = Clock::now();
    }
    double time = -1, initialised = -1, frame = -1;

private:
    using Clock = std::chrono::steady_clock;
    double elapsed() const { return std::chrono::duration<double>(Clock::now() - begin).count(); }
    bool isNew(void* a) const {
        return armed && std::find(known.begin(), known.end(), static_cast<MCV_Analysis*>(a)) == known.end();
    }
    void initialisedAt(void* a) {
        if (!isNew(a) || initialised >= 0) return;
        initialised = elapsed();
        auto* view = w.views().empty() ? nullptr : qobject_cast<UI_EmbeddingView*>(w.views().back());
        if (!view || !view->plot() || view->plot() == watched) return;
        watched = view->plot();
        QObject::connect(watched, &QOpenGLWidget::frameSwapped, &w, [this, plot = watched.data()]() {
            if (plot == watched && frame < 0 && initialised >= 0) frame = elapsed();
        });
    }
    void updated(void* a) {
        if (!isNew(a) || time >= 0) return;
        time = elapsed();
        if (stopIt && stop) stop(static_cast<MCV_Analysis*>(a));
    }
    MainWindow& w;
    Stop stop;
    std::vector<MCV_Analysis*> known;
    bool armed = false;
    bool stopIt = false;
    QPointer<UI_ScatterplotWidget> watched;
    Clock::time_point begin;
};
