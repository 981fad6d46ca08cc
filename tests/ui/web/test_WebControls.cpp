// The web-drawn switch and busy ring in the real engine: state pushed before
// and after the page loaded, clicks on the page, colours, transparency.
#include "support/Pixels.h"
#include "ui/PageTestSupport.h"
#include "ui/web/UI_MaterialCheckBoxWidget.h"
#include "ui/web/UI_ProgressSpinnerWidget.h"

#include <QColor>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// A red host under the controls: wherever a control draws nothing, red must
// show through.
QWidget* makeRedHost() {
    auto* host = new QWidget;
    host->setFixedSize(200, 60);
    QPalette palette = host->palette();
    palette.setColor(QPalette::Window, QColor(255, 0, 0));
    host->setPalette(palette);
    host->setAutoFillBackground(true);
    return host;
}

bool isRed(QRgb c) { return rgbNear(c, qRgb(255, 0, 0), 25); }

class WebSwitch : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        host = makeRedHost();
        QColor red(255, 70, 70, 255);
        coloured = new UI_MaterialCheckBoxWidget("Record", host, &red);
        // Set before the page has loaded: the drawn switch must still show it.
        coloured->setChecked(true);
        plain = new UI_MaterialCheckBoxWidget("Darkmode", host, nullptr);
        plain->move(0, 30);
        host->show();
        loaded =
            pagetest::waitForPage(pagetest::webViewOf(coloured)) && pagetest::waitForPage(pagetest::webViewOf(plain));
    }
    static void TearDownTestSuite() { delete host; }
    void SetUp() override { ASSERT_TRUE(loaded); }

    static bool drawnChecked(UI_MaterialCheckBoxWidget* w) {
        return pagetest::js(pagetest::webViewOf(w),
                            "document.getElementById('switch').classList.contains('is-checked')")
            .toBool();
    }
    static QString thumbColour(UI_MaterialCheckBoxWidget* w) {
        return pagetest::js(pagetest::webViewOf(w),
                            "getComputedStyle(document.querySelector('.mdl-switch__thumb')).backgroundColor")
            .toString();
    }
    static void click(UI_MaterialCheckBoxWidget* w) {
        QTest::mouseClick(pagetest::webViewOf(w), Qt::LeftButton, Qt::NoModifier, QPoint(18, 12));
    }

    static inline QWidget* host = nullptr;
    static inline UI_MaterialCheckBoxWidget* coloured = nullptr;
    static inline UI_MaterialCheckBoxWidget* plain = nullptr;
    static inline bool loaded = false;
};

TEST_F(WebSwitch, LabelBesideTheSwitchAndStateSetBeforeOrAfterLoadIsDrawnWithoutEmitting) {
    EXPECT_EQ(coloured->findChild<QLabel*>()->text(), " Record");
    plain->setLabel("Other");
    EXPECT_EQ(plain->findChild<QLabel*>()->text(), "Other");
    plain->setLabel(" Darkmode");
    EXPECT_TRUE(coloured->isChecked());
    EXPECT_TRUE(drawnChecked(coloured)) << "set before the page loaded";
    QSignalSpy clicked(plain, &UI_MaterialCheckBoxWidget::clicked);
    QSignalSpy changed(plain, &UI_MaterialCheckBoxWidget::stateChanged);
    for (bool on : {true, false}) {
        plain->setChecked(on);
        EXPECT_EQ(drawnChecked(plain), on);
    }
    EXPECT_EQ(clicked.count() + changed.count(), 0);
}

TEST_F(WebSwitch, ClickOnThePageFlipsTheFlagAndReportsIt) {
    plain->setChecked(true);
    QSignalSpy clicked(plain, &UI_MaterialCheckBoxWidget::clicked);
    QSignalSpy changed(plain, &UI_MaterialCheckBoxWidget::stateChanged);
    click(plain);
    EXPECT_FALSE(plain->isChecked());
    EXPECT_FALSE(drawnChecked(plain));
    click(plain);
    EXPECT_TRUE(plain->isChecked());
    EXPECT_TRUE(drawnChecked(plain));
    EXPECT_EQ(clicked.count(), 2);
    ASSERT_EQ(changed.count(), 2);
    EXPECT_EQ(changed[0][0].toInt() * 10 + changed[1][0].toInt(), 1) << "off, then on";
    plain->setChecked(false);
}

TEST_F(WebSwitch, CheckedThumbTakesTheGivenColourElseTheDefaultOnATransparentBackground) {
    coloured->setChecked(true);
    plain->setChecked(true);
    EXPECT_EQ(thumbColour(coloured), "rgb(255, 70, 70)");
    const QString plainThumb = thumbColour(plain);
    EXPECT_FALSE(plainThumb.isEmpty());
    EXPECT_NE(plainThumb, "rgb(255, 70, 70)");
    plain->setChecked(false);
    const QImage image = host->grab().toImage();
    const QPoint origin = pagetest::webViewOf(plain)->mapTo(host, QPoint(0, 0));
    // The corners of the view lie outside the rounded track and thumb; the
    // drawn switch itself is not red.
    EXPECT_TRUE(isRed(image.pixel(origin + QPoint(0, 23)))) << std::hex << image.pixel(origin + QPoint(0, 23));
    EXPECT_TRUE(isRed(image.pixel(origin + QPoint(35, 23))));
    EXPECT_FALSE(isRed(image.pixel(origin + QPoint(18, 12))));
}

class BusySpinner : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        host = makeRedHost();
        spinner = new UI_ProgressSpinnerWidget(host);
        spinner->move(100, 10);
        host->show();
        loaded = pagetest::waitForPage(spinner);
    }
    static void TearDownTestSuite() { delete host; }
    void SetUp() override { ASSERT_TRUE(loaded); }
    static inline QWidget* host = nullptr;
    static inline UI_ProgressSpinnerWidget* spinner = nullptr;
    static inline bool loaded = false;
};

TEST_F(BusySpinner, RingFillsTheViewAndTurns) {
    const QString ring = pagetest::js(spinner,
                                      "var r = document.querySelector('.spinner').getBoundingClientRect();"
                                      "var s = getComputedStyle(document.querySelector('.spinner'));"
                                      "[r.left, r.top, r.width, r.height].join(',') + ' ' +"
                                      "(s.animationIterationCount || s.webkitAnimationIterationCount)")
                             .toString();
    EXPECT_EQ(ring, QString("0,0,%1,%2 infinite").arg(spinner->width()).arg(spinner->height()));
}

TEST_F(BusySpinner, ShowsOverTheHostWithATransparentBackgroundAndHides) {
    spinner->show();
    EXPECT_TRUE(spinner->isVisible());
    const QImage image = host->grab().toImage();
    EXPECT_TRUE(isRed(image.pixel(100, 10)));   // corner outside the ring
    EXPECT_TRUE(isRed(image.pixel(112, 22)));   // the hole in the middle
    EXPECT_FALSE(isRed(image.pixel(112, 11)));  // the ring's top
    spinner->hide();
    EXPECT_FALSE(spinner->isVisible());
    const QImage hidden = host->grab().toImage();
    EXPECT_TRUE(isRed(hidden.pixel(112, 11)));
    spinner->show();
}

}  // namespace
