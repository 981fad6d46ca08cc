#pragma once

#include "ui/base/UI_EmbeddingSettingsWidget.h"

class MCV_HsneHierarchyBuilder;
class QCheckBox;
class QDoubleSpinBox;
class QGridLayout;
class QSpinBox;

// What the settings panels of the analyses that build an HSNE hierarchy (HSNE,
// focus and context) share: the hierarchy rows of "Advanced Parameters" (seed,
// memory-preserving computation, kNN checks, random walks, pruning and the
// landmark selection by percentile), which reach the analysis's builder as
// they change, and the compute path. GUI thread only.
class UI_HierarchySettingsWidget : public UI_EmbeddingSettingsWidget {
    Q_OBJECT
public slots:
    // Checks the markers (a warning box when none is chosen), hands the
    // panel's settings over (handOver), the kNN back end and metric, and
    // starts the analysis (start). A compute the analysis will refuse hands
    // nothing over; the analysis is still started, to write its line.
    void computeHierarchy();

protected:
    // `builder` belongs to `analysis` and outlives the panel.
    UI_HierarchySettingsWidget(QWidget* parent, MCV_Analysis* analysis, MCV_HsneHierarchyBuilder* builder);

    // Rows 2 to 11 of `advanced`; the percentile selection's check box is
    // labelled `percentileLabel`; the walk threshold and the percentile boxes
    // step by `thresholdStep` and `percentileStep`.
    void addHierarchyRows(QGridLayout* advanced, const char* percentileLabel, double thresholdStep,
                          double percentileStep);
    // The panels' controls, each showing `value` before anything is connected:
    // an integer box over [lowest, highest], a real box over [0, highest]
    // stepping by `step` (two decimals), a check box.
    static QSpinBox* intBox(int lowest, int highest, int value);
    static QDoubleSpinBox* realBox(double highest, double step, float value);
    static QCheckBox* flagBox(bool checked);

    // After the percentile selection was switched or the percentile changed.
    virtual void landmarkSelectionChanged();
    // Whether the analysis will refuse a compute now; the panel has reported
    // it (computeRefused).
    virtual bool refused();
    // The settings that wait for Compute, handed to the analysis.
    virtual void handOver() = 0;
    // Starts the build (and the embedding after it).
    virtual void start() = 0;

    MCV_HsneHierarchyBuilder* m_builder = nullptr;
};
