#include "data/MCV_ImageLoader.h"

#include "data/MCV_FcsHeader.h"
#include "data/MCV_Messages.h"

#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QRgba64>
#include <QString>

#include <cstdint>
#include <iostream>
#include <limits>
#include <map>
#include <memory>
#include <new>

namespace {

// A decoded page in one of the four layouts read here.
struct Page {
    enum Kind { Grey8, Grey16, Rgb8, Rgb16 };
    QImage image;  // Grayscale8, Grayscale16, ARGB32 or RGBA64
    Kind kind = Grey8;
    std::string name;  // the variable name, or its stem for RGB pages
    int channels() const { return kind == Rgb8 || kind == Rgb16 ? 3 : 1; }
    int64_t range() const { return kind == Grey16 || kind == Rgb16 ? 65536 : 256; }
};

bool isWide(QImage::Format format) {
    switch (format) {
        case QImage::Format_RGBX64:
        case QImage::Format_RGBA64:
        case QImage::Format_RGBA64_Premultiplied:
        case QImage::Format_BGR30:
        case QImage::Format_A2BGR30_Premultiplied:
        case QImage::Format_RGB30:
        case QImage::Format_A2RGB30_Premultiplied:
            return true;
        default:
            return false;
    }
}

// Brings a decoded page into its layout; false for a kind of page that is
// neither grey nor RGB of 8 or 16 bits.
bool classify(QImage image, Page* page) {
    switch (image.format()) {
        case QImage::Format_Invalid:
        case QImage::Format_Mono:
        case QImage::Format_MonoLSB:
        case QImage::Format_Alpha8:
            return false;
        case QImage::Format_Grayscale8:
            page->kind = Page::Grey8;
            page->image = image;
            return true;
        case QImage::Format_Grayscale16:
            page->kind = Page::Grey16;
            page->image = image;
            return true;
        default:
            break;
    }
    if (isWide(image.format())) {
        page->kind = Page::Rgb16;
        page->image = image.convertToFormat(QImage::Format_RGBA64);
    } else {
        page->kind = Page::Rgb8;
        page->image = image.convertToFormat(QImage::Format_ARGB32);
    }
    return !page->image.isNull();
}

int refuse(int code, const std::string& path, const std::string& why) {
    std::cout << "[ERROR] Image stack refused: " << path << ": " << why << "\n";
    return code;
}

// Reads every page of `path` into `pages`; a result code.
int readFile(const std::string& path, const std::string& stem, std::vector<Page>* pages) {
    const QString file = QString::fromStdString(path);
    const QFileInfo info(file);
    if (!info.isFile() || !info.isReadable()) return refuse(MCV_LoadCode::CannotOpen, path, "cannot be opened");

    QImageReader reader(file);
    // Asked before anything is read: the TIFF reader counts the pages of a
    // fresh file only.
    const int count = std::max(reader.imageCount(), 1);
    for (int i = 0; i < count; ++i) {
        if (i > 0 && !reader.jumpToImage(i))
            return refuse(MCV_LoadCode::TiffNotSupported, path, "page " + std::to_string(i + 1) + " cannot be read");
        const QImage image = reader.read();
        if (image.isNull()) {
            const bool gone =
                reader.error() == QImageReader::FileNotFoundError || reader.error() == QImageReader::DeviceError;
            return refuse(gone ? MCV_LoadCode::CannotOpen : MCV_LoadCode::TiffNotSupported, path,
                          "page " + std::to_string(i + 1) + ": " + reader.errorString().toStdString());
        }
        Page page;
        if (!classify(image, &page))
            return refuse(MCV_LoadCode::TiffNotSupported, path,
                          "page " + std::to_string(i + 1) + " is neither grey nor RGB of 8 or 16 bits");
        page.name = count > 1 ? stem + " page " + std::to_string(i + 1) : stem;
        pages->push_back(std::move(page));
    }
    return MCV_LoadCode::Success;
}

// Sample c of pixel x of row `line` of a page.
float sample(const Page& page, const uchar* line, int x, int c) {
    switch (page.kind) {
        case Page::Grey8:
            return line[x];
        case Page::Grey16:
            return reinterpret_cast<const quint16*>(line)[x];
        case Page::Rgb8: {
            const QRgb p = reinterpret_cast<const QRgb*>(line)[x];
            return c == 0 ? qRed(p) : c == 1 ? qGreen(p) : qBlue(p);
        }
        case Page::Rgb16: {
            const QRgba64 p = reinterpret_cast<const QRgba64*>(line)[x];
            return c == 0 ? p.red() : c == 1 ? p.green() : p.blue();
        }
    }
    return 0.0f;
}

}  // namespace

void MCV_ImageLoader::init() { m_textHeader.clear(); }

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

int MCV_ImageLoader::loadFromFiles(std::vector<std::string>* paths, MCV_FcsHeader** header, float** data) {
    if (!header || !data) return MCV_LoadCode::NoMatrix;
    *header = nullptr;
    *data = nullptr;
    if (!paths || paths->empty()) return MCV_LoadCode::NoMatrix;

    try {
        std::vector<Page> pages;
        std::map<std::string, int> stems;
        for (const std::string& path : *paths) {
            std::string stem = QFileInfo(QString::fromStdString(path)).completeBaseName().toStdString();
            const int seen = ++stems[stem];
            if (seen > 1) stem += " (" + std::to_string(seen) + ")";
            const size_t first = pages.size();
            if (const int code = readFile(path, stem, &pages)) return code;
            const QSize size = pages.front().image.size();
            for (size_t p = first; p < pages.size(); ++p)
                if (pages[p].image.size() != size)
                    return refuse(MCV_LoadCode::ImagesNotMatching, path,
                                  "a page of " + std::to_string(pages[p].image.width()) + " x " +
                                      std::to_string(pages[p].image.height()) + " pixels in a stack of " +
                                      std::to_string(size.width()) + " x " + std::to_string(size.height()));
        }

        const int width = pages.front().image.width();
        const int height = pages.front().image.height();
        const int64_t pixels = int64_t(width) * height;
        int64_t variables = 0;
        for (const Page& page : pages) variables += page.channels();
        // Events are counted and indexed in 32 bits.
        if (pixels > std::numeric_limits<int>::max() || variables > std::numeric_limits<int>::max() ||
            uint64_t(pixels) * uint64_t(variables) > std::numeric_limits<size_t>::max() / sizeof(float))
            return refuse(MCV_LoadCode::OutOfMemory, paths->front(), "too many pixels");
        const size_t V = static_cast<size_t>(variables);
        std::unique_ptr<float[]> matrix(new (std::nothrow) float[static_cast<size_t>(pixels) * V]);
        if (!matrix) return refuse(MCV_LoadCode::OutOfMemory, paths->front(), "not enough memory");

        auto result = std::make_unique<MCV_FcsHeader>(nullptr);
        result->setFileName(paths->front());
        result->setNumEvents(static_cast<int>(pixels));
        result->setWidth(width);
        result->setHeight(height);
        for (auto set : {&MCV_FcsHeader::setStartTime, &MCV_FcsHeader::setStopTime, &MCV_FcsHeader::setCytometry,
                         &MCV_FcsHeader::setDate, &MCV_FcsHeader::setByteOrder, &MCV_FcsHeader::setDataType,
                         &MCV_FcsHeader::setSystem, &MCV_FcsHeader::setProject, &MCV_FcsHeader::setExperiment,
                         &MCV_FcsHeader::setCells, &MCV_FcsHeader::setCreator})
            (result.get()->*set)("-1");
        result->createVariables(static_cast<int>(variables));

        static const char* const colour[] = {" Red", " Green", " Blue"};
        size_t v0 = 0;
        for (Page& page : pages) {
            const int channels = page.channels();
            for (int c = 0; c < channels; ++c) {
                fcsVariable variable = initVariable(channels == 1 ? page.name : page.name + colour[c]);
                variable.range = page.range();
                result->setVariable(static_cast<int>(v0) + c, variable);
            }
            for (int y = 0; y < height; ++y) {
                const uchar* line = page.image.constScanLine(y);
                float* row = matrix.get() + static_cast<size_t>(y) * static_cast<size_t>(width) * V + v0;
                for (int x = 0; x < width; ++x, row += V)
                    for (int c = 0; c < channels; ++c) row[c] = sample(page, line, x, c);
            }
            v0 += static_cast<size_t>(channels);
            page.image = QImage();  // done with it: free the page before the next
        }

        *header = result.release();
        *data = matrix.release();
        return MCV_LoadCode::Success;
    } catch (const std::bad_alloc&) {
        return refuse(MCV_LoadCode::OutOfMemory, paths->front(), "not enough memory");
    }
}
