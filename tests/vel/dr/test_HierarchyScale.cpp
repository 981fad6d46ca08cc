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
