#pragma once

#include <chrono>

// Paces the repaints of a view that is fed faster than it can draw, so that
// the view takes at most a given share of the wall time. A running embedding
// reports every iteration; on a fast GPU every report gets a frame, while a
// frame that costs as much as an iteration (a million points drawn in
// software) is drawn only every few iterations instead of doubling the run.
//
// Contract: the caller asks frameDue() before each update, draws a frame only
// when it is due, and reports the time the whole update took (with or without
// a frame) through spent(). Reporting every update, not only the frames,
// charges the work a frame leaves behind (a driver that finishes drawing when
// the next upload waits for it) to the view. The allowance accrues with the
// wall time at the given share and is never saved up beyond zero, so there is
// no burst of frames after a long cheap stretch. The first update, and the
// first after reset(), is always due. Plain value class, one thread.
class UI_FramePacer {
public:
    using Clock = std::chrono::steady_clock;

    // `share` in (0, 1]: the largest part of the wall time the view may take.
    // The default keeps a view within a tenth of the time of the work that
    // feeds it (share / (1 - share) < 0.1), with a margin for what is not
    // measured: a software rasteriser keeps drawing on its own threads after
    // the update has returned, slowing the work beside it.
    explicit UI_FramePacer(double share = 0.06);

    bool frameDue() const { return balance >= Clock::duration::zero(); }
    // The update that ended at `end` took `cost`.
    void spent(Clock::duration cost, Clock::time_point end);
    void spent(Clock::duration cost) { spent(cost, Clock::now()); }
    // Forgets what was spent: the next update is due at once.
    void reset();

private:
    double share;
    bool started = false;
    Clock::time_point last;
    Clock::duration balance = Clock::duration::zero();
};
