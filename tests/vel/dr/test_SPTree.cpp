#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "vel/dr/SPTree.h"

using Tree = vel::dr::SPTree<float>;

TEST(SPTree, DuplicatesAreCountedButNotStored) {
    std::vector<float> pts{0, 0, 1, 1, 1, 1, 1, 1};
    Tree tree(2, pts.data(), 4);
    EXPECT_EQ(tree.cumulativeSize(), 4u);
    unsigned int indices[4] = {};
    ASSERT_EQ(tree.getAllIndices(indices), 2u);
    EXPECT_EQ(indices[0], 1u);  // child 0 (+,+) holds the stack of (1, 1)
    EXPECT_EQ(indices[1], 0u);  // child 3 (-,-) holds (0, 0)
    EXPECT_TRUE(tree.isCorrect());
    EXPECT_GE(tree.getDepth(), 2u);

    // Point 1 skips its own leaf with its duplicates; points 2 and 3 see the
    // stack of three at distance 0: normaliser 3, no force.
    double f[2] = {0, 0}, z = 0;
    tree.computeNonEdgeForcesOMP(2, 0.5, f, z);
    double f1[2] = {0, 0}, z1 = 0;
    tree.computeNonEdgeForcesOMP(1, 0.5, f1, z1);
    const double q = 1.0 / (1.0 + 2.0);  // from (0, 0)
    EXPECT_DOUBLE_EQ(z1, q);
    EXPECT_DOUBLE_EQ(z, 3.0 + q);
    EXPECT_DOUBLE_EQ(f[0], q * q * 1.0);

    // The stack of (1, 1) forms before the leaf splits; it moves down whole, so
    // (0, 0) still feels both points.
    std::vector<float> late{1, 1, 1, 1, 0, 0};
    Tree split(2, late.data(), 3);
    EXPECT_EQ(split.cumulativeSize(), 3u);
    ASSERT_EQ(split.getAllIndices(indices), 2u);
    double fs[2] = {0, 0}, zs = 0;
    split.computeNonEdgeForcesOMP(2, 0.0, fs, zs);
    EXPECT_DOUBLE_EQ(zs, 2.0 * q);
    EXPECT_DOUBLE_EQ(fs[0], -2.0 * q * q);
}

TEST(SPTree, ChildOrderAndRefusedPoints) {
    double corner[2] = {0, 0}, width[2] = {1, 1};
    std::vector<float> pts{0.5f, 0.5f, -0.5f, 0.5f, 0.5f, -0.5f, -0.5f, -0.5f, 3.f, 0.f};
    Tree tree(2, pts.data(), corner, width);
    for (unsigned int i = 0; i < 4; ++i) EXPECT_TRUE(tree.insert(i));
    EXPECT_FALSE(tree.insert(4));  // outside the box
    EXPECT_EQ(tree.cumulativeSize(), 4u);
    unsigned int indices[5];
    ASSERT_EQ(tree.getAllIndices(indices), 4u);
    for (unsigned int i = 0; i < 4; ++i) EXPECT_EQ(indices[i], i);  // child c holds the point with the signs of c

    Tree::Cell cell(2, corner, width);
    EXPECT_TRUE(cell.containsPoint(pts.data() + 6));
    float edge[2] = {1.f, -1.f};
    EXPECT_TRUE(cell.containsPoint(edge));
    EXPECT_FALSE(cell.containsPoint(pts.data() + 8));
}

TEST(SPTree, PrintsEmptyAndLeafNodes) {
    double corner[2] = {0, 0}, width[2] = {1, 1};
    std::vector<float> pts{0.25f, -0.5f};
    Tree empty(2, pts.data(), corner, width);
    testing::internal::CaptureStdout();
    empty.print();
    fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Empty node\n");
    Tree one(2, pts.data(), 1);
    testing::internal::CaptureStdout();
    one.print();
    fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Leaf node; _emb_positions = [0.250000, -0.500000,  (index = 0)]\n");
}

// Theta 0 summarises no inner node: the forces are exact.
TEST(SPTree, ThetaZeroGivesTheExactRepulsion) {
    std::mt19937 rng(5);
    std::normal_distribution<float> normal(0.f, 3.f);
    for (unsigned int D : {2u, 3u}) {
        const unsigned int n = 300;
        std::vector<float> y(n * D);
        for (auto& v : y) v = normal(rng);
        y[D * 7] = y[D * 3];  // a duplicate pair
        for (unsigned int d = 0; d < D; ++d) y[D * 7 + d] = y[D * 3 + d];
        Tree tree(D, y.data(), n);
        EXPECT_TRUE(tree.isCorrect());
        double maxErr = 0, approxErr = 0, forceSize = 0, zTotal = 0, zApprox = 0;
        for (unsigned int i = 0; i < n; ++i) {
            std::vector<double> ref(D, 0.0), f(D, 0.0), fa(D, 0.0);
            double zRef = 0, z = 0, za = 0;
            for (unsigned int j = 0; j < n; ++j) {
                if (j == i) continue;
                double s = 0;
                for (unsigned int d = 0; d < D; ++d)
                    s += (static_cast<double>(y[i * D + d]) - y[j * D + d]) *
                         (static_cast<double>(y[i * D + d]) - y[j * D + d]);
                const double q = 1.0 / (1.0 + s);
                zRef += q;
                for (unsigned int d = 0; d < D; ++d)
                    ref[d] += q * q * (static_cast<double>(y[i * D + d]) - y[j * D + d]);
            }
            tree.computeNonEdgeForcesOMP(i, 0.0, f.data(), z);
            tree.computeNonEdgeForcesOMP(i, 0.5, fa.data(), za);
            // A point and its duplicate share a leaf at distance 0: the stored one
            // skips the leaf (missing the other's q = 1), the other one counts the
            // whole stack, itself included.
            const double own = i == 3 ? -1.0 : i == 7 ? 1.0 : 0.0;
            EXPECT_NEAR(z - own, zRef, 1e-9 * zRef) << i;
            for (unsigned int d = 0; d < D; ++d) {
                maxErr = std::max(maxErr, std::fabs(f[d] - ref[d]));
                approxErr += std::fabs(fa[d] - ref[d]);
                forceSize += std::fabs(ref[d]);
            }
            zTotal += zRef;
            zApprox += za;
        }
        EXPECT_LT(maxErr, 1e-12);
        // theta 0.5 only approximates, closely on the whole.
        EXPECT_NEAR(zApprox, zTotal, 0.05 * zTotal);
        EXPECT_LT(approxErr, 0.1 * forceSize);
    }
}

// The top-down build of a full tree and point-by-point insertion give the
// same tree: same stored points, and bit-identical forces.
TEST(SPTree, BulkBuildEqualsInsertionOneByOne) {
    std::mt19937 rng(8);
    std::normal_distribution<float> normal(0.f, 2.f);
    const unsigned int n = 20000, D = 2;
    std::vector<float> y(n * D);
    for (auto& v : y) v = normal(rng);
    for (unsigned int i = 100; i < 400; i += 3)  // stacks of duplicates, before and after the split
        for (unsigned int d = 0; d < D; ++d) y[i * D + d] = y[(i % 7) * D + d];
    y[5 * D] = 50.f;  // outside the box: refused by both
    double corner[2] = {0.1, -0.2}, width[2] = {12.0, 12.0};
    Tree bulk(D, y.data(), n, corner, width);
    Tree single(D, y.data(), corner, width);
    for (unsigned int i = 0; i < n; ++i) single.insert(i);
    EXPECT_EQ(bulk.cumulativeSize(), single.cumulativeSize());
    EXPECT_EQ(bulk.cumulativeSize(), n - 1);
    EXPECT_EQ(bulk.getDepth(), single.getDepth());
    std::vector<unsigned int> a(n), b(n);
    ASSERT_EQ(bulk.getAllIndices(a.data()), single.getAllIndices(b.data()));
    EXPECT_EQ(a, b);
    for (unsigned int i = 0; i < n; i += 7) {
        double fa[2] = {0, 0}, fb[2] = {0, 0}, za = 0, zb = 0;
        bulk.computeNonEdgeForcesOMP(i, 0.5, fa, za);
        single.computeNonEdgeForcesOMP(i, 0.5, fb, zb);
        ASSERT_EQ(za, zb) << i;
        ASSERT_EQ(fa[0], fb[0]) << i;
        ASSERT_EQ(fa[1], fb[1]) << i;
    }
}
