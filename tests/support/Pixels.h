// Colour comparison for frames, prints and decoded video: a software
// rasteriser or a lossy codec moves a colour by a few levels, a wrong picture
// by far more.
#pragma once

#include <QColor>
#include <QImage>

#include <cstdlib>

inline bool rgbNear(QRgb a, QRgb b, int tolerance) {
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

// Pixels of `image` within `tolerance` of `colour` in every channel.
inline int countNear(const QImage& image, QRgb colour, int tolerance) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    int n = 0;
    for (int y = 0; y < rgb.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x) n += rgbNear(line[x], colour, tolerance);
    }
    return n;
}

// Pixels of the blue selection halo: red below 120 and blue at least 200,
// which no sample colour of the defaults, no Viridis colour and not the
// background has.
inline int countHalo(const QImage& image) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    int n = 0;
    for (int y = 0; y < rgb.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x) n += qRed(line[x]) < 120 && qBlue(line[x]) >= 200;
    }
    return n;
}
