#pragma once

#include <QWebView>

// A 24 x 24 busy ring drawn by ":/html_ui_elements/spinner.html" on a
// transparent background. It turns as long as the page is loaded; showing and
// hiding the widget is all a host does with it.
class UI_ProgressSpinnerWidget : public QWebView {
    Q_OBJECT
public:
    explicit UI_ProgressSpinnerWidget(QWidget* parent);
    ~UI_ProgressSpinnerWidget() override;
};
