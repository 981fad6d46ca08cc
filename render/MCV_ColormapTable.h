#pragma once

#include <string>
#include <vector>

// The colormaps of the program: their names in index order and their images
// under ":/colormaps/". The index is what the pickers report, the renderer
// takes and the settings keep, so the order never changes; new maps go at the
// end. Each name's image "<name>.png" is its colour table: 200 x 1 pixels,
// lowest value first, for the one-dimensional maps, 128 x 128 pixels for the
// two-dimensional ones (rows top first).
//
// The images are read once, on first use; GUI thread only.
class MCV_ColormapTable {
public:
    // 8-bit RGB, three bytes per pixel, rows packed one after the other.
    struct Image {
        int width = 0;
        int height = 0;
        std::vector<unsigned char> rgb;
    };

    // The one-dimensional map points are coloured with until another is
    // chosen (Viridis).
    static constexpr int kDefault1D = 6;

    // Names of the maps of `dims` dimensions (1 or 2); none for other values.
    static const std::vector<std::string>& names(int dims);
    static int count(int dims);
    // ":/colormaps/<name>", the stem of the map's images.
    static std::string resourceStem(const std::string& name);
    // Colour table `idx` of `dims` dimensions; an empty image for an index
    // outside the table.
    static const Image& image(int idx, int dims);
    // Any image as packed RGB; an empty image for one that cannot be read.
    static Image load(const std::string& path);
};
