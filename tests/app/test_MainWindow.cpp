// The main window: its form (texts, shortcuts, enabled states), the lists of
// analyses, views and panels with the bridge's signals, the quit question,
// Help, and the file information view.
#include "ShellTestSupport.h"
#include "data/FcsTestFile.h"

#include "app/MainWindow.h"
#include "app/UI_AboutDialog.h"
#include "app/UI_FileInfoWidget.h"
#include "app/UI_Interface.h"
#include "data/MCV_CytometryData.h"
#include "ui/base/UI_DockableContainerWidget.h"
#include "ui/base/UI_DockableWidget.h"

#include <QAction>
#include <QPushButton>
#include <QRegularExpression>
#include <QDesktopServices>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace {

QAction* action(MainWindow& w, const char* name) { return w.findChild<QAction*>(name); }

QStringList texts(const QList<QAction*>& actions) {
    QStringList out;
    for (QAction* a : actions) out << a->text();
    return out;
}

TEST(MainWindowForm, TitleMenusTextsAndShortcuts) {
    MainWindow w;
    EXPECT_EQ(w.objectName(), "MainWindow");
    EXPECT_EQ(w.windowTitle(), "Quillmaren");
    QMenuBar* bar = w.menuBar();
    EXPECT_EQ(bar->objectName(), "menuBar");
    EXPECT_EQ(texts(bar->actions()), (QStringList{"File", "Analysis", "View", "Help"}));
    EXPECT_EQ(texts(w.findChild<QMenu*>("menuFile")->actions()), QStringList{"Open File(s) ..."});
    EXPECT_EQ(texts(w.findChild<QMenu*>("menuAnalysis")->actions()),
              (QStringList{"New Spade Analysis", "New A-tSNE Analysis", "New HSNE Analysis"}));
    EXPECT_EQ(texts(w.findChild<QMenu*>("menuView")->actions()),
              (QStringList{"HeatMap View", "File Information View", "Settings View"}));
    EXPECT_EQ(texts(w.findChild<QMenu*>("menuHelp")->actions()),
              (QStringList{"Browse Documentation ...", "Check for Updates ...", "About Quillmaren ..."}));

    const struct {
        const char* name;
        const char* text;
        const char* shortcut;
    } table[] = {
        {"actionOpenFile", "Open File(s) ...", "Ctrl+O"},
        {"actionAddColorImage", "Add Color Image", "Ctrl+Shift+O"},
        {"actionClassifyData", "Classify with Template...", "Ctrl+Shift+C"},
        {"actionExportSpadeTree", "Export Spade Tree ...", "Ctrl+Shift+E"},
        {"actionFileInformation", "File Information View", "Ctrl+Shift+I"},
        {"actionSettings", "Settings View", "Ctrl+,"},
        {"actionHeatMap", "HeatMap View", "Ctrl+Shift+H"},
        {"actionTree", "Focus + Context Tree View", "Ctrl+Shift+T"},
        {"actionHierarchy", "Hierarchy View", "Ctrl+Shift+X"},
        {"actionImage", "Image View", "Ctrl+Shift+J"},
        {"actionSpadeView", "Spade View", "Ctrl+Shift+S"},
        {"actionScatterplotView", "Scatterplot View", "Ctrl+Shift+P"},
        {"actionNewSpadeAnalysis", "New Spade Analysis", "Ctrl+S"},
        {"actionNewTsneAnalysis", "New A-tSNE Analysis", "Ctrl+T"},
        {"actionNewHsneAnalysis", "New HSNE Analysis", "Ctrl+F"},
        {"actionNewHsneFCAnalysis", "New HSNE Focus + Context Analysis", "Ctrl+Shift+F"},
        {"actionDocumentation", "Browse Documentation ...", ""},
        {"actionCheckForUpdates", "Check for Updates ...", ""},
        {"actionAbout", "About Quillmaren ...", ""},
    };
    EXPECT_EQ(w.findChildren<QAction*>(QRegularExpression("^action")).size(), 19);
    for (const auto& row : table) {
        QAction* a = action(w, row.name);
        ASSERT_NE(a, nullptr) << row.name;
        EXPECT_EQ(a->text(), row.text) << row.name;
        EXPECT_EQ(a->shortcut(), QKeySequence(row.shortcut)) << row.name;
    }

    // Before any import only the three gated analysis actions are disabled.
    for (const auto& row : table) {
        const bool gated = !std::strcmp(row.name, "actionNewSpadeAnalysis") ||
                           !std::strcmp(row.name, "actionNewTsneAnalysis") ||
                           !std::strcmp(row.name, "actionNewHsneAnalysis");
        EXPECT_EQ(action(w, row.name)->isEnabled(), !gated) << row.name;
    }
}

TEST(MainWindowForm, SettingsDockIsOnTheLeftAndTogglesFromTheViewMenu) {
    MainWindow w;
    UI_DockableContainerWidget* dock = w.settingsDock();
    EXPECT_EQ(dock->windowTitle(), "Settings");
    EXPECT_EQ(dock->minimumWidth(), 300);
    EXPECT_EQ(dock->maximumWidth(), 500);
    EXPECT_EQ(w.dockWidgetArea(dock), Qt::LeftDockWidgetArea);
    EXPECT_TRUE(dock->visibilityFlag());
    w.show();
    action(w, "actionSettings")->trigger();
    EXPECT_FALSE(dock->isVisible());
    action(w, "actionSettings")->trigger();
    EXPECT_TRUE(dock->isVisible());
}

// Qt fires a shortcut only for an action on a shown widget: the actions in no
// menu must still answer their keys.
TEST(MainWindowForm, ShortcutsOfActionsOutsideTheMenusFire) {
    MainWindow w;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QApplication::setActiveWindow(&w);
    for (const char* name : {"actionTree", "actionHierarchy", "actionImage", "actionSpadeView", "actionScatterplotView",
                             "actionNewHsneFCAnalysis", "actionFileInformation"}) {
        QAction* a = action(w, name);
        QSignalSpy fired(a, &QAction::triggered);
        QTest::keySequence(&w, a->shortcut());
        EXPECT_EQ(fired.count(), 1) << name;
    }
}

TEST(MainWindowLists, UniqueNamesCountUpFromOne) {
    MainWindow w;
    EXPECT_EQ(w.uniqueAnalysisName("X"), "X");
    w.addAnalysis(new TestAnalysis(1, "X"));
    EXPECT_EQ(w.uniqueAnalysisName("X"), "X 1");
    w.addAnalysis(new TestAnalysis(1, "X 1"));
    EXPECT_EQ(w.uniqueAnalysisName("X"), "X 2");
    EXPECT_EQ(w.uniqueAnalysisName("x"), "x") << "names differing in case are distinct";
}

struct Built {
    TestAnalysis* analysis;
    QPointer<UI_DockableWidget> view;
    QPointer<TestPanel> panel;
};

Built build(MainWindow& w, int type, const QString& name) {
    Built b;
    b.analysis = new TestAnalysis(type, name.toStdString(), w.bridge());
    b.view = new UI_DockableWidget(&w);
    b.view->setWindowTitle(name);
    w.addDockWidget(Qt::RightDockWidgetArea, b.view);
    b.view->setVisibility(true);
    b.panel = new TestPanel(&w, b.analysis);
    w.addAnalysis(b.analysis);
    w.addView(b.view, b.analysis);
    w.addSettingsPanel(b.panel, b.analysis, name);
    return b;
}

// An analysis named like a data view takes only its own docks; its panel goes
// with it; it is destroyed after the call that reported it has returned.
TEST(MainWindowLists, DeletionTakesTheAnalysisOwnDocksAndPanelAfterTheCallback) {
    MainWindow w;
    Built first = build(w, 1, "HeatMap View");
    Built second = build(w, 1, "Other");
    QPointer<UI_DockableWidget> heatMap = new UI_DockableWidget(&w);
    heatMap->setWindowTitle("HeatMap View");
    w.addView(heatMap, nullptr);
    ASSERT_EQ(w.settingsDock()->tabWidget()->count(), 2);

    const void* address = first.analysis;
    EXPECT_TRUE(first.analysis->finishMarkedForDeletion())
        << "the analysis was destroyed inside its own readyForDeletion call";
    EXPECT_EQ(w.analyses(), (std::vector<MCV_Analysis*>{second.analysis}));
    EXPECT_EQ(w.views(), (std::vector<UI_DockableWidget*>{second.view, heatMap}));
    EXPECT_EQ(w.settingsPanels().size(), 1u);
    EXPECT_EQ(w.settingsDock()->tabWidget()->count(), 1);
    EXPECT_EQ(w.settingsDock()->tabWidget()->tabText(0), "Other");

    runDeferredDeletes();
    EXPECT_EQ(TestAnalysis::destroyed().count(address), 1u);
    EXPECT_TRUE(first.view.isNull());
    EXPECT_TRUE(first.panel.isNull());
    EXPECT_FALSE(heatMap.isNull()) << "a data view titled like the analysis stays";
    EXPECT_FALSE(second.view.isNull());

    // Unknown pointers are ignored.
    int unrelated = 0;
    w.bridge()->readyForDeletion(&unrelated);
    EXPECT_EQ(w.analyses().size(), 1u);
}

TEST(MainWindowLists, NewVariablesReachAnalysesAndLivePanelsOnly) {
    QTemporaryDir dir;
    delete MCV_CytometryData::Instance();
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    std::vector<std::vector<float>> rows(2, std::vector<float>(3, 1.0f));
    ASSERT_EQ(data->loadFromFile(FcsTestFile::floats(rows).write(dir, "d.fcs")), 0);
    {
        MainWindow w;
        data->init(w.bridge());
        Built kept = build(w, 1, "kept");
        Built gone = build(w, 1, "gone");
        EXPECT_TRUE(gone.analysis->finishMarkedForDeletion());
        ASSERT_EQ(kept.panel->markers()->checkBoxes().size(), 3u);

        // The deleted analysis' panel is still alive (deferred) but no longer
        // reached; the remaining ones grow.
        data->addDimensions({"QLMRN_TsneX", "QLMRN_TsneY"}, 0.0f);
        EXPECT_EQ(kept.analysis->markerStates().size(), 5u);
        EXPECT_EQ(kept.panel->markers()->checkBoxes().size(), 5u);
        ASSERT_FALSE(gone.panel.isNull());
        EXPECT_EQ(gone.panel->markers()->checkBoxes().size(), 3u);

        data->derivedDataPoints("Subset", true);
        EXPECT_EQ(kept.panel->newData, 1);
        EXPECT_EQ(gone.panel->newData, 0);
        runDeferredDeletes();
    }
    delete MCV_CytometryData::Instance();
}

TEST(MainWindowLists, RemoveAnalysesIgnoresUnknownNamesAndUnstoppableKinds) {
    MainWindow w;
    build(w, 0, "Spade Analysis");
    build(w, 99, "HSNE Analysis");
    std::vector<std::string> names{"Spade Analysis", "HSNE Analysis", "nothing"};
    w.bridge()->analysesRemoved(&names);
    w.bridge()->analysesRemoved(nullptr);
    std::vector<std::string> none;
    w.bridge()->analysesRemoved(&none);
    EXPECT_EQ(w.analyses().size(), 2u);
    EXPECT_EQ(w.views().size(), 2u);
}

TEST(MainWindowHelp, AboutTwiceIsOneModelessWindowAndDocumentationOpensTheBrowser) {
    MainWindow w;
    EXPECT_EQ(w.aboutDialog(), nullptr);
    action(w, "actionAbout")->trigger();
    UI_AboutDialog* about = w.aboutDialog();
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(about->isVisible());
    about->hide();
    action(w, "actionAbout")->trigger();
    EXPECT_EQ(w.aboutDialog(), about);
    EXPECT_TRUE(about->isVisible());
    EXPECT_FALSE(about->isModal());
    EXPECT_EQ(w.findChildren<UI_AboutDialog*>().size(), 1);
}

// The window-system's close request, as an X client sends it.
void sendWindowManagerClose(QWidget* window) {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    ASSERT_FALSE(xcb_connection_has_error(c));
    auto atom = [c](const char* name) {
        xcb_intern_atom_reply_t* r =
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
        const xcb_atom_t a = r ? r->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
        std::free(r);
        return a;
    };
    xcb_client_message_event_t ev;
    std::memset(&ev, 0, sizeof ev);
    ev.response_type = XCB_CLIENT_MESSAGE;
    ev.format = 32;
    ev.window = static_cast<xcb_window_t>(window->winId());
    ev.type = atom("WM_PROTOCOLS");
    ev.data.data32[0] = atom("WM_DELETE_WINDOW");
    ev.data.data32[1] = XCB_CURRENT_TIME;
    // Checked, so the server has handled the request before we disconnect.
    const xcb_void_cookie_t sent =
        xcb_send_event_checked(c, 0, ev.window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&ev));
    std::free(xcb_request_check(c, sent));
    xcb_disconnect(c);
}

QList<QMessageBox*> shownBoxes(MainWindow& w) {
    QList<QMessageBox*> out;
    for (QMessageBox* b : w.findChildren<QMessageBox*>())
        if (b->isVisible()) out << b;
    return out;
}

TEST(MainWindowQuit, CloseRequestAsksAndOnlyYesQuits) {
    MainWindow w;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    sendWindowManagerClose(&w);
    ASSERT_TRUE(QTest::qWaitFor([&]() { return shownBoxes(w).size() == 1; }, 5000));
    QMessageBox* box = shownBoxes(w).first();
    EXPECT_EQ(box->text(),
              "Are you sure you want to quit? The current state of the analysis will be lost.\n"
              "Please make sure to export all data needed for further analysis, where possible.");
    EXPECT_EQ(box->windowTitle(), "Quillmaren");
    EXPECT_EQ(box->icon(), QMessageBox::Warning);
    EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
    EXPECT_TRUE(w.isVisible()) << "the request alone never closes the window";

    // The box is modal: a second request while it is open does not reach the
    // window, so no second box appears.
    sendWindowManagerClose(&w);
    QTest::qWait(200);
    EXPECT_EQ(shownBoxes(w).size(), 1);

    // No: the box goes, the window stays.
    QPointer<QMessageBox> declined = box;
    QTest::mouseClick(static_cast<QPushButton*>(declined->button(QMessageBox::No)), Qt::LeftButton);
    runDeferredDeletes();
    EXPECT_TRUE(declined.isNull());
    EXPECT_TRUE(w.isVisible());

    // The next request asks again.
    sendWindowManagerClose(&w);
    ASSERT_TRUE(QTest::qWaitFor([&]() { return shownBoxes(w).size() == 1; }, 5000));

    // Yes ends the application's event loop.
    QPointer<QMessageBox> accepted = shownBoxes(w).first();
    QTimer::singleShot(0, [accepted]() {
        QTest::mouseClick(static_cast<QPushButton*>(accepted->button(QMessageBox::Yes)), Qt::LeftButton);
    });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, []() { QCoreApplication::exit(99); });
    guard.start(10000);
    EXPECT_EQ(QApplication::exec(), 0);
    runDeferredDeletes();
    EXPECT_TRUE(accepted.isNull()) << "the box goes when the application quits";

    // A programmatic close is not asked about.
    EXPECT_TRUE(w.close());
}

TEST(MainWindowViews, FileInformationViewIsCreatedOnceAndToggles) {
    QTemporaryDir dir;
    MainWindow w;
    w.show();
    action(w, "actionFileInformation")->trigger();
    UI_FileInfoWidget* info = w.fileInfoView();
    ASSERT_NE(info, nullptr);
    EXPECT_TRUE(info->isFloating());
    EXPECT_TRUE(info->isVisible());
    EXPECT_TRUE(info->textBrowser()->toPlainText().isEmpty()) << "nothing loaded, no header text";
    action(w, "actionFileInformation")->trigger();
    EXPECT_FALSE(info->isVisible());
    action(w, "actionFileInformation")->trigger();
    EXPECT_TRUE(info->isVisible());
    EXPECT_EQ(w.fileInfoView(), info);
    int infoViews = 0;
    for (QDockWidget* d : w.findChildren<QDockWidget*>()) infoViews += dynamic_cast<UI_FileInfoWidget*>(d) ? 1 : 0;
    EXPECT_EQ(infoViews, 1);
    EXPECT_TRUE(w.views().empty()) << "the file information view is not in the view list";
}

}  // namespace
