// Maps of every shape a user computes converge and stay bounded on both
// engines: a few points, chains and a ring of landmarks (the top scale of a
// continuum), a longer continuum. Each case runs the default descent (1,000
// iterations, exaggeration 4 to iteration 250) from the same seeded start on
// the exact CPU engine and on the GPU engine, and compares their extents
// during the run and at its end. Maps without extent (one point, or every
// point on one position) keep finite coordinates through the exaggeration.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "vel/GLTest.h"
#include "vel/VelTestData.h"
#include "vel/dr/GradientDescentTSNETexture.h"
#include "vel/dr/SparseTSNEUserDefProbabilities.h"

using vel::data::Embedding;
using vel::dr::TsneParameters;
using veltest::SparseMatrix;

namespace {

// Each point's transition spread over its `reach` nearest along a line,
// weighted 1 / distance; with `ring` the line closes.
SparseMatrix line(int n, int reach, bool ring) {
    SparseMatrix P(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        std::vector<std::pair<int, float>> entries;
        for (int d = 1; d <= reach; ++d)
            for (int j : {i - d, i + d}) {
                const int k = ring ? (j + n) % n : j;
                if (k >= 0 && k < n && k != i) entries.push_back({k, 1.f / static_cast<float>(d)});
            }
        float sum = 0;
        for (const auto& e : entries) sum += e.second;
        for (const auto& e : entries) P[static_cast<size_t>(i)][static_cast<unsigned>(e.first)] += e.second / sum;
    }
    return P;
}

// Every point to every other alike.
SparseMatrix complete(int n) {
    SparseMatrix P(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            if (i != j) P[static_cast<size_t>(i)][static_cast<unsigned>(j)] = 1.f / static_cast<float>(n - 1);
    return P;
}

struct Shape {
    const char* name;
    SparseMatrix P;
};

const std::vector<Shape>& shapes() {
    static const std::vector<Shape> all = {
        {"TwoPoints", complete(2)},        {"ThreePoints", complete(3)},
        {"FourPoints", complete(4)},       {"ChainOf8", line(8, 1, false)},
        {"ChainOf16", line(16, 2, false)}, {"ChainOf30", line(30, 2, false)},
        {"RingOf20", line(20, 1, true)},   {"ContinuumOf300", line(300, 3, false)},
    };
    return all;
}

float largestCoordinate(const std::vector<float>& y) {
    float extent = 0;
    for (float v : y) extent = std::isfinite(v) ? std::max(extent, std::fabs(v)) : HUGE_VALF;
    return extent;
}

// The largest coordinate during the run and at its end.
template <typename Engine>
std::pair<float, float> descend(Engine& engine, const SparseMatrix& P, int seed) {
    Embedding<float> embedding;
    TsneParameters params;
    params.seed = seed;
    engine.initialize(P, &embedding, params);
    float peak = 0;
    for (int i = 0; i < 1000; ++i) {
        engine.doAnIteration(1.0);
        peak = std::max(peak, largestCoordinate(embedding.getContainer()));
    }
    return {peak, largestCoordinate(embedding.getContainer())};
}

using Case = std::tuple<size_t, int>;  // shape, seed

class MapsOfEveryShape : public veltest::GLTest, public testing::WithParamInterface<Case> {};

TEST_P(MapsOfEveryShape, StayWithinAFewTimesTheExactEnginesExtent) {
    const auto [shape, seed] = GetParam();
    const SparseMatrix& P = shapes()[shape].P;
    vel::dr::SparseTSNEUserDefProbabilities<float, SparseMatrix> cpu;
    cpu.setTheta(0.0);
    const auto [cpuPeak, cpuEnd] = descend(cpu, P, seed);
    vel::dr::GradientDescentTSNETexture gpu;
    const auto [gpuPeak, gpuEnd] = descend(gpu, P, seed);
    gpu.releaseOpenGLObjects();
    // A runaway map reaches thousands of units and more. Two or three points
    // alike have no preferred distance: any small map is right, and the
    // exact engine's ends where its oscillation left it.
    const float slack = 10.f;
    EXPECT_LT(cpuPeak, 60.f);
    EXPECT_LT(cpuEnd, 60.f);
    EXPECT_LT(gpuEnd, 3.f * cpuEnd + slack) << "CPU " << cpuEnd;
    EXPECT_LT(gpuPeak, P.size() <= 3 ? 200.f : 3.f * cpuPeak + slack) << "CPU " << cpuPeak;
}

INSTANTIATE_TEST_SUITE_P(ShapesAndSeeds, MapsOfEveryShape,
                         testing::Combine(testing::Range<size_t>(0, 8), testing::Range(1, 7)),
                         [](const testing::TestParamInfo<Case>& c) {
                             return std::string(shapes()[std::get<0>(c.param)].name) + "Seed" +
                                    std::to_string(std::get<1>(c.param));
                         });

// Coincident points feel the same forces and stay on one position: while
// the exaggeration lasts such a map has no extent, and the growth that keeps
// a small map from shrinking to a point has nothing to scale, only to
// centre. One point alone is the same. The last size has enough pairs that
// the CPU engine's step runs on a team where two cores are free.
const int kCoincidentPoints[] = {1, 2, 3, 20, 1500};

using FlatCase = std::tuple<bool, int>;  // GPU engine, points

class MapsWithoutExtent : public veltest::GLTest, public testing::WithParamInterface<FlatCase> {
protected:
    template <typename Engine>
    void expectFiniteFromOnePosition(Engine& engine, int points) {
        TsneParameters params;
        params.seed = 1;
        params.removeExaggerationIteration = params.momentumSwitchIteration = 20;
        params.exaggerationDecayIterations = 10;
        Embedding<float> embedding;
        engine.initialize(line(points, 2, false), &embedding, params);
        std::vector<float>& y = embedding.getContainer();
        for (size_t i = 0; i < y.size(); i += 2) y[i] = 3.3f, y[i + 1] = -2.7f;
        for (int t = 0; t < 40; ++t) {
            engine.doAnIteration(1.0);
            for (float v : y) ASSERT_TRUE(std::isfinite(v)) << "after iteration " << t;
        }
        for (float v : y) EXPECT_EQ(v, 0.f) << "one position, centred";
    }
};

TEST_P(MapsWithoutExtent, KeepFiniteCoordinatesThroughTheExaggeration) {
    const auto [gpu, points] = GetParam();
    if (gpu) {
        vel::dr::GradientDescentTSNETexture engine;
        expectFiniteFromOnePosition(engine, points);
        engine.releaseOpenGLObjects();
    } else {
        vel::dr::SparseTSNEUserDefProbabilities<float, SparseMatrix> engine;
        engine.setTheta(0.0);
        expectFiniteFromOnePosition(engine, points);
    }
}

INSTANTIATE_TEST_SUITE_P(EnginesAndSizes, MapsWithoutExtent,
                         testing::Combine(testing::Bool(), testing::ValuesIn(kCoincidentPoints)),
                         [](const testing::TestParamInfo<FlatCase>& c) {
                             return std::string(std::get<0>(c.param) ? "Gpu" : "Cpu") +
                                    std::to_string(std::get<1>(c.param)) + "Points";
                         });

}  // namespace
