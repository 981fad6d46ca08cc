#pragma once

#include <QEvent>
#include <QPoint>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <functional>
#include <vector>

class MainWindow;
class QImage;
class QPushButton;
class QRect;
class QWidget;
class UI_ScatterplotWidget;

// Takes the README's screenshots with the real main window. Both pictures
// start alike: `files` are imported through the scripted dialog answers with
// the arcsine transform, and the import dialog creates the analysis.
//
// - Tsne: an A-tSNE is computed from its settings panel and the window is
//   grabbed while the embedding converges; the run is then stopped.
// - HsneDrillDown: an HSNE is computed from its settings panel; once the
//   overview has converged, a rectangle selects a few of its clusters, the
//   plot's context menu zooms into them (the "Selection Name" prompt keeps
//   the proposed name), and when the new level has converged the window is
//   grabbed with both levels side by side.
// - FocusContext: the files are only imported; "New HSNE Focus + Context
//   Analysis" creates the analysis (the name prompt is answered), its panel's
//   " Compute HSNE " embeds the top scale; once converged, a rectangle around
//   one cluster becomes the focus through the plot's "Set focus and
//   differentiate.", and when the refined map has converged a "Focus +
//   Context Tree View" is opened beside it, shows the analysis's tree and the
//   window is grabbed.
// - SpadeTree: the import dialog's "Start SPADE" creates the analysis, its
//   panel's compute runs it, the tree dock's page lays the tree out; then the
//   branch around one node becomes a bubble and the window is grabbed.
// - HeatMap: "Start A-tSNE" creates the analysis and its panel computes it;
//   when the run has ended the plot's "Cluster" finds its density clusters,
//   "HeatMap View" opens beside the plot, its page is given the clusters and
//   the window is grabbed.
//
// The event loop ends with exit code 0 when the picture was written into the
// PNG `output`, 1 otherwise.
class ScreenshotRun {
public:
    enum class Picture { Tsne, HsneDrillDown, FocusContext, SpadeTree, HeatMap };

    static void start(MainWindow* window, Picture picture, const QString& output, const QStringList& files);

private:
    // Opens `files` through "Open File(s) ...", answers the import dialog
    // with `importChoice` (a UI_ImportDialog::Choice) and names the new
    // analysis `analysisName`; `then` runs once its settings panel exists.
    // With UI_ImportDialog::Ok no analysis is created: `then` runs once the
    // files are in and `analysisName` answers the next name prompt.
    static void importAndCreate(MainWindow* window, const QStringList& files, int importChoice,
                                const QString& analysisName, std::function<void()> then);
    static void startTsne(MainWindow* window, const QString& output, const QStringList& files);
    static void startHsneDrillDown(MainWindow* window, const QString& output, const QStringList& files);
    static void startFocusContext(MainWindow* window, const QString& output, const QStringList& files);
    static void startSpadeTree(MainWindow* window, const QString& output, const QStringList& files);
    static void startHeatMap(MainWindow* window, const QString& output, const QStringList& files);

    // The plots (ScreenshotRunPlot.cpp).
    // The bounding boxes (in framebuffer pixels) of the groups of drawn
    // pixels in `image`, whose corner pixel is the background: cells of a few
    // pixels with drawn pixels, joined with their eight neighbours; groups of
    // fewer than three cells are left out as stray landmarks.
    static std::vector<QRect> clusterBoxes(const QImage& image);
    // The rectangle to draw over a plot: the joint box, with a margin, of
    // `mostClusters` of `boxes` (fewer when no such box exists) that touches
    // no other cluster, the smallest such box, so that the selected clusters
    // are neighbours, or with `largest` the largest (the most landmarks to
    // refine); a null rectangle when `boxes` is empty.
    static QRect selectionRectangle(const std::vector<QRect>& boxes, size_t mostClusters, bool largest);
    // Colours `plot` by a marker that tells the populations apart rather than
    // by sample (whose blue is the selection halo's), widens the halo and sets
    // the point size (50 to 200, 100 by default), through its overlay as a
    // user would.
    static void styleForPicture(UI_ScatterplotWidget* plot, int pointSize);
    static void sendMouse(QWidget* target, QEvent::Type type, QPoint at, Qt::MouseButton button,
                          Qt::MouseButtons buttons);
    // Draws a rectangle around up to `mostClusters` clusters of what `plot`
    // shows (see selectionRectangle), styles it (see styleForPicture), runs `beforeChoice` and chooses
    // `entry` from the plot's context menu; the entry's operation runs inside
    // the menu's activation. False (the run has failed) when nothing was
    // selected.
    static bool selectAndChoose(QWidget* window, UI_ScatterplotWidget* plot, size_t mostClusters, bool largest,
                                int pointSize, const QString& entry, const std::function<void()>& beforeChoice);
    // A left click as the mouse gives it (press, release), so that handlers
    // of either signal run.
    static void click(QPushButton* button);
    // Grabs `window` into `output`, reports it and ends the event loop.
    static void grabAndQuit(MainWindow* window, const QString& output);
    // Reports `why` and ends the event loop with exit code 1.
    static void fail(const char* why);
};
