// The A-tSNE settings panel: its defaults and exact texts, the kNN back end
// and metric codes, parameters that reach the analysis at once or only at
// Compute, the "No markers selected" refusal, and the newest input set after
// a down-sampling.
#include "support/DataFixture.h"

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

TEST_F(TsneSettingsTest, DefaultsAndTexts) {
    EXPECT_EQ(panel->libraryCombo()->currentText(), "Annoy");
    EXPECT_EQ(items(panel->libraryCombo()), QStringList({"Flann", "HNSW", "Annoy"}));
    EXPECT_EQ(items(panel->metricCombo()), QStringList({"Euclidean", "Manhattan", "Cosine", "Dot"}));
    EXPECT_EQ(panel->metricCombo()->currentText(), "Euclidean");
    EXPECT_TRUE(panel->normalizeBox()->isChecked());
    EXPECT_EQ(panel->perplexityBox()->value(), 30);
    EXPECT_FALSE(panel->gpuBox()->isChecked());
    EXPECT_FALSE(panel->gpuChosen());
    EXPECT_TRUE(panel->advancedSection()->isCollapsed());
    EXPECT_EQ(panel->computeTsneButton()->text(), " Compute tSNE ");
    EXPECT_EQ(items(panel->inputCombo()), QStringList({"All Points"}));
    EXPECT_EQ(panel->chosenInput(), all);
    int expanded = 0;
    for (UI_ExpanderWidget* e : panel->findChildren<UI_ExpanderWidget*>()) expanded += !e->isCollapsed();
    EXPECT_EQ(expanded, 3);
    // The down-sampling dock follows the chosen input.
    EXPECT_EQ(panel->downsampling()->activeInput(), all);

    // A panel without analysis has no controls.
    UI_TsneSettingsWidget bare(nullptr, nullptr);
    EXPECT_EQ(bare.inputCombo(), nullptr);
}

TEST_F(TsneSettingsTest, BackEndAndMetricCodes) {
    panel->metricCombo()->setCurrentText("Cosine");
    EXPECT_EQ(panel->knnMetric(), 1);
    panel->metricCombo()->setCurrentText("Dot");
    EXPECT_EQ(panel->knnMetric(), 5);
    panel->libraryCombo()->setCurrentText("HNSW");
    EXPECT_EQ(panel->knnLibrary(), 0);
    EXPECT_EQ(items(panel->metricCombo()), QStringList({"Euclidean", "Inner Product"}));
    EXPECT_EQ(panel->knnMetric(), 0);
    panel->metricCombo()->setCurrentText("Inner Product");
    EXPECT_EQ(panel->knnMetric(), 2);
    panel->libraryCombo()->setCurrentText("Flann");
    EXPECT_EQ(panel->knnLibrary(), -1);
    EXPECT_EQ(items(panel->metricCombo()), QStringList({"Euclidean"}));
    panel->libraryCombo()->setCurrentText("Annoy");
    EXPECT_EQ(items(panel->metricCombo()), QStringList({"Euclidean", "Cosine", "Manhattan", "Dot"}));
    EXPECT_EQ(panel->knnMetric(), 0);
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
    EXPECT_EQ(messages[0].title, "No markers selected");
    EXPECT_EQ(messages[0].text, "No markers selected.\nSelect at least one marker to compute the tSNE.");
    EXPECT_EQ(tsne->dataSelection(), nullptr);
    EXPECT_EQ(tsne->knnLibrary(), 1);
    EXPECT_EQ(tsne->numDataPoints(), 0);
}

TEST_F(TsneSettingsTest, ComputeOnPressHandsOverTheChoicesAndRuns) {
    panel->libraryCombo()->setCurrentText("HNSW");
    panel->metricCombo()->setCurrentText("Inner Product");
    testing::internal::CaptureStdout();
    // The press alone starts it.
    QTest::mousePress(panel->computeTsneButton(), Qt::LeftButton);
    testing::internal::GetCapturedStdout();
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
    for (QPushButton* b : panel->downsampling()->findChildren<QPushButton*>())
        if (b->text() == "Downsample") b->click();
    EXPECT_EQ(announced.count(), 1);
    EXPECT_EQ(panel->inputCombo()->currentText(), "All Points-downsampled");
    EXPECT_EQ(other.inputCombo()->currentText(), "All Points-downsampled");
    ASSERT_NE(panel->chosenInput(), nullptr);
    EXPECT_EQ(panel->chosenInput()->name(), "All Points-downsampled");
    EXPECT_EQ(panel->downsampling()->activeInput(), panel->chosenInput());
}

}  // namespace

namespace {

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
    for (QPushButton* b : settings->findChildren<QPushButton*>())
        if (b->text() == "Downsampling ...") b->click();
    EXPECT_EQ(settings->downsampling()->parentWidget(), &window);
    EXPECT_TRUE(settings->downsampling()->isVisible());
}

}  // namespace
