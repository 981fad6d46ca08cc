// Every kNN back end and metric gives a valid symmetric joint matrix, and
// lists and probabilities that agree with an exact search.
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <set>
#include <string>
#include <tuple>

#include "vel/VelTestData.h"
#include "vel/utils/HDJointProbabilityGenerator.h"
#include "vel/utils/KnnCodes.h"

using namespace vel::utils;
using veltest::SparseMatrix;
using Generator = vel::dr::HDJointProbabilityGenerator<float, SparseMatrix>;

namespace {

// The measure each back end ranks by, as the generator hands it on: squared
// for the metric distances, the gap to the row's best for similarities.
enum class Measure { SquaredL2, Angular, ManhattanSquared, Similarity };

Measure measureOf(int library, int metric) {
    if (library == KNN_FLANN) return Measure::SquaredL2;
    if (library == KNN_HNSW) return metric == KNN_METRIC_INNER_PRODUCT ? Measure::Similarity : Measure::SquaredL2;
    if (metric == KNN_METRIC_COSINE) return Measure::Angular;
    if (metric == KNN_METRIC_MANHATTAN) return Measure::ManhattanSquared;
    return metric == KNN_METRIC_DOT ? Measure::Similarity : Measure::SquaredL2;
}

double dissimilarity(Measure m, const float* a, const float* c, unsigned int dims) {
    using veltest::dot;
    double manhattan = 0;
    for (unsigned int d = 0; d < dims; ++d) manhattan += std::fabs(static_cast<double>(a[d]) - c[d]);
    if (m == Measure::Angular)
        return std::max(0.0, 2.0 - 2.0 * dot(a, c, dims) / std::sqrt(dot(a, a, dims) * dot(c, c, dims)));
    if (m == Measure::ManhattanSquared) return manhattan * manhattan;
    return m == Measure::Similarity ? -dot(a, c, dims) : veltest::squaredL2(a, c, dims);
}

// Exact kNN lists with the generator's order (self first) and distances.
void exactLists(const veltest::Blobs& b, unsigned int k, Measure m, std::vector<float>& distances,
                std::vector<int>& indices) {
    const auto d = [&](unsigned int i, int j) {
        return dissimilarity(m, &b.data[static_cast<std::size_t>(i) * b.dims],
                             &b.data[static_cast<std::size_t>(j) * b.dims], b.dims);
    };
    indices = veltest::exactNeighbours(b.n, k, d);
    distances.resize(indices.size());
    for (unsigned int i = 0; i < b.n; ++i) {
        const auto first = indices.begin() + static_cast<std::ptrdiff_t>(i) * k;
        const double best = d(i, *first);
        auto self = std::find(first, first + k, static_cast<int>(i));
        if (self == first + k) *--self = static_cast<int>(i);
        std::rotate(first, self, self + 1);
        for (unsigned int j = 0; j < k; ++j)
            distances[static_cast<std::size_t>(i) * k + j] =
                static_cast<float>(d(i, first[j]) - (m == Measure::Similarity ? best : 0.0));
    }
}

void expectValidJointMatrix(const SparseMatrix& P, unsigned int n) {
    ASSERT_EQ(P.size(), n);
    double total = 0;
    for (unsigned int i = 0; i < n; ++i) {
        EXPECT_FALSE(P[i].empty()) << "row " << i;
        for (const auto& e : P[i]) {
            ASSERT_LT(e.first, n);
            EXPECT_NE(e.first, i) << "self entry kept in row " << i;
            EXPECT_TRUE(std::isfinite(e.second) && e.second >= 0.f);
            const auto mirror = P[e.first].find(i);
            ASSERT_NE(mirror, P[e.first].end()) << "(" << i << ", " << e.first << ") has no mirror";
            EXPECT_EQ(mirror->second, e.second);
            total += e.second;
        }
    }
    EXPECT_NEAR(total, static_cast<double>(n), 1e-2);
}

// OpenMP's thread count for the scope of the object.
class ScopedThreadCount {
public:
    explicit ScopedThreadCount(int threads) : _previous(omp_get_max_threads()) { omp_set_num_threads(threads); }
    ~ScopedThreadCount() { omp_set_num_threads(_previous); }
    ScopedThreadCount(const ScopedThreadCount&) = delete;
    ScopedThreadCount& operator=(const ScopedThreadCount&) = delete;

private:
    int _previous;
};

class KnnContract : public testing::TestWithParam<std::tuple<int, int>> {
protected:
    int library() const { return std::get<0>(GetParam()); }
    Measure measure() const { return measureOf(library(), std::get<1>(GetParam())); }
    Generator::Parameters params(float perplexity = 10) const {
        Generator::Parameters p;
        p.perplexity = perplexity;
        p.knnLibrary = library();
        p.knnMetric = std::get<1>(GetParam());
        return p;
    }
};

}  // namespace

// hnswlib inserts concurrently: its graph, and with it which neighbours a
// search misses, follows the order in which the threads happen to insert
// (under load a graph now and then finds only 87 % of the exact sets). Built
// on one thread it inserts in point order with its fixed seed, the one graph
// every run gets, so the floor below is a property of that graph.
TEST_P(KnnContract, AgreesWithExactNeighboursAndTheSameCalibration) {
    auto blobs = veltest::makeBlobs(6, 100, 10, 4.0, 12);
    Generator generator;
    auto p = params();
    const unsigned int k = Generator::neighbourCount(p, blobs.n);
    std::vector<float> distances, exactDistances;
    std::vector<int> indices, exactIndices;
    {
        const ScopedThreadCount threads(library() == KNN_HNSW ? 1 : omp_get_max_threads());
        generator.computeHighDimensionalDistances(blobs.data.data(), blobs.dims, blobs.n, distances, indices, p);
        if (library() == KNN_HNSW) {
            std::vector<float> again;
            std::vector<int> againIndices;
            generator.computeHighDimensionalDistances(blobs.data.data(), blobs.dims, blobs.n, again, againIndices, p);
            ASSERT_EQ(againIndices, indices) << "a serial build gave another graph";
            ASSERT_EQ(again, distances);
        }
    }
    exactLists(blobs, k, measure(), exactDistances, exactIndices);
    SparseMatrix P(blobs.n), reference(blobs.n);
    generator.computeGaussianDistributions(distances, indices, P, p);
    generator.computeGaussianDistributions(exactDistances, exactIndices, reference, p);

    unsigned int sameSets = 0;
    double recall = 0;
    for (unsigned int i = 0; i < blobs.n; ++i) {
        const auto first = static_cast<std::ptrdiff_t>(i) * k;
        EXPECT_EQ(indices[first], static_cast<int>(i));
        std::set<int> found(indices.begin() + first, indices.begin() + first + k);
        std::set<int> exact(exactIndices.begin() + first, exactIndices.begin() + first + k);
        EXPECT_EQ(found.size(), k) << "repeated neighbour in row " << i;
        recall +=
            static_cast<double>(std::count_if(found.begin(), found.end(), [&](int j) { return exact.count(j); })) / k;
        if (found != exact) continue;
        ++sameSets;
        // Same neighbours: the same conditional probabilities.
        ASSERT_EQ(P[i].size(), reference[i].size());
        for (const auto& e : P[i])
            EXPECT_NEAR(e.second, reference[i].find(e.first)->second, 2e-4) << i << "," << e.first;
    }
    recall /= blobs.n;
    // Annoy at its small default search_k and the inner-product spaces (not
    // metrics) are held to a recall floor; the others match the exact sets.
    const bool similarity = measure() == Measure::Similarity;
    if (library() == KNN_ANNOY || similarity) {
        EXPECT_GE(recall, similarity ? 0.65 : 0.85) << "mean recall";
    } else {
        EXPECT_GE(static_cast<double>(sameSets) / blobs.n, 0.95) << "points with the exact neighbour set";
    }
}

// Selections smaller than the neighbour count (K = 91 at perplexity 30) make
// every other point a neighbour.
TEST_P(KnnContract, JointMatrixIsValidForAnySelectionSize) {
    for (unsigned int n : {2u, 10u, 50u, 600u}) {
        SCOPED_TRACE(n);
        auto blobs = veltest::makeBlobs(2, n / 2, 4, 3.0, 13 + n);
        SparseMatrix P;
        auto p = params(30);
        Generator().computeJointProbabilityDistribution(blobs.data.data(), blobs.dims, blobs.n, P, p);
        expectValidJointMatrix(P, n);
        for (unsigned int i = 0; i < n && n < 91; ++i) EXPECT_EQ(P[i].size(), n - 1);
    }
}

TEST_P(KnnContract, DuplicateEventsDropOnlyTheirOwnEntry) {
    // 60 identical events (all-zero after a transform) among 240 others.
    auto blobs = veltest::makeBlobs(4, 60, 6, 3.0, 14);
    std::fill(blobs.data.begin(), blobs.data.begin() + 60 * 6, 0.f);
    auto p = params();
    const unsigned int k = Generator::neighbourCount(p, blobs.n);
    SparseMatrix P;
    Generator().computeProbabilityDistributions(blobs.data.data(), blobs.dims, blobs.n, P, p);
    for (unsigned int i = 0; i < blobs.n; ++i) {
        EXPECT_EQ(P[i].size(), k - 1) << "row " << i;
        EXPECT_EQ(P[i].count(i), 0u) << "self entry kept in row " << i;
    }
}

// The search tells every point once and (where it is repeatable) gives the
// lists it gives without being watched; a stop, whether asked before the first point or half-way,
// ends it with Stopped before the remaining points are searched.
TEST_P(KnnContract, ProgressCountsEveryPointAndAStopEndsTheSearch) {
    const auto blobs = veltest::makeBlobs(6, 250, 10, 4.0, 15);
    auto p = params();
    std::vector<float> expectedDistances, distances;
    std::vector<int> expectedIndices, indices;
    Generator().computeHighDimensionalDistances(const_cast<float*>(blobs.data.data()), blobs.dims, blobs.n,
                                                expectedDistances, expectedIndices, p);
    const struct {
        const char* name;
        std::size_t stopAt;  // points told before the stop; n: never
    } cases[] = {{"never", blobs.n}, {"at once", 0}, {"half-way", blobs.n / 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::atomic<std::size_t> told{0}, callsAfterStop{0};
        std::atomic<bool> stopped{false};
        Generator generator;
        generator.setSearchProgress([&](std::size_t points) {
            if (stopped) ++callsAfterStop;
            if (told.fetch_add(points) + points >= c.stopAt && c.stopAt < blobs.n) stopped = true;
            return !stopped;
        });
        if (c.stopAt == blobs.n) {
            generator.computeHighDimensionalDistances(const_cast<float*>(blobs.data.data()), blobs.dims, blobs.n,
                                                      distances, indices, p);
            EXPECT_EQ(told, blobs.n);
            // hnswlib inserts in parallel: its graph varies from run to run.
            if (library() != KNN_HNSW) {
                EXPECT_EQ(indices, expectedIndices);
                EXPECT_EQ(distances, expectedDistances);
            }
        } else {
            EXPECT_THROW(generator.computeHighDimensionalDistances(const_cast<float*>(blobs.data.data()), blobs.dims,
                                                                   blobs.n, distances, indices, p),
                         KnnBackend::Stopped);
            // At most one more point per thread after the stop is seen.
            EXPECT_LE(told, c.stopAt + 512 + 64);
            EXPECT_LE(callsAfterStop, 64u);
        }
    }
}

std::string caseName(const testing::TestParamInfo<std::tuple<int, int>>& info) {
    static const char* libraries[] = {"Flann", "Hnsw", "Annoy"};
    static const char* metrics[] = {"Euclidean", "Cosine", "InnerProduct", "Manhattan", "Four", "Dot"};
    return std::string(libraries[std::get<0>(info.param) - KNN_FLANN]) + metrics[std::get<1>(info.param)];
}
INSTANTIATE_TEST_SUITE_P(AllBackEnds, KnnContract,
                         testing::Combine(testing::Values(KNN_FLANN, KNN_HNSW, KNN_ANNOY),
                                          testing::Values(0, 1, 2, 3, 5)),
                         caseName);
