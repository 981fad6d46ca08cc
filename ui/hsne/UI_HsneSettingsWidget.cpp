#include "UI_HsneSettingsWidget.h"

#include "analysis/hsne/MCV_HsneAnalysis.h"
#include "analysis/hsne/MCV_HsneAnalysisHierarchy.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataPoints.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QPushButton>
#include <QSpinBox>

#include <string>

namespace {

QSpinBox* spinBox(int lowest, int highest, int value) {
    auto* box = new QSpinBox();
    box->setRange(lowest, highest);
    box->setSingleStep(1);
    box->setValue(value);
    return box;
}

QDoubleSpinBox* doubleSpinBox(double highest, double step, float value) {
    auto* box = new QDoubleSpinBox();
    box->setRange(0.0, highest);
    box->setSingleStep(step);
    box->setValue(static_cast<double>(value));
    return box;
}

QCheckBox* checkBox(bool checked) {
    auto* box = new QCheckBox();
    box->setChecked(checked);
    return box;
}

}  // namespace

UI_HsneSettingsWidget::UI_HsneSettingsWidget(QWidget* parent, MCV_HsneAnalysisHierarchy* analysis)
    : UI_EmbeddingSettingsWidget(parent, analysis) {
    if (analysis) initUI();
}

MCV_HsneAnalysisHierarchy* UI_HsneSettingsWidget::hierarchy() const {
    return static_cast<MCV_HsneAnalysisHierarchy*>(m_analysis);
}

void UI_HsneSettingsWidget::initUI() {
    MCV_HsneAnalysisHierarchy* h = hierarchy();
    buildInputSections();

    // Each control shows the analysis' value before it is connected, so
    // building the panel changes nothing in the analysis.
    QGridLayout* advanced = newSectionBody();
    addKnnRows(advanced, 0);
    auto add = [this, advanced](int row, const char* label, auto* control, auto signal, auto slot) {
        addRow(advanced, row, QString::fromLatin1(label), control);
        connect(control, signal, this, slot, Qt::DirectConnection);
    };
    const auto intChanged = QOverload<int>::of(&QSpinBox::valueChanged);
    const auto doubleChanged = QOverload<double>::of(&QDoubleSpinBox::valueChanged);
    add(2, "RNG Seed", spinBox(-1, 10, h->seed()), intChanged, &UI_HsneSettingsWidget::seedChanged);
    add(3, "Memory preserving computation", checkBox(h->memoryPreserving()), &QCheckBox::toggled,
        &UI_HsneSettingsWidget::memPreservingChanged);
    add(4, "#Checks in AKNN", spinBox(50, 2048, h->aknnNumChecks()), intChanged,
        &UI_HsneSettingsWidget::aknnNumChecksChanged);
    add(5, "#RW for influence", spinBox(0, 200, h->numWalksPerLandmark()), intChanged,
        &UI_HsneSettingsWidget::numWalksPerLandmarkChanged);
    add(6, "#RW for Monte Carlo", spinBox(0, 100, h->mcmcsNumWalks()), intChanged,
        &UI_HsneSettingsWidget::mcmcsNumWalksChanged);
    add(7, "Random walks threshold", doubleSpinBox(2.0, 0.1, h->mcmcsLandmarkThresh()), doubleChanged,
        &UI_HsneSettingsWidget::mcmcsLandmarkThreshChanged);
    add(8, "Random walks length", spinBox(0, 100, h->mcmcsWalkLength()), intChanged,
        &UI_HsneSettingsWidget::mcmcsWalkLengthChanged);
    add(9, "Pruning threshold", spinBox(0, 5, h->pruneThresh()), intChanged,
        &UI_HsneSettingsWidget::pruneThreshChanged);
    add(10, "Fixed Percentile Landmark Selection", checkBox(h->useHardThresh()), &QCheckBox::toggled,
        &UI_HsneSettingsWidget::useHardThreshChanged);
    add(11, "Filter Percentile", doubleSpinBox(0.99, 0.01, h->hardThresh()), doubleChanged,
        &UI_HsneSettingsWidget::hardThreshChanged);

    QGridLayout* parameters = newSectionBody();
    numScales = h->numScales();
    numScalesSpin = spinBox(1, 50, numScales);
    addRow(parameters, 0, QStringLiteral("Number of Scales"), numScalesSpin);
    connect(numScalesSpin, intChanged, this, &UI_HsneSettingsWidget::numScalesChanged, Qt::DirectConnection);
    cachingEnabled = h->cachingEnabled();
    QCheckBox* cache = checkBox(cachingEnabled);
    addRow(parameters, 1, QStringLiteral("Cache HSNE Hierarchy"), cache);
    connect(cache, &QCheckBox::stateChanged, this, &UI_HsneSettingsWidget::cacheCheckBoxChanged, Qt::DirectConnection);
    useGPU = h->useGPU();
    QCheckBox* gpu = checkBox(useGPU);
    addRow(parameters, 2, QStringLiteral("GPU Acceleration"), gpu);
    connect(gpu, &QCheckBox::stateChanged, this, &UI_HsneSettingsWidget::useGPUChanged, Qt::DirectConnection);

    // The input list is filled last; its first set gives the first suggestion.
    QPushButton* compute =
        finishSections(advanced->parentWidget(), parameters->parentWidget(), QStringLiteral(" Compute HSNE "));
    connect(compute, &QPushButton::pressed, this, &UI_HsneSettingsWidget::computeHSNE, Qt::DirectConnection);
}

int UI_HsneSettingsWidget::suggestedNumScales(int numPoints, float factor) {
    int scales = 1;
    if (numPoints < 2000) return scales;
    do {
        numPoints = static_cast<int>(static_cast<float>(numPoints) * factor);
        ++scales;
    } while (numPoints > 1999);
    return scales;
}

void UI_HsneSettingsWidget::inputChanged() { computeNumScales(); }

void UI_HsneSettingsWidget::computeNumScales() {
    if (!inputDataCombo) return;
    // Looked up without registering: an unknown name gives no suggestion
    // rather than an empty point set in the data model.
    const std::string name = inputDataCombo->currentText().toStdString();
    MCV_DerivedDataPoints* set = nullptr;
    for (MCV_DerivedDataPoints* candidate : MCV_CytometryData::Instance()->derivedDataPoints())
        if (candidate && candidate->name() == name) set = candidate;
    if (!set) return;
    const MCV_HsneAnalysisHierarchy* h = hierarchy();
    const float factor = h->useHardThresh() ? h->hardThresh() : 0.125f;
    const int suggestion = suggestedNumScales(static_cast<int>(set->data().size()), factor);
    if (numScalesSpin) numScalesSpin->setValue(suggestion);
}

void UI_HsneSettingsWidget::seedChanged(int value) { hierarchy()->setSeed(value); }
void UI_HsneSettingsWidget::memPreservingChanged(bool value) { hierarchy()->setMemoryPreserving(value); }
void UI_HsneSettingsWidget::aknnNumChecksChanged(int value) { hierarchy()->setAknnNumChecks(value); }
void UI_HsneSettingsWidget::numWalksPerLandmarkChanged(int value) { hierarchy()->setNumWalksPerLandmark(value); }
void UI_HsneSettingsWidget::mcmcsNumWalksChanged(int value) { hierarchy()->setMcmcsNumWalks(value); }
void UI_HsneSettingsWidget::mcmcsLandmarkThreshChanged(double value) {
    hierarchy()->setMcmcsLandmarkThresh(static_cast<float>(value));
}
void UI_HsneSettingsWidget::mcmcsWalkLengthChanged(int value) { hierarchy()->setMcmcsWalkLength(value); }
void UI_HsneSettingsWidget::pruneThreshChanged(int value) { hierarchy()->setPruneThresh(value); }

void UI_HsneSettingsWidget::useHardThreshChanged(bool value) {
    hierarchy()->setUseHardThresh(value);
    computeNumScales();
}

void UI_HsneSettingsWidget::hardThreshChanged(double value) {
    hierarchy()->setHardThresh(static_cast<float>(value));
    computeNumScales();
}

void UI_HsneSettingsWidget::numScalesChanged(int value) { numScales = value; }
void UI_HsneSettingsWidget::cacheCheckBoxChanged(int state) { cachingEnabled = state > 0; }
void UI_HsneSettingsWidget::useGPUChanged(int state) { useGPU = state > 0; }

void UI_HsneSettingsWidget::computeHSNE() {
    if (!markersChosen()) return;
    MCV_HsneAnalysisHierarchy* h = hierarchy();
    if (const MCV_HsneAnalysis* level = h->levelRefusingCompute()) {
        emit computeRefused(QStringLiteral("\"%1\" was not computed: its level \"%2\" is still embedding. Stop that "
                                           "embedding, then press Compute again.")
                                .arg(QString::fromStdString(h->name()), QString::fromStdString(level->name())));
        // Nothing is handed over: the names of the levels opened later count
        // the scales of the hierarchy that is there. The hierarchy writes its
        // console line.
        h->initHSNE();
        return;
    }
    h->setActiveDataSelection(inputForCompute());
    h->setNumScales(numScales);
    h->setCachingEnabled(cachingEnabled);
    h->setUseGPU(useGPU);
    h->setKnnLibrary(static_cast<vel::utils::knn_library>(selectedKnnLibrary));
    h->setKnnMetric(static_cast<vel::utils::knn_distance_metric>(selectedKnnMetric));
    h->initHSNE();
}
