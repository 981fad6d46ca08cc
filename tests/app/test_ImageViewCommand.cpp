// "Image View" on a TIFF stack opened through "Open File(s) ...": the dock,
// its place and its bridge connection, a drag in the docked view, a refused
// stack that keeps what was loaded, and the colours of an RGB stack or of an
// added colour image drawn as "RGB Image".
#include "ShellTestSupport.h"
#include "data/TiffTestFile.h"
#include "support/Pixels.h"

#include "data/MCV_DerivedDataImage.h"
#include "data/MCV_DerivedDataPoints.h"
#include "data/MCV_FcsHeader.h"
#include "ui/image/UI_ImageSettingsSliderWidget.h"
#include "ui/image/UI_ImageWidget.h"

#include <QComboBox>
#include <QFile>
#include <QImageWriter>
#include <QLabel>

#include <sys/stat.h>

namespace {

constexpr int W = 64, H = 32;

class ImageViewCommand : public ShellTest {
protected:
    QString write(const QString& name, const QImage& image) {
        QImageWriter writer(dir.filePath(name), "tiff");
        EXPECT_TRUE(writer.write(image)) << writer.errorString().toStdString();
        return dir.filePath(name);
    }
    // A grey page with 4 x in column x, and an RGB page (x, y, 0).
    QStringList writeStack() {
        QImage grey(W, H, QImage::Format_Grayscale8), rgb(W, H, QImage::Format_RGB888);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                grey.scanLine(y)[x] = uchar(4 * x);
                rgb.setPixel(x, y, qRgb(x, y, 0));
            }
        return {write("c1.tif", grey), write("c2.tif", rgb)};
    }
    UI_ImageWidget* openImageView() {
        const size_t before = w().views().size();
        trigger("actionImage");
        EXPECT_EQ(w().views().size(), before + 1);
        return qobject_cast<UI_ImageWidget*>(w().views().back());
    }
    // The centre of data-set pixel (x, y) in the view.
    static QPoint at(UI_ImageWidget* view, int x, int y) {
        const QLabel* label = view->pictureLabel();
        const QSize shown = label->pixmap(Qt::ReturnByValue).size();
        const QPoint corner = label->mapTo(view, QPoint(0, (label->height() - shown.height()) / 2));
        return corner + QPoint(int((x + 0.5) * shown.width() / W), int((y + 0.5) * shown.height() / H));
    }
};

TEST_F(ImageViewCommand, OpensADockOnTheImportedStackThatDrawsAndSelectsThroughTheBridge) {
    showWindow();
    const QStringList stack = writeStack();
    open(stack);
    ASSERT_TRUE(UI_ModalDialogs::takeMessages().empty());
    ASSERT_TRUE(w().hasData());
    MCV_FcsHeader* header = w().dataModel()->header(0);
    EXPECT_EQ(std::make_pair(header->width(), header->height()), std::make_pair(W, H));

    UI_ImageWidget* view = openImageView();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->windowTitle(), "Image View");
    EXPECT_EQ(w().dockWidgetArea(view), Qt::RightDockWidgetArea);
    EXPECT_TRUE(view->isVisible() && view->visibilityFlag());
    EXPECT_EQ(view->settingsPanel()->datasetCombo()->currentText(), "All Points - Image");
    QComboBox* markers = view->settingsPanel()->markerCombo();
    QStringList names;
    for (int i = 3; i < markers->count(); ++i) names << markers->itemText(i);
    EXPECT_EQ(names, (QStringList{"c1", "c2 Red", "c2 Green", "c2 Blue"}));
    UI_ImageWidget* second = openImageView();
    EXPECT_NE(second, view) << "a new view on every use";

    markers->setCurrentIndex(3);
    ASSERT_NE(view->picture(), nullptr);
    EXPECT_TRUE(rgbNear(view->picture()->pixel(0, 5), 0x440154, 2));
    EXPECT_TRUE(rgbNear(view->picture()->pixel(W - 1, 5), 0xFDE725, 2));

    // A selection made elsewhere reaches the view through the bridge.
    w().dataModel()->selectionPoints()->setPoints({{0, 2 * W + 7}}, true);
    EXPECT_EQ(qAlpha(view->picture()->pixel(7, 2)), 0xFF);
    EXPECT_EQ(qAlpha(view->picture()->pixel(8, 2)), 0x32);

    // A drag in the docked view, below its title bar, selects what it covers.
    drag(view, at(view, 10, 4), at(view, 12, 5));
    EXPECT_EQ(w().dataModel()->selectionPoints()->data(),
              (std::vector<std::pair<int, int>>{{0, 4 * W + 10}, {0, 4 * W + 11}}));
    EXPECT_EQ(qAlpha(view->picture()->pixel(11, 4)), 0xFF);
    EXPECT_EQ(qAlpha(view->picture()->pixel(7, 2)), 0x32);
}

TEST_F(ImageViewCommand, ARefusedStackNamesItsCodeAndKeepsTheLoadedData) {
    const QStringList stack = writeStack();
    open(stack);
    ASSERT_TRUE(w().hasData());
    MCV_CytometryData* loaded = w().dataModel();
    UI_ImageWidget* view = openImageView();

    const QString other = write("small.tif", QImage(W / 2, H, QImage::Format_Grayscale8));
    const struct {
        QStringList files;
        QString text;
    } cases[] = {
        {{stack[0], other},
         "Could not open file " + stack[0] + "\nError code 7: Images not matching.\n" + other +
             ": page 1 of 32 x 32 pixels in a stack of 64 x 32"},
        {{stack[0], dir.filePath("gone.tif")},
         "Could not open file " + stack[0] + "\nError code 9: The file cannot be opened.\n" + dir.filePath("gone.tif") +
             ": cannot be opened: there is no such file"},
    };
    for (const auto& c : cases) {
        open(c.files);
        const std::vector<UI_ModalDialogs::Message> messages = UI_ModalDialogs::takeMessages();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].text, c.text);
        UI_ModalDialogs::reset();
        EXPECT_EQ(w().dataModel(), loaded);
        EXPECT_EQ(w().views().back(), view);
        EXPECT_EQ(loaded->combinedHeader()->numVariables(), 4);
    }
}

// The file's own RGB samples (an unassociated alpha beside them) draw as
// "RGB Image"; Ctrl+Shift+O then asks for a colour image whose plain "Red",
// "Green" and "Blue" take over.
TEST_F(ImageViewCommand, RgbImageDrawsTheStackColoursUntilAColourImageIsAdded) {
    showWindow();
    const auto stored = [](int x, int y, int s) {
        return s == 0 ? 255 - 3 * x : s == 1 ? 7 * y + x % 3 : s == 2 ? (x * y) % 256 : 40 + x;
    };
    TiffPage rgba = TiffPage::make(W, H, 4, 8, stored);
    rgba.extra = 1;
    ASSERT_TRUE(writeTiff(dir.filePath("photo.tif"), {rgba}));
    open({dir.filePath("photo.tif")});
    ASSERT_TRUE(UI_ModalDialogs::takeMessages().empty());
    UI_ImageWidget* view = openImageView();
    QComboBox* markers = view->settingsPanel()->markerCombo();
    const auto drawRgb = [markers] {
        markers->setCurrentIndex(3);
        markers->setCurrentIndex(markers->findText("RGB Image"));
    };
    drawRgb();
    ASSERT_NE(view->picture(), nullptr);
    ASSERT_EQ(view->picture()->size(), QSize(W, H));
    const auto wrongPixels = [view](const std::function<QRgb(int, int)>& expected) {
        int wrong = 0;
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) wrong += view->picture()->pixel(x, y) != expected(x, y);
        return wrong;
    };
    EXPECT_EQ(wrongPixels([&](int x, int y) { return qRgb(stored(x, y, 0), stored(x, y, 1), stored(x, y, 2)); }), 0);

    QImage colour(W, H, QImage::Format_RGB32);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) colour.setPixel(x, y, qRgb(4 * x, 255 - 8 * y, 17));
    ASSERT_TRUE(colour.save(dir.filePath("colour.png")));
    UI_ModalDialogs::answerFiles({dir.filePath("colour.png")});
    QTest::keySequence(&w(), QKeySequence("Ctrl+Shift+O"));
    EXPECT_EQ(UI_ModalDialogs::unanswered(), 0) << "the shortcut reached the file question";
    EXPECT_EQ(UI_ModalDialogs::lastFilter(), "Color Image (*.png *.tiff *.tif *jpg *jpeg)");
    EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());
    MCV_FcsHeader* header = w().dataModel()->combinedHeader();
    ASSERT_EQ(header->numVariables(), 6);
    EXPECT_EQ(header->variableName(5), "Blue");
    drawRgb();
    EXPECT_EQ(wrongPixels([](int x, int y) { return qRgb(4 * x, 255 - 8 * y, 17); }), 0);

    // A colour image that cannot be read is answered, and adds nothing.
    const struct {
        const char* name;
        QByteArray bytes;
    } unreadable[] = {
        {"text.png", "not an image"},
        {"pipe.png", QByteArray()},  // a named pipe: never opened
        {"cut.png",
         [&] {
             QFile f(dir.filePath("colour.png"));
             return f.open(QIODevice::ReadOnly) ? f.read(40) : QByteArray();
         }()},
    };
    ASSERT_EQ(::mkfifo(dir.filePath("pipe.png").toLocal8Bit().constData(), 0600), 0);
    for (const auto& u : unreadable) {
        QFile f(dir.filePath(u.name));
        if (!u.bytes.isNull()) {
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(u.bytes);
            f.close();
        }
        UI_ModalDialogs::answerFiles({f.fileName()});
        QTest::keySequence(&w(), QKeySequence("Ctrl+Shift+O"));
        const auto messages = UI_ModalDialogs::takeMessages();
        ASSERT_EQ(messages.size(), 1u) << u.name;
        EXPECT_TRUE(messages[0].text.startsWith("The image " + f.fileName() + " could not be read"))
            << messages[0].text.toStdString();
        EXPECT_EQ(header->numVariables(), 6);
    }
}

}  // namespace
