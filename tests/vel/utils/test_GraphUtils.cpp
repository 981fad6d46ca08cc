#include <gtest/gtest.h>

#include <map>
#include <numeric>
#include <random>
#include <type_traits>
#include <stdexcept>
#include <tuple>
#include <unordered_map>

#include "vel/data/MapMemEff.h"
#include "vel/utils/GraphOperations.h"
#include "vel/utils/SubGraphExtraction.h"

using Sparse = std::vector<vel::data::MapMemEff<unsigned int, float>>;
using Edges = std::map<std::pair<unsigned int, unsigned int>, float>;

namespace {
template <typename Matrix>
Matrix exampleGraph() {
    Matrix g(4);
    g[0][1] = g[1][0] = 0.5f;
    g[0][2] = g[2][0] = 2.0f;
    g[1][3] = g[3][1] = 3.0f;
    return g;
}
// Every stored entry of a matrix as (row, column) -> value.
template <typename Matrix>
Edges entries(const Matrix& m) {
    Edges out;
    for (unsigned int i = 0; i < m.size(); ++i)
        for (const auto& e : m[i]) out[{i, e.first}] = static_cast<float>(e.second);
    return out;
}
// Selection {1, 0} pulls in 2 and 3 over edges above 1; weights sum to 4.
const Edges kWorkedExample{{{0, 1}, 2.f / 11.f}, {{0, 3}, 12.f / 11.f}, {{1, 0}, 2.f / 11.f},
                           {{1, 2}, 8.f / 11.f}, {{2, 1}, 8.f / 11.f},  {{3, 0}, 12.f / 11.f}};
}  // namespace

template <typename Matrix>
class SubGraph : public testing::Test {};
using RowTypes = testing::Types<Sparse, std::vector<std::map<unsigned int, float>>,
                                std::vector<std::unordered_map<unsigned int, double>>>;
TYPED_TEST_SUITE(SubGraph, RowTypes);

TYPED_TEST(SubGraph, ThresholdSelectionOrderAndEmptyCases) {
    const auto g = exampleGraph<TypeParam>();
    const std::vector<std::tuple<std::vector<unsigned int>, float, std::vector<unsigned int>, Edges>> cases{
        {{}, 1.f, {}, {}},
        {{3, 1}, 10.f, {3, 1}, {{{0, 1}, 1.f}, {{1, 0}, 1.f}}},  // the induced sub-matrix, in selection order
        {{0}, 2.f, {0}, {}},                                     // a weight equal to the threshold admits nothing
        {{1, 0, 1}, 1.f, {1, 0, 2, 3}, kWorkedExample},          // a repeated vertex keeps its first place
    };
    for (const auto& [selection, threshold, expectedMap, edges] : cases) {
        TypeParam sub(3);
        std::vector<unsigned int> indexMap{5, 6};
        vel::utils::extractSubGraph(g, selection, sub, indexMap, threshold);
        EXPECT_TRUE(indexMap == expectedMap && sub.size() == expectedMap.size());
        const Edges got = entries(sub);
        ASSERT_EQ(got.size(), edges.size());
        for (const auto& [key, value] : edges) EXPECT_FLOAT_EQ(got.at(key), value);
    }
    TypeParam sub;
    std::vector<unsigned int> indexMap;
    EXPECT_THROW(vel::utils::extractSubGraph(g, {7}, sub, indexMap, 1.f), std::logic_error);
}

// The cut as first written, with ordered maps for the kept vertices: the
// reference the table-driven cut must equal.
template <typename Matrix>
void literalSubGraph(const Matrix& graph, const std::vector<unsigned int>& selection, Matrix& sub,
                     std::vector<unsigned int>& indexMap, float threshold) {
    sub.clear();
    indexMap.clear();
    std::map<unsigned int, unsigned int> selected, neighbours;
    for (unsigned int v : selection) {
        if (selected.count(v) != 0) continue;
        selected[v] = static_cast<unsigned int>(indexMap.size());
        indexMap.push_back(v);
    }
    for (const auto& [v, id] : selected)
        for (const auto& [k, w] : graph[v]) {
            if (!(w > threshold) || selected.count(k) != 0 || neighbours.count(k) != 0) continue;
            neighbours[k] = static_cast<unsigned int>(indexMap.size());
            indexMap.push_back(k);
        }
    sub.resize(selected.size() + neighbours.size());
    for (const auto* kept : {&selected, &neighbours})
        for (const auto& [v, id] : *kept)
            for (const auto& [k, w] : graph[v]) {
                if (selected.count(k) != 0) sub[id][selected[k]] = w;
                if (neighbours.count(k) != 0) sub[id][neighbours[k]] = w;
            }
    double total = 0;
    for (const auto& row : sub)
        for (const auto& e : row) total += static_cast<double>(e.second);
    if (sub.empty() || total == 0) return;
    using Value = typename Matrix::value_type::mapped_type;
    const Value rows = static_cast<Value>(sub.size());
    for (auto& row : sub)
        for (auto& e : row) {
            if constexpr (std::is_same_v<Value, float>)
                e.second = static_cast<float>(static_cast<double>(e.second * rows) / total);
            else
                e.second = static_cast<Value>(e.second * rows / total);
        }
}

// Random graphs with zero weights, selections empty, repeated and whole, and
// thresholds that admit many neighbours or none: the same vertices in the same
// order and the same weights, bit for bit.
TYPED_TEST(SubGraph, EqualsTheLiteralCutOnRandomGraphs) {
    std::mt19937 random(11);
    const unsigned int n = 3000;
    std::uniform_int_distribution<unsigned int> vertex(0, n - 1);
    std::uniform_real_distribution<float> weight(0.f, 1.f);
    TypeParam g(n);
    for (unsigned int i = 0; i < n; ++i)
        for (int k = 0, edges = static_cast<int>(vertex(random) % 20); k < edges; ++k)
            g[i][vertex(random)] = k == 0 ? 0.f : weight(random);
    std::vector<unsigned int> all(n), some, repeated;
    std::iota(all.begin(), all.end(), 0u);
    for (int k = 0; k < 300; ++k) some.push_back(vertex(random));
    repeated = some;
    repeated.insert(repeated.end(), some.rbegin(), some.rend());
    for (const auto& selection : {std::vector<unsigned int>{}, some, repeated, all})
        for (float threshold : {-1.f, 0.f, 0.5f, 2.f}) {
            TypeParam want, got(4);
            std::vector<unsigned int> wantMap, gotMap{9};
            literalSubGraph(g, selection, want, wantMap, threshold);
            vel::utils::extractSubGraph(g, selection, got, gotMap, threshold);
            ASSERT_EQ(gotMap, wantMap) << selection.size() << " " << threshold;
            ASSERT_EQ(got.size(), want.size());
            EXPECT_EQ(entries(got), entries(want)) << selection.size() << " " << threshold;
        }
}

// Components over the out-edges above the threshold: 3 points into the first
// component but is not reached from it.
TEST(GraphOperations, ConnectedComponents) {
    std::vector<unsigned int> component{9}, root{9}, size{9};
    Sparse empty, g(5), bad(2);
    vel::utils::computeConnectedComponents(empty, component, root, size, 0.f);
    EXPECT_TRUE(component.empty() && root.empty() && size.empty());
    g[0][2] = g[2][0] = g[3][0] = 1.f;
    g[1][4] = 0.5f;
    vel::utils::computeConnectedComponents(g, component, root, size, 0.6f);
    using List = std::vector<unsigned int>;
    EXPECT_EQ(std::make_tuple(component, root, size),
              std::make_tuple(List{0, 1, 0, 2, 3}, List{0, 1, 3, 4}, List{2, 1, 1, 1}));
    bad[0][9] = 1.f;
    EXPECT_THROW(vel::utils::computeConnectedComponents(bad, component, root, size, 0.f), std::logic_error);
}

TEST(GraphOperations, RemoveEdgesToUnselectedVertices) {
    std::vector<std::map<unsigned int, float>> g(6);
    g[0] = {{2, 1.f}, {3, 2.f}, {5, 3.f}};
    g[4] = {{5, 4.f}};
    vel::utils::removeEdgesToUnselectedVertices(g, {5, 2});
    EXPECT_EQ(entries(g), (Edges{{{0, 0}, 3.f}, {{0, 1}, 1.f}, {{4, 0}, 4.f}}));
    vel::utils::removeEdgesToUnselectedVertices(g, {});
    EXPECT_TRUE(entries(g).empty() && g.size() == 6u);
}

// Two-step walks without the returns to the start, normalised per row.
TEST(GraphOperations, TwoStepExpansion) {
    // From 0: back to 0 0.625, to 1 0.125 + 0.375, to 2 0.375 + 0.25.
    std::vector<std::unordered_map<unsigned int, double>> g{
        {{1, 0.25}, {2, 0.75}, {0, 0.5}}, {{2, 1.0}}, {{0, 0.5}, {1, 0.5}}},
        walks;
    vel::utils::expand(g, walks);
    EXPECT_NEAR(walks[0].at(1), 0.5 / 1.125, 1e-12);
    EXPECT_NEAR(walks[0].at(2), 0.625 / 1.125, 1e-12);
    EXPECT_EQ(walks[0].count(0), 0u);
}
