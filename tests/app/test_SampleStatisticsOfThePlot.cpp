// A plot's "Sample Statistics" count the selected events of the plot's own
// point set, through the real window: a plot over a down-sampled set, with
// every event selected in a plot over "All Points" or a rectangle drawn there,
// never shows more selected events than its set holds. The plot over "All
// Points" reads as it always has.
#include "SampleTableCheck.h"
#include "ShellTestSupport.h"
#include "support/SeededUniform.h"
#include "support/CapturedOutput.h"
#include "support/WidgetFinders.h"

#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "data/MCV_DerivedDataPoints.h"
#include "ui/datapanels/UI_SampleStatisticsWidget.h"
#include "ui/datapanels/UI_SelectiveDownsamplingWidget.h"
#include "ui/tsne/UI_TsneSettingsWidget.h"
#include "ui/tsne/UI_TsneWidget.h"

#include <QComboBox>
#include <QTableWidget>

#include <cstdint>
#include <set>

namespace {

constexpr int kFiles = 3;
constexpr int kEvents = 300;
constexpr int kKept = 100;

using Events = std::set<std::pair<int, int>>;

class SampleStatisticsOfThePlot : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        showPlotWindow({1400, 1000});
        QStringList files;
        for (int f = 0; f < kFiles; ++f) files << blobs(QString("sample_%1.fcs").arg(f + 1), f);
        open(files);
        ASSERT_EQ(MCV_CytometryData::Instance()->numFiles(), kFiles);
    }

    // kEvents events around four centres over three markers.
    QString blobs(const QString& name, int seed) {
        SeededUniform next(seed);
        std::vector<std::vector<float>> rows;
        for (int e = 0; e < kEvents; ++e) {
            const float centre = 10.0f * static_cast<float>(e % 4);
            rows.push_back({centre + next(), centre * 0.5f + next(), next() * 3.0f});
        }
        return QString::fromStdString(FcsTestFile::floats(rows).write(dir, name.toStdString()));
    }

    // Ctrl+T named `name`: its panel and its view.
    std::pair<UI_TsneSettingsWidget*, UI_TsneWidget*> newTsne(const QString& name) {
        UI_ModalDialogs::answerText(name);
        QTest::keySequence(&w(), QKeySequence("Ctrl+T"));
        return {qobject_cast<UI_TsneSettingsWidget*>(w().settingsPanels().back()),
                qobject_cast<UI_TsneWidget*>(w().views().back())};
    }
    void compute(UI_TsneSettingsWidget* panel) {
        auto* tsne = dynamic_cast<MCV_TsneAnalysis*>(panel->analysis());
        ASSERT_NE(tsne, nullptr);
        tsne->setSeed(1);
        tsne->setIterations(30);
        quietly([&] {
            QTest::mousePress(panel->computeTsneButton(), Qt::LeftButton);
            QTest::mouseRelease(panel->computeTsneButton(), Qt::LeftButton);
        });
    }
    static float cell(UI_TsneWidget* view, int row, int column) {
        return view->plot()
            ->sampleStatisticsPanel()
            ->statisticsTable()
            ->item(row, column)
            ->data(Qt::DisplayRole)
            .toFloat();
    }
    // The panel's rows against a reference counted here: per file the set's
    // events and the distinct ones of them the shared selection holds.
    static void expectCounts(UI_TsneWidget* view, MCV_DerivedDataPoints* set) {
        expectSampleTable(view->plot()->sampleStatisticsPanel(), set->data(), kFiles);
    }
};

TEST_F(SampleStatisticsOfThePlot, ADownsampledPlotCountsOnlyItsOwnSelectedEvents) {
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    MCV_DerivedDataPoints* all = data->derivedDataPoints("All Points", true);

    // ---- A plot over kKept events of each sample, down-sampled from its panel ----
    auto [thinnedPanel, thinnedView] = newTsne("Thinned");
    ASSERT_TRUE(thinnedPanel && thinnedView);
    QTest::mouseClick(childWithText<QPushButton>(thinnedPanel, "Downsampling ..."), Qt::LeftButton);
    UI_SelectiveDownsamplingWidget* downsampling = thinnedPanel->downsampling();
    for (int f = 0; f < kFiles; ++f) downsampling->countsTable()->item(f, 2)->setText(QString::number(kKept));
    QTest::mouseClick(childWithText<QPushButton>(downsampling, "Downsample"), Qt::LeftButton);
    MCV_DerivedDataPoints* thinned = data->derivedDataPoints().back();
    ASSERT_EQ(thinned->pointsPerFile(), std::vector<int>(kFiles, kKept));
    ASSERT_EQ(thinnedPanel->chosenInput(), thinned);
    compute(thinnedPanel);

    // ---- A plot over every event ----
    auto [fullPanel, fullView] = newTsne("Full");
    ASSERT_TRUE(fullPanel && fullView);
    fullPanel->inputCombo()->setCurrentText("All Points");
    ASSERT_EQ(fullPanel->chosenInput(), all);
    compute(fullPanel);
    UI_ScatterplotWidget* fullPlot = fullView->plot();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(fullPlot));

    // ---- Ctrl+A in the plot over every event ----
    fullPlot->setFocus(Qt::MouseFocusReason);
    QTest::keyClick(fullPlot, Qt::Key_A, Qt::ControlModifier);
    ASSERT_EQ(data->selectionPoints()->data().size(), size_t(kFiles * kEvents));
    {
        SCOPED_TRACE("every event selected");
        expectCounts(thinnedView, thinned);
        for (int f = 0; f < kFiles; ++f) {
            EXPECT_EQ(cell(thinnedView, f, 3), float(kKept));
            EXPECT_FLOAT_EQ(cell(thinnedView, f, 4), 100.0f);
        }
        expectCounts(fullView, all);
    }

    // ---- A rectangle over part of the plot over every event ----
    drag(fullPlot, {2, 2}, fullPlot->rect().center());
    const std::vector<std::pair<int, int>> selection = data->selectionPoints()->data();
    ASSERT_GT(selection.size(), 50u);
    ASSERT_LT(selection.size(), size_t(kFiles * kEvents * 9 / 10));
    {
        SCOPED_TRACE("a rectangle");
        expectCounts(thinnedView, thinned);
        int reachingBeyond = 0;
        const Events kept(thinned->data().begin(), thinned->data().end());
        for (const auto& p : selection) reachingBeyond += kept.count(p) ? 0 : 1;
        EXPECT_GT(reachingBeyond, 0) << "the selection reaches beyond the thinned set";
        // Over "All Points" as before: the selection's events per file, and
        // their share of the selection.
        expectCounts(fullView, all);
        for (int f = 0; f < kFiles; ++f) {
            const float k = float(data->selectionPoints()->pointsPerFile()[size_t(f)]);
            EXPECT_EQ(cell(fullView, f, 3), k);
            EXPECT_FLOAT_EQ(cell(fullView, f, 5), k * 100.0f / float(selection.size()));
        }
    }

    // ---- "Save ..." writes the numbers shown ----
    UI_SampleStatisticsWidget* panel = thinnedView->plot()->sampleStatisticsPanel();
    const QString path = dir.filePath("thinned.csv");
    UI_ModalDialogs::answerDialog([path](QDialog* d) {
        static_cast<QFileDialog*>(d)->selectFile(path);
        d->done(QDialog::Accepted);
        return int(QDialog::Accepted);
    });
    childWithText<QPushButton>(panel, "Save ...")->click();
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(saved.readAll()).split('\n');
    ASSERT_EQ(lines.size(), kFiles + 1);
    for (int f = 0; f < kFiles; ++f) {
        const QStringList cells = lines[f + 1].split(", ");
        ASSERT_EQ(cells.size(), 7);
        EXPECT_EQ(cells[1], QString("sample_%1.fcs").arg(f + 1));
        for (int c = 2; c < 7; ++c)
            EXPECT_EQ(cells[c], QString::asprintf("%g", double(cell(thinnedView, f, c)))) << lines[f + 1].toStdString();
    }
}

}  // namespace
