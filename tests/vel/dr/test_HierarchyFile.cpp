#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "vel/data/MapMemEff.h"
#include "vel/dr/HierarchicalSNE.h"
#include "vel/dr/HierarchyIO.h"

namespace {

using Matrix = std::vector<vel::data::MapMemEff<unsigned int, float>>;
using Hsne = vel::dr::HierarchicalSNE<float, Matrix>;

struct LineLog : vel::utils::AbstractLog {
    std::string text;
    void clear() override { text.clear(); }
    void display(const std::string& line, bool) override { text += line + "\n"; }
};

Matrix matrix(const std::vector<std::vector<std::pair<unsigned, float>>>& rows) {
    Matrix m(rows.size());
    for (std::size_t r = 0; r < rows.size(); ++r)
        for (const auto& entry : rows[r]) m[r][entry.first] = entry.second;
    return m;
}

// Scale 0 of four points, scale 1 of landmarks 1 and 3, scale 2 of landmark 0 of scale 1.
Hsne threeScales() {
    Hsne h;
    h.initialize(matrix({{{1, 0.5f}, {3, 0.5f}}, {{0, 1.f}}, {}, {{2, 0.25f}, {0, 0.75f}}}));
    Hsne::Scale s1, s2;
    s1.landmarkToOriginalIdx = {1, 3};
    s1.landmarkToPreviousScaleIdx = {1, 3};
    s1.transitionMatrix = matrix({{{1, 1.f}}, {{0, 0.6f}, {1, 0.4f}}});
    s1.landmarkWeight = {1.5f, 2.5f};
    s1.previousScaleToLandmarkIdx = {-1, 0, -1, 1};
    s1.areaOfInfluence = matrix({{{0, 0.3f}, {1, 0.7f}}, {{0, 1.f}}, {}, {{1, 1.f}}});
    s2.landmarkToOriginalIdx = {1};
    s2.landmarkToPreviousScaleIdx = {0};
    s2.transitionMatrix = matrix({{}});
    s2.landmarkWeight = {4.f};
    s2.previousScaleToLandmarkIdx = {0, -1};
    s2.areaOfInfluence = matrix({{{0, 1.f}}, {{0, 1.f}}});
    h.hierarchy().push_back(s1);
    h.hierarchy().push_back(s2);
    return h;
}

std::string saved(const Hsne& h, vel::utils::AbstractLog* log = nullptr) {
    std::stringstream out;
    vel::dr::IO::saveHSNE(h, static_cast<std::ostream&>(out), log);
    return out.str();
}

void load(Hsne& h, const std::string& bytes, vel::utils::AbstractLog* log = nullptr) {
    std::istringstream in(bytes);
    vel::dr::IO::loadHSNE(h, static_cast<std::istream&>(in), log);
}

// `bytes` with the 4-byte field at `offset` replaced by `field`.
template <typename T>
std::string with(std::string bytes, std::size_t offset, T field) {
    std::memcpy(&bytes[offset], &field, 4);
    return bytes;
}

}  // namespace

TEST(HierarchyFile, TwoPointExampleByteForByte) {
    Hsne h;
    h.initialize(matrix({{{1, 1.f}}, {{0, 1.f}}}));
    const std::uint32_t fields[] = {0, 0, 0x3f800000, 0x40000000, 2, 1, 1, 0x3f800000, 1, 0, 0x3f800000};
    EXPECT_EQ(saved(h), std::string(reinterpret_cast<const char*>(fields), sizeof fields));

    Hsne loaded;
    load(loaded, saved(h));
    ASSERT_EQ(loaded.hierarchy().size(), 1u);
    EXPECT_EQ(loaded.scale(0).landmarkToOriginalIdx, (std::vector<unsigned>{0, 1}));
    EXPECT_EQ(loaded.scale(0).landmarkToPreviousScaleIdx, (std::vector<unsigned>{0, 1}));
    EXPECT_EQ(loaded.scale(0).landmarkWeight, (std::vector<float>{1.f, 1.f}));
    EXPECT_TRUE(loaded.scale(0).previousScaleToLandmarkIdx.empty() && loaded.scale(0).areaOfInfluence.empty());
}

TEST(HierarchyFile, SaveLoadSaveGivesTheSameBytes) {
    const std::string bytes = saved(threeScales());
    Hsne loaded;
    load(loaded, bytes);
    EXPECT_EQ(saved(loaded), bytes);
    // -0.0 is a valid version word, and 2.5 scales are read as three.
    EXPECT_NO_THROW(load(loaded, with(with(bytes, 0, -0.f), 8, 2.5f)));
    EXPECT_EQ(loaded.hierarchy().size(), 3u);
}

TEST(HierarchyFile, DamagedFilesAreRefusedAndChangeNothing) {
    const Hsne good = threeScales();
    const std::string bytes = saved(good);
    std::vector<std::string> bad;
    for (std::size_t n = 0; n < bytes.size(); ++n) bad.push_back(bytes.substr(0, n));
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    for (float scales : {inf, 1e30f, 65.f, nan, 0.f, -1.f, 4.f}) bad.push_back(with(bytes, 8, scales));
    for (float size0 : {3.f, 5.f, -4.f, 4.5f, nan}) bad.push_back(with(bytes, 12, size0));
    for (std::size_t version : {0, 4}) bad.push_back(with(bytes, version, 1.f));
    bad.push_back(with(bytes, 16, 0xFFFFFFFFu));  // row count of scale 0
    bad.push_back(with(bytes, 20, 0xFFFFFFFFu));  // entry count of its first row
    bad.push_back(with(bytes, 24, 4u));           // a column beyond scale 0
    bad.push_back(with(bytes, 28, inf));          // a probability
    const std::vector<std::function<void(Hsne::Scale&)>> damages = {
        [](Hsne::Scale& s) { s.landmarkToOriginalIdx[1] = 4; },
        [](Hsne::Scale& s) { s.landmarkToPreviousScaleIdx[0] = 9; },
        [](Hsne::Scale& s) { s.landmarkToPreviousScaleIdx[0] = 2; },
        [](Hsne::Scale& s) { s.previousScaleToLandmarkIdx[2] = 1; },
        [](Hsne::Scale& s) { s.previousScaleToLandmarkIdx[2] = -2; },
        [](Hsne::Scale& s) { s.previousScaleToLandmarkIdx.pop_back(); },
        [](Hsne::Scale& s) { s.landmarkWeight.pop_back(); },
        [](Hsne::Scale& s) { s.landmarkWeight[0] = std::numeric_limits<float>::quiet_NaN(); },
        [](Hsne::Scale& s) { s.transitionMatrix[0][2] = 0.1f; },
        [](Hsne::Scale& s) { s.transitionMatrix.pop_back(); },
        [](Hsne::Scale& s) { s.areaOfInfluence[2][5] = 0.1f; },
    };
    for (const auto& damage : damages) {
        Hsne damaged = threeScales();
        damage(damaged.scale(1));
        bad.push_back(saved(damaged));
    }

    for (std::size_t i = 0; i < bad.size(); ++i) {
        Hsne target = threeScales();
        EXPECT_THROW(load(target, bad[i]), std::runtime_error) << "case " << i;
        EXPECT_EQ(saved(target), bytes) << "case " << i;
    }
}

TEST(HierarchicalSNE, InitializeKeepsTheMatrixExactly) {
    const Matrix P = matrix({{{2, 0.3f}, {1, 0.9f}}, {}, {{0, 1e-30f}}});
    Hsne h;
    h.initialize(P);
    ASSERT_EQ(h.hierarchy().size(), 1u);
    for (std::size_t r = 0; r < P.size(); ++r) EXPECT_EQ(h.scale(0).transitionMatrix[r].memory(), P[r].memory());
    EXPECT_EQ(h.scale(0).landmarkWeight, (std::vector<float>{1.f, 1.f, 1.f}));
}

TEST(HierarchicalSNE, QuotedTexts) {
    const std::string rule = std::string(62, '-') + "\n\n";
    const std::string head = "\n--------------- Hierarchical-SNE Statistics ------------------\n";
    const std::string each =
        "\t... transition matrix ...\n\t... landmarks to original data ...\n\t... landmarks to previous scale ...\n"
        "\t... landmark weights ...\n\t... previous scale to current scale landmarks ...\n\t... area of influence "
        "...\n";
    Hsne h = threeScales();
    LineLog saving, loading, fresh, measured;
    load(h, saved(h, &saving), &loading);
    h = Hsne();
    h.statistics().log(&fresh);
    h.statistics().aoiSparsity = 0.25f;
    h.statistics().mcmcsTime = std::numeric_limits<float>::quiet_NaN();
    h.statistics().log(&measured);
    auto thrown = [](const std::function<void()>& f) {
        try {
            f();
        } catch (const std::logic_error& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    const std::pair<std::string, std::string> table[] = {
        {saving.text,
         "Saving H-SNE hierarchy to file\nSaving scale:\t0\n\tsize:\t4\n\t... transition matrix ...\nSaving "
         "scale:\t1\n\tsize:\t2\n" +
             each + "Saving scale:\t2\n\tsize:\t1\n" + each},
        {loading.text,
         "Loading H-SNE hierarchy from file\nLoading scale:\t0\n\tsize:\t4\n\t... transition matrix ...\n"
         "\t... (init) landmarks to original data ...\n\t... (init) landmarks to previous scale ...\n"
         "\t... (init) landmark weights ...\nLoading scale:\t1\n\tsize:\t2\n" +
             each + "Loading scale:\t2\n\tsize:\t1\n" + each},
        {fresh.text, head + "Total time:\t-1\n" + rule},
        {measured.text,
         head + "Total time:\t-1\n\tMarkov Chain Monte Carlo sampling time:\tnan\n\tIs sparsity (%):\t\t\t25\n" + rule},
        {thrown([&] { h.setDimensionality(0); }), "Invalid dimensionality"},
        {thrown([&] { h.initialize(Matrix(1)), h.setDimensionality(5); }),
         "Class should be uninitialized to change the dimensionality"},
        {thrown([&] { h.reset(), h.setDimensionality(7); }), "no error"},
        {thrown([] { saved(Hsne()); }), "Cannot save an empty H-SNE hierarchy!!!"},
    };
    for (const auto& row : table) EXPECT_EQ(row.first, row.second);
    EXPECT_EQ(h.dimensionality(), 7);
}

// Sizes are stored as floats, exact only up to 2^24 points.
TEST(HierarchyFile, SavingMoreThan2To24PointsWritesNothing) {
    Hsne h;
    h.hierarchy().resize(1);
    h.scale(0).landmarkToOriginalIdx.resize((1u << 24) + 1);
    std::stringstream out;
    EXPECT_THROW(vel::dr::IO::saveHSNE(h, static_cast<std::ostream&>(out), nullptr), std::logic_error);
    EXPECT_TRUE(out.str().empty());
}
