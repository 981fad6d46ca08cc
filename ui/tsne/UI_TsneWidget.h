#pragma once

#include "ui/base/UI_DockableWidget.h"
#include "ui/base/UI_FramePacer.h"

#include <utility>
#include <vector>

class MCV_TsneAnalysis;
class QMouseEvent;
class QResizeEvent;
class UI_ScatterplotWidget;

// The dock of one A-tSNE analysis: a scatter plot fed live while the analysis
// iterates, and the two directions between the plot's selection and the data
// model's shared "Selection" point set. The shell connects the bridge's
// analysis and data signals to the slots; the computation slots act only on
// this view's own analysis. GUI thread only; the analysis runs on it and
// computationUpdated() pumps the event loop between iterations.
//
// While the analysis runs, the plot always holds the newest coordinates, but
// it is repainted only as often as keeps drawing within a tenth of the run's
// time of the run (see UI_FramePacer); the frames at the start and at the end of a run
// are always drawn.
class UI_TsneWidget : public UI_DockableWidget {
    Q_OBJECT
public:
    // Without an analysis the view has no plot and must not be connected.
    UI_TsneWidget(QWidget* parent, MCV_TsneAnalysis* analysis);
    ~UI_TsneWidget() override;

    void initUI();
    // Shows a shared selection of (file, event) pairs in the plot.
    void select(std::vector<std::pair<int, int>>* points);

    UI_ScatterplotWidget* plot() const { return scatterplot; }
    // Paces the frames of a running embedding; a pacer with share 1 draws a
    // frame after every iteration.
    UI_FramePacer& framePacer() { return pacer; }
    const std::vector<short>& selectionFlags() const { return m_selectionFlags; }

public slots:
    void initComputation(void* analysis);
    void computationUpdated(void* analysis);
    void computationFinished(void* analysis);
    void dataRefreshed(void* data);
    void selectionRefreshed(void* data);
    void highlightRefreshed(void* data);
    void scatterplotSelectionUpdated();
    void rightClicked(QMouseEvent* event);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    MCV_TsneAnalysis* analysis;
    UI_ScatterplotWidget* scatterplot = nullptr;
    std::vector<std::pair<int, int>> selectedPoints;
    UI_FramePacer pacer;
};
