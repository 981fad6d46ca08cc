// Image stacks: TIFF pages of 8- or 16-bit grey or RGB become variables of one
// data set whose events are the pixels, with the samples as stored; refused
// stacks load nothing and say which file and page.
#include "TiffTestFile.h"

#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataImage.h"
#include "data/MCV_FcsHeader.h"
#include "data/MCV_ImageLoader.h"
#include "data/MCV_Messages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

class ImageLoader : public ::testing::Test {
protected:
    std::string path(const QString& name) const { return dir.filePath(name).toStdString(); }
    std::string writeImage(const QString& name, const QImage& image) {
        QImageWriter writer(dir.filePath(name), "tiff");
        EXPECT_TRUE(writer.write(image)) << writer.errorString().toStdString();
        return path(name);
    }
    std::string writeStack(const QString& name, const std::vector<TiffPage>& pages) {
        EXPECT_TRUE(writeTiff(dir.filePath(name), pages));
        return path(name);
    }
    std::string writeBytes(const QString& name, const std::string& bytes) {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes.data(), static_cast<qint64>(bytes.size()));
        return path(name);
    }
    // Loads `paths`; the code, and the header and matrix when loaded.
    int load(std::vector<std::string> paths) {
        MCV_FcsHeader* h = nullptr;
        float* d = nullptr;
        MCV_ImageLoader loader;
        loader.init();
        const int code = loader.loadFromFiles(&paths, &h, &d);
        message = loader.message();
        header.reset(h);
        data.reset(d);
        return code;
    }
    static std::vector<std::string> names(const MCV_FcsHeader* h) {
        std::vector<std::string> n;
        for (int i = 0; i < h->numVariables(); ++i) n.push_back(h->variableName(i));
        return n;
    }
    float value(int x, int y, int variable) const {
        return data[static_cast<size_t>((y * header->width() + x) * header->numVariables() + variable)];
    }

    QTemporaryDir dir;
    std::unique_ptr<MCV_FcsHeader> header;
    std::unique_ptr<float[]> data;
    std::string message;
};

QImage filled(int w, int h, QImage::Format format, const std::function<void(QImage&, int, int)>& set) {
    QImage image(w, h, format);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) set(image, x, y);
    return image;
}

TEST_F(ImageLoader, EachKindOfPageGivesItsRawSamplesPerPixelInRowOrder) {
    const auto grey16 = [](QImage& im, int x, int y) {
        reinterpret_cast<quint16*>(im.scanLine(y))[x] = static_cast<quint16>(65535 - 1000 * x - 7 * y);
    };
    QImage palette(4, 3, QImage::Format_Indexed8);
    palette.setColorTable({qRgb(200, 10, 0), qRgb(0, 20, 250)});
    palette.fill(0);
    palette.setPixel(2, 1, 1);
    const struct {
        const char* file;
        QImage image;
        std::vector<std::string> names;
        std::vector<float> at21, at00;  // pixel (2, 1) and (0, 0), one value per variable
        int64_t range;
    } cases[] = {
        {"grey8.tif",
         filled(4, 3, QImage::Format_Grayscale8,
                [](QImage& im, int x, int y) { im.scanLine(y)[x] = uchar(x + 10 * y); }),
         {"grey8"},
         {12},
         {0},
         256},
        {"grey16.tiff", filled(4, 3, QImage::Format_Grayscale16, grey16), {"grey16"}, {63528}, {65535}, 65536},
        {"rgb.tif",
         filled(4, 3, QImage::Format_RGB888, [](QImage& im, int x, int y) { im.setPixel(x, y, qRgb(x, y, 255)); }),
         {"rgb Red", "rgb Green", "rgb Blue"},
         {2, 1, 255},
         {0, 0, 255},
         256},
        {"palette.tif", palette, {"palette Red", "palette Green", "palette Blue"}, {0, 20, 250}, {200, 10, 0}, 256},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        ASSERT_EQ(load({writeImage(c.file, c.image)}), MCV_LoadCode::Success);
        EXPECT_EQ(names(header.get()), c.names);
        EXPECT_EQ(header->width() * 100 + header->height(), 403);
        EXPECT_EQ(header->numEvents(), 12);
        EXPECT_EQ(header->fileName(), path(c.file));
        EXPECT_EQ(*header->markerList(0), c.names);
        for (size_t v = 0; v < c.names.size(); ++v) {
            EXPECT_EQ(value(2, 1, static_cast<int>(v)), c.at21[v]) << v;
            EXPECT_EQ(value(0, 0, static_cast<int>(v)), c.at00[v]) << v;
            EXPECT_EQ(header->variable(static_cast<int>(v))->range, c.range);
        }
    }
}

TEST_F(ImageLoader, AStackOfFilesAndPagesKeepsTheirOrderUnderNamesTheUserCanTellApart) {
    const std::string stack = writeStack(
        "stack.tif", {TiffPage::make(3, 2, 1, 8, [](int x, int y, int) { return x + 10 * y; }),
                      TiffPage::make(3, 2, 1, 16, [](int x, int y, int) { return 20000 + 1000 * x + y; }),
                      TiffPage::make(3, 2, 3, 16, [](int x, int y, int s) { return 300 * x + y + 20000 * s; }),
                      TiffPage::make(3, 2, 3, 8, [](int x, int y, int s) { return x + y + 100 * s; })});
    const std::string single = writeStack("b.tif", {TiffPage::make(3, 2, 1, 8, [](int x, int, int) { return 7 * x; })});
    ASSERT_TRUE(QDir(dir.path()).mkdir("again"));
    const std::string twin = writeStack("again/b.tif", {TiffPage::make(3, 2, 1, 8, [](int, int y, int) { return y; })});

    std::unique_ptr<MCV_CytometryData> set = MCV_CytometryData::createDetached();
    set->init(nullptr);
    std::vector<std::string> paths = {stack, single, twin};
    ASSERT_EQ(set->loadFromFiles(&paths), MCV_LoadCode::Success);
    const std::vector<std::string> expected = {"stack page 1",
                                               "stack page 2",
                                               "stack page 3 Red",
                                               "stack page 3 Green",
                                               "stack page 3 Blue",
                                               "stack page 4 Red",
                                               "stack page 4 Green",
                                               "stack page 4 Blue",
                                               "b",
                                               "b (2)"};
    EXPECT_EQ(names(set->header(0)), expected);
    EXPECT_EQ(names(set->combinedHeader()), expected);
    ASSERT_EQ(set->numFiles(), 1);
    EXPECT_EQ(set->fileName(0, false), stack);
    EXPECT_EQ(set->header(0)->numEvents(), 6);

    const float* m = set->rawData(0);
    const auto at = [m](int x, int y, int v) { return m[(y * 3 + x) * 10 + v]; };
    const struct {
        int x, y;
        std::vector<float> values;
    } pixels[] = {
        {0, 0, {0, 20000, 0, 20000, 40000, 0, 100, 200, 0, 0}},
        {2, 1, {12, 22001, 601, 20601, 40601, 3, 103, 203, 14, 1}},
    };
    for (const auto& p : pixels)
        for (int v = 0; v < 10; ++v) EXPECT_EQ(at(p.x, p.y, v), p.values[static_cast<size_t>(v)]) << p.x << p.y << v;

    // The image set of the loaded stack: one point per pixel of file 0.
    set->initAllDerviedDataPointer();
    MCV_DerivedDataImage* image = set->derivedDataImage("All Points - Image", true);
    EXPECT_EQ(std::make_pair(image->width(), image->height()), std::make_pair(3, 2));
    EXPECT_EQ(image->data(), (std::vector<std::pair<int, int>>{{0, 0}, {0, 1}, {0, 2}, {0, 3}, {0, 4}, {0, 5}}));
}

TEST_F(ImageLoader, ARefusedStackLoadsNothingAndSaysWhy) {
    const auto grey = [](int w, int h) { return TiffPage::make(w, h, 1, 8, [](int x, int, int) { return x; }); };
    const std::string good = writeStack("good.tif", {grey(4, 3)});
    const std::string mixed = writeStack("mixed.tif", {grey(4, 3), grey(3, 4)});
    const std::string other = writeStack("other.tif", {grey(5, 3)});
    const std::string mono = writeImage("mono.tif", filled(4, 3, QImage::Format_Mono, [](QImage& im, int x, int y) {
                                            im.setPixel(x, y, uint((x + y) % 2));
                                        }));
    const std::string junk = writeBytes("junk.tif", std::string("II*\0 this is no image at all", 28));
    const std::string empty = writeBytes("empty.tif", "");

    // A stack cut to half its bytes: its second page's directory is gone.
    const std::string cut = writeStack("cut.tif", {grey(40, 30), grey(40, 30), grey(40, 30)});
    const qint64 full = QFileInfo(QString::fromStdString(cut)).size();
    ASSERT_TRUE(QFile::resize(QString::fromStdString(cut), full / 2));
    // A strip that holds half the bytes its page needs.
    TiffPage half = grey(40, 30);
    half.raw = true;
    half.rawStrip = half.packed(0, 40, 0, 15, 0);
    const std::string shortStrip = writeStack("short.tif", {half});
    // A compressed strip of garbage.
    TiffPage garbled = grey(40, 30);
    garbled.compression = COMPRESSION_ADOBE_DEFLATE;
    garbled.raw = true;
    garbled.rawStrip = std::string(64, '\x55');
    const std::string badStrip = writeStack("garbled.tif", {garbled});
    TiffPage floats = TiffPage::make(4, 3, 1, 32, [](int x, int y, int) { return 0.5 * x + y; });
    floats.format = SAMPLEFORMAT_IEEEFP;
    const std::string floatPage = writeStack("float.tif", {grey(4, 3), floats});
    TiffPage cmyk = TiffPage::make(4, 3, 4, 8, [](int x, int, int s) { return x + s; });
    cmyk.photometric = PHOTOMETRIC_SEPARATED;
    const std::string separated = writeStack("cmyk.tif", {cmyk});

    const struct {
        const char* what;
        std::vector<std::string> paths;
        int code;
        std::string says;  // part of the message, after the file
    } cases[] = {
        {"no file", {}, MCV_LoadCode::NoMatrix, "no file given"},
        {"missing", {path("missing.tif")}, MCV_LoadCode::CannotOpen, "cannot be opened: there is no such file"},
        {"a folder", {dir.path().toStdString()}, MCV_LoadCode::CannotOpen, "it is a folder, not a file"},
        {"good, then missing", {good, path("missing.tif")}, MCV_LoadCode::CannotOpen, "cannot be opened"},
        {"not an image", {junk}, MCV_LoadCode::TiffNotSupported, "is not a TIFF file"},
        {"an empty file", {empty}, MCV_LoadCode::TiffNotSupported, "is not a TIFF file"},
        {"1-bit page", {mono}, MCV_LoadCode::TiffNotSupported, "page 1 holds 1-bit samples"},
        {"stack cut short", {cut}, MCV_LoadCode::TiffNotSupported, "page 2 cannot be read"},
        {"strip cut short",
         {writeStack("good40.tif", {grey(40, 30)}), shortStrip},
         MCV_LoadCode::TiffNotSupported,
         "page 1 cannot be decoded"},
        {"garbled strip", {badStrip}, MCV_LoadCode::TiffNotSupported, "page 1 cannot be decoded"},
        {"float page", {floatPage}, MCV_LoadCode::TiffNotSupported, "page 2 holds 32-bit floating-point samples"},
        {"CMYK page", {separated}, MCV_LoadCode::TiffNotSupported, "page 1 has colour space 5"},
        {"pages of two sizes", {mixed}, MCV_LoadCode::ImagesNotMatching, "page 2 of 3 x 4 pixels in a stack of 4 x 3"},
        {"files of two sizes", {good, other}, MCV_LoadCode::ImagesNotMatching, "page 1 of 5 x 3 pixels"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        testing::internal::CaptureStderr();
        EXPECT_EQ(load(c.paths), c.code);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "libtiff's messages stay off the terminal";
        EXPECT_EQ(header, nullptr);
        EXPECT_EQ(data, nullptr);
        EXPECT_NE(message.find(c.says), std::string::npos) << message;
        if (!c.paths.empty()) {
            EXPECT_EQ(message.rfind(c.paths.back() + ": ", 0), 0u) << message;
        }
        std::unique_ptr<MCV_CytometryData> set = MCV_CytometryData::createDetached();
        set->init(nullptr);
        std::vector<std::string> paths = c.paths;
        EXPECT_EQ(set->loadFromFiles(&paths), c.code);
        EXPECT_EQ(set->numFiles(), 0);
        EXPECT_EQ(set->combinedHeader(), nullptr);
    }
    EXPECT_EQ(MCV_loadMessage(MCV_LoadCode::ImagesNotMatching), "Error code 7: Images not matching.");
}

// Grey pages give their raw samples whatever their photometric interpretation,
// alpha is left out, RGB(A) keeps its unassociated samples, signed samples
// their sign; tiles, separate planes and compressed strips read the same.
TEST_F(ImageLoader, SamplesAreReadAsStoredNotAsDisplayed) {
    const auto page = [](int samples, int bits, auto f) { return TiffPage::make(13, 7, samples, bits, f); };
    const auto mix = [](int x, int y, int s) { return (37 * x + 91 * y + 53 * s) % 256; };
    TiffPage whiteIsZero8 = page(1, 8, mix);
    whiteIsZero8.photometric = PHOTOMETRIC_MINISWHITE;
    TiffPage whiteIsZero16 = page(1, 16, [](int x, int y, int) { return 65535 - 997 * x - 5003 * y; });
    whiteIsZero16.photometric = PHOTOMETRIC_MINISWHITE;
    TiffPage greyAlpha = page(2, 8, mix);
    greyAlpha.extra = 1;
    TiffPage rgba = page(4, 8, mix);
    rgba.extra = 1;
    TiffPage rgba16 = page(4, 16, [](int x, int y, int s) { return (4099 * x + 601 * y + 9001 * s) % 65536; });
    rgba16.extra = 1;
    TiffPage signed16 = page(1, 16, [](int x, int y, int) { return x == 0 && y == 0 ? -12701 : 5000 * x - 32768 + y; });
    signed16.format = SAMPLEFORMAT_INT;
    TiffPage signed8 = page(1, 8, [](int x, int y, int) { return 20 * x - 128 + y; });
    signed8.format = SAMPLEFORMAT_INT;
    TiffPage tiledPlanes = page(3, 16, [](int x, int y, int s) { return 1000 * x + y + 20000 * s; });
    tiledPlanes.tile = 16;
    tiledPlanes.separate = true;
    TiffPage deflateStrips = page(3, 8, mix);
    deflateStrips.compression = COMPRESSION_ADOBE_DEFLATE;
    deflateStrips.rowsPerStrip = 2;
    const struct {
        const char* file;
        TiffPage page;
        int channels;
        int64_t range;
    } cases[] = {
        {"white0", whiteIsZero8, 1, 256},
        {"white0-16", whiteIsZero16, 1, 65536},
        {"grey+alpha", greyAlpha, 1, 256},
        {"rgba", rgba, 3, 256},
        {"rgba16", rgba16, 3, 65536},
        {"signed16", signed16, 1, 65536},
        {"signed8", signed8, 1, 256},
        {"tiled planes", tiledPlanes, 3, 65536},
        {"deflate strips", deflateStrips, 3, 256},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        ASSERT_EQ(load({writeStack(QString(c.file) + ".tif", {c.page})}), MCV_LoadCode::Success) << message;
        ASSERT_EQ(header->numVariables(), c.channels);
        EXPECT_EQ(names(header.get()).front(), c.channels == 1 ? c.file : std::string(c.file) + " Red");
        EXPECT_EQ(header->variable(0)->range, c.range);
        int wrong = 0;
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 13; ++x)
                for (int v = 0; v < c.channels; ++v) {
                    const double stored = c.page.values[size_t((y * 13 + x) * c.page.samples + v)];
                    wrong += value(x, y, v) != static_cast<float>(stored);
                }
        EXPECT_EQ(wrong, 0);
    }
}

// A JPEG-compressed YCbCr page is a colour photograph: its codec hands out RGB.
TEST_F(ImageLoader, AJpegColourPageGivesItsRedGreenAndBlue) {
    if (!TIFFIsCODECConfigured(COMPRESSION_JPEG)) GTEST_SKIP() << "libtiff is built without JPEG";
    const auto smooth = [](int x, int y, int s) { return s == 0 ? 40 + 4 * x : s == 1 ? 200 - 3 * y : 120; };
    TiffPage jpeg = TiffPage::make(48, 32, 3, 8, smooth);
    jpeg.photometric = PHOTOMETRIC_YCBCR;
    jpeg.compression = COMPRESSION_JPEG;
    jpeg.rowsPerStrip = 16;
    ASSERT_EQ(load({writeStack("photo.tif", {jpeg})}), MCV_LoadCode::Success) << message;
    EXPECT_EQ(names(header.get()), (std::vector<std::string>{"photo Red", "photo Green", "photo Blue"}));
    int far = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 48; ++x)
            for (int c = 0; c < 3; ++c) far += std::abs(value(x, y, c) - float(smooth(x, y, c))) > 6.0f;
    EXPECT_EQ(far, 0) << "a lossy codec moves a sample by a few levels, a wrong colour space by far more";
}

// Every page's directory is read first: a stack whose declared sizes do not
// fit is refused before one sample is decoded, however small the file.
TEST_F(ImageLoader, AStackTooLargeForMemoryIsRefusedBeforeDecoding) {
    // The empty zlib stream: a strip that would fail to decode.
    TiffPage huge;
    huge.width = huge.height = 46000;
    huge.samples = 3;
    huge.compression = COMPRESSION_ADOBE_DEFLATE;
    huge.raw = true;
    huge.rawStrip = std::string("\x78\x9c\x03\x00\x00\x00\x00\x01", 8);
    const std::string tiny = writeStack("huge.tif", std::vector<TiffPage>(16, huge));
    ASSERT_LT(QFileInfo(QString::fromStdString(tiny)).size(), 10000);
    const std::string small =
        writeStack("small.tif", {TiffPage::make(64, 64, 1, 8, [](int x, int, int) { return x; })});

    const struct {
        const char* what;
        std::string file;
        uint64_t limit;  // 0: the measured one
        std::string says;
    } cases[] = {
        {"16 huge pages, measured limit", tiny, 0,
         "16 pages of 46000 x 46000 pixels, 48 variables need 406272000000 bytes"},
        {"a small page, a lower limit", small, 16383,
         "1 page of 64 x 64 pixels, 1 variable need 16384 bytes as floats, more than the 16383 bytes allowed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MCV_ImageLoader loader;
        loader.init();
        if (c.limit) loader.setMemoryLimit(c.limit);
        EXPECT_EQ(loader.memoryLimit(), c.limit ? c.limit : MCV_ImageLoader::physicalMemoryLimit());
        MCV_FcsHeader* h = nullptr;
        float* d = nullptr;
        std::vector<std::string> paths = {c.file};
        EXPECT_EQ(loader.loadFromFiles(&paths, &h, &d), MCV_LoadCode::OutOfMemory);
        EXPECT_EQ(h, nullptr);
        EXPECT_EQ(d, nullptr);
        EXPECT_NE(loader.message().find(c.says), std::string::npos) << loader.message();
    }
    // One byte more and the small page loads.
    MCV_ImageLoader loader;
    loader.setMemoryLimit(16384);
    MCV_FcsHeader* h = nullptr;
    float* d = nullptr;
    std::vector<std::string> paths = {small};
    EXPECT_EQ(loader.loadFromFiles(&paths, &h, &d), MCV_LoadCode::Success);
    EXPECT_TRUE(loader.message().empty());
    delete h;
    delete[] d;
    EXPECT_GT(MCV_ImageLoader::physicalMemoryLimit(), uint64_t(1) << 20);
}

}  // namespace
