// Maps of a few dozen points, as a focus-and-context step or the top scale
// of a hierarchy gives them: eight groups of eight or nine points with no
// entry between groups, the analyses' settings (learning rate 200). Both the
// plain run (exaggeration, then momentum 0.5) and the descent from kept
// positions (no exaggeration, momentum 0.75 from the start, the positions
// rescaled to a largest coordinate of 10) must end with every group within a
// unit or so of its middle and a map a few tens of units across, on both
// engines and for every seed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>
#include <vector>

#include "vel/GLTest.h"
#include "vel/GroupedMatrix.h"
#include "vel/VelTestData.h"
#include "vel/dr/GradientDescentTSNETexture.h"
#include "vel/dr/SparseTSNEUserDefProbabilities.h"

using vel::data::Embedding;
using vel::dr::TsneParameters;
using veltest::SparseMatrix;

namespace {

const std::vector<int> kGroupSizes = {9, 8, 8, 9, 8, 8, 9, 8};

TsneParameters settings(int seed, bool keptPositions) {
    TsneParameters p;
    p.seed = seed;
    p.minimumGain = 0.1;
    p.learningRate = 200;
    p.momentum = 0.2;
    if (keptPositions) {
        p.finalMomentum = 0.75;
        p.momentumSwitchIteration = 0;
        p.exaggerationFactor = 1;
        p.removeExaggerationIteration = 0;
        p.exaggerationDecayIterations = 0;
    } else {
        p.finalMomentum = 0.5;
        p.momentumSwitchIteration = 200;
        p.exaggerationFactor = 10;
        p.removeExaggerationIteration = 200;
        p.exaggerationDecayIterations = 50;
    }
    return p;
}

// The largest distance of a point from its group's centroid, and the largest
// absolute coordinate.
std::pair<double, float> spread(const std::vector<float>& y, const std::vector<int>& group) {
    const auto centre = veltest::groupCentroids(y, group, kGroupSizes.size());
    double radius = 0;
    for (size_t i = 0; i < group.size(); ++i) {
        const auto& c = centre[static_cast<size_t>(group[i])];
        radius = std::max(radius, std::hypot(y[2 * i] - c.first, y[2 * i + 1] - c.second));
    }
    float extent = 0;
    for (float v : y) extent = std::max(extent, std::fabs(v));
    return {radius, extent};
}

using Case = std::tuple<bool, int>;  // GPU engine, seed

class SmallMapsHoldTogether : public veltest::GLTest, public testing::WithParamInterface<Case> {
protected:
    template <typename Engine>
    void run(Engine& engine, const SparseMatrix& P, Embedding<float>& embedding, int seed, bool keep,
             const std::vector<float>* start) {
        engine.initialize(P, &embedding, settings(seed, keep));
        if (start) embedding.getContainer() = *start;
        for (int i = 0; i < 1000; ++i) engine.doAnIteration(1.0);
    }
    void expectHoldsTogether(const std::vector<float>& y, const std::vector<int>& group, const char* run) {
        for (float v : y) ASSERT_TRUE(std::isfinite(v)) << run;
        const auto [radius, extent] = spread(y, group);
        EXPECT_LT(radius, 3.0) << run;
        EXPECT_LT(extent, 60.f) << run;
    }
    template <typename Engine>
    void both(Engine& plain, Engine& kept, int seed) {
        std::vector<int> group;
        const SparseMatrix P = veltest::groupedMatrix(kGroupSizes, 5, static_cast<std::uint32_t>(seed), group);
        Embedding<float> embedding;
        run(plain, P, embedding, seed, false, nullptr);
        expectHoldsTogether(embedding.getContainer(), group, "plain");
        std::vector<float> start = embedding.getContainer();
        float largest = 0;
        for (float v : start) largest = std::max(largest, std::fabs(v));
        for (float& v : start) v *= 10.f / largest;
        Embedding<float> again;
        run(kept, P, again, seed, true, &start);
        expectHoldsTogether(again.getContainer(), group, "from kept positions");
    }
};

TEST_P(SmallMapsHoldTogether, PlainAndFromKeptPositions) {
    const auto [gpu, seed] = GetParam();
    if (gpu) {
        vel::dr::GradientDescentTSNETexture plain, kept;
        both(plain, kept, seed);
        plain.releaseOpenGLObjects();
        kept.releaseOpenGLObjects();
    } else {
        // The analyses' exact gradient for maps of fewer than 1,000 points.
        vel::dr::SparseTSNEUserDefProbabilities<float, SparseMatrix> plain, kept;
        plain.setTheta(0.0);
        kept.setTheta(0.0);
        both(plain, kept, seed);
    }
}

INSTANTIATE_TEST_SUITE_P(EnginesAndSeeds, SmallMapsHoldTogether,
                         testing::Combine(testing::Bool(), testing::Range(1, 9)),
                         [](const testing::TestParamInfo<Case>& c) {
                             return std::string(std::get<0>(c.param) ? "Gpu" : "Cpu") + "Seed" +
                                    std::to_string(std::get<1>(c.param));
                         });

}  // namespace
