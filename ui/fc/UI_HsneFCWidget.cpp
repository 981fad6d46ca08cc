#include "UI_HsneFCWidget.h"

#include "analysis/fc/MCV_HsneFCAnalysis.h"
#include "data/MCV_CytometryData.h"
#include "ui/fc/UI_HsneFCEmbeddingControl.h"
#include "ui/plot/UI_ScatterplotWidget.h"

#include <QAction>
#include <QMenu>

#include <algorithm>

UI_HsneFCWidget::UI_HsneFCWidget(QWidget* parent, MCV_HsneFCAnalysis* analysisIn)
    : UI_EmbeddingView(parent, analysisIn, "finished gradient descend.\n"), analysis(analysisIn) {
    UI_HsneFCEmbeddingControl::registerType();
    if (analysis) initUI();
}

UI_HsneFCWidget::~UI_HsneFCWidget() = default;

const std::vector<std::pair<int, int>>* UI_HsneFCWidget::pointReferences() const {
    return analysis ? analysis->pointReferences() : nullptr;
}

std::vector<unsigned> UI_HsneFCWidget::embeddedPositions() const {
    std::vector<unsigned> positions;
    const std::vector<int>* idxs = plot() ? plot()->selectionIdxs() : nullptr;
    if (!idxs || !analysis) return positions;
    positions.reserve(idxs->size());
    const int count = analysis->numDataPoints();
    for (int i : *idxs)
        if (i >= 0 && i < count) positions.push_back(static_cast<unsigned>(i));
    return positions;
}

void UI_HsneFCWidget::sharedSelectionFromPlot(const std::vector<int>& plotIdxs, const std::vector<bool>& shown,
                                              std::vector<std::pair<int, int>>& out) {
    // A selection made before the map changed may name positions beyond it.
    std::vector<unsigned> positions;
    positions.reserve(plotIdxs.size());
    const int count = analysis->numDataPoints();
    for (int i : plotIdxs)
        if (i >= 0 && i < count) positions.push_back(static_cast<unsigned>(i));
    // Files the filter does not know count as shown, as in every embedding view.
    std::vector<bool> filter = shown;
    filter.resize(static_cast<size_t>(std::max(0, MCV_CytometryData::Instance()->numFiles())), true);
    analysis->computePointReferencesForLandmarkIdxs(&positions, &out, &filter);
}

void UI_HsneFCWidget::addContextEntries(QMenu* menu) {
    auto entry = [this, menu](const char* text, void (UI_HsneFCWidget::*slot)()) {
        auto* action = new QAction(QString::fromLatin1(text), this);
        connect(action, &QAction::triggered, this, slot);
        // The action goes with the menu; the view would otherwise collect one
        // per opened menu.
        connect(menu, &QObject::destroyed, action, &QObject::deleteLater);
        menu->addAction(action);
    };
    const std::vector<int>* idxs = plot() ? plot()->selectionIdxs() : nullptr;
    if (idxs && !idxs->empty()) entry("Set focus and differentiate.", &UI_HsneFCWidget::differentiateSelection);
    entry("Differentiate focus more.", &UI_HsneFCWidget::refineFocus);
    entry("Differentiate focus less.", &UI_HsneFCWidget::coarsenFocus);
    menu->addSeparator();
    entry("Refine all.", &UI_HsneFCWidget::refineAll);
    entry("Coarsen All.", &UI_HsneFCWidget::coarsenAll);
    menu->addSeparator();
}

void UI_HsneFCWidget::differentiateSelection() {
    if (!analysis) return;
    std::vector<unsigned> focus = embeddedPositions();
    analysis->setFocus(&focus);
    analysis->differentiateFocusMore();
}

void UI_HsneFCWidget::refineFocus() {
    if (analysis) analysis->differentiateFocusMore();
}

void UI_HsneFCWidget::coarsenFocus() {
    if (analysis) analysis->differentiateFocusLess();
}

void UI_HsneFCWidget::refineAll() {
    if (analysis) analysis->refineAll();
}

void UI_HsneFCWidget::coarsenAll() {
    if (analysis) analysis->coarsenAll();
}
