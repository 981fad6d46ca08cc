#pragma once

// Writes small baseline TIFF files for the image-stack tests: uncompressed,
// little-endian, one strip per page, any number of pages of 8- or 16-bit grey
// or RGB samples. (The toolkit's writer makes single pages only.)

#include <QFile>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

struct TiffPage {
    int width = 0;
    int height = 0;
    int samples = 1;  // 1 grey, 3 RGB
    int bits = 8;     // 8 or 16
    // Row by row, the samples of a pixel next to each other.
    std::vector<uint16_t> values;

    // A page whose sample s of pixel (x, y) is f(x, y, s).
    template <typename F>
    static TiffPage make(int width, int height, int samples, int bits, F f) {
        TiffPage p{width, height, samples, bits, {}};
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                for (int s = 0; s < samples; ++s) p.values.push_back(static_cast<uint16_t>(f(x, y, s)));
        return p;
    }
};

inline std::string tiffBytes(const std::vector<TiffPage>& pages) {
    std::string out("II*\0\0\0\0\0", 8);
    const auto put = [&out](size_t at, uint32_t v, int n) {
        for (int i = 0; i < n; ++i) out[at + static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    const auto append = [&out, &put](uint32_t v, int n) {
        out.append(static_cast<size_t>(n), '\0');
        put(out.size() - static_cast<size_t>(n), v, n);
    };
    size_t link = 4;  // where the offset of the next page's directory goes
    for (const TiffPage& p : pages) {
        const uint32_t data = static_cast<uint32_t>(out.size());
        for (uint16_t v : p.values) append(v, p.bits / 8);
        const uint32_t dataBytes = static_cast<uint32_t>(out.size()) - data;
        if (out.size() % 2) out.push_back('\0');
        const uint32_t bitsArray = static_cast<uint32_t>(out.size());
        for (int s = 0; s < p.samples; ++s) append(static_cast<uint32_t>(p.bits), 2);
        put(link, static_cast<uint32_t>(out.size()), 4);
        struct Entry {
            uint16_t tag, type;
            uint32_t count, value;
        };
        const uint32_t bitsValue = p.samples == 1 ? static_cast<uint32_t>(p.bits) : bitsArray;
        const Entry entries[] = {
            {256, 4, 1, static_cast<uint32_t>(p.width)},
            {257, 4, 1, static_cast<uint32_t>(p.height)},
            {258, 3, static_cast<uint32_t>(p.samples), bitsValue},
            {259, 3, 1, 1},
            {262, 3, 1, p.samples == 3 ? 2u : 1u},
            {273, 4, 1, data},
            {277, 3, 1, static_cast<uint32_t>(p.samples)},
            {278, 4, 1, static_cast<uint32_t>(p.height)},
            {279, 4, 1, dataBytes},
            {284, 3, 1, 1},
        };
        append(sizeof(entries) / sizeof(entries[0]), 2);
        for (const Entry& e : entries) {
            append(e.tag, 2);
            append(e.type, 2);
            append(e.count, 4);
            append(e.value, e.type == 3 && e.count == 1 ? 2 : 4);
            if (e.type == 3 && e.count == 1) append(0, 2);
        }
        link = out.size();
        append(0, 4);
    }
    return out;
}

inline bool writeTiff(const QString& path, const std::vector<TiffPage>& pages) {
    QFile f(path);
    const std::string bytes = tiffBytes(pages);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           f.write(bytes.data(), static_cast<qint64>(bytes.size())) == static_cast<qint64>(bytes.size());
}
