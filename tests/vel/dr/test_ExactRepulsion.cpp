// The vectorised exact repulsion against the O(N^2) sums in double written
// here, with every padding of the last vector, and the same numbers whether
// its columns are loaded by a team or by one thread.
#include <gtest/gtest.h>

#include <omp.h>

#include <cmath>
#include <random>
#include <vector>

#include "vel/dr/ExactRepulsion.h"

namespace {

std::vector<float> scattered(unsigned int n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<float> normal(0.f, 1.f);
    std::vector<float> y(2 * static_cast<std::size_t>(n));
    for (unsigned int i = 0; i < n; ++i) {
        const float spread = i % 3 == 0 ? 0.01f : i % 3 == 1 ? 1.f : 30.f;  // tight, middling and far apart
        y[2 * i] = spread * normal(rng);
        y[2 * i + 1] = spread * normal(rng) + 5.f;
    }
    return y;
}

}  // namespace

TEST(ExactRepulsion, MatchesTheSumsInDouble) {
    for (const unsigned int n : {1u, 2u, 7u, 8u, 9u, 300u, 3001u}) {
        SCOPED_TRACE(n);
        const std::vector<float> y = scattered(n, 40 + n);
        vel::dr::ExactRepulsion exact;
        exact.resize(n);
        exact.load(y.data());
        for (unsigned int i = 0; i < n; i += (n > 100 ? 13 : 1)) {
            double z = 0, fx = 0, fy = 0;
            for (unsigned int j = 0; j < n; ++j) {
                if (j == i) continue;
                const double dx = static_cast<double>(y[2 * i]) - y[2 * j];
                const double dy = static_cast<double>(y[2 * i + 1]) - y[2 * j + 1];
                const double q = 1.0 / (1.0 + dx * dx + dy * dy);
                z += q;
                fx += q * q * dx;
                fy += q * q * dy;
            }
            double force[2], normaliser = -1;
            exact.repulsion(i, force, normaliser);
            // Float terms: a few units of float rounding of the normaliser, which
            // also bounds every pull (each at most half its q).
            const double tolerance = 1e-6 * (z + 1.0);
            ASSERT_NEAR(normaliser, z, tolerance) << "point " << i;
            ASSERT_NEAR(force[0], fx, tolerance) << "point " << i;
            ASSERT_NEAR(force[1], fy, tolerance) << "point " << i;
        }
    }
}

TEST(ExactRepulsion, SameNumbersLoadedByATeam) {
    const unsigned int n = 5003;
    const std::vector<float> y = scattered(n, 3);
    vel::dr::ExactRepulsion alone, team;
    alone.resize(n);
    alone.load(y.data());
    team.resize(n);
#pragma omp parallel num_threads(4)
    team.load(y.data());
    std::vector<double> a(3 * n), b(3 * n);
#pragma omp parallel for num_threads(4)
    for (long long i = 0; i < n; ++i) team.repulsion(static_cast<std::size_t>(i), &b[3 * i], b[3 * i + 2]);
    for (unsigned int i = 0; i < n; ++i) alone.repulsion(i, &a[3 * i], a[3 * i + 2]);
    EXPECT_TRUE(a == b);
}
