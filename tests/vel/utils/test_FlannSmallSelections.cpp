// FLANN's trees are randomised through the process-wide rand(), and a bounded
// number of checks could visit fewer points than asked for when the selection
// is hardly larger than the neighbour count: a small selection then failed
// with "fewer than k neighbors". Every rand() state must give every point.
#include "vel/utils/FlannKnnBackend.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <vector>

TEST(FlannSmallSelections, EveryRandomStateFindsAllPointsWhenKEqualsTheSelection) {
    constexpr unsigned int n = 10, dims = 5;
    std::mt19937 gen(7);
    std::normal_distribution<float> normal;
    std::vector<float> data(n * dims);
    for (float& v : data) v = normal(gen);

    vel::utils::KnnBackend::Request request;
    request.data = data.data();
    request.dims = dims;
    request.numPoints = n;
    request.k = n;
    request.numChecks = 4;
    vel::utils::FlannKnnBackend flann;
    for (unsigned int state = 0; state < 200; ++state) {
        std::srand(state);
        std::vector<float> distances;
        std::vector<int> indices;
        vel::utils::KnnBackend::Timings timings;
        ASSERT_NO_THROW(flann.search(request, distances, indices, timings, nullptr)) << "rand state " << state;
        for (unsigned int i = 0; i < n; ++i) {
            std::vector<int> row(indices.begin() + i * n, indices.begin() + (i + 1) * n);
            std::sort(row.begin(), row.end());
            for (unsigned int j = 0; j < n; ++j) ASSERT_EQ(row[j], static_cast<int>(j)) << "state " << state;
        }
    }
}
