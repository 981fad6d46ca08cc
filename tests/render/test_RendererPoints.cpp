// Points mode drawn for real and read back: where points land, their colours
// by marker (colormap ends and discrete levels), by sample, by image colour
// and by the 2D colormap, the selection halo, hidden samples, dark mode.
#include "RenderTest.h"

#include <cmath>

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

TEST_F(RendererPointsTest, EmbeddingIsScaledIntoTheCentredPlotSquareWithAMargin) {
    // 300 x 200: the plot square is 200 wide and starts at x = 50.
    makeRenderer(300, 200);
    plainSprites();
    // Negative coordinates make the range symmetric: [-1, 1] on both axes.
    setData({-1, -1, 1, 1, -1, 1}, {0, 10, 5}, 1);
    const std::vector<unsigned char> image = drawAndRead();
    auto at = [&](int x, int y) { return pixelAt(image, 300, x, y); };
    EXPECT_TRUE(near(at(50 + 20, 20), colormapAt("Viridis", 0.0f), 2)) << at(70, 20);
    EXPECT_TRUE(near(at(50 + 180, 180), colormapAt("Viridis", 1.0f), 2)) << at(230, 180);
    EXPECT_TRUE(near(at(50 + 20, 180), colormapAt("Viridis", 0.5f), 2)) << at(70, 180);
    // The fourth corner and the borders outside the square stay empty.
    EXPECT_EQ(at(50 + 180, 20), kBackground);
    EXPECT_EQ(at(20, 100), kBackground);
    EXPECT_EQ(at(280, 100), kBackground);
}

TEST_F(RendererPointsTest, BothAxesShareTheSymmetricRangeOfTheLargerExtent) {
    makeRenderer(300, 300);
    plainSprites();
    // Values -1 and 3 give the range [-3, 3]: x -1 lands at 0.3667, y 3 at 0.9.
    setData({-1, 3}, {1}, 1);
    const std::vector<unsigned char> image = drawAndRead();
    EXPECT_NE(pixelAt(image, 300, 110, 270), kBackground);
    EXPECT_EQ(pixelAt(image, 300, 270, 110), kBackground);
    EXPECT_EQ(pixelAt(image, 300, 150, 150), kBackground);
}

TEST_F(RendererPointsTest, SinglePointAtTheOriginIsDrawnInTheCentre) {
    makeRenderer(200, 200);
    plainSprites();
    setData({0, 0}, {1}, 1);
    EXPECT_NE(drawnPixel(100, 100), kBackground);
}

TEST_F(RendererPointsTest, MarkerColoursSpanTheColormapAndDiscreteModeUsesElevenLevels) {
    makeRenderer(200, 200);
    plainSprites();
    // Four points in a row at y = 0.5 (plot units), values 0, 10, 5.5 and 5.2;
    // the point at (1, 1) fixes the range of the positions.
    setData({0.125f, 0.5f, 0.375f, 0.5f, 0.625f, 0.5f, 0.875f, 0.5f, 1, 1}, {0, 10, 5.5f, 5.2f, 0}, 1);
    auto x = [](float v) { return static_cast<int>((v * 0.8f + 0.1f) * 200.0f); };
    const int y = static_cast<int>((0.5f * 0.8f + 0.1f) * 200.0f);

    std::vector<unsigned char> image = drawAndRead();
    EXPECT_TRUE(near(pixelAt(image, 200, x(0.125f), y), colormapAt("Viridis", 0.0f), 2));
    EXPECT_TRUE(near(pixelAt(image, 200, x(0.375f), y), colormapAt("Viridis", 1.0f), 2));
    EXPECT_TRUE(near(pixelAt(image, 200, x(0.625f), y), colormapAt("Viridis", 0.55f), 2));
    EXPECT_TRUE(near(pixelAt(image, 200, x(0.875f), y), colormapAt("Viridis", 0.52f), 2));
    EXPECT_FALSE(near(pixelAt(image, 200, x(0.625f), y), pixelAt(image, 200, x(0.875f), y), 0));

    // Discrete: 5.5 and 5.2 fall into the same level (0.5); the ends stay.
    renderer->setColormapDiscrete(true, 1);
    image = drawAndRead();
    EXPECT_TRUE(near(pixelAt(image, 200, x(0.625f), y), colormapAt("Viridis", 0.6f), 2))
        << pixelAt(image, 200, x(0.625f), y);
    EXPECT_TRUE(near(pixelAt(image, 200, x(0.875f), y), colormapAt("Viridis", 0.5f), 2));
    EXPECT_TRUE(near(pixelAt(image, 200, x(0.125f), y), colormapAt("Viridis", 0.0f), 2));
    EXPECT_TRUE(near(pixelAt(image, 200, x(0.375f), y), colormapAt("Viridis", 1.0f), 2));

    // Another map, and a user range that clamps.
    renderer->setColormapDiscrete(false, 1);
    renderer->setColormap(12, 1);
    (*renderer->markerRanges())[0] = {5.5f, 6.0f};
    image = drawAndRead();
    EXPECT_TRUE(near(pixelAt(image, 200, x(0.125f), y), colormapAt("Reds", 0.0f), 2));
    EXPECT_TRUE(near(pixelAt(image, 200, x(0.375f), y), colormapAt("Reds", 1.0f), 2));
    EXPECT_TRUE(near(pixelAt(image, 200, x(0.625f), y), colormapAt("Reds", 0.0f), 2));
}

TEST_F(RendererPointsTest, ConstantMarkerAndMarkerBeyondTheColumnsDrawTheLowEnd) {
    makeRenderer(200, 200);
    plainSprites();
    setData({0.5f, 0.5f, 1, 1}, {2, 2}, 1);
    EXPECT_TRUE(near(drawnPixel(100, 100), colormapAt("Viridis", 0.0f), 2));
    renderer->setActiveMarker(4);
    EXPECT_TRUE(near(drawnPixel(100, 100), colormapAt("Viridis", 0.0f), 2));
}

TEST_F(RendererPointsTest, SampleColoursAreBlendedOverTheWhitePrintBackground) {
    loadSampleFiles(3);
    ClusterKeepingAnalysis tsne(ANALYSIS_TSNE);
    makeRenderer(200, 200);
    renderer->setLocalData(&tsne, 1);
    renderer->setPointSize(0.05f);
    renderer->setPointHaloSize(0.0f);  // opacity stays 0.6
    const std::vector<int> files = {0, 1, 2, 0};
    setData({0.2f, 0.5f, 0.5f, 0.5f, 0.8f, 0.5f, 1, 1}, {0, 0, 0, 0}, 1, &files);
    std::vector<unsigned char> colours = {255, 0, 0, 0, 255, 0, 0, 0, 255};
    renderer->setSampleColors(&colours);
    renderer->setActiveMarker(-1);

    int width = 0, height = 0;
    std::vector<unsigned char> print = renderer->print(width, height);
    ASSERT_EQ(width, 4096);
    ASSERT_EQ(height, 4096);
    ASSERT_EQ(print.size(), 4096u * 4096u * 3u);
    auto at = [&](float u, float v) {
        return pixelAt(print, 4096, static_cast<int>((u * 0.8f + 0.1f) * 4096),
                       static_cast<int>((v * 0.8f + 0.1f) * 4096));
    };
    EXPECT_TRUE(near(at(0.2f, 0.5f), over({255, 0, 0}, 0.6f, kWhite), 1)) << at(0.2f, 0.5f);
    EXPECT_TRUE(near(at(0.5f, 0.5f), over({0, 255, 0}, 0.6f, kWhite), 1)) << at(0.5f, 0.5f);
    EXPECT_TRUE(near(at(0.8f, 0.5f), over({0, 0, 255}, 0.6f, kWhite), 1)) << at(0.8f, 0.5f);
    EXPECT_EQ(pixelAt(print, 4096, 10, 10), kWhite);

    // Sample colours never go through discrete levels.
    renderer->setColormapDiscrete(true, 1);
    print = renderer->print(width, height);
    EXPECT_TRUE(near(at(0.2f, 0.5f), over({255, 0, 0}, 0.6f, kWhite), 1)) << at(0.2f, 0.5f);

    // Hiding the second sample removes its point.
    std::vector<bool> samples = {true, false, true};
    renderer->setSampleSelection(&samples);
    print = renderer->print(width, height);
    EXPECT_EQ(at(0.5f, 0.5f), kWhite);
    EXPECT_NE(at(0.2f, 0.5f), kWhite);
}

TEST_F(RendererPointsTest, ImageColoursAndThe2DColormapFollowThePointsAndItsCorners) {
    loadFiles({{{0, 0, 0, 0}}}, {"M", "Red", "Green", "Blue"});
    makeRenderer(200, 200);
    plainSprites();
    // Top-left, bottom-right and centre of the plot.
    setData({0, 1, 1, 0, 0.5f, 0.5f}, {0, 1, 0.5f, 0, 0, 0, 0, 1, 0.2f, 0.4f, 0.6f, 0.8f}, 4);

    renderer->setActiveMarker(-2);
    std::vector<unsigned char> image = drawAndRead();
    EXPECT_TRUE(near(pixelAt(image, 200, 20, 180), {255, 128, 0}, 1)) << pixelAt(image, 200, 20, 180);
    EXPECT_TRUE(near(pixelAt(image, 200, 180, 20), {0, 0, 255}, 1));
    EXPECT_TRUE(near(pixelAt(image, 200, 100, 100), {102, 153, 204}, 1));

    renderer->setActiveMarker(-3);
    image = drawAndRead();
    EXPECT_TRUE(near(pixelAt(image, 200, 20, 180), hex("#549305"), 3)) << pixelAt(image, 200, 20, 180);
    EXPECT_TRUE(near(pixelAt(image, 200, 180, 20), hex("#CF47DB"), 3)) << pixelAt(image, 200, 180, 20);
    renderer->setColormap(3, 2);
    image = drawAndRead();
    EXPECT_TRUE(near(pixelAt(image, 200, 20, 180), hex("#0080FF"), 3));
    EXPECT_TRUE(near(pixelAt(image, 200, 180, 20), hex("#FF8000"), 3));
}

TEST_F(RendererPointsTest, NoImageColourWithoutRedGreenAndBlueVariables) {
    loadFiles({{{0, 0, 0}}}, {"M", "Red", "Green"});
    makeRenderer(200, 200);
    plainSprites();
    setData({0.5f, 0.5f, 1, 1}, {0, 1, 1, 0, 0, 0}, 3);
    renderer->setActiveMarker(-2);
    EXPECT_EQ(drawnPixel(100, 100), (Rgb{0, 0, 0}));
}

TEST_F(RendererPointsTest, SelectedPointsShowTheHaloRing) {
    makeRenderer(200, 200);
    renderer->setPointSize(0.1f);  // half-size 10 pixels
    renderer->setPointOpacity(1.0f);
    renderer->setPointHaloSize(0.5f);
    setData({0.25f, 0.5f, 0.75f, 0.5f, 1, 1}, {0, 0, 0}, 1);
    const int y = 100;
    const int left = static_cast<int>((0.25f * 0.8f + 0.1f) * 200),
              right = static_cast<int>((0.75f * 0.8f + 0.1f) * 200);
    const Rgb halo = over({60, 150, 250}, 0.75f, kBackground);

    std::vector<short> selection = {32767, 0, 0};
    renderer->setSelection(&selection, false);
    std::vector<unsigned char> image = drawAndRead();
    EXPECT_TRUE(near(pixelAt(image, 200, left + 7, y), halo, 2)) << pixelAt(image, 200, left + 7, y);
    EXPECT_EQ(pixelAt(image, 200, right + 7, y), kBackground);
    // The inner disc keeps the marker colour.
    EXPECT_TRUE(near(pixelAt(image, 200, left, y), colormapAt("Viridis", 0.0f), 2));

    // From the index list: every listed point shows it, whatever the array says.
    ASSERT_EQ(renderer->selectAll()->size(), 3u);
    renderer->setSelection(&selection, true);
    image = drawAndRead();
    EXPECT_TRUE(near(pixelAt(image, 200, right + 7, y), halo, 2));

    // A mode switch shows the caller's array again.
    renderer->setRenderMode(0);
    image = drawAndRead();
    EXPECT_EQ(pixelAt(image, 200, right + 7, y), kBackground);

    // Without halo size there is no ring.
    renderer->setPointHaloSize(0.0f);
    image = drawAndRead();
    EXPECT_TRUE(near(pixelAt(image, 200, left + 7, y), colormapAt("Viridis", 0.0f), 2));
}

TEST_F(RendererPointsTest, ClusterHueWithoutClustersFallsBackToTheNormalColours) {
    makeRenderer(200, 200);
    plainSprites();
    setData({0.5f, 0.5f, 1, 1}, {0, 1}, 1);
    const Rgb normal = drawnPixel(100, 100);
    renderer->setAdvancedMode(0);
    EXPECT_EQ(drawnPixel(100, 100), normal);
}

TEST_F(RendererPointsTest, DarkModeClearsTheBoundFramebufferAndTheFrames) {
    makeRenderer(100, 100);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer->id());
    renderer->setDarkMode(true);
    EXPECT_EQ(pixelAt(framebuffer->read(), 100, 50, 50), (Rgb{50, 50, 50}));
    EXPECT_EQ(drawnPixel(50, 50), (Rgb{50, 50, 50}));
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer->id());
    renderer->setDarkMode(false);
    EXPECT_EQ(drawnPixel(50, 50), kBackground);
}

TEST_F(RendererPointsTest, WithoutDataTheFrameIsOnlyCleared) {
    makeRenderer(100, 100);
    EXPECT_EQ(drawnPixel(50, 50), kBackground);
    renderer->setRenderMode(3);
    EXPECT_EQ(drawnPixel(50, 50), kBackground);
    int width = -1, height = -1;
    EXPECT_EQ(renderer->print(width, height).size(), 4096u * 4096u * 3u);
}

}  // namespace
