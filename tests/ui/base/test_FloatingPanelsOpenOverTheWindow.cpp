// Panels that open as floating docks (Extended Settings, down-sampling, the
// file information) appear centred over their main window, not at a corner
// of the screen, and stay where the user moved them when opened again.
#include "support/DataFixture.h"
#include "support/WidgetFinders.h"

#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "app/UI_FileInfoWidget.h"
#include "ui/base/UI_DockableContainerWidget.h"
#include "ui/datapanels/UI_SelectiveDownsamplingWidget.h"
#include "ui/plot/UI_SettingsSliderWidget.h"
#include "ui/tsne/UI_TsneSettingsWidget.h"

#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QTest>

#include <functional>

namespace {

using namespace viewtest;

class FloatingPanels : public DataFixture {
protected:
    void SetUp() override {
        DataFixture::SetUp();
        window.setGeometry(300, 200, 900, 700);
        window.setCentralWidget(new QWidget());
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    QMainWindow window;
};

TEST_F(FloatingPanels, OpenCentredOverTheMainWindowAndStayWhereMoved) {
    MCV_TsneAnalysis tsne;
    tsne.init(nullptr, "a");
    QLabel statistics("statistics");
    const struct {
        const char* panel;
        std::function<UI_DockableWidget*()> open;
    } cases[] = {
        {"Extended Settings",
         [&]() -> UI_DockableWidget* {
             auto* slider = new UI_SettingsSliderWidget(window.centralWidget(), 110);
             slider->addWidgetToExtendedSettings(&statistics, "Statistics");
             for (QPushButton* b : slider->findChildren<QPushButton*>())
                 if (b->styleSheet().contains("optionsBt")) b->click();
             return slider->extendedSettingsWidget();
         }},
        {"Downsampling",
         [&]() -> UI_DockableWidget* {
             auto* settings = new UI_TsneSettingsWidget(nullptr, &tsne);
             auto* dock = new QDockWidget(&window);
             dock->setWidget(settings);
             window.addDockWidget(Qt::LeftDockWidgetArea, dock);
             dock->show();
             childWithText<QPushButton>(settings, "Downsampling ...")->click();
             return settings->downsampling();
         }},
        {"File information",
         [&]() -> UI_DockableWidget* {
             auto* info = new UI_FileInfoWidget(&window);
             window.addDockWidget(Qt::RightDockWidgetArea, info);
             info->setFloating(true);
             info->toggleVisibility();
             return info;
         }},
    };
    for (const auto& c : cases) {
        UI_DockableWidget* dock = c.open();
        ASSERT_NE(dock, nullptr) << c.panel;
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dock)) << c.panel;
        EXPECT_TRUE(dock->isFloating()) << c.panel;
        const QPoint offset = dock->frameGeometry().center() - window.frameGeometry().center();
        EXPECT_LE(offset.manhattanLength(), 4) << c.panel << " opened at " << dock->x() << "," << dock->y();

        dock->move(40, 30);
        dock->setVisibility(false);
        dock->setVisibility(true);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dock)) << c.panel;
        EXPECT_EQ(dock->pos(), QPoint(40, 30)) << c.panel;
        dock->setVisibility(false);
    }
}

}  // namespace
