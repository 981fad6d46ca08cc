// The main road through the real main window; the panels have tests of their
// own, this one checks what crosses between them. The analyses pump the event
// loop between iterations, so clicks during a run come from the bridge's
// update signal, as a user's would.
#include "ShellTestSupport.h"
#include "support/CapturedOutput.h"
#include "support/Pixels.h"
#include "support/WidgetFinders.h"

#include "analysis/applicationSurfaceFormat.h"
#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "data/MCV_DerivedDataPoints.h"
#include "ui/base/UI_Settings.h"
#include "ui/datapanels/UI_SampleSelectionWidget.h"
#include "ui/datapanels/UI_SelectiveDownsamplingWidget.h"
#include "ui/plot/UI_ScatterplotWidget.h"
#include "ui/plot/UI_TsneSettingsSliderWidget.h"
#include "ui/tsne/UI_TsneSettingsWidget.h"
#include "ui/tsne/UI_TsneWidget.h"

#include <QCheckBox>
#include <QDir>
#include <QGridLayout>
#include <QProcess>
#include <QSlider>
#include <QTableWidget>
#include <QTest>
#include <QWindow>

#include <algorithm>

namespace {

constexpr int kFiles = 3;
constexpr int kEvents = 60000;

int countFlags(const std::vector<short>& flags) { return int(std::count(flags.begin(), flags.end(), short(32767))); }

class MainRoad : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        setApplicationSurfaceFormat();
        ASSERT_TRUE(out.isValid());
        ASSERT_EQ(QProcess::execute(QLMRN_MAKE_EXAMPLES, {dir.path()}), 0);
        UI_Settings::Instance()->setValue("exportDefaultFilePath", out.path());
        w().resize(1800, 1150);
        w().show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w()));
    }
    void TearDown() override {
        ShellTest::TearDown();
        for (const char* key : {"exportDefaultFilePath", "dataDefaultFilePath"}) UI_Settings::Instance()->remove(key);
    }

    static QImage frame(UI_ScatterplotWidget* plot) {
        return plot->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
    }
    // Leaves CD45 out, computes `analysis` from its panel and pauses it from
    // the overlay of `on` after `updates` iterations, keeping the frames of
    // the first and the last; returns the count seen.
    int computeAndPause(MCV_TsneAnalysis* analysis, UI_TsneSettingsWidget* settings, UI_ScatterplotWidget* on,
                        int updates) {
        QCheckBox* cd45 = settings->findChild<UI_MarkerSelectionWidget*>()->checkBoxes()[0];
        if (cd45->isChecked()) QTest::mouseClick(cd45, Qt::LeftButton);
        QPushButton* run = overlayButton(on, 0);
        int seen = 0;
        auto watch = QObject::connect(w().bridge(), &UI_Interface::analysisUpdatedSignal, &w(), [&](void* a) {
            if (a != analysis) return;
            if (++seen == 1 || seen == updates) live[seen != 1] = frame(on);
            if (seen == updates) QTest::mouseClick(run, Qt::LeftButton);
            if (seen > 100) analysis->stopGradientDescent();  // the pause failed; the count tells
        });
        quietly([&] { QTest::mousePress(settings->computeTsneButton(), Qt::LeftButton); });
        QTest::mouseRelease(settings->computeTsneButton(), Qt::LeftButton);
        QObject::disconnect(watch);
        return seen;
    }

    QTemporaryDir out;
    QImage live[2];
};

TEST_F(MainRoad, FromTheExampleFilesToAPrintedPlot) {
    // ---- Open with the transform, Start A-tSNE; compute live and pause ----
    UI_ModalDialogs::answerText("Road Embedding");
    QStringList samples;
    for (int s = 1; s <= kFiles; ++s) samples << dir.filePath(QString("sample_%1.fcs").arg(s));
    open(samples, [](QDialog* d) {
        d->show();
        if (!QTest::qWaitForWindowExposed(d)) return int(QDialog::Rejected);
        QTest::mouseClick(childWithText<QCheckBox>(d, "Apply Hyperbolic ArcSin Transform."), Qt::LeftButton);
        QTest::mouseClick(childWithText<QPushButton>(d, "Start A-tSNE"), Qt::LeftButton);
        return d->result();
    });
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    ASSERT_EQ(data->numFiles(), kFiles);
    ASSERT_EQ(w().analyses().size(), 1u);
    auto* tsne = dynamic_cast<MCV_TsneAnalysis*>(w().analyses()[0]);
    if (tsne) tsne->setSeed(1);
    auto* view = qobject_cast<UI_TsneWidget*>(w().views()[0]);
    auto* panel = qobject_cast<UI_TsneSettingsWidget*>(w().settingsPanels()[0]);
    ASSERT_TRUE(tsne && view && panel);
    EXPECT_EQ(tsne->name(), "Road Embedding");
    UI_ScatterplotWidget* plot = view->plot();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(plot));

    EXPECT_EQ(computeAndPause(tsne, panel, plot, 24), 24) << "the pause ends the loop after the current iteration";
    ASSERT_EQ(tsne->numDataPoints(), kEvents);
    EXPECT_NE(live[0], live[1]) << "the plot changes while the run goes on";
    const std::vector<float> paused = *tsne->output();
    QCoreApplication::processEvents();
    EXPECT_EQ(*tsne->output(), paused);

    // Opaque points in the sample panel's colours, which the halo count and
    // the print check rely on.
    for (QSlider* opacity : plot->settingsPanel()->findChildren<QSlider*>())
        if (opacity->minimum() == 20 && opacity->maximum() == 100) QTest::keyClick(opacity, Qt::Key_End);
    std::vector<QRgb> colours;
    const std::vector<unsigned char>& bytes = *plot->samplePanel()->sampleColors();
    for (size_t i = 0; i + 2 < bytes.size(); i += 3) colours.push_back(qRgb(bytes[i], bytes[i + 1], bytes[i + 2]));
    ASSERT_EQ(colours.size(), size_t(kFiles));
    for (QRgb c : colours) ASSERT_GE(qRed(c), 127);

    // ---- A second view ----
    UI_ModalDialogs::answerText("Second Embedding");
    trigger("actionNewTsneAnalysis");
    ASSERT_EQ(w().analyses().size(), 2u);
    auto* tsne2 = dynamic_cast<MCV_TsneAnalysis*>(w().analyses()[1]);
    if (tsne2) tsne2->setSeed(2);
    auto* view2 = qobject_cast<UI_TsneWidget*>(w().views()[1]);
    auto* panel2 = qobject_cast<UI_TsneSettingsWidget*>(w().settingsPanels()[1]);
    ASSERT_TRUE(tsne2 && view2 && panel2);
    UI_ScatterplotWidget* plot2 = view2->plot();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(plot2));
    EXPECT_EQ(computeAndPause(tsne2, panel2, plot2, 8), 8);
    EXPECT_EQ(*tsne->output(), paused) << "the first analysis stays as it was";

    // ---- Select the upper left quarter of the first plot: both views mark the same events ----
    drag(plot, {2, 2}, plot->rect().center());
    ASSERT_NE(plot->selectionIdxs(), nullptr);
    std::vector<std::pair<int, int>> expected, selected = data->selectionPoints()->data();
    for (int i : *plot->selectionIdxs()) expected.push_back((*tsne->pointReferences())[size_t(i)]);
    std::sort(expected.begin(), expected.end());
    std::sort(selected.begin(), selected.end());
    EXPECT_EQ(selected, expected);
    const int count = int(selected.size());
    EXPECT_GT(count, 100);
    EXPECT_LT(count, kEvents * 9 / 10);
    EXPECT_EQ(countFlags(view->selectionFlags()), count);
    EXPECT_EQ(countFlags(view2->selectionFlags()), count);
    EXPECT_GT(countHalo(frame(plot)), 100);
    EXPECT_GT(countHalo(frame(plot2)), 100);
    // Ctrl+D in one view clears the selection in both.
    plot->setFocus(Qt::MouseFocusReason);
    QTest::keyClick(plot, Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(countFlags(view->selectionFlags()), 0);
    EXPECT_EQ(countFlags(view2->selectionFlags()), 0);

    // ---- Down-sample per sample; the second view embeds exactly those ----
    QTest::mouseClick(childWithText<QPushButton>(panel, "Downsampling ..."), Qt::LeftButton);
    UI_SelectiveDownsamplingWidget* downsampling = panel->downsampling();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(downsampling));
    const std::vector<int> targets = {300, 200, 100};
    for (int f = 0; f < kFiles; ++f)
        downsampling->countsTable()->item(f, 2)->setText(QString::number(targets[size_t(f)]));
    QTest::mouseClick(childWithText<QPushButton>(downsampling, "Downsample"), Qt::LeftButton);
    MCV_DerivedDataPoints* smaller = data->derivedDataPoints().back();
    EXPECT_EQ(smaller->pointsPerFile(), targets);
    EXPECT_EQ(computeAndPause(tsne2, panel2, plot2, 8), 8);
    std::vector<std::pair<int, int>> embedded = *tsne2->pointReferences(), kept = smaller->data();
    std::sort(embedded.begin(), embedded.end());
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(embedded, kept);

    // ---- sample_3 hidden; Ctrl+P on the focused plot prints without it ----
    plot->samplePanel()->checkBox(2)->click();
    plot->setFocus(Qt::MouseFocusReason);
    QTest::keyClick(plot, Qt::Key_P, Qt::ControlModifier);
    const QStringList prints = QDir(out.path()).entryList({"*.png"}, QDir::Files);
    ASSERT_EQ(prints.size(), 1);
    const QImage print(out.filePath(prints[0]));
    EXPECT_GT(countNear(print, colours[0], 2), 10000);
    EXPECT_GT(countNear(print, colours[1], 2), 10000);
    EXPECT_EQ(countNear(print, colours[2], 2), 0) << "the hidden sample is not printed";
}

}  // namespace
