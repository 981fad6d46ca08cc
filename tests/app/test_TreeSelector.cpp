// The tree page's selector with several trees, through the real window and
// the real page: a tree a closed analysis left and two focus-and-context
// analyses. A page opened before the Computes and one opened after them
// list each tree once under its own name; an entry chosen in the page's
// select element draws that tree and stays chosen while Computes and focus
// steps send names again.
#include "FocusContextFixture.h"
#include "ui/PageTestSupport.h"

#include "analysis/fc/MCV_FCTree.h"
#include "analysis/fc/MCV_HsneFCAnalysis.h"
#include "ui/fctree/UI_TreeWidget.h"

#include <QElapsedTimer>

#include <functional>
#include <string>
#include <vector>

namespace {

// The page may hear of a change only once the engine has run its queued
// work; a page that never gets there fails the test rather than hang it.
constexpr int kPageDeadlineMs = 20000;

bool waitUntil(const std::function<bool()>& done) {
    QElapsedTimer waited;
    waited.start();
    while (!done()) {
        if (waited.elapsed() > kPageDeadlineMs) return false;
        QTest::qWait(20);
    }
    return true;
}

std::string js(UI_TreeWidget* page, const QString& script) {
    return pagetest::js(page->webView(), script).toString().toStdString();
}

QString quoted(const std::string& text) {
    QString q = QString::fromStdString(text);
    q.replace('\\', "\\\\").replace('\'', "\\'");
    return "'" + q + "'";
}

// Every node object of a tree's JSON carries one id; the page draws one
// g.node for each.
size_t nodesIn(const std::string& json) {
    size_t nodes = 0;
    for (size_t at = json.find("\"id\":"); at != std::string::npos; at = json.find("\"id\":", at + 1)) ++nodes;
    return nodes;
}

// What a page shows: its entries after the placeholder as "value=text", the
// select's value, and how many nodes it drew and whether of `chosen`'s tree
// (of nothing for null).
struct Shown {
    std::string entries, value, drawn;
    bool operator==(const Shown& o) const { return entries == o.entries && value == o.value && drawn == o.drawn; }
};

Shown shownBy(UI_TreeWidget* page, MCV_FCTree* chosen) {
    const QString sameData =
        chosen ? "JSON.stringify(_data) === JSON.stringify(" + QString::fromStdString(chosen->jsonObject()) + ")"
               : "_data === null";
    return {js(page,
               "[].slice.call(document.getElementById('treeSelector').options, 1)"
               ".map(o => o.value + '=' + o.text).join('|')"),
            js(page, "document.getElementById('treeSelector').value"),
            js(page, "d3.selectAll('g.node').size() + (" + sameData + " ? ' nodes' : ' nodes of another tree')")};
}

class TreeSelector : public FocusContextFixture {
protected:
    UI_TreeWidget* openTreePage() {
        trigger("actionTree");
        auto* page = qobject_cast<UI_TreeWidget*>(w().views().back());
        EXPECT_NE(page, nullptr);
        if (page) {
            EXPECT_TRUE(pagetest::waitForPage(page->webView())) << "the tree page did not load";
        }
        return page;
    }

    // `page` lists every tree of the registry once, in its order, and shows
    // `chosen` chosen and drawn (nothing for null); the first miss ends the
    // test.
    void checkShows(UI_TreeWidget* page, MCV_FCTree* chosen) {
        std::string entries;
        for (MCV_FCTree* tree : MCV_CytometryData::Instance()->derivedDataTrees())
            entries += (entries.empty() ? "" : "|") + tree->name() + "=" + tree->name();
        const Shown wanted{entries, chosen ? chosen->name() : std::string(),
                           std::to_string(chosen ? nodesIn(chosen->jsonObject()) : 0) + " nodes"};
        const bool settled = waitUntil([&] { return shownBy(page, chosen) == wanted; });
        const Shown shown = shownBy(page, chosen);
        EXPECT_EQ(shown.entries, wanted.entries) << "each tree listed once under its name";
        EXPECT_EQ(shown.value, wanted.value) << "the entry chosen";
        EXPECT_EQ(shown.drawn, wanted.drawn) << "the drawing";
        MCV_FCTree* current = page->currentTree();
        EXPECT_EQ(current, chosen) << "the dock's tree is " << (current ? current->name() : "none");
        ASSERT_TRUE(settled) << "the page did not show it within " << kPageDeadlineMs << " ms";
    }

    // Picks the entry reading `tree`'s name in the page's own select
    // element, as a change of the element the page listens to.
    void choose(UI_TreeWidget* page, MCV_FCTree* tree) {
        SCOPED_TRACE("choosing " + tree->name());
        const std::string picked = js(page,
                                      "(function () { var s = document.getElementById('treeSelector');"
                                      "  var k = [].findIndex.call(s.options, o => o.text === " +
                                          quoted(tree->name()) +
                                          ");"
                                          "  if (k < 1) return 'not listed';"
                                          "  s.selectedIndex = k; s.dispatchEvent(new Event('change'));"
                                          "  return 'picked'; })()");
        ASSERT_EQ(picked, "picked");
        ASSERT_NO_FATAL_FAILURE(checkShows(page, tree));
    }
};

TEST_F(TreeSelector, EachTreeListedOnceDrawnWhenChosenAndKeptChosen) {
    showPlotWindow({1400, 1000});
    open({blobs()});
    // A tree left by a closed analysis, focused so that it draws apart from
    // a freshly computed one.
    MCV_HsneFCAnalysis* closing = create("Closed", 2);
    ASSERT_NE(closing, nullptr);
    ASSERT_NO_FATAL_FAILURE(compute(closing));
    ASSERT_NO_FATAL_FAILURE(focus(closing));
    MCV_FCTree* left = closing->fcTree();
    ASSERT_NO_FATAL_FAILURE(closeOnlyAnalysis("Closed"));

    UI_TreeWidget* early = openTreePage();
    ASSERT_NE(early, nullptr);
    MCV_HsneFCAnalysis* fc[2] = {create("A", 3), create("B", 2)};
    ASSERT_TRUE(fc[0] && fc[1]);
    {
        SCOPED_TRACE("a page opened before the Computes");
        ASSERT_NO_FATAL_FAILURE(checkShows(early, nullptr));
        ASSERT_NO_FATAL_FAILURE(compute(fc[0]));
        ASSERT_NO_FATAL_FAILURE(checkShows(early, nullptr));
        // Not the first entry: a list redrawn without the choice may fall
        // back to the first.
        ASSERT_NO_FATAL_FAILURE(choose(early, fc[0]->fcTree()));
        ASSERT_NO_FATAL_FAILURE(compute(fc[1]));
        ASSERT_NO_FATAL_FAILURE(checkShows(early, fc[0]->fcTree()));
        for (MCV_HsneFCAnalysis* a : fc) {
            ASSERT_NO_FATAL_FAILURE(focus(a));
            ASSERT_NO_FATAL_FAILURE(checkShows(early, fc[0]->fcTree()));
        }
    }
    const std::vector<MCV_FCTree*> trees = MCV_CytometryData::Instance()->derivedDataTrees();
    ASSERT_EQ(trees, (std::vector<MCV_FCTree*>{left, fc[0]->fcTree(), fc[1]->fcTree()}));

    SCOPED_TRACE("a page opened after the Computes");
    UI_TreeWidget* late = openTreePage();
    ASSERT_NE(late, nullptr);
    ASSERT_NO_FATAL_FAILURE(checkShows(late, nullptr));
    for (MCV_FCTree* tree : trees) ASSERT_NO_FATAL_FAILURE(choose(late, tree));
    // Computed again, A sends its name and its new tree; each page keeps
    // its own choice.
    ASSERT_NO_FATAL_FAILURE(compute(fc[0]));
    ASSERT_NO_FATAL_FAILURE(checkShows(late, fc[1]->fcTree()));
    ASSERT_NO_FATAL_FAILURE(checkShows(early, fc[0]->fcTree()));
    EXPECT_EQ(MCV_CytometryData::Instance()->derivedDataTrees(), trees);
}

}  // namespace
