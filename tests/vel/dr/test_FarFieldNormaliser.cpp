#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "vel/VelTestData.h"
#include "vel/dr/FarFieldNormaliser.h"

using vel::dr::FarFieldNormaliser;

namespace {

// Every ordered pair, straight from the definition.
double reference(const std::vector<float>& y, double support) {
    double sum = 0;
    const size_t n = y.size() / 2;
    for (size_t i = 0; i < n; ++i)
        for (size_t j = 0; j < n; ++j) {
            const double dx = static_cast<double>(y[2 * i]) - y[2 * j],
                         dy = static_cast<double>(y[2 * i + 1]) - y[2 * j + 1];
            if (i != j && (std::fabs(dx) >= support || std::fabs(dy) >= support))
                sum += 1.0 / (1.0 + dx * dx + dy * dy);
        }
    return sum;
}

// Two-dimensional blobs with their centres `spread` apart on average.
std::vector<float> blobs(unsigned clusters, unsigned perCluster, double spread, std::uint32_t seed) {
    return veltest::makeBlobs(clusters, perCluster, 2, spread, seed).data;
}

}  // namespace

// A pair counts when it reaches the support in x or in y; a pair inside it in
// both does not, whatever its distance.
TEST(FarFieldNormaliser, ExactSumCountsThePairsBeyondTheSupportInEitherDirection) {
    struct Case {
        std::vector<float> y;
        double expected;
    };
    const double s = 6.5;
    for (const Case& c : {Case{{0.f, 0.f, 6.5f, 0.f}, 2.0 / (1.0 + 6.5 * 6.5)},  // on the edge: far
                          Case{{0.f, 0.f, 6.f, 6.f}, 0.0},                       // 8.5 apart, inside the square
                          Case{{0.f, 0.f, 0.f, -7.f}, 2.0 / 50.0},               // beyond it in y
                          Case{{0.f, 0.f, 20.f, 0.f, 20.f, 1.f}, 2.0 * (1.0 / 401.0 + 1.0 / 402.0)}, Case{{}, 0.0},
                          Case{{3.f, 3.f}, 0.0}}) {
        EXPECT_DOUBLE_EQ(FarFieldNormaliser::exactSum(c.y.data(), c.y.size() / 2, 6.5f), c.expected);
        EXPECT_DOUBLE_EQ(FarFieldNormaliser::exactSum(c.y.data(), c.y.size() / 2, 6.5f), reference(c.y, s));
    }
}

// Above a thousand points the sampled sum stays within a few percent of every
// pair's sum: for maps of a normal size, for compact maps whose far pairs all
// lie just beyond the support and for groups spread thousands of units apart.
// There a few pairs inside the groups reach the support, which a sample meets
// by chance; they are a millionth of the whole normaliser. Smaller maps are
// summed exactly.
TEST(FarFieldNormaliser, AboveAThousandPointsTheSampledSumFollowsTheExactSum) {
    struct Case {
        unsigned clusters, perCluster;
        double spread, ofFar, ofAll;  // largest error, as shares of the far pairs' and of all pairs' sum
    };
    FarFieldNormaliser far;
    for (const Case& c : {Case{8, 400, 10.0, 0.03, 0.01}, Case{20, 150, 30.0, 0.03, 0.01},
                          Case{3, 1000, 2.0, 0.03, 0.01}, Case{8, 400, 3000.0, 1.0, 1e-6}}) {
        SCOPED_TRACE(c.spread);
        const std::vector<float> y = blobs(c.clusters, c.perCluster, c.spread, 5);
        const size_t n = y.size() / 2;
        const double exact = FarFieldNormaliser::exactSum(y.data(), n, 6.5f);
        const double all = reference(y, 0.0);
        EXPECT_GT(exact, 0.0);
        EXPECT_NEAR(exact, reference(y, 6.5), 1e-9 * exact);
        const double error = std::fabs(far.sum(y.data(), n, 6.5f) - exact);
        EXPECT_LE(error, c.ofFar * exact);
        EXPECT_LE(error, c.ofAll * all);
    }
    const std::vector<float> small = blobs(4, 100, 10.0, 9);
    EXPECT_EQ(far.sum(small.data(), 400, 6.5f), FarFieldNormaliser::exactSum(small.data(), 400, 6.5f));
}

// Points with a coordinate that is not finite add nothing and break nothing.
TEST(FarFieldNormaliser, PointsThatAreNotFiniteAddNothing) {
    const std::vector<float> y = blobs(3, 4, 20.0, 3);
    std::vector<float> withBad = y;
    withBad.insert(withBad.end(),
                   {std::numeric_limits<float>::quiet_NaN(), 0.f, 1.f, std::numeric_limits<float>::infinity()});
    EXPECT_EQ(FarFieldNormaliser::exactSum(withBad.data(), withBad.size() / 2, 6.5f),
              FarFieldNormaliser::exactSum(y.data(), y.size() / 2, 6.5f));
}
