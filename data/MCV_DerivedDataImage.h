#pragma once

#include "data/MCV_DerivedData.h"

#include <string>
#include <utility>
#include <vector>

// A list of events laid out as an image (kind 5): point k is pixel k, counted
// row by row over width x height pixels. Channels (variables) are turned into
// float images for the image view; nothing is cached, every call reads the
// event matrices afresh.
//
// The image operations throw std::out_of_range when a point lies beyond the
// last pixel, names no event of the data set, or the channel is not a variable
// of the combined header. The raw and single normalised images have written
// the pixels before the offending point by then; the co-normalised images are
// checked before anything is written.
class MCV_DerivedDataImage : public MCV_DerivedData {
public:
    MCV_DerivedDataImage();
    ~MCV_DerivedDataImage() override;

    // This kind has no JSON: both texts stay empty.
    std::string& jsonObject() override;
    std::string& jsonString() override;
    void createJson() override;

    void init() {}
    // With `notify`, announces the set through dataRefreshed.
    void setPoints(std::vector<std::pair<int, int>> points, bool notify);
    std::vector<std::pair<int, int>>& data() { return m_points; }
    void setSize(int width, int height);
    int width() const { return m_width; }
    int height() const { return m_height; }

    // Each first reports the size through `width` and `height` and sizes the
    // image(s) to width x height floats; pixels beyond the last point keep
    // their value, and those added by the resize are 0.5 (raw and single
    // normalised) or 0 (co-normalised).
    //
    // The raw values of `channel`.
    void imageFromChannel(int channel, int& width, int& height, std::vector<float>* image);
    // `channel` mapped by its own range [low, high], which always includes 0
    // and is made symmetric around 0 when it has negative values: a pixel is
    // (value - low) / (high - low), or value - low when the range is empty.
    // NaN values do not widen the range and give NaN pixels.
    void normalizedImageFromChannel(int channel, int& width, int& height, std::vector<float>* image);
    // One image per listed channel, all mapped by one common range found as
    // above over every listed channel.
    void coNormalizedImagesFromChannels(std::vector<int> channels, int& width, int& height,
                                        std::vector<std::vector<float>>* images);

    void refreshed(void* source) { MCV_DerivedData::refreshed(source); }

private:
    size_t pixels() const;

    std::vector<std::pair<int, int>> m_points;
    int m_width = 0;
    int m_height = 0;
};
