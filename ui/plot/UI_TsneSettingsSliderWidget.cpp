#include "UI_TsneSettingsSliderWidget.h"

#include "analysis/MCV_Analysis.h"
#include "ui/web/UI_DualSliderWidget.h"
#include "data/MCV_DerivedData.h"
#include "data/MCV_DerivedDataPoints.h"
#include "render/MCV_RenderCodes.h"
#include "UI_EmbeddingControl.h"
#include "ui/web/UI_MaterialCheckBoxWidget.h"
#include "ui/base/UI_ModalDialogs.h"

#include <QColor>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>

namespace {

QSlider* horizontalSlider(int minimum, int maximum, int value) {
    auto* slider = new QSlider(Qt::Horizontal);
    slider->setRange(minimum, maximum);
    slider->setValue(value);
    return slider;
}

QSpinBox* spinBox(int minimum, int maximum, int value) {
    auto* box = new QSpinBox();
    box->setRange(minimum, maximum);
    box->setValue(value);
    return box;
}

QPushButton* iconButton(const QIcon& icon) {
    auto* button = new QPushButton();
    button->setFixedSize(35, 35);
    button->setIconSize(QSize(35, 35));
    button->setIcon(icon);
    button->setStyleSheet("background-color: transparent; border: none;");
    button->setEnabled(false);
    return button;
}

}  // namespace

UI_TsneSettingsSliderWidget::UI_TsneSettingsSliderWidget(MCV_Analysis* analysis, QWidget* parent)
    : UI_SettingsSliderWidget(parent, 110), m_analysis(analysis) {
    if (m_analysis) initUI();
}

UI_TsneSettingsSliderWidget::~UI_TsneSettingsSliderWidget() {
    // The pages that are not shown have no parent.
    for (QWidget* page : {m_singleCellPage, m_clusteringPage, m_advancedPage})
        if (page && !page->parent()) delete page;
}

bool UI_TsneSettingsSliderWidget::isEmbeddingAnalysis() const {
    const int type = m_analysis ? m_analysis->type() : ANALYSIS_NONE;
    return type == ANALYSIS_TSNE || type == ANALYSIS_HSNE || type == ANALYSIS_HSNE_FC;
}

int UI_TsneSettingsSliderWidget::extraMarkerEntries() const {
    MCV_DerivedDataPoints* selection = m_analysis ? m_analysis->dataSelection() : nullptr;
    const int kind = selection ? selection->type() : MCV_DerivedData::KindPoints;
    if (kind == MCV_DerivedData::KindImage) return 2;
    if (kind == MCV_DerivedData::KindPoints) return 1;
    return 0;
}

void UI_TsneSettingsSliderWidget::initUI() {
    m_restartIcon = QIcon(":/Icons/replayBt");
    m_runIcon = QIcon(":/Icons/runBt");
    m_pauseIcon = QIcon(":/Icons/pauseBt");
    m_control = UI_EmbeddingControl::create(m_analysis);

    const QString style = QString("QRadioButton{color: white;}") + "QLabel{color: white;}" +
                          "QCheckBox{color: white;}" + "QGroupBox{color: white;}";

    m_contentPanel = new QWidget(this);
    m_contentPanel->setStyleSheet(style);
    m_contentPanel->setFixedWidth(int(width() * 0.8));
    m_contentPanel->setMinimumHeight(95);
    mainLayout()->addWidget(m_contentPanel, 1, 1);
    m_controlPanel = new QWidget(this);
    m_controlPanel->setFixedWidth(int(width() * 0.1));
    mainLayout()->addWidget(m_controlPanel, 0, 0, 2, 1, Qt::AlignCenter);

    m_contentLayout = new QGridLayout(m_contentPanel);
    m_contentLayout->setContentsMargins(0, 0, 0, 0);
    m_modeCombo = new QComboBox(m_contentPanel);
    m_modeCombo->addItems({"Single-Cell", "Clustering", "Advanced"});
    m_modeCombo->setCurrentIndex(0);
    connect(m_modeCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &UI_TsneSettingsSliderWidget::setMode);
    m_darkModeSwitch = new UI_MaterialCheckBoxWidget("Darkmode", m_contentPanel, nullptr);
    connect(m_darkModeSwitch, &UI_MaterialCheckBoxWidget::stateChanged, this,
            &UI_TsneSettingsSliderWidget::darkModeChecked);
    QColor recordColour(255, 70, 70, 255);
    m_recordSwitch = new UI_MaterialCheckBoxWidget("Record", m_contentPanel, &recordColour);
    connect(m_recordSwitch, &UI_MaterialCheckBoxWidget::stateChanged, this,
            &UI_TsneSettingsSliderWidget::recordChecked);

    m_singleCellPage = buildSingleCellPage(style);
    m_clusteringPage = buildClusteringPage(style);
    m_advancedPage = buildAdvancedPage(style);

    m_contentLayout->addWidget(m_modeCombo, 0, 0, Qt::AlignTop);
    m_contentLayout->addWidget(m_darkModeSwitch, 1, 0, Qt::AlignLeft);
    m_contentLayout->addWidget(m_recordSwitch, 2, 0, Qt::AlignLeft);
    m_contentLayout->addWidget(m_singleCellPage, 0, 1, 3, 1, Qt::AlignTop);
    m_contentLayout->setColumnStretch(0, 0);
    m_contentLayout->setColumnStretch(1, 1);

    auto* controlLayout = new QGridLayout(m_controlPanel);
    controlLayout->setContentsMargins(0, 0, 0, 0);
    m_runButton = iconButton(m_runIcon);
    m_restartButton = iconButton(m_restartIcon);
    controlLayout->addWidget(m_runButton, 0, 0);
    controlLayout->addWidget(m_restartButton, 1, 0);
    connect(m_runButton, &QPushButton::pressed, this, &UI_TsneSettingsSliderWidget::computeEmbeddingPressed);
    connect(m_restartButton, &QPushButton::pressed, this, &UI_TsneSettingsSliderWidget::restartEmbeddingPressed);

    // Already connected: a value taken from the analysis goes back to it
    // (clamped into the box's range first).
    if (isEmbeddingAnalysis() && m_control) {
        m_exaggerationSpinBox->setValue(m_control->exaggerationIter());
        m_expDecaySpinBox->setValue(m_control->expDecay());
        m_iterationsSpinBox->setValue(m_control->iterations());
    }
}

QWidget* UI_TsneSettingsSliderWidget::buildSingleCellPage(const QString& style) {
    auto* page = new QWidget();
    page->setStyleSheet(style);
    auto* grid = new QGridLayout(page);
    grid->setContentsMargins(0, 0, 0, 0);

    m_markerCombo = new QComboBox(page);
    m_markerCombo->setMinimumWidth(125);
    connect(m_markerCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &UI_TsneSettingsSliderWidget::setMarker);
    m_markerSpanSlider = new UI_DualSliderWidget(page);
    connect(m_markerSpanSlider, &UI_DualSliderWidget::valuesChanged, this, &UI_TsneSettingsSliderWidget::setMarkerSpan);
    grid->addWidget(m_markerCombo, 0, 0, Qt::AlignTop);
    grid->addWidget(m_markerSpanSlider, 0, 1, Qt::AlignTop);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 999);

    auto* row = new QGridLayout();
    QSlider* pointSize = horizontalSlider(50, 200, 100);
    QSlider* pointOpacity = horizontalSlider(20, 100, 60);
    QSlider* haloSize = horizontalSlider(10, 50, 20);
    connect(pointSize, &QSlider::valueChanged, this, &UI_TsneSettingsSliderWidget::setpointSize);
    connect(pointOpacity, &QSlider::valueChanged, this, &UI_TsneSettingsSliderWidget::setpointOpacity);
    connect(haloSize, &QSlider::valueChanged, this, &UI_TsneSettingsSliderWidget::setpointHaloSize);
    row->addWidget(new QLabel("Point Size", page), 0, 0);
    row->addWidget(pointSize, 0, 1);
    row->addWidget(new QLabel("Point Opacity", page), 0, 2);
    row->addWidget(pointOpacity, 0, 3);
    row->addWidget(new QLabel("Halo Size", page), 0, 4);
    row->addWidget(haloSize, 0, 5);
    if (m_analysis->type() == ANALYSIS_HSNE_FC) {
        auto* greedy = new UI_MaterialCheckBoxWidget("Greedy Scale", page, nullptr);
        connect(greedy, &UI_MaterialCheckBoxWidget::stateChanged, this,
                &UI_TsneSettingsSliderWidget::greedyScaleChecked);
        row->addWidget(greedy, 0, 6);
    }
    grid->addLayout(row, 1, 0, 1, 2);
    return page;
}

QWidget* UI_TsneSettingsSliderWidget::buildClusteringPage(const QString& style) {
    auto* page = new QWidget();
    page->setStyleSheet(style);
    auto* grid = new QGridLayout(page);
    grid->setContentsMargins(0, 0, 0, 0);

    m_sigmaSlider = horizontalSlider(1, 200, 30);
    m_sigmaSpinBox = spinBox(1, 200, 30);
    connect(m_sigmaSlider, &QSlider::valueChanged, this, &UI_TsneSettingsSliderWidget::sigmaChanged);
    connect(m_sigmaSpinBox, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &UI_TsneSettingsSliderWidget::sigmaChanged);
    grid->addWidget(new QLabel("Sigma", page), 0, 0);
    grid->addWidget(m_sigmaSlider, 0, 1, 1, 2);
    grid->addWidget(m_sigmaSpinBox, 0, 3);

    auto* row = new QGridLayout();
    m_clusterButton = new QPushButton("Cluster", page);
    m_clusterButton->setEnabled(false);
    connect(m_clusterButton, &QPushButton::pressed, this, &UI_TsneSettingsSliderWidget::computeMSOnce);
    m_continuousSwitch = new UI_MaterialCheckBoxWidget("Continously", page, nullptr);
    connect(m_continuousSwitch, &UI_MaterialCheckBoxWidget::stateChanged, this,
            &UI_TsneSettingsSliderWidget::computeMSotf);
    row->addWidget(m_clusterButton, 0, 0);
    row->addWidget(m_continuousSwitch, 0, 1);
    grid->addLayout(row, 1, 2, 1, 2);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 99);
    grid->setColumnStretch(2, 1);
    grid->setColumnStretch(3, 0);
    return page;
}

QWidget* UI_TsneSettingsSliderWidget::buildAdvancedPage(const QString& style) {
    auto* page = new QWidget();
    page->setStyleSheet(style);
    auto* grid = new QGridLayout(page);
    grid->setContentsMargins(0, 0, 0, 0);

    m_clustersPointsRadio = new QRadioButton("Clusters Points", page);
    m_clustersPartitionsRadio = new QRadioButton("Clusters Partitions", page);
    m_rawDensityRadio = new QRadioButton("Raw Density", page);
    m_gradientsRadio = new QRadioButton("Gradients", page);
    m_clustersPointsRadio->setChecked(true);
    int r = 0;
    for (QRadioButton* radio :
         {m_clustersPointsRadio, m_clustersPartitionsRadio, m_rawDensityRadio, m_gradientsRadio}) {
        connect(radio, &QRadioButton::clicked, this, &UI_TsneSettingsSliderWidget::setAdvancedMode);
        grid->addWidget(radio, r++, 0);
    }

    auto* sigmaRow = new QGridLayout();
    m_advancedSigmaSlider = horizontalSlider(1, 200, 30);
    m_advancedSigmaSpinBox = spinBox(1, 200, 30);
    connect(m_advancedSigmaSlider, &QSlider::valueChanged, this, &UI_TsneSettingsSliderWidget::sigmaChanged);
    connect(m_advancedSigmaSpinBox, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &UI_TsneSettingsSliderWidget::sigmaChanged);
    sigmaRow->addWidget(m_advancedSigmaSlider, 0, 0);
    sigmaRow->addWidget(m_advancedSigmaSpinBox, 0, 1);
    grid->addLayout(sigmaRow, 0, 1, 2, 2);
    grid->setColumnStretch(1, 999);

    auto* row = new QGridLayout();
    m_iterationsSpinBox = spinBox(0, 99999, 0);
    m_exaggerationSpinBox = spinBox(0, 500, 0);
    m_expDecaySpinBox = spinBox(0, 500, 0);
    m_gridSizeSpinBox = spinBox(64, 1024, 128);
    connect(m_iterationsSpinBox, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &UI_TsneSettingsSliderWidget::iterationsChanged);
    connect(m_exaggerationSpinBox, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &UI_TsneSettingsSliderWidget::exaggerationItChanged);
    connect(m_expDecaySpinBox, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &UI_TsneSettingsSliderWidget::expDecayChanged);
    connect(m_gridSizeSpinBox, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &UI_TsneSettingsSliderWidget::msGridSizeChanged);
    row->addWidget(new QLabel("# Iters:", page), 0, 0);
    row->addWidget(m_iterationsSpinBox, 0, 1);
    row->addWidget(new QLabel("Exag", page), 0, 2);
    row->addWidget(m_exaggerationSpinBox, 0, 3);
    row->addWidget(new QLabel("ExpDec", page), 0, 4);
    row->addWidget(m_expDecaySpinBox, 0, 5);
    row->addWidget(new QLabel("Cluster Res", page), 0, 6);
    row->addWidget(m_gridSizeSpinBox, 0, 7);
    grid->addLayout(row, 2, 1, 2, 2);
    return page;
}

void UI_TsneSettingsSliderWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (m_contentPanel) m_contentPanel->setFixedWidth(int(width() * 0.8));
    if (m_controlPanel) m_controlPanel->setFixedWidth(int(width() * 0.1));
}

void UI_TsneSettingsSliderWidget::setEmbeddingState(bool running) {
    if (running) {
        m_runButton->setEnabled(true);
        m_restartButton->setEnabled(true);
        m_clusterButton->setEnabled(true);
        m_runButton->setIcon(m_pauseIcon);
    } else {
        m_runButton->setIcon(m_runIcon);
    }
}

void UI_TsneSettingsSliderWidget::setMarkers(std::vector<std::string>* markers) {
    const QString current = m_markerCombo->currentText();
    m_markerCombo->clear();
    MCV_DerivedDataPoints* selection = m_analysis->dataSelection();
    const int kind = selection ? selection->type() : MCV_DerivedData::KindPoints;
    if (kind == MCV_DerivedData::KindImage) {
        m_markerCombo->addItem("Coordinates");
        m_markerCombo->addItem("Image RGB");
    } else if (kind == MCV_DerivedData::KindPoints) {
        m_markerCombo->addItem("Sample");
    }
    if (markers)
        for (const std::string& name : *markers) m_markerCombo->addItem(QString::fromStdString(name));
    const int keep = m_markerCombo->findText(current);
    if (keep >= 0) m_markerCombo->setCurrentIndex(keep);
}

void UI_TsneSettingsSliderWidget::updateMarkerSliderLimits(std::pair<float, float> limits,
                                                           std::pair<float, float> span) {
    m_markerSpanSlider->setRange(limits.first, limits.second, span.first, span.second);
}

void UI_TsneSettingsSliderWidget::updateMarkerSliderRanges(std::pair<float, float> span) {
    m_markerSpanSlider->setValues(span.first, span.second);
}

void UI_TsneSettingsSliderWidget::showClustering(float sigma, int gridSide) {
    if (!m_sigmaSlider) return;
    const int steps = qRound(sigma / kSigmaStep);
    for (QAbstractSlider* slider : {m_sigmaSlider, m_advancedSigmaSlider}) {
        const QSignalBlocker quiet(slider);
        slider->setValue(steps);
    }
    for (QSpinBox* box : {m_sigmaSpinBox, m_advancedSigmaSpinBox}) {
        const QSignalBlocker quiet(box);
        box->setValue(steps);
    }
    const QSignalBlocker quiet(m_gridSizeSpinBox);
    m_gridSizeSpinBox->setValue(gridSide);
}

void UI_TsneSettingsSliderWidget::showPage(QWidget* page) {
    if (page->parent() == m_contentPanel) return;
    for (QWidget* shown : {m_singleCellPage, m_clusteringPage, m_advancedPage}) {
        if (shown == page || shown->parent() != m_contentPanel) continue;
        delete m_contentLayout->replaceWidget(shown, page, Qt::FindChildrenRecursively);
        // Hidden explicitly: a page that joined the layout in this same turn
        // of the event loop has a queued show still to come, which would
        // otherwise open it as a window of its own.
        shown->setParent(nullptr);
        shown->hide();
        page->show();
        return;
    }
}

void UI_TsneSettingsSliderWidget::setMode(int mode) {
    switch (mode) {
        case 0:
            showPage(m_singleCellPage);
            emit parentSetMode(0);
            emit parentSetAdvancedMode(DIAGNOSTIC_OFF);
            break;
        case 1:
            showPage(m_clusteringPage);
            emit parentSetMode(1);
            emit parentSetAdvancedMode(DIAGNOSTIC_OFF);
            break;
        case 2:
            showPage(m_advancedPage);
            emit parentSetMode(m_clustersPointsRadio->isChecked() ? 0 : 1);
            emit parentSetAdvancedMode(m_advancedMode);
            break;
        default:
            break;
    }
}

void UI_TsneSettingsSliderWidget::darkModeChecked(int mode) { emit parentSetDarkMode(mode >= 1); }

void UI_TsneSettingsSliderWidget::recordChecked(int recording) { emit parentSetRecording(recording >= 1); }

void UI_TsneSettingsSliderWidget::setMarker(int marker) {
    const int extra = extraMarkerEntries();
    m_markerSpanSlider->setEnabled(marker >= extra && marker >= 0);
    emit parentSetMarker(marker - extra);
}

void UI_TsneSettingsSliderWidget::setMarkerSpan(float lower, float upper) { emit parentSetMarkerSpan(lower, upper); }

void UI_TsneSettingsSliderWidget::setpointSize(int pointSize) {
    emit parentSetpointSize(static_cast<float>(pointSize * 0.0001));
}

void UI_TsneSettingsSliderWidget::setpointOpacity(int pointOpacity) {
    emit parentSetpointOpacity(static_cast<float>(pointOpacity * 0.01));
}

void UI_TsneSettingsSliderWidget::setpointHaloSize(int pointHaloSize) {
    emit parentSetpointHaloSize(static_cast<float>(pointHaloSize * 0.01));
}

void UI_TsneSettingsSliderWidget::greedyScaleChecked(int mode) { emit parentSetGreedyScaleMode(mode >= 1); }

void UI_TsneSettingsSliderWidget::saturationChanged(int saturation) {
    emit parentSetSaturation(static_cast<float>(1.0 / (saturation * 1000.0)));
}

void UI_TsneSettingsSliderWidget::sigmaChanged(int sigma) {
    // A control already at the value emits nothing, which ends the echo.
    m_sigmaSlider->setValue(sigma);
    m_sigmaSpinBox->setValue(sigma);
    m_advancedSigmaSlider->setValue(sigma);
    m_advancedSigmaSpinBox->setValue(sigma);
    emit parentSetSigma(static_cast<float>(sigma) * kSigmaStep);
}

void UI_TsneSettingsSliderWidget::setAdvancedMode() {
    int mode = DIAGNOSTIC_OFF;
    if (m_clustersPointsRadio->isChecked())
        mode = DIAGNOSTIC_CLUSTER_HUE;
    else if (m_clustersPartitionsRadio->isChecked())
        mode = DIAGNOSTIC_WALK_ENDS;
    else if (m_rawDensityRadio->isChecked())
        mode = DIAGNOSTIC_INVERTED_DENSITY;
    else if (m_gradientsRadio->isChecked())
        mode = DIAGNOSTIC_GRADIENT;
    if (mode == DIAGNOSTIC_OFF) {
        emit parentSetAdvancedMode(m_advancedMode);
        return;
    }
    m_advancedMode = mode;
    emit parentSetMode(mode == DIAGNOSTIC_CLUSTER_HUE ? 0 : 1);
    emit parentSetAdvancedMode(mode);
}

void UI_TsneSettingsSliderWidget::iterationsChanged(int value) {
    if (isEmbeddingAnalysis() && m_control) m_control->setIterations(value);
}

void UI_TsneSettingsSliderWidget::exaggerationItChanged(int value) {
    if (isEmbeddingAnalysis() && m_control) m_control->setExaggerationIter(value);
}

void UI_TsneSettingsSliderWidget::expDecayChanged(int value) {
    if (isEmbeddingAnalysis() && m_control) m_control->setExpDecay(value);
}

void UI_TsneSettingsSliderWidget::msGridSizeChanged(int value) { emit msGridSizeChangedSignal(value); }

bool UI_TsneSettingsSliderWidget::markersSelected() {
    if (!m_analysis->selectedMarkers()->empty()) return true;
    UI_ModalDialogs::message(QMessageBox::Warning, this, "No markers selected",
                             "No markers selected.\nSelect at least one marker to compute the tSNE.");
    return false;
}

void UI_TsneSettingsSliderWidget::computeEmbeddingPressed() {
    if (!isEmbeddingAnalysis() || !markersSelected() || !m_control) return;
    if (m_control->running()) {
        m_control->stopGradientDescent();
    } else {
        emit computationStartedSignal();
        m_control->embed();
    }
}

void UI_TsneSettingsSliderWidget::restartEmbeddingPressed() {
    if (!isEmbeddingAnalysis() || !markersSelected() || !m_control) return;
    emit computationStartedSignal();
    m_control->restart();
}

void UI_TsneSettingsSliderWidget::computeMSOnce() { emit computeMSOnceSignal(); }

void UI_TsneSettingsSliderWidget::computeMSotf(int state) { emit computeMSotfSignal(state); }
