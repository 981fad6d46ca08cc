// The forest built side by side against Annoy's own build of each of its trees,
// and the Annoy back end's lists against the same forest queried point by point.
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <numeric>

#include "vel/VelTestData.h"
#include "vel/utils/AnnoyForest.h"
#include "vel/utils/AnnoyKnnBackend.h"

namespace {

template <typename Distance>
using Forest = vel::utils::AnnoyForest<int, double, Distance, Kiss32Random>;

template <typename Distance>
void addItems(Forest<Distance>& index, const veltest::Blobs& b) {
    std::vector<double> item(b.dims);
    for (unsigned int i = 0; i < b.n; ++i) {
        std::copy_n(&b.data[static_cast<std::size_t>(i) * b.dims], b.dims, item.begin());
        index.add_item(static_cast<int>(i), item.data());
    }
}

template <typename Distance>
void expectAnnoysTrees() {
    const auto b = veltest::makeBlobs(4, 600, 6, 5.0, 31);
    // Annoy's own build of one tree from each seed: tree 0 is its default build.
    std::vector<std::vector<std::vector<int>>> own;
    for (std::size_t t = 0; t < 5; ++t) {
        Forest<Distance> single(static_cast<int>(b.dims));
        addItems(single, b);
        single.set_seed(Forest<Distance>::treeSeed(t));
        ASSERT_TRUE(single.build(1));
        own.push_back(single.leaves(0));
        ASSERT_GT(own.back().size(), 20u);
    }
    std::vector<int> all(b.n), order;
    std::iota(all.begin(), all.end(), 0);
    for (int threads : {1, 2, 8}) {
        omp_set_num_threads(threads);
        for (int concurrent : {1, 3, 8}) {
            Forest<Distance> forest(static_cast<int>(b.dims));
            addItems(forest, b);
            forest.buildForest(5, concurrent);
            ASSERT_EQ(forest.get_n_trees(), 5);
            for (std::size_t t = 0; t < 5; ++t)
                EXPECT_EQ(forest.leaves(t), own[t]) << "tree " << t << ", " << threads << " threads, " << concurrent;
            order = forest.leafOrder(2);
            std::sort(order.begin(), order.end());
            EXPECT_EQ(order, all);
        }
    }
    omp_set_num_threads(omp_get_num_procs());

    // One tree: the queries of Annoy's own index, split planes and all.
    Forest<Distance> forest(static_cast<int>(b.dims)), single(static_cast<int>(b.dims));
    addItems(forest, b);
    addItems(single, b);
    forest.buildForest(1, 4);
    ASSERT_TRUE(single.build(1));
    for (int i = 0; i < static_cast<int>(b.n); i += 7) {
        std::vector<int> a, c;
        std::vector<double> da, dc;
        forest.get_nns_by_item(i, 25, 100, &a, &da);
        single.get_nns_by_item(i, 25, 100, &c, &dc);
        ASSERT_EQ(a, c) << i;
        ASSERT_EQ(da, dc) << i;
    }
}

}  // namespace

TEST(AnnoyForest, EveryTreeIsAnnoysOwnTreeOfItsSeed) {
    expectAnnoysTrees<Euclidean>();
    expectAnnoysTrees<Angular>();
    expectAnnoysTrees<Manhattan>();
    expectAnnoysTrees<DotProduct>();
}

TEST(AnnoyForest, BackEndListsAreThePointByPointQueriesOfTheForest) {
    const auto b = veltest::makeBlobs(5, 800, 8, 4.0, 32);
    vel::utils::KnnBackend::Request request;
    std::tie(request.data, request.dims, request.numPoints, request.k, request.numTrees) =
        std::make_tuple(b.data.data(), b.dims, b.n, 20u, 3);
    Forest<Euclidean> forest(static_cast<int>(b.dims));
    addItems(forest, b);
    forest.buildForest(3, 2);
    std::vector<float> expectedDistances;
    std::vector<int> expected;
    for (unsigned int i = 0; i < b.n; ++i) {
        std::vector<int> found;
        std::vector<double> distances;
        forest.get_nns_by_item(static_cast<int>(i), request.k, 3 * 20, &found, &distances);
        ASSERT_EQ(found.size(), request.k);
        expected.insert(expected.end(), found.begin(), found.end());
        for (double d : distances) expectedDistances.push_back(static_cast<float>(d * d));
    }
    for (int threads : {1, 2, 8}) {
        omp_set_num_threads(threads);
        std::vector<float> distances;
        std::vector<int> indices;
        vel::utils::KnnBackend::Timings timings;
        vel::utils::AnnoyKnnBackend().search(request, distances, indices, timings, nullptr);
        EXPECT_EQ(indices, expected) << threads << " threads";
        EXPECT_EQ(distances, expectedDistances) << threads << " threads";
    }
    omp_set_num_threads(omp_get_num_procs());
}
