#include "UI_HsneWidget.h"

#include "analysis/hsne/MCV_HsneAnalysis.h"
#include "data/MCV_CytometryData.h"
#include "ui/hsne/UI_HsneEmbeddingControl.h"
#include "ui/plot/UI_ScatterplotWidget.h"

#include <QAction>
#include <QMenu>

#include <algorithm>

UI_HsneWidget::UI_HsneWidget(QWidget* parent, MCV_HsneAnalysis* analysisIn, MCV_HsneAnalysisHierarchy* hierarchyIn)
    : UI_EmbeddingView(parent, analysisIn, "finished gradient descend.\n"),
      analysis(analysisIn),
      hierarchy(hierarchyIn) {
    UI_HsneEmbeddingControl::registerType();
    if (analysis) initUI();
}

UI_HsneWidget::~UI_HsneWidget() = default;

const std::vector<std::pair<int, int>>* UI_HsneWidget::pointReferences() const {
    return analysis ? analysis->pointReferences() : nullptr;
}

std::vector<unsigned> UI_HsneWidget::levelPositions(const std::vector<int>& plotIdxs) const {
    std::vector<unsigned> positions;
    positions.reserve(plotIdxs.size());
    const int count = analysis->numDataPoints();
    for (int i : plotIdxs)
        if (i >= 0 && i < count) positions.push_back(static_cast<unsigned>(i));
    return positions;
}

void UI_HsneWidget::sharedSelectionFromPlot(const std::vector<int>& plotIdxs, const std::vector<bool>& shown,
                                            std::vector<std::pair<int, int>>& out) {
    std::vector<unsigned> positions = levelPositions(plotIdxs);
    // Files the filter does not know (none loaded when the plot was made)
    // count as shown, as in every embedding view.
    std::vector<bool> filter = shown;
    filter.resize(static_cast<size_t>(std::max(0, MCV_CytometryData::Instance()->numFiles())), true);
    analysis->computePointReferencesForLandmarkIdxs(&positions, &out, &filter);
}

void UI_HsneWidget::addContextEntries(QMenu* menu) {
    const std::vector<int>* idxs = plot() ? plot()->selectionIdxs() : nullptr;
    if (idxs && !idxs->empty()) {
        QAction* zoom = menu->addAction(QStringLiteral("Zoom into Selection."));
        connect(zoom, &QAction::triggered, this, &UI_HsneWidget::drillIntoSelection);
    }
    menu->addSeparator();
}

void UI_HsneWidget::drillIntoSelection() {
    const std::vector<int>* idxs = plot() ? plot()->selectionIdxs() : nullptr;
    if (!analysis || !idxs) return;
    drillPositions = levelPositions(*idxs);
    if (drillPositions.empty()) return;
    emit newHsneLevelTriggered(analysis->scale(), hierarchy, analysis->selectedLandmarkIdxs(&drillPositions));
}
