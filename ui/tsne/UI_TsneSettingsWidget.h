#pragma once

#include "ui/base/UI_EmbeddingSettingsWidget.h"

class MCV_TsneAnalysis;
class QCheckBox;
class QSpinBox;

// The parameter panel of an A-tSNE analysis: input point set, markers, kNN
// back end and metric (see UI_EmbeddingSettingsWidget), normalisation,
// perplexity and GPU use. " Compute tSNE " hands them to the analysis and runs
// it. Normalisation and perplexity reach the analysis when they change; the
// input set, GPU flag, back end and metric only at Compute. A null input set
// means all points ("All Points"). Compute during a run (the run pumps the
// event loop) is left to the analysis, which starts the new run once the
// current one has returned. GUI thread only.
class UI_TsneSettingsWidget : public UI_EmbeddingSettingsWidget {
    Q_OBJECT
public:
    UI_TsneSettingsWidget(QWidget* parent, MCV_TsneAnalysis* analysis);

    void initUI() override;

    // For the view and tests.
    QPushButton* computeTsneButton() const { return computeButton; }
    QCheckBox* normalizeBox() const { return normalizeCheck; }
    QCheckBox* gpuBox() const { return gpuCheck; }
    QSpinBox* perplexityBox() const { return perplexitySpin; }
    bool gpuChosen() const { return useGPU; }

public slots:
    void computeTSNE();

private slots:
    void normalizeChanged(int state);
    void perplexityChanged(int value);
    void useGPUChanged(int state);

private:
    MCV_TsneAnalysis* tsne() const;

    bool useGPU = true;
    QCheckBox* normalizeCheck = nullptr;
    QCheckBox* gpuCheck = nullptr;
    QSpinBox* perplexitySpin = nullptr;
};
