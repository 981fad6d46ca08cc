#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <stdexcept>
#include <tuple>
#include <unordered_map>

#include "support/CapturedOutput.h"
#include "vel/utils/GaussianDistributions.h"

using vel::utils::computeGaussianDistributionWithFixedPerplexity;

namespace {
double calibrate(const std::vector<float>& d, std::vector<float>& p, double perplexity, int maxIt = 200,
                 int ignore = 0) {
    p.assign(d.size(), -1.f);
    return computeGaussianDistributionWithFixedPerplexity(d.begin(), d.end(), p.begin(), p.end(), perplexity, maxIt,
                                                          1e-5, ignore);
}
}  // namespace

// The entropy of every calibrated row is log(perplexity), the row sums to 1
// and falls with the distance; the ignored entry (the point itself) is 0.
TEST(Perplexity, CalibratedRowsHitTheTargetEntropy) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> u(0.f, 50.f);
    for (double perplexity : {5.0, 10.0, 30.0})
        for (int trial = 0; trial < 5; ++trial) {
            std::vector<float> d(91), p;
            for (std::size_t j = 1; j < d.size(); ++j) d[j] = u(rng) * (1.f + trial);
            std::sort(d.begin(), d.end());
            EXPECT_GT(calibrate(d, p, perplexity), 0.0);
            double sum = 0, entropy = 0;
            for (std::size_t j = 1; j < p.size(); ++j) {
                sum += p[j];
                entropy -= p[j] > 0 ? p[j] * std::log(static_cast<double>(p[j])) : 0.0;
                ASSERT_LE(p[j], j > 1 ? p[j - 1] : 1.f);
            }
            EXPECT_EQ(p[0], 0.f);
            EXPECT_NEAR(sum, 1.0, 1e-5);
            EXPECT_NEAR(entropy, std::log(perplexity), 1e-5) << "perplexity " << perplexity;
        }
}

// Unreachable targets fall back to the uniform row (sigma 0); duplicates and
// huge distances never divide by zero.
TEST(Perplexity, EqualNeighboursFallBacksDuplicatesAndBadContainers) {
    const float third = 1.f / 3.f;
    const std::vector<std::tuple<std::vector<float>, double, int, int, double, std::vector<float>>> cases{
        {{0, 1, 1, 1}, 3.0, 200, 0, std::sqrt(0.5), {0, third, third, third}},
        {{0, 1, 1, 1}, 30.0, 200, 0, 0.0, {0, third, third, third}},
        {{0, 1, 2, 3}, 2.0, 0, 0, 0.0, {0, third, third, third}},          // no iteration at all
        {{0, 1, 2, 3}, 30.0, 200, -1, 0.0, {0.25f, 0.25f, 0.25f, 0.25f}},  // nothing ignored
    };
    std::vector<float> p;
    for (const auto& [d, perplexity, maxIt, ignore, sigma, expected] : cases) {
        EXPECT_NEAR(calibrate(d, p, perplexity, maxIt, ignore), sigma, 1e-12);
        for (std::size_t j = 0; j < p.size(); ++j) EXPECT_FLOAT_EQ(p[j], expected[j]) << j;
    }
    for (const std::vector<float>& d : {std::vector<float>{0, 0, 5, 9, 12}, std::vector<float>{0, 1e6f, 2e6f, 3e6f}}) {
        calibrate(d, p, 2.0);
        for (float v : p) EXPECT_TRUE(std::isfinite(v));
        EXPECT_GE(p[1], p[2]);
    }
    std::vector<float> d{0, 1, 2}, empty;
    p = {0, 0};
    EXPECT_THROW(calibrate(empty, empty, 3.0), std::logic_error);
    EXPECT_THROW(vel::utils::computeGaussianDistribution(d.begin(), d.end(), p.begin(), p.end(), 1.0),
                 std::logic_error);
}

TEST(Perplexity, OtherKernelsAndHeterogeneity) {
    const std::vector<double> d{0, 1, 2, 4}, plain{0, 1};
    std::vector<double> p(4), g(2);
    EXPECT_NEAR(vel::utils::computeGaussianDistributionWithFixedWeight(d.begin(), d.end(), p.begin(), p.end(), 0.5, 200,
                                                                       1e-6, 0),
                0.5, 1e-6);
    EXPECT_TRUE(p[0] == 0.0 && std::fabs(p[1] + p[2] + p[3] - 1.0) < 1e-12);
    const double total = vel::utils::computeGaussianDistribution(plain.begin(), plain.end(), g.begin(), g.end(), 1.0);
    EXPECT_NEAR(total * g[0], 1.0, 1e-12);
    const double f = vel::utils::computeGaussianFunction(plain.begin(), plain.end(), g.begin(), g.end(), 1.0, 2.0);
    EXPECT_NEAR(f - g[1], 2.0, 1e-12);
    EXPECT_NEAR(g[1], 2.0 * std::exp(-0.5), 1e-12);

    // Heterogeneity: two absorbing pairs keep every walk in its pair; on odd
    // steps the mass sits on the partner.
    std::vector<std::map<unsigned int, float>> m{
        {{0, 0.5f}, {1, 0.5f}}, {{0, 0.5f}, {1, 0.5f}}, {{3, 1.f}}, {{2, 1.f}}};
    std::vector<float> h;
    EXPECT_EQ(capturedStdout([&] { vel::utils::computeHeterogeneity(m, h); }), "");
    EXPECT_EQ(h, (std::vector<float>{0.5f, 0.5f, 0.f, 0.f}));
    std::vector<std::unordered_map<unsigned int, double>> leaking{{{0, 0.5}}};
    std::vector<double> hl;
    EXPECT_EQ(capturedStdout([&] { vel::utils::computeHeterogeneity(leaking, hl); }), "fmc test(0): 0.5\n");
}
