#include "analysis/fc/separateCoincidentPoints.h"

#include <cmath>
#include <cstring>
#include <random>
#include <unordered_map>

namespace {

// The bits of a position: -0 and 0 are one position, as the forces see them.
std::uint64_t key(float x, float y) {
    if (x == 0.f) x = 0.f;
    if (y == 0.f) y = 0.f;
    std::uint32_t bx = 0, by = 0;
    std::memcpy(&bx, &x, sizeof bx);
    std::memcpy(&by, &y, sizeof by);
    return (static_cast<std::uint64_t>(bx) << 32) | by;
}

}  // namespace

std::size_t separateCoincidentPoints(std::vector<float>& positions, std::uint32_t seed, float radius) {
    const std::size_t n = positions.size() / 2;
    std::unordered_map<std::uint64_t, std::size_t> count;
    count.reserve(n);
    for (std::size_t i = 0; i < n; ++i) ++count[key(positions[2 * i], positions[2 * i + 1])];
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double pi = std::acos(-1.0);
    std::size_t moved = 0;
    for (std::size_t i = 0; i < n; ++i) {
        float& x = positions[2 * i];
        float& y = positions[2 * i + 1];
        if (!std::isfinite(x) || !std::isfinite(y) || count[key(x, y)] < 2) continue;
        // Uniform over the disc: the square root spreads the radii.
        const double r = static_cast<double>(radius) * std::sqrt(unit(rng));
        const double angle = 2.0 * pi * unit(rng);
        x = static_cast<float>(static_cast<double>(x) + r * std::cos(angle));
        y = static_cast<float>(static_cast<double>(y) + r * std::sin(angle));
        ++moved;
    }
    return moved;
}
