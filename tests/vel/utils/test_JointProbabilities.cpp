#include <gtest/gtest.h>

#include <omp.h>

#include <cstdlib>
#include <numeric>

#include "support/CapturedOutput.h"
#include "vel/VelTestData.h"
#include "vel/utils/HDJointProbabilityGenerator.h"
#include "vel/utils/KnnCodes.h"

using namespace vel::utils;
using veltest::SparseMatrix;
using Generator = vel::dr::HDJointProbabilityGenerator<float, SparseMatrix>;

namespace {
Generator::Parameters withPerplexity(float perplexity, int library = KNN_FLANN) {
    Generator::Parameters p;
    p.perplexity = perplexity;
    p.knnLibrary = library;
    return p;
}
}  // namespace

// 3 x perplexity + 1 neighbours (the point itself included), at most N.
TEST(JointProbabilities, NeighbourCountFollowsThePerplexityAndTheSelection) {
    for (const auto& [perplexity, n, k] :
         {std::make_tuple(30.f, 100000u, 91u), std::make_tuple(30.5f, 100000u, 92u), std::make_tuple(30.5f, 50u, 50u)})
        EXPECT_EQ(Generator::neighbourCount(withPerplexity(perplexity), n), k) << perplexity << " " << n;
    EXPECT_THROW(Generator::neighbourCount(withPerplexity(0.f), 10), std::logic_error);
}

TEST(JointProbabilities, RefusesWhatItCannotCompute) {
    auto blobs = veltest::makeBlobs(1, 40, 3, 1.0, 22);
    Generator generator;
    SparseMatrix P;
    for (unsigned int n : {0u, 1u})
        EXPECT_THROW(generator.computeJointProbabilityDistribution(blobs.data.data(), 3, n, P, Generator::Parameters()),
                     std::logic_error);
    try {
        generator.computeJointProbabilityDistribution(blobs.data.data(), 3, 40, P, withPerplexity(30, 7));
        FAIL();
    } catch (const std::logic_error& e) {
        EXPECT_NE(std::string(e.what()).find("unknown kNN library code 7"), std::string::npos) << e.what();
    }
    // Without a tree Annoy finds nothing: the shortfall reaches the caller.
    auto noTrees = withPerplexity(5, KNN_ANNOY);
    noTrees.numTrees = 0;
    const char* shortfall = "Requesting 16 neighbors, but ANNOY returned only 0. Please increase search_k";
    EXPECT_EQ(capturedStdout([&] {
                  try {
                      generator.computeJointProbabilityDistribution(blobs.data.data(), 3, 40, P, noTrees);
                      ADD_FAILURE() << "no error";
                  } catch (const std::runtime_error& e) {
                      EXPECT_STREQ(e.what(), shortfall);
                  }
              }),
              std::string(shortfall) + "\n");
}

TEST(JointProbabilities, AnnoyResultsDoNotDependOnTheThreadCount) {
    auto blobs = veltest::makeBlobs(4, 150, 8, 3.0, 24);
    const int threads = omp_get_max_threads();
    std::vector<SparseMatrix> results;
    for (int t : {1, 3}) {
        omp_set_num_threads(t);
        results.emplace_back();
        Generator().computeJointProbabilityDistribution(blobs.data.data(), blobs.dims, blobs.n, results.back(),
                                                        withPerplexity(10, KNN_ANNOY));
    }
    omp_set_num_threads(threads);
    ASSERT_EQ(results[0].size(), results[1].size());
    for (std::size_t i = 0; i < results[0].size(); ++i)
        ASSERT_TRUE(results[0][i].memory() == results[1][i].memory()) << "row " << i;
}

TEST(JointProbabilities, DenseRowsAndDistanceMatrixVariants) {
    auto blobs = veltest::makeBlobs(2, 30, 3, 2.0, 25);
    Generator generator;
    std::vector<float> dense;
    std::vector<int> indices;
    generator.computeProbabilityDistributions(blobs.data.data(), 3, 60, dense, indices, withPerplexity(4));
    const unsigned int k = Generator::neighbourCount(withPerplexity(4), 60);
    ASSERT_EQ(dense.size(), 60u * k);
    for (unsigned int i = 0; i < 60; ++i) {
        EXPECT_EQ(indices[i * k], static_cast<int>(i));
        EXPECT_EQ(dense[i * k], 0.f);
        EXPECT_NEAR(std::accumulate(dense.begin() + i * k, dense.begin() + (i + 1) * k, 0.0), 1.0, 1e-5);
    }
    const unsigned int n = 4;
    std::vector<float> full(n * n);
    for (unsigned int i = 0; i < n; ++i)
        for (unsigned int j = 0; j < n; ++j) full[i * n + j] = static_cast<float>((i - j) * (i - j));
    SparseMatrix P;
    generator.computeProbabilityDistributionsFromDistanceMatrix(full, n, P, withPerplexity(2));
    ASSERT_EQ(P.size(), n);
    for (unsigned int i = 0; i < n; ++i) {
        EXPECT_EQ(P[i].size(), n);  // the diagonal 0 is stored too
        EXPECT_EQ(P[i].find(i)->second, 0.f);
    }
    EXPECT_THROW(generator.computeProbabilityDistributionsFromDistanceMatrix(full, 3, P, withPerplexity(2)),
                 std::logic_error);
}

// Statistics are filled on every run and written only to a logger.
TEST(JointProbabilities, Statistics) {
    auto blobs = veltest::makeBlobs(2, 50, 3, 2.0, 26);
    Generator generator;
    SparseMatrix P;
    generator.computeJointProbabilityDistribution(blobs.data.data(), 3, 100, P, withPerplexity(5));
    Generator::Statistics s = generator.statistics();
    EXPECT_GT(s.totalTime, 0.f);
    EXPECT_EQ(capturedStdout([&] { s.log(nullptr); }), "");
    s.reset();
    EXPECT_EQ(s.totalTime, 0.f);
}

// A selection no larger than the neighbour count asks FLANN for every point:
// whatever state the process-wide generator is in (the randomised trees draw
// from it), all of them are found.
TEST(JointProbabilities, FlannFindsEveryPointOfASmallSelection) {
    auto blobs = veltest::makeBlobs(2, 5, 4, 3.0, 23);
    for (unsigned int seed = 0; seed < 40; ++seed) {
        std::srand(seed);
        SparseMatrix P;
        EXPECT_NO_THROW(
            Generator().computeJointProbabilityDistribution(blobs.data.data(), 4, 10, P, withPerplexity(30)))
            << "generator seeded with " << seed;
    }
}
