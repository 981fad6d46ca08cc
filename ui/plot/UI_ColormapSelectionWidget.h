#pragma once

#include "UI_ColormapPicker.h"

// Picker of the one-dimensional colormaps (colour by a marker), with "max"
// and "min" beside the active one; the discrete switch shows the stepped
// button images "<name>_vert_disc.png" instead of "<name>_vert.png".
class UI_ColormapSelectionWidget : public UI_ColormapPicker {
    Q_OBJECT
public:
    explicit UI_ColormapSelectionWidget(QWidget* parent);

protected:
    QString buttonStyle(int idx) const override;
};
