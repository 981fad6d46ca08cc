#pragma once

// Writes TIFF files for the image-stack tests with libtiff: any number of
// pages, each of its own size, colour space, sample width and format, extra
// samples, compression, strips or tiles. A page may instead carry the raw
// bytes of its one strip (a strip cut short, or a tiny compressed strip that
// declares a huge page).

#include <QString>

#include <tiffio.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

struct TiffPage {
    uint32_t width = 0;
    uint32_t height = 0;
    int samples = 1;  // per pixel, extra samples included
    int bits = 8;     // 8, 16 or 32 (32 with SAMPLEFORMAT_IEEEFP)
    // Row by row, the samples of a pixel next to each other.
    std::vector<double> values;
    int photometric = -1;  // -1: grey for 1 or 2 samples, RGB for 3 or more
    int format = SAMPLEFORMAT_UINT;
    int extra = 0;  // how many of the samples are extra samples
    uint16_t extraKind = EXTRASAMPLE_UNASSALPHA;
    int compression = COMPRESSION_NONE;
    uint32_t rowsPerStrip = 0;       // 0: one strip
    uint32_t tile = 0;               // tile width and height (a multiple of 16); 0: strips
    bool separate = false;           // one plane per sample
    std::vector<uint16_t> colormap;  // palette pages: red, green and blue tables one after the other
    // When set, written as the page's one strip instead of the values.
    bool raw = false;
    std::string rawStrip;

    // A page whose sample s of pixel (x, y) is f(x, y, s).
    template <typename F>
    static TiffPage make(uint32_t width, uint32_t height, int samples, int bits, F f) {
        TiffPage p;
        p.width = width;
        p.height = height;
        p.samples = samples;
        p.bits = bits;
        for (uint32_t y = 0; y < height; ++y)
            for (uint32_t x = 0; x < width; ++x)
                for (int s = 0; s < samples; ++s) p.values.push_back(static_cast<double>(f(int(x), int(y), s)));
        return p;
    }

    // Sample `value` in this page's layout, appended to `out`.
    void pack(double value, std::string* out) const {
        char bytes[4];
        if (format == SAMPLEFORMAT_IEEEFP) {
            const float f = static_cast<float>(value);
            std::memcpy(bytes, &f, 4);
        } else if (bits == 8) {
            bytes[0] = static_cast<char>(static_cast<int>(value));
        } else {
            const uint16_t v = static_cast<uint16_t>(static_cast<int32_t>(value));
            std::memcpy(bytes, &v, 2);
        }
        out->append(bytes, static_cast<size_t>(bits / 8));
    }
    // The samples of pixel rows [y0, y1) and columns [x0, x1) of plane
    // `plane` (all samples when contiguous), zero beyond the page.
    std::string packed(uint32_t x0, uint32_t x1, uint32_t y0, uint32_t y1, int plane) const {
        std::string out;
        for (uint32_t y = y0; y < y1; ++y)
            for (uint32_t x = x0; x < x1; ++x)
                for (int s = separate ? plane : 0; s < (separate ? plane + 1 : samples); ++s)
                    pack(x < width && y < height ? values[(size_t(y) * width + x) * size_t(samples) + size_t(s)] : 0.0,
                         &out);
        return out;
    }
};

// Writes `pages` as one file; false when libtiff refuses.
inline bool writeTiff(const QString& path, const std::vector<TiffPage>& pages) {
    TIFF* tif = TIFFOpen(path.toLocal8Bit().constData(), "w");
    if (!tif) return false;
    bool ok = true;
    for (const TiffPage& p : pages) {
        const int photometric = p.photometric >= 0 ? p.photometric
                                : p.samples >= 3   ? PHOTOMETRIC_RGB
                                                   : PHOTOMETRIC_MINISBLACK;
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, p.width);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, p.height);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, static_cast<uint16_t>(p.samples));
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, static_cast<uint16_t>(p.bits));
        TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, static_cast<uint16_t>(p.format));
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, static_cast<uint16_t>(photometric));
        TIFFSetField(tif, TIFFTAG_COMPRESSION, static_cast<uint16_t>(p.compression));
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, p.separate ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
        // JPEG YCbCr pages take RGB samples and convert them.
        if (p.compression == COMPRESSION_JPEG && photometric == PHOTOMETRIC_YCBCR) {
            TIFFSetField(tif, TIFFTAG_JPEGQUALITY, 95);
            TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        }
        if (p.extra > 0) {
            const std::vector<uint16_t> kinds(static_cast<size_t>(p.extra), p.extraKind);
            TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, static_cast<uint16_t>(p.extra), kinds.data());
        }
        if (!p.colormap.empty()) {
            const size_t n = p.colormap.size() / 3;
            TIFFSetField(tif, TIFFTAG_COLORMAP, p.colormap.data(), p.colormap.data() + n, p.colormap.data() + 2 * n);
        }
        if (pages.size() > 1) TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        const int planes = p.separate ? p.samples : 1;
        if (p.raw) {
            TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, p.height);
            ok = ok && TIFFWriteRawStrip(tif, 0, const_cast<char*>(p.rawStrip.data()),
                                         static_cast<tmsize_t>(p.rawStrip.size())) >= 0;
        } else if (p.tile > 0) {
            TIFFSetField(tif, TIFFTAG_TILEWIDTH, p.tile);
            TIFFSetField(tif, TIFFTAG_TILELENGTH, p.tile);
            for (int plane = 0; plane < planes; ++plane)
                for (uint32_t y = 0; y < p.height; y += p.tile)
                    for (uint32_t x = 0; x < p.width; x += p.tile) {
                        std::string t = p.packed(x, x + p.tile, y, y + p.tile, plane);
                        ok = ok && TIFFWriteTile(tif, &t[0], x, y, 0, static_cast<uint16_t>(plane)) >= 0;
                    }
        } else {
            const uint32_t rows = p.rowsPerStrip > 0 ? p.rowsPerStrip : p.height;
            TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rows);
            for (int plane = 0; plane < planes; ++plane)
                for (uint32_t y = 0; y < p.height; y += rows) {
                    std::string strip = p.packed(0, p.width, y, std::min(p.height, y + rows), plane);
                    ok = ok && TIFFWriteEncodedStrip(tif, TIFFComputeStrip(tif, y, static_cast<uint16_t>(plane)),
                                                     &strip[0], static_cast<tmsize_t>(strip.size())) >= 0;
                }
        }
        ok = ok && TIFFWriteDirectory(tif);
    }
    TIFFClose(tif);
    return ok;
}
