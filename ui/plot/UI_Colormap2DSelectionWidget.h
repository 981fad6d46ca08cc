#pragma once

#include "UI_ColormapPicker.h"

// Picker of the two-dimensional colormaps (colour by embedding coordinates);
// each map's image is its button image. The discrete switch only moves; the
// images stay smooth.
class UI_Colormap2DSelectionWidget : public UI_ColormapPicker {
    Q_OBJECT
public:
    explicit UI_Colormap2DSelectionWidget(QWidget* parent);

protected:
    QString buttonStyle(int idx) const override;
};
