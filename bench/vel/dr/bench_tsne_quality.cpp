#include "bench_tsne_quality.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <utility>

namespace benchtsne {

double exactKL(const Matrix& P, const std::vector<float>& y) {
    const std::size_t n = P.size();
    std::vector<double> rowZ(n, 0.0), rowKL(n, 0.0);
#pragma omp parallel for schedule(dynamic, 64)
    for (long long li = 0; li < static_cast<long long>(n); ++li) {
        const std::size_t i = static_cast<std::size_t>(li);
        const double xi = y[2 * i], yi = y[2 * i + 1];
        double z = 0;
        for (std::size_t j = 0; j < n; ++j) {
            const double dx = xi - y[2 * j], dy = yi - y[2 * j + 1];
            z += 1.0 / (1.0 + dx * dx + dy * dy);
        }
        rowZ[i] = z - 1.0;  // without the pair (i, i)
    }
    double Z = 0, sumP = 0;
    for (std::size_t i = 0; i < n; ++i) {
        Z += rowZ[i];
        for (const auto& e : P[i]) sumP += e.second;
    }
#pragma omp parallel for schedule(dynamic, 256)
    for (long long li = 0; li < static_cast<long long>(n); ++li) {
        const std::size_t i = static_cast<std::size_t>(li);
        double kl = 0;
        for (const auto& e : P[i]) {
            if (e.second <= 0 || e.first == i) continue;
            const std::size_t j = e.first;
            const double dx = static_cast<double>(y[2 * i]) - y[2 * j],
                         dy = static_cast<double>(y[2 * i + 1]) - y[2 * j + 1];
            const double p = e.second / sumP;
            kl += p * std::log(p / (1.0 / (1.0 + dx * dx + dy * dy) / Z));
        }
        rowKL[i] = kl;
    }
    double kl = 0;
    for (const double v : rowKL) kl += v;
    return kl;
}

double neighbourPreservation(const std::vector<float>& data, unsigned int dims, const std::vector<float>& y,
                             unsigned int n) {
    const unsigned int k = 10, samples = std::min(n, 1000u);
    std::mt19937 rng(7);
    std::uniform_int_distribution<unsigned int> pick(0, n - 1);
    std::vector<unsigned int> sample(samples);
    for (auto& s : sample) s = pick(rng);
    std::vector<double> share(samples, 0.0);
#pragma omp parallel for schedule(dynamic, 8)
    for (long long si = 0; si < static_cast<long long>(samples); ++si) {
        const unsigned int i = sample[si];
        std::vector<std::pair<double, unsigned int>> high(n), low(n);
        for (unsigned int j = 0; j < n; ++j) {
            double s = 0;
            for (unsigned int d = 0; d < dims; ++d) {
                const double diff = static_cast<double>(data[static_cast<std::size_t>(i) * dims + d]) -
                                    data[static_cast<std::size_t>(j) * dims + d];
                s += diff * diff;
            }
            const double dx = static_cast<double>(y[2 * i]) - y[2 * j],
                         dy = static_cast<double>(y[2 * i + 1]) - y[2 * j + 1];
            high[j] = {j == i ? INFINITY : s, j};
            low[j] = {j == i ? INFINITY : dx * dx + dy * dy, j};
        }
        std::partial_sort(high.begin(), high.begin() + k, high.end());
        std::partial_sort(low.begin(), low.begin() + k, low.end());
        unsigned int common = 0;
        for (unsigned int a = 0; a < k; ++a)
            for (unsigned int b = 0; b < k; ++b) common += high[a].second == low[b].second;
        share[si] = static_cast<double>(common) / k;
    }
    double total = 0;
    for (const double s : share) total += s;
    return total / samples;
}

}  // namespace benchtsne
