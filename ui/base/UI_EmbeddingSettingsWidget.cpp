#include "UI_EmbeddingSettingsWidget.h"

#include "analysis/MCV_Analysis.h"
#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataPoints.h"
#include "ui/base/UI_ExpanderWidget.h"
#include "ui/base/UI_ModalDialogs.h"
#include "ui/base/owningMainWindow.h"
#include "ui/datapanels/UI_MarkerSelectionWidget.h"
#include "ui/datapanels/UI_SelectiveDownsamplingWidget.h"

#include <QComboBox>
#include <QGridLayout>
#include <QMainWindow>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>

#include <algorithm>
#include <string>

UI_EmbeddingSettingsWidget::UI_EmbeddingSettingsWidget(QWidget* parent, MCV_Analysis* analysis)
    : UI_SettingsWidget(parent, analysis) {}

UI_EmbeddingSettingsWidget::~UI_EmbeddingSettingsWidget() {
    if (downsamplingWidget && !downsamplingWidget->parent()) delete downsamplingWidget;
}

void UI_EmbeddingSettingsWidget::buildInputSections() {
    auto* outer = new QGridLayout(this);
    auto* scroll = new QScrollArea();
    scroll->setWidgetResizable(true);
    auto* inner = new QWidget();
    m_settingsLayout = new QGridLayout(inner);
    scroll->setWidget(inner);
    outer->addWidget(scroll, 0, 0);

    QGridLayout* inputLayout = newSectionBody();
    inputDataCombo = new QComboBox();
    inputLayout->addWidget(inputDataCombo, 0, 0);
    connect(inputDataCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &UI_EmbeddingSettingsWidget::inputDataChanged, Qt::DirectConnection);
    auto* downsampleButton = new QPushButton(QStringLiteral("Downsampling ..."));
    inputLayout->addWidget(downsampleButton, 1, 0);
    connect(downsampleButton, &QPushButton::clicked, this, &UI_EmbeddingSettingsWidget::downsampleButtonClicked,
            Qt::DirectConnection);
    downsamplingWidget = new UI_SelectiveDownsamplingWidget(nullptr);
    downsamplingWidget->refreshWidget(m_analysis);
    connect(downsamplingWidget, &UI_SelectiveDownsamplingWidget::dataDownsampled, this,
            &UI_EmbeddingSettingsWidget::downsamplingComplete, Qt::DirectConnection);
    // The dock's refusals take the road of the refused Computes.
    connect(downsamplingWidget, &UI_SelectiveDownsamplingWidget::downsampleRefused, this,
            &UI_SettingsWidget::computeRefused, Qt::DirectConnection);
    connect(downsamplingWidget, &UI_SelectiveDownsamplingWidget::downsampleDone, this, &UI_SettingsWidget::requestDone,
            Qt::DirectConnection);
    auto* inputSection = new UI_ExpanderWidget(nullptr, true, false);
    inputSection->setHeader(QStringLiteral("Input Data"));
    inputSection->setBody(inputLayout->parentWidget());
    m_settingsLayout->addWidget(inputSection, 0, 0);

    m_markerSelectionWidget = new UI_MarkerSelectionWidget(nullptr, 2);
    m_markerSelectionWidget->refreshWidget(m_analysis, false);
    auto* markerSection = new UI_ExpanderWidget(nullptr, true, false);
    markerSection->setHeader(QStringLiteral("Active Markers"));
    markerSection->setBody(m_markerSelectionWidget);
    m_settingsLayout->addWidget(markerSection, 1, 0);
}

void UI_EmbeddingSettingsWidget::addKnnRows(QGridLayout* layout, int row) {
    knnLibraryCombo = new QComboBox();
    knnLibraryCombo->addItems({QStringLiteral("Flann"), QStringLiteral("HNSW"), QStringLiteral("Annoy")});
    knnLibraryCombo->setCurrentText(selectedKnnLibrary == 1   ? QStringLiteral("Annoy")
                                    : selectedKnnLibrary == 0 ? QStringLiteral("HNSW")
                                                              : QStringLiteral("Flann"));
    addRow(layout, row, QStringLiteral("knn library"), knnLibraryCombo);
    connect(
        knnLibraryCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
        [this](int index) { knnLibraryChanged(knnLibraryCombo->itemText(index)); }, Qt::DirectConnection);
    // The build order of the Annoy metrics differs from the order after a
    // change of back end (knnLibraryChanged); both are as users know them.
    knnMetricCombo = new QComboBox();
    knnMetricCombo->addItem(QStringLiteral("Euclidean"));
    if (selectedKnnLibrary == 0) knnMetricCombo->addItem(QStringLiteral("Inner Product"));
    if (selectedKnnLibrary == 1)
        knnMetricCombo->addItems({QStringLiteral("Manhattan"), QStringLiteral("Cosine"), QStringLiteral("Dot")});
    selectedKnnMetric = 0;
    knnMetricCombo->setCurrentText(QStringLiteral("Euclidean"));
    addRow(layout, row + 1, QStringLiteral("knn metric"), knnMetricCombo);
    connect(
        knnMetricCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
        [this](int index) { knnMetricChanged(knnMetricCombo->itemText(index)); }, Qt::DirectConnection);
}

QPushButton* UI_EmbeddingSettingsWidget::finishSections(QWidget* advancedBody, QWidget* parameterBody,
                                                        const QString& computeText, QWidget* below) {
    advancedExpander = new UI_ExpanderWidget(nullptr, false, false);
    advancedExpander->setHeader(QStringLiteral("Advanced Parameters"));
    advancedExpander->setBody(advancedBody);
    m_settingsLayout->addWidget(advancedExpander, 2, 0);

    auto* parameterLayout = static_cast<QGridLayout*>(parameterBody->layout());
    parameterLayout->setColumnStretch(0, 0);
    parameterLayout->setColumnStretch(1, 1);
    auto* parameterSection = new UI_ExpanderWidget(nullptr, true, false);
    parameterSection->setHeader(QStringLiteral("Parameters"));
    parameterSection->setBody(parameterBody);
    m_settingsLayout->addWidget(parameterSection, 3, 0);

    auto* buttonLayout = new QGridLayout();
    computeButton = new QPushButton(computeText, this);
    buttonLayout->addWidget(computeButton, 0, 0);
    if (below) buttonLayout->addWidget(below, 1, 0);
    m_settingsLayout->addLayout(buttonLayout, 4, 0);

    for (int row = 0; row < 4; ++row) m_settingsLayout->setRowStretch(row, 0);
    m_settingsLayout->setRowStretch(4, 1);
    m_settingsLayout->setRowStretch(5, 1);
    refreshInputCombo();
    return computeButton;
}

void UI_EmbeddingSettingsWidget::refreshInputCombo() {
    if (!inputDataCombo) return;
    const QString current = inputDataCombo->currentText();
    const std::vector<MCV_DerivedDataPoints*> sets = MCV_CytometryData::Instance()->derivedDataPoints();
    {
        // Refilled silently: the steps through an empty list and the first
        // entry are no choice of the user's.
        const QSignalBlocker quiet(inputDataCombo);
        inputDataCombo->clear();
        for (MCV_DerivedDataPoints* set : sets)
            if (set) inputDataCombo->addItem(QString::fromStdString(set->name()));
        inputDataCombo->setCurrentIndex(std::max(0, inputDataCombo->findText(current)));
    }
    m_listedSets.assign(sets.begin(), sets.end());
    if (inputDataCombo->currentText() != current) inputDataChanged(inputDataCombo->currentIndex());
}

void UI_EmbeddingSettingsWidget::newDataAdded() {
    if (!inputDataCombo) return;
    const MCV_DerivedDataPoints* newest = nullptr;
    for (const MCV_DerivedDataPoints* set : MCV_CytometryData::Instance()->derivedDataPoints())
        if (set && std::find(m_listedSets.begin(), m_listedSets.end(), set) == m_listedSets.end()) newest = set;
    refreshInputCombo();
    if (!newest) return;
    const int at = inputDataCombo->findText(QString::fromStdString(newest->name()));
    if (at >= 0) inputDataCombo->setCurrentIndex(at);
}

void UI_EmbeddingSettingsWidget::inputDataChanged(int /*index*/) {
    const std::string text = inputDataCombo->currentText().toStdString();
    if (text.empty()) return;
    inputData = nullptr;
    for (MCV_DerivedDataPoints* set : MCV_CytometryData::Instance()->derivedDataPoints())
        if (set && set->name() == text) inputData = set;
    downsamplingWidget->setActiveSelection(inputData);
    inputChanged();
}

void UI_EmbeddingSettingsWidget::inputChanged() {}

void UI_EmbeddingSettingsWidget::downsampleButtonClicked() {
    QMainWindow* window = owningMainWindow(this);
    if (!window) return;
    window->addDockWidget(Qt::RightDockWidgetArea, downsamplingWidget);
    downsamplingWidget->setFloating(true);
    downsamplingWidget->setVisibility(true);
}

void UI_EmbeddingSettingsWidget::downsamplingComplete() { emit dataDownsampled(); }

void UI_EmbeddingSettingsWidget::knnLibraryChanged(const QString& text) {
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

void UI_EmbeddingSettingsWidget::knnMetricChanged(const QString& text) {
    static const char* const names[] = {"Euclidean", "Cosine", "Inner Product", "Manhattan", "Hamming", "Dot"};
    selectedKnnMetric = 0;
    for (int code = 0; code < 6; ++code)
        if (text == QLatin1String(names[code])) {
            selectedKnnMetric = code;
            break;
        }
}

bool UI_EmbeddingSettingsWidget::markersChosen() {
    if (!m_analysis->selectedMarkers()->empty()) return true;
    UI_ModalDialogs::message(QMessageBox::Warning, this, QStringLiteral("No markers selected"),
                             QStringLiteral("No markers selected.\nSelect at least one marker to compute the tSNE."));
    return false;
}

MCV_DerivedDataPoints* UI_EmbeddingSettingsWidget::inputForCompute() {
    // Never hand over a set the data model has destroyed since it was chosen.
    const std::vector<MCV_DerivedDataPoints*> sets = MCV_CytometryData::Instance()->derivedDataPoints();
    if (std::find(sets.begin(), sets.end(), inputData) == sets.end()) inputData = nullptr;
    // No choice means all events: the registry's "All Points" set.
    MCV_DerivedDataPoints* input = inputData;
    for (size_t i = 0; !input && i < sets.size(); ++i)
        if (sets[i]->name() == "All Points") input = sets[i];
    if (input && input->data().size() < static_cast<size_t>(MCV_TsneAnalysis::kMinPoints))
        emit computeRefused(
            QStringLiteral(
                "\"%1\" was not computed: an embedding needs at least %2 events, and its input \"%3\" has %4.")
                .arg(QString::fromStdString(m_analysis->name()))
                .arg(MCV_TsneAnalysis::kMinPoints)
                .arg(QString::fromStdString(input->name()))
                .arg(input->data().size()));
    else if (input)
        emit requestDone(QString());
    return input;
}
