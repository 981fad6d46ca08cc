// The A-tSNE view with the real bridge.
#include "ui/plot/ScatterplotTest.h"

#include "app/UI_Interface.h"
#include "support/CapturedOutput.h"
#include "support/Pixels.h"
#include "ui/base/UI_ModalDialogs.h"
#include "ui/datapanels/UI_MarkerSelectionWidget.h"
#include "ui/plot/UI_ScreenshotDialog.h"
#include "ui/plot/UI_TsneSettingsSliderWidget.h"
#include "ui/tsne/UI_TsneWidget.h"
#include "ui/web/UI_ProgressSpinnerWidget.h"

#include <QCheckBox>
#include <QDir>
#include <QGuiApplication>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QWindow>

#include <vector>

namespace {

using namespace viewtest;

// Two files of 40 events in two blobs over CD3, CD4, CD8, then the output
// variables the analyses write; two analyses, each with its view.
class TsneView : public ::testing::Test {
protected:
    void SetUp() override {
        useProgramFormat();
        delete MCV_CytometryData::Instance();
        MCV_CytometryData* data = MCV_CytometryData::Instance();
        data->init(&bridge);
        std::mt19937 random(3);
        std::normal_distribution<float> noise(0.0f, 1.0f);
        for (int f = 0; f < 2; ++f) {
            std::vector<std::vector<float>> rows;
            for (int i = 0; i < 40; ++i)
                rows.push_back({20.0f * (i % 2) + noise(random), noise(random), 20.0f * (1 - i % 2) + noise(random)});
            ASSERT_EQ(data->loadFromFile(FcsTestFile::floats(rows).write(dir, "s" + std::to_string(f) + ".fcs")), 0);
        }
        data->initAllDerviedDataPointer();
        data->addDimensions({"QLMRN_TsneX", "QLMRN_TsneY"}, 0.0f);
        using V = UI_TsneWidget;
        for (int i = 0; i < 2; ++i) {
            analyses[i] = std::make_unique<MCV_TsneAnalysis>();
            analyses[i]->init(&bridge, "A-tSNE " + std::to_string(i + 1));
            analyses[i]->setIterations(0);
            analyses[i]->setSeed(static_cast<int>(i) + 1);
            analyses[i]->setContinuousUpdates(true);
            analyses[i]->setActiveDataSelection(data->derivedDataPoints("All Points", true));
            views[i] = std::make_unique<V>(nullptr, analyses[i].get());
            QObject::connect(&bridge, &UI_Interface::analysisInitializedSignal, views[i].get(), &V::initComputation);
            QObject::connect(&bridge, &UI_Interface::analysisUpdatedSignal, views[i].get(), &V::computationUpdated);
            QObject::connect(&bridge, &UI_Interface::analysisFinishedSignal, views[i].get(), &V::computationFinished);
            views[i]->plot()->setFixedSize(260, 260);
            views[i]->move(20 + 300 * i, 20);  // side by side: neither hides the other on screen
            views[i]->setVisibility(true);
            views[i]->show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(views[i].get()));
            views[i]->plot()->grabFramebuffer();
        }
    }
    void TearDown() override {
        for (auto& v : views) v.reset();
        for (auto& a : analyses) a.reset();
        delete MCV_CytometryData::Instance();
    }
    void compute(int i) {
        quietly([&] { analyses[i]->computeTSNE(); });
    }
    // The colours of the first analysis' leftmost and rightmost points in a
    // square image of its plot.
    std::pair<QRgb, QRgb> extremeColours(const QImage& image) const {
        const std::vector<float>& xy = *analyses[0]->output();
        const auto [lo, hi] = plotRange(xy);
        auto at = [&, lo = lo, hi = hi](size_t p) {
            auto pixel = [&](float v) { return int(((v - lo) / (hi - lo) * 0.8f + 0.1f) * image.width()); };
            return image.pixel(pixel(xy[2 * p]), image.height() - 1 - pixel(xy[2 * p + 1]));
        };
        size_t left = 0, right = 0;
        for (size_t p = 0; 2 * p < xy.size(); ++p) {
            if (xy[2 * p] < xy[2 * left]) left = p;
            if (xy[2 * p] > xy[2 * right]) right = p;
        }
        return {at(left), at(right)};
    }

    UI_Interface bridge;
    QTemporaryDir dir;
    std::unique_ptr<MCV_TsneAnalysis> analyses[2];
    std::unique_ptr<UI_TsneWidget> views[2];
};

TEST_F(TsneView, PlotChangesBetweenIterationsOfItsOwnAnalysisOnly) {
    UI_TsneWidget* view = views[0].get();
    // Every iteration gets its frame, whatever the machine's load. Frames are
    // counted as the window presents them (screen grabs would see the windows
    // of tests running beside this one).
    view->framePacer() = UI_FramePacer(1.0, UI_FramePacer::Clock::duration::zero());
    int frames = 0, framesAtFifth = 0, updates = 0;
    QObject::connect(view->plot(), &QOpenGLWidget::frameSwapped, [&frames] { ++frames; });
    std::vector<float> fifth;
    QObject::connect(&bridge, &UI_Interface::analysisUpdatedSignal, [&](void* a) {
        if (a != analyses[0].get() || ++updates != 5) return;
        fifth = *analyses[0]->output();
        framesAtFifth = frames;
    });
    analyses[0]->setIterations(200);
    compute(0);
    EXPECT_GT(frames - framesAtFifth, 50) << "the window shows the run while it goes on";
    EXPECT_NE(fifth, *analyses[0]->output());
    EXPECT_EQ(views[1]->plot()->pointRenderer()->markerRanges()->size(), 0u) << "the other view is not fed";
}

TEST_F(TsneView, SharedPairsMarkExactlyTheirPoints) {
    compute(0);
    const auto& refs = *analyses[0]->pointReferences();
    ASSERT_EQ(refs.size(), 80u);
    // Two events, one given twice, plus pairs that name nothing loaded.
    std::vector<std::pair<int, int>> pairs = {refs[3], refs[50], refs[3], {7, 0}, {0, 9999}, {-1, 2}};
    views[0]->select(&pairs);
    // A computation signal of another analysis changes nothing here.
    views[0]->initComputation(analyses[1].get());
    views[0]->computationUpdated(analyses[1].get());
    std::vector<short> expected(80, 0);
    expected[3] = expected[50] = 32767;
    EXPECT_EQ(views[0]->selectionFlags(), expected);

    UI_TsneWidget bare(nullptr, nullptr);
    bare.select(&pairs);  // without analysis: no plot, no crash
    bare.scatterplotSelectionUpdated();
}

TEST_F(TsneView, MarkerRangeOfTheOutputFollowsTheValuesInViewAndPrintsWhileAUserRangeStays) {
    analyses[0]->setIterations(60);
    compute(0);
    UI_ScatterplotWidget* plot = views[0]->plot();
    const int x = MCV_CytometryData::Instance()->combinedHeader()->variableIdx("QLMRN_TsneX");
    plot->setMarker(x);
    plot->pointOpacityChanged(1.0f);
    plot->pointSizeChanged(0.03f);
    const std::vector<float>& xy = *analyses[0]->output();
    float lo = xy[0], hi = xy[0];
    for (size_t p = 0; p < xy.size(); p += 2) lo = std::min(lo, xy[p]), hi = std::max(hi, xy[p]);
    const std::vector<std::pair<float, float>>& ranges = *plot->pointRenderer()->markerRanges();
    EXPECT_EQ(ranges.at(size_t(x)), std::make_pair(lo, hi));

    // The series takes the current values again; the range the user set for CD3 stays.
    plot->setMarker(0);
    plot->setMarkerSpan(2.0f, 3.0f);
    plot->setMarker(x);
    QTemporaryDir out;
    UI_ModalDialogs::setScripted(true);
    UI_ModalDialogs::answerDirectory(out.path());
    UI_ModalDialogs::answerDialog([x](QDialog* d) {
        auto* dialog = qobject_cast<UI_ScreenshotDialog*>(d);
        const std::vector<QCheckBox*>& boxes = dialog->markerSelection()->checkBoxes();
        for (size_t i = 0; i < boxes.size(); ++i) boxes[i]->setChecked(int(i) == x);
        dialog->markerSelection()->sampleBox()->setChecked(false);
        dialog->findChild<QPushButton*>("folderButton")->click();
        dialog->findChild<QPushButton*>("capture")->click();
        return dialog->result();
    });
    emit plot->settingsPanel()->screenshotButtonPressed();
    UI_ModalDialogs::setScripted(false);
    UI_ModalDialogs::reset();
    const QStringList prints = QDir(out.path()).entryList({"*.png"});
    ASSERT_EQ(prints.size(), 1);
    const auto [printLeft, printRight] =
        extremeColours(QImage(QDir(out.path()).filePath(prints[0])).convertToFormat(QImage::Format_RGB32));
    EXPECT_FALSE(rgbNear(printLeft, printRight, 60)) << "one flat colour in the print";
    EXPECT_EQ(ranges[0], std::make_pair(2.0f, 3.0f)) << "the user's range of CD3";
}

// Frame pacings a run is tried with: a frame per update, the default, and
// only the frames that are always drawn (the first and the last).
struct Pacing {
    const char* name;
    UI_FramePacer pacer;
};
std::vector<Pacing> pacingsToTry() {
    return {{"every update", UI_FramePacer(1.0, UI_FramePacer::Clock::duration::zero())},
            {"default", UI_FramePacer()},
            {"all but the first and the last", UI_FramePacer(1e-9)}};
}

// The run's result does not depend on how often the view draws it, and the
// view ends on that result bit for bit, its last frame drawn after the last
// update. (Each compute takes the previous run's output variables as markers,
// so the runs compared here are new descents from the same probabilities.)
TEST_F(TsneView, EveryPacingEndsOnTheRunsOwnResultBitForBit) {
    analyses[0]->setIterations(100);
    compute(0);
    const auto descent = [this] { quietly([this] { analyses[0]->computeGradientDescent(); }); };
    std::vector<float> deaf;
    {
        QSignalBlocker nobody(&bridge);
        descent();
        deaf = *analyses[0]->output();
    }
    ASSERT_EQ(deaf.size(), 160u);
    const std::vector<Pacing> pacings = pacingsToTry();
    for (const Pacing& p : pacings) {
        views[0]->framePacer() = p.pacer;
        int frames = 0, framesAfterLastUpdate = 0;
        const QMetaObject::Connection counting = QObject::connect(views[0]->plot(), &QOpenGLWidget::frameSwapped,
                                                                  [&] { ++frames, ++framesAfterLastUpdate; });
        const QMetaObject::Connection updates =
            QObject::connect(&bridge, &UI_Interface::analysisUpdatedSignal, [&](void*) { framesAfterLastUpdate = 0; });
        descent();
        QObject::disconnect(counting);
        QObject::disconnect(updates);
        EXPECT_EQ(*analyses[0]->output(), deaf) << p.name;
        EXPECT_EQ(views[0]->plot()->pointRenderer()->positions(), deaf) << p.name;
        EXPECT_GE(framesAfterLastUpdate, 1) << p.name;
        EXPECT_GE(frames, 2) << p.name;
    }
}

// The busy ring turns during a run and is gone from the frame that shows the
// result; hiding it later would draw and compose the plot once more after
// the run. Frames are counted as the window presents them, less those its
// exposure asks for (windows of tests beside this one come and go).
TEST_F(TsneView, TheRingLeavesWithTheFinalFrameAndNoFrameFollows) {
    analyses[0]->setIterations(60);
    compute(0);
    auto* ring = views[0]->plot()->findChild<UI_ProgressSpinnerWidget*>();
    ASSERT_NE(ring, nullptr);
    struct Exposes : QObject {
        int count = 0;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Expose) ++count;
            return false;
        }
    } exposes;
    views[0]->window()->windowHandle()->installEventFilter(&exposes);
    const std::vector<Pacing> pacings = pacingsToTry();
    for (const Pacing& p : pacings) {
        views[0]->framePacer() = p.pacer;
        bool ringInRun = false, ringAfterLastUpdate = true, updated = false;
        int framesAfterLastUpdate = 0, frames = 0;
        const QMetaObject::Connection counting = QObject::connect(views[0]->plot(), &QOpenGLWidget::frameSwapped, [&] {
            ++frames;
            if (updated) ++framesAfterLastUpdate, ringAfterLastUpdate = ring->isVisible();
        });
        const QMetaObject::Connection updates =
            QObject::connect(&bridge, &UI_Interface::analysisUpdatedSignal, [&](void*) {
                updated = true;
                framesAfterLastUpdate = 0;
                ringInRun = ringInRun || ring->isVisible();
            });
        ring->show();  // as the panel's Compute does
        quietly([this] { analyses[0]->computeGradientDescent(); });
        EXPECT_TRUE(ringInRun) << p.name;
        EXPECT_GE(framesAfterLastUpdate, 1) << p.name;
        EXPECT_FALSE(ringAfterLastUpdate) << p.name << ": the final frame shows no ring";
        EXPECT_FALSE(ring->isVisible()) << p.name;
        EXPECT_EQ(views[0]->plot()->pointRenderer()->positions(), *analyses[0]->output()) << p.name;
        const int atEnd = frames, exposedAtEnd = exposes.count;
        QTest::qWait(100);
        QObject::disconnect(counting);
        QObject::disconnect(updates);
        if (exposes.count == exposedAtEnd) {
            EXPECT_EQ(frames, atEnd) << p.name << ": a frame after the run";
        }
    }
}

// A rectangle drawn while the run goes on selects by the newest positions,
// whether or not a frame has shown them yet.
TEST_F(TsneView, ARectangleDuringTheRunSelectsByTheNewestPositions) {
    views[0]->framePacer() = UI_FramePacer(1e-9);  // no frame but the first and the last
    analyses[0]->setIterations(120);
    UI_ScatterplotWidget* plot = views[0]->plot();
    struct Probe {
        int update;
        QPoint from, to;  // widget pixels
        std::vector<int> selected, expected;
    };
    std::vector<Probe> probes = {
        {40, {10, 10}, {130, 250}, {}, {}}, {75, {130, 10}, {250, 130}, {}, {}}, {110, {60, 60}, {200, 200}, {}, {}}};
    int updates = 0;
    QObject::connect(&bridge, &UI_Interface::analysisUpdatedSignal, [&](void* a) {
        if (a != analyses[0].get()) return;
        ++updates;
        for (Probe& probe : probes) {
            if (probe.update != updates) continue;
            sendDrag(plot, probe.from, probe.to);
            probe.selected = *plot->selectionIdxs();
            // The renderer's placement of the current output, in the same
            // float steps: one symmetric range, then [0.1, 0.9] of the square.
            const std::vector<float>& xy = *analyses[0]->output();
            const auto [lo, hi] = plotRange(xy);
            const float side = static_cast<float>(plot->height());
            const auto at = [&, lo = lo, hi = hi](float v) {
                return static_cast<float>(static_cast<double>((v - lo) / (hi - lo)) * 0.8 + 0.1);
            };
            const float x0 = static_cast<float>(std::min(probe.from.x(), probe.to.x())) / side;
            const float x1 = static_cast<float>(std::max(probe.from.x(), probe.to.x())) / side;
            const float y0 = static_cast<float>(plot->height() - std::max(probe.from.y(), probe.to.y())) / side;
            const float y1 = static_cast<float>(plot->height() - std::min(probe.from.y(), probe.to.y())) / side;
            for (size_t i = 0; 2 * i < xy.size(); ++i) {
                const float u = at(xy[2 * i]), v = at(xy[2 * i + 1]);
                if (x0 <= u && u <= x1 && y0 <= v && v <= y1) probe.expected.push_back(static_cast<int>(i));
            }
        }
    });
    compute(0);
    for (const Probe& probe : probes) {
        EXPECT_EQ(probe.selected, probe.expected) << "at update " << probe.update;
        EXPECT_FALSE(probe.expected.empty()) << "at update " << probe.update;
    }
}

// Between frames events are processed at least every few iterations: a stop
// posted during the run ends it long before its iteration count.
TEST_F(TsneView, AStopPostedDuringTheRunIsHeardBetweenFrames) {
    views[0]->framePacer() = UI_FramePacer(1e-9);
    analyses[0]->setIterations(1000000);
    int updates = 0;
    QObject::connect(&bridge, &UI_Interface::analysisUpdatedSignal, [&](void* a) {
        if (a != analyses[0].get() || ++updates != 20) return;
        QTimer::singleShot(0, [this] { analyses[0]->stopGradientDescent(); });
    });
    compute(0);
    EXPECT_LT(updates, 1000000);
    EXPECT_FALSE(analyses[0]->isRunning());
    EXPECT_EQ(views[0]->plot()->pointRenderer()->positions(), *analyses[0]->output());
}

}  // namespace
