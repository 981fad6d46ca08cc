// Cluster sets: filling, selection and highlight with their notifications,
// merging (members, names, index map, landmark lists, edges) and the
// per-cluster statistics.
#include "DerivedDataFixture.h"
#include "support/CapturedOutput.h"

#include "data/MCV_DerivedDataClusters.h"
#include "data/MCV_DerivedDataPoints.h"

#include <cmath>
#include <limits>
#include <random>
#include <tuple>

namespace {

using Edges = std::vector<std::tuple<int, int, float>>;
using Landmarks = std::vector<std::vector<unsigned>>;

class Clusters : public DerivedDataTest {
protected:
    void SetUp() override {
        DerivedDataTest::SetUp();
        Rows rows;
        for (int e = 0; e < 12; ++e) rows.push_back({static_cast<float>(e), static_cast<float>(100 + e)});
        load({rows});
        set.setUiInterface(&ui);
    }
    // n clusters, cluster i holding the single event i (and landmark i).
    void fill(int n, Edges edges = {}) {
        std::vector<Points> c;
        Landmarks lm;
        for (int i = 0; i < n; ++i) {
            c.push_back({{0, i}});
            lm.push_back({static_cast<unsigned>(i)});
        }
        set.setClusters(c, nullptr, edges, &lm);
    }
    MCV_DerivedDataClusters set;
};

}  // namespace

TEST_F(Clusters, FillingRenamesEveryClusterAndClearsTheSelection) {
    set.setHighlight(2);
    fill(3, {{0, 1, 0.5f}});
    set.setClusterName(0, "renamed");
    set.selection()[1] = true;
    ui.clear();
    fill(3);
    EXPECT_EQ(set.clusterName(0), "1") << "names given earlier are replaced";
    EXPECT_EQ(set.clusterName(3), "");
    EXPECT_EQ(set.selection(), (std::vector<bool>{false, false, false}));
    EXPECT_EQ(set.highlightId(), 2);
    EXPECT_EQ(set.edges(), (Edges{{0, 1, 0.5f}})) << "an empty edge list keeps the edges";
    EXPECT_EQ(ui.folded(), std::vector<std::string>{"dataRefreshed"});
}

TEST_F(Clusters, MergingMovesMembersNamesIndexMapLandmarksAndEdges) {
    fill(6, {{0, 1, 1}, {1, 2, 2}, {2, 4, 3}, {3, 4, 4}, {4, 5, 5}, {5, 0, 6}});
    for (int i = 0; i < 6; ++i) set.setClusterName(i, "n" + std::to_string(i));
    set.setHighlight(3);
    set.selection()[0] = true;
    ui.clear();

    set.merge({4, 1, 2});
    ASSERT_EQ(set.numClusters(), 4);
    EXPECT_EQ(set.clusters()[1], (Points{{0, 1}, {0, 2}, {0, 4}})) << "old 1, 2, 4 in that order";
    EXPECT_EQ(set.clusters()[2], (Points{{0, 3}}));
    EXPECT_EQ(set.clusterName(1) + set.clusterName(2) + set.clusterName(3), "n1n3n5");
    EXPECT_EQ(set.originalClusterIdxs(), (std::vector<int>{0, 1, 1, 2, 1, 3}));
    EXPECT_EQ(set.landmarkClusters(), (Landmarks{{0}, {1, 2, 4}, {3}, {5}}));
    // 1-2 and 2-4 lay inside the merged cluster; the others follow their ends.
    EXPECT_EQ(set.edges(), (Edges{{0, 1, 1}, {2, 1, 4}, {1, 3, 5}, {3, 0, 6}}));
    EXPECT_EQ(set.highlightId(), -1);
    EXPECT_EQ(set.selection(), (std::vector<bool>(4, false)));
    EXPECT_EQ(ui.count("dataRefreshed", &set), 1);

    set.merge({3, 0, 3, 17, -1});  // repeats and bad indices are ignored
    EXPECT_EQ(set.numClusters(), 3);
    EXPECT_EQ(set.originalClusterIdxs(), (std::vector<int>{0, 1, 1, 2, 1, 0}))
        << "every cluster as first made still finds its current cluster";
    EXPECT_EQ(set.clusters()[0], (Points{{0, 0}, {0, 5}}));
    EXPECT_EQ(set.edges(), (Edges{{0, 1, 1}, {2, 1, 4}, {1, 0, 5}}));
}

TEST_F(Clusters, MergeSelectedNeedsTwoAndToleratesMissingLandmarks) {
    fill(3);
    set.selection()[1] = true;
    ui.clear();
    set.mergeSelected();
    EXPECT_EQ(set.numClusters(), 3);
    EXPECT_TRUE(ui.calls.empty());

    MCV_DerivedDataClusters bare;  // a producer that gave no landmark lists
    bare.setClusters({{{0, 0}}, {{0, 1}}, {{0, 2}}}, nullptr, {}, nullptr);
    bare.selection()[0] = bare.selection()[2] = true;
    bare.mergeSelected();
    EXPECT_EQ(bare.clusters(), (std::vector<Points>{{{0, 0}, {0, 2}}, {{0, 1}}}));
    std::vector<unsigned> lm{99};
    EXPECT_EQ(bare.selectCluster(0, false, lm), 0);
    EXPECT_TRUE(lm.empty());
}

TEST_F(Clusters, SelectingByIdTogglesAndRefusesUnknownIds) {
    fill(5);
    ui.clear();
    std::vector<unsigned> lm{42};
    quietly([&] {
        EXPECT_EQ(set.selectCluster(5, false, lm), -1);
        EXPECT_EQ(set.selectCluster(-1, false, lm), -1);
    });
    EXPECT_EQ(lm, (std::vector<unsigned>{42}));
    EXPECT_TRUE(ui.calls.empty());

    EXPECT_EQ(set.selectCluster(0, false, lm), 0);
    EXPECT_EQ(set.selectCluster(3, true, lm), 3);
    EXPECT_EQ(lm, (std::vector<unsigned>{0, 3}));
    EXPECT_EQ(set.selectCluster(1, false, lm), 1) << "without add the others are cleared";
    EXPECT_EQ(lm, (std::vector<unsigned>{1}));
    set.selectCluster(1, true, lm);
    EXPECT_TRUE(lm.empty()) << "a selected cluster is deselected";
    EXPECT_EQ(ui.count("selectionRefreshed", &set), 4);
}

TEST_F(Clusters, SelectingFromAPageFillsTheGlobalSelectionAndSkipsUnknownClusters) {
    set.setClusters({{{0, 4}, {0, 5}}, {{0, 1}}, {{0, 7}}}, nullptr, {}, nullptr);
    ui.clear();
    quietly([&] { EXPECT_EQ(set.select({0, 9, 1}), 3); });
    EXPECT_EQ(set.selection(), (std::vector<bool>{true, true, false}));
    MCV_DerivedDataPoints* sel = data->selectionPoints();
    EXPECT_EQ(sel->data(), (Points{{0, 4}, {0, 5}, {0, 1}}));
    ASSERT_EQ(ui.folded(), (std::vector<std::string>{"selectionRefreshed", "dataRefreshed"}));
    EXPECT_EQ(ui.calls[0].arg, &set);
    EXPECT_EQ(ui.calls[1].arg, sel);
    EXPECT_EQ(MCV_DerivedDataClusters().select({0}), 0);
}

TEST_F(Clusters, HighlightAnnouncesChangesOnly) {
    fill(2);
    ui.clear();
    for (int id : {-1, 7, 7}) set.setHighlight(id);
    EXPECT_EQ(ui.count("highlightRefreshed", &set), 1);
    EXPECT_EQ(set.highlightId(), 7);
}

TEST_F(Clusters, StatisticsPerClusterLeaveNaNOutPerVariable) {
    at(0, 0, 0) = at(0, 1, 0) = std::numeric_limits<float>::quiet_NaN();
    // Cluster 0: events 0..3; A = NaN NaN 2 3, B = 100..103. Cluster 1 empty.
    set.setClusters({{{0, 0}, {0, 1}, {0, 2}, {0, 3}}, {}}, nullptr, {}, nullptr);
    set.computeMedianExpression();
    set.computeStandardDeviation();
    EXPECT_EQ(set.medianExpression()[0], (std::vector<float>{3, 102})) << "NaN in A does not drop points of B";
    EXPECT_EQ(set.meanExpression()[0], (std::vector<float>{2.5f, 101.5f}));
    EXPECT_FLOAT_EQ(set.standardDeviation()[0][0], 0.5f);
    EXPECT_FLOAT_EQ(set.standardDeviation()[0][1], std::sqrt(1.25f));
    EXPECT_EQ(set.medianExpression()[1], (std::vector<float>{0, 0}));
    EXPECT_EQ(set.standardDeviation()[1], (std::vector<float>{0, 0}));

    at(0, 2, 1) = 1000;
    set.computeMedianExpression();
    EXPECT_EQ(set.medianExpression()[0][1], 102.0f) << "cached until invalidated";
    set.invalidateStatistics();
    set.computeMedianExpression();
    EXPECT_EQ(set.medianExpression()[0][1], 103.0f);
}

TEST_F(Clusters, ParallelClusterStatisticsMatchThoseOfEachClusterAlone) {
    std::mt19937 rng(3);
    std::vector<Points> c(57);
    for (Points& p : c)
        for (int i = 0, n = int(rng() % 41); i < n; ++i) p.emplace_back(0, int(rng() % 12));
    set.setClusters(c, nullptr, {}, nullptr);
    set.computeMedianExpression();
    set.computeStandardDeviation();
    for (size_t i = 0; i < c.size(); ++i) {
        MCV_DerivedDataPoints alone;
        alone.setPoints(c[i], false);
        EXPECT_EQ(set.medianExpression()[i], alone.medianExpression()) << i;
        EXPECT_EQ(set.meanExpression()[i], alone.meanExpression()) << i;
        EXPECT_EQ(set.standardDeviation()[i], alone.standardDeviation()) << i;
    }
}
