// The colormap table: names in their stored index order with the reference
// colours of each image, the two-dimensional fields, and the reader of packed
// RGB rows.
#include "render/MCV_ColormapTable.h"

#include <QColor>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>

namespace {

QString hex(const MCV_ColormapTable::Image& image, int x, int y) {
    const size_t at = (static_cast<size_t>(y) * static_cast<size_t>(image.width) + static_cast<size_t>(x)) * 3;
    return QColor(image.rgb[at], image.rgb[at + 1], image.rgb[at + 2]).name().toUpper();
}

// Channel step between neighbouring pixels of a row, at most.
int largestStep(const MCV_ColormapTable::Image& image) {
    int worst = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = 1; x < image.width; ++x)
            for (int c = 0; c < 3; ++c) {
                const size_t at = (static_cast<size_t>(y) * static_cast<size_t>(image.width) + x) * 3 + c;
                worst = std::max(worst, std::abs(image.rgb[at] - image.rgb[at - 3]));
            }
    return worst;
}

TEST(ColormapTable, OneDimensionalMapsInIndexOrderWithTheirReferenceColours) {
    struct Map {
        const char *name, *low, *mid, *high;
    };
    const Map maps[] = {
        {"Spectral", "#5E50A2", "#FBF8B0", "#9F0242"}, {"RdYlBu", "#313795", "#FAF8C0", "#A60126"},
        {"PiYG", "#286519", "#F6F3F0", "#8F0152"},     {"PuOr", "#2D004C", "#F3EEEA", "#803C08"},
        {"Magma", "#000004", "#B73779", "#FCFDBF"},    {"Plasma", "#0D0887", "#CC4778", "#F0F921"},
        {"Viridis", "#440154", "#21918C", "#FDE725"},  {"RdPu", "#FFF7F3", "#F367A2", "#4A006A"},
        {"YlGnBu", "#FFFFD9", "#44B3C2", "#091D59"},   {"GnBu", "#F7FCF0", "#7ACAC4", "#084182"},
        {"BuPu", "#F7FCFD", "#8F95C6", "#4E004C"},     {"YlOrRd", "#FFFFCC", "#FD883B", "#810026"},
        {"Reds", "#FFF5F0", "#FB694A", "#69000E"},     {"qualitative", "#8DD3C7", "#FDB462", "#BC80BD"},
        {"Q_BlGrRd", "#000000", "#A8A8A8", "#ED0605"},
    };
    ASSERT_EQ(MCV_ColormapTable::count(1), 15);
    EXPECT_EQ(MCV_ColormapTable::names(1)[MCV_ColormapTable::kDefault1D], "Viridis");
    for (int i = 0; i < 15; ++i) {
        const Map& m = maps[i];
        const MCV_ColormapTable::Image& image = MCV_ColormapTable::image(i, 1);
        EXPECT_EQ(MCV_ColormapTable::names(1)[static_cast<size_t>(i)], m.name);
        ASSERT_EQ(image.width, 200) << m.name;
        ASSERT_EQ(image.height, 1) << m.name;
        EXPECT_EQ(hex(image, 0, 0), m.low) << m.name;
        EXPECT_EQ(hex(image, 100, 0), m.mid) << m.name;
        EXPECT_EQ(hex(image, 199, 0), m.high) << m.name;
        // All but the two banded maps are smooth.
        if (i < 13) {
            EXPECT_LE(largestStep(image), 12) << m.name;
        }
    }
    const MCV_ColormapTable::Image& q = MCV_ColormapTable::image(13, 1);
    const char* bands[] = {"#8DD3C7", "#FFFFB3", "#BEBADA", "#FB8072", "#80B1D3",
                           "#FDB462", "#B3DE69", "#FCCDE5", "#D9D9D9", "#BC80BD"};
    for (int x = 0; x < 200; ++x) ASSERT_EQ(hex(q, x, 0), bands[x / 20]) << x;
    EXPECT_TRUE(MCV_ColormapTable::image(15, 1).rgb.empty());
    EXPECT_TRUE(MCV_ColormapTable::image(-1, 1).rgb.empty());
    EXPECT_EQ(MCV_ColormapTable::count(3), 0);
}

TEST(ColormapTable, TwoDimensionalFieldsHitTheirCornersAndCentre) {
    struct Field {
        const char *name, *tl, *tr, *bl, *br, *centre;
    };
    const Field fields[] = {
        {"2D_Tarn", "#549305", "#009ADA", "#F93522", "#CF47DB", "#A07A7F"},
        {"2D_Tarn_stretched", "#009CD1", "#189748", "#777BD2", "#B4754C", "#5E8B8D"},
        {"2D_Halvick", "#E6DA00", "#00E0DF", "#FF0076", "#002CFF", "#C18CA6"},
        {"2D_Drisco_noWhitening", "#0080FF", "#AD00AD", "#52FF52", "#FF8000", "#81807E"},
    };
    ASSERT_EQ(MCV_ColormapTable::count(2), 4);
    for (int i = 0; i < 4; ++i) {
        const Field& f = fields[i];
        const MCV_ColormapTable::Image& image = MCV_ColormapTable::image(i, 2);
        EXPECT_EQ(MCV_ColormapTable::names(2)[static_cast<size_t>(i)], f.name);
        ASSERT_EQ(image.width, 128) << f.name;
        ASSERT_EQ(image.height, 128) << f.name;
        EXPECT_EQ(hex(image, 0, 0), f.tl) << f.name;
        EXPECT_EQ(hex(image, 127, 0), f.tr) << f.name;
        EXPECT_EQ(hex(image, 0, 127), f.bl) << f.name;
        EXPECT_EQ(hex(image, 127, 127), f.br) << f.name;
        EXPECT_EQ(hex(image, 64, 64), f.centre) << f.name;
        EXPECT_LE(largestStep(image), 8) << f.name;
    }
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
    ASSERT_EQ(image.width, 5);
    ASSERT_EQ(image.height, 3);
    ASSERT_EQ(image.rgb.size(), 45u);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(hex(image, x, y), QColor(10 * x, 50 * y, 7).name().toUpper());

    const MCV_ColormapTable::Image none = MCV_ColormapTable::load(":/colormaps/none.png");
    EXPECT_TRUE(none.rgb.empty());
    EXPECT_EQ(none.width, 0);
}

}  // namespace
