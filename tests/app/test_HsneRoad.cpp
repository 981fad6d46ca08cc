// HSNE through the real main window, as a user goes: open a file written by
// an instrument, Ctrl+F, Compute, select landmarks, zoom into them twice down
// to the data level. Clicks during a run come from the bridge's update signal,
// as a user's would between two iterations.
#include "ShellTestSupport.h"
#include "support/CapturedOutput.h"
#include "support/Pixels.h"
#include "support/TestData.h"
#include "support/WidgetFinders.h"

#include "analysis/applicationSurfaceFormat.h"
#include "analysis/hsne/MCV_HsneAnalysis.h"
#include "analysis/hsne/MCV_HsneAnalysisHierarchy.h"
#include "data/MCV_DerivedDataPoints.h"
#include "ui/base/UI_DockableContainerWidget.h"
#include "ui/base/UI_ExpanderWidget.h"
#include "ui/datapanels/UI_SampleSelectionWidget.h"
#include "ui/hsne/UI_HsneSettingsWidget.h"
#include "ui/hsne/UI_HsneWidget.h"

#include <QCheckBox>
#include <QFile>
#include <QMenu>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>

namespace {

// Pixels that differ from the plot's background (its corner).
int drawnPixels(UI_ScatterplotWidget* plot) {
    const QImage image = plot->grabFramebuffer();
    return image.width() * image.height() - countNear(image, image.pixel(1, 1), 8);
}

// Right-clicks the plot's centre; `inMenu` runs on the open context menu.
void rightClick(UI_ScatterplotWidget* plot, std::function<void(QMenu*)> inMenu) {
    QTimer::singleShot(0, [inMenu] { inMenu(qobject_cast<QMenu*>(QApplication::activePopupWidget())); });
    QTest::mouseClick(plot, Qt::RightButton, {}, plot->rect().center());
}

// Selects the upper left nine sixteenths of `plot` and picks "Zoom into
// Selection." from its context menu; the name prompt gets an empty text.
void zoomIntoUpperLeft(UI_ScatterplotWidget* plot) {
    drag(plot, {2, 2}, {plot->width() * 3 / 4, plot->height() * 3 / 4});
    UI_ModalDialogs::answerText("");
    quietly([&] {
        rightClick(plot, [](QMenu* menu) {
            if (QAction* zoom = menu ? childWithText<QAction>(menu, "Zoom into Selection.") : nullptr)
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(zoom).center());
            else if (menu)
                menu->close();
        });
    });
}

using HsneRoad = ShellTest;

TEST_F(HsneRoad, FromCtrlFThroughTwoZoomsToTheDataLevel) {
    setApplicationSurfaceFormat();
    w().resize(1400, 1000);
    w().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w()));
    QApplication::setActiveWindow(&w());
    testing::internal::CaptureStderr();  // the views' debug lines, counted below
    // ---- Open the file in a folder of its own (the caches go beside it), Ctrl+F ----
    ASSERT_REAL_FCS_FILE("0877408774.B08");
    ASSERT_TRUE(QFile::copy(realFcsFile("0877408774.B08"), dir.filePath("0877408774.B08")));
    open({dir.filePath("0877408774.B08")});
    UI_ModalDialogs::answerText("H");
    QTest::keySequence(&w(), QKeySequence("Ctrl+F"));
    ASSERT_EQ(w().analyses().size(), 2u);
    auto* hierarchy = dynamic_cast<MCV_HsneAnalysisHierarchy*>(w().analyses()[0]);
    auto* overview = dynamic_cast<MCV_HsneAnalysis*>(w().analyses()[1]);
    auto* panel = qobject_cast<UI_HsneSettingsWidget*>(w().settingsPanels().at(0));
    auto* view = qobject_cast<UI_HsneWidget*>(w().views().at(0));
    ASSERT_TRUE(hierarchy && overview && panel && view);
    EXPECT_EQ(view->windowTitle(), "H - Overview Level");
    EXPECT_EQ(w().settingsDock()->tabWidget()->tabText(0), "H");

    // ---- The panel's defaults; the scales suggested for 10,000 events ----
    QStringList shown;
    for (const char* label :
         {"RNG Seed", "Memory preserving computation", "#Checks in AKNN", "#RW for influence", "#RW for Monte Carlo",
          "Random walks threshold", "Random walks length", "Pruning threshold", "Fixed Percentile Landmark Selection",
          "Filter Percentile", "Number of Scales", "Cache HSNE Hierarchy", "GPU Acceleration"}) {
        auto* box = widgetBeside<QCheckBox>(panel, label);
        shown << (box ? QString(box->isChecked() ? "on" : "off")
                      : widgetBeside<QAbstractSpinBox>(panel, label)->text());
    }
    EXPECT_EQ(shown.join(' '), "-1 on 1024 100 15 1.50 15 0 off 0.50 2 on off");
    EXPECT_TRUE(panel->advancedSection()->isCollapsed());
    widgetBeside<QCheckBox>(panel, "Fixed Percentile Landmark Selection")->setChecked(true);
    EXPECT_EQ(panel->numScalesBox()->value(), 4) << "10000, 5000, 2500, 1250";
    widgetBeside<QCheckBox>(panel, "Fixed Percentile Landmark Selection")->setChecked(false);
    EXPECT_EQ(panel->numScalesBox()->value(), 2);
    panel->numScalesBox()->setValue(3);
    widgetBeside<QSpinBox>(panel, "#RW for influence")->setValue(30);  // a quicker build
    // The zooms below select by map position: a seed gives the same maps on every run.
    widgetBeside<QSpinBox>(panel, "RNG Seed")->setValue(2);

    // ---- Compute; a second Compute while the overview iterates ----
    UI_ScatterplotWidget* plot = view->plot();
    overview->setIterations(80);
    int updates = 0;
    QImage early;
    auto watch = QObject::connect(w().bridge(), &UI_Interface::analysisUpdatedSignal, &w(), [&](void* a) {
        if (a == overview && ++updates == 1) early = plot->grabFramebuffer();
        if (a == overview && updates == 10) QTest::mousePress(panel->computeHsneButton(), Qt::LeftButton);
    });
    quietly([&] { QTest::mouseClick(panel->computeHsneButton(), Qt::LeftButton); });
    QObject::disconnect(watch);
    EXPECT_EQ(updates, 10 + 80) << "the first loop ends after its current iteration, the second runs in full";
    EXPECT_EQ(hierarchy->numScales(), 3) << "the number set by hand";
    const QImage finished = plot->grabFramebuffer();
    EXPECT_NE(finished, early) << "the landmarks moved";
    QTest::qWait(50);
    EXPECT_EQ(plot->grabFramebuffer(), finished) << "and stopped";
    // (Asked only now: the window makes its status bar on the first use, which
    // resizes the plot.)
    EXPECT_TRUE(w().statusBar()->currentMessage().isEmpty()) << "nothing was refused";

    // ---- No zoom without a selection ----
    rightClick(plot, [](QMenu* menu) {
        ASSERT_NE(menu, nullptr);
        EXPECT_EQ(childWithText<QAction>(menu, "Zoom into Selection."), nullptr);
        menu->close();
    });

    // ---- Zoom: " - Level 2" at scale 1, where Compute (scales set to 4) is refused after 2
    // iterations and the level goes on; restarted from its overlay after 5 iterations ----
    // The name, scale and dock title of analysis `i`, a level with the view i - 1.
    auto level = [&](size_t i) {
        auto* l = i < w().analyses().size() ? dynamic_cast<MCV_HsneAnalysis*>(w().analyses()[i]) : nullptr;
        return l ? std::make_tuple(l->name(), l->scale(), w().views().at(i - 1)->windowTitle().toStdString())
                 : std::make_tuple(std::string("no level"), -1, std::string());
    };
    int levelUpdates = 0;
    QObject::connect(w().bridge(), &UI_Interface::analysisInitializedSignal, &w(), [&](void* a) {
        if (a != overview) static_cast<MCV_HsneAnalysis*>(a)->setIterations(50);
    });
    QObject::connect(w().bridge(), &UI_Interface::analysisUpdatedSignal, &w(), [&](void* a) {
        if (a != overview && a == w().analyses().back() && w().analyses().size() == 3 && ++levelUpdates == 2) {
            panel->numScalesBox()->setValue(4);
            QTest::mouseClick(panel->computeHsneButton(), Qt::LeftButton);
            panel->numScalesBox()->setValue(3);
        }
        if (a != overview && a == w().analyses().back() && w().analyses().size() == 3 && levelUpdates == 5)
            QTest::mouseClick(overlayButton(qobject_cast<UI_HsneWidget*>(w().views().back())->plot(), 1),
                              Qt::LeftButton);
    });
    zoomIntoUpperLeft(plot);
    const size_t selectedLandmarks = plot->selectionIdxs()->size();
    EXPECT_GT(MCV_CytometryData::Instance()->selectionPoints()->data().size(), 2 * selectedLandmarks)
        << "the events of " << selectedLandmarks << " landmarks";
    ASSERT_EQ(level(2), std::make_tuple(std::string("H - Level 2"), 1, std::string("H - Level 2")));
    EXPECT_EQ(levelUpdates, 5 + 50) << "the restart waits for the running loop and then runs in full";
    EXPECT_EQ(w().statusBar()->currentMessage(),
              "\"H\" was not computed: its level \"H - Level 2\" is still embedding. Stop that embedding, then press "
              "Compute again.");
    EXPECT_EQ(hierarchy->numScales(), 3) << "a refused Compute hands no settings over";

    // ---- Zoom again: " - Data Level" ----
    zoomIntoUpperLeft(qobject_cast<UI_HsneWidget*>(w().views()[1])->plot());
    ASSERT_EQ(level(3), std::make_tuple(std::string("H - Data Level"), 0, std::string("H - Data Level")));
    EXPECT_EQ(QString::fromStdString(testing::internal::GetCapturedStderr()).count("finished gradient descend."), 2 + 2)
        << "two overview runs, two levels";

    // ---- A hidden sample: the data level hides its points, as t-SNE does; the overview draws its
    // landmarks at the base size, no longer weighted by their share of shown events ----
    std::vector<int> drawn;
    for (UI_DockableWidget* v : {w().views()[2], w().views()[0]}) {
        UI_ScatterplotWidget* p = qobject_cast<UI_HsneWidget*>(v)->plot();
        drawn.push_back(drawnPixels(p));
        p->samplePanel()->checkBox(0)->click();
        drawn.push_back(drawnPixels(p));
    }
    EXPECT_GT(drawn[0], 100);
    EXPECT_EQ(drawn[1], 0);
    EXPECT_GT(drawn[3], 100);
    EXPECT_LT(drawn[3], drawn[2]);

    // ---- Compute again: the drill-down levels go with their docks, the overview stays ----
    overview->setIterations(5);
    quietly([&] { QTest::mouseClick(panel->computeHsneButton(), Qt::LeftButton); });
    runDeferredDeletes();
    EXPECT_EQ(w().analyses(), (std::vector<MCV_Analysis*>{hierarchy, overview}));
    EXPECT_EQ(w().views(), std::vector<UI_DockableWidget*>{view});
}

}  // namespace
