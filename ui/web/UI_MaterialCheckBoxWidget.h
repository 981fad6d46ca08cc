#pragma once

#include <QWidget>

class QColor;
class QGridLayout;
class QLabel;
class QWebView;

// An on/off switch drawn by an embedded page (":/html_ui_elements/checkbox.html",
// a 36 x 24 view) with a text label beside it, on a transparent background.
// The flag here is the truth; the page follows qt_setState and the user's
// clicks. setChecked() emits neither clicked() nor stateChanged(), so hosts
// can push state without echo; only a click on the page emits them.
class UI_MaterialCheckBoxWidget : public QWidget {
    Q_OBJECT
public:
    // `color` may be null: the page's default switch colours stay. Otherwise
    // the checked thumb shows it opaque and the checked track half transparent.
    UI_MaterialCheckBoxWidget(QString label, QWidget* parent, QColor* color);
    ~UI_MaterialCheckBoxWidget() override;

    void setChecked(bool state);
    bool isChecked() const { return m_checked; }
    // Sets the label text as given (no leading blank added here).
    void setLabel(QString text);

signals:
    void clicked();
    void stateChanged(int state);
    void qt_setState(bool state);

public slots:
    void connectJs();
    void js_clicked();

private slots:
    // A state set before the page's script connected did not reach it.
    void pageLoaded(bool ok);

private:
    QGridLayout* m_layout;
    QWebView* m_webView;
    QLabel* m_label;
    bool m_checked;
};
