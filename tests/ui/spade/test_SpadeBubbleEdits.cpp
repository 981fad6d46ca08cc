// Bubbles on the tree page of a real SPADE run, through the page's own menus
// with real mouse events: the point set a bubble became holds exactly the
// cells of the nodes the page shows in it, after a merge of the tree's
// cluster set and after every node menu edit of the bubble, and each refill
// is announced.
#include "SpadePageGestures.h"
#include "SpadeTreeFixture.h"

#include <QSignalSpy>

#include <map>

namespace {

using namespace spadepage;

// A view of the tree shown with its nodes on a grid (three to a row, laid
// out no further), so that the mouse finds them.
class BubbleEdits : public SpadeTreeTest {
protected:
    void SetUp() override {
        SpadeTreeTest::SetUp();
        compute();
        n = clusters->numClusters();
        ASSERT_GE(n, 5);
    }
    UI_SpadeWidget* show(bool slave) {
        UI_SpadeWidget* view = open(slave);
        view->resize(900, 800);
        view->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(view));
        EXPECT_TRUE(waitForNodes(view, clusters->numClusters()));
        return view;
    }
    void placeOnGrid(UI_SpadeWidget* view) { spadepage::placeOnGrid(view, clusters); }
    std::set<Pair> setOf(const std::string& name) {
        MCV_DerivedDataPoints* set = pointSet(name);
        return set ? asSet(set->data()) : std::set<Pair>{};
    }
    size_t sizeOf(const std::string& name) {
        MCV_DerivedDataPoints* set = pointSet(name);
        return set ? set->data().size() : 0;
    }

    int n = 0;
};

// Each of the node menu's bubble entries, on the master and on a follower:
// after every edit each bubble's point set holds exactly the cells of the
// nodes the page shows in it, each bubble the edit changed is refilled and
// announced once, and a bubble the edit empties leaves the page while its
// point set keeps the cells it last had. "Save Bubble ..." then writes the
// cells the page shows.
TEST_F(BubbleEdits, EveryNodeMenuEditRefillsTheBubblesItChanges) {
    struct Row {
        QString selection;  // the nodes selected before the menu opens
        int node;           // whose menu is used
        QString entry;
        std::string shown;                             // the page's bubbles afterwards
        std::map<std::string, std::vector<int>> sets;  // every bubble's point set afterwards
        std::vector<std::string> announced;            // refilled, in this order
    };
    // From A = {1}, B = {0}.
    const std::vector<Row> rows = {
        {"", 2, "Add Node to B", "A:1 B:0+2", {{"A", {1}}, {"B", {0, 2}}}, {"B"}},
        {"", 0, "Remove Node from B", "A:1 B:2", {{"A", {1}}, {"B", {2}}}, {"B"}},
        {"3, 4", 3, "Add Selection to B", "A:1 B:2+3+4", {{"A", {1}}, {"B", {2, 3, 4}}}, {"B"}},
        {"2, 3", 3, "Remove Selection from B", "A:1 B:4", {{"A", {1}}, {"B", {4}}}, {"B"}},
        {"", 3, "Add Node to A", "A:1+3 B:4", {{"A", {1, 3}}, {"B", {4}}}, {"A"}},
        // Node 3 leaves A for B: both are refilled.
        {"0, 3", 0, "Add Selection to B", "A:1 B:0+3+4", {{"A", {1}}, {"B", {0, 3, 4}}}, {"A", "B"}},
        // Out of both; A leaves the page and its set keeps node 1's cells.
        {"1, 4", 1, "Remove Selection from Phenotree", "B:0+3", {{"A", {1}}, {"B", {0, 3}}}, {"B"}},
        {"", 0, "Remove Node from B", "B:3", {{"A", {1}}, {"B", {3}}}, {"B"}},
    };
    QSignalSpy announced(&bridge, &UI_Interface::dataRefreshedSignal);
    for (bool slave : {false, true}) {
        SCOPED_TRACE(slave ? "follower" : "master");
        views.clear();
        UI_SpadeWidget* view = show(slave);
        QSignalSpy created(view, &UI_SpadeWidget::subtreeCreated);
        placeOnGrid(view);
        page(view, "selectNodes(d => d.index == 1); saveBubble('A'); selectNodes(d => d.index == 0); saveBubble('B')");
        ASSERT_EQ(bubbles(view), "A:1 B:0");
        ASSERT_EQ(setOf("A"), eventsOf({1}));
        ASSERT_EQ(setOf("B"), eventsOf({0}));
        const std::map<void*, std::string> names = {{pointSet("A"), "A"}, {pointSet("B"), "B"}};

        for (const Row& row : rows) {
            SCOPED_TRACE(row.entry.toStdString() + " on node " + std::to_string(row.node));
            page(view, "selectNodes(d => [" + row.selection + "].includes(d.index))");
            announced.clear();
            created.clear();
            rightClickNode(view, row.node);
            clickMenuItem(view, row.entry);
            EXPECT_EQ(bubbles(view), row.shown);
            for (const auto& [name, nodes] : row.sets) {
                EXPECT_EQ(setOf(name), eventsOf(nodes)) << name;
                EXPECT_EQ(sizeOf(name), eventsOf(nodes).size()) << name << ": no cell twice";
            }
            std::vector<std::string> refilled;
            for (const QList<QVariant>& signal : announced) {
                const auto named = names.find(signal.at(0).value<void*>());
                if (named != names.end()) refilled.push_back(named->second);
            }
            EXPECT_EQ(refilled, row.announced);
            EXPECT_EQ(created.size(), static_cast<int>(row.announced.size())) << "the shell hears of each refill";
        }

        // "Save Bubble ..." in B's label menu writes the cells of node 3.
        expectSavedFromTheLabel(view, dir.filePath(slave ? "follower.fcs" : "master.fcs"), eventsOf({3}));

        // B's last node out: B leaves the page, its set stays as it was.
        page(view, "deselectAllNodes()");
        created.clear();
        rightClickNode(view, 3);
        clickMenuItem(view, "Remove Node from B");
        EXPECT_EQ(bubbles(view), "");
        EXPECT_EQ(setOf("B"), eventsOf({3}));
        EXPECT_EQ(setOf("A"), eventsOf({1}));
        EXPECT_EQ(created.size(), 0);
    }
    EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());
}

// Two views of the tree, the first and a follower, each edited through its
// own page and menus: after every save and edit each view shows the same
// bubbles with the same nodes, and each bubble's point set holds exactly
// the cells of those nodes. A view opened later shows them too, "Save
// Bubble ..." from any view writes the set's cells, a refused name changes
// no view, and a new tree starts every view without bubbles.
TEST_F(BubbleEdits, EveryViewOfTheTreeShowsEachBubbleWithTheNodesOfItsSet) {
    UI_SpadeWidget* first = show(false);
    UI_SpadeWidget* follower = show(true);
    placeOnGrid(first);
    placeOnGrid(follower);
    struct Row {
        int view;           // 0 the first view, 1 the follower
        QString selection;  // selected before
        int node;           // whose menu entry is used; -1: the selection is saved as `entry`
        QString entry;
        std::string shown;                             // on every view afterwards
        std::map<std::string, std::vector<int>> sets;  // afterwards
    };
    const std::vector<Row> rows = {
        {0, "0", -1, "B", "B:0", {{"B", {0}}}},
        // The follower's "B" is the first view's: the bubble gains node 2.
        {1, "2", -1, "B", "B:0+2", {{"B", {0, 2}}}},
        {0, "", 4, "Add Node to B", "B:0+2+4", {{"B", {0, 2, 4}}}},
        {1, "1", -1, "C", "B:0+2+4 C:1", {{"B", {0, 2, 4}}, {"C", {1}}}},
        {0, "", 2, "Add Node to C", "B:0+4 C:1+2", {{"B", {0, 4}}, {"C", {1, 2}}}},
        {1, "", 0, "Remove Node from B", "B:4 C:1+2", {{"B", {4}}, {"C", {1, 2}}}},
        {1, "3, 4", 3, "Add Selection to C", "C:1+2+3+4", {{"B", {4}}, {"C", {1, 2, 3, 4}}}},
        {0, "1, 3", 1, "Remove Selection from C", "C:2+4", {{"B", {4}}, {"C", {2, 4}}}},
        // Saved anew, B is made last on every view.
        {0, "0", -1, "B", "C:2+4 B:0", {{"B", {0}}, {"C", {2, 4}}}},
        {1, "", 0, "Remove Node from B", "C:2+4", {{"B", {0}}, {"C", {2, 4}}}},
    };
    UI_SpadeWidget* both[] = {first, follower};
    for (const Row& row : rows) {
        UI_SpadeWidget* view = both[row.view];
        SCOPED_TRACE((row.view ? "follower: " : "first view: ") + row.entry.toStdString() + " " +
                     std::to_string(row.node));
        page(view, "d3.contextMenu('close'); selectNodes(d => [" + row.selection + "].includes(d.index))");
        if (row.node < 0) {
            page(view, "saveBubble(" + quoted(row.entry) + ")");
        } else {
            rightClickNode(view, row.node);
            clickMenuItem(view, row.entry);
        }
        for (UI_SpadeWidget* v : both) {
            EXPECT_EQ(bubbles(v), row.shown) << (v == first ? "first view" : "follower");
            EXPECT_TRUE(everyBubbleDrawn(v)) << "every bubble drawn with its label";
        }
        for (const auto& [name, nodes] : row.sets) {
            EXPECT_EQ(setOf(name), eventsOf(nodes)) << name;
            EXPECT_EQ(sizeOf(name), eventsOf(nodes).size()) << name;
        }
    }

    // A view opened now shows the bubbles; "Save Bubble ..." from its label
    // menu, as from the others', writes C's cells.
    UI_SpadeWidget* later = show(true);
    placeOnGrid(later);
    EXPECT_EQ(bubbles(later), "C:2+4");
    int files = 0;
    for (UI_SpadeWidget* view : {first, follower, later}) {
        SCOPED_TRACE(files);
        expectSavedFromTheLabel(view, dir.filePath(QString("C%1.fcs").arg(++files)), eventsOf({2, 4}));
    }

    // A name the analysis refuses: the view that saved it takes it back, the
    // others never see it.
    quietly([&] { page(follower, "selectNodes(d => d.index == 0); saveBubble('All Points')"); });
    EXPECT_EQ(UI_ModalDialogs::takeMessages().size(), 1u);
    for (UI_SpadeWidget* v : {first, follower, later}) EXPECT_EQ(bubbles(v), "C:2+4");

    // A new tree (two nodes merged on the heat map): no view shows a
    // bubble, nor does one opened then; the sets keep their cells.
    const std::set<Pair> c = setOf("C");
    clusters->merge({0, 1});
    for (UI_SpadeWidget* v : {first, follower, later}) {
        ASSERT_TRUE(waitForNodes(v, n - 1));
        EXPECT_EQ(bubbles(v), "");
    }
    UI_SpadeWidget* afterMerge = show(true);
    EXPECT_EQ(bubbles(afterMerge), "");
    EXPECT_EQ(setOf("C"), c);
    EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());
}

// The widget's side: each change a view's page reports and the analysis
// keeps goes, as the whole list of the tree's bubbles, to every other view
// of the same tree, not back to the page that made it nor to a view of
// another tree; what is not kept goes nowhere.
TEST_F(BubbleEdits, EachKeptChangeGoesToTheOtherViewsOfTheTree) {
    UI_SpadeWidget* first = open(false);
    UI_SpadeWidget* second = open(true);
    MCV_SpadeAnalysis otherTree;
    quietly([&] { otherTree.init(&bridge, "Other tree"); });
    auto foreign = std::make_unique<UI_SpadeWidget>(nullptr, &otherTree, true);
    QSignalSpy toFirst(first, &UI_SpadeWidget::qt_setBubbles);
    QSignalSpy toSecond(second, &UI_SpadeWidget::qt_setBubbles);
    QSignalSpy toForeign(foreign.get(), &UI_SpadeWidget::qt_setBubbles);

    struct Row {
        int from;  // 0 first, 1 second
        bool save;
        QList<int> nodes;
        QString name;
        const char* sent;  // to the other view; null: nothing is sent
    } rows[] = {
        {0, true, {0, 1}, "B", R"([{"name":"B","nodes":[0,1]}])"},
        {1, true, {2}, "C", R"([{"name":"B","nodes":[0,1]},{"name":"C","nodes":[2]}])"},
        // Node 1 leaves B for C; the page reports B next, which changes
        // nothing more.
        {0, false, {1, 2}, "C", R"([{"name":"B","nodes":[0]},{"name":"C","nodes":[1,2]}])"},
        {0, false, {0}, "B", R"([{"name":"B","nodes":[0]},{"name":"C","nodes":[1,2]}])"},
        // Saved again: made anew, last; repeats and strangers dropped.
        {1, true, {0, 3, 3, 99}, "B", R"([{"name":"C","nodes":[1,2]},{"name":"B","nodes":[0,3]}])"},
        // B's nodes all taken by a save of C: B is gone.
        {0, true, {1, 2, 0, 3}, "C", R"([{"name":"C","nodes":[1,2,0,3]}])"},
        // Left the page: gone from the list, its set unchanged.
        {1, false, {}, "C", "[]"},
        {0, false, {-1, 99}, "C", nullptr},
        {0, false, {1}, "Never saved", nullptr},
        {0, false, {}, "Never saved", nullptr},
        {0, true, {1}, "All Points", nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name.toStdString() + (row.save ? " saved" : " edited"));
        UI_SpadeWidget* from = row.from ? second : first;
        toFirst.clear();
        toSecond.clear();
        quietly([&] {
            if (row.save)
                from->js_subtreeCreated(row.nodes, row.name);
            else
                from->js_subtreeEdited(row.nodes, row.name);
        });
        UI_ModalDialogs::takeMessages();
        QSignalSpy& origin = row.from ? toSecond : toFirst;
        QSignalSpy& other = row.from ? toFirst : toSecond;
        EXPECT_EQ(origin.size(), 0);
        ASSERT_EQ(other.size(), row.sent ? 1 : 0);
        if (row.sent) {
            EXPECT_EQ(other.at(0).at(0).toString().toStdString(), row.sent);
        }
    }
    EXPECT_EQ(setOf("C"), eventsOf({1, 2, 0, 3})) << "the set of a bubble that left keeps its cells";
    EXPECT_EQ(toForeign.size(), 0);
}

// The page draws the cluster set after a merge of nodes 0 and 1 (as the heat
// map's "Merge Selected Clusters" makes it): a bubble, and every edit of it,
// holds the cells of the nodes the page shows, the merged node with the
// cells of both clusters, the others those of the run's cluster one above.
TEST_F(BubbleEdits, AfterAMergeBubblesHoldTheCellsOfTheNodesShown) {
    UI_SpadeWidget* view = show(false);
    const std::vector<std::vector<Pair>> own = spade->clusters();
    clusters->merge({0, 1});
    ASSERT_TRUE(waitForNodes(view, n - 1));
    placeOnGrid(view);
    // Node k of the page, from the run's own clusters.
    const auto cells = [&](std::vector<int> nodes) {
        std::set<Pair> events;
        for (int k : nodes) {
            std::vector<int> ofNode = k == 0 ? std::vector<int>{0, 1} : std::vector<int>{k + 1};
            for (int c : ofNode) events.insert(own[size_t(c)].begin(), own[size_t(c)].end());
        }
        return events;
    };
    ASSERT_EQ(eventsOf({1}), cells({1})) << "the test's own reading of the merge";

    page(view,
         "selectNodes(d => d.index == 1); saveBubble('New node 1'); selectNodes(d => d.index == 0);"
         "saveBubble('Merged')");
    EXPECT_EQ(setOf("New node 1"), cells({1}));
    EXPECT_EQ(setOf("Merged"), cells({0}));
    EXPECT_EQ(sizeOf("Merged"), own[0].size() + own[1].size());
    rightClickNode(view, 2);
    clickMenuItem(view, "Add Node to New node 1");
    EXPECT_EQ(setOf("New node 1"), cells({1, 2}));
    page(view, "selectNodes(d => d.index == 1)");
    rightClickNode(view, 1);
    clickMenuItem(view, "Add Selection to Merged");
    EXPECT_EQ(setOf("Merged"), cells({0, 1}));
    EXPECT_EQ(setOf("New node 1"), cells({2}));
}

// An edit refills only a set this tree's analysis made from a bubble, with
// the page's valid nodes; it never makes a set, refills another analysis's
// or a foreign one, or asks the user anything.
TEST_F(BubbleEdits, AnEditRefillsOnlyABubbleOfThisTree) {
    UI_SpadeWidget* view = open(false);
    view->js_subtreeCreated({0}, "B");
    MCV_SpadeAnalysis other;
    quietly([&] { other.init(&bridge, "Other"); });
    std::vector<int> first{0};
    quietly([&] { ASSERT_TRUE(other.addSubtree("Theirs", &first)); });
    MCV_DerivedDataPoints* gate = data->derivedDataPoints("Gate", false);
    gate->setPoints({{0, 1}}, false);
    const std::vector<Pair> all = pointSet("All Points")->data();
    const std::vector<Pair> theirs = pointSet("Theirs")->data();
    const size_t sets = data->derivedDataPoints().size();
    QSignalSpy created(view, &UI_SpadeWidget::subtreeCreated);

    struct Row {
        QList<int> nodes;
        QString name;
        std::vector<int> b;  // B afterwards
        int announced;
    } rows[] = {
        {{2, 1, 2, -1, 99}, "B", {2, 1}, 1},  // repeats and strangers dropped
        {{-1, 99}, "B", {2, 1}, 0},           // no node of the tree: B stays
        {{3}, "Never saved", {2, 1}, 0},
        {{3}, "All Points", {2, 1}, 0},
        {{3}, "Selection", {2, 1}, 0},
        {{3}, "Gate", {2, 1}, 0},
        {{3}, "Theirs", {2, 1}, 0},
        {{3}, "Tree", {2, 1}, 0},  // the cluster set
        {{3}, "", {2, 1}, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name.toStdString());
        created.clear();
        quietly([&] { view->js_subtreeEdited(row.nodes, row.name); });
        EXPECT_EQ(setOf("B"), eventsOf(row.b));
        EXPECT_EQ(sizeOf("B"), eventsOf(row.b).size());
        EXPECT_EQ(created.size(), row.announced);
        EXPECT_EQ(data->derivedDataPoints().size(), sets);
    }
    EXPECT_EQ(pointSet("All Points")->data(), all);
    EXPECT_EQ(pointSet("Theirs")->data(), theirs);
    EXPECT_EQ(gate->data(), (std::vector<Pair>{{0, 1}}));
    EXPECT_TRUE(data->selectionPoints()->data().empty());
    EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());
}

}  // namespace
