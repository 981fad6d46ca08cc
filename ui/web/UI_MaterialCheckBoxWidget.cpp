#include "UI_MaterialCheckBoxWidget.h"

#include "data/readTextFile.h"
#include "UI_WebPageHost.h"

#include <QColor>
#include <QGridLayout>
#include <QLabel>
#include <QUrl>
#include <QWebFrame>
#include <QWebPage>
#include <QWebView>

UI_MaterialCheckBoxWidget::UI_MaterialCheckBoxWidget(QString label, QWidget* parent, QColor* color)
    : QWidget(parent), m_layout(nullptr), m_webView(nullptr), m_label(nullptr), m_checked(false) {
    m_layout = new QGridLayout(this);
    m_layout->setSpacing(0);
    m_layout->setContentsMargins(0, 0, 0, 0);

    m_label = new QLabel(" " + label, this);

    setStyleSheet("background:transparent");
    setAttribute(Qt::WA_TranslucentBackground);

    m_webView = new QWebView(this);
    m_webView->setFixedSize(36, 24);
    UI_WebPageHost::makeTransparent(m_webView);
    UI_WebPageHost::hideScrollBars(m_webView);
    connect(m_webView->page()->mainFrame(), &QWebFrame::javaScriptWindowObjectCleared, this,
            &UI_MaterialCheckBoxWidget::connectJs);
    connect(m_webView, &QWebView::loadFinished, this, &UI_MaterialCheckBoxWidget::pageLoaded);

    QString page = readTextFile(":/html_ui_elements/checkbox.html");
    if (color) {
        const QString rgb = QString::number(color->red()) + ", " + QString::number(color->green()) + ", " +
                            QString::number(color->blue()) + ", ";
        const QString style =
            "<style>"
            ".mdl-switch.is-checked .mdl-switch__thumb { background: rgba(" +
            rgb +
            "1.0); }"
            ".mdl-switch.is-checked .mdl-switch__track { background: rgba(" +
            rgb +
            "0.5) }"
            "</style>";
        const int head = page.indexOf("</head>");
        if (head >= 0) page.insert(head, style);
    }
    UI_WebPageHost::registerBridgeTypes();
    m_webView->setHtml(page, QUrl("qrc:/html_ui_elements/"));

    m_layout->addWidget(m_webView, 0, 0, Qt::AlignHCenter);
    m_layout->addWidget(m_label, 0, 1, Qt::AlignHCenter);
}

UI_MaterialCheckBoxWidget::~UI_MaterialCheckBoxWidget() {
    delete m_webView;
    delete m_label;
    delete m_layout;
}

void UI_MaterialCheckBoxWidget::setChecked(bool state) {
    m_checked = state;
    emit qt_setState(state);
}

void UI_MaterialCheckBoxWidget::setLabel(QString text) { m_label->setText(text); }

void UI_MaterialCheckBoxWidget::connectJs() { m_webView->page()->mainFrame()->addToJavaScriptWindowObject("Qt", this); }

void UI_MaterialCheckBoxWidget::js_clicked() {
    m_checked = !m_checked;
    emit clicked();
    emit stateChanged(m_checked ? 1 : 0);
}

void UI_MaterialCheckBoxWidget::pageLoaded(bool) { emit qt_setState(m_checked); }
