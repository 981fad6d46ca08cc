// Through the real window, a plot's numbers describe the points it draws and
// the selection as it is now, whatever happens afterwards to the set it was
// made from: an A-tSNE of a SPADE bubble whose node menu edit refills the
// set, one of an emptied bubble whose name a new bubble takes, and an HSNE
// level opened on a selection that another plot then clears.
#include "SampleTableCheck.h"
#include "ShellTestSupport.h"
#include "support/CapturedOutput.h"
#include "support/SeededUniform.h"
#include "support/WidgetFinders.h"

#include "analysis/hsne/MCV_HsneAnalysis.h"
#include "analysis/hsne/MCV_HsneAnalysisHierarchy.h"
#include "analysis/spade/MCV_SpadeAnalysis.h"
#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "data/MCV_DerivedDataClusters.h"
#include "data/MCV_DerivedDataPoints.h"
#include "ui/datapanels/UI_SampleStatisticsWidget.h"
#include "ui/hsne/UI_HsneSettingsWidget.h"
#include "ui/hsne/UI_HsneWidget.h"
#include "ui/plot/UI_ScatterplotWidget.h"
#include "ui/spade/UI_SpadeSettingsWidget.h"
#include "ui/spade/UI_SpadeWidget.h"
#include "ui/tsne/UI_TsneSettingsWidget.h"
#include "ui/tsne/UI_TsneWidget.h"

#include <QComboBox>
#include <QMenu>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QWebFrame>
#include <QWebPage>
#include <QWebView>

#include <set>

namespace {

using Pair = std::pair<int, int>;
using Events = std::set<Pair>;

constexpr int kFiles = 3;
constexpr int kEvents = 400;

class PlotOfAChangedSet : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        showPlotWindow({1600, 1000});
        QStringList files;
        for (int f = 0; f < kFiles; ++f) files << blobs(QString("sample_%1.fcs").arg(f + 1), f);
        open(files);
        ASSERT_EQ(data()->numFiles(), kFiles);
    }
    static MCV_CytometryData* data() { return MCV_CytometryData::Instance(); }

    // kEvents events around four centres over three markers; the files hold
    // different shares of the centres.
    QString blobs(const QString& name, int seed) {
        SeededUniform next(seed);
        std::vector<std::vector<float>> rows;
        for (int e = 0; e < kEvents; ++e) {
            const int blob = (e * (seed + 2)) / 7 % 4;
            const float centre = 10.0f * static_cast<float>(blob);
            rows.push_back({centre + next(), centre * 0.5f + next(), next() * 3.0f});
        }
        return QString::fromStdString(FcsTestFile::floats(rows).write(dir, name.toStdString()));
    }

    // ---- SPADE ----
    struct Spade {
        MCV_SpadeAnalysis* analysis = nullptr;
        UI_SpadeWidget* master = nullptr;
        MCV_DerivedDataClusters* clusters = nullptr;
    };
    // A SPADE tree of every event, laid out and stopped.
    void makeSpade(Spade& made) {
        UI_ModalDialogs::answerText("Tree");
        trigger("actionNewSpadeAnalysis");
        made.analysis = dynamic_cast<MCV_SpadeAnalysis*>(w().analyses().back());
        made.master = qobject_cast<UI_SpadeWidget*>(w().views().back());
        auto* panel = qobject_cast<UI_SpadeSettingsWidget*>(w().settingsPanels().back());
        ASSERT_TRUE(made.analysis && made.master && panel);
        made.analysis->setDensityLimit(100.0f);
        made.analysis->setTargetNumberOfClusters(8);
        quietly([&] { QTest::mouseClick(panel->computeButtonWidget(), Qt::LeftButton); });
        made.clusters = made.master->clusterSet();
        ASSERT_NE(made.clusters, nullptr);
        const int n = made.clusters->numClusters();
        ASSERT_GE(n, 4);
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return js(made.master, "graph ? graph.nodes.length : 0").toInt() == n; }, 15000));
        js(made.master, "stopLayout()");
    }
    static QString js(UI_SpadeWidget* view, const QString& script) {
        return view->view()->page()->mainFrame()->evaluateJavaScript(script).toString();
    }
    static MCV_DerivedDataPoints* pointSet(const std::string& name) {
        for (MCV_DerivedDataPoints* set : data()->derivedDataPoints())
            if (set->name() == name) return set;
        return nullptr;
    }
    static Events cellsOf(const Spade& spade, std::initializer_list<int> nodes) {
        Events cells;
        for (int node : nodes)
            for (const Pair& p : spade.clusters->clusters()[static_cast<size_t>(node)]) cells.insert(p);
        return cells;
    }
    static Events asSet(const std::vector<Pair>& list) { return Events(list.begin(), list.end()); }

    // ---- A-tSNE ----
    // Ctrl+T named `name` on the input `input`, computed: its analysis and view.
    std::pair<MCV_TsneAnalysis*, UI_TsneWidget*> tsneOn(const QString& name, const QString& input) {
        UI_ModalDialogs::answerText(name);
        QApplication::setActiveWindow(&w());
        QTest::keySequence(&w(), QKeySequence("Ctrl+T"));
        auto* panel = qobject_cast<UI_TsneSettingsWidget*>(w().settingsPanels().back());
        auto* view = qobject_cast<UI_TsneWidget*>(w().views().back());
        if (!panel || !view || panel->inputCombo()->findText(input) < 0) return {nullptr, nullptr};
        panel->inputCombo()->setCurrentText(input);
        auto* tsne = dynamic_cast<MCV_TsneAnalysis*>(panel->analysis());
        if (!tsne) return {nullptr, nullptr};
        tsne->setSeed(1);
        tsne->setIterations(30);
        quietly([&] {
            QTest::mousePress(panel->computeTsneButton(), Qt::LeftButton);
            QTest::mouseRelease(panel->computeTsneButton(), Qt::LeftButton);
        });
        return {tsne, view};
    }

    // ---- Selections in a plot ----
    static void selectAll(UI_ScatterplotWidget* plot) {
        plot->setFocus(Qt::MouseFocusReason);
        QTest::keyClick(plot, Qt::Key_A, Qt::ControlModifier);
    }
    static void selectNone(UI_ScatterplotWidget* plot) {
        plot->setFocus(Qt::MouseFocusReason);
        QTest::keyClick(plot, Qt::Key_D, Qt::ControlModifier);
    }
    // A rectangle over the plot's left half: the plot draws the embedding
    // about its centre, so it holds some of the points and not all.
    static void selectLeftHalf(UI_ScatterplotWidget* plot) {
        drag(plot, {2, 2}, {plot->width() / 2, plot->height() - 3});
    }

    static float cell(UI_ScatterplotWidget* plot, int row, int column) {
        return plot->sampleStatisticsPanel()->statisticsTable()->item(row, column)->data(Qt::DisplayRole).toFloat();
    }
    static int expectCounts(UI_ScatterplotWidget* plot, const std::vector<Pair>& drawn) {
        return expectSampleTable(plot->sampleStatisticsPanel(), drawn, kFiles);
    }
    // A cluster set of the plot (its points split in two halves by order):
    // each origin table counts against the events drawn.
    static void expectOriginTables(MCV_TsneAnalysis* tsne, const std::vector<Pair>& drawn) {
        std::vector<std::vector<unsigned>> halves(2);
        for (unsigned i = 0; i < drawn.size(); ++i) halves[i * 2 < drawn.size() ? 0 : 1].push_back(i);
        MCV_DerivedDataClusters* set = nullptr;
        quietly([&] { set = tsne->updateClusters(&halves, "Density Clusters"); });
        ASSERT_NE(set, nullptr);
        int total[kFiles] = {};
        for (const Pair& p : drawn) ++total[p.first];
        for (int c = 0; c < 2; ++c) {
            int in[kFiles] = {};
            for (unsigned i : halves[size_t(c)]) ++in[drawn[i].first];
            const QStringList lines = QString::fromStdString(set->originCsvString(c)).split('\n', Qt::SkipEmptyParts);
            ASSERT_EQ(lines.size(), kFiles + 1);
            for (int f = 0; f < kFiles; ++f) {
                SCOPED_TRACE("cluster " + std::to_string(c) + ", file " + std::to_string(f));
                const QStringList cells = lines[f + 1].split(", ");
                ASSERT_EQ(cells.size(), 7);
                EXPECT_EQ(cells[2].toDouble(), total[f]);
                EXPECT_EQ(cells[3].toDouble(), in[f]);
                EXPECT_NEAR(cells[4].toDouble(), total[f] ? 100.0 * in[f] / total[f] : 0, 1e-3);
                EXPECT_LE(cells[4].toDouble(), 100.0);
            }
        }
    }
    // Ctrl+A, a rectangle over the left half and a cluster set of two halves
    // on the plot: each count describes the points it draws.
    static void expectTheNumbersOfItsOwnPoints(UI_ScatterplotWidget* plot, MCV_TsneAnalysis* tsne,
                                               const std::vector<Pair>& drawn) {
        selectAll(plot);
        ASSERT_EQ(asSet(data()->selectionPoints()->data()), asSet(drawn));
        {
            SCOPED_TRACE("every point selected");
            EXPECT_EQ(expectCounts(plot, drawn), int(drawn.size()));
            for (int f = 0; f < kFiles; ++f)
                if (cell(plot, f, 2) > 0) {
                    EXPECT_FLOAT_EQ(cell(plot, f, 4), 100.0f);
                }
        }
        selectLeftHalf(plot);
        const size_t picked = data()->selectionPoints()->data().size();
        ASSERT_GT(picked, 0u);
        ASSERT_LT(picked, drawn.size());
        {
            SCOPED_TRACE("a rectangle");
            EXPECT_EQ(expectCounts(plot, drawn), int(picked));
        }
        {
            SCOPED_TRACE("a cluster set");
            expectOriginTables(tsne, drawn);
        }
    }
};

// "Remove Node from B" after an A-tSNE of bubble B: the plot goes on drawing
// and selecting B's former cells, and its sample table, the origin tables of
// its cluster sets and every selection made afterwards count those.
TEST_F(PlotOfAChangedSet, AnEditOfTheBubbleAfterTheAnalysisLeavesThePlotsNumbersWithItsPoints) {
    Spade spade;
    ASSERT_NO_FATAL_FAILURE(makeSpade(spade));
    js(spade.master, "selectNodes(d => d.index == 0 || d.index == 1); saveBubble('B')");
    MCV_DerivedDataPoints* b = pointSet("B");
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(asSet(b->data()), cellsOf(spade, {0, 1}));
    const std::vector<Pair> drawn = b->data();

    auto [tsne, view] = tsneOn("E", "B");
    ASSERT_TRUE(tsne && view);
    UI_ScatterplotWidget* plot = view->plot();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(plot));
    ASSERT_EQ(*tsne->pointReferences(), drawn);
    selectAll(plot);
    {
        SCOPED_TRACE("every point selected, before the edit");
        EXPECT_EQ(expectCounts(plot, drawn), int(drawn.size()));
    }

    // Node 0 out of B: B's set holds node 1's cells now.
    js(spade.master, "removeFromBubbles([graph.nodes[0]])");
    ASSERT_EQ(asSet(b->data()), cellsOf(spade, {1}));
    ASSERT_LT(b->data().size(), drawn.size());
    ASSERT_EQ(*tsne->pointReferences(), drawn) << "the plot draws what it drew";

    {
        SCOPED_TRACE("after the edit");
        expectTheNumbersOfItsOwnPoints(plot, tsne, drawn);
    }
}

// An emptied bubble's name taken by "Create Bubble ..." of another node
// refills the emptied bubble's set: an A-tSNE made of that set before keeps
// drawing its cells, and its table counts them, after Ctrl+A and after a
// rectangle.
TEST_F(PlotOfAChangedSet, ABubbleUnderAnEmptiedBubblesNameLeavesThePlotsNumbersWithItsPoints) {
    Spade spade;
    ASSERT_NO_FATAL_FAILURE(makeSpade(spade));
    js(spade.master, "selectNodes(d => d.index == 2); saveBubble('B1')");
    js(spade.master, "removeFromBubbles([graph.nodes[2]])");
    EXPECT_EQ(js(spade.master, "subTrees.length").toInt(), 0) << "B1 left the page";
    MCV_DerivedDataPoints* b1 = pointSet("B1");
    ASSERT_NE(b1, nullptr);
    ASSERT_EQ(asSet(b1->data()), cellsOf(spade, {2})) << "its set stays";
    const std::vector<Pair> drawn = b1->data();

    auto [tsne, view] = tsneOn("E", "B1");
    ASSERT_TRUE(tsne && view);
    UI_ScatterplotWidget* plot = view->plot();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(plot));
    ASSERT_EQ(*tsne->pointReferences(), drawn);

    // A new bubble of node 3 named "B1", as the dialog's accept makes it.
    js(spade.master, "selectNodes(d => d.index == 3); saveBubble('B1')");
    EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty()) << "the name is accepted";
    ASSERT_EQ(pointSet("B1"), b1) << "the same set";
    ASSERT_EQ(asSet(b1->data()), cellsOf(spade, {3})) << "refilled with node 3's cells";
    ASSERT_EQ(*tsne->pointReferences(), drawn);

    {
        SCOPED_TRACE("after the new bubble");
        expectTheNumbersOfItsOwnPoints(plot, tsne, drawn);
    }
}

// A level opened by "Zoom into Selection." counts the selection as it is
// now: cleared by Ctrl+D in another plot right after the level opened, it
// shows no event selected; a selection another view makes afterwards, that
// one's. (Ctrl+A before the zoom and a selection made by the data model keep
// every count independent of where the embedding puts the landmarks.)
TEST_F(PlotOfAChangedSet, ALevelOpenedOnASelectionFollowsItsLaterChanges) {
    const std::vector<Pair> all = data()->derivedDataPoints("All Points", true)->data();
    UI_ModalDialogs::answerText("H");
    QApplication::setActiveWindow(&w());
    QTest::keySequence(&w(), QKeySequence("Ctrl+F"));
    ASSERT_EQ(w().analyses().size(), 2u);
    auto* overview = dynamic_cast<MCV_HsneAnalysis*>(w().analyses()[1]);
    auto* panel = qobject_cast<UI_HsneSettingsWidget*>(w().settingsPanels().at(0));
    auto* overviewView = qobject_cast<UI_HsneWidget*>(w().views().at(0));
    ASSERT_TRUE(overview && panel && overviewView);
    auto* seed = widgetBeside<QSpinBox>(panel, "RNG Seed");
    ASSERT_NE(seed, nullptr);
    seed->setValue(3);
    panel->numScalesBox()->setValue(2);
    overview->setIterations(40);
    QObject::connect(w().bridge(), &UI_Interface::analysisInitializedSignal, &w(), [&](void* a) {
        if (a != overview) static_cast<MCV_HsneAnalysis*>(a)->setIterations(40);
    });
    quietly([&] { QTest::mouseClick(panel->computeHsneButton(), Qt::LeftButton); });
    UI_ScatterplotWidget* overviewPlot = overviewView->plot();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(overviewPlot));
    ASSERT_GE(overview->numDataPoints(), 4);

    // Zoom into every landmark of the overview: the data level.
    selectAll(overviewPlot);
    ASSERT_EQ(asSet(data()->selectionPoints()->data()), asSet(all));
    UI_ModalDialogs::answerText("");
    quietly([&] {
        QTimer::singleShot(0, [] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (QAction* zoom = menu ? childWithText<QAction>(menu, "Zoom into Selection.") : nullptr)
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(zoom).center());
            else if (menu)
                menu->close();
        });
        QTest::mouseClick(overviewPlot, Qt::RightButton, {}, overviewPlot->rect().center());
    });
    ASSERT_EQ(w().analyses().size(), 3u);
    auto* level = dynamic_cast<MCV_HsneAnalysis*>(w().analyses()[2]);
    auto* levelView = qobject_cast<UI_HsneWidget*>(w().views().back());
    ASSERT_TRUE(level && levelView);
    ASSERT_EQ(level->name(), "H - Data Level");
    UI_ScatterplotWidget* levelPlot = levelView->plot();
    ASSERT_TRUE(QTest::qWaitFor([&] { return level->numDataPoints() > 0 && !level->isRunning(); }, 30000));
    {
        SCOPED_TRACE("the level as it opened");
        EXPECT_EQ(expectCounts(levelPlot, all), int(all.size()));
    }

    selectNone(overviewPlot);
    ASSERT_TRUE(data()->selectionPoints()->data().empty());
    {
        SCOPED_TRACE("Ctrl+D in the overview");
        EXPECT_EQ(expectCounts(levelPlot, all), 0);
        for (int f = 0; f < kFiles; ++f) EXPECT_EQ(cell(levelPlot, f, 3), 0.0f);
    }

    // Every third event of file 1 and every fifth of file 2, selected as
    // another view selects.
    std::vector<Pair> some;
    for (int e = 0; e < kEvents; e += 3) some.emplace_back(1, e);
    for (int e = 0; e < kEvents; e += 5) some.emplace_back(2, e);
    data()->selectionPoints()->data() = some;
    data()->selectionPoints()->refreshed(nullptr);
    {
        SCOPED_TRACE("a selection made elsewhere");
        EXPECT_EQ(expectCounts(levelPlot, all), int(some.size()));
        EXPECT_EQ(cell(levelPlot, 0, 3), 0.0f);
        EXPECT_EQ(cell(levelPlot, 1, 3), float((kEvents + 2) / 3));
    }
}

}  // namespace
