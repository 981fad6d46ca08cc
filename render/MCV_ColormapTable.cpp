#include "render/MCV_ColormapTable.h"

#include <QImage>
#include <QString>

namespace {

const std::vector<std::string>& emptyNames() {
    static const std::vector<std::string> none;
    return none;
}

}  // namespace

const std::vector<std::string>& MCV_ColormapTable::names(int dims) {
    static const std::vector<std::string> oneD = {"Spectral", "RdYlBu",  "PiYG", "PuOr",        "Magma",
                                                  "Plasma",   "Viridis", "RdPu", "YlGnBu",      "GnBu",
                                                  "BuPu",     "YlOrRd",  "Reds", "qualitative", "Q_BlGrRd"};
    static const std::vector<std::string> twoD = {"2D_Tarn", "2D_Tarn_stretched", "2D_Halvick",
                                                  "2D_Drisco_noWhitening"};
    if (dims == 1) return oneD;
    if (dims == 2) return twoD;
    return emptyNames();
}

int MCV_ColormapTable::count(int dims) { return static_cast<int>(names(dims).size()); }

std::string MCV_ColormapTable::resourceStem(const std::string& name) { return ":/colormaps/" + name; }

const MCV_ColormapTable::Image& MCV_ColormapTable::image(int idx, int dims) {
    static const Image none;
    if (dims != 1 && dims != 2) return none;
    static std::vector<Image> tables[2];
    std::vector<Image>& loaded = tables[dims - 1];
    if (loaded.empty())
        for (const std::string& name : names(dims)) loaded.push_back(load(resourceStem(name) + ".png"));
    if (idx < 0 || static_cast<size_t>(idx) >= loaded.size()) return none;
    return loaded[static_cast<size_t>(idx)];
}

MCV_ColormapTable::Image MCV_ColormapTable::load(const std::string& path) {
    Image result;
    const QImage image = QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_RGB888);
    if (image.isNull() || image.width() == 0 || image.height() == 0) return result;
    result.width = image.width();
    result.height = image.height();
    const size_t row = static_cast<size_t>(result.width) * 3;
    result.rgb.reserve(row * static_cast<size_t>(result.height));
    // QImage pads its rows to four bytes; the table is packed.
    for (int y = 0; y < result.height; ++y) {
        const uchar* line = image.constScanLine(y);
        result.rgb.insert(result.rgb.end(), line, line + row);
    }
    return result;
}
