// The A-tSNE road through the shell: "Start A-tSNE" in the import dialog (or
// the menu action) asks for a name, adds the output variables once, and opens
// the view dock and the settings tab, wired to the bridge; " Compute tSNE "
// then draws the embedding live; removing the analysis stops and deletes it.
#include "ShellTestSupport.h"
#include "analysis/applicationSurfaceFormat.h"
#include "data/FcsTestFile.h"

#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "app/MainWindow.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_FcsHeader.h"
#include "data/MCV_Settings.h"
#include "ui/plot/UI_ScatterplotWidget.h"
#include "ui/base/UI_DockableContainerWidget.h"
#include "ui/tsne/UI_TsneSettingsWidget.h"
#include "ui/tsne/UI_TsneWidget.h"

#include <QAction>
#include <QDialog>
#include <QPushButton>
#include <QSurfaceFormat>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <random>

namespace {

class TsneCreation : public ::testing::Test {
protected:
    void SetUp() override {
        setApplicationSurfaceFormat();
        ASSERT_TRUE(dir.isValid());
        delete MCV_CytometryData::Instance();
        MCV_Settings::Instance()->setDefaultMarkers({});
        window = std::make_unique<MainWindow>();
        window->resize(900, 700);
        window->show();
    }
    void TearDown() override {
        window.reset();
        runDeferredDeletes();
        delete MCV_CytometryData::Instance();
    }
    QString makeFile(const std::string& name) {
        std::mt19937 random(5);
        std::normal_distribution<float> noise(0.0f, 1.0f);
        std::vector<std::vector<float>> rows;
        for (int i = 0; i < 60; ++i)
            rows.push_back({(i % 2 ? 10.0f : 0.0f) + noise(random), noise(random), (i % 3) * 5.0f + noise(random)});
        FcsTestFile f = FcsTestFile::floats(rows);
        return QString::fromStdString(f.write(dir, name));
    }
    // Opens one file and leaves the import dialog with the button `button`.
    void openWith(int button) {
        UI_ModalDialogs::answerFiles({makeFile("cells.fcs")});
        UI_ModalDialogs::answerDialog([button](QDialog* d) {
            d->findChild<QPushButton*>(QString("importButton%1").arg(button))->click();
            return d->result();
        });
        window->findChild<QAction*>("actionOpenFile")->trigger();
    }
    int variableIdx(const char* name) { return MCV_CytometryData::Instance()->combinedHeader()->variableIdx(name); }

    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    std::unique_ptr<MainWindow> window;
};

TEST_F(TsneCreation, StartATsneCreatesAnalysisViewAndTab) {
    UI_ModalDialogs::answerText("My Embedding");
    openWith(2);
    ASSERT_EQ(window->analyses().size(), 1u);
    auto* tsne = dynamic_cast<MCV_TsneAnalysis*>(window->analyses()[0]);
    ASSERT_NE(tsne, nullptr);
    EXPECT_EQ(tsne->name(), "My Embedding");
    EXPECT_GE(variableIdx("QLMRN_TsneX"), 0);
    EXPECT_GE(variableIdx("QLMRN_TsneY"), 0);
    ASSERT_EQ(window->views().size(), 1u);
    auto* view = qobject_cast<UI_TsneWidget*>(window->views()[0]);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->windowTitle(), "My Embedding");
    EXPECT_EQ(window->dockWidgetArea(view), Qt::RightDockWidgetArea);
    EXPECT_TRUE(view->visibilityFlag());
    ASSERT_EQ(window->settingsPanels().size(), 1u);
    auto* panel = qobject_cast<UI_TsneSettingsWidget*>(window->settingsPanels()[0]);
    ASSERT_NE(panel, nullptr);
    bool tabFound = false;
    for (QTabWidget* tabs : window->settingsDock()->findChildren<QTabWidget*>())
        for (int i = 0; i < tabs->count(); ++i) tabFound = tabFound || tabs->tabText(i) == "My Embedding";
    EXPECT_TRUE(tabFound);

    // Compute from the panel: the bridge feeds the view (markers set, plot
    // drawn with the embedding) and the busy spinner ends hidden.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view->plot()));
    const QImage empty = view->plot()->grabFramebuffer();
    tsne->setIterations(30);
    for (unsigned m : std::vector<unsigned>(*tsne->selectedMarkers()))
        if (static_cast<int>(m) >= variableIdx("QLMRN_TsneX")) tsne->setMarkerState(static_cast<int>(m), false);
    testing::internal::CaptureStdout();
    QTest::mousePress(panel->computeTsneButton(), Qt::LeftButton);
    testing::internal::GetCapturedStdout();
    QTest::mouseRelease(panel->computeTsneButton(), Qt::LeftButton);
    EXPECT_EQ(tsne->numDataPoints(), 60);
    EXPECT_NE(view->plot()->grabFramebuffer(), empty);
    EXPECT_FALSE(tsne->isRunning());

    // Removal stops and deletes the analysis, its view and its panel.
    std::vector<std::string> names = {"My Embedding"};
    window->removeAnalyses(&names);
    runDeferredDeletes();
    EXPECT_TRUE(window->analyses().empty());
    EXPECT_TRUE(window->views().empty());
    EXPECT_TRUE(window->settingsPanels().empty());
}

TEST_F(TsneCreation, DefaultNamesAreUniqueAndVariablesAreAddedOnce) {
    openWith(0);
    const int variables = MCV_CytometryData::Instance()->combinedHeader()->numVariables();
    auto* action = window->findChild<QAction*>("actionNewTsneAnalysis");
    // The prompt's default text is accepted as it is (the seam answers with
    // the queued text; an empty queue cancels).
    UI_ModalDialogs::answerText("A-tSNE Analysis");
    action->trigger();
    EXPECT_EQ(MCV_CytometryData::Instance()->combinedHeader()->numVariables(), variables + 2);
    UI_ModalDialogs::answerText("A-tSNE Analysis");
    action->trigger();
    EXPECT_EQ(MCV_CytometryData::Instance()->combinedHeader()->numVariables(), variables + 2);
    ASSERT_EQ(window->analyses().size(), 2u);
    EXPECT_EQ(window->analyses()[0]->name(), "A-tSNE Analysis");
    EXPECT_EQ(window->analyses()[1]->name(), "A-tSNE Analysis 1");
    EXPECT_EQ(window->views()[1]->windowTitle(), "A-tSNE Analysis 1");

    // Cancel creates nothing.
    action->trigger();
    EXPECT_EQ(window->analyses().size(), 2u);
    EXPECT_EQ(window->views().size(), 2u);
    EXPECT_EQ(window->settingsPanels().size(), 2u);
}

TEST_F(TsneCreation, WithoutDataNothingIsAsked) {
    window->findChild<QAction*>("actionNewTsneAnalysis")->trigger();
    EXPECT_TRUE(window->analyses().empty());
    EXPECT_EQ(UI_ModalDialogs::unanswered(), 0);
}

}  // namespace
