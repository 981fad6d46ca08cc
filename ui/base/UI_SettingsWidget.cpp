#include "UI_SettingsWidget.h"

#include "ui/datapanels/UI_MarkerSelectionWidget.h"

#include <QGridLayout>
#include <QLabel>

UI_SettingsWidget::UI_SettingsWidget(QWidget* parent, MCV_Analysis* analysis) : QWidget(parent), m_analysis(analysis) {}

void UI_SettingsWidget::newDataAdded() {}

void UI_SettingsWidget::initUI() {}

void UI_SettingsWidget::updateMarkerSelectionWidget() {
    if (m_markerSelectionWidget && m_analysis) m_markerSelectionWidget->refreshWidget(m_analysis, false);
}

MCV_Analysis* UI_SettingsWidget::analysis() const { return m_analysis; }

QGridLayout* UI_SettingsWidget::newSectionBody() {
    auto* layout = new QGridLayout(new QWidget());
    layout->setAlignment(Qt::AlignTop);
    return layout;
}

void UI_SettingsWidget::addRow(QGridLayout* layout, int row, const QString& label, QWidget* control,
                               const QString& toolTip) {
    auto* text = new QLabel(label);
    if (!toolTip.isEmpty()) {
        text->setToolTip(toolTip);
        control->setToolTip(toolTip);
    }
    layout->addWidget(text, row, 0);
    layout->addWidget(control, row, 1);
}
