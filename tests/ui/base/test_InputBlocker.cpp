// The input blocker of long computations: input to the windows open when it
// was made is dropped; close requests, paints and windows opened later pass.
#include "ui/base/UI_InputBlocker.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

// A window with a check box, a line edit and a window shortcut (Ctrl+K);
// counts what reached it.
struct Window {
    Window() {
        box = new QCheckBox(QStringLiteral("Box"), &widget);
        edit = new QLineEdit(&widget);
        edit->move(0, 40);
        action = new QAction(&widget);
        action->setShortcut(QKeySequence("Ctrl+K"));
        widget.addAction(action);
        QObject::connect(action, &QAction::triggered, [this] { ++shortcuts; });
        widget.resize(200, 100);
        widget.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&widget));
    }
    // The box's state, the edit's text and the shortcuts fired, after `input`
    // to the window made active.
    std::tuple<bool, QString, int> after(const std::function<void(Window&)>& input) {
        QApplication::setActiveWindow(&widget);
        edit->setFocus();
        input(*this);
        return {box->isChecked(), edit->text(), shortcuts};
    }
    QWidget widget;
    QCheckBox* box;
    QLineEdit* edit;
    QAction* action;
    int shortcuts = 0;
};

TEST(InputBlocker, DropsInputToTheWindowsOpenWhenMadeAndLetsEverythingElsePass) {
    const struct {
        const char* name;
        std::function<void(Window&)> input;
        std::tuple<bool, QString, int> unblocked;
    } cases[] = {
        {"click",
         [](Window& w) { QTest::mouseClick(w.box, Qt::LeftButton, {}, QPoint(6, w.box->height() / 2)); },
         {true, "", 0}},
        {"keys", [](Window& w) { QTest::keyClicks(w.edit, "ab"); }, {false, "ab", 0}},
        {"shortcut", [](Window& w) { QTest::keySequence(&w.widget, QKeySequence("Ctrl+K")); }, {false, "", 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Window old;
        std::unique_ptr<UI_InputBlocker> blocker = std::make_unique<UI_InputBlocker>();
        Window opened;  // after the blocker
        EXPECT_EQ(old.after(c.input), std::make_tuple(false, QString(), 0)) << "dropped";
        EXPECT_EQ(opened.after(c.input), c.unblocked) << "a window opened meanwhile takes input";
        // A close request is no input.
        EXPECT_TRUE(old.widget.close());
        old.widget.show();
        blocker.reset();
        EXPECT_EQ(old.after(c.input), c.unblocked) << "input passes again";
    }
}

}  // namespace
