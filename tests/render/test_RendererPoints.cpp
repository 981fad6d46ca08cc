// Points mode drawn and read back: placement in the plot square, colours by
// marker, sample, image channels and 2D colormap, and the selection halo.
#include "RenderTest.h"

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

TEST_F(RendererPointsTest, NoImageColourWithoutRedGreenAndBlueVariables) {
    loadFiles({{{0, 0, 0}}}, {"M", "Red", "Green"});
    makeRenderer(200, 200);
    plainSprites();
    setData({0.5f, 0.5f, 1, 1}, {0, 1, 1, 0, 0, 0}, 3);
    renderer->setActiveMarker(-2);
    EXPECT_EQ(drawnPixel(100, 100), qRgb(0, 0, 0));
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
    // From the index list every listed point shows it, whatever the array
    // says; a mode switch shows the caller's array again.
    renderer->selectAll();
    renderer->setSelection(&selection, true);
    EXPECT_TRUE(rgbNear(drawnPixel(right, 100), halo, 2));
    renderer->setRenderMode(0);
    EXPECT_EQ(drawnPixel(right, 100), kBackground);
    renderer->setPointHaloSize(0.0f);
    EXPECT_TRUE(rgbNear(drawnPixel(left, 100), colormapAt("Viridis", 0.0f), 2));
}

TEST_F(RendererPointsTest, WithoutDataOrClustersOrAVaryingMarkerTheFallbacksAreDrawn) {
    makeRenderer(200, 200);
    EXPECT_EQ(drawnPixel(100, 100), kBackground);
    renderer->setRenderMode(3);
    EXPECT_EQ(drawnPixel(100, 100), kBackground);
    EXPECT_GT(printed().width, 0);
    renderer->setRenderMode(0);
    plainSprites();
    // A constant marker, a marker beyond the columns, and cluster hues
    // without clusters draw the low end.
    setData({0.5f, 0.5f, 1, 1}, {2, 2}, 1);
    EXPECT_TRUE(rgbNear(drawnPixel(100, 100), colormapAt("Viridis", 0.0f), 2));
    renderer->setActiveMarker(4);
    EXPECT_TRUE(rgbNear(drawnPixel(100, 100), colormapAt("Viridis", 0.0f), 2));
    renderer->setAdvancedMode(0);
    EXPECT_TRUE(rgbNear(drawnPixel(100, 100), colormapAt("Viridis", 0.0f), 2));
}

}  // namespace
