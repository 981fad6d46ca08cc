#pragma once

#include <chrono>

// Paces the repaints of a view that is fed faster than it can draw, so that
// its frames take at most a given share of the wall time. A running embedding
// reports every iteration; on a fast GPU every report gets a frame, while a
// frame that costs as much as an iteration (a million points drawn in
// software) is drawn only every few iterations instead of doubling the run.
//
// Contract: the caller asks frameDue() before each update, draws a frame only
// when it is due, and reports every update through spent(): its whole cost
// and whether it drew a frame. Updates without a frame set the baseline (the
// work every update does anyway: copying the data, handling events); a frame
// is charged what its update cost beyond that baseline, and so is the update
// after it, which pays for the drawing a driver finishes only when the next
// upload waits for it. The baseline itself is never charged, so a costly
// baseline cannot starve the frames. The allowance accrues with the wall time
// at the given share and is never saved up beyond zero, so there is no burst
// of frames after a long cheap stretch. The first update, and the first after
// reset(), is always due. Plain value class, one thread.
class UI_FramePacer {
public:
    using Clock = std::chrono::steady_clock;

    // `share` in (0, 1]: the largest part of the wall time frames may take.
    // The default keeps a view within a tenth of the time of the work that
    // feeds it (share / (1 - share) < 0.1), with a margin for what is not
    // measured: a software rasteriser keeps drawing on its own threads after
    // the update has returned, slowing the work beside it.
    explicit UI_FramePacer(double share = 0.06);

    bool frameDue() const { return balance >= Clock::duration::zero(); }
    // The update that ended at `end` took `cost`, with or without a frame.
    void spent(Clock::duration cost, bool drewFrame, Clock::time_point end);
    void spent(Clock::duration cost, bool drewFrame) { spent(cost, drewFrame, Clock::now()); }
    // Forgets what was spent: the next update is due at once.
    void reset();

private:
    double share;
    bool started = false;
    bool afterFrame = false;
    bool baselineKnown = false;
    Clock::time_point last;
    Clock::duration balance = Clock::duration::zero();
    // Running mean of the updates without a frame.
    double baselineSeconds = 0.0;
};
