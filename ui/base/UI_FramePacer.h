#pragma once

#include <chrono>

// Paces the repaints of a view that is fed faster than it can draw, so that
// its frames take at most a given share of the wall time. A running embedding
// reports every iteration; on a fast GPU every report could get a frame, while
// a frame that costs as much as an iteration (a million points drawn in
// software) is drawn only every few iterations instead of doubling the run.
//
// Contract: the caller asks frameDue() before each update, draws a frame only
// when it is due, and reports every update through spent(): its cost (the
// caller's handling of it), whether it drew a frame, and when it ended. The
// time from the end of one update to the end of the next is that update's
// interval: the work that fed it (an iteration) and its handling. Intervals
// of updates without a frame, after one without a frame, set the baseline.
// The update that drew a frame and the update after it are charged their
// intervals beyond the baseline: that charges what a frame costs the caller,
// and also what it costs after the caller has returned (a software
// rasteriser finishing on its threads, the display server copying the frame,
// caches the frame has filled), which shows as a slower next iteration. The
// first update, and the first after reset(), is always due and is charged its
// cost twice (below a share of 1): once for itself and once for the frame at
// the end of the run, which the caller draws whatever it costs; the next
// frame waits until two updates without a frame have set the baseline. The
// baseline itself is never charged, so a costly baseline cannot starve the
// frames. The allowance accrues with the wall time at the given
// share and is never saved up beyond zero, so there is no burst of frames
// after a long cheap stretch. Frames are also never due less than a minimum
// interval after the last one (the screen cannot show more). Plain value
// class, one thread.
class UI_FramePacer {
public:
    using Clock = std::chrono::steady_clock;

    // A screen's refresh: 60 per second.
    static constexpr Clock::duration kScreenInterval = std::chrono::microseconds(16667);

    // `share` in (0, 1]: the largest part of the wall time frames may take.
    // The default keeps a view within a tenth of the time of the work that
    // feeds it with a margin for the frames at the end of a run, which are
    // drawn whatever they cost, and for the event handling between frames.
    explicit UI_FramePacer(double share = 0.05, Clock::duration minInterval = kScreenInterval);

    // Whether the update starting at `now` may draw a frame.
    bool frameDue(Clock::time_point now) const;
    bool frameDue() const { return frameDue(Clock::now()); }
    // The update that ended at `end` took `cost`, with or without a frame.
    void spent(Clock::duration cost, bool drewFrame, Clock::time_point end);
    void spent(Clock::duration cost, bool drewFrame) { spent(cost, drewFrame, Clock::now()); }
    // Forgets what was spent: the next update is due at once.
    void reset();

private:
    double share;
    Clock::duration minInterval;
    bool started = false;
    bool afterFrame = false;
    bool framed = false;  // a frame since the last reset
    Clock::time_point last;
    Clock::time_point lastFrame;
    Clock::duration balance = Clock::duration::zero();
    // Running means of the updates without a frame: their cost and (after
    // an update without a frame) their interval, which reset() forgets.
    bool costKnown = false;
    double baselineCost = 0.0;
    bool intervalKnown = false;
    double baselineInterval = 0.0;
};
