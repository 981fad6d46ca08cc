#include <gtest/gtest.h>

#include <omp.h>

#include <cmath>
#include <map>
#include <random>
#include <stdexcept>

#include "vel/VelTestData.h"
#include "vel/dr/SparseTSNEUserDefProbabilities.h"
#include "vel/utils/CoutLog.h"
#include "vel/utils/HDJointProbabilityGenerator.h"

using veltest::jointProbabilities;
using veltest::seeded;
using veltest::SparseMatrix;
using Engine = vel::dr::SparseTSNEUserDefProbabilities<float, SparseMatrix>;
using vel::data::Embedding;
using vel::dr::TsneParameters;

namespace {

// The exact-mode gradient of the engine's own matrix, from the positions y.
std::vector<double> referenceGradient(const SparseMatrix& P, const std::vector<float>& y, double exaggeration) {
    const std::size_t n = P.size();
    std::vector<double> q(n * n, 0.0);
    double Z = 0;
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j < n; ++j)
            if (i != j) {
                const double dx = y[2 * i] - y[2 * j], dy = y[2 * i + 1] - y[2 * j + 1];
                q[i * n + j] = 1.0 / (1.0 + dx * dx + dy * dy);
                Z += q[i * n + j];
            }
    std::vector<double> g(2 * n, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < n; ++j)
            for (int d = 0; d < 2; ++d)
                g[2 * i + d] -= 4.0 * q[i * n + j] * q[i * n + j] / Z * (y[2 * i + d] - y[2 * j + d]);
        for (const auto& e : P[i])
            for (int d = 0; d < 2; ++d)
                g[2 * i + d] +=
                    4.0 * exaggeration * e.second / n * q[i * n + e.first] * (y[2 * i + d] - y[2 * e.first + d]);
    }
    return g;
}

std::vector<float> run(const SparseMatrix& P, double theta, int seed, unsigned int iterations, int threads) {
    const int before = omp_get_max_threads();
    omp_set_num_threads(threads);
    Engine engine;
    engine.setTheta(theta);
    Embedding<float> embedding;
    engine.initialize(P, &embedding, seeded(seed));
    for (unsigned int i = 0; i < iterations; ++i) engine.doAnIteration();
    omp_set_num_threads(before);
    return embedding.getContainer();
}

}  // namespace

TEST(TsneParameters, Defaults) {
    const TsneParameters p;
    EXPECT_EQ(p.seed, -1);
    EXPECT_FLOAT_EQ(p.initialSpread, 0.1f);
    EXPECT_EQ(p.embeddingDimensionality, 2);
    EXPECT_DOUBLE_EQ(p.minimumGain, 0.1);
    EXPECT_DOUBLE_EQ(p.learningRate, 200);
    EXPECT_DOUBLE_EQ(p.momentum, 0.2);
    EXPECT_DOUBLE_EQ(p.finalMomentum, 0.5);
    EXPECT_DOUBLE_EQ(p.momentumSwitchIteration, 250.0);
    EXPECT_DOUBLE_EQ(p.exaggerationFactor, 4.0);
    EXPECT_EQ(p.removeExaggerationIteration, 250u);
    EXPECT_EQ(p.exaggerationDecayIterations, 150u);
    EXPECT_FALSE(p.presetEmbedding);
}

TEST(TsneEngine, RefusesIterationsAndBadInput) {
    Engine engine;
    try {
        engine.doAnIteration();
        FAIL();
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "Cannot compute a gradient descent iteration on unitialized data");
    }
    std::vector<float> position;
    try {
        engine.getEmbeddingPosition(position, 0);
        FAIL();
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "Algorithm must be initialized before ");
    }
    EXPECT_EQ(engine.computeKullbackLeiblerDivergence(), 0.0);

    SparseMatrix P(3);
    P[0][1] = 0.5f;
    P[1][0] = 0.5f;
    Embedding<float> embedding;
    TsneParameters oneD = seeded(1);
    oneD.embeddingDimensionality = 1;
    EXPECT_THROW(engine.initialize(P, &embedding, oneD), std::logic_error);
    P[2][3] = 0.5f;  // a column beyond the rows
    EXPECT_THROW(engine.initialize(P, &embedding, seeded(1)), std::logic_error);

    SparseMatrix good(2);
    good[0][1] = 1.f;
    engine.initialize(good, &embedding, seeded(1));
    engine.doAnIteration();
    engine.reset();
    EXPECT_THROW(engine.doAnIteration(), std::logic_error);
    engine.clear();
    EXPECT_EQ(embedding.numDataPoints(), 0u);
}

TEST(TsneEngine, StartPositionsAndSymmetrisation) {
    SparseMatrix P(4);
    P[0][1] = 0.2f;
    P[2][3] = 0.5f;
    P[3][2] = 0.3f;
    Embedding<float> a, b;
    Engine engine;
    TsneParameters params = seeded(42);
    params.presetEmbedding = true;  // not honoured by this engine
    engine.initialize(P, &a, params);
    EXPECT_EQ(engine.getNumberOfDataPoints(), 4u);
    const SparseMatrix& sym = engine.getDistributionP();
    EXPECT_FLOAT_EQ(sym[0].find(1)->second, 0.1f);
    EXPECT_FLOAT_EQ(sym[1].find(0)->second, 0.1f);
    EXPECT_FLOAT_EQ(sym[2].find(3)->second, 0.4f);
    Engine other;
    other.initialize(P, &b, seeded(42));
    EXPECT_EQ(a.getContainer(), b.getContainer());
    for (float v : a.getContainer()) {
        EXPECT_NE(v, 0.f);
        EXPECT_LT(std::fabs(v), 1.f);
    }
    Embedding<float> c;
    TsneParameters threeD = seeded(42);
    threeD.embeddingDimensionality = 3;
    other.initialize(P, &c, threeD);
    for (unsigned int i = 0; i < 4; ++i) {
        EXPECT_EQ(c.dataAt(i, 2), 0.f);
        EXPECT_EQ(c.dataAt(i, 0), a.dataAt(i, 0));
    }
    std::vector<float> position;
    other.getEmbeddingPosition(position, 1);
    EXPECT_EQ(position, (std::vector<float>{c.dataAt(1, 0), c.dataAt(1, 1), 0.f}));
}

TEST(TsneEngine, SymmetrisationMatchesTheOrderedMapEngine) {
    std::mt19937 rng(9);
    std::uniform_int_distribution<unsigned int> col(0, 59);
    std::uniform_real_distribution<float> val(0.f, 1.f);
    SparseMatrix P(60);
    std::vector<std::map<unsigned int, float>> M(60);
    for (unsigned int i = 0; i < 60; ++i)
        for (int k = 0; k < 8; ++k) {
            const unsigned int j = col(rng);
            const float v = val(rng);
            P[i][j] = v;
            M[i][j] = v;
        }
    Engine fast;
    vel::dr::SparseTSNEUserDefProbabilities<float, std::vector<std::map<unsigned int, float>>> ordered;
    Embedding<float> e1, e2;
    fast.initialize(P, &e1, seeded(3));
    ordered.initialize(M, &e2, seeded(3));
    for (unsigned int i = 0; i < 60; ++i) {
        ASSERT_EQ(fast.getDistributionP()[i].size(), ordered.getDistributionP()[i].size());
        for (const auto& e : ordered.getDistributionP()[i])
            EXPECT_EQ(fast.getDistributionP()[i].find(e.first)->second, e.second);
    }
    fast.doAnIteration();
    ordered.doAnIteration();
    EXPECT_EQ(e1.getContainer(), e2.getContainer());
}

TEST(TsneEngine, ScheduleLogLines) {
    const auto blobs = veltest::makeBlobs(2, 10, 3, 3.0, 31);
    const SparseMatrix P = jointProbabilities(blobs, 3);
    vel::utils::CoutLog log;
    Engine engine;
    engine.setLogger(&log);
    Embedding<float> embedding;
    testing::internal::CaptureStdout();
    engine.initialize(P, &embedding, seeded(1));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Initializing tSNE...\nNumber of data points:\t20\n"
              "Computing high-dimensional joint probability distribution...\n"
              "Initializing the embedding...\nInitialization complete!\n");
    testing::internal::CaptureStdout();
    for (int i = 0; i < 260; ++i) engine.doAnIteration();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Switch to final momentum...\nRemove exaggeration...\n");
    EXPECT_EQ(engine.iteration(), 260u);

    TsneParameters params = seeded(1);
    params.momentumSwitchIteration = 250.5;
    testing::internal::CaptureStdout();
    engine.initialize(P, &embedding, params);
    for (int i = 0; i < 260; ++i) engine.doAnIteration();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.find("Switch to final momentum..."), std::string::npos);
}

// One step from fresh gains and zero updates moves every coordinate by
// -learning rate x 1.2 x gradient; exact mode follows the exact gradient and
// Barnes-Hut (a quarter of it) matches it as theta goes to 0.
TEST(TsneEngine, FirstStepFollowsTheExactGradient) {
    const auto blobs = veltest::makeBlobs(3, 100, 5, 3.0, 32);
    const SparseMatrix P = jointProbabilities(blobs, 10);
    for (double theta : {0.0, 1e-9}) {
        SCOPED_TRACE(theta);
        Engine engine;
        engine.setTheta(theta);
        Embedding<float> embedding;
        engine.initialize(P, &embedding, seeded(5));
        const std::vector<float> y0 = embedding.getContainer();
        const auto g = referenceGradient(engine.getDistributionP(), y0, 4.0);
        engine.doAnIteration();
        const double scale = theta == 0.0 ? 1.0 : 0.25;
        double maxStep = 0, maxErr = 0;
        for (std::size_t k = 0; k < y0.size(); ++k) {
            const double expected = -200.0 * 1.2 * g[k] * scale;
            maxStep = std::max(maxStep, std::fabs(expected));
            maxErr = std::max(maxErr, std::fabs((embedding.getContainer()[k] - y0[k]) - expected));
        }
        EXPECT_GT(maxStep, 1e-4);
        EXPECT_LT(maxErr, 1e-3 * maxStep);
    }
}

TEST(TsneEngine, SameSeedSamePositionsOnAnyThreadCount) {
    const auto blobs = veltest::makeBlobs(4, 200, 8, 4.0, 33);
    const SparseMatrix P = jointProbabilities(blobs, 20);
    const auto one = run(P, 0.5, 17, 1000, 1);
    const auto eight = run(P, 0.5, 17, 1000, 8);
    EXPECT_TRUE(one == eight) << "Barnes-Hut positions differ between 1 and 8 threads";
    EXPECT_TRUE(run(P, 0.5, 17, 1000, 2) == one);

    const auto small = veltest::makeBlobs(3, 60, 5, 4.0, 34);
    const SparseMatrix Ps = jointProbabilities(small, 10);
    EXPECT_TRUE(run(Ps, 0.0, 17, 1000, 1) == run(Ps, 0.0, 17, 1000, 8)) << "exact positions differ";
}

namespace {
void expectEmbedsBlobs(unsigned int perCluster, double theta) {
    const auto blobs = veltest::makeBlobs(5, perCluster, 20, 3.0, 35);
    const SparseMatrix P = jointProbabilities(blobs, 30);
    Engine engine;
    engine.setTheta(theta);
    Embedding<float> embedding;
    engine.initialize(P, &embedding, seeded(1));
    double kl300 = 0;
    for (unsigned int i = 0; i < 1000; ++i) {
        engine.doAnIteration();
        if (engine.iteration() == 300) kl300 = veltest::exactKL(engine.getDistributionP(), embedding.getContainer());
    }
    const double kl1000 = veltest::exactKL(engine.getDistributionP(), embedding.getContainer());
    EXPECT_LT(kl1000, kl300);
    EXPECT_GE(veltest::knnLabelAccuracy(embedding.getContainer(), blobs.labels, 10), 0.99);
    testing::Test::RecordProperty("kl300", std::to_string(kl300));
    testing::Test::RecordProperty("kl1000", std::to_string(kl1000));
}
}  // namespace

TEST(TsneQuality, BarnesHutSeparatesFiveBlobs) { expectEmbedsBlobs(2000, 0.5); }
TEST(TsneQuality, ExactGradientSeparatesFiveBlobs) { expectEmbedsBlobs(200, 0.0); }
