// The dock framework and the collapsible section, on real widgets.
#include "ui/base/UI_DockableWidget.h"
#include "ui/base/UI_ExpanderWidget.h"
#include "ui/base/UI_ExpanderWidgetHeader.h"

#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>

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

// Each request of the user or the program, in turn, on a shown window: what
// is shown, the flag and the action's check state after it.
TEST(Dock, FlagFollowsEveryRequestInTurn) {
    QMainWindow window;
    auto* dock = new UI_DockableWidget(&window);
    window.addDockWidget(Qt::RightDockWidgetArea, dock);
    dock->setVisibility(true);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const struct {
        const char* request;
        std::function<void()> make;
        bool shown;
    } requests[] = {
        {"title-bar close button",
         [&] { QTest::mouseClick(dock->findChild<QAbstractButton*>("qt_dockwidget_closebutton"), Qt::LeftButton); },
         false},
        {"View menu action on", [&] { dock->toggleViewAction()->trigger(); }, true},
        {"View menu action off", [&] { dock->toggleViewAction()->trigger(); }, false},
        {"toggleVisibility", [&] { dock->toggleVisibility(); }, true},
        {"floated, then the close button",
         [&] {
             dock->setFloating(true);
             ASSERT_TRUE(QTest::qWaitForWindowExposed(dock));
             QTest::mouseClick(dock->findChild<QAbstractButton*>("qt_dockwidget_closebutton"), Qt::LeftButton);
         },
         false},
        {"setVisibility(true)", [&] { dock->setVisibility(true); }, true},
        {"setVisibility(false)", [&] { dock->setVisibility(false); }, false},
    };
    for (const auto& r : requests) {
        r.make();
        EXPECT_EQ(dock->isVisible(), r.shown) << r.request;
        EXPECT_EQ(dock->visibilityFlag(), r.shown) << r.request;
        EXPECT_EQ(dock->toggleViewAction()->isChecked(), r.shown) << r.request;
    }
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
