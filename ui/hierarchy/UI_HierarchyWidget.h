#pragma once

#include "ui/base/UI_DockableWidget.h"

#include <QString>

class QWebFrame;
class QWebView;

// The dock that draws a nested tree of named groups as a zoomable sunburst
// with the page ":/hierarchy/hierarchy.html" (see UI_WebPageHost for the page
// convention). The page draws the sample hierarchy of the shared page scripts
// by itself from the moment it has loaded; the dock sends it nothing. Its
// qt_setData is connected by the page (hierarchy JSON text replaces the
// drawing), but no operation of the dock produces hierarchy JSON, so nothing
// here emits it. The page has no image export.
//
// GUI thread only.
class UI_HierarchyWidget : public UI_DockableWidget {
    Q_OBJECT
public:
    explicit UI_HierarchyWidget(QWidget* parent);
    ~UI_HierarchyWidget() override;

    void initUI();

    // For tests.
    QWebView* webView() const { return view; }

signals:
    void qt_setData(QString data);

public slots:
    void webViewFinishedLoading(bool ok);
    void connectJs();
    void js_debug(QString text);

private:
    QWebView* view = nullptr;
    QWebFrame* mainFrame = nullptr;
    // Kept with the other page docks' members; the page exports nothing.
    QString style;
};
