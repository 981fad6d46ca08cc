// Only points that share a position move, each by at most the radius, the
// same way for the same seed; NaN stays where it is and -0 is 0.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "analysis/fc/separateCoincidentPoints.h"

namespace {

TEST(SeparateCoincidentPoints, MovesOnlyPointsThatShareAPositionWithinTheRadius) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        const char* name;
        std::vector<float> points;
        std::vector<bool> moves;
    } cases[] = {
        {"all apart", {0.f, 0.f, 1.f, 0.f, 0.f, 1.f}, {false, false, false}},
        {"two on one", {2.f, 3.f, 5.f, 5.f, 2.f, 3.f}, {true, false, true}},
        {"zero and minus zero", {0.f, -0.f, -0.f, 0.f}, {true, true}},
        {"two groups", {1.f, 1.f, 1.f, 1.f, 4.f, 4.f, 4.f, 4.f, 4.f, 4.f}, {true, true, true, true, true}},
        {"not finite", {nan, 0.f, nan, 0.f, 7.f, 7.f}, {false, false, false}},
        {"none", {}, {}},
    };
    for (const auto& c : cases) {
        std::vector<float> y = c.points, again = c.points;
        size_t expected = 0;
        for (bool m : c.moves) expected += m;
        EXPECT_EQ(separateCoincidentPoints(y, 9, 0.5f), expected) << c.name;
        separateCoincidentPoints(again, 9, 0.5f);
        for (size_t i = 0; i < c.moves.size(); ++i) {
            const double d = std::hypot(y[2 * i] - c.points[2 * i], y[2 * i + 1] - c.points[2 * i + 1]);
            if (!c.moves[i]) {
                EXPECT_TRUE(std::isnan(c.points[2 * i]) || d == 0.0) << c.name << ", point " << i;
                continue;
            }
            EXPECT_GT(d, 0.0) << c.name << ", point " << i;
            EXPECT_LE(d, 0.5) << c.name << ", point " << i;
            EXPECT_EQ(y[2 * i], again[2 * i]) << c.name << ": the same seed, the same offsets";
            EXPECT_EQ(y[2 * i + 1], again[2 * i + 1]);
        }
    }
    // Another seed, other offsets.
    std::vector<float> a = {1.f, 1.f, 1.f, 1.f}, b = a;
    separateCoincidentPoints(a, 1, 1.f);
    separateCoincidentPoints(b, 2, 1.f);
    EXPECT_NE(a, b);
}

}  // namespace
