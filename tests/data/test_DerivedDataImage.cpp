#include "DerivedDataFixture.h"

#include "data/MCV_DerivedDataImage.h"

#include <cmath>
#include <limits>
#include <stdexcept>

TEST_F(DerivedDataTest, ImageChannelsNormaliseAroundZeroAndOutOfRangeRequestsThrow) {
    // Three events (A, B) in a 2 x 2 image: one pixel is never filled.
    load({{{1, -1}, {2, 0}, {4, 3}}});
    MCV_DerivedDataImage img;
    img.setSize(2, 2);
    img.setPoints({{0, 0}, {0, 1}, {0, 2}}, false);
    int w = 0, h = 0;
    std::vector<float> px, reused(4, 9.0f);
    img.normalizedImageFromChannel(0, w, h, &px);
    EXPECT_EQ(px, (std::vector<float>{0.25f, 0.5f, 1.0f, 0.5f})) << "range 0..4, not 1..4";
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(2, 2));
    img.normalizedImageFromChannel(1, w, h, &px);
    EXPECT_EQ(px, (std::vector<float>{1.0f / 3, 0.5f, 1.0f, 0.5f})) << "symmetric range -3..3";
    img.imageFromChannel(1, w, h, &reused);
    EXPECT_EQ(reused, (std::vector<float>{-1, 0, 3, 9})) << "a reused image keeps its pixels beyond the points";
    std::vector<std::vector<float>> images;
    img.coNormalizedImagesFromChannels({0, 1}, w, h, &images);
    EXPECT_EQ(images, (std::vector<std::vector<float>>{{0.625f, 0.75f, 1, 0}, {0.375f, 0.5f, 0.875f, 0}}))
        << "one range -4..4 for both";

    at(0, 0, 0) = at(0, 1, 0) = at(0, 2, 0) = 0;
    at(0, 1, 1) = std::numeric_limits<float>::quiet_NaN();
    img.normalizedImageFromChannel(0, w, h, &px);
    EXPECT_EQ(px, (std::vector<float>{0, 0, 0, 0.5f})) << "an all-zero channel uses scale 1";
    img.normalizedImageFromChannel(1, w, h, &px);
    EXPECT_FLOAT_EQ(px[0], -1.0f / 6 + 0.5f) << "NaN does not widen the range";
    EXPECT_TRUE(std::isnan(px[1]));

    img.setSize(1, 2);  // three points, two pixels
    EXPECT_THROW(img.imageFromChannel(0, w, h, &px), std::out_of_range);
    EXPECT_EQ(px, (std::vector<float>{0, 0})) << "pixels before the offending point are written";
    images.clear();
    EXPECT_THROW(img.coNormalizedImagesFromChannels({0}, w, h, &images), std::out_of_range);
    EXPECT_EQ(images, (std::vector<std::vector<float>>{{0, 0}})) << "checked before anything is written";
    img.setSize(3, 1);
    EXPECT_THROW(img.normalizedImageFromChannel(2, w, h, &px), std::out_of_range) << "no variable 2";
    img.setPoints({{0, 0}, {1, 0}}, false);
    EXPECT_THROW(img.imageFromChannel(0, w, h, &px), std::out_of_range) << "no file 1";
}
