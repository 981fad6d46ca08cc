#pragma once

#include "ui/base/UI_DockableWidget.h"

#include <QString>

class MCV_FCTree;
class QMetaMethod;
class QResizeEvent;
class QWebFrame;
class QWebView;

// The dock that draws one focus-and-context tree with the page ":/tree/tree.html"
// (see UI_WebPageHost for the page convention). It lists every tree of the
// data model on the page, sends the tree the page chose as JSON whenever the
// tree reports a change, and saves the page's drawing as SVG. Names and JSON
// cross the bridge as UTF-8 both ways.
//
// The chosen tree belongs to the data model (not owned); the dock lives no
// longer than the data set it shows (the shell retires every view when the
// data set is replaced). GUI thread only.
class UI_TreeWidget : public UI_DockableWidget {
    Q_OBJECT
public:
    explicit UI_TreeWidget(QWidget* parent);
    ~UI_TreeWidget() override;

    void initUI();

    // For tests.
    QWebView* webView() const { return view; }
    MCV_FCTree* currentTree() const { return current; }

signals:
    void qt_addAvailableData(QString name);
    void qt_setData(QString data);

public slots:
    void webViewFinishedLoading(bool ok);
    void connectJs();
    // Follows the model's notifications: a tree's name reaches the selector,
    // the chosen tree's new JSON the drawing.
    void dataRefreshed(void* data);

    void js_selectData(QString name);
    void js_saveSVG(QString xml);
    void js_debug(QString text);

protected:
    // The page follows the window size itself.
    void resizeEvent(QResizeEvent* event) override;
    void connectNotify(const QMetaMethod& signal) override;

private:
    // Offers every tree of the data model to the page's selector.
    void listTrees();

    QWebView* view = nullptr;
    QWebFrame* mainFrame = nullptr;
    MCV_FCTree* current = nullptr;
    QString style;
    bool listWaiting = false;
};
