// The range slider in the real engine.
#include "ui/PageTestSupport.h"
#include "ui/web/UI_DualSliderWidget.h"

#include <QTest>
#include <gtest/gtest.h>

namespace {

const char* kShown =
    "['lowerspinbox', 'upperspinbox'].map(function (id) { var b = document.getElementById(id);"
    " return b.value + (b.disabled ? '!' : ''); }).join(' ') + ' ' +"
    " (slider.noUiSlider ? slider.noUiSlider.get().join(' ') : '-')";

class DualSlider : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        slider = new UI_DualSliderWidget(nullptr);
        slider->resize(400, 55);
        // Set before the page has loaded: the page must still show it.
        slider->setEnabled(false);
        slider->setRange(10.0f, 20.0f, 12.0f, 18.0f);
        slider->show();
        loaded = pagetest::waitForPage(view());
        shownAtLoad = page(kShown);
    }
    static void TearDownTestSuite() { delete slider; }
    void SetUp() override {
        ASSERT_TRUE(loaded);
        slider->setEnabled(true);
    }
    static QWebView* view() { return pagetest::webViewOf(slider); }
    static QString page(const QString& script) { return pagetest::js(view(), script).toString(); }
    static std::pair<float, float> values() { return {slider->lowerValue(), slider->upperValue()}; }
    static void typeInto(const QString& box, const QString& text) {
        page("var b = document.getElementById('" + box + "'); b.value = '" + text +
             "'; var e = document.createEvent('HTMLEvents'); e.initEvent('change', true, false); b.dispatchEvent(e);");
    }
    static inline UI_DualSliderWidget* slider = nullptr;
    static inline bool loaded = false;
    static inline QString shownAtLoad;
};

TEST_F(DualSlider, SettersClampOnTheWidgetSideAndNeverReportAChange) {
    EXPECT_EQ(shownAtLoad, "12! 18! 12.00 18.00");
    QSignalSpy changed(slider, &UI_DualSliderWidget::valuesChanged);
    slider->setRange(0.0f, 1.0f, 0.25f, 0.75f);
    slider->setRange(2.0f, 3.0f);
    EXPECT_EQ(values(), std::make_pair(2.0f, 0.75f));
    slider->setRange(0.0f, 1.0f);
    slider->setValues(-1.0f, 10.0f);
    EXPECT_EQ(values(), std::make_pair(0.0f, 1.0f));
    slider->setRange(-5.0f, 5.0f, -10.0f, 2.0f);
    EXPECT_EQ(page(kShown), "-5 2 -5.00 2.00");
    // The page rounds to two decimals; the widget keeps its value.
    slider->setRange(0.0f, 1.0f, 0.125f, 0.5f);
    EXPECT_EQ(page(kShown), "0.13 0.5 0.13 0.50");
    EXPECT_FLOAT_EQ(slider->lowerValue(), 0.125f);
    EXPECT_EQ(changed.count(), 0);
}

TEST_F(DualSlider, TypedNumbersArePassedOnAsTypedAndAnythingElseIgnored) {
    slider->setRange(0.0f, 10.0f, 2.0f, 8.0f);
    QSignalSpy changed(slider, &UI_DualSliderWidget::valuesChanged);
    typeInto("upperspinbox", "70");
    typeInto("lowerspinbox", "");
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(values(), std::make_pair(2.0f, 70.0f));
    EXPECT_EQ(page("document.getElementById('lowerspinbox').value"), "2");
}

TEST_F(DualSlider, DisabledStaysDisabledAcrossUpdatesAndAnEmptyRangeDoesNotBreakThePage) {
    static QStringList messages;
    messages.clear();
    QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& text) { messages.append(text); });
    slider->setEnabled(false);
    slider->setRange(3.0f, 3.0f, 3.0f, 3.0f);
    const QString afterEmpty = page(kShown);
    slider->setRange(0.0f, 10.0f, 1.0f, 9.0f);
    const QString afterValid = page(kShown + QString(" + slider.hasAttribute('disabled')"));
    qInstallMessageHandler(previous);
    EXPECT_EQ(afterEmpty, "3! 3! -");
    EXPECT_EQ(afterValid, "1! 9! 1.00 9.00true");
    EXPECT_TRUE(messages.filter("Javascript Debug Info: Error").isEmpty()) << messages.join("\n").toStdString();
    slider->setEnabled(true);
    EXPECT_EQ(page(kShown), "1 9 1.00 9.00");
}

}  // namespace
