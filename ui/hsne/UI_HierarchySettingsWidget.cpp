#include "UI_HierarchySettingsWidget.h"

#include "analysis/hsne/MCV_HsneHierarchyBuilder.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QSpinBox>

UI_HierarchySettingsWidget::UI_HierarchySettingsWidget(QWidget* parent, MCV_Analysis* analysis,
                                                       MCV_HsneHierarchyBuilder* builder)
    : UI_EmbeddingSettingsWidget(parent, analysis), m_builder(builder) {}

QSpinBox* UI_HierarchySettingsWidget::intBox(int lowest, int highest, int value) {
    auto* box = new QSpinBox();
    box->setRange(lowest, highest);
    box->setValue(value);
    return box;
}

QDoubleSpinBox* UI_HierarchySettingsWidget::realBox(double highest, double step, float value) {
    auto* box = new QDoubleSpinBox();
    box->setRange(0.0, highest);
    box->setSingleStep(step);
    box->setValue(static_cast<double>(value));
    return box;
}

QCheckBox* UI_HierarchySettingsWidget::flagBox(bool checked) {
    auto* box = new QCheckBox();
    box->setChecked(checked);
    return box;
}

void UI_HierarchySettingsWidget::addHierarchyRows(QGridLayout* advanced, const char* percentileLabel,
                                                  double thresholdStep, double percentileStep) {
    MCV_HsneHierarchyBuilder::Settings& s = m_builder->settings();
    // Each control shows the builder's value before it is connected, so
    // building the panel changes nothing.
    auto add = [this, advanced](int row, const char* label, auto* control, auto signal, auto apply) {
        addRow(advanced, row, QString::fromLatin1(label), control);
        connect(control, signal, this, apply, Qt::DirectConnection);
    };
    const auto intChanged = QOverload<int>::of(&QSpinBox::valueChanged);
    const auto doubleChanged = QOverload<double>::of(&QDoubleSpinBox::valueChanged);
    add(2, "RNG Seed", intBox(-1, 10, s.seed), intChanged, [&s](int v) { s.seed = v; });
    add(3, "Memory preserving computation", flagBox(s.memoryPreserving), &QCheckBox::toggled,
        [&s](bool v) { s.memoryPreserving = v; });
    add(4, "#Checks in AKNN", intBox(50, 2048, s.aknnNumChecks), intChanged, [&s](int v) { s.aknnNumChecks = v; });
    add(5, "#RW for influence", intBox(0, 200, s.numWalksPerLandmark), intChanged,
        [&s](int v) { s.numWalksPerLandmark = v; });
    add(6, "#RW for Monte Carlo", intBox(0, 100, s.mcmcsNumWalks), intChanged, [&s](int v) { s.mcmcsNumWalks = v; });
    add(7, "Random walks threshold", realBox(2.0, thresholdStep, s.mcmcsLandmarkThresh), doubleChanged,
        [&s](double v) { s.mcmcsLandmarkThresh = static_cast<float>(v); });
    add(8, "Random walks length", intBox(0, 100, s.mcmcsWalkLength), intChanged,
        [&s](int v) { s.mcmcsWalkLength = v; });
    add(9, "Pruning threshold", intBox(0, 5, s.pruneThresh), intChanged, [&s](int v) { s.pruneThresh = v; });
    add(10, percentileLabel, flagBox(s.useHardThresh), &QCheckBox::toggled, [this, &s](bool v) {
        s.useHardThresh = v;
        landmarkSelectionChanged();
    });
    add(11, "Filter Percentile", realBox(0.99, percentileStep, s.hardThresh), doubleChanged, [this, &s](double v) {
        s.hardThresh = static_cast<float>(v);
        landmarkSelectionChanged();
    });
}

void UI_HierarchySettingsWidget::landmarkSelectionChanged() {}

bool UI_HierarchySettingsWidget::refused() { return false; }

void UI_HierarchySettingsWidget::computeHierarchy() {
    if (!markersChosen()) return;
    if (!refused()) {
        handOver();
        m_builder->settings().knnLibrary = selectedKnnLibrary;
        m_builder->settings().knnMetric = selectedKnnMetric;
    }
    start();
}
