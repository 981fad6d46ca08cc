#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <stdexcept>
#include <string>

#include "vel/GLTest.h"
#include "vel/VelTestData.h"
#include "vel/dr/GradientDescentTSNETexture.h"
#include "vel/dr/SparseTSNEUserDefProbabilities.h"
#include "vel/utils/CoutLog.h"
#include "vel/utils/HDJointProbabilityGenerator.h"

using vel::data::Embedding;
using vel::dr::GradientDescentTSNETexture;
using vel::dr::TsneParameters;
using veltest::jointProbabilities;
using veltest::seeded;
using veltest::SparseMatrix;

namespace {

long residentKB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

class GpuTsneEngineTest : public veltest::GLTest {};

}  // namespace

TEST_F(GpuTsneEngineTest, RefusesMisuseAndBadInput) {
    GradientDescentTSNETexture engine;
    try {
        engine.doAnIteration();
        FAIL();
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "Cannot compute a gradient descent iteration on unitialized data");
    }
    try {
        engine.updateParams(TsneParameters());
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "GradientDescentTSNETexture must be initialized before updating the tsne parameters");
    }
    EXPECT_THROW(engine.clear(), std::logic_error);
    EXPECT_EQ(engine.computeKullbackLeiblerDivergence(), 0.0);

    SparseMatrix P(3);
    P[0][1] = 0.5f;
    P[1][0] = 0.5f;
    Embedding<float> embedding;
    TsneParameters threeD = seeded(1);
    threeD.embeddingDimensionality = 3;  // the raster step is two-dimensional
    EXPECT_THROW(engine.initialize(P, &embedding, threeD), std::logic_error);
    SparseMatrix outside = P;
    outside[2][3] = 0.5f;
    EXPECT_THROW(engine.initialize(outside, &embedding, seeded(1)), std::logic_error);
    EXPECT_EQ(embedding.numDataPoints(), 0u) << "a refused input changed the embedding";

    engine.initialize(P, &embedding, seeded(1));
    engine.doAnIteration();
    engine.updateParams(seeded(2));
    engine.reset();
    EXPECT_THROW(engine.doAnIteration(), std::logic_error);
    engine.initialize(P, &embedding, seeded(1));
    engine.releaseOpenGLObjects();
    EXPECT_THROW(engine.doAnIteration(), std::logic_error);
    engine.clear();
    EXPECT_EQ(embedding.numDataPoints(), 0u);
}

// Start positions come from the same generator as on the CPU.
TEST_F(GpuTsneEngineTest, SymmetrisesAndStartsWhereTheCpuEngineStarts) {
    SparseMatrix P(40);
    P[0][1] = 0.2f;
    for (unsigned int i = 2; i < 40; ++i) P[i][i - 1] = 0.3f;
    GradientDescentTSNETexture gpu;
    vel::dr::SparseTSNEUserDefProbabilities<float, SparseMatrix> cpu;
    Embedding<float> a, b;
    gpu.initialize(P, &a, seeded(42));
    cpu.initialize(P, &b, seeded(42));
    EXPECT_FLOAT_EQ(gpu.getDistributionP()[0].find(1)->second, 0.1f);
    EXPECT_FLOAT_EQ(gpu.getDistributionP()[1].find(0)->second, 0.1f);
    for (unsigned int i = 0; i < 40; ++i) {
        ASSERT_EQ(gpu.getDistributionP()[i].size(), cpu.getDistributionP()[i].size());
        for (const auto& e : cpu.getDistributionP()[i])
            EXPECT_EQ(gpu.getDistributionP()[i].find(e.first)->second, e.second);
    }
    ASSERT_EQ(a.getContainer().size(), 80u);
    EXPECT_EQ(a.getContainer(), b.getContainer());
    Embedding<float> c;
    GradientDescentTSNETexture again;
    again.initialize(P, &c, seeded(42));
    EXPECT_EQ(c.getContainer(), a.getContainer());

    // A preset embedding is kept.
    Embedding<float> preset(2, 40, 0.f);
    for (unsigned int i = 0; i < 40; ++i) preset.dataAt(i, 0) = static_cast<float>(i);
    const std::vector<float> before = preset.getContainer();
    TsneParameters keep = seeded(42);
    keep.presetEmbedding = true;
    again.initialize(P, &preset, keep);
    EXPECT_EQ(preset.getContainer(), before);

    // The finished-matrix variant copies P and uses the spread of the block.
    TsneParameters wide = seeded(42);
    wide.initialSpread = 1.0f;
    Embedding<float> d, e;
    again.initializeWithJointProbabilityDistribution(P, &d, wide);
    EXPECT_TRUE(again.getDistributionP()[1].empty());
    cpu.initialize(P, &e, wide);
    EXPECT_EQ(d.getContainer(), e.getContainer());
}

// The default schedule on the blob data set of the CPU tests: every call
// leaves no OpenGL error, the divergence falls after the exaggeration and
// the blobs come apart.
TEST_F(GpuTsneEngineTest, EmbedsBlobsWithTheDefaultSchedule) {
    const auto blobs = veltest::makeBlobs(5, 200, 20, 3.0, 35);
    const SparseMatrix P = jointProbabilities(blobs, 30);
    GradientDescentTSNETexture engine;
    Embedding<float> embedding;
    engine.initialize(P, &embedding, seeded(1));
    ASSERT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    double kl300 = 0;
    for (unsigned int t = 0; t < 1000; ++t) {
        const double e = engine.exaggerationFactor();
        if (t <= 250)
            ASSERT_EQ(e, 4.0) << t;
        else if (t >= 400)
            ASSERT_EQ(e, 1.0) << t;
        else
            ASSERT_FLOAT_EQ(e, 4.0 - 3.0 * (t - 250) / 150.0) << t;
        if (t == 325) {
            EXPECT_EQ(e, 2.5);
        }
        engine.doAnIteration();
        ASSERT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << "after iteration " << t;
        if (engine.iteration() == 300) kl300 = engine.computeKullbackLeiblerDivergence();
    }
    const double kl1000 = engine.computeKullbackLeiblerDivergence();
    EXPECT_NEAR(kl1000, veltest::exactKL(engine.getDistributionP(), embedding.getContainer()), 1e-9 + 1e-9 * kl1000);
    EXPECT_LT(kl1000, kl300);
    for (float v : embedding.getContainer()) ASSERT_TRUE(std::isfinite(v));
    EXPECT_GE(veltest::knnLabelAccuracy(embedding.getContainer(), blobs.labels, 10), 0.99);
    // After the exaggeration every step centres the bounding box.
    std::vector<float> box;
    embedding.computeEmbeddingBBox(box);
    EXPECT_NEAR(box[0] + box[1], 0.f, 1e-4f * (box[1] - box[0]));
    EXPECT_NEAR(box[2] + box[3], 0.f, 1e-4f * (box[3] - box[2]));
    testing::Test::RecordProperty("kl300", std::to_string(kl300));
    testing::Test::RecordProperty("kl1000", std::to_string(kl1000));
}

// The t-SNE analysis's schedule: full factor to 250, a 70-iteration ramp;
// the momentum and exaggeration log lines come at their iterations.
TEST_F(GpuTsneEngineTest, ShortRampScheduleAndLogLines) {
    // Few points diverge under early exaggeration at the default learning
    // rate; a hundred stay in range.
    const auto blobs = veltest::makeBlobs(2, 50, 3, 3.0, 31);
    const SparseMatrix P = jointProbabilities(blobs, 10);
    TsneParameters params = seeded(1);
    params.exaggerationDecayIterations = 70;
    vel::utils::CoutLog log;
    GradientDescentTSNETexture engine;
    engine.setLogger(&log);
    Embedding<float> embedding;
    testing::internal::CaptureStdout();
    engine.initialize(P, &embedding, params);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Initializing tSNE...\nNumber of data points:\t100\n"
              "Computing high-dimensional joint probability distribution...\n"
              "Initializing the embedding...\nInitialization complete!\n");
    testing::internal::CaptureStdout();
    for (unsigned int t = 0; t < 330; ++t) {
        const double e = engine.exaggerationFactor();
        if (t <= 250)
            ASSERT_EQ(e, 4.0) << t;
        else if (t >= 320)
            ASSERT_EQ(e, 1.0) << t;
        else
            ASSERT_FLOAT_EQ(e, 1.0 + 3.0 * (1.0 - (t - 250) / 70.0)) << t;
        engine.doAnIteration();
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Switch to final momentum...\nRemove exaggeration...\n");
    EXPECT_EQ(engine.iteration(), 330u);
}

// A hundred re-initialisations in one context: the objects of each run are
// freed by the next, so the process does not grow (a leak would cost each run
// its buffers, textures and compiled programs).
TEST_F(GpuTsneEngineTest, ReInitialisationDoesNotLeak) {
    const unsigned int n = 1000;
    SparseMatrix P(n);
    for (unsigned int i = 0; i + 1 < n; ++i) P[i][i + 1] = 1.f;
    GradientDescentTSNETexture engine;
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
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}
