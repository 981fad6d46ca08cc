#include <gtest/gtest.h>

#include <omp.h>

#include <cmath>
#include <stdexcept>
#include <string>

#include "vel/VelTestData.h"
#include "vel/utils/CoutLog.h"
#include "vel/utils/HDJointProbabilityGenerator.h"
#include "vel/utils/KnnCodes.h"

using namespace vel::utils;
using veltest::SparseMatrix;
using Generator = vel::dr::HDJointProbabilityGenerator<float, SparseMatrix>;

TEST(JointProbabilities, NeighbourCountFollowsThePerplexityAndTheSelection) {
    Generator::Parameters p;
    EXPECT_EQ(Generator::neighbourCount(p, 100000), 91u);
    p.perplexity = 30.5f;
    EXPECT_EQ(Generator::neighbourCount(p, 100000), 92u);
    EXPECT_EQ(Generator::neighbourCount(p, 50), 50u);
    EXPECT_EQ(vel::dr::HDJointProbabilityGenerator_NrOfKnnAlgorithms(), 3u);
    p.perplexity = 0.f;
    EXPECT_THROW(Generator::neighbourCount(p, 10), std::logic_error);

    const auto blobs = veltest::makeBlobs(3, 100, 5, 3.0, 21);
    Generator generator;
    SparseMatrix P;
    generator.computeProbabilityDistributions(const_cast<float*>(blobs.data.data()), blobs.dims, blobs.n, P,
                                              Generator::Parameters());
    for (const auto& row : P) EXPECT_EQ(row.size(), 90u);
}

TEST(JointProbabilities, SymmetrizeAveragesBothDirections) {
    SparseMatrix P(3);
    P[0][1] = 0.2f;
    P[0][2] = 0.6f;
    P[2][0] = 0.4f;
    P[1][1] = 0.3f;
    Generator().symmetrize(P);
    EXPECT_FLOAT_EQ(P[0].find(1)->second, 0.1f);
    EXPECT_FLOAT_EQ(P[1].find(0)->second, 0.1f);
    EXPECT_FLOAT_EQ(P[0].find(2)->second, 0.5f);
    EXPECT_FLOAT_EQ(P[2].find(0)->second, 0.5f);
    EXPECT_FLOAT_EQ(P[1].find(1)->second, 0.3f);
    EXPECT_EQ(P[2].size(), 1u);
}

TEST(JointProbabilities, RefusesWhatItCannotCompute) {
    const auto blobs = veltest::makeBlobs(1, 40, 3, 1.0, 22);
    float* data = const_cast<float*>(blobs.data.data());
    Generator generator;
    SparseMatrix P;
    Generator::Parameters p;
    EXPECT_THROW(generator.computeJointProbabilityDistribution(data, 3, 1, P, p), std::logic_error);
    EXPECT_THROW(generator.computeJointProbabilityDistribution(data, 3, 0, P, p), std::logic_error);
    p.knnLibrary = 7;
    try {
        generator.computeJointProbabilityDistribution(data, 3, 40, P, p);
        FAIL();
    } catch (const std::logic_error& e) {
        EXPECT_NE(std::string(e.what()).find("unknown kNN library code 7"), std::string::npos);
    }
}

TEST(JointProbabilities, AnnoyShortfallReachesTheCaller) {
    const auto blobs = veltest::makeBlobs(1, 40, 3, 1.0, 23);
    Generator generator;
    SparseMatrix P;
    Generator::Parameters p;
    p.knnLibrary = KNN_ANNOY;
    p.perplexity = 5;
    p.numTrees = 0;  // no tree: Annoy finds nothing
    testing::internal::CaptureStdout();
    try {
        generator.computeJointProbabilityDistribution(const_cast<float*>(blobs.data.data()), 3, 40, P, p);
        testing::internal::GetCapturedStdout();
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Requesting 16 neighbors, but ANNOY returned only 0. Please increase search_k");
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Requesting 16 neighbors, but ANNOY returned only 0. Please increase search_k\n");
}

TEST(JointProbabilities, NearestByDotProductGetTheHighestProbability) {
    // Along the first axis the largest coordinate is the most similar by dot
    // product to every point with a positive first coordinate, though far away.
    const unsigned int n = 40, dims = 2;
    std::vector<float> data(n * dims);
    for (unsigned int i = 0; i < n; ++i) {
        data[i * dims] = 1.f + static_cast<float>(i);
        data[i * dims + 1] = 0.01f * static_cast<float>(i % 3);
    }
    for (int library : {static_cast<int>(KNN_ANNOY), static_cast<int>(KNN_HNSW)}) {
        SCOPED_TRACE(library);
        Generator::Parameters p;
        p.knnLibrary = library;
        p.knnMetric = library == KNN_ANNOY ? KNN_METRIC_DOT : KNN_METRIC_INNER_PRODUCT;
        p.perplexity = 3;
        p.numTrees = 8;
        Generator generator;
        SparseMatrix P;
        generator.computeProbabilityDistributions(data.data(), dims, n, P, p);
        const unsigned int i = 5;
        unsigned int best = 0;
        float bestValue = -1;
        for (const auto& e : P[i])
            if (e.second > bestValue) bestValue = e.second, best = e.first;
        EXPECT_EQ(best, n - 1) << "most likely neighbour of point " << i;
        // Within the row, probabilities fall with the dot product (here with the
        // first coordinate, i.e. the index).
        for (const auto& a : P[i])
            for (const auto& b : P[i])
                if (a.first > b.first) {
                    EXPECT_GE(a.second, b.second) << a.first << " vs " << b.first;
                }
    }
}

TEST(JointProbabilities, AnnoyResultsDoNotDependOnTheThreadCount) {
    const auto blobs = veltest::makeBlobs(4, 150, 8, 3.0, 24);
    Generator::Parameters p;
    p.knnLibrary = KNN_ANNOY;
    p.perplexity = 10;
    const int threads = omp_get_max_threads();
    SparseMatrix one, many;
    omp_set_num_threads(1);
    Generator().computeJointProbabilityDistribution(const_cast<float*>(blobs.data.data()), blobs.dims, blobs.n, one, p);
    omp_set_num_threads(8);
    Generator().computeJointProbabilityDistribution(const_cast<float*>(blobs.data.data()), blobs.dims, blobs.n, many,
                                                    p);
    omp_set_num_threads(threads);
    ASSERT_EQ(one.size(), many.size());
    for (std::size_t i = 0; i < one.size(); ++i) ASSERT_TRUE(one[i].memory() == many[i].memory()) << "row " << i;
}

TEST(JointProbabilities, DenseRowsAndDistanceMatrixVariants) {
    const auto blobs = veltest::makeBlobs(2, 30, 3, 2.0, 25);
    Generator::Parameters p;
    p.perplexity = 4;
    Generator generator;
    std::vector<float> dense;
    std::vector<int> indices;
    generator.computeProbabilityDistributions(const_cast<float*>(blobs.data.data()), 3, 60, dense, indices, p);
    const unsigned int k = Generator::neighbourCount(p, 60);
    ASSERT_EQ(dense.size(), 60u * k);
    for (unsigned int i = 0; i < 60; ++i) {
        EXPECT_EQ(indices[i * k], static_cast<int>(i));
        EXPECT_EQ(dense[i * k], 0.f);
        double sum = 0;
        for (unsigned int j = 0; j < k; ++j) sum += dense[i * k + j];
        EXPECT_NEAR(sum, 1.0, 1e-5);
    }

    const unsigned int n = 4;
    std::vector<float> full(n * n);
    for (unsigned int i = 0; i < n; ++i)
        for (unsigned int j = 0; j < n; ++j)
            full[i * n + j] = static_cast<float>((i > j ? i - j : j - i) * (i > j ? i - j : j - i));
    SparseMatrix P;
    p.perplexity = 2;
    generator.computeProbabilityDistributionsFromDistanceMatrix(full, n, P, p);
    ASSERT_EQ(P.size(), n);
    for (unsigned int i = 0; i < n; ++i) {
        EXPECT_EQ(P[i].size(), n);  // the diagonal 0 is stored too
        EXPECT_EQ(P[i].find(i)->second, 0.f);
    }
    EXPECT_THROW(generator.computeProbabilityDistributionsFromDistanceMatrix(full, 3, P, p), std::logic_error);
}

TEST(JointProbabilities, LogLinesAndStatistics) {
    const auto blobs = veltest::makeBlobs(2, 50, 3, 2.0, 26);
    CoutLog log;
    Generator generator;
    generator.setLogger(&log);
    Generator::Parameters p;
    p.perplexity = 5;
    SparseMatrix P;
    testing::internal::CaptureStdout();
    generator.computeJointProbabilityDistribution(const_cast<float*>(blobs.data.data()), 3, 100, P, p);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Computing the HD joint probability distribution...\n"
              "Computing approximated knn with Flann...\n"
              "Computing joint-probability distribution...\n");

    Generator::Statistics s;
    s.totalTime = 1.5f;
    s.treesConstructionTime = 0.25f;
    s.aknnTime = 0.5f;
    s.distributionsTime = 0.75f;
    testing::internal::CaptureStdout();
    s.log(&log);
    s.log(nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\n-------- HD Joint Probability Generator Statistics -----------\n"
              "Total time:\t1.5\n"
              "\tTrees construction time:\t0.25\n"
              "\tAKNN time:\t\t\t0.5\n"
              "\tDistributions time:\t\t0.75\n" +
                  std::string(62, '-') + "\n\n");
    s.reset();
    EXPECT_EQ(s.totalTime, 0.f);
}
