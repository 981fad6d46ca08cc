#pragma once

#include "ui/base/UI_SettingsWidget.h"

#include <QString>

class MCV_DerivedDataPoints;
class MCV_TsneAnalysis;
class QCheckBox;
class QComboBox;
class QPushButton;
class QSpinBox;
class UI_ExpanderWidget;
class UI_SelectiveDownsamplingWidget;

// The parameter panel of an A-tSNE analysis: input point set, markers, kNN
// back end and metric, normalisation, perplexity and GPU use. " Compute tSNE "
// hands them to the analysis and runs it. Normalisation and perplexity reach
// the analysis when they change; the input set, GPU flag, back end and metric
// only at Compute. A null input set means all points ("All Points").
// Compute during a run (the run pumps the event loop) is left to the
// analysis, which starts the new run once the current one has returned.
// GUI thread only.
class UI_TsneSettingsWidget : public UI_SettingsWidget {
    Q_OBJECT
public:
    UI_TsneSettingsWidget(QWidget* parent, MCV_TsneAnalysis* analysis);
    // Deletes the down-sampling dock while no window has taken it.
    ~UI_TsneSettingsWidget() override;

    void newDataAdded() override;
    void initUI() override;
    void refreshInputCombo();

    // For the view and tests.
    QComboBox* inputCombo() const { return inputDataCombo; }
    QComboBox* metricCombo() const { return knnMetricCombo; }
    QComboBox* libraryCombo() const { return knnLibraryCombo; }
    QPushButton* computeTsneButton() const { return computeButton; }
    QCheckBox* normalizeBox() const { return normalizeCheck; }
    QCheckBox* gpuBox() const { return gpuCheck; }
    QSpinBox* perplexityBox() const { return perplexitySpin; }
    UI_ExpanderWidget* advancedSection() const { return advancedExpander; }
    UI_SelectiveDownsamplingWidget* downsampling() const { return downsamplingWidget; }
    MCV_DerivedDataPoints* chosenInput() const { return inputData; }
    int knnLibrary() const { return selectedKnnLibrary; }
    int knnMetric() const { return selectedKnnMetric; }
    bool gpuChosen() const { return useGPU; }

signals:
    void dataDownsampled();

public slots:
    void downsamplingComplete();
    void computeTSNE();

private slots:
    void normalizeChanged(int state);
    void knnLibraryChanged(const QString& text);
    void knnMetricChanged(const QString& text);
    void perplexityChanged(int value);
    void useGPUChanged(int state);
    void inputDataChanged(int index);
    void downsampleButtonClicked();

private:
    MCV_TsneAnalysis* tsne() const;

    QComboBox* inputDataCombo = nullptr;
    QPushButton* computeButton = nullptr;
    QComboBox* knnMetricCombo = nullptr;
    UI_SelectiveDownsamplingWidget* downsamplingWidget = nullptr;
    int selectedKnnLibrary = 1;
    int selectedKnnMetric = 0;
    bool useGPU = true;
    MCV_DerivedDataPoints* inputData = nullptr;

    QComboBox* knnLibraryCombo = nullptr;
    QCheckBox* normalizeCheck = nullptr;
    QCheckBox* gpuCheck = nullptr;
    QSpinBox* perplexitySpin = nullptr;
    UI_ExpanderWidget* advancedExpander = nullptr;
};
