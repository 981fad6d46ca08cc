// "Scatterplot View" (Ctrl+Shift+P) opens another plot of an existing A-tSNE
// analysis: no chooser for one, the chooser in list order for several, a plot
// that follows a running embedding and shows a finished one at once, and goes
// with its analysis. "Hierarchy View" (Ctrl+Shift+X) opens a new hierarchy
// dock on every use.
#include "ShellTestSupport.h"
#include "support/CapturedOutput.h"
#include "support/Pixels.h"

#include "analysis/applicationSurfaceFormat.h"
#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "app/UI_AnalysisSelectionDialog.h"
#include "data/MCV_DerivedDataPoints.h"
#include "render/MCV_PointRenderer.h"
#include "ui/PageTestSupport.h"
#include "ui/hierarchy/UI_HierarchyWidget.h"
#include "ui/tsne/UI_TsneWidget.h"
#include "ui/web/UI_ProgressSpinnerWidget.h"

#include <QListView>
#include <QSignalSpy>
#include <QStringListModel>

#include <algorithm>

namespace {

// Pixels that differ from the plot's background (its corner).
int drawnPixels(UI_ScatterplotWidget* plot) {
    const QImage image = plot->grabFramebuffer();
    return image.width() * image.height() - countNear(image, image.pixel(1, 1), 8);
}

// How many markers the plot's renderer has taken from an analysis (each gets
// a range); 0 before it has taken any data.
size_t markersTaken(UI_ScatterplotWidget* plot) {
    return plot->pointRenderer() ? plot->pointRenderer()->markerRanges()->size() : 0;
}

class ScatterplotView : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        showPlotWindow({1400, 1000});
        open({makeFile("cells.fcs", 80, 3)});
    }

    // A new A-tSNE analysis from the menu, embedding all events over the
    // three file markers.
    MCV_TsneAnalysis* newTsne(const QString& name, int iterations) {
        UI_ModalDialogs::answerText(name);
        trigger("actionNewTsneAnalysis");
        auto* tsne = dynamic_cast<MCV_TsneAnalysis*>(w().analyses().back());
        if (!tsne) return nullptr;
        tsne->setActiveDataSelection(MCV_CytometryData::Instance()->derivedDataPoints("All Points", true));
        for (int output : {3, 4}) tsne->setMarkerState(output, false);
        tsne->setIterations(iterations);
        tsne->setSeed(1);
        return tsne;
    }
    UI_TsneWidget* lastPlotView() {
        return w().views().empty() ? nullptr : qobject_cast<UI_TsneWidget*>(w().views().back());
    }
    // Answers the next chooser with `row` (-1: cancel) after `meanwhile`, and
    // notes its list.
    void choose(int row, std::function<void()> meanwhile = nullptr) { answerChooser(row, &offered, meanwhile); }
    QStringList offered;
};

TEST_F(ScatterplotView, OpensOnTheOnlyOrTheChosenATsneAnalysis) {
    trigger("actionScatterplotView");
    EXPECT_TRUE(w().views().empty()) << "no candidate: nothing";

    // Neither another kind nor a foreign analysis with the A-tSNE code is a
    // candidate.
    build(w(), ANALYSIS_SPADE, "Tree");
    build(w(), ANALYSIS_TSNE, "Impostor");
    MCV_TsneAnalysis* first = newTsne("First", 30);
    ASSERT_NE(first, nullptr);
    size_t views = w().views().size();
    QTest::keySequence(&w(), QKeySequence("Ctrl+Shift+P"));
    EXPECT_EQ(UI_ModalDialogs::unanswered(), 0) << "one candidate: no chooser";
    ASSERT_EQ(w().views().size(), views + 1);
    UI_TsneWidget* view = lastPlotView();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->windowTitle(), "First");
    EXPECT_EQ(w().dockWidgetArea(view), Qt::RightDockWidgetArea);
    EXPECT_TRUE(view->isVisible());
    EXPECT_EQ(w().settingsPanels().size(), 3u) << "no settings panel of its own";
    EXPECT_EQ(markersTaken(view->plot()), 0u) << "never embedded: waits for the first run";
    quietly([&] { first->computeTSNE(); });
    EXPECT_EQ(markersTaken(view->plot()), 5u);

    build(w(), ANALYSIS_SPADE, "Between");
    MCV_TsneAnalysis* second = newTsne("Second", 30);
    ASSERT_NE(second, nullptr);
    // {chosen row, title of the view opened; empty: none}
    struct Case {
        int row;
        QString title;
    };
    for (const Case& c : {Case{1, "Second"}, Case{0, "First"}, Case{-1, ""}}) {
        views = w().views().size();
        choose(c.row);
        trigger("actionScatterplotView");
        EXPECT_EQ(offered, QStringList({"First", "Second"})) << "in list order, A-tSNE analyses only";
        ASSERT_EQ(w().views().size(), views + (c.title.isEmpty() ? 0 : 1)) << c.row;
        if (!c.title.isEmpty()) {
            EXPECT_EQ(lastPlotView()->windowTitle(), c.title);
        }
    }
}

// A view opened between two iterations takes the running embedding at once
// and follows it to the end.
TEST_F(ScatterplotView, FollowsARunningEmbeddingAtOnce) {
    MCV_TsneAnalysis* tsne = newTsne("Live", 60);
    ASSERT_NE(tsne, nullptr);
    UI_TsneWidget* opened = nullptr;
    size_t takenAtOnce = 0;
    int updates = 0;
    QObject::connect(w().bridge(), &UI_Interface::analysisUpdatedSignal, &w(), [&](void* a) {
        if (a != tsne || ++updates != 10) return;
        QTest::keySequence(&w(), QKeySequence("Ctrl+Shift+P"));
        opened = lastPlotView();
        if (opened && opened->windowTitle() == "Live" && w().views().size() == 2)
            takenAtOnce = markersTaken(opened->plot());
    });
    quietly([&] { tsne->computeTSNE(); });
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(takenAtOnce, 5u) << "the running embedding, before the next iteration";
    EXPECT_GT(drawnPixels(opened->plot()), 50);
    EXPECT_FALSE(opened->plot()->spinner()->isVisible()) << "the end of the run reached the view";
}

// A finished embedding is shown at once, and nothing is started for it.
TEST_F(ScatterplotView, ShowsAFinishedEmbeddingAtOnceWithoutStartingAnything) {
    MCV_TsneAnalysis* done = newTsne("Done", 40);
    MCV_TsneAnalysis* idle = newTsne("Idle", 40);
    ASSERT_TRUE(done && idle);
    quietly([&] { done->computeTSNE(); });
    const std::vector<float> embedding = *done->output();
    ASSERT_EQ(embedding.size(), 160u);

    QSignalSpy started(w().bridge(), &UI_Interface::analysisInitializedSignal);
    QSignalSpy updated(w().bridge(), &UI_Interface::analysisUpdatedSignal);
    // {chosen row, drawn at once}
    for (const auto& [row, drawn] : {std::make_pair(0, true), std::make_pair(1, false)}) {
        choose(row);
        trigger("actionScatterplotView");
        UI_TsneWidget* view = lastPlotView();
        ASSERT_NE(view, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view->plot()));
        // Drawn once the dock has its share of the view area.
        ASSERT_TRUE(QTest::qWaitFor([&] { return view->plot()->height() > 150; }, 5000)) << view->plot()->height();
        EXPECT_EQ(drawnPixels(view->plot()) > 50, drawn) << row;
        EXPECT_EQ(markersTaken(view->plot()), drawn ? 5u : 0u) << row;
        EXPECT_FALSE(view->plot()->spinner()->isVisible()) << row;
    }
    EXPECT_EQ(started.count() + updated.count(), 0);

    // A shared selection reaches the view on the finished analysis.
    auto* doneView = qobject_cast<UI_TsneWidget*>(w().views()[w().views().size() - 2]);
    MCV_DerivedDataPoints* shared = MCV_CytometryData::Instance()->selectionPoints();
    shared->data() = {(*done->pointReferences())[2], (*done->pointReferences())[7]};
    shared->refreshed(nullptr);
    EXPECT_EQ(std::count(doneView->selectionFlags().begin(), doneView->selectionFlags().end(), short(32767)), 2);
    EXPECT_FALSE(done->isRunning());
    EXPECT_EQ(*done->output(), embedding);
}

// The selection in place when the view opens is drawn at once, as one made
// afterwards would be.
TEST_F(ScatterplotView, DrawsTheSelectionMadeBeforeItOpened) {
    MCV_TsneAnalysis* tsne = newTsne("Selected", 40);
    ASSERT_NE(tsne, nullptr);
    UI_TsneWidget* own = lastPlotView();
    ASSERT_NE(own, nullptr);
    quietly([&] { tsne->computeTSNE(); });
    ASSERT_TRUE(QTest::qWaitForWindowExposed(own->plot()));
    // {key pressed in the analysis' own plot before Ctrl+Shift+P, events selected}
    for (const auto& [key, selected] : {std::make_pair(Qt::Key_A, 80), std::make_pair(Qt::Key_D, 0)}) {
        own->plot()->setFocus(Qt::MouseFocusReason);
        QTest::keyClick(own->plot(), key, Qt::ControlModifier);
        ASSERT_EQ(MCV_CytometryData::Instance()->selectionPoints()->data().size(), size_t(selected));
        QTest::keySequence(&w(), QKeySequence("Ctrl+Shift+P"));
        UI_TsneWidget* view = lastPlotView();
        ASSERT_TRUE(view && view != own);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view->plot()));
        ASSERT_TRUE(QTest::qWaitFor([&] { return view->plot()->height() > 150; }, 5000)) << view->plot()->height();
        EXPECT_EQ(std::count(view->selectionFlags().begin(), view->selectionFlags().end(), short(32767)), selected);
        const int halo = countHalo(view->plot()->grabFramebuffer());
        EXPECT_EQ(halo > 100, selected > 0) << halo << " halo pixels for " << selected << " selected events";
        own = view;
    }
}

TEST_F(ScatterplotView, GoesWithItsAnalysisAndNeverOpensOnOneRemovedMeanwhile) {
    MCV_TsneAnalysis* kept = newTsne("Kept", 20);
    MCV_TsneAnalysis* gone = newTsne("Gone", 20);
    ASSERT_TRUE(kept && gone);
    choose(1);
    trigger("actionScatterplotView");
    QPointer<UI_DockableWidget> extra = lastPlotView();
    ASSERT_TRUE(extra);
    const std::vector<UI_DockableWidget*> before = w().views();

    std::vector<std::string> names = {"Gone"};
    w().removeAnalyses(&names);
    runDeferredDeletes();
    EXPECT_FALSE(extra) << "the extra view went with its analysis";
    EXPECT_EQ(w().analyses().size(), 1u);
    EXPECT_EQ(w().views().size(), before.size() - 2) << "with the analysis' own view";

    // The chooser runs an event loop in which the chosen analysis is removed.
    MCV_TsneAnalysis* doomed = newTsne("Doomed", 20);
    ASSERT_NE(doomed, nullptr);
    const size_t views = w().views().size();
    choose(1, [&] {
        std::vector<std::string> doomedNames = {"Doomed"};
        w().removeAnalyses(&doomedNames);
    });
    trigger("actionScatterplotView");
    runDeferredDeletes();
    EXPECT_EQ(offered, QStringList({"Kept", "Doomed"}));
    EXPECT_EQ(w().views().size(), views - 1) << "only the analysis' own view left, none opened";
    EXPECT_EQ(w().analyses(), std::vector<MCV_Analysis*>{kept});
}

using HierarchyViewCommand = ShellTest;

TEST_F(HierarchyViewCommand, OpensANewSampleHierarchyDockOnEveryUse) {
    showWindow();
    build(w(), ANALYSIS_SPADE, "Tree");
    trigger("actionHierarchy");
    QTest::keySequence(&w(), QKeySequence("Ctrl+Shift+X"));
    ASSERT_EQ(w().views().size(), 3u);
    for (size_t i : {1u, 2u}) {
        auto* view = qobject_cast<UI_HierarchyWidget*>(w().views()[i]);
        ASSERT_NE(view, nullptr);
        EXPECT_EQ(view->windowTitle(), "Hierarchy View");
        EXPECT_EQ(w().dockWidgetArea(view), Qt::RightDockWidgetArea);
        EXPECT_TRUE(view->isVisible());
        // The page draws the sample as its scripts run.
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return pagetest::js(view->webView(), "d3.selectAll('#_sunburst path').size()").toInt() == 16; }));
    }
    // They belong to no analysis.
    const std::vector<UI_DockableWidget*> hierarchies = {w().views()[1], w().views()[2]};
    QMetaObject::invokeMethod(&w(), "deleteAnalysis", Q_ARG(void*, w().analyses()[0]));
    runDeferredDeletes();
    EXPECT_EQ(w().views(), hierarchies);
}

}  // namespace
