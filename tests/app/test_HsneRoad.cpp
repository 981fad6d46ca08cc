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
#include "data/MCV_FcsHeader.h"
#include "ui/base/UI_DockableContainerWidget.h"
#include "ui/base/UI_ExpanderWidget.h"
#include "ui/datapanels/UI_SampleSelectionWidget.h"
#include "ui/hsne/UI_HsneSettingsWidget.h"
#include "ui/hsne/UI_HsneWidget.h"
#include "ui/plot/UI_ScatterplotWidget.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QMenu>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>

namespace {

QStringList& debugLines() {
    static QStringList lines;
    return lines;
}

// Pixels that differ from the plot's background (its corner) by more than a
// software rasteriser's rounding.
int drawnPixels(UI_ScatterplotWidget* plot) {
    const QImage image = plot->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
    const QRgb background = image.pixel(1, 1);
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) n += !rgbNear(image.pixel(x, y), background, 8);
    return n;
}

class HsneRoad : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        setApplicationSurfaceFormat();
        previousHandler = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext&, const QString& line) { debugLines() << line; });
        w().resize(1400, 1000);
        w().show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w()));
        QApplication::setActiveWindow(&w());
    }
    void TearDown() override {
        qInstallMessageHandler(previousHandler);
        debugLines().clear();
        ShellTest::TearDown();
    }
    // The view of `level` in the window's view list.
    UI_HsneWidget* viewOf(MCV_Analysis* level) {
        for (UI_DockableWidget* v : w().views())
            if (v->windowTitle() == QString::fromStdString(level->name())) return qobject_cast<UI_HsneWidget*>(v);
        return nullptr;
    }
    // Right-clicks the plot's centre; `inMenu` runs on the open context menu.
    void rightClick(UI_ScatterplotWidget* plot, std::function<void(QMenu*)> inMenu) {
        QTimer::singleShot(0, [inMenu] { inMenu(qobject_cast<QMenu*>(QApplication::activePopupWidget())); });
        QTest::mouseClick(plot, Qt::RightButton, {}, plot->rect().center());
        QTest::qWait(10);
    }
    // Selects the upper left nine sixteenths of `plot` and zooms into them from
    // the context menu; the name prompt is answered with an empty text.
    void zoomIntoUpperLeft(UI_ScatterplotWidget* plot) {
        drag(plot, {2, 2}, {plot->width() * 3 / 4, plot->height() * 3 / 4});
        UI_ModalDialogs::answerText("");
        quietly([&] {
            rightClick(plot, [](QMenu* menu) {
                QAction* zoom = menu ? childWithText<QAction>(menu, "Zoom into Selection.") : nullptr;
                if (!zoom) {
                    if (menu) menu->close();
                    return;
                }
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(zoom).center());
            });
        });
    }

    QtMessageHandler previousHandler = nullptr;
};

TEST_F(HsneRoad, FromCtrlFThroughTwoZoomsToTheDataLevel) {
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
    EXPECT_EQ(overview->name(), "H - Overview Level");
    EXPECT_EQ(view->windowTitle(), "H - Overview Level");
    EXPECT_EQ(w().settingsDock()->tabWidget()->tabText(0), "H");
    EXPECT_GE(MCV_CytometryData::Instance()->combinedHeader()->variableIdx("QLMRN_HsneDataY"), 0);

    // ---- The panel's defaults; the scales suggested for 10,000 events ----
    const struct {
        const char* label;
        double value;
    } defaults[] = {{"RNG Seed", -1},
                    {"#Checks in AKNN", 1024},
                    {"#RW for influence", 100},
                    {"#RW for Monte Carlo", 15},
                    {"Random walks threshold", 1.5},
                    {"Random walks length", 15},
                    {"Pruning threshold", 0},
                    {"Filter Percentile", 0.5},
                    {"Number of Scales", 2}};
    for (const auto& d : defaults) {
        auto* spin = widgetBeside<QAbstractSpinBox>(panel, d.label);
        ASSERT_NE(spin, nullptr) << d.label;
        EXPECT_DOUBLE_EQ(spin->text().toDouble(), d.value) << d.label;
    }
    const std::pair<const char*, bool> boxes[] = {{"Memory preserving computation", true},
                                                  {"Fixed Percentile Landmark Selection", false},
                                                  {"Cache HSNE Hierarchy", true},
                                                  {"GPU Acceleration", false}};
    for (const auto& b : boxes) EXPECT_EQ(widgetBeside<QCheckBox>(panel, b.first)->isChecked(), b.second) << b.first;
    EXPECT_TRUE(panel->advancedSection()->isCollapsed());
    QCheckBox* fixed = widgetBeside<QCheckBox>(panel, "Fixed Percentile Landmark Selection");
    fixed->setChecked(true);
    EXPECT_EQ(panel->numScalesBox()->value(), 4) << "10000, 5000, 2500, 1250";
    fixed->setChecked(false);
    EXPECT_EQ(panel->numScalesBox()->value(), 2);
    // Three scales set by hand; fewer walks for a quick build.
    panel->numScalesBox()->setValue(3);
    widgetBeside<QSpinBox>(panel, "#RW for influence")->setValue(30);

    // ---- Compute; a second Compute while the overview iterates ----
    UI_ScatterplotWidget* plot = view->plot();
    overview->setIterations(80);
    int updates = 0;
    QImage early;
    auto watch = QObject::connect(w().bridge(), &UI_Interface::analysisUpdatedSignal, &w(), [&](void* a) {
        if (a != overview) return;
        if (++updates == 1) early = plot->grabFramebuffer();
        if (updates == 10) QTest::mousePress(panel->computeHsneButton(), Qt::LeftButton);  // the run is on the stack
    });
    quietly([&] {
        QTest::mousePress(panel->computeHsneButton(), Qt::LeftButton);
        QTest::mouseRelease(panel->computeHsneButton(), Qt::LeftButton);
    });
    QObject::disconnect(watch);
    EXPECT_EQ(updates, 10 + 80) << "the first loop ends after its current iteration, the second runs in full";
    EXPECT_EQ(hierarchy->numScales(), 3) << "the number set by hand";
    const int landmarks = overview->numDataPoints();
    ASSERT_GT(landmarks, 20);
    const QImage finished = plot->grabFramebuffer();
    EXPECT_NE(finished, early) << "the landmarks moved";
    QTest::qWait(50);
    EXPECT_EQ(plot->grabFramebuffer(), finished) << "and stopped";

    // ---- No zoom without a selection; a rectangle selects the events of its landmarks ----
    QStringList entries = {"<no menu>"};
    rightClick(plot, [&entries](QMenu* menu) {
        if (!menu) return;
        entries.clear();
        for (QAction* a : menu->actions()) entries << a->text();
        menu->close();
    });
    EXPECT_FALSE(entries.contains("Zoom into Selection.")) << entries.join('|').toStdString();

    // ---- Zoom twice: " - Level 2" at scale 1, then " - Data Level" ----
    QObject::connect(w().bridge(), &UI_Interface::analysisInitializedSignal, &w(), [&](void* a) {
        if (a != overview && a != hierarchy) static_cast<MCV_HsneAnalysis*>(a)->setIterations(50);
    });
    zoomIntoUpperLeft(plot);
    const size_t selectedLandmarks = plot->selectionIdxs()->size();
    EXPECT_GT(MCV_CytometryData::Instance()->selectionPoints()->data().size(), 2 * selectedLandmarks)
        << "the events of " << selectedLandmarks << " landmarks";
    ASSERT_EQ(w().analyses().size(), 3u);
    auto* level2 = dynamic_cast<MCV_HsneAnalysis*>(w().analyses()[2]);
    ASSERT_TRUE(level2 && viewOf(level2));
    EXPECT_EQ(level2->name(), "H - Level 2");
    EXPECT_EQ(level2->scale(), 1);

    zoomIntoUpperLeft(viewOf(level2)->plot());
    ASSERT_EQ(w().analyses().size(), 4u);
    auto* dataLevel = dynamic_cast<MCV_HsneAnalysis*>(w().analyses()[3]);
    ASSERT_TRUE(dataLevel && viewOf(dataLevel));
    EXPECT_EQ(dataLevel->name(), "H - Data Level");
    EXPECT_EQ(dataLevel->scale(), 0);
    EXPECT_EQ(debugLines().filter("finished gradient descend.").size(), 2 + 2) << "two overview runs, two levels";

    // ---- The data level hides the points of a hidden sample, as t-SNE does; a coarser level keeps its landmarks ----
    for (UI_HsneWidget* v : {viewOf(dataLevel), view}) {
        UI_ScatterplotWidget* p = v->plot();
        EXPECT_GT(drawnPixels(p), 100) << v->windowTitle().toStdString();
        p->samplePanel()->checkBox(0)->click();
        EXPECT_EQ(drawnPixels(p) == 0, v != view) << v->windowTitle().toStdString();
    }
}

}  // namespace
