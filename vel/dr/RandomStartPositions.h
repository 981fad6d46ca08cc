#pragma once
// The random start of both t-SNE engines, so that one seed gives the same
// start positions on the CPU and on the GPU.

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "vel/data/Embedding.h"

namespace vel {
namespace dr {

// Seeds the process-wide generator (srand) with `seed`, or with the current
// second when it is negative, and gives every point Gaussian coordinates 0 and
// 1 of standard deviation `spread` (polar Box-Muller on rand()). Further
// coordinates are left as they are. Needs at least two dimensions.
template <typename scalar_type>
void drawRandomStartPositions(data::Embedding<scalar_type>& embedding, int seed, double spread) {
    if (seed < 0) seed = static_cast<int>(std::time(nullptr));
    std::srand(static_cast<unsigned int>(seed));
    const unsigned int N = embedding.numDataPoints();
    const std::size_t D = embedding.numDimensions();
    std::vector<scalar_type>& y = embedding.getContainer();
    for (unsigned int i = 0; i < N; ++i) {
        double x1, x2, r;
        do {
            x1 = 2.0 * std::rand() / 2147483648.0 - 1.0;
            x2 = 2.0 * std::rand() / 2147483648.0 - 1.0;
            r = x1 * x1 + x2 * x2;
        } while (r >= 1.0 || r == 0.0);
        const double f = std::sqrt(-2.0 * std::log(r) / r) * spread;
        y[D * i] = static_cast<scalar_type>(x1 * f);
        y[D * i + 1] = static_cast<scalar_type>(x2 * f);
    }
}

}  // namespace dr
}  // namespace vel
