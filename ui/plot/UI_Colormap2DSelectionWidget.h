#pragma once

#include "UI_ColormapPicker.h"

// Picker of the four two-dimensional colormaps (colour by embedding
// coordinates). Each 128 x 128 image is both the button image and the colour
// table (49152 RGB bytes). The discrete switch only moves; the images stay
// smooth.
class UI_Colormap2DSelectionWidget : public UI_ColormapPicker {
    Q_OBJECT
public:
    static constexpr int kNumColormaps = 4;

    explicit UI_Colormap2DSelectionWidget(QWidget* parent);

protected:
    QString buttonStyle(int idx) const override;
};
