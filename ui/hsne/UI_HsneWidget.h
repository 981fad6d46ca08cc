#pragma once

#include "ui/plot/UI_EmbeddingView.h"

#include <vector>

class MCV_HsneAnalysis;
class MCV_HsneAnalysisHierarchy;

// The dock of one level of an HSNE hierarchy: the embedding view (see
// UI_EmbeddingView) whose plotted points are landmarks. A selection in the plot
// becomes the events the selected landmarks stand for; a landmark is shown
// selected when the event that represents it is in the shared selection. Its
// context menu offers "Zoom into Selection.", which asks the shell (through
// newHsneLevelTriggered) for the next finer level over the selected landmarks.
//
// A plot selection may outlive the level it was made on (a rebuild gives the
// level fewer landmarks): positions beyond the level are left out.
class UI_HsneWidget : public UI_EmbeddingView {
    Q_OBJECT
public:
    // Without a level the view has no plot and must not be connected.
    UI_HsneWidget(QWidget* parent, MCV_HsneAnalysis* analysis, MCV_HsneAnalysisHierarchy* hierarchy);
    ~UI_HsneWidget() override;

signals:
    // `selection`: landmark indices of scale `level`, owned by the level
    // analysis (valid until its next conversion).
    void newHsneLevelTriggered(int level, MCV_HsneAnalysisHierarchy* hierarchy, std::vector<unsigned>* selection);

public slots:
    void drillIntoSelection();

protected:
    const std::vector<std::pair<int, int>>* pointReferences() const override;
    void sharedSelectionFromPlot(const std::vector<int>& plotIdxs, const std::vector<bool>& shown,
                                 std::vector<std::pair<int, int>>& out) override;
    void addContextEntries(QMenu* menu) override;

private:
    // The plot's selected positions that lie on the level, in plot order.
    std::vector<unsigned> levelPositions(const std::vector<int>& plotIdxs) const;

    MCV_HsneAnalysis* analysis;
    MCV_HsneAnalysisHierarchy* hierarchy;
    // The positions of the last drill; the overview level hands them back as
    // its landmark indices, so they outlive the signal.
    std::vector<unsigned> drillPositions;
};
