#include "UI_ScatterplotWidget.h"

#include "analysis/MCV_Analysis.h"
#include "render/MCV_PointRenderer.h"
#include "UI_Colormap2DSelectionWidget.h"
#include "UI_ColormapSelectionWidget.h"
#include "ui/web/UI_ProgressSpinnerWidget.h"
#include "ui/datapanels/UI_SampleSelectionWidget.h"
#include "ui/datapanels/UI_SampleStatisticsWidget.h"
#include "ui/datapanels/UI_SelectionStatisticsWidget.h"
#include "UI_TsneSettingsSliderWidget.h"

#include <QDebug>
#include <QOpenGLContext>
#include <QScreen>
#include <QShortcut>
#include <QWindow>

#include <algorithm>

UI_ScatterplotWidget::UI_ScatterplotWidget(MCV_Analysis* analysisIn, QWidget* parent)
    : QOpenGLWidget(parent), analysis(analysisIn) {
    setMinimumSize(50, 50);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    openPlots().push_back(this);
    initUI();
    // A shortcut of the whole plot: the overlay panels over it take the focus.
    auto* print = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_P), this);
    print->setContext(Qt::WidgetWithChildrenShortcut);
    connect(print, &QShortcut::activated, this, &UI_ScatterplotWidget::printScreenshot);
}

UI_ScatterplotWidget::~UI_ScatterplotWidget() {
    std::vector<UI_ScatterplotWidget*>& plots = openPlots();
    plots.erase(std::remove(plots.begin(), plots.end(), this), plots.end());
    // The base destructor destroys the context and announces it when this is
    // no longer a scatter-plot widget: the renderer lets go of its OpenGL
    // objects here instead.
    if (QOpenGLContext* current = context())
        disconnect(current, &QOpenGLContext::aboutToBeDestroyed, this, &UI_ScatterplotWidget::cleanup);
    cleanup();
    delete renderer;
    renderer = nullptr;
    // The settings panel hands its recorded tabs back without parent when it
    // goes; the panels are this widget's. Delete the panel (and its dock)
    // first so that no dock still shows them.
    delete sliderPanel;
    sliderPanel = nullptr;
    delete sampleSelection;
    delete sampleStatistics;
    delete selectionStatistics;
}

void UI_ScatterplotWidget::initUI() {
    const int w = width();
    const int h = height();
    if (!sliderPanel) {
        sliderPanel = new UI_TsneSettingsSliderWidget(analysis, this);
        sliderPanel->move(0, h - sliderPanel->height());
        sliderPanel->setFixedWidth(w);
        auto* p = sliderPanel;
        connect(p, &UI_TsneSettingsSliderWidget::parentSetMode, this, &UI_ScatterplotWidget::setMode);
        connect(p, &UI_TsneSettingsSliderWidget::parentSetDarkMode, this, &UI_ScatterplotWidget::setDarkMode);
        connect(p, &UI_TsneSettingsSliderWidget::parentSetRecording, this, &UI_ScatterplotWidget::setRecording);
        connect(p, &UI_TsneSettingsSliderWidget::parentSetPointBasedMode, this,
                &UI_ScatterplotWidget::setPointBasedMode);
        connect(p, &UI_TsneSettingsSliderWidget::parentSetMarker, this, &UI_ScatterplotWidget::setMarker);
        connect(p, &UI_TsneSettingsSliderWidget::parentSetMarkerSpan, this, &UI_ScatterplotWidget::setMarkerSpan);
        connect(p, &UI_TsneSettingsSliderWidget::parentSetSaturation, this, &UI_ScatterplotWidget::setSaturation);
        connect(p, &UI_TsneSettingsSliderWidget::parentSetSigma, this, &UI_ScatterplotWidget::setSigma);
        connect(p, &UI_TsneSettingsSliderWidget::parentSetAdvancedMode, this, &UI_ScatterplotWidget::setAdvancedMode);
        connect(p, &UI_TsneSettingsSliderWidget::parentSetpointSize, this, &UI_ScatterplotWidget::pointSizeChanged);
        connect(p, &UI_TsneSettingsSliderWidget::parentSetpointOpacity, this,
                &UI_ScatterplotWidget::pointOpacityChanged);
        connect(p, &UI_TsneSettingsSliderWidget::parentSetpointHaloSize, this,
                &UI_ScatterplotWidget::pointHaloSizeChanged);
        connect(p, &UI_TsneSettingsSliderWidget::parentSetGreedyScaleMode, this,
                &UI_ScatterplotWidget::pointScaleGreedyChanged);
        connect(p, &UI_TsneSettingsSliderWidget::msGridSizeChangedSignal, this, &UI_ScatterplotWidget::setMsGrid);
        connect(p, &UI_TsneSettingsSliderWidget::computeMSotfSignal, this, &UI_ScatterplotWidget::setOtfClustering);
        connect(p, &UI_TsneSettingsSliderWidget::computationStartedSignal, this,
                &UI_ScatterplotWidget::computationStarted);
        connect(p, &UI_TsneSettingsSliderWidget::computeMSOnceSignal, this, &UI_ScatterplotWidget::cluster);
        connect(p, &UI_TsneSettingsSliderWidget::screenshotButtonPressed, this,
                &UI_ScatterplotWidget::takeScreenshotSeries);
        sliderPanel->show();
    }
    if (!colormapPicker) {
        colormapPicker = new UI_ColormapSelectionWidget(this);
        colormapPicker->move(w - 145, 10);
        colormapPicker->hide();
        connect(colormapPicker, &UI_ColormapSelectionWidget::colormapSelected, this,
                &UI_ScatterplotWidget::colormapChanged);
        connect(colormapPicker, &UI_ColormapSelectionWidget::discreteSelected, this,
                &UI_ScatterplotWidget::colormapDiscreteChanged);
    }
    if (!colormap2DPicker) {
        colormap2DPicker = new UI_Colormap2DSelectionWidget(this);
        colormap2DPicker->move(w - 145, 10);
        colormap2DPicker->hide();
        connect(colormap2DPicker, &UI_Colormap2DSelectionWidget::colormapSelected, this,
                &UI_ScatterplotWidget::colormap2DChanged);
        connect(colormap2DPicker, &UI_Colormap2DSelectionWidget::discreteSelected, this,
                &UI_ScatterplotWidget::colormap2DDiscreteChanged);
    }
    if (!progressSpinner) {
        progressSpinner = new UI_ProgressSpinnerWidget(this);
        progressSpinner->move(w - progressSpinner->width() - 10, h - progressSpinner->height() - 10);
        progressSpinner->hide();
    }
    if (!sampleSelection) {
        sampleSelection = new UI_SampleSelectionWidget(nullptr);
        connect(sampleSelection, &UI_SampleSelectionWidget::selectionUpdated, this,
                &UI_ScatterplotWidget::sampleSelectionUpdated);
        connect(sampleSelection, &UI_SampleSelectionWidget::colorsUpdated, this,
                &UI_ScatterplotWidget::sampleColorsUpdated);
        sliderPanel->addWidgetToExtendedSettings(sampleSelection, QStringLiteral("Select Samples"));
    }
    if (!sampleStatistics) {
        sampleStatistics = new UI_SampleStatisticsWidget(nullptr);
        sliderPanel->addWidgetToExtendedSettings(sampleStatistics, QStringLiteral("Sample Statistics"));
    }
    if (!selectionStatistics) {
        selectionStatistics = new UI_SelectionStatisticsWidget(nullptr);
        sliderPanel->addWidgetToExtendedSettings(selectionStatistics, QStringLiteral("Selection Statistics"));
    }
}

void UI_ScatterplotWidget::placeChildren() {
    const int w = width();
    const int h = height();
    if (sliderPanel) sliderPanel->setParentSize(QSize(w, h));
    if (colormapPicker) colormapPicker->move(colormapPicker->isOpen() ? w - 633 : w - 71, 10);
    if (colormap2DPicker) colormap2DPicker->move(colormap2DPicker->isOpen() ? w - 719 : w - 145, 10);
    if (progressSpinner) progressSpinner->move(w - progressSpinner->width() - 10, h - progressSpinner->height() - 10);
}

// ---- GL callbacks ----

void UI_ScatterplotWidget::initializeGL() {
    connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, &UI_ScatterplotWidget::cleanup, Qt::UniqueConnection);
    // The window exists only once the widget is shown; the screen-change hook
    // is made here, once.
    if (!screenConnected && window() && window()->windowHandle()) {
        connect(window()->windowHandle(), &QWindow::screenChanged, this, &UI_ScatterplotWidget::updatePixelRatio);
        screenConnected = true;
    }
    pixelRatio = static_cast<float>(devicePixelRatio());
    qDebug() << "OpenGL initialized.\n\tOpenGL Version:\t" << reinterpret_cast<const char*>(glGetString(GL_VERSION))
             << "\n\tGLSL Version:\t" << reinterpret_cast<const char*>(glGetString(GL_SHADING_LANGUAGE_VERSION))
             << "\n";
    if (!renderer) renderer = new MCV_PointRenderer();
    renderer->rebuild();

    projection.setToIdentity();
    projection.ortho(0.0f, 1.0f, 0.0f, 1.0f, 1.0f, -1.0f);
    view.setToIdentity();
    view.translate(0.0f, 0.0f, -1.0f);
    model.setToIdentity();
    QMatrix4x4 mvp = projection * view * model;
    // QMatrix4x4 keeps its values column-major, as the renderer expects.
    renderer->setupMatrix(mvp.data());
    renderer->setSampleSelection(sampleSelection->selectionState());
    renderer->setSampleColors(sampleSelection->sampleColors());
    if (pendingDataIdx >= 0) takeLocalData(pendingDataIdx);
    if (pendingSelection) {
        // The renderer has no selected indices of its own yet: it takes them
        // from the flags.
        renderer->setSelection(pendingSelection, false);
        pendingSelection = nullptr;
        refreshSampleStatistics();
        selectionStatistics->refreshWidget(false);
    }
}

void UI_ScatterplotWidget::paintGL() {
    if (!renderer) return;
    renderer->draw(defaultFramebufferObject());
    shareClustering();
}

void UI_ScatterplotWidget::resizeGL(int w, int h) {
    if (renderer)
        renderer->resize(static_cast<unsigned>(static_cast<float>(w) * pixelRatio),
                         static_cast<unsigned>(static_cast<float>(h) * pixelRatio), defaultFramebufferObject());
    placeChildren();
}

void UI_ScatterplotWidget::updatePixelRatio() {
    if (!renderer) return;
    pixelRatio = static_cast<float>(devicePixelRatio());
    makeCurrent();
    renderer->resize(static_cast<unsigned>(static_cast<float>(width()) * pixelRatio),
                     static_cast<unsigned>(static_cast<float>(height()) * pixelRatio), defaultFramebufferObject());
    doneCurrent();
    update();
}

void UI_ScatterplotWidget::cleanup() {
    if (!renderer || !context()) return;
    makeCurrent();
    renderer->cleanup();
    doneCurrent();
}

void UI_ScatterplotWidget::refresh() {
    // A shown busy ring turns with the frames: it asks for no others.
    if (progressSpinner && progressSpinner->isVisible()) progressSpinner->advance();
    update();
}

// ---- Operations for the owning view ----

void UI_ScatterplotWidget::setLocalData(int dataIdx) {
    if (!renderer) {
        // A plot not yet laid out (a dock opened just before its analysis
        // reports) has no renderer: it takes the data when it makes one.
        pendingDataIdx = dataIdx;
        return;
    }
    makeCurrent();
    takeLocalData(dataIdx);
    doneCurrent();
    update();
}

void UI_ScatterplotWidget::takeLocalData(int dataIdx) {
    pendingDataIdx = -1;
    const bool first = !localDataTaken;
    renderer->setLocalData(analysis, dataIdx);
    localDataTaken = true;
    if (first) takeCurrentClustering();
    markerRanges = renderer->markerRanges();
    markerLimits = renderer->markerLimts();
    dataRanges = *markerRanges;
    refreshSampleStatistics();
}

void UI_ScatterplotWidget::refreshSampleStatistics() {
    if (localDataTaken) sampleStatistics->setActiveSelection(analysis ? analysis->ownPoints() : nullptr);
}

template <typename Retake>
void UI_ScatterplotWidget::retakeMarkers(Retake retake) {
    const std::vector<std::pair<float, float>> shown = *renderer->markerRanges();
    makeCurrent();
    retake();
    doneCurrent();
    // Columns are only ever appended to the data, so column m names the same
    // marker before and after: a range the user set (one that differs from the
    // data range it was shown with) goes back to its column.
    std::vector<std::pair<float, float>>& ranges = *renderer->markerRanges();
    const std::vector<std::pair<float, float>> fresh = ranges;
    for (size_t m = 0; m < std::min({shown.size(), dataRanges.size(), ranges.size()}); ++m)
        if (shown[m] != dataRanges[m]) ranges[m] = shown[m];
    dataRanges = fresh;
    showActiveMarkerRange();
    update();
}

void UI_ScatterplotWidget::copyLocalData() {
    if (!renderer) return;
    retakeMarkers([this] { renderer->copyLocalData(); });
}

void UI_ScatterplotWidget::retakeMarkerValues() {
    if (!renderer) return;
    retakeMarkers([this] { renderer->setMarkerCount(renderer->markerCount()); });
}

void UI_ScatterplotWidget::followColumns(int dataIdx) {
    if (pendingDataIdx >= 0) {
        pendingDataIdx = dataIdx;
        return;
    }
    if (!renderer || !localDataTaken || renderer->markerCount() == dataIdx) return;
    retakeMarkers([this, dataIdx] { renderer->setMarkerCount(dataIdx); });
}

void UI_ScatterplotWidget::copyLocalVertexData() {
    if (renderer) renderer->copyLocalVertexData();
}

void UI_ScatterplotWidget::setMarkers(std::vector<std::string> names) {
    markers = std::move(names);
    if (sliderPanel) sliderPanel->setMarkers(&markers);
}

void UI_ScatterplotWidget::setSelection(std::vector<short>* selection, bool flag) {
    if (!renderer) {
        // A plot opened on an analysis with a selection in place is laid out
        // after the view has handed the selection over.
        pendingSelection = selection;
        return;
    }
    makeCurrent();
    renderer->setSelection(selection, flag);
    doneCurrent();
    update();
    refreshSampleStatistics();
    selectionStatistics->refreshWidget(false);
}

void UI_ScatterplotWidget::refreshSelectionPanels() {
    refreshSampleStatistics();
    selectionStatistics->refreshWidget(false);
}

void UI_ScatterplotWidget::highlightRefreshed(void* dataSet) {
    if (!renderer) return;
    makeCurrent();
    renderer->setHighlight(dataSet);
    doneCurrent();
    update();
}

void UI_ScatterplotWidget::dataRefreshed(void* dataSet) {
    if (renderer) renderer->clusterRefreshed(dataSet);
}

std::vector<int>* UI_ScatterplotWidget::selectionIdxs() {
    // The renderer hands out the address of its index vector only through its
    // selection calls; the address is stable for the renderer's lifetime, so
    // the last one returned is the current one.
    return selectedIdxs;
}

std::vector<bool> UI_ScatterplotWidget::sampleSelectionState() const { return *sampleSelection->selectionState(); }
