#include "UI_SpadeSettingsWidget.h"

#include "analysis/spade/MCV_SpadeAnalysis.h"
#include "ui/base/UI_ModalDialogs.h"
#include "ui/base/makeProgressBox.h"

#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStringList>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QSpinBox* spinBox(int highest, int value) {
    auto* box = new QSpinBox();
    box->setRange(0, highest);
    box->setValue(value);
    return box;
}

// The spin box's own range (0 to 99.99, two decimals, step 1) unless
// `highest` is given.
QDoubleSpinBox* doubleSpinBox(float value, double highest = -1.0) {
    auto* box = new QDoubleSpinBox();
    if (highest >= 0.0) box->setRange(0.0, highest);
    box->setValue(static_cast<double>(value));
    return box;
}

}  // namespace

UI_SpadeSettingsWidget::UI_SpadeSettingsWidget(QWidget* parent, MCV_SpadeAnalysis* analysis)
    : UI_ClusterSettingsWidget(parent, analysis) {
    if (analysis) initUI();
}

MCV_SpadeAnalysis* UI_SpadeSettingsWidget::spade() const { return static_cast<MCV_SpadeAnalysis*>(m_analysis); }

void UI_SpadeSettingsWidget::initUI() {
    MCV_SpadeAnalysis* s = spade();
    buildMarkerSection();

    // Each control shows the analysis' value before it is connected, so
    // building the panel changes nothing in the analysis.
    const auto intChanged = QOverload<int>::of(&QSpinBox::valueChanged);
    const auto doubleChanged = QOverload<double>::of(&QDoubleSpinBox::valueChanged);
    QGridLayout* advanced = newSectionBody();
    QSpinBox* sample = m_sampleBox = spinBox(999999, s->maxRandomSampleSize());
    addRow(advanced, 0, QStringLiteral("Heuristic Sample"), sample,
           QStringLiteral("The number of random Points used to determine the median density."));
    connect(sample, intChanged, this, &UI_SpadeSettingsWidget::sampleSizeChanged, Qt::DirectConnection);
    QDoubleSpinBox* alpha = doubleSpinBox(s->alpha());
    addRow(advanced, 1, QStringLiteral("Alpha"), alpha,
           QStringLiteral("Scales the neighborhood size for the density computation for downsampling."));
    connect(alpha, doubleChanged, this, &UI_SpadeSettingsWidget::alphaChanged, Qt::DirectConnection);
    QDoubleSpinBox* target = doubleSpinBox(s->targetDensityPercentile());
    addRow(advanced, 2, QStringLiteral("Target Density %"), target,
           QStringLiteral("Percentile of the upper limit of the target density. Points with a density between the "
                          "outlier density and the target density are considered rare, but not noise and kept.\n A "
                          "value of 3.0 (and an outlier density of 1.0) means the cells in between the first and "
                          "third percentile, ordered by density are considered rare and kept.\nPoints with a density "
                          "above this value are kept only with a probability according to their density, the larger "
                          "the density, the lower the probability."));
    connect(target, doubleChanged, this, &UI_SpadeSettingsWidget::targetDensityPercentileChanged, Qt::DirectConnection);
    QDoubleSpinBox* outlier = doubleSpinBox(s->outlierDensityPercentile());
    addRow(advanced, 3, QStringLiteral("Outlier Density %"), outlier,
           QStringLiteral("Percentile of the upper limit of the outlier density. Points with a density below this "
                          "threshold are considered as noise.\nA value of 1.0 means the first percentile of the "
                          "cells ordered by density is discarded. Use larger values if you expect more noise."));
    connect(outlier, doubleChanged, this, &UI_SpadeSettingsWidget::outlierDensityPercentileChanged,
            Qt::DirectConnection);
    addSection(QStringLiteral("Advanced Parameters"), advanced, false);

    QGridLayout* parameters = newSectionBody();
    QDoubleSpinBox* events = doubleSpinBox(s->densityLimit(), 100.0);
    addRow(parameters, 0, QStringLiteral("Target Events %"), events,
           QStringLiteral("Target number of points to keep after downsampling in percent.\nThe number might not be "
                          "reached depending on the outlier and target density parameters."));
    connect(events, doubleChanged, this, &UI_SpadeSettingsWidget::densityLimitChanged, Qt::DirectConnection);
    QSpinBox* nodes = m_nodesBox = spinBox(99999, s->targetNumberOfClusters());
    addRow(parameters, 1, QStringLiteral("Target Nodes"), nodes,
           QStringLiteral("Target number of nodes in the SPADE tree."));
    connect(nodes, intChanged, this, &UI_SpadeSettingsWidget::targetClusterNumberChanged, Qt::DirectConnection);
    addSection(QStringLiteral("Parameters"), parameters, true);

    m_progressBox = makeProgressBox(&m_progressLabel, &m_progressBar);

    QPushButton* button = addComputeButton(QStringLiteral(" Compute Spade Tree "), m_progressBox);
    connect(button, &QPushButton::pressed, this, &UI_SpadeSettingsWidget::compute, Qt::DirectConnection);
}

void UI_SpadeSettingsWidget::sampleSizeChanged(int value) { spade()->setMaxRandomSampleSize(value); }
void UI_SpadeSettingsWidget::alphaChanged(double value) { spade()->setAlpha(static_cast<float>(value)); }
void UI_SpadeSettingsWidget::targetDensityPercentileChanged(double value) {
    spade()->setTargetDensityPercentile(static_cast<float>(value));
}
void UI_SpadeSettingsWidget::outlierDensityPercentileChanged(double value) {
    spade()->setOutlierDensityPercentile(static_cast<float>(value));
}
void UI_SpadeSettingsWidget::densityLimitChanged(double value) { spade()->setDensityLimit(static_cast<float>(value)); }
void UI_SpadeSettingsWidget::targetClusterNumberChanged(int value) { spade()->setTargetNumberOfClusters(value); }

void UI_SpadeSettingsWidget::showProgress(const std::string& what, int percent) {
    m_progressLabel->setText(QString::fromStdString(what));
    m_progressBar->setValue(std::clamp(percent, 0, 100));
    // Repaint, and keep the window system answered, but take no input: a
    // click or key could change the analysis or replace the data under the
    // run.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void UI_SpadeSettingsWidget::compute() {
    MCV_SpadeAnalysis* s = spade();
    if (s->isRunning()) return;
    if (!markersChosen(QStringLiteral("No markers selected.\nSelect at least one marker to compute the SPADE tree.")))
        return;

    computeButton->setEnabled(false);
    m_progressLabel->clear();
    m_progressBar->setValue(0);
    m_progressBox->show();
    // Events processed inside the hook may delete this panel (its analysis
    // goes only after the run has returned).
    QPointer<UI_SpadeSettingsWidget> self(this);
    s->setProgressHook([self](const std::string& what, int percent) {
        if (self) self->showProgress(what, percent);
    });
    s->computeSpadeTree();
    s->setProgressHook(nullptr);
    if (!self) return;

    m_progressBox->hide();
    m_progressBar->reset();
    m_progressLabel->clear();
    computeButton->setEnabled(true);
    const QString cacheNote = QString::fromStdString(s->cacheNote());
    if (!s->errorMessage().empty())
        UI_ModalDialogs::message(
            QMessageBox::Warning, this, QStringLiteral("Warning"),
            QString::fromStdString(s->errorMessage()) + (cacheNote.isEmpty() ? QString() : "\n" + cacheNote));
    else
        showAdjustments(cacheNote);
}

// The boxes take the values the run used (the analysis holds them already,
// so no stage becomes due), and the status bar says why, with a density
// cache the run could not write; a run that used every value as given and
// kept its caches says so through requestDone.
void UI_SpadeSettingsWidget::showAdjustments(const QString& cacheNote) {
    MCV_SpadeAnalysis* s = spade();
    if (s->adjustments().empty() && cacheNote.isEmpty()) {
        // The line of an earlier run no longer holds.
        emit requestDone(QString());
        return;
    }
    s->adoptAdjustments();
    QStringList reasons;
    for (const MCV_SpadeAnalysis::Adjustment& a : s->adjustments()) {
        if (a.setting == MCV_SpadeAnalysis::Adjustment::SampleSize) {
            m_sampleBox->setValue(a.used);
            reasons << QStringLiteral("Heuristic Sample %1 is below 1; %2 random event was used.")
                           .arg(a.requested)
                           .arg(a.used);
        } else {
            m_nodesBox->setValue(a.used);
            reasons << (a.used < a.requested
                            ? QStringLiteral("Target Nodes %1 is more than the %2 events kept after down-sampling; "
                                             "the tree has %2 nodes.")
                                  .arg(a.requested)
                                  .arg(a.used)
                            : QStringLiteral("Target Nodes %1 is below 1; the tree has %2 node.")
                                  .arg(a.requested)
                                  .arg(a.used));
        }
    }
    if (!cacheNote.isEmpty()) reasons << cacheNote;
    emit computeAdjusted("\"" + QString::fromStdString(s->name()) + "\": " + reasons.join(' '));
}
