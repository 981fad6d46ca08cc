// Image data: events laid out as pixels, raw and normalised channel images.
#include "DerivedDataFixture.h"

#include "data/MCV_DerivedDataImage.h"

#include <cmath>
#include <limits>
#include <stdexcept>

namespace {

class DerivedImage : public DerivedDataTest {
protected:
    // One file whose events carry the given values of A and B.
    void loadChannels(std::vector<float> a, std::vector<float> b) {
        Rows rows;
        for (size_t i = 0; i < a.size(); ++i) rows.push_back({a[i], b[i]});
        load({rows});
    }
};

}  // namespace

TEST_F(DerivedImage, NormalisedRangeAlwaysIncludesZero) {
    loadChannels({1, 2, 4}, {-1, 0, 3});
    MCV_DerivedDataImage img;
    img.setSize(3, 1);
    img.setPoints({{0, 0}, {0, 1}, {0, 2}}, false);
    int w = 0, h = 0;
    std::vector<float> px;
    img.normalizedImageFromChannel(0, w, h, &px);
    EXPECT_EQ(w, 3);
    EXPECT_EQ(h, 1);
    EXPECT_EQ(px, (std::vector<float>{0.25f, 0.5f, 1.0f})) << "range 0..4, not 1..4";
    img.normalizedImageFromChannel(1, w, h, &px);
    ASSERT_EQ(px.size(), 3u);
    EXPECT_FLOAT_EQ(px[0], 1.0f / 3) << "symmetric range -3..3";
    EXPECT_FLOAT_EQ(px[1], 0.5f);
    EXPECT_FLOAT_EQ(px[2], 1.0f);

    img.imageFromChannel(1, w, h, &px);
    EXPECT_EQ(px, (std::vector<float>{-1, 0, 3}));
}

TEST_F(DerivedImage, AllZeroChannelUsesScaleOneAndNaNStaysNaN) {
    loadChannels({0, 0, 0}, {1, 0, 2});
    at(0, 1, 1) = std::numeric_limits<float>::quiet_NaN();
    MCV_DerivedDataImage img;
    img.setSize(3, 1);
    img.setPoints({{0, 0}, {0, 1}, {0, 2}}, false);
    int w, h;
    std::vector<float> px;
    img.normalizedImageFromChannel(0, w, h, &px);
    EXPECT_EQ(px, (std::vector<float>{0, 0, 0}));
    img.normalizedImageFromChannel(1, w, h, &px);
    EXPECT_FLOAT_EQ(px[0], 0.5f) << "NaN does not widen the range";
    EXPECT_TRUE(std::isnan(px[1]));
    EXPECT_FLOAT_EQ(px[2], 1.0f);
}

TEST_F(DerivedImage, UnfilledPixelsKeepTheirFillValue) {
    loadChannels({1, 2, 4}, {0, 1, 2});
    MCV_DerivedDataImage img;
    img.setSize(2, 2);
    img.setPoints({{0, 0}, {0, 1}, {0, 2}}, false);
    int w, h;
    std::vector<float> px;
    img.normalizedImageFromChannel(0, w, h, &px);
    ASSERT_EQ(px.size(), 4u);
    EXPECT_EQ(px[3], 0.5f);
    std::vector<std::vector<float>> many;
    img.coNormalizedImagesFromChannels({0}, w, h, &many);
    ASSERT_EQ(many.size(), 1u);
    EXPECT_EQ(many[0][3], 0.0f);

    std::vector<float> reused(4, 9.0f);
    img.imageFromChannel(0, w, h, &reused);
    EXPECT_EQ(reused, (std::vector<float>{1, 2, 4, 9})) << "a reused image keeps its pixels beyond the points";
}

TEST_F(DerivedImage, CoNormalisedChannelsShareOneRange) {
    loadChannels({0, 1, 2}, {0, 4, 8});
    MCV_DerivedDataImage img;
    img.setSize(3, 1);
    img.setPoints({{0, 0}, {0, 1}, {0, 2}}, false);
    int w, h;
    std::vector<std::vector<float>> images;
    img.coNormalizedImagesFromChannels({0, 1}, w, h, &images);
    ASSERT_EQ(images.size(), 2u);
    EXPECT_EQ(images[0], (std::vector<float>{0, 0.125f, 0.25f}));
    EXPECT_EQ(images[1], (std::vector<float>{0, 0.5f, 1}));
    img.coNormalizedImagesFromChannels({}, w, h, &images);
    EXPECT_TRUE(images.empty());
}

TEST_F(DerivedImage, OutOfRangeRequestsThrowInsteadOfWritingPastTheImage) {
    loadChannels({1, 2, 3}, {1, 2, 3});
    MCV_DerivedDataImage img;
    img.setSize(1, 2);
    img.setPoints({{0, 0}, {0, 1}, {0, 2}}, false);  // three points, two pixels
    int w, h;
    std::vector<float> px;
    EXPECT_THROW(img.imageFromChannel(0, w, h, &px), std::out_of_range);
    EXPECT_EQ(px, (std::vector<float>{1, 2})) << "pixels before the offending point are written";
    std::vector<std::vector<float>> images;
    EXPECT_THROW(img.coNormalizedImagesFromChannels({0}, w, h, &images), std::out_of_range);
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0], (std::vector<float>{0, 0})) << "checked before anything is written";

    img.setSize(3, 1);
    EXPECT_THROW(img.normalizedImageFromChannel(2, w, h, &px), std::out_of_range) << "no variable 2";
    img.setPoints({{0, 0}, {1, 0}}, false);
    EXPECT_THROW(img.imageFromChannel(0, w, h, &px), std::out_of_range) << "no file 1";
}

TEST_F(DerivedImage, SetPointsAnnouncesOnlyWhenAsked) {
    MCV_DerivedDataImage img;
    img.setUiInterface(&ui);
    img.setPoints({{0, 0}}, false);
    img.setPoints({{0, 0}}, true);
    EXPECT_EQ(ui.count("dataRefreshed", &img), 1);
    EXPECT_EQ(img.type(), 5);
    EXPECT_TRUE(img.jsonObject().empty());
}
