// Floating panels open centred over their own main window, whatever has the
// focus, and stay where the user moved them.
#include "support/DataFixture.h"
#include "support/WidgetFinders.h"

#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "ui/base/UI_DockableContainerWidget.h"
#include "ui/datapanels/UI_SelectiveDownsamplingWidget.h"
#include "ui/plot/UI_SettingsSliderWidget.h"
#include "ui/tsne/UI_TsneSettingsWidget.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QTest>

#include <functional>

namespace {

using FloatingPanels = viewtest::DataFixture;

TEST_F(FloatingPanels, OpenCentredOverTheirWindowAndStayWhereMoved) {
    QMainWindow window;
    window.setGeometry(300, 200, 900, 700);
    window.setCentralWidget(new QWidget());
    window.show();
    QWidget elsewhere;
    elsewhere.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window) && QTest::qWaitForWindowExposed(&elsewhere));
    QApplication::setActiveWindow(&elsewhere);
    MCV_TsneAnalysis tsne;
    tsne.init(nullptr, "a");
    QLabel statistics("statistics");
    const std::function<UI_DockableWidget*()> panels[] = {
        [&]() -> UI_DockableWidget* {
            auto* slider = new UI_SettingsSliderWidget(window.centralWidget(), 110);
            slider->addWidgetToExtendedSettings(&statistics, "Statistics");
            for (QPushButton* b : slider->findChildren<QPushButton*>())
                if (b->styleSheet().contains("optionsBt")) b->click();
            return slider->extendedSettingsWidget();
        },
        [&]() -> UI_DockableWidget* {
            auto* settings = new UI_TsneSettingsWidget(nullptr, &tsne);
            auto* dock = new QDockWidget(&window);
            dock->setWidget(settings);
            window.addDockWidget(Qt::LeftDockWidgetArea, dock);
            childWithText<QPushButton>(settings, "Downsampling ...")->click();
            return settings->downsampling();
        },
    };
    for (size_t i = 0; i < std::size(panels); ++i) {
        UI_DockableWidget* dock = panels[i]();
        ASSERT_TRUE(dock && QTest::qWaitForWindowExposed(dock)) << i;
        EXPECT_TRUE(dock->isFloating()) << i;
        EXPECT_EQ(dock->parentWidget(), &window) << i;
        const QPoint offset = dock->frameGeometry().center() - window.frameGeometry().center();
        EXPECT_LE(offset.manhattanLength(), 4) << i << " opened at " << dock->x() << "," << dock->y();
        dock->move(40, 30);
        dock->setVisibility(false);
        dock->setVisibility(true);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dock)) << i;
        EXPECT_EQ(dock->pos(), QPoint(40, 30)) << i;
        dock->setVisibility(false);
    }
}

}  // namespace
