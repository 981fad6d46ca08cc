// The real main window minimised and restored with a window manager running,
// both as a user does it (the manager asked to iconify it, then to activate
// it from a task bar) and as the program does it, and left for another
// desktop and back: every dock comes back as the user left it. Shown docks
// are shown again where they were, docked or floating; a dock the user closed
// stays closed; no dock is hidden meanwhile; each dock's flag still holds the
// user's last request; and a SPADE tree's page is told to lay out again.
#include "ShellTestSupport.h"
#include "support/WindowManagedDisplay.h"

#include "analysis/applicationSurfaceFormat.h"
#include "app/UI_FileInfoWidget.h"
#include "ui/base/UI_DockableContainerWidget.h"
#include "ui/spade/UI_SpadeWidget.h"

#include <QAbstractButton>
#include <QSignalSpy>

#include <functional>
#include <ostream>

namespace {

struct DockState {
    bool shown;
    bool flag;
    bool checked;
    bool floating;
    Qt::DockWidgetArea area;
    // In the window for a docked dock, on the screen for a floating one.
    QRect geometry;

    bool operator==(const DockState& o) const {
        return shown == o.shown && flag == o.flag && checked == o.checked && floating == o.floating && area == o.area &&
               (!shown || geometry == o.geometry);
    }
};

std::ostream& operator<<(std::ostream& out, const DockState& s) {
    return out << (s.shown ? "shown" : "hidden") << " flag " << s.flag << " checked " << s.checked
               << (s.floating ? " floating" : " docked") << " area " << int(s.area) << " at " << s.geometry.x() << ","
               << s.geometry.y() << " " << s.geometry.width() << "x" << s.geometry.height();
}

DockState stateOf(MainWindow& w, UI_DockableWidget* dock) {
    return {dock->isVisible(),  dock->visibilityFlag(), dock->toggleViewAction()->isChecked(),
            dock->isFloating(), w.dockWidgetArea(dock), dock->isFloating() ? dock->frameGeometry() : dock->geometry()};
}

// A way to take the main window off the screen and back.
struct Route {
    const char* name;
    std::function<void(QWidget*)> away;
    std::function<void(QWidget*)> back;
    bool minimises;
};

using MinimisedWindow = ShellTest;

TEST_F(MinimisedWindow, EveryDockComesBackAsTheUserLeftIt) {
    if (!wmtest::underWindowManager()) {
        wmtest::runCurrentTestUnderWindowManager();
        return;
    }
    setApplicationSurfaceFormat();
    w().setGeometry(100, 80, 1300, 850);
    showWindow();
    open({makeFile("cells.fcs", 60, 3)});
    UI_ModalDialogs::answerText("A-tSNE Analysis");
    trigger("actionNewTsneAnalysis");
    trigger("actionScatterplotView");
    UI_ModalDialogs::answerText("Spade Analysis");
    trigger("actionNewSpadeAnalysis");
    trigger("actionFileInformation");
    ASSERT_EQ(w().views().size(), 3u);
    UI_DockableWidget* plot = w().views()[0];
    UI_DockableWidget* closed = w().views()[1];
    auto* tree = qobject_cast<UI_SpadeWidget*>(w().views()[2]);
    ASSERT_NE(tree, nullptr);
    QSignalSpy layoutActive(tree, &UI_SpadeWidget::qt_setLayoutActive);
    UI_DockableWidget* floating = w().fileInfoView();
    ASSERT_TRUE(floating && QTest::qWaitForWindowExposed(floating));
    auto* closeButton = closed->findChild<QAbstractButton*>("qt_dockwidget_closebutton");
    ASSERT_NE(closeButton, nullptr);
    QTest::mouseClick(closeButton, Qt::LeftButton);

    const struct {
        const char* name;
        UI_DockableWidget* dock;
        bool shown;
    } docks[] = {
        {"Settings", w().settingsDock(), true},
        {"plot", plot, true},
        {"plot closed by the user", closed, false},
        {"floating file information", floating, true},
        {"SPADE tree", tree, true},
    };
    const auto states = [&] {
        std::vector<DockState> all;
        for (const auto& d : docks) all.push_back(stateOf(w(), d.dock));
        return all;
    };
    // The window lays its docks out again some turns of the event loop after
    // one is closed: the states are taken once they have held for a while.
    std::vector<DockState> before = states();
    for (int held = 0, wait = 0; held < 6 && wait < 100; ++wait) {
        QTest::qWait(50);
        const std::vector<DockState> now = states();
        held = now == before ? held + 1 : 0;
        before = now;
    }
    for (size_t i = 0; i < std::size(docks); ++i) {
        EXPECT_EQ(before[i].shown, docks[i].shown) << docks[i].name;
        EXPECT_EQ(before[i].flag, docks[i].shown) << docks[i].name;
    }
    ASSERT_TRUE(before[3].floating);

    const Route routes[] = {
        {"minimised and restored through the window manager", wmtest::minimiseThroughManager,
         wmtest::restoreThroughManager, true},
        {"minimised and restored by the program", [](QWidget* main) { main->showMinimized(); },
         [](QWidget* main) { main->showNormal(); }, true},
        {"another desktop shown and back", [](QWidget*) { wmtest::showDesktop(1); },
         [](QWidget*) { wmtest::showDesktop(0); }, false},
    };
    for (const Route& route : routes) {
        SCOPED_TRACE(route.name);
        route.away(&w());
        ASSERT_TRUE(wmtest::waitForManagerState(&w(), wmtest::kIconic));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !w().windowHandle()->isExposed(); }));
        if (route.minimises) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return w().isMinimized(); }));
        }
        // What the window system sends the docks arrives meanwhile.
        QTest::qWait(200);
        for (size_t i = 0; i < std::size(docks); ++i) {
            EXPECT_EQ(docks[i].dock->isHidden(), !docks[i].shown) << docks[i].name << " while away";
            EXPECT_EQ(docks[i].dock->visibilityFlag(), docks[i].shown) << docks[i].name << " while away";
        }

        route.back(&w());
        ASSERT_TRUE(wmtest::waitForManagerState(&w(), wmtest::kNormal));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w()));
        (void)QTest::qWaitFor([&] { return states() == before; }, 5000);
        for (size_t i = 0; i < std::size(docks); ++i)
            EXPECT_EQ(stateOf(w(), docks[i].dock), before[i]) << docks[i].name;
        EXPECT_FALSE(w().isMinimized());
        ASSERT_FALSE(layoutActive.isEmpty());
        EXPECT_TRUE(layoutActive.last().at(0).toBool()) << "the tree's layout stays paused";
    }

    // The user's requests still work on what is on the screen.
    trigger("actionSettings");
    EXPECT_FALSE(w().settingsDock()->isVisible() || w().settingsDock()->visibilityFlag());
    closed->toggleViewAction()->trigger();
    EXPECT_TRUE(closed->isVisible() && closed->visibilityFlag());
}

}  // namespace
