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
    Clock::duration view{};
    Clock::duration total{};
};

// Runs `iterations` updates of an engine taking `work` per iteration, where a
// drawn frame costs `frame` and every update costs `copy`.
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
        run.view += cost;
    }
    run.total = now - Clock::time_point{};
    return run;
}

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

TEST(FramePacer, CheapFramesAndFramesBesideDearUpdatesKeepComing) {
    struct Case {
        double share;
        int iterations;
        ms work, frame, copy;
        int minFrames;
    };
    // The very first frame is charged without the time before it; a busy
    // window (updates costing half an iteration) must not starve the frames.
    for (const Case& c : {Case{0.1, 200, ms(20), ms(1), ms(0), 199}, Case{0.06, 400, ms(10), ms(1), ms(5), 150}}) {
        UI_FramePacer pacer(c.share);
        EXPECT_GE(simulate(pacer, c.iterations, c.work, c.frame, c.copy).frames, c.minFrames) << c.share;
    }
}

TEST(FramePacer, ExpensiveFramesKeepTheViewWithinItsShare) {
    // A frame as dear as an iteration (a million points drawn in software),
    // with the copy of the coordinates on every update.
    for (double s : {0.05, 0.08, 0.1, 0.25}) {
        UI_FramePacer pacer(s);
        const PacedRun run = simulate(pacer, 2000, ms(600), ms(700), ms(5));
        EXPECT_LE(seconds(ms(700) * run.frames) / seconds(run.total), s * 1.05) << s;
        EXPECT_GE(run.frames, static_cast<int>(2000 * s * 0.5)) << s;
    }
    UI_FramePacer byDefault;
    const PacedRun run = simulate(byDefault, 1000, ms(600), ms(700), ms(5));
    EXPECT_LT(seconds(run.view) / seconds(run.total - run.view), 0.1);
}

TEST(FramePacer, FirstUpdateAndFirstAfterResetAreDueButALongCheapStretchSavesNothing) {
    UI_FramePacer pacer(0.1);
    EXPECT_TRUE(pacer.frameDue());
    pacer.spent(ms(500), true, Clock::time_point{} + ms(1000));
    EXPECT_FALSE(pacer.frameDue());
    pacer.reset();
    // An hour of cheap updates ...
    const PacedRun cheap = simulate(pacer, 3600, ms(1000), ms(0), ms(0));
    EXPECT_EQ(cheap.frames, 3600);
    // ... is followed by a pause after the first expensive frame.
    EXPECT_TRUE(pacer.frameDue());
    pacer.spent(ms(2000), true, Clock::time_point{} + cheap.total + ms(2000));
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
