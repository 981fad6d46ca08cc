#include "UI_HierarchySettingsWidget.h"

#include "ui/base/makeProgressBox.h"

#include "analysis/MCV_Analysis.h"
#include "ui/base/UI_InputBlocker.h"
#include "ui/base/owningMainWindow.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QVBoxLayout>

#include <algorithm>

UI_HierarchySettingsWidget::UI_HierarchySettingsWidget(QWidget* parent, MCV_Analysis* analysis,
                                                       MCV_HsneHierarchyBuilder* builder)
    : UI_EmbeddingSettingsWidget(parent, analysis), m_builder(builder) {
    if (!m_builder) return;
    // The builder outlives the panel: once the panel is gone, a build still
    // keeps the window answered, without showing anything.
    QPointer<UI_HierarchySettingsWidget> self(this);
    m_builder->setProgressHook([self](const MCV_HsneHierarchyBuilder::Status& status) {
        if (self)
            self->showBuild(status);
        else if (!status.finished)
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    });
}

UI_HierarchySettingsWidget::~UI_HierarchySettingsWidget() = default;

QPushButton* UI_HierarchySettingsWidget::finishHierarchySections(QWidget* advancedBody, QWidget* parameterBody) {
    m_progressBox = makeProgressBox(&m_progressLabel, &m_progressBar);
    QPushButton* compute = finishSections(advancedBody, parameterBody, QStringLiteral(" Compute HSNE "), m_progressBox);
    connect(compute, &QPushButton::pressed, this, &UI_HierarchySettingsWidget::computeHierarchy, Qt::DirectConnection);
    return compute;
}

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

void UI_HierarchySettingsWidget::showBuild(const MCV_HsneHierarchyBuilder::Status& status) {
    if (status.finished) {
        m_inputBlocker.reset();
        m_progressBox->hide();
        m_progressBar->reset();
        m_progressLabel->clear();
        computeButton->setEnabled(true);
        const QString note = QString::fromStdString(m_builder->cacheNote());
        if (!note.isEmpty())
            showInStatusBar(note);
        else if (QMainWindow* window = owningMainWindow(this))
            if (window->statusBar()->currentMessage() == m_statusLine) window->statusBar()->clearMessage();
        m_statusLine.clear();
        return;
    }
    if (!m_inputBlocker) {
        // The first call of a build.
        m_inputBlocker = std::make_unique<UI_InputBlocker>();
        computeButton->setEnabled(false);
        m_progressBox->show();
    }
    const int percent = std::clamp(static_cast<int>(status.fraction * 100), 0, 100);
    const QString what = QString::fromStdString(status.what);
    m_progressLabel->setText(what);
    m_progressBar->setValue(percent);
    m_statusLine = QStringLiteral("%1: %2, %3 %").arg(QString::fromStdString(m_analysis->name()), what).arg(percent);
    showInStatusBar(m_statusLine);
    // Every pending event, the window system's included; the blocker drops
    // the user's input, so nothing can change the analysis or the data under
    // the build, but a close request still reaches the window.
    QCoreApplication::processEvents();
}

void UI_HierarchySettingsWidget::showInStatusBar(const QString& text) {
    if (QMainWindow* window = owningMainWindow(this)) window->statusBar()->showMessage(text);
}
