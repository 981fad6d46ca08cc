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

TEST(Dock, TabsGoToOneTabWidgetWithIncreasingIndicesAndLeaveWhenDeleted) {
    {
        QPointer<UI_DockableContainerWidget> bare = new UI_DockableContainerWidget(nullptr);
        EXPECT_EQ(bare->tabWidget(), nullptr);
        delete bare;  // without tabs: nothing to tear down
    }
    QMainWindow window;
    UI_DockableContainerWidget* dock = new UI_DockableContainerWidget(&window);
    EXPECT_EQ(dock->addTabWidget(new QLabel("a"), "A"), 0);
    QTabWidget* tabs = dock->tabWidget();
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(dock->addTabWidget(new QLabel("b"), "B"), 1);
    EXPECT_EQ(dock->addTabWidget(new QLabel("c"), "C"), 2);
    EXPECT_EQ(dock->tabWidget(), tabs);
    delete tabs->widget(1);
    EXPECT_EQ(tabs->count(), 2);
    EXPECT_EQ(tabs->tabText(1), "C");
}

TEST(Dock, FlagFollowsToggleActionCloseButtonAndToggles) {
    QMainWindow window;
    UI_DockableWidget* dock = new UI_DockableWidget(&window);
    window.addDockWidget(Qt::RightDockWidgetArea, dock);
    EXPECT_FALSE(dock->visibilityFlag()) << "created hidden-flagged";
    dock->setVisibility(false);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    for (bool expected : {true, false}) {
        dock->toggleVisibility();
        EXPECT_EQ(dock->visibilityFlag(), expected);
        EXPECT_EQ(dock->isVisible(), expected);
    }
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

void expectState(UI_ExpanderWidget& e, QWidget* body, bool collapsed) {
    EXPECT_EQ(e.isCollapsed(), collapsed);
    EXPECT_TRUE(
        e.header()->arrow->styleSheet().contains(collapsed ? ":/Icons/openArrowDrop" : ":/Icons/closeArrowDrop"));
    if (body) {
        EXPECT_EQ(body->isVisible(), !collapsed);
    }
}

TEST(Expander, StartsInTheGivenStateAndEveryClickToggles) {
    for (bool expanded : {false, true}) {
        QWidget window;
        UI_ExpanderWidget e(&window, expanded, false);
        QLabel* body = new QLabel("body");
        e.setBody(body);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        expectState(e, body, !expanded);
        QTest::mouseClick(e.header(), Qt::LeftButton);
        expectState(e, body, expanded);
        QTest::mouseClick(e.header(), Qt::RightButton);  // any button
        expectState(e, body, !expanded);
        e.header()->toggleVisibility();
        expectState(e, body, expanded);
    }
    UI_ExpanderWidget titled(nullptr, true, false);
    titled.setHeader("Markers");
    EXPECT_EQ(titled.header()->titleLabel->text(), "Markers");
    // Without a body only the state changes.
    titled.hideBody(true);
    expectState(titled, nullptr, true);
}

TEST(Expander, ReplacedBodyStaysAliveWithItsOwnVisibility) {
    QWidget window;
    UI_ExpanderWidget e(&window, true, false);
    QPointer<QLabel> first = new QLabel("first");
    e.setBody(first);
    window.show();
    e.hideBody(true);
    QLabel* second = new QLabel("second");
    e.setBody(second);
    EXPECT_FALSE(second->isVisible()) << "a collapsed section hides a new body";
    ASSERT_FALSE(first.isNull());
    EXPECT_EQ(e.body(), second);
    e.hideBody(false);
    EXPECT_TRUE(second->isVisible());
    EXPECT_TRUE(first->isHidden());
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
