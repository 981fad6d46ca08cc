#include "UI_ImageWidget.h"

#include "UI_ImageSettingsSliderWidget.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataImage.h"
#include "data/MCV_DerivedDataPoints.h"
#include "data/MCV_FcsHeader.h"
#include "ui/plot/UI_Colormap2DSelectionWidget.h"
#include "ui/plot/UI_ColormapSelectionWidget.h"

#include <QDebug>
#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QResizeEvent>

#include <algorithm>
#include <climits>
#include <stdexcept>
#include <utility>

namespace {

const char* const kColormaps2D[] = {":/colormaps/2D_Tarn.png", ":/colormaps/2D_Tarn_stretched.png",
                                    ":/colormaps/2D_Halvick.png", ":/colormaps/2D_Drisco_noWhitening.png"};

// Normalised values lie in [0, 1]; NaN (from NaN or infinite data) is taken
// as 0 and anything beyond the ends as that end, so every lookup stays in its
// table.
inline float unit(float v) { return v >= 0.0f ? (v <= 1.0f ? v : 1.0f) : 0.0f; }

std::vector<std::string> variableNames(MCV_FcsHeader* header) {
    std::vector<std::string> names;
    for (int i = 0; header && i < header->numVariables(); ++i) names.push_back(header->variableName(i));
    return names;
}

// The variables drawn as "RGB Image": the plain "Red", "Green" and "Blue"
// (added from a colour image), else the first red, green and blue channels of
// a colour page of the stack ("<name> Red", "<name> Green", "<name> Blue" in a
// row). False when neither exists.
bool rgbChannels(MCV_FcsHeader* header, int* r, int* g, int* b) {
    if (!header) return false;
    *r = header->variableIdx("Red");
    *g = header->variableIdx("Green");
    *b = header->variableIdx("Blue");
    if (*r >= 0 && *g >= 0 && *b >= 0) return true;
    const auto stem = [](const std::string& name, const std::string& suffix, std::string* out) {
        if (name.size() <= suffix.size() || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
            return false;
        *out = name.substr(0, name.size() - suffix.size());
        return true;
    };
    for (int v = 0; v + 2 < header->numVariables(); ++v) {
        std::string red, green, blue;
        if (stem(header->variableName(v), " Red", &red) && stem(header->variableName(v + 1), " Green", &green) &&
            stem(header->variableName(v + 2), " Blue", &blue) && red == green && green == blue) {
            *r = v;
            *g = v + 1;
            *b = v + 2;
            return true;
        }
    }
    return false;
}

// Per loaded file, the pixel whose point is each event (-1 for none). Points
// that name no loaded event are left out.
std::vector<std::vector<int>> pixelsOfEvents(const std::vector<std::pair<int, int>>& points, size_t pixels) {
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    std::vector<std::vector<int>> table(static_cast<size_t>(std::max(data->numFiles(), 0)));
    const size_t n = std::min(points.size(), pixels);
    for (size_t k = 0; k < n; ++k) {
        const auto [file, event] = points[k];
        if (file < 0 || file >= static_cast<int>(table.size()) || event < 0) continue;
        std::vector<int>& events = table[static_cast<size_t>(file)];
        if (events.empty()) events.assign(static_cast<size_t>(std::max(data->header(file)->numEvents(), 0)), -1);
        if (static_cast<size_t>(event) < events.size()) events[static_cast<size_t>(event)] = static_cast<int>(k);
    }
    return table;
}

}  // namespace

UI_ImageWidget::UI_ImageWidget(QWidget* parent) : UI_DockableWidget(parent) {
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    initUI();
}

UI_ImageWidget::~UI_ImageWidget() = default;

void UI_ImageWidget::initUI() {
    // The view itself takes every mouse event, in its own coordinates.
    widget()->setAttribute(Qt::WA_TransparentForMouseEvents);

    for (const char* path : kColormaps2D) colormaps2D.push_back(QImage(path).convertToFormat(QImage::Format_RGB888));

    imageArea = new QWidget();
    imageArea->setMouseTracking(true);
    imageArea->setFocusPolicy(Qt::StrongFocus);
    mainLayout()->addWidget(imageArea, 0, 0);

    settingsSlider = new UI_ImageSettingsSliderWidget(this);
    settingsSlider->move(0, height() - settingsSlider->height());
    settingsSlider->setFixedWidth(width());
    connect(settingsSlider, &UI_ImageSettingsSliderWidget::parentSetDataset, this, &UI_ImageWidget::setDataset);
    connect(settingsSlider, &UI_ImageSettingsSliderWidget::parentSetMarker, this, &UI_ImageWidget::setMarker);
    connect(settingsSlider, &UI_ImageSettingsSliderWidget::parentSetMarkerSpan, this, &UI_ImageWidget::setMarkerSpan);

    colormapWidget = new UI_ColormapSelectionWidget(this);
    colormapWidget->move(width() - 71, 40);
    colormapWidget->hide();
    connect(colormapWidget, &UI_ColormapSelectionWidget::colormapSelected, this, &UI_ImageWidget::colormapChanged);
    connect(colormapWidget, &UI_ColormapSelectionWidget::discreteSelected, this,
            &UI_ImageWidget::colormapdiscreteChanged);

    colormap2DWidget = new UI_Colormap2DSelectionWidget(this);
    colormap2DWidget->move(width() - 145, 40);
    colormap2DWidget->show();
    connect(colormap2DWidget, &UI_Colormap2DSelectionWidget::colormapSelected, this,
            &UI_ImageWidget::colormap2DChanged);
    connect(colormap2DWidget, &UI_Colormap2DSelectionWidget::discreteSelected, this,
            &UI_ImageWidget::colormap2DDiscreteChanged);

    imageLabel = new QLabel(imageArea);
    imageLabel->move(0, 0);
    imageLabel->setFixedSize(size());
    imageLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    MCV_CytometryData* model = MCV_CytometryData::Instance();
    if (model->numFiles() > 0) {
        for (MCV_DerivedDataImage* set : model->derivedDataImage()) settingsSlider->addDataset(set->name());
        std::vector<std::string> names = variableNames(model->combinedHeader());
        settingsSlider->setMarkers(&names);
    }
}

// ---- Choices of the overlays ----

void UI_ImageWidget::setDataset(std::string name) {
    MCV_CytometryData* model = MCV_CytometryData::Instance();
    dataset = model->derivedDataImage(name, true);
    if (model->numFiles() > 0) {
        std::vector<std::string> names = variableNames(model->combinedHeader());
        settingsSlider->setMarkers(&names);
    }
    recalcImage();
}

void UI_ImageWidget::setMarker(int code) {
    colormapWidget->setVisible(code >= 0);
    colormap2DWidget->setVisible(code < 0);
    marker = code;
    recalcImage();
}

void UI_ImageWidget::setMarkerSpan(float, float) { recalcImage(); }

void UI_ImageWidget::colormapChanged(int idx) {
    if (idx == colormapIdx) return;
    colormapIdx = idx;
    recalcImage();
}

void UI_ImageWidget::colormapdiscreteChanged(bool isDiscrete) {
    if (isDiscrete == colormapDiscrete) return;
    colormapDiscrete = isDiscrete;
    recalcImage();
}

void UI_ImageWidget::colormap2DChanged(int idx) {
    if (idx == colormap2DIdx) return;
    colormap2DIdx = idx;
    recalcImage();
}

void UI_ImageWidget::colormap2DDiscreteChanged(bool isDiscrete) {
    if (isDiscrete == colormap2DDiscrete) return;
    colormap2DDiscrete = isDiscrete;
    recalcImage();
}

void UI_ImageWidget::dataRefreshed(void* changed) {
    if (!changed) return;
    auto* item = static_cast<MCV_DerivedData*>(changed);
    if (item->type() == MCV_DerivedData::KindImage) settingsSlider->addDataset(item->name());
    if (item == MCV_CytometryData::Instance()->selectionPoints()) {
        recalcSelectionImage();
        recalcImage();
    }
    if (item == dataset) recalcImage();
}

// ---- The picture ----

void UI_ImageWidget::recalcImage() {
    if (!dataset) return;
    try {
        computePicture();
    } catch (const std::out_of_range& e) {
        qDebug() << "Image View: the picture of" << QString::fromStdString(dataset->name())
                 << "is left as it was:" << e.what();
    }
}

void UI_ImageWidget::computePicture() {
    MCV_FcsHeader* header = MCV_CytometryData::Instance()->combinedHeader();
    int w = 0, h = 0;
    QImage next;
    // Alpha of pixel i: selected pixels opaque, the others faint, while the
    // mask fits the picture and a selection exists.
    bool shade = false;
    const auto shading = [&] {
        shade = numSelected >= 1 && selectionMask.size() == static_cast<size_t>(w) * static_cast<size_t>(h);
    };
    const auto alphaOf = [&](size_t i) -> int { return shade && !selectionMask[i] ? 0x32 : 0xFF; };

    if (marker == -2 || marker == -3) {
        const int x = header ? header->variableIdx(marker == -2 ? "QLMRN_TsneX" : "QLMRN_HsneDataX") : -1;
        const int y = header ? header->variableIdx(marker == -2 ? "QLMRN_TsneY" : "QLMRN_HsneDataY") : -1;
        if (x < 0 || y < 0) return;
        std::vector<std::vector<float>> xy;
        dataset->coNormalizedImagesFromChannels({x, y}, w, h, &xy);
        if (w < 1 || h < 1) return;
        if (colormap2DIdx < 0 || colormap2DIdx >= static_cast<int>(colormaps2D.size())) return;
        const QImage& map = colormaps2D[static_cast<size_t>(colormap2DIdx)];
        if (map.isNull()) return;
        next = QImage(w, h, QImage::Format_ARGB32);
        if (next.isNull()) return;
        shading();
        const int cw = map.width(), ch = map.height();
        for (int row = 0; row < h; ++row) {
            QRgb* line = reinterpret_cast<QRgb*>(next.scanLine(row));
            for (int col = 0; col < w; ++col) {
                const size_t i = static_cast<size_t>(w) * static_cast<size_t>(row) + static_cast<size_t>(col);
                const float X = unit(xy[0][i]);
                const double Y = unit(xy[1][i]);
                const int mapX = static_cast<int>(X * static_cast<float>(cw - 1) + 0.5);
                const int mapY = static_cast<int>((1.0 - Y) * (ch - 1) + 0.5);
                const uchar* rgb = map.constScanLine(mapY) + 3 * mapX;
                line[col] = qRgba(rgb[0], rgb[1], rgb[2], alphaOf(i));
            }
        }
    } else if (marker == -1) {
        int r = -1, g = -1, b = -1;
        if (!rgbChannels(header, &r, &g, &b)) return;
        std::vector<std::vector<float>> rgb;
        dataset->coNormalizedImagesFromChannels({r, g, b}, w, h, &rgb);
        if (w < 1 || h < 1) return;
        next = QImage(w, h, QImage::Format_ARGB32);
        if (next.isNull()) return;
        shading();
        const auto byte = [](float v) { return static_cast<int>(unit(v) * 255.0f) % 256; };
        for (int row = 0; row < h; ++row) {
            QRgb* line = reinterpret_cast<QRgb*>(next.scanLine(row));
            for (int col = 0; col < w; ++col) {
                const size_t i = static_cast<size_t>(w) * static_cast<size_t>(row) + static_cast<size_t>(col);
                line[col] = qRgba(byte(rgb[0][i]), byte(rgb[1][i]), byte(rgb[2][i]), alphaOf(i));
            }
        }
    } else if (marker >= 0) {
        std::vector<float> values;
        dataset->normalizedImageFromChannel(marker, w, h, &values);
        if (w < 1 || h < 1) return;
        const std::vector<unsigned char>* table = colormapWidget->colormMapData(colormapIdx);
        if (!table || table->size() < 3) return;
        const int entries = static_cast<int>(table->size() / 3);
        next = QImage(w, h, QImage::Format_ARGB32);
        if (next.isNull()) return;
        shading();
        for (int row = 0; row < h; ++row) {
            QRgb* line = reinterpret_cast<QRgb*>(next.scanLine(row));
            for (int col = 0; col < w; ++col) {
                const size_t i = static_cast<size_t>(w) * static_cast<size_t>(row) + static_cast<size_t>(col);
                const int e = static_cast<int>(unit(values[i]) * static_cast<float>(entries - 1) + 0.5);
                const unsigned char* c = table->data() + 3 * std::min(e, entries - 1);
                line[col] = qRgba(c[0], c[1], c[2], alphaOf(i));
            }
        }
    } else {
        return;
    }
    showPicture(std::move(next));
}

void UI_ImageWidget::showPicture(QImage picture) {
    image = std::make_unique<QImage>(std::move(picture));
    pixmap = std::make_unique<QPixmap>(QPixmap::fromImage(*image));
    pictureDataset = dataset;
    redraw();
}

void UI_ImageWidget::redraw() {
    if (!image || !pixmap || pixmap->isNull()) return;
    scaledPixmap = pixmap->scaled(size(), Qt::KeepAspectRatio, Qt::FastTransformation);
    imageLabel->setPixmap(scaledPixmap);
}

void UI_ImageWidget::resizeEvent(QResizeEvent* event) {
    UI_DockableWidget::resizeEvent(event);
    const int w = width();
    settingsSlider->setParentSize(size());
    imageLabel->setFixedSize(size());
    colormapWidget->move(colormapWidget->isOpen() ? w - 633 : w - 71, 40);
    colormap2DWidget->move(colormap2DWidget->isOpen() ? w - 719 : w - 145, 40);
    redraw();
}

// ---- Selection ----

void UI_ImageWidget::recalcSelectionImage() {
    if (!dataset) return;
    const size_t pixels =
        static_cast<size_t>(std::max(dataset->width(), 0)) * static_cast<size_t>(std::max(dataset->height(), 0));
    selectionMask.assign(pixels, false);
    numSelected = 0;
    const std::vector<std::pair<int, int>>& entries = MCV_CytometryData::Instance()->selectionPoints()->data();
    if (!entries.empty()) {
        const std::vector<std::vector<int>> pixelOf = pixelsOfEvents(dataset->data(), pixels);
        for (const auto& [file, event] : entries) {
            if (file < 0 || file >= static_cast<int>(pixelOf.size()) || event < 0) continue;
            const std::vector<int>& events = pixelOf[static_cast<size_t>(file)];
            if (static_cast<size_t>(event) < events.size() && events[static_cast<size_t>(event)] >= 0)
                selectionMask[static_cast<size_t>(events[static_cast<size_t>(event)])] = true;
        }
    }
    numSelected = static_cast<int>(std::min<size_t>(entries.size(), INT_MAX));
}

bool UI_ImageWidget::pixelUnder(const QPoint& pos, int* x, int* y) const {
    if (!pixmap || pixmap->isNull() || !dataset || pictureDataset != dataset) return false;
    if (pixmap->width() != dataset->width() || pixmap->height() != dataset->height()) return false;
    const int sw = scaledPixmap.width(), sh = scaledPixmap.height();
    if (sw < 1 || sh < 1) return false;
    // The label shows the picture at its left edge, centred vertically; it
    // sits below the dock's title bar (none when floating).
    const QPoint label = imageLabel->mapTo(this, QPoint(0, 0));
    const int top = label.y() + (imageLabel->height() - sh) / 2;
    const float fx = static_cast<float>(pos.x() - label.x()) / static_cast<float>(sw);
    const float fy = static_cast<float>(pos.y() - top) / static_cast<float>(sh);
    *x = static_cast<int>(static_cast<float>(pixmap->width()) * fx);
    *y = static_cast<int>(static_cast<float>(pixmap->height()) * fy);
    return true;
}

void UI_ImageWidget::mousePressEvent(QMouseEvent* event) {
    int x = 0, y = 0;
    if (event->buttons() != Qt::LeftButton || !pixelUnder(event->pos(), &x, &y)) return;
    selectionStartX = std::clamp(x, 0, pixmap->width() - 1);
    selectionStartY = std::clamp(y, 0, pixmap->height() - 1);
}

void UI_ImageWidget::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() == Qt::NoButton) {
        if (height() - event->pos().y() <= 19)
            settingsSlider->peekIn();
        else
            settingsSlider->peekOut();
        return;
    }
    int x = 0, y = 0;
    if (event->buttons() != Qt::LeftButton || !pixelUnder(event->pos(), &x, &y)) return;
    selectRectangle(std::clamp(x, 0, pixmap->width()), std::clamp(y, 0, pixmap->height()));
}

void UI_ImageWidget::selectRectangle(int x, int y) {
    const int W = pixmap->width();
    const int x0 = std::min(selectionStartX, x), x1 = std::max(selectionStartX, x);
    const int y0 = std::min(selectionStartY, y), y1 = std::max(selectionStartY, y);
    const std::vector<std::pair<int, int>>& points = dataset->data();
    MCV_DerivedDataPoints* selection = MCV_CytometryData::Instance()->selectionPoints();
    std::vector<std::pair<int, int>>& list = selection->data();
    list.clear();
    for (int col = x0; col < x1; ++col)
        for (int row = y0; row < y1; ++row) {
            const size_t k = static_cast<size_t>(W) * static_cast<size_t>(row) + static_cast<size_t>(col);
            if (k < points.size()) list.push_back(points[k]);
        }
    selection->refreshed(this);
}
