// The thread-count tuner against machines of known speed per count: it must
// find the fastest count from any start, leave a best count alone but for a
// few trials (and an idle machine's most threads for none), follow the
// machine when it changes, and never exceed the most it is allowed.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <random>

#include "vel/utils/ThreadCountTuner.h"

#include <unistd.h>

namespace {

using vel::utils::ThreadCountTuner;

// Seconds per run at each count, with noise of up to `noise` (a share) and an
// occasional run held up three times as long; and the processors it says
// other programs leave spare.
struct Machine {
    std::function<double(int)> seconds;
    double noise = 0.0;
    int spare = 8;
};

struct Tally {
    std::map<int, int> counts;  // runs per count over the last `tail` runs
};

// The tuner asks `machine` whether it is busy: the machine can change under it.
Tally drive(ThreadCountTuner& tuner, const Machine& m, int runs, int most, int tail, std::uint32_t seed = 1) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> jitter(-1.0, 1.0);
    Tally r;
    for (int i = 0; i < runs; ++i) {
        const int threads = tuner.next(most);
        EXPECT_GE(threads, 1);
        EXPECT_LE(threads, most);
        double t = m.seconds(threads) * (1.0 + m.noise * jitter(rng));
        if (i % 37 == 11) t *= 3.0;
        tuner.record(t);
        if (i >= runs - tail) ++r.counts[threads];
    }
    return r;
}

double idle(int threads) { return 1.0 / threads + 0.01; }       // scales: the most is best
double busy(int threads) { return 1.0 + 0.6 * (threads - 1); }  // every extra thread costs
double peaked(int threads) { return threads == 2 ? 0.5 : threads == 1 ? 0.9 : 0.8 + 0.1 * threads; }

}  // namespace

TEST(ThreadCountTuner, FindsTheFastestCountAndStaysThere) {
    struct Case {
        const char* name;
        Machine machine;
        int most, best;
        int bestRuns;  // of the last 500 at least
    };
    const Case cases[] = {
        {"scaling machine, busy", {idle, 0.05, 3}, 8, 8, 480},
        {"scaling machine, idle: no trial", {idle, 0.05, 8}, 8, 8, 500},
        {"busy machine", {busy, 0.05, 0}, 8, 1, 480},
        {"busy machine that says it is idle", {busy, 0.05, 8}, 8, 8, 500},
        {"two threads best", {peaked, 0.05, 0}, 8, 2, 460},
        {"one thread allowed", {idle, 0.05, 0}, 1, 1, 500},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Machine m = c.machine;
        ThreadCountTuner tuner([&m]() { return m.spare; });
        const Tally r = drive(tuner, m, 1000, c.most, 500);
        EXPECT_EQ(tuner.current(), c.best);
        EXPECT_GE(r.counts.at(c.best), c.bestRuns);
    }
}

TEST(ThreadCountTuner, FollowsAMachineThatBecomesBusyAndIdleAgain) {
    Machine m{idle, 0.05, 8};
    ThreadCountTuner tuner([&m]() { return m.spare; });
    drive(tuner, m, 300, 8, 1);
    EXPECT_EQ(tuner.current(), 8);
    m = {busy, 0.05, 0};
    drive(tuner, m, 300, 8, 1);
    EXPECT_EQ(tuner.current(), 1);
    // Trials have grown rarer while the machine was busy; the way back to all
    // threads, a doubling at a time, stays short.
    m = {idle, 0.05, 8};
    drive(tuner, m, 600, 8, 1);
    EXPECT_EQ(tuner.current(), 8);
}

TEST(ThreadCountTuner, ACountAboveTheMostIsNeverGiven) {
    Machine m{idle, 0.0, 0};
    ThreadCountTuner tuner([&m]() { return m.spare; });
    drive(tuner, m, 100, 8, 1);
    EXPECT_EQ(tuner.current(), 8);
    const Tally r = drive(tuner, m, 200, 3, 200);  // the work now pays for 3 at most
    EXPECT_EQ(r.counts.count(8), 0u);
    EXPECT_EQ(r.counts.count(4), 0u);
    EXPECT_LE(tuner.current(), 3);
}

// The machine's own probe: never more spare processors than it has.
TEST(ThreadCountTuner, TheMachinesProbeLeavesNoMoreThanItsProcessors) {
    EXPECT_LE(ThreadCountTuner::spareProcessors(), static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN)));
}
