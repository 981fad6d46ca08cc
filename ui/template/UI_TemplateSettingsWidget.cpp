#include "UI_TemplateSettingsWidget.h"

#include "analysis/template/MCV_TemplateAnalysis.h"
#include "ui/base/UI_ModalDialogs.h"

#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QPushButton>

UI_TemplateSettingsWidget::UI_TemplateSettingsWidget(QWidget* parent, MCV_TemplateAnalysis* analysis)
    : UI_ClusterSettingsWidget(parent, analysis) {
    if (analysis) initUI();
}

MCV_TemplateAnalysis* UI_TemplateSettingsWidget::classification() const {
    return static_cast<MCV_TemplateAnalysis*>(m_analysis);
}

void UI_TemplateSettingsWidget::initUI() {
    MCV_TemplateAnalysis* t = classification();
    buildMarkerSection();

    // Each box shows the analysis' value before it is connected, so building
    // the panel changes nothing in the analysis.
    const auto doubleChanged = QOverload<double>::of(&QDoubleSpinBox::valueChanged);
    QGridLayout* parameters = newSectionBody();
    auto* single = new QDoubleSpinBox();
    single->setValue(static_cast<double>(t->maxSingleDistance()));
    addRow(parameters, 0, QStringLiteral("Max Single Marker Distance"), single,
           QStringLiteral("Maximum difference for a single marker, for upsampling."));
    connect(single, doubleChanged, this, &UI_TemplateSettingsWidget::maxSingleDifferenceChanged, Qt::DirectConnection);
    auto* total = new QDoubleSpinBox();
    total->setValue(static_cast<double>(t->maxTotalDistance()));
    addRow(parameters, 1, QStringLiteral("Max Total Distance"), total,
           QStringLiteral("Maximum difference for all markers combined, for upsampling."));
    connect(total, doubleChanged, this, &UI_TemplateSettingsWidget::maxTotalDifferenceChanged, Qt::DirectConnection);
    addSection(QStringLiteral("Parameters"), parameters, true);

    QPushButton* button = addComputeButton(QStringLiteral(" Upsample "), nullptr);
    connect(button, &QPushButton::pressed, this, &UI_TemplateSettingsWidget::compute, Qt::DirectConnection);
}

void UI_TemplateSettingsWidget::maxSingleDifferenceChanged(double value) {
    classification()->setMaxSingleDistance(static_cast<float>(value));
}

void UI_TemplateSettingsWidget::maxTotalDifferenceChanged(double value) {
    classification()->setMaxTotalDistance(static_cast<float>(value));
}

void UI_TemplateSettingsWidget::compute() {
    if (!markersChosen(
            QStringLiteral("No markers selected.\nSelect at least one marker to compute the the template matching.")))
        return;
    MCV_TemplateAnalysis* t = classification();
    if (!t->upsampleData())
        UI_ModalDialogs::message(QMessageBox::Warning, this, QStringLiteral("Warning"),
                                 QString::fromStdString(t->errorMessage()));
}
