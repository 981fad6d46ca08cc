#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <stdexcept>
#include <unordered_map>

#include "vel/utils/Distances.h"
#include "vel/utils/GaussianDistributions.h"

using vel::utils::computeGaussianDistributionWithFixedPerplexity;

namespace {
double rowEntropy(const std::vector<float>& p, int ignore) {
    double h = 0;
    for (int j = 0; j < static_cast<int>(p.size()); ++j)
        if (j != ignore && p[j] > 0) h -= p[j] * std::log(static_cast<double>(p[j]));
    return h;
}
double calibrate(const std::vector<float>& d, std::vector<float>& p, double perplexity, int maxIt = 200,
                 int ignore = 0) {
    p.assign(d.size(), -1.f);
    return computeGaussianDistributionWithFixedPerplexity(d.begin(), d.end(), p.begin(), p.end(), perplexity, maxIt,
                                                          1e-5, ignore);
}
}  // namespace

TEST(Distances, SquaredAndPlain) {
    const std::vector<float> a{1, 2}, b{4, 6};
    EXPECT_EQ(vel::utils::euclideanDistanceSquared(a, b), 25.f);
    EXPECT_EQ(vel::utils::euclideanDistance(a, b), 5.f);
    EXPECT_EQ(vel::utils::euclideanDistanceSquared<float>(a.cbegin(), a.cend(), b.cbegin(), b.cend()), 25.f);
    EXPECT_EQ(vel::utils::euclideanDistance<float>(a.data(), a.data() + 2, b.data(), b.data() + 2), 5.f);
    const std::vector<float> empty;
    EXPECT_EQ(vel::utils::euclideanDistanceSquared(empty, b), 0.f);
    const std::vector<double> ad{1, 2}, bd{4, 6};
    EXPECT_EQ(vel::utils::euclideanDistance(ad, bd), 5.0);
}

TEST(Perplexity, CalibratedRowsHitTheTargetEntropy) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> u(0.f, 50.f);
    for (double perplexity : {5.0, 10.0, 30.0}) {
        for (int trial = 0; trial < 50; ++trial) {
            std::vector<float> d(91);
            d[0] = 0.f;
            for (std::size_t j = 1; j < d.size(); ++j) d[j] = u(rng) * (1.f + trial);
            std::sort(d.begin(), d.end());
            std::vector<float> p;
            const double sigma = calibrate(d, p, perplexity);
            EXPECT_GT(sigma, 0.0);
            EXPECT_EQ(p[0], 0.f);
            double sum = 0;
            for (float v : p) sum += v;
            EXPECT_NEAR(sum, 1.0, 1e-5);
            EXPECT_NEAR(rowEntropy(p, 0), std::log(perplexity), 1e-5) << "perplexity " << perplexity;
            for (std::size_t j = 2; j < p.size(); ++j) EXPECT_LE(p[j], p[j - 1]);  // closer neighbours are more likely
        }
    }
}

TEST(Perplexity, EqualNeighboursAndFallBack) {
    std::vector<float> p;
    EXPECT_NEAR(calibrate({0, 1, 1, 1}, p, 3.0), std::sqrt(0.5), 1e-12);
    EXPECT_EQ(p[0], 0.f);
    for (int j = 1; j < 4; ++j) EXPECT_FLOAT_EQ(p[j], 1.f / 3.f);

    EXPECT_EQ(calibrate({0, 1, 1, 1}, p, 30.0), 0.0);  // unreachable: uniform fall-back
    EXPECT_EQ(p[0], 0.f);
    EXPECT_FLOAT_EQ(p[3], 1.f / 3.f);

    EXPECT_EQ(calibrate({0, 1, 2, 3}, p, 2.0, 0), 0.0);  // no iteration at all
    EXPECT_FLOAT_EQ(p[1], 1.f / 3.f);

    EXPECT_EQ(calibrate({0, 1, 2, 3}, p, 30.0, 200, -1), 0.0);  // nothing ignored
    for (float v : p) EXPECT_FLOAT_EQ(v, 0.25f);
}

TEST(Perplexity, DuplicatePointsNeverDivideByZero) {
    std::vector<float> p;
    calibrate({0, 0, 5, 9, 12}, p, 2.0);
    for (float v : p) EXPECT_TRUE(std::isfinite(v));
    EXPECT_GT(p[1], p[2]);
    calibrate({0, 1e6f, 2e6f, 3e6f}, p, 2.0);
    for (float v : p) EXPECT_TRUE(std::isfinite(v));
}

TEST(Perplexity, InvalidContainers) {
    std::vector<float> d, p;
    try {
        computeGaussianDistributionWithFixedPerplexity(d.begin(), d.end(), p.begin(), p.end(), 3.0, 200, 1e-5, 0);
        FAIL();
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "Invalid containers");
    }
    d = {0, 1, 2};
    p = {0, 0};
    EXPECT_THROW(
        computeGaussianDistributionWithFixedPerplexity(d.begin(), d.end(), p.begin(), p.end(), 3.0, 200, 1e-5, 0),
        std::logic_error);
    EXPECT_THROW(vel::utils::computeGaussianDistribution(d.begin(), d.end(), p.begin(), p.end(), 1.0),
                 std::logic_error);
}

TEST(Perplexity, FixedWeightAndPlainGaussians) {
    const std::vector<double> d{0, 1, 2, 4};
    std::vector<double> p(4);
    const double sum = vel::utils::computeGaussianDistributionWithFixedWeight(d.begin(), d.end(), p.begin(), p.end(),
                                                                              0.5, 200, 1e-6, 0);
    EXPECT_NEAR(sum, 0.5, 1e-6);
    EXPECT_NEAR(p[1] + p[2] + p[3], 1.0, 1e-12);
    EXPECT_EQ(p[0], 0.0);

    const std::vector<double> plain{0, 1};
    std::vector<double> g(2);
    const double total = vel::utils::computeGaussianDistribution(plain.begin(), plain.end(), g.begin(), g.end(), 1.0);
    EXPECT_NEAR(total, 1.0 + std::exp(-0.5), 1e-12);
    EXPECT_NEAR(g[0], 1.0 / total, 1e-12);
    const double f = vel::utils::computeGaussianFunction(plain.begin(), plain.end(), g.begin(), g.end(), 1.0, 2.0);
    EXPECT_NEAR(g[1], 2.0 * std::exp(-0.5), 1e-12);
    EXPECT_NEAR(f, 2.0 + 2.0 * std::exp(-0.5), 1e-12);
}

TEST(Perplexity, HeterogeneityOfAStochasticMatrix) {
    // Two absorbing pairs: every walk stays in its pair, half of the mass returns.
    std::vector<std::map<unsigned int, float>> m(4);
    m[0] = {{0, 0.5f}, {1, 0.5f}};
    m[1] = {{0, 0.5f}, {1, 0.5f}};
    m[2] = {{3, 1.f}};
    m[3] = {{2, 1.f}};
    std::vector<float> h;
    testing::internal::CaptureStdout();
    vel::utils::computeHeterogeneity(m, h);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    ASSERT_EQ(h.size(), 4u);
    EXPECT_FLOAT_EQ(h[0], 0.5f);
    EXPECT_FLOAT_EQ(h[2], 0.f);  // odd number of steps: the mass sits on the partner

    std::vector<std::unordered_map<unsigned int, double>> bad(1);
    bad[0] = {{0, 0.5}};
    std::vector<double> hb;
    testing::internal::CaptureStdout();
    vel::utils::computeHeterogeneity(bad, hb);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "fmc test(0): 0.5\n");
}
