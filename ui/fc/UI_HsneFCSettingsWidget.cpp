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

namespace {

QSpinBox* spinBox(int lowest, int highest, int value) {
    auto* box = new QSpinBox();
    box->setRange(lowest, highest);
    box->setValue(value);
    return box;
}

// The panel's double boxes keep the toolkit's step of 1.0 and 2 decimals.
QDoubleSpinBox* doubleSpinBox(double highest, float value) {
    auto* box = new QDoubleSpinBox();
    box->setRange(0.0, highest);
    box->setValue(static_cast<double>(value));
    return box;
}

QCheckBox* checkBox(bool checked) {
    auto* box = new QCheckBox();
    box->setChecked(checked);
    return box;
}

}  // namespace

UI_HsneFCSettingsWidget::UI_HsneFCSettingsWidget(QWidget* parent, MCV_HsneFCAnalysis* analysisIn)
    : UI_EmbeddingSettingsWidget(parent, analysisIn) {
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
    add(advanced, 2, "RNG Seed", spinBox(-1, 10, a->seed()), intChanged, &W::seedChanged);
    add(advanced, 3, "Memory preserving computation", checkBox(a->memoryPreserving()), &QCheckBox::toggled,
        &W::memPreservingChanged);
    add(advanced, 4, "#Checks in AKNN", spinBox(50, 2048, a->aknnNumChecks()), intChanged, &W::aknnNumChecksChanged);
    add(advanced, 5, "#RW for influence", spinBox(0, 200, a->numWalksPerLandmark()), intChanged,
        &W::numWalksPerLandmarkChanged);
    add(advanced, 6, "#RW for Monte Carlo", spinBox(0, 100, a->mcmcsNumWalks()), intChanged, &W::mcmcsNumWalksChanged);
    add(advanced, 7, "Random walks threshold", doubleSpinBox(2.0, a->mcmcsLandmarkThresh()), doubleChanged,
        &W::mcmcsLandmarkThreshChanged);
    add(advanced, 8, "Random walks length", spinBox(0, 100, a->mcmcsWalkLength()), intChanged,
        &W::mcmcsWalkLengthChanged);
    add(advanced, 9, "Pruning threshold", spinBox(0, 5, a->pruneThresh()), intChanged, &W::pruneThreshChanged);
    add(advanced, 10, "Filter Percentile for Landmark Selection", checkBox(a->useHardThresh()), &QCheckBox::toggled,
        &W::useHardThreshChanged);
    add(advanced, 11, "Filter Percentile", doubleSpinBox(0.99, a->hardThresh()), doubleChanged, &W::hardThreshChanged);
    add(advanced, 12, "Exaggeration Factor for Refine", doubleSpinBox(2.0, a->exaggerationFactorRefine()),
        doubleChanged, &W::exagFacRefineChanged);

    QGridLayout* parameters = newSectionBody();
    numScalesSpin = spinBox(1, 50, a->numScales());
    add(parameters, 0, "Number of Scales", numScalesSpin, intChanged, &W::numScalesChanged);
    add(parameters, 1, "Momentum for Refine", doubleSpinBox(0.99, a->momentumRefine()), doubleChanged,
        &W::momentumRefineChanged);
    add(parameters, 2, "Rescale Embedding for Refine", doubleSpinBox(1.0, a->rescaleFactor()), doubleChanged,
        &W::rescaleFactorChanged);
    // The box shows the analysis' flag; the panel's own starts on, like the
    // analysis' default.
    add(parameters, 3, "GPU Acceleration", checkBox(a->useGPU()), &QCheckBox::stateChanged, &W::useGPUChanged);
    tmModeCombo = new QComboBox();
    tmModeCombo->addItems({QStringLiteral("Simple Combine"), QStringLiteral("Prune Deepest Level"),
                           QStringLiteral("Prune Deepest + Combine"), QStringLiteral("Augment Combined")});
    tmModeCombo->setCurrentIndex(a->transitionMatrixMode());
    parameters->addWidget(tmModeCombo, 4, 0, 1, 2);
    connect(tmModeCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &W::tmModeChanged,
            Qt::DirectConnection);

    // The input list is filled last: its first set goes to the analysis and
    // gives the first suggestion.
    QPushButton* compute =
        finishSections(advanced->parentWidget(), parameters->parentWidget(), QStringLiteral(" Compute HSNE "));
    connect(compute, &QPushButton::pressed, this, &W::computeHSNE, Qt::DirectConnection);
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

void UI_HsneFCSettingsWidget::seedChanged(int value) { analysis()->setSeed(value); }
void UI_HsneFCSettingsWidget::memPreservingChanged(bool value) { analysis()->setMemoryPreserving(value); }
void UI_HsneFCSettingsWidget::aknnNumChecksChanged(int value) { analysis()->setAknnNumChecks(value); }
void UI_HsneFCSettingsWidget::numWalksPerLandmarkChanged(int value) { analysis()->setNumWalksPerLandmark(value); }
void UI_HsneFCSettingsWidget::mcmcsNumWalksChanged(int value) { analysis()->setMcmcsNumWalks(value); }
void UI_HsneFCSettingsWidget::mcmcsLandmarkThreshChanged(double value) {
    analysis()->setMcmcsLandmarkThresh(static_cast<float>(value));
}
void UI_HsneFCSettingsWidget::mcmcsWalkLengthChanged(int value) { analysis()->setMcmcsWalkLength(value); }
void UI_HsneFCSettingsWidget::pruneThreshChanged(int value) { analysis()->setPruneThresh(value); }

void UI_HsneFCSettingsWidget::useHardThreshChanged(bool value) {
    analysis()->setUseHardThresh(value);
    computeNumHardThreshLevels();
}

void UI_HsneFCSettingsWidget::hardThreshChanged(double value) {
    analysis()->setHardThresh(static_cast<float>(value));
    computeNumHardThreshLevels();
}

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

void UI_HsneFCSettingsWidget::computeHSNE() {
    if (!markersChosen()) return;
    MCV_HsneFCAnalysis* a = analysis();
    // Never hand over a set the data model no longer has.
    a->setActiveDataSelection(inputForCompute());
    a->setUseGPU(useGPU);
    a->setKnnLibrary(static_cast<vel::utils::knn_library>(selectedKnnLibrary));
    a->setKnnMetric(static_cast<vel::utils::knn_distance_metric>(selectedKnnMetric));
    a->initHSNE();
}
