// The program's main road, driven through the real main window's widgets:
// open the example samples with the arcsine transform, start A-tSNE, watch
// the embedding live and pause it from the plot's overlay, colour it by
// sample, open a second view, select in one plot and see the selection in
// both, save the sample statistics, down-sample per sample and embed the
// smaller set, hide a sample and print the plot. The pieces have tests of
// their own; this one checks what crosses between them in the running program.
//
// The analyses run on the GUI thread and pump the event loop between
// iterations, so everything done while an embedding runs happens from the
// bridge's update signal, between two iterations, as a user's clicks would.
#include "ui/plot/ScatterplotTest.h"
#include "ShellTestSupport.h"
#include "support/CapturedOutput.h"
#include "support/Pixels.h"
#include "support/WidgetFinders.h"

#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "data/MCV_DerivedDataPoints.h"
#include "data/MCV_FcsHeader.h"
#include "ui/base/UI_DockableContainerWidget.h"
#include "ui/base/UI_Settings.h"
#include "ui/datapanels/UI_SampleSelectionWidget.h"
#include "ui/datapanels/UI_SampleStatisticsWidget.h"
#include "ui/datapanels/UI_SelectiveDownsamplingWidget.h"
#include "ui/plot/UI_TsneSettingsSliderWidget.h"
#include "ui/tsne/UI_TsneSettingsWidget.h"
#include "ui/tsne/UI_TsneWidget.h"

#include <QCheckBox>
#include <QDir>
#include <QGridLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace {

using namespace viewtest;

constexpr int kFiles = 3;
constexpr int kMarkers = 12;
constexpr int kEvents = 60000;

// Pixels of the blue selection halo while points are coloured by the default
// sample colours: those, the background and every blend of them have red of
// at least 127; the halo blended over any of them has red below 120 and blue
// of at least 200.
int countHalo(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            n += qRed(p) < 120 && qBlue(p) >= 200;
        }
    return n;
}

int countFlags(const std::vector<short>& flags) {
    return static_cast<int>(std::count(flags.begin(), flags.end(), short(32767)));
}

// The overlay's run/pause button: row 0 of the grid holding the two 35-pixel
// embedding buttons (restart is row 1).
QPushButton* runButton(UI_ScatterplotWidget* plot) {
    for (QPushButton* b : plot->settingsPanel()->findChildren<QPushButton*>()) {
        auto* grid = b->parentWidget() ? qobject_cast<QGridLayout*>(b->parentWidget()->layout()) : nullptr;
        if (!grid || b->size() != QSize(35, 35)) continue;
        QLayoutItem* item = grid->itemAtPosition(0, 0);
        if (item && item->widget()) return qobject_cast<QPushButton*>(item->widget());
    }
    return nullptr;
}

// A left-button drag over `target` (its own coordinates), sent to its window
// as the windowing system would, so the press grabs the mouse for the moves.
void drag(QWidget* target, QPoint from, QPoint to) {
    QWindow* window = target->window()->windowHandle();
    const QPoint a = target->mapTo(target->window(), from);
    const QPoint b = target->mapTo(target->window(), to);
    QTest::mousePress(window, Qt::LeftButton, {}, a);
    QTest::mouseMove(window, (a + b) / 2);
    QTest::mouseMove(window, b);
    QTest::mouseRelease(window, Qt::LeftButton, {}, b);
}

// A square of `plot` over the embedding `xy`, a tenth of the plot's side
// wide, centred at the median x and the 60th percentile of y (y upwards, so
// it stays above the overlay panel), placed as the renderer places the points:
// one scale for both axes, into [0.1, 0.9] of the centred square.
std::pair<QPoint, QPoint> squareOverPoints(UI_ScatterplotWidget* plot, const std::vector<float>& xy) {
    const auto [lo, hi] = plotRange(xy);
    std::vector<float> axis[2];
    for (size_t i = 0; i < xy.size(); ++i) axis[i % 2].push_back((xy[i] - lo) / (hi - lo) * 0.8f + 0.1f);
    auto quantile = [](std::vector<float>& v, double q) {
        const auto at = v.begin() + long(q * double(v.size() - 1));
        std::nth_element(v.begin(), at, v.end());
        return *at;
    };
    const int w = plot->width(), h = plot->height(), side = std::min(w, h), half = side / 20;
    const QPoint centre((w - side) / 2 + int(quantile(axis[0], 0.5) * float(side)),
                        h - 1 - ((h - side) / 2 + int(quantile(axis[1], 0.6) * float(side))));
    return {centre - QPoint(half, half), centre + QPoint(half, half)};
}

// Clicks the tab titled `title`; returns the page then shown.
QWidget* showTab(QTabWidget* tabs, const QString& title) {
    for (int i = 0; i < tabs->count(); ++i)
        if (tabs->tabText(i) == title) {
            QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {}, tabs->tabBar()->tabRect(i).center());
            return tabs->currentWidget();
        }
    return nullptr;
}

// Types `text` into a table cell: double-click, type over the selected old
// value, Return (which the view commits from the event loop).
bool typeIntoCell(QTableWidget* table, int row, int column, const QString& text) {
    table->scrollToItem(table->item(row, column));
    const QPoint at = table->visualItemRect(table->item(row, column)).center();
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, at);
    QLineEdit* editor = nullptr;
    for (QLineEdit* e : table->viewport()->findChildren<QLineEdit*>())
        if (e->isVisible()) editor = e;
    if (!editor) return false;
    QTest::keyClicks(editor, text);
    QTest::keyClick(editor, Qt::Key_Return);
    return QTest::qWaitFor([&] { return !editor->isVisible(); });
}

class MainRoad : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        useProgramFormat();
        ASSERT_TRUE(out.isValid());
        ASSERT_EQ(QProcess::execute(QLMRN_MAKE_EXAMPLES, {dir.path()}), 0);
        UI_Settings::Instance()->setValue("exportDefaultFilePath", out.path());
        w().resize(1800, 1150);
        w().show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w()));
        QObject::connect(w().bridge(), &UI_Interface::analysisUpdatedSignal, &w(), [this](void* a) {
            // A pause that does not stop the loop fails the counts; the loop
            // is not left to run its full thousand iterations.
            if (++updatesWatched > 100)
                for (MCV_Analysis* analysis : w().analyses())
                    if (analysis == a) static_cast<MCV_TsneAnalysis*>(analysis)->stopGradientDescent();
            if (onUpdate) onUpdate(a);
        });
    }
    void TearDown() override {
        onUpdate = nullptr;
        ShellTest::TearDown();
        UI_Settings::Instance()->remove("exportDefaultFilePath");
        UI_Settings::Instance()->remove("dataDefaultFilePath");
    }

    QString sample(int s) const { return dir.filePath(QString("sample_%1.fcs").arg(s)); }
    static MCV_CytometryData* data() { return MCV_CytometryData::Instance(); }
    static QImage frame(UI_ScatterplotWidget* plot) {
        return plot->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
    }
    // Runs `f` between two iterations of any analysis until the next watch.
    void watch(std::function<void(void*)> f) {
        onUpdate = std::move(f);
        updatesWatched = 0;
    }
    // Computes `analysis` from its panel's button and pauses it from the
    // overlay of `plot` after `updates` iterations; returns the count seen.
    int computeAndPause(MCV_TsneAnalysis* analysis, UI_TsneSettingsWidget* settings, UI_ScatterplotWidget* on,
                        int updates, std::function<void(int)> each = nullptr) {
        QPushButton* run = runButton(on);
        int seen = 0;
        watch([&](void* a) {
            if (a != analysis) return;
            ++seen;
            if (each) each(seen);
            if (seen == updates) QTest::mouseClick(run, Qt::LeftButton);
        });
        quietly([&] { QTest::mousePress(settings->computeTsneButton(), Qt::LeftButton); });
        QTest::mouseRelease(settings->computeTsneButton(), Qt::LeftButton);
        watch(nullptr);
        return seen;
    }
    // Leaves CD45 out on a panel (the embedding's own output variables start
    // unchecked).
    static void chooseMarkers(UI_TsneSettingsWidget* settings) {
        auto* markers = settings->findChild<UI_MarkerSelectionWidget*>();
        QTest::mouseClick(markers->checkBoxes()[0], Qt::LeftButton);
    }

    QTemporaryDir out;
    std::function<void(void*)> onUpdate;
    int updatesWatched = 0;
};

TEST_F(MainRoad, FromTheExampleFilesToAPrintedPlot) {
    // ---- Open with the transform on every marker but CD45, Start A-tSNE ----
    UI_ModalDialogs::answerText("Road Embedding");
    open({sample(1), sample(2), sample(3)}, [](QDialog* d) {
        d->show();
        if (!QTest::qWaitForWindowExposed(d)) return int(QDialog::Rejected);
        QTest::mouseClick(childWithText<QCheckBox>(d, "Apply Hyperbolic ArcSin Transform."), Qt::LeftButton);
        QTest::mouseClick(d->findChild<UI_MarkerSelectionWidget*>()->checkBoxes()[0], Qt::LeftButton);
        QTest::mouseClick(childWithText<QPushButton>(d, "Start A-tSNE"), Qt::LeftButton);
        return d->result();
    });
    ASSERT_EQ(data()->numFiles(), kFiles);
    std::unique_ptr<MCV_CytometryData> raw = MCV_CytometryData::createDetached();
    ASSERT_EQ(raw->loadFromFile(sample(3).toStdString()), 0);
    for (int e = 0; e < 50; ++e) {
        const float* before = raw->rawData(0) + e * kMarkers;
        const float* after = data()->rawData(2) + e * data()->header(2)->numVariables();
        EXPECT_EQ(after[0], before[0]) << "CD45 stays raw";
        EXPECT_NEAR(after[5], std::asinh(before[5] / 5.0f), 1e-5f);
    }
    ASSERT_EQ(w().analyses().size(), 1u);
    auto* tsne = dynamic_cast<MCV_TsneAnalysis*>(w().analyses()[0]);
    auto* view = qobject_cast<UI_TsneWidget*>(w().views()[0]);
    auto* panel = qobject_cast<UI_TsneSettingsWidget*>(w().settingsPanels()[0]);
    ASSERT_TRUE(tsne && view && panel);
    EXPECT_EQ(tsne->name(), "Road Embedding");
    UI_ScatterplotWidget* plot = view->plot();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(plot));

    // ---- Compute: the plot changes live; the overlay's button pauses ----
    chooseMarkers(panel);
    std::vector<unsigned> chosen;
    for (unsigned m = 1; m < unsigned(kMarkers); ++m) chosen.push_back(m);
    EXPECT_EQ(*tsne->selectedMarkers(), chosen);
    std::vector<QImage> live;
    EXPECT_EQ(computeAndPause(tsne, panel, plot, 24,
                              [&](int n) {
                                  if (n % 8 == 0) live.push_back(frame(plot));
                              }),
              24)
        << "the pause ends the loop after the current iteration";
    ASSERT_EQ(tsne->numDataPoints(), kEvents);
    ASSERT_EQ(live.size(), 3u);
    EXPECT_NE(live[0], live[1]);
    EXPECT_NE(live[1], live[2]);
    EXPECT_FALSE(tsne->isRunning());
    const std::vector<float> paused = *tsne->output();
    const QImage pausedFrame = frame(plot);
    QCoreApplication::processEvents();
    EXPECT_EQ(frame(plot), pausedFrame);
    EXPECT_EQ(*tsne->output(), paused);

    // ---- Opaque points show the sample panel's colours ----
    for (QSlider* opacity : plot->settingsPanel()->findChildren<QSlider*>())
        if (opacity->minimum() == 20 && opacity->maximum() == 100) QTest::keyClick(opacity, Qt::Key_End);
    std::vector<QRgb> colours;
    const std::vector<unsigned char>& bytes = *plot->samplePanel()->sampleColors();
    for (size_t i = 0; i + 2 < bytes.size(); i += 3) colours.push_back(qRgb(bytes[i], bytes[i + 1], bytes[i + 2]));
    ASSERT_EQ(colours.size(), size_t(kFiles));
    const QImage bySample = frame(plot);
    for (QRgb c : colours) {
        ASSERT_GE(qRed(c), 127) << "countHalo relies on it";
        EXPECT_GT(countNear(bySample, c, 2), 200);
    }

    // ---- A second view from the Analysis menu, by mouse ----
    QMenu* menu = w().findChild<QMenu*>("menuAnalysis");
    QTest::mouseClick(w().menuBar(), Qt::LeftButton, {}, w().menuBar()->actionGeometry(menu->menuAction()).center());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
    UI_ModalDialogs::answerText("Second Embedding");
    QTest::mouseClick(menu, Qt::LeftButton, {},
                      menu->actionGeometry(w().findChild<QAction*>("actionNewTsneAnalysis")).center());
    ASSERT_EQ(w().analyses().size(), 2u);
    auto* tsne2 = dynamic_cast<MCV_TsneAnalysis*>(w().analyses()[1]);
    auto* view2 = qobject_cast<UI_TsneWidget*>(w().views()[1]);
    auto* panel2 = qobject_cast<UI_TsneSettingsWidget*>(w().settingsPanels()[1]);
    ASSERT_TRUE(tsne2 && view2 && panel2);
    UI_ScatterplotWidget* plot2 = view2->plot();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(plot2));
    EXPECT_TRUE(QTest::qWaitFor([&] { return plot->height() > 400 && plot2->height() > 400; }))
        << "both views share the area: " << plot->height() << " and " << plot2->height();
    chooseMarkers(panel2);
    EXPECT_EQ(computeAndPause(tsne2, panel2, plot2, 8), 8);
    EXPECT_EQ(*tsne->output(), paused) << "the first analysis stays as it was";

    // ---- Select in the first plot: both views mark the same events ----
    const std::pair<QPoint, QPoint> box = squareOverPoints(plot, *tsne->output());
    drag(plot, box.first, box.second);
    MCV_DerivedDataPoints* shared = data()->selectionPoints();
    ASSERT_NE(plot->selectionIdxs(), nullptr);
    std::vector<std::pair<int, int>> expected, selected = shared->data();
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
    // Ctrl+D in the second plot clears it everywhere.
    QTest::keyClick(plot2, Qt::Key_D, Qt::ControlModifier);
    EXPECT_TRUE(shared->data().empty());
    EXPECT_EQ(countFlags(view->selectionFlags()), 0);
    EXPECT_EQ(countHalo(frame(plot)), 0);

    // ---- Select in the second plot; the first view's statistics count it ----
    const std::pair<QPoint, QPoint> box2 = squareOverPoints(plot2, *tsne2->output());
    drag(plot2, box2.first, box2.second);
    std::vector<int> perFile(kFiles, 0);
    for (const auto& p : shared->data()) ++perFile[size_t(p.first)];
    ASSERT_GT(shared->data().size(), 100u);
    QApplication::setActiveWindow(&w());  // the overlay finds the main window as the active one
    for (QPushButton* options : plot->settingsPanel()->findChildren<QPushButton*>())
        if (options->styleSheet().contains("optionsBt")) QTest::mouseClick(options, Qt::LeftButton);
    UI_DockableContainerWidget* extended = plot->settingsPanel()->extendedSettingsWidget();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(extended));
    ASSERT_EQ(showTab(extended->tabWidget(), "Sample Statistics"), plot->sampleStatisticsPanel());
    QTableWidget* table = plot->sampleStatisticsPanel()->statisticsTable();
    ASSERT_EQ(table->rowCount(), kFiles);
    for (int f = 0; f < kFiles; ++f) {
        EXPECT_EQ(table->item(f, 2)->data(Qt::DisplayRole).toInt(), data()->header(f)->numEvents());
        EXPECT_EQ(table->item(f, 3)->data(Qt::DisplayRole).toInt(), perFile[size_t(f)]);
    }

    // ---- Down-sample per sample; the second view embeds exactly those ----
    QTest::mouseClick(childWithText<QPushButton>(panel, "Downsampling ..."), Qt::LeftButton);
    UI_SelectiveDownsamplingWidget* downsampling = panel->downsampling();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(downsampling));
    const std::vector<int> targets = {300, 200, 100};
    for (int f = 0; f < kFiles; ++f)
        EXPECT_TRUE(typeIntoCell(downsampling->countsTable(), f, 2, QString::number(targets[size_t(f)])));
    QTest::mouseClick(childWithText<QPushButton>(downsampling, "Downsample"), Qt::LeftButton);
    MCV_DerivedDataPoints* smaller = data()->derivedDataPoints().back();
    EXPECT_EQ(smaller->pointsPerFile(), targets);
    for (UI_TsneSettingsWidget* p : {panel, panel2}) EXPECT_EQ(p->chosenInput(), smaller) << "every panel is told";
    EXPECT_EQ(computeAndPause(tsne2, panel2, plot2, 8), 8);
    std::vector<std::pair<int, int>> embedded = *tsne2->pointReferences(), kept = smaller->data();
    std::sort(embedded.begin(), embedded.end());
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(embedded, kept);

    // ---- sample_3 hidden in "Select Samples"; Ctrl+P prints without it ----
    ASSERT_EQ(showTab(extended->tabWidget(), "Select Samples"), plot->samplePanel());
    QTest::mouseClick(plot->samplePanel()->checkBox(2), Qt::LeftButton);
    ASSERT_TRUE(QDir(out.path()).entryList({"*.png"}, QDir::Files).isEmpty());
    // Ctrl+P prints the plot that has the focus, as a user's click gives it.
    plot->setFocus(Qt::MouseFocusReason);
    QTest::keyClick(plot, Qt::Key_P, Qt::ControlModifier);
    const QStringList prints = QDir(out.path()).entryList({"*.png"}, QDir::Files);
    ASSERT_EQ(prints.size(), 1);
    const QImage print(out.filePath(prints[0]));
    EXPECT_EQ(print.size(), QSize(4096, 4096));
    EXPECT_GT(countNear(print, colours[0], 2), 10000);
    EXPECT_GT(countNear(print, colours[1], 2), 10000);
    EXPECT_EQ(countNear(print, colours[2], 2), 0) << "the hidden sample is not printed";
}

}  // namespace
