// The focus-and-context entries of the main window: creating the analysis
// with its dock and tab, opening tree views, removing an idle analysis.
#include "ShellTestSupport.h"

#include "analysis/applicationSurfaceFormat.h"
#include "analysis/fc/MCV_HsneFCAnalysis.h"
#include "data/MCV_FcsHeader.h"
#include "ui/base/UI_DockableContainerWidget.h"
#include "ui/fc/UI_HsneFCSettingsWidget.h"
#include "ui/fc/UI_HsneFCWidget.h"
#include "ui/fctree/UI_TreeWidget.h"

#include <QInputDialog>
#include <QTabWidget>
#include <QTimer>

namespace {

class FocusContextRoad : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        setApplicationSurfaceFormat();
        w().resize(900, 700);
        w().show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w()));
    }
};

TEST_F(FocusContextRoad, AnalysisAfterHsneAddsNoVariablesTreeViewsComeAnewAndAnIdleAnalysisLeavesAtOnce) {
    trigger("actionNewHsneFCAnalysis");
    EXPECT_EQ(std::make_tuple(UI_ModalDialogs::unanswered(), w().analyses().size()), std::make_tuple(0, size_t(0)))
        << "without data nothing is asked";
    open({makeFile("cells.fcs", 60, 3)});
    UI_ModalDialogs::answerText("H");
    trigger("actionNewHsneAnalysis");
    const int variables = MCV_CytometryData::Instance()->combinedHeader()->numVariables();

    QString label, proposed;
    UI_ModalDialogs::setScripted(false);
    QTimer::singleShot(0, [&] {
        auto* prompt = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(prompt, nullptr);
        label = prompt->labelText();
        proposed = prompt->textValue();
        prompt->accept();
    });
    trigger("actionNewHsneFCAnalysis");
    UI_ModalDialogs::setScripted(true);
    EXPECT_EQ(proposed, "HSNE F+C Analysis");
    EXPECT_EQ(label,
              "Please name the new HSNE Analysis.\n Please use unique names to identify your analysis in the "
              "system.");
    EXPECT_EQ(MCV_CytometryData::Instance()->combinedHeader()->numVariables(), variables);
    ASSERT_EQ(w().analyses().size(), 3u);
    auto* analysis = dynamic_cast<MCV_HsneFCAnalysis*>(w().analyses()[2]);
    ASSERT_NE(analysis, nullptr);
    EXPECT_EQ(analysis->name(), "HSNE F+C Analysis");
    ASSERT_NE(qobject_cast<UI_HsneFCWidget*>(w().views().back()), nullptr);
    EXPECT_EQ(w().views().back()->windowTitle(), "HSNE F+C Analysis");
    ASSERT_NE(qobject_cast<UI_HsneFCSettingsWidget*>(w().settingsPanels().back()), nullptr);
    EXPECT_EQ(w().settingsDock()->tabWidget()->tabText(1), "HSNE F+C Analysis");

    trigger("actionTree");
    trigger("actionTree");
    ASSERT_EQ(w().views().size(), 4u);
    for (size_t v : {2, 3}) {
        ASSERT_NE(qobject_cast<UI_TreeWidget*>(w().views()[v]), nullptr);
        EXPECT_EQ(w().views()[v]->windowTitle(), "Tree View");
    }

    std::vector<std::string> names = {"HSNE F+C Analysis"};
    w().removeAnalyses(&names);
    runDeferredDeletes();
    EXPECT_EQ(std::make_tuple(w().analyses().size(), w().views().size(), w().settingsPanels().size()),
              std::make_tuple(size_t(2), size_t(3), size_t(1)))
        << "the tree views stay";
}

}  // namespace
