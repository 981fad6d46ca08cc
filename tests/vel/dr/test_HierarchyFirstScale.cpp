#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

#include "support/CapturedOutput.h"
#include "vel/VelTestData.h"
#include "vel/dr/HierarchicalSNE.h"
#include "vel/utils/CoutLog.h"

namespace {

using Hsne = vel::dr::HierarchicalSNE<float, veltest::SparseMatrix>;

Hsne built(veltest::Blobs& b, int library, vel::utils::AbstractLog* log = nullptr) {
    Hsne h;
    h.setLogger(log);
    h.setDimensionality(static_cast<int>(b.dims));
    Hsne::Parameters p;
    p.knnLibrary = library;
    h.initialize(b.data.data(), b.n, p);
    return h;
}

class FirstScale : public testing::TestWithParam<int> {};

}  // namespace

TEST_P(FirstScale, HoldsTheCalibratedNearestNeighbours) {
    auto one = veltest::makeBlobs(1, 1, 10, 0.0, 1);
    EXPECT_THROW(built(one, GetParam()), std::logic_error);
    for (unsigned int n : {2u, 10u, 50u, 3000u}) {
        auto b = veltest::makeBlobs(n > 50 ? 6 : 1, n > 50 ? 500 : n, 10, 4.0, n);
        const auto P = built(b, GetParam()).scale(0).transitionMatrix;
        const unsigned int k = std::min(30u, n - 1);
        const auto d = [&](unsigned i, unsigned j) {
            return i == j ? -1.0 : veltest::squaredL2(&b.data[i * 10], &b.data[j * 10], 10);
        };
        const auto exact = veltest::exactNeighbours(n, k + 1, d);
        double hits = 0;
        for (unsigned int i = 0; i < n; ++i) {
            double sum = 0, entropy = 0;
            for (const auto& e : P[i]) {
                sum += e.second;
                entropy -= e.second > 0 ? e.second * std::log(e.second) : 0.0;
                hits += std::count(&exact[i * (k + 1) + 1], &exact[(i + 1) * (k + 1)], static_cast<int>(e.first));
                for (const auto& f : P[i]) EXPECT_TRUE(d(i, e.first) >= d(i, f.first) || e.second >= f.second - 1e-6f);
            }
            EXPECT_TRUE(P[i].size() <= k && P[i].count(i) == 0 && std::abs(sum - 1) < 1e-4) << "row " << i;
            EXPECT_NEAR(entropy, P[i].size() > 1 ? std::log(P[i].size() / 3.0) : 0.0, 1e-3) << "row " << i;
        }
        // Annoy at its default search_k (4 trees x K) finds fewer of the exact neighbours.
        const double floor = n <= 31 ? 1.0 : (GetParam() == 1 && n > 50) ? 0.6 : 0.9;
        EXPECT_GE(hits / (static_cast<double>(n) * k), floor) << n << " points";
    }
}

INSTANTIATE_TEST_SUITE_P(FlannHnswAnnoy, FirstScale, testing::Values(-1, 0, 1));

TEST(HierarchicalSNE, FirstScaleLogLinesAndUnknownBackEnds) {
    auto b = veltest::makeBlobs(1, 10, 10, 0.0, 5);
    for (int library : {2, -2}) EXPECT_THROW(built(b, library), std::logic_error) << library;
    vel::utils::CoutLog log;
    const std::string head =
        "Initializing Hierarchical-SNE...\nNumber of data points:\t10\nInitializing the first scale...\n"
        "Fewer data points than neighbors, number of neighbors lowered to:\t9\n";
    const std::string tail =
        "\tFMC computation...\nCreating transition matrix...\nMin memory requirements (MB):\t0.000801086\n"
        "Initialization complete!\n";
    const std::string trees = "\tBuilding the trees...\n\tAKNN queries...\n";
    const std::pair<int, std::string> searches[] = {
        {-1, "Computing the neighborhood graph...\n" + trees},
        {0, "Computing the neighborhood graph with HNSW Lib...\n" + trees},
        {1,
         "Computing approximated knn with Annoy...\nComputing approximated knn with Annoy using Euclidean "
         "distances ...\nDone building tree. Beginning nearest neighbor search... \n"},
    };
    for (const auto& [library, search] : searches)
        EXPECT_EQ(capturedStdout([&] { built(b, library, &log); }), head + search + tail) << library;
}
