// One density clustering for all plots of an analysis: the analysis keeps one
// set of density clusters, which each clustering refills, so the plot that
// clustered last hands its clusters to the others, which draw, pick, hover
// and save exactly what the set holds.
#include "UI_ScatterplotWidget.h"

#include "render/MCV_PointRenderer.h"
#include "UI_TsneSettingsSliderWidget.h"

std::vector<UI_ScatterplotWidget*>& UI_ScatterplotWidget::openPlots() {
    static std::vector<UI_ScatterplotWidget*> plots;
    return plots;
}

void UI_ScatterplotWidget::shareClustering() {
    if (!renderer || !analysis || renderer->clusterings() == clusteringsShared) return;
    clusteringsShared = renderer->clusterings();
    for (UI_ScatterplotWidget* other : openPlots())
        if (other != this && other->analysis == analysis) other->followClustering(*renderer);
}

void UI_ScatterplotWidget::followClustering(const MCV_PointRenderer& source) {
    if (!renderer || !renderer->followClustering(source)) return;
    sliderPanel->showClustering(renderer->densitySigma(), renderer->msGridSide());
    update();
}

void UI_ScatterplotWidget::takeCurrentClustering() {
    for (UI_ScatterplotWidget* other : openPlots())
        if (other != this && other->analysis == analysis && other->renderer &&
            !other->renderer->meanShiftClustersName().empty()) {
            followClustering(*other->renderer);
            return;
        }
}
