#include "UI_HsneFCSettingsWidget.h"

#include "analysis/fc/MCV_HsneFCAnalysis.h"
#include "data/MCV_DerivedDataPoints.h"
#include "ui/hsne/UI_HsneSettingsWidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QPushButton>
#include <QSpinBox>

UI_HsneFCSettingsWidget::UI_HsneFCSettingsWidget(QWidget* parent, MCV_HsneFCAnalysis* analysisIn)
    : UI_HierarchySettingsWidget(parent, analysisIn, analysisIn ? &analysisIn->builder() : nullptr) {
    if (analysisIn) initUI();
}

MCV_HsneFCAnalysis* UI_HsneFCSettingsWidget::analysis() const { return static_cast<MCV_HsneFCAnalysis*>(m_analysis); }

void UI_HsneFCSettingsWidget::initUI() {
    MCV_HsneFCAnalysis* a = analysis();
    buildInputSections();

    // Each control shows the analysis' value before it is connected, so
    // building the panel changes nothing in the analysis.
    const auto intChanged = QOverload<int>::of(&QSpinBox::valueChanged);
    const auto doubleChanged = QOverload<double>::of(&QDoubleSpinBox::valueChanged);
    QGridLayout* advanced = newSectionBody();
    addKnnRows(advanced, 0);
    auto add = [this](QGridLayout* layout, int row, const char* label, auto* control, auto signal, auto slot) {
        addRow(layout, row, QString::fromLatin1(label), control);
        connect(control, signal, this, slot, Qt::DirectConnection);
    };
    using W = UI_HsneFCSettingsWidget;
    // This panel's real boxes step by 1.0, the toolkit's default.
    addHierarchyRows(advanced, "Filter Percentile for Landmark Selection", 1.0, 1.0);
    add(advanced, 12, "Exaggeration Factor for Refine", realBox(2.0, 1.0, a->exaggerationFactorRefine()), doubleChanged,
        &W::exagFacRefineChanged);

    QGridLayout* parameters = newSectionBody();
    numScalesSpin = intBox(1, 50, a->numScales());
    add(parameters, 0, "Number of Scales", numScalesSpin, intChanged, &W::numScalesChanged);
    add(parameters, 1, "Momentum for Refine", realBox(0.99, 1.0, a->momentumRefine()), doubleChanged,
        &W::momentumRefineChanged);
    add(parameters, 2, "Rescale Embedding for Refine", realBox(1.0, 1.0, a->rescaleFactor()), doubleChanged,
        &W::rescaleFactorChanged);
    // The box shows the analysis' flag; the panel's own starts on, like the
    // analysis' default.
    add(parameters, 3, "GPU Acceleration", flagBox(a->useGPU()), &QCheckBox::stateChanged, &W::useGPUChanged);
    tmModeCombo = new QComboBox();
    tmModeCombo->addItems({QStringLiteral("Simple Combine"), QStringLiteral("Prune Deepest Level"),
                           QStringLiteral("Prune Deepest + Combine"), QStringLiteral("Augment Combined")});
    tmModeCombo->setCurrentIndex(a->transitionMatrixMode());
    parameters->addWidget(tmModeCombo, 4, 0, 1, 2);
    connect(tmModeCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &W::tmModeChanged,
            Qt::DirectConnection);

    // The input list is filled last: its first set goes to the analysis and
    // gives the first suggestion.
    finishHierarchySections(advanced->parentWidget(), parameters->parentWidget());
}

void UI_HsneFCSettingsWidget::inputChanged() {
    analysis()->setActiveDataSelection(inputData);
    computeNumHardThreshLevels();
}

void UI_HsneFCSettingsWidget::computeNumHardThreshLevels() {
    const MCV_HsneFCAnalysis* a = analysis();
    // Without a fixed percentile there is nothing to suggest from.
    if (!a->useHardThresh() || !inputData) return;
    const int suggestion =
        UI_HsneSettingsWidget::suggestedNumScales(static_cast<int>(inputData->data().size()), a->hardThresh());
    if (numScalesSpin) numScalesSpin->setValue(suggestion);
}

void UI_HsneFCSettingsWidget::landmarkSelectionChanged() { computeNumHardThreshLevels(); }

void UI_HsneFCSettingsWidget::exagFacRefineChanged(double value) {
    analysis()->setExaggerationFactorRefine(static_cast<float>(value));
}
void UI_HsneFCSettingsWidget::numScalesChanged(int value) { analysis()->setNumScales(value); }
void UI_HsneFCSettingsWidget::momentumRefineChanged(double value) {
    analysis()->setMomentumRefine(static_cast<float>(value));
}
void UI_HsneFCSettingsWidget::rescaleFactorChanged(double value) {
    analysis()->setRescaleFactor(static_cast<float>(value));
}
void UI_HsneFCSettingsWidget::useGPUChanged(int state) { useGPU = state > 0; }
void UI_HsneFCSettingsWidget::tmModeChanged(int mode) { analysis()->setTransitionMatrixMode(mode); }

void UI_HsneFCSettingsWidget::computeHSNE() { computeHierarchy(); }

void UI_HsneFCSettingsWidget::handOver() {
    MCV_HsneFCAnalysis* a = analysis();
    // Never hand over a set the data model no longer has.
    a->setActiveDataSelection(inputForCompute());
    a->setUseGPU(useGPU);
}

void UI_HsneFCSettingsWidget::start() { analysis()->initHSNE(); }
