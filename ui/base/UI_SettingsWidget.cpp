#include "UI_SettingsWidget.h"

#include "ui/datapanels/UI_MarkerSelectionWidget.h"

UI_SettingsWidget::UI_SettingsWidget(QWidget* parent, MCV_Analysis* analysis) : QWidget(parent), m_analysis(analysis) {}

void UI_SettingsWidget::newDataAdded() {}

void UI_SettingsWidget::initUI() {}

void UI_SettingsWidget::updateMarkerSelectionWidget() {
    if (m_markerSelectionWidget && m_analysis) m_markerSelectionWidget->refreshWidget(m_analysis, false);
}

MCV_Analysis* UI_SettingsWidget::analysis() const { return m_analysis; }
