// Frame pacing with a synthetic clock: the share of the wall time spent in
// the view stays within bounds whatever a frame costs.
#include "ui/base/UI_FramePacer.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using Clock = UI_FramePacer::Clock;
using ms = std::chrono::milliseconds;

struct PacedRun {
    int frames = 0;
    Clock::duration total{};
};

// `iterations` updates of an engine taking `work` each; a drawn frame costs
// `frame`, every update `copy`.
PacedRun simulate(UI_FramePacer& pacer, int iterations, ms work, ms frame, ms copy) {
    PacedRun run;
    Clock::time_point now{};
    for (int i = 0; i < iterations; ++i) {
        now += work;
        const bool draw = pacer.frameDue();
        const Clock::duration cost = copy + (draw ? frame : ms(0));
        now += cost;
        pacer.spent(cost, draw, now);
        run.frames += draw;
    }
    run.total = now - Clock::time_point{};
    return run;
}

double share(Clock::duration part, Clock::duration whole) {
    return std::chrono::duration<double>(part) / std::chrono::duration<double>(whole);
}

}  // namespace

TEST(FramePacer, CheapFramesAndFramesBesideDearUpdatesKeepComing) {
    // The first frame is charged without the time before it; updates costing
    // half an iteration must not starve the frames.
    UI_FramePacer a(0.1), b(0.06);
    EXPECT_GE(simulate(a, 200, ms(20), ms(1), ms(0)).frames, 199);
    EXPECT_GE(simulate(b, 400, ms(10), ms(1), ms(5)).frames, 150);
}

TEST(FramePacer, ExpensiveFramesKeepTheViewWithinItsShare) {
    // A frame as dear as an iteration (a million points drawn in software).
    for (double s : {0.05, 0.1, 0.25}) {
        UI_FramePacer pacer(s);
        const PacedRun run = simulate(pacer, 2000, ms(600), ms(700), ms(5));
        EXPECT_LE(share(ms(700) * run.frames, run.total), s * 1.05) << s;
        EXPECT_GE(run.frames, static_cast<int>(2000 * s * 0.5)) << s;
    }
}

TEST(FramePacer, FirstUpdateAfterResetIsDueButALongCheapStretchSavesNothing) {
    UI_FramePacer pacer(0.1);
    pacer.spent(ms(500), true, Clock::time_point{} + ms(1000));
    EXPECT_FALSE(pacer.frameDue());
    pacer.reset();
    const PacedRun cheap = simulate(pacer, 3600, ms(1000), ms(0), ms(0));
    EXPECT_EQ(cheap.frames, 3600);
    pacer.spent(ms(2000), true, Clock::time_point{} + cheap.total + ms(2000));
    EXPECT_FALSE(pacer.frameDue()) << "an hour of cheap frames is no credit for a dear one";
}
