// The range slider in the real engine.
#include "ui/PageTestSupport.h"
#include "ui/web/UI_DualSliderWidget.h"

#include <QTest>
#include <QVariantList>
#include <gtest/gtest.h>

#include <functional>
#include <vector>

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

// Each handle's centre as drawn, as a fraction of the slider bar's width.
const char* kHandleCentres =
    "(function () { var bar = slider.getBoundingClientRect();"
    " return Array.prototype.map.call(slider.querySelectorAll('.noUi-handle'), function (h) {"
    " var r = h.getBoundingClientRect(); return ((r.left + r.right) / 2 - bar.left) / bar.width; }); })()";

// The page is laid out and painted whenever the window repaints, which a live
// run makes it do between two updates that each send a new range: the
// handles must stand where the values are as soon as they arrive, read here
// without letting the event loop run.
TEST_F(DualSlider, HandlesStandAtTheValuesTheMomentTheyAreSent) {
    struct Case {
        const char* what;
        std::function<void()> send;
        double lower, upper;  // handle centres, as fractions of the bar
    };
    const std::vector<Case> cases = {
        {"range and values", [] { slider->setRange(0.0f, 10.0f, 2.0f, 8.0f); }, 0.2, 0.8},
        {"values only", [] { slider->setValues(5.0f, 7.5f); }, 0.5, 0.75},
        {"range clamping the values", [] { slider->setRange(6.0f, 7.0f); }, 0.0, 1.0},
        {"negative range", [] { slider->setRange(-4.0f, 4.0f, -2.0f, 0.0f); }, 0.25, 0.5},
        {"while disabled",
         [] {
             slider->setEnabled(false);
             slider->setRange(0.0f, 100.0f, 10.0f, 90.0f);
         },
         0.1, 0.9},
        {"while hidden, then shown",
         [] {
             slider->hide();
             slider->setRange(0.0f, 20.0f, 15.0f, 20.0f);
             slider->show();
         },
         0.75, 1.0},
    };
    for (const Case& c : cases) {
        c.send();
        const QVariantList centres = pagetest::js(view(), kHandleCentres).toList();
        ASSERT_EQ(centres.size(), 2) << c.what;
        EXPECT_NEAR(centres[0].toDouble(), c.lower, 0.01) << c.what;
        EXPECT_NEAR(centres[1].toDouble(), c.upper, 0.01) << c.what;
    }
}

}  // namespace
