// The focus-and-context view with the real bridge, analysis and plot: each
// context-menu entry runs its operation, and one chosen during a run is
// carried out after it, in one consistent run.
#include "data/FcsTestFile.h"
#include "support/CapturedOutput.h"
#include "support/Pixels.h"
#include "ui/plot/ScatterplotTest.h"

#include "analysis/fc/MCV_FCTree.h"
#include "analysis/fc/MCV_HsneFCAnalysis.h"
#include "app/UI_Interface.h"
#include "ui/fc/UI_HsneFCWidget.h"

#include <QMenu>
#include <QTimer>

namespace {

// Right-clicks the plot; `inMenu` runs on the context menu once it is open.
void rightClick(UI_ScatterplotWidget* plot, std::function<void(QMenu*)> inMenu) {
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            poll.stop();
            inMenu(menu);
        }
    });
    poll.start(10);
    QTest::mouseClick(plot, Qt::RightButton, {}, plot->rect().center());
}

// The view's own entries ("|" for a separator), before the plot's.
QStringList viewEntries(UI_ScatterplotWidget* plot) {
    QStringList texts;
    rightClick(plot, [&](QMenu* menu) {
        for (QAction* a : menu->actions()) texts << (a->isSeparator() ? "|" : a->text());
        menu->close();
    });
    return texts.mid(0, texts.indexOf("|", texts.indexOf("|") + 1) + 1);
}

void choose(UI_ScatterplotWidget* plot, const QString& entry) {
    quietly([&] {
        rightClick(plot, [entry](QMenu* menu) {
            // The view's actions are the view's children, listed by the menu.
            const QList<QAction*> actions = menu->actions();
            auto action = std::find_if(actions.begin(), actions.end(), [&](QAction* a) { return a->text() == entry; });
            if (action == actions.end()) return menu->close(), void(ADD_FAILURE() << entry.toStdString());
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(*action).center());
        });
    });
}

TEST(HsneFCView, EntriesRunTheirOperationsAndOneChosenMidRunFollowsTheRunningLoop) {
    viewtest::useProgramFormat();
    QTemporaryDir dir;
    UI_Interface bridge;
    delete MCV_CytometryData::Instance();
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    data->init(&bridge);
    std::mt19937 random(3);
    std::normal_distribution<float> noise(0.0f, 1.0f);
    std::vector<std::vector<float>> rows;
    for (int i = 0; i < 4500; ++i) rows.push_back({15.0f * (i % 3) + noise(random), noise(random), noise(random)});
    ASSERT_EQ(data->loadFromFile(FcsTestFile::floats(rows).write(dir, "blobs.fcs")), 0);
    data->initAllDerviedDataPointer();
    data->addDimensions({"QLMRN_HsneDataX", "QLMRN_HsneDataY"}, 0.0f);

    MCV_HsneFCAnalysis analysis;
    analysis.init(&bridge, "FC");
    analysis.setActiveDataSelection(data->derivedDataPoints("All Points", true));
    analysis.setNumScales(3);
    analysis.setCachingEnabled(false);
    analysis.setUseGPU(false);
    analysis.setSeed(1);
    analysis.setIterations(30);
    UI_HsneFCWidget view(nullptr, &analysis);
    QObject::connect(&bridge, &UI_Interface::analysisInitializedSignal, &view, &UI_HsneFCWidget::initComputation);
    QObject::connect(&bridge, &UI_Interface::analysisUpdatedSignal, &view, &UI_HsneFCWidget::computationUpdated);
    QObject::connect(&bridge, &UI_Interface::analysisFinishedSignal, &view, &UI_HsneFCWidget::computationFinished);
    int inits = 0, updates = 0, finished = 0;
    QObject::connect(&bridge, &UI_Interface::analysisInitializedSignal, [&] { ++inits, updates = 0; });
    QObject::connect(&bridge, &UI_Interface::analysisUpdatedSignal, [&] { ++updates; });
    QObject::connect(&bridge, &UI_Interface::analysisFinishedSignal, [&] { ++finished; });
    view.resize(300, 300);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    QApplication::setActiveWindow(&view);
    UI_ScatterplotWidget* plot = view.plot();
    plot->setDarkMode(true);
    quietly([&] { analysis.initHSNE(); });
    ASSERT_EQ(std::make_tuple(inits, finished), std::make_tuple(1, 1));
    const int top = analysis.numDataPoints();
    // Pixels of the dark background: most of a frame of one level, few once
    // the levels behind the points are shaded.
    const QRgb dark = plot->grabFramebuffer().pixel(1, 1);
    auto background = [plot, dark] {
        const QImage frame = plot->grabFramebuffer();
        return double(countNear(frame, dark, 3)) / (frame.width() * frame.height());
    };
    EXPECT_GT(background(), 0.5);

    EXPECT_EQ(viewEntries(plot).join(";"),
              "Differentiate focus more.;Differentiate focus less.;|;Refine all.;Coarsen All.;|");
    viewtest::sendDrag(plot, {2, 2}, {150, 298});
    ASSERT_FALSE(plot->selectionIdxs()->empty());
    EXPECT_EQ(viewEntries(plot).value(0), "Set focus and differentiate.");

    for (const char* entry : {"Set focus and differentiate.", "Differentiate focus more.", "Differentiate focus less.",
                              "Refine all.", "Coarsen All."}) {
        const QImage before = plot->grabFramebuffer();
        const int initsBefore = inits, finishedBefore = finished;
        choose(plot, entry);
        const bool focus = QString(entry) == "Set focus and differentiate.";
        EXPECT_EQ(std::make_tuple(inits, finished, updates),
                  std::make_tuple(initsBefore + (focus ? 2 : 1), finishedBefore + 1, 30))
            << entry << ": the new focus and the refinement report their set-up";
        EXPECT_NE(plot->grabFramebuffer(), before) << entry;
        if (focus) {
            EXPECT_GT(analysis.numDataPoints(), top) << "finer landmarks in the focus";
            EXPECT_NE(analysis.fcTree()->jsonObject().find("\"type\":2"), std::string::npos) << "a context half";
            EXPECT_LT(background(), 0.5) << "levels shaded behind";
        }
    }

    // "Refine all." chosen while "Coarsen All." runs: the running loop stops,
    // the refinement follows with a loop of its own, one final report.
    const int finishedBefore = finished;
    auto midRun = QObject::connect(&bridge, &UI_Interface::analysisUpdatedSignal, [&] {
        if (updates == 5 && inits == 8) view.refineAll();
    });
    quietly([&] { view.coarsenAll(); });
    QObject::disconnect(midRun);
    EXPECT_EQ(std::make_tuple(inits, updates, finished, analysis.isRunning()),
              std::make_tuple(9, 30, finishedBefore + 1, false));
    EXPECT_EQ(analysis.output()->size(), 2 * static_cast<size_t>(analysis.numDataPoints()));
    delete MCV_CytometryData::Instance();
}

}  // namespace
