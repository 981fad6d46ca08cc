#pragma once

#include <QString>
#include <QWidget>

class QGridLayout;
class QResizeEvent;
class QWebView;

// A two-handle range slider over floats with a number box for each bound,
// drawn by ":/html_ui_elements/dualslider.html" (noUiSlider) on a transparent
// background. The setters store and clamp on this side and send the result to
// the page; they never emit valuesChanged(), which only a change made on the
// page emits. The widget's range and values are pushed to the page again once
// it has loaded, so nothing set before that is lost.
class UI_DualSliderWidget : public QWidget {
    Q_OBJECT
public:
    explicit UI_DualSliderWidget(QWidget* parent);
    ~UI_DualSliderWidget() override;

    // Stores the range; raises the lower value to `low` and lowers the upper
    // value to `high` where needed.
    void setRange(float low, float high);
    // Stores the range and the values clamped into it.
    void setRange(float rangeLow, float rangeHigh, float lower, float upper);
    // Stores the values clamped into the current range.
    void setValues(float lower, float upper);
    // Enables or disables the page's handles and boxes; the widget itself stays
    // enabled for the toolkit.
    void setEnabled(bool enabled);

    float lowerValue() const { return m_lower; }
    float upperValue() const { return m_upper; }
    float rangeLow() const { return m_rangeLow; }
    float rangeHigh() const { return m_rangeHigh; }

signals:
    void valuesChanged(float lower, float upper);
    void qt_valuesSet(float lower, float upper);
    void qt_rangeSet(float lower, float upper);
    void qt_enable(bool enabled);

private slots:
    void connectJs();
    void pageLoaded(bool ok);

public slots:
    void resizeEvent(QResizeEvent* event) override;
    void js_debug(QString text);
    // Called by the page: the values as the user left them, not clamped.
    void js_valuesChanged(float lower, float upper);

private:
    QGridLayout* m_layout;
    QWebView* m_webView;
    float m_rangeLow;
    float m_rangeHigh;
    float m_lower;
    float m_upper;
    bool m_pageEnabled;
};
