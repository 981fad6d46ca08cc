// The CPU (exact and Barnes-Hut) and GPU (raster-field) engines share one
// contract and one quality bar; each engine's extras follow.
#include <gtest/gtest.h>

#include <omp.h>

#include <fstream>
#include <type_traits>

#include "support/exactTsneGradient.h"
#include "vel/GLTest.h"
#include "vel/VelTestData.h"
#include "vel/dr/GradientDescentTSNETexture.h"
#include "vel/dr/SparseTSNEUserDefProbabilities.h"

using vel::data::Embedding;
using vel::dr::TsneParameters;
using veltest::seeded;
using veltest::SparseMatrix;
using CpuEngine = vel::dr::SparseTSNEUserDefProbabilities<float, SparseMatrix>;
using GpuEngine = vel::dr::GradientDescentTSNETexture;

namespace {

struct Cpu {
    using Engine = CpuEngine;
    static constexpr int kRefusedDimensionality = 1;
    static std::vector<double> thetas() { return {0.5, 0.0}; }  // Barnes-Hut and exact
    static void setTheta(Engine& engine, double theta) { engine.setTheta(theta); }
};
struct Gpu {
    using Engine = GpuEngine;
    static constexpr int kRefusedDimensionality = 3;  // the raster step is two-dimensional
    static std::vector<double> thetas() { return {0.0}; }
    static void setTheta(Engine&, double) {}
};

template <typename T>
class TsneEngineContract : public veltest::GLTest {};
using Engines = testing::Types<Cpu, Gpu>;
TYPED_TEST_SUITE(TsneEngineContract, Engines);

}  // namespace

TYPED_TEST(TsneEngineContract, RefusesMisuseAndBadInputWithoutChanges) {
    typename TypeParam::Engine engine;
    EXPECT_THROW(engine.doAnIteration(), std::logic_error);
    EXPECT_THROW(engine.clear(), std::logic_error);
    EXPECT_EQ(engine.computeKullbackLeiblerDivergence(), 0.0);

    SparseMatrix P(3);
    P[0][1] = P[1][0] = 0.5f;
    SparseMatrix outside = P;
    outside[2][3] = 0.5f;  // a column beyond the rows
    TsneParameters badDimensions = seeded(1);
    badDimensions.embeddingDimensionality = TypeParam::kRefusedDimensionality;
    Embedding<float> embedding(2, 1, 7.f);
    for (const auto& [matrix, params] : {std::make_pair(P, badDimensions), std::make_pair(outside, seeded(1))}) {
        EXPECT_THROW(engine.initialize(matrix, &embedding, params), std::logic_error);
        EXPECT_EQ(embedding.getContainer(), std::vector<float>(2, 7.f)) << "a refused input changed the embedding";
    }
    engine.initialize(P, &embedding, seeded(1));
    engine.doAnIteration();
    engine.reset();
    EXPECT_THROW(engine.doAnIteration(), std::logic_error);
    engine.clear();
    EXPECT_EQ(embedding.numDataPoints(), 0u);
}

TYPED_TEST(TsneEngineContract, SymmetrisesAndStartsFromTheSeed) {
    const SparseMatrix P = veltest::randomMatrix(60, 8, 9);
    typename TypeParam::Engine a, b;
    Embedding<float> ea, eb, ec;
    a.initialize(P, &ea, seeded(42));
    b.initialize(P, &eb, seeded(42));
    veltest::expectSymmetrisationOf(P, a.getDistributionP());
    EXPECT_TRUE(ea.getContainer().size() == 120u && ea.getContainer() == eb.getContainer());
    for (float v : ea.getContainer()) EXPECT_TRUE(v != 0.f && std::fabs(v) < 1.f) << v;  // spread 0.1
    b.initialize(P, &ec, seeded(43));
    EXPECT_NE(ec.getContainer(), ea.getContainer());
}

// After the exaggeration (to 60, ramped down to 90) the divergence keeps
// falling and the blobs come apart.
TYPED_TEST(TsneEngineContract, SeparatesFiveBlobs) {
    const auto blobs = veltest::makeBlobs(5, 100, 20, 3.0, 35);
    const SparseMatrix P = veltest::jointProbabilities(blobs, 30);
    TsneParameters schedule = seeded(1);
    schedule.momentumSwitchIteration = schedule.removeExaggerationIteration = 60;
    schedule.exaggerationDecayIterations = 30;
    for (double theta : TypeParam::thetas()) {
        SCOPED_TRACE(theta);
        typename TypeParam::Engine engine;
        TypeParam::setTheta(engine, theta);
        Embedding<float> embedding;
        engine.initialize(P, &embedding, schedule);
        double klRamp = 0;
        for (unsigned int t = 0; t < 150; ++t) {
            engine.doAnIteration();
            if (engine.iteration() == 90)
                klRamp = veltest::exactKL(engine.getDistributionP(), embedding.getContainer());
        }
        const double kl = veltest::exactKL(engine.getDistributionP(), embedding.getContainer());
        EXPECT_LT(kl, klRamp);
        EXPECT_GE(veltest::nearestLabelAccuracy(embedding.getContainer(), blobs.labels), 0.99);
        if constexpr (std::is_same_v<TypeParam, Gpu>) {
            EXPECT_NEAR(engine.computeKullbackLeiblerDivergence(), kl, 1e-9 + 1e-9 * kl);
            std::vector<float> box;  // after the exaggeration every step centres the box
            embedding.computeEmbeddingBBox(box);
            EXPECT_NEAR(box[0] + box[1], 0.f, 1e-4f * (box[1] - box[0]));
            EXPECT_NEAR(box[2] + box[3], 0.f, 1e-4f * (box[3] - box[2]));
        }
    }
}

// ---------------------------------------------------------------- CPU engine

namespace {

std::vector<float> run(const SparseMatrix& P, double theta, unsigned int iterations, int threads) {
    const int before = omp_get_max_threads();
    omp_set_num_threads(threads);
    CpuEngine engine;
    engine.setTheta(theta);
    Embedding<float> embedding;
    engine.initialize(P, &embedding, seeded(17));
    for (unsigned int i = 0; i < iterations; ++i) engine.doAnIteration();
    omp_set_num_threads(before);
    return embedding.getContainer();
}

}  // namespace

// One step from fresh gains and zero updates moves every coordinate by
// -learning rate 200 x gain 1.2 x gradient at exaggeration 4; Barnes-Hut (a
// quarter of the exact gradient) matches it as theta goes to 0.
TEST(CpuTsneEngine, FirstStepFollowsTheExactGradient) {
    const SparseMatrix P = veltest::jointProbabilities(veltest::makeBlobs(3, 100, 5, 3.0, 32), 10);
    for (double theta : {0.0, 1e-9}) {
        SCOPED_TRACE(theta);
        CpuEngine engine;
        engine.setTheta(theta);
        Embedding<float> embedding;
        engine.initialize(P, &embedding, seeded(5));
        const std::vector<float> y0 = embedding.getContainer();
        const auto g = exactTsneGradient(engine.getDistributionP(), y0, 4.0);
        engine.doAnIteration();
        double maxStep = 0, maxErr = 0;
        for (std::size_t k = 0; k < y0.size(); ++k) {
            const double expected = -200.0 * 1.2 * g[k] * (theta == 0.0 ? 1.0 : 0.25);
            maxStep = std::max(maxStep, std::fabs(expected));
            maxErr = std::max(maxErr, std::fabs((embedding.getContainer()[k] - y0[k]) - expected));
        }
        EXPECT_GT(maxStep, 1e-4);
        EXPECT_LT(maxErr, 1e-3 * maxStep);
    }
}

// Above a few thousand points at theta 0.5 the first step takes the tree:
// within Barnes-Hut's error of the exact gradient.
TEST(CpuTsneEngine, TreeStepFollowsTheExactGradientWithinTheta) {
    const SparseMatrix P = veltest::jointProbabilities(veltest::makeBlobs(4, 1000, 5, 3.0, 31), 10);
    CpuEngine engine;
    engine.setTheta(0.5);
    Embedding<float> embedding;
    engine.initialize(P, &embedding, seeded(6));
    const std::vector<float> y0 = embedding.getContainer();
    const auto g = exactTsneGradient(engine.getDistributionP(), y0, 4.0);
    engine.doAnIteration();
    double norm = 0, err = 0;
    for (std::size_t k = 0; k < y0.size(); ++k) {
        const double expected = -200.0 * 1.2 * g[k] * 0.25;
        norm += expected * expected;
        err += std::pow((embedding.getContainer()[k] - y0[k]) - expected, 2);
    }
    EXPECT_GT(norm, 0.0);
    EXPECT_LT(std::sqrt(err), 0.05 * std::sqrt(norm));
}

// Ten thousand points: parallel tree build and a refreshed query order.
TEST(CpuTsneEngine, SameSeedSamePositionsOnAnyThreadCount) {
    const SparseMatrix P = veltest::randomMatrix(10000, 6, 33);
    EXPECT_TRUE(run(P, 0.5, 12, 1) == run(P, 0.5, 12, 3)) << "Barnes-Hut positions differ between 1 and 3 threads";
    const SparseMatrix small = veltest::randomMatrix(300, 6, 34);
    EXPECT_TRUE(run(small, 0.0, 12, 1) == run(small, 0.0, 12, 3)) << "exact positions differ";
    // The exact sum in place of a small theta, on as many threads as it pays.
    const SparseMatrix summed = veltest::randomMatrix(3000, 6, 36);
    const std::vector<float> one = run(summed, 0.1, 12, 1);
    EXPECT_TRUE(one == run(summed, 0.1, 12, 2) && one == run(summed, 0.1, 12, 8)) << "exact-sum positions differ";
}

// Large enough that the tree's top levels, the normaliser and the update run
// in parallel.
TEST(CpuTsneEngine, LargeRunsSamePositionsOnOneTwoAndEightThreads) {
    const SparseMatrix P = veltest::randomMatrix(40000, 6, 35);
    const std::vector<float> one = run(P, 0.5, 6, 1);
    EXPECT_TRUE(one == run(P, 0.5, 6, 2)) << "positions differ between 1 and 2 threads";
    EXPECT_TRUE(one == run(P, 0.5, 6, 8)) << "positions differ between 1 and 8 threads";
}

// Ordered map rows walk their entries in the same order as sorted rows: the
// same positions, bit for bit, over the exact sum and over the tree.
TEST(CpuTsneEngine, OrderedMapRowsIterateAsSortedRows) {
    using MapRows = std::vector<std::map<unsigned int, float>>;
    const SparseMatrix sorted = veltest::randomMatrix(4000, 7, 37);
    MapRows ordered(sorted.size());
    for (std::size_t i = 0; i < sorted.size(); ++i) ordered[i] = {sorted[i].begin(), sorted[i].end()};
    for (const double theta : {0.1, 0.5}) {
        SCOPED_TRACE(theta);
        vel::dr::SparseTSNEUserDefProbabilities<float, MapRows> mapEngine;
        mapEngine.setTheta(theta);
        Embedding<float> embedding;
        mapEngine.initialize(ordered, &embedding, seeded(17));
        for (int i = 0; i < 5; ++i) mapEngine.doAnIteration();
        EXPECT_TRUE(embedding.getContainer() == run(sorted, theta, 5, 2));
    }
}

// Rows without sorted storage take the generic symmetrisation; a third
// dimension starts at zero.
TEST(CpuTsneEngine, OrderedMapRowsAndExtraDimensions) {
    using MapRows = std::vector<std::map<unsigned int, float>>;
    const MapRows M = veltest::randomMatrix<MapRows>(60, 8, 9);
    vel::dr::SparseTSNEUserDefProbabilities<float, MapRows> ordered;
    std::vector<float> position;
    TsneParameters threeD = seeded(3);
    threeD.embeddingDimensionality = 3;
    Embedding<float> embedding;
    ordered.initialize(M, &embedding, threeD);
    veltest::expectSymmetrisationOf(M, ordered.getDistributionP());
    ordered.getEmbeddingPosition(position, 59);
    EXPECT_TRUE(position.size() == 3 && position[0] != 0.f && position[2] == 0.f);
    EXPECT_THROW(ordered.getEmbeddingPosition(position, 60), std::logic_error);
}

// ---------------------------------------------------------------- GPU engine

namespace {

using GpuTsneEngine = veltest::GLTest;

long residentKB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

}  // namespace

TEST_F(GpuTsneEngine, ParametersReleaseAndPresetFollowTheRun) {
    GpuEngine gpu;
    EXPECT_THROW(gpu.updateParams(TsneParameters()), std::runtime_error);
    // A preset embedding is kept.
    const SparseMatrix P = veltest::randomMatrix(40, 3, 7);
    Embedding<float> embedding(2, 40, 5.f);
    TsneParameters params = seeded(42);
    params.presetEmbedding = true;
    gpu.initialize(P, &embedding, params);
    EXPECT_EQ(embedding.getContainer(), std::vector<float>(80, 5.f));
    gpu.updateParams(seeded(2));
    gpu.doAnIteration();
    gpu.releaseOpenGLObjects();
    EXPECT_THROW(gpu.doAnIteration(), std::logic_error);
}

// Full factor up to the removal iteration, then a linear ramp to 1 over the
// decay iterations; no step leaves an OpenGL error.
TEST_F(GpuTsneEngine, ExaggerationRampsDownLinearly) {
    for (unsigned int decay : {70u, 0u}) {
        SCOPED_TRACE(decay);
        SparseMatrix P(4);
        P[0][1] = P[2][3] = 1.f;
        TsneParameters params = seeded(1);
        params.exaggerationDecayIterations = decay;
        GpuEngine engine;
        Embedding<float> embedding;
        engine.initialize(P, &embedding, params);
        for (unsigned int t = 0; t < 255 + decay; ++t) {
            const double expected = t <= 250 ? 4.0 : t >= 250 + decay ? 1.0 : 1.0 + 3.0 * (1.0 - (t - 250.0) / decay);
            ASSERT_FLOAT_EQ(engine.exaggerationFactor(), expected) << t;
            engine.doAnIteration(0.0);
            ASSERT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << "after iteration " << t;
        }
    }
}

// A hundred re-initialisations in one context: each run frees the objects of
// the one before, so the process does not grow.
TEST_F(GpuTsneEngine, ReInitialisationDoesNotLeak) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "AddressSanitizer keeps freed memory in quarantine: the resident size says nothing here";
#endif
    SparseMatrix P(1000);
    for (unsigned int i = 0; i + 1 < 1000; ++i) P[i][i + 1] = 1.f;
    GpuEngine engine;
    Embedding<float> embedding;
    auto run = [&] {
        engine.initialize(P, &embedding, seeded(3));
        engine.doAnIteration();
    };
    for (int i = 0; i < 5; ++i) run();
    const long before = residentKB();
    for (int i = 0; i < 100; ++i) run();
    const long grown = residentKB() - before;
    EXPECT_LT(grown, 4 * 1024) << "grew by " << grown << " kB";
    engine.releaseOpenGLObjects();
}
