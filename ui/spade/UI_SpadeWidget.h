#pragma once

#include "ui/base/UI_DockableWidget.h"

#include <QList>
#include <QString>

#include <vector>

class MCV_Analysis;
class MCV_DerivedDataClusters;
class MCV_SpadeAnalysis;
class MCV_TemplateAnalysis;
class QMetaMethod;
class QHideEvent;
class QResizeEvent;
class QShowEvent;
class QWebFrame;
class QWebView;

// The dock that shows the cluster tree of a SPADE analysis or a template
// classification as a page (":/spade/spade.html" for the master,
// ":/spade/spade_slave.html" for a slave; see UI_WebPageHost for the page
// convention). It feeds the page the cluster set named after the analysis
// and carries the page's requests into the data model: a node selection
// becomes the shared "Selection", the hovered node the set's highlight, a
// named bubble of nodes a point set of the analysis (refilled whenever the
// page moves nodes into or out of the bubble), a bubble export an FCS or raw
// matrix file (or, when a file cannot be written, a warning box with
// the writer's reason for each file not written).
//
// The master page lays the tree out and reports node positions, which the
// cluster set stores and announces (spade tree refreshed); slave views push
// the stored positions to their pages and follow the master's layout. A
// slave opened later gets data and positions once its page has loaded.
//
// Everything from the page is untrusted: node indices outside the cluster
// set and repeated ones are dropped before the data model sees them. Only a
// SPADE tree makes bubbles; a template tree refuses them, as the analysis
// refuses a name that another data set has; the page then takes the bubble
// back (qt_bubbleRefused). The master page lays the tree out for every view
// of it, so its layout runs while any view of the tree (the master or a
// slave) is shown and waits while none is (qt_setLayoutActive). The analysis
// and the cluster set belong to others (not owned); the shell removes the
// view with its analysis. GUI thread only.
class UI_SpadeWidget : public UI_DockableWidget {
    Q_OBJECT
public:
    UI_SpadeWidget(QWidget* parent, MCV_SpadeAnalysis* analysis, bool isSlave);
    UI_SpadeWidget(QWidget* parent, MCV_TemplateAnalysis* analysis, bool isSlave);
    ~UI_SpadeWidget() override;

    void initUI();

    bool slave() const { return isSlave; }
    MCV_Analysis* shownAnalysis() const { return analysisBase; }
    MCV_DerivedDataClusters* clusterSet() const { return clusters; }
    // For tests.
    QWebView* view() const { return webView; }

signals:
    void qt_setData(QString data);
    void qt_setPositions(QString positions);
    // The bubble the page saved under `name` was not kept.
    void qt_bubbleRefused(QString name);
    // Whether any view of the tree is shown: the master page lays the tree
    // out only then.
    void qt_setLayoutActive(bool active);
    // Every bubble of the tree as the views show it, in the order they were
    // made: a JSON array of { "name", "nodes" }.
    void qt_setBubbles(QString bubbles);
    // A bubble became (or refilled) a point set of the analysis.
    void subtreeCreated();

public slots:
    void js_debug(QString text);
    void js_subtreeCreated(QList<int> clusters, QString name);
    // A bubble the page already had now holds these nodes (a node menu
    // entry moved nodes into or out of it): the point set the bubble became
    // is refilled and announced as a save under its name refills it. An
    // empty list: the bubble lost its last node and left the page; its set
    // keeps the cells it had. The other views of the tree follow either. A
    // name this tree's analysis did not make, and a list that names only
    // what is no node of the tree, change nothing.
    void js_subtreeEdited(QList<int> clusters, QString name);
    void exportSubtree(QString name, int mode);
    void selectionUpdated(QList<int> selectedClusters);
    void jsHighlightUpdated(int highlightId);
    void nodePositionsUpdated(QString json);
    void js_saveSVG(QString xml);
    void connectJs();
    void dataRefreshed(void* data);
    void selectionRefreshed(void* data);
    void highlightRefreshed(void* data);
    void spadePositionsRefreshed(void* data);
    void webViewFinishedLoading(bool ok);

protected:
    // The page follows the window size itself.
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void connectNotify(const QMetaMethod& signal) override;

private:
    UI_SpadeWidget(QWidget* parent, MCV_Analysis* base, MCV_SpadeAnalysis* spade, bool isSlave);
    // The page's node indices that name clusters of the set, each once, in
    // the page's order.
    std::vector<int> validClusters(const QList<int>& indices) const;
    void pushData();
    // What a page gets once it has loaded: the data and stored layout
    // (slave), the data when there is a tree already (master).
    void firstPush();
    QMetaMethod lastPageSignal() const;
    // Whether this view or another of the same tree is shown.
    bool treeShown() const;
    // Tells every master page of this view's tree whether to lay it out.
    void announceTreeShown();
    void warn(const QString& text);
    void refuseBubble(const QString& name, const QString& why);
    // The tree's bubble `name` now holds `nodes` (none: it left the tree);
    // a save puts it last, as the page does. Every other view of the tree
    // is told.
    void keepBubble(const QString& name, const std::vector<int>& nodes, bool saved);
    void pushBubbles();

    MCV_SpadeAnalysis* analysis = nullptr;
    MCV_Analysis* analysisBase = nullptr;
    bool isSlave = false;
    QWebView* webView = nullptr;
    QWebFrame* mainFrame = nullptr;
    MCV_DerivedDataClusters* clusters = nullptr;
    QString styleSheet;
    bool firstPushWaiting = false;
    // Between a show event and the next hide event, spontaneous ones too: a
    // minimised window shows none of its views.
    bool shownNow = false;
    // What the master page was last told (qt_setLayoutActive).
    bool layoutActive = false;
};
