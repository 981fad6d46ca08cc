#include "UI_ImageSettingsSliderWidget.h"

#include "ui/web/UI_DualSliderWidget.h"

#include <QComboBox>
#include <QGridLayout>
#include <QResizeEvent>

UI_ImageSettingsSliderWidget::UI_ImageSettingsSliderWidget(QWidget* parent)
    : UI_SettingsSliderWidget(parent, 110), m_markerOffset(-3) {
    initUI();
}

UI_ImageSettingsSliderWidget::~UI_ImageSettingsSliderWidget() {
    delete m_markerSpanSlider;
    delete m_markerCombo;
    delete m_datasetCombo;
    delete m_contentLayout;
    delete m_contentPanel;
}

void UI_ImageSettingsSliderWidget::initUI() {
    m_contentPanel = new QWidget(this);
    m_contentPanel->setStyleSheet(QString("QRadioButton{color: white;}") + "QLabel{color: white;}" +
                                  "QCheckBox{color: white;}" + "QGroupBox{color: white;}");
    m_contentPanel->setFixedWidth(int(width() * 0.8));
    m_contentPanel->setMinimumHeight(95);
    mainLayout()->addWidget(m_contentPanel, 1, 1);

    m_contentLayout = new QGridLayout(m_contentPanel);
    m_contentLayout->setContentsMargins(0, 0, 0, 0);
    m_datasetCombo = new QComboBox(m_contentPanel);
    m_markerCombo = new QComboBox(m_contentPanel);
    m_markerCombo->setMinimumWidth(125);
    m_markerSpanSlider = new UI_DualSliderWidget(m_contentPanel);
    m_contentLayout->addWidget(m_datasetCombo, 0, 0, Qt::AlignTop);
    m_contentLayout->addWidget(m_markerCombo, 0, 1, 1, 3, Qt::AlignTop);
    m_contentLayout->addWidget(m_markerSpanSlider, 1, 1, 2, 3, Qt::AlignTop);

    connect(m_datasetCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &UI_ImageSettingsSliderWidget::setDataset);
    connect(m_markerCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &UI_ImageSettingsSliderWidget::setMarker);
    connect(m_markerSpanSlider, &UI_DualSliderWidget::valuesChanged, this,
            &UI_ImageSettingsSliderWidget::setMarkerSpan);
}

void UI_ImageSettingsSliderWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (m_contentPanel) m_contentPanel->setFixedWidth(int(width() * 0.8));
}

void UI_ImageSettingsSliderWidget::addDataset(std::string name) {
    const QString text = QString::fromStdString(name);
    if (m_datasetCombo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0) m_datasetCombo->addItem(text);
}

void UI_ImageSettingsSliderWidget::setMarkers(std::vector<std::string>* markers) {
    const QString current = m_markerCombo->currentText();
    m_markerCombo->clear();
    m_markerCombo->addItem("Embedding Coordinates (HSNE)");
    m_markerCombo->addItem("Embedding Coordinates (tSNE)");
    m_markerCombo->addItem("RGB Image");
    if (markers)
        for (const std::string& name : *markers) m_markerCombo->addItem(QString::fromStdString(name));
    m_markerCombo->setCurrentText(current);
}

void UI_ImageSettingsSliderWidget::updateMarkerSliderLimits(std::pair<float, float> limits,
                                                            std::pair<float, float> span) {
    m_markerSpanSlider->setRange(limits.first, limits.second, span.first, span.second);
}

void UI_ImageSettingsSliderWidget::updateMarkerSliderRanges(std::pair<float, float> span) {
    m_markerSpanSlider->setValues(span.first, span.second);
}

void UI_ImageSettingsSliderWidget::setDataset(int dataset) {
    // The combo only grows, so it never reports "no entry"; a name it does
    // not hold is never sent.
    if (dataset < 0) return;
    emit parentSetDataset(m_datasetCombo->itemText(dataset).toStdString());
}

void UI_ImageSettingsSliderWidget::setMarker(int marker) {
    m_markerSpanSlider->setEnabled(marker > 0);
    emit parentSetMarker(marker + m_markerOffset);
}

void UI_ImageSettingsSliderWidget::setMarkerSpan(float lower, float upper) { emit parentSetMarkerSpan(lower, upper); }
