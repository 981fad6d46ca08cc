// The main window: shortcuts, the lists of analyses, views and panels with the
// bridge's signals, the quit question, About and the view commands.
#include "ShellTestSupport.h"
#include "support/CapturedOutput.h"

#include "analysis/applicationSurfaceFormat.h"
#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "app/UI_AboutDialog.h"
#include "app/UI_FileInfoWidget.h"
#include "ui/base/UI_DockableContainerWidget.h"
#include "ui/base/UI_DockableWidget.h"
#include "ui/tsne/UI_TsneSettingsWidget.h"

#include <QMessageBox>
#include <QPointer>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

namespace {

QAction* action(MainWindow& w, const char* name) { return w.findChild<QAction*>(name); }

// Qt fires a shortcut only for an action on a shown widget: the actions in no
// menu must still answer their keys.
TEST(MainWindowForm, ShortcutsAndThoseOfActionsOutsideTheMenusFire) {
    MainWindow w;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QApplication::setActiveWindow(&w);
    const QString shortcuts =
        "actionOpenFile=Ctrl+O actionAddColorImage=Ctrl+Shift+O actionClassifyData=Ctrl+Shift+C "
        "actionExportSpadeTree=Ctrl+Shift+E actionSettings=Ctrl+, actionHeatMap=Ctrl+Shift+H "
        "actionNewSpadeAnalysis=Ctrl+S actionNewTsneAnalysis=Ctrl+T actionNewHsneAnalysis=Ctrl+F "
        "actionFileInformation=Ctrl+Shift+I actionTree=Ctrl+Shift+T actionHierarchy=Ctrl+Shift+X "
        "actionImage=Ctrl+Shift+J actionSpadeView=Ctrl+Shift+S actionScatterplotView=Ctrl+Shift+P "
        "actionNewHsneFCAnalysis=Ctrl+Shift+F";
    for (const QString& row : shortcuts.split(' ')) {
        QAction* a = w.findChild<QAction*>(row.section('=', 0, 0));
        ASSERT_NE(a, nullptr) << row.toStdString();
        EXPECT_EQ(a->shortcut(), QKeySequence(row.section('=', 1))) << row.toStdString();
    }
    // The slots' questions are answered as cancelled; without data "Add Color
    // Image" only says so.
    ScriptedDialogs scripted;
    for (const char* name :
         {"actionTree", "actionHierarchy", "actionImage", "actionSpadeView", "actionScatterplotView",
          "actionNewHsneFCAnalysis", "actionFileInformation", "actionAddColorImage", "actionClassifyData"}) {
        QSignalSpy fired(action(w, name), &QAction::triggered);
        QTest::keySequence(&w, action(w, name)->shortcut());
        EXPECT_EQ(fired.count(), 1) << name;
    }
}

// The file information and About windows are made once and shown again.
TEST(MainWindowViews, FileInformationTogglesAndAboutShowsAgain) {
    MainWindow w;
    w.show();
    action(w, "actionFileInformation")->trigger();
    UI_FileInfoWidget* info = w.fileInfoView();
    ASSERT_NE(info, nullptr);
    action(w, "actionFileInformation")->trigger();
    EXPECT_FALSE(info->isVisible());
    action(w, "actionFileInformation")->trigger();
    EXPECT_TRUE(info->isVisible());
    EXPECT_EQ(w.fileInfoView(), info);
    EXPECT_TRUE(w.views().empty()) << "the file information view is not in the view list";

    action(w, "actionAbout")->trigger();
    UI_AboutDialog* about = w.aboutDialog();
    ASSERT_NE(about, nullptr);
    about->hide();
    action(w, "actionAbout")->trigger();
    EXPECT_EQ(w.aboutDialog(), about);
    EXPECT_TRUE(about->isVisible());
}

class MainWindowLists : public ShellTest {};

// An analysis named like a data view takes only its own docks; its panel goes
// with it; it is destroyed after the call that reported it has returned.
TEST_F(MainWindowLists, DeletionTakesTheAnalysisOwnDocksAndPanelAfterTheCallbackAndNamesStayUnique) {
    MainWindow& w = this->w();
    Built first = build(w, 1, "HeatMap View");
    Built second = build(w, 1, "Other");
    QPointer<UI_DockableWidget> heatMap = new UI_DockableWidget(&w);
    heatMap->setWindowTitle("HeatMap View");
    w.addView(heatMap, nullptr);

    const void* address = first.analysis;
    EXPECT_TRUE(first.analysis->finishMarkedForDeletion())
        << "the analysis was destroyed inside its own readyForDeletion call";
    EXPECT_EQ(w.analyses(), (std::vector<MCV_Analysis*>{second.analysis}));
    EXPECT_EQ(w.views(), (std::vector<UI_DockableWidget*>{second.view, heatMap}));
    ASSERT_EQ(w.settingsDock()->tabWidget()->count(), 1);
    EXPECT_EQ(w.settingsDock()->tabWidget()->tabText(0), "Other");

    runDeferredDeletes();
    EXPECT_EQ(TestAnalysis::destroyed().count(address), 1u);
    EXPECT_TRUE(first.view.isNull());
    EXPECT_TRUE(first.panel.isNull());
    EXPECT_FALSE(heatMap.isNull()) << "a data view titled like the analysis stays";

    // Names count up past those taken and respect case.
    w.addAnalysis(new TestAnalysis(1, "X"));
    w.addAnalysis(new TestAnalysis(1, "X 1"));
    EXPECT_EQ(w.uniqueAnalysisName("X"), "X 2");
    EXPECT_EQ(w.uniqueAnalysisName("x"), "x");

    // Unknown pointers, unknown names and kinds without a stop are ignored.
    int unrelated = 0;
    w.bridge()->readyForDeletion(&unrelated);
    build(w, 0, "Spade Analysis");
    std::vector<std::string> names{"Spade Analysis", "nothing"};
    w.bridge()->analysesRemoved(&names);
    w.bridge()->analysesRemoved(nullptr);
    EXPECT_EQ(w.analyses().size(), 4u);
    EXPECT_EQ(w.views().size(), 3u);
}

TEST_F(MainWindowLists, NewVariablesReachAnalysesAndLivePanelsOnly) {
    open({makeFile("d.fcs", 2, 3)});
    Built kept = build(w(), 1, "kept");
    Built gone = build(w(), 1, "gone");
    EXPECT_TRUE(gone.analysis->finishMarkedForDeletion());
    ASSERT_EQ(kept.panel->markers()->checkBoxes().size(), 3u);

    // The deleted analysis' panel is still alive (deferred) but no longer
    // reached; the remaining ones grow.
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    data->addDimensions({"QLMRN_TsneX", "QLMRN_TsneY"}, 0.0f);
    EXPECT_EQ(kept.analysis->markerStates().size(), 5u);
    EXPECT_EQ(kept.panel->markers()->checkBoxes().size(), 5u);
    ASSERT_FALSE(gone.panel.isNull());
    EXPECT_EQ(gone.panel->markers()->checkBoxes().size(), 3u);

    data->derivedDataPoints("Subset", true);
    EXPECT_EQ(kept.panel->newData, 1);
    EXPECT_EQ(gone.panel->newData, 0);
}

// ---- Quit ----

class MainWindowQuit : public ShellTest {};

TEST_F(MainWindowQuit, CloseRequestAsksAndNoKeepsTheWindow) {
    w().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w()));
    sendWindowManagerClose(&w());
    ASSERT_TRUE(QTest::qWaitFor([&]() { return shownBox(w()) != nullptr; }, 5000));
    QPointer<QMessageBox> box = shownBox(w());
    EXPECT_EQ(box->text(), MainWindow::quitQuestion);
    QTest::mouseClick(static_cast<QPushButton*>(box->button(QMessageBox::No)), Qt::LeftButton);
    runDeferredDeletes();
    EXPECT_TRUE(box.isNull());
    EXPECT_TRUE(w().isVisible());
    // A programmatic close is not asked about.
    EXPECT_TRUE(w().close());
}

// The run iterates on the GUI thread and pumps the events that carry the
// close request and the answer. Yes stops it after the current iteration;
// the window goes and the application's event loop ends.
TEST_F(MainWindowQuit, YesDuringARunClosesTheWindowAfterTheCurrentIteration) {
    setApplicationSurfaceFormat();
    w().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w()));
    UI_ModalDialogs::answerText("Long run");
    openAndStartTsne({makeFile("cells.fcs", 200, 3)});
    ASSERT_EQ(w().analyses().size(), 1u);
    auto* tsne = dynamic_cast<MCV_TsneAnalysis*>(w().analyses()[0]);
    auto* panel = qobject_cast<UI_TsneSettingsWidget*>(w().settingsPanels()[0]);
    ASSERT_TRUE(tsne && panel);
    tsne->setIterations(1000000);
    tsne->setSeed(1);

    int iterations = 0, afterYes = -1;
    bool asked = false;
    QObject::connect(w().bridge(), &UI_Interface::analysisUpdatedSignal, &w(), [&](void*) {
        ++iterations;
        if (afterYes >= 0) {
            if (++afterYes > 50) tsne->stopGradientDescent();  // the run ignored the answer
            return;
        }
        if (iterations == 5) {
            sendWindowManagerClose(&w());
            asked = QTest::qWaitFor([&]() { return shownBox(w()) != nullptr; }, 5000);
            if (!asked) return tsne->stopGradientDescent();
            afterYes = 0;
            QTest::mouseClick(static_cast<QPushButton*>(shownBox(w())->button(QMessageBox::Yes)), Qt::LeftButton);
        }
    });
    QTimer::singleShot(
        0, panel, [panel]() { quietly([panel] { QTest::mouseClick(panel->computeTsneButton(), Qt::LeftButton); }); });
    EXPECT_EQ(QApplication::exec(), 0);
    // The closed last window also asked to quit; that request must not end
    // the next test's event loops.
    QCoreApplication::removePostedEvents(qApp, QEvent::Quit);
    ASSERT_TRUE(asked);
    EXPECT_LE(afterYes, 1) << "iterations run after Yes";
    EXPECT_FALSE(w().isVisible());
}

}  // namespace
