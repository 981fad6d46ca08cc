// Points mode drawn and read back, the state the views read back (marker
// ranges and slider limits, short sources) and the two grid utilities.
#include "RenderTest.h"
#include "support/CapturedOutput.h"

namespace {

using namespace rendertest;

class RendererPointsTest : public RenderTest {
protected:
    // Big opaque sprites without halo, so that a sprite's centre shows its colour.
    void plainSprites() {
        renderer->setPointSize(0.05f);
        renderer->setPointOpacity(1.0f);
        renderer->setPointHaloSize(0.0f);
    }
};

struct Placement {
    int width, height;
    std::vector<float> xy;
    std::vector<std::pair<int, int>> drawn, empty;
};

TEST_F(RendererPointsTest, EmbeddingFillsTheCentredPlotSquareOverTheSymmetricRangeOfTheLargerExtent) {
    const Placement cases[] = {
        // The plot square is 200 wide from x = 50; the range [-1, 1] on both axes.
        {300, 200, {-1, -1, 1, 1, -1, 1}, {{70, 20}, {230, 180}, {70, 180}}, {{230, 20}, {20, 100}, {280, 100}}},
        // Values -1 and 3 give the range [-3, 3]: x -1 lands at 0.3667, y 3 at 0.9.
        {300, 300, {-1, 3}, {{110, 270}}, {{270, 110}, {150, 150}}},
        // A single point at the origin has no extent.
        {200, 200, {0, 0}, {{100, 100}}, {}},
    };
    for (const Placement& c : cases) {
        makeRenderer(c.width, c.height);
        plainSprites();
        setData(c.xy, std::vector<float>(c.xy.size() / 2, 1.0f), 1);
        const Image image = drawAndRead();
        for (auto [x, y] : c.drawn) EXPECT_NE(image.at(x, y), kBackground) << x << ", " << y;
        for (auto [x, y] : c.empty) EXPECT_EQ(image.at(x, y), kBackground) << x << ", " << y;
    }
}

TEST_F(RendererPointsTest, MarkerColoursSpanTheColormapOrItsElevenLevelsWithinTheRange) {
    makeRenderer(200, 200);
    plainSprites();
    // Four points in a row at plot y 0.5, values 0, 10, 5.5 and 5.2; the point
    // at (1, 1) fixes the range of the positions.
    setData({0.125f, 0.5f, 0.375f, 0.5f, 0.625f, 0.5f, 0.875f, 0.5f, 1, 1}, {0, 10, 5.5f, 5.2f, 0}, 1);
    auto expectColours = [&](const char* map, std::vector<float> t) {
        const Image image = drawAndRead();
        for (size_t i = 0; i < 4; ++i) {
            const int x = static_cast<int>(((0.125f + 0.25f * i) * 0.8f + 0.1f) * 200.0f);
            EXPECT_TRUE(rgbNear(image.at(x, 100), colormapAt(map, t[i]), 2)) << map << " point " << i;
        }
    };
    expectColours("Viridis", {0, 1, 0.55f, 0.52f});
    // Discrete: 5.5 and 5.2 fall into different levels.
    renderer->setColormapDiscrete(true, 1);
    expectColours("Viridis", {0, 1, 0.6f, 0.5f});
    // Another map, and a user range that clamps.
    renderer->setColormapDiscrete(false, 1);
    renderer->setColormap(12, 1);
    (*renderer->markerRanges())[0] = {5.5f, 6.0f};
    expectColours("Reds", {0, 1, 0, 0});
}

TEST_F(RendererPointsTest, SampleColoursAreBlendedAndNeverDiscrete) {
    loadFiles({{{1.0f}}, {{1.0f}}}, {"M"});
    ClusterKeepingAnalysis tsne(ANALYSIS_TSNE);
    makeRenderer(200, 200);
    renderer->setLocalData(&tsne, 1);
    renderer->setPointSize(0.05f);
    renderer->setPointHaloSize(0.0f);  // opacity stays 0.6
    const std::vector<int> files = {1, 0};
    setData({0.5f, 0.5f, 1, 1}, {0, 0}, 1, &files);
    std::vector<unsigned char> colours = {255, 0, 0, 0, 0, 255};
    renderer->setSampleColors(&colours);
    renderer->setActiveMarker(-1);
    renderer->setColormapDiscrete(true, 1);
    EXPECT_TRUE(rgbNear(drawnPixel(100, 100), over(qRgb(0, 0, 255), 0.6f, kBackground), 1));
}

TEST_F(RendererPointsTest, ImageColoursAndThe2DColormapFollowThePointsAndItsCorners) {
    loadFiles({{{0, 0, 0, 0}}}, {"M", "Red", "Green", "Blue"});
    makeRenderer(200, 200);
    plainSprites();
    // Top-left, bottom-right and centre of the plot.
    setData({0, 1, 1, 0, 0.5f, 0.5f}, {0, 1, 0.5f, 0, 0, 0, 0, 1, 0.2f, 0.4f, 0.6f, 0.8f}, 4);
    renderer->setActiveMarker(-2);
    Image image = drawAndRead();
    EXPECT_TRUE(rgbNear(image.at(20, 180), qRgb(255, 128, 0), 1));
    EXPECT_TRUE(rgbNear(image.at(180, 20), qRgb(0, 0, 255), 1));
    EXPECT_TRUE(rgbNear(image.at(100, 100), qRgb(102, 153, 204), 1));

    renderer->setActiveMarker(-3);
    for (int map : {0, 3}) {
        renderer->setColormap(map, 2);
        image = drawAndRead();
        const MCV_ColormapTable::Image& field = MCV_ColormapTable::image(map, 2);
        const size_t last = field.rgb.size() - 3;
        EXPECT_TRUE(rgbNear(image.at(20, 180), qRgb(field.rgb[0], field.rgb[1], field.rgb[2]), 3)) << map;
        EXPECT_TRUE(rgbNear(image.at(180, 20), qRgb(field.rgb[last], field.rgb[last + 1], field.rgb[last + 2]), 3))
            << map;
    }
}

TEST_F(RendererPointsTest, SelectedPointsShowTheHaloRing) {
    makeRenderer(200, 200);
    renderer->setPointSize(0.1f);  // half-size 10 pixels
    renderer->setPointOpacity(1.0f);
    renderer->setPointHaloSize(0.5f);
    setData({0.25f, 0.5f, 0.75f, 0.5f, 1, 1}, {0, 0, 0}, 1);
    const int left = 7 + 60, right = 7 + 140;  // 7 pixels right of each centre
    const QRgb halo = over(qRgb(60, 150, 250), 0.75f, kBackground);
    std::vector<short> selection = {32767, 0, 0};
    renderer->setSelection(&selection, false);
    const Image image = drawAndRead();
    EXPECT_TRUE(rgbNear(image.at(left, 100), halo, 2));
    EXPECT_EQ(image.at(right, 100), kBackground);
    EXPECT_TRUE(rgbNear(image.at(left - 7, 100), colormapAt("Viridis", 0.0f), 2));  // the inner disc
    // From the index list every listed point shows it, whatever the array says.
    renderer->selectAll();
    renderer->setSelection(&selection, true);
    EXPECT_TRUE(rgbNear(drawnPixel(right, 100), halo, 2));
}

TEST_F(RendererPointsTest, WithoutDataOrClustersOrAVaryingMarkerOrColourChannelsTheFallbacksAreDrawn) {
    loadFiles({{{0, 0, 0}}}, {"M", "Red", "Green"});
    makeRenderer(200, 200);
    EXPECT_EQ(drawnPixel(100, 100), kBackground);
    renderer->setRenderMode(3);
    EXPECT_EQ(drawnPixel(100, 100), kBackground);
    EXPECT_GT(printed().width, 0);
    renderer->setRenderMode(0);
    plainSprites();
    // A constant marker, a marker beyond the columns, and cluster hues
    // without clusters draw the low end; image colours without a blue
    // variable draw black.
    setData({0.5f, 0.5f, 1, 1}, {2, 1, 1, 2, 0, 0}, 3);
    for (int marker : {0, 4, 4}) {
        renderer->setActiveMarker(marker);
        EXPECT_TRUE(rgbNear(drawnPixel(100, 100), colormapAt("Viridis", 0.0f), 2));
        renderer->setAdvancedMode(0);
    }
    renderer->setActiveMarker(-2);
    EXPECT_EQ(drawnPixel(100, 100), qRgb(0, 0, 0));
    // Colormap indices outside the tables are refused.
    renderer->setColormap(2, 1);
    renderer->setColormap(2, 2);
    for (int bad : {15, -1}) renderer->setColormap(bad, 1);
    renderer->setColormap(4, 2);
    EXPECT_EQ(std::make_pair(renderer->activeColormap(1), renderer->activeColormap(2)), std::make_pair(2, 2));
}

using Range = std::pair<float, float>;

TEST_F(RendererPointsTest, MarkerRangesStartFromTheValuesThemselves) {
    makeRenderer(100, 100);
    // Columns: constant 2; within [-3, 8]; all above 1e7 (a counter); all below -1e7.
    setData({0, 0, 1, 1, 2, 2}, {2, -3, 2.0e7f, -3.0e7f, 2, 8, 3.5e7f, -2.0e7f, 2, 1, 2.5e7f, -5.0e7f}, 4);
    EXPECT_EQ(*renderer->markerRanges(), (std::vector<Range>{{2, 2}, {-3, 8}, {2.0e7f, 3.5e7f}, {-5.0e7f, -2.0e7f}}));
    EXPECT_EQ(*renderer->markerLimts(), (std::vector<Range>{{0, 5}, {-3, 8}, {0, 3.5e7f}, {-5.0e7f, 5}}));
    // A new copy recomputes them over ranges the user wrote.
    (*renderer->markerRanges())[1] = {0, 1};
    renderer->copyLocalData();
    EXPECT_EQ((*renderer->markerRanges())[1], Range(-3, 8));
    // Without points the ranges stay open.
    setData({}, {}, 2);
    EXPECT_EQ(*renderer->markerRanges(), (std::vector<Range>(2, {1e7f, -1e7f})));
    EXPECT_TRUE(renderer->selectAll()->empty());
}

TEST_F(RendererPointsTest, SourcesShorterThanTheyClaimArePaddedNotOverread) {
    makeRenderer(100, 100);
    const std::vector<int> files = {0};
    // Three points claimed, positions for two, markers for one, a file index for one.
    positions = {1, 1, 2, 2};
    markerValues = {7, 9};
    const std::string out =
        capturedStdout([&] { renderer->setLocalData(&positions, &markerValues, 3, 2, &files, false); });
    EXPECT_NE(out.find("Problem: localMarkers.size() = 2 but should be 3x2 = 6"), std::string::npos) << out;
    EXPECT_EQ((*renderer->markerRanges())[0], Range(0, 7));
    EXPECT_EQ(renderer->selectAll()->size(), 3u);
    drawAndRead();
    renderer->setRenderMode(3);
    drawAndRead();
}

// The source's rows widened by an appended column: read at the new width,
// each marker keeps its own values; positions and the selection stay.
TEST_F(RendererPointsTest, AWiderMarkerSourceIsReadAtItsNewWidth) {
    makeRenderer(200, 200);
    plainSprites();
    setData({-1, -1, 1, 1}, {1, 10, 2, 20}, 2);
    renderer->setActiveMarker(1);
    const std::vector<int>* selected = renderer->selectAll();
    ASSERT_EQ(selected->size(), 2u);
    const std::vector<float> placed = renderer->positions();

    markerValues = {1, 10, 100, 2, 20, 200};
    renderer->setMarkerCount(3);
    EXPECT_EQ(renderer->markerCount(), 3);
    EXPECT_EQ(*renderer->markerRanges(), (std::vector<Range>{{1, 2}, {10, 20}, {100, 200}}));
    EXPECT_EQ(*renderer->markerLimts(), (std::vector<Range>{{0, 5}, {0, 20}, {0, 200}}));
    EXPECT_EQ(renderer->activeMarkerValues(), (std::vector<float>{10, 20}));
    EXPECT_EQ(renderer->positions(), placed);
    EXPECT_EQ(*selected, (std::vector<int>{0, 1}));
    // The points at plot (0.1, 0.1) and (0.9, 0.9) in the colours of 10 and 20.
    const Image image = drawAndRead();
    EXPECT_TRUE(rgbNear(image.at(20, 20), colormapAt("Viridis", 0), 2));
    EXPECT_TRUE(rgbNear(image.at(180, 180), colormapAt("Viridis", 1), 2));
    renderer->setActiveMarker(2);
    EXPECT_EQ(renderer->activeMarkerValues(), (std::vector<float>{100, 200}));
}

TEST(RendererUtilities, EqualComparesLengthAndEveryValueAndFloodFillGivesEveryEmptyCellItsNearestSeed) {
    EXPECT_TRUE(MCV_PointRenderer::equal({1.0f, 2.0f}, {1.05f, 1.95f}, 0.1f));
    EXPECT_FALSE(MCV_PointRenderer::equal({1.0f, 2.0f}, {1.0f, 2.2f}, 0.1f));
    EXPECT_FALSE(MCV_PointRenderer::equal({1.0f}, {1.0f, 1.0f}, 0.1f));
    // 5 x 3 cells, levels in channel 1 of 2: seed 2 at (0, 0), 7 at (4, 2);
    // ties go to the earlier-queued seed; channel 0 is left alone.
    std::vector<float> v(5 * 3 * 2, 0.0f), levels;
    v[0] = 99;
    v[1] = 2;
    v[29] = 7;
    MCV_PointRenderer::floodFillLevels(v, 5, 3, 2, 1);
    for (size_t i = 1; i < v.size(); i += 2) levels.push_back(v[i]);
    EXPECT_EQ(levels, (std::vector<float>{2, 2, 2, 2, 7, 2, 2, 2, 7, 7, 2, 2, 7, 7, 7}));
    EXPECT_EQ(v[0], 99);
    // Seeds below 0.5 fill once and stop; bad shapes are refused.
    std::vector<float> small = {0.3f, 0, 0, 0};
    MCV_PointRenderer::floodFillLevels(small, 2, 2, 1, 0);
    EXPECT_EQ(small, std::vector<float>(4, 0.3f));
    MCV_PointRenderer::floodFillLevels(small, 3, 3, 1, 0);
    MCV_PointRenderer::floodFillLevels(small, 2, 2, 1, 1);
}

}  // namespace
