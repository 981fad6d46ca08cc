#include "UI_DualSliderWidget.h"

#include "UI_WebPageHost.h"

#include <QGridLayout>
#include <QResizeEvent>
#include <QWebFrame>
#include <QWebPage>
#include <QWebView>

UI_DualSliderWidget::UI_DualSliderWidget(QWidget* parent)
    : QWidget(parent),
      m_layout(nullptr),
      m_webView(nullptr),
      m_rangeLow(0.0f),
      m_rangeHigh(1.0f),
      m_lower(0.25f),
      m_upper(0.75f),
      m_pageEnabled(true) {
    setContentsMargins(0, 0, 0, 0);
    m_layout = new QGridLayout(this);
    m_layout->setSpacing(0);
    m_layout->setContentsMargins(0, 0, 0, 0);

    setStyleSheet("background:transparent");
    setAttribute(Qt::WA_TranslucentBackground);

    m_webView = new QWebView(this);
    m_webView->setFixedHeight(55);
    m_webView->setFixedWidth(width());
    UI_WebPageHost::makeTransparent(m_webView);
    UI_WebPageHost::hideScrollBars(m_webView);
    connect(m_webView->page()->mainFrame(), &QWebFrame::javaScriptWindowObjectCleared, this,
            &UI_DualSliderWidget::connectJs);
    connect(m_webView, &QWebView::loadFinished, this, &UI_DualSliderWidget::pageLoaded);
    UI_WebPageHost::loadPage(m_webView, ":/html_ui_elements/dualslider.html", "qrc:/html_ui_elements/");

    m_layout->addWidget(m_webView, 0, 0, Qt::AlignHCenter);
}

UI_DualSliderWidget::~UI_DualSliderWidget() {
    delete m_layout;
    delete m_webView;
}

void UI_DualSliderWidget::connectJs() { m_webView->page()->mainFrame()->addToJavaScriptWindowObject("Qt", this); }

void UI_DualSliderWidget::pageLoaded(bool) {
    emit qt_enable(m_pageEnabled);
    emit qt_rangeSet(m_rangeLow, m_rangeHigh);
    emit qt_valuesSet(m_lower, m_upper);
}

void UI_DualSliderWidget::resizeEvent(QResizeEvent* event) { m_webView->setFixedWidth(event->size().width()); }

void UI_DualSliderWidget::js_debug(QString text) { UI_WebPageHost::debug(text); }

void UI_DualSliderWidget::setRange(float low, float high) {
    m_rangeLow = low;
    m_rangeHigh = high;
    m_lower = m_lower > low ? m_lower : low;
    m_upper = m_upper < high ? m_upper : high;
    emit qt_rangeSet(low, high);
    emit qt_valuesSet(m_lower, m_upper);
}

void UI_DualSliderWidget::setValues(float lower, float upper) {
    m_lower = lower > m_rangeLow ? lower : m_rangeLow;
    m_upper = upper < m_rangeHigh ? upper : m_rangeHigh;
    emit qt_valuesSet(m_lower, m_upper);
}

void UI_DualSliderWidget::setRange(float rangeLow, float rangeHigh, float lower, float upper) {
    m_rangeLow = rangeLow;
    m_rangeHigh = rangeHigh;
    m_lower = lower > rangeLow ? lower : rangeLow;
    m_upper = upper < rangeHigh ? upper : rangeHigh;
    emit qt_rangeSet(rangeLow, rangeHigh);
    emit qt_valuesSet(m_lower, m_upper);
}

void UI_DualSliderWidget::setEnabled(bool enabled) {
    m_pageEnabled = enabled;
    emit qt_enable(enabled);
}

void UI_DualSliderWidget::js_valuesChanged(float lower, float upper) {
    m_lower = lower;
    m_upper = upper;
    emit valuesChanged(lower, upper);
}
