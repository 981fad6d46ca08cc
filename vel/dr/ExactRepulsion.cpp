#include "vel/dr/ExactRepulsion.h"

namespace vel {
namespace dr {

namespace {

typedef float Lanes __attribute__((vector_size(4 * ExactRepulsion::kLanes)));

// Columns per block summed in float before the block's sum goes to double.
constexpr std::size_t kBlock = 256;
// A padding column so far away that its q, and so every term it adds, is 0:
// the squared distance overflows to infinity and q becomes exactly 0.
constexpr float kFar = 1e30f;

// The vector width is chosen when the program starts, from what the processor
// offers; neither the lanes nor the order of the sums change with it, and no
// step is fused, so every build gives the same bits.
__attribute__((target_clones("avx2", "default"))) void sums(const float* xs, const float* ys, std::size_t columns,
                                                            float xi, float yi, double* out) {
    double z = 0.0, fx = 0.0, fy = 0.0;
    const Lanes one = {1, 1, 1, 1, 1, 1, 1, 1};
    for (std::size_t first = 0; first < columns; first += kBlock) {
        const std::size_t end = first + kBlock < columns ? first + kBlock : columns;
        Lanes zs = {}, fxs = {}, fys = {};
        for (std::size_t j = first; j < end; j += ExactRepulsion::kLanes) {
            Lanes x, y;
            __builtin_memcpy(&x, xs + j, sizeof x);
            __builtin_memcpy(&y, ys + j, sizeof y);
            const Lanes dx = xi - x, dy = yi - y;
            const Lanes q = one / (one + (dx * dx + dy * dy));
            zs += q;
            const Lanes qq = q * q;
            fxs += qq * dx;
            fys += qq * dy;
        }
        for (std::size_t l = 0; l < ExactRepulsion::kLanes; ++l) {
            z += static_cast<double>(zs[l]);
            fx += static_cast<double>(fxs[l]);
            fy += static_cast<double>(fys[l]);
        }
    }
    out[0] = fx;
    out[1] = fy;
    out[2] = z;
}

}  // namespace

void ExactRepulsion::resize(std::size_t N) {
    const std::size_t padded = (N + kLanes - 1) / kLanes * kLanes;
    _n = N;
    _x.resize(padded);
    _y.resize(padded);
}

void ExactRepulsion::load(const float* positions) {
    const std::size_t N = _n, padded = _x.size();
#pragma omp for schedule(static)
    for (long long li = 0; li < static_cast<long long>(padded); ++li) {
        const std::size_t i = static_cast<std::size_t>(li);
        _x[i] = i < N ? positions[2 * i] : kFar;
        _y[i] = i < N ? positions[2 * i + 1] : kFar;
    }
}

void ExactRepulsion::repulsion(std::size_t i, double* force, double& normaliser) const {
    double out[3];
    sums(_x.data(), _y.data(), _x.size(), _x[i], _y[i], out);
    force[0] = out[0];
    force[1] = out[1];
    normaliser = out[2] - 1.0;  // the point's own q, exactly 1
}

}  // namespace dr
}  // namespace vel
