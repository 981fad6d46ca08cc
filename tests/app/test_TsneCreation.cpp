// The menu action asks for a name, adds the output variables once and opens
// the view dock and the settings tab; removing the analysis deletes it with
// them. "Start A-tSNE" and computing from the panel are on the main road.
#include "ShellTestSupport.h"

#include "analysis/applicationSurfaceFormat.h"
#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "data/MCV_FcsHeader.h"
#include "ui/base/UI_DockableContainerWidget.h"

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
};

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
    EXPECT_EQ(w().settingsDock()->tabWidget()->tabText(1), "A-tSNE Analysis 1");

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

    std::vector<std::string> names = {"A-tSNE Analysis"};
    w().removeAnalyses(&names);
    runDeferredDeletes();
    EXPECT_EQ(w().analyses().size(), 1u);
    EXPECT_EQ(w().views(), std::vector<UI_DockableWidget*>{second});
    EXPECT_EQ(w().settingsPanels().size(), 1u);
}

}  // namespace
