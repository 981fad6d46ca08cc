// The focus-and-context entries of the main window: creating the analysis
// with its dock and tab, opening tree views, removing an idle analysis.
#include "ShellTestSupport.h"

#include "analysis/applicationSurfaceFormat.h"
#include "data/MCV_FcsHeader.h"
#include "ui/base/UI_DockableContainerWidget.h"
#include "ui/fc/UI_HsneFCSettingsWidget.h"
#include "ui/fc/UI_HsneFCWidget.h"
#include "ui/fctree/UI_TreeWidget.h"

#include <QTabWidget>

namespace {

using FocusContextRoad = ShellTest;

TEST_F(FocusContextRoad, AnalysisAfterHsneAddsNoVariablesTreeViewsComeAnewAndAnIdleAnalysisLeavesAtOnce) {
    setApplicationSurfaceFormat();
    trigger("actionNewHsneFCAnalysis");
    EXPECT_EQ(UI_ModalDialogs::unanswered(), 0) << "without data nothing is asked";
    open({makeFile("cells.fcs", 60, 3)});
    UI_ModalDialogs::answerText("H");
    trigger("actionNewHsneAnalysis");

    UI_ModalDialogs::answerText("HSNE F+C Analysis");
    trigger("actionNewHsneFCAnalysis");
    EXPECT_EQ(MCV_CytometryData::Instance()->combinedHeader()->numVariables(), 3 + 2) << "none after HSNE";
    ASSERT_EQ(w().analyses().size(), 3u);
    EXPECT_TRUE(qobject_cast<UI_HsneFCSettingsWidget*>(w().settingsPanels().back()) &&
                qobject_cast<UI_HsneFCWidget*>(w().views().back()));
    EXPECT_EQ(w().views().back()->windowTitle() + w().settingsDock()->tabWidget()->tabText(1),
              "HSNE F+C AnalysisHSNE F+C Analysis");

    for (int i = 0; i < 2; ++i) trigger("actionTree");
    ASSERT_EQ(w().views().size(), 4u);
    EXPECT_TRUE(qobject_cast<UI_TreeWidget*>(w().views()[3]) && w().views()[2]->windowTitle() == "Tree View");

    std::vector<std::string> names = {"HSNE F+C Analysis"};
    w().removeAnalyses(&names);
    runDeferredDeletes();
    EXPECT_EQ(std::make_tuple(w().analyses().size(), w().views().size(), w().settingsPanels().size()),
              std::make_tuple(size_t(2), size_t(3), size_t(1)))
        << "the tree views stay";
}

}  // namespace
