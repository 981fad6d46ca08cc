// Image data: events laid out as pixels, raw and normalised channel images.
#include "DerivedDataFixture.h"

#include "data/MCV_DerivedDataImage.h"

#include <cmath>
#include <limits>
#include <stdexcept>

namespace {

class DerivedImage : public DerivedDataTest {
protected:
    // One file whose events carry the given values of A and B, as a w x h
    // image of its first `points` events.
    void loadImage(std::vector<float> a, std::vector<float> b, int width, int height, int points = 3) {
        Rows rows;
        for (size_t i = 0; i < a.size(); ++i) rows.push_back({a[i], b[i]});
        load({rows});
        img.setSize(width, height);
        Points p;
        for (int e = 0; e < points; ++e) p.emplace_back(0, e);
        img.setPoints(p, false);
    }
    MCV_DerivedDataImage img;
    int w = 0, h = 0;
    std::vector<float> px;
};

}  // namespace

TEST_F(DerivedImage, NormalisedRangeAlwaysIncludesZeroAndLeavesNaNOut) {
    loadImage({1, 2, 4}, {-1, 0, 3}, 3, 1);
    img.normalizedImageFromChannel(0, w, h, &px);
    EXPECT_EQ(w * 10 + h, 31);
    EXPECT_EQ(px, (std::vector<float>{0.25f, 0.5f, 1.0f})) << "range 0..4, not 1..4";
    img.normalizedImageFromChannel(1, w, h, &px);
    EXPECT_EQ(px, (std::vector<float>{1.0f / 3, 0.5f, 1.0f})) << "symmetric range -3..3";
    img.imageFromChannel(1, w, h, &px);
    EXPECT_EQ(px, (std::vector<float>{-1, 0, 3}));

    at(0, 0, 0) = at(0, 1, 0) = at(0, 2, 0) = 0;
    at(0, 1, 1) = std::numeric_limits<float>::quiet_NaN();
    img.normalizedImageFromChannel(0, w, h, &px);
    EXPECT_EQ(px, (std::vector<float>{0, 0, 0})) << "an all-zero channel uses scale 1";
    img.normalizedImageFromChannel(1, w, h, &px);
    EXPECT_FLOAT_EQ(px[0], -1.0f / 6 + 0.5f) << "NaN does not widen the range";
    EXPECT_TRUE(std::isnan(px[1]));
}

TEST_F(DerivedImage, CoNormalisedChannelsShareOneRangeAndUnfilledPixelsKeepTheirFill) {
    loadImage({0, 1, 2}, {0, 4, 8}, 2, 2);
    std::vector<std::vector<float>> images;
    img.coNormalizedImagesFromChannels({0, 1}, w, h, &images);
    EXPECT_EQ(images, (std::vector<std::vector<float>>{{0, 0.125f, 0.25f, 0}, {0, 0.5f, 1, 0}}));
    img.normalizedImageFromChannel(0, w, h, &px);
    EXPECT_EQ(px[3], 0.5f);
    std::vector<float> reused(4, 9.0f);
    img.imageFromChannel(0, w, h, &reused);
    EXPECT_EQ(reused, (std::vector<float>{0, 1, 2, 9})) << "a reused image keeps its pixels beyond the points";
    img.coNormalizedImagesFromChannels({}, w, h, &images);
    EXPECT_TRUE(images.empty());
}

TEST_F(DerivedImage, OutOfRangeRequestsThrowInsteadOfWritingPastTheImage) {
    loadImage({1, 2, 3}, {1, 2, 3}, 1, 2);  // three points, two pixels
    EXPECT_THROW(img.imageFromChannel(0, w, h, &px), std::out_of_range);
    EXPECT_EQ(px, (std::vector<float>{1, 2})) << "pixels before the offending point are written";
    std::vector<std::vector<float>> images;
    EXPECT_THROW(img.coNormalizedImagesFromChannels({0}, w, h, &images), std::out_of_range);
    EXPECT_EQ(images, (std::vector<std::vector<float>>{{0, 0}})) << "checked before anything is written";

    img.setSize(3, 1);
    EXPECT_THROW(img.normalizedImageFromChannel(2, w, h, &px), std::out_of_range) << "no variable 2";
    img.setPoints({{0, 0}, {1, 0}}, false);
    EXPECT_THROW(img.imageFromChannel(0, w, h, &px), std::out_of_range) << "no file 1";
}
