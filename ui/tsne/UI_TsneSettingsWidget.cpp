#include "UI_TsneSettingsWidget.h"

#include "analysis/tsne/MCV_TsneAnalysis.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QPushButton>
#include <QSpinBox>

#include <algorithm>

UI_TsneSettingsWidget::UI_TsneSettingsWidget(QWidget* parent, MCV_TsneAnalysis* analysis)
    : UI_EmbeddingSettingsWidget(parent, analysis) {
    if (analysis) initUI();
}

MCV_TsneAnalysis* UI_TsneSettingsWidget::tsne() const { return static_cast<MCV_TsneAnalysis*>(m_analysis); }

void UI_TsneSettingsWidget::initUI() {
    buildInputSections();

    QGridLayout* advanced = newSectionBody();
    normalizeCheck = new QCheckBox();
    normalizeCheck->setChecked(!tsne()->skipNormalization());
    addRow(advanced, 0, QStringLiteral("Normalize"), normalizeCheck);
    connect(normalizeCheck, &QCheckBox::stateChanged, this, &UI_TsneSettingsWidget::normalizeChanged,
            Qt::DirectConnection);
    addKnnRows(advanced, 1);

    QGridLayout* parameters = newSectionBody();
    perplexitySpin = new QSpinBox();
    // A perplexity below 1 has no meaning for the probability calibration.
    perplexitySpin->setRange(1, 100);
    perplexitySpin->setSingleStep(1);
    perplexitySpin->setValue(tsne()->perplexity());
    addRow(parameters, 0, QStringLiteral("Perplexity"), perplexitySpin);
    connect(perplexitySpin, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &UI_TsneSettingsWidget::perplexityChanged, Qt::DirectConnection);
    gpuCheck = new QCheckBox();
    useGPU = tsne()->useGPU();
    gpuCheck->setChecked(useGPU);
    addRow(parameters, 1, QStringLiteral("GPU Acceleration"), gpuCheck);
    connect(gpuCheck, &QCheckBox::stateChanged, this, &UI_TsneSettingsWidget::useGPUChanged, Qt::DirectConnection);

    QPushButton* compute =
        finishSections(advanced->parentWidget(), parameters->parentWidget(), QStringLiteral(" Compute tSNE "));
    connect(compute, &QPushButton::pressed, this, &UI_TsneSettingsWidget::computeTSNE, Qt::DirectConnection);
}

void UI_TsneSettingsWidget::normalizeChanged(int state) { tsne()->setSkipNormalization(state == 0); }

void UI_TsneSettingsWidget::perplexityChanged(int value) { tsne()->setPerplexity(std::max(1, value)); }

void UI_TsneSettingsWidget::useGPUChanged(int state) { useGPU = state > 0; }

void UI_TsneSettingsWidget::computeTSNE() {
    if (!markersChosen()) return;
    MCV_TsneAnalysis* analysis = tsne();
    analysis->setActiveDataSelection(inputForCompute());
    analysis->setUseGPU(useGPU);
    analysis->setKnnLibrary(static_cast<vel::utils::knn_library>(selectedKnnLibrary));
    analysis->setKnnMetric(static_cast<vel::utils::knn_distance_metric>(selectedKnnMetric));
    analysis->computeTSNE();
}
