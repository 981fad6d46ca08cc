// The embedding view's overlay: marker entries and their indices, the value
// span slider, sigma echo, render modes, point style, and the embedding
// controls reaching the analysis through its control.
#include "OverlayTestDoubles.h"
#include "support/WidgetFinders.h"
#include "ui/PageTestSupport.h"
#include "ui/base/UI_ModalDialogs.h"
#include "ui/plot/UI_TsneSettingsSliderWidget.h"
#include "ui/web/UI_DualSliderWidget.h"
#include "ui/web/UI_MaterialCheckBoxWidget.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace {

class TsneOverlay : public ::testing::Test {
protected:
    void SetUp() override {
        for (int type : {1, 2, 3})
            UI_EmbeddingControl::registerType(
                type, [this](MCV_Analysis*) { return std::make_unique<RecordingControl>(&log); });
        UI_ModalDialogs::reset();
        UI_ModalDialogs::setScripted(true);
    }
    void TearDown() override {
        for (int type : {1, 2, 3}) UI_EmbeddingControl::registerType(type, nullptr);
        UI_ModalDialogs::setScripted(false);
        UI_ModalDialogs::reset();
    }
    std::unique_ptr<UI_TsneSettingsSliderWidget> makePanel(int type, MCV_DerivedDataPoints* selection = nullptr) {
        analysis = std::make_unique<TypedAnalysis>(type);
        analysis->selectMarkers({0, 1});
        analysis->setActiveDataSelection(selection);
        auto panel = std::make_unique<UI_TsneSettingsSliderWidget>(analysis.get(), &host);
        panel->resize(1000, 110);
        return panel;
    }
    // The switch whose label reads `text`, or null.
    static UI_MaterialCheckBoxWidget* switchLabelled(QWidget* panel, const QString& text) {
        QLabel* label = childWithText<QLabel>(panel, text);
        return label ? qobject_cast<UI_MaterialCheckBoxWidget*>(label->parentWidget()) : nullptr;
    }
    static QSpinBox* boxWithMaximum(QWidget* panel, int maximum) {
        for (QSpinBox* b : panel->findChildren<QSpinBox*>())
            if (b->maximum() == maximum) return b;
        return nullptr;
    }

    QWidget host;
    ControlLog log;
    std::unique_ptr<TypedAnalysis> analysis;
};

TEST_F(TsneOverlay, WithoutAnalysisItIsTheBarePanel) {
    UI_TsneSettingsSliderWidget bare(nullptr, &host);
    EXPECT_TRUE(bare.findChildren<QComboBox*>().isEmpty());
    bare.resize(500, 110);  // must not touch the missing controls
    EXPECT_EQ(bare.findChildren<QPushButton*>().size(), 3);
}

TEST_F(TsneOverlay, FillsTheEmbeddingBoxesFromTheAnalysisAndWritesClampedValuesBack) {
    log.exaggerationIter = 900;
    auto panel = makePanel(1);
    EXPECT_EQ(log.calls, (std::vector<std::string>{"setExaggerationIter 500", "setExpDecay 70", "setIterations 1000"}));
    // Pages not shown are not children of the panel; the Advanced page holds the boxes.
    EXPECT_EQ(boxWithMaximum(panel.get(), 99999), nullptr);
    panel->setMode(2);
    QList<int> values;
    for (QSpinBox* box : panel->findChildren<QSpinBox*>()) values.append(box->value());
    for (int v : {500, 70, 1000, 128}) EXPECT_TRUE(values.contains(v)) << v;
}

TEST_F(TsneOverlay, OtherAnalysisTypesLeaveTheControlAloneAndIgnoreTheButtons) {
    auto panel = makePanel(0);
    analysis->selectMarkers({});
    panel->computeEmbeddingPressed();
    panel->restartEmbeddingPressed();
    EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());
    EXPECT_TRUE(log.calls.empty());
}

struct MarkerCase {
    const char* name;
    int kind;
    QStringList firstEntries;
    // (entry, marker reported, span slider enabled)
    std::vector<std::tuple<int, int, bool>> choices;
};

class OverlayMarkers : public TsneOverlay, public ::testing::WithParamInterface<MarkerCase> {};

TEST_P(OverlayMarkers, EntriesMapToMarkerIndicesAndEnableTheSpanForMarkersOnly) {
    KindedPoints points(GetParam().kind);
    auto panel = makePanel(1, &points);
    auto* combo = panel->findChildren<QComboBox*>().at(1);
    QSignalSpy marker(panel.get(), &UI_TsneSettingsSliderWidget::parentSetMarker);
    QSignalSpy enabled(panel->findChild<UI_DualSliderWidget*>(), &UI_DualSliderWidget::qt_enable);
    std::vector<std::string> names = {"P", "Q"};
    panel->setMarkers(&names);
    for (int i = 0; i < GetParam().firstEntries.size(); ++i) EXPECT_EQ(combo->itemText(i), GetParam().firstEntries[i]);
    for (auto [entry, index, spanEnabled] : GetParam().choices) {
        combo->setCurrentIndex(entry);
        EXPECT_EQ(marker.last()[0].toInt(), index) << entry;
        ASSERT_FALSE(enabled.isEmpty());
        EXPECT_EQ(enabled.last()[0].toBool(), spanEnabled) << entry;
    }
}

INSTANTIATE_TEST_SUITE_P(
    TsneOverlay, OverlayMarkers,
    ::testing::Values(
        MarkerCase{"Points", MCV_DerivedData::KindPoints, {"Sample", "P", "Q"}, {{2, 1, true}, {0, -1, false}}},
        MarkerCase{"Image",
                   MCV_DerivedData::KindImage,
                   {"Coordinates", "Image RGB", "P"},
                   {{1, -1, false}, {2, 0, true}, {0, -2, false}}},
        MarkerCase{"Clusters", MCV_DerivedData::KindClusters, {"P", "Q"}, {{1, 1, true}, {0, 0, true}}}),
    [](const testing::TestParamInfo<MarkerCase>& p) { return std::string(p.param.name); });

TEST_F(TsneOverlay, MarkerRefillKeepsTheCurrentNameWhileItIsThere) {
    KindedPoints points(MCV_DerivedData::KindPoints);
    auto panel = makePanel(1, &points);
    auto* combo = panel->findChildren<QComboBox*>().at(1);
    QSignalSpy marker(panel.get(), &UI_TsneSettingsSliderWidget::parentSetMarker);
    std::vector<std::string> names = {"P", "Q"}, more = {"X", "P", "Q"}, other = {"Z"};
    panel->setMarkers(&names);
    combo->setCurrentIndex(1);
    panel->setMarkers(&more);
    EXPECT_EQ(combo->currentText(), "P");
    EXPECT_EQ(marker.last()[0].toInt(), 1);
    panel->setMarkers(&other);
    EXPECT_EQ(combo->currentIndex(), 0);
}

TEST_F(TsneOverlay, MarkerSpanGoesToTheSliderAndBackAsASignal) {
    auto panel = makePanel(1);
    auto* span = panel->findChild<UI_DualSliderWidget*>();
    QSignalSpy out(panel.get(), &UI_TsneSettingsSliderWidget::parentSetMarkerSpan);
    panel->updateMarkerSliderLimits({-1.0f, 9.0f}, {-3.0f, 4.0f});
    EXPECT_EQ(std::vector<float>({span->rangeLow(), span->rangeHigh(), span->lowerValue(), span->upperValue()}),
              std::vector<float>({-1.0f, 9.0f, -1.0f, 4.0f}));
    panel->updateMarkerSliderRanges({2.0f, 12.0f});
    EXPECT_EQ(std::make_pair(span->lowerValue(), span->upperValue()), std::make_pair(2.0f, 9.0f));
    EXPECT_EQ(out.count(), 0);
    span->js_valuesChanged(1.5f, 2.5f);
    ASSERT_EQ(out.count(), 1);
    EXPECT_FLOAT_EQ(out[0][1].toFloat(), 2.5f);
}

TEST_F(TsneOverlay, SigmaControlsFollowEachOther) {
    auto panel = makePanel(1);
    panel->setMode(1);
    QSignalSpy sigma(panel.get(), &UI_TsneSettingsSliderWidget::parentSetSigma);
    QSlider* clustering = nullptr;
    for (QSlider* s : panel->findChildren<QSlider*>())
        if (s->maximum() == 200 && s->minimum() == 1) clustering = s;
    ASSERT_NE(clustering, nullptr);
    clustering->setValue(80);
    ASSERT_EQ(sigma.count(), 4);
    for (const QList<QVariant>& args : sigma) EXPECT_FLOAT_EQ(args[0].toFloat(), 80 * 0.005f);
    panel->setMode(2);
    for (QSlider* s : panel->findChildren<QSlider*>()) EXPECT_EQ(s->value(), 80);
    EXPECT_EQ(boxWithMaximum(panel.get(), 200)->value(), 80);
}

TEST_F(TsneOverlay, ModesShowOnePageAndReportRenderModes) {
    auto panel = makePanel(1);
    QSignalSpy mode(panel.get(), &UI_TsneSettingsSliderWidget::parentSetMode);
    QSignalSpy advanced(panel.get(), &UI_TsneSettingsSliderWidget::parentSetAdvancedMode);
    auto* modes = panel->findChildren<QComboBox*>().at(0);
    modes->setCurrentIndex(2);
    QRadioButton* density = childWithText<QRadioButton>(panel.get(), "Raw Density");
    ASSERT_NE(density, nullptr);
    EXPECT_EQ(childWithText<QLabel>(panel.get(), "Point Size"), nullptr) << "the Single-Cell page is left";
    QTest::mouseClick(density, Qt::LeftButton);
    // (page, render mode, advanced mode): back to Advanced reports the stored choice.
    const std::pair<int, std::pair<int, int>> steps[] = {{2, {1, 2}}, {0, {0, -1}}, {2, {1, 2}}, {1, {1, -1}}};
    for (auto [page, reported] : steps) {
        modes->setCurrentIndex(page);
        EXPECT_EQ(std::make_pair(mode.last()[0].toInt(), advanced.last()[0].toInt()), reported) << page;
    }
    EXPECT_NE(childWithText<QPushButton>(panel.get(), "Cluster"), nullptr);
    panel->setMode(7);  // unknown: nothing
    EXPECT_NE(childWithText<QPushButton>(panel.get(), "Cluster"), nullptr);
}

TEST_F(TsneOverlay, PointStyleSlidersScaleTheirValues) {
    auto panel = makePanel(1);
    using Signal = void (UI_TsneSettingsSliderWidget::*)(float);
    struct Case {
        int minimum, maximum, set;
        Signal signal;
        float reported;
    };
    // Told apart by their ranges.
    const Case cases[] = {{50, 200, 50, &UI_TsneSettingsSliderWidget::parentSetpointSize, 0.005f},
                          {50, 200, 200, &UI_TsneSettingsSliderWidget::parentSetpointSize, 0.02f},
                          {20, 100, 20, &UI_TsneSettingsSliderWidget::parentSetpointOpacity, 0.2f},
                          {10, 50, 50, &UI_TsneSettingsSliderWidget::parentSetpointHaloSize, 0.5f}};
    for (const Case& c : cases) {
        QSlider* slider = nullptr;
        for (QSlider* s : panel->findChildren<QSlider*>())
            if (s->minimum() == c.minimum && s->maximum() == c.maximum) slider = s;
        ASSERT_NE(slider, nullptr) << c.minimum;
        QSignalSpy reported(panel.get(), c.signal);
        slider->setValue(c.set);
        ASSERT_EQ(reported.count(), 1) << c.set;
        EXPECT_FLOAT_EQ(reported[0][0].toFloat(), c.reported);
    }
    QSignalSpy saturation(panel.get(), &UI_TsneSettingsSliderWidget::parentSetSaturation);
    panel->saturationChanged(4);
    EXPECT_FLOAT_EQ(saturation[0][0].toFloat(), 0.00025f);
}

TEST_F(TsneOverlay, SwitchesOnThePagesReportTheirState) {
    EXPECT_EQ(switchLabelled(makePanel(1).get(), " Greedy Scale"), nullptr) << "type 1 has no greedy scaling";
    auto panel = makePanel(3);
    host.show();
    panel->show();
    UI_MaterialCheckBoxWidget* dark = switchLabelled(panel.get(), " Darkmode");
    ASSERT_NE(dark, nullptr);
    ASSERT_TRUE(pagetest::waitForPage(pagetest::webViewOf(dark)));
    QSignalSpy darkMode(panel.get(), &UI_TsneSettingsSliderWidget::parentSetDarkMode);
    QTest::mouseClick(pagetest::webViewOf(dark), Qt::LeftButton, Qt::NoModifier, QPoint(18, 12));
    ASSERT_EQ(darkMode.count(), 1);
    EXPECT_TRUE(darkMode[0][0].toBool());

    QSignalSpy record(panel.get(), &UI_TsneSettingsSliderWidget::parentSetRecording);
    QSignalSpy greedy(panel.get(), &UI_TsneSettingsSliderWidget::parentSetGreedyScaleMode);
    switchLabelled(panel.get(), " Record")->js_clicked();
    switchLabelled(panel.get(), " Greedy Scale")->js_clicked();
    EXPECT_TRUE(record.last()[0].toBool());
    EXPECT_TRUE(greedy.last()[0].toBool());

    panel->setMode(1);
    QSignalSpy otf(panel.get(), &UI_TsneSettingsSliderWidget::computeMSotfSignal);
    QSignalSpy once(panel.get(), &UI_TsneSettingsSliderWidget::computeMSOnceSignal);
    switchLabelled(panel.get(), " Continously")->js_clicked();
    ASSERT_EQ(otf.count(), 1);
    EXPECT_EQ(otf[0][0].toInt(), 1);
    QPushButton* cluster = childWithText<QPushButton>(panel.get(), "Cluster");
    EXPECT_FALSE(cluster->isEnabled());
    panel->setEmbeddingState(true);
    QTest::mouseClick(cluster, Qt::LeftButton);
    EXPECT_EQ(once.count(), 1);
}

TEST_F(TsneOverlay, RunPausesOrContinuesAndRestartStartsAnew) {
    auto panel = makePanel(2);
    log.calls.clear();
    QList<QPushButton*> iconButtons;
    for (QPushButton* b : panel->findChildren<QPushButton*>())
        if (b->size() == QSize(35, 35)) iconButtons << b;
    ASSERT_EQ(iconButtons.size(), 2);
    for (QPushButton* b : iconButtons) EXPECT_FALSE(b->isEnabled());
    QSignalSpy started(panel.get(), &UI_TsneSettingsSliderWidget::computationStartedSignal);
    panel->computeEmbeddingPressed();
    EXPECT_EQ(started.count(), 1);
    log.running = true;
    panel->computeEmbeddingPressed();
    EXPECT_EQ(started.count(), 1);
    panel->restartEmbeddingPressed();
    EXPECT_EQ(started.count(), 2);
    EXPECT_EQ(log.calls, (std::vector<std::string>{"embed", "stop", "restart"}));

    auto image = [](const QIcon& icon) { return icon.pixmap(35, 35).toImage(); };
    const QImage pause = image(QIcon(":/Icons/pauseBt")), run = image(QIcon(":/Icons/runBt"));
    ASSERT_NE(pause, run);
    panel->setEmbeddingState(true);
    QPushButton* runButton = image(iconButtons[0]->icon()) == pause ? iconButtons[0] : iconButtons[1];
    EXPECT_EQ(image(runButton->icon()), pause);
    for (QPushButton* b : iconButtons) EXPECT_TRUE(b->isEnabled());
    panel->setEmbeddingState(false);
    EXPECT_EQ(image(runButton->icon()), run);
    for (QPushButton* b : iconButtons) EXPECT_TRUE(b->isEnabled());
}

TEST_F(TsneOverlay, NoSelectedMarkerWarnsAndTouchesNothing) {
    auto panel = makePanel(1);
    log.calls.clear();
    analysis->selectMarkers({});
    QSignalSpy started(panel.get(), &UI_TsneSettingsSliderWidget::computationStartedSignal);
    panel->computeEmbeddingPressed();
    panel->restartEmbeddingPressed();
    const auto messages = UI_ModalDialogs::takeMessages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].icon, QMessageBox::Warning);
    EXPECT_EQ(messages[0].title, "No markers selected");
    EXPECT_EQ(started.count(), 0);
    EXPECT_TRUE(log.calls.empty());
}

TEST_F(TsneOverlay, EmbeddingBoxesAndGridSizeReachTheirTargets) {
    auto panel = makePanel(3);
    panel->setMode(2);
    log.calls.clear();
    QSignalSpy grid(panel.get(), &UI_TsneSettingsSliderWidget::msGridSizeChangedSignal);
    boxWithMaximum(panel.get(), 99999)->setValue(321);
    boxWithMaximum(panel.get(), 1024)->setValue(256);
    EXPECT_EQ(log.calls, (std::vector<std::string>{"setIterations 321"}));
    ASSERT_EQ(grid.count(), 1);
    EXPECT_EQ(grid[0][0].toInt(), 256);
}

TEST_F(TsneOverlay, ResizeKeepsContentAndControlPanelProportions) {
    auto panel = makePanel(1);
    host.show();
    panel->show();
    panel->resize(1000, 110);
    QApplication::processEvents();
    QList<int> widths;
    for (QWidget* w : panel->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        if (w->minimumWidth() == w->maximumWidth()) widths << w->width();
    EXPECT_TRUE(widths.contains(800) && widths.contains(100)) << widths.size();
}

}  // namespace
