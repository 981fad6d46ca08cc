// A Compute that the analysis refuses says so in the window's status bar, and
// the analysis's console line stays. The refusal while a drill-down level
// embeds is on the HSNE road.
#include "ShellTestSupport.h"
#include "support/CapturedOutput.h"
#include "support/WidgetFinders.h"

#include <QStatusBar>

namespace {

using RefusedCompute = ShellTest;

TEST_F(RefusedCompute, TooFewEventsShowInTheStatusBarForEveryEmbedding) {
    open({makeFile("three.fcs", 3, 3)});
    const struct {
        const char* action;
        const char* name;
        const char* button;
        const char* console;
    } kinds[] = {
        {"actionNewTsneAnalysis", "T", " Compute tSNE ",
         "A-tSNE: T needs at least 4 points to embed; the data selection has 3."},
        {"actionNewHsneAnalysis", "H", " Compute HSNE ", "HSNE: H needs at least 4 points; the data selection has 3."},
        {"actionNewHsneFCAnalysis", "F", " Compute HSNE ",
         "HSNE: F needs at least 4 points; the data selection has 3."},
    };
    for (const auto& k : kinds) {
        SCOPED_TRACE(k.action);
        UI_ModalDialogs::answerText(k.name);
        trigger(k.action);
        auto* compute = childWithText<QPushButton>(w().settingsPanels().back(), k.button);
        ASSERT_TRUE(compute);
        w().statusBar()->clearMessage();
        const std::string printed = capturedStdout([&] { QTest::mouseClick(compute, Qt::LeftButton); });
        EXPECT_EQ(w().statusBar()->currentMessage(),
                  QString("\"%1\" was not computed: an embedding needs at least 4 events, and its input \"All "
                          "Points\" has 3.")
                      .arg(k.name));
        EXPECT_NE(printed.find(k.console), std::string::npos) << printed;
    }
}

}  // namespace
