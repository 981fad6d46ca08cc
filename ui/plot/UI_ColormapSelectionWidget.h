#pragma once

#include "UI_ColormapPicker.h"

// Picker of the 15 one-dimensional colormaps (colour by a marker), with "max"
// and "min" beside the active one. Each colour table is 200 RGB pixels, lowest
// value first; the discrete switch shows the stepped images.
class UI_ColormapSelectionWidget : public UI_ColormapPicker {
    Q_OBJECT
public:
    static constexpr int kNumColormaps = 15;

    explicit UI_ColormapSelectionWidget(QWidget* parent);

protected:
    QString buttonStyle(int idx) const override;
};
