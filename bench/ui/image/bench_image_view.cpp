// What the image view costs on a 1000 x 1000 image set: each colouring's
// recompute (RGB channels, one marker through the 1D colormap, the t-SNE
// coordinates through the 2D colormap) and one step of a selection drag (the
// shared selection, the mask, the picture, the pixmap and its scaling), each
// the median of several runs. The goal: at most 50 ms for each.
//
// The baseline, measured in the same run, is the least any of them can cost:
// one pass over the three colour channels' values plus converting a ready
// 1M-pixel picture to a pixmap and fast-scaling it to the view.
//
//   bench_image_view [--size N] [--runs R]
//
// The image set comes from a TIFF stack written and loaded here (an RGB page
// and a 16-bit grey page) with "Red", "Green", "Blue" and t-SNE coordinates
// added. Run under a display (Xvfb is fine).

#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataImage.h"
#include "data/MCV_DerivedDataPoints.h"
#include "data/MCV_FcsHeader.h"
#include "data/MCV_UiInterface.h"
#include "ui/image/UI_ImageWidget.h"

#include <QApplication>
#include <QImageWriter>
#include <QLabel>
#include <QMouseEvent>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

struct Options {
    int size = 1000;
    int runs = 9;
};

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        const long value = std::strtol(argv[i + 1], nullptr, 10);
        if (value <= 0) continue;
        if (key == "--size") o.size = static_cast<int>(value);
        if (key == "--runs") o.runs = static_cast<int>(value);
    }
    return o;
}

// Hands the data refreshes to the view, as the bridge does in the program.
class Forwarder : public MCV_UiInterface {
public:
    UI_ImageWidget* view = nullptr;
    void dimensionsAdded() override {}
    void analysisInitialized(void*) override {}
    void analysisUpdated(void*) override {}
    void analysisFinished(void*) override {}
    void readyForDeletion(void*) override {}
    void newDerivedDataAdded() override {}
    void dataRefreshed(void* data) override {
        if (view) view->dataRefreshed(data);
    }
    void selectionRefreshed(void*) override {}
    void highlightRefreshed(void*) override {}
    void spadeTreeRefreshed(void*) override {}
    void analysesRemoved(std::vector<std::string>*) override {}
};

// Median milliseconds of `runs` calls of `f`.
double median(int runs, const std::function<void(int)>& f) {
    std::vector<double> ms;
    for (int r = 0; r < runs; ++r) {
        const auto start = std::chrono::steady_clock::now();
        f(r);
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

void send(QWidget* target, QEvent::Type type, QPoint pos, Qt::MouseButtons buttons) {
    QMouseEvent event(type, pos, target->mapToGlobal(pos), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                      buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

}  // namespace

int main(int argc, char** argv) {
    const Options opt = parse(argc, argv);
    QApplication app(argc, argv);
    const int n = opt.size;
    const size_t pixels = static_cast<size_t>(n) * static_cast<size_t>(n);

    // The stack: an RGB page and a 16-bit grey page (the marker).
    QTemporaryDir dir;
    QImage rgb(n, n, QImage::Format_RGB888), grey(n, n, QImage::Format_Grayscale16);
    for (int y = 0; y < n; ++y) {
        auto* g = reinterpret_cast<quint16*>(grey.scanLine(y));
        for (int x = 0; x < n; ++x) {
            rgb.setPixel(x, y, qRgb(x % 256, y % 256, (x + y) % 256));
            g[x] = static_cast<quint16>((x * 37 + y * 11) % 65536);
        }
    }
    std::vector<std::string> paths = {dir.filePath("colour.tif").toStdString(),
                                      dir.filePath("marker.tif").toStdString()};
    if (!QImageWriter(dir.filePath("colour.tif"), "tiff").write(rgb) ||
        !QImageWriter(dir.filePath("marker.tif"), "tiff").write(grey)) {
        std::fprintf(stderr, "cannot write the stack\n");
        return 1;
    }
    Forwarder ui;
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    data->init(&ui);
    auto start = std::chrono::steady_clock::now();
    if (data->loadFromFiles(&paths) != 0) {
        std::fprintf(stderr, "cannot load the stack\n");
        return 1;
    }
    const double loadMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    data->initAllDerviedDataPointer();
    std::vector<std::vector<float>> added(5, std::vector<float>(pixels));
    for (size_t k = 0; k < pixels; ++k) {
        const float x = static_cast<float>(k % static_cast<size_t>(n)),
                    y = static_cast<float>(k / static_cast<size_t>(n));
        added[0][k] = x / n;
        added[1][k] = y / n;
        added[2][k] = 0.5f;
        added[3][k] = std::sin(x * 0.01f) * 40.0f + y * 0.05f;
        added[4][k] = std::cos(y * 0.013f) * 30.0f - x * 0.02f;
    }
    data->addDimensions({"Red", "Green", "Blue", "QLMRN_TsneX", "QLMRN_TsneY"}, added);
    added.clear();
    const int V = data->combinedHeader()->numVariables();

    UI_ImageWidget view(nullptr);
    ui.view = &view;
    view.resize(800, 800);
    view.show();
    QCoreApplication::processEvents();

    // Baseline: the colour channels read once, a ready picture converted and
    // scaled.
    const float* matrix = data->rawData(0);
    const int red = data->combinedHeader()->variableIdx("Red");
    QImage ready(n, n, QImage::Format_ARGB32);
    ready.fill(qRgba(10, 20, 30, 255));
    volatile float sink = 0.0f;
    const double baseline = median(opt.runs, [&](int) {
        float sum = 0.0f;
        for (size_t k = 0; k < pixels; ++k) {
            const float* row = matrix + k * static_cast<size_t>(V) + red;
            sum += row[0] + row[1] + row[2];
        }
        sink = sink + sum;
        const QPixmap pixmap = QPixmap::fromImage(ready);
        const QPixmap scaled = pixmap.scaled(view.size(), Qt::KeepAspectRatio, Qt::FastTransformation);
        sink = sink + static_cast<float>(scaled.width());
    });

    // The data layer's share: the three colour channels as co-normalised
    // images, as the RGB colouring asks for them.
    MCV_DerivedDataImage* image = data->derivedDataImage("All Points - Image", true);
    const std::vector<int> channels = {red, red + 1, red + 2};
    const double channelImages = median(opt.runs, [&](int) {
        int w = 0, h = 0;
        std::vector<std::vector<float>> images;
        image->coNormalizedImagesFromChannels(channels, w, h, &images);
        sink = sink + images[0][0];
    });

    struct Figure {
        const char* what;
        double ms;
    };
    std::vector<Figure> figures;
    // Alternating with -4 (draws nothing) makes every call a full recompute.
    for (const auto& [what, code] : {std::pair("RGB Image recompute", -1), std::pair("marker (1D map) recompute", 3),
                                     std::pair("t-SNE (2D map) recompute", -2)}) {
        figures.push_back({what, median(opt.runs, [&, c = code](int) {
                               view.setMarker(-4);
                               view.setMarker(c);
                           })});
    }

    // One drag step: a move with the left button down, each over about a
    // quarter of the picture.
    view.setMarker(-1);
    const QLabel* label = view.pictureLabel();
    const QSize shown = label->pixmap(Qt::ReturnByValue).size();
    const QPoint corner = label->mapTo(&view, QPoint(0, (label->height() - shown.height()) / 2));
    const auto at = [&](double fx, double fy) {
        return corner + QPoint(int(fx * shown.width()), int(fy * shown.height()));
    };
    send(&view, QEvent::MouseButtonPress, at(0.25, 0.25), Qt::LeftButton);
    figures.push_back({"drag step (selection, mask, picture, pixmap, scaling)", median(opt.runs, [&](int r) {
                           send(&view, QEvent::MouseMove, r % 2 ? at(0.75, 0.75) : at(0.74, 0.76), Qt::LeftButton);
                       })});
    send(&view, QEvent::MouseButtonRelease, at(0.5, 0.5), Qt::NoButton);
    const size_t selected = data->selectionPoints()->data().size();

    std::printf("image set                    %d x %d pixels, %d variables, view %d x %d\n", n, n, V, view.width(),
                view.height());
    std::printf("stack load (2 TIFF pages)    %10.2f ms\n", loadMs);
    std::printf("baseline                     %10.2f ms  (channel pass + pixmap + fast scaling)\n", baseline);
    bool pass = true;
    for (const Figure& f : figures) {
        const bool ok = f.ms <= 50.0;
        pass = pass && ok;
        std::printf("%-53s %8.2f ms  %5.1f x baseline  %s (target <= 50 ms)\n", f.what, f.ms, f.ms / baseline,
                    ok ? "PASS" : "FAIL");
    }
    std::printf("of the RGB recompute, the image data's co-normalised channels %6.2f ms\n", channelImages);
    std::printf("last drag selected           %zu pixels\n", selected);
    ui.view = nullptr;
    return pass ? 0 : 2;
}
