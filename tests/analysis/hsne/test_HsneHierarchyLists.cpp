// The derived hierarchy's point lists and drill-down queries against
// references computed here from the library's influence queries.
#include "HsneAnalysisTest.h"

#include <omp.h>

namespace {

TEST(HsneScaleCount, DefaultGrowsByOneScalePerFactorOfAboutEight) {
    const std::vector<std::pair<size_t, int>> table = {{1000, 1}, {4096, 2}, {32768, 3}, {100000, 4}, {1000000, 5}};
    for (const auto& [n, scales] : table) EXPECT_EQ(MCV_HsneAnalysisHierarchy::defaultNumScales(n), scales) << n;
}

using HsneHierarchyLists = HsneAnalysisTest;

// 2,000 events of four blobs in two files, a hierarchy of three scales.
TEST_F(HsneHierarchyLists, PointListsAndDrillDownsFollowTheLandmarksInfluence) {
    loadHsneBlobs(4, 500, 5);
    makeHsne(3, 0)->setKnnLibrary(vel::utils::KNN_ANNOY);
    quietly([&] { hsne->initHSNE(); });
    MCV_DerivedDataHierarchy& h = *hsne->hierarchy();

    // Every point goes to its most influential landmark, the lists in point
    // order on any thread count.
    const auto& refs = *h.pointReferences();
    const size_t n = refs.size();
    // Reference: the influence with the threshold lowered while a scale is
    // empty, then the largest value, the lowest landmark among equals.
    Lists lists(3);
    for (int s = 0; s < 3; ++s) lists[s].resize(static_cast<size_t>(h.numLandmarksInScale(s)));
    for (unsigned i = 0; i < n; ++i) {
        MCV_DerivedDataHierarchy::Hsne::influence_rows influence;
        float threshold = 0.01f;
        for (int attempt = 0; attempt < 4; ++attempt) {
            influence = {};
            h.hsne()->getInfluenceOnDataPoint(i, influence, threshold, false);
            if (!influence[1].empty() && !influence[2].empty()) break;
            threshold = static_cast<float>(threshold * 0.1);
        }
        lists[0][i].push_back(refs[i]);
        for (int s = 1; s < 3; ++s) {
            std::pair<float, unsigned> best{-1.f, 0};
            for (const auto& [l, v] : influence[s])
                if (v > best.first || (v == best.first && l < best.second)) best = {v, l};
            if (best.first >= 0) lists[s][best.second].push_back(refs[i]);
        }
    }
    const int threads = omp_get_max_threads();
    for (int t : {1, 8}) {
        omp_set_num_threads(t);
        quietly([&] { h.initPointBasedHierarchy(); });
        EXPECT_EQ(pointLists(h), lists) << t << " threads";
    }
    omp_set_num_threads(threads);

    // A drill-down takes the landmarks the selection influences above one half.
    std::vector<unsigned> selection;
    for (unsigned l = 0; l < static_cast<unsigned>(h.numLandmarksInScale(2)); l += 2) selection.push_back(l);
    // Summed influence of the selection on each landmark of scale 1.
    const auto& area = h.hsne()->scale(2).areaOfInfluence;
    std::vector<unsigned> expected;
    for (unsigned i = 0; i < area.size(); ++i) {
        double sum = 0;
        for (const auto& [b, v] : area[i])
            if (std::find(selection.begin(), selection.end(), b) != selection.end()) sum += v;
        // Exactly one half (in the library's float result) is not taken.
        if (static_cast<float>(sum) > 0.5f) expected.push_back(i);
    }
    std::vector<unsigned> idxs;
    MCV_DerivedDataHierarchy::SparseMatrix matrix;
    quietly([&] { h.nextLevelTransitionMatrixForSelection(&matrix, &idxs, 2, &selection, nullptr); });
    EXPECT_EQ(idxs, expected);
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(matrix.size(), expected.size());
}

}  // namespace
