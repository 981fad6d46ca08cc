// Which point set an analysis computes on while other data arrives, through
// the real window as a user goes: a new point set becomes every panel's input,
// anything else an analysis adds (its tree, cluster sets, output columns)
// leaves the inputs and the scales suggested from them alone. A down-sampling
// to no points says so in the status bar.
#include "ShellTestSupport.h"
#include "support/SeededUniform.h"
#include "support/CapturedOutput.h"
#include "support/WidgetFinders.h"

#include "analysis/applicationSurfaceFormat.h"
#include "analysis/fc/MCV_HsneFCAnalysis.h"
#include "analysis/spade/MCV_SpadeAnalysis.h"
#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "data/MCV_DerivedDataPoints.h"
#include "ui/datapanels/UI_SelectiveDownsamplingWidget.h"
#include "ui/fc/UI_HsneFCSettingsWidget.h"
#include "ui/hsne/UI_HsneSettingsWidget.h"
#include "ui/spade/UI_SpadeSettingsWidget.h"
#include "ui/spade/UI_SpadeWidget.h"
#include "ui/tsne/UI_TsneSettingsWidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableWidget>

#include <cstdint>
#include <functional>

namespace {

constexpr int kFiles = 3;
constexpr int kEvents = 800;

class AnalysisInputs : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        showPlotWindow({1400, 1000});
        QStringList files;
        for (int f = 0; f < kFiles; ++f) files << blobs(QString("sample_%1.fcs").arg(f + 1), f);
        open(files);
        ASSERT_EQ(MCV_CytometryData::Instance()->numFiles(), kFiles);
    }

    // kEvents events around four centres over four markers, the same for a
    // seed on every run.
    QString blobs(const QString& name, int seed) {
        SeededUniform next(seed);
        std::vector<std::vector<float>> rows;
        for (int e = 0; e < kEvents; ++e) {
            const float centre = 10.0f * static_cast<float>(e % 4);
            rows.push_back({centre + next(), centre * 0.5f + next(), next() * 3.0f, centre + 2.0f * next()});
        }
        return QString::fromStdString(FcsTestFile::floats(rows).write(dir, name.toStdString()));
    }

    // A new analysis from its shortcut; its settings panel.
    template <typename Panel>
    Panel* create(const char* keys, const QString& name) {
        UI_ModalDialogs::answerText(name);
        QTest::keySequence(&w(), QKeySequence(keys));
        return qobject_cast<Panel*>(w().settingsPanels().back());
    }

    // Opens the panel's "Downsampling ..." dock and keeps `target` events of
    // every sample; returns the dock.
    UI_SelectiveDownsamplingWidget* downsample(UI_EmbeddingSettingsWidget* panel, int target) {
        QTest::mouseClick(childWithText<QPushButton>(panel, "Downsampling ..."), Qt::LeftButton);
        UI_SelectiveDownsamplingWidget* dock = panel->downsampling();
        for (int f = 0; f < kFiles; ++f) dock->countsTable()->item(f, 2)->setText(QString::number(target));
        QTest::mouseClick(childWithText<QPushButton>(dock, "Downsample"), Qt::LeftButton);
        return dock;
    }
};

TEST_F(AnalysisInputs, OnlyANewPointSetMovesTheInputsOtherNewDataLeavesThem) {
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    MCV_DerivedDataPoints* all = data->derivedDataPoints("All Points", true);
    ASSERT_EQ(all->data().size(), size_t(kFiles * kEvents));

    // ---- Ctrl+T, down-sample from its panel: the new set becomes its input ----
    auto* tsnePanel = create<UI_TsneSettingsWidget>("Ctrl+T", "T");
    ASSERT_NE(tsnePanel, nullptr);
    auto* tsne = dynamic_cast<MCV_TsneAnalysis*>(w().analyses().back());
    ASSERT_NE(tsne, nullptr);
    downsample(tsnePanel, 100);
    ASSERT_EQ(data->derivedDataPoints().back()->name(), "All Points-downsampled");
    EXPECT_EQ(tsnePanel->inputCombo()->currentText().toStdString(), "All Points-downsampled");
    tsnePanel->inputCombo()->setCurrentText("All Points");

    // ---- Ctrl+F and Ctrl+Shift+F open on "All Points"; scales set by hand ----
    auto* hsnePanel = create<UI_HsneSettingsWidget>("Ctrl+F", "H");
    auto* fcPanel = create<UI_HsneFCSettingsWidget>("Ctrl+Shift+F", "F");
    ASSERT_TRUE(hsnePanel && fcPanel);
    auto* fc = dynamic_cast<MCV_HsneFCAnalysis*>(w().analyses().back());
    ASSERT_NE(fc, nullptr);
    const std::vector<UI_EmbeddingSettingsWidget*> panels = {tsnePanel, hsnePanel, fcPanel};
    for (UI_EmbeddingSettingsWidget* panel : panels)
        EXPECT_EQ(panel->inputCombo()->currentText().toStdString(), "All Points");
    hsnePanel->numScalesBox()->setValue(3);
    fcPanel->numScalesBox()->setValue(3);

    // ---- The focus-and-context analysis computes on the CPU ----
    QCheckBox* gpu = widgetBeside<QCheckBox>(fcPanel, "GPU Acceleration");
    ASSERT_NE(gpu, nullptr);
    if (gpu->isChecked()) QTest::mouseClick(gpu, Qt::LeftButton);
    fc->setIterations(20);
    const size_t trees = data->derivedDataTrees().size();
    const std::string printed =
        capturedStdout([&] { QTest::mouseClick(fcPanel->computeHsneButton(), Qt::LeftButton); });
    EXPECT_NE(printed.find("with 3 scales"), std::string::npos) << printed;
    ASSERT_EQ(data->derivedDataTrees().size(), trees + 1) << "the analysis advertised its tree";
    // A cluster set of any analysis is advertised the same way.
    data->derivedDataClusters("Clusters - T", true);

    // {panel, its "Number of Scales" box (none for the A-tSNE)}
    const struct {
        UI_EmbeddingSettingsWidget* panel;
        QSpinBox* scales;
    } after[] = {{tsnePanel, nullptr}, {hsnePanel, hsnePanel->numScalesBox()}, {fcPanel, fcPanel->numScalesBox()}};
    for (const auto& p : after) {
        SCOPED_TRACE(p.panel->analysis()->name());
        EXPECT_EQ(p.panel->inputCombo()->currentText().toStdString(), "All Points");
        EXPECT_EQ(p.panel->chosenInput(), all);
        if (p.scales) {
            EXPECT_EQ(p.scales->value(), 3) << "as the user left it";
        }
    }
    EXPECT_EQ(fc->dataSelection(), all);
    EXPECT_EQ(fc->numScales(), 3);

    // ---- The next Compute tSNE embeds every event ----
    tsne->setIterations(20);
    quietly([&] { QTest::mouseClick(tsnePanel->computeTsneButton(), Qt::LeftButton); });
    EXPECT_EQ(tsne->numDataPoints(), kFiles * kEvents);

    // ---- A new down-sampled set still becomes every panel's input ----
    downsample(hsnePanel, 200);
    MCV_DerivedDataPoints* newest = data->derivedDataPoints().back();
    ASSERT_EQ(newest->name(), "All Points-downsampled(1)");
    for (UI_EmbeddingSettingsWidget* panel : panels) {
        EXPECT_EQ(panel->inputCombo()->currentText().toStdString(), "All Points-downsampled(1)");
        EXPECT_EQ(panel->chosenInput(), newest);
    }
    EXPECT_EQ(fc->dataSelection(), newest) << "this panel hands its input over at once";
    EXPECT_EQ(hsnePanel->numScalesBox()->value(), 1) << "suggested for 600 events";
}

TEST_F(AnalysisInputs, ADownsamplingToNoPointsSaysSoInTheStatusBar) {
    auto* panel = create<UI_TsneSettingsWidget>("Ctrl+T", "T");
    ASSERT_NE(panel, nullptr);
    const size_t sets = MCV_CytometryData::Instance()->derivedDataPoints().size();
    w().statusBar()->clearMessage();
    testing::internal::CaptureStderr();
    downsample(panel, 0);
    const std::string console = testing::internal::GetCapturedStderr();
    EXPECT_NE(console.find("Can not downsample to 0 total points!"), std::string::npos) << console;
    EXPECT_TRUE(w().statusBar()->currentMessage().startsWith("Can not downsample to 0 total points!"))
        << w().statusBar()->currentMessage().toStdString();
    EXPECT_EQ(MCV_CytometryData::Instance()->derivedDataPoints().size(), sets) << "nothing was added";
}

// A refusal line stays only until the same panel's next request goes
// through: a down-sampling says what it made, a Compute that starts takes the
// refusal away, and a line shown meanwhile by something else stays.
TEST_F(AnalysisInputs, ARefusalLineGivesWayToThePanelsNextResult) {
    auto* panel = create<UI_TsneSettingsWidget>("Ctrl+T", "T");
    ASSERT_NE(panel, nullptr);
    auto* tsne = dynamic_cast<MCV_TsneAnalysis*>(w().analyses().back());
    ASSERT_NE(tsne, nullptr);
    tsne->setIterations(5);
    const QString tooFew =
        "\"T\" was not computed: an embedding needs at least 4 events, and its input "
        "\"All Points-downsampled(1)\" has 3.";
    auto compute = [&](const char* input) {
        panel->inputCombo()->setCurrentText(input);
        quietly([&] { QTest::mouseClick(panel->computeTsneButton(), Qt::LeftButton); });
    };
    auto refuseDownsampling = [&] { quietly([&] { downsample(panel, 0); }); };
    // {step, status line after it}
    const std::pair<std::function<void()>, QString> steps[] = {
        {refuseDownsampling,
         "Can not downsample to 0 total points! Set a Target above 0 for at least one sample, "
         "then press Downsample again."},
        {[&] { downsample(panel, 100); }, "All Points-downsampled: 300 events"},
        {refuseDownsampling,
         "Can not downsample to 0 total points! Set a Target above 0 for at least one sample, "
         "then press Downsample again."},
        {[&] {
             panel->inputCombo()->setCurrentText("All Points");
             downsample(panel, 1);
         },
         "All Points-downsampled(1): 3 events"},
        {[&] { compute("All Points-downsampled(1)"); }, tooFew},
        {[&] { compute("All Points-downsampled"); }, ""},
        {[&] { compute("All Points-downsampled(1)"); }, tooFew},
        {[&] { w().statusBar()->showMessage("another line"); }, "another line"},
        {[&] { compute("All Points-downsampled"); }, "another line"},
    };
    int n = 0;
    for (const auto& [step, status] : steps) {
        SCOPED_TRACE(n++);
        step();
        EXPECT_EQ(w().statusBar()->currentMessage().toStdString(), status.toStdString());
    }
    EXPECT_EQ(MCV_CytometryData::Instance()->derivedDataPoints().back()->data().size(), 3u);
}

}  // namespace

// A SPADE bubble is a new point set like any other, and it is whole when the
// panels switch to it: the scales they suggest count its events.
TEST_F(AnalysisInputs, ASpadeBubbleIsWholeWhenThePanelsSwitchToIt) {
    auto* hsnePanel = create<UI_HsneSettingsWidget>("Ctrl+F", "H");
    auto* fcPanel = create<UI_HsneFCSettingsWidget>("Ctrl+Shift+F", "F");
    ASSERT_TRUE(hsnePanel && fcPanel);
    const int allPointsScales = hsnePanel->numScalesBox()->value();
    ASSERT_GT(allPointsScales, 1) << "suggested for " << kFiles * kEvents << " events";
    ASSERT_EQ(fcPanel->numScalesBox()->value(), allPointsScales);

    auto* spadePanel = create<UI_SpadeSettingsWidget>("Ctrl+S", "S");
    ASSERT_NE(spadePanel, nullptr);
    auto* spade = dynamic_cast<MCV_SpadeAnalysis*>(w().analyses().back());
    ASSERT_NE(spade, nullptr);
    spade->setDensityLimit(100.0f);  // keeps every event
    quietly([&] { QTest::mousePress(spadePanel->computeButtonWidget(), Qt::LeftButton); });
    QTest::mouseRelease(spadePanel->computeButtonWidget(), Qt::LeftButton);
    ASSERT_FALSE(spade->clusters().empty());
    const QList<UI_SpadeWidget*> views = w().findChildren<UI_SpadeWidget*>();
    ASSERT_EQ(views.size(), 1);

    // Each panel sees the set when it is announced.
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    std::vector<size_t> seen;
    QObject::connect(hsnePanel->inputCombo(), &QComboBox::currentTextChanged, [&](const QString& name) {
        for (MCV_DerivedDataPoints* set : data->derivedDataPoints())
            if (set->name() == name.toStdString()) seen.push_back(set->data().size());
    });
    QList<int> everyCluster;
    for (size_t c = 0; c < spade->clusters().size(); ++c) everyCluster << int(c);
    quietly([&] { views[0]->js_subtreeCreated(everyCluster, "Bubble"); });

    MCV_DerivedDataPoints* bubble = data->derivedDataPoints().back();
    ASSERT_EQ(bubble->name(), "Bubble");
    ASSERT_EQ(bubble->data().size(), size_t(kFiles * kEvents));
    EXPECT_EQ(seen, std::vector<size_t>{size_t(kFiles * kEvents)});
    EXPECT_EQ(hsnePanel->inputCombo()->currentText().toStdString(), "Bubble");
    EXPECT_EQ(hsnePanel->numScalesBox()->value(), allPointsScales);
    EXPECT_EQ(fcPanel->inputCombo()->currentText().toStdString(), "Bubble");
    EXPECT_EQ(fcPanel->numScalesBox()->value(), allPointsScales);
}
