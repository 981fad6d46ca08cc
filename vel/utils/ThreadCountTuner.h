#pragma once
// Chooses the thread count of a parallel stretch that runs again and again
// (an iteration of an embedding) from the wall time of its runs.
//
// An estimate of the work gives the most threads that can pay. On a busy
// machine fewer often finish sooner: every wait of a team lasts until its
// slowest thread arrives, and a thread that has lost its core to another
// program holds up all the others. So the tuner starts with the processors
// that other programs leave spare (at most the most), runs at one count, and
// now and then tries a neighbouring count (half or double) for a few runs,
// keeping whichever took less time per run on average: on a busy machine the
// runs held up by a thread that lost its core are what more threads cost.
// Fewer threads are tried only while the machine is busy (other runnable
// threads and ours together more than its processors), so that an idle
// machine pays for no trial at all; more threads, up to the most, are tried
// whenever the count is below it. Trials that lose come less and less often,
// up to a bound that keeps the way back to more threads short once the
// machine is idle again; a change of count starts the exploring afresh.
//
// The stretch's result must not depend on its thread count: the tuner decides
// on the clock, so counts differ from run to run of a program.

#include <functional>
#include <vector>

namespace vel {
namespace utils {

class ThreadCountTuner {
public:
    // Runs at a count before a trial, at first and after a change of count.
    static constexpr int kSettleRuns = 8;
    // Runs of a trial.
    static constexpr int kTrialRuns = 8;
    // After a trial that lost, the wait for the next grows by this factor, up
    // to the longest wait, in runs.
    static constexpr int kSettleGrowth = 2;
    static constexpr int kLongestSettle = 256;
    // A trial count is kept when its mean run is shorter by this share.
    static constexpr double kMargin = 0.05;

    // The processors that other programs leave to ours now (may be 0 or
    // less); by default the processors online less the threads runnable at
    // this moment (the caller's own left out: ours sleep between runs).
    using SpareProbe = std::function<int()>;
    explicit ThreadCountTuner(SpareProbe spare = spareProcessors);

    // The count for the next run: at most `most` (at least 1).
    int next(int most);
    // The wall time of the run made with the count next() gave last.
    void record(double seconds);

    int current() const { return _current; }

    static int spareProcessors();

private:
    static double mean(const std::vector<double>& runs);

    SpareProbe _spare;
    int _current = 0;                  // 0: not started
    int _trial = 0;                    // the count on trial; 0: none
    int _given = 0;                    // what next() gave last
    int _settle = kSettleRuns;         // runs at the current count before the next trial
    int _settled = 0;                  // runs at the current count since the last trial or change
    bool _downFirst = true;            // the next trial halves (else doubles)
    std::vector<double> _currentRuns;  // the latest kSettleRuns at the current count
    std::vector<double> _trialRuns;
};

}  // namespace utils
}  // namespace vel
