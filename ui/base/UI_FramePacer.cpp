#include "UI_FramePacer.h"

#include <algorithm>
#include <cassert>

namespace {

// Running mean: the first value, then a tenth of each difference.
void follow(double value, bool& known, double& mean) {
    mean = known ? mean + (value - mean) * 0.1 : value;
    known = true;
}

}  // namespace

UI_FramePacer::UI_FramePacer(double shareIn, Clock::duration minIntervalIn)
    : share(shareIn), minInterval(minIntervalIn) {
    assert(share > 0.0 && share <= 1.0);
}

bool UI_FramePacer::frameDue(Clock::time_point now) const {
    if (!framed) return true;
    // Until two updates without a frame have shown what an update costs
    // without one, what a frame costs after its update cannot be told.
    return intervalKnown && balance >= Clock::duration::zero() && now - lastFrame >= minInterval;
}

void UI_FramePacer::spent(Clock::duration cost, bool drewFrame, Clock::time_point end) {
    using Seconds = std::chrono::duration<double>;
    cost = std::max(Clock::duration::zero(), cost);
    const bool hasInterval = started;
    if (!started) {
        started = true;
        last = end - cost;
    }
    const Clock::duration wall = std::max(Clock::duration::zero(), end - last);
    last = end;

    const double seconds = Seconds(cost).count();
    const double interval = Seconds(wall).count();
    double charged = 0.0;
    if (drewFrame || afterFrame) {
        charged = hasInterval && intervalKnown ? std::max(0.0, interval - baselineInterval)
                                               : std::max(0.0, seconds - (costKnown ? baselineCost : 0.0));
    } else {
        // Neither this update nor the one before drew a frame.
        follow(seconds, costKnown, baselineCost);
        if (hasInterval) follow(interval, intervalKnown, baselineInterval);
    }
    // The first frame of a run also pays for the run's last one, which is
    // drawn whatever it costs: a short run keeps within its share too. (With
    // the whole time to spend there is nothing to keep within.)
    if (drewFrame && !framed && share < 1.0) charged *= 2.0;
    afterFrame = drewFrame;
    if (drewFrame) {
        framed = true;
        lastFrame = end;
    }

    const auto allowance = std::chrono::duration_cast<Clock::duration>(wall * share);
    const auto charge = std::chrono::duration_cast<Clock::duration>(Seconds(charged));
    balance = std::min(Clock::duration::zero(), balance + allowance - charge);
}

void UI_FramePacer::reset() {
    started = false;
    afterFrame = false;
    framed = false;
    // A new run has iterations of its own; the cost of handling an update
    // stays.
    intervalKnown = false;
    balance = Clock::duration::zero();
}
