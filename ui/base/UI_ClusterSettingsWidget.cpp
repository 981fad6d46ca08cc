#include "UI_ClusterSettingsWidget.h"

#include "analysis/MCV_Analysis.h"
#include "ui/base/UI_ExpanderWidget.h"
#include "ui/base/UI_ModalDialogs.h"
#include "ui/datapanels/UI_MarkerSelectionWidget.h"

#include <QGridLayout>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

UI_ClusterSettingsWidget::UI_ClusterSettingsWidget(QWidget* parent, MCV_Analysis* analysis)
    : UI_SettingsWidget(parent, analysis) {}

void UI_ClusterSettingsWidget::buildMarkerSection() {
    auto* outer = new QGridLayout(this);
    auto* scroll = new QScrollArea();
    scroll->setWidgetResizable(true);
    auto* inner = new QWidget();
    gridLayout = new QGridLayout(inner);
    scroll->setWidget(inner);
    outer->addWidget(scroll, 0, 0);

    m_markerSelectionWidget = new UI_MarkerSelectionWidget(nullptr, 2);
    m_markerSelectionWidget->refreshWidget(m_analysis, false);
    auto* section = new UI_ExpanderWidget(nullptr, true, false);
    section->setHeader(QStringLiteral("Active Markers"));
    section->setBody(m_markerSelectionWidget);
    gridLayout->addWidget(section, m_rows++, 0);
}

void UI_ClusterSettingsWidget::addSection(const QString& title, QGridLayout* body, bool expanded) {
    body->setColumnStretch(0, 0);
    body->setColumnStretch(1, 1);
    auto* section = new UI_ExpanderWidget(nullptr, expanded, false);
    section->setHeader(title);
    section->setBody(body->parentWidget());
    gridLayout->addWidget(section, m_rows++, 0);
}

QPushButton* UI_ClusterSettingsWidget::addComputeButton(const QString& text, QWidget* below) {
    computeButton = new QPushButton(text, this);
    if (below) {
        auto* column = new QVBoxLayout();
        column->addWidget(computeButton);
        column->addWidget(below);
        gridLayout->addLayout(column, m_rows, 0, Qt::AlignTop);
    } else {
        gridLayout->addWidget(computeButton, m_rows, 0, Qt::AlignTop);
    }
    for (int row = 0; row < m_rows; ++row) gridLayout->setRowStretch(row, 0);
    gridLayout->setRowStretch(m_rows++, 1);
    return computeButton;
}

bool UI_ClusterSettingsWidget::markersChosen(const QString& text) {
    if (!m_analysis->selectedMarkers()->empty()) return true;
    UI_ModalDialogs::message(QMessageBox::Warning, this, QStringLiteral("No markers selected"), text);
    return false;
}
