#pragma once

// The colour a 1D colormap texture gives at t in [0, 1] with linear
// filtering, as the renderer samples it; NaN (no value) samples 0.

#include "render/MCV_ColormapTable.h"

#include <QColor>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

inline QRgb colormapAt(int index, float t) {
    if (!(t >= 0.0f)) t = 0.0f;
    const MCV_ColormapTable::Image& map = MCV_ColormapTable::image(index, 1);
    const float u = std::clamp(t * static_cast<float>(map.width) - 0.5f, 0.0f, static_cast<float>(map.width - 1));
    const int i0 = static_cast<int>(std::floor(u)), i1 = std::min(i0 + 1, map.width - 1);
    const float f = u - static_cast<float>(i0);
    auto channel = [&](int c) {
        return static_cast<int>(std::lround((1 - f) * map.rgb[static_cast<size_t>(3 * i0 + c)] +
                                            f * map.rgb[static_cast<size_t>(3 * i1 + c)]));
    };
    return qRgb(channel(0), channel(1), channel(2));
}

inline QRgb colormapAt(const std::string& name, float t) {
    const std::vector<std::string>& names = MCV_ColormapTable::names(1);
    return colormapAt(static_cast<int>(std::find(names.begin(), names.end(), name) - names.begin()), t);
}
