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

std::string saved(const Hsne& h) {
    std::stringstream out;
    vel::dr::IO::saveHSNE(h, static_cast<std::ostream&>(out), nullptr);
    return out.str();
}

void load(Hsne& h, const std::string& bytes) {
    std::istringstream in(bytes);
    vel::dr::IO::loadHSNE(h, static_cast<std::istream&>(in), nullptr);
}

std::string withField(std::string bytes, std::size_t offset, std::uint32_t field) {
    std::memcpy(&bytes[offset], &field, 4);
    return bytes;
}
std::string withFloat(const std::string& bytes, std::size_t offset, float value) {
    std::uint32_t field;
    std::memcpy(&field, &value, 4);
    return withField(bytes, offset, field);
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
    const Hsne original = threeScales();
    const std::string bytes = saved(original);
    Hsne loaded;
    load(loaded, bytes);
    EXPECT_EQ(saved(loaded), bytes);
    ASSERT_EQ(loaded.hierarchy().size(), 3u);
    EXPECT_EQ(loaded.scale(1).previousScaleToLandmarkIdx, original.scale(1).previousScaleToLandmarkIdx);
    EXPECT_EQ(loaded.scale(2).areaOfInfluence[1].memory(), original.scale(2).areaOfInfluence[1].memory());
    // -0.0 is a valid version word, and 2.5 scales are read as three.
    EXPECT_NO_THROW(load(loaded, withFloat(withFloat(bytes, 0, -0.f), 8, 2.5f)));
    EXPECT_EQ(loaded.hierarchy().size(), 3u);
}

TEST(HierarchyFile, DamagedFilesAreRefusedAndChangeNothing) {
    const Hsne good = threeScales();
    const std::string bytes = saved(good);
    std::vector<std::string> bad;
    for (std::size_t n = 0; n < bytes.size(); ++n) bad.push_back(bytes.substr(0, n));
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    for (float scales : {inf, 1e30f, 65.f, nan, 0.f, -1.f, 4.f}) bad.push_back(withFloat(bytes, 8, scales));
    for (float size0 : {3.f, 5.f, -4.f, 4.5f, nan}) bad.push_back(withFloat(bytes, 12, size0));
    bad.push_back(withFloat(bytes, 0, 1.f));
    bad.push_back(withFloat(bytes, 4, nan));
    bad.push_back(withField(bytes, 16, 0xFFFFFFFFu));  // row count of scale 0
    bad.push_back(withField(bytes, 20, 0xFFFFFFFFu));  // entry count of its first row
    bad.push_back(withField(bytes, 24, 4));            // a column beyond scale 0
    bad.push_back(withFloat(bytes, 28, inf));          // a probability
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
        [](Hsne::Scale& s) { s.areaOfInfluence.emplace_back(); },
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
    EXPECT_EQ(h.scale(0).landmarkToPreviousScaleIdx, (std::vector<unsigned>{0, 1, 2}));
    EXPECT_EQ(h.scale(0).landmarkWeight, (std::vector<float>{1.f, 1.f, 1.f}));
    EXPECT_GE(h.statistics().totalTime, 0.f);
}

TEST(HierarchicalSNE, QuotedTexts) {
    const std::string rule = std::string(62, '-') + "\n\n";
    const std::string head = "\n--------------- Hierarchical-SNE Statistics ------------------\n";
    Hsne h;
    LineLog fresh, measured;
    h.statistics().log(&fresh);
    h.statistics().aoiSparsity = 0.25f;
    h.statistics().mcmcsTime = std::numeric_limits<float>::quiet_NaN();
    h.statistics().log(&measured);
    h.statistics().log(nullptr);
    auto thrown = [](const std::function<void()>& f) {
        try {
            f();
        } catch (const std::logic_error& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    const std::pair<std::string, std::string> table[] = {
        {fresh.text, head + "Total time:\t-1\n" + rule},
        {measured.text,
         head + "Total time:\t-1\n\tMarkov Chain Monte Carlo sampling time:\tnan\n\tIs sparsity (%):\t\t\t25\n" + rule},
        {thrown([&] { h.setDimensionality(0); }), "Invalid dimensionality"},
        {thrown([&] { h.setDimensionality(5); }), "no error"},
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
