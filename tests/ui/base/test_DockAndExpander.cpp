// The dock framework and the collapsible section, on real widgets.
#include "ui/base/UI_DockableWidget.h"
#include "ui/base/UI_ExpanderWidget.h"
#include "ui/base/UI_ExpanderWidgetHeader.h"

#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QTest>
#include <gtest/gtest.h>

namespace {

TEST(Dock, FlagFollowsTheCloseButtonAndTheViewMenuAction) {
    QMainWindow window;
    auto* dock = new UI_DockableWidget(&window);
    window.addDockWidget(Qt::RightDockWidgetArea, dock);
    dock->setVisibility(false);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    dock->toggleVisibility();
    EXPECT_TRUE(dock->visibilityFlag() && dock->isVisible());
    dock->close();
    EXPECT_FALSE(dock->toggleViewAction()->isChecked() || dock->visibilityFlag());
    dock->toggleViewAction()->trigger();
    EXPECT_TRUE(dock->visibilityFlag() && dock->isVisible());
}

TEST(Expander, EveryClickTogglesBodyAndArrowAndAReplacedBodyStaysAlive) {
    QWidget window;
    UI_ExpanderWidget e(&window, false, false);
    QPointer<QLabel> first = new QLabel("first");
    e.setBody(first);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    for (bool collapsed : {true, false}) {
        EXPECT_EQ(e.isCollapsed(), collapsed);
        EXPECT_EQ(first->isVisible(), !collapsed);
        EXPECT_TRUE(e.header()->arrow->styleSheet().contains(collapsed ? "openArrowDrop" : "closeArrowDrop"));
        QTest::mouseClick(e.header(), collapsed ? Qt::LeftButton : Qt::RightButton);  // any button
    }
    auto* second = new QLabel("second");
    e.setBody(second);
    EXPECT_FALSE(second->isVisible()) << "a collapsed section hides a new body";
    e.hideBody(false);
    ASSERT_FALSE(first.isNull());
    EXPECT_TRUE(second->isVisible() && first->isHidden());
}

}  // namespace
