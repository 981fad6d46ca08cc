#pragma once
// Maps of separated groups, as a clustered data set gives them: transition
// rows that stay inside their own group, and where each group lies in an
// embedding.

#include <algorithm>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "vel/VelTestData.h"

namespace veltest {

// Each row a transition to `perRow` random other members of its own group,
// with weights drawn from 0.2 to 1 and summing to 1, and no entry between
// groups. `group` receives each point's group, in row order.
inline SparseMatrix groupedMatrix(const std::vector<int>& sizes, int perRow, std::uint32_t seed,
                                  std::vector<int>& group) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> weight(0.2f, 1.f);
    SparseMatrix P;
    group.clear();
    int start = 0;
    for (size_t g = 0; g < sizes.size(); ++g) {
        for (int i = start; i < start + sizes[g]; ++i) {
            std::vector<int> others;
            for (int j = start; j < start + sizes[g]; ++j)
                if (j != i) others.push_back(j);
            std::shuffle(others.begin(), others.end(), rng);
            others.resize(static_cast<size_t>(std::min<int>(perRow, static_cast<int>(others.size()))));
            std::sort(others.begin(), others.end());
            std::vector<float> w(others.size());
            float sum = 0;
            for (float& v : w) sum += v = weight(rng);
            P.emplace_back();
            for (size_t k = 0; k < others.size(); ++k) P.back()[static_cast<unsigned>(others[k])] = w[k] / sum;
            group.push_back(static_cast<int>(g));
        }
        start += sizes[g];
    }
    return P;
}

// The centroid (x, y) of each of `groups` groups of a 2-D embedding.
inline std::vector<std::pair<double, double>> groupCentroids(const std::vector<float>& y, const std::vector<int>& group,
                                                             size_t groups) {
    std::vector<std::pair<double, double>> centre(groups);
    std::vector<double> count(groups);
    for (size_t i = 0; i < group.size(); ++i) {
        const size_t g = static_cast<size_t>(group[i]);
        centre[g].first += y[2 * i], centre[g].second += y[2 * i + 1], count[g] += 1;
    }
    for (size_t g = 0; g < groups; ++g) centre[g].first /= count[g], centre[g].second /= count[g];
    return centre;
}

}  // namespace veltest
