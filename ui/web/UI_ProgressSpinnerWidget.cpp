#include "UI_ProgressSpinnerWidget.h"

#include "UI_WebPageHost.h"

#include <QImage>
#include <QPainter>
#include <QRegion>
#include <QWebFrame>
#include <QWebPage>

UI_ProgressSpinnerWidget::UI_ProgressSpinnerWidget(QWidget* parent) : QWebView(parent) {
    setStyleSheet("background:transparent");
    setAttribute(Qt::WA_TranslucentBackground);
    UI_WebPageHost::makeTransparent(this);
    setFixedSize(24, 24);
    setContentsMargins(0, 0, 0, 0);
    connect(page()->mainFrame(), &QWebFrame::javaScriptWindowObjectCleared, this, &UI_ProgressSpinnerWidget::connectJs);
    connect(this, &QWebView::loadFinished, this, &UI_ProgressSpinnerWidget::pageLoaded);
    UI_WebPageHost::loadPage(this, ":/html_ui_elements/spinner.html", "qrc:/html_ui_elements/");
    UI_WebPageHost::hideScrollBars(this);
}

UI_ProgressSpinnerWidget::~UI_ProgressSpinnerWidget() = default;

void UI_ProgressSpinnerWidget::advance() {
    m_angle = (m_angle + kStep) % 360;
    emit qt_setAngle(m_angle);
    // Drawing the page (into one pixel) settles its style and layout now, and
    // with them its request to repaint the ring, which then joins the host's
    // frame. Left to the page's zero-delay timers the request would come
    // after that frame, twice, and each time make the window draw again.
    QImage pixel(1, 1, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&pixel);
    page()->mainFrame()->render(&painter, QRegion(0, 0, 1, 1));
}

void UI_ProgressSpinnerWidget::connectJs() { page()->mainFrame()->addToJavaScriptWindowObject("Qt", this); }

void UI_ProgressSpinnerWidget::pageLoaded(bool) { emit qt_setAngle(m_angle); }
