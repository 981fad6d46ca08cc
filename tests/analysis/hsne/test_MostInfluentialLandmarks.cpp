// The landmark assignment against the library's influence query: the same
// landmark on every scale for every point, also where the threshold must be
// lowered or nothing reaches a scale.
#include <gtest/gtest.h>

#include "analysis/hsne/MCV_MostInfluentialLandmarks.h"
#include "vel/VelTestData.h"

#include <omp.h>

#include <tuple>

namespace {

using Hsne = MCV_MostInfluentialLandmarks::Hsne;

// The assignment as the influence query gives it: maps per scale, the
// threshold lowered while some scale is empty, the greatest value with the
// lowest index among equals.
std::vector<int> reference(const Hsne& h, unsigned int p) {
    const std::size_t scales = h.hierarchy().size();
    Hsne::influence_rows influence;
    float threshold = 0.01f;
    h.getInfluenceOnDataPoint(p, influence, threshold, false);
    for (int retry = 0; retry < 3; ++retry) {
        bool someEmpty = false;
        for (std::size_t s = 1; s < scales; ++s) someEmpty = someEmpty || influence[s].empty();
        if (!someEmpty) break;
        threshold = static_cast<float>(static_cast<double>(threshold) * 0.1);
        h.getInfluenceOnDataPoint(p, influence, threshold, false);
    }
    std::vector<int> chosen(scales, -1);
    for (std::size_t s = 1; s < scales; ++s) {
        float best = -1.f;
        for (const auto& [landmark, value] : influence[s]) {
            const int l = static_cast<int>(landmark);
            if (value > best || (value == best && l < chosen[s])) best = value, chosen[s] = l;
        }
    }
    return chosen;
}

}  // namespace

TEST(MostInfluentialLandmarks, EveryPointGetsTheLandmarksOfTheInfluenceQuery) {
    const veltest::Blobs b = veltest::makeBlobs(4, 1500, 6, 5.0, 31);
    Hsne::Parameters p;
    std::tie(p.seed, p.knnLibrary, p.numWalksPerLandmark) = std::make_tuple(42, 1, 40);
    Hsne h;
    h.setDimensionality(static_cast<int>(b.dims));
    h.initialize(const_cast<float*>(b.data.data()), b.n, p);
    for (int s = 0; s < 3; ++s) h.addScale();
    ASSERT_EQ(h.hierarchy().size(), 4u);
    ASSERT_GT(h.top_scale().size(), 5u);

    // Points whose influence needs a lower threshold, or reaches nothing.
    using Row = std::vector<std::pair<unsigned int, float>>;
    const struct {
        unsigned int point;
        Row scale1;
    } edits[] = {
        {0, {}},                            // nothing at all
        {1, {{0, 0.004f}, {1, 0.004f}}},    // scale 2 only below 0.01: one retry
        {2, {{3, 0.0004f}, {5, 0.0002f}}},  // two retries
        {3, {{2, 0.000004f}}},              // beyond the last retry
        {4, {{0, 0.5f}, {1, 0.5f}}},        // two landmarks of equal weight
    };
    for (const auto& edit : edits) {
        auto& row = h.scale(1).areaOfInfluence[edit.point];
        row.clear();
        row.initialize(edit.scale1.begin(), edit.scale1.end(), 0.f);
    }

    for (int threads : {1, 4}) {
        omp_set_num_threads(threads);
        std::size_t differ = 0;
#pragma omp parallel
        {
            MCV_MostInfluentialLandmarks landmarks(h);
            std::vector<int> chosen(h.hierarchy().size(), -1);
#pragma omp for reduction(+ : differ)
            for (int i = 0; i < static_cast<int>(b.n); ++i) {
                landmarks.find(static_cast<unsigned int>(i), chosen.data());
                differ += chosen != reference(h, static_cast<unsigned int>(i));
            }
        }
        EXPECT_EQ(differ, 0u) << threads << " threads";
    }
    omp_set_num_threads(omp_get_num_procs());

    MCV_MostInfluentialLandmarks landmarks(h);
    std::vector<int> chosen(4, 7);
    landmarks.find(0, chosen.data());
    EXPECT_EQ(chosen, (std::vector<int>{7, -1, -1, -1})) << "a point that reaches nothing";
}
