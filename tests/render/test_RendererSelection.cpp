// Rectangle and outside selections; density-cluster picking, hover and merging;
// on a real A-tSNE analysis every drawn point picks its own cluster.
#include "RenderTest.h"
#include "support/CapturedOutput.h"
#include "support/startPositionsTsne.h"

#include <numeric>
#include <random>

namespace {

using namespace rendertest;
using Indices = std::vector<int>;

class RendererSelectionTest : public RenderTest {
protected:
    // A 1000 x 1000 view; points at plot positions 0.1, 0.3, 0.5, 0.7, 0.9 on
    // the diagonal, i.e. pixels 100, 300, 500, 700, 900.
    void SetUp() override {
        RenderTest::SetUp();
        makeRenderer(1000, 1000);
        setData({-1, -1, -0.5f, -0.5f, 0, 0, 0.5f, 0.5f, 1, 1}, {0, 0, 0, 0, 0}, 1);
    }
    Indices select(int x0, int y0, int x1, int y1, int modifier) {
        return *renderer->selectRectangularArea({x0, y0, x1, y1}, static_cast<selectionModifier>(modifier));
    }
};

TEST_F(RendererSelectionTest, RectangleReplacesAddsOnceOrSubtractsWithEdgesIncluded) {
    struct Step {
        int x0, y0, x1, y1, modifier;
        Indices expected;
    };
    const Step steps[] = {
        {250, 250, 750, 750, 0, {1, 2, 3}},     {750, 750, 250, 250, 0, {1, 2, 3}},  // corners in any order
        {250, 750, 750, 250, 0, {1, 2, 3}},     {500, 500, 900, 900, 0, {2, 3, 4}},  // a point on an edge is inside
        {501, 501, 899, 899, 0, {3}},           {150, 150, 200, 200, 0, {}},
        {450, 450, 950, 950, 0, {2, 3, 4}},     {50, 50, 350, 350, 1, {2, 3, 4, 0, 1}},
        {50, 50, 350, 350, 1, {2, 3, 4, 0, 1}}, {250, 250, 750, 750, 2, {4, 0}},
        {250, 250, 750, 750, 2, {4, 0}},        {0, 0, 1000, 1000, 3, {4, 0}},  // unknown modifiers change nothing
        {0, 0, 1000, 1000, -1, {4, 0}},
    };
    for (const Step& s : steps)
        EXPECT_EQ(select(s.x0, s.y0, s.x1, s.y1, s.modifier), s.expected)
            << s.x0 << " " << s.y0 << " " << s.x1 << " " << s.y1 << " " << s.modifier;
    EXPECT_EQ(*renderer->selectAll(), (Indices{0, 1, 2, 3, 4}));
    EXPECT_TRUE(renderer->selectNone()->empty());
}

TEST_F(RendererSelectionTest, RectangleOutsideThePlotSquareChangesNothingAndTheBandIsDrawnWhileActive) {
    // 1200 x 800: the plot square is 800 wide and starts at x = 200.
    makeRenderer(1200, 800);
    setData({0, 0, 1, 1}, {0, 0}, 1);
    renderer->selectAll();
    for (int modifier = 0; modifier < 3; ++modifier)
        EXPECT_EQ(select(0, 0, 150, 800, modifier), (Indices{0, 1})) << modifier;
    EXPECT_EQ(*renderer->selectRectangularArea({1, 2}, SELECTION_REPLACE), (Indices{0, 1}));  // too short
    EXPECT_EQ(select(480, 300, 270, 70, 0), (Indices{0}));  // plot 0.1 is at (200 + 80, 80)

    renderer->setSelectionActive(true);
    const Image image = drawAndRead();
    const QRgb line = qRgb(60, 150, 250);
    EXPECT_TRUE(rgbNear(image.at(380, 70), line, 1));
    EXPECT_TRUE(rgbNear(image.at(270, 200), line, 1));
    EXPECT_TRUE(rgbNear(image.at(380, 200), over(line, 0.05f, kBackground), 1));
}

TEST_F(RendererSelectionTest, SelectionFromOutsideIsReadForEveryPointAndNoFurtherAndNothingStaleSurvives) {
    std::vector<short> selection = {0, 32767, 0, 1};  // one value short
    renderer->setSelection(&selection, false);
    EXPECT_EQ(select(0, 0, 0, 0, 1), (Indices{1, 3}));
    std::vector<short> longer = {1, 0, 0, 0, 0, 1, 1};
    renderer->setSelection(&longer, false);
    EXPECT_EQ(select(0, 0, 0, 0, 1), (Indices{0}));
    // From indices, or without an array, the list stays as it is.
    renderer->selectAll();
    renderer->setSelection(&selection, true);
    renderer->setSelection(nullptr, false);
    EXPECT_EQ(select(0, 0, 0, 0, 1).size(), 5u);
    // The same point count keeps the indices, another clears them.
    setData({0, 0, 1, 1, 2, 2, 3, 3, 4, 4}, {0, 0, 0, 0, 0}, 1);
    EXPECT_EQ(select(0, 0, 0, 0, 1).size(), 5u);
    setData({0, 0, 1, 1}, {0, 0}, 1);
    EXPECT_TRUE(select(0, 0, 0, 0, 1).empty());
    std::vector<short> none(2, 0);
    EXPECT_EQ(capturedStdout([&] { renderer->setSelection(&none, true); }), "");
    drawAndRead();
}

class RendererClusterPickingTest : public RenderTest {
protected:
    // Plot square 300 wide from x = 50; blobs of 100 points at plot 0.25 and
    // 0.75 on the diagonal; the point at plot 0.9 fixes the range, a third basin.
    void SetUp() override {
        RenderTest::SetUp();
        makeRenderer(400, 300);
        renderer->setLocalData(&analysis, 1);
        std::mt19937 random(3);
        std::normal_distribution<float> noise(0.0f, 0.02f);
        std::vector<float> xy;
        for (float c : {0.1875f, 0.8125f})
            for (int i = 0; i < 200; ++i) xy.push_back(c + noise(random));
        xy.insert(xy.end(), {1.0f, 1.0f});
        setData(xy, std::vector<float>(xy.size() / 2, 0.0f), 1);
    }
    Indices click(float u, bool add) { return *renderer->selectClusterAt(50 + int(u * 300), int(u * 300), add); }
    int hover(float u) {
        renderer->setMousePositionInView(50 + int(u * 300), int(u * 300));
        return set->highlightId();
    }
    void cluster() {
        renderer->clusterOnce();
        set = MCV_CytometryData::Instance()->derivedDataClusters("Density Clusters - test", true);
    }
    static Indices range(int from, int to) {
        Indices r(static_cast<size_t>(to - from));
        std::iota(r.begin(), r.end(), from);
        return r;
    }
    ClusterKeepingAnalysis analysis{ANALYSIS_NONE};
    MCV_DerivedDataClusters* set = nullptr;
};

TEST_F(RendererClusterPickingTest, ClicksAndHoverSelectToggleAndHighlightClustersAndMissesClearThem) {
    // Stale clusters: a click clears the list.
    renderer->selectAll();
    EXPECT_TRUE(click(0.25f, false).empty());
    cluster();
    ASSERT_EQ(analysis.lastMembers.size(), 3u);
    EXPECT_EQ(click(0.25f, false), range(0, 100));
    EXPECT_EQ(set->highlightId(), 0);
    EXPECT_EQ(click(0.75f, true), range(0, 200));
    EXPECT_EQ(renderer->numSelectedClusters(), 2);
    // Without add a selected cluster stays, alone; with add it is deselected.
    EXPECT_EQ(click(0.75f, false), range(100, 200));
    EXPECT_EQ(click(0.25f, true), range(0, 200));
    EXPECT_EQ(click(0.25f, true), range(100, 200));
    // A cell without cluster, and a click beside the plot square, clear it.
    EXPECT_TRUE(click(0.05f, false).empty());
    EXPECT_EQ(set->highlightId(), -1);
    click(0.75f, false);
    EXPECT_TRUE(renderer->selectClusterAt(20, 150, false)->empty());
    renderer->resetSelectedClusters();
    EXPECT_EQ(renderer->numSelectedClusters(), 0);

    EXPECT_EQ(hover(0.75f), 1);
    EXPECT_EQ(hover(0.05f), -1);
    EXPECT_EQ(hover(0.25f), 0);
    // Outside the square, and after a data change, the highlight stays.
    renderer->setMousePositionInView(10, 10);
    EXPECT_EQ(set->highlightId(), 0);
    renderer->copyLocalVertexData();
    EXPECT_EQ(hover(0.75f), 0);
}

TEST_F(RendererClusterPickingTest, MergedClustersArePickedAsOne) {
    cluster();
    click(0.25f, false);
    click(0.75f, true);
    renderer->mergeClusters();
    ASSERT_EQ(set->numClusters(), 2);
    // Another set changes nothing: id 1 is now the set's third cluster's index.
    renderer->clusterRefreshed(MCV_CytometryData::Instance()->derivedDataClusters("other", true));
    EXPECT_EQ(click(0.75f, false), (Indices{200}));
    renderer->clusterRefreshed(set);
    EXPECT_EQ(click(0.75f, false), range(0, 200));
    EXPECT_EQ(click(0.9f, false), (Indices{200}));
}

TEST_F(RendererClusterPickingTest, AGridChangeKeepsPickingOnTheGridTheClustersWereMadeOn) {
    cluster();
    renderer->setMsGrid(32);
    renderer->setOtfClustering(0);  // keeps the clusters made at 128 as current
    EXPECT_EQ(click(0.75f, false), range(100, 200));
    drawAndRead();
    renderer->setMsGrid(256);
    renderer->clusterOnce();
    EXPECT_EQ(click(0.25f, false), range(0, 100));
}

TEST_F(RenderTest, DensityClustersBecomeTheAnalysisClusterSetAndEveryPointPicksItsOwnCluster) {
    // 180 events over two files, so that events are told apart by file too.
    std::vector<std::vector<std::vector<float>>> files(2);
    for (int i = 0; i < 180; ++i)
        files[static_cast<size_t>(i % 2)].push_back({static_cast<float>(i), static_cast<float>(i % 7), 0});
    loadFiles(files, {"M1", "M2", "label"});
    const std::unique_ptr<MCV_TsneAnalysis> tsne = startPositionsTsne();
    ASSERT_EQ(tsne->numDataPoints(), 180);
    // Two pixels a cell of the 128-cell grid: every pixel lies in one cell.
    makeRenderer(256, 256);
    renderer->setLocalData(tsne.get(), MCV_CytometryData::Instance()->combinedHeader()->numVariables());
    renderer->clusterOnce();
    EXPECT_EQ(renderer->meanShiftClustersName(), "Density Clusters - A");
    const std::vector<float>& y = *tsne->output();
    float extent = 0.0f;
    for (float v : y) extent = std::max(extent, std::fabs(v));
    auto pixel = [&](int p, int axis) {
        return static_cast<int>(((y[static_cast<size_t>(2 * p + axis)] + extent) / (2 * extent) * 0.8f + 0.1f) * 256);
    };
    for (int p = 0; p < 180; ++p) {
        const std::vector<int> picked = *renderer->selectClusterAt(pixel(p, 0), pixel(p, 1), false);
        ASSERT_EQ(std::count(picked.begin(), picked.end(), p), 1) << "point " << p;
    }
    renderer.reset();
}

}  // namespace
