#include "UI_HierarchyWidget.h"

#include "ui/web/UI_WebPageHost.h"

#include <QGridLayout>
#include <QWebFrame>
#include <QWebPage>
#include <QWebView>

UI_HierarchyWidget::UI_HierarchyWidget(QWidget* parent) : UI_DockableWidget(parent) { initUI(); }

UI_HierarchyWidget::~UI_HierarchyWidget() { UI_WebPageHost::releasePageView(this, view); }

void UI_HierarchyWidget::initUI() {
    view = UI_WebPageHost::createPageView(this, mainFrame, QStringLiteral(":/hierarchy/hierarchy.html"),
                                          QStringLiteral("qrc:/hierarchy/"));
    style = UI_WebPageHost::styleText(QStringLiteral(":/hierarchy/hierarchy.css"));
}

void UI_HierarchyWidget::connectJs() { mainFrame->addToJavaScriptWindowObject(QStringLiteral("Qt"), this); }

// The page loads its own sample; there is nothing to send.
void UI_HierarchyWidget::webViewFinishedLoading(bool /*ok*/) {}

void UI_HierarchyWidget::js_debug(QString text) { UI_WebPageHost::debug(text); }
