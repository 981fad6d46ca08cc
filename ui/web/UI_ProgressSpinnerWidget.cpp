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

UI_ProgressSpinnerWidget::~UI_ProgressSpinnerWidget() {
    // The base destructor ends a load still running and reports it finished,
    // when this is no longer a busy ring: none of its slots may run then.
    disconnect(this, &QWebView::loadFinished, this, &UI_ProgressSpinnerWidget::pageLoaded);
    disconnect(page()->mainFrame(), nullptr, this, nullptr);
}

void UI_ProgressSpinnerWidget::advance() {
    m_angle = (m_angle + kStep) % 360;
    if (!m_loaded) {
        // The page takes the angle when it has loaded.
        m_pageAngle = m_angle;
        emit qt_setAngle(m_angle);
        return;
    }
    // Drawing the page now settles its style and layout, and with them its
    // request to repaint the ring, which then joins the host's frame. Left to
    // the page's zero-delay timers the request would come after that frame,
    // twice, and each time make the window draw again.
    picture();
    update();
}

const QImage& UI_ProgressSpinnerWidget::picture() {
    static const QImage none;
    if (!m_loaded) return none;
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = size() * ratio;
    QImage& kept = m_pictures[static_cast<size_t>(m_angle / kStep)];
    if (!kept.isNull() && kept.size() == pixels && kept.devicePixelRatio() == ratio) return kept;
    if (m_pageAngle != m_angle) {
        m_pageAngle = m_angle;
        emit qt_setAngle(m_angle);
    }
    // Pictures of another size or ratio are of no use any more.
    for (QImage& other : m_pictures)
        if (other.size() != pixels || other.devicePixelRatio() != ratio) other = QImage();
    kept = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
    kept.setDevicePixelRatio(ratio);
    kept.fill(Qt::transparent);
    QPainter painter(&kept);
    page()->mainFrame()->render(&painter, QRegion(rect()));
    return kept;
}

void UI_ProgressSpinnerWidget::paintEvent(QPaintEvent* event) {
    const QImage& ring = picture();
    if (ring.isNull()) {
        QWebView::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), ring);
}

void UI_ProgressSpinnerWidget::connectJs() { page()->mainFrame()->addToJavaScriptWindowObject("Qt", this); }

void UI_ProgressSpinnerWidget::pageLoaded(bool ok) {
    m_pictures.fill(QImage());
    m_loaded = ok;
    m_pageAngle = m_angle;
    emit qt_setAngle(m_angle);
}
