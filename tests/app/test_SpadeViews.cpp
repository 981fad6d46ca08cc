// "Spade View" (Ctrl+Shift+S) opens another view of a SPADE or template tree:
// the chooser lists exactly those analyses, a SPADE analysis gets a follower
// of its master, a template classification's first view lays its tree out.
// "Export Spade Tree ..." changes nothing.
#include "ShellTestSupport.h"

#include "analysis/spade/MCV_SpadeAnalysis.h"
#include "analysis/template/MCV_TemplateAnalysis.h"
#include "ui/spade/UI_SpadeWidget.h"

namespace {

class SpadeViews : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        showWindow();
        open({makeFile("cells.fcs", 30, 3)});
    }
    UI_SpadeWidget* lastTreeView() {
        return w().views().empty() ? nullptr : qobject_cast<UI_SpadeWidget*>(w().views().back());
    }
    void choose(int row) { answerChooser(row, &offered); }
    QStringList offered;
};

TEST_F(SpadeViews, OpensFollowersOfTheChosenTreeAndATemplatesFirstViewLeads) {
    trigger("actionSpadeView");
    EXPECT_TRUE(w().views().empty()) << "no candidate: nothing";
    EXPECT_EQ(UI_ModalDialogs::unanswered(), 0);

    // Neither a t-SNE analysis nor a foreign analysis with the SPADE type
    // code is a candidate.
    build(w(), ANALYSIS_TSNE, "Embedding");
    build(w(), ANALYSIS_SPADE, "Impostor");
    UI_ModalDialogs::answerText("Tree");
    trigger("actionNewSpadeAnalysis");
    auto* spade = dynamic_cast<MCV_SpadeAnalysis*>(w().analyses().back());
    ASSERT_NE(spade, nullptr);
    const size_t before = w().views().size();

    // One candidate: no chooser, a follower titled with the analysis.
    QTest::keySequence(&w(), QKeySequence("Ctrl+Shift+S"));
    EXPECT_EQ(UI_ModalDialogs::unanswered(), 0);
    ASSERT_EQ(w().views().size(), before + 1);
    UI_SpadeWidget* follower = lastTreeView();
    ASSERT_NE(follower, nullptr);
    EXPECT_EQ(std::make_tuple(follower->shownAnalysis(), follower->slave(), follower->windowTitle()),
              std::make_tuple(static_cast<MCV_Analysis*>(spade), true, QString("Tree")));
    EXPECT_EQ(w().dockWidgetArea(follower), Qt::RightDockWidgetArea);
    EXPECT_TRUE(follower->isVisible());

    auto* classification = new MCV_TemplateAnalysis();
    classification->init(w().bridge(), "Templates", {});
    w().addAnalysis(classification);

    // {chosen row, leads}: the template's first view lays the tree out, the
    // next follows it; a cancelled chooser opens nothing.
    struct Case {
        int row;
        bool opens;
        bool slave;
    };
    for (const Case& c : {Case{1, true, false}, Case{1, true, true}, Case{-1, false, false}}) {
        const size_t views = w().views().size();
        choose(c.row);
        trigger("actionSpadeView");
        EXPECT_EQ(offered, QStringList({"Tree", "Templates"})) << "in list order, SPADE and templates only";
        ASSERT_EQ(w().views().size(), views + (c.opens ? 1 : 0)) << c.row;
        if (!c.opens) continue;
        EXPECT_EQ(std::make_tuple(lastTreeView()->shownAnalysis(), lastTreeView()->slave()),
                  std::make_tuple(static_cast<MCV_Analysis*>(classification), c.slave));
    }

    // The chooser runs an event loop, in which the chosen analysis goes
    // with its two views: nothing is opened for it.
    const size_t views = w().views().size();
    answerChooser(1, &offered,
                  [&] { QMetaObject::invokeMethod(&w(), "deleteAnalysis", Q_ARG(void*, classification)); });
    trigger("actionSpadeView");
    runDeferredDeletes();
    EXPECT_EQ(w().views().size(), views - 2);
}

TEST_F(SpadeViews, ExportSpadeTreeChangesNothing) {
    UI_ModalDialogs::answerText("Tree");
    trigger("actionNewSpadeAnalysis");
    const size_t views = w().views().size();
    QAction* exportTree = w().findChild<QAction*>("actionExportSpadeTree");
    EXPECT_TRUE(exportTree->isEnabled());
    exportTree->trigger();
    QTest::keySequence(&w(), QKeySequence("Ctrl+Shift+E"));
    EXPECT_EQ(w().views().size(), views);
    EXPECT_EQ(UI_ModalDialogs::unanswered(), 0) << "no question asked";
    EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());
}

}  // namespace
