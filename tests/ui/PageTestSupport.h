#pragma once
// Helpers for tests that drive embedded pages in the real web engine.

#include <QSignalSpy>
#include <QUrl>
#include <QVariant>
#include <QWebFrame>
#include <QWebPage>
#include <QWebView>
#include <QWidget>

namespace pagetest {

inline QVariant js(QWebView* view, const QString& script);

// Waits until the page set on `view` has loaded; a page whose files are cached
// finishes inside setHtml, so a complete document at a resource URL counts.
inline bool waitForPage(QWebView* view, int timeoutMs = 15000) {
    QSignalSpy spy(view, &QWebView::loadFinished);
    if (view->url().scheme() == "qrc" && js(view, "document.readyState").toString() == "complete") return true;
    return spy.wait(timeoutMs);
}

// Sets `html` and waits until it has loaded.
inline bool setHtmlAndWait(QWebView* view, const QString& html, const QUrl& base, int timeoutMs = 15000) {
    QSignalSpy spy(view, &QWebView::loadFinished);
    view->setHtml(html, base);
    return !spy.isEmpty() || spy.wait(timeoutMs);
}

inline QVariant js(QWebView* view, const QString& script) {
    return view->page()->mainFrame()->evaluateJavaScript(script);
}

inline QWebView* webViewOf(QWidget* widget) {
    if (auto* view = qobject_cast<QWebView*>(widget)) return view;
    return widget->findChild<QWebView*>();
}

}  // namespace pagetest
