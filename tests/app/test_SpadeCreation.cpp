// "Start SPADE" and "New Spade Analysis" (Ctrl+S) ask for a name and add the
// analysis with its settings tab and its master tree view, no variables, and
// apply the action flags again; a compute from that tab runs with the import refused.
#include "ShellTestSupport.h"
#include "support/CapturedOutput.h"
#include "support/ReadOnlyFolder.h"

#include "analysis/spade/MCV_SpadeAnalysis.h"
#include "data/MCV_DerivedDataClusters.h"
#include "data/MCV_FcsHeader.h"
#include "ui/base/UI_DockableContainerWidget.h"
#include "ui/spade/UI_SpadeSettingsWidget.h"
#include "ui/spade/UI_SpadeWidget.h"

#include <QInputDialog>
#include <QSpinBox>
#include <QStatusBar>
#include <QProgressBar>
#include <QTabWidget>
#include <QTimer>

namespace {

class SpadeCreation : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        showWindow();
    }
    // Opens `events` events of three markers and makes the SPADE analysis "S"
    // from Ctrl+S, keeping every event (a tree whatever the random draws).
    std::pair<UI_SpadeSettingsWidget*, MCV_SpadeAnalysis*> spadeOver(int events) {
        open({makeFile("cells.fcs", events, 3)});
        UI_ModalDialogs::answerText("S");
        trigger("actionNewSpadeAnalysis");
        if (w().settingsPanels().size() != 1u || w().analyses().size() != 1u) return {nullptr, nullptr};
        auto* panel = qobject_cast<UI_SpadeSettingsWidget*>(w().settingsPanels()[0]);
        auto* spade = static_cast<MCV_SpadeAnalysis*>(w().analyses()[0]);
        if (spade) spade->setDensityLimit(100.0f);
        return {panel, spade};
    }
    // The enabled states of the four actions the flags govern.
    std::vector<bool> gatedActions() {
        std::vector<bool> enabled;
        for (const char* name :
             {"actionExportSpadeTree", "actionNewSpadeAnalysis", "actionNewTsneAnalysis", "actionNewHsneAnalysis"})
            enabled.push_back(w().findChild<QAction*>(name)->isEnabled());
        return enabled;
    }
    // Disables three gated actions behind the flags' back (the SPADE one
    // stays, so Ctrl+S still fires).
    void disableOthers() {
        for (const char* name : {"actionExportSpadeTree", "actionNewTsneAnalysis", "actionNewHsneAnalysis"})
            w().findChild<QAction*>(name)->setEnabled(false);
    }
};

TEST_F(SpadeCreation, StartSpadeAndCtrlSAddTheAnalysisWithItsTabAndMasterView) {
    QMetaObject::invokeMethod(&w(), "newSpadeAnalysisTriggered");
    EXPECT_EQ(UI_ModalDialogs::unanswered(), 0) << "without data nothing is asked";

    // "Start SPADE", with the real name prompt.
    QStringList asked;
    std::unique_ptr<RealDialogs> real;
    open({makeFile("cells.fcs", 40, 3)}, [&](QDialog* d) {
        d->findChild<QPushButton*>("importButton1")->click();
        real = std::make_unique<RealDialogs>(QString(), [&](QInputDialog* prompt) {
            asked << prompt->windowTitle() << prompt->labelText() << prompt->textValue();
            prompt->accept();
        });
        return d->result();
    });
    real.reset();
    EXPECT_EQ(asked.join(" | ").toStdString(),
              "Analysis Name | Please name the new Spade Analysis.\n Please use unique names to identify your "
              "analysis in the system. | Spade Analysis");
    ASSERT_EQ(w().analyses().size(), 1u);
    auto* first = dynamic_cast<MCV_SpadeAnalysis*>(w().analyses()[0]);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->name(), "Spade Analysis");
    ASSERT_EQ(w().views().size(), 1u);
    auto* view = qobject_cast<UI_SpadeWidget*>(w().views()[0]);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(std::make_tuple(view->shownAnalysis(), view->slave(), view->windowTitle()),
              std::make_tuple(static_cast<MCV_Analysis*>(first), false, QString("Spade Analysis")));
    ASSERT_EQ(w().settingsPanels().size(), 1u);
    auto* panel = qobject_cast<UI_SpadeSettingsWidget*>(w().settingsPanels()[0]);
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->analysis(), first);
    EXPECT_EQ(w().settingsDock()->tabWidget()->tabText(0), "Spade Analysis");

    // Ctrl+S: a unique name, no variables, the flags applied again.
    QApplication::setActiveWindow(&w());
    const int variables = MCV_CytometryData::Instance()->combinedHeader()->numVariables();
    disableOthers();
    UI_ModalDialogs::answerText("Spade Analysis");
    QTest::keySequence(&w(), QKeySequence("Ctrl+S"));
    ASSERT_EQ(w().analyses().size(), 2u);
    EXPECT_EQ(w().analyses()[1]->name(), "Spade Analysis 1");
    EXPECT_EQ(w().settingsDock()->tabWidget()->tabText(1), "Spade Analysis 1");
    EXPECT_EQ(MCV_CytometryData::Instance()->combinedHeader()->numVariables(), variables);
    EXPECT_EQ(gatedActions(), std::vector<bool>(4, true));

    // A cancelled prompt creates nothing and leaves the actions as they are.
    disableOthers();
    QTest::keySequence(&w(), QKeySequence("Ctrl+S"));
    EXPECT_EQ(UI_ModalDialogs::unanswered(), 1);
    EXPECT_EQ(w().analyses().size(), 2u);
    EXPECT_EQ(w().settingsPanels().size(), 2u);
    EXPECT_EQ(w().views().size(), 2u);
    EXPECT_EQ(gatedActions(), std::vector<bool>({false, true, false, false}));

    // A SPADE analysis is not removed by name.
    std::vector<std::string> names = {"Spade Analysis"};
    w().removeAnalyses(&names);
    runDeferredDeletes();
    EXPECT_EQ(w().analyses().size(), 2u);
}

// During a run the shell refuses an import (the data would be pulled from
// under it); the result is published under the analysis' name.
TEST_F(SpadeCreation, ComputeFromTheTabPublishesAndAnImportMeanwhileIsRefused) {
    const auto made = spadeOver(300);
    UI_SpadeSettingsWidget* const panel = made.first;
    MCV_SpadeAnalysis* const spade = made.second;
    ASSERT_TRUE(panel && spade);
    w().settingsDock()->tabWidget()->setCurrentIndex(0);

    bool importTried = false;
    QObject::connect(panel->progressBar(), &QProgressBar::valueChanged, [&] {
        if (importTried) return;
        importTried = true;
        QTimer::singleShot(0, [&] {
            UI_ModalDialogs::answerFiles({makeFile("other.fcs", 10, 3)});
            trigger("actionOpenFile");
        });
    });
    quietly([&] { QTest::mousePress(panel->computeButtonWidget(), Qt::LeftButton); });
    QTest::mouseRelease(panel->computeButtonWidget(), Qt::LeftButton);
    EXPECT_TRUE(importTried);
    const std::vector<UI_ModalDialogs::Message> messages = UI_ModalDialogs::takeMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "An analysis is still running. Please stop it before opening new files.");
    EXPECT_EQ(w().analyses().size(), 1u) << "the data and the analysis stayed";

    MCV_DerivedDataClusters* set = MCV_CytometryData::Instance()->derivedDataClusters("S", true);
    ASSERT_FALSE(spade->clusters().empty());
    EXPECT_EQ(set->clusters().size(), spade->clusters().size());
}

// Settings the run cannot take as given (typed past what the data allow):
// the run uses the nearest value it can, the box shows that value, the status
// bar says why, and the value used leaves no stage due.
TEST_F(SpadeCreation, ClampedSettingsShowTheValueUsedInThePanelAndTheStatusBar) {
    const auto made = spadeOver(60);
    UI_SpadeSettingsWidget* const panel = made.first;
    MCV_SpadeAnalysis* const spade = made.second;
    ASSERT_TRUE(panel && spade);
    const auto compute = [&] {
        return capturedStdout([&] { QTest::mouseClick(panel->computeButtonWidget(), Qt::LeftButton); });
    };
    struct Case {
        int sample, nodes;
        int shownSample, shownNodes;
        QString status;
    } cases[] = {
        {2000, 99999, 2000, 60,
         "\"S\": Target Nodes 99999 is more than the 60 events kept after down-sampling; the tree has 60 nodes."},
        {0, 0, 1, 1,
         "\"S\": Heuristic Sample 0 is below 1; 1 random event was used. Target Nodes 0 is below 1; the tree has 1 "
         "node."},
    };
    for (const Case& c : cases) {
        w().statusBar()->clearMessage();
        panel->sampleSizeBox()->setValue(c.sample);
        panel->targetNodesBox()->setValue(c.nodes);
        compute();
        EXPECT_EQ(std::make_pair(panel->sampleSizeBox()->value(), panel->targetNodesBox()->value()),
                  std::make_pair(c.shownSample, c.shownNodes));
        EXPECT_EQ(std::make_pair(spade->maxRandomSampleSize(), spade->targetNumberOfClusters()),
                  std::make_pair(c.shownSample, c.shownNodes));
        EXPECT_EQ(spade->clusters().size(), static_cast<size_t>(c.shownNodes));
        EXPECT_EQ(w().statusBar()->currentMessage(), c.status);
        EXPECT_NE(compute().find("No parameters changed, no update necessary."), std::string::npos)
            << "the value used is the one the result has";
    }
    EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());
}

// The line of an adjusted run gives way to the next run that used every
// value as given; a run adjusted again says so again.
TEST_F(SpadeCreation, AnAdjustmentLineGoesWithTheNextRunThatNeedsNone) {
    const auto made = spadeOver(60);
    UI_SpadeSettingsWidget* const panel = made.first;
    MCV_SpadeAnalysis* const spade = made.second;
    ASSERT_TRUE(panel && spade);
    const QString adjusted =
        "\"S\": Target Nodes 99999 is more than the 60 events kept after down-sampling; the tree has 60 nodes.";
    // {Target Nodes, status line after the run}
    const std::pair<int, QString> runs[] = {{99999, adjusted}, {20, ""}, {99999, adjusted}, {30, ""}};
    for (const auto& [nodes, status] : runs) {
        SCOPED_TRACE(nodes);
        panel->targetNodesBox()->setValue(nodes);
        quietly([&] { QTest::mouseClick(panel->computeButtonWidget(), Qt::LeftButton); });
        EXPECT_EQ(spade->clusters().size(), static_cast<size_t>(nodes == 99999 ? 60 : nodes));
        EXPECT_EQ(w().statusBar()->currentMessage().toStdString(), status.toStdString());
    }
    EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());
}

// A run that cannot keep its density cache beside the data (a folder that
// takes no file) names the file and the writer's reason in the status bar,
// also next to an adjustment; the next run that writes no cache takes the
// line away.
TEST_F(SpadeCreation, ADensityCacheThatCannotBeWrittenIsNamedWithItsReasonInTheStatusBar) {
    const auto made = spadeOver(60);
    UI_SpadeSettingsWidget* const panel = made.first;
    MCV_SpadeAnalysis* const spade = made.second;
    ASSERT_TRUE(panel && spade);
    const QString note = "SPADE density cache " + dir.path() + "/cells_parameters.txt was not written: the folder " +
                         dir.path() + " cannot take the new file (Permission denied).";
    struct Run {
        bool readOnly;
        int nodes;
        float alpha;  // another alpha makes the densities (and their cache) due
        QString status;
    } runs[] = {
        {true, 20, 3.0f, "\"S\": " + note},
        {false, 30, 3.0f, ""},
        {true, 99999, 4.0f,
         "\"S\": Target Nodes 99999 is more than the 60 events kept after down-sampling; the tree has 60 nodes. " +
             note},
        {false, 20, 4.0f, ""},
    };
    for (const Run& r : runs) {
        SCOPED_TRACE(r.status.toStdString());
        panel->targetNodesBox()->setValue(r.nodes);
        spade->setAlpha(r.alpha);
        {
            std::unique_ptr<ReadOnlyFolder> readOnly;
            if (r.readOnly) readOnly = std::make_unique<ReadOnlyFolder>(dir.path().toStdString());
            ASSERT_TRUE(!readOnly || readOnly->ok());
            quietly([&] { QTest::mouseClick(panel->computeButtonWidget(), Qt::LeftButton); });
        }
        EXPECT_FALSE(spade->clusters().empty());
        EXPECT_EQ(w().statusBar()->currentMessage().toStdString(), r.status.toStdString());
    }
    EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());
}

}  // namespace
