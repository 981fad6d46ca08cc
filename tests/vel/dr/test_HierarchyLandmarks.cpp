#include "vel/dr/HierarchyTestData.h"

using namespace hsnetest;

// 0 <-> 1 with 14 leaves stepping to 0 and 15 to 1: one step from everywhere
// ends 15 times on 0 and 16 times on 1.
static Hsne over(Hsne::Parameters p) {
    veltest::SparseMatrix P(31);
    for (unsigned int i = 0; i < 31; ++i) P[i][i == 0 || i >= 16 ? 1u : 0u] = 1.f;
    p.seed = 42;
    Hsne h;
    h.initialize(P, p);
    for (unsigned int i = 0; i < P.size(); ++i) h.scale(0).landmarkToOriginalIdx[i] = 1000 + i;
    return h;
}

TEST(HierarchyLandmarks, FixedLengthWalkEndsFollowTheMatrixPower) {
    // A step from 1 to itself or from the empty row 3 fails: no diagonal in the reference.
    const auto M = rows({{{1, .5f}, {2, .3f}, {3, .2f}}, {{0, .5f}, {1, .2f}, {2, .3f}}, {{1, .7f}, {3, .3f}}, {}});
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::minstd_rand g(7);
    for (unsigned int n = 0; n < 8; ++n) {
        std::vector<double> ref(4, 0.0), seen(5, 0.0);
        ref[n % 4] = 1;
        for (unsigned int step = 0; step <= n / 4 * 2; ++step) {
            std::vector<double> r(4, 0.0);
            for (unsigned int i = 0; i < 4; ++i)
                for (const auto& [j, t] : M[i]) r[j] += j == i ? 0.0 : ref[i] * t;
            ref = r;
        }
        for (int w = 0; w < 20000; ++w) seen[Hsne().randomWalk(n % 4, n / 4 * 2, M, u, g) + 1] += 1 / 20000.;
        for (unsigned int j = 0; j < 4; ++j) EXPECT_NEAR(seen[j + 1], ref[j], 0.015) << n << j;
    }
}

TEST(HierarchyLandmarks, VisitCountsAboveTheThresholdChooseTheLandmarks) {
    // Ties at T, the counts of 15 and of 0, are left out.
    const std::tuple<float, bool, float, std::vector<unsigned int>> cases[] = {
        {15.f, false, 0, {1}},   {15.9f, false, 0, {1}}, {14.99f, false, 0, {0, 1}},
        {0, true, 0.1f, {0, 1}}, {0, true, 0.02f, {1}},  {0, true, 0.f, {}}};
    for (const auto& [factor, hard, fraction, landmarks] : cases) {
        Hsne::Parameters p;
        std::tie(p.mcmcsNumWalks, p.mcmcsWalkLength, p.mcmcsLandmarkThresh, p.useHardThresh, p.hardThresh) =
            std::make_tuple(1, 0, factor, hard, fraction);
        Hsne h = over(p);
        Hsne::Scale next;
        unsigned int L = 99;
        h.selectLandmarksWithStationaryDistribution(h.scale(0), next, L);
        ASSERT_EQ(next.landmarkToPreviousScaleIdx, landmarks) << factor << " " << fraction;
        for (unsigned int l = 0; l < L; ++l)
            EXPECT_TRUE(next.landmarkToOriginalIdx[l] == 1000 + landmarks[l] && next.landmarkWeight[l] == 0 &&
                        next.previousScaleToLandmarkIdx[landmarks[l]] == static_cast<int>(l));
        EXPECT_EQ(L, landmarks.size());
    }
}

TEST(HierarchyLandmarks, FixedReductionTakesDistinctEndsAndStopsWhenFewAreReachable) {
    Hsne::Parameters p;
    p.fixedReductionRatio = 0.5f;
    for (int walks : {0, 1}) {
        p.fixedReductionWalks = walks;
        Hsne h = over(p);
        Hsne::Scale next;
        unsigned int L = 0;
        h.selectLandmarks(h.scale(0), next, L);
        const auto& chosen = next.previousScaleToLandmarkIdx;
        EXPECT_EQ(31 - std::count(chosen.begin(), chosen.end(), -1) + next.landmarkWeight.size(), 2 * L);
        // 15 distinct starts; or 1500 walks of two steps end on 0 or 1 only and stop.
        EXPECT_EQ(L + h.statistics().landmarksSelectionNumWalks, walks ? 1502.f : 15.f);
    }
}
