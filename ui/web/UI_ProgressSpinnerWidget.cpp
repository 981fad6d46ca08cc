#include "UI_ProgressSpinnerWidget.h"

#include "UI_WebPageHost.h"

UI_ProgressSpinnerWidget::UI_ProgressSpinnerWidget(QWidget* parent) : QWebView(parent) {
    setStyleSheet("background:transparent");
    setAttribute(Qt::WA_TranslucentBackground);
    UI_WebPageHost::makeTransparent(this);
    setFixedSize(24, 24);
    setContentsMargins(0, 0, 0, 0);
    UI_WebPageHost::loadPage(this, ":/html_ui_elements/spinner.html", "qrc:/html_ui_elements/");
    UI_WebPageHost::hideScrollBars(this);
}

UI_ProgressSpinnerWidget::~UI_ProgressSpinnerWidget() = default;
