// The SPADE tree in the real window: a SPADE analysis computed from its tab
// next to a paused A-tSNE of the same data; its master page lays the tree
// out into the cluster set, a later "Spade View" follows that layout, nodes
// selected on the page select their events in the plot, and a bubble becomes
// a point set the t-SNE tab offers, also after the heat map merged nodes of
// the tree. The master lays the tree out for every view: closed, it goes on
// while another view of the tree is shown. The views share the tree's
// bubbles: a view closed takes none with it, and a node menu left open
// while another view took its bubble away changes no bubble it no longer
// shows.
#include "../data/StrictFcsReader.h"
#include "ShellTestSupport.h"
#include "support/CapturedOutput.h"
#include "support/Pixels.h"
#include "ui/PageTestSupport.h"
#include "ui/spade/SpadePageGestures.h"

#include "analysis/applicationSurfaceFormat.h"
#include "analysis/spade/MCV_SpadeAnalysis.h"
#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "data/MCV_DerivedDataClusters.h"
#include "data/MCV_DerivedDataPoints.h"
#include "data/MCV_FcsHeader.h"
#include "ui/base/UI_EmbeddingSettingsWidget.h"
#include "ui/heatmap/UI_HeatMapWidget.h"
#include "ui/plot/UI_ScatterplotWidget.h"
#include "ui/spade/UI_SpadeSettingsWidget.h"
#include "ui/spade/UI_SpadeWidget.h"
#include "ui/tsne/UI_TsneSettingsWidget.h"
#include "ui/tsne/UI_TsneWidget.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFile>
#include <QSpinBox>
#include <QWebFrame>
#include <QWebPage>
#include <QWebView>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

namespace {

using Pair = std::pair<int, int>;

class SpadeTreeRoad : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        setApplicationSurfaceFormat();
        w().resize(1600, 1000);
        showWindow();
        // Three files of three separated blobs in four markers.
        QStringList files;
        for (int f = 0; f < 3; ++f) {
            std::vector<std::vector<float>> rows;
            for (int e = 0; e < 60; ++e) {
                const float blob = 10.0f * static_cast<float>(e % 3);
                rows.push_back({blob + 0.1f * static_cast<float>(e % 5), blob + 0.2f * static_cast<float>(e % 4),
                                blob - 0.1f * static_cast<float>(e % 3), blob + 0.05f * static_cast<float>(f)});
            }
            files << QString::fromStdString(FcsTestFile::floats(rows).write(dir, "blobs" + std::to_string(f) + ".fcs"));
        }
        open(files);
        ASSERT_TRUE(hasData());
    }
    bool hasData() { return w().hasData(); }

    // A SPADE analysis "Tree" made from the menu, with its master view and
    // settings tab; the density limit keeps every event of the small files.
    struct Spade {
        MCV_SpadeAnalysis* analysis = nullptr;
        UI_SpadeWidget* master = nullptr;
        UI_SpadeSettingsWidget* panel = nullptr;
    };
    Spade newSpade() {
        UI_ModalDialogs::answerText("Tree");
        trigger("actionNewSpadeAnalysis");
        Spade made{dynamic_cast<MCV_SpadeAnalysis*>(w().analyses().back()),
                   qobject_cast<UI_SpadeWidget*>(w().views().back()),
                   qobject_cast<UI_SpadeSettingsWidget*>(w().settingsPanels().back())};
        if (made.analysis) made.analysis->setDensityLimit(100.0f);
        return made;
    }

    static QString js(UI_SpadeWidget* view, const QString& script) {
        return view->view()->page()->mainFrame()->evaluateJavaScript(script).toString();
    }
    // The drawn node centres, scaled into the unit square (the pages may
    // differ in size), "x,y" per node in node order.
    static std::vector<std::pair<double, double>> normalisedNodes(UI_SpadeWidget* view) {
        const QStringList xy =
            js(view, "graph.nodes.map(d => screenX(d) + ',' + screenY(d)).join(';')").split(';', Qt::SkipEmptyParts);
        std::vector<std::pair<double, double>> points;
        for (const QString& p : xy)
            points.emplace_back(p.section(',', 0, 0).toDouble(), p.section(',', 1, 1).toDouble());
        if (points.empty()) return points;
        auto [minX, maxX] = std::minmax_element(points.begin(), points.end());
        auto [minY, maxY] =
            std::minmax_element(points.begin(), points.end(), [](auto& a, auto& b) { return a.second < b.second; });
        const double x0 = minX->first, dx = std::max(1e-9, maxX->first - x0);
        const double y0 = minY->second, dy = std::max(1e-9, maxY->second - y0);
        for (auto& p : points) p = {(p.first - x0) / dx, (p.second - y0) / dy};
        return points;
    }
    static double largestDifference(const std::vector<std::pair<double, double>>& a,
                                    const std::vector<std::pair<double, double>>& b) {
        if (a.size() != b.size()) return 1e9;
        double d = 0;
        for (size_t i = 0; i < a.size(); ++i)
            d = std::max({d, std::fabs(a[i].first - b[i].first), std::fabs(a[i].second - b[i].second)});
        return d;
    }
    static bool waitFor(const std::function<bool()>& done, int ms = 15000) {
        for (int waited = 0; !done() && waited < ms; waited += 20) QTest::qWait(20);
        return done();
    }
    // A follower whose last placement took long (any placement does on a
    // loaded machine) places new positions a frame later: whether none
    // waits.
    static bool placed(UI_SpadeWidget* slave) { return js(slave, "waitingPositions === null") == "true"; }
    // The dock's own title-bar close button, as the user closes it.
    static void closeDock(UI_SpadeWidget* view) {
        auto* close = view->findChild<QAbstractButton*>("qt_dockwidget_closebutton");
        ASSERT_NE(close, nullptr);
        QTest::mouseClick(close, Qt::LeftButton);
        ASSERT_FALSE(view->isVisible());
    }
    // "Spade View" from the menu: a follower of the one SPADE tree.
    UI_SpadeWidget* openSpadeView() {
        trigger("actionSpadeView");
        auto* view = qobject_cast<UI_SpadeWidget*>(w().views().back());
        return view && view->slave() ? view : nullptr;
    }
};

TEST_F(SpadeTreeRoad, TheMastersLayoutLeadsFollowersAndNodeSelectionsAndBubblesReachTheOtherViews) {
    // A paused A-tSNE of the same events.
    UI_ModalDialogs::answerText("Embedding");
    trigger("actionNewTsneAnalysis");
    auto* tsne = dynamic_cast<MCV_TsneAnalysis*>(w().analyses().back());
    auto* tsneView = qobject_cast<UI_TsneWidget*>(w().views().back());
    auto* tsnePanel = qobject_cast<UI_TsneSettingsWidget*>(w().settingsPanels().back());
    ASSERT_TRUE(tsne && tsneView && tsnePanel);
    UI_ScatterplotWidget* plot = tsneView->plot();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(plot));
    int updates = 0;
    auto watch = QObject::connect(w().bridge(), &UI_Interface::analysisUpdatedSignal, &w(), [&](void* a) {
        if (a == tsne && ++updates == 30) QTest::mouseClick(overlayButton(plot, 0), Qt::LeftButton);
        if (updates > 200) tsne->stopGradientDescent();
    });
    quietly([&] { QTest::mousePress(tsnePanel->computeTsneButton(), Qt::LeftButton); });
    QTest::mouseRelease(tsnePanel->computeTsneButton(), Qt::LeftButton);
    QObject::disconnect(watch);

    // SPADE from its tab; its master view lays the tree out.
    const Spade made = newSpade();
    MCV_SpadeAnalysis* spade = made.analysis;
    UI_SpadeWidget* master = made.master;
    UI_SpadeSettingsWidget* spadePanel = made.panel;
    ASSERT_TRUE(spade && master && spadePanel);
    spade->setTargetNumberOfClusters(6);
    quietly([&] { QTest::mouseClick(spadePanel->computeButtonWidget(), Qt::LeftButton); });
    MCV_DerivedDataClusters* clusters = master->clusterSet();
    ASSERT_GE(clusters->numClusters(), 3);
    const int n = clusters->numClusters();
    // The layout's steps, driven here: the page's own steps run at the
    // engine's pace, which the test does not control. The layout is then
    // settled, so that showing a dock does not start it again.
    ASSERT_TRUE(waitFor([&] { return js(master, "graph ? graph.nodes.length : 0").toInt() == n; }));
    js(master, "stopLayout(); for (var k = 0; k < 5; ++k) { simulation.tick(); ticked(); } simulation.alpha(0)");
    EXPECT_EQ(QString::fromStdString(clusters->spadePositions()).count("px"), n)
        << "the master's layout reaches the cluster set";

    // A follower opened later draws the stored layout and follows new steps.
    trigger("actionSpadeView");
    auto* slave = qobject_cast<UI_SpadeWidget*>(w().views().back());
    ASSERT_TRUE(slave && slave->slave());
    ASSERT_TRUE(waitFor([&] { return js(slave, "graph ? graph.nodes.length : 0").toInt() == n; }));
    ASSERT_TRUE(waitFor([&] { return placed(slave); }));
    EXPECT_LT(largestDifference(normalisedNodes(master), normalisedNodes(slave)), 1e-6);
    js(master, "graph.nodes[0].x += 500; ticked()");
    ASSERT_TRUE(waitFor([&] { return placed(slave); }));
    EXPECT_LT(largestDifference(normalisedNodes(master), normalisedNodes(slave)), 1e-6) << "after a later step";

    // Three nodes selected on the page: exactly their events, with a halo in
    // the plot; none selected afterwards clears it.
    const std::vector<int> three = {0, 2, n - 1};
    js(master, QString("selectNodes(d => [%1, %2, %3].includes(d.index))").arg(three[0]).arg(three[1]).arg(three[2]));
    std::set<Pair> expected;
    for (int c : three)
        for (const Pair& p : clusters->clusters()[static_cast<size_t>(c)]) expected.insert(p);
    const std::vector<Pair> selected = MCV_CytometryData::Instance()->selectionPoints()->data();
    EXPECT_EQ(std::set<Pair>(selected.begin(), selected.end()), expected);
    EXPECT_EQ(selected.size(), expected.size());
    EXPECT_TRUE(waitFor([&] { return countHalo(plot->grabFramebuffer()) > 0; }));
    js(master, "deselectAllNodes()");
    EXPECT_TRUE(MCV_CytometryData::Instance()->selectionPoints()->data().empty());
    EXPECT_TRUE(waitFor([&] { return countHalo(plot->grabFramebuffer()) == 0; }));

    // A bubble: a point set of exactly its events, offered as t-SNE input.
    js(master, "selectNodes(d => d.index == 1); saveBubble('B1')");
    MCV_DerivedDataPoints* b1 = nullptr;
    for (MCV_DerivedDataPoints* set : MCV_CytometryData::Instance()->derivedDataPoints())
        if (set->name() == "B1") b1 = set;
    ASSERT_NE(b1, nullptr);
    const auto& members = clusters->clusters()[1];
    EXPECT_EQ(std::set<Pair>(b1->data().begin(), b1->data().end()), std::set<Pair>(members.begin(), members.end()));
    EXPECT_GE(tsnePanel->inputCombo()->findText("B1"), 0);
}

// The first view of a tree and a "Spade View" of it, each edited through its
// page: a bubble name means one point set, and both views show it with the
// nodes whose cells the set holds after every save and edit, whichever view
// made it; "Save Bubble ..." from either writes those cells.
TEST_F(SpadeTreeRoad, TheFirstViewAndASpadeViewShowEachBubbleWithTheNodesOfItsSet) {
    const Spade made = newSpade();
    UI_SpadeWidget* master = made.master;
    ASSERT_TRUE(made.analysis && master && made.panel);
    made.panel->targetNodesBox()->setValue(8);
    quietly([&] { QTest::mouseClick(made.panel->computeButtonWidget(), Qt::LeftButton); });
    MCV_DerivedDataClusters* clusters = master->clusterSet();
    const int n = clusters->numClusters();
    ASSERT_GE(n, 5);
    ASSERT_TRUE(waitFor([&] { return js(master, "graph ? graph.nodes.length : 0").toInt() == n; }));
    trigger("actionSpadeView");
    auto* slave = qobject_cast<UI_SpadeWidget*>(w().views().back());
    ASSERT_TRUE(slave && slave->slave());
    ASSERT_TRUE(waitFor([&] { return js(slave, "graph ? graph.nodes.length : 0").toInt() == n; }));

    const auto cells = [&](const std::vector<int>& nodes) {
        std::set<Pair> events;
        for (int c : nodes)
            events.insert(clusters->clusters()[size_t(c)].begin(), clusters->clusters()[size_t(c)].end());
        return events;
    };
    const auto setOf = [](const std::string& name) {
        std::vector<Pair> points;
        for (MCV_DerivedDataPoints* set : MCV_CytometryData::Instance()->derivedDataPoints())
            if (set->name() == name) points = set->data();
        return points;
    };
    const QString shown =
        "subTrees.map(b => b.name + ':' + bubbleMembers(b.name).map(d => d.index).join('+')).join(' ')";
    struct Row {
        bool onSlave;
        QString edit;  // what the dialog's "Save Bubble" or the node menu's entry runs
        QString shown;
        std::vector<int> b;
    } rows[] = {
        {false, "selectNodes(d => d.index == 0); saveBubble('B')", "B:0", {0}},
        {true, "selectNodes(d => d.index == 2); saveBubble('B')", "B:0+2", {0, 2}},
        {false, "deselectAllNodes(); moveToBubble([graph.nodes[4]], 'B')", "B:0+2+4", {0, 2, 4}},
        {true, "removeFromBubbles([graph.nodes[0]])", "B:2+4", {2, 4}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.edit.toStdString());
        js(row.onSlave ? slave : master, row.edit);
        EXPECT_EQ(js(master, shown), row.shown) << "the first view";
        EXPECT_EQ(js(slave, shown), row.shown) << "the Spade View";
        const std::vector<Pair> b = setOf("B");
        EXPECT_EQ(std::set<Pair>(b.begin(), b.end()), cells(row.b));
        EXPECT_EQ(b.size(), cells(row.b).size());
    }

    const size_t width = static_cast<size_t>(MCV_CytometryData::Instance()->combinedHeader()->numVariables());
    std::vector<std::vector<float>> expected;
    for (const Pair& p : cells({2, 4})) {
        const float* row = MCV_CytometryData::Instance()->rawData(p.first) + static_cast<size_t>(p.second) * width;
        expected.emplace_back(row, row + width);
    }
    std::sort(expected.begin(), expected.end());
    for (UI_SpadeWidget* view : {master, slave}) {
        const QString file = dir.filePath(view == master ? "first.fcs" : "follower.fcs");
        UI_ModalDialogs::answerSaveFile(file);
        // The label menu's entry, on B's label.
        js(view, "bubbleLabelMenuItems()[0].action.call(subTrees[0].label)");
        QFile written(file);
        ASSERT_TRUE(written.open(QIODevice::ReadOnly)) << file.toStdString();
        const StrictFcs fcs = StrictFcs::parse(written.readAll().toStdString());
        ASSERT_TRUE(fcs.ok) << fcs.error;
        std::vector<std::vector<float>> inFile;
        for (size_t at = 0; at + width <= fcs.values.size(); at += width)
            inFile.emplace_back(fcs.values.begin() + long(at), fcs.values.begin() + long(at + width));
        std::sort(inFile.begin(), inFile.end());
        EXPECT_EQ(inFile, expected) << file.toStdString();
    }
}

// The heat map's "Merge Selected Clusters" on the SPADE tree's cluster set:
// the tree page shows one node fewer, and a bubble of a node holds the cells
// the page shows in it, the merged node's those of both clusters.
TEST_F(SpadeTreeRoad, ABubbleAfterAHeatMapMergeHoldsTheCellsOfItsNode) {
    const Spade made = newSpade();
    MCV_SpadeAnalysis* spade = made.analysis;
    UI_SpadeWidget* master = made.master;
    UI_SpadeSettingsWidget* spadePanel = made.panel;
    ASSERT_TRUE(spade && master && spadePanel);
    spadePanel->targetNodesBox()->setValue(8);
    quietly([&] { QTest::mouseClick(spadePanel->computeButtonWidget(), Qt::LeftButton); });
    MCV_DerivedDataClusters* clusters = master->clusterSet();
    const int n = clusters->numClusters();
    ASSERT_GE(n, 4);
    ASSERT_TRUE(waitFor([&] { return js(master, "graph ? graph.nodes.length : 0").toInt() == n; }));
    const std::vector<std::vector<Pair>> own = spade->clusters();

    // Ctrl+Shift+H, the tree's set chosen, its first two columns merged
    // from the menu.
    QApplication::setActiveWindow(&w());
    QTest::keyClick(&w(), Qt::Key_H, Qt::ControlModifier | Qt::ShiftModifier);
    auto* heat = qobject_cast<UI_HeatMapWidget*>(w().views().back());
    ASSERT_NE(heat, nullptr);
    ASSERT_TRUE(pagetest::waitForPage(heat->webView()));
    const auto heatJs = [&](const QString& script) { return pagetest::js(heat->webView(), script).toString(); };
    ASSERT_TRUE(waitFor([&] {
        return heatJs(
                   "[].some.call(document.getElementById('clusterSelector').options, "
                   "function (o) { return o.value === 'Tree'; })") == "true";
    }));
    heatJs(
        "var s = document.getElementById('clusterSelector'); s.value = 'Tree'; s.dispatchEvent(new Event('change'))");
    ASSERT_EQ(heat->currentSet(), clusters);
    ASSERT_TRUE(waitFor([&] { return heatJs("document.querySelectorAll('g.column').length").toInt() == n; }));
    const auto centre = [&](const QString& selector) {
        const QStringList r = heatJs(
                                  "(function (b) { return [b.left + b.width / 2, b.top + b.height / 2].join(); })"
                                  "(document.querySelector('" +
                                  selector + "').getBoundingClientRect())")
                                  .split(',');
        return QPoint(qRound(r.value(0).toDouble()), qRound(r.value(1).toDouble()));
    };
    QTest::mouseClick(heat->webView(), Qt::LeftButton, {}, centre("#cluster0 rect.cellPaint"));
    QTest::mouseClick(heat->webView(), Qt::LeftButton, Qt::ShiftModifier, centre("#cluster1 rect.cellPaint"));
    const QPoint menuAt = centre("#cluster0 rect.cellPaint");
    QContextMenuEvent menu(QContextMenuEvent::Mouse, menuAt, heat->webView()->mapToGlobal(menuAt));
    QApplication::sendEvent(heat->webView(), &menu);
    ASSERT_EQ(heatJs("document.querySelector('.d3-context-menu li:first-child').textContent"),
              "Merge Selected Clusters");
    QTest::mouseClick(heat->webView(), Qt::LeftButton, {}, centre(".d3-context-menu li:first-child"));
    ASSERT_EQ(clusters->numClusters(), n - 1);
    ASSERT_TRUE(waitFor([&] { return js(master, "graph ? graph.nodes.length : 0").toInt() == n - 1; }))
        << "the tree page shows the merged set";

    // Bubbles of the new node 1 (the run's cluster 2) and of the merged
    // node 0 (clusters 0 and 1).
    js(master,
       "stopLayout(); selectNodes(d => d.index == 1); saveBubble('Node 1');"
       "selectNodes(d => d.index == 0); saveBubble('Node 0')");
    const auto pointSet = [](const std::string& name) {
        std::set<Pair> events;
        size_t size = 0;
        for (MCV_DerivedDataPoints* set : MCV_CytometryData::Instance()->derivedDataPoints())
            if (set->name() == name) events.insert(set->data().begin(), set->data().end()), size = set->data().size();
        return std::make_pair(events, size);
    };
    const auto cellsOf = [&](std::vector<int> ofRun) {
        std::set<Pair> events;
        for (int c : ofRun) events.insert(own[size_t(c)].begin(), own[size_t(c)].end());
        return std::make_pair(events, events.size());
    };
    const auto shown = [&](int node) {
        const auto& members = clusters->clusters()[size_t(node)];
        return std::make_pair(std::set<Pair>(members.begin(), members.end()), members.size());
    };
    EXPECT_EQ(pointSet("Node 1"), cellsOf({2}));
    EXPECT_EQ(pointSet("Node 1"), shown(1));
    EXPECT_EQ(pointSet("Node 0"), cellsOf({0, 1}));
    EXPECT_EQ(pointSet("Node 0"), shown(0));
}

// A SPADE tree computed from its tab, its master page drawing it and cooling
// faster than the page's own pace, so that the tests wait for seconds, not
// tens of seconds.
class ClosedSpadeMaster : public SpadeTreeRoad {
protected:
    void SetUp() override {
        SpadeTreeRoad::SetUp();
        if (HasFatalFailure()) return;
        const Spade made = newSpade();
        spade = made.analysis;
        master = made.master;
        panel = made.panel;
        ASSERT_TRUE(spade && master && panel);
        recompute(8);
        ASSERT_GE(n, 3);
        ASSERT_TRUE(waitFor([&] { return nodesOn(master) == n; }));
        js(master, "simulation.alphaDecay(0.05)");
        // The page's layout steps on the engine's timers. The engine drops
        // them for good when the application's event loop has ended once
        // (its aboutToQuit), as an earlier test in the same process may have
        // done; a process of its own (ctest runs each test so) has them.
        js(master, "var timerProbe = false; window.setTimeout(function () { timerProbe = true; }, 0)");
        if (!waitFor([&] { return js(master, "timerProbe") == "true"; }, 2000))
            GTEST_SKIP() << "the web engine's timers have stopped in this process; run the test on its own";
    }
    void recompute(int targetNodes) {
        panel->targetNodesBox()->setValue(targetNodes);
        quietly([&] { QTest::mouseClick(panel->computeButtonWidget(), Qt::LeftButton); });
        n = master->clusterSet()->numClusters();
    }
    static int nodesOn(UI_SpadeWidget* view) { return js(view, "graph ? graph.nodes.length : 0").toInt(); }
    int steps() { return js(master, "layoutTicks").toInt(); }
    bool settled() { return js(master, "layoutSettled()") == "true"; }
    // A step's drawing may follow in a slice of its own; none is due.
    bool drawn() { return js(master, "layoutTimer === null && !drawNext") == "true"; }
    int storedCount() { return QString::fromStdString(master->clusterSet()->spadePositions()).count("px"); }

    MCV_SpadeAnalysis* spade = nullptr;
    UI_SpadeWidget* master = nullptr;
    UI_SpadeSettingsWidget* panel = nullptr;
    int n = 0;
};

// The master's dock closed while the tree settles: the layout waits while no
// view of the tree is shown; a "Spade View" opened then takes it on from
// where it stopped until it has settled.
TEST_F(ClosedSpadeMaster, ASpadeViewLetsTheLayoutGoOnUntilItHasSettled) {
    ASSERT_TRUE(waitFor([&] { return steps() >= 3; }));
    ASSERT_FALSE(settled());
    closeDock(master);
    const int paused = steps();
    QTest::qWait(300);
    EXPECT_EQ(steps(), paused) << "no view of the tree is shown: the layout waits";
    EXPECT_FALSE(settled());

    UI_SpadeWidget* slave = openSpadeView();
    ASSERT_NE(slave, nullptr);
    ASSERT_TRUE(waitFor([&] { return nodesOn(slave) == n; }));
    const auto before = normalisedNodes(slave);
    EXPECT_TRUE(waitFor([&] { return steps() > paused + 3; }, 5000)) << "the layout goes on for the slave";
    EXPECT_TRUE(waitFor([&] { return largestDifference(before, normalisedNodes(slave)) > 1e-3; }, 5000))
        << "and the slave follows its steps";
    ASSERT_TRUE(waitFor([&] { return settled(); }, 30000)) << "until it has settled";
    ASSERT_TRUE(waitFor([&] { return drawn() && placed(slave); }));
    const int done = steps();
    EXPECT_LT(largestDifference(normalisedNodes(master), normalisedNodes(slave)), 1e-6) << "its last step shown";
    QTest::qWait(200);
    EXPECT_EQ(steps(), done) << "a settled layout takes no more steps";
}

// Every view of the tree closed, the tree recut to another number of nodes:
// the master waits; a new "Spade View" gets the new tree laid out, not the
// spiral a slave page starts from.
TEST_F(ClosedSpadeMaster, ATreeRecutWhileNoViewIsShownIsLaidOutForTheNextView) {
    UI_SpadeWidget* slave = openSpadeView();
    ASSERT_NE(slave, nullptr);
    closeDock(master);
    closeDock(slave);
    const int before = n;
    recompute(14);
    ASSERT_NE(n, before);
    ASSERT_TRUE(waitFor([&] { return nodesOn(master) == n; }));
    const int recut = steps();
    QTest::qWait(300);
    EXPECT_EQ(steps(), recut) << "nothing shown: the new tree waits";

    UI_SpadeWidget* next = openSpadeView();
    ASSERT_TRUE(next && next != slave);
    ASSERT_TRUE(waitFor([&] { return nodesOn(next) == n; }));
    EXPECT_TRUE(waitFor([&] { return storedCount() == n; }, 5000)) << "the master lays the new tree out";
    ASSERT_TRUE(waitFor([&] { return settled(); }, 30000));
    ASSERT_TRUE(waitFor([&] { return drawn() && placed(next); }));
    EXPECT_GT(steps(), recut + 3);
    EXPECT_LT(largestDifference(normalisedNodes(master), normalisedNodes(next)), 1e-6)
        << "the new view shows the settled layout";
    const QString onSpiral =
        "graph.nodes.every((d, i) => Math.abs(d.x - spiralRadius * Math.sqrt(i) * "
        "Math.cos(i * spiralAngle)) < 1e-9)";
    EXPECT_EQ(js(next, onSpiral), "false");
}

// A tree of about eight nodes computed from its tab, shown by its first view
// and a "Spade View", each page with the nodes pinned on a grid so that the
// mouse finds them; bubbles are made on the pages and edited with their node
// menus.
class SpadeBubblesOfTheViews : public SpadeTreeRoad {
protected:
    void SetUp() override {
        SpadeTreeRoad::SetUp();
        if (HasFatalFailure()) return;
        const Spade made = newSpade();
        ASSERT_TRUE(made.analysis && made.master && made.panel);
        made.panel->targetNodesBox()->setValue(8);
        quietly([&] { QTest::mouseClick(made.panel->computeButtonWidget(), Qt::LeftButton); });
        clusters = made.master->clusterSet();
        ASSERT_GE(clusters->numClusters(), 5);
        views.push_back(made.master);
        ASSERT_TRUE(spadepage::waitForNodes(made.master, clusters->numClusters()));
        // Laid out no further: a resized page draws its pinned nodes once.
        ASSERT_NO_FATAL_FAILURE(spadepage::placeOnGrid(made.master, clusters));
        js(made.master, "simulation.alpha(0)");
        ASSERT_NO_FATAL_FAILURE(openView());
    }

    // A "Spade View" opened, its nodes on the grid, the pages of every view
    // shown at rest.
    void openView() {
        UI_SpadeWidget* view = openSpadeView();
        ASSERT_NE(view, nullptr);
        views.push_back(view);
        ASSERT_TRUE(spadepage::waitForNodes(view, clusters->numClusters()));
        ASSERT_NO_FATAL_FAILURE(spadepage::placeOnGrid(view, clusters));
        ASSERT_NO_FATAL_FAILURE(shownAtRest());
    }
    // Every shown page has taken its view's size and drawn its nodes for it
    // (the docks share the window anew whenever one opens or closes).
    void shownAtRest() {
        // A dock opened or closed has the window lay its docks out on a
        // posted request: until it is handled, the views have their old sizes.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        for (UI_SpadeWidget* view : views) {
            if (!view->isVisible()) continue;
            const QString drawn = view->slave() ? "waitingPositions === null" : "layoutTimer === null && !drawNext";
            const auto atRest = [&] {
                const QSize size = view->view()->size();
                return js(view, QString("width == %1 && height == %2 && ").arg(size.width()).arg(size.height()) +
                                    drawn) == "true";
            };
            ASSERT_TRUE(waitFor(atRest)) << js(view, "[width, height].join(' x ')").toStdString() << " in "
                                         << view->view()->width() << " x " << view->view()->height();
        }
    }

    // The selected nodes of `view` saved as the bubble `name`.
    static void saveBubble(UI_SpadeWidget* view, const QString& nodes, const QString& name) {
        js(view, "d3.contextMenu('close'); selectNodes(d => [" + nodes + "].includes(d.index)); saveBubble(" +
                     spadepage::quoted(name) + ")");
    }
    // The node menu entry `entry` of `node` chosen with the mouse, `nodes`
    // selected before the menu opens.
    static void nodeMenu(UI_SpadeWidget* view, const QString& nodes, int node, const QString& entry) {
        js(view, "d3.contextMenu('close'); selectNodes(d => [" + nodes + "].includes(d.index))");
        spadepage::rightClickNode(view, node);
        spadepage::clickMenuItem(view, entry);
    }

    // Each view, closed ones too, shows `shown`, each bubble drawn and a
    // point set of exactly the cells of its nodes.
    void everyViewShows(const std::string& shown) {
        for (size_t v = 0; v < views.size(); ++v) {
            SCOPED_TRACE("view " + std::to_string(v) + (views[v]->isVisible() ? "" : ", closed"));
            EXPECT_EQ(spadepage::bubbles(views[v]), shown);
            EXPECT_TRUE(spadepage::everyBubbleDrawn(views[v]));
            spadepage::expectBubblesHoldTheirNodes(views[v], clusters);
        }
    }
    std::pair<std::set<Pair>, size_t> cells(const std::vector<int>& nodes) {
        const std::set<Pair> events = spadepage::cellsOf(clusters, nodes);
        return {events, events.size()};
    }

    MCV_DerivedDataClusters* clusters = nullptr;
    // The first view, then every "Spade View" in the order opened.
    std::vector<UI_SpadeWidget*> views;
};

// One view closed after another with its dock's close button: the views
// left open show every bubble with the nodes whose cells its set holds; an
// edit and a save made there reach a "Spade View" opened afterwards and the
// closed views; "Save Bubble ..." from the view left open and from the new
// one writes the cells of the first bubble.
TEST_F(SpadeBubblesOfTheViews, AViewClosedTakesNoBubbleFromTheViewsLeftOpen) {
    saveBubble(views[0], "0, 1", "B");
    saveBubble(views[1], "2", "C");
    everyViewShows("B:0+1 C:2");
    struct Row {
        int closed;  // the view closed
        int open;    // a view left open, which edits
        int node;    // whose menu entry is chosen there
        QString entry;
        QString saved;  // then saved there from this node
        int savedNode;
        std::string shown;             // on every view afterwards
        std::vector<int> firstBubble;  // the nodes of the first bubble
    };
    const Row rows[] = {
        {1, 0, 3, "Add Node to C", "D", 4, "B:0+1 C:2+3 D:4", {0, 1}},
        // The first view, which lays the tree out, closed.
        {0, 2, 0, "Remove Node from B", "E", 0, "B:1 C:2+3 D:4 E:0", {1}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("view " + std::to_string(row.closed) + " closed");
        const std::string before = spadepage::bubbles(views[size_t(row.open)]);
        ASSERT_NO_FATAL_FAILURE(closeDock(views[size_t(row.closed)]));
        ASSERT_NO_FATAL_FAILURE(shownAtRest());
        everyViewShows(before);

        UI_SpadeWidget* open = views[size_t(row.open)];
        nodeMenu(open, "", row.node, row.entry);
        saveBubble(open, QString::number(row.savedNode), row.saved);
        ASSERT_NO_FATAL_FAILURE(openView());
        everyViewShows(row.shown);
        UI_SpadeWidget* opened = views.back();
        for (UI_SpadeWidget* view : {open, opened}) {
            const QString file = dir.filePath(
                QString("view %1 closed, from the %2 view.fcs").arg(row.closed).arg(view == open ? "open" : "new"));
            spadepage::expectSavedFromTheLabel(view, file, cells(row.firstBubble).first);
        }
    }
    EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());
}

// A node menu (or a bubble's label menu) opened on one view; then the other
// view takes that bubble away with its own menu; then the entry of the menu
// still open is chosen. An edit of the bubble that is gone changes nothing:
// no view shows it again, no set is refilled. A removal from it takes no
// node out of the bubble the node is in now, while "Remove Selection from
// Phenotree" takes the selection out of the bubbles it is in now. "Save
// Bubble ..." writes the cells the bubble's set kept. Every view agrees, a
// closed one too, which shows the list the views share.
TEST_F(SpadeBubblesOfTheViews, AMenuLeftOpenWhileAnotherViewTookItsBubbleChangesNoOtherBubble) {
    ASSERT_NO_FATAL_FAILURE(openView());
    ASSERT_NO_FATAL_FAILURE(closeDock(views[2]));
    ASSERT_NO_FATAL_FAILURE(shownAtRest());
    struct Row {
        int menuOn;              // the view whose menu stays open: 0 the first view, 1 the Spade View
        QString selection;       // selected there before it opens
        int node;                // whose menu it is; -1: the label menu of B
        QString entry;           // chosen from it last
        QString otherSelection;  // on the other view, which takes B away
        int otherNode;
        QString otherEntry;
        std::string meanwhile;  // every view before the entry is chosen
        std::string shown;      // every view afterwards
        std::map<std::string, std::vector<int>> sets;
    };
    // From B = {0, 1}, C = {2}.
    const Row rows[] = {
        {0, "", 3, "Add Node to B", "0, 1", 0, "Remove Selection from B", "C:2", "C:2", {{"B", {0, 1}}, {"C", {2}}}},
        {1,
         "3, 4",
         3,
         "Add Selection to B",
         "0, 1",
         0,
         "Add Selection to C",
         "C:0+1+2",
         "C:0+1+2",
         {{"B", {0, 1}}, {"C", {0, 1, 2}}}},
        {0,
         "",
         0,
         "Remove Node from B",
         "0, 1",
         1,
         "Add Selection to C",
         "C:0+1+2",
         "C:0+1+2",
         {{"B", {0, 1}}, {"C", {0, 1, 2}}}},
        {1,
         "0, 1",
         1,
         "Remove Selection from B",
         "0, 1",
         0,
         "Add Selection to C",
         "C:0+1+2",
         "C:0+1+2",
         {{"B", {0, 1}}, {"C", {0, 1, 2}}}},
        {0,
         "",
         1,
         "Remove Node from B",
         "0, 1",
         0,
         "Remove Selection from B",
         "C:2",
         "C:2",
         {{"B", {0, 1}}, {"C", {2}}}},
        {1,
         "0, 2",
         2,
         "Remove Selection from Phenotree",
         "0, 1",
         0,
         "Add Selection to C",
         "C:0+1+2",
         "C:1",
         {{"B", {0, 1}}, {"C", {1}}}},
        {0, "", -1, "Save Bubble ...", "0, 1", 0, "Remove Selection from B", "C:2", "C:2", {{"B", {0, 1}}, {"C", {2}}}},
    };
    int files = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE((row.menuOn ? "Spade View: " : "first view: ") + row.entry.toStdString());
        for (UI_SpadeWidget* view : views) js(view, "d3.contextMenu('close'); deselectAllNodes()");
        js(views[0], "removeFromBubbles(graph.nodes)");
        saveBubble(views[0], "0, 1", "B");
        saveBubble(views[0], "2", "C");
        everyViewShows("B:0+1 C:2");

        UI_SpadeWidget* mine = views[size_t(row.menuOn)];
        js(mine, "selectNodes(d => [" + row.selection + "].includes(d.index))");
        if (row.node >= 0)
            spadepage::rightClickNode(mine, row.node);
        else
            spadepage::rightClickFirstLabel(mine);
        ASSERT_NE(spadepage::menu(mine).find(row.entry.toStdString()), std::string::npos) << spadepage::menu(mine);
        nodeMenu(views[size_t(1 - row.menuOn)], row.otherSelection, row.otherNode, row.otherEntry);
        everyViewShows(row.meanwhile);

        const QString file = dir.filePath(QString("B%1.fcs").arg(++files));
        if (row.node < 0) UI_ModalDialogs::answerSaveFile(file);
        spadepage::clickMenuItem(mine, row.entry);
        everyViewShows(row.shown);
        for (const auto& [name, nodes] : row.sets) EXPECT_EQ(spadepage::pointSetCells(name), cells(nodes)) << name;
        if (row.node < 0) spadepage::expectFileHolds(file, cells({0, 1}).first);
    }
    EXPECT_EQ(UI_ModalDialogs::unanswered(), 0);
    EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());
}

}  // namespace
