// The GPU t-SNE step's time per iteration against the extent of the map, in
// an OpenGL context of its own made through EGL, as the tests do. The points
// are eight tight groups placed on a ring whose radius is scaled from a
// normal map's (baseline: the groups 10 units apart, measured in the same
// run) to far-spread ones; the points do not move (multiplier 0), so every
// iteration renders the same extent. Beside each time: the field grid the
// step used, the grid the extent alone would ask for at two pixels per unit,
// and the time as a multiple of the baseline's.
//
//   bench_gpu_extent [--n N] [--iterations I]
//
// Verdict (PASS/MISS): no extent costs more than 5 times the baseline.

#include <epoxy/gl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "bench/support/BenchArguments.h"
#include "bench/support/Verdict.h"
#include "tests/vel/HeadlessGLContext.h"
#include "vel/data/Embedding.h"
#include "vel/data/MapMemEff.h"
#include "vel/dr/GpgpuSneRaster.h"

namespace {

using Matrix = std::vector<vel::data::MapMemEff<unsigned int, float>>;

struct Result {
    double milliseconds;
    int width, height;
};

// Eight groups on a ring of radius `radius`, each point within a unit of its
// group's centre; each row links to five points of its own group.
void groups(unsigned n, float radius, std::vector<float>& y, Matrix& P) {
    std::mt19937 rng(5);
    std::normal_distribution<float> jitter(0.f, 0.5f);
    y.resize(2 * static_cast<size_t>(n));
    P.assign(n, {});
    for (unsigned i = 0; i < n; ++i) {
        const unsigned g = i % 8;
        const double angle = 2.0 * M_PI * g / 8.0;
        y[2 * i] = radius * static_cast<float>(std::cos(angle)) + jitter(rng);
        y[2 * i + 1] = radius * static_cast<float>(std::sin(angle)) + jitter(rng);
        for (unsigned k = 1; k <= 5; ++k) P[i][(i + 8 * k) % n] = 0.2f;
    }
}

Result measure(unsigned n, float radius, unsigned iterations) {
    std::vector<float> y;
    Matrix P;
    groups(n, radius, y, P);
    vel::data::Embedding<float> embedding;
    embedding.resize(2, n);
    vel::dr::GpgpuSneRaster raster;
    vel::dr::TsneParameters params;
    // One step first: the OpenGL objects and buffers are made and sized.
    embedding.getContainer() = y;
    raster.initialize(&embedding, params, P);
    raster.compute(&embedding, 1.f, 1000.f, 0.f);
    glFinish();
    const auto begin = std::chrono::steady_clock::now();
    for (unsigned i = 0; i < iterations; ++i) {
        embedding.getContainer() = y;
        raster.compute(&embedding, 1.f, 1000.f, 0.f);
    }
    glFinish();
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count() / iterations;
    GLint width = 0, height = 0;
    glBindTexture(GL_TEXTURE_2D, raster.fieldTexture());
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    raster.clean();
    return {ms, width, height};
}

}  // namespace

int main(int argc, char** argv) {
    unsigned n = 67, iterations = 200;
    BenchArguments args;
    args("--n", n)("--iterations", iterations);
    if (!args.parse(argc, argv) || n < 8 || iterations == 0) {
        std::fprintf(stderr, "usage: bench_gpu_extent [--n N (8 or more)] [--iterations I]\n");
        return 2;
    }
    veltest::HeadlessGLContext context;
    if (!context.valid()) {
        std::fprintf(stderr, "%s\n", context.error().c_str());
        return 1;
    }
    std::printf("GPU t-SNE step against the map's extent: N=%u, %u iterations each, renderer %s\n", n, iterations,
                veltest::HeadlessGLContext::renderer().c_str());
    std::printf("%12s %14s %16s %18s %10s\n", "extent", "ms/iteration", "field grid", "unbounded grid", "x baseline");
    const Result baseline = measure(n, 5.f, iterations);
    double worst = 1.0;
    for (float radius : {5.f, 50.f, 500.f, 5000.f, 50000.f}) {
        const Result r = radius == 5.f ? baseline : measure(n, radius, iterations);
        // The padded extent of the ring and the grid it would ask for alone.
        const float extent = 2.f * radius * 1.1f;
        unsigned int w = 0, h = 0;
        vel::dr::GpgpuSneRaster::fieldGridSize(extent, extent, true, w, h);
        const double ratio = r.milliseconds / baseline.milliseconds;
        worst = std::max(worst, ratio);
        char grid[32], unbounded[32];
        std::snprintf(grid, sizeof grid, "%d x %d", r.width, r.height);
        std::snprintf(unbounded, sizeof unbounded, "%u x %u", w, h);
        std::printf("%12.0f %14.3f %16s %18s %10.2f%s\n", static_cast<double>(2.f * radius), r.milliseconds, grid,
                    unbounded, ratio, radius == 5.f ? "  (baseline)" : "");
    }
    std::printf("[%s] no extent costs more than 5 x the baseline (worst %.2f x)\n", verdict(worst <= 5.0), worst);
    return 0;
}
