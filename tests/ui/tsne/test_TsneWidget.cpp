// The A-tSNE view with the real bridge: it is fed when its own analysis
// starts, repaints live between iterations, and couples the plot's selection
// with the shared "Selection" set in both directions across two views.
#include "support/CapturedOutput.h"
#include "ui/plot/ScatterplotTest.h"

#include "app/UI_Interface.h"
#include "ui/web/UI_ProgressSpinnerWidget.h"
#include "ui/tsne/UI_TsneWidget.h"

#include <QGuiApplication>
#include <QScreen>
#include <QThread>

namespace {

using namespace viewtest;

class TsneWidgetTest : public ::testing::Test {
protected:
    void SetUp() override {
        useProgramFormat();
        delete MCV_CytometryData::Instance();
        MCV_CytometryData* data = MCV_CytometryData::Instance();
        data->init(&bridge);
        ASSERT_TRUE(dir.isValid());
        std::mt19937 random(3);
        std::normal_distribution<float> noise(0.0f, 1.0f);
        for (int f = 0; f < 2; ++f) {
            std::vector<std::vector<float>> rows;
            for (int i = 0; i < 40; ++i) {
                const int blob = i % 2;
                rows.push_back(
                    {(blob ? 20.0f : 0.0f) + noise(random), noise(random), (blob ? 0.0f : 20.0f) + noise(random)});
            }
            FcsTestFile fcs = FcsTestFile::floats(rows);
            fcs.set("$P1S", "CD3");
            fcs.set("$P2S", "CD4");
            fcs.set("$P3S", "CD8");
            ASSERT_EQ(data->loadFromFile(fcs.write(dir, "s" + std::to_string(f) + ".fcs")), 0);
        }
        data->initAllDerviedDataPointer();
        for (int i = 0; i < 2; ++i) {
            analyses[i] = std::make_unique<MCV_TsneAnalysis>();
            analyses[i]->init(&bridge, "A-tSNE " + std::to_string(i + 1));
            analyses[i]->setIterations(0);
            analyses[i]->setContinuousUpdates(true);
            analyses[i]->setActiveDataSelection(data->derivedDataPoints("All Points", true));
            views[i] = std::make_unique<UI_TsneWidget>(nullptr, analyses[i].get());
            connectLikeTheShell(views[i].get());
            views[i]->resize(260, 260);
            // Side by side: what one window shows on screen is not hidden by the other.
            views[i]->move(20 + 300 * i, 20);
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
    void connectLikeTheShell(UI_TsneWidget* view) {
        using B = UI_Interface;
        using V = UI_TsneWidget;
        QObject::connect(&bridge, &B::analysisInitializedSignal, view, &V::initComputation);
        QObject::connect(&bridge, &B::analysisUpdatedSignal, view, &V::computationUpdated);
        QObject::connect(&bridge, &B::analysisFinishedSignal, view, &V::computationFinished);
        QObject::connect(&bridge, &B::dataRefreshedSignal, view, &V::dataRefreshed);
        QObject::connect(&bridge, &B::selectionRefreshedSignal, view, &V::selectionRefreshed);
        QObject::connect(&bridge, &B::highlightRefreshedSignal, view, &V::highlightRefreshed);
    }
    void compute(int i) {
        quietly([&] { analyses[i]->computeTSNE(); });
    }
    static int count(const std::vector<short>& flags, short value) {
        return static_cast<int>(std::count(flags.begin(), flags.end(), value));
    }

    UI_Interface bridge;
    QTemporaryDir dir;
    std::unique_ptr<MCV_TsneAnalysis> analyses[2];
    std::unique_ptr<UI_TsneWidget> views[2];
};

TEST_F(TsneWidgetTest, PlotChangesBetweenIterationsOfItsOwnAnalysisOnly) {
    const QImage idle1 = views[1]->plot()->grabFramebuffer();
    std::vector<QImage> frames;
    std::vector<QImage> onScreen;
    int updates = 0;
    UI_TsneWidget* view = views[0].get();
    // The upper half of the plot as the window shows it (below are the
    // overlay panel and the animated busy spinner).
    auto screenPlot = [view]() {
        const QPoint at = view->plot()->mapTo(view, QPoint(0, 0));
        return QGuiApplication::primaryScreen()
            ->grabWindow(view->winId(), at.x(), at.y(), view->plot()->width(), view->plot()->height() / 2)
            .toImage();
    };
    // Runs after the view's slot: the plot already holds the new coordinates.
    // The pause stands for the iteration of a larger data set, which leaves
    // the view time for frames.
    QObject::connect(&bridge, &UI_Interface::analysisUpdatedSignal, [&](void* a) {
        if (a != analyses[0].get()) return;
        QThread::msleep(4);
        if (++updates % 20 == 0) frames.push_back(view->plot()->grabFramebuffer());
        // What the user sees changes while the run goes on, not only at its end.
        if (updates == 5 || updates == 195) onScreen.push_back(screenPlot());
    });
    analyses[0]->setIterations(200);
    compute(0);
    ASSERT_GE(frames.size(), 2u);
    EXPECT_NE(frames.front(), frames.back());
    ASSERT_EQ(onScreen.size(), 2u);
    EXPECT_NE(onScreen.front(), onScreen.back());
    // Finished: the busy spinner is gone again.
    EXPECT_FALSE(views[0]->plot()->spinner()->isVisible());
    // The other view was neither fed nor repainted with it.
    EXPECT_EQ(views[1]->plot()->grabFramebuffer(), idle1);
    EXPECT_EQ(views[1]->plot()->pointRenderer()->markerRanges()->size(), 0u);
}

TEST_F(TsneWidgetTest, SelectionIsSharedBetweenViews) {
    compute(0);
    compute(1);
    // A rectangle over the whole first plot selects every event in both.
    sendDrag(views[0]->plot(), {2, 2}, {255, 255});
    MCV_DerivedDataPoints* shared = MCV_CytometryData::Instance()->selectionPoints();
    EXPECT_EQ(shared->data().size(), 80u);
    EXPECT_EQ(count(views[1]->selectionFlags(), 32767), 80);
    EXPECT_EQ(count(views[0]->selectionFlags(), 32767), 80);
    // The selection halo shows in the other plot.
    const QImage before = views[1]->plot()->grabFramebuffer();

    // Ctrl+D in the second view clears both.
    QTest::keyClick(views[1]->plot(), Qt::Key_D, Qt::ControlModifier);
    EXPECT_TRUE(shared->data().empty());
    EXPECT_EQ(count(views[0]->selectionFlags(), 0), 80);
    EXPECT_EQ(count(views[1]->selectionFlags(), 0), 80);
    EXPECT_NE(views[1]->plot()->grabFramebuffer(), before);
}

TEST_F(TsneWidgetTest, SharedPairsMarkExactlyTheirPoints) {
    compute(0);
    const auto& refs = *analyses[0]->pointReferences();
    ASSERT_EQ(refs.size(), 80u);
    // Two events, one given twice, plus pairs that name nothing loaded.
    std::vector<std::pair<int, int>> pairs = {refs[3], refs[50], refs[3], {7, 0}, {0, 9999}, {-1, 2}};
    views[0]->select(&pairs);
    const std::vector<short>& flags = views[0]->selectionFlags();
    EXPECT_EQ(count(flags, 32767), 2);
    EXPECT_EQ(flags[3], 32767);
    EXPECT_EQ(flags[50], 32767);

    // A computation signal of another analysis changes nothing here.
    views[0]->initComputation(analyses[1].get());
    views[0]->computationUpdated(analyses[1].get());
    EXPECT_EQ(count(views[0]->selectionFlags(), 32767), 2);
}

TEST(TsneWidgetBare, ViewWithoutAnalysisHasNoPlot) {
    UI_TsneWidget view(nullptr, nullptr);
    EXPECT_EQ(view.plot(), nullptr);
    std::vector<std::pair<int, int>> pairs = {{0, 0}};
    view.select(&pairs);
    view.scatterplotSelectionUpdated();
}

}  // namespace
