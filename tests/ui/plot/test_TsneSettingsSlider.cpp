// The embedding view's overlay: marker entries and their indices, the value
// span slider, sigma echo, render modes, point style, and the embedding
// controls reaching the analysis through its control.
#include "OverlayTestDoubles.h"
#include "ui/PageTestSupport.h"
#include "ui/web/UI_DualSliderWidget.h"
#include "ui/web/UI_MaterialCheckBoxWidget.h"
#include "ui/base/UI_ModalDialogs.h"
#include "ui/plot/UI_TsneSettingsSliderWidget.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMap>
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
    template <typename T>
    static T* child(QWidget* panel, const QString& text) {
        for (T* w : panel->findChildren<T*>())
            if (w->property("text").toString() == text) return w;
        return nullptr;
    }
    static QSlider* sliderAfterLabel(QWidget* panel, const QString& label);

    QWidget host;
    ControlLog log;
    std::unique_ptr<TypedAnalysis> analysis;
};

// The point-style slider named by `label`; the three have distinct ranges.
QSlider* TsneOverlay::sliderAfterLabel(QWidget* panel, const QString& label) {
    const QMap<QString, QPair<int, int>> ranges = {
        {"Point Size", {50, 200}}, {"Point Opacity", {20, 100}}, {"Halo Size", {10, 50}}};
    if (!child<QLabel>(panel, label)) return nullptr;
    for (QSlider* s : panel->findChildren<QSlider*>())
        if (s->minimum() == ranges[label].first && s->maximum() == ranges[label].second) return s;
    return nullptr;
}

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
    int fromAnalysis = 0;
    for (QSpinBox* box : panel->findChildren<QSpinBox*>())
        fromAnalysis += box->value() == 500 || box->value() == 70 || box->value() == 1000;
    // Pages not shown are not children of the panel; the Advanced page holds the boxes.
    EXPECT_EQ(fromAnalysis, 0);
    panel->setMode(2);
    EXPECT_NE(child<QLabel>(panel.get(), "# Iters:"), nullptr);
    QList<int> values;
    for (QSpinBox* box : panel->findChildren<QSpinBox*>()) values.append(box->value());
    EXPECT_TRUE(values.contains(500) && values.contains(70) && values.contains(1000) && values.contains(128));
}

TEST_F(TsneOverlay, OtherAnalysisTypesLeaveTheBoxesAtZeroAndIgnoreTheButtons) {
    auto panel = makePanel(0);
    EXPECT_TRUE(log.calls.empty());
    analysis->selectMarkers({});
    panel->computeEmbeddingPressed();
    panel->restartEmbeddingPressed();
    EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());
    EXPECT_TRUE(log.calls.empty());
}

TEST_F(TsneOverlay, PointDataMarkerEntriesAndIndices) {
    KindedPoints points(MCV_DerivedData::KindPoints);
    auto panel = makePanel(1, &points);
    auto* combo = panel->findChildren<QComboBox*>().at(1);
    auto* span = panel->findChild<UI_DualSliderWidget*>();
    QSignalSpy marker(panel.get(), &UI_TsneSettingsSliderWidget::parentSetMarker);
    QSignalSpy enabled(span, &UI_DualSliderWidget::qt_enable);
    std::vector<std::string> names = {"P", "Q"};
    panel->setMarkers(&names);
    ASSERT_EQ(combo->count(), 3);
    EXPECT_EQ(combo->itemText(0), "Sample");
    EXPECT_EQ(combo->itemText(2), "Q");
    combo->setCurrentIndex(2);
    EXPECT_EQ(marker.last()[0].toInt(), 1);
    EXPECT_TRUE(enabled.last()[0].toBool());
    combo->setCurrentIndex(0);
    EXPECT_EQ(marker.last()[0].toInt(), -1);
    EXPECT_FALSE(enabled.last()[0].toBool());

    // A refill that still holds the current name keeps it.
    combo->setCurrentIndex(1);
    std::vector<std::string> more = {"X", "P", "Q"};
    panel->setMarkers(&more);
    EXPECT_EQ(combo->currentText(), "P");
    EXPECT_EQ(marker.last()[0].toInt(), 1);
    std::vector<std::string> other = {"Z"};
    panel->setMarkers(&other);
    EXPECT_EQ(combo->currentIndex(), 0);
}

TEST_F(TsneOverlay, ImageDataMarkerEntriesAndIndices) {
    KindedPoints image(MCV_DerivedData::KindImage);
    auto panel = makePanel(2, &image);
    auto* combo = panel->findChildren<QComboBox*>().at(1);
    auto* span = panel->findChild<UI_DualSliderWidget*>();
    QSignalSpy marker(panel.get(), &UI_TsneSettingsSliderWidget::parentSetMarker);
    QSignalSpy enabled(span, &UI_DualSliderWidget::qt_enable);
    std::vector<std::string> names = {"P", "Q"};
    panel->setMarkers(&names);
    EXPECT_EQ(combo->itemText(0), "Coordinates");
    EXPECT_EQ(combo->itemText(1), "Image RGB");
    EXPECT_EQ(marker[0][0].toInt(), -2);  // the first entry became current
    marker.clear();
    panel->setMarkers(&names);
    EXPECT_EQ(marker[0][0].toInt(), -3);  // the cleared combo
    combo->setCurrentIndex(1);
    EXPECT_EQ(marker.last()[0].toInt(), -1);
    EXPECT_FALSE(enabled.last()[0].toBool());
    combo->setCurrentIndex(2);
    EXPECT_EQ(marker.last()[0].toInt(), 0);
    EXPECT_TRUE(enabled.last()[0].toBool());
    combo->setCurrentIndex(0);
    EXPECT_EQ(marker.last()[0].toInt(), -2);
}

TEST_F(TsneOverlay, OtherDataKindsMapMarkersWithoutOffset) {
    KindedPoints clusters(MCV_DerivedData::KindClusters);
    auto panel = makePanel(1, &clusters);
    auto* combo = panel->findChildren<QComboBox*>().at(1);
    QSignalSpy marker(panel.get(), &UI_TsneSettingsSliderWidget::parentSetMarker);
    std::vector<std::string> names = {"P", "Q"};
    panel->setMarkers(&names);
    EXPECT_EQ(combo->itemText(0), "P");
    combo->setCurrentIndex(1);
    EXPECT_EQ(marker.last()[0].toInt(), 1);
}

TEST_F(TsneOverlay, MarkerSpanGoesToTheSliderAndBackAsASignal) {
    auto panel = makePanel(1);
    auto* span = panel->findChild<UI_DualSliderWidget*>();
    QSignalSpy out(panel.get(), &UI_TsneSettingsSliderWidget::parentSetMarkerSpan);
    panel->updateMarkerSliderLimits({-1.0f, 9.0f}, {-3.0f, 4.0f});
    EXPECT_FLOAT_EQ(span->rangeLow(), -1.0f);
    EXPECT_FLOAT_EQ(span->rangeHigh(), 9.0f);
    EXPECT_FLOAT_EQ(span->lowerValue(), -1.0f);
    EXPECT_FLOAT_EQ(span->upperValue(), 4.0f);
    panel->updateMarkerSliderRanges({2.0f, 12.0f});
    EXPECT_FLOAT_EQ(span->lowerValue(), 2.0f);
    EXPECT_FLOAT_EQ(span->upperValue(), 9.0f);
    EXPECT_EQ(out.count(), 0);
    span->js_valuesChanged(1.5f, 2.5f);
    ASSERT_EQ(out.count(), 1);
    EXPECT_FLOAT_EQ(out[0][1].toFloat(), 2.5f);
}

TEST_F(TsneOverlay, SigmaControlsFollowEachOther) {
    auto panel = makePanel(1);
    panel->setMode(1);
    QSignalSpy sigma(panel.get(), &UI_TsneSettingsSliderWidget::parentSetSigma);
    QSlider* clusteringSlider = nullptr;
    for (QSlider* s : panel->findChildren<QSlider*>())
        if (s->maximum() == 200 && s->minimum() == 1) clusteringSlider = s;
    ASSERT_NE(clusteringSlider, nullptr);
    clusteringSlider->setValue(80);
    ASSERT_EQ(sigma.count(), 4);
    for (const QList<QVariant>& args : sigma) EXPECT_FLOAT_EQ(args[0].toFloat(), 80 * 0.005f);
    panel->setMode(2);
    for (QSlider* s : panel->findChildren<QSlider*>()) EXPECT_EQ(s->value(), 80);
    for (QSpinBox* b : panel->findChildren<QSpinBox*>()) {
        if (b->maximum() == 200) {
            EXPECT_EQ(b->value(), 80);
        }
    }
}

TEST_F(TsneOverlay, ModesShowOnePageAndReportRenderModes) {
    auto panel = makePanel(1);
    QSignalSpy mode(panel.get(), &UI_TsneSettingsSliderWidget::parentSetMode);
    QSignalSpy advanced(panel.get(), &UI_TsneSettingsSliderWidget::parentSetAdvancedMode);
    auto* modes = panel->findChildren<QComboBox*>().at(0);
    EXPECT_EQ(modes->itemText(0), "Single-Cell");
    EXPECT_EQ(modes->itemText(1), "Clustering");
    EXPECT_EQ(modes->itemText(2), "Advanced");

    modes->setCurrentIndex(2);
    QRadioButton* density = child<QRadioButton>(panel.get(), "Raw Density");
    ASSERT_NE(density, nullptr);
    EXPECT_EQ(child<QLabel>(panel.get(), "Point Size"), nullptr);  // Single-Cell page left
    QTest::mouseClick(density, Qt::LeftButton);
    EXPECT_EQ(mode.last()[0].toInt(), 1);
    EXPECT_EQ(advanced.last()[0].toInt(), 2);

    modes->setCurrentIndex(0);
    EXPECT_EQ(mode.last()[0].toInt(), 0);
    EXPECT_EQ(advanced.last()[0].toInt(), -1);
    EXPECT_NE(child<QLabel>(panel.get(), "Point Size"), nullptr);

    mode.clear();
    advanced.clear();
    modes->setCurrentIndex(2);  // back to Advanced: the stored choice is reported
    EXPECT_EQ(mode.last()[0].toInt(), 1);
    EXPECT_EQ(advanced.last()[0].toInt(), 2);
    modes->setCurrentIndex(1);
    EXPECT_EQ(mode.last()[0].toInt(), 1);
    EXPECT_EQ(advanced.last()[0].toInt(), -1);
    EXPECT_NE(child<QPushButton>(panel.get(), "Cluster"), nullptr);
    panel->setMode(7);  // unknown: nothing
    EXPECT_NE(child<QPushButton>(panel.get(), "Cluster"), nullptr);
}

TEST_F(TsneOverlay, PointStyleSlidersScaleTheirValues) {
    auto panel = makePanel(1);
    QSignalSpy size(panel.get(), &UI_TsneSettingsSliderWidget::parentSetpointSize);
    QSignalSpy opacity(panel.get(), &UI_TsneSettingsSliderWidget::parentSetpointOpacity);
    QSignalSpy halo(panel.get(), &UI_TsneSettingsSliderWidget::parentSetpointHaloSize);
    QSlider* s = sliderAfterLabel(panel.get(), "Point Size");
    QSlider* o = sliderAfterLabel(panel.get(), "Point Opacity");
    QSlider* h = sliderAfterLabel(panel.get(), "Halo Size");
    ASSERT_TRUE(s && o && h);
    EXPECT_EQ(s->value(), 100);
    EXPECT_EQ(o->value(), 60);
    EXPECT_EQ(h->value(), 20);
    s->setValue(50);
    s->setValue(200);
    o->setValue(20);
    h->setValue(50);
    EXPECT_FLOAT_EQ(size[0][0].toFloat(), 0.005f);
    EXPECT_FLOAT_EQ(size[1][0].toFloat(), 0.02f);
    EXPECT_FLOAT_EQ(opacity[0][0].toFloat(), 0.2f);
    EXPECT_FLOAT_EQ(halo[0][0].toFloat(), 0.5f);
    QSignalSpy saturation(panel.get(), &UI_TsneSettingsSliderWidget::parentSetSaturation);
    panel->saturationChanged(4);
    EXPECT_FLOAT_EQ(saturation[0][0].toFloat(), 0.00025f);
}

TEST_F(TsneOverlay, SwitchesOnThePagesReportTheirState) {
    auto panel = makePanel(3);
    host.show();
    panel->show();
    QList<UI_MaterialCheckBoxWidget*> switches = panel->findChildren<UI_MaterialCheckBoxWidget*>();
    QStringList labels;
    for (auto* w : switches) labels << w->findChild<QLabel*>()->text();
    EXPECT_TRUE(labels.contains(" Darkmode") && labels.contains(" Record") && labels.contains(" Greedy Scale"));
    UI_MaterialCheckBoxWidget* dark = nullptr;
    for (auto* w : switches)
        if (w->findChild<QLabel*>()->text() == " Darkmode") dark = w;
    ASSERT_TRUE(pagetest::waitForPage(pagetest::webViewOf(dark)));
    QSignalSpy darkMode(panel.get(), &UI_TsneSettingsSliderWidget::parentSetDarkMode);
    QTest::mouseClick(pagetest::webViewOf(dark), Qt::LeftButton, Qt::NoModifier, QPoint(18, 12));
    ASSERT_EQ(darkMode.count(), 1);
    EXPECT_TRUE(darkMode[0][0].toBool());

    QSignalSpy record(panel.get(), &UI_TsneSettingsSliderWidget::parentSetRecording);
    QSignalSpy greedy(panel.get(), &UI_TsneSettingsSliderWidget::parentSetGreedyScaleMode);
    for (auto* w : switches) {
        const QString text = w->findChild<QLabel*>()->text();
        if (text == " Record" || text == " Greedy Scale") w->js_clicked();
    }
    EXPECT_TRUE(record.last()[0].toBool());
    EXPECT_TRUE(greedy.last()[0].toBool());

    panel->setMode(1);
    QSignalSpy otf(panel.get(), &UI_TsneSettingsSliderWidget::computeMSotfSignal);
    QSignalSpy once(panel.get(), &UI_TsneSettingsSliderWidget::computeMSOnceSignal);
    for (auto* w : panel->findChildren<UI_MaterialCheckBoxWidget*>())
        if (w->findChild<QLabel*>()->text() == " Continously") w->js_clicked();
    ASSERT_EQ(otf.count(), 1);
    EXPECT_EQ(otf[0][0].toInt(), 1);
    QPushButton* cluster = child<QPushButton>(panel.get(), "Cluster");
    EXPECT_FALSE(cluster->isEnabled());
    panel->setEmbeddingState(true);
    QTest::mouseClick(cluster, Qt::LeftButton);
    EXPECT_EQ(once.count(), 1);
}

TEST_F(TsneOverlay, TypeOneHasNoGreedySwitch) {
    auto panel = makePanel(1);
    for (auto* w : panel->findChildren<UI_MaterialCheckBoxWidget*>())
        EXPECT_NE(w->findChild<QLabel*>()->text(), " Greedy Scale");
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

    const QImage pause = QIcon(":/Icons/pauseBt").pixmap(35, 35).toImage();
    const QImage run = QIcon(":/Icons/runBt").pixmap(35, 35).toImage();
    ASSERT_FALSE(pause.isNull());
    ASSERT_NE(pause, run);
    panel->setEmbeddingState(true);
    QPushButton* runButton = iconButtons[0]->icon().pixmap(35, 35).toImage() == pause ? iconButtons[0] : iconButtons[1];
    EXPECT_EQ(runButton->icon().pixmap(35, 35).toImage(), pause);
    for (QPushButton* b : iconButtons) EXPECT_TRUE(b->isEnabled());
    panel->setEmbeddingState(false);
    EXPECT_EQ(runButton->icon().pixmap(35, 35).toImage(), run);
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
    EXPECT_EQ(messages[0].text, "No markers selected.\nSelect at least one marker to compute the tSNE.");
    EXPECT_EQ(started.count(), 0);
    EXPECT_TRUE(log.calls.empty());
}

TEST_F(TsneOverlay, EmbeddingBoxesAndGridSizeReachTheirTargets) {
    auto panel = makePanel(3);
    panel->setMode(2);
    log.calls.clear();
    QSignalSpy grid(panel.get(), &UI_TsneSettingsSliderWidget::msGridSizeChangedSignal);
    for (QSpinBox* box : panel->findChildren<QSpinBox*>()) {
        if (box->maximum() == 99999)
            box->setValue(321);
        else if (box->maximum() == 1024)
            box->setValue(256);
    }
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
    QList<QWidget*> direct = panel->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    QList<int> widths;
    for (QWidget* w : direct)
        if (w->minimumWidth() == w->maximumWidth()) widths << w->width();
    EXPECT_TRUE(widths.contains(800)) << widths.size();
    EXPECT_TRUE(widths.contains(100));
}

}  // namespace
