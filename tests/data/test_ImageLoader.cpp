// Image stacks: TIFF pages of 8- or 16-bit grey or RGB become variables of one
// data set whose events are the pixels; refused stacks load nothing.
#include "TiffTestFile.h"

#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataImage.h"
#include "data/MCV_FcsHeader.h"
#include "data/MCV_ImageLoader.h"
#include "data/MCV_Messages.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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
    // Loads `paths`; the code, and the header and matrix when loaded.
    int load(std::vector<std::string> paths) {
        MCV_FcsHeader* h = nullptr;
        float* d = nullptr;
        MCV_ImageLoader loader;
        loader.init();
        const int code = loader.loadFromFiles(&paths, &h, &d);
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
    const std::string junk = path("junk.tif");
    {
        QFile f(dir.filePath("junk.tif"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("II*\0 this is no image at all", 28);
    }
    const struct {
        const char* what;
        std::vector<std::string> paths;
        int code;
    } cases[] = {
        {"no file", {}, MCV_LoadCode::NoMatrix},
        {"missing", {path("missing.tif")}, MCV_LoadCode::CannotOpen},
        {"a folder", {dir.path().toStdString()}, MCV_LoadCode::CannotOpen},
        {"good, then missing", {good, path("missing.tif")}, MCV_LoadCode::CannotOpen},
        {"not an image", {junk}, MCV_LoadCode::TiffNotSupported},
        {"1-bit page", {mono}, MCV_LoadCode::TiffNotSupported},
        {"pages of two sizes", {mixed}, MCV_LoadCode::ImagesNotMatching},
        {"files of two sizes", {good, other}, MCV_LoadCode::ImagesNotMatching},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(load(c.paths), c.code);
        EXPECT_EQ(header, nullptr);
        EXPECT_EQ(data, nullptr);
        std::unique_ptr<MCV_CytometryData> set = MCV_CytometryData::createDetached();
        set->init(nullptr);
        std::vector<std::string> paths = c.paths;
        EXPECT_EQ(set->loadFromFiles(&paths), c.code);
        EXPECT_EQ(set->numFiles(), 0);
        EXPECT_EQ(set->combinedHeader(), nullptr);
    }
    EXPECT_EQ(MCV_loadMessage(MCV_LoadCode::ImagesNotMatching), "Error code 7: Images not matching.");
}

}  // namespace
