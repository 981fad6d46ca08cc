#include "vel/dr/HierarchyTestData.h"
#include <omp.h>

#include <numeric>
#include <random>
#include <unordered_set>

using namespace hsnetest;

template <typename Map>
static void expectValues(const Map& got, const Values& want, const char* what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    for (const auto& [b, v] : want) EXPECT_NEAR(Values(got.begin(), got.end()).at(b), v, 1e-5) << what << b;
}

// Hand-worked values; an empty top, or one landmark of no influence, gives 0, not NaN.
TEST(HierarchyQueries, QueriesMatchHandComputedValues) {
    const Hsne h = threeScales();
    Values out{{7, 7.f}};
    for (unsigned int scale = 0; scale < 3; ++scale) {
        std::vector<unsigned int> all{0, 1, 2, 3};
        h.getInfluencingLandmarksInNextScale(scale, (all.resize(h.scale(scale).size()), all), out);
        expectValues(out, scale < 2 ? Values{{0, 1.f}, {1, 1.f}} : Values{}, "all points");
    }
    std::vector<unsigned int> twice{1, 1};
    h.getInfluencingLandmarksInNextScale(0, twice, out);
    expectValues(out, {{0, 1.5f / 2.25f}, {1, .5f / 1.75f}}, "next");
    h.getInfluencedLandmarksInPreviousScale(1, twice = {0, 0}, out);
    expectValues(out, {{0, 1}, {1, .75f}, {2, .5f}}, "previous");
    h.getInfluencedLandmarksInPreviousScale(0, twice, out);
    EXPECT_TRUE(out.empty());

    Hsne::influence_rows influence;
    const std::tuple<float, bool, Values> onPoint1[] = {{0.f, false, {{0, .5f}, {1, .5f}}},
                                                        {.5f, false, {{0, .45f}, {1, .3f}}},
                                                        {.5f, true, {{0, .6f}, {1, .4f}}},
                                                        {1.1f, true, {}}};
    for (const auto& [threshold, normalise, want] : onPoint1) {
        h.getInfluenceOnDataPoint(1, influence, threshold, normalise);
        ASSERT_EQ(influence.size(), 3u);
        expectValues(influence[1], {{0, .75f}, {1, .25f}}, "point 1");
        expectValues(influence[2], want, "point 2");
    }

    veltest::SparseMatrix top, subset, location;
    h.getInterpolationWeights(top);
    h.getInterpolationWeights({2}, subset, 2);
    h.getStochasticLocationAtHigherScale(0, 2, {2}, location);
    for (const auto& row : {top.at(2), subset.at(0), location.at(0)})
        expectValues(row, {{0, .4f}, {1, .6f}}, "weights");
    expectValues(top.at(3), {{0, .2f}, {1, .8f}}, "weights");

    const std::tuple<unsigned int, unsigned int, std::vector<float>, std::vector<float>> areas[] = {
        {2, 1, {.4f, .5f, .6f, .8f}, {1, 1, 1, 1}},
        {2, 0, {.6f, .5f, .4f, .2f}, {1, 1, 1, 0}},
        {0, 2, {0, 0, 1, 0}, {0, 0, 1, 0}}};
    for (const auto& [scale, landmark, want, topDown] : areas) {
        std::vector<float> area;
        h.getAreaOfInfluence(scale, {landmark}, area);
        for (unsigned int i = 0; i < 4; ++i) EXPECT_NEAR(area.at(i), want[i], 1e-6) << scale << i;
        h.getAreaOfInfluenceTopDown(scale, {landmark}, area);
        EXPECT_EQ(area, topDown) << scale;
    }
    for (const auto& empty : {std::vector<Values>{{}, {}}, std::vector<Values>{{{0, 0.f}}, {}}}) {
        Hsne e = threeScales(empty);
        e.scale(2).landmarkToOriginalIdx.resize(empty[0].size());
        e.getInfluencingLandmarksInNextScale(1, twice = {0, 1}, out);
        e.getInfluenceOnDataPoint(3, influence, 0, true);
        e.getInterpolationWeights(top);
        for (const auto& row : top) expectValues(row, empty[0], "weights");
        expectValues(out, empty[0], "next");
        expectValues(influence[2], empty[0], "point");
    }
}

TEST(HierarchyQueries, BadScalesAndPointsAreRefused) {
    const Hsne h = threeScales();
    veltest::SparseMatrix m{{}};
    std::vector<float> v;
    const std::pair<std::function<void()>, const char*> cases[] = {
        {[&] { h.getInterpolationWeights(m, 3); }, "getInterpolationWeights: Invalid scale"},
        {[&] { Hsne().getInterpolationWeights(m, 0); }, "getInterpolationWeights: Invalid scale"},
        {[&] { h.getAreaOfInfluence(3, {0}, v); }, "getAreaOfInfluence (3)"},
        {[&] { h.getAreaOfInfluenceTopDown(3, {0}, v); }, "getAreaOfInfluenceTopDown (3)"},
        {[&] { h.getStochasticLocationAtHigherScale(2, 2, {0}, m); }, "getStochasticLocationAtHigherScale (0)"},
        {[&] { h.getStochasticLocationAtHigherScale(2, 3, {0}, m); }, "getStochasticLocationAtHigherScale (2)"},
        {[&] { h.getStochasticLocationAtHigherScale(0, 3, {0}, m); }, "getStochasticLocationAtHigherScale (3)"},
        {[&] { h.getHighDimensionalDescriptor(v, 0); }, "getHighDimensionalDescriptor: the hierarchy holds no data"},
        {[&] { h.getStochasticLocationAtHigherScale(0, 1, {4}, m); },
         "getStochasticLocationAtHigherScale: index 4 out of range"},
        {[&] { h.getAreaOfInfluence(0, {4}, v); }, "getAreaOfInfluence: index 4 out of range"}};
    for (const auto& [call, message] : cases) EXPECT_EQ(thrown(call), message);
}

// Rows that held many entries before iterate in another order; the influence
// must still come out bit for bit as from fresh rows.
TEST(HierarchyQueries, InfluenceOnAPointDoesNotDependOnTheRowsPassedIn) {
    const Hsne& h = fiveBlobs().h;
    Hsne::influence_rows used(h.hierarchy().size());
    for (auto& row : used)
        for (unsigned int k = 0; k < 5000; ++k) row[k * 7919u] = 1.f;
    for (unsigned int p = 0; p < h.scale(0).size(); p += 7) {
        Hsne::influence_rows fresh;
        h.getInfluenceOnDataPoint(p, fresh, 0.f, false);
        h.getInfluenceOnDataPoint(p, used, 0.f, false);
        ASSERT_EQ(used, fresh) << "point " << p;
    }
}

// The landmarks influenced by a selection, against the literal sum over a
// hash set of the selection, bit for bit, on random areas of influence with
// selections empty, repeated, beyond the scale's landmark count (as columns of
// a hand-made area may be) and whole, on 1 and 4 threads.
TEST(HierarchyQueries, InfluencedLandmarksAreTheLiteralSumsOnAnyThreadCount) {
    std::mt19937 random(5);
    const unsigned int points = 20000, landmarks = 700;
    Hsne h = threeScales();
    Hsne::Scale& s1 = h.scale(1);
    s1.landmarkWeight.assign(landmarks, 1.f);
    s1.landmarkToOriginalIdx.resize(landmarks - 50);  // the last 50 columns lie beyond the scale
    s1.areaOfInfluence = veltest::SparseMatrix(points);
    std::uniform_int_distribution<unsigned int> pick(0, landmarks - 1);
    std::uniform_real_distribution<float> value(0.f, 1.f);
    for (auto& row : s1.areaOfInfluence)
        for (int k = 0, n = static_cast<int>(pick(random) % 12); k < n; ++k) row[pick(random)] = value(random);
    const auto literal = [&](const std::vector<unsigned int>& selection) {
        const std::unordered_set<unsigned int> set(selection.begin(), selection.end());
        Values out;
        for (unsigned int i = 0; i < points; ++i) {
            double sum = 0;
            for (const auto& [b, v] : s1.areaOfInfluence[i])
                if (set.count(b) != 0) sum += v;
            if (sum > 0.0) out[i] = static_cast<float>(sum);
        }
        return out;
    };
    std::vector<unsigned int> all(landmarks), tenth;
    std::iota(all.begin(), all.end(), 0u);
    for (unsigned int l = 0; l < landmarks; l += 10) tenth.push_back(l);
    const std::pair<const char*, std::vector<unsigned int>> selections[] = {
        {"none", {}},
        {"one", {17}},
        {"repeated", {3, 3, 9, 3}},
        {"beyond the scale", {5, landmarks - 20, landmarks - 7, landmarks, landmarks + 100}},
        {"a tenth", tenth},
        {"all", all},
    };
    for (const auto& [name, selection] : selections) {
        const Values want = literal(selection);
        for (int threads : {1, 4}) {
            omp_set_num_threads(threads);
            std::vector<unsigned int> given = selection;
            Values got{{points + 1, 3.f}};  // replaced, not added to
            h.getInfluencedLandmarksInPreviousScale(1, given, got);
            EXPECT_EQ(got, want) << name << " on " << threads << " threads";
        }
    }
    omp_set_num_threads(omp_get_num_procs());
}
