#include "UI_HierarchyWidget.h"

#include "ui/web/UI_WebPageHost.h"

#include <QGridLayout>
#include <QWebFrame>
#include <QWebPage>
#include <QWebView>

UI_HierarchyWidget::UI_HierarchyWidget(QWidget* parent) : UI_DockableWidget(parent) { initUI(); }

UI_HierarchyWidget::~UI_HierarchyWidget() = default;

void UI_HierarchyWidget::initUI() {
    view = new QWebView(this);
    mainLayout()->addWidget(view, 0, 0);
    connect(view, &QWebView::loadFinished, this, &UI_HierarchyWidget::webViewFinishedLoading);
    mainFrame = view->page()->mainFrame();
    UI_WebPageHost::hideScrollBars(view);
    // Emitted before the page's scripts run, so their connect call finds "Qt".
    connect(mainFrame, &QWebFrame::javaScriptWindowObjectCleared, this, &UI_HierarchyWidget::connectJs);
    UI_WebPageHost::loadPage(view, QStringLiteral(":/hierarchy/hierarchy.html"), QStringLiteral("qrc:/hierarchy/"));
    style = UI_WebPageHost::styleText(QStringLiteral(":/hierarchy/hierarchy.css"));
}

void UI_HierarchyWidget::connectJs() { mainFrame->addToJavaScriptWindowObject(QStringLiteral("Qt"), this); }

// The page loads its own sample; there is nothing to send.
void UI_HierarchyWidget::webViewFinishedLoading(bool /*ok*/) {}

void UI_HierarchyWidget::js_debug(QString text) { UI_WebPageHost::debug(text); }
