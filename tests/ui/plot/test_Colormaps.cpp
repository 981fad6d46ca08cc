// The generated colormap images: sizes, the reference pixels of every map,
// orientation of the button images, the banded maps, the 2D fields, and the
// RGB table reader.
#include "ui/plot/UI_ColormapTable.h"

#include <QColor>
#include <QFile>
#include <QImage>
#include <gtest/gtest.h>

#include <set>

namespace {

struct OneD {
    const char* name;
    const char* low;
    const char* mid;
    const char* high;
};

const OneD kOneD[] = {
    {"Spectral", "#5E50A2", "#FBF8B0", "#9F0242"}, {"RdYlBu", "#313795", "#FAF8C0", "#A60126"},
    {"PiYG", "#286519", "#F6F3F0", "#8F0152"},     {"PuOr", "#2D004C", "#F3EEEA", "#803C08"},
    {"Magma", "#000004", "#B73779", "#FCFDBF"},    {"Plasma", "#0D0887", "#CC4778", "#F0F921"},
    {"Viridis", "#440154", "#21918C", "#FDE725"},  {"RdPu", "#FFF7F3", "#F367A2", "#4A006A"},
    {"YlGnBu", "#FFFFD9", "#44B3C2", "#091D59"},   {"GnBu", "#F7FCF0", "#7ACAC4", "#084182"},
    {"BuPu", "#F7FCFD", "#8F95C6", "#4E004C"},     {"YlOrRd", "#FFFFCC", "#FD883B", "#810026"},
    {"Reds", "#FFF5F0", "#FB694A", "#69000E"},     {"qualitative", "#8DD3C7", "#FDB462", "#BC80BD"},
    {"Q_BlGrRd", "#000000", "#A8A8A8", "#ED0605"},
};

QString hex(QRgb c) { return QColor(c).name().toUpper(); }

QImage load(const QString& name) { return QImage(":/colormaps/" + name + ".png"); }

TEST(Colormaps, EachTableHasThe200PixelReferenceColoursLowestFirst) {
    for (const OneD& m : kOneD) {
        const QImage table = load(m.name);
        ASSERT_EQ(table.size(), QSize(200, 1)) << m.name;
        EXPECT_EQ(hex(table.pixel(0, 0)), m.low) << m.name;
        EXPECT_EQ(hex(table.pixel(100, 0)), m.mid) << m.name;
        EXPECT_EQ(hex(table.pixel(199, 0)), m.high) << m.name;
    }
}

TEST(Colormaps, SmoothTablesHaveNoJumps) {
    for (int i = 0; i < 13; ++i) {
        const QImage table = load(kOneD[i].name);
        for (int x = 1; x < 200; ++x) {
            const QColor a(table.pixel(x - 1, 0)), b(table.pixel(x, 0));
            const int step =
                std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue())});
            ASSERT_LE(step, 12) << kOneD[i].name << " at " << x;
        }
    }
}

TEST(Colormaps, BandedMapsAreExact) {
    const QImage q = load("qualitative");
    const char* bands[] = {"#8DD3C7", "#FFFFB3", "#BEBADA", "#FB8072", "#80B1D3",
                           "#FDB462", "#B3DE69", "#FCCDE5", "#D9D9D9", "#BC80BD"};
    for (int x = 0; x < 200; ++x) ASSERT_EQ(hex(q.pixel(x, 0)), bands[x / 20]) << x;

    const QImage r = load("Q_BlGrRd");
    QStringList expected;
    for (int i = 0; i < 63; ++i) expected << "#000000";
    expected << "#0D0C08"
             << "#92918D"
             << "#B3B3B2";
    for (int i = 0; i < 66; ++i) expected << "#A8A8A8";
    expected << "#A3B3B3"
             << "#B49192"
             << "#F80C0D";
    for (int i = 0; i < 63; ++i) expected << "#FF0000";
    expected << "#FB0101"
             << "#ED0605";
    ASSERT_EQ(expected.size(), 200);
    for (int x = 0; x < 200; ++x) ASSERT_EQ(hex(r.pixel(x, 0)), expected[x]) << x;
}

TEST(Colormaps, ButtonImagesShowTheHighestValueAtTheTop) {
    for (const OneD& m : kOneD) {
        const QImage vert = load(QString(m.name) + "_vert");
        const QImage disc = load(QString(m.name) + "_vert_disc");
        ASSERT_EQ(vert.size(), QSize(24, 168)) << m.name;
        ASSERT_EQ(disc.size(), QSize(24, 168)) << m.name;
        EXPECT_EQ(hex(vert.pixel(12, 0)), m.high) << m.name;
        EXPECT_EQ(hex(vert.pixel(0, 167)), m.low) << m.name;
        // Ten equal bands: nine colour changes down the column, rows uniform.
        int changes = 0;
        std::set<QRgb> colours;
        for (int y = 0; y < 168; ++y) {
            colours.insert(disc.pixel(12, y));
            if (y && disc.pixel(12, y) != disc.pixel(12, y - 1)) ++changes;
            ASSERT_EQ(disc.pixel(0, y), disc.pixel(23, y));
        }
        // Q_BlGrRd's neighbouring bands share its three colours.
        const bool threeLevels = QString(m.name) == "Q_BlGrRd";
        EXPECT_EQ(changes, threeLevels ? 2 : 9) << m.name;
        EXPECT_EQ(colours.size(), threeLevels ? 3u : 10u) << m.name;
    }
    // The banded maps keep one band per colour in the discrete image.
    const QImage q = load("Q_BlGrRd_vert_disc");
    EXPECT_EQ(hex(q.pixel(12, 0)), "#FF0000");
    EXPECT_EQ(hex(q.pixel(12, 84)), "#A8A8A8");
    EXPECT_EQ(hex(q.pixel(12, 167)), "#000000");
}

TEST(Colormaps, ExtraMapsHaveTablesAndVerticalImagesOnly) {
    for (const char* name : {"BrBG", "RdBu", "RdYlGn", "YlGn", "YlOrBr"}) {
        EXPECT_EQ(load(name).size(), QSize(200, 1)) << name;
        EXPECT_EQ(load(QString(name) + "_vert").size(), QSize(24, 168)) << name;
        EXPECT_FALSE(QFile::exists(QString(":/colormaps/") + name + "_vert_disc.png")) << name;
    }
    // Diverging: blue (or green) end low, red (or brown) end high.
    const QColor rdbuLow(load("RdBu").pixel(0, 0)), rdbuHigh(load("RdBu").pixel(199, 0));
    EXPECT_GT(rdbuLow.blue(), rdbuLow.red());
    EXPECT_GT(rdbuHigh.red(), rdbuHigh.blue());
}

TEST(Colormaps, TwoDimensionalFieldsHitTheirCornersAndCentre) {
    struct TwoD {
        const char* name;
        const char* tl;
        const char* tr;
        const char* bl;
        const char* br;
        const char* centre;
    };
    const TwoD maps[] = {
        {"2D_Tarn", "#549305", "#009ADA", "#F93522", "#CF47DB", "#A07A7F"},
        {"2D_Tarn_stretched", "#009CD1", "#189748", "#777BD2", "#B4754C", "#5E8B8D"},
        {"2D_Halvick", "#E6DA00", "#00E0DF", "#FF0076", "#002CFF", "#C18CA6"},
        {"2D_Drisco_noWhitening", "#0080FF", "#AD00AD", "#52FF52", "#FF8000", "#81807E"},
    };
    for (const TwoD& m : maps) {
        const QImage image = load(m.name);
        ASSERT_EQ(image.size(), QSize(128, 128)) << m.name;
        EXPECT_EQ(hex(image.pixel(0, 0)), m.tl) << m.name;
        EXPECT_EQ(hex(image.pixel(127, 0)), m.tr) << m.name;
        EXPECT_EQ(hex(image.pixel(0, 127)), m.bl) << m.name;
        EXPECT_EQ(hex(image.pixel(127, 127)), m.br) << m.name;
        EXPECT_EQ(hex(image.pixel(64, 64)), m.centre) << m.name;
        int worst = 0;
        for (int y = 0; y < 128; ++y)
            for (int x = 1; x < 128; ++x) {
                const QColor a(image.pixel(x - 1, y)), b(image.pixel(x, y));
                worst = std::max({worst, std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                                  std::abs(a.blue() - b.blue())});
            }
        EXPECT_LE(worst, 8) << m.name << ": a smooth field";
    }
}

TEST(ColormapTable, ReadsPackedRgbRowsAndNothingForAMissingImage) {
    int w = 0, h = 0;
    const std::vector<unsigned char> rgb = UI_ColormapTable::load(":/colormaps/Viridis_vert.png", &w, &h);
    ASSERT_EQ(w, 24);
    ASSERT_EQ(h, 168);
    ASSERT_EQ(rgb.size(), 24u * 168u * 3u);
    const QImage image(":/colormaps/Viridis_vert.png");
    for (int y : {0, 100, 167}) {
        const QColor c(image.pixel(5, y));
        const size_t at = (static_cast<size_t>(y) * 24 + 5) * 3;
        EXPECT_EQ(rgb[at], c.red());
        EXPECT_EQ(rgb[at + 1], c.green());
        EXPECT_EQ(rgb[at + 2], c.blue());
    }
    EXPECT_TRUE(UI_ColormapTable::load(":/colormaps/none.png", &w, &h).empty());
    EXPECT_EQ(w, 0);
}

}  // namespace
