#include <omp.h>

#include "vel/dr/HierarchyTestData.h"
#include "vel/dr/SparseTSNEUserDefProbabilities.h"
#include "vel/dr/WalkStreams.h"

using namespace hsnetest;

TEST(HierarchyScale, AreaOfInfluenceSharesAreAbsorptionProbabilities) {
    // Hubs 0 <-> 1 fed by 30 leaves become the only landmarks (one walk of one
    // step, T = 10); the vertices 2..5 between them mix before being absorbed.
    const double Q[4][6] = {{.5, 0, 0, .5, 0, 0}, {0, .4, .3, 0, .3, 0}, {0, .5, 0, .5, 0, 0}, {0, 0, .5, 0, .5, 0}};
    veltest::SparseMatrix P(36);
    P[0][1] = P[1][0] = 1.f;
    for (unsigned int c = 12; c < 36; ++c)
        if (Q[c / 6 - 2][c % 6] > 0) P[c / 6][c % 6] = static_cast<float>(Q[c / 6 - 2][c % 6]);
    for (unsigned int i = 6; i < 36; ++i) P[i][i % 2] = 1.f;
    Hsne::Parameters p;
    std::tie(p.seed, p.mcmcsNumWalks, p.mcmcsWalkLength, p.mcmcsLandmarkThresh, p.numWalksPerLandmark) =
        std::make_tuple(42, 1, 0, 10.f, 20000);
    Hsne h;
    h.initialize(P, p);
    h.addScale();
    ASSERT_EQ(h.scale(1).landmarkToPreviousScaleIdx, (std::vector<unsigned int>{0, 1}));
    std::vector<double> absorbed{1, 0, 0, 0, 0, 0};  // into landmark 0, by Gauss-Seidel sweeps
    for (unsigned int c = 0; c < 500 * 24; ++c)
        absorbed[c % 24 / 6 + 2] = (c % 6 ? absorbed[c % 24 / 6 + 2] : 0) + Q[c % 24 / 6][c % 6] * absorbed[c % 6];
    absorbed[0] = 0, absorbed[1] = 1;  // one step from a hub ends on the other hub
    double weight0 = 0;
    for (unsigned int i = 0; i < 36; ++i) {
        Values row(h.scale(1).areaOfInfluence[i].begin(), h.scale(1).areaOfInfluence[i].end());
        EXPECT_NEAR(row[0], i < 6 ? absorbed[i] : i % 2 == 0, 0.01) << i;
        EXPECT_NEAR(row[0] + row[1], 1.0, 1e-6) << i;
        weight0 += row[0];
    }
    EXPECT_NEAR(h.scale(1).landmarkWeight[0], weight0, 1e-3);
}

// Seed 42, Annoy: one file on 1, 2 and 8 threads, the same scale-1 weights from
// both constructions (FLANN seeds its trees from std::random_device, hnswlib
// inserts in parallel). Points of weight 0 leave their rows empty, not 0 / 0.
TEST(HierarchyScale, SameSeedSameFileOnAnyThreadCountAndZeroWeightsAddNothing) {
    const auto b = veltest::makeBlobs(3, 400, 5, 8.0, 3);
    std::vector<float> weights[2];
    for (bool preserving : {false, true}) {
        std::string first;
        for (int threads : {1, 2, 8}) {
            omp_set_num_threads(threads);
            Hsne h = built(b, 1, preserving, 2);
            Hsne::Scale& s1 = h.scale(1);
            if (threads == 1) weights[preserving] = s1.landmarkWeight;
            for (unsigned int l = 0; l < s1.size(); ++l) s1.landmarkWeight[l] *= s1.landmarkToOriginalIdx[l] >= 400;
            h.addScale();
            if (threads == 1) first = saved(h);
            EXPECT_TRUE(h.scale(2).size() > 1 && saved(h) == first) << threads << " threads, " << preserving;
            expectSound(h);
            for (unsigned int l = 0; l < h.scale(2).size(); ++l)
                EXPECT_EQ(h.top_scale().transitionMatrix[l].empty(), h.top_scale().landmarkToOriginalIdx[l] < 400);
        }
    }
    omp_set_num_threads(omp_get_num_procs());
    for (std::size_t l = 0; l < weights[1].size(); ++l) EXPECT_NEAR(weights[0].at(l), weights[1][l], 1e-3) << l;
}

// No entry joins two blobs, each keeps fewer landmarks per scale, and the top's embedding keeps them apart.
TEST(HierarchyScale, FiveBlobsStayApartOnEveryScale) {
    const auto& [b, h] = fiveBlobs();
    expectSound(h);
    const auto blob = [&](const Hsne::Scale& x, unsigned int l) { return b.labels[x.landmarkToOriginalIdx[l]]; };
    std::vector<unsigned int> previous(5, b.n / 5);
    for (unsigned int s = 1; s < h.hierarchy().size(); ++s) {
        const Hsne::Scale &scale = h.scale(s), &below = h.scale(s - 1);
        std::size_t crossings = 0;
        std::vector<unsigned int> perBlob(5, 0);
        for (unsigned int l = 0; l < scale.size(); ++l) {
            ++perBlob[blob(scale, l)];
            for (const auto& e : scale.transitionMatrix[l]) crossings += blob(scale, e.first) != blob(scale, l);
        }
        for (unsigned int i = 0; i < below.size(); ++i)
            for (const auto& e : scale.areaOfInfluence[i]) crossings += blob(scale, e.first) != blob(below, i);
        for (int k = 0; k < 5; ++k)
            EXPECT_TRUE(crossings == 0 && perBlob[k] > 0 && perBlob[k] < previous[k]) << s << ": " << crossings;
        previous = perBlob;
    }

    vel::dr::SparseTSNEUserDefProbabilities<float, veltest::SparseMatrix> engine;
    vel::data::Embedding<float> embedding;
    engine.initialize(h.top_scale().transitionMatrix, &embedding, veltest::seeded(3));
    for (int t = 0; t < 500; ++t) engine.doAnIteration();
    const std::vector<float>& y = embedding.getContainer();
    const unsigned int n = h.top_scale().size();
    const auto near = veltest::exactNeighbours(n, 11, [&](unsigned int i, unsigned int j) {
        return i == j ? -1.0 : veltest::squaredL2(&y[2 * i], &y[2 * j], 2);
    });
    double same = -1.0 * n;  // each point is its own first neighbour
    for (unsigned int i = 0; i < 11 * n; ++i)
        same += blob(h.top_scale(), near[i]) == blob(h.top_scale(), near[i / 11 * 11]);
    std::printf("top scale of %u landmarks: 10-NN label accuracy %.4f\n", n, same / (10.0 * n));
    EXPECT_GE(same / (10.0 * n), 0.95);
}

namespace {

// Scale s of h built again as the memory-preserving construction is written:
// walks one at a time from the points' own streams, ordered maps for the counts,
// the transposed area of influence and the similarities.
Hsne::Scale referenceScale(const Hsne& h, unsigned int s, const Hsne::Parameters& p) {
    const Hsne::Scale& P = h.scale(s - 1);
    const veltest::SparseMatrix& M = P.transitionMatrix;
    const unsigned int n = static_cast<unsigned int>(M.size());
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<unsigned int> visits(n, 0);
    // The selection of scale s draws from the streams of scale number s + 1.
    for (unsigned int i = 0; i < n; ++i) {
        std::minstd_rand g = vel::dr::walkEngine(42, s + 1, vel::dr::WalkPurpose::Selection, i);
        for (int w = 0; w < p.mcmcsNumWalks; ++w) {
            const int end = h.randomWalk(i, static_cast<unsigned int>(p.mcmcsWalkLength), M, u, g);
            if (end >= 0) ++visits[static_cast<unsigned int>(end)];
        }
    }
    Hsne::Scale S;
    S.previousScaleToLandmarkIdx.assign(n, -1);
    for (unsigned int i = 0; i < n; ++i) {
        if (visits[i] <= static_cast<unsigned int>(p.mcmcsNumWalks * p.mcmcsLandmarkThresh)) continue;
        S.previousScaleToLandmarkIdx[i] = static_cast<int>(S.landmarkToPreviousScaleIdx.size());
        S.landmarkToPreviousScaleIdx.push_back(i);
        S.landmarkToOriginalIdx.push_back(P.landmarkToOriginalIdx[i]);
    }
    const unsigned int L = S.size();
    const float W = static_cast<float>(p.numWalksPerLandmark);
    std::vector<Values> influence(n), transposed(L), transition(L);
    for (unsigned int i = 0; i < n; ++i) {
        std::minstd_rand g = vel::dr::walkEngine(42, s, vel::dr::WalkPurpose::Influence, i);
        for (int w = 0; w < p.numWalksPerLandmark; ++w) {
            const int end = h.randomWalk(i, S.previousScaleToLandmarkIdx, 200, M, u, g);
            if (end >= 0) influence[i][static_cast<unsigned int>(S.previousScaleToLandmarkIdx[end])] += 1.f;
        }
        for (auto& [b, v] : influence[i]) v /= W, transposed[b][i] = v;
    }
    S.landmarkWeight.assign(L, 0.f);
    for (const Values& row : influence)
        for (const auto& [b, v] : row) S.landmarkWeight[b] += v;
    const double t = static_cast<double>(p.pruneThresh) * 0.01;
    for (unsigned int a = 0; a < L; ++a) {
        Values similarity;
        for (const auto& [i, va] : transposed[a])
            for (const auto& [b, vb] : influence[i])
                if (b != a && static_cast<double>(va) > t && static_cast<double>(vb) > t)
                    similarity[b] += va * vb * P.landmarkWeight[i];
        for (int pass = 0; pass < 2; ++pass) {
            double sum = 0;
            for (const auto& entry : similarity) sum += entry.second;
            if (!(sum > 0)) break;
            transition[a].clear();
            for (const auto& [b, v] : similarity) {
                const float share = static_cast<float>(static_cast<double>(v) / sum);
                if (pass == 1 || share > 0.001f) transition[a][b] = share;
            }
            similarity = transition[a];
        }
    }
    S.areaOfInfluence = rows(influence);
    S.transitionMatrix = rows(transition);
    return S;
}

bool sameRows(const veltest::SparseMatrix& a, const veltest::SparseMatrix& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t r = 0; r < a.size(); ++r)
        if (!std::equal(a[r].begin(), a[r].end(), b[r].begin(), b[r].end())) return false;
    return true;
}

}  // namespace

// Bit for bit the construction as written, with and without pruning, on one and on three threads;
// 4,500 points are walked in three blocks.
TEST(HierarchyScale, MemoryPreservingScalesAreTheWrittenConstruction) {
    const auto b = veltest::makeBlobs(3, 1500 / kShrink, 5, 6.0, 21);
    for (float prune : {0.f, 1.5f}) {
        for (int threads : {1, 3}) {
            omp_set_num_threads(threads);
            Hsne::Parameters p;
            std::tie(p.seed, p.knnLibrary, p.memoryPreserving, p.pruneThresh, p.numWalksPerLandmark) =
                std::make_tuple(42, 1, true, prune, 60);
            Hsne h;
            h.setDimensionality(static_cast<int>(b.dims));
            h.initialize(const_cast<float*>(b.data.data()), b.n, p);
            h.addScale();
            h.addScale();
            for (unsigned int s = 1; s < 3; ++s) {
                const Hsne::Scale expected = referenceScale(h, s, p), &built = h.scale(s);
                SCOPED_TRACE(testing::Message() << "scale " << s << ", pruning " << prune << ", " << threads);
                ASSERT_GT(expected.size(), 10u);
                EXPECT_EQ(built.landmarkToPreviousScaleIdx, expected.landmarkToPreviousScaleIdx);
                EXPECT_EQ(built.landmarkToOriginalIdx, expected.landmarkToOriginalIdx);
                EXPECT_EQ(built.previousScaleToLandmarkIdx, expected.previousScaleToLandmarkIdx);
                EXPECT_EQ(built.landmarkWeight, expected.landmarkWeight);
                EXPECT_TRUE(sameRows(built.areaOfInfluence, expected.areaOfInfluence));
                EXPECT_TRUE(sameRows(built.transitionMatrix, expected.transitionMatrix));
            }
        }
    }
    omp_set_num_threads(omp_get_num_procs());
}
