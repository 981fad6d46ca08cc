#include "DerivedDataFixture.h"
#include "support/CapturedOutput.h"

#include "data/MCV_DerivedDataClusters.h"
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
    // Median (upper middle), mean and population deviation of each variable
    // over the known events of `pts`, NaN left out, summed in list order.
    std::vector<std::vector<float>> serialStatistics(const Points& pts) {
        std::vector<std::vector<float>> out(3);
        for (int v = 0; v < data->combinedHeader()->numVariables(); ++v) {
            std::vector<float> xs;
            float sum = 0, sq = 0;
            for (auto& q : pts)
                if (q.first >= 0 && q.first < data->numFiles() && q.second >= 0 &&
                    q.second < data->header(q.first)->numEvents() && !std::isnan(at(q.first, q.second, v))) {
                    xs.push_back(at(q.first, q.second, v));
                    sum += xs.back();
                }
            const float mean = xs.empty() ? 0 : sum / static_cast<float>(xs.size());
            for (float x : xs) sq += (mean - x) * (mean - x);
            std::sort(xs.begin(), xs.end());
            out[0].push_back(xs.empty() ? 0 : xs[xs.size() / 2]);
            out[1].push_back(mean);
            out[2].push_back(xs.empty() ? 0 : std::sqrt(sq / static_cast<float>(xs.size())));
        }
        return out;
    }
};

}  // namespace

TEST_F(DerivedPoints, RefreshAnnouncesTheSetThenEachDependentAndSettersOnlyWhenAsked) {
    MCV_DerivedDataPoints master, first, second;
    for (MCV_DerivedDataPoints* p : {&first, &second}) p->setUiInterface(&ui);
    master.addDependentDataset(&first);
    master.addDependentDataset(&second);
    int token = 0;
    master.refreshed(&token);
    EXPECT_TRUE(ui.calls.empty()) << "without an interface of its own the set reaches nobody";

    master.setUiInterface(&ui);
    master.addDependentDataset(&second);  // repeats are refreshed again
    master.refreshed(&token);
    std::vector<void*> args;
    for (const auto& c : ui.calls) args.push_back(c.arg);
    EXPECT_EQ(args, (std::vector<void*>{&master, &first, &second, &second})) << "the set, not the source";
    for (MCV_DerivedDataPoints* p : {&master, &first, &second}) EXPECT_EQ(p->refreshSource(), &token);

    ui.clear();
    MCV_DerivedDataPoints silent;  // no interface, no crash
    for (MCV_DerivedDataPoints* s : {&master, &silent}) {
        s->setPoints({{0, 0}}, false);
        s->setPoints({{0, 0}}, true);
        s->setMeta({1, 2});
    }
    EXPECT_EQ(ui.count("dataRefreshed", &master), 2);
    EXPECT_EQ(ui.calls.size(), 2u);
}

TEST_F(DerivedPoints, StatisticsOfPointAndClusterSetsEqualAPlainSerialComputation) {
    std::mt19937 rng(7);
    std::normal_distribution<float> value(100.0f, 30.0f);
    Rows a(300, std::vector<float>(4)), b(200, std::vector<float>(4));
    for (Rows* r : {&a, &b})
        for (auto& row : *r)
            for (float& x : row) x = value(rng);
    load({a, b}, {"v1", "v2", "v3", "v4"});
    at(0, 5, 2) = at(1, 7, 2) = kNaN;
    for (int e = 0; e < 300; ++e) at(0, e, 3) = kNaN;  // nothing left of v4 in file 0

    // With repeats, and points that name no loaded event.
    Points pts = {{0, 300}, {2, 0}, {0, -1}};
    for (int i = 0; i < 401; ++i) pts.emplace_back(int(rng() % 2), int(rng() % 200));
    MCV_DerivedDataPoints p;
    p.setPoints(pts, false);
    const auto want = serialStatistics(pts);
    EXPECT_EQ(p.medianExpression(), want[0]);
    EXPECT_EQ(p.meanExpression(), want[1]);
    EXPECT_EQ(p.standardDeviation(), want[2]);
    EXPECT_EQ(MCV_DerivedDataPoints().standardDeviation(), std::vector<float>(4, 0));

    // Clusters of random sizes (some empty, some only in file 0), computed in parallel.
    std::vector<Points> c(57);
    for (Points& q : c)
        for (int i = 0, n = int(rng() % 41); i < n; ++i) q.emplace_back(0, int(rng() % 300));
    MCV_DerivedDataClusters set;
    set.setClusters(c, nullptr, {}, nullptr);
    set.computeMedianExpression();
    set.computeStandardDeviation();
    for (size_t i = 0; i < c.size(); ++i) {
        const auto one = serialStatistics(c[i]);
        EXPECT_EQ(set.medianExpression()[i], one[0]) << i;
        EXPECT_EQ(set.meanExpression()[i], one[1]) << i;
        EXPECT_EQ(set.standardDeviation()[i], one[2]) << i;
    }
}

TEST_F(DerivedPoints, PerFileTablesAndStatisticsRecomputedAfterARefreshOrInvalidation) {
    load({{{0}, {1}, {2}, {3}}}, {"A"});
    MCV_DerivedDataPoints p, empty;
    p.setPoints({{0, 0}, {0, 5}, {3, 0}, {0, -1}, {0, 2}}, false);
    EXPECT_EQ(p.pointsPerFile(), (std::vector<int>{4})) << "unknown files are skipped";
    EXPECT_EQ(p.pointsFromFile(), (std::vector<std::vector<int>>{{0, 5, -1, 2}}));
    EXPECT_EQ(empty.pointsPerFile(), (std::vector<int>{0}));
    p.setPoints({{0, 1}, {0, 2}, {0, 3}}, false);
    EXPECT_EQ(p.meanExpression()[0], 2.0f);
    at(0, 1, 0) = 4;
    p.data().push_back({0, 0});
    p.refreshed(nullptr);
    EXPECT_FLOAT_EQ(p.meanExpression()[0], 9.0f / 4);
    at(0, 2, 0) = 10;
    p.invalidateStatistics();
    EXPECT_GT(p.standardDeviation()[0], 2.0f);
    EXPECT_FLOAT_EQ(p.meanExpression()[0], 17.0f / 4) << "the deviation brings the mean up to date first";

    // Added variables invalidate registered point and cluster sets and the selection.
    MCV_DerivedDataPoints* reg = data->derivedDataPoints("R", true);
    reg->setPoints(all(), false);
    data->selectionPoints()->setPoints({{0, 3}}, false);
    EXPECT_EQ(reg->meanExpression().size() + data->selectionPoints()->medianExpression().size(), 2u);
    MCV_DerivedDataClusters* c = data->derivedDataClusters("C", true);
    c->setClusters({{{0, 1}}}, nullptr, {}, nullptr);
    c->csvString();
    data->addDimensions({"X"}, 7.0f);
    EXPECT_EQ(reg->meanExpression(), (std::vector<float>{4.25f, 7}));
    EXPECT_EQ(c->csvString(), "Subset,A,X\n1,4.000000,7.000000\n");
    EXPECT_EQ(data->selectionPoints()->medianExpression(), (std::vector<float>{3, 7}));
}

TEST_F(DerivedPoints, DownsamplingKeepsDistinctSourcePointsInSourceOrderWithinClampedTargets) {
    load({Rows(10, {0}), Rows(10, {0})}, {"A"});
    MCV_DerivedDataPoints source;
    Points reversed = all();
    std::reverse(reversed.begin(), reversed.end());
    source.setPoints(reversed, false);
    // Below and above half of each file (above half the draw is inverted),
    // beyond the file, and no target for file 1.
    for (const std::vector<int>& t : std::vector<std::vector<int>>{{0, 0}, {3, 3}, {7, 7}, {10, 10}, {15, -2}, {4}}) {
        MCV_DerivedDataPoints s;
        s.setUiInterface(&ui);
        ui.clear();
        const std::string out = capturedStdout([&] { s.downsample(&source, t); });
        EXPECT_EQ(ui.count("dataRefreshed", &s), 1);
        const int n0 = std::clamp(t[0], 0, 10), n1 = t.size() > 1 ? std::clamp(t[1], 0, 10) : 0;
        EXPECT_NE(out.find("Downsampling to " + std::to_string(n0 + n1) + " points total."), std::string::npos) << out;
        ASSERT_EQ(s.pointsPerFile(), (std::vector<int>{n0, n1}));
        std::vector<int> f0, f1;
        for (size_t i = 0; i < s.data().size(); ++i) {
            EXPECT_EQ(s.data()[i].first, i < static_cast<size_t>(n0) ? 0 : 1) << t[0] << ": ordered by file";
            (s.data()[i].first == 0 ? f0 : f1).push_back(s.data()[i].second);
        }
        EXPECT_TRUE(std::is_sorted(f0.rbegin(), f0.rend())) << t[0] << ": the source's (descending) order";
        EXPECT_EQ(std::set<int>(f0.begin(), f0.end()).size(), f0.size()) << t[0] << ": no point twice";
        EXPECT_TRUE(n0 != n1 || f0 == f1) << t[0] << ": each file's draws start from the same seed";
    }
}
