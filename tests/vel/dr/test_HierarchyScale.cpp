#include <gtest/gtest.h>
#include <omp.h>

#include "vel/VelTestData.h"
#include "vel/dr/HierarchicalSNE.h"

using Hsne = vel::dr::HierarchicalSNE<float, veltest::SparseMatrix>;

TEST(HierarchyScale, AreaOfInfluenceSharesAreAbsorptionProbabilities) {
    // Hubs 0 <-> 1 fed by 30 leaves become the only landmarks (one walk of one
    // step, T = 10); the vertices 2..5 between them mix before being absorbed.
    const double Q[4][6] = {{.5, 0, 0, .5, 0, 0}, {0, .4, .3, 0, .3, 0}, {0, .5, 0, .5, 0, 0}, {0, 0, .5, 0, .5, 0}};
    veltest::SparseMatrix P(36);
    P[0][1] = P[1][0] = 1.f;
    for (unsigned int i = 2; i < 6; ++i)
        for (unsigned int j = 0; j < 6; ++j)
            if (Q[i - 2][j] > 0) P[i][j] = static_cast<float>(Q[i - 2][j]);
    for (unsigned int i = 6; i < 36; ++i) P[i][i % 2] = 1.f;
    Hsne::Parameters p;
    std::tie(p.seed, p.mcmcsNumWalks, p.mcmcsWalkLength, p.mcmcsLandmarkThresh, p.numWalksPerLandmark) =
        std::make_tuple(42, 1, 0, 10.f, 20000);
    Hsne h;
    h.initialize(P, p);
    h.addScale();
    ASSERT_EQ(h.scale(1).landmarkToPreviousScaleIdx, (std::vector<unsigned int>{0, 1}));
    std::vector<double> absorbed(6, 0.0);  // into landmark 0; vertex 1 counts 0
    absorbed[0] = 1;
    for (int sweep = 0; sweep < 500; ++sweep)
        for (unsigned int i = 2; i < 6; ++i) {
            absorbed[i] = 0;
            for (unsigned int j = 0; j < 6; ++j) absorbed[i] += Q[i - 2][j] * absorbed[j];
        }
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

TEST(HierarchyScale, SameSeedGivesTheSameValidScalesOnOneAndThreeThreads) {
    veltest::Blobs b = veltest::makeBlobs(3, 400, 5, 8.0, 3);
    Hsne base;
    base.setDimensionality(5);
    Hsne::Parameters p;
    std::tie(p.seed, p.knnLibrary, p.numNeighbors) = std::make_tuple(42, 1, 15);
    base.initialize(b.data.data(), b.n, p);
    std::vector<Hsne> runs;  // in memory on 1 and 3 threads, then memory-preserving
    for (int run = 0; run < 4; ++run) {
        omp_set_num_threads(run % 2 ? 3 : 1);
        runs.push_back(base);
        p.memoryPreserving = run > 1;
        runs.back().initialize(base.scale(0).transitionMatrix, p);
        for (int s = 0; s < 2; ++s) runs.back().addScale();
    }
    omp_set_num_threads(omp_get_num_procs());
    const auto& weights = runs[2].scale(1).landmarkWeight;  // the previous weights are all 1 on scale 1
    for (unsigned int l = 0; l < weights.size(); ++l) EXPECT_NEAR(weights[l], runs[0].scale(1).landmarkWeight[l], 1e-3);
    for (unsigned int s = 1; s < 5; ++s) {
        const Hsne::Scale &one = runs[s > 2 ? 2 : 0].scale(2 - s % 2), &three = runs[s > 2 ? 3 : 1].scale(2 - s % 2);
        ASSERT_GT(one.size(), 1u);
        EXPECT_TRUE(one.landmarkWeight == three.landmarkWeight &&
                    one.landmarkToOriginalIdx == three.landmarkToOriginalIdx);
        for (unsigned int i = 0; i < one.areaOfInfluence.size(); ++i)
            EXPECT_EQ(one.areaOfInfluence[i].memory(), three.areaOfInfluence[i].memory()) << s << " " << i;
        for (unsigned int a = 0; a < one.size(); ++a) {
            EXPECT_EQ(one.transitionMatrix[a].memory(), three.transitionMatrix[a].memory()) << s << " " << a;
            double sum = 0;
            for (const auto& [column, value] : one.transitionMatrix[a]) {
                EXPECT_TRUE(column < one.size() && column != a && value > 0) << s << " " << a;
                sum += value;
            }
            EXPECT_NEAR(sum, one.transitionMatrix[a].empty() ? 0.0 : 1.0, 1e-5) << s << " " << a;
        }
    }
}

TEST(HierarchyScale, AScaleWithoutLandmarksIsEmptyAndLeavesTheSparsityUnmeasured) {
    for (unsigned int n : {0u, 12u}) {
        veltest::SparseMatrix P(n);
        for (unsigned int i = 0; i < n; ++i) P[i][(i + 1) % n] = 1.f;
        Hsne::Parameters p;
        std::tie(p.seed, p.monteCarloSampling, p.fixedReductionRatio) = std::make_tuple(7, false, 0.f);
        Hsne h;
        h.initialize(P, p);
        for (int s = 0; s < 4; ++s) {
            p.memoryPreserving = s > 1;
            if (s == 2) h.initialize(P, p);
            h.addScale();
            const auto& st = h.statistics();
            EXPECT_TRUE(st.aoiSparsity == -1 && st.fmcSparsity == -1 && st.fmcEffectiveSparsity == -1) << n << s;
        }
        EXPECT_EQ(h.top_scale().size() + h.top_scale().transitionMatrix.size() + h.top_scale().areaOfInfluence.size(),
                  0u);
        EXPECT_EQ(h.scale(1).areaOfInfluence.size(), n);
        for (const auto& row : h.scale(1).areaOfInfluence) EXPECT_TRUE(row.empty());
    }
}
