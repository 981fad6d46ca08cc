#include <gtest/gtest.h>

#include <omp.h>

#include <cstdlib>
#include <map>
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
// Without a tree Annoy finds nothing: the shortfall reaches the caller.
TEST(JointProbabilities, NeighbourCountAndRefusals) {
    for (const auto& [perplexity, n, k] :
         {std::make_tuple(30.f, 100000u, 91u), std::make_tuple(30.5f, 100000u, 92u), std::make_tuple(30.5f, 50u, 50u)})
        EXPECT_EQ(Generator::neighbourCount(withPerplexity(perplexity), n), k) << perplexity << " " << n;
    EXPECT_THROW(Generator::neighbourCount(withPerplexity(0.f), 10), std::logic_error);
    auto blobs = veltest::makeBlobs(1, 40, 3, 1.0, 22);
    Generator generator;
    SparseMatrix P;
    auto noTrees = withPerplexity(5, KNN_ANNOY);
    noTrees.numTrees = 0;
    for (auto c : {std::make_pair(0u, Generator::Parameters()), std::make_pair(1u, Generator::Parameters()),
                   std::make_pair(40u, withPerplexity(30, 7)), std::make_pair(40u, noTrees)}) {
        bool refused = false;
        quietly([&] {
            try {
                generator.computeJointProbabilityDistribution(blobs.data.data(), 3, c.first, P, c.second);
            } catch (const std::exception&) {
                refused = true;
            }
        });
        EXPECT_TRUE(refused) << c.first;
    }
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
    for (std::size_t i = 0; i < blobs.n; ++i) ASSERT_TRUE(results[0].at(i).memory() == results[1].at(i).memory()) << i;
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
        EXPECT_TRUE(indices[i * k] == static_cast<int>(i) && dense[i * k] == 0.f) << i;
        EXPECT_NEAR(std::accumulate(dense.begin() + i * k, dense.begin() + (i + 1) * k, 0.0), 1.0, 1e-5);
    }
    std::vector<float> full{0, 1, 4, 1, 0, 1, 4, 1, 0};
    SparseMatrix P;
    generator.computeProbabilityDistributionsFromDistanceMatrix(full, 3, P, withPerplexity(2));
    ASSERT_EQ(P.size(), 3u);
    for (unsigned int i = 0; i < 3; ++i) EXPECT_TRUE(P[i].size() == 3 && P[i].find(i)->second == 0.f);  // diagonal kept
    EXPECT_THROW(generator.computeProbabilityDistributionsFromDistanceMatrix(full, 2, P, withPerplexity(2)),
                 std::logic_error);
    EXPECT_EQ(capturedStdout([&] { generator.statistics().log(nullptr); }), "") << "statistics go only to a logger";
}

// A selection no larger than the neighbour count: FLANN finds every point
// whatever the state of the process-wide generator its trees draw from.
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

// Above a million entries the rows are gathered in blocks, in parallel: the
// same rows on one thread and on eight, each as (p_ij + p_ji) / 2 over the
// union of both directions (checked on every 97th row).
TEST(JointProbabilities, SymmetrisationInBlocksOfRows) {
    const SparseMatrix P = veltest::randomMatrix(180000, 12, 22);
    const int before = omp_get_max_threads();
    std::vector<SparseMatrix> results;
    for (const int threads : {1, 8}) {
        omp_set_num_threads(threads);
        SparseMatrix S = P;
        Generator().symmetrize(S);
        results.push_back(std::move(S));
    }
    omp_set_num_threads(before);
    for (unsigned int i = 0; i < P.size(); ++i)
        ASSERT_TRUE(results[1][i].memory() == results[0][i].memory()) << "row " << i;
    // Rows that name row i, for the rows checked.
    std::vector<std::vector<unsigned int>> naming(P.size());
    for (unsigned int j = 0; j < P.size(); ++j)
        for (const auto& e : P[j])
            if (e.first % 97 == 0) naming[e.first].push_back(j);
    auto at = [&](unsigned int i, unsigned int j) {
        const auto it = P[i].find(j);
        return it == P[i].end() ? 0.f : it->second;
    };
    for (unsigned int i = 0; i < P.size(); i += 97) {
        std::map<unsigned int, float> expected;
        for (const auto& e : P[i]) expected[e.first] = (e.second + at(e.first, i)) * 0.5f;
        for (const unsigned int j : naming[i]) expected[j] = (at(i, j) + at(j, i)) * 0.5f;
        const std::map<unsigned int, float> got(results[0][i].begin(), results[0][i].end());
        ASSERT_EQ(got, expected) << "row " << i;
    }
}

// Sorted rows are symmetrised in parallel: the exact (p_ij + p_ji) / 2 of
// every pair stored either way, diagonal entries and stored zeros kept, on any
// thread count.
TEST(JointProbabilities, SymmetrisationOfSortedRowsOnAnyThreadCount) {
    SparseMatrix P = veltest::randomMatrix(3000, 12, 21);
    P[5][5] = 0.25f;  // a diagonal entry stays as it is
    P[7][9] = 0.f;    // a stored zero stays stored
    const int before = omp_get_max_threads();
    std::vector<SparseMatrix> results;
    for (const int threads : {1, 2, 8}) {
        omp_set_num_threads(threads);
        SparseMatrix S = P;
        Generator().symmetrize(S);
        results.push_back(S);
    }
    omp_set_num_threads(before);
    veltest::expectSymmetrisationOf(P, results[0]);
    EXPECT_EQ(results[0][5].find(5)->second, 0.25f);
    EXPECT_TRUE(results[0][9].find(7) != results[0][9].end());
    for (std::size_t r = 1; r < results.size(); ++r)
        for (unsigned int i = 0; i < P.size(); ++i)
            ASSERT_TRUE(results[r][i].memory() == results[0][i].memory()) << "row " << i;
}
