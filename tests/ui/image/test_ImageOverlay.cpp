// The image view's slide-in panel: data-set names, the marker numbers it
// reports (also while its combo is refilled) and its span slider.
#include "ui/image/UI_ImageSettingsSliderWidget.h"
#include "ui/web/UI_DualSliderWidget.h"

#include <QComboBox>
#include <QWidget>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

struct Reports {
    std::vector<int> markers;
    std::vector<std::string> datasets;
    std::vector<std::pair<float, float>> spans;
    explicit Reports(UI_ImageSettingsSliderWidget* panel) {
        QObject::connect(panel, &UI_ImageSettingsSliderWidget::parentSetMarker,
                         [this](int m) { markers.push_back(m); });
        QObject::connect(panel, &UI_ImageSettingsSliderWidget::parentSetDataset,
                         [this](std::string d) { datasets.push_back(d); });
        QObject::connect(panel, &UI_ImageSettingsSliderWidget::parentSetMarkerSpan,
                         [this](float a, float b) { spans.emplace_back(a, b); });
    }
};

TEST(ImageOverlay, DatasetNamesAreKeptOnceByExactTextAndReportedWhenChosen) {
    QWidget host;
    auto* panel = new UI_ImageSettingsSliderWidget(&host);
    Reports reports(panel);
    for (const char* name : {"All Points - Image", "All Points - Image", "all points - image", "Tiles \xc3\xa4"})
        panel->addDataset(name);
    QComboBox* combo = panel->datasetCombo();
    ASSERT_EQ(combo->count(), 3);
    EXPECT_EQ(combo->itemText(1), "all points - image");
    combo->setCurrentIndex(2);
    EXPECT_EQ(reports.datasets, (std::vector<std::string>{"All Points - Image", "Tiles \xc3\xa4"}))
        << "the first entry added is chosen at once; names travel as UTF-8";
}

TEST(ImageOverlay, MarkerEntriesReportTheirNumbersAlsoWhileTheComboIsRefilled) {
    QWidget host;
    auto* panel = new UI_ImageSettingsSliderWidget(&host);
    Reports reports(panel);
    QComboBox* combo = panel->markerCombo();
    UI_DualSliderWidget* span = panel->markerSpanSlider();
    bool handles = true;  // what the span's page was last told
    QObject::connect(span, &UI_DualSliderWidget::qt_enable, [&handles](bool on) { handles = on; });
    std::vector<std::string> pq = {"P", "Q"}, qr = {"Q", "R"}, rs = {"R", "S"};
    panel->setMarkers(&pq);
    ASSERT_EQ(combo->count(), 5);
    EXPECT_EQ(combo->itemText(0) + "|" + combo->itemText(1) + "|" + combo->itemText(2),
              "Embedding Coordinates (HSNE)|Embedding Coordinates (tSNE)|RGB Image");

    const struct {
        const char* what;
        std::function<void()> act;
        std::vector<int> reported;
        QString shown;
        bool spanEnabled;
    } steps[] = {
        {"choose Q", [&] { combo->setCurrentIndex(4); }, {1}, "Q", true},
        {"refill with Q, R", [&] { panel->setMarkers(&qr); }, {-4, -3, 0}, "Q", true},
        {"choose RGB Image", [&] { combo->setCurrentIndex(2); }, {-1}, "RGB Image", true},
        {"choose t-SNE", [&] { combo->setCurrentIndex(1); }, {-2}, "Embedding Coordinates (tSNE)", true},
        {"choose HSNE", [&] { combo->setCurrentIndex(0); }, {-3}, "Embedding Coordinates (HSNE)", false},
        {"choose R", [&] { combo->setCurrentIndex(4); }, {1}, "R", true},
        {"refill with R, S", [&] { panel->setMarkers(&rs); }, {-4, -3, 0}, "R", true},
        {"refill without R", [&] { panel->setMarkers(&pq); }, {-4, -3}, "Embedding Coordinates (HSNE)", false},
    };
    for (const auto& s : steps) {
        reports.markers.clear();
        s.act();
        EXPECT_EQ(reports.markers, s.reported) << s.what;
        EXPECT_EQ(combo->currentText(), s.shown) << s.what;
        EXPECT_EQ(handles, s.spanEnabled) << s.what;
    }

    // The span reaches the slider without a report; the page's report goes on.
    panel->updateMarkerSliderLimits({0.0f, 10.0f}, {-5.0f, 4.0f});
    EXPECT_EQ(std::make_pair(span->lowerValue(), span->upperValue()), std::make_pair(0.0f, 4.0f));
    panel->updateMarkerSliderRanges({2.0f, 20.0f});
    EXPECT_EQ(std::make_pair(span->lowerValue(), span->upperValue()), std::make_pair(2.0f, 10.0f));
    EXPECT_TRUE(reports.spans.empty());
    span->js_valuesChanged(3.0f, 7.0f);
    EXPECT_EQ(reports.spans, (std::vector<std::pair<float, float>>{{3.0f, 7.0f}}));
}

}  // namespace
