#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>

#include "vel/dr/SPTree.h"

using Tree = vel::dr::SPTree<float>;

namespace {
// The repulsive force on point i (up to 3-D) and, last, its normaliser share.
std::array<double, 4> repulsion(const Tree& tree, unsigned int i, double theta) {
    std::array<double, 4> r{};
    tree.computeNonEdgeForcesOMP(i, theta, r.data(), r[3]);
    return r;
}
}  // namespace

// A point equal to the stored one is counted, not stored; the stack follows
// the stored point down when its leaf splits, so every point still feels it.
TEST(SPTree, DuplicatesAreCountedButNotStored) {
    const double q = 1.0 / (1.0 + 2.0);  // between (0, 0) and (1, 1)
    std::vector<float> early{0, 0, 1, 1, 1, 1, 1, 1}, late{1, 1, 1, 1, 0, 0};
    Tree tree(2, early.data(), 4), split(2, late.data(), 3);
    unsigned int indices[4] = {};
    EXPECT_EQ(tree.cumulativeSize(), 4u);
    ASSERT_EQ(tree.getAllIndices(indices), 2u);
    EXPECT_TRUE(indices[0] == 1u && indices[1] == 0u && tree.isCorrect());  // child 0 (+,+) before child 3 (-,-)
    // Point 1 skips its own leaf with its duplicates; point 2 sees the stack of
    // three at distance 0: normaliser 3, no force.
    EXPECT_DOUBLE_EQ(repulsion(tree, 1, 0.5)[3], q);
    EXPECT_EQ(repulsion(tree, 2, 0.5), (std::array<double, 4>{q * q, q * q, 0, 3.0 + q}));
    EXPECT_EQ(split.cumulativeSize(), 3u);
    EXPECT_EQ(repulsion(split, 2, 0.0), (std::array<double, 4>{-2 * q * q, -2 * q * q, 0, 2 * q}));
}

// Boxes include their bounds: a point on the edge or on the children's
// common corner is kept, one outside is refused.
TEST(SPTree, BoxesIncludeTheirBounds) {
    double corner[2] = {0, 0}, width[2] = {1, 1};
    std::vector<float> pts{1.f, -1.f, 3.f, 0.f, 0.f, 0.f};
    Tree tree(2, pts.data(), corner, width);
    EXPECT_TRUE(tree.insert(0) && !tree.insert(1) && tree.insert(2));
    EXPECT_EQ(tree.cumulativeSize(), 2u);
}

// Theta 0 summarises no inner node: exact forces in 2-D and 3-D, on twenty
// thousand points whose large subtrees are built as parallel tasks.
TEST(SPTree, ThetaZeroGivesTheExactRepulsion) {
    std::mt19937 rng(5);
    std::normal_distribution<float> normal(0.f, 3.f);
    for (unsigned int D : {2u, 3u}) {
        const unsigned int n = 20000;
        std::vector<float> y(n * D);
        for (auto& v : y) v = normal(rng);
        Tree tree(D, y.data(), n);
        EXPECT_EQ(tree.cumulativeSize(), n);
        for (unsigned int i = 0; i < n; i += 97) {
            std::array<double, 4> ref{};
            for (unsigned int j = 0; j < n; ++j) {
                double s = 0;
                for (unsigned int d = 0; d < D; ++d) s += std::pow(double(y[i * D + d]) - y[j * D + d], 2);
                const double q = j == i ? 0.0 : 1.0 / (1.0 + s);
                ref[3] += q;
                for (unsigned int d = 0; d < D; ++d) ref[d] += q * q * (double(y[i * D + d]) - y[j * D + d]);
            }
            const auto f = repulsion(tree, i, 0.0);
            EXPECT_NEAR(f[3], ref[3], 1e-9 * ref[3]) << i;
            for (unsigned int d = 0; d < D; ++d) ASSERT_NEAR(f[d], ref[d], 1e-11 * (1.0 + std::fabs(ref[d]))) << i;
        }
    }
}
