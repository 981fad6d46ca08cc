// The program's main road, driven through the real main window's widgets:
// open the example samples with the arcsine transform, start A-tSNE, watch
// the embedding live and pause and resume it from the plot's overlay, colour
// it, select in one plot and see the selection in a second view, read and
// save the statistics, down-sample per sample, store the default markers and
// the sample settings, and print the plot. The pieces have tests of their
// own; this one checks what crosses between them in the running program.
//
// The analyses run on the GUI thread and pump the event loop between
// iterations, so everything done while an embedding runs happens from the
// bridge's update signal, between two iterations, as a user's clicks would.
#include "ui/plot/ScatterplotTest.h"
#include "ShellTestSupport.h"
#include "data/StrictFcsReader.h"

#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "app/MainWindow.h"
#include "app/UI_Interface.h"
#include "data/MCV_Settings.h"
#include "ui/base/UI_DockableContainerWidget.h"
#include "ui/datapanels/UI_MarkerSelectionWidget.h"
#include "ui/base/UI_ModalDialogs.h"
#include "ui/web/UI_ProgressSpinnerWidget.h"
#include "ui/datapanels/UI_SampleSelectionWidget.h"
#include "ui/datapanels/UI_SampleStatisticsWidget.h"
#include "ui/datapanels/UI_SelectionStatisticsWidget.h"
#include "ui/datapanels/UI_SelectiveDownsamplingWidget.h"
#include "ui/base/UI_Settings.h"
#include "ui/plot/UI_TsneSettingsSliderWidget.h"
#include "ui/tsne/UI_TsneSettingsWidget.h"
#include "ui/tsne/UI_TsneWidget.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

namespace {

using namespace viewtest;

constexpr int kFiles = 3;
constexpr int kMarkers = 12;
constexpr int kEvents = 60000;
constexpr int kPrint = 4096;

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// ---- Pixels of plot frames and prints (RGB32) ----

bool near(QRgb a, QRgb b, int tolerance) {
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

int countNear(const QImage& image, QRgb colour, int tolerance = 2) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) n += near(line[x], colour, tolerance);
    }
    return n;
}

// Pixels of the blue selection halo while points are coloured by the default
// sample colours: those, the background and every blend of them have red of
// at least 127; the halo blended over any of them has red below 120 and blue
// of at least 200.
int countHalo(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) n += qRed(line[x]) < 120 && qBlue(line[x]) >= 200;
    }
    return n;
}

int countFlags(const std::vector<short>& flags) {
    return static_cast<int>(std::count(flags.begin(), flags.end(), short(32767)));
}

float share(float numerator, float denominator) {
    return denominator == 0.0f ? 0.0f : numerator * 100.0f / denominator;
}

double correlation(const std::vector<float>& a, const std::vector<float>& b) {
    double ma = 0, mb = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        ma += a[i];
        mb += b[i];
    }
    ma /= double(a.size());
    mb /= double(b.size());
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        ab += (a[i] - ma) * (b[i] - mb);
        aa += (a[i] - ma) * (a[i] - ma);
        bb += (b[i] - mb) * (b[i] - mb);
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0.0;
}

// ---- Finding and using widgets as a user does ----

template <typename T>
T* childWhere(QWidget* parent, const std::function<bool(T*)>& test) {
    for (T* w : parent->findChildren<T*>())
        if (test(w)) return w;
    return nullptr;
}

QPushButton* buttonText(QWidget* parent, const QString& text) {
    return childWhere<QPushButton>(parent, [&text](QPushButton* b) { return b->text() == text; });
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
// one scale for both axes, symmetric about 0 when negative, into [0.1, 0.9]
// of the centred square.
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

// Answers the next file dialog of the seam with `path`.
void answerFileDialog(const QString& path) {
    UI_ModalDialogs::answerDialog([path](QDialog* d) {
        static_cast<QFileDialog*>(d)->selectFile(path);
        d->done(QDialog::Accepted);
        return static_cast<int>(QDialog::Accepted);
    });
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

// Counts the paint events a widget receives: frames the event loop draws,
// not the ones a test grabs.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* w) { w->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
};

class MainRoad : public ::testing::Test {
protected:
    void SetUp() override {
        useProgramFormat();
        ASSERT_TRUE(examples.isValid());
        ASSERT_TRUE(out.isValid());
        QProcess generator;
        generator.start(QLMRN_MAKE_EXAMPLES, {examples.path()});
        ASSERT_TRUE(generator.waitForFinished(60000));
        ASSERT_EQ(generator.exitCode(), 0) << generator.readAllStandardError().toStdString();
        // The settings store is private to this process (see test_main).
        UI_Settings::Instance()->setValue("exportDefaultFilePath", out.path());
        UI_Settings::Instance()->sync();
        delete MCV_CytometryData::Instance();
        MCV_Settings::Instance()->setDefaultMarkers({});
        window = std::make_unique<MainWindow>();
        window->resize(1800, 1150);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        QObject::connect(window->bridge(), &UI_Interface::analysisUpdatedSignal, &guard, [this](void* a) {
            // A pause that does not stop the loop fails the counts; the loop
            // is not left to run its full thousand iterations.
            if (++updatesWatched > 100)
                for (MCV_Analysis* analysis : window->analyses())
                    if (analysis == a) static_cast<MCV_TsneAnalysis*>(analysis)->stopGradientDescent();
            if (onUpdate) onUpdate(a);
        });
        clock.start();
    }
    void TearDown() override {
        onUpdate = nullptr;
        window.reset();
        runDeferredDeletes();
        delete MCV_CytometryData::Instance();
        MCV_Settings::Instance()->setDefaultMarkers({});
        UI_Settings::Instance()->remove("exportDefaultFilePath");
        UI_Settings::Instance()->remove("dataDefaultFilePath");
    }

    // Makes the main window the application's active window, as the user's
    // click on it would: the panels look for the main window that way. Set
    // directly, not through the X server, which every test shares: another
    // test's window may take the input focus at any time.
    bool activate() {
        QApplication::setActiveWindow(window.get());
        return QApplication::activeWindow() == window.get();
    }
    QString sample(int s) const { return examples.filePath(QString("sample_%1.fcs").arg(s)); }
    static MCV_CytometryData* data() { return MCV_CytometryData::Instance(); }
    static QImage frame(UI_ScatterplotWidget* plot) {
        return plot->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
    }
    void lap(const char* step) {
        std::fprintf(stderr, "[main road] %-26s %6lld ms\n", step, static_cast<long long>(clock.restart()));
    }
    // Presses `button` (a compute or run button: the run happens inside the
    // press) with the analyses' progress lines kept off the test log.
    static void pressRunning(QPushButton* button) {
        testing::internal::CaptureStdout();
        QTest::mousePress(button, Qt::LeftButton);
        testing::internal::GetCapturedStdout();
    }

    void openExamplesAndStartATsne();
    void computeWatchPauseAndResume();
    void colourBySampleAndMarker();
    void openAndComputeSecondView();
    void selectInOneViewSeeInBoth();
    void readAndSaveStatistics();
    void downsampleAndEmbedTheSmallerSet();
    void saveDefaultMarkersAndSampleSettings();
    void printThePlot();

    QTemporaryDir examples;
    QTemporaryDir out;
    ScriptedDialogs dialogs;
    std::unique_ptr<MainWindow> window;
    QObject guard;
    // Runs `f` between two iterations of any analysis (from the bridge's
    // update signal) until the next watch.
    void watch(std::function<void(void*)> f) {
        onUpdate = std::move(f);
        updatesWatched = 0;
    }
    std::function<void(void*)> onUpdate;
    int updatesWatched = 0;
    QElapsedTimer clock;

    MCV_TsneAnalysis* tsne = nullptr;
    UI_TsneWidget* view = nullptr;
    UI_TsneSettingsWidget* panel = nullptr;
    UI_ScatterplotWidget* plot = nullptr;
    MCV_TsneAnalysis* tsne2 = nullptr;
    UI_TsneWidget* view2 = nullptr;
    UI_TsneSettingsWidget* panel2 = nullptr;
    UI_ScatterplotWidget* plot2 = nullptr;
    std::vector<unsigned> chosenMarkers;  // every marker but CD45
    std::vector<QRgb> colours;            // the sample colours of the first plot
    UI_DockableContainerWidget* extended = nullptr;
};

void MainRoad::openExamplesAndStartATsne() {
    QStringList paths;
    for (int s = 1; s <= kFiles; ++s) paths << sample(s);
    UI_ModalDialogs::answerFiles(paths);
    bool importAsked = false;
    UI_ModalDialogs::answerDialog([&importAsked](QDialog* d) {
        importAsked = true;
        d->show();
        if (!QTest::qWaitForWindowExposed(d)) return int(QDialog::Rejected);
        for (QCheckBox* box : d->findChildren<QCheckBox*>())
            if (box->text() == "Apply Hyperbolic ArcSin Transform.") QTest::mouseClick(box, Qt::LeftButton);
        auto* markers = d->findChild<UI_MarkerSelectionWidget*>();
        if (!markers || markers->checkBoxes().size() != size_t(kMarkers)) return int(QDialog::Rejected);
        QTest::mouseClick(markers->checkBoxes()[0], Qt::LeftButton);                     // CD45 stays raw
        QTest::mouseClick(d->findChild<QPushButton*>("importButton2"), Qt::LeftButton);  // "Start A-tSNE"
        return d->result();
    });
    UI_ModalDialogs::answerText("Road Embedding");
    window->findChild<QAction*>("actionOpenFile")->trigger();
    ASSERT_TRUE(importAsked);
    EXPECT_EQ(UI_ModalDialogs::unanswered(), 0);

    // The transform reached exactly the markers chosen in the dialog, in
    // every file (compared with an independent reading of the files).
    ASSERT_EQ(data()->numFiles(), kFiles);
    for (int f = 0; f < kFiles; ++f) {
        const StrictFcs raw = StrictFcs::parse(fileBytes(sample(f + 1)).toStdString());
        ASSERT_TRUE(raw.ok) << raw.error;
        const int events = data()->header(f)->numEvents();
        const size_t width = size_t(data()->header(f)->numVariables());
        ASSERT_EQ(raw.values.size(), size_t(events) * kMarkers);
        const float* loaded = data()->rawData(f);
        int wrong = 0;
        for (size_t e = 0; e < size_t(events); ++e)
            for (size_t m = 0; m < size_t(kMarkers); ++m) {
                const float r = raw.values[e * kMarkers + m];
                const float expected = m == 0 ? r : std::asinh(r / 5.0f);
                wrong += std::abs(loaded[e * width + m] - expected) > 1e-5f * (1 + std::abs(expected));
            }
        EXPECT_EQ(wrong, 0) << "file " << f;
    }

    ASSERT_EQ(window->analyses().size(), 1u);
    tsne = dynamic_cast<MCV_TsneAnalysis*>(window->analyses()[0]);
    view = qobject_cast<UI_TsneWidget*>(window->views()[0]);
    panel = qobject_cast<UI_TsneSettingsWidget*>(window->settingsPanels()[0]);
    ASSERT_TRUE(tsne && view && panel);
    EXPECT_EQ(tsne->name(), "Road Embedding");
    plot = view->plot();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(plot));
}

void MainRoad::computeWatchPauseAndResume() {
    // CD45 is left out on the panel (the embedding's own output variables
    // start unchecked); the analysis follows the check boxes.
    auto* markerPanel = panel->findChild<UI_MarkerSelectionWidget*>();
    ASSERT_NE(markerPanel, nullptr);
    ASSERT_EQ(markerPanel->checkBoxes().size(), size_t(kMarkers + 2));
    QTest::mouseClick(markerPanel->checkBoxes()[0], Qt::LeftButton);
    for (unsigned m = 1; m < unsigned(kMarkers); ++m) chosenMarkers.push_back(m);
    EXPECT_EQ(*tsne->selectedMarkers(), chosenMarkers);

    QPushButton* run = runButton(plot);
    ASSERT_NE(run, nullptr);
    EXPECT_FALSE(run->isEnabled()) << "nothing to pause before the first compute";
    PaintCounter painted(plot);

    // Compute: the plot changes between iterations and is repainted by the
    // event loop while the run goes on; the overlay's button pauses it.
    std::vector<QImage> live;
    qint64 pauseIcon = 0;
    bool spinning = false;
    int updates = 0;
    watch([&](void* a) {
        if (a != tsne) return;
        ++updates;
        if (updates == 1) {
            lap("probabilities");
            pauseIcon = run->icon().cacheKey();
            spinning = plot->spinner()->isVisible() && run->isEnabled();
        }
        if (updates % 8 == 0) live.push_back(frame(plot));
        if (updates == 24) QTest::mouseClick(run, Qt::LeftButton);
    });
    pressRunning(panel->computeTsneButton());
    QTest::mouseRelease(panel->computeTsneButton(), Qt::LeftButton);
    lap("first run");
    EXPECT_EQ(updates, 24) << "the pause ends the loop after the current iteration";
    ASSERT_EQ(tsne->numDataPoints(), kEvents);
    EXPECT_EQ(tsne->dataSelection(), data()->derivedDataPoints("All Points", true));
    EXPECT_TRUE(spinning);
    ASSERT_EQ(live.size(), 3u);
    EXPECT_NE(live[0], live[1]);
    EXPECT_NE(live[1], live[2]);
    EXPECT_GT(painted.paints, 0);
    EXPECT_FALSE(tsne->isRunning());
    EXPECT_FALSE(plot->spinner()->isVisible());
    const qint64 runIcon = run->icon().cacheKey();
    EXPECT_NE(runIcon, pauseIcon);

    // Paused: neither the coordinates nor the pixels change any more.
    const std::vector<float> paused = *tsne->output();
    const QImage pausedFrame = frame(plot);
    QCoreApplication::processEvents();
    EXPECT_EQ(frame(plot), pausedFrame);
    EXPECT_EQ(*tsne->output(), paused);

    // Resume from the same button (held down while the loop runs, as under a
    // real mouse): the loop goes on from the paused layout; pause again.
    updates = 0;
    bool resumed = false;
    std::vector<float> firstStep;
    QImage resumedFrame;
    watch([&](void* a) {
        if (a != tsne) return;
        if (++updates == 1) {
            resumed = tsne->isRunning() && run->icon().cacheKey() == pauseIcon;
            firstStep = *tsne->output();
        }
        if (updates == 8) {
            resumedFrame = frame(plot);
            QTest::mouseRelease(run, Qt::LeftButton);
            QTest::mouseClick(run, Qt::LeftButton);
        }
    });
    pressRunning(run);
    watch(nullptr);
    lap("resumed run");
    EXPECT_EQ(updates, 8);
    EXPECT_TRUE(resumed);
    // One step from the paused layout, not a new start: the coordinates moved
    // but still follow the paused ones closely.
    ASSERT_EQ(firstStep.size(), paused.size());
    EXPECT_NE(firstStep, paused);
    EXPECT_GT(correlation(firstStep, paused), 0.99);
    EXPECT_NE(resumedFrame, pausedFrame);
    EXPECT_FALSE(tsne->isRunning());
    EXPECT_EQ(run->icon().cacheKey(), runIcon);
    const std::vector<float> pausedAgain = *tsne->output();
    const QImage pausedAgainFrame = frame(plot);
    QCoreApplication::processEvents();
    EXPECT_EQ(frame(plot), pausedAgainFrame);
    EXPECT_EQ(*tsne->output(), pausedAgain);
}

void MainRoad::colourBySampleAndMarker() {
    auto* opacity = childWhere<QSlider>(plot->settingsPanel(),
                                        [](QSlider* s) { return s->minimum() == 20 && s->maximum() == 100; });
    auto* markerCombo =
        childWhere<QComboBox>(plot->settingsPanel(), [](QComboBox* c) { return c->itemText(0) == "Sample"; });
    ASSERT_TRUE(opacity && markerCombo);
    // The overlay lists the markers the view received when the run started.
    ASSERT_EQ(markerCombo->count(), 1 + kMarkers + 2);
    EXPECT_EQ(markerCombo->itemText(10).toStdString(), "HLA-DR");
    EXPECT_EQ(markerCombo->currentText().toStdString(), "Sample");

    // Opaque points show the exact colours the sample panel gave the renderer.
    QTest::keyClick(opacity, Qt::Key_End);
    colours.clear();
    const std::vector<unsigned char>& bytes = *plot->samplePanel()->sampleColors();
    for (size_t i = 0; i + 2 < bytes.size(); i += 3) colours.push_back(qRgb(bytes[i], bytes[i + 1], bytes[i + 2]));
    ASSERT_EQ(colours.size(), size_t(kFiles));
    for (QRgb c : colours) ASSERT_GE(qRed(c), 127) << "countHalo relies on it";
    const QImage bySample = frame(plot);
    for (int f = 0; f < kFiles; ++f) EXPECT_GT(countNear(bySample, colours[size_t(f)]), 200) << "sample " << f;
    EXPECT_EQ(countHalo(bySample), 0);

    // A marker from the combo's keyboard search replaces the sample colours.
    QTest::keyClicks(markerCombo, "H");
    ASSERT_EQ(markerCombo->currentText().toStdString(), "HLA-DR");
    EXPECT_EQ(plot->currentMarker(), 9);
    const QImage byMarker = frame(plot);
    int sampleColoured = 0;
    for (QRgb c : colours) sampleColoured += countNear(byMarker, c);
    EXPECT_LT(sampleColoured, 20);
    QTest::keyClick(markerCombo, Qt::Key_Home);
    ASSERT_EQ(markerCombo->currentText().toStdString(), "Sample");
    EXPECT_EQ(plot->currentMarker(), -1);
    EXPECT_EQ(frame(plot), bySample);
}

void MainRoad::openAndComputeSecondView() {
    // "New A-tSNE Analysis" from the Analysis menu, by mouse.
    QMenu* menu = nullptr;
    QAction* newTsne = nullptr;
    for (QAction* top : window->menuBar()->actions())
        if (top->menu())
            for (QAction* a : top->menu()->actions())
                if (a->text() == "New A-tSNE Analysis") {
                    menu = top->menu();
                    newTsne = a;
                }
    ASSERT_TRUE(menu && newTsne);
    QTest::mouseClick(window->menuBar(), Qt::LeftButton, {},
                      window->menuBar()->actionGeometry(menu->menuAction()).center());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
    UI_ModalDialogs::answerText("Second Embedding");
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(newTsne).center());
    ASSERT_EQ(window->analyses().size(), 2u);
    tsne2 = dynamic_cast<MCV_TsneAnalysis*>(window->analyses()[1]);
    view2 = qobject_cast<UI_TsneWidget*>(window->views()[1]);
    panel2 = qobject_cast<UI_TsneSettingsWidget*>(window->settingsPanels()[1]);
    ASSERT_TRUE(tsne2 && view2 && panel2);
    EXPECT_EQ(view2->windowTitle(), "Second Embedding");
    plot2 = view2->plot();
    // The new dock splits the right area; the user drags the separator to
    // give both plots the same height.
    window->resizeDocks({view, view2}, {1, 1}, Qt::Vertical);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(plot2));
    ASSERT_TRUE(QTest::qWaitFor([&] { return plot->height() > 400 && plot2->height() > 400; }));

    // Same markers; perplexity 5 typed into the panel reaches this analysis
    // only.
    auto* markerPanel2 = panel2->findChild<UI_MarkerSelectionWidget*>();
    ASSERT_NE(markerPanel2, nullptr);
    QTest::mouseClick(markerPanel2->checkBoxes()[0], Qt::LeftButton);
    EXPECT_EQ(*tsne2->selectedMarkers(), chosenMarkers);
    QSpinBox* perplexity = panel2->perplexityBox();
    QTest::keyClick(perplexity, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(perplexity, "5");
    QTest::keyClick(perplexity, Qt::Key_Return);
    EXPECT_EQ(tsne2->perplexity(), 5);
    EXPECT_EQ(tsne->perplexity(), 30);

    // " Compute tSNE "; paused from its own overlay after a few iterations,
    // while the first analysis stays as it was.
    QPushButton* run2 = runButton(plot2);
    ASSERT_NE(run2, nullptr);
    const std::vector<float> first = *tsne->output();
    int updates = 0, othersUpdated = 0;
    watch([&](void* a) {
        if (a != tsne2) {
            ++othersUpdated;
            return;
        }
        if (++updates == 1) lap("second probabilities");
        if (updates == 8) QTest::mouseClick(run2, Qt::LeftButton);
    });
    pressRunning(panel2->computeTsneButton());
    QTest::mouseRelease(panel2->computeTsneButton(), Qt::LeftButton);
    watch(nullptr);
    EXPECT_EQ(updates, 8);
    EXPECT_EQ(othersUpdated, 0);
    EXPECT_EQ(tsne2->runPerplexity(), 5.0f);
    ASSERT_EQ(tsne2->numDataPoints(), kEvents);
    EXPECT_EQ(*tsne->output(), first);
    EXPECT_FALSE(tsne2->isRunning());
}

void MainRoad::selectInOneViewSeeInBoth() {
    EXPECT_EQ(countHalo(frame(plot)), 0);
    EXPECT_EQ(countHalo(frame(plot2)), 0);
    const std::pair<QPoint, QPoint> box = squareOverPoints(plot, *tsne->output());
    drag(plot, box.first, box.second);

    // The shared set holds exactly the events of the points selected in the
    // first plot; both views mark them.
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
    // The halo shows in both plots.
    const int halo = countHalo(frame(plot)), halo2 = countHalo(frame(plot2));
    EXPECT_GT(halo, 100);
    EXPECT_GT(halo2, 100);
    std::fprintf(stderr, "[main road] %d events selected, %d and %d halo pixels\n", count, halo, halo2);

    // Ctrl+D in the second plot clears the selection everywhere.
    QTest::keyClick(plot2, Qt::Key_D, Qt::ControlModifier);
    EXPECT_TRUE(shared->data().empty());
    EXPECT_EQ(countFlags(view->selectionFlags()), 0);
    EXPECT_EQ(countFlags(view2->selectionFlags()), 0);
    EXPECT_EQ(countHalo(frame(plot)), 0);
    EXPECT_EQ(countHalo(frame(plot2)), 0);
}

void MainRoad::readAndSaveStatistics() {
    // A selection drawn in the second view; the first view's panels report it.
    const std::pair<QPoint, QPoint> box = squareOverPoints(plot2, *tsne2->output());
    drag(plot2, box.first, box.second);
    const std::vector<std::pair<int, int>> picked = data()->selectionPoints()->data();
    ASSERT_GT(picked.size(), 100u);
    EXPECT_EQ(countFlags(view->selectionFlags()), int(picked.size()));
    std::vector<int> perFile(kFiles, 0);
    for (const auto& p : picked) ++perFile[size_t(p.first)];

    // The overlay's options button opens the Extended Settings dock.
    QPushButton* options = childWhere<QPushButton>(
        plot->settingsPanel(), [](QPushButton* b) { return b->styleSheet().contains("optionsBt"); });
    ASSERT_NE(options, nullptr);
    ASSERT_TRUE(activate());
    QTest::mouseClick(options, Qt::LeftButton);
    extended = plot->settingsPanel()->extendedSettingsWidget();
    EXPECT_EQ(extended->windowTitle(), "Extended Settings");
    EXPECT_EQ(extended->parentWidget(), window.get());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(extended));
    ASSERT_NE(extended->tabWidget(), nullptr);

    // Sample statistics against counts from the data model, then its CSV.
    ASSERT_EQ(showTab(extended->tabWidget(), "Sample Statistics"), plot->sampleStatisticsPanel());
    QTableWidget* table = plot->sampleStatisticsPanel()->statisticsTable();
    ASSERT_EQ(table->rowCount(), kFiles);
    std::vector<float> inSelection(kFiles);
    float sum = 0;
    for (int f = 0; f < kFiles; ++f) {
        inSelection[size_t(f)] = share(float(perFile[size_t(f)]), float(data()->header(f)->numEvents()));
        sum += inSelection[size_t(f)];
    }
    QStringList csv = {
        "Idx, Filename, Total events, in selection, % in selection, % of selection, "
        "% of selection normalized"};
    for (int f = 0; f < kFiles; ++f) {
        const int events = data()->header(f)->numEvents();
        const float ofSelection = share(float(perFile[size_t(f)]), float(picked.size()));
        const float normalized = share(inSelection[size_t(f)], sum);
        EXPECT_EQ(table->item(f, 1)->text(), QString("sample_%1.fcs").arg(f + 1));
        EXPECT_EQ(table->item(f, 2)->data(Qt::DisplayRole).toInt(), events);
        EXPECT_EQ(table->item(f, 3)->data(Qt::DisplayRole).toInt(), perFile[size_t(f)]);
        EXPECT_FLOAT_EQ(table->item(f, 4)->data(Qt::DisplayRole).toFloat(), inSelection[size_t(f)]);
        EXPECT_FLOAT_EQ(table->item(f, 5)->data(Qt::DisplayRole).toFloat(), ofSelection);
        EXPECT_FLOAT_EQ(table->item(f, 6)->data(Qt::DisplayRole).toFloat(), normalized);
        csv << QString::asprintf("%d, sample_%d.fcs, %d, %d, %g, %g, %g", f + 1, f + 1, events, perFile[size_t(f)],
                                 double(inSelection[size_t(f)]), double(ofSelection), double(normalized));
    }
    const QString csvFile = out.filePath("sample statistics.csv");
    answerFileDialog(csvFile);
    QTest::mouseClick(buttonText(plot->sampleStatisticsPanel(), "Save ..."), Qt::LeftButton);
    EXPECT_EQ(QString::fromUtf8(fileBytes(csvFile)).toStdString(), csv.join('\n').toStdString());

    // Selection statistics after "Refresh": the means of the selected events,
    // raw (CD45) and transformed (HLA-DR).
    ASSERT_EQ(showTab(extended->tabWidget(), "Selection Statistics"), plot->selectionStatisticsPanel());
    QTest::mouseClick(plot->selectionStatisticsPanel()->refreshPushButton(), Qt::LeftButton);
    QTableWidget* markers = plot->selectionStatisticsPanel()->statisticsTable();
    EXPECT_EQ(markers->item(1, 0)->text(), "Mean");
    for (int m : {0, 9}) {
        double mean = 0;
        for (const auto& p : picked)
            mean += data()->rawData(
                p.first)[size_t(p.second) * size_t(data()->header(p.first)->numVariables()) + size_t(m)];
        mean /= double(picked.size());
        EXPECT_EQ(markers->horizontalHeaderItem(m + 1)->text().toStdString(),
                  data()->combinedHeader()->variableName(m));
        EXPECT_NEAR(markers->item(1, m + 1)->text().toDouble(), mean, 0.0051 + 1e-5 * std::abs(mean)) << m;
    }
}

void MainRoad::downsampleAndEmbedTheSmallerSet() {
    ASSERT_TRUE(activate());
    QTest::mouseClick(buttonText(panel, "Downsampling ..."), Qt::LeftButton);
    UI_SelectiveDownsamplingWidget* downsampling = panel->downsampling();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(downsampling));
    QTableWidget* counts = downsampling->countsTable();
    ASSERT_EQ(counts->rowCount(), kFiles);
    const std::vector<int> targets = {300, 200, 100};
    for (int f = 0; f < kFiles; ++f) {
        EXPECT_EQ(counts->item(f, 1)->text().toInt(), data()->header(f)->numEvents());
        EXPECT_TRUE(typeIntoCell(counts, f, 2, QString::number(targets[size_t(f)])));
    }
    ASSERT_EQ(downsampling->targets(), targets);
    QTest::mouseClick(buttonText(downsampling, "Downsample"), Qt::LeftButton);
    MCV_DerivedDataPoints* smaller = data()->derivedDataPoints().back();
    ASSERT_EQ(smaller->name(), "All Points-downsampled");
    EXPECT_EQ(smaller->pointsPerFile(), targets);
    EXPECT_EQ(smaller->data().size(), 600u);
    // The shell handed the new set to every settings panel.
    for (UI_TsneSettingsWidget* p : {panel, panel2}) {
        EXPECT_EQ(p->inputCombo()->currentText().toStdString(), "All Points-downsampled");
        EXPECT_EQ(p->chosenInput(), smaller);
        EXPECT_EQ(p->downsampling()->countsTable()->item(2, 1)->text(), "100");
    }

    // The second view embeds exactly the kept events.
    QPushButton* run2 = runButton(plot2);
    int updates = 0;
    watch([&](void* a) {
        if (a == tsne2 && ++updates == 8) QTest::mouseClick(run2, Qt::LeftButton);
    });
    pressRunning(panel2->computeTsneButton());
    QTest::mouseRelease(panel2->computeTsneButton(), Qt::LeftButton);
    watch(nullptr);
    ASSERT_EQ(tsne2->numDataPoints(), 600);
    EXPECT_EQ(tsne2->dataSelection(), smaller);
    std::vector<int> embeddedPerFile(kFiles, 0);
    for (int f : *tsne2->outputFileIdxs()) ++embeddedPerFile[size_t(f)];
    EXPECT_EQ(embeddedPerFile, targets);
    std::vector<std::pair<int, int>> embedded = *tsne2->pointReferences(), kept = smaller->data();
    std::sort(embedded.begin(), embedded.end());
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(embedded, kept);
    QTableWidget* table2 = plot2->sampleStatisticsPanel()->statisticsTable();
    for (int f = 0; f < kFiles; ++f)
        EXPECT_EQ(table2->item(f, 2)->data(Qt::DisplayRole).toInt(), targets[size_t(f)]) << f;
}

void MainRoad::saveDefaultMarkersAndSampleSettings() {
    // "Set Default" writes the flags beside the data the import read.
    auto* markerPanel = panel->findChild<UI_MarkerSelectionWidget*>();
    QTest::mouseClick(buttonText(markerPanel, "Set Default"), Qt::LeftButton);
    EXPECT_EQ(fileBytes(examples.filePath("QLMRN_DefaultMarkers.txt")), QByteArray("0 1 1 1 1 1 1 1 1 1 1 1 0 0 "));
    EXPECT_EQ(MCV_Settings::Instance()->defaultMarkers, markerPanel->markerSelectionState());

    // sample_3 switched off in "Select Samples" leaves the plot; the saved
    // settings hold the flags and the colours the plot was drawn with.
    ASSERT_EQ(showTab(extended->tabWidget(), "Select Samples"), plot->samplePanel());
    QTest::mouseClick(plot->samplePanel()->checkBox(2), Qt::LeftButton);
    const QImage twoSamples = frame(plot);
    EXPECT_GT(countNear(twoSamples, colours[0]), 200);
    EXPECT_GT(countNear(twoSamples, colours[1]), 200);
    EXPECT_EQ(countNear(twoSamples, colours[2]), 0);
    const QString settingsFile = out.filePath("samples.txt");
    answerFileDialog(settingsFile);
    QTest::mouseClick(buttonText(plot->samplePanel(), "Save Settings ..."), Qt::LeftButton);
    QStringList lines;
    for (int f = 0; f < kFiles; ++f) {
        const QRgb c = colours[size_t(f)];
        lines << QString::asprintf("sample_%d.fcs %d %d %d %d", f + 1, f < 2 ? 1 : 0, qRed(c), qGreen(c), qBlue(c));
    }
    EXPECT_EQ(QString::fromUtf8(fileBytes(settingsFile)).toStdString(), lines.join('\n').toStdString());
}

void MainRoad::printThePlot() {
    // The saves above left their folder as the export folder.
    ASSERT_TRUE(QDir(out.path()).entryList({"*.png"}, QDir::Files).isEmpty());
    QTest::keyClick(plot, Qt::Key_P, Qt::ControlModifier);
    const QStringList prints = QDir(out.path()).entryList({"*.png"}, QDir::Files);
    ASSERT_EQ(prints.size(), 1);
    EXPECT_TRUE(prints[0].startsWith("sampleTag_")) << prints[0].toStdString();
    const QImage print = QImage(out.filePath(prints[0])).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(print.size(), QSize(kPrint, kPrint));
    for (QPoint corner : {QPoint(0, 0), QPoint(kPrint - 1, 0), QPoint(0, kPrint - 1), QPoint(kPrint - 1, kPrint - 1)})
        EXPECT_EQ(print.pixel(corner) & 0xffffffu, 0xffffffu);
    EXPECT_GT(countNear(print, colours[0]), 10000);
    EXPECT_GT(countNear(print, colours[1]), 10000);
    EXPECT_EQ(countNear(print, colours[2]), 0) << "the hidden sample is not printed";
}

TEST_F(MainRoad, FromTheExampleFilesToAPrintedPlot) {
    ASSERT_NO_FATAL_FAILURE(openExamplesAndStartATsne());
    lap("open and Start A-tSNE");
    ASSERT_NO_FATAL_FAILURE(computeWatchPauseAndResume());
    ASSERT_NO_FATAL_FAILURE(colourBySampleAndMarker());
    lap("colours");
    ASSERT_NO_FATAL_FAILURE(openAndComputeSecondView());
    lap("second view");
    ASSERT_NO_FATAL_FAILURE(selectInOneViewSeeInBoth());
    lap("selection in both views");
    ASSERT_NO_FATAL_FAILURE(readAndSaveStatistics());
    lap("statistics");
    ASSERT_NO_FATAL_FAILURE(downsampleAndEmbedTheSmallerSet());
    lap("down-sampling");
    ASSERT_NO_FATAL_FAILURE(saveDefaultMarkersAndSampleSettings());
    lap("defaults and settings");
    ASSERT_NO_FATAL_FAILURE(printThePlot());
    lap("print");
}

}  // namespace
