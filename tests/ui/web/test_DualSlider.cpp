// The range slider in the real engine: clamping on the widget side, what the
// page shows, handle drags and typed numbers reported back, disabling, and
// state set before the page loaded.
#include "support/Pixels.h"
#include "ui/PageTestSupport.h"
#include "ui/web/UI_DualSliderWidget.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPixmap>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class DualSlider : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        host = new QWidget;
        host->resize(420, 80);
        QPalette palette = host->palette();
        palette.setColor(QPalette::Window, QColor(255, 0, 0));
        host->setPalette(palette);
        host->setAutoFillBackground(true);
        slider = new UI_DualSliderWidget(host);
        slider->resize(400, 55);
        host->show();
        loaded = pagetest::waitForPage(view());
    }
    static void TearDownTestSuite() { delete host; }
    void SetUp() override {
        ASSERT_TRUE(loaded);
        slider->setEnabled(true);
    }

    static QWebView* view() { return pagetest::webViewOf(slider); }
    static QString page(const QString& script) { return pagetest::js(view(), script).toString(); }
    static QString shownValues() {
        return page(
            "document.getElementById('lowerspinbox').value + ' ' + document.getElementById('upperspinbox').value"
            " + ' ' + (slider.noUiSlider ? slider.noUiSlider.get().join(' ') : '-')");
    }
    static QPoint handleCentre(const QString& which) {
        const QString r = page(
            "var r = document.querySelector('.noUi-handle-" + which +
            "').getBoundingClientRect(); Math.round(r.left + r.width / 2) + ',' + Math.round(r.top + r.height / 2)");
        return QPoint(r.section(',', 0, 0).toInt(), r.section(',', 1, 1).toInt());
    }
    static void mouse(QEvent::Type type, QPoint pos, Qt::MouseButtons buttons) {
        QMouseEvent event(type, pos, view()->mapToGlobal(pos), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(view(), &event);
    }
    static void typeInto(const QString& box, const QString& text) {
        page("var b = document.getElementById('" + box + "'); b.value = '" + text +
             "';"
             "var e = document.createEvent('HTMLEvents'); e.initEvent('change', true, false); b.dispatchEvent(e);");
    }

    static inline QWidget* host = nullptr;
    static inline UI_DualSliderWidget* slider = nullptr;
    static inline bool loaded = false;
};

TEST_F(DualSlider, PageShowsTheWidgetStateOnceLoaded) {
    // Nothing set yet: the page shows the widget's defaults, not its own.
    EXPECT_EQ(std::make_pair(slider->lowerValue(), slider->upperValue()), std::make_pair(0.25f, 0.75f));
    EXPECT_EQ(shownValues(), "0.25 0.75 0.25 0.75");
    EXPECT_EQ(page("slider.noUiSlider.options.range.min + ',' + slider.noUiSlider.options.range.max"), "0,1");
}

TEST_F(DualSlider, SettersClampOnTheWidgetSideAndNeverReportAChange) {
    QSignalSpy changed(slider, &UI_DualSliderWidget::valuesChanged);
    QSignalSpy rangeSet(slider, &UI_DualSliderWidget::qt_rangeSet);
    QSignalSpy valuesSet(slider, &UI_DualSliderWidget::qt_valuesSet);
    slider->setRange(0.0f, 1.0f, 0.25f, 0.75f);
    slider->setRange(2.0f, 3.0f);
    EXPECT_EQ(std::make_pair(slider->lowerValue(), slider->upperValue()), std::make_pair(2.0f, 0.75f));
    ASSERT_EQ(rangeSet.count(), 2);
    EXPECT_EQ(std::make_pair(rangeSet[1][0].toFloat(), rangeSet[1][1].toFloat()), std::make_pair(2.0f, 3.0f));
    EXPECT_EQ(std::make_pair(valuesSet.last()[0].toFloat(), valuesSet.last()[1].toFloat()),
              std::make_pair(2.0f, 0.75f));

    slider->setRange(0.0f, 1.0f);
    slider->setValues(-1.0f, 10.0f);
    EXPECT_EQ(std::make_pair(slider->lowerValue(), slider->upperValue()), std::make_pair(0.0f, 1.0f));
    EXPECT_EQ(shownValues(), "0 1 0.00 1.00");
    slider->setRange(-5.0f, 5.0f, -10.0f, 2.0f);
    EXPECT_EQ(shownValues(), "-5 2 -5.00 2.00");
    EXPECT_EQ(changed.count(), 0);

    // The page rounds to two decimals; the widget keeps its value.
    slider->setRange(0.0f, 1.0f, 0.125f, 0.5f);
    EXPECT_EQ(shownValues(), "0.13 0.5 0.13 0.50");
    EXPECT_FLOAT_EQ(slider->lowerValue(), 0.125f);
}

TEST_F(DualSlider, DraggingAHandleReportsEveryStep) {
    slider->setRange(0.0f, 10.0f, 2.0f, 8.0f);
    QSignalSpy changed(slider, &UI_DualSliderWidget::valuesChanged);
    // noUiSlider places its handles in an animation frame after a rebuild.
    ASSERT_TRUE(QTest::qWaitFor([] { return handleCentre("upper").x() > handleCentre("lower").x(); }, 5000));
    const QPoint start = handleCentre("upper");
    mouse(QEvent::MouseButtonPress, start, Qt::LeftButton);
    for (int step = 1; step <= 4; ++step) mouse(QEvent::MouseMove, start - QPoint(8 * step, 0), Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, start - QPoint(32, 0), Qt::NoButton);
    ASSERT_GE(changed.count(), 3);
    const float upper = changed.last()[1].toFloat();
    EXPECT_FLOAT_EQ(changed.last()[0].toFloat(), 2.0f);
    EXPECT_GT(upper, 2.0f);
    EXPECT_LT(upper, changed[0][1].toFloat()) << "each report moves on from the one before";
    EXPECT_FLOAT_EQ(slider->upperValue(), upper);
    EXPECT_EQ(page("document.getElementById('upperspinbox').value").toFloat(), upper);
}

TEST_F(DualSlider, TypedNumbersArePassedOnAsTypedAndNonNumbersIgnored) {
    slider->setRange(0.0f, 1.0f, 0.2f, 0.8f);
    QSignalSpy changed(slider, &UI_DualSliderWidget::valuesChanged);
    typeInto("upperspinbox", "7");
    typeInto("lowerspinbox", "0.6");
    ASSERT_EQ(changed.count(), 2);
    EXPECT_EQ(std::make_pair(changed[0][0].toFloat(), changed[0][1].toFloat()), std::make_pair(0.2f, 7.0f));
    EXPECT_FLOAT_EQ(changed[1][0].toFloat(), 0.6f);
    EXPECT_FLOAT_EQ(slider->upperValue(), 7.0f);
    typeInto("lowerspinbox", "");
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(page("document.getElementById('lowerspinbox').value"), "0.6");
}

TEST_F(DualSlider, DisabledStaysDisabledAcrossUpdates) {
    slider->setEnabled(false);
    slider->setRange(0.0f, 4.0f, 1.0f, 3.0f);
    slider->setValues(1.5f, 2.5f);
    const QString state =
        "[slider.hasAttribute('disabled'), document.getElementById('lowerspinbox').disabled,"
        " document.getElementById('upperspinbox').disabled].join()";
    EXPECT_EQ(page(state), "true,true,true");
    slider->setEnabled(true);
    EXPECT_EQ(page(state), "false,false,false");
}

TEST_F(DualSlider, EmptyRangeDoesNotBreakThePage) {
    static QStringList messages;
    messages.clear();
    QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& text) { messages.append(text); });
    slider->setRange(3.0f, 3.0f, 3.0f, 3.0f);
    const QString afterEmpty = page("slider.noUiSlider ? 'slider' : 'none'");
    slider->setRange(0.0f, 10.0f, 1.0f, 9.0f);
    const QString afterValid = shownValues();
    qInstallMessageHandler(previous);
    EXPECT_EQ(afterEmpty, "none");
    EXPECT_EQ(afterValid, "1 9 1.00 9.00");
    EXPECT_TRUE(messages.filter("Javascript Debug Info: Error").isEmpty()) << messages.join("\n").toStdString();
}

TEST_F(DualSlider, FollowsTheWidgetWidthOnATransparentBackground) {
    slider->resize(300, 55);
    EXPECT_EQ(view()->width(), 300);
    EXPECT_EQ(page("slider.style.width"), QString::number(300 * 0.96 - 116) + "px");
    slider->resize(400, 55);
    const QImage image = host->grab().toImage();
    const QRgb corner = image.pixel(slider->mapTo(host, QPoint(398, 53)));
    EXPECT_TRUE(rgbNear(corner, qRgb(255, 0, 0), 0)) << std::hex << corner;
}

TEST(DualSliderBeforeLoad, StateSetBeforeThePageLoadedIsShown) {
    UI_DualSliderWidget fresh(nullptr);
    fresh.resize(300, 55);
    fresh.setEnabled(false);
    fresh.setRange(10.0f, 20.0f, 12.0f, 18.0f);
    QWebView* v = pagetest::webViewOf(&fresh);
    ASSERT_TRUE(pagetest::waitForPage(v));
    const QString script =
        "['lowerspinbox', 'upperspinbox'].map(function (id) { var b = document.getElementById(id);"
        " return b.value + ' ' + b.disabled; }).join()";
    EXPECT_EQ(pagetest::js(v, script).toString(), "12 true,18 true");
}

}  // namespace
