// The A-tSNE road through the shell: "Start A-tSNE" in the import dialog (or
// the menu action) asks for a name, adds the output variables once, and opens
// the view dock and the settings tab, wired to the bridge; " Compute tSNE "
// then draws the embedding live; removing the analysis stops and deletes it.
#include "ShellTestSupport.h"
#include "support/CapturedOutput.h"

#include "analysis/applicationSurfaceFormat.h"
#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "data/MCV_FcsHeader.h"
#include "ui/base/UI_DockableContainerWidget.h"
#include "ui/plot/UI_ScatterplotWidget.h"
#include "ui/tsne/UI_TsneSettingsWidget.h"
#include "ui/tsne/UI_TsneWidget.h"

#include <QTabWidget>
#include <QTest>

#include <cstdlib>

namespace {

class TsneCreation : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        setApplicationSurfaceFormat();
        w().resize(900, 700);
        w().show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w()));
    }
    int variableIdx(const char* name) { return MCV_CytometryData::Instance()->combinedHeader()->variableIdx(name); }
};

TEST_F(TsneCreation, StartATsneCreatesAnalysisViewAndTabThatCompute) {
    UI_ModalDialogs::answerText("My Embedding");
    openWith({makeFile("cells.fcs", 60, 3)}, 2);
    ASSERT_EQ(w().analyses().size(), 1u);
    auto* tsne = dynamic_cast<MCV_TsneAnalysis*>(w().analyses()[0]);
    ASSERT_NE(tsne, nullptr);
    EXPECT_EQ(tsne->name(), "My Embedding");
    EXPECT_EQ(variableIdx("QLMRN_TsneX"), 3);
    EXPECT_EQ(variableIdx("QLMRN_TsneY"), 4);
    ASSERT_EQ(w().views().size(), 1u);
    auto* view = qobject_cast<UI_TsneWidget*>(w().views()[0]);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->windowTitle(), "My Embedding");
    EXPECT_EQ(w().dockWidgetArea(view), Qt::RightDockWidgetArea);
    ASSERT_EQ(w().settingsPanels().size(), 1u);
    auto* panel = qobject_cast<UI_TsneSettingsWidget*>(w().settingsPanels()[0]);
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(w().settingsDock()->tabWidget()->tabText(0), "My Embedding");

    // Compute from the panel: the bridge feeds the view, which draws.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view->plot()));
    const QImage empty = view->plot()->grabFramebuffer();
    tsne->setIterations(30);
    for (const char* output : {"QLMRN_TsneX", "QLMRN_TsneY"}) tsne->setMarkerState(variableIdx(output), false);
    quietly([&] { QTest::mousePress(panel->computeTsneButton(), Qt::LeftButton); });
    QTest::mouseRelease(panel->computeTsneButton(), Qt::LeftButton);
    EXPECT_EQ(tsne->numDataPoints(), 60);
    EXPECT_NE(view->plot()->grabFramebuffer(), empty);
    EXPECT_FALSE(tsne->isRunning());

    // Removal stops and deletes the analysis, its view and its panel.
    std::vector<std::string> names = {"My Embedding"};
    w().removeAnalyses(&names);
    runDeferredDeletes();
    EXPECT_TRUE(w().analyses().empty());
    EXPECT_TRUE(w().views().empty());
    EXPECT_TRUE(w().settingsPanels().empty());
}

// Names count up, the variables come once, and the second view dock shares
// the view area evenly with the first instead of opening without height.
TEST_F(TsneCreation, SecondAnalysisHasAUniqueNameAndAnEvenShareOfTheViewArea) {
    trigger("actionNewTsneAnalysis");
    EXPECT_EQ(UI_ModalDialogs::unanswered(), 0) << "without data nothing is asked";
    open({makeFile("cells.fcs", 60, 3)});
    for (int k = 0; k < 2; ++k) {
        UI_ModalDialogs::answerText("A-tSNE Analysis");
        trigger("actionNewTsneAnalysis");
    }
    EXPECT_EQ(MCV_CytometryData::Instance()->combinedHeader()->numVariables(), 5);
    ASSERT_EQ(w().analyses().size(), 2u);
    EXPECT_EQ(w().analyses()[0]->name(), "A-tSNE Analysis");
    EXPECT_EQ(w().analyses()[1]->name(), "A-tSNE Analysis 1");
    EXPECT_EQ(w().views()[1]->windowTitle(), "A-tSNE Analysis 1");

    UI_DockableWidget* first = w().views()[0];
    UI_DockableWidget* second = w().views()[1];
    EXPECT_TRUE(QTest::qWaitFor([&] { return first->height() > 150 && second->height() > 150; }, 2000))
        << first->height() << " and " << second->height();
    EXPECT_LE(std::abs(first->height() - second->height()), std::max(first->height(), second->height()) / 5)
        << first->height() << " and " << second->height();

    // A cancelled name creates nothing.
    trigger("actionNewTsneAnalysis");
    EXPECT_EQ(w().analyses().size(), 2u);
    EXPECT_EQ(w().views().size(), 2u);
    EXPECT_EQ(w().settingsPanels().size(), 2u);
}

}  // namespace
