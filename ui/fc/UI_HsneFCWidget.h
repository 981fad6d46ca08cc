#pragma once

#include "ui/plot/UI_EmbeddingView.h"

#include <vector>

class MCV_HsneFCAnalysis;

// The dock of a focus-and-context analysis: the embedding view (see
// UI_EmbeddingView) of one map that mixes landmarks of several scales. A
// selection in the plot becomes the events the selected landmarks stand for;
// a landmark is shown selected when the event that represents it is in the
// shared selection. The context menu drives the analysis: make the selection
// the focus and refine it, refine or coarsen the focus, refine or coarsen
// everything. Each operation stops a running descent, changes the tree and
// embeds again; one chosen while the descent runs (the view pumps the event
// loop) is carried out by the analysis once the running loop has returned.
class UI_HsneFCWidget : public UI_EmbeddingView {
    Q_OBJECT
public:
    // Without an analysis the view has no plot and must not be connected.
    UI_HsneFCWidget(QWidget* parent, MCV_HsneFCAnalysis* analysis);
    ~UI_HsneFCWidget() override;

public slots:
    void differentiateSelection();
    void refineFocus();
    void coarsenFocus();
    void refineAll();
    void coarsenAll();

protected:
    const std::vector<std::pair<int, int>>* pointReferences() const override;
    void sharedSelectionFromPlot(const std::vector<int>& plotIdxs, const std::vector<bool>& shown,
                                 std::vector<std::pair<int, int>>& out) override;
    void addContextEntries(QMenu* menu) override;

private:
    // The plot's selected positions that are embedding points, in plot order.
    std::vector<unsigned> embeddedPositions() const;

    MCV_HsneFCAnalysis* analysis;
};
