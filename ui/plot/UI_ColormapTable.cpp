#include "UI_ColormapTable.h"

#include <QImage>

std::vector<unsigned char> UI_ColormapTable::load(const QString& path, int* width, int* height) {
    const QImage image = QImage(path).convertToFormat(QImage::Format_RGB888);
    if (width) *width = image.width();
    if (height) *height = image.height();
    std::vector<unsigned char> rgb;
    if (image.isNull()) return rgb;
    const int rowBytes = image.width() * 3;
    rgb.reserve(static_cast<size_t>(rowBytes) * image.height());
    // QImage pads rows to 32 bits; copy only the pixels of each row.
    for (int y = 0; y < image.height(); ++y) {
        const unsigned char* row = image.constScanLine(y);
        rgb.insert(rgb.end(), row, row + rowBytes);
    }
    return rgb;
}
