#pragma once

// The callback interface of the analysis benchmarks that time a run from its
// reports: the end of a hierarchy build (its analysesRemoved report) and the
// first update, with an optional hook at that update.

#include "data/MCV_UiInterface.h"
#include "vel/utils/Timer.h"

#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

// Seconds on `timer` so far; the timer itself keeps running.
inline double seconds(vel::utils::Timer timer) {
    timer.stop();
    return timer.elapsedTime();
}

// Seconds `f` takes; the console lines it writes are part of its work,
// formatted but not shown.
template <typename F>
double silently(F&& f) {
    std::ostringstream sink;
    std::streambuf* saved = std::cout.rdbuf(sink.rdbuf());
    vel::utils::Timer timer;
    timer.start();
    f();
    const double t = seconds(timer);
    std::cout.rdbuf(saved);
    return t;
}

class FirstUpdateUi : public MCV_UiInterface {
public:
    vel::utils::Timer clock;
    double built = 0, firstUpdate = 0;
    int updates = 0;
    std::function<void(void*)> atFirstUpdate;
    void start() {
        clock = vel::utils::Timer();
        clock.start();
        updates = 0;
        built = firstUpdate = 0;
    }
    void analysesRemoved(std::vector<std::string>*) override { built = seconds(clock); }
    void analysisUpdated(void* a) override {
        if (updates++ == 0) {
            firstUpdate = seconds(clock);
            if (atFirstUpdate) atFirstUpdate(a);
        }
    }
    void dimensionsAdded() override {}
    void analysisInitialized(void*) override {}
    void analysisFinished(void*) override {}
    void readyForDeletion(void*) override {}
    void newDerivedDataAdded() override {}
    void dataRefreshed(void*) override {}
    void selectionRefreshed(void*) override {}
    void highlightRefreshed(void*) override {}
    void spadeTreeRefreshed(void*) override {}
};
