#pragma once

#include <QString>

#include <vector>

// Reads a colormap image (a resource such as ":/colormaps/Viridis.png") as
// 8-bit RGB bytes, three per pixel, row after row with rows packed. An image
// that cannot be read gives no bytes.
class UI_ColormapTable {
public:
    static std::vector<unsigned char> load(const QString& path, int* width = nullptr, int* height = nullptr);
};
