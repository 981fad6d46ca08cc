// The flat Barnes-Hut tree against the pointer tree it replaces (the same
// forces up to the rounding of the centres of mass) and against the exact
// O(N^2) repulsion written here, on any number of threads.
#include <gtest/gtest.h>

#include <omp.h>

#include <array>
#include <cmath>
#include <random>
#include <vector>

#include "vel/dr/BarnesHutTree.h"
#include "vel/dr/SPTree.h"

namespace {

// Clustered points with exact duplicates and a few far outliers: deep
// subtrees, stacked points and boxes of very different sizes.
std::vector<float> clusteredPoints(unsigned int n, unsigned int D, std::uint32_t seed, bool duplicates = true) {
    std::mt19937 rng(seed);
    std::normal_distribution<float> normal(0.f, 1.f);
    std::uniform_int_distribution<unsigned int> pick(0, 9);
    std::vector<float> y(static_cast<std::size_t>(n) * D);
    for (unsigned int i = 0; i < n; ++i) {
        const unsigned int c = pick(rng);
        for (unsigned int d = 0; d < D; ++d)
            y[i * D + d] = 8.f * static_cast<float>((c >> d) & 1u) + (0.05f + 0.3f * c) * normal(rng);
        if (duplicates && i % 97 == 5 && i > 10)  // an exact copy of an earlier point
            for (unsigned int d = 0; d < D; ++d) y[i * D + d] = y[(i - 7) * D + d];
        if (i % 1013 == 3) y[i * D] = 300.f;
    }
    return y;
}

template <unsigned int D>
struct Repulsion {
    std::array<double, D> force{};
    double normaliser = 0;
    double magnitude = 0;  // the sum of the sizes of the single pulls
};

// Built by a team of `threads`, as the engine builds it.
template <unsigned int D>
std::vector<Repulsion<D>> flatForces(const std::vector<float>& y, unsigned int n, double theta, int threads = 1) {
    vel::dr::BarnesHutTree<float, D> tree;
    tree.prepare(n);
#pragma omp parallel num_threads(threads)
    tree.build(y.data(), n);
    std::vector<Repulsion<D>> r(n);
    for (unsigned int i = 0; i < n; ++i) tree.repulsion(y.data() + i * D, i, theta, r[i].force.data(), r[i].normaliser);
    return r;
}

template <unsigned int D>
std::vector<Repulsion<D>> pointerTreeForces(std::vector<float> y, unsigned int n, double theta) {
    vel::dr::SPTree<float> tree(D, y.data(), n);
    std::vector<Repulsion<D>> r(n);
    for (unsigned int i = 0; i < n; ++i) tree.computeNonEdgeForcesOMP(i, theta, r[i].force.data(), r[i].normaliser);
    return r;
}

template <unsigned int D>
Repulsion<D> exactRepulsion(const std::vector<float>& y, unsigned int n, unsigned int i) {
    Repulsion<D> r;
    for (unsigned int j = 0; j < n; ++j) {
        if (j == i) continue;
        double diff[D], sq = 0;
        for (unsigned int d = 0; d < D; ++d) {
            diff[d] = static_cast<double>(y[i * D + d]) - y[j * D + d];
            sq += diff[d] * diff[d];
        }
        const double q = 1.0 / (1.0 + sq);
        r.normaliser += q;
        for (unsigned int d = 0; d < D; ++d) r.force[d] += q * q * diff[d];
        r.magnitude += q * q * std::sqrt(sq);
    }
    return r;
}

// The pointer tree keeps running means where the flat one sums: the centres
// of mass differ in the last bits, and so do the forces. Every single pull is
// at most half its share of the normaliser, which bounds the force.
template <unsigned int D>
void expectSameAsPointerTree(unsigned int n, double theta, int threads) {
    SCOPED_TRACE(testing::Message() << "D " << D << ", N " << n << ", theta " << theta << ", threads " << threads);
    const std::vector<float> y = clusteredPoints(n, D, 11 + n);
    const auto flat = flatForces<D>(y, n, theta, threads);
    const auto reference = pointerTreeForces<D>(y, n, theta);
    for (unsigned int i = 0; i < n; ++i) {
        const double tolerance = 1e-11 * reference[i].normaliser;
        ASSERT_NEAR(flat[i].normaliser, reference[i].normaliser, tolerance) << "point " << i;
        for (unsigned int d = 0; d < D; ++d)
            ASSERT_NEAR(flat[i].force[d], reference[i].force[d], tolerance) << "point " << i;
    }
}

}  // namespace

// Sizes below and above the parallel build, thetas from exact to coarse.
TEST(BarnesHutTree, ForcesAreThePointerTrees) {
    for (const unsigned int n : {1u, 2u, 700u, 30000u})
        for (const double theta : {0.0, 0.063, 0.5, 1.2})
            for (const int threads : {1, 8}) {
                if (n > 700 && theta < 0.5) continue;  // the pointer tree takes long there
                expectSameAsPointerTree<2>(n, theta, threads);
                if (n <= 700) expectSameAsPointerTree<3>(n, theta, threads);
            }
}

// Theta 0 is the exact repulsion; at theta 0.5 every point's normaliser and
// force stay within the error that summarising far boxes allows (worst
// cases of the pointer tree, which gives the same bits). (Equal
// points are left out: the tree's stacks count them its own way.)
TEST(BarnesHutTree, ApproximatesTheExactRepulsion) {
    const unsigned int n = 5000;
    const std::vector<float> y = clusteredPoints(n, 2, 3, false);
    struct Case {
        double theta, normaliserError, forceError;
    };
    for (const Case c : {Case{0.0, 1e-12, 1e-12}, Case{0.25, 0.02, 0.04}, Case{0.5, 0.08, 0.12}}) {
        SCOPED_TRACE(c.theta);
        const auto tree = flatForces<2>(y, n, c.theta);
        double worstZ = 0, worstF = 0;
        for (unsigned int i = 0; i < n; i += 7) {
            const auto exact = exactRepulsion<2>(y, n, i);
            worstZ = std::max(worstZ, std::fabs(tree[i].normaliser - exact.normaliser) / exact.normaliser);
            // Relative to the pulls added up by size: the force itself may be
            // near zero where they cancel.
            worstF = std::max(worstF, std::hypot(tree[i].force[0] - exact.force[0], tree[i].force[1] - exact.force[1]) /
                                          exact.magnitude);
        }
        EXPECT_LE(worstZ, c.normaliserError);
        EXPECT_LE(worstF, c.forceError);
    }
}

// The walk through the nodes: an inner node goes on to its first child, the
// next place; a leaf, or a node summarised, to its `next`.
template <unsigned int D>
std::vector<typename vel::dr::BarnesHutTree<float, D>::Node> walk(const vel::dr::BarnesHutTree<float, D>& tree) {
    using Tree = vel::dr::BarnesHutTree<float, D>;
    std::vector<typename Tree::Node> visited;
    for (std::size_t k = 0; k < tree.end();) {
        const auto& node = tree.nodes()[k];
        visited.push_back(node);
        k = node.point == Tree::kNoPoint ? k + 1 : node.next;
    }
    return visited;
}

// The nodes the walk visits, and the query order, do not depend on the thread
// count; nor do the forces.
TEST(BarnesHutTree, SameNodesOnAnyThreadCount) {
    const unsigned int n = 60000;
    const std::vector<float> y = clusteredPoints(n, 2, 8);
    using Node = vel::dr::BarnesHutTree<float, 2>::Node;
    std::vector<std::vector<Node>> walks;
    std::vector<std::vector<unsigned int>> orders;
    for (const int threads : {1, 2, 8}) {
        vel::dr::BarnesHutTree<float, 2> tree;
        tree.prepare(n);
#pragma omp parallel num_threads(threads)
        {
            tree.build(y.data(), n);
            tree.build(y.data(), n);  // a rebuild reuses the buffers
        }
        walks.push_back(walk(tree));
        orders.push_back(tree.queryOrder());
    }
    for (std::size_t a = 1; a < walks.size(); ++a) {
        ASSERT_EQ(walks[a].size(), walks[0].size());
        for (std::size_t k = 0; k < walks[0].size(); ++k) {
            const Node &x = walks[a][k], &r = walks[0][k];
            ASSERT_TRUE(x.centreOfMass[0] == r.centreOfMass[0] && x.centreOfMass[1] == r.centreOfMass[1] &&
                        x.maxWidth == r.maxWidth && x.count == r.count && x.point == r.point)
                << "node " << k << " differs on " << (a == 1 ? 2 : 8) << " threads";
        }
        EXPECT_TRUE(orders[a] == orders[0]);
    }
    // Summarised nodes jump over the places the parts leave unused.
    for (const double theta : {0.5, 1.2}) {
        const auto one = flatForces<2>(y, n, theta, 1), eight = flatForces<2>(y, n, theta, 8);
        for (unsigned int i = 0; i < n; ++i) {
            ASSERT_EQ(one[i].normaliser, eight[i].normaliser) << i;
            ASSERT_TRUE(one[i].force == eight[i].force) << i;
        }
    }
}

// Pairs of points a hair apart sit at the end of long chains of boxes with a
// single child in the pointer tree; the flat tree leaves those out, keeps at
// most 2N - 1 nodes (the room each part built apart is given) and gives the
// pointer tree's forces, built by one thread or by eight.
TEST(BarnesHutTree, PairsAHairApartNeedNoChains) {
    const unsigned int n = 40000;
    std::mt19937 rng(12);
    std::uniform_real_distribution<float> uniform(-50.f, 50.f);
    std::vector<float> y(2 * n);
    for (unsigned int i = 0; i < n; i += 2) {
        y[2 * i] = uniform(rng);
        y[2 * i + 1] = uniform(rng);
        y[2 * i + 2] = std::nextafter(std::nextafter(y[2 * i], 1e9f), 1e9f);
        y[2 * i + 3] = y[2 * i + 1];
    }
    vel::dr::BarnesHutTree<float, 2> serial, parts;
    serial.build(y.data(), n);
#pragma omp parallel num_threads(8)
    parts.build(y.data(), n);
    const auto a = walk(serial), b = walk(parts);
    ASSERT_EQ(a.size(), b.size());
    EXPECT_LT(a.size(), 2u * n);
    for (std::size_t k = 0; k < a.size(); ++k)
        ASSERT_TRUE(a[k].count == b[k].count && a[k].point == b[k].point &&
                    a[k].centreOfMass[0] == b[k].centreOfMass[0] && a[k].centreOfMass[1] == b[k].centreOfMass[1])
            << "node " << k;
    vel::dr::SPTree<float> pointer(2, y.data(), n);
    for (unsigned int i = 0; i < n; i += 37) {
        Repulsion<2> x, r, p;
        serial.repulsion(y.data() + 2 * i, i, 0.5, x.force.data(), x.normaliser);
        parts.repulsion(y.data() + 2 * i, i, 0.5, r.force.data(), r.normaliser);
        pointer.computeNonEdgeForcesOMP(i, 0.5, p.force.data(), p.normaliser);
        ASSERT_TRUE(x.force == r.force && x.normaliser == r.normaliser) << i;
        const double tolerance = 1e-11 * p.normaliser;
        ASSERT_NEAR(x.normaliser, p.normaliser, tolerance) << i;
        ASSERT_NEAR(x.force[0], p.force[0], tolerance) << i;
        ASSERT_NEAR(x.force[1], p.force[1], tolerance) << i;
    }
}

// No points, one point, all points equal, a not-a-number coordinate.
TEST(BarnesHutTree, DegenerateInputs) {
    vel::dr::BarnesHutTree<float, 2> tree;
    tree.build(nullptr, 0);
    EXPECT_EQ(tree.end(), 0u);
    double f[2] = {0, 0}, z = 0;
    const float origin[2] = {0, 0};
    tree.repulsion(origin, 0, 0.5, f, z);
    EXPECT_EQ(z, 0.0);

    const std::vector<float> same(8, 1.5f);
    tree.build(same.data(), 4);
    ASSERT_EQ(tree.end(), 1u);
    EXPECT_EQ(tree.nodes()[0].count, 4u);
    tree.repulsion(same.data(), 3, 0.5, f, z);  // a stacked point sees the stack, itself included
    EXPECT_EQ(z, 4.0);
    z = 0;
    tree.repulsion(same.data(), 0, 0.5, f, z);  // the stored point skips it
    EXPECT_EQ(z, 0.0);

    // Upper halves first: (2, 2) and (1, 1) share the upper child of the root,
    // where (2, 2) is again the upper one.
    const std::vector<float> diagonal{0.f, 0.f, 1.f, 1.f, 2.f, 2.f};
    tree.build(diagonal.data(), 3);
    EXPECT_EQ(tree.queryOrder(), (std::vector<unsigned int>{2, 1, 0}));

    // A coordinate without a value leaves the boxes without bounds; no point is
    // placed below the root, and nothing breaks.
    const std::vector<float> withNaN{0.f, 0.f, NAN, 1.f, 2.f, 2.f};
    tree.build(withNaN.data(), 3);
    ASSERT_EQ(tree.end(), 1u);
    EXPECT_EQ(tree.queryOrder(), (std::vector<unsigned int>{0, 1, 2}));
}

// Inputs whose bounds the root box may not hold (coordinates without a value
// or infinite, points so far from the origin that the box's margin is lost to
// rounding): a team of 8 builds the tree that one thread builds, with the
// same points below the root.
TEST(BarnesHutTree, UnboundedInputsBuildAlikeOnATeam) {
    std::vector<float> distant;
    for (unsigned int i = 0; i < 6000; ++i) {
        distant.push_back(3.0e12f + 65536.f * static_cast<float>(i % 13));
        distant.push_back(-3.0e12f - 65536.f * static_cast<float>(i % 7));
    }
    std::vector<float> manyWithNaN = clusteredPoints(6000, 2, 9);
    manyWithNaN[2 * 4321 + 1] = NAN;
    struct Case {
        const char* name;
        std::vector<float> y;
    };
    const Case cases[] = {
        {"a coordinate without a value", manyWithNaN},
        {"an infinite coordinate", {0.f, 0.f, INFINITY, 1.f, 2.f, 2.f, 3.f, -1.f}},
        {"far from the origin", distant},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const unsigned int n = static_cast<unsigned int>(c.y.size() / 2);
        std::vector<std::vector<vel::dr::BarnesHutTree<float, 2>::Node>> walks;
        std::vector<std::vector<unsigned int>> orders;
        for (const int threads : {1, 8}) {
            vel::dr::BarnesHutTree<float, 2> tree;
            tree.prepare(n);
#pragma omp parallel num_threads(threads)
            tree.build(c.y.data(), n);
            walks.push_back(walk(tree));
            orders.push_back(tree.queryOrder());
        }
        EXPECT_EQ(orders[1], orders[0]);
        ASSERT_EQ(walks[1].size(), walks[0].size());
        for (std::size_t k = 0; k < walks[0].size(); ++k)
            EXPECT_TRUE(walks[1][k].count == walks[0][k].count && walks[1][k].point == walks[0][k].point) << k;
        if (c.y == distant) {
            ASSERT_FALSE(walks[0].empty());
            EXPECT_EQ(walks[0][0].count, n);  // every point below the root
        }
    }
}

// A team that does other work while one thread finishes the tree gets, after
// its next barrier, the tree that a build which waits gives.
TEST(BarnesHutTree, ABuildThatDoesNotWaitIsCompleteAfterTheNextBarrier) {
    for (const unsigned int n : {3000u, 60000u}) {
        SCOPED_TRACE(n);
        const std::vector<float> y = clusteredPoints(n, 2, 12);
        vel::dr::BarnesHutTree<float, 2> waiting, notWaiting;
        waiting.build(y.data(), n);
        std::vector<double> busywork(64, 0.0);
        notWaiting.prepare(n);
#pragma omp parallel num_threads(8)
        {
            notWaiting.build(y.data(), n, false);
#pragma omp for schedule(dynamic, 1)
            for (int k = 0; k < 64; ++k)
                for (int r = 0; r < 1000; ++r) busywork[static_cast<std::size_t>(k)] += std::sqrt(r + k);
        }
        const auto a = walk(waiting), b = walk(notWaiting);
        ASSERT_EQ(a.size(), b.size());
        for (std::size_t k = 0; k < a.size(); ++k)
            ASSERT_TRUE(a[k].count == b[k].count && a[k].point == b[k].point &&
                        a[k].centreOfMass[0] == b[k].centreOfMass[0] && a[k].maxWidth == b[k].maxWidth)
                << k;
        EXPECT_EQ(notWaiting.queryOrder(), waiting.queryOrder());
    }
}
