// The slide-in panel: where it sits open, closed and peeking, how long each
// movement takes, its handle arrow, the Extended Settings dock and the
// translucent strip.
#include "ui/base/UI_DockableContainerWidget.h"
#include "ui/plot/UI_SettingsSliderWidget.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

namespace {

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
    QPushButton* buttonWithStyle(const QString& part) {
        for (QPushButton* b : panel->findChildren<QPushButton*>())
            if (b->styleSheet().contains(part)) return b;
        return nullptr;
    }
    QPushButton* handle() {
        for (QPushButton* b : panel->findChildren<QPushButton*>())
            if (b->size() == QSize(100, 15)) return b;
        return nullptr;
    }
    // Waits for the running movement and returns its duration.
    int finishMovement() {
        const int duration = animation->duration();
        if (animation->state() == QAbstractAnimation::Running) {
            QSignalSpy done(animation, &QPropertyAnimation::finished);
            EXPECT_TRUE(done.wait(3000));
        }
        return duration;
    }
    QWidget host;
    UI_SettingsSliderWidget* panel = nullptr;
    QPropertyAnimation* animation = nullptr;
};

TEST_F(SettingsSlider, StartsOpenAtTheHostsBottomWithTheCloseArrow) {
    EXPECT_TRUE(panel->isOpen());
    EXPECT_EQ(panel->geometry(), QRect(0, 290, 600, 110));
    ASSERT_NE(handle(), nullptr);
    EXPECT_TRUE(handle()->styleSheet().contains("url(:/Icons/closeArrow)"));
    EXPECT_EQ(animation->easingCurve().type(), QEasingCurve::InOutCubic);
    EXPECT_EQ(animation->propertyName(), QByteArray("geometry"));
    EXPECT_EQ(panel->minimumHeight(), 110);
    EXPECT_EQ(panel->maximumHeight(), 110);
}

TEST_F(SettingsSlider, HandleClosesAndOpensIn500Milliseconds) {
    QTest::mouseClick(handle(), Qt::LeftButton);
    EXPECT_FALSE(panel->isOpen());  // changed when the movement starts
    EXPECT_EQ(finishMovement(), 500);
    EXPECT_EQ(panel->geometry(), QRect(0, 400, 600, 110));
    EXPECT_TRUE(handle()->styleSheet().contains("url(:/Icons/openArrow)"));

    QTest::mouseClick(handle(), Qt::LeftButton);
    EXPECT_TRUE(panel->isOpen());
    EXPECT_EQ(finishMovement(), 500);
    EXPECT_EQ(panel->geometry(), QRect(0, 290, 600, 110));
    EXPECT_TRUE(handle()->styleSheet().contains("url(:/Icons/closeArrow)"));
}

TEST_F(SettingsSlider, PeeksShowA15PixelStripOnlyWhileClosed) {
    panel->peekIn();  // open: ignored
    EXPECT_FALSE(panel->isPeeking());
    EXPECT_EQ(animation->state(), QAbstractAnimation::Stopped);

    panel->slideOut();
    finishMovement();
    panel->peekOut();  // no peek to end
    EXPECT_EQ(animation->state(), QAbstractAnimation::Stopped);
    panel->peekIn();
    EXPECT_TRUE(panel->isPeeking());
    EXPECT_EQ(finishMovement(), 300);
    EXPECT_EQ(panel->geometry(), QRect(0, 385, 600, 110));
    panel->peekIn();  // already peeking
    EXPECT_EQ(animation->state(), QAbstractAnimation::Stopped);
    panel->peekOut();
    EXPECT_EQ(finishMovement(), 300);
    EXPECT_EQ(panel->geometry().y(), 400);
    EXPECT_TRUE(handle()->styleSheet().contains("url(:/Icons/openArrow)"));
}

TEST_F(SettingsSlider, HandleOpensFullyFromThePeek) {
    panel->slideOut();
    finishMovement();
    panel->peekIn();
    finishMovement();
    QTest::mouseClick(handle(), Qt::LeftButton);
    EXPECT_EQ(finishMovement(), 500);
    EXPECT_EQ(panel->geometry(), QRect(0, 290, 600, 110));
}

TEST_F(SettingsSlider, HostResizePlacesThePanelByTheOpenFlagWithoutAnimation) {
    panel->slideOut();
    finishMovement();
    panel->setParentSize(QSize(800, 500));
    EXPECT_EQ(animation->state(), QAbstractAnimation::Stopped);
    EXPECT_EQ(panel->geometry(), QRect(0, 500, 800, 110));

    // A peek hidden by a resize keeps its flag: the next peekIn waits for a peekOut.
    panel->peekIn();
    finishMovement();
    panel->setParentSize(QSize(800, 450));
    EXPECT_EQ(panel->geometry().y(), 450);
    panel->peekIn();
    EXPECT_EQ(animation->state(), QAbstractAnimation::Stopped);
    panel->peekOut();
    finishMovement();
    panel->peekIn();
    finishMovement();
    EXPECT_EQ(panel->geometry().y(), 435);

    panel->slideIn();
    finishMovement();
    panel->setParentSize(QSize(700, 300));
    EXPECT_EQ(panel->geometry(), QRect(0, 190, 700, 110));
}

TEST_F(SettingsSlider, StripIsDarkAndTranslucent) {
    QPalette palette = host.palette();
    palette.setColor(QPalette::Window, Qt::white);
    host.setPalette(palette);
    host.setAutoFillBackground(true);
    const QImage image = host.grab().toImage();
    const QRgb strip = image.pixel(300, 380);  // between the panel's controls
    EXPECT_NEAR(qRed(strip), 65, 2);
    EXPECT_NEAR(qGreen(strip), 65, 2);
    EXPECT_NEAR(qBlue(strip), 65, 2);
    EXPECT_EQ(image.pixel(300, 100) & 0xffffffu, 0xffffffu);
}

TEST_F(SettingsSlider, CameraButtonAsksForScreenshots) {
    QSignalSpy spy(panel, &UI_SettingsSliderWidget::screenshotButtonPressed);
    QPushButton* camera = buttonWithStyle("cameraBt");
    ASSERT_NE(camera, nullptr);
    EXPECT_EQ(camera->size(), QSize(24, 24));
    QTest::mouseClick(camera, Qt::LeftButton);
    EXPECT_EQ(spy.count(), 1);
}

TEST(SettingsSliderDock, TabsInRecordingOrderInAFloatingHiddenDockOfTheMainWindow) {
    QMainWindow window;
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_EQ(QApplication::activeWindow(), &window);
    auto* host = new QWidget(&window);
    window.setCentralWidget(host);
    auto* panel = new UI_SettingsSliderWidget(host, 110);
    QLabel samples("samples"), statistics("statistics"), selection("selection");
    panel->addWidgetToExtendedSettings(&samples, "Select Samples");
    panel->addWidgetToExtendedSettings(&statistics, "Sample Statistics");

    QPushButton* options = nullptr;
    for (QPushButton* b : panel->findChildren<QPushButton*>())
        if (b->styleSheet().contains("optionsBt")) options = b;
    ASSERT_NE(options, nullptr);
    QTest::mouseClick(options, Qt::LeftButton);
    UI_DockableContainerWidget* dock = panel->extendedSettingsWidget();
    EXPECT_EQ(dock->windowTitle(), "Extended Settings");
    EXPECT_EQ(dock->parent(), &window);
    EXPECT_EQ(window.dockWidgetArea(dock), Qt::RightDockWidgetArea);
    EXPECT_TRUE(dock->isFloating());
    EXPECT_TRUE(dock->isVisible());  // created hidden, then toggled
    panel->addWidgetToExtendedSettings(&selection, "Selection Statistics");
    QTabWidget* tabs = dock->tabWidget();
    ASSERT_EQ(tabs->count(), 3);
    EXPECT_EQ(tabs->tabText(0), "Select Samples");
    EXPECT_EQ(tabs->tabText(1), "Sample Statistics");
    EXPECT_EQ(tabs->tabText(2), "Selection Statistics");
    QTest::mouseClick(options, Qt::LeftButton);
    EXPECT_FALSE(dock->isVisible());

    // The recorded widgets belong to their creator and survive the panel.
    QPointer<QLabel> alive(&samples);
    delete panel;
    EXPECT_FALSE(alive.isNull());
    EXPECT_EQ(samples.parent(), nullptr);
}

TEST(SettingsSliderDock, WithoutMainWindowTheDockIsAFreeWindowToggledAsUsual) {
    QApplication::setActiveWindow(nullptr);
    QWidget host;
    UI_SettingsSliderWidget panel(&host, 110);
    UI_DockableContainerWidget* dock = panel.extendedSettingsWidget();
    EXPECT_EQ(dock->parent(), nullptr);
    EXPECT_EQ(panel.extendedSettingsWidget(), dock);
    QPushButton* options = nullptr;
    for (QPushButton* b : panel.findChildren<QPushButton*>())
        if (b->styleSheet().contains("optionsBt")) options = b;
    QTest::mouseClick(options, Qt::LeftButton);
    EXPECT_TRUE(dock->isVisible());
    QTest::mouseClick(options, Qt::LeftButton);
    EXPECT_FALSE(dock->isVisible());
}

}  // namespace
