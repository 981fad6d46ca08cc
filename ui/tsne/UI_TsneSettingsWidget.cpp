#include "UI_TsneSettingsWidget.h"

#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataPoints.h"
#include "ui/base/UI_ExpanderWidget.h"
#include "ui/datapanels/UI_MarkerSelectionWidget.h"
#include "ui/base/UI_ModalDialogs.h"
#include "ui/datapanels/UI_SelectiveDownsamplingWidget.h"
#include "ui/base/owningMainWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>

#include <algorithm>
#include <string>

UI_TsneSettingsWidget::UI_TsneSettingsWidget(QWidget* parent, MCV_TsneAnalysis* analysis)
    : UI_SettingsWidget(parent, analysis) {
    if (analysis) initUI();
}

UI_TsneSettingsWidget::~UI_TsneSettingsWidget() {
    if (downsamplingWidget && !downsamplingWidget->parent()) delete downsamplingWidget;
}

MCV_TsneAnalysis* UI_TsneSettingsWidget::tsne() const { return static_cast<MCV_TsneAnalysis*>(m_analysis); }

void UI_TsneSettingsWidget::initUI() {
    auto* outer = new QGridLayout(this);
    auto* scroll = new QScrollArea();
    scroll->setWidgetResizable(true);
    auto* inner = new QWidget();
    m_settingsLayout = new QGridLayout(inner);
    scroll->setWidget(inner);
    outer->addWidget(scroll, 0, 0);

    // Input data.
    auto* inputBody = new QWidget();
    auto* inputLayout = new QGridLayout(inputBody);
    inputLayout->setAlignment(Qt::AlignTop);
    inputDataCombo = new QComboBox();
    inputLayout->addWidget(inputDataCombo, 0, 0);
    connect(inputDataCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &UI_TsneSettingsWidget::inputDataChanged, Qt::DirectConnection);
    auto* downsampleButton = new QPushButton(QStringLiteral("Downsampling ..."));
    inputLayout->addWidget(downsampleButton, 1, 0);
    connect(downsampleButton, &QPushButton::clicked, this, &UI_TsneSettingsWidget::downsampleButtonClicked,
            Qt::DirectConnection);
    downsamplingWidget = new UI_SelectiveDownsamplingWidget(nullptr);
    downsamplingWidget->refreshWidget(m_analysis);
    connect(downsamplingWidget, &UI_SelectiveDownsamplingWidget::dataDownsampled, this,
            &UI_TsneSettingsWidget::downsamplingComplete, Qt::DirectConnection);
    auto* inputSection = new UI_ExpanderWidget(nullptr, true, false);
    inputSection->setHeader(QStringLiteral("Input Data"));
    inputSection->setBody(inputBody);
    m_settingsLayout->addWidget(inputSection, 0, 0);

    // Markers.
    m_markerSelectionWidget = new UI_MarkerSelectionWidget(nullptr, 2);
    m_markerSelectionWidget->refreshWidget(m_analysis, false);
    auto* markerSection = new UI_ExpanderWidget(nullptr, true, false);
    markerSection->setHeader(QStringLiteral("Active Markers"));
    markerSection->setBody(m_markerSelectionWidget);
    m_settingsLayout->addWidget(markerSection, 1, 0);

    // Advanced parameters.
    auto* advancedBody = new QWidget();
    auto* advancedLayout = new QGridLayout(advancedBody);
    advancedLayout->setAlignment(Qt::AlignTop);
    advancedLayout->addWidget(new QLabel(QStringLiteral("Normalize")), 0, 0);
    normalizeCheck = new QCheckBox();
    normalizeCheck->setChecked(!tsne()->skipNormalization());
    advancedLayout->addWidget(normalizeCheck, 0, 1);
    connect(normalizeCheck, &QCheckBox::stateChanged, this, &UI_TsneSettingsWidget::normalizeChanged,
            Qt::DirectConnection);
    advancedLayout->addWidget(new QLabel(QStringLiteral("knn library")), 1, 0);
    knnLibraryCombo = new QComboBox();
    knnLibraryCombo->addItems({QStringLiteral("Flann"), QStringLiteral("HNSW"), QStringLiteral("Annoy")});
    knnLibraryCombo->setCurrentText(selectedKnnLibrary == 1   ? QStringLiteral("Annoy")
                                    : selectedKnnLibrary == 0 ? QStringLiteral("HNSW")
                                                              : QStringLiteral("Flann"));
    advancedLayout->addWidget(knnLibraryCombo, 1, 1);
    connect(
        knnLibraryCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
        [this](int index) { knnLibraryChanged(knnLibraryCombo->itemText(index)); }, Qt::DirectConnection);
    advancedLayout->addWidget(new QLabel(QStringLiteral("knn metric")), 2, 0);
    knnMetricCombo = new QComboBox();
    knnMetricCombo->addItem(QStringLiteral("Euclidean"));
    if (selectedKnnLibrary == 0) knnMetricCombo->addItem(QStringLiteral("Inner Product"));
    if (selectedKnnLibrary == 1)
        knnMetricCombo->addItems({QStringLiteral("Manhattan"), QStringLiteral("Cosine"), QStringLiteral("Dot")});
    selectedKnnMetric = 0;
    knnMetricCombo->setCurrentText(QStringLiteral("Euclidean"));
    advancedLayout->addWidget(knnMetricCombo, 2, 1);
    connect(
        knnMetricCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
        [this](int index) { knnMetricChanged(knnMetricCombo->itemText(index)); }, Qt::DirectConnection);
    advancedExpander = new UI_ExpanderWidget(nullptr, false, false);
    advancedExpander->setHeader(QStringLiteral("Advanced Parameters"));
    advancedExpander->setBody(advancedBody);
    m_settingsLayout->addWidget(advancedExpander, 2, 0);

    // Parameters.
    auto* parameterBody = new QWidget();
    auto* parameterLayout = new QGridLayout(parameterBody);
    parameterLayout->setAlignment(Qt::AlignTop);
    parameterLayout->addWidget(new QLabel(QStringLiteral("Perplexity")), 0, 0);
    perplexitySpin = new QSpinBox();
    // A perplexity below 1 has no meaning for the probability calibration.
    perplexitySpin->setRange(1, 100);
    perplexitySpin->setSingleStep(1);
    perplexitySpin->setValue(tsne()->perplexity());
    parameterLayout->addWidget(perplexitySpin, 0, 1);
    connect(perplexitySpin, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &UI_TsneSettingsWidget::perplexityChanged, Qt::DirectConnection);
    parameterLayout->addWidget(new QLabel(QStringLiteral("GPU Acceleration")), 1, 0);
    gpuCheck = new QCheckBox();
    useGPU = tsne()->useGPU();
    gpuCheck->setChecked(useGPU);
    parameterLayout->addWidget(gpuCheck, 1, 1);
    connect(gpuCheck, &QCheckBox::stateChanged, this, &UI_TsneSettingsWidget::useGPUChanged, Qt::DirectConnection);
    parameterLayout->setColumnStretch(0, 0);
    parameterLayout->setColumnStretch(1, 1);
    auto* parameterSection = new UI_ExpanderWidget(nullptr, true, false);
    parameterSection->setHeader(QStringLiteral("Parameters"));
    parameterSection->setBody(parameterBody);
    m_settingsLayout->addWidget(parameterSection, 3, 0);

    auto* buttonLayout = new QGridLayout();
    computeButton = new QPushButton(QStringLiteral(" Compute tSNE "), this);
    buttonLayout->addWidget(computeButton, 0, 0);
    m_settingsLayout->addLayout(buttonLayout, 4, 0);
    connect(computeButton, &QPushButton::pressed, this, &UI_TsneSettingsWidget::computeTSNE, Qt::DirectConnection);

    for (int row = 0; row < 4; ++row) m_settingsLayout->setRowStretch(row, 0);
    m_settingsLayout->setRowStretch(4, 1);
    m_settingsLayout->setRowStretch(5, 1);
    refreshInputCombo();
}

void UI_TsneSettingsWidget::refreshInputCombo() {
    const QString current = inputDataCombo->currentText();
    inputDataCombo->clear();
    for (MCV_DerivedDataPoints* set : MCV_CytometryData::Instance()->derivedDataPoints())
        if (set) inputDataCombo->addItem(QString::fromStdString(set->name()));
    const int at = inputDataCombo->findText(current);
    if (at >= 0) inputDataCombo->setCurrentIndex(at);
}

void UI_TsneSettingsWidget::newDataAdded() {
    refreshInputCombo();
    inputDataCombo->setCurrentIndex(inputDataCombo->count() - 1);
    inputDataChanged(inputDataCombo->currentIndex());
}

void UI_TsneSettingsWidget::inputDataChanged(int /*index*/) {
    const std::string text = inputDataCombo->currentText().toStdString();
    if (text.empty()) return;
    inputData = nullptr;
    for (MCV_DerivedDataPoints* set : MCV_CytometryData::Instance()->derivedDataPoints())
        if (set && set->name() == text) inputData = set;
    downsamplingWidget->setActiveSelection(inputData);
}

void UI_TsneSettingsWidget::downsampleButtonClicked() {
    QMainWindow* window = owningMainWindow(this);
    if (!window) return;
    window->addDockWidget(Qt::RightDockWidgetArea, downsamplingWidget);
    downsamplingWidget->setFloating(true);
    downsamplingWidget->setVisibility(true);
}

void UI_TsneSettingsWidget::downsamplingComplete() { emit dataDownsampled(); }

void UI_TsneSettingsWidget::normalizeChanged(int state) { tsne()->setSkipNormalization(state == 0); }

void UI_TsneSettingsWidget::perplexityChanged(int value) { tsne()->setPerplexity(std::max(1, value)); }

void UI_TsneSettingsWidget::useGPUChanged(int state) { useGPU = state > 0; }

void UI_TsneSettingsWidget::knnLibraryChanged(const QString& text) {
    QStringList metrics = {QStringLiteral("Euclidean")};
    if (text == QLatin1String("HNSW")) {
        selectedKnnLibrary = 0;
        metrics << QStringLiteral("Inner Product");
    } else if (text == QLatin1String("Annoy")) {
        selectedKnnLibrary = 1;
        metrics << QStringLiteral("Cosine") << QStringLiteral("Manhattan") << QStringLiteral("Dot");
    } else {
        selectedKnnLibrary = -1;
    }
    knnMetricCombo->clear();
    knnMetricCombo->addItems(metrics);
}

void UI_TsneSettingsWidget::knnMetricChanged(const QString& text) {
    static const char* const names[] = {"Euclidean", "Cosine", "Inner Product", "Manhattan", "Hamming", "Dot"};
    selectedKnnMetric = 0;
    for (int code = 0; code < 6; ++code)
        if (text == QLatin1String(names[code])) {
            selectedKnnMetric = code;
            break;
        }
}

void UI_TsneSettingsWidget::computeTSNE() {
    MCV_TsneAnalysis* analysis = tsne();
    if (analysis->selectedMarkers()->empty()) {
        UI_ModalDialogs::message(
            QMessageBox::Warning, this, QStringLiteral("No markers selected"),
            QStringLiteral("No markers selected.\nSelect at least one marker to compute the tSNE."));
        return;
    }
    // Never hand over a set the data model has destroyed since it was chosen.
    const std::vector<MCV_DerivedDataPoints*> sets = MCV_CytometryData::Instance()->derivedDataPoints();
    if (std::find(sets.begin(), sets.end(), inputData) == sets.end()) inputData = nullptr;
    // No choice means all events: the registry's "All Points" set.
    MCV_DerivedDataPoints* input = inputData;
    for (size_t i = 0; !input && i < sets.size(); ++i)
        if (sets[i]->name() == "All Points") input = sets[i];
    analysis->setActiveDataSelection(input);
    analysis->setUseGPU(useGPU);
    analysis->setKnnLibrary(static_cast<vel::utils::knn_library>(selectedKnnLibrary));
    analysis->setKnnMetric(static_cast<vel::utils::knn_distance_metric>(selectedKnnMetric));
    analysis->computeTSNE();
}
