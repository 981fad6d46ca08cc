#include "ui/UI_FramePacer.h"

#include <algorithm>
#include <cassert>

UI_FramePacer::UI_FramePacer(double shareIn) : share(shareIn) { assert(share > 0.0 && share <= 1.0); }

void UI_FramePacer::spent(Clock::duration cost, Clock::time_point end) {
    cost = std::max(Clock::duration::zero(), cost);
    if (!started) {
        started = true;
        last = end - cost;
    }
    const Clock::duration wall = std::max(Clock::duration::zero(), end - last);
    last = end;
    const auto allowance = std::chrono::duration_cast<Clock::duration>(wall * share);
    balance = std::min(Clock::duration::zero(), balance + allowance - cost);
}

void UI_FramePacer::reset() {
    started = false;
    balance = Clock::duration::zero();
}
