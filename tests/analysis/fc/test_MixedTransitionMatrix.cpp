#include "FCTreeTestData.h"

#include "analysis/fc/MCV_MixedTransitionMatrix.h"

#include <omp.h>

#include <algorithm>

using NodePtr = MCV_FCTree::NodePtr;
using Row = vel::data::MapMemEff<unsigned, float>;
using Matrix = fctest::Matrix;
using Nodes = MCV_FCTree::PointNodes;

namespace {

constexpr unsigned None = 4294967295u;
using Build = std::tuple<std::vector<Row::container_type>, Nodes, std::vector<std::vector<unsigned>>>;

Build snapshot(MCV_FCTree& t, const Matrix& mixed, const Nodes& nodes) {
    Build b;
    std::get<1>(b) = nodes;
    for (const Row& row : mixed) std::get<0>(b).push_back(row.memory());
    for (const NodePtr& leaf : *t.leaves()) std::get<2>(b).push_back(leaf->embeddingIdxs);
    return b;
}

// The builders' algorithms as written, with linear searches and a halving
// search. PruneDeepest tests the deepest leaves for repeats too: without it a
// point that a coarser leaf brought in first is selected twice and the matrix
// has fewer rows than points.
int deepestOf(MCV_FCTree& t) {
    auto byScale = [](const NodePtr& a, const NodePtr& b) { return a->scale < b->scale; };
    return (*std::min_element(t.leaves()->begin(), t.leaves()->end(), byScale))->scale;
}
// Landmark j of the leaf as a landmark of scale s, if it is one.
bool landmarkAt(MCV_DerivedDataHierarchy& h, const NodePtr& leaf, size_t j, int s, unsigned& k) {
    k = leaf->landmarkIdxs[j];
    return leaf->scale == s || h.landmarkIdxFromGlobalIdx(leaf->globalIdxs[j], s, k);
}
bool has(const std::vector<unsigned>& list, unsigned k) { return std::find(list.begin(), list.end(), k) != list.end(); }
void normalise(Row& row) {
    float sum = 0;
    for (auto& e : row) sum += e.second;
    for (auto& e : row) e.second /= sum;
}
void standard(MCV_FCTree& t, MCV_DerivedDataHierarchy&, Matrix& mixed, Nodes& nodes) {
    for (auto* list : {t.focus(), t.context()})
        for (const NodePtr& leaf : *list) {
            MCV_MixedTransitionMatrix::appendSparseTransitionMatrix(&mixed, &leaf->transitionMatrix);
            leaf->embeddingIdxs.clear();
            for (size_t j = 0; j < leaf->numLandmarks(); ++j)
                nodes.emplace_back(leaf, int(j)), leaf->embeddingIdxs.push_back(unsigned(nodes.size() - 1));
        }
}
void pruneDeepest(MCV_FCTree& t, MCV_DerivedDataHierarchy& h, Matrix& mixed, Nodes& nodes) {
    const int d = deepestOf(t);
    std::vector<unsigned> sel;
    for (const NodePtr& leaf : *t.leaves()) {
        leaf->embeddingIdxs.assign(leaf->numLandmarks(), None);
        for (unsigned j = 0, k; j < leaf->numLandmarks(); ++j)
            if (landmarkAt(h, leaf, j, d, k) && !has(sel, k))
                nodes.emplace_back(leaf, j), sel.push_back(k), leaf->embeddingIdxs[j] = unsigned(sel.size() - 1);
    }
    h.transitionMatrixForSelection(&mixed, d, &sel);
}
void overwriteContext(MCV_FCTree& t, MCV_DerivedDataHierarchy& h, Matrix& mixed, Nodes& nodes) {
    pruneDeepest(t, h, mixed, nodes);
    const int d = deepestOf(t);
    for (const NodePtr& leaf : *t.leaves())
        for (size_t r = 0; r < leaf->transitionMatrix.size() && leaf->scale != d; ++r) {
            if (leaf->embeddingIdxs[r] == None) continue;
            Row& row = mixed[leaf->embeddingIdxs[r]];
            for (auto& [c, v] : leaf->transitionMatrix[r]) {
                const unsigned e2 = leaf->embeddingIdxs[c];
                for (int lo = 0, hi = int(row.size()) - 1, mid; e2 != None && lo <= hi;) {
                    auto it = row.begin() + (mid = int((lo + hi) * 0.5));
                    if (it->first == e2 && it->second > 0.0f) it->second = v;
                    if (it->first == e2) break;
                    it->first < e2 ? lo = mid + 1 : hi = mid - 1;
                }
            }
            normalise(row);
        }
}
void pushDown(MCV_FCTree& t, MCV_DerivedDataHierarchy& h, Matrix& mixed, Nodes& nodes) {
    standard(t, h, mixed, nodes);
    for (const NodePtr& A : *t.leaves())
        for (const NodePtr& B : *t.leaves()) {
            const int s = std::max(A->scale, B->scale);
            std::vector<unsigned> sel, loc;
            size_t nA = 0;
            for (const NodePtr& X : {A, B}) {
                for (unsigned j = 0, k; j < X->numLandmarks(); ++j)
                    if (landmarkAt(h, X, j, s, k) && !has(sel, k)) sel.push_back(k), loc.push_back(j);
                nA = X == A ? sel.size() : nA;
            }
            Matrix m;
            h.transitionMatrixForSelection(&m, s, &sel);
            for (size_t r = 0; r < nA && A->id != B->id; ++r)
                for (auto& [c, v] : m[r])
                    if (c >= nA) mixed[A->embeddingIdxs[loc[r]]][B->embeddingIdxs[loc[c]]] = v;
        }
    for (Row& row : mixed) normalise(row);
}

}  // namespace

TEST(MixedTransitionMatrix, EveryModeEqualsItsAlgorithmOnRandomTrees) {
    static const auto h = fctest::randomHierarchy(1200, 4, 11);
    std::mt19937 rng(5);
    int shared = 0, overwritten = 0;
    for (int trial = 0; trial < 12; ++trial) {
        MCV_FCTree t;
        fctest::growRandomTree(t, *h, rng, trial);
        std::vector<Matrix> m(4);
        std::vector<Nodes> n(4);
        std::vector<Build> reference;
        for (auto algorithm : {standard, pruneDeepest, overwriteContext, pushDown}) {
            algorithm(t, *h, m[reference.size()], n[reference.size()]);
            reference.push_back(snapshot(t, m[reference.size()], n[reference.size()]));
        }
        EXPECT_TRUE(trial > 0 || reference[0] == snapshot(t, *h->transitionMatrix(3), n[0])) << "a root: the top";
        for (int mode : {0, 1, 2, 3, 7}) {
            Matrix mixed;
            Nodes nodes;
            MCV_MixedTransitionMatrix::buildMixedTransitionMatrix(mode, &t, h.get(), &mixed, &nodes);
            EXPECT_TRUE(snapshot(t, mixed, nodes) == reference[mode % 7]) << "mode " << mode << ", trial " << trial;
            EXPECT_TRUE(MCV_MixedTransitionMatrix::invariantsHold(&t, &mixed, &nodes));
        }
        for (size_t i = 0; i < m[1].size(); ++i) overwritten += m[1][i].memory() != m[2][i].memory();
        for (auto& leaf : std::get<2>(reference[1])) shared += std::count(leaf.begin(), leaf.end(), None);
    }
    EXPECT_TRUE(shared > 0 && overwritten > 0) << "cases the trees did not reach";
}

// Leaves of more than 2,000 landmarks, whose rows the builders fill on several
// threads: every mode gives the algorithm's matrix, points and indices on 1, 3
// and 8 threads.
TEST(MixedTransitionMatrix, LargeLeavesGiveTheAlgorithmsResultOnAnyThreadCount) {
    static const auto h = fctest::randomHierarchy(9000, 3, 23);
    std::mt19937 rng(9);
    const int threads = omp_get_max_threads();
    size_t largest = 0;
    for (int trial = 0; trial < 3; ++trial) {
        MCV_FCTree t;
        fctest::growRandomTree(t, *h, rng, 2 + trial);
        for (const NodePtr& leaf : *t.leaves()) largest = std::max(largest, leaf->numLandmarks());
        std::vector<Build> reference;
        for (auto algorithm : {standard, pruneDeepest, overwriteContext, pushDown}) {
            Matrix m;
            Nodes n;
            algorithm(t, *h, m, n);
            reference.push_back(snapshot(t, m, n));
        }
        for (int mode : {0, 1, 2, 3})
            for (int threadCount : {1, 3, 8}) {
                omp_set_num_threads(threadCount);
                Matrix mixed{Row()};
                Nodes nodes;
                MCV_MixedTransitionMatrix::buildMixedTransitionMatrix(mode, &t, h.get(), &mixed, &nodes);
                EXPECT_TRUE(snapshot(t, mixed, nodes) == reference[size_t(mode)])
                    << "mode " << mode << ", trial " << trial << ", " << threadCount << " threads";
            }
    }
    omp_set_num_threads(threads);
    EXPECT_GT(largest, 2048u) << "no leaf large enough for several threads";
}
