#include "data/MCV_ImageLoader.h"

#include "data/MCV_FcsHeader.h"
#include "data/MCV_Messages.h"

#include <QFileInfo>
#include <QString>

#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <iostream>
#include <limits>
#include <map>
#include <memory>
#include <new>

namespace {

// One tile of a tiled page may take at most this much memory to decode.
constexpr uint64_t kMaxTileBytes = uint64_t(256) << 20;

// A refusal on its way out of the reading code: the code and the reason.
struct Refusal {
    int code;
    std::string why;
};

// What a page declares, read from its directory before any sample is decoded.
struct PageSpec {
    enum Kind { Grey, Rgb, Palette };
    Kind kind = Grey;
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t samples = 1;  // per pixel, extra samples included
    uint16_t bits = 8;
    bool isSigned = false;
    bool separate = false;  // one plane per sample
    bool tiled = false;
    uint32_t tileWidth = 0;
    uint32_t tileHeight = 0;
    bool jpegRgb = false;  // a JPEG YCbCr page the codec hands out as RGB

    // Variables the page gives.
    int channels() const { return kind == Grey ? 1 : 3; }
    // Samples of a pixel that carry its colour (the rest are extra samples).
    int colourSamples() const { return kind == Rgb ? 3 : 1; }
    int64_t range() const { return kind != Palette && bits == 16 ? 65536 : 256; }
    size_t bytesPerSample() const { return bits / 8u; }
    bool operator==(const PageSpec& o) const {
        return kind == o.kind && width == o.width && height == o.height && samples == o.samples && bits == o.bits &&
               isSigned == o.isSigned && separate == o.separate && tiled == o.tiled && tileWidth == o.tileWidth &&
               tileHeight == o.tileHeight && jpegRgb == o.jpegRgb;
    }
};

std::string pageName(int page) { return "page " + std::to_string(page); }

// An open TIFF file whose library messages are kept, never printed: the first
// error becomes part of a refusal, warnings are dropped.
class TiffFile {
public:
    // No single allocation of libtiff's may exceed `maxAlloc` bytes.
    TiffFile(const std::string& path, uint64_t maxAlloc) {
        TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
        if (!options) return;
        const uint64_t cap = std::min<uint64_t>(maxAlloc, uint64_t(std::numeric_limits<tmsize_t>::max()));
        TIFFOpenOptionsSetMaxSingleMemAlloc(options, static_cast<tmsize_t>(cap));
        TIFFOpenOptionsSetErrorHandlerExtR(options, &TiffFile::onError, this);
        TIFFOpenOptionsSetWarningHandlerExtR(options, &TiffFile::onWarning, this);
        // "m": plain reads, not a mapping that a file cut short under us would
        // turn into a bus error.
        m_tif = TIFFOpenExt(path.c_str(), "rm", options);
        TIFFOpenOptionsFree(options);
    }
    ~TiffFile() {
        if (m_tif) TIFFClose(m_tif);
    }
    TiffFile(const TiffFile&) = delete;
    TiffFile& operator=(const TiffFile&) = delete;

    TIFF* get() const { return m_tif; }
    // libtiff's first error since the file was opened, or `fallback`.
    std::string error(const std::string& fallback) const { return m_error.empty() ? fallback : m_error; }

private:
    static int onError(TIFF*, void* self, const char* module, const char* format, va_list args) {
        auto* file = static_cast<TiffFile*>(self);
        if (file->m_error.empty()) {
            char text[512];
            std::vsnprintf(text, sizeof text, format, args);
            file->m_error = (module && *module ? std::string(module) + ": " : std::string()) + text;
        }
        return 1;  // handled: the process-wide handler stays silent
    }
    static int onWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

    TIFF* m_tif = nullptr;
    std::string m_error;
};

// Reads the current directory of `tif` as page `page`; throws a Refusal for a
// kind of page not read here.
PageSpec describe(TIFF* tif, int page) {
    const auto refuse = [page](const std::string& why) {
        return Refusal{MCV_LoadCode::TiffNotSupported, pageName(page) + " " + why};
    };
    PageSpec s;
    uint16_t samples = 1, bits = 1, format = SAMPLEFORMAT_UINT, planar = PLANARCONFIG_CONTIG;
    uint16_t photometric = 0, compression = COMPRESSION_NONE;
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &s.width) || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &s.height))
        throw refuse("declares no width or height");
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric)) throw refuse("declares no colour space");
    if (s.width == 0 || s.height == 0)
        throw refuse("has no pixels (" + std::to_string(s.width) + " x " + std::to_string(s.height) + ")");

    switch (format) {
        case SAMPLEFORMAT_UINT:
        case SAMPLEFORMAT_VOID:
            break;
        case SAMPLEFORMAT_INT:
            s.isSigned = true;
            break;
        case SAMPLEFORMAT_IEEEFP:
            throw refuse("holds " + std::to_string(bits) +
                         "-bit floating-point samples; only 8- and 16-bit integer samples are read");
        default:
            throw refuse("holds samples of format " + std::to_string(format) +
                         " (complex or unknown); only 8- and 16-bit integer samples are read");
    }
    if (bits != 8 && bits != 16)
        throw refuse("holds " + std::to_string(bits) + "-bit samples; only 8- and 16-bit integer samples are read");

    switch (photometric) {
        case PHOTOMETRIC_MINISBLACK:
        case PHOTOMETRIC_MINISWHITE:
            s.kind = PageSpec::Grey;
            break;
        case PHOTOMETRIC_RGB:
            s.kind = PageSpec::Rgb;
            break;
        case PHOTOMETRIC_PALETTE:
            s.kind = PageSpec::Palette;
            if (s.isSigned) throw refuse("is a palette image with signed indices");
            if (samples != 1)
                throw refuse("is a palette image with " + std::to_string(samples) +
                             " samples per pixel; palette images are read with one");
            break;
        case PHOTOMETRIC_YCBCR:
            if (compression == COMPRESSION_JPEG && planar == PLANARCONFIG_CONTIG && samples == 3 && bits == 8 &&
                !s.isSigned) {
                s.kind = PageSpec::Rgb;
                s.jpegRgb = true;
                break;
            }
            throw refuse("is YCbCr with compression " + std::to_string(compression) + " (" + std::to_string(samples) +
                         " samples of " + std::to_string(bits) +
                         " bits); YCbCr is read only from 8-bit JPEG pages of 3 samples");
        default:
            throw refuse("has colour space " + std::to_string(photometric) +
                         "; only grey, RGB and palette images are read");
    }
    if (samples < s.colourSamples())
        throw refuse("has " + std::to_string(samples) + " samples per pixel, fewer than its colour space needs");
    s.samples = samples;
    s.bits = bits;
    s.separate = planar == PLANARCONFIG_SEPARATE && samples > 1;
    s.tiled = TIFFIsTiled(tif) != 0;
    if (s.tiled) {
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &s.tileWidth);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &s.tileHeight);
        const uint64_t tileBytes = TIFFTileSize64(tif);
        if (s.tileWidth == 0 || s.tileHeight == 0 || tileBytes == 0 || tileBytes > kMaxTileBytes)
            throw refuse("has tiles of " + std::to_string(s.tileWidth) + " x " + std::to_string(s.tileHeight) +
                         " pixels, which cannot be read");
    }
    return s;
}

// Sets the directory up for decoding (the JPEG codec hands out RGB) and
// checks it still is what the first pass read.
void prepare(TIFF* tif, int page, const PageSpec& expected) {
    const PageSpec now = describe(tif, page);
    if (!(now == expected))
        throw Refusal{MCV_LoadCode::TiffNotSupported, pageName(page) + " changed while the stack was read"};
    if (now.jpegRgb) TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
}

// Writes channel values into the event matrix: row `y` of a page, from a row
// of raw samples.
class RowWriter {
public:
    RowWriter(const PageSpec& spec, float* matrix, size_t variables, size_t firstVariable, TIFF* tif, int page)
        : m_spec(spec), m_matrix(matrix), m_V(variables), m_v0(firstVariable) {
        if (spec.kind == PageSpec::Palette) {
            uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
            if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &r, &g, &b) || !r || !g || !b)
                throw Refusal{MCV_LoadCode::TiffNotSupported,
                              pageName(page) + " is a palette image without a colour map"};
            const size_t entries = size_t(1) << spec.bits;
            // Colour maps are 16-bit; some writers store 8-bit values in them.
            bool eightBit = true;
            for (size_t i = 0; i < entries && eightBit; ++i) eightBit = r[i] < 256 && g[i] < 256 && b[i] < 256;
            for (const uint16_t* map : {r, g, b}) {
                std::vector<float> channel(entries);
                for (size_t i = 0; i < entries; ++i)
                    channel[i] = eightBit ? map[i] : static_cast<float>(uint32_t(map[i]) * 255u / 65535u);
                m_palette.push_back(std::move(channel));
            }
        }
    }

    // `row` holds `count` channels per pixel from channel `first` on, one
    // sample every `stride` samples per pixel.
    void write(uint32_t y, const unsigned char* row, size_t stride, int first, int count) const {
        if (m_spec.bits == 8)
            m_spec.isSigned ? put(y, reinterpret_cast<const int8_t*>(row), stride, first, count)
                            : put(y, reinterpret_cast<const uint8_t*>(row), stride, first, count);
        else
            m_spec.isSigned ? put(y, reinterpret_cast<const int16_t*>(row), stride, first, count)
                            : put(y, reinterpret_cast<const uint16_t*>(row), stride, first, count);
    }

private:
    template <typename T>
    void put(uint32_t y, const T* row, size_t stride, int first, int count) const {
        float* out = m_matrix + size_t(y) * m_spec.width * m_V + m_v0 + size_t(first);
        if (!m_palette.empty()) {
            for (uint32_t x = 0; x < m_spec.width; ++x, out += m_V) {
                const size_t index = static_cast<size_t>(row[size_t(x) * stride]);
                for (int c = 0; c < 3; ++c) out[c] = m_palette[size_t(c)][index];
            }
            return;
        }
        for (uint32_t x = 0; x < m_spec.width; ++x, out += m_V)
            for (int c = 0; c < count; ++c) out[c] = static_cast<float>(row[size_t(x) * stride + size_t(c)]);
    }

    const PageSpec& m_spec;
    float* m_matrix;
    size_t m_V;
    size_t m_v0;
    std::vector<std::vector<float>> m_palette;
};

// Decodes the current directory of `tif` into its columns of the matrix.
void decode(TIFF* tif, int page, const PageSpec& spec, const RowWriter& writer, const TiffFile& file) {
    const auto failed = [&](const std::string& what) {
        return Refusal{MCV_LoadCode::TiffNotSupported,
                       pageName(page) + " cannot be decoded: " + file.error(what + " cannot be read")};
    };
    // Contiguous: one plane holding every sample of a pixel. Separate: one
    // plane per colour channel; extra samples are never read.
    const int planes = spec.separate ? spec.colourSamples() : 1;
    const size_t stride = spec.separate ? 1 : spec.samples;
    const size_t pixelBytes = stride * spec.bytesPerSample();
    const int perPlane = spec.separate ? 1 : spec.colourSamples();
    for (int plane = 0; plane < planes; ++plane) {
        const int first = spec.separate ? plane : 0;
        if (!spec.tiled) {
            const tmsize_t lineBytes = TIFFScanlineSize(tif);
            if (lineBytes <= 0 || uint64_t(lineBytes) < spec.width * pixelBytes) throw failed("the scanline size");
            std::vector<unsigned char> line(static_cast<size_t>(lineBytes));
            for (uint32_t y = 0; y < spec.height; ++y) {
                if (TIFFReadScanline(tif, line.data(), y, static_cast<uint16_t>(plane)) < 0)
                    throw failed("row " + std::to_string(y + 1));
                writer.write(y, line.data(), stride, first, perPlane);
            }
            continue;
        }
        const tmsize_t tileBytes = TIFFTileSize(tif);
        const size_t tileRow = size_t(spec.tileWidth) * pixelBytes;
        if (tileBytes <= 0 || uint64_t(tileBytes) < tileRow * spec.tileHeight) throw failed("the tile size");
        std::vector<unsigned char> tile(static_cast<size_t>(tileBytes));
        const size_t bandRow = size_t(spec.width) * pixelBytes;
        std::vector<unsigned char> band(bandRow * spec.tileHeight);
        for (uint32_t y0 = 0; y0 < spec.height; y0 += spec.tileHeight) {
            const uint32_t rows = std::min(spec.tileHeight, spec.height - y0);
            for (uint32_t x0 = 0; x0 < spec.width; x0 += spec.tileWidth) {
                if (TIFFReadTile(tif, tile.data(), x0, y0, 0, static_cast<uint16_t>(plane)) < 0)
                    throw failed("the tile at " + std::to_string(x0) + ", " + std::to_string(y0));
                const size_t bytes = size_t(std::min(spec.tileWidth, spec.width - x0)) * pixelBytes;
                for (uint32_t r = 0; r < rows; ++r)
                    std::copy_n(tile.data() + r * tileRow, bytes, band.data() + r * bandRow + size_t(x0) * pixelBytes);
            }
            for (uint32_t r = 0; r < rows; ++r)
                writer.write(y0 + r, band.data() + r * bandRow, stride, first, perPlane);
        }
    }
}

// The pages of one file of the stack.
struct StackFile {
    std::string path;
    std::string stem;
    std::vector<PageSpec> pages;
};

// Opens `path` for reading; throws CannotOpen or TiffNotSupported.
std::unique_ptr<TiffFile> open(const std::string& path, uint64_t maxAlloc) {
    const QFileInfo info(QString::fromStdString(path));
    if (!info.exists()) throw Refusal{MCV_LoadCode::CannotOpen, "cannot be opened: there is no such file"};
    if (info.isDir()) throw Refusal{MCV_LoadCode::CannotOpen, "cannot be opened: it is a folder, not a file"};
    if (!info.isFile()) throw Refusal{MCV_LoadCode::CannotOpen, "cannot be opened: it is not a regular file"};
    if (!info.isReadable()) throw Refusal{MCV_LoadCode::CannotOpen, "cannot be opened: it may not be read"};
    auto file = std::make_unique<TiffFile>(path, maxAlloc);
    if (!file->get())
        throw Refusal{MCV_LoadCode::TiffNotSupported,
                      "is not a TIFF file that can be read: " + file->error("no TIFF header")};
    return file;
}

// Reads every directory of `file.path` into `file.pages` without decoding.
void survey(StackFile* file, uint64_t maxAlloc) {
    const std::unique_ptr<TiffFile> tiff = open(file->path, maxAlloc);
    for (int page = 1;; ++page) {
        file->pages.push_back(describe(tiff->get(), page));
        if (TIFFLastDirectory(tiff->get())) return;
        if (!TIFFReadDirectory(tiff->get()))
            throw Refusal{MCV_LoadCode::TiffNotSupported,
                          pageName(page + 1) + " cannot be read: " + tiff->error("its directory is missing")};
    }
}

std::string sizeText(uint32_t width, uint32_t height) { return std::to_string(width) + " x " + std::to_string(height); }

}  // namespace

uint64_t MCV_ImageLoader::physicalMemoryLimit() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return uint64_t(2) << 30;
    return uint64_t(pages) / 2 * uint64_t(pageSize);
}

void MCV_ImageLoader::init() {
    m_textHeader.clear();
    m_message.clear();
}

std::string MCV_ImageLoader::textHeader() const { return m_textHeader; }

fcsVariable MCV_ImageLoader::initVariable(std::string name) const {
    fcsVariable v;
    v.name = name;
    v.label = name;
    v.range = 1;
    v.bits = 32;
    v.exponent = 0.0;
    return v;
}

int MCV_ImageLoader::refuse(int code, const std::string& path, const std::string& why) {
    m_message = path.empty() ? why : path + ": " + why;
    std::cout << "[ERROR] Image stack refused: " << m_message << "\n";
    return code;
}

int MCV_ImageLoader::loadFromFiles(std::vector<std::string>* paths, MCV_FcsHeader** header, float** data) {
    m_message.clear();
    if (!header || !data) return MCV_LoadCode::NoMatrix;
    *header = nullptr;
    *data = nullptr;
    if (!paths || paths->empty()) return refuse(MCV_LoadCode::NoMatrix, "", "no file given");

    std::string current = paths->front();
    try {
        // First pass: every directory, so that sizes are known before any
        // sample is decoded.
        std::vector<StackFile> files;
        std::map<std::string, int> stems;
        for (const std::string& path : *paths) {
            current = path;
            StackFile file{path, QFileInfo(QString::fromStdString(path)).completeBaseName().toStdString(), {}};
            const int seen = ++stems[file.stem];
            if (seen > 1) file.stem += " (" + std::to_string(seen) + ")";
            survey(&file, m_memoryLimit);
            const PageSpec& first = files.empty() ? file.pages.front() : files.front().pages.front();
            for (size_t p = 0; p < file.pages.size(); ++p)
                if (file.pages[p].width != first.width || file.pages[p].height != first.height)
                    return refuse(MCV_LoadCode::ImagesNotMatching, path,
                                  pageName(static_cast<int>(p + 1)) + " of " +
                                      sizeText(file.pages[p].width, file.pages[p].height) + " pixels in a stack of " +
                                      sizeText(first.width, first.height));
            files.push_back(std::move(file));
        }
        current = paths->front();

        const PageSpec& first = files.front().pages.front();
        const uint64_t pixels = uint64_t(first.width) * first.height;
        uint64_t variables = 0, pages = 0;
        for (const StackFile& file : files)
            for (const PageSpec& page : file.pages) variables += uint64_t(page.channels()), ++pages;
        const std::string declared = std::to_string(pages) + (pages == 1 ? " page" : " pages") + " of " +
                                     sizeText(first.width, first.height) + " pixels, " + std::to_string(variables) +
                                     (variables == 1 ? " variable" : " variables");
        // Events and variables are counted in 32 bits.
        const uint64_t intMax = uint64_t(std::numeric_limits<int>::max());
        if (pixels > intMax || variables > intMax)
            return refuse(MCV_LoadCode::OutOfMemory, current,
                          declared + ": more than " + std::to_string(intMax) + " pixels or variables");
        const uint64_t bytes = pixels * variables * sizeof(float);
        if (bytes > m_memoryLimit || bytes > std::numeric_limits<size_t>::max())
            return refuse(MCV_LoadCode::OutOfMemory, current,
                          declared + " need " + std::to_string(bytes) + " bytes as floats, more than the " +
                              std::to_string(m_memoryLimit) + " bytes allowed");

        const size_t V = static_cast<size_t>(variables);
        std::unique_ptr<float[]> matrix(new (std::nothrow) float[static_cast<size_t>(pixels) * V]);
        if (!matrix)
            return refuse(MCV_LoadCode::OutOfMemory, current,
                          declared + ": " + std::to_string(bytes) + " bytes cannot be allocated");

        auto result = std::make_unique<MCV_FcsHeader>(nullptr);
        result->setFileName(paths->front());
        result->setNumEvents(static_cast<int>(pixels));
        result->setWidth(static_cast<int>(first.width));
        result->setHeight(static_cast<int>(first.height));
        for (auto set : {&MCV_FcsHeader::setStartTime, &MCV_FcsHeader::setStopTime, &MCV_FcsHeader::setCytometry,
                         &MCV_FcsHeader::setDate, &MCV_FcsHeader::setByteOrder, &MCV_FcsHeader::setDataType,
                         &MCV_FcsHeader::setSystem, &MCV_FcsHeader::setProject, &MCV_FcsHeader::setExperiment,
                         &MCV_FcsHeader::setCells, &MCV_FcsHeader::setCreator})
            (result.get()->*set)("-1");
        result->createVariables(static_cast<int>(variables));

        // Second pass: decode every page straight into its columns.
        static const char* const colour[] = {" Red", " Green", " Blue"};
        size_t v0 = 0;
        for (const StackFile& file : files) {
            current = file.path;
            const std::unique_ptr<TiffFile> tiff = open(file.path, m_memoryLimit);
            for (size_t p = 0; p < file.pages.size(); ++p) {
                const int page = static_cast<int>(p + 1);
                if (p > 0 && !TIFFReadDirectory(tiff->get()))
                    throw Refusal{MCV_LoadCode::TiffNotSupported,
                                  pageName(page) + " cannot be read: " + tiff->error("its directory is missing")};
                const PageSpec& spec = file.pages[p];
                prepare(tiff->get(), page, spec);
                const std::string name = file.pages.size() > 1 ? file.stem + " " + pageName(page) : file.stem;
                const int channels = spec.channels();
                for (int c = 0; c < channels; ++c) {
                    fcsVariable variable = initVariable(channels == 1 ? name : name + colour[c]);
                    variable.range = spec.range();
                    result->setVariable(static_cast<int>(v0) + c, variable);
                }
                const RowWriter writer(spec, matrix.get(), V, v0, tiff->get(), page);
                decode(tiff->get(), page, spec, writer, *tiff);
                v0 += static_cast<size_t>(channels);
            }
        }

        *header = result.release();
        *data = matrix.release();
        return MCV_LoadCode::Success;
    } catch (const Refusal& r) {
        return refuse(r.code, current, r.why);
    } catch (const std::bad_alloc&) {
        return refuse(MCV_LoadCode::OutOfMemory, current, "not enough memory");
    }
}
