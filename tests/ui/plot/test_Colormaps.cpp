// The pickers' button images of the one-dimensional maps: the highest value
// at the top, and ten bands in the discrete images.
#include "render/MCV_ColormapTable.h"

#include <QImage>
#include <gtest/gtest.h>

#include <set>

namespace {

TEST(ColormapButtonImages, ShowTheHighestValueAtTheTopAndTenBandsWhenDiscrete) {
    for (int i = 0; i < MCV_ColormapTable::count(1); ++i) {
        const std::string& name = MCV_ColormapTable::names(1)[static_cast<size_t>(i)];
        SCOPED_TRACE(name);
        const QString stem = QString::fromStdString(MCV_ColormapTable::resourceStem(name));
        const QImage vert(stem + "_vert.png"), disc(stem + "_vert_disc.png");
        ASSERT_EQ(vert.size(), QSize(24, 168));
        ASSERT_EQ(disc.size(), QSize(24, 168));
        const MCV_ColormapTable::Image& table = MCV_ColormapTable::image(i, 1);
        EXPECT_EQ(QColor(vert.pixel(12, 0)), QColor(table.rgb[597], table.rgb[598], table.rgb[599]));
        EXPECT_EQ(QColor(vert.pixel(0, 167)), QColor(table.rgb[0], table.rgb[1], table.rgb[2]));
        // Rows are uniform; Q_BlGrRd's neighbouring bands share its three colours.
        int changes = 0;
        std::set<QRgb> colours;
        for (int y = 0; y < 168; ++y) {
            colours.insert(disc.pixel(12, y));
            if (y && disc.pixel(12, y) != disc.pixel(12, y - 1)) ++changes;
            ASSERT_EQ(disc.pixel(0, y), disc.pixel(23, y));
        }
        const bool threeLevels = name == "Q_BlGrRd";
        EXPECT_EQ(changes, threeLevels ? 2 : 9);
        EXPECT_EQ(colours.size(), threeLevels ? 3u : 10u);
    }
}

}  // namespace
