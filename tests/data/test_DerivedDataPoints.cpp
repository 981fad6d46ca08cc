// Point subsets: the base refresh with dependents, per-file tables, the
// per-variable statistics with their stale marks, and random down-sampling.
#include "DerivedDataFixture.h"

#include "data/MCV_DerivedDataPoints.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <set>

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();

class DerivedPoints : public DerivedDataTest {
protected:
    // Every event of every file, file by file.
    Points all() const {
        Points p;
        for (int f = 0; f < data->numFiles(); ++f)
            for (int e = 0; e < data->header(f)->numEvents(); ++e) p.emplace_back(f, e);
        return p;
    }
    static Rows column(std::vector<float> a) {
        Rows r;
        for (float x : a) r.push_back({x});
        return r;
    }
};

}  // namespace

TEST_F(DerivedPoints, RefreshAnnouncesTheSetThenEachDependentWithTheSameSource) {
    MCV_DerivedDataPoints master, first, second;
    for (MCV_DerivedDataPoints* p : {&master, &first, &second}) p->setUiInterface(&ui);
    master.addDependentDataset(&first);
    master.addDependentDataset(&second);
    master.addDependentDataset(&second);  // repeats are refreshed again
    int token = 0;
    master.refreshed(&token);
    ASSERT_EQ(ui.calls.size(), 4u);
    EXPECT_EQ(ui.calls[0].arg, &master) << "the argument is the set, not the source";
    EXPECT_EQ(ui.calls[1].arg, &first);
    EXPECT_EQ(ui.calls[2].arg, &second);
    EXPECT_EQ(ui.calls[3].arg, &second);
    for (MCV_DerivedDataPoints* p : {&master, &first, &second}) EXPECT_EQ(p->refreshSource(), &token);
}

TEST_F(DerivedPoints, RefreshWithoutCallbackInterfaceReachesNobody) {
    MCV_DerivedDataPoints master, dependent;
    dependent.setUiInterface(&ui);
    master.addDependentDataset(&dependent);
    int token = 0;
    master.refreshed(&token);
    EXPECT_TRUE(ui.calls.empty());
    EXPECT_EQ(dependent.refreshSource(), nullptr);
}

TEST_F(DerivedPoints, StatisticsLeaveNaNOutAndTakeTheUpperMiddle) {
    load({{{4, 1, 0}, {2, 3, 0}, {3, 0, 0}, {1, 0, 0}}}, {"A", "B", "C"});
    at(0, 2, 1) = kNaN;
    at(0, 3, 1) = kNaN;
    for (int e = 0; e < 4; ++e) at(0, e, 2) = kNaN;

    MCV_DerivedDataPoints p;
    p.setPoints(all(), false);
    // A: 4 2 3 1 -> sorted 1 2 3 4, index 2. B: 1 3 (NaN left out of every
    // count). C: nothing left.
    EXPECT_EQ(p.medianExpression(), (std::vector<float>{3, 3, 0}));
    EXPECT_EQ(p.meanExpression(), (std::vector<float>{2.5f, 2, 0}));
    const std::vector<float>& sd = p.standardDeviation();
    EXPECT_FLOAT_EQ(sd[0], std::sqrt(1.25f));
    EXPECT_FLOAT_EQ(sd[1], 1.0f) << "population deviation of 1 and 3, not 1.414";
    EXPECT_EQ(sd[2], 0.0f);

    p.setPoints({{0, 0}, {0, 1}, {0, 2}}, false);
    EXPECT_EQ(p.medianExpression()[0], 3.0f) << "4 2 3 -> 2 3 4";
    p.setPoints({{0, 3}, {0, 1}, {0, 2}}, false);
    EXPECT_EQ(p.medianExpression()[0], 2.0f) << "1 2 3";
}

TEST_F(DerivedPoints, EmptySetHasZeroStatisticsAndCounts) {
    load({{{1, 2}}, {{3, 4}, {5, 6}}});
    MCV_DerivedDataPoints p;
    EXPECT_EQ(p.medianExpression(), (std::vector<float>{0, 0}));
    EXPECT_EQ(p.meanExpression(), (std::vector<float>{0, 0}));
    EXPECT_EQ(p.standardDeviation(), (std::vector<float>{0, 0}));
    EXPECT_EQ(p.pointsPerFile(), (std::vector<int>{0, 0}));
}

TEST_F(DerivedPoints, PerFileTablesKeepListOrderAndSkipUnknownFiles) {
    load({{{0, 0}}, {{0, 0}, {0, 0}, {0, 0}}});
    MCV_DerivedDataPoints p;
    p.setPoints({{1, 2}, {0, 0}, {1, 0}, {7, 1}, {-1, 0}, {1, 2}}, false);
    EXPECT_EQ(p.pointsPerFile(), (std::vector<int>{1, 3}));
    EXPECT_EQ(p.pointsFromFile(), (std::vector<std::vector<int>>{{0}, {2, 0, 2}}));
}

TEST_F(DerivedPoints, PointsNamingNoEventAreLeftOutOfTheStatistics) {
    load({{{1, 10}, {3, 30}}});
    MCV_DerivedDataPoints p;
    p.setPoints({{0, 0}, {0, 5}, {3, 0}, {0, -1}, {0, 1}}, false);
    EXPECT_EQ(p.meanExpression(), (std::vector<float>{2, 20}));
}

TEST_F(DerivedPoints, ParallelStatisticsEqualAPlainSerialComputation) {
    std::mt19937 rng(7);
    std::normal_distribution<float> value(100.0f, 30.0f);
    Rows a(3000, std::vector<float>(9)), b(2000, std::vector<float>(9));
    for (Rows* r : {&a, &b})
        for (auto& row : *r)
            for (float& x : row) x = value(rng);
    load({a, b}, {"v1", "v2", "v3", "v4", "v5", "v6", "v7", "v8", "v9"});
    at(0, 5, 3) = kNaN;
    at(1, 7, 3) = kNaN;

    Points pts;
    std::uniform_int_distribution<int> file(0, 1), event(0, 1999);
    for (int i = 0; i < 4001; ++i) pts.emplace_back(file(rng), event(rng));  // with repeats
    MCV_DerivedDataPoints p;
    p.setPoints(pts, false);

    for (int v = 0; v < 9; ++v) {
        std::vector<float> xs;
        float sum = 0;
        for (auto& q : pts) {
            const float x = at(q.first, q.second, v);
            if (std::isnan(x)) continue;
            xs.push_back(x);
            sum += x;
        }
        const float mean = sum / static_cast<float>(xs.size());
        float sq = 0;
        for (float x : xs) sq += (mean - x) * (mean - x);
        std::vector<float> sorted = xs;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(p.meanExpression()[static_cast<size_t>(v)], mean) << v;
        EXPECT_EQ(p.standardDeviation()[static_cast<size_t>(v)], std::sqrt(sq / static_cast<float>(xs.size()))) << v;
        EXPECT_EQ(p.medianExpression()[static_cast<size_t>(v)], sorted[sorted.size() / 2]) << v;
    }
}

TEST_F(DerivedPoints, StatisticsAreRecomputedOnlyAfterInvalidation) {
    load({column({1, 2, 3})}, {"A"});
    MCV_DerivedDataPoints p;
    p.setPoints(all(), false);
    EXPECT_EQ(p.meanExpression()[0], 2.0f);

    at(0, 0, 0) = 4;  // mean 3, median 3
    EXPECT_EQ(p.meanExpression()[0], 2.0f) << "served from the cache";
    EXPECT_EQ(p.medianExpression()[0], 3.0f) << "never computed before, so computed now";
    p.data().push_back({0, 0});
    EXPECT_EQ(p.meanExpression()[0], 2.0f) << "editing the list alone leaves the cache";

    p.refreshed(nullptr);
    EXPECT_FLOAT_EQ(p.meanExpression()[0], 13.0f / 4);
    at(0, 1, 0) = 10;
    p.invalidateStatistics();
    // The deviation brings the mean up to date first.
    const float sd = p.standardDeviation()[0];
    EXPECT_FLOAT_EQ(p.meanExpression()[0], 21.0f / 4);
    EXPECT_GT(sd, 2.0f);
    p.setPoints({{0, 1}}, false);
    EXPECT_EQ(p.meanExpression()[0], 10.0f);
    EXPECT_EQ(p.pointsPerFile(), (std::vector<int>{1}));
}

TEST_F(DerivedPoints, AddedVariablesInvalidateRegisteredSetsAndTheSelection) {
    load({column({1, 2, 3})}, {"A"});
    MCV_DerivedDataPoints* reg = data->derivedDataPoints("R", true);
    reg->setPoints(all(), false);
    data->selectionPoints()->setPoints({{0, 2}}, false);
    EXPECT_EQ(reg->meanExpression().size(), 1u);
    EXPECT_EQ(data->selectionPoints()->medianExpression().size(), 1u);
    data->addDimensions({"X"}, 7.0f);
    EXPECT_EQ(reg->meanExpression(), (std::vector<float>{2, 7}));
    EXPECT_EQ(data->selectionPoints()->medianExpression(), (std::vector<float>{3, 7}));
}

TEST_F(DerivedPoints, NotificationsOfSettersFollowTheirFlags) {
    MCV_DerivedDataPoints p;
    p.setUiInterface(&ui);
    p.setPoints({{0, 0}}, false);
    EXPECT_TRUE(ui.calls.empty());
    p.setPoints({{0, 0}}, true);
    p.setMeta({1, 2});
    EXPECT_EQ(ui.count("dataRefreshed", &p), 2);
    EXPECT_EQ(p.meta(), (std::vector<int>{1, 2}));
    MCV_DerivedDataPoints silent;  // no interface: no crash, no call
    silent.setPoints({{0, 0}}, true);
    silent.setMeta({1});
    EXPECT_EQ(ui.calls.size(), 2u);
}

TEST_F(DerivedPoints, DownsamplingPrintsItsPlanAndInvertsFromHalf) {
    load({column({0, 1, 2, 3, 4, 5, 6, 7, 8, 9})}, {"A"});
    MCV_DerivedDataPoints source;
    source.setPoints(all(), false);
    // A second, empty file with the same variables.
    ASSERT_EQ(data->loadFromFile(writeFcs("empty.fcs", {}, {"A"})), 0);

    MCV_DerivedDataPoints a;
    a.setUiInterface(&ui);
    testing::internal::CaptureStdout();
    a.downsample(&source, {4, 0});
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\nDownsampling to 4 points total.\n\nFile 0 target is 4 from 10.\n"
              "\nFile 1 target is 0 from 0.\nInversing sampling.\n");
    EXPECT_EQ(a.type(), 1);
    EXPECT_EQ(ui.count("dataRefreshed", &a), 1);
    ASSERT_EQ(a.data().size(), 4u);
    EXPECT_EQ(a.pointsPerFile(), (std::vector<int>{4, 0}));

    MCV_DerivedDataPoints b;
    testing::internal::CaptureStdout();
    b.downsample(&source, {5, 0});
    EXPECT_NE(testing::internal::GetCapturedStdout().find("target is 5 from 10.\nInversing sampling.\n"),
              std::string::npos);
    EXPECT_EQ(b.data().size(), 5u);
}

TEST_F(DerivedPoints, DownsamplingKeepsDistinctSourcePointsInSourceOrder) {
    Rows ten = column({0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    load({ten, ten}, {"A"});
    MCV_DerivedDataPoints source;
    Points reversed;
    for (int e = 9; e >= 0; --e) reversed.emplace_back(1, e);
    for (int e = 9; e >= 0; --e) reversed.emplace_back(0, e);
    source.setPoints(reversed, false);

    for (int t : {0, 3, 5, 7, 10}) {
        SCOPED_TRACE(t);
        MCV_DerivedDataPoints s;
        testing::internal::CaptureStdout();
        s.downsample(&source, {t, t});
        testing::internal::GetCapturedStdout();
        const Points& got = s.data();
        ASSERT_EQ(got.size(), static_cast<size_t>(2 * t));
        std::vector<int> f0, f1;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].first, i < static_cast<size_t>(t) ? 0 : 1) << "ordered by file";
            (got[i].first == 0 ? f0 : f1).push_back(got[i].second);
        }
        EXPECT_TRUE(std::is_sorted(f0.rbegin(), f0.rend())) << "the source's (descending) order";
        EXPECT_EQ(std::set<int>(f0.begin(), f0.end()).size(), f0.size()) << "no point twice";
        EXPECT_EQ(f0, f1) << "each file's draws start from the same seed";
        EXPECT_EQ(s.pointsFromFile()[0], f0);
    }
}

TEST_F(DerivedPoints, DownsamplingClampsTargetsToWhatTheSourceHas) {
    load({column({0, 1, 2}), column({0, 1, 2, 3})}, {"A"});
    MCV_DerivedDataPoints source;
    source.setPoints(all(), false);
    MCV_DerivedDataPoints s;
    testing::internal::CaptureStdout();
    s.downsample(&source, {15, -2});
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Downsampling to 3 points total."), std::string::npos) << out;
    EXPECT_EQ(s.data(), (Points{{0, 0}, {0, 1}, {0, 2}})) << "every entry filled, nothing left at (0, 0) by default";

    MCV_DerivedDataPoints fewer;
    testing::internal::CaptureStdout();
    fewer.downsample(&source, {1});  // no target for file 1: nothing from it
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(fewer.pointsPerFile(), (std::vector<int>{1, 0}));
}
