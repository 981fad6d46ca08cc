// Each focus-and-context analysis has a tree of its own, built on its own
// hierarchy, whatever names the data set already holds: two analyses named
// "All Points" and "All Points-1" (the data set's point set "All Points"
// makes the registry file the first one's tree as "All Points-1"), or
// "Tcells" and "Tcells-1" beside a saved SPADE subtree "Tcells", or a new
// analysis under the name of a closed one. Through the real window: Compute
// in either order, 2 and 3 scales each way, "Set focus and differentiate."
// on each analysis in turn, the first computed again; each step changes its
// own analysis' tree alone, and the tree page hands each tree by its name.
#include "FocusContextFixture.h"

#include "analysis/fc/MCV_FCTree.h"
#include "analysis/fc/MCV_HsneFCAnalysis.h"
#include "analysis/spade/MCV_SpadeAnalysis.h"
#include "data/MCV_DerivedDataPoints.h"
#include "ui/fctree/UI_TreeWidget.h"
#include "ui/spade/UI_SpadeSettingsWidget.h"
#include "ui/spade/UI_SpadeWidget.h"

namespace {

struct TreeCase {
    const char* id;
    const char* names[2];
    int scales[2];
    int firstComputed;  // 0 or 1: which analysis computes first
    bool spadeSubtree;  // a SPADE bubble saved as "Tcells" before the analyses
};

void PrintTo(const TreeCase& c, std::ostream* out) { *out << c.id; }

const TreeCase kCases[] = {
    {"TwoPlainNames", {"A", "B"}, {2, 3}, 0, false},
    {"AllPointsTwoThenThree", {"All Points", "All Points-1"}, {2, 3}, 0, false},
    {"AllPointsTwoThenThreeSecondFirst", {"All Points", "All Points-1"}, {2, 3}, 1, false},
    {"AllPointsThreeThenTwo", {"All Points", "All Points-1"}, {3, 2}, 0, false},
    {"AllPointsThreeThenTwoSecondFirst", {"All Points", "All Points-1"}, {3, 2}, 1, false},
    {"SavedSubtreeTwoThenThree", {"Tcells", "Tcells-1"}, {2, 3}, 0, true},
    {"SavedSubtreeThreeThenTwoSecondFirst", {"Tcells", "Tcells-1"}, {3, 2}, 1, true},
};

class FocusAndContextTrees : public FocusContextFixture {
protected:
    // A SPADE analysis computed, its first two nodes saved from its tree as
    // the bubble "Tcells".
    void saveSpadeSubtree() {
        UI_ModalDialogs::answerText("S");
        quietly([&] { trigger("actionNewSpadeAnalysis"); });
        auto* spade = dynamic_cast<MCV_SpadeAnalysis*>(w().analyses().back());
        ASSERT_NE(spade, nullptr);
        spade->setDensityLimit(100.0f);
        auto* panel = panelOf<UI_SpadeSettingsWidget>(spade);
        ASSERT_NE(panel, nullptr);
        panel->targetNodesBox()->setValue(4);
        quietly([&] { QTest::mouseClick(panel->computeButtonWidget(), Qt::LeftButton); });
        UI_SpadeWidget* master = nullptr;
        for (UI_SpadeWidget* v : w().findChildren<UI_SpadeWidget*>())
            if (!v->slave()) master = v;
        ASSERT_NE(master, nullptr);
        quietly([&] { master->js_subtreeCreated({0, 1}, "Tcells"); });
        bool saved = false;
        for (MCV_DerivedDataPoints* set : MCV_CytometryData::Instance()->derivedDataPoints())
            saved = saved || set->name() == "Tcells";
        ASSERT_TRUE(saved);
    }
};

class OneTreePerFocusAndContext : public FocusAndContextTrees, public ::testing::WithParamInterface<TreeCase> {};

// What the tree page draws of a tree, and each leaf's landmarks.
std::string drawing(MCV_FCTree* tree) {
    std::string text = tree->jsonObject();
    for (const MCV_FCTree::NodePtr& leaf : *tree->leaves()) {
        text += "\n" + std::to_string(leaf->scale) + ":";
        for (unsigned l : leaf->landmarkIdxs) text += " " + std::to_string(l);
    }
    return text;
}

TEST_P(OneTreePerFocusAndContext, EachStepChangesItsOwnTreeAlone) {
    const TreeCase& c = GetParam();
    showPlotWindow({1400, 1000});
    open({blobs()});
    if (c.spadeSubtree) {
        ASSERT_NO_FATAL_FAILURE(saveSpadeSubtree());
    }
    MCV_HsneFCAnalysis* fc[2] = {create(c.names[0], c.scales[0]), create(c.names[1], c.scales[1])};
    ASSERT_TRUE(fc[0] && fc[1]);

    const int first = c.firstComputed, second = 1 - first;
    ASSERT_NO_FATAL_FAILURE(compute(fc[first]));
    const std::string computedFirst = drawing(fc[first]->fcTree());
    ASSERT_NO_FATAL_FAILURE(compute(fc[second]));
    ASSERT_NE(fc[0]->fcTree(), fc[1]->fcTree());
    EXPECT_EQ(drawing(fc[first]->fcTree()), computedFirst) << "the second Compute left the first tree as it was";

    // A focus on each in turn splits its own tree and leaves the other's.
    for (int k : {0, 1}) {
        const std::string other = drawing(fc[1 - k]->fcTree());
        ASSERT_NO_FATAL_FAILURE(focus(fc[k]));
        EXPECT_EQ(drawing(fc[1 - k]->fcTree()), other) << fc[1 - k]->name() << "'s tree changed";
        ASSERT_NO_FATAL_FAILURE(holdsItsOwnTree(fc[1 - k]));
    }

    // Computed again, the first starts over on its own tree alone.
    const std::string focused = drawing(fc[second]->fcTree());
    ASSERT_NO_FATAL_FAILURE(compute(fc[first]));
    EXPECT_EQ(fc[first]->fcTree()->leaves()->size(), 1u);
    EXPECT_EQ(drawing(fc[second]->fcTree()), focused);
    ASSERT_NO_FATAL_FAILURE(holdsItsOwnTree(fc[second]));

    // The tree page: one tree per analysis, each handed by its own name.
    const std::vector<MCV_FCTree*> trees = MCV_CytometryData::Instance()->derivedDataTrees();
    EXPECT_EQ(trees, (std::vector<MCV_FCTree*>{fc[first]->fcTree(), fc[second]->fcTree()}));
    trigger("actionTree");
    auto* page = qobject_cast<UI_TreeWidget*>(w().views().back());
    ASSERT_NE(page, nullptr);
    for (MCV_HsneFCAnalysis* a : fc) {
        quietly([&] { page->js_selectData(QString::fromStdString(a->fcTree()->name())); });
        EXPECT_EQ(page->currentTree(), a->fcTree()) << a->name();
    }
    EXPECT_EQ(MCV_CytometryData::Instance()->derivedDataTrees().size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Names, OneTreePerFocusAndContext, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<TreeCase>& p) { return std::string(p.param.id); });

// A focus-and-context analysis closed and another opened under its name:
// the new one builds a tree of its own; the closed one's stays as it was
// left, and the tree page still draws it under its entry.
TEST_F(FocusAndContextTrees, AnAnalysisUnderAClosedOnesNameLeavesItsTree) {
    showPlotWindow({1400, 1000});
    open({blobs()});
    MCV_HsneFCAnalysis* closed = create("F", 2);
    ASSERT_NE(closed, nullptr);
    ASSERT_NO_FATAL_FAILURE(compute(closed));
    ASSERT_NO_FATAL_FAILURE(focus(closed));
    MCV_FCTree* left = closed->fcTree();
    const std::string drawn = drawing(left);
    ASSERT_NO_FATAL_FAILURE(closeOnlyAnalysis("F"));

    MCV_HsneFCAnalysis* fresh = create("F", 3);
    ASSERT_NE(fresh, nullptr);
    ASSERT_NO_FATAL_FAILURE(compute(fresh));
    EXPECT_NE(fresh->fcTree(), left);
    EXPECT_EQ(drawing(left), drawn);
    ASSERT_NO_FATAL_FAILURE(focus(fresh));
    EXPECT_EQ(drawing(left), drawn);

    trigger("actionTree");
    auto* page = qobject_cast<UI_TreeWidget*>(w().views().back());
    ASSERT_NE(page, nullptr);
    quietly([&] { page->js_selectData(QString::fromStdString(left->name())); });
    EXPECT_EQ(page->currentTree(), left);
}

}  // namespace
