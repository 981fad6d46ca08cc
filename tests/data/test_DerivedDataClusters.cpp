#include "DerivedDataFixture.h"
#include "support/CapturedOutput.h"

#include "data/MCV_DerivedDataClusters.h"
#include "data/MCV_DerivedDataPoints.h"

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

TEST_F(Clusters, FillingRenamesEveryClusterAndClearsTheSelectionButNotTheHighlight) {
    set.setHighlight(2);
    fill(3, {{0, 1, 0.5f}});
    set.setClusterName(0, "renamed");
    set.selection()[1] = true;
    ui.clear();
    fill(3);
    EXPECT_EQ(set.clusterName(0), "1") << "names given earlier are replaced";
    EXPECT_EQ(set.selection(), (std::vector<bool>{false, false, false}));
    EXPECT_EQ(set.highlightId(), 2);
    EXPECT_EQ(set.edges(), (Edges{{0, 1, 0.5f}})) << "an empty edge list keeps the edges";
    EXPECT_EQ(ui.folded(), std::vector<std::string>{"dataRefreshed"});
    ui.clear();
    for (int id : {2, 7, 7}) set.setHighlight(id);
    EXPECT_EQ(ui.count("highlightRefreshed", &set), 1) << "a highlight announces changes only";
    EXPECT_EQ(set.highlightId(), 7);
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

TEST_F(Clusters, MergeSelectedNeedsTwoAndToleratesMissingLandmarksSelectFromAPageSkipsUnknownIds) {
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

    // Selecting from a page fills the global selection and skips unknown clusters.
    set.setClusters({{{0, 4}, {0, 5}}, {{0, 1}}, {{0, 7}}}, nullptr, {}, nullptr);
    ui.clear();
    quietly([&] { EXPECT_EQ(set.select({0, 9, 1}), 3); });
    EXPECT_EQ(set.selection(), (std::vector<bool>{true, true, false}));
    MCV_DerivedDataPoints* sel = data->selectionPoints();
    EXPECT_EQ(sel->data(), (Points{{0, 4}, {0, 5}, {0, 1}}));
    EXPECT_EQ(ui.count("selectionRefreshed", &set) + ui.count("dataRefreshed", sel), 2);
    EXPECT_EQ(ui.calls.size(), 2u);
}
