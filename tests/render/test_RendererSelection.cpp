// Rectangle selection (replace, add, subtract, edges, corners in any order,
// outside the plot), selections from outside, and density-cluster picking,
// hover highlight and merging against a real cluster set.
#include "RenderTest.h"

#include <random>

namespace {

using namespace rendertest;
using Indices = std::vector<int>;

class RendererSelectionTest : public RenderTest {
protected:
    // A 1000 x 1000 view; points at plot positions 0.1, 0.3, 0.5, 0.7, 0.9 on
    // the diagonal, i.e. pixels 100, 300, 500, 700, 900.
    void diagonal() {
        makeRenderer(1000, 1000);
        setData({-1, -1, -0.5f, -0.5f, 0, 0, 0.5f, 0.5f, 1, 1}, {0, 0, 0, 0, 0}, 1);
    }
    Indices select(int x0, int y0, int x1, int y1, int modifier) {
        return *renderer->selectRectangularArea({x0, y0, x1, y1}, static_cast<selectionModifier>(modifier));
    }
};

TEST_F(RendererSelectionTest, RectangleReplacesWithThePointsInsideEdgesIncluded) {
    diagonal();
    EXPECT_EQ(select(250, 250, 750, 750, 0), (Indices{1, 2, 3}));
    // Opposite corners in the other order select the same.
    EXPECT_EQ(select(750, 750, 250, 250, 0), (Indices{1, 2, 3}));
    EXPECT_EQ(select(250, 750, 750, 250, 0), (Indices{1, 2, 3}));
    // A point exactly on an edge is inside.
    EXPECT_EQ(select(500, 500, 900, 900, 0), (Indices{2, 3, 4}));
    EXPECT_EQ(select(501, 501, 899, 899, 0), (Indices{3}));
    // Replacing with an empty area inside the plot empties the list.
    EXPECT_EQ(select(150, 150, 200, 200, 0), (Indices{}));
}

TEST_F(RendererSelectionTest, AddAppendsOnceAndSubtractRemoves) {
    diagonal();
    select(450, 450, 950, 950, 0);
    EXPECT_EQ(select(50, 50, 350, 350, 1), (Indices{2, 3, 4, 0, 1}));
    EXPECT_EQ(select(50, 50, 350, 350, 1), (Indices{2, 3, 4, 0, 1}));
    EXPECT_EQ(select(250, 250, 750, 750, 2), (Indices{4, 0}));
    EXPECT_EQ(select(250, 250, 750, 750, 2), (Indices{4, 0}));
    // Codes other than 0, 1 and 2 change nothing.
    EXPECT_EQ(select(0, 0, 1000, 1000, 3), (Indices{4, 0}));
    EXPECT_EQ(select(0, 0, 1000, 1000, -1), (Indices{4, 0}));
}

TEST_F(RendererSelectionTest, RectangleOutsideThePlotSquareChangesNothing) {
    // 1200 x 800: the plot square is 800 wide and starts at x = 200.
    makeRenderer(1200, 800);
    setData({0, 0, 1, 1}, {0, 0}, 1);
    EXPECT_EQ(renderer->selectAll()->size(), 2u);
    for (int modifier = 0; modifier < 3; ++modifier)
        EXPECT_EQ(select(0, 0, 150, 800, modifier), (Indices{0, 1})) << modifier;
    // The point at plot 0.1 is at x = 200 + 80.
    EXPECT_EQ(select(270, 70, 290, 90, 0), (Indices{0}));
    // A short rectangle is ignored.
    EXPECT_EQ(*renderer->selectRectangularArea({1, 2}, SELECTION_REPLACE), (Indices{0}));
}

TEST_F(RendererSelectionTest, TheRubberBandIsDrawnWhileActive) {
    makeRenderer(400, 400);
    setData({0, 0}, {0}, 1);
    renderer->selectRectangularArea({300, 200, 100, 100}, SELECTION_REPLACE);
    EXPECT_EQ(drawnPixel(200, 150), kBackground);
    renderer->setSelectionActive(true);
    const std::vector<unsigned char> image = drawAndRead();
    const Rgb line{60, 150, 250};
    EXPECT_TRUE(near(pixelAt(image, 400, 200, 100), line, 1)) << pixelAt(image, 400, 200, 100);
    EXPECT_TRUE(near(pixelAt(image, 400, 100, 150), line, 1)) << pixelAt(image, 400, 100, 150);
    EXPECT_TRUE(near(pixelAt(image, 400, 200, 150), over(line, 0.05f, kBackground), 1))
        << pixelAt(image, 400, 200, 150);
    EXPECT_EQ(pixelAt(image, 400, 200, 250), kBackground);
    EXPECT_EQ(pixelAt(image, 400, 50, 150), kBackground);
}

TEST_F(RendererSelectionTest, SelectAllAndNone) {
    diagonal();
    EXPECT_EQ(*renderer->selectAll(), (Indices{0, 1, 2, 3, 4}));
    EXPECT_TRUE(renderer->selectNone()->empty());
}

TEST_F(RendererSelectionTest, ANewPointCountClearsTheIndicesAndTheSameCountKeepsThem) {
    diagonal();
    renderer->selectAll();
    setData({0, 0, 1, 1, 2, 2, 3, 3, 4, 4}, {0, 0, 0, 0, 0}, 1);
    EXPECT_EQ(select(0, 0, 10, 10, 1).size(), 5u);
    setData({0, 0, 1, 1}, {0, 0}, 1);
    EXPECT_TRUE(select(0, 0, 10, 10, 1).empty());
    // Nothing stale reaches the shown selection.
    testing::internal::CaptureStdout();
    std::vector<short> none(2, 0);
    renderer->setSelection(&none, true);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST_F(RendererSelectionTest, SelectionFromOutsideIsReadForEveryPointAndNoFurther) {
    diagonal();
    std::vector<short> selection = {0, 32767, 0, 1};  // one value short
    renderer->setSelection(&selection, false);
    EXPECT_EQ(*renderer->selectAll(), (Indices{0, 1, 2, 3, 4}));
    renderer->setSelection(&selection, false);
    EXPECT_EQ(select(0, 0, 0, 0, 1), (Indices{1, 3}));
    std::vector<short> longer = {1, 0, 0, 0, 0, 1, 1};
    renderer->setSelection(&longer, false);
    EXPECT_EQ(select(0, 0, 0, 0, 1), (Indices{0}));
    // From indices: the list stays as it is.
    renderer->selectAll();
    renderer->setSelection(&selection, true);
    EXPECT_EQ(select(0, 0, 0, 0, 1).size(), 5u);
    renderer->setSelection(nullptr, false);
    EXPECT_EQ(select(0, 0, 0, 0, 1).size(), 5u);
    drawAndRead();
}

// ---- Density clusters ----

class RendererClusterPickingTest : public RenderTest {
protected:
    // 400 x 300: the plot square is 300 wide and starts at x = 50. Two blobs,
    // at plot (0.25, 0.25) and (0.75, 0.75), 100 points each.
    void SetUp() override {
        RenderTest::SetUp();
        makeRenderer(400, 300);
        renderer->setLocalData(&analysis, 1);
        std::mt19937 random(3);
        std::normal_distribution<float> noise(0.0f, 0.02f);
        std::vector<float> xy;
        for (float c : {0.1875f, 0.8125f})
            for (int i = 0; i < 100; ++i) {
                xy.push_back(c + noise(random));
                xy.push_back(c + noise(random));
            }
        xy.push_back(1.0f);  // fixes the range (0.9 in the plot), a third basin
        xy.push_back(1.0f);
        setData(xy, std::vector<float>(xy.size() / 2, 0.0f), 1);
    }
    // Device pixel of plot position (u, v).
    std::pair<int, int> pixel(float u, float v) const {
        return {50 + static_cast<int>(u * 300), static_cast<int>(v * 300)};
    }
    Indices click(float u, float v, bool add) {
        const auto [x, y] = pixel(u, v);
        return *renderer->selectClusterAt(x, y, add);
    }
    static Indices range(int from, int to) {
        Indices r;
        for (int i = from; i < to; ++i) r.push_back(i);
        return r;
    }
    ClusterKeepingAnalysis analysis{ANALYSIS_NONE};
};

TEST_F(RendererClusterPickingTest, ClicksSelectAndToggleClustersAndMissesClearTheSelection) {
    // Stale clusters: a click clears the list and highlights nothing.
    renderer->selectAll();
    EXPECT_TRUE(click(0.25f, 0.25f, false).empty());
    renderer->clusterOnce();
    ASSERT_EQ(analysis.lastMembers.size(), 3u);
    MCV_DerivedDataClusters* set = MCV_CytometryData::Instance()->derivedDataClusters("Density Clusters - test", true);
    ASSERT_NE(set, nullptr);

    EXPECT_EQ(click(0.25f, 0.25f, false), range(0, 100));
    EXPECT_EQ(set->highlightId(), 0);
    EXPECT_EQ(click(0.75f, 0.75f, true), range(0, 200));
    EXPECT_EQ(renderer->numSelectedClusters(), 2);
    // Without add an already selected cluster stays, alone.
    EXPECT_EQ(click(0.75f, 0.75f, false), range(100, 200));
    // With add it is deselected.
    EXPECT_EQ(click(0.25f, 0.25f, true), range(0, 200));
    EXPECT_EQ(click(0.25f, 0.25f, true), range(100, 200));

    // A cell without cluster, and a click beside the plot square, clear it.
    EXPECT_TRUE(click(0.5f, 0.05f, false).empty());
    EXPECT_EQ(set->highlightId(), -1);
    click(0.75f, 0.75f, false);
    EXPECT_TRUE(renderer->selectClusterAt(20, 150, false)->empty());
    renderer->resetSelectedClusters();
    EXPECT_EQ(renderer->numSelectedClusters(), 0);
}

TEST_F(RendererClusterPickingTest, HoverHighlightsTheClusterUnderThePointer) {
    renderer->clusterOnce();
    MCV_DerivedDataClusters* set = MCV_CytometryData::Instance()->derivedDataClusters("Density Clusters - test", true);
    ASSERT_NE(set, nullptr);
    auto hover = [&](float u, float v) {
        const auto [x, y] = pixel(u, v);
        renderer->setMousePositionInView(x, y);
    };
    hover(0.75f, 0.75f);
    EXPECT_EQ(set->highlightId(), 1);
    hover(0.5f, 0.05f);
    EXPECT_EQ(set->highlightId(), -1);
    hover(0.25f, 0.25f);
    EXPECT_EQ(set->highlightId(), 0);
    // Outside the square the set keeps its highlight.
    renderer->setMousePositionInView(10, 10);
    EXPECT_EQ(set->highlightId(), 0);
    // After a data change hovering does nothing until the next clustering.
    renderer->copyLocalVertexData();
    hover(0.75f, 0.75f);
    EXPECT_EQ(set->highlightId(), 0);
}

TEST_F(RendererClusterPickingTest, MergedClustersArePickedAsOne) {
    renderer->clusterOnce();
    MCV_DerivedDataClusters* set = MCV_CytometryData::Instance()->derivedDataClusters("Density Clusters - test", true);
    ASSERT_NE(set, nullptr);
    click(0.25f, 0.25f, false);
    click(0.75f, 0.75f, true);
    renderer->mergeClusters();
    ASSERT_EQ(set->numClusters(), 2);
    // Another set changes nothing; this one maps the grid to the merged ids.
    MCV_DerivedDataClusters* other = MCV_CytometryData::Instance()->derivedDataClusters("other", true);
    renderer->clusterRefreshed(other);
    // Still the ids as formed: id 1 is now the set's third cluster's index.
    EXPECT_EQ(click(0.75f, 0.75f, false), (Indices{200}));
    renderer->clusterRefreshed(set);
    EXPECT_EQ(click(0.75f, 0.75f, false), range(0, 200));
    EXPECT_EQ(click(0.9f, 0.9f, false), (Indices{200}));
    // The uploaded grid colours both blobs alike in diagnostic mode.
    renderer->setAdvancedMode(0);
    renderer->setPointOpacity(1.0f);
    renderer->setPointSize(0.02f);
    const std::vector<unsigned char> image = drawAndRead();
    auto at = [&](float u, float v) {
        const auto [x, y] = pixel(u, v);
        return pixelAt(image, 400, x, y);
    };
    EXPECT_EQ(at(0.25f, 0.25f), at(0.75f, 0.75f));
    EXPECT_NE(at(0.25f, 0.25f), at(0.9f, 0.9f));
}

TEST_F(RendererClusterPickingTest, AGridChangeKeepsPickingOnTheGridTheClustersWereMadeOn) {
    renderer->clusterOnce();
    renderer->setMsGrid(32);
    renderer->setOtfClustering(0);  // keeps the clusters made at 128 as current
    EXPECT_EQ(click(0.75f, 0.75f, false), range(100, 200));
    drawAndRead();
    renderer->setMsGrid(256);
    renderer->clusterOnce();
    EXPECT_EQ(click(0.25f, 0.25f, false), range(0, 100));
}

}  // namespace
