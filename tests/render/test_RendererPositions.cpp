// The positions of a running embedding: an update only says that the source
// changed; the next frame, print or rectangle selection takes the newest
// positions (the last of any number of updates), exactly as a full copy
// would, and nothing else reads the source.
#include "RenderTest.h"

#include <functional>

namespace {

using namespace rendertest;
using Indices = std::vector<int>;

class RendererPositionsTest : public RenderTest {
protected:
    // A 400 x 400 view with big opaque sprites; points at (-1, -1) and
    // (1, 1) span the range [-1, 1], so plot position u of a coordinate x is
    // (x + 1) / 2 * 0.8 + 0.1 and its pixel 400 u.
    void SetUp() override {
        RenderTest::SetUp();
        makeRenderer(400, 400);
        renderer->setPointSize(0.03f);
        renderer->setPointOpacity(1.0f);
        renderer->setPointHaloSize(0.0f);
        setData({-1, -1, 1, 1, 0, 0}, {1, 1, 1}, 1);
        drawAndRead();
    }
    static float plot(float x) { return (x + 1.0f) / 2.0f * 0.8f + 0.1f; }
    static int pixel(float x) { return static_cast<int>(plot(x) * 400.0f); }
    // The point 2 of the source moved to (x, y) by `updates` updates, the
    // earlier ones to other places.
    void move(float x, float y, int updates) {
        for (int u = updates - 1; u >= 0; --u) {
            positions[4] = x - 0.1f * static_cast<float>(u);
            positions[5] = y + 0.1f * static_cast<float>(u);
            renderer->copyLocalVertexData();
        }
    }
    // Whether the view, drawn or printed (both square), shows a sprite at
    // coordinate (x, y).
    static bool drawnAt(const Image& image, float x, float y) {
        const auto at = [&](float v) { return static_cast<int>(plot(v) * static_cast<float>(image.width)); };
        const QRgb c = image.at(at(x), at(y));
        return c != kBackground && c != kWhite;
    }
};

TEST_F(RendererPositionsTest, AFrameAPrintOrASelectionTakesTheLastUpdate) {
    struct Reader {
        const char* name;
        std::function<bool(float, float)> shows;  // point 2 found at (x, y)
    };
    const Reader readers[] = {
        {"frame", [this](float x, float y) { return drawnAt(drawAndRead(), x, y); }},
        {"print", [this](float x, float y) { return drawnAt(printed(), x, y); }},
        {"selection",
         [this](float x, float y) {
             const int px = pixel(x), py = pixel(y);
             return *renderer->selectRectangularArea({px - 3, py - 3, px + 3, py + 3}, SELECTION_REPLACE) == Indices{2};
         }},
    };
    for (const Reader& r : readers) {
        for (int updates : {1, 2, 7}) {
            SetUp();
            move(0.5f, -0.5f, updates);
            EXPECT_TRUE(r.shows(0.5f, -0.5f)) << r.name << " after " << updates;
            EXPECT_FALSE(r.shows(0.0f, 0.0f)) << r.name << " after " << updates;
            // What was taken is what a full copy gives, bit for bit.
            const std::vector<float> taken = renderer->positions();
            renderer->copyLocalData();
            EXPECT_EQ(taken, renderer->positions()) << r.name;
            EXPECT_EQ(taken, positions) << r.name;
        }
    }
}

TEST_F(RendererPositionsTest, WithoutAnUpdateTheSourceIsNotRead) {
    positions[4] = 0.5f;
    positions[5] = 0.5f;
    EXPECT_TRUE(drawnAt(drawAndRead(), 0.0f, 0.0f));
    EXPECT_FALSE(drawnAt(drawAndRead(), 0.5f, 0.5f));
    EXPECT_EQ(*renderer->selectRectangularArea({pixel(0.5f) - 3, pixel(0.5f) - 3, pixel(0.5f) + 3, pixel(0.5f) + 3},
                                               SELECTION_REPLACE),
              Indices{});
    EXPECT_EQ(renderer->positions()[4], 0.0f);
    renderer->copyLocalVertexData();
    EXPECT_EQ(renderer->positions()[4], 0.0f) << "an update alone reads nothing";
    EXPECT_TRUE(drawnAt(drawAndRead(), 0.5f, 0.5f));
}

TEST_F(RendererPositionsTest, AnUpdateBeforeNewDataIsForgotten) {
    // An update, then data of another size: the frame shows the new data.
    renderer->copyLocalVertexData();
    setData({-1, -1, 1, 1}, {1, 1}, 1);
    EXPECT_EQ(renderer->positions(), (std::vector<float>{-1, -1, 1, 1}));
    const Image image = drawAndRead();
    EXPECT_TRUE(drawnAt(image, -1.0f, -1.0f) && drawnAt(image, 1.0f, 1.0f));
    EXPECT_FALSE(drawnAt(image, 0.0f, 0.0f));
}

}  // namespace
