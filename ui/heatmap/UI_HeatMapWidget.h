#pragma once

#include "ui/base/UI_DockableWidget.h"

#include <QList>
#include <QString>

#include <vector>

class MCV_DerivedDataClusters;
class QMetaMethod;
class QResizeEvent;
class QWebFrame;
class QWebView;

// The dock that shows one cluster set as a heat map of clusters (columns) by
// markers (rows), drawn by the page ":/heatmap/heatmap.html" (see
// UI_WebPageHost for the page convention). It offers the page every cluster
// set by name, sends the chosen set as JSON and again whenever the set
// changes, shows the set's cluster selection, turns the columns chosen on the
// page into the shared "Selection" of events, merges and renames clusters on
// the page's request and writes the exports: the drawing as SVG, the median
// table, one cell-origin table per cluster and the clusters' events as FCS.
// The rows start as the analyses' inputs do (the measured markers, or the
// stored default marker selection as it is), so that embedding coordinates
// neither set the colour range nor decide the dendrogram.
//
// Everything from the page is untrusted: lists longer than the set's cluster
// count (a page still showing the set before a merge) are cut to it, indices
// outside the set are ignored, and a name that no set bears selects nothing
// (the data model is not asked to make one). Names cross the bridge as UTF-8
// both ways. Exports that fail say so in a warning box, with the writer's
// reason for each file not written.
//
// The set belongs to the data model (not owned); the dock lives no longer
// than the data set it shows (the shell retires every view when the data set
// is replaced). Several docks may exist, each with its own set. GUI thread
// only.
class UI_HeatMapWidget : public UI_DockableWidget {
    Q_OBJECT
public:
    explicit UI_HeatMapWidget(QWidget* parent);
    ~UI_HeatMapWidget() override;

    void initUI();

    // For tests.
    QWebView* webView() const { return view; }
    MCV_DerivedDataClusters* currentSet() const { return current; }

signals:
    void qt_addAvailableData(QString name);
    void qt_setMarkerSelection(QList<int> selection);
    void qt_setData(QString data);
    void qt_setSelection(QList<int> selection);
    void qt_setHighlight(int highlightId);

public slots:
    void webViewFinishedLoading(bool ok);
    void connectJs();
    // The model's notifications: a cluster set's name reaches the page's
    // selector, and the shown set's contents, selection and highlight reach
    // the drawing. Pointers that name no registered cluster set are ignored.
    void dataRefreshed(void* data);
    void selectionRefreshed(void* data);
    void highlightRefreshed(void* data);
    // A run has ended, and with it the writing of its output variables: a
    // shown set whose statistics were made stale by that (or by any other
    // change of the data's values) goes to the page again, computed from the
    // values of now, followed by its cluster selection.
    void analysisFinished(void* analysis);

    void js_selectData(QString text);
    void js_selectionUpdated(QList<int> selectedClusters);
    void js_highlightUpdated(int highlightId);
    void js_mergeClusters(QList<int> selectedClusters);
    void js_setSubsetName(int idx, QString name);
    void js_saveSVG(QString xml);
    void js_saveCSV();
    void js_saveStatistics();
    void js_saveClusters(bool separateSamples);
    void js_debug(QString text);

protected:
    // The page follows the window size itself.
    void resizeEvent(QResizeEvent* event) override;
    // Sees the page's script connect to the signals (see webViewFinishedLoading).
    void connectNotify(const QMetaMethod& signal) override;

private:
    // The set names and the marker flags.
    void firstPush();
    // The rows the page starts with: the stored default marker flags as they
    // are, else the measured markers of the data set (MCV_MeasuredMarkers).
    // Nothing while there are neither.
    void pushMarkerFlags();
    // The indices of the current set's clusters whose entry is non-zero,
    // ascending; entries beyond the set are ignored.
    std::vector<int> flaggedClusters(const QList<int>& flags) const;
    // The current set's cluster selection, one flag per cluster.
    void pushSelection();
    // Asks for a table file ("exportDefaultFilePath", "Table Files (*.csv)")
    // proposing the current set's name; remembers the folder. Empty when
    // cancelled.
    QString askTableFile();
    void warn(const QString& text);

    QWebView* view = nullptr;
    QWebFrame* mainFrame = nullptr;
    MCV_DerivedDataClusters* current = nullptr;
    QList<int> selection;
    QString style;
    bool firstPushWaiting = false;
    bool markerFlagsPushed = false;
};
