// Renderer state the views read back: colormap indices, marker ranges and
// slider limits, short sources, and the two grid utilities.
#include "RenderTest.h"
#include "support/CapturedOutput.h"

namespace {

using namespace rendertest;

using RendererStateTest = RenderTest;
using Range = std::pair<float, float>;

TEST_F(RendererStateTest, ColormapIndicesOutsideTheTablesAreRefused) {
    makeRenderer(100, 100);
    renderer->setColormap(2, 1);
    renderer->setColormap(2, 2);
    for (int bad : {15, -1}) renderer->setColormap(bad, 1);
    renderer->setColormap(4, 2);
    EXPECT_EQ(renderer->activeColormap(1), 2);
    EXPECT_EQ(renderer->activeColormap(2), 2);
}

TEST_F(RendererStateTest, MarkerRangesStartFromTheValuesThemselves) {
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

TEST_F(RendererStateTest, SourcesShorterThanTheyClaimArePaddedNotOverread) {
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

TEST(RendererUtilities, EqualComparesLengthAndEveryValue) {
    EXPECT_TRUE(MCV_PointRenderer::equal({1.0f, 2.0f}, {1.05f, 1.95f}, 0.1f));
    EXPECT_FALSE(MCV_PointRenderer::equal({1.0f, 2.0f}, {1.0f, 2.2f}, 0.1f));
    EXPECT_FALSE(MCV_PointRenderer::equal({1.0f}, {1.0f, 1.0f}, 0.1f));
}

TEST(RendererUtilities, FloodFillGivesEveryEmptyCellItsNearestSeed) {
    // 5 x 3 cells, two channels, levels in channel 1; seeds 2 at (0, 0) and 7 at (4, 2).
    std::vector<float> v(5 * 3 * 2, 0.0f);
    auto level = [&](int x, int y) -> float& { return v[static_cast<size_t>((y * 5 + x) * 2 + 1)]; };
    level(0, 0) = 2;
    level(4, 2) = 7;
    v[0] = 99;  // other channels are left alone
    MCV_PointRenderer::floodFillLevels(v, 5, 3, 2, 1);
    // (2, 1) is three steps from both: the earlier-queued seed wins.
    EXPECT_EQ((std::vector<float>{level(1, 0), level(0, 2), level(2, 1), level(3, 2), level(4, 0), v[0]}),
              (std::vector<float>{2, 2, 2, 7, 7, 99}));
    std::vector<float> none(4 * 4 * 3, 0.0f);
    MCV_PointRenderer::floodFillLevels(none, 4, 4, 3, 1);
    EXPECT_EQ(none, std::vector<float>(4 * 4 * 3, 0.0f));
    // Seeds below 0.5 fill once and stop; bad shapes are refused.
    std::vector<float> small = {0.3f, 0, 0, 0};
    MCV_PointRenderer::floodFillLevels(small, 2, 2, 1, 0);
    EXPECT_EQ(small, std::vector<float>(4, 0.3f));
    MCV_PointRenderer::floodFillLevels(small, 3, 3, 1, 0);
    MCV_PointRenderer::floodFillLevels(small, 2, 2, 1, 1);
}

}  // namespace
