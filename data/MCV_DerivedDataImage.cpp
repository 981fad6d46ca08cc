#include "data/MCV_DerivedDataImage.h"

#include "data/MCV_PointStatistics.h"
#include "data/MCV_UiInterface.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {

// The value of `channel` in each row; throws for a point that names no event.
float valueAt(const MCV_PointStatistics::Rows& rows, size_t k, int channel) {
    const float* row = rows[k];
    if (!row) throw std::out_of_range("image point " + std::to_string(k) + " names no loaded event");
    return row[channel];
}

void checkChannel(int channel, int V) {
    if (channel < 0 || channel >= V)
        throw std::out_of_range("image channel " + std::to_string(channel) + " is not one of the " + std::to_string(V) +
                                " variables");
}

// The range of the values seen, starting from [0, 0] and ignoring NaN, made
// symmetric around 0 when it reaches below 0.
struct Range {
    float low = 0.0f;
    float high = 0.0f;
    void add(float x) {
        if (x > high) high = x;
        if (x < low) low = x;
    }
    void symmetric() {
        if (low < 0.0f) {
            const float m = std::max(high, -low);
            low = -m;
            high = m;
        }
    }
};

}  // namespace

MCV_DerivedDataImage::MCV_DerivedDataImage() { m_type = KindImage; }

MCV_DerivedDataImage::~MCV_DerivedDataImage() = default;

std::string& MCV_DerivedDataImage::jsonObject() {
    createJson();
    return m_json;
}

std::string& MCV_DerivedDataImage::jsonString() {
    createJson();
    return m_jsonEscaped;
}

void MCV_DerivedDataImage::createJson() {}

void MCV_DerivedDataImage::setPoints(std::vector<std::pair<int, int>> points, bool notify) {
    m_points = std::move(points);
    if (notify && m_ui) m_ui->dataRefreshed(this);
}

void MCV_DerivedDataImage::setSize(int width, int height) {
    m_width = width;
    m_height = height;
}

size_t MCV_DerivedDataImage::pixels() const {
    if (m_width <= 0 || m_height <= 0) return 0;
    return static_cast<size_t>(m_width) * static_cast<size_t>(m_height);
}

void MCV_DerivedDataImage::imageFromChannel(int channel, int& width, int& height, std::vector<float>* image) {
    width = m_width;
    height = m_height;
    image->resize(pixels(), 0.5f);
    if (m_points.empty()) return;
    checkChannel(channel, MCV_PointStatistics::numVariables());
    const MCV_PointStatistics::Rows rows = MCV_PointStatistics::rows(m_points);
    for (size_t k = 0; k < rows.size(); ++k) image->at(k) = valueAt(rows, k, channel);
}

void MCV_DerivedDataImage::normalizedImageFromChannel(int channel, int& width, int& height, std::vector<float>* image) {
    width = m_width;
    height = m_height;
    image->resize(pixels(), 0.5f);
    if (m_points.empty()) return;
    checkChannel(channel, MCV_PointStatistics::numVariables());
    const MCV_PointStatistics::Rows rows = MCV_PointStatistics::rows(m_points);

    Range range;
    for (size_t k = 0; k < rows.size(); ++k) range.add(valueAt(rows, k, channel));
    range.symmetric();
    const float scale = range.high != range.low ? 1.0f / (range.high - range.low) : 1.0f;
    for (size_t k = 0; k < rows.size(); ++k) image->at(k) = (valueAt(rows, k, channel) - range.low) * scale;
}

void MCV_DerivedDataImage::coNormalizedImagesFromChannels(std::vector<int> channels, int& width, int& height,
                                                          std::vector<std::vector<float>>* images) {
    width = m_width;
    height = m_height;
    images->resize(channels.size());
    for (std::vector<float>& image : *images) image.resize(pixels(), 0.0f);
    if (m_points.empty() || channels.empty()) return;

    if (m_points.size() > pixels())
        throw std::out_of_range("image of " + std::to_string(pixels()) + " pixels cannot hold " +
                                std::to_string(m_points.size()) + " points");
    const int V = MCV_PointStatistics::numVariables();
    for (int c : channels) checkChannel(c, V);
    const MCV_PointStatistics::Rows rows = MCV_PointStatistics::rows(m_points);

    Range range;
    for (size_t k = 0; k < rows.size(); ++k)
        for (int c : channels) range.add(valueAt(rows, k, c));
    range.symmetric();
    const float spread = range.high - range.low;
    const float scale = spread > 0.0f ? 1.0f / spread : 1.0f;
    for (size_t k = 0; k < rows.size(); ++k)
        for (size_t j = 0; j < channels.size(); ++j) (*images)[j][k] = (rows[k][channels[j]] - range.low) * scale;
}
