#pragma once

#include "ui/base/UI_SettingsWidget.h"

#include <QString>

class QPushButton;

// What the settings panels of the clustering analyses (SPADE, template
// classification) share: a scroll area whose grid `gridLayout` stacks the
// section "Active Markers" (row 0), the panel's parameter sections and, last,
// the compute button, aligned to the top, whose row takes the spare height;
// and the marker check made before a compute. These analyses always work on
// all events, so there is no input set; every parameter reaches the analysis
// the moment it changes. The base's own settings grid stays null. GUI thread
// only.
class UI_ClusterSettingsWidget : public UI_SettingsWidget {
    Q_OBJECT
public:
    // For the views and tests.
    QPushButton* computeButtonWidget() const { return computeButton; }

signals:
    // Never emitted: a compute runs to its end inside the button's signal.
    void computationFinished();

protected:
    UI_ClusterSettingsWidget(QWidget* parent, MCV_Analysis* analysis);

    // The scroll area with `gridLayout` and the section "Active Markers".
    void buildMarkerSection();
    // The section `title` over `body` (a newSectionBody() grid) in the next
    // row of `gridLayout`.
    void addSection(const QString& title, QGridLayout* body, bool expanded);
    // The compute button (child of the panel) in the next row, aligned to the
    // top, with `below` (may be null) under it; then the row stretches. The
    // panel connects the button.
    QPushButton* addComputeButton(const QString& text, QWidget* below);
    // Whether the analysis has an enabled marker; otherwise the warning box
    // "No markers selected" with `text` has been shown.
    bool markersChosen(const QString& text);

    QGridLayout* gridLayout = nullptr;
    QPushButton* computeButton = nullptr;

private:
    int m_rows = 0;
};
