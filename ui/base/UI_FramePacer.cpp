#include "UI_FramePacer.h"

#include <algorithm>
#include <cassert>

UI_FramePacer::UI_FramePacer(double shareIn) : share(shareIn) { assert(share > 0.0 && share <= 1.0); }

void UI_FramePacer::spent(Clock::duration cost, bool drewFrame, Clock::time_point end) {
    using Seconds = std::chrono::duration<double>;
    cost = std::max(Clock::duration::zero(), cost);
    if (!started) {
        started = true;
        last = end - cost;
    }
    const Clock::duration wall = std::max(Clock::duration::zero(), end - last);
    last = end;

    const double seconds = Seconds(cost).count();
    double charged = 0.0;
    if (drewFrame || afterFrame) {
        charged = std::max(0.0, seconds - (baselineKnown ? baselineSeconds : 0.0));
    } else if (!baselineKnown) {
        baselineSeconds = seconds;
        baselineKnown = true;
    } else {
        baselineSeconds += (seconds - baselineSeconds) * 0.1;
    }
    afterFrame = drewFrame;

    const auto allowance = std::chrono::duration_cast<Clock::duration>(wall * share);
    const auto charge = std::chrono::duration_cast<Clock::duration>(Seconds(charged));
    balance = std::min(Clock::duration::zero(), balance + allowance - charge);
}

void UI_FramePacer::reset() {
    started = false;
    afterFrame = false;
    balance = Clock::duration::zero();
}
