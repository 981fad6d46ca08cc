// The slide-in panel: where it sits open, closed and peeking, how long each
// movement takes, its handle arrow, the camera button and the Extended
// Settings dock.
#include "ui/base/UI_DockableContainerWidget.h"
#include "ui/plot/UI_SettingsSliderWidget.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QPushButton* buttonStyled(QWidget* parent, const QString& part) {
    for (QPushButton* b : parent->findChildren<QPushButton*>())
        if (b->styleSheet().contains(part)) return b;
    return nullptr;
}

class SettingsSlider : public ::testing::Test {
protected:
    void SetUp() override {
        host.resize(600, 400);
        panel = new UI_SettingsSliderWidget(&host, 110);
        panel->setParentSize(QSize(600, 400));
        host.show();
        animation = panel->findChild<QPropertyAnimation*>();
        ASSERT_NE(animation, nullptr);
    }
    // Waits for the running movement and returns its duration, 0 if none runs.
    int finishMovement() {
        if (animation->state() != QAbstractAnimation::Running) return 0;
        QSignalSpy done(animation, &QPropertyAnimation::finished);
        EXPECT_TRUE(done.wait(3000));
        return animation->duration();
    }
    QWidget host;
    UI_SettingsSliderWidget* panel = nullptr;
    QPropertyAnimation* animation = nullptr;
};

TEST_F(SettingsSlider, HandleAndPeeksMoveThePanelOnlyFromTheRightStates) {
    struct Step {
        const char* what;
        bool open;
        int peeking;   // -1: not pinned
        int y;         // of the panel once moved, in a 400 high host
        int duration;  // of the movement; 0: none started
        const char* arrow;
    };
    // The panel is 110 high and starts open; a peek shows 15 pixels of it.
    const Step steps[] = {
        {"peekIn", true, false, 290, 0, "closeArrow"},    // open: ignored
        {"handle", false, false, 400, 500, "openArrow"},  // flag changes when the movement starts
        {"peekOut", false, false, 400, 0, "openArrow"},   // no peek to end
        {"peekIn", false, true, 385, 300, "openArrow"},
        {"peekIn", false, true, 385, 0, "openArrow"},  // already peeking
        {"peekOut", false, false, 400, 300, "openArrow"},
        {"peekIn", false, true, 385, 300, "openArrow"},
        {"handle", true, -1, 290, 500, "closeArrow"},  // opens fully from the peek
    };
    QPushButton* handle = buttonStyled(panel, "Arrow)");
    QSignalSpy camera(panel, &UI_SettingsSliderWidget::screenshotButtonPressed);
    QTest::mouseClick(buttonStyled(panel, "cameraBt"), Qt::LeftButton);
    EXPECT_EQ(camera.count(), 1);
    EXPECT_EQ(panel->geometry(), QRect(0, 290, 600, 110));
    for (const Step& s : steps) {
        const QString what = s.what;
        if (what == "handle") QTest::mouseClick(handle, Qt::LeftButton);
        if (what == "peekIn") panel->peekIn();
        if (what == "peekOut") panel->peekOut();
        EXPECT_EQ(panel->isOpen(), s.open) << s.what;
        if (s.peeking >= 0) {
            EXPECT_EQ(panel->isPeeking(), s.peeking == 1) << s.what;
        }
        EXPECT_EQ(finishMovement(), s.duration) << s.what;
        EXPECT_EQ(panel->geometry(), QRect(0, s.y, 600, 110)) << s.what;
        EXPECT_TRUE(handle->styleSheet().contains(QString("url(:/Icons/%1)").arg(s.arrow))) << s.what;
    }
}

TEST_F(SettingsSlider, HostResizePlacesThePanelByTheOpenFlagWithoutAnimation) {
    panel->slideOut();
    finishMovement();
    panel->setParentSize(QSize(800, 500));
    EXPECT_EQ(animation->state(), QAbstractAnimation::Stopped);
    EXPECT_EQ(panel->geometry(), QRect(0, 500, 800, 110));
    panel->slideIn();
    finishMovement();
    panel->setParentSize(QSize(700, 300));
    EXPECT_EQ(panel->geometry(), QRect(0, 190, 700, 110));
}

TEST(SettingsSliderDock, WithoutMainWindowOptionsToggleAFreeDockWhoseWidgetsOutliveThePanel) {
    QApplication::setActiveWindow(nullptr);
    QWidget host;
    auto* panel = new UI_SettingsSliderWidget(&host, 110);
    QLabel samples("samples");
    panel->addWidgetToExtendedSettings(&samples, "Select Samples");
    UI_DockableContainerWidget* dock = panel->extendedSettingsWidget();
    EXPECT_EQ(dock->parent(), nullptr);
    EXPECT_EQ(dock->tabWidget()->count(), 1);
    for (bool visible : {true, false}) {
        QTest::mouseClick(buttonStyled(panel, "optionsBt"), Qt::LeftButton);
        EXPECT_EQ(dock->isVisible(), visible);
    }
    // The recorded widgets belong to their creator.
    QPointer<QLabel> alive(&samples);
    delete panel;
    EXPECT_FALSE(alive.isNull());
    EXPECT_EQ(samples.parent(), nullptr);
}

}  // namespace
