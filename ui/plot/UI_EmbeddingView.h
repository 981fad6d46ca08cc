#pragma once

#include "ui/base/UI_DockableWidget.h"
#include "ui/base/UI_FramePacer.h"

#include <chrono>
#include <utility>
#include <vector>

class MCV_Analysis;
class QMenu;
class QMouseEvent;
class QResizeEvent;
class UI_ScatterplotWidget;

// The dock of one embedding analysis (A-tSNE, an HSNE level): a scatter plot
// fed live while the analysis iterates, and the two directions between the
// plot's selection and the data model's shared "Selection" point set. The
// shell connects the bridge's analysis and data signals to the slots; the
// computation slots act only on this view's own analysis. GUI thread only;
// the analysis runs on it and computationUpdated() pumps the event loop
// between iterations.
//
// While the analysis runs, the plot always works with the newest coordinates
// (its renderer reads them when it draws or selects), but it is repainted only
// as often as keeps drawing within a small share of the run's time (see
// UI_FramePacer); the frames at the start and at the end of a run are always
// drawn. Pending events (user input, stop requests) are processed with every
// frame and otherwise at least every kEventInterval, not after every
// iteration: an iteration of a small level takes about a millisecond, event
// processing with nothing to do costs a tenth of that, and it lets the display
// connection in, so that the next iteration of an OpenGL engine (in a hidden
// context) costs half a millisecond more with a software rasteriser.
//
// A kind of analysis derives from this view and says which event each plotted
// point stands for (pointReferences), how a plot selection becomes events
// (sharedSelectionFromPlot) and what its context menu offers first.
class UI_EmbeddingView : public UI_DockableWidget {
    Q_OBJECT
public:
    ~UI_EmbeddingView() override;

    // Builds the plot. A derived view calls it from its constructor once the
    // overlay's embedding control of its kind is registered.
    void initUI();
    // Shows a shared selection of (file, event) pairs in the plot. Pairs and
    // point references that name no loaded event are skipped.
    void select(std::vector<std::pair<int, int>>* points);
    // Shows the data model's current shared selection: for a view opened on
    // an analysis that has embedded already, whose plot has been fed.
    void showSharedSelection();
    // After variables were appended to the data and the analysis has laid
    // its rows at the new width: the plot takes them at the combined
    // header's width and offers the new markers, before it draws again. A
    // plot not yet fed takes the width at initComputation.
    void followColumns();

    // The longest stretch of a run without event processing (unless one
    // iteration takes longer): input is answered within a 40th of a second.
    static constexpr std::chrono::milliseconds kEventInterval{25};

    UI_ScatterplotWidget* plot() const { return scatterplot; }
    // Paces the frames of a running embedding; a pacer with share 1 and no
    // minimum interval draws a frame after every iteration.
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
    // `finishedLine` goes to the debug log when a run has finished.
    UI_EmbeddingView(QWidget* parent, MCV_Analysis* analysis, const char* finishedLine);

    // The (file, event) pair of each plotted point, in plot order; null
    // without an analysis.
    virtual const std::vector<std::pair<int, int>>* pointReferences() const = 0;
    // Fills `out` (empty on entry) with the events the selected plot points
    // stand for, leaving out files whose `shown` flag is clear. By default each
    // point stands for its own reference; indices beyond them are skipped.
    virtual void sharedSelectionFromPlot(const std::vector<int>& plotIdxs, const std::vector<bool>& shown,
                                         std::vector<std::pair<int, int>>& out);
    // The view's own entries, put before the plot's; none by default.
    virtual void addContextEntries(QMenu* menu);

    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

    // Whether file `file` is shown by the plot's sample filter; files without a
    // flag (no filter yet) count as shown.
    static bool fileShown(const std::vector<bool>& shown, int file);

private:
    // Hands the flags to the plot; without flags its panels are refreshed.
    void showSelectionFlags(bool fromThisView);

    MCV_Analysis* viewed;
    const char* finished;
    UI_ScatterplotWidget* scatterplot = nullptr;
    // The plot has been given the analysis' data (initComputation).
    bool fed = false;
    std::vector<std::pair<int, int>> selectedPoints;
    UI_FramePacer pacer;
    // When the last update processed events.
    UI_FramePacer::Clock::time_point lastEvents;
};
