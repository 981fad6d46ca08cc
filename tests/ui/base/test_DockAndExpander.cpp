// The dock framework and the collapsible section, on real widgets.
#include "ui/base/UI_DockableContainerWidget.h"
#include "ui/base/UI_DockableWidget.h"
#include "ui/base/UI_ExpanderWidget.h"
#include "ui/base/UI_ExpanderWidgetHeader.h"

#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QTabWidget>
#include <QTest>
#include <QTextEdit>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace {

TEST(Dock, TabsGoToOneTabWidgetAtTheTopLeftWithIncreasingIndices) {
    QMainWindow window;
    UI_DockableContainerWidget* dock = new UI_DockableContainerWidget(&window);
    EXPECT_EQ(dock->tabWidget(), nullptr);
    EXPECT_EQ(dock->addTabWidget(new QLabel("a"), "A"), 0);
    QTabWidget* tabs = dock->tabWidget();
    ASSERT_NE(tabs, nullptr);
    int row = -1, column = -1, rs = 0, cs = 0;
    dock->mainLayout()->getItemPosition(dock->mainLayout()->indexOf(tabs), &row, &column, &rs, &cs);
    EXPECT_EQ(row, 0);
    EXPECT_EQ(column, 0);
    EXPECT_EQ(dock->mainLayout()->contentsMargins(), QMargins(0, 0, 0, 0));
    EXPECT_EQ(dock->addTabWidget(new QLabel("b"), "B"), 1);
    EXPECT_EQ(dock->addTabWidget(new QLabel("c"), "C"), 2);
    EXPECT_EQ(dock->tabWidget(), tabs);
    EXPECT_EQ(tabs->tabText(2), "C");

    // A page leaves its tab by being deleted.
    delete tabs->widget(1);
    EXPECT_EQ(tabs->count(), 2);
    EXPECT_EQ(tabs->tabText(1), "C");
}

TEST(Dock, ContainerWithoutTabsDestroysCleanly) {
    QPointer<UI_DockableContainerWidget> dock = new UI_DockableContainerWidget(nullptr);
    EXPECT_EQ(dock->tabWidget(), nullptr);
    delete dock;
    EXPECT_TRUE(dock.isNull());
}

TEST(Dock, FlagFollowsToggleActionCloseButtonAndToggles) {
    QMainWindow window;
    UI_DockableWidget* dock = new UI_DockableWidget(&window);
    window.addDockWidget(Qt::RightDockWidgetArea, dock);
    EXPECT_FALSE(dock->visibilityFlag()) << "created hidden-flagged";
    dock->setVisibility(false);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_FALSE(dock->isVisible());

    dock->toggleVisibility();
    EXPECT_TRUE(dock->visibilityFlag());
    EXPECT_TRUE(dock->isVisible());
    dock->toggleVisibility();
    EXPECT_FALSE(dock->visibilityFlag());
    EXPECT_FALSE(dock->isVisible());

    dock->setVisibility(true);
    EXPECT_TRUE(dock->toggleViewAction()->isChecked());
    // The title bar's close button: the action unchecks and the flag follows.
    dock->close();
    EXPECT_FALSE(dock->toggleViewAction()->isChecked());
    EXPECT_FALSE(dock->visibilityFlag());
    // The View-menu path: checking the action shows the dock again.
    dock->toggleViewAction()->trigger();
    EXPECT_TRUE(dock->visibilityFlag());
    EXPECT_TRUE(dock->isVisible());
}

QString arrowStyle(UI_ExpanderWidget* e) { return e->header()->arrow->styleSheet(); }

TEST(Expander, StartsCollapsedOrExpandedWithTheMatchingArrowAndBody) {
    QWidget window;
    UI_ExpanderWidget collapsed(&window, false, false);
    EXPECT_TRUE(collapsed.isCollapsed());
    EXPECT_TRUE(arrowStyle(&collapsed).contains(":/Icons/openArrowDrop"));
    QLabel* body = new QLabel("body");
    collapsed.setBody(body);
    window.show();
    EXPECT_FALSE(body->isVisible());

    UI_ExpanderWidget expanded(&window, true, false);
    QLabel* body2 = new QLabel("body2");
    expanded.setBody(body2);
    expanded.show();
    EXPECT_FALSE(expanded.isCollapsed());
    EXPECT_TRUE(arrowStyle(&expanded).contains(":/Icons/closeArrowDrop"));
    EXPECT_TRUE(body2->isVisible());
    EXPECT_EQ(collapsed.header()->titleLabel->text(), "Text");
    expanded.setHeader("Markers");
    EXPECT_EQ(expanded.header()->titleLabel->text(), "Markers");
}

TEST(Expander, EachClickTogglesAndTwoClicksRestore) {
    QWidget window;
    UI_ExpanderWidget e(&window, true, false);
    QLabel* body = new QLabel("body");
    e.setBody(body);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::mouseClick(e.header(), Qt::LeftButton);
    EXPECT_TRUE(e.isCollapsed());
    EXPECT_FALSE(body->isVisible());
    EXPECT_TRUE(arrowStyle(&e).contains("openArrowDrop"));
    QTest::mouseClick(e.header(), Qt::RightButton);  // any button
    EXPECT_FALSE(e.isCollapsed());
    EXPECT_TRUE(body->isVisible());
    EXPECT_TRUE(arrowStyle(&e).contains("closeArrowDrop"));
    e.header()->toggleVisibility();
    EXPECT_TRUE(e.isCollapsed());
}

TEST(Expander, ReplacedBodyStaysAliveWithItsOwnVisibility) {
    QWidget window;
    UI_ExpanderWidget e(&window, true, false);
    QPointer<QLabel> first = new QLabel("first");
    e.setBody(first);
    window.show();
    e.hideBody(true);
    EXPECT_FALSE(first->isVisible());
    QLabel* second = new QLabel("second");
    e.setBody(second);
    EXPECT_FALSE(second->isVisible()) << "a collapsed section hides a new body";
    ASSERT_FALSE(first.isNull());
    EXPECT_TRUE(first->isHidden());
    EXPECT_EQ(e.body(), second);
    e.hideBody(false);
    EXPECT_TRUE(second->isVisible());
    EXPECT_TRUE(first->isHidden());
}

TEST(Expander, HideBodyWithoutBodyOnlyUpdatesTheState) {
    UI_ExpanderWidget e(nullptr, true, true);
    e.hideBody(true);
    EXPECT_TRUE(e.isCollapsed());
    EXPECT_TRUE(arrowStyle(&e).contains("openArrowDrop"));
}

TEST(Expander, ResizeFlagGrowsAndShrinksTheWindow) {
    for (bool resize : {true, false}) {
        QWidget window;
        QVBoxLayout* layout = new QVBoxLayout(&window);
        UI_ExpanderWidget* e = new UI_ExpanderWidget(&window, false, resize);
        // Large size hint, small minimum: only the resize step grows the window.
        QTextEdit* body = new QTextEdit();
        body->setMinimumHeight(10);
        e->setBody(body);
        layout->addWidget(e);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        window.resize(window.sizeHint());
        const int closedHeight = window.height();
        e->hideBody(false);
        if (resize) {
            EXPECT_GE(window.height(), closedHeight + 100);
            e->hideBody(true);
            EXPECT_EQ(window.height(), closedHeight);
        } else {
            EXPECT_LT(window.height(), closedHeight + 100) << "without the flag only the minimum size counts";
        }
    }
}

}  // namespace
