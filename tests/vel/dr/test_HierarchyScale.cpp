#include <omp.h>

#include "vel/dr/HierarchyTestData.h"
#include "vel/dr/SparseTSNEUserDefProbabilities.h"

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
        const auto& row = h.scale(1).areaOfInfluence[i];
        const double share0 = row.count(0) ? row.find(0)->second : 0.0;
        const double expected = i < 6 ? absorbed[i] : i % 2 == 0;
        EXPECT_NEAR(share0, expected, 0.01) << i;
        EXPECT_NEAR(share0 + (row.count(1) ? row.find(1)->second : 0.0), 1.0, 1e-6) << i;
        weight0 += share0;
    }
    EXPECT_NEAR(h.scale(1).landmarkWeight[0], weight0, 1e-3);
    EXPECT_FLOAT_EQ(h.statistics().aoiNumWalks, 20000.f * 36);
}

// Points of weight 0 add nothing: the rows only they would fill stay empty
// instead of dividing 0 by 0.
TEST(HierarchyScale, PointsOfWeightZeroLeaveEmptyRowsNotNaN) {
    const auto b = veltest::makeBlobs(2, 300, 5, 8.0, 4);
    for (bool preserving : {false, true}) {
        Hsne h = built(b, 1, preserving);
        std::fill_n(h.scale(0).landmarkWeight.begin(), 300, 0.f);  // the first blob
        for (int s = 0; s < 3; ++s) h.addScale();
        expectSound(h);
        for (unsigned int l = 0; l < h.scale(1).size(); ++l)
            EXPECT_EQ(h.scale(1).transitionMatrix[l].empty(), h.scale(1).landmarkToOriginalIdx[l] < 300) << l;
    }
}

// Seed 42 with Annoy: the same file on 1, 2 and 8 threads in both
// constructions, and on one thread the same scale-1 weights from both.
// FLANN shuffles its trees from std::random_device and hnswlib inserts in
// parallel, so neither repeats its graph.
TEST(HierarchyScale, SameSeedSameFileOnAnyThreadCount) {
    const auto b = veltest::makeBlobs(3, 400, 5, 8.0, 3);
    std::vector<float> weights[2];
    const int before = omp_get_max_threads();
    for (bool preserving : {false, true}) {
        std::string first;
        for (int threads : {1, 2, 8}) {
            omp_set_num_threads(threads);
            const Hsne h = built(b, 1, preserving, 3);
            if (threads == 1) first = saved(h), weights[preserving] = h.scale(1).landmarkWeight;
            EXPECT_TRUE(h.scale(2).size() > 1 && saved(h) == first) << threads << " threads, " << preserving;
        }
    }
    omp_set_num_threads(before);
    ASSERT_EQ(weights[0].size(), weights[1].size());
    for (std::size_t l = 0; l < weights[0].size(); ++l) EXPECT_NEAR(weights[0][l], weights[1][l], 1e-3) << l;
}

// No transition or area-of-influence entry joins two blobs, every blob keeps
// fewer landmarks on every scale, and the CPU engine keeps them apart on the top.
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
        EXPECT_EQ(crossings, 0u) << "scale " << s;
        for (int k = 0; k < 5; ++k) EXPECT_TRUE(perBlob[k] > 0 && perBlob[k] < previous[k]) << s << " " << perBlob[k];
        previous = perBlob;
    }

    vel::dr::SparseTSNEUserDefProbabilities<float, veltest::SparseMatrix> engine;
    engine.setTheta(0);
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
