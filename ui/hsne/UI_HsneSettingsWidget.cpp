#include "UI_HsneSettingsWidget.h"

#include "analysis/hsne/MCV_HsneAnalysis.h"
#include "analysis/hsne/MCV_HsneAnalysisHierarchy.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataPoints.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QPushButton>
#include <QSpinBox>

#include <string>

UI_HsneSettingsWidget::UI_HsneSettingsWidget(QWidget* parent, MCV_HsneAnalysisHierarchy* analysis)
    : UI_HierarchySettingsWidget(parent, analysis, analysis ? &analysis->builder() : nullptr) {
    if (analysis) initUI();
}

MCV_HsneAnalysisHierarchy* UI_HsneSettingsWidget::hierarchy() const {
    return static_cast<MCV_HsneAnalysisHierarchy*>(m_analysis);
}

void UI_HsneSettingsWidget::initUI() {
    MCV_HsneAnalysisHierarchy* h = hierarchy();
    buildInputSections();

    QGridLayout* advanced = newSectionBody();
    addKnnRows(advanced, 0);
    addHierarchyRows(advanced, "Fixed Percentile Landmark Selection", 0.1, 0.01);
    const auto intChanged = QOverload<int>::of(&QSpinBox::valueChanged);

    QGridLayout* parameters = newSectionBody();
    numScales = h->numScales();
    numScalesSpin = intBox(1, 50, numScales);
    addRow(parameters, 0, QStringLiteral("Number of Scales"), numScalesSpin);
    connect(numScalesSpin, intChanged, this, &UI_HsneSettingsWidget::numScalesChanged, Qt::DirectConnection);
    cachingEnabled = h->cachingEnabled();
    QCheckBox* cache = flagBox(cachingEnabled);
    addRow(parameters, 1, QStringLiteral("Cache HSNE Hierarchy"), cache);
    connect(cache, &QCheckBox::stateChanged, this, &UI_HsneSettingsWidget::cacheCheckBoxChanged, Qt::DirectConnection);
    useGPU = h->useGPU();
    QCheckBox* gpu = flagBox(useGPU);
    addRow(parameters, 2, QStringLiteral("GPU Acceleration"), gpu);
    connect(gpu, &QCheckBox::stateChanged, this, &UI_HsneSettingsWidget::useGPUChanged, Qt::DirectConnection);

    // The input list is filled last; its first set gives the first suggestion.
    finishHierarchySections(advanced->parentWidget(), parameters->parentWidget());
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

void UI_HsneSettingsWidget::landmarkSelectionChanged() { computeNumScales(); }

void UI_HsneSettingsWidget::numScalesChanged(int value) { numScales = value; }
void UI_HsneSettingsWidget::cacheCheckBoxChanged(int state) { cachingEnabled = state > 0; }
void UI_HsneSettingsWidget::useGPUChanged(int state) { useGPU = state > 0; }

void UI_HsneSettingsWidget::computeHSNE() { computeHierarchy(); }

bool UI_HsneSettingsWidget::refused() {
    MCV_HsneAnalysisHierarchy* h = hierarchy();
    const MCV_HsneAnalysis* level = h->levelRefusingCompute();
    if (!level) return false;
    // Nothing is handed over: the names of the levels opened later count the
    // scales of the hierarchy that is there.
    emit computeRefused(QStringLiteral("\"%1\" was not computed: its level \"%2\" is still embedding. Stop that "
                                       "embedding, then press Compute again.")
                            .arg(QString::fromStdString(h->name()), QString::fromStdString(level->name())));
    return true;
}

void UI_HsneSettingsWidget::handOver() {
    MCV_HsneAnalysisHierarchy* h = hierarchy();
    h->setActiveDataSelection(inputForCompute());
    h->setNumScales(numScales);
    h->setCachingEnabled(cachingEnabled);
    h->setUseGPU(useGPU);
}

void UI_HsneSettingsWidget::start() { hierarchy()->initHSNE(); }
