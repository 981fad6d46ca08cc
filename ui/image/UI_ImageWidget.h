#pragma once

#include "ui/base/UI_DockableWidget.h"

#include <QImage>
#include <QPixmap>

#include <memory>
#include <string>
#include <vector>

class MCV_DerivedDataImage;
class QLabel;
class QMouseEvent;
class QResizeEvent;
class UI_Colormap2DSelectionWidget;
class UI_ColormapSelectionWidget;
class UI_ImageSettingsSliderWidget;

// The "Image View" dock: one image data set drawn as a picture of its pixels,
// coloured by a marker code of the settings panel: -1 the channels "Red",
// "Green" and "Blue" (added from a colour image) or, when there are none, the
// red, green and blue channels of the stack's first colour page; -2 / -3 the t-SNE / HSNE coordinates through the 2D
// colormap; i >= 0 marker i through the 1D colormap. While a selection exists
// the pixels of selected events are opaque and all others nearly transparent;
// a left-button drag selects the rectangle of pixels under the mouse as the
// shared selection.
//
// Pixel k of a data set stands for its point k (for a loaded image stack:
// event k of file 0). A selection entry marks the pixel whose point it is and
// no other; a drag selects the points of the pixels it covers, and pixels
// beyond the last point select nothing.
//
// The picture is recomputed at the data set's full resolution on every change
// of data set, marker, colormap or selection; only the finished pixmap is
// scaled on resize. A recompute that cannot be made (channels missing, no
// pixels, a data set whose points name no loaded event) leaves the previous
// picture; the marker span and the discrete switches cause a recompute but do
// not enter the colouring. GUI thread only.
class UI_ImageWidget : public UI_DockableWidget {
    Q_OBJECT
public:
    explicit UI_ImageWidget(QWidget* parent);
    ~UI_ImageWidget() override;

    UI_ImageSettingsSliderWidget* settingsPanel() const { return settingsSlider; }
    UI_ColormapSelectionWidget* colormapSelection() const { return colormapWidget; }
    UI_Colormap2DSelectionWidget* colormap2DSelection() const { return colormap2DWidget; }
    QLabel* pictureLabel() const { return imageLabel; }
    // The computed picture (one pixel per data-set pixel), or null before the
    // first one.
    const QImage* picture() const { return image.get(); }
    MCV_DerivedDataImage* shownDataset() const { return dataset; }
    int currentMarker() const { return marker; }

public slots:
    void dataRefreshed(void* data);
    void setDataset(std::string dataset);
    void setMarker(int marker);
    void setMarkerSpan(float lower, float upper);
    void colormapChanged(int idx);
    void colormapdiscreteChanged(bool isDiscrete);
    void colormap2DChanged(int idx);
    void colormap2DDiscreteChanged(bool isDiscrete);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void initUI();
    void recalcImage();
    // The colouring itself; throws std::out_of_range from the image data.
    void computePicture();
    void showPicture(QImage picture);
    void redraw();
    void recalcSelectionImage();
    // The picture's pixel under `pos` (unclamped), or false when no picture
    // of the shown data set is on screen.
    bool pixelUnder(const QPoint& pos, int* x, int* y) const;
    // Replaces the shared selection by the points of the pixels from the drag
    // start up to (not including) (x, y).
    void selectRectangle(int x, int y);

    QWidget* imageArea = nullptr;
    UI_ImageSettingsSliderWidget* settingsSlider = nullptr;
    UI_ColormapSelectionWidget* colormapWidget = nullptr;
    UI_Colormap2DSelectionWidget* colormap2DWidget = nullptr;
    QLabel* imageLabel = nullptr;
    MCV_DerivedDataImage* dataset = nullptr;
    std::unique_ptr<QImage> image;
    std::unique_ptr<QPixmap> pixmap;
    QPixmap scaledPixmap;
    std::vector<bool> selectionMask;
    int numSelected = 0;
    int marker = -1;
    int colormapIdx = 6;
    bool colormapDiscrete = false;
    int colormap2DIdx = 0;
    bool colormap2DDiscrete = false;
    std::vector<QImage> colormaps2D;
    int selectionStartX = 0;
    int selectionStartY = 0;
    // The data set the picture was computed from: a drag needs the picture to
    // be of the data set shown.
    MCV_DerivedDataImage* pictureDataset = nullptr;
};
