// The step table and the walk lanes against the walk as written: a scan of the
// row from its start, and the hierarchy's own walk functions.
#include <cmath>
#include <limits>

#include "vel/dr/HierarchyTestData.h"
#include "vel/dr/WalkLanes.h"
#include "vel/dr/WalkSteps.h"
#include "vel/dr/WalkStreams.h"

using namespace hsnetest;
using Steps = vel::dr::WalkSteps<float>;

namespace {

// The step as written: the first column at which the running double sum exceeds u.
int scannedStep(const veltest::SparseMatrix& M, unsigned int v, double u) {
    double sum = 0;
    for (const auto& [column, value] : M[v]) {
        sum += static_cast<double>(value);
        if (sum > u) return column == v ? -1 : static_cast<int>(column);
    }
    return -1;
}

// Rows of 0 to 300 entries, some of them zero, one entry per row on the
// diagonal now and then; row 7 holds a negative value, row 8 a NaN, row 9
// nothing but zeros.
veltest::SparseMatrix unevenRows(unsigned int n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<unsigned int> length(0, 300), column(0, n - 1);
    std::uniform_real_distribution<float> value(0.f, 1.f);
    std::vector<Values> rows(n);
    for (unsigned int i = 0; i < n; ++i) {
        const unsigned int m = i < 5 ? i : length(rng);
        for (unsigned int k = 0; k < m; ++k) rows[i][column(rng)] = k % 5 == 3 ? 0.f : value(rng);
        if (i % 4 == 0) rows[i][i] = value(rng);
        double sum = 0;
        for (const auto& entry : rows[i]) sum += entry.second;
        for (auto& entry : rows[i]) entry.second = static_cast<float>(entry.second / sum);
    }
    rows[7] = {{1, .5f}, {3, -.25f}, {4, .75f}};
    rows[8] = {{1, .5f}, {3, std::numeric_limits<float>::quiet_NaN()}, {4, .5f}};
    rows[9] = {{2, 0.f}, {5, 0.f}};
    return hsnetest::rows(rows);
}

}  // namespace

TEST(WalkSteps, EveryStepIsTheStepOfTheScanFromTheRowStart) {
    const auto M = unevenRows(400, 5);
    const Steps steps(M);
    std::mt19937 rng(6);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    unsigned int compared = 0;
    for (unsigned int v = 0; v < M.size(); ++v) {
        // Draws, and every running sum itself, its neighbours and the ends of the range.
        std::vector<double> draws{0.0, -0.5, 1.0, 2.0, std::nextafter(1.0, 0.0), std::nan("")};
        for (int k = 0; k < 20; ++k) draws.push_back(uniform(rng));
        double sum = 0;
        for (const auto& entry : M[v]) {
            sum += static_cast<double>(entry.second);
            for (double u : {sum, std::nextafter(sum, 0.0), std::nextafter(sum, 2.0)}) draws.push_back(u);
        }
        for (double u : draws) {
            ASSERT_EQ(steps.step(v, u), scannedStep(M, v, u)) << "row " << v << ", u " << u;
            ++compared;
        }
    }
    EXPECT_GT(compared, 60000u);
    EXPECT_EQ(steps.size(), M.size());
}

TEST(WalkSteps, LanesWalkAsTheHierarchysWalkFunctions) {
    // A stochastic graph with empty rows and self-entries (failing steps); every
    // fifth vertex stops the walks to a landmark.
    auto M = veltest::randomMatrix(3000, 6, 8);
    for (unsigned int i = 0; i < M.size(); ++i) {
        if (i % 97 == 0) M[i].clear();
        double sum = 0;
        for (const auto& entry : M[i]) sum += entry.second;
        for (auto& entry : M[i]) entry.second = static_cast<float>(entry.second / sum);
    }
    std::vector<int> stop(M.size(), -1);
    for (unsigned int i = 0, l = 0; i < M.size(); i += 5) stop[i] = static_cast<int>(l++);
    const Steps steps(M);
    const Hsne h;
    const auto engineOf = [](unsigned int i) { return vel::dr::walkEngine(42, 1, vel::dr::WalkPurpose::Influence, i); };
    std::uniform_real_distribution<double> u(0.0, 1.0);
    const unsigned int first = 17, last = 2917;
    for (const auto& [walks, length] : {std::pair{5u, 3u}, {1u, 0u}, {0u, 4u}, {7u, 1u}, {20u, 40u}}) {
        std::vector<std::vector<unsigned int>> ends(M.size()), expected(M.size());
        std::vector<int> reported(M.size(), 0);
        vel::dr::WalkLanes::fixedLength(steps, first, last, walks, length, engineOf,
                                        [&](unsigned int i, unsigned int end) { ends[i].push_back(end); });
        for (unsigned int i = first; i < last; ++i) {
            std::minstd_rand engine = engineOf(i);
            for (unsigned int w = 0; w < walks; ++w) {
                const int end = h.randomWalk(i, length, M, u, engine);
                if (end >= 0) expected[i].push_back(static_cast<unsigned int>(end));
            }
        }
        EXPECT_EQ(ends, expected) << walks << " walks of length " << length;

        for (auto& e : ends) e.clear();
        for (auto& e : expected) e.clear();
        vel::dr::WalkLanes::toStop(steps, stop, first, last, walks, length, engineOf,
                                   [&](unsigned int i, const std::vector<unsigned int>& reached) {
                                       ends[i] = reached;
                                       ++reported[i];
                                   });
        for (unsigned int i = first; i < last; ++i) {
            std::minstd_rand engine = engineOf(i);
            for (unsigned int w = 0; w < walks; ++w) {
                const int end = h.randomWalk(i, stop, length, M, u, engine);
                if (end >= 0) expected[i].push_back(static_cast<unsigned int>(stop[static_cast<unsigned int>(end)]));
            }
            ASSERT_EQ(reported[i], 1) << "point " << i;
        }
        EXPECT_EQ(ends, expected) << walks << " walks to a landmark, limit " << length;
        EXPECT_EQ(reported[first - 1] + reported[last], 0);
    }
}
