#include "FCTreeTestData.h"

#include "analysis/fc/MCV_MixedTransitionMatrix.h"

#include <algorithm>

using namespace fctest;
using NodePtr = MCV_FCTree::NodePtr;
using M = MCV_MixedTransitionMatrix;

namespace {

constexpr unsigned None = 4294967295u;

// What a build leaves: the matrix, the point list and every leaf's indices.
struct Build {
    Matrix mixed;
    MCV_FCTree::PointNodes nodes;
    std::vector<std::vector<unsigned>> embedded;
    void snapshot(MCV_FCTree& tree) {
        embedded.clear();
        for (const NodePtr& leaf : *tree.leaves()) embedded.push_back(leaf->embeddingIdxs);
    }
    bool operator==(const Build& o) const {
        return nodes == o.nodes && embedded == o.embedded && mixed.size() == o.mixed.size() &&
               std::equal(mixed.begin(), mixed.end(), o.mixed.begin(),
                          [](auto& a, auto& b) { return a.memory() == b.memory(); });
    }
};

// The builders' algorithms as written: linear searches and a halving search.
// PruneDeepest tests every leaf for repeats, the deepest ones too: without it
// a point that a coarser leaf brought in first is selected twice and the
// matrix has fewer rows than points.
void standard(MCV_FCTree& t, Build& b) {
    for (auto* list : {t.focus(), t.context()})
        for (const NodePtr& leaf : *list) {
            const unsigned offset = unsigned(b.mixed.size());
            for (auto& row : leaf->transitionMatrix) {
                b.mixed.emplace_back();
                for (auto& [c, v] : row) b.mixed.back()[offset + c] = v;
            }
            leaf->embeddingIdxs.resize(leaf->numLandmarks());
            for (size_t j = 0; j < leaf->numLandmarks(); ++j)
                b.nodes.emplace_back(leaf, int(j)), leaf->embeddingIdxs[j] = unsigned(b.nodes.size() - 1);
        }
}
bool contains(const std::vector<unsigned>& list, unsigned k) {
    return std::find(list.begin(), list.end(), k) != list.end();
}
int pruneDeepest(MCV_FCTree& t, MCV_DerivedDataHierarchy& h, Build& b) {
    int d = 999;
    for (const NodePtr& leaf : *t.leaves()) d = std::min(d, leaf->scale);
    std::vector<unsigned> sel;
    for (const NodePtr& leaf : *t.leaves()) {
        leaf->embeddingIdxs.resize(leaf->numLandmarks());
        for (size_t j = 0; j < leaf->numLandmarks(); ++j) {
            unsigned k = leaf->landmarkIdxs[j];
            if ((leaf->scale != d && !h.landmarkIdxFromGlobalIdx(leaf->globalIdxs[j], d, k)) || contains(sel, k)) {
                leaf->embeddingIdxs[j] = None;
                continue;
            }
            b.nodes.emplace_back(leaf, int(j)), sel.push_back(k), leaf->embeddingIdxs[j] = unsigned(sel.size() - 1);
        }
    }
    h.transitionMatrixForSelection(&b.mixed, d, &sel);
    return d;
}
void normalise(vel::data::MapMemEff<unsigned, float>& row) {
    float sum = 0;
    for (auto& e : row) sum += e.second;
    for (auto& e : row) e.second /= sum;
}
void overwriteContext(MCV_FCTree& t, MCV_DerivedDataHierarchy& h, Build& b) {
    const int d = pruneDeepest(t, h, b);
    for (const NodePtr& leaf : *t.leaves()) {
        if (leaf->scale == d) continue;
        for (size_t r = 0; r < leaf->transitionMatrix.size(); ++r) {
            const unsigned e = leaf->embeddingIdxs[r];
            if (e == None) continue;
            auto& row = b.mixed[e];
            for (auto& [c, v] : leaf->transitionMatrix[r]) {
                const unsigned e2 = leaf->embeddingIdxs[c];
                if (e2 == None) continue;
                auto it = row.begin();
                for (int lo = 0, hi = int(row.size()) - 1; lo <= hi;) {
                    const int mid = int((lo + hi) * 0.5);
                    if ((it = row.begin() + mid)->first == e2) break;
                    (it->first < e2 ? lo = mid + 1 : hi = mid - 1), it = row.end();
                }
                if (it != row.end() && it->second > 0.0f) it->second = v;
            }
            if (!row.empty()) normalise(row);
        }
    }
}
void pushDown(MCV_FCTree& t, MCV_DerivedDataHierarchy& h, Build& b) {
    standard(t, b);
    for (const NodePtr& A : *t.leaves())
        for (const NodePtr& B : *t.leaves()) {
            if (A->id == B->id) continue;
            const int s = std::max(A->scale, B->scale);
            std::vector<unsigned> sel, loc;
            size_t nA = 0;
            for (const NodePtr& X : {A, B}) {
                for (size_t j = 0; j < X->numLandmarks(); ++j) {
                    unsigned k = X->landmarkIdxs[j];
                    if (X->scale != s && !h.landmarkIdxFromGlobalIdx(X->globalIdxs[j], s, k)) continue;
                    if (!contains(sel, k)) sel.push_back(k), loc.push_back(unsigned(j));
                }
                if (X == A) nA = sel.size();
            }
            Matrix m;
            h.transitionMatrixForSelection(&m, s, &sel);
            for (size_t r = 0; r < nA; ++r)
                for (auto& [c, v] : m[r])
                    if (c >= nA) b.mixed[A->embeddingIdxs[loc[r]]][B->embeddingIdxs[loc[c]]] = v;
        }
    for (auto& row : b.mixed)
        if (!row.empty()) normalise(row);
}

Build built(int mode, MCV_FCTree& t, MCV_DerivedDataHierarchy& h) {
    Build b;
    M::buildMixedTransitionMatrix(mode, &t, &h, &b.mixed, &b.nodes);
    b.snapshot(t);
    return b;
}
double sum(const vel::data::MapMemEff<unsigned, float>& row) {
    double s = 0;
    for (auto& e : row) s += e.second;
    return s;
}

}  // namespace

TEST(MixedTransitionMatrix, EveryModeEqualsItsAlgorithmOnRandomTrees) {
    static const auto h = randomHierarchy(1200, 4, 11);
    std::mt19937 rng(5);
    int shared = 0, overwritten = 0, crossLinks = 0;
    for (int trial = 0; trial < 12; ++trial) {
        MCV_FCTree t;
        growRandomTree(t, *h, rng, trial);
        std::vector<Build> reference(4);
        standard(t, reference[0]), reference[0].snapshot(t);
        pruneDeepest(t, *h, reference[1]), reference[1].snapshot(t);
        overwriteContext(t, *h, reference[2]), reference[2].snapshot(t);
        pushDown(t, *h, reference[3]), reference[3].snapshot(t);
        for (int mode : {0, 1, 2, 3, 7}) {
            const Build b = built(mode, t, *h);
            EXPECT_TRUE(b == reference[mode == 7 ? 0 : mode]) << "mode " << mode << ", trial " << trial;
            ASSERT_EQ(b.mixed.size(), b.nodes.size());
            for (size_t l = 0; l < t.leaves()->size(); ++l)
                for (size_t j = 0; j < b.embedded[l].size(); ++j) {
                    const unsigned e = b.embedded[l][j];
                    shared += mode == 1 && e == None;
                    EXPECT_TRUE(e == None || b.nodes.at(e) == std::make_pair((*t.leaves())[l], int(j)));
                }
        }
        // Standard: blocks only; PushDown adds only links across leaves and
        // OverwriteContext adds nothing; their rows sum to 1.
        const Build base = reference[0], pruned = reference[1];
        for (size_t i = 0; i < base.mixed.size(); ++i) {
            for (auto& [c, v] : base.mixed[i]) EXPECT_EQ(base.nodes[c].first, base.nodes[i].first);
            for (auto& [c, v] : reference[3].mixed[i]) {
                const bool across = base.nodes[c].first != base.nodes[i].first;
                crossLinks += across;
                EXPECT_TRUE(across || base.mixed[i].count(c));
            }
            if (!reference[3].mixed[i].empty()) EXPECT_NEAR(sum(reference[3].mixed[i]), 1.0, 1e-5);
        }
        int deepest = 999;
        for (const NodePtr& leaf : *t.leaves()) deepest = std::min(deepest, leaf->scale);
        for (size_t i = 0; i < pruned.mixed.size(); ++i) {
            const auto &before = pruned.mixed[i].memory(), &after = reference[2].mixed[i].memory();
            ASSERT_EQ(before.size(), after.size());
            for (size_t k = 0; k < before.size(); ++k) EXPECT_EQ(before[k].first, after[k].first);
            overwritten += before != after;
            if (pruned.nodes[i].first->scale != deepest && !after.empty())
                EXPECT_NEAR(sum(reference[2].mixed[i]), 1.0, 1e-5);
        }
    }
    EXPECT_GT(shared, 0) << "no tree embedded a shared landmark once";
    EXPECT_GT(overwritten, 0);
    EXPECT_GT(crossLinks, 0);
}

TEST(MixedTransitionMatrix, ARootAloneIsTheTopScale) {
    static const auto h = randomHierarchy(200, 3, 3);
    MCV_FCTree t;
    t.reset(2, *h->transitionMatrix(2), h.get());
    const Build b = built(TransitionMatrixStandard, t, *h);
    Build top;
    top.mixed = *h->transitionMatrix(2);
    for (size_t i = 0; i < top.mixed.size(); ++i) top.nodes.emplace_back(t.root(), int(i));
    top.snapshot(t);
    EXPECT_TRUE(b == top);
}
