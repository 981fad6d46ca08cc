// A population whose points start on one position, as the new landmarks of
// a refined population do at their one strongest held neighbour, spreads on
// both engines about as far as the same population started spread, once
// separateCoincidentPoints has parted them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <tuple>
#include <vector>

#include "analysis/MCV_GpuGradientDescent.h"
#include "analysis/applicationSurfaceFormat.h"
#include "analysis/fc/MCV_HsneFCAnalysis.h"
#include "analysis/fc/separateCoincidentPoints.h"
#include "vel/dr/SparseTSNEUserDefProbabilities.h"

namespace {

using Matrix = MCV_GpuGradientDescent::SparseMatrix;
constexpr int kGroups = 6, kPerGroup = 40;

// Each point's transition to ten random members of its own group: every
// group is isolated, as the refined population of the mixed matrix was.
Matrix groups(std::mt19937& rng) {
    Matrix P(kGroups * kPerGroup);
    std::uniform_int_distribution<int> member(0, kPerGroup - 1);
    for (int i = 0; i < kGroups * kPerGroup; ++i) {
        const int first = i / kPerGroup * kPerGroup;
        std::vector<int> to;
        while (to.size() < 10) {
            const int j = first + member(rng);
            if (j != i && std::find(to.begin(), to.end(), j) == to.end()) to.push_back(j);
        }
        // Rows in column order, as the engines' symmetrisation reads them.
        std::sort(to.begin(), to.end());
        for (int j : to) P[static_cast<size_t>(i)][static_cast<unsigned>(j)] = 0.1f;
    }
    return P;
}

// Groups around a circle of radius 10, each spread with a deviation of one.
std::vector<float> spreadStart(std::mt19937& rng) {
    std::normal_distribution<float> around(0.f, 1.f);
    std::vector<float> y;
    for (int i = 0; i < kGroups * kPerGroup; ++i) {
        const double angle = 2.0 * std::acos(-1.0) * (i / kPerGroup) / kGroups;
        y.push_back(static_cast<float>(10.0 * std::cos(angle)) + around(rng));
        y.push_back(static_cast<float>(10.0 * std::sin(angle)) + around(rng));
    }
    return y;
}

// The descent a focus-and-context step runs from kept positions.
vel::dr::TsneParameters keptPositions(int seed) {
    MCV_HsneFCAnalysis analysis;
    analysis.setSeed(seed);
    return analysis.descentParameters(kGroups * kPerGroup, true);
}

// The root mean square distance of group 0's points from their centroid.
double radiusOfFirstGroup(const std::vector<float>& y) {
    double cx = 0, cy = 0;
    for (int i = 0; i < kPerGroup; ++i) cx += y[2 * i], cy += y[2 * i + 1];
    cx /= kPerGroup, cy /= kPerGroup;
    double sum = 0;
    for (int i = 0; i < kPerGroup; ++i) sum += std::pow(y[2 * i] - cx, 2) + std::pow(y[2 * i + 1] - cy, 2);
    return std::sqrt(sum / kPerGroup);
}

using Case = std::tuple<bool, int>;  // GPU engine, seed

class CoincidentStart : public testing::TestWithParam<Case> {
protected:
    double descend(const Matrix& P, std::vector<float> start, int seed) {
        vel::data::Embedding<float> embedding;
        if (std::get<0>(GetParam())) {
            MCV_GpuGradientDescent gpu;
            EXPECT_TRUE(gpu.initialize(P, &embedding, keptPositions(seed)));
            embedding.getContainer() = start;
            for (int i = 0; i < 1000; ++i) gpu.doAnIteration(1.0);
        } else {
            vel::dr::SparseTSNEUserDefProbabilities<float, Matrix> cpu;
            cpu.setTheta(0.0);
            cpu.initialize(P, &embedding, keptPositions(seed));
            embedding.getContainer() = start;
            for (int i = 0; i < 1000; ++i) cpu.doAnIteration(1.0);
        }
        for (float v : embedding.getContainer()) EXPECT_TRUE(std::isfinite(v));
        return radiusOfFirstGroup(embedding.getContainer());
    }
};

TEST_P(CoincidentStart, APopulationStartedOnOnePointSpreadsAsFarAsOneStartedSpread) {
    setApplicationSurfaceFormat();
    const int seed = std::get<1>(GetParam());
    std::mt19937 rng(static_cast<std::uint32_t>(seed));
    const Matrix P = groups(rng);
    const std::vector<float> spread = spreadStart(rng);
    std::vector<float> collapsed = spread;
    for (int i = 0; i < kPerGroup; ++i) collapsed[2 * i] = 10.f, collapsed[2 * i + 1] = 0.f;
    EXPECT_EQ(separateCoincidentPoints(collapsed, static_cast<std::uint32_t>(seed), 1.f), size_t{kPerGroup});
    const double reference = descend(P, spread, seed);
    const double parted = descend(P, collapsed, seed);
    EXPECT_GT(reference, 0.3);
    EXPECT_GT(parted, 0.5 * reference);
    EXPECT_LT(parted, 2.0 * reference);
}

INSTANTIATE_TEST_SUITE_P(EnginesAndSeeds, CoincidentStart, testing::Combine(testing::Bool(), testing::Range(1, 4)),
                         [](const testing::TestParamInfo<Case>& c) {
                             return std::string(std::get<0>(c.param) ? "Gpu" : "Cpu") + "Seed" +
                                    std::to_string(std::get<1>(c.param));
                         });

}  // namespace
