// The colormap table: names in their stored index order with the reference
// colours of each image, and the reader of packed RGB rows.
#include "render/MCV_ColormapTable.h"

#include <QColor>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QString hex(const MCV_ColormapTable::Image& image, int x, int y) {
    const size_t at = (static_cast<size_t>(y) * static_cast<size_t>(image.width) + static_cast<size_t>(x)) * 3;
    return QColor(image.rgb[at], image.rgb[at + 1], image.rgb[at + 2]).name().toUpper();
}

TEST(ColormapTable, MapsInIndexOrderWithTheirReferenceColours) {
    // Name, top-left and bottom-right pixel: fifteen 1D maps, then four 2D fields.
    const QStringList maps =
        QString(
            "Spectral #5E50A2 #9F0242 RdYlBu #313795 #A60126 PiYG #286519 #8F0152 PuOr #2D004C #803C08 "
            "Magma #000004 #FCFDBF Plasma #0D0887 #F0F921 Viridis #440154 #FDE725 RdPu #FFF7F3 #4A006A "
            "YlGnBu #FFFFD9 #091D59 GnBu #F7FCF0 #084182 BuPu #F7FCFD #4E004C YlOrRd #FFFFCC #810026 "
            "Reds #FFF5F0 #69000E qualitative #8DD3C7 #BC80BD Q_BlGrRd #000000 #ED0605 "
            "2D_Tarn #549305 #CF47DB 2D_Tarn_stretched #009CD1 #B4754C 2D_Halvick #E6DA00 #002CFF "
            "2D_Drisco_noWhitening #0080FF #FF8000")
            .split(' ');
    ASSERT_EQ(MCV_ColormapTable::count(1), 15);
    ASSERT_EQ(MCV_ColormapTable::count(2), 4);
    for (int i = 0; i < 19; ++i) {
        const int dims = i < 15 ? 1 : 2, index = i < 15 ? i : i - 15;
        const MCV_ColormapTable::Image& image = MCV_ColormapTable::image(index, dims);
        SCOPED_TRACE(maps[3 * i].toStdString());
        EXPECT_EQ(QString::fromStdString(MCV_ColormapTable::names(dims)[static_cast<size_t>(index)]), maps[3 * i]);
        ASSERT_EQ(image.rgb.size(), static_cast<size_t>(image.width * image.height * 3));
        EXPECT_EQ(image.height, dims == 1 ? 1 : image.width);
        EXPECT_EQ(hex(image, 0, 0), maps[3 * i + 1]);
        EXPECT_EQ(hex(image, image.width - 1, image.height - 1), maps[3 * i + 2]);
    }
    EXPECT_TRUE(MCV_ColormapTable::image(15, 1).rgb.empty());
    EXPECT_TRUE(MCV_ColormapTable::image(-1, 1).rgb.empty());
}

TEST(ColormapTable, ReadsPackedRowsOfAnyWidthAndNothingForAMissingImage) {
    // Five pixels make 15 bytes a row, which the image pads to 16.
    QTemporaryDir dir;
    QImage written(5, 3, QImage::Format_RGB888);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) written.setPixelColor(x, y, QColor(10 * x, 50 * y, 7));
    const QString path = dir.filePath("odd.png");
    ASSERT_TRUE(written.save(path));
    const MCV_ColormapTable::Image image = MCV_ColormapTable::load(path.toStdString());
    ASSERT_EQ(std::make_pair(image.width, image.height), std::make_pair(5, 3));
    ASSERT_EQ(image.rgb.size(), 45u);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(hex(image, x, y), QColor(10 * x, 50 * y, 7).name().toUpper());
    EXPECT_TRUE(MCV_ColormapTable::load(":/colormaps/none.png").rgb.empty());
}

}  // namespace
