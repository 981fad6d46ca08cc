// Every map of the user's road holds together on both engines: eight well
// separated groups, four scales, several files and seeds. A map whose groups
// tear apart or that runs away fails at the step where it happens; 500
// iterations a step reach past the end of the exaggeration and far into the
// descent from kept positions, where such maps went astray.
#include "HsneFCAnalysisTest.h"

#include "analysis/applicationSurfaceFormat.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

namespace {

// Far above any map of these groups (a few tens of units across), far below
// a runaway one (thousands).
constexpr float kMostExtent = 200.f;
// A group's points lie within about one unit of its middle; a torn group's
// points lie tens to thousands of units apart.
constexpr double kMostGroupRadius = 6.0;

struct Road {
    bool gpu;
    unsigned file;  // seed of the groups' centres and events
    int seed;       // the analysis's "RNG Seed"
};

class HsneFCMapHoldsTogether : public HsneFCAnalysisTest, public testing::WithParamInterface<Road> {
protected:
    // The largest distance of a point from the median position of its group,
    // over all groups, and the largest absolute coordinate.
    std::pair<double, float> spread() {
        const std::vector<float>& y = *fc->output();
        const std::vector<int> labels = landmarkLabels(fc.get());
        std::map<int, std::vector<size_t>> groups;
        for (size_t i = 0; i < labels.size(); ++i) groups[labels[i]].push_back(i);
        double radius = 0;
        for (const auto& [label, members] : groups) {
            std::vector<float> xs, ys;
            for (size_t i : members) xs.push_back(y[2 * i]), ys.push_back(y[2 * i + 1]);
            std::nth_element(xs.begin(), xs.begin() + static_cast<long>(xs.size() / 2), xs.end());
            std::nth_element(ys.begin(), ys.begin() + static_cast<long>(ys.size() / 2), ys.end());
            const double mx = xs[xs.size() / 2], my = ys[ys.size() / 2];
            for (size_t i : members) radius = std::max(radius, std::hypot(y[2 * i] - mx, y[2 * i + 1] - my));
        }
        float extent = 0;
        for (float v : y) extent = std::max(extent, std::fabs(v));
        return {radius, extent};
    }
    void expectHoldsTogether(const char* step) {
        ASSERT_EQ(fc->output()->size(), 2 * static_cast<size_t>(fc->numDataPoints())) << step;
        for (float v : *fc->output()) ASSERT_TRUE(std::isfinite(v)) << step;
        const auto [radius, extent] = spread();
        EXPECT_LT(extent, kMostExtent) << step;
        EXPECT_LT(radius, kMostGroupRadius) << step;
    }
};

TEST_P(HsneFCMapHoldsTogether, AtEveryStepOfTheRoad) {
    const Road road = GetParam();
    setApplicationSurfaceFormat();
    loadHsneBlobs(8, 750, 6, 2, road.file);
    makeFc(4, 500)->setUseGPU(road.gpu);
    fc->setSeed(road.seed);
    quietly([&] { fc->initHSNE(); });
    EXPECT_EQ(fc->gpuEngineActive(), road.gpu);
    expectHoldsTogether("Compute");

    // "Set focus and differentiate." on the group with the most points.
    std::vector<unsigned> focus;
    for (int label = 0; label < 8; ++label) {
        std::vector<unsigned> group = blob(fc.get(), label);
        if (group.size() > focus.size()) focus = group;
    }
    ASSERT_FALSE(focus.empty());
    focusRefineCoarsen(focus, [&](const char* step) { expectHoldsTogether(step); });
}

std::vector<Road> roads() {
    std::vector<Road> all;
    for (bool gpu : {true, false})
        for (unsigned file : {7u, 11u})
            for (int seed : {3, 6}) all.push_back({gpu, file, seed});
    return all;
}

INSTANTIATE_TEST_SUITE_P(EnginesFilesAndSeeds, HsneFCMapHoldsTogether, testing::ValuesIn(roads()),
                         [](const testing::TestParamInfo<Road>& road) {
                             return std::string(road.param.gpu ? "Gpu" : "Cpu") + "File" +
                                    std::to_string(road.param.file) + "Seed" + std::to_string(road.param.seed);
                         });

}  // namespace
