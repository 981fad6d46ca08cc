// The two SPADE tree pages in the real web engine, fed with real cluster sets
// of a small data model, driven with real mouse and key events, and watched
// through a recording bridge object.
#include "support/DataFixture.h"
#include "ui/PageTestSupport.h"

#include "data/MCV_DerivedDataClusters.h"
#include "ui/web/UI_WebPageHost.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPaintEvent>
#include <QRegion>
#include <QRegularExpression>
#include <QTest>
#include <QWindow>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

// Exposed to the page as "Qt": the widget's signals and slots, recording.
class SpadeRecorder : public QObject {
    Q_OBJECT
public:
    QList<QList<int>> selections;
    QList<int> highlights;
    QStringList positions, svgs, debugLines;
    QList<QPair<QList<int>, QString>> subtrees, edits;
    QList<QPair<QString, int>> exports;
    // Bubble names the widget does not keep.
    QStringList refused;

signals:
    void qt_setData(QString json);
    void qt_setPositions(QString json);
    void qt_bubbleRefused(QString name);
    void qt_setLayoutActive(bool active);
    void qt_setBubbles(QString json);

public slots:
    void js_debug(QString text) { debugLines.append(text); }
    void selectionUpdated(QList<int> nodes) { selections.append(nodes); }
    void jsHighlightUpdated(int node) { highlights.append(node); }
    void nodePositionsUpdated(QString json) { positions.append(json); }
    void js_subtreeCreated(QList<int> nodes, QString name) {
        subtrees.append({nodes, name});
        if (refused.contains(name)) emit qt_bubbleRefused(name);
    }
    void js_subtreeEdited(QList<int> nodes, QString name) { edits.append({nodes, name}); }
    void exportSubtree(QString name, int mode) { exports.append({name, mode}); }
    void js_saveSVG(QString xml) { svgs.append(xml); }
};

// A page that keeps its console lines (a page without the bridge logs there).
class ConsolePage : public QWebPage {
public:
    QStringList lines;

protected:
    void javaScriptConsoleMessage(const QString& message, int, const QString&) override { lines.append(message); }
};

namespace {

// The page's own texts.
const std::string kSizeLabels = "> 20%|12%|7%|3%|< 1%";
const std::string kSizeCounts = "> 6|4|2|1|< 0";  // of the standard tree's 32 cells
const std::string kMasterLegend = "high|low";
const std::string kSlaveLegend = "\xc2\xa0 5.0|\xc2\xa0 0.0";
const std::string kDialogTexts = "Phenotype|Enter the name for the selected Bubble.|Name...|Save Bubble|Cancel";
const std::string kSaveImage = "Save Image ...";
const std::string kBubbleMenu = "Save Bubble ...|Save Bubble to Separate Files ...|---|" + kSaveImage;

enum class Page { Master, Slave };

// How long a test waits for a 500 ms slide of the page (the bubble dialog,
// the colormap choice) to end before it fails: only a hung page takes that
// long.
constexpr int kSlideEndMs = 15000;

class SpadePage : public viewtest::DataFixture {
protected:
    void TearDown() override {
        closePage();
        DataFixture::TearDown();
    }

    // Loads a page into a shown 900 x 805 view (unless another size is
    // given); the drawing square is then 600 pixels wide at x 150 and y 80.
    void load(Page page, bool withBridge = true, QSize size = QSize(900, 805)) {
        closePage();
        UI_WebPageHost::registerBridgeTypes();
        view = new QWebView;
        recorder = new SpadeRecorder;
        recorder->setParent(view);
        console = new ConsolePage;
        console->setParent(view);
        view->setPage(console);
        view->resize(size);
        UI_WebPageHost::hideScrollBars(view);
        if (withBridge)
            QObject::connect(view->page()->mainFrame(), &QWebFrame::javaScriptWindowObjectCleared, recorder,
                             [this] { view->page()->mainFrame()->addToJavaScriptWindowObject("Qt", recorder); });
        UI_WebPageHost::loadPage(view, page == Page::Master ? ":/spade/spade.html" : ":/spade/spade_slave.html",
                                 "qrc:/spade/");
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
        ASSERT_TRUE(pagetest::waitForPage(view));
        ASSERT_EQ(js("width + 'x' + height"), QString("%1x%2").arg(size.width()).arg(size.height()).toStdString());
    }
    // A script error anywhere in the page fails the test.
    void closePage() {
        if (!view) return;
        for (const QString& line : recorder->debugLines + console->lines)
            EXPECT_FALSE(line.startsWith("Error:")) << line.toStdString();
        delete view;
        view = nullptr;
        console = nullptr;
        recorder = nullptr;
    }

    // Results as std::string, so that failures print as text.
    QString text(const QString& script) { return pagetest::js(view, script).toString(); }
    std::string js(const QString& script) { return text(script).toStdString(); }
    static QString quoted(const QString& text) {
        return QString::fromUtf8(QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
    }
    std::vector<std::string> strings(const QString& script) {
        std::vector<std::string> out;
        for (const QJsonValue& v : jsonOf(script)) out.push_back(v.toString().toStdString());
        return out;
    }
    QJsonArray jsonOf(const QString& script) {
        return QJsonDocument::fromJson(text("JSON.stringify(" + script + ")").toUtf8()).array();
    }

    // Four clusters of the fixture's events, tree 0-1, 0-2, 2-3: sizes 10,
    // 10, 8 and 4; medians CD3 5, 15, 4, 10; CD4 0, 0, 1, 1; CD8 1, 1, 1, 2.
    // Each cluster: events [from, to) of one file.
    struct Range {
        int file, from, to;
    };
    static MCV_DerivedDataClusters* clusterSet(const std::string& name, const std::vector<Range>& ranges,
                                               const std::vector<MCV_DerivedDataClusters::Edge>& edges) {
        std::vector<MCV_DerivedDataClusters::PointList> clusters;
        for (const Range& r : ranges) {
            clusters.emplace_back();
            for (int e = r.from; e < r.to; ++e) clusters.back().push_back({r.file, e});
        }
        MCV_DerivedDataClusters* set = MCV_CytometryData::Instance()->derivedDataClusters(name, true);
        set->setClusters(clusters, nullptr, edges, nullptr);
        return set;
    }
    static MCV_DerivedDataClusters* standardTree() {
        return clusterSet("tree", {{0, 0, 10}, {0, 10, 20}, {1, 0, 8}, {1, 8, 12}},
                          {{0, 1, 1.0f}, {0, 2, 2.0f}, {2, 3, 0.5f}});
    }

    void push(MCV_DerivedDataClusters* set) { push(QString::fromStdString(set->jsonObject())); }
    void push(const QString& json) {
        emit recorder->qt_setData(json);
        if (js("typeof simulation") == "object") js("stopLayout()");
    }
    // Positions for a slave page, placed: a slave whose last placement took
    // long (any placement does on a loaded machine) places them a frame
    // later, so the test goes on once none waits.
    void setPositions(const QString& json) {
        emit recorder->qt_setPositions(json);
        ASSERT_TRUE(QTest::qWaitFor([&] { return js("waitingPositions === null") == "true"; }, 15000));
    }
    // Layout positions (0, 0), (1, 1), (2, 1), (3, 3): on screen (150, 80),
    // (350, 280), (550, 280), (750, 680).
    void placeStandardTree() {
        const QString layout = "[{\"px\":0,\"py\":0},{\"px\":1,\"py\":1},{\"px\":2,\"py\":1},{\"px\":3,\"py\":3}]";
        if (js("typeof simulation") == "object")
            js("JSON.parse('" + layout +
               "').forEach((p, i) => { graph.nodes[i].x = p.px; graph.nodes[i].y = p.py; });"
               "ticked()");
        else
            setPositions(layout);
        ASSERT_EQ(js("graph.nodes.map(d => screenX(d) + ',' + screenY(d)).join(' ')"),
                  "150,80 350,280 550,280 750,680");
    }

    QPoint nodeAt(int i) {
        const QStringList xy =
            text(QString("[screenX(graph.nodes[%1]), screenY(graph.nodes[%1])].join()").arg(i)).split(',');
        return QPoint(qRound(xy[0].toDouble()), qRound(xy[1].toDouble()));
    }
    // The middle of a bubble label's first character (a long name runs off
    // the end of a small hull).
    QPoint labelAt(int bubble) {
        const QStringList r = text(QString("(t => { var r = t.getExtentOfChar(0);"
                                           "return [r.x + r.width / 2, r.y + r.height / 2].join(); })"
                                           "(subTrees[%1].label)")
                                       .arg(bubble))
                                  .split(',');
        return QPoint(qRound(r[0].toDouble()), qRound(r[1].toDouble()));
    }
    QPoint centreOf(const QString& element) {
        const QStringList r =
            text("(r => [r.left + r.width / 2, r.top + r.height / 2].join())(" + element + ".getBoundingClientRect())")
                .split(',');
        return QPoint(qRound(r[0].toDouble()), qRound(r[1].toDouble()));
    }

    QWindow* window() { return view->windowHandle(); }
    void click(QPoint at, Qt::KeyboardModifiers mods = {}) { QTest::mouseClick(window(), Qt::LeftButton, mods, at); }
    void rightClick(QPoint at) { QTest::mouseClick(window(), Qt::RightButton, {}, at); }
    void drag(QPoint from, QPoint to, Qt::KeyboardModifiers mods = {}) {
        QTest::mousePress(window(), Qt::LeftButton, mods, from);
        QTest::mouseMove(window(), (from + to) / 2);
        QTest::mouseMove(window(), to);
        QTest::mouseRelease(window(), Qt::LeftButton, mods, to);
    }

    std::string menu() {
        return js(
            "d3.selectAll('.d3-context-menu li').nodes()"
            ".map(li => li.classList.contains('is-divider') ? '---' : li.textContent).join('|')");
    }
    void clickMenuItem(const QString& title) {
        const QString item =
            "d3.selectAll('.d3-context-menu li').nodes().filter(li => li.textContent == " + quoted(title) + ")[0]";
        ASSERT_EQ(js("!!" + item), "true") << title.toStdString() << " in " << menu();
        click(centreOf(item));
    }
    std::string selected() { return js("selectedNodes().map(d => d.index).join()"); }
    static std::string joined(const QList<int>& values) {
        QStringList s;
        for (int i : values) s << QString::number(i);
        return s.join(',').toStdString();
    }
    std::string lastSelection() { return joined(recorder->selections.value(recorder->selections.size() - 1)); }
    // Bubble i (-1: the last one) the widget was told of: "nodes name".
    std::string subtree(int i) {
        const auto& s = recorder->subtrees.value(i < 0 ? recorder->subtrees.size() + i : i);
        return joined(s.first) + " " + s.second.toStdString();
    }
    // Export i the widget was asked for: "name mode".
    std::string exported(int i) {
        const auto& e = recorder->exports.value(i);
        return e.first.toStdString() + " " + std::to_string(e.second);
    }
    // The dialog's overlay covers the page until it has slid out: the page
    // hides it when its slide ends, however late a loaded machine lets that
    // be.
    void waitUntilDialogGone() {
        ASSERT_TRUE(QTest::qWaitFor([&] { return js("d3.select('#d3-cyto-overlay').style('display')") == "none"; },
                                    kSlideEndMs));
    }
    // The dialog's controls stand where they stay once its slide in has
    // ended, which leaves it at the top of the page.
    void waitUntilDialogIn() {
        ASSERT_TRUE(QTest::qWaitFor([&] { return js("d3.select('#bubble-modal').style('margin-top')") == "0px"; },
                                    kSlideEndMs));
    }
    void openDialogFor(int node) {
        waitUntilDialogGone();
        rightClick(nodeAt(node));
        clickMenuItem("Create Bubble ...");
        ASSERT_EQ(js("bubbleDialogOpen"), "true");
    }
    // Selects `nodes` by clicking them and saves them as bubble `name`.
    void createBubble(const QList<int>& nodes, const QString& name) {
        waitUntilDialogGone();
        js("deselectAllNodes()");
        for (int n : nodes) click(nodeAt(n), Qt::ShiftModifier);
        openDialogFor(nodes.first());
        js("bubbleInput().value = " + quoted(name) + "; bubbleInput().dispatchEvent(new Event('input'))");
        QTest::keyClick(view, Qt::Key_Return);
        waitUntilDialogGone();
    }
    // Attribute of the node glyphs' `part` in node order (hovering reorders
    // the elements).
    std::string nodeAttributes(const QString& part, const QString& attribute) {
        return js(
            "d3.selectAll('g.node').nodes().sort((a, b) => a.__data__.index - b.__data__.index)"
            ".map(g => g.querySelector('" +
            part + "').getAttribute('" + attribute + "')).join()");
    }
    std::string nodeFill(int i) {
        return js(QString("d3.selectAll('g.node').filter(d => d.index == %1)").arg(i) +
                  ".select('.halfLeft').attr('fill')");
    }
    std::string mainView() { return js("document.getElementById('mainView').innerHTML"); }

    QWebView* view = nullptr;
    ConsolePage* console = nullptr;
    // One per page: the engine keeps its signal connections into a page's
    // script after the page is gone.
    SpadeRecorder* recorder = nullptr;
};

double size2rad(double size, double total) {
    const double share = total > 0 ? size / total : 0;
    return std::sqrt(std::clamp(25 + (share - 0.008) / (0.2 - 0.008) * 600, 25.0, 625.0));
}

TEST_F(SpadePage, MasterDrawsTheTreeWithRadiiBySizeAndReportsEveryTick) {
    load(Page::Master);
    push(standardTree());
    EXPECT_EQ(js("d3.selectAll('g.node').size() + ' ' + d3.selectAll('line.link').size() + ' ' + framesDrawn"),
              "4 3 1");
    EXPECT_EQ(js("totalNumberOfCells"), "32");
    EXPECT_TRUE(recorder->debugLines.contains("Data set."));
    for (double size : {0.0, 0.2, 1.0, 4.0, 6.4, 8.0, 10.0, 32.0, 1e6})
        EXPECT_NEAR(text(QString("size2rad(%1)").arg(size)).toDouble(), size2rad(size, 32), 1e-9) << size;
    const QJsonArray drawn = jsonOf("d3.selectAll('circle.nodeHighlight').nodes().map(c => +c.getAttribute('r'))");
    const double sizes[] = {10, 10, 8, 4};
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(drawn[i].toDouble() - 1.8, size2rad(sizes[i], 32), 1e-9);

    const int before = recorder->positions.size();
    js("simulation.tick(); ticked(); simulation.tick(); ticked()");
    ASSERT_EQ(recorder->positions.size(), before + 2);
    const QJsonArray reported = QJsonDocument::fromJson(recorder->positions.last().toUtf8()).array();
    const QJsonArray layout = jsonOf("graph.nodes.map(d => [d.x, d.y])");
    ASSERT_EQ(reported.size(), 4);
    for (int i = 0; i < 4; ++i) {
        const QJsonObject p = reported[i].toObject();
        EXPECT_EQ(p.keys(), (QStringList{"px", "py"}));
        EXPECT_EQ(p["px"].toDouble(), layout[i].toArray()[0].toDouble());
        EXPECT_EQ(p["py"].toDouble(), layout[i].toArray()[1].toDouble());
    }
}

// Collects what a widget paints.
class PaintRecorder : public QObject {
public:
    int paints = 0;
    QRegion painted;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++paints;
            painted += static_cast<QPaintEvent*>(event)->region();
        }
        return false;
    }
};

// A new tree is laid out as soon as it is drawn, so that the window's next
// paint takes in all of it; otherwise the engine lays it out in that paint
// and paints the whole page again straight after (on a large tree a second
// long stall). The marker sliders may still animate below the drawing.
TEST_F(SpadePage, ANewTreeIsPaintedOnce) {
    for (Page page : {Page::Master, Page::Slave}) {
        const char* name = page == Page::Master ? "master" : "slave";
        load(page);
        QTest::qWait(200);
        PaintRecorder paints;
        view->installEventFilter(&paints);
        push(standardTree());
        view->repaint();
        ASSERT_EQ(paints.paints, 1) << name;
        paints.painted = QRegion();
        QTest::qWait(300);
        for (int i = 0; i < 4; ++i) EXPECT_FALSE(paints.painted.contains(nodeAt(i))) << name << " node " << i;
        view->removeEventFilter(&paints);
    }
}

TEST_F(SpadePage, SlaveFollowsPositionsOfItsNodeCountAndIgnoresAnythingElse) {
    load(Page::Slave);
    push(standardTree());
    const QString transforms = "d3.selectAll('g.node').nodes().map(g => g.getAttribute('transform')).join(' ')";
    setPositions("[{\"px\":10,\"py\":0},{\"px\":-5,\"py\":100},{\"px\":2.5,\"py\":50},{\"px\":40,\"py\":25}]");
    // Square side min(900 - 160, 805 - 205) = 600, centred: x from 150, y from 80.
    const std::string placed = "translate(350,80) translate(150,680) translate(250,380) translate(750,230)";
    EXPECT_EQ(js(transforms), placed);
    EXPECT_EQ(js("d3.selectAll('line.link').nodes().map(l => ['x1', 'y1', 'x2', 'y2']"
                 ".map(a => l.getAttribute(a)).join()).join(' ')"),
              "350,80,150,680 350,80,250,380 250,380,750,230");

    const QString ignored[] = {
        "[{\"px\":1,\"py\":1},{\"px\":2,\"py\":2},{\"px\":3,\"py\":3}]",
        "",
        "   ",
        "[{\"px\":1,",
        "{\"px\":1,\"py\":1}",
        "null",
        "[1,2,3,4]",
        "[{\"px\":\"a\",\"py\":1},{\"px\":2,\"py\":2},{\"px\":3,\"py\":3},{\"px\":4,\"py\":4}]",
        "[{\"px\":1,\"py\":null},{\"px\":2,\"py\":2},{\"px\":3,\"py\":3},{\"px\":4,\"py\":4}]",
        "[{\"px\":1,\"py\":1},{\"px\":2,\"py\":2},{\"px\":3,\"py\":3},{\"px\":4,\"py\":4},{\"px\":5,\"py\":5}]",
    };
    for (const QString& text : ignored) {
        setPositions(text);
        EXPECT_EQ(js(transforms), placed) << text.toStdString();
    }
}

TEST_F(SpadePage, BrushSelectsWithInclusiveLeftTopEdgesAndShiftFlips) {
    load(Page::Slave);
    push(standardTree());
    placeStandardTree();
    struct Row {
        QPoint from, to;
        Qt::KeyboardModifiers mods;
        std::string selection;
    } rows[] = {
        {{600, 320}, {350, 280}, {}, "1,2"},                 // ends on node 1: left and top edge
        {{300, 230}, {550, 281}, {}, "1"},                   // from link 0-1; node 2 on the right edge
        {{300, 230}, {551, 280}, {}, ""},                    // both on the bottom edge
        {{600, 320}, {350, 280}, {}, "1,2"},                 //
        {{800, 250}, {500, 690}, Qt::ShiftModifier, "1,3"},  // 2 and 3 flip
    };
    for (const Row& row : rows) {
        const int sent = recorder->selections.size();
        drag(row.from, row.to, row.mods);
        EXPECT_EQ(selected(), row.selection);
        ASSERT_EQ(recorder->selections.size(), sent + 1);
        EXPECT_EQ(lastSelection(), row.selection);
        EXPECT_EQ(js("d3.select('.brushSelection').style('display')"), "none");
    }
    EXPECT_NE(js("selectionHull.attr('d')"), "");
}

TEST_F(SpadePage, PressesAndKeysSelect) {
    load(Page::Slave);
    push(standardTree());
    placeStandardTree();
    struct Row {
        int node;
        Qt::KeyboardModifiers mods;
        std::string selection;
        bool sent;
    } rows[] = {
        {1, {}, "1", true},    {2, Qt::ShiftModifier, "1,2", true},
        {1, {}, "1,2", false}, {1, Qt::ShiftModifier, "2", true},
        {3, {}, "3", true},
    };
    for (const Row& row : rows) {
        const int sent = recorder->selections.size();
        click(nodeAt(row.node), row.mods);
        EXPECT_EQ(selected(), row.selection) << row.node;
        EXPECT_EQ(recorder->selections.size(), sent + (row.sent ? 1 : 0)) << row.node;
        EXPECT_EQ(lastSelection(), row.selection);
    }
    EXPECT_EQ(nodeAttributes(".nodeHighlight", "fill"), "#DDD,#DDD,#DDD,rgb(60, 150, 250)");
    QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(lastSelection(), "0,1,2,3");
    QTest::keyClick(view, Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(lastSelection(), "");
}

TEST_F(SpadePage, DraggingMovesTheWholeSelectionAndPinsItWhileFixTreeHoldsTheRest) {
    load(Page::Master);
    push(standardTree());
    placeStandardTree();
    click(centreOf("document.getElementById('fixTreeSwitch')"));
    ASSERT_EQ(js("fixTree + ' ' + graph.nodes.every(d => d.fx === d.x && d.fy === d.y)"), "true true");
    click(nodeAt(1));
    click(nodeAt(2), Qt::ShiftModifier);
    EXPECT_EQ(js("simulation.alphaTarget()"), "0") << "a press without a move lets the layout cool down";
    const int sent = recorder->selections.size();
    drag(nodeAt(1), nodeAt(1) + QPoint(30, 20));
    EXPECT_EQ(recorder->selections.size(), sent) << "a press on a selected node keeps the selection";
    EXPECT_EQ(js("graph.nodes.map(d => [d.fx, d.fy, d.fixed].join()).join(' ')"),
              "0,0,false 31,21,true 32,21,true 3,3,false");
    EXPECT_EQ(js("simulation.alphaTarget()"), "0");
    js("stopLayout()");
}

TEST_F(SpadePage, HoverReportsTheNodeAndDoubleClickOpensARingWithMarkerValues) {
    load(Page::Slave);
    push(standardTree());
    placeStandardTree();
    QTest::mouseMove(window(), nodeAt(0));
    QTest::mouseMove(window(), nodeAt(1));
    EXPECT_EQ(js("d3.select('#nodes').node().lastChild.__data__.index"), "1");
    QTest::mouseMove(window(), QPoint(450, 500));
    EXPECT_EQ(recorder->highlights, (QList<int>{0, -1, 1, -1}));

    QTest::mouseDClick(window(), Qt::LeftButton, {}, nodeAt(1));
    ASSERT_EQ(js("d3.selectAll('.detailRing path.ringArc').size()"), "3");
    const char* labels[] = {"CD3 (15.00)", "CD4 (0.00)", "CD8 (1.00)"};
    for (int i = 0; i < 3; ++i) {
        const double a = (i + 0.5) * 2 * M_PI / 3;
        QTest::mouseMove(window(), nodeAt(1) + QPoint(qRound(43.5 * std::sin(a)), qRound(-43.5 * std::cos(a))));
        EXPECT_EQ(js("d3.selectAll('.ringLabel').nodes().map(t => t.textContent).join()"), labels[i]);
    }
    QTest::mouseMove(window(), QPoint(450, 500));
    EXPECT_EQ(js("d3.selectAll('.ringLabel').size()"), "0");
    QTest::mouseDClick(window(), Qt::LeftButton, {}, nodeAt(1) + QPoint(5, -43));
    EXPECT_EQ(js("d3.selectAll('.detailRing').size()"), "0");
}

TEST_F(SpadePage, NodeMenuOffersWhatTheSelectionPinsAndBubblesAllow) {
    load(Page::Slave);
    push(standardTree());
    placeStandardTree();
    js("window.bubble = (name, nodes) => { selectNodes(d => nodes.includes(d.index)); saveBubble(name); };"
       "window.pin = nodes => pinNodes(graph.nodes.filter(d => nodes.includes(d.index)));"
       "window.reset = () => { d3.contextMenu('close'); subTrees.slice().forEach(removeBubble); deselectAllNodes();"
       "  graph.nodes.forEach(d => { d.subTree = null; d.fixed = false; d.fx = d.fy = null; }); };");
    const QString sel = "selectNodes(d => [1, 2].includes(d.index));";
    const QString bubbles = "bubble('B1', [0, 1]); bubble('B2', [3]);";
    const std::string end = "|---|" + kSaveImage;
    struct Row {
        QString setup;
        int node;
        std::string items;
    } rows[] = {
        {"", 0, "Fix Node" + end},
        {"pin([0])", 0, "Unfix Node" + end},
        {sel, 1, "Remove Node from Selection|---|Fix Node|Fix Selection|---|Create Bubble ..." + end},
        {sel, 0, "Add Node to Selection|---|Fix Node" + end},
        {sel + "pin([2])", 1,
         "Remove Node from Selection|---|Fix Node|Fix Selection|Unfix Selection|---|Create Bubble ..." + end},
        {sel + "pin([1, 2])", 1,
         "Remove Node from Selection|---|Unfix Node|Unfix Selection|---|Create Bubble ..." + end},
        {bubbles, 1, "Fix Node|---|Add Node to B2|Remove Node from B1" + end},
        {bubbles, 2, "Fix Node|---|Add Node to B1|Add Node to B2" + end},
        {bubbles + "selectNodes(d => d.index < 2)", 0,
         "Remove Node from Selection|---|Fix Node|Fix Selection|---|Create Bubble ...|Add Selection to B2|"
         "Remove Selection from B1" +
             end},
        {bubbles + sel, 1,
         "Remove Node from Selection|---|Fix Node|Fix Selection|---|Create Bubble ...|Add Selection to B1|"
         "Add Selection to B2|Remove Selection from Phenotree" +
             end},
    };
    for (const Row& row : rows) {
        js("reset();" + row.setup);
        rightClick(nodeAt(row.node));
        EXPECT_EQ(menu(), row.items) << row.setup.toStdString() << " node " << row.node;
    }

    // The entries act: a node pinned, a node added to the page's selection
    // (the widget keeps the reported one), a bubble that lost its last node
    // gone.
    js("reset()");
    rightClick(nodeAt(3));
    clickMenuItem("Fix Node");
    EXPECT_EQ(js("graph.nodes[3].fixed") + nodeAttributes(".nodeHighlight", "fill"), "true#DDD,#DDD,#DDD,#666");
    js("selectNodes(d => d.index == 1)");
    rightClick(nodeAt(2));
    clickMenuItem("Add Node to Selection");
    EXPECT_EQ(js("selectedNodes().map(d => d.index).join()") + " " + lastSelection(), "1,2 1")
        << "the page's selection only";
    js("reset(); bubble('B1', [0]); bubble('B2', [3])");
    rightClick(nodeAt(0));
    clickMenuItem("Add Node to B2");
    EXPECT_EQ(js("subTrees.map(b => b.name).join() + ' ' + d3.selectAll('.bubbleLabel, .bubbleHull').size()"), "B2 2");
}

// Every bubble that an edit changes goes to the widget with its nodes: the
// node menu's entries, and a saved bubble that takes nodes from others once
// the widget has kept it. A bubble the edit empties goes with no nodes (the
// other views drop it); the saved bubble itself and a refused save report
// no edit.
TEST_F(SpadePage, BubbleEditsReportEveryBubbleTheyChange) {
    load(Page::Master);
    push(standardTree());
    placeStandardTree();
    js("window.bubble = (name, nodes) => { selectNodes(d => nodes.includes(d.index)); saveBubble(name); };"
       "window.reset = () => { d3.contextMenu('close'); subTrees.slice().forEach(removeBubble); deselectAllNodes();"
       "  graph.nodes.forEach(d => { d.subTree = null; }); bubble('B1', [0, 1]); bubble('B2', [3]); };");
    recorder->refused = QStringList{"No"};
    struct Row {
        QString selection;  // selected before the edit
        int node;           // whose menu entry is used, or -1
        QString entry;      // the entry, or the script that edits
        std::string edits;  // "nodes name" reported, in bubble order; a bubble gone with no nodes
        std::string shown;  // the bubbles afterwards
    } rows[] = {
        {"", 2, "Add Node to B1", "0,1,2 B1", "B1:0+1+2 B2:3"},
        {"", 1, "Add Node to B2", "0 B1;1,3 B2", "B1:0 B2:1+3"},
        {"", 3, "Remove Node from B2", " B2", "B1:0+1"},
        {"1, 2", 1, "Add Selection to B2", "0 B1;1,2,3 B2", "B1:0 B2:1+2+3"},
        {"1", 1, "Remove Selection from B1", "0 B1", "B1:0 B2:3"},
        {"0, 1, 3", 0, "Remove Selection from Phenotree", " B1; B2", ""},
        {"1", -1, "saveBubble('B3')", "0 B1", "B1:0 B2:3 B3:1"},
        {"0, 1", -1, "saveBubble('B2')", " B1", "B2:0+1+3"},
        {"1", -1, "saveBubble('No')", "", "B1:0+1 B2:3"},
    };
    for (const Row& row : rows) {
        js("reset(); selectNodes(d => [" + row.selection + "].includes(d.index))");
        recorder->edits.clear();
        if (row.node >= 0) {
            rightClick(nodeAt(row.node));
            clickMenuItem(row.entry);
        } else {
            js(row.entry);
        }
        QStringList edits;
        for (const auto& e : recorder->edits) edits << QString::fromStdString(joined(e.first)) + " " + e.second;
        EXPECT_EQ(edits.join(';').toStdString(), row.edits) << row.entry.toStdString();
        EXPECT_EQ(js("subTrees.map(b => b.name + ':' + bubbleMembers(b.name).map(d => d.index).join('+')).join(' ')"),
                  row.shown)
            << row.entry.toStdString();
    }
}

// The tree's bubbles as another view left them replace the page's own, on
// both pages: names stay text, a node is in the first bubble that names it,
// what is no node or no bubble is left out, text that is no list changes
// nothing, and nothing goes back to the widget. The node menu then offers
// and edits the bubbles shown.
TEST_F(SpadePage, BubblesFromAnotherViewReplaceThePagesOwn) {
    for (Page page : {Page::Master, Page::Slave}) {
        SCOPED_TRACE(page == Page::Master ? "master" : "slave");
        load(page);
        emit recorder->qt_setBubbles(R"([{"name":"B","nodes":[0]}])");
        EXPECT_EQ(js("subTrees.length"), "0") << "no tree yet";
        push(standardTree());
        placeStandardTree();
        js("selectNodes(d => d.index == 3); saveBubble('Own'); selectNodes(d => d.index == 1)");
        const QString shown =
            "subTrees.map(b => b.name + ':' + bubbleMembers(b.name).map(d => d.index).join('+')).join(' ') + '|' +"
            "d3.selectAll('.bubbleLabel').nodes().map(l => l.textContent).join() + '|' +"
            "d3.selectAll('path.bubbleHull').nodes().filter(h => h.getAttribute('d')).length";
        struct Row {
            const char* text;
            std::string shown;
        } rows[] = {
            {R"([{"name":"B","nodes":[0,2]},{"name":"<b>C</b> & 'D'","nodes":[3]}])",
             "B:0+2 <b>C</b> & 'D':3|B,<b>C</b> & 'D'|2"},
            {"", "B:0+2 <b>C</b> & 'D':3|B,<b>C</b> & 'D'|2"},
            {"not a list", "B:0+2 <b>C</b> & 'D':3|B,<b>C</b> & 'D'|2"},
            {R"({"name":"B","nodes":[1]})", "B:0+2 <b>C</b> & 'D':3|B,<b>C</b> & 'D'|2"},
            {"null", "B:0+2 <b>C</b> & 'D':3|B,<b>C</b> & 'D'|2"},
            {R"([{"name":"B","nodes":[0,0,7,-1,1.5,"2",null]},{"name":"C","nodes":[0,3]}])", "B:0 C:3|B,C|2"},
            {R"([{"name":"C","nodes":[3]},{"name":"B","nodes":[]},{"name":5,"nodes":[1]},{"nodes":[2]},)"
             R"({"name":"","nodes":[2]},{"name":"E","nodes":"1"},null,7,{"name":"A","nodes":[2,1]}])",
             "C:3 A:1+2|C,A|2"},
            {"[]", "||0"},
            {R"([{"name":"B","nodes":[0,1]},{"name":"C","nodes":[3]}])", "B:0+1 C:3|B,C|2"},
        };
        const int reported = recorder->subtrees.size() + recorder->edits.size();
        const int selections = recorder->selections.size();
        for (const Row& row : rows) {
            emit recorder->qt_setBubbles(row.text);
            EXPECT_EQ(js(shown), row.shown) << row.text;
        }
        EXPECT_EQ(recorder->subtrees.size() + recorder->edits.size(), reported) << "nothing goes back";
        EXPECT_EQ(recorder->selections.size(), selections);
        EXPECT_EQ(selected(), "1") << "the selection stays";

        js("deselectAllNodes()");
        rightClick(nodeAt(2));
        EXPECT_EQ(menu(), "Fix Node|---|Add Node to B|Add Node to C|---|" + kSaveImage);
        clickMenuItem("Add Node to C");
        EXPECT_EQ(js(shown), "B:0+1 C:2+3|B,C|2");
        ASSERT_FALSE(recorder->edits.isEmpty());
        EXPECT_EQ(joined(recorder->edits.last().first) + " " + recorder->edits.last().second.toStdString(), "2,3 C");
    }
}

TEST_F(SpadePage, PhenotypeDialogSavesBubblesThatKeepTheirMembersAndDropEmptyOnes) {
    load(Page::Slave);
    push(standardTree());
    placeStandardTree();
    click(nodeAt(1));
    click(nodeAt(2), Qt::ShiftModifier);
    openDialogFor(1);
    waitUntilDialogIn();
    EXPECT_EQ(js("['.d3-cyto-modal-header', '#bubble-modal p', '.mdl-textfield__label', '#bubble-accept',"
                 "'#bubble-cancel'].map(s => document.querySelector(s).textContent).join('|')"),
              kDialogTexts);
    EXPECT_EQ(js("[d3.select('#d3-cyto-overlay').style('display'), d3.select('#bubble-modal').style('margin-top'),"
                 "document.getElementById('bubble-accept').disabled].join()"),
              "block,0px,true");
    QTest::keyClicks(view, "Naive");
    EXPECT_EQ(js("document.getElementById('bubble-accept').disabled"), "false");
    QTest::keyClick(view, Qt::Key_Return);
    ASSERT_EQ(recorder->subtrees.size(), 1);
    EXPECT_EQ(subtree(0), "1,2 Naive");
    EXPECT_EQ(js("selectedNodes().length") + " " + lastSelection(), "0 1,2")
        << "the slave page redraws the emptied selection without reporting it";
    EXPECT_EQ(js("bubbleDialogOpen + ' ' + bubbleInput().value.length"), "false 0");
    waitUntilDialogGone();
    EXPECT_EQ(js("subTrees.map(b => [b.name, b.hull.id, b.label.id, b.label.textContent,"
                 "b.label.firstChild.href.baseVal].join()).join()"),
              "Naive,hull-1,hull-label-1,Naive,#hull-1");

    // Escape closes without saving.
    click(nodeAt(3));
    openDialogFor(3);
    QTest::keyClicks(view, "x");
    QTest::keyClick(view, Qt::Key_Escape);
    EXPECT_EQ(js("bubbleDialogOpen + ' ' + bubbleInput().value.length"), "false 0");
    EXPECT_EQ(recorder->subtrees.size(), 1);

    // The same name again: old members stay, the selection joins.
    openDialogFor(3);
    QTest::keyClicks(view, "Naive");
    waitUntilDialogIn();
    click(centreOf("document.getElementById('bubble-accept')"));
    EXPECT_EQ(subtree(-1), "1,2,3 Naive");
    EXPECT_EQ(js("subTrees.map(b => b.name + ' ' + b.label.id).join()"), "Naive hull-label-2");

    // A label click selects exactly its bubble.
    waitUntilDialogGone();
    js("deselectAllNodes()");
    click(labelAt(0));
    EXPECT_EQ(lastSelection(), "1,2,3");
    rightClick(labelAt(0));
    EXPECT_EQ(menu(), kBubbleMenu);
    clickMenuItem("Save Bubble to Separate Files ...");
    EXPECT_EQ(recorder->exports.size(), 1);
    EXPECT_EQ(exported(0), "Naive 1");

    // "B" takes node 3; then node 3 goes back to "Naive" and "B" is gone.
    createBubble({3}, "B");
    EXPECT_EQ(js("subTrees.map(b => b.name + bubbleMembers(b.name).length).join()"), "Naive2,B1");
    createBubble({3}, "Naive");
    EXPECT_EQ(js("subTrees.map(b => b.name).join() + ' ' + d3.selectAll('.bubbleLabel').size()"), "Naive 1");
    EXPECT_EQ(subtree(-1), "1,2,3 Naive");
}

TEST_F(SpadePage, LegendsShowTheirLabelsAndSizeLegendTogglesToCounts) {
    for (Page page : {Page::Master, Page::Slave}) {
        load(page);
        push(standardTree());
        EXPECT_EQ(js("['legendLabelTop', 'legendLabelBottom'].map(id => document.getElementById(id).textContent)"
                     ".join('|')"),
                  page == Page::Master ? kMasterLegend : kSlaveLegend);
        const QString labels = "d3.selectAll('.sizeLegendLabel').nodes().map(t => t.textContent).join('|')";
        EXPECT_EQ(js(labels), kSizeLabels);
        EXPECT_EQ(js("d3.selectAll('#sizeLegend circle').nodes().map(c => c.getAttribute('r')).join()"),
                  "26,21,16,11,6");
        click(QPoint(36, 36));
        EXPECT_EQ(js(labels), kSizeCounts);
        click(QPoint(36, 36));
        EXPECT_EQ(js(labels), kSizeLabels);
        EXPECT_EQ(js("document.getElementById('legendSelector').getBoundingClientRect().left >= window.innerWidth"),
                  "true")
            << "the closed colormap choice is out of view";
    }
}

TEST_F(SpadePage, MarkerRangesAndColormapRecolourTheNodes) {
    load(Page::Master);
    push(standardTree());
    // Viridis over CD3 [4, 15]: node 1 (15) at the top, node 2 (4) at the bottom.
    EXPECT_EQ(nodeFill(1) + nodeFill(2), "#fde725#440154");
    const std::string node0 = nodeFill(0);
    // The lower handle, at 4 of [0, 15], dragged to the middle of the bar.
    const QStringList bar = text(
                                "(r => [r.left, r.width, r.top + r.height / 2].join())("
                                "document.querySelector('#leftMarkerRange .noUi-base').getBoundingClientRect())")
                                .split(',');
    const auto barAt = [&](double share) {
        return QPoint(qRound(bar[0].toDouble() + share * bar[1].toDouble()), qRound(bar[2].toDouble()));
    };
    // The slider places its handles on the next animation frame.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return js("document.querySelector('#leftMarkerRange .noUi-origin').style.left") != ""; }));
    drag(barAt(4.0 / 15), barAt(0.5));
    const double lower = text("expressionUserBounds[0][0]").toDouble();
    EXPECT_NEAR(lower, 7.5, 0.15);
    EXPECT_EQ(js("expressionUserBounds[0][1]"), "15");
    EXPECT_NEAR(text("document.getElementById('rightMarkerRange').noUiSlider.get()[0]").toDouble(), lower, 0.01)
        << "both sides show CD3";
    EXPECT_NE(nodeFill(0), node0);
    EXPECT_EQ(nodeFill(0), "#440154");

    click(centreOf("document.getElementById('legend')"));
    // The colormap choice has slid in when its slide ends at 10 pixels from the right.
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return js("d3.select('#legendWrapper').style('right')") == "10px"; }, kSlideEndMs));
    click(centreOf("d3.selectAll('#legendAll rect.palette').nodes()[4]"));
    EXPECT_EQ(js("_activeColormap"), "4");
    EXPECT_EQ(nodeFill(1), "#fcfdbf") << "top of Magma";
    js("document.getElementById('rightMarkerSelector').value = '2';"
       "document.getElementById('rightMarkerSelector').dispatchEvent(new Event('change'))");
    EXPECT_EQ(js("activeMarker.join() + ' ' + document.getElementById('rightMarkerRange').noUiSlider.get().join()"),
              "0,2 1.00,2.00");
}

// Names from files, users and templates are text everywhere, and come back
// unchanged.
TEST_F(SpadePage, NamesStayTextAndRoundTripExactly) {
    const std::vector<std::string> names = {"CD4 \"na\xc3\xafve\" <T> & \xe7\xbb\x86\xe8\x83\x9e",
                                            "<img src=x onerror=\"window.injected=1\">",
                                            "CD\xc2\xa0"
                                            "8 'T'"};
    MCV_CytometryData::Instance()->addDimensions(names,
                                                 std::vector<std::vector<float>>(3, std::vector<float>(20, 1.25f)));
    MCV_DerivedDataClusters* set = standardTree();
    for (int i = 0; i < 3; ++i) set->setClusterName(i, names[static_cast<size_t>(i)]);
    load(Page::Slave);
    push(set);
    placeStandardTree();

    const std::vector<std::string> markers = {"CD3", "CD4", "CD8", names[0], names[1], names[2]};
    for (const char* id : {"leftMarkerSelector", "rightMarkerSelector"}) {
        EXPECT_EQ(strings(QString("[].map.call(document.getElementById('%1').options, o => o.text)").arg(id)), markers);
        EXPECT_EQ(js(QString("[].map.call(document.getElementById('%1').options, o => o.value).join()").arg(id)),
                  "0,1,2,3,4,5");
    }
    js("openRing(graph.nodes[0])");
    for (int m = 3; m < 6; ++m) {
        js(QString("d3.selectAll('.ringArc').nodes()[%1].dispatchEvent(new MouseEvent('mouseover'))").arg(m));
        EXPECT_EQ(js("d3.select('.ringLabel').text()"), markers[static_cast<size_t>(m)] + " (1.25)");
    }
    js("closeRing(detailRings[0])");

    for (int i = 0; i < 3; ++i) createBubble({i}, QString::fromStdString(names[static_cast<size_t>(i)]));
    ASSERT_EQ(recorder->subtrees.size(), 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(subtree(i), std::to_string(i) + " " + names[static_cast<size_t>(i)]);
    EXPECT_EQ(strings("subTrees.map(b => b.label.textContent)"), names);
    EXPECT_EQ(js("subTrees.map(b => [b.hull.id, b.label.id, b.label.firstChild.href.baseVal]"
                 ".join()).join(' ')"),
              "hull-1,hull-label-1,#hull-1 hull-2,hull-label-2,#hull-2 hull-3,hull-label-3,#hull-3");

    rightClick(nodeAt(3));
    EXPECT_EQ(menu(), "Fix Node|---|Add Node to " + names[0] + "|Add Node to " + names[1] + "|Add Node to " + names[2] +
                          "|---|" + kSaveImage);
    for (int i = 0; i < 3; ++i) {
        rightClick(labelAt(i));
        clickMenuItem("Save Bubble ...");
        EXPECT_EQ(exported(i), names[static_cast<size_t>(i)] + " 0");
    }
    rightClick(QPoint(450, 500));
    clickMenuItem(QString::fromStdString(kSaveImage));
    ASSERT_EQ(recorder->svgs.size(), 1);
    QTest::qWait(100);
    EXPECT_EQ(js("typeof window.injected + ' ' + document.querySelectorAll('img').length"), "undefined 0");

    // Until the host's standalone SVG writes a no-break space as a character
    // reference, the test does.
    QString xml = recorder->svgs[0];
    xml.replace("&nbsp;", "&#160;");
    QXmlStreamReader reader(UI_WebPageHost::standaloneSvg(xml, UI_WebPageHost::styleText(":/spade/spade.css")));
    std::vector<std::string> labels;
    while (!reader.atEnd())
        if (reader.readNext() == QXmlStreamReader::StartElement && reader.name() == QLatin1String("textPath"))
            labels.push_back(reader.readElementText().toStdString());
    EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString();
    EXPECT_EQ(labels, names);
}

// Trees the data model can make at the edges (one node, no links, no cells,
// no value for a marker) and documents it does not make: nothing in the
// drawing reads NaN or undefined, nothing throws.
TEST_F(SpadePage, DegenerateTreesDrawCleanly) {
    const float inf = std::numeric_limits<float>::infinity();
    MCV_CytometryData::Instance()->addDimensions({"inf"},
                                                 std::vector<std::vector<float>>(1, std::vector<float>(20, inf)));
    struct Row {
        const char* what;
        std::function<QString()> json;
        int nodes;
        double radius;  // of node 0, 0 when there is none
    } rows[] = {
        {"one node",
         [] {
             return QString::fromStdString(clusterSet("one", {{0, 0, 5}}, {})->jsonObject());
         },
         1, 25},
        {"no cells",
         [] {
             return QString::fromStdString(
                 clusterSet("empty", {{0, 0, 0}, {0, 0, 0}, {1, 0, 0}}, {{0, 1, 1.f}, {1, 2, 1.f}})->jsonObject());
         },
         3, 5},
        {"no clusters", [] { return QString::fromStdString(clusterSet("none", {}, {})->jsonObject()); }, 0, 0},
        {"no values", [] { return QString::fromStdString(standardTree()->jsonObject()); }, 4, 25},
        {"one marker",
         [] {
             return QString(
                 "{\"nodes\":[{\"name\":\"1\",\"size\":3,\"expression\":[1.5],\"stddev\":[0]},"
                 "{\"name\":\"2\",\"size\":1,\"expression\":[0.5],\"stddev\":[0]}],"
                 "\"links\":[{\"source\":0,\"target\":1,\"value\":1}],\"names\":[\"CD3\"]}");
         },
         2, 25},
        {"no markers",
         [] { return QString("{\"nodes\":[{\"name\":\"1\",\"size\":3,\"expression\":[]}],\"names\":[]}"); }, 1, 25},
        {"bad links and values",
         [] {
             return QString(
                 "{\"nodes\":[{\"size\":\"7\",\"expression\":[\"x\",null]},{\"size\":-1}],"
                 "\"links\":[{\"source\":0,\"target\":7},{\"source\":\"a\",\"target\":1},null],"
                 "\"names\":[\"A\",null]}");
         },
         2, 5},
    };
    for (Page page : {Page::Master, Page::Slave}) {
        load(page);
        for (const Row& row : rows) {
            SCOPED_TRACE(row.what);
            push(row.json());
            ASSERT_EQ(js("graph.nodes.length"), std::to_string(row.nodes));
            if (page == Page::Master) {
                js("for (var k = 0; k < 3; ++k) { simulation.tick(); ticked(); }");
                const QJsonArray p = QJsonDocument::fromJson(recorder->positions.last().toUtf8()).array();
                ASSERT_EQ(p.size(), row.nodes);
                for (const QJsonValue& v : p)
                    EXPECT_TRUE(v.toObject()["px"].isDouble() && v.toObject()["py"].isDouble());
            } else {
                QJsonArray positions;
                for (int i = 0; i < row.nodes; ++i) positions.append(QJsonObject{{"px", i}, {"py", 2 * i}});
                setPositions(QJsonDocument(positions).toJson());
            }
            if (row.nodes > 0) {
                EXPECT_NEAR(text("size2rad(graph.nodes[0].size)").toDouble(), row.radius, 1e-9);
                js("openRing(graph.nodes[0]); selectAllNodes(); saveBubble('b');"
                   "d3.selectAll('.ringArc').nodes().forEach(a => a.dispatchEvent(new MouseEvent('mouseover')))");
                QTest::mouseMove(window(), nodeAt(0));
            }
            js("['leftMarkerSelector', 'rightMarkerSelector'].forEach(id => {"
               "  var s = document.getElementById(id); s.value = String(s.options.length - 1);"
               "  s.dispatchEvent(new Event('change')); })");
            const std::string drawing = mainView();
            for (const char* bad : {"NaN", "undefined"})
                EXPECT_EQ(drawing.find(bad), std::string::npos) << bad << " in " << drawing;
            if (QString(row.what) == "no values") {
                EXPECT_EQ(nodeFill(0), "#bbb");
            }
        }
    }
}

// Contrast ratio of two CSS colours ("rgb(...)"/"rgba(...)", alpha ignored).
double contrast(const QString& a, const QString& b) {
    const auto luminance = [](const QString& css) {
        const QStringList c = QString(css).remove(QRegularExpression("[^0-9.,]")).split(',');
        double l[3];
        for (int i = 0; i < 3; ++i) {
            const double v = c.value(i).toDouble() / 255.0;
            l[i] = v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        }
        return 0.2126 * l[0] + 0.7152 * l[1] + 0.0722 * l[2];
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// A dock of 600 x 400 among many, its drawer open: the tree stands above the
// drawer, menus open inside the page (a tall one scrolls), the drawer's
// controls and labels sit side by side without covering one another, and
// the marker choices read dark on light.
TEST_F(SpadePage, ACrowdedDockKeepsTreeMenusAndLabelsInsideThePage) {
    load(Page::Master, true, QSize(600, 400));
    push(standardTree());
    js("for (var k = 0; k < 50; ++k) simulation.tick(); ticked()");
    ASSERT_EQ(js("uiActive"), "true");
    const double drawerTop = text("document.getElementById('ui').getBoundingClientRect().top").toDouble();
    EXPECT_EQ(drawerTop, 290);
    const QString inside = "(r => r.left >= 0 && r.top >= 0 && r.right <= 600 && r.bottom <= 400)";
    EXPECT_EQ(js("d3.selectAll('g.node').nodes().every(g => " + inside + "(g.getBoundingClientRect()))"), "true");
    EXPECT_EQ(js("graph.nodes.every(d => screenY(d) < " + QString::number(drawerTop) + ")"), "true");

    // Menus, at every node and at the corners above the drawer; with a
    // bubble per node of a larger tree the node menu is taller than the page.
    const QString menuInside = "!!document.querySelector('.d3-context-menu') && " + inside +
                               "(document.querySelector('.d3-context-menu').getBoundingClientRect())";
    const auto menuAt = [&](QPoint at) {
        js("d3.contextMenu('close')");
        rightClick(at);
        return js(menuInside);
    };
    for (int node = 0; node < 4; ++node) EXPECT_EQ(menuAt(nodeAt(node)), "true") << node;
    for (const QPoint& at : {QPoint(595, 285), QPoint(5, 5), QPoint(595, 5), QPoint(5, 285)})
        EXPECT_EQ(menuAt(at), "true") << at.x() << "," << at.y();
    QJsonArray nodes, links;
    for (int i = 0; i < 16; ++i) {
        nodes.append(QJsonObject{{"name", QString::number(i)}, {"size", 1}, {"expression", QJsonArray{1}}});
        if (i > 0) links.append(QJsonObject{{"source", i - 1}, {"target", i}, {"value", 1}});
    }
    push(QJsonDocument(QJsonObject{{"names", QJsonArray{"A"}}, {"nodes", nodes}, {"links", links}}).toJson());
    js("for (var k = 0; k < 50; ++k) simulation.tick(); ticked();"
       "for (var b = 0; b < 16; ++b) { selectNodes(d => d.index == b); saveBubble('bubble ' + b); }"
       "selectNodes(d => d.index < 2)");
    EXPECT_EQ(menuAt(nodeAt(0)), "true");
    EXPECT_EQ(js("(m => m.scrollHeight > m.clientHeight)(document.querySelector('.d3-context-menu'))"), "true")
        << menu();
    js("d3.contextMenu('close')");

    // The drawer: every control inside the page, none over the next, no
    // shown value label over another.
    const QJsonArray items = jsonOf(
        "[].map.call(document.querySelectorAll('#ui .uiItem'), e => (r => [r.left, r.right, r.top, r.bottom])"
        "(e.getBoundingClientRect()))");
    ASSERT_EQ(items.size(), 5);
    for (int i = 0; i < items.size(); ++i) {
        const QJsonArray r = items[i].toArray();
        EXPECT_GE(r[0].toDouble(), 0) << i;
        EXPECT_LE(r[1].toDouble(), 600) << i;
        EXPECT_GE(r[2].toDouble(), drawerTop) << i;
        if (i > 0) {
            EXPECT_LE(items[i - 1].toArray()[1].toDouble(), r[0].toDouble()) << i;
        }
    }
    for (const char* id : {"leftMarkerRange", "rightMarkerRange"}) {
        const QJsonArray labels = jsonOf(QString("[].filter.call(document.querySelectorAll('#%1 .noUi-value'),"
                                                 "e => getComputedStyle(e).display != 'none')"
                                                 ".map(e => (r => [r.left, r.right])(e.getBoundingClientRect()))")
                                             .arg(id));
        ASSERT_GE(labels.size(), 3) << id;
        for (int i = 1; i < labels.size(); ++i)
            EXPECT_LE(labels[i - 1].toArray()[1].toDouble(), labels[i].toArray()[0].toDouble()) << id << " " << i;
    }
    const QString selector = "getComputedStyle(document.getElementById('leftMarkerSelector'))";
    EXPECT_GE(contrast(text(selector + ".color"), text(selector + ".backgroundColor")), 4.5);
}

// The same dock: each marker choice opens its list inside the page (not the
// engine's popup window), in dark text on a light box, and a choice by mouse
// or by keys recolours that half of every node; the other half keeps its
// marker.
TEST_F(SpadePage, MarkerListsOpenInsideACrowdedDockAndChooseByMouseAndKeys) {
    // Viridis over each marker's medians: CD3 5, 15, 4, 10; CD4 0, 0, 1, 1;
    // CD8 1, 1, 1, 2.
    const std::string byCd4 = "#440154,#440154,#fde725,#fde725";
    const std::string byCd8 = "#440154,#440154,#440154,#fde725";
    const QString white = "rgb(255, 255, 255)";
    const double darkest = contrast("rgb(102, 102, 102)", white);
    struct Case {
        Page page;
        const char* selector;
        const char* half;
        const char* otherHalf;
    };
    for (const Case& c : {Case{Page::Master, "leftMarkerSelector", ".halfLeft", ".halfRight"},
                          Case{Page::Master, "rightMarkerSelector", ".halfRight", ".halfLeft"},
                          Case{Page::Slave, "leftMarkerSelector", ".halfLeft", ".halfRight"},
                          Case{Page::Slave, "rightMarkerSelector", ".halfRight", ".halfLeft"}}) {
        SCOPED_TRACE(std::string(c.page == Page::Master ? "master " : "slave ") + c.selector);
        load(c.page, true, QSize(600, 400));
        push(standardTree());
        ASSERT_EQ(js("uiActive"), "true");
        const QString select = QString("document.getElementById('%1')").arg(c.selector);
        const QString list = "document.querySelector('.pageList')";
        const QString inside = "(r => r.left >= 0 && r.top >= 0 && r.right <= 600 && r.bottom <= 400)";
        const std::string other = nodeAttributes(c.otherHalf, "fill");

        click(centreOf(select));
        ASSERT_EQ(js("isPageListOpen(" + select + ")"), "true");
        EXPECT_EQ(js(inside + "(" + list + ".getBoundingClientRect())"), "true");
        EXPECT_EQ(js("[].map.call(document.querySelectorAll('.pageListItem'), e => e.textContent).join('|')"),
                  "CD3|CD4|CD8");
        for (const QString& colour : text("[].map.call(document.querySelectorAll('.pageListItem:not(.active)'),"
                                          "e => getComputedStyle(e).color).join(';')")
                                         .split(';')) {
            EXPECT_GE(contrast(colour, white), darkest) << colour.toStdString();
            EXPECT_GE(contrast(colour, text("getComputedStyle(" + list + ").backgroundColor")), 4.5)
                << colour.toStdString();
        }

        // Mouse: the second entry.
        click(centreOf("document.querySelectorAll('.pageListItem')[1]"));
        EXPECT_EQ(js("isPageListOpen() + ' ' + " + select + ".value"), "false 1");
        EXPECT_EQ(nodeAttributes(c.half, "fill"), byCd4);
        EXPECT_EQ(nodeAttributes(c.otherHalf, "fill"), other);

        // Keys: down from the chosen entry, Return chooses; Escape closes
        // without a choice, and the page's own keys do not see them.
        click(centreOf(select));
        QTest::keyClick(view, Qt::Key_Down);
        QTest::keyClick(view, Qt::Key_Return);
        EXPECT_EQ(js("isPageListOpen() + ' ' + " + select + ".value"), "false 2");
        EXPECT_EQ(nodeAttributes(c.half, "fill"), byCd8);
        click(centreOf(select));
        QTest::keyClick(view, Qt::Key_Up);
        QTest::keyClick(view, Qt::Key_Escape);
        EXPECT_EQ(js("isPageListOpen() + ' ' + " + select + ".value"), "false 2");
        EXPECT_EQ(nodeAttributes(c.half, "fill"), byCd8);
        EXPECT_EQ(nodeAttributes(c.otherHalf, "fill"), other);

        // A new tree refills the choices: an open list closes; many long
        // names make a list that stays inside the page and scrolls.
        click(centreOf(select));
        QJsonArray names, expression;
        for (int m = 0; m < 30; ++m) {
            names.append(QString("marker %1 with a name far too long for the drawer's narrow choice").arg(m));
            expression.append(m);
        }
        push(QJsonDocument(QJsonObject{{"names", names},
                                       {"nodes", QJsonArray{QJsonObject{{"size", 1}, {"expression", expression}}}}})
                 .toJson());
        ASSERT_TRUE(QTest::qWaitFor([&] { return js("isPageListOpen()") == "false"; }));
        click(centreOf(select));
        ASSERT_EQ(js("isPageListOpen(" + select + ")"), "true");
        EXPECT_EQ(js(inside + "(" + list + ".getBoundingClientRect())"), "true");
        EXPECT_EQ(js("(l => l.scrollHeight > l.clientHeight)(" + list + ")"), "true");
        for (int k = 0; k < 29; ++k) QTest::keyClick(view, Qt::Key_Down);
        EXPECT_EQ(js(inside + "(document.querySelector('.pageListItem.active').getBoundingClientRect())"), "true")
            << "the marked entry is scrolled into view";
        QTest::keyClick(view, Qt::Key_Return);
        EXPECT_EQ(js(select + ".value + ' ' + activeMarker.join()"),
                  std::string(c.half) == ".halfLeft" ? "29 29,0" : "29 0,29");
    }
}

TEST_F(SpadePage, RunsAloneWithoutTheBridge) {
    load(Page::Master, false);
    EXPECT_TRUE(console->lines.contains("could not connect qt"));
    js("setData('{\"nodes\":[{\"size\":1,\"expression\":[1]},{\"size\":2,\"expression\":[2]}],\"names\":[\"A\"]}');"
       "stopLayout(); selectAllNodes(); saveBubble('x'); printSVG()");
    EXPECT_EQ(js("isQtAvailable + ' ' + d3.selectAll('g.node').size() + ' ' + subTrees.length"), "false 2 1");
}

}  // namespace

#include "test_SpadePages.moc"
