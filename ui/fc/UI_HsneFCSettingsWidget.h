#pragma once

#include "ui/hsne/UI_HierarchySettingsWidget.h"

class MCV_HsneFCAnalysis;
class QComboBox;
class QSpinBox;

// The parameter panel of a focus-and-context analysis: the HSNE panel's
// input set, markers, kNN back end and metric and hierarchy settings (see
// UI_HsneSettingsWidget), the refinement settings (exaggeration, momentum and
// rescale after a refinement) and how the mixed transition matrix is combined.
// There is no caching choice: the analysis uses the shared caches only when
// they hold its own hierarchy. Everything but the GPU flag, the back end and
// the metric reaches the analysis as soon as it changes; those three wait for
// " Compute HSNE ".
//
// With fixed-percentile landmark selection on, the number of scales follows a
// suggestion made from the size of the input set and the percentile; with it
// off the number is left alone. GUI thread only.
class UI_HsneFCSettingsWidget : public UI_HierarchySettingsWidget {
    Q_OBJECT
public:
    UI_HsneFCSettingsWidget(QWidget* parent, MCV_HsneFCAnalysis* analysis);

    void initUI() override;

    // For tests.
    QSpinBox* numScalesBox() const { return numScalesSpin; }
    QComboBox* modeCombo() const { return tmModeCombo; }
    bool gpuChosen() const { return useGPU; }

public slots:
    void computeHSNE();
    void computeNumHardThreshLevels();

private slots:
    void exagFacRefineChanged(double value);
    void numScalesChanged(int value);
    void momentumRefineChanged(double value);
    void rescaleFactorChanged(double value);
    void useGPUChanged(int state);
    void tmModeChanged(int mode);

protected:
    // The chosen set goes to the analysis at once.
    void inputChanged() override;
    void landmarkSelectionChanged() override;
    void handOver() override;
    void start() override;

private:
    MCV_HsneFCAnalysis* analysis() const;

    bool useGPU = true;
    QSpinBox* numScalesSpin = nullptr;
    QComboBox* tmModeCombo = nullptr;
};
