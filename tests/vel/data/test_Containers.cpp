#include <gtest/gtest.h>

#include <omp.h>

#include <cmath>

#include <map>
#include <random>
#include <stdexcept>
#include <tuple>

#include "vel/data/Embedding.h"
#include "vel/data/MapMemEff.h"

using vel::data::Embedding;
using Row = vel::data::MapMemEff<unsigned int, float>;
using Pairs = std::vector<std::pair<unsigned int, float>>;

namespace {
Embedding<float> points(unsigned int dims, const std::vector<float>& values) {
    Embedding<float> e(dims, static_cast<unsigned int>(values.size() / dims), 0.f);
    e.getContainer() = values;
    return e;
}
}  // namespace

// Lookups insert missing keys at their sorted place, as an ordered map does.
TEST(MapMemEff, BehavesAsAnOrderedMap) {
    Row row;
    std::map<unsigned int, float> reference;
    std::mt19937 rng(12345);
    for (int i = 0; i < 2000; ++i) {
        const unsigned int key = i == 0 ? 4294967295u : rng() % 500;  // unsigned order: the largest key goes last
        EXPECT_EQ(row[key] += 1.f, reference[key] += 1.f);
    }
    EXPECT_EQ(row.find(777), row.end());
    EXPECT_EQ(Pairs(row.begin(), row.end()), Pairs(reference.begin(), reference.end()));
}

// Only values above the threshold are kept, without spare capacity; the
// range must be strictly ascending (checked before anything is stored) and
// the row empty.
TEST(MapMemEff, InitializeFiltersOrderedInput) {
    const std::vector<std::tuple<Pairs, float, Pairs, bool>> cases{
        {{{1, 0.5f}, {3, 0.001f}, {4, 0.0011f}, {8, 0.f}}, 0.001f, {{1, 0.5f}, {4, 0.0011f}}, false},
        {{{1, 1.f}, {5, 1.f}, {3, 0.f}, {9, 1.f}}, 0.5f, {}, true},
        {{{1, 1.f}, {1, 1.f}}, 0.f, {}, true},
    };
    for (const auto& [source, threshold, kept, refused] : cases) {
        Row row;
        for (int twice = 0; twice < 2; ++twice) {  // the second time the row is no longer empty
            if (refused || twice)
                EXPECT_THROW(row.initialize(source.begin(), source.end(), threshold), std::logic_error);
            else
                row.initialize(source.begin(), source.end(), threshold);
            EXPECT_TRUE(Pairs(row.begin(), row.end()) == kept && row.capacity() == kept.size());
        }
    }
}

// The padded box grows to a square around its centre; centring uses the box
// centre; the scalings decide on the first dimension's width only, and a
// cloud without width is only centred.
TEST(Embedding, BoxCentringAndScaling) {
    std::vector<float> box;
    points(2, {0, 0, 4, 1, 2, 3}).computeEmbeddingBBox(box, 0.1f, true);
    const std::vector<float> square{-0.222222f, 4.222222f, -0.722222f, 3.722222f};
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(box.at(k), square[k], 1e-5) << k;
    using Op = void (*)(Embedding<float>&);
    const Op centre = [](Embedding<float>& e) { e.zeroCentered(); };
    const Op grow = [](Embedding<float>& e) { e.scaleIfSmallerThan(0.1f); };
    const Op shrink = [](Embedding<float>& e) { e.scaleIfBiggerThan(1.f); };
    const std::vector<std::tuple<unsigned int, std::vector<float>, Op, std::vector<float>>> cases{
        {1, {0, 1, 10}, centre, {-5, -4, 5}},
        {2, {0, 0, 0.05f, 4}, grow, {-0.05f, -4, 0.05f, 4}},
        {2, {0, 0, 4, 2}, shrink, {-0.5f, -0.25f, 0.5f, 0.25f}},
        {2, {3, 1, 3, 5}, grow, {0, -2, 0, 2}},
    };
    for (const auto& [dims, before, op, after] : cases) {
        Embedding<float> e = points(dims, before);
        op(e);
        for (std::size_t k = 0; k < after.size(); ++k) EXPECT_NEAR(e.getContainer()[k], after[k], 1e-6) << k;
    }
}

// Large clouds are boxed, centred and scaled in runs on several threads: the
// same values as one serial pass written here, on any thread count.
TEST(Embedding, LargeCloudsBoxedInParallelAsInOnePass) {
    std::mt19937 rng(4);
    std::normal_distribution<float> normal(0.f, 0.01f);
    std::vector<float> values(2 * 100000);
    for (auto& v : values) v = 3.f + normal(rng);
    values[2 * 77777 + 1] = NAN;  // ignored by the box
    float lo[2] = {INFINITY, INFINITY}, hi[2] = {-INFINITY, -INFINITY};
    for (std::size_t i = 0; i < values.size(); ++i) {
        const float v = values[i];
        if (v < lo[i % 2]) lo[i % 2] = v;
        if (v > hi[i % 2]) hi[i % 2] = v;
    }
    const float offset[2] = {-(lo[0] + hi[0]) * 0.5f, -(lo[1] + hi[1]) * 0.5f};
    const float factor = 0.1f / (hi[0] - lo[0]);
    const int before = omp_get_max_threads();
    for (const int threads : {1, 3, 8}) {
        SCOPED_TRACE(threads);
        omp_set_num_threads(threads);
        std::vector<float> box;
        Embedding<float> e = points(2, values);
        e.computeEmbeddingBBox(box);
        EXPECT_EQ(box, (std::vector<float>{lo[0], hi[0], lo[1], hi[1]}));
        Embedding<float> grown = points(2, values), centred = points(2, values);
        grown.scaleIfSmallerThan(0.1f);
        centred.zeroCentered();
        for (std::size_t k = 0; k < values.size(); ++k) {
            if (k == 2 * 77777 + 1) continue;
            ASSERT_EQ(grown.getContainer()[k], (values[k] + offset[k % 2]) * factor) << k;
            ASSERT_EQ(centred.getContainer()[k], values[k] + offset[k % 2]) << k;
        }
    }
    omp_set_num_threads(before);
}

TEST(Embedding, InterpolationAndRemapping) {
    Embedding<float> output;
    std::vector<std::map<unsigned int, float>> weights{{{0, 1.f}, {1, 3.f}}, {{1, 2.f}}, {}};
    vel::data::interpolateEmbeddingPositions(points(2, {0, 0, 10, 20}), output, weights);
    EXPECT_EQ(output.getContainer(), (std::vector<float>{7.5f, 15.f, 10.f, 20.f, 0.f, 0.f}));  // no weights: origin

    const Embedding<float> twoD = points(2, {0, 0, 4, 2}), oneD = points(1, {2, 4, 6});
    Embedding<float> out;
    EXPECT_THROW(vel::data::copyAndRemap1D2DVertical(twoD, out, {0, 2, 10, 20}), std::logic_error);
    EXPECT_THROW(vel::data::copyAndRemap1D2DVertical(oneD, out, {0, 1, 2}), std::logic_error);
    vel::data::copyAndRemap1D2DVertical(oneD, out, {0, 2, 10, 20});
    EXPECT_EQ(out.getContainer(), (std::vector<float>{1, 10, 1, 15, 1, 20}));
    vel::data::copyAndRemap2D2D(twoD, out, {0, 1, 0, 1}, true);
    EXPECT_EQ(out.getContainer(), (std::vector<float>{0, 0.25f, 1, 0.75f}));
    vel::data::copyAndRemap2D2D(twoD, out, {0, 1, 0, 1}, false);
    EXPECT_EQ(out.getContainer(), (std::vector<float>{0, 0, 1, 1}));
}
