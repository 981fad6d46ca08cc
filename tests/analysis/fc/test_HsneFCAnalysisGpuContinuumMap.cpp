// Every map of the user's road stays bounded on a continuum: 1,200 events
// along one smooth curve through six markers (one marker rises along the
// curve, the others follow slow waves), as a differentiation trajectory
// looks. Its top scale is a chain of a dozen or so landmarks, and the steps
// after it embed a few to a few dozen: maps that ran away on the GPU engine.
#include "HsneFCAnalysisTest.h"

#include "analysis/applicationSurfaceFormat.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace {

// Far above the exact engine's maps of this file (tens of units), far below
// a runaway one (tens of thousands and more).
constexpr float kMostExtent = 200.f;

struct Road {
    bool gpu;
    int seed;  // the analysis's "RNG Seed"
};

class HsneFCContinuumMap : public HsneFCAnalysisTest, public testing::WithParamInterface<Road> {
protected:
    // The curve's third an event lies in is its label.
    void loadContinuum() {
        std::mt19937 rng(5);
        std::uniform_real_distribution<double> along(0.0, 1.0);
        std::normal_distribution<double> noise(0.0, 0.05);
        std::vector<std::vector<float>> rows;
        for (int e = 0; e < 1200; ++e) {
            const double t = along(rng);
            std::vector<float> row = {static_cast<float>(10.0 * t + noise(rng))};
            for (int k = 1; k < 6; ++k)
                row.push_back(static_cast<float>(2.0 * std::sin(3.0 * t * k / 2.0 + k) + noise(rng)));
            row.push_back(static_cast<float>(std::min(2, static_cast<int>(t * 3.0))));
            rows.push_back(row);
        }
        FcsTestFile f = FcsTestFile::floats(rows);
        for (int d = 0; d < 7; ++d)
            f.set("$P" + std::to_string(d + 1) + "S", d < 6 ? "M" + std::to_string(d + 1) : "label");
        ASSERT_EQ(data->loadFromFile(f.write(dir, "curve.fcs")), 0);
        data->initAllDerviedDataPointer();
        data->addDimensions({"QLMRN_HsneDataX", "QLMRN_HsneDataY"}, 0.f);
    }
    void expectBounded(const char* step) {
        ASSERT_EQ(fc->output()->size(), 2 * static_cast<size_t>(fc->numDataPoints())) << step;
        float extent = 0;
        for (float v : *fc->output()) {
            ASSERT_TRUE(std::isfinite(v)) << step;
            extent = std::max(extent, std::fabs(v));
        }
        EXPECT_LT(extent, kMostExtent) << step << ", " << fc->numDataPoints() << " points";
    }
};

TEST_P(HsneFCContinuumMap, StaysBoundedAtEveryStepOfTheRoad) {
    const Road road = GetParam();
    setApplicationSurfaceFormat();
    loadContinuum();
    makeFc(4, 500)->setUseGPU(road.gpu);
    fc->setSeed(road.seed);
    quietly([&] { fc->initHSNE(); });
    EXPECT_EQ(fc->gpuEngineActive(), road.gpu);
    expectBounded("Compute");

    // "Set focus and differentiate." on the landmarks of the curve's middle.
    std::vector<unsigned> focus = blob(fc.get(), 1);
    ASSERT_FALSE(focus.empty());
    focusRefineCoarsen(focus, [&](const char* step) { expectBounded(step); });
}

std::vector<Road> roads() {
    std::vector<Road> all;
    for (bool gpu : {true, false})
        for (int seed = 1; seed <= 6; ++seed) all.push_back({gpu, seed});
    return all;
}

INSTANTIATE_TEST_SUITE_P(EnginesAndSeeds, HsneFCContinuumMap, testing::ValuesIn(roads()),
                         [](const testing::TestParamInfo<Road>& road) {
                             return std::string(road.param.gpu ? "Gpu" : "Cpu") + "Seed" +
                                    std::to_string(road.param.seed);
                         });

}  // namespace
