// Forwarding of the panels' visual settings to the renderer. Each slot makes
// the widget's context current around the renderer call and repaints.
#include "UI_ScatterplotWidget.h"

#include "analysis/MCV_Analysis.h"
#include "data/MCV_DerivedData.h"
#include "data/MCV_DerivedDataPoints.h"
#include "render/MCV_PointRenderer.h"
#include "UI_Colormap2DSelectionWidget.h"
#include "UI_ColormapSelectionWidget.h"
#include "ui/web/UI_ProgressSpinnerWidget.h"
#include "ui/datapanels/UI_SampleSelectionWidget.h"
#include "UI_TsneSettingsSliderWidget.h"

#include <functional>

namespace {
// Runs `call` with the widget's context current and schedules a repaint. The
// style slots are reachable only after GL initialisation; before it they do
// nothing rather than touch a missing renderer.
void withRenderer(UI_ScatterplotWidget* w, MCV_PointRenderer* r, const std::function<void(MCV_PointRenderer*)>& call) {
    if (!r) return;
    w->makeCurrent();
    call(r);
    w->doneCurrent();
    w->update();
}
}  // namespace

void UI_ScatterplotWidget::colormapChanged(int idx) {
    withRenderer(this, renderer, [idx](MCV_PointRenderer* r) { r->setColormap(idx, 1); });
}

void UI_ScatterplotWidget::colormap2DChanged(int idx) {
    withRenderer(this, renderer, [idx](MCV_PointRenderer* r) { r->setColormap(idx, 2); });
}

void UI_ScatterplotWidget::colormapDiscreteChanged(bool discrete) {
    withRenderer(this, renderer, [discrete](MCV_PointRenderer* r) { r->setColormapDiscrete(discrete, 1); });
}

void UI_ScatterplotWidget::colormap2DDiscreteChanged(bool discrete) {
    withRenderer(this, renderer, [discrete](MCV_PointRenderer* r) { r->setColormapDiscrete(discrete, 2); });
}

void UI_ScatterplotWidget::setMode(int newMode) {
    mode = newMode;
    withRenderer(this, renderer,
                 [this](MCV_PointRenderer* r) { r->setRenderMode(mode != 0 ? RENDER_DENSITY : pointBasedMode); });
    if (!renderer) return;
    colormapPicker->setColormap(renderer->activeColormap(1), renderer->activeColormapDiscrete(1));
    colormap2DPicker->setColormap(renderer->activeColormap(2), renderer->activeColormapDiscrete(2));
}

void UI_ScatterplotWidget::setDarkMode(bool dark) {
    darkMode = dark;
    withRenderer(this, renderer, [dark](MCV_PointRenderer* r) { r->setDarkMode(dark); });
    colormapPicker->setDarkMode(dark);
    colormap2DPicker->setDarkMode(dark);
}

void UI_ScatterplotWidget::setPointBasedMode(int newMode) {
    pointBasedMode = newMode;
    withRenderer(this, renderer, [newMode](MCV_PointRenderer* r) { r->setRenderMode(newMode); });
}

void UI_ScatterplotWidget::setMarker(int marker) {
    const bool imageData =
        analysis && analysis->dataSelection() && analysis->dataSelection()->type() == MCV_DerivedData::KindImage;
    if (marker >= 2) {
        colormapPicker->show();
        colormap2DPicker->hide();
    } else if (imageData) {
        colormapPicker->hide();
        colormap2DPicker->show();
    } else {
        colormapPicker->setVisible(marker >= 0);
        colormap2DPicker->hide();
    }
    activeMarker = marker > MARKER_COLORMAP_2D ? marker : MARKER_IMAGE_COLOUR;
    if (renderer) {
        makeCurrent();
        renderer->setActiveMarker(activeMarker);
        doneCurrent();
    }
    showActiveMarkerRange();
    update();
}

void UI_ScatterplotWidget::showActiveMarkerRange() {
    // The limits and ranges are indexed by marker; a marker beyond them (names
    // given before the data) has no slider values yet.
    if (activeMarkerIn(markerLimits) && activeMarkerIn(markerRanges))
        sliderPanel->updateMarkerSliderLimits((*markerLimits)[static_cast<size_t>(activeMarker)],
                                              (*markerRanges)[static_cast<size_t>(activeMarker)]);
}

bool UI_ScatterplotWidget::activeMarkerIn(const std::vector<std::pair<float, float>>* ranges) const {
    return ranges && activeMarker >= 0 && static_cast<size_t>(activeMarker) < ranges->size();
}

void UI_ScatterplotWidget::setMarkerSpan(float lower, float upper) {
    if (activeMarkerIn(markerRanges)) {
        (*markerRanges)[static_cast<size_t>(activeMarker)].first = lower;
        update();
    }
    if (activeMarkerIn(markerRanges)) {
        (*markerRanges)[static_cast<size_t>(activeMarker)].second = upper;
        update();
    }
}

void UI_ScatterplotWidget::setLowerMarkerBoundary(float value) {
    if (!activeMarkerIn(markerRanges)) return;
    (*markerRanges)[static_cast<size_t>(activeMarker)].first = value;
    update();
}

void UI_ScatterplotWidget::setUpperMarkerBoundary(float value) {
    if (!activeMarkerIn(markerRanges)) return;
    (*markerRanges)[static_cast<size_t>(activeMarker)].second = value;
    update();
}

void UI_ScatterplotWidget::setSaturation(float value) {
    withRenderer(this, renderer, [value](MCV_PointRenderer* r) { r->setSaturation(value); });
}

void UI_ScatterplotWidget::setSigma(float value) {
    withRenderer(this, renderer, [value](MCV_PointRenderer* r) { r->setSigma(value); });
}

void UI_ScatterplotWidget::setAdvancedMode(int value) {
    withRenderer(this, renderer, [value](MCV_PointRenderer* r) { r->setAdvancedMode(value); });
}

void UI_ScatterplotWidget::pointSizeChanged(float value) {
    withRenderer(this, renderer, [value](MCV_PointRenderer* r) { r->setPointSize(value); });
}

void UI_ScatterplotWidget::pointOpacityChanged(float value) {
    withRenderer(this, renderer, [value](MCV_PointRenderer* r) { r->setPointOpacity(value); });
}

void UI_ScatterplotWidget::pointHaloSizeChanged(float value) {
    withRenderer(this, renderer, [value](MCV_PointRenderer* r) { r->setPointHaloSize(value); });
}

void UI_ScatterplotWidget::pointScaleGreedyChanged(bool on) {
    withRenderer(this, renderer, [on](MCV_PointRenderer* r) { r->setGreedyPointScaleMode(on); });
}

void UI_ScatterplotWidget::setMsGrid(int value) {
    withRenderer(this, renderer, [value](MCV_PointRenderer* r) { r->setMsGrid(value); });
}

void UI_ScatterplotWidget::setOtfClustering(int active) {
    withRenderer(this, renderer, [active](MCV_PointRenderer* r) { r->setOtfClustering(active); });
}

void UI_ScatterplotWidget::cluster() {
    withRenderer(this, renderer, [](MCV_PointRenderer* r) { r->clusterOnce(); });
    shareClustering();
}

void UI_ScatterplotWidget::computationStarted() {
    progressSpinner->show();
    sliderPanel->setEmbeddingState(true);
}

void UI_ScatterplotWidget::computationFinished() {
    progressSpinner->hide();
    sliderPanel->setEmbeddingState(false);
}

void UI_ScatterplotWidget::showProgressSpinner() { progressSpinner->show(); }

void UI_ScatterplotWidget::hideProgressSpinner() { progressSpinner->hide(); }

void UI_ScatterplotWidget::sampleSelectionUpdated() {
    std::vector<bool>* state = sampleSelection->selectionState();
    withRenderer(this, renderer, [state](MCV_PointRenderer* r) { r->setSampleSelection(state); });
}

void UI_ScatterplotWidget::sampleColorsUpdated() {
    std::vector<unsigned char>* bytes = sampleSelection->sampleColors();
    withRenderer(this, renderer, [bytes](MCV_PointRenderer* r) { r->setSampleColors(bytes); });
}
