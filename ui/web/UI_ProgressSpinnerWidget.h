#pragma once

#include <QImage>
#include <QWebView>

#include <array>

// A 24 x 24 busy ring drawn by ":/html_ui_elements/spinner.html" on a
// transparent background. The ring does not turn by itself: its host turns it
// a step with advance() when it draws a frame of its own, and the ring's
// repaint joins that frame. A page that animated on its own timer would make
// the whole window draw (and, over an OpenGL plot, compose every OpenGL
// surface) at the timer's rate, shown or hidden; this way a shown ring adds
// nothing to the host's frames and a hidden one costs nothing. Showing,
// hiding and advancing it is all a host does with it.
//
// The ring has kTurns angles. Once the page has loaded, each angle is drawn
// by the page once, into a picture the widget keeps; later turns to that
// angle repaint the picture without running the page's script, style, layout
// or painting, which every frame of a live plot paid for again. The pictures are dropped when the page loads again or
// the widget's size or pixel ratio changes.
class UI_ProgressSpinnerWidget : public QWebView {
    Q_OBJECT
public:
    // Degrees the ring turns per advance().
    static constexpr int kStep = 30;
    static constexpr int kTurns = 360 / kStep;

    explicit UI_ProgressSpinnerWidget(QWidget* parent);
    ~UI_ProgressSpinnerWidget() override;

    // Turns the ring one step further and asks for its repaint at once, so
    // that a host calling it before its own repaint gets both in one frame.
    void advance();
    // The ring's angle in degrees, [0, 360).
    int angle() const { return m_angle; }

signals:
    void qt_setAngle(int degrees);

public slots:
    void connectJs();

protected:
    void paintEvent(QPaintEvent* event) override;

private slots:
    // An angle set before the page's script connected did not reach it.
    void pageLoaded(bool ok);

private:
    // The picture of the ring at m_angle, drawn by the page if not kept yet;
    // null until the page has loaded.
    const QImage& picture();

    int m_angle = 0;
    // The angle the page was last given.
    int m_pageAngle = 0;
    bool m_loaded = false;
    std::array<QImage, kTurns> m_pictures;
};
