#pragma once

#include "ui/plot/UI_ScatterplotWidget.h"
#include "ui/plot/UI_TsneSettingsSliderWidget.h"

#include <QGridLayout>
#include <QPushButton>

// A button of the plot overlay's grid of 35-pixel buttons: row 0 run/pause,
// row 1 restart.
inline QPushButton* overlayButton(UI_ScatterplotWidget* plot, int row) {
    for (QPushButton* b : plot->settingsPanel()->findChildren<QPushButton*>()) {
        auto* grid = b->parentWidget() ? qobject_cast<QGridLayout*>(b->parentWidget()->layout()) : nullptr;
        if (grid && b->size() == QSize(35, 35) && grid->itemAtPosition(row, 0))
            return qobject_cast<QPushButton*>(grid->itemAtPosition(row, 0)->widget());
    }
    return nullptr;
}
