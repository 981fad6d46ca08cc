// Frame pacing with a synthetic clock: the share of the wall time spent in
// the view stays within bounds whatever a frame costs.
#include "ui/base/UI_FramePacer.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using Clock = UI_FramePacer::Clock;
using ms = std::chrono::milliseconds;

// Runs `iterations` updates of an engine taking `work` per iteration, where a
// drawn frame costs `frame` and an update without one costs `copy`; returns
// the number of frames and the time spent in the view.
struct PacedRun {
    int frames = 0;
    Clock::duration view{};
    Clock::duration total{};
};

PacedRun simulate(UI_FramePacer& pacer, int iterations, ms work, ms frame, ms copy, Clock::time_point t0 = {}) {
    PacedRun run;
    Clock::time_point now = t0;
    for (int i = 0; i < iterations; ++i) {
        now += work;
        const bool draw = pacer.frameDue();
        const Clock::duration cost = copy + (draw ? frame : ms(0));
        now += cost;
        pacer.spent(cost, draw, now);
        run.frames += draw;
        run.view += cost;
    }
    run.total = now - t0;
    return run;
}

// The share of the wall time spent in frames, beyond the copy every update
// makes anyway.
double frameShare(const PacedRun& r, ms frame) {
    return std::chrono::duration<double>(frame * r.frames).count() / std::chrono::duration<double>(r.total).count();
}

}  // namespace

TEST(FramePacer, CheapFramesAreDrawnEveryTime) {
    UI_FramePacer pacer(0.1);
    const PacedRun run = simulate(pacer, 200, ms(20), ms(1), ms(0));
    // The very first frame is charged without the time before it.
    EXPECT_GE(run.frames, 199);
}

TEST(FramePacer, ExpensiveFramesKeepTheViewWithinItsShare) {
    // A frame as dear as an iteration (a million points drawn in software),
    // with the copy of the coordinates on every update.
    for (double s : {0.05, 0.08, 0.1, 0.25}) {
        UI_FramePacer pacer(s);
        const PacedRun run = simulate(pacer, 2000, ms(600), ms(700), ms(5));
        EXPECT_LE(frameShare(run, ms(700)), s * 1.05) << s;
        // Frames keep coming: not starved either.
        EXPECT_GE(run.frames, static_cast<int>(2000 * s * 0.5)) << s;
    }
}

TEST(FramePacer, DefaultAddsAtMostATenthToTheWork) {
    UI_FramePacer pacer;
    const PacedRun run = simulate(pacer, 1000, ms(600), ms(700), ms(5));
    const double added =
        std::chrono::duration<double>(run.view).count() / std::chrono::duration<double>(run.total - run.view).count();
    EXPECT_LT(added, 0.1);
}

TEST(FramePacer, FirstUpdateAndFirstAfterResetAreDue) {
    UI_FramePacer pacer(0.1);
    EXPECT_TRUE(pacer.frameDue());
    pacer.spent(ms(500), true, Clock::time_point{} + ms(1000));
    EXPECT_FALSE(pacer.frameDue());
    pacer.reset();
    EXPECT_TRUE(pacer.frameDue());
}

TEST(FramePacer, NoBurstAfterALongCheapStretch) {
    UI_FramePacer pacer(0.1);
    // An hour of cheap updates saves up nothing ...
    PacedRun cheap = simulate(pacer, 3600, ms(1000), ms(0), ms(0));
    EXPECT_EQ(cheap.frames, 3600);
    // ... so the first expensive frame is followed by a pause.
    Clock::time_point now = Clock::time_point{} + cheap.total;
    EXPECT_TRUE(pacer.frameDue());
    now += ms(2000);
    pacer.spent(ms(2000), true, now);
    EXPECT_FALSE(pacer.frameDue());
}

TEST(FramePacer, WorkLeftBehindByAFrameDelaysTheNext) {
    // The driver finishes the frame when the next upload waits for it: the
    // cost shows in the update after the frame, and still counts.
    UI_FramePacer a(0.1), b(0.1);
    Clock::time_point ta{}, tb{};
    int framesA = 0, framesB = 0;
    bool pendingB = false;
    for (int i = 0; i < 500; ++i) {
        ta += ms(100);
        const bool da = a.frameDue();
        framesA += da;
        ta += ms(da ? 50 : 1);
        a.spent(ms(da ? 50 : 1), da, ta);

        tb += ms(100);
        const bool db = b.frameDue();
        framesB += db;
        const ms cost = ms(1) + (pendingB ? ms(49) : ms(0));
        pendingB = db;
        tb += cost;
        b.spent(cost, db, tb);
    }
    EXPECT_NEAR(framesA, framesB, framesA / 10 + 1);
}

TEST(FramePacer, UpdatesDearerThanTheShareDoNotStarveTheFrames) {
    // Handling events costs half the time of an iteration on every update
    // (a busy window); a frame adds little to that and keeps coming.
    UI_FramePacer pacer(0.06);
    const PacedRun run = simulate(pacer, 400, ms(10), ms(1), ms(5));
    EXPECT_GE(run.frames, 150);
}
