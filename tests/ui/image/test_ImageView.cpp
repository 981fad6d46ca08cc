// The image view over a 64 x 32 image set made here, wired to the bridge as
// the shell wires it: the four colourings, the selection shading, the drag,
// and the cases that must leave the picture as it was.
#include "data/FcsTestFile.h"
#include "support/Pixels.h"

#include "app/UI_Interface.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataImage.h"
#include "data/MCV_DerivedDataPoints.h"
#include "ui/image/UI_ImageSettingsSliderWidget.h"
#include "ui/image/UI_ImageWidget.h"
#include "ui/plot/UI_Colormap2DSelectionWidget.h"
#include "ui/plot/UI_ColormapSelectionWidget.h"

#include <QComboBox>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int W = 64, H = 32;
enum Column { Red, Green, Blue, Marker, TsneX, TsneY };
using Pairs = std::vector<std::pair<int, int>>;

class ImageView : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        delete MCV_CytometryData::Instance();
        data = MCV_CytometryData::Instance();
        data->init(&bridge);
        // Colour channels v = 4 n + 3.9 in a common range 0..1020, so that
        // v / 1020 * 255 = n + 0.975: truncated n, rounded n + 1.
        std::vector<std::vector<float>> rows;
        for (int k = 0; k < W * H; ++k) {
            const int x = k % W, y = k / W;
            rows.push_back({4.0f * (3 * x + y % 4) + 3.9f, 4.0f * (7 * y + x % 5) + 3.9f, 4.0f * (x + y) + 3.9f, 0.0f,
                            100.0f * x / (W - 1), 100.0f * y / (H - 1)});
        }
        rows.back()[Blue] = 1020.0f;
        rows[1][Marker] = 1000.0f;
        rows[7 * W + 7][Marker] = std::numeric_limits<float>::quiet_NaN();
        rows.back()[Marker] = 2000.0f;
        load(rows, "tiles.fcs");
        load(std::vector<std::vector<float>>(16, std::vector<float>(6, 5000.0f)), "other.fcs");

        tiles = data->derivedDataImage("Tiles", true);
        tiles->setSize(W, H);
        Pairs points;
        for (int k = 0; k < W * H; ++k) points.emplace_back(0, k);
        tiles->setPoints(points, false);

        view = std::make_unique<UI_ImageWidget>(nullptr);
        QObject::connect(&bridge, &UI_Interface::dataRefreshedSignal, view.get(), &UI_ImageWidget::dataRefreshed);
        view->resize(1000, 700);
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    }
    void TearDown() override {
        view.reset();
        delete MCV_CytometryData::Instance();
    }
    void load(const std::vector<std::vector<float>>& rows, const std::string& name) {
        FcsTestFile fcs = FcsTestFile::floats(rows);
        const char* names[] = {"Red", "Green", "Blue", "M", "QLMRN_TsneX", "QLMRN_TsneY"};
        for (int v = 0; v < 6; ++v) fcs.set("$P" + std::to_string(v + 1) + "S", names[v]);
        ASSERT_EQ(data->loadFromFile(fcs.write(dir, name)), 0);
    }

    void choose(const QString& entry) {
        QComboBox* combo = view->settingsPanel()->markerCombo();
        ASSERT_GE(combo->findText(entry), 0) << entry.toStdString();
        combo->setCurrentIndex(combo->findText(entry));
    }
    QRgb pixel(int x, int y) const { return view->picture()->pixel(x, y); }
    // The shown (scaled) picture at the centre of data-set pixel (x, y).
    QRgb shownAt(int x, int y) const {
        const QImage shown = view->pictureLabel()->pixmap(Qt::ReturnByValue).toImage();
        return shown.pixel(int((x + 0.5) * shown.width() / W), int((y + 0.5) * shown.height() / H));
    }
    // The centre of data-set pixel (x, y) in the view: the label shows the
    // picture at its left edge, centred vertically.
    QPoint at(double x, double y) const {
        const QLabel* label = view->pictureLabel();
        const QSize shown = label->pixmap(Qt::ReturnByValue).size();
        const QPoint corner = label->mapTo(view.get(), QPoint(0, (label->height() - shown.height()) / 2));
        return corner + QPoint(int((x + 0.5) * shown.width() / W), int((y + 0.5) * shown.height() / H));
    }
    void press(QPoint p) { QTest::mousePress(view->windowHandle(), Qt::LeftButton, {}, p); }
    void moveTo(QPoint p) { QTest::mouseMove(view->windowHandle(), p); }
    void release(QPoint p) { QTest::mouseRelease(view->windowHandle(), Qt::LeftButton, {}, p); }
    Pairs& selection() { return data->selectionPoints()->data(); }

    QTemporaryDir dir;
    UI_Interface bridge;
    MCV_CytometryData* data = nullptr;
    MCV_DerivedDataImage* tiles = nullptr;
    std::unique_ptr<UI_ImageWidget> view;
};

TEST_F(ImageView, RgbImageTruncatesChannelsAndIsShownPixelForPixel) {
    EXPECT_EQ(view->settingsPanel()->datasetCombo()->currentText(), "Tiles");
    EXPECT_EQ(view->currentMarker(), -3) << "the refilled combo shows its first entry";
    EXPECT_EQ(view->picture(), nullptr) << "no HSNE coordinates: nothing drawn yet";
    choose("RGB Image");
    ASSERT_NE(view->picture(), nullptr);
    ASSERT_EQ(view->picture()->size(), QSize(W, H));
    int wrong = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const QRgb expected = qRgba(3 * x + y % 4, 7 * y + x % 5, x == W - 1 && y == H - 1 ? 255 : x + y, 0xFF);
            wrong += pixel(x, y) != expected;
            wrong += shownAt(x, y) != expected;
        }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(view->pictureLabel()->pixmap(Qt::ReturnByValue).width(), 1000)
        << "scaled to the view, keeping the aspect";
    EXPECT_TRUE(view->colormap2DSelection()->isVisible());
    EXPECT_FALSE(view->colormapSelection()->isVisible());
}

TEST_F(ImageView, MarkersAndCoordinatesGoThroughTheChosenColormaps) {
    choose("M");
    EXPECT_EQ(view->currentMarker(), 3);
    EXPECT_TRUE(view->colormapSelection()->isVisible());
    EXPECT_FALSE(view->colormap2DSelection()->isVisible());
    const struct {
        const char* what;
        std::function<void()> act;
        QPoint pixels[4];
        QRgb colours[4];
    } cases[] = {
        {"Viridis, the default",
         [] {},
         {{0, 0}, {1, 0}, {W - 1, H - 1}, {7, 7}},
         {0x440154, 0x21918C, 0xFDE725, 0x440154}},
        {"Reds",
         [&] { view->colormapChanged(12); },
         {{0, 0}, {1, 0}, {W - 1, H - 1}, {7, 7}},
         {0xFFF5F0, 0xFB694A, 0x69000E, 0xFFF5F0}},
        // Y = 1 is the map's top row, and the picture's row 0 its top: the
        // picture's corners show the map's corners upside down.
        {"2D Tarn",
         [&] { choose("Embedding Coordinates (tSNE)"); },
         {{0, H - 1}, {W - 1, H - 1}, {0, 0}, {W - 1, 0}},
         {0x549305, 0x009ADA, 0xF93522, 0xCF47DB}},
        {"2D Halvick",
         [&] { view->colormap2DChanged(2); },
         {{0, H - 1}, {W - 1, H - 1}, {0, 0}, {W - 1, 0}},
         {0xE6DA00, 0x00E0DF, 0xFF0076, 0x002CFF}},
    };
    // Pixel (7, 7) holds NaN: drawn in the lowest colour.
    for (const auto& c : cases) {
        c.act();
        ASSERT_NE(view->picture(), nullptr) << c.what;
        for (int i = 0; i < 4; ++i)
            EXPECT_TRUE(rgbNear(pixel(c.pixels[i].x(), c.pixels[i].y()), c.colours[i], 2))
                << c.what << " " << i << " " << std::hex << pixel(c.pixels[i].x(), c.pixels[i].y());
    }

    // Recomputed only for a change; the discrete switch and the span do not
    // enter the colouring.
    const QImage before = *view->picture();
    const QImage* picture = view->picture();
    view->colormap2DChanged(2);
    EXPECT_EQ(view->picture(), picture) << "the active map again: nothing recomputed";
    view->colormap2DDiscreteChanged(true);
    EXPECT_NE(view->picture(), picture);
    view->setMarkerSpan(0.2f, 0.4f);
    EXPECT_EQ(*view->picture(), before);

    // No HSNE coordinates and codes below -3: the picture stays.
    picture = view->picture();
    choose("Embedding Coordinates (HSNE)");
    view->setMarker(-5);
    EXPECT_EQ(view->picture(), picture);
    EXPECT_EQ(*view->picture(), before);
}

TEST_F(ImageView, OnlyTheImagesOwnEventsArePickedOutBySelectionsFromElsewhere) {
    choose("RGB Image");
    const auto alphas = [&] {
        std::vector<int> a;
        for (int k = 0; k < W * H; ++k) a.push_back(qAlpha(pixel(k % W, k / W)));
        return a;
    };
    const auto faintExcept = [](std::vector<int> opaque) {
        std::vector<int> a(W * H, 0x32);
        for (int k : opaque) a[static_cast<size_t>(k)] = 0xFF;
        return a;
    };
    const struct {
        const char* what;
        Pairs entries;
        std::vector<int> alpha;
    } cases[] = {
        {"pixels 0 and 5; event 3 of file 1 is no pixel", {{0, 0}, {0, 5}, {1, 3}}, faintExcept({0, 5})},
        {"another file's events only", {{1, 0}, {1, 5}}, faintExcept({})},
        {"events beyond the image", {{0, W * H}, {0, -1}, {-1, 2}, {7, 1}, {0, 2047}}, faintExcept({2047})},
        {"no selection", {}, std::vector<int>(W * H, 0xFF)},
    };
    for (const auto& c : cases) {
        data->selectionPoints()->setPoints(c.entries, true);
        EXPECT_EQ(alphas(), c.alpha) << c.what;
    }
}

TEST_F(ImageView, ADragSelectsThePixelsItCoversColumnByColumn) {
    choose("RGB Image");
    const auto event = [](int x, int y) { return std::make_pair(0, y * W + x); };
    press(at(2, 1));
    EXPECT_TRUE(selection().empty()) << "a press alone selects nothing";
    moveTo(at(5, 3));
    EXPECT_EQ(selection(), (Pairs{event(2, 1), event(2, 2), event(3, 1), event(3, 2), event(4, 1), event(4, 2)}));
    EXPECT_EQ(qAlpha(pixel(4, 2)), 0xFF);
    EXPECT_EQ(qAlpha(pixel(5, 3)), 0x32) << "the drag went through the bridge back to the view";
    moveTo(at(2, 1));
    EXPECT_TRUE(selection().empty());
    moveTo(at(W + 40, H + 40));
    EXPECT_EQ(selection().size(), size_t((W - 2) * (H - 1)));
    EXPECT_EQ(selection().back(), event(W - 1, H - 1)) << "up to and including the last column and row";
    moveTo(at(-30, -30));
    EXPECT_EQ(selection(), (Pairs{event(0, 0), event(1, 0)}));
    release(at(-30, -30));

    // Pixels beyond the set's last point select nothing.
    tiles->data().resize(W + 1);
    press(at(0, 0));
    moveTo(at(3, 3));
    EXPECT_EQ(selection(), (Pairs{event(0, 0), event(0, 1), event(1, 0), event(2, 0)}));
    release(at(3, 3));
}

TEST_F(ImageView, BrokenImageSetsAndAnotherSetsOldPictureNeitherThrowNorSelect) {
    choose("RGB Image");
    const QImage before = *view->picture();
    MCV_DerivedDataImage* broken = data->derivedDataImage("Broken", true);
    broken->setSize(2, 2);
    broken->setPoints({{0, 0}, {5, 1}}, true);  // file 5 is not loaded
    QComboBox* sets = view->settingsPanel()->datasetCombo();
    ASSERT_EQ(sets->findText("Broken"), 1) << "a refreshed image set is offered";
    sets->setCurrentIndex(1);
    EXPECT_EQ(view->shownDataset(), broken);
    EXPECT_EQ(*view->picture(), before) << "the picture of Tiles stays";
    broken->setPoints({{0, 0}, {0, 1}, {0, 2}, {0, 3}, {0, 4}}, true);  // more points than pixels
    view->setMarker(99);                                                // no such variable
    choose("M");
    EXPECT_EQ(*view->picture(), before);

    // The picture on screen is not of the shown set: a drag selects nothing.
    data->selectionPoints()->setPoints({{0, 9}}, true);
    press(at(1, 1));
    moveTo(at(6, 6));
    release(at(6, 6));
    EXPECT_EQ(selection(), (Pairs{{0, 9}}));
}

TEST_F(ImageView, OverlaysFollowTheViewsSizeAndThePanelPeeksNearTheBottomEdge) {
    view->resize(800, 600);
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->size() == QSize(800, 600); }));
    EXPECT_EQ(view->colormap2DSelection()->pos(), QPoint(800 - 145, 40));
    EXPECT_EQ(view->colormapSelection()->pos(), QPoint(800 - 71, 40));
    EXPECT_EQ(view->settingsPanel()->geometry(), QRect(0, 600 - 110, 800, 110));
    view->settingsPanel()->slideOut();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->settingsPanel()->y() == 600; }))  // out of the way
        << view->settingsPanel()->y();
    moveTo(QPoint(300, 600 - 19));
    EXPECT_TRUE(view->settingsPanel()->isPeeking());
    moveTo(QPoint(300, 600 - 20));
    EXPECT_FALSE(view->settingsPanel()->isPeeking());
}

}  // namespace
