#pragma once
// Synthetic data and exact references shared by the library tests.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <random>
#include <vector>

#include "vel/data/MapMemEff.h"
#include "vel/dr/TsneParameters.h"
#include "vel/utils/HDJointProbabilityGenerator.h"

namespace veltest {

using SparseMatrix = std::vector<vel::data::MapMemEff<unsigned int, float>>;

struct Blobs {
    std::vector<float> data;  // n x dims, row-major
    std::vector<int> labels;
    unsigned int n = 0;
    unsigned int dims = 0;
};

// `clusters` Gaussian blobs of `perCluster` points with unit spread, centres
// drawn with the given spread.
inline Blobs makeBlobs(unsigned int clusters, unsigned int perCluster, unsigned int dims, double centreSpread,
                       std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> normal(0.0, 1.0);
    std::vector<double> centres(static_cast<std::size_t>(clusters) * dims);
    for (auto& c : centres) c = normal(rng) * centreSpread;
    Blobs b{{}, {}, clusters * perCluster, dims};
    for (unsigned int i = 0; i < b.n; ++i) {
        b.labels.push_back(static_cast<int>(i / perCluster));
        for (unsigned int d = 0; d < dims; ++d)
            b.data.push_back(
                static_cast<float>(centres[static_cast<std::size_t>(i / perCluster) * dims + d] + normal(rng)));
    }
    return b;
}

// Row-major n x k indices of the exact k nearest neighbours (the point itself
// included) under a dissimilarity d(i, j), smallest first, ties by index.
template <typename Dissimilarity>
std::vector<int> exactNeighbours(unsigned int n, unsigned int k, Dissimilarity dissimilarity) {
    std::vector<int> result(static_cast<std::size_t>(n) * k);
    std::vector<std::pair<double, int>> row(n);
    for (unsigned int i = 0; i < n; ++i) {
        for (unsigned int j = 0; j < n; ++j) row[j] = {dissimilarity(i, j), static_cast<int>(j)};
        std::partial_sort(row.begin(), row.begin() + k, row.end());
        for (unsigned int j = 0; j < k; ++j) result[static_cast<std::size_t>(i) * k + j] = row[j].second;
    }
    return result;
}

inline double squaredL2(const float* a, const float* b, unsigned int dims) {
    double s = 0;
    for (unsigned int d = 0; d < dims; ++d)
        s += (static_cast<double>(a[d]) - b[d]) * (static_cast<double>(a[d]) - b[d]);
    return s;
}

inline double dot(const float* a, const float* b, unsigned int dims) {
    double s = 0;
    for (unsigned int d = 0; d < dims; ++d) s += static_cast<double>(a[d]) * b[d];
    return s;
}

// Exact KL divergence of a 2-D embedding's Student-t affinities from P / sum(P).
inline double exactKL(const SparseMatrix& P, const std::vector<float>& y) {
    const std::size_t n = P.size();
    const auto q = [&](std::size_t i, std::size_t j) { return 1.0 / (1.0 + squaredL2(&y[2 * i], &y[2 * j], 2)); };
    double sumP = 0, Z = 0, kl = 0;
    for (std::size_t i = 0; i < n; ++i) {
        for (const auto& e : P[i]) sumP += e.second;
        for (std::size_t j = 0; j < n; ++j) Z += j == i ? 0.0 : q(i, j);
    }
    for (std::size_t i = 0; i < n; ++i)
        for (const auto& e : P[i])
            if (e.second > 0) kl += e.second / sumP * std::log(e.second / sumP * Z / q(i, e.first));
    return kl;
}

// Share of points whose nearest other point in a 2-D embedding shares its label.
inline double nearestLabelAccuracy(const std::vector<float>& y, const std::vector<int>& labels) {
    const unsigned int n = static_cast<unsigned int>(labels.size());
    const auto near = exactNeighbours(
        n, 2, [&](unsigned int i, unsigned int j) { return i == j ? -1.0 : squaredL2(&y[2 * i], &y[2 * j], 2); });
    unsigned int correct = 0;
    for (unsigned int i = 0; i < n; ++i) correct += labels[near[2 * i + 1]] == labels[i];
    return static_cast<double>(correct) / n;
}

// The joint probabilities of a blob set at the generator's defaults.
inline SparseMatrix jointProbabilities(const Blobs& b, float perplexity) {
    vel::dr::HDJointProbabilityGenerator<float, SparseMatrix>::Parameters p;
    p.perplexity = perplexity;
    SparseMatrix P;
    vel::dr::HDJointProbabilityGenerator<float, SparseMatrix>().computeJointProbabilityDistribution(
        const_cast<float*>(b.data.data()), b.dims, b.n, P, p);
    return P;
}

// A seeded sparse matrix with `perRow` random columns per row.
template <typename Matrix = SparseMatrix>
Matrix randomMatrix(unsigned int n, int perRow, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<unsigned int> column(0, n - 1);
    std::uniform_real_distribution<float> value(0.f, 1.f);
    Matrix P(n);
    for (unsigned int i = 0; i < n; ++i)
        for (int k = 0; k < perRow; ++k) P[i][column(rng)] = value(rng);
    return P;
}

// Expects `result` to hold (p_ij + p_ji) / 2 for every pair stored in either
// direction of P, and nothing else.
template <typename Matrix>
void expectSymmetrisationOf(const Matrix& P, const Matrix& result) {
    auto at = [&](unsigned int i, unsigned int j) {
        const auto it = P[i].find(j);
        return it == P[i].end() ? 0.f : it->second;
    };
    std::vector<std::map<unsigned int, float>> S(P.size());
    for (unsigned int i = 0; i < P.size(); ++i)
        for (const auto& e : P[i]) S[i][e.first] = S[e.first][i] = (at(i, e.first) + at(e.first, i)) * 0.5f;
    ASSERT_EQ(result.size(), S.size());
    using Row = std::map<unsigned int, float>;
    for (unsigned int i = 0; i < S.size(); ++i) EXPECT_EQ(Row(result[i].begin(), result[i].end()), S[i]) << "row " << i;
}

inline vel::dr::TsneParameters seeded(int seed) {
    vel::dr::TsneParameters params;
    params.seed = seed;
    return params;
}

}  // namespace veltest
