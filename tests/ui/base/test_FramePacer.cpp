// Frame pacing with a synthetic clock: the share of the wall time spent in
// the view stays within bounds whatever a frame costs, before or after its
// update has returned, and frames come no faster than the screen shows them.
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
// `frame` in the update and `lag` more in the next iteration (what a
// rasteriser or the display server does after the update has returned),
// every update `copy`. `frameTime` (optional) receives the time frames cost.
PacedRun simulate(UI_FramePacer& pacer, int iterations, ms work, ms frame, ms copy, ms lag = ms(0),
                  Clock::duration* frameTime = nullptr) {
    PacedRun run;
    Clock::time_point now{};
    bool lagging = false;
    for (int i = 0; i < iterations; ++i) {
        now += work + (lagging ? lag : ms(0));
        const bool draw = pacer.frameDue(now);
        const Clock::duration cost = copy + (draw ? frame : ms(0));
        now += cost;
        pacer.spent(cost, draw, now);
        run.frames += draw;
        if (frameTime) *frameTime += (draw ? frame : ms(0)) + (lagging ? lag : ms(0));
        lagging = draw;
    }
    run.total = now - Clock::time_point{};
    return run;
}

// Every frame whatever the screen shows.
constexpr Clock::duration kNoLimit = Clock::duration::zero();

double share(Clock::duration part, Clock::duration whole) {
    return std::chrono::duration<double>(part) / std::chrono::duration<double>(whole);
}

}  // namespace

TEST(FramePacer, CheapFramesAndFramesBesideDearUpdatesKeepComing) {
    // The first frame is charged without the time before it, and after the
    // two updates that set the baseline every update gets one; updates
    // costing half an iteration must not starve the frames.
    UI_FramePacer a(0.1, kNoLimit), b(0.06, kNoLimit);
    EXPECT_GE(simulate(a, 200, ms(20), ms(1), ms(0)).frames, 197);
    EXPECT_GE(simulate(b, 400, ms(10), ms(1), ms(5)).frames, 150);
}

TEST(FramePacer, ExpensiveFramesKeepTheViewWithinItsShare) {
    // A frame as dear as an iteration (a million points drawn in software).
    for (double s : {0.05, 0.1, 0.25}) {
        UI_FramePacer pacer(s, kNoLimit);
        const PacedRun run = simulate(pacer, 2000, ms(600), ms(700), ms(5));
        EXPECT_LE(share(ms(700) * run.frames, run.total), s * 1.05) << s;
        EXPECT_GE(run.frames, static_cast<int>(2000 * s * 0.5)) << s;
    }
}

TEST(FramePacer, FirstUpdateAfterResetIsDueButALongCheapStretchSavesNothing) {
    UI_FramePacer pacer(0.1, kNoLimit);
    pacer.spent(ms(500), true, Clock::time_point{} + ms(1000));
    EXPECT_FALSE(pacer.frameDue(Clock::time_point{} + ms(1000)));
    pacer.reset();
    const PacedRun cheap = simulate(pacer, 3600, ms(1000), ms(0), ms(0));
    EXPECT_EQ(cheap.frames, 3598) << "all but the two updates that set the baseline";
    pacer.spent(ms(2000), true, Clock::time_point{} + cheap.total + ms(2000));
    EXPECT_FALSE(pacer.frameDue(Clock::time_point{} + cheap.total + ms(2000)))
        << "an hour of cheap frames is no credit for a dear one";
}

TEST(FramePacer, WhatAFrameCostsAfterItsUpdateIsChargedToo) {
    // Cheap to draw, dear afterwards: the next iteration is slower by
    // several iterations. Charged only the drawing, frames would come every
    // other update and take most of the time.
    struct Case {
        double share;
        ms work, frame, lag;
    };
    for (const Case& c :
         {Case{0.05, ms(2), ms(1), ms(15)}, Case{0.1, ms(20), ms(2), ms(60)}, Case{0.05, ms(600), ms(50), ms(400)}}) {
        UI_FramePacer pacer(c.share, kNoLimit);
        Clock::duration frames{};
        const PacedRun run = simulate(pacer, 3000, c.work, c.frame, ms(0), c.lag, &frames);
        EXPECT_LE(share(frames, run.total), c.share * 1.1) << c.share << " " << c.work.count();
        EXPECT_GE(run.frames, static_cast<int>(3000 * c.share * c.work / (c.frame + c.lag) * 0.5))
            << c.share << " " << c.work.count();
    }
}

TEST(FramePacer, FramesComeNoFasterThanTheScreenShowsThem) {
    // Free frames between iterations of a millisecond: one per screen
    // refresh, the first at once.
    struct Case {
        Clock::duration limit;
        int most;
    };
    for (const Case& c : {Case{UI_FramePacer::kScreenInterval, 61}, Case{ms(100), 11}, Case{kNoLimit, 1000}}) {
        UI_FramePacer pacer(1.0, c.limit);
        const PacedRun run = simulate(pacer, 1000, ms(1), ms(0), ms(0));
        EXPECT_LE(run.frames, c.most);
        EXPECT_GE(run.frames, c.most * 9 / 10);
    }
    UI_FramePacer pacer(1.0);
    const Clock::time_point t0{};
    EXPECT_TRUE(pacer.frameDue(t0));
    pacer.spent(ms(1), true, t0 + ms(1));
    EXPECT_FALSE(pacer.frameDue(t0 + ms(30))) << "no baseline yet";
    pacer.spent(ms(0), false, t0 + ms(2));
    pacer.spent(ms(0), false, t0 + ms(3));
    EXPECT_FALSE(pacer.frameDue(t0 + ms(10)));
    EXPECT_TRUE(pacer.frameDue(t0 + ms(18)));
    pacer.reset();
    EXPECT_TRUE(pacer.frameDue(t0 + ms(2))) << "the first frame after a reset is due at once";
}

// A run's first and last frames are drawn whatever they cost; the first is
// charged for both, so that a short run stays within its share with its last
// frame counted, and a long one loses only the frames the reserve takes.
TEST(FramePacer, TheFirstFramePaysForTheLastOne) {
    struct Case {
        double share;
        int iterations;
        ms work, frame;
        int frames;  // drawn during the run, the last one not counted
    };
    for (const Case& c : {Case{0.05, 1000, ms(1), ms(30), 1}, Case{0.05, 40, ms(25), ms(30), 1},
                          Case{0.1, 1000, ms(1), ms(30), 3}, Case{1.0, 200, ms(1), ms(1), 198}}) {
        UI_FramePacer pacer(c.share, kNoLimit);
        const PacedRun run = simulate(pacer, c.iterations, c.work, c.frame, ms(0));
        EXPECT_EQ(run.frames, c.frames) << c.share << " " << c.iterations;
        const Clock::duration withLast = run.total + c.frame;
        EXPECT_LE(share(c.frame * (run.frames + 1), withLast), c.share * 1.25 + 0.03) << c.share << " " << c.iterations;
    }
}
