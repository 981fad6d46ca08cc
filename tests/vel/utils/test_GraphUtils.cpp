#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <map>
#include <random>
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

namespace {
// The extraction as first written: ordered maps for both index tables, the
// rows filled one edge at a time.
template <typename Matrix>
void plainSubGraph(const Matrix& g, const std::vector<unsigned int>& selection, Matrix& sub,
                   std::vector<unsigned int>& indexMap, float threshold) {
    using Scalar = typename Matrix::value_type::mapped_type;
    std::map<unsigned int, unsigned int> selected, neighbours;
    indexMap.clear();
    for (unsigned int v : selection)
        if (!selected.count(v)) selected[v] = unsigned(indexMap.size()), indexMap.push_back(v);
    for (const auto& kept : selected)
        for (const auto& e : g[kept.first])
            if (e.second > threshold && !selected.count(e.first) && !neighbours.count(e.first))
                neighbours[e.first] = unsigned(indexMap.size()), indexMap.push_back(e.first);
    sub.assign(indexMap.size(), {});
    for (size_t r = 0; r < indexMap.size(); ++r)
        for (const auto& e : g[indexMap[r]]) {
            auto s = selected.find(e.first);
            auto n = neighbours.find(e.first);
            if (s != selected.end()) sub[r][s->second] = e.second;
            if (n != neighbours.end()) sub[r][n->second] = e.second;
        }
    double total = 0;
    for (const auto& row : sub)
        for (const auto& e : row) total += double(e.second);
    if (total == 0) return;
    const Scalar rows = Scalar(sub.size());
    for (auto& row : sub)
        for (auto& e : row) e.second = Scalar(double(Scalar(e.second * rows)) / total);
}

// Rows of 1 to 40 edges in random order with weights up to 1.5; every 97th
// row also names a vertex beyond the graph with a weight below 1.
template <typename Matrix>
Matrix randomGraph(std::mt19937& rng, unsigned int n) {
    Matrix g(n);
    std::uniform_real_distribution<float> weight(0.f, 1.5f);
    for (unsigned int v = 0; v < n; ++v) {
        for (int e = 1 + int(rng() % 40); e > 0; --e) g[v][unsigned(rng() % n)] = weight(rng);
        if (v % 97 == 0) g[v][n + unsigned(rng() % 5)] = 0.5f;
    }
    return g;
}

template <typename Matrix>
std::vector<std::vector<std::pair<unsigned int, double>>> inIterationOrder(const Matrix& m) {
    std::vector<std::vector<std::pair<unsigned int, double>>> rows;
    for (const auto& row : m) rows.emplace_back(row.begin(), row.end());
    return rows;
}
}  // namespace

// Graphs large enough for the rows to be copied on several threads: the same
// rows, bit for bit and in the same iteration order, as the plain algorithm,
// on 1, 3 and 8 threads.
TYPED_TEST(SubGraph, LargeGraphsMatchThePlainAlgorithmOnAnyThreadCount) {
    std::mt19937 rng(31);
    const auto g = randomGraph<TypeParam>(rng, 6000);
    std::vector<unsigned int> all(6000), some, few{17, 4000, 17, 3};
    for (unsigned int v = 0; v < all.size(); ++v) all[v] = 5999 - v;
    for (int k = 0; k < 2500; ++k) some.push_back(unsigned(rng() % 6000));
    std::vector<unsigned int> ascending = some;
    std::sort(ascending.begin(), ascending.end());
    const std::vector<std::tuple<const char*, std::vector<unsigned int>, float>> cases{
        {"some, neighbours above 1", some, 1.f},             // neighbours in every row
        {"some, neighbours above 1.4", some, 1.4f},          // fewer neighbours
        {"some, no neighbours", some, 10.f},                 // the induced sub-graph
        {"some ascending, no neighbours", ascending, 10.f},  // rows already in column order
        {"all, reversed", all, 1.f},                         // every vertex, in reverse
        {"few, below the threaded size", few, 0.5f},         // one thread, a repeat
    };
    const int threads = omp_get_max_threads();
    for (const auto& [what, selection, threshold] : cases) {
        TypeParam want;
        std::vector<unsigned int> wantMap;
        plainSubGraph(g, selection, want, wantMap, threshold);
        for (int t : {1, 3, 8}) {
            omp_set_num_threads(t);
            TypeParam got(2);
            std::vector<unsigned int> gotMap{9};
            vel::utils::extractSubGraph(g, selection, got, gotMap, threshold);
            EXPECT_EQ(gotMap, wantMap) << what << ", " << t << " threads";
            EXPECT_TRUE(inIterationOrder(got) == inIterationOrder(want)) << what << ", " << t << " threads";
        }
    }
    omp_set_num_threads(threads);
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
