#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <stdexcept>
#include <unordered_map>

#include "vel/data/Embedding.h"
#include "vel/data/MapMemEff.h"

using vel::data::Embedding;
using Row = vel::data::MapMemEff<unsigned int, float>;

namespace {
std::vector<unsigned int> keysOf(const Row& row) {
    std::vector<unsigned int> keys;
    for (const auto& e : row) keys.push_back(e.first);
    return keys;
}
Embedding<float> points2D(const std::vector<float>& xy) {
    Embedding<float> e(2, static_cast<unsigned int>(xy.size() / 2), 0.f);
    e.getContainer() = xy;
    return e;
}
}  // namespace

TEST(MapMemEff, LookupInsertsMissingKeysInOrder) {
    Row row;
    EXPECT_EQ(row[7], 0.f);
    EXPECT_EQ(row.size(), 1u);

    Row r;
    r[5] = 5.f;
    r[2] = 2.f;
    r[9] = 9.f;
    EXPECT_EQ(r[5], 5.f);
    EXPECT_EQ(r.size(), 3u);
    EXPECT_EQ(r[6], 0.f);
    EXPECT_EQ(keysOf(r), (std::vector<unsigned int>{2, 5, 6, 9}));
    r[0] += 1.f;
    r[4294967295u] = 3.f;  // unsigned order: the largest key goes last
    EXPECT_EQ(keysOf(r), (std::vector<unsigned int>{0, 2, 5, 6, 9, 4294967295u}));
    EXPECT_EQ(r[0], 1.f);
    EXPECT_EQ(r.find(3), r.end());
    EXPECT_EQ(r.find(9)->second, 9.f);
}

TEST(MapMemEff, ManyRandomInsertionsStaySortedAndUnique) {
    Row row;
    std::map<unsigned int, float> reference;
    unsigned int x = 12345;
    for (int i = 0; i < 2000; ++i) {
        x = x * 1103515245u + 12345u;
        const unsigned int key = (x >> 8) % 500;
        row[key] += 1.f;
        reference[key] += 1.f;
    }
    ASSERT_EQ(row.size(), reference.size());
    auto it = reference.begin();
    for (const auto& e : row) {
        EXPECT_EQ(e.first, it->first);
        EXPECT_EQ(e.second, it->second);
        ++it;
    }
}

TEST(MapMemEff, InitializeKeepsValuesAboveThreshold) {
    std::map<unsigned int, float> source{{1, 0.5f}, {3, 0.001f}, {4, 0.0011f}, {8, 0.f}};
    Row row;
    row.initialize(source.begin(), source.end(), 0.001f);
    EXPECT_EQ(keysOf(row), (std::vector<unsigned int>{1, 4}));
    EXPECT_EQ(row.capacity(), 2u);

    Row none;
    none.initialize(source.begin(), source.end(), 1.f);
    EXPECT_TRUE(none.empty());

    try {
        row.initialize(source.begin(), source.end(), 0.f);
        FAIL();
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "MapMemEff::initialize: map is not empty");
    }
}

TEST(MapMemEff, InitializeRefusesUnorderedInputEvenWhenFiltered) {
    // The descending pair would be dropped by the threshold, yet the order is checked.
    std::vector<std::pair<unsigned int, float>> source{{1, 1.f}, {5, 1.f}, {3, 0.f}, {9, 1.f}};
    Row row;
    try {
        row.initialize(source.begin(), source.end(), 0.5f);
        FAIL();
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "MapHelpers::initialize: input data is not ordered");
    }
    EXPECT_TRUE(row.empty());
    std::vector<std::pair<unsigned int, float>> repeated{{1, 1.f}, {1, 1.f}};
    EXPECT_THROW(row.initialize(repeated.begin(), repeated.end(), 0.f), std::logic_error);
}

TEST(Embedding, ResizeKeepsFlatLayout) {
    Embedding<float> e;
    e.resize(2, 3, 0.f);
    EXPECT_EQ(e.getContainer(), std::vector<float>(6, 0.f));
    for (unsigned int i = 0; i < 6; ++i) e.getContainer()[i] = static_cast<float>(i);
    e.resize(3, 2, 7.f);
    EXPECT_EQ(e.numDimensions(), 3u);
    EXPECT_EQ(e.numDataPoints(), 2u);
    EXPECT_EQ(e.getContainer(), (std::vector<float>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(e.dataAt(1, 0), 3.f);
    e.resize(3, 3, 7.f);
    EXPECT_EQ(e.dataAt(2, 2), 7.f);
    e.clear();
    EXPECT_EQ(e.numDimensions(), 0u);
    EXPECT_EQ(e.numDataPoints(), 0u);
    EXPECT_TRUE(e.getContainer().empty());
}

TEST(Embedding, BoundingBoxWithPaddingAndSquare) {
    const auto e = points2D({0, 0, 4, 1, 2, 3});
    std::vector<float> box;
    e.computeEmbeddingBBox(box, 0.1f, true);
    ASSERT_EQ(box.size(), 4u);
    EXPECT_NEAR(box[0], -0.222222, 1e-5);
    EXPECT_NEAR(box[1], 4.222222, 1e-5);
    EXPECT_NEAR(box[2], -0.722222, 1e-5);
    EXPECT_NEAR(box[3], 3.722222, 1e-5);

    e.computeEmbeddingBBox(box, 0.f, true);  // no padding: square is ignored
    EXPECT_EQ(box, (std::vector<float>{0, 4, 0, 3}));

    const auto wide = points2D({0, 0, 10, 2});
    wide.computeEmbeddingBBox(box, 0.1f, false);
    EXPECT_NEAR(box[0], -0.5, 1e-6);
    EXPECT_NEAR(box[1], 10.5, 1e-5);
    EXPECT_NEAR(box[2], -0.1, 1e-6);
    EXPECT_NEAR(box[3], 2.1, 1e-6);
}

TEST(Embedding, CentringUsesTheBoxCentre) {
    Embedding<float> e(1, 3, 0.f);
    e.getContainer() = {0, 1, 10};
    e.zeroCentered();
    EXPECT_EQ(e.getContainer(), (std::vector<float>{-5, -4, 5}));
}

TEST(Embedding, ScalingDecidesOnTheFirstDimensionOnly) {
    auto narrow = points2D({0, 0, 0.05f, 4});
    narrow.scaleIfSmallerThan(0.1f);
    std::vector<float> box;
    narrow.computeEmbeddingBBox(box);
    EXPECT_NEAR(box[1] - box[0], 0.1, 1e-6);
    EXPECT_NEAR(box[3] - box[2], 8.0, 1e-5);
    EXPECT_NEAR(box[0] + box[1], 0.0, 1e-6);

    auto exact = points2D({0, 0, 0.1f, 4});
    const auto before = exact.getContainer();
    exact.scaleIfSmallerThan(0.1f);
    EXPECT_EQ(exact.getContainer(), before);

    auto big = points2D({0, 0, 4, 2});
    big.scaleIfBiggerThan(1.f);
    EXPECT_EQ(big.getContainer(), (std::vector<float>{-0.5f, -0.25f, 0.5f, 0.25f}));
}

TEST(Embedding, ScalingACloudWithoutWidthOnlyCentresIt) {
    // All points share their first coordinate: there is no width to scale to.
    auto line = points2D({3, 1, 3, 5});
    line.scaleIfSmallerThan(0.1f);
    for (float v : line.getContainer()) EXPECT_TRUE(std::isfinite(v));
    EXPECT_EQ(line.getContainer(), (std::vector<float>{0, -2, 0, 2}));
    auto single = points2D({2, 2});
    single.scaleIfSmallerThan(0.1f);
    EXPECT_EQ(single.getContainer(), (std::vector<float>{0, 0}));
}

TEST(Embedding, InterpolationIsTheWeightedMean) {
    auto input = points2D({0, 0, 10, 20});
    Embedding<float> output;
    std::vector<std::map<unsigned int, float>> weights(3);
    weights[0] = {{0, 1.f}, {1, 3.f}};
    weights[1] = {{1, 2.f}};
    vel::data::interpolateEmbeddingPositions(input, output, weights);
    EXPECT_EQ(output.numDataPoints(), 3u);
    EXPECT_FLOAT_EQ(output.dataAt(0, 0), 7.5f);
    EXPECT_FLOAT_EQ(output.dataAt(0, 1), 15.f);
    EXPECT_FLOAT_EQ(output.dataAt(1, 1), 20.f);
    EXPECT_EQ(output.dataAt(2, 0), 0.f);  // no weights: stays at the origin
}

TEST(Embedding, Remapping) {
    Embedding<float> twoD = points2D({0, 0, 4, 2});
    Embedding<float> out;
    try {
        vel::data::copyAndRemap1D2DVertical(twoD, out, std::vector<float>{0, 1});
        FAIL();
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "input embedding must be one-dimensional");
    }
    Embedding<float> oneD(1, 3, 0.f);
    oneD.getContainer() = {2, 4, 6};
    try {
        vel::data::copyAndRemap1D2DVertical(oneD, out, std::vector<float>{0, 1, 2});
        FAIL();
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "invalid limits");
    }
    vel::data::copyAndRemap1D2DVertical(oneD, out, std::vector<float>{0, 2, 10, 20});
    EXPECT_EQ(out.getContainer(), (std::vector<float>{1, 10, 1, 15, 1, 20}));

    vel::data::copyAndRemap2D2D(twoD, out, std::vector<float>{0, 1, 0, 1}, true);
    EXPECT_FLOAT_EQ(out.dataAt(0, 1), 0.25f);
    EXPECT_FLOAT_EQ(out.dataAt(1, 1), 0.75f);
    EXPECT_FLOAT_EQ(out.dataAt(1, 0), 1.f);
    vel::data::copyAndRemap2D2D(twoD, out, std::vector<float>{0, 1, 0, 1}, false);
    EXPECT_FLOAT_EQ(out.dataAt(1, 1), 1.f);
    EXPECT_THROW(vel::data::copyAndRemap1D2DVertical(twoD, out, std::vector<float>{0, 1, 2}), std::logic_error);
}
