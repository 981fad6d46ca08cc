// The A-tSNE settings panel: its defaults and exact texts, the kNN back end
// and metric codes, parameters that reach the analysis at once or only at
// Compute, the "No markers selected" refusal, and the newest input set after
// a down-sampling.
#include "support/CapturedOutput.h"
#include "support/DataFixture.h"
#include "support/WidgetFinders.h"

#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "ui/base/UI_ExpanderWidget.h"
#include "ui/datapanels/UI_SelectiveDownsamplingWidget.h"
#include "ui/tsne/UI_TsneSettingsWidget.h"

#include <QCheckBox>
#include <QApplication>
#include <QComboBox>
#include <QDockWidget>
#include <QMainWindow>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>

#include <memory>

namespace {

using namespace viewtest;

QStringList items(QComboBox* combo) {
    QStringList list;
    for (int i = 0; i < combo->count(); ++i) list << combo->itemText(i);
    return list;
}

class TsneSettingsTest : public DataFixture {
protected:
    void SetUp() override {
        DataFixture::SetUp();
        tsne = std::make_unique<MCV_TsneAnalysis>();
        tsne->init(nullptr, "A-tSNE 1");
        tsne->setIterations(0);
        panel = std::make_unique<UI_TsneSettingsWidget>(nullptr, tsne.get());
    }
    void TearDown() override {
        panel.reset();
        tsne.reset();
        DataFixture::TearDown();
    }
    std::unique_ptr<MCV_TsneAnalysis> tsne;
    std::unique_ptr<UI_TsneSettingsWidget> panel;
};

TEST_F(TsneSettingsTest, DefaultsAndTheInputFollowedByTheDownsamplingDock) {
    EXPECT_EQ((QStringList{panel->libraryCombo()->currentText(), panel->metricCombo()->currentText()}),
              (QStringList{"Annoy", "Euclidean"}));
    EXPECT_TRUE(panel->normalizeBox()->isChecked());
    EXPECT_EQ(panel->perplexityBox()->value(), 30);
    EXPECT_FALSE(panel->gpuChosen());
    EXPECT_TRUE(panel->advancedSection()->isCollapsed());
    EXPECT_EQ(items(panel->inputCombo()), QStringList({"All Points"}));
    EXPECT_EQ(panel->chosenInput(), all);
    EXPECT_EQ(panel->downsampling()->activeInput(), all);
    // A panel without analysis has no controls.
    EXPECT_EQ(UI_TsneSettingsWidget(nullptr, nullptr).inputCombo(), nullptr);
}

TEST_F(TsneSettingsTest, EachBackEndOffersItsMetricsWithTheirCodes) {
    struct Case {
        const char* library;
        int libraryCode;
        QStringList metrics;
        std::vector<int> codes;
    };
    const Case cases[] = {
        {"HNSW", 0, {"Euclidean", "Inner Product"}, {0, 2}},
        {"Flann", -1, {"Euclidean"}, {0}},
        {"Annoy", 1, {"Euclidean", "Cosine", "Manhattan", "Dot"}, {0, 1, 3, 5}},
    };
    for (const Case& c : cases) {
        panel->libraryCombo()->setCurrentText(c.library);
        EXPECT_EQ(panel->knnLibrary(), c.libraryCode) << c.library;
        EXPECT_EQ(items(panel->metricCombo()), c.metrics) << c.library;
        EXPECT_EQ(panel->knnMetric(), 0) << c.library << ": a new list starts at Euclidean";
        for (int m = 0; m < c.metrics.size(); ++m) {
            panel->metricCombo()->setCurrentIndex(m);
            EXPECT_EQ(panel->knnMetric(), c.codes[size_t(m)]) << c.library << " " << c.metrics[m].toStdString();
        }
    }
}

TEST_F(TsneSettingsTest, NormalizeAndPerplexityReachTheAnalysisAtOnce) {
    panel->normalizeBox()->setChecked(false);
    EXPECT_TRUE(tsne->skipNormalization());
    panel->normalizeBox()->setChecked(true);
    EXPECT_FALSE(tsne->skipNormalization());
    panel->perplexityBox()->setValue(12);
    EXPECT_EQ(tsne->perplexity(), 12);
    // Perplexity 0 is refused: the minimum is 1.
    panel->perplexityBox()->setValue(0);
    EXPECT_EQ(panel->perplexityBox()->value(), 1);
    EXPECT_EQ(tsne->perplexity(), 1);
    // The GPU flag waits for Compute.
    panel->gpuBox()->setChecked(true);
    EXPECT_TRUE(panel->gpuChosen());
    EXPECT_FALSE(tsne->useGPU());
}

TEST_F(TsneSettingsTest, ComputeWithoutMarkersWarnsAndTouchesNothing) {
    for (unsigned m : std::vector<unsigned>(*tsne->selectedMarkers())) tsne->setMarkerState(static_cast<int>(m), false);
    panel->libraryCombo()->setCurrentText("HNSW");
    QTest::mousePress(panel->computeTsneButton(), Qt::LeftButton);
    QTest::mouseRelease(panel->computeTsneButton(), Qt::LeftButton);
    const auto messages = UI_ModalDialogs::takeMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].icon, QMessageBox::Warning);
    EXPECT_EQ(messages[0].text, "No markers selected.\nSelect at least one marker to compute the tSNE.");
    EXPECT_EQ(tsne->dataSelection(), nullptr);
    EXPECT_EQ(tsne->knnLibrary(), 1);
    EXPECT_EQ(tsne->numDataPoints(), 0);
}

TEST_F(TsneSettingsTest, ComputeOnPressHandsOverTheChoicesAndRuns) {
    panel->libraryCombo()->setCurrentText("HNSW");
    panel->metricCombo()->setCurrentText("Inner Product");
    quietly([&] { QTest::mousePress(panel->computeTsneButton(), Qt::LeftButton); });  // the press alone starts it
    EXPECT_EQ(tsne->dataSelection(), all);
    EXPECT_EQ(tsne->knnLibrary(), 0);
    EXPECT_EQ(tsne->knnMetric(), 2);
    EXPECT_FALSE(tsne->useGPU());
    EXPECT_EQ(tsne->numDataPoints(), 32);
    QTest::mouseRelease(panel->computeTsneButton(), Qt::LeftButton);
}

TEST_F(TsneSettingsTest, DownsamplingAddsTheNewestInputEverywhere) {
    UI_TsneSettingsWidget other(nullptr, tsne.get());
    QSignalSpy announced(panel.get(), &UI_TsneSettingsWidget::dataDownsampled);
    // What the shell does with the announcement.
    QObject::connect(panel.get(), &UI_TsneSettingsWidget::dataDownsampled, [&]() {
        panel->newDataAdded();
        other.newDataAdded();
    });
    panel->downsampling()->countsTable()->item(0, 2)->setText("5");
    childWithText<QPushButton>(panel->downsampling(), "Downsample")->click();
    EXPECT_EQ(announced.count(), 1);
    EXPECT_EQ(panel->inputCombo()->currentText(), "All Points-downsampled");
    EXPECT_EQ(other.inputCombo()->currentText(), "All Points-downsampled");
    ASSERT_NE(panel->chosenInput(), nullptr);
    EXPECT_EQ(panel->chosenInput()->name(), "All Points-downsampled");
    EXPECT_EQ(panel->downsampling()->activeInput(), panel->chosenInput());
}

// The down-sampling dock goes to the window the panel lives in, also while
// another window (a floating dock, another program's window) has the focus.
TEST_F(TsneSettingsTest, DownsamplingOpensInItsOwnWindowWhateverHasTheFocus) {
    QMainWindow window;
    auto* dock = new QDockWidget(&window);
    dock->setWidget(panel.release());
    window.addDockWidget(Qt::LeftDockWidgetArea, dock);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QWidget elsewhere;
    elsewhere.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&elsewhere));
    QApplication::setActiveWindow(&elsewhere);

    auto* settings = qobject_cast<UI_TsneSettingsWidget*>(dock->widget());
    childWithText<QPushButton>(settings, "Downsampling ...")->click();
    EXPECT_EQ(settings->downsampling()->parentWidget(), &window);
    EXPECT_TRUE(settings->downsampling()->isVisible());
}

}  // namespace
