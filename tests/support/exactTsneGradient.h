// The exact gradient of the t-SNE cost at 2-D positions y (row-major) for a
// sparse joint matrix P: attraction over P's entries, repulsion normalised by
// Z over all other pairs, or, as a raster field of radius `support` sees them,
// only over pairs whose offset lies within it in both directions.
#pragma once

#include <cmath>
#include <vector>

template <typename Matrix>
std::vector<double> exactTsneGradient(const Matrix& P, const std::vector<float>& y, double exaggeration,
                                      double support = HUGE_VAL) {
    const std::size_t n = P.size();
    const auto offset = [&](std::size_t i, std::size_t j, std::size_t d) {
        return static_cast<double>(y[2 * i + d]) - y[2 * j + d];
    };
    const auto q = [&](std::size_t i, std::size_t j) {
        return 1.0 / (1.0 + offset(i, j, 0) * offset(i, j, 0) + offset(i, j, 1) * offset(i, j, 1));
    };
    double Z = 0;
    std::vector<double> repulsion(2 * n, 0.0), g(2 * n, 0.0);
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j < n; ++j) {
            if (i == j || std::fabs(offset(i, j, 0)) > support || std::fabs(offset(i, j, 1)) > support) continue;
            Z += q(i, j);
            for (std::size_t d = 0; d < 2; ++d) repulsion[2 * i + d] += offset(i, j, d) * q(i, j) * q(i, j);
        }
    for (std::size_t i = 0; i < n; ++i)
        for (const auto& e : P[i])
            for (std::size_t d = 0; d < 2; ++d)
                g[2 * i + d] += 4.0 * exaggeration * e.second / n * q(i, e.first) * offset(i, e.first, d);
    for (std::size_t k = 0; k < 2 * n; ++k) g[k] -= 4.0 * repulsion[k] / Z;
    return g;
}
