#include <gtest/gtest.h>

#include <map>
#include <stdexcept>
#include <unordered_map>

#include "vel/data/MapMemEff.h"
#include "vel/utils/GraphOperations.h"
#include "vel/utils/SubGraphExtraction.h"

using veltest_Sparse = std::vector<vel::data::MapMemEff<unsigned int, float>>;

namespace {
template <typename Matrix>
Matrix exampleGraph() {
    Matrix g(4);
    g[0][1] = 0.5f;
    g[0][2] = 2.0f;
    g[1][0] = 0.5f;
    g[1][3] = 3.0f;
    g[2][0] = 2.0f;
    g[3][1] = 3.0f;
    return g;
}
template <typename Row>
float at(const Row& row, unsigned int key) {
    const auto it = row.find(key);
    return it == row.end() ? -1.f : static_cast<float>(it->second);
}
}  // namespace

template <typename Matrix>
class SubGraph : public testing::Test {};
using RowTypes = testing::Types<veltest_Sparse, std::vector<std::map<unsigned int, float>>,
                                std::vector<std::unordered_map<unsigned int, double>>>;
TYPED_TEST_SUITE(SubGraph, RowTypes);

TYPED_TEST(SubGraph, WorkedExample) {
    const auto g = exampleGraph<TypeParam>();
    TypeParam sub;
    std::vector<unsigned int> indexMap{99};
    vel::utils::extractSubGraph(g, {1, 0}, sub, indexMap, 1.0f);
    EXPECT_EQ(indexMap, (std::vector<unsigned int>{1, 0, 2, 3}));
    ASSERT_EQ(sub.size(), 4u);
    EXPECT_FLOAT_EQ(at(sub[0], 1), 2.f / 11.f);
    EXPECT_FLOAT_EQ(at(sub[0], 3), 12.f / 11.f);
    EXPECT_FLOAT_EQ(at(sub[1], 0), 2.f / 11.f);
    EXPECT_FLOAT_EQ(at(sub[1], 2), 8.f / 11.f);
    EXPECT_FLOAT_EQ(at(sub[2], 1), 8.f / 11.f);
    EXPECT_FLOAT_EQ(at(sub[3], 0), 12.f / 11.f);
    EXPECT_EQ(sub[0].size() + sub[1].size() + sub[2].size() + sub[3].size(), 6u);
}

TEST(SubGraph, ThresholdSelectionOrderAndEmptyCases) {
    const auto g = exampleGraph<veltest_Sparse>();
    veltest_Sparse sub(3);
    std::vector<unsigned int> indexMap{5, 6};
    vel::utils::extractSubGraph(g, {}, sub, indexMap, 1.f);
    EXPECT_TRUE(sub.empty());
    EXPECT_TRUE(indexMap.empty());

    // Threshold above every weight: the induced sub-matrix in selection order.
    vel::utils::extractSubGraph(g, {3, 1}, sub, indexMap, 10.f);
    EXPECT_EQ(indexMap, (std::vector<unsigned int>{3, 1}));
    EXPECT_FLOAT_EQ(at(sub[0], 1), 1.f);
    EXPECT_FLOAT_EQ(at(sub[1], 0), 1.f);

    // A weight equal to the threshold admits nothing.
    vel::utils::extractSubGraph(g, {0}, sub, indexMap, 2.f);
    EXPECT_EQ(indexMap, (std::vector<unsigned int>{0}));
    ASSERT_EQ(sub.size(), 1u);
    EXPECT_TRUE(sub[0].empty());  // no edge inside: nothing to rescale

    // A repeated vertex keeps its first place and is counted once.
    vel::utils::extractSubGraph(g, {1, 0, 1}, sub, indexMap, 1.f);
    EXPECT_EQ(indexMap, (std::vector<unsigned int>{1, 0, 2, 3}));
    EXPECT_EQ(sub.size(), 4u);

    EXPECT_THROW(vel::utils::extractSubGraph(g, {7}, sub, indexMap, 1.f), std::logic_error);
}

TEST(GraphOperations, ConnectedComponents) {
    std::vector<unsigned int> component, root, size;
    veltest_Sparse empty;
    vel::utils::computeConnectedComponents(empty, component, root, size, 0.f);
    EXPECT_TRUE(component.empty() && root.empty() && size.empty());

    veltest_Sparse pair(2);
    pair[0][1] = 2.f;
    pair[1][0] = 2.f;
    vel::utils::computeConnectedComponents(pair, component, root, size, 1.f);
    EXPECT_EQ(size, (std::vector<unsigned int>{2}));
    EXPECT_EQ(component, (std::vector<unsigned int>{0, 0}));
    vel::utils::computeConnectedComponents(pair, component, root, size, 2.f);
    EXPECT_EQ(size, (std::vector<unsigned int>{1, 1}));
    EXPECT_EQ(root, (std::vector<unsigned int>{0, 1}));

    // Only out-edges are followed: 3 points into the first component but is not reached.
    veltest_Sparse g(5);
    g[0][2] = 1.f;
    g[2][0] = 1.f;
    g[3][0] = 1.f;
    g[1][4] = 0.5f;
    vel::utils::computeConnectedComponents(g, component, root, size, 0.6f);
    EXPECT_EQ(component, (std::vector<unsigned int>{0, 1, 0, 2, 3}));
    EXPECT_EQ(root, (std::vector<unsigned int>{0, 1, 3, 4}));
    EXPECT_EQ(size, (std::vector<unsigned int>{2, 1, 1, 1}));

    veltest_Sparse bad(2);
    bad[0][9] = 1.f;
    EXPECT_THROW(vel::utils::computeConnectedComponents(bad, component, root, size, 0.f), std::logic_error);
}

TEST(GraphOperations, RemoveEdgesToUnselectedVertices) {
    std::vector<std::map<unsigned int, float>> g(6);
    g[0] = {{2, 1.f}, {3, 2.f}, {5, 3.f}};
    g[4] = {{5, 4.f}};
    vel::utils::removeEdgesToUnselectedVertices(g, {5, 2});
    ASSERT_EQ(g.size(), 6u);
    EXPECT_EQ(g[0], (std::map<unsigned int, float>{{0, 3.f}, {1, 1.f}}));
    EXPECT_EQ(g[4], (std::map<unsigned int, float>{{0, 4.f}}));
    vel::utils::removeEdgesToUnselectedVertices(g, {});
    for (const auto& row : g) EXPECT_TRUE(row.empty());
}

TEST(GraphOperations, TwoStepExpansion) {
    veltest_Sparse swap(2), expanded;
    swap[0][1] = 1.f;
    swap[1][0] = 1.f;
    vel::utils::expand(swap, expanded);
    ASSERT_EQ(expanded.size(), 2u);
    EXPECT_TRUE(expanded[0].empty() && expanded[1].empty());

    veltest_Sparse path(3);
    path[0][1] = 1.f;
    path[1][2] = 1.f;
    vel::utils::expand(path, expanded);
    EXPECT_EQ(expanded[0].size(), 1u);
    EXPECT_FLOAT_EQ(at(expanded[0], 2), 1.f);
    EXPECT_TRUE(expanded[1].empty() && expanded[2].empty());

    // Walk weights: from 0 to 1 (0.25) or 2 (0.75), then on; the return to 0 is dropped.
    std::vector<std::unordered_map<unsigned int, double>> g(3), out;
    g[0] = {{1, 0.25}, {2, 0.75}, {0, 0.5}};
    g[1] = {{2, 1.0}};
    g[2] = {{0, 0.5}, {1, 0.5}};
    vel::utils::expand(g, out);
    // After two steps from 0: back to 0 0.625, to 1 0.125 + 0.375, to 2 0.375 + 0.25.
    EXPECT_NEAR(out[0].at(1), 0.5 / 1.125, 1e-12);
    EXPECT_NEAR(out[0].at(2), 0.625 / 1.125, 1e-12);
    EXPECT_EQ(out[0].count(0), 0u);
}
