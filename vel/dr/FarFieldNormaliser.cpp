#include "vel/dr/FarFieldNormaliser.h"

#include <cmath>

namespace vel {
namespace dr {

double FarFieldNormaliser::sum(const float* y, std::size_t n, float support) {
    if (n <= kExactPoints) return exactSum(y, n, support);
    const std::size_t m = kExactPoints;
    _sample.resize(2 * m);
    for (std::size_t k = 0; k < m; ++k) {
        const std::size_t i = k * n / m;
        _sample[2 * k] = y[2 * i];
        _sample[2 * k + 1] = y[2 * i + 1];
    }
    const double pairs = static_cast<double>(n) * static_cast<double>(n - 1);
    const double sampledPairs = static_cast<double>(m) * static_cast<double>(m - 1);
    return exactSum(_sample.data(), m, support) * (pairs / sampledPairs);
}

double FarFieldNormaliser::exactSum(const float* y, std::size_t n, float support) {
    const double s = static_cast<double>(support);
    double total = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        double row = 0.0;
        for (std::size_t j = i + 1; j < n; ++j) {
            const double dx = static_cast<double>(y[2 * i]) - y[2 * j];
            const double dy = static_cast<double>(y[2 * i + 1]) - y[2 * j + 1];
            const double d2 = dx * dx + dy * dy;
            // A pair with a coordinate that is not finite stands nowhere.
            if ((std::fabs(dx) >= s || std::fabs(dy) >= s) && d2 < HUGE_VAL) row += 1.0 / (1.0 + d2);
        }
        total += row;
    }
    return 2.0 * total;
}

}  // namespace dr
}  // namespace vel
