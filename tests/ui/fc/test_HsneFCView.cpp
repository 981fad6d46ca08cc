// The focus-and-context view with the real bridge, analysis and plot (the
// analysis's own tests choose its operations during a run).
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

// Right-clicks the plot and, once the menu is open, picks `entry` or closes
// it; returns the view's entries ("|" a separator), before the plot's.
QStringList contextMenu(UI_ScatterplotWidget* plot, const QString& entry = {}) {
    QStringList texts;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        for (QAction* a : menu ? menu->actions() : QList<QAction*>()) {
            texts << (a->isSeparator() ? "|" : a->text());
            if (!entry.isEmpty() && a->text() == entry)
                return QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
        }
        if (menu) menu->close();
    });
    quietly([&] { QTest::mouseClick(plot, Qt::RightButton, {}, plot->rect().center()); });
    return texts.mid(0, texts.indexOf("|", texts.indexOf("|") + 1) + 1);
}

TEST(HsneFCView, EachContextMenuEntryRunsItsOperationAndRedrawsThePlot) {
    viewtest::useProgramFormat();
    QTemporaryDir dir;
    UI_Interface bridge;
    delete MCV_CytometryData::Instance();
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    data->init(&bridge);
    std::vector<std::vector<float>> rows;  // three blobs
    for (int i = 0; i < 4500; ++i)
        rows.push_back({15.0f * (i % 3) + 0.1f * (i % 17), 0.1f * (i % 13), 0.1f * (i % 11)});
    ASSERT_EQ(data->loadFromFile(FcsTestFile::floats(rows).write(dir, "blobs.fcs")), 0);
    data->initAllDerviedDataPointer();
    data->addDimensions({"QLMRN_HsneDataX", "QLMRN_HsneDataY"}, 0.0f);
    // The data model goes after the view and the analysis, which leaves its
    // tree there and lets go of it when it goes.
    struct DataModelLast {
        ~DataModelLast() { delete MCV_CytometryData::Instance(); }
    } dataModelLast;

    MCV_HsneFCAnalysis analysis;
    analysis.init(&bridge, "FC");
    analysis.setActiveDataSelection(data->derivedDataPoints("All Points", true));
    analysis.setNumScales(3), analysis.setCachingEnabled(false), analysis.setUseGPU(false);
    analysis.setSeed(1), analysis.setIterations(30);
    UI_HsneFCWidget view(nullptr, &analysis);
    int inits = 0, updates = 0, finished = 0;  // updates since the last set-up
    QObject::connect(&bridge, &UI_Interface::analysisInitializedSignal,
                     [&](void* a) { ++inits, updates = 0, view.initComputation(a); });
    QObject::connect(&bridge, &UI_Interface::analysisUpdatedSignal,
                     [&](void* a) { ++updates, view.computationUpdated(a); });
    QObject::connect(&bridge, &UI_Interface::analysisFinishedSignal,
                     [&](void* a) { ++finished, view.computationFinished(a); });
    view.resize(300, 300);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    UI_ScatterplotWidget* plot = view.plot();
    plot->setDarkMode(true);
    quietly([&] { analysis.initHSNE(); });
    // The share of dark background: most of a frame of one level, little once levels are shaded.
    const QRgb dark = plot->grabFramebuffer().pixel(1, 1);
    auto background = [&] { return countNear(plot->grabFramebuffer(), dark, 3) / 90000.0; };
    EXPECT_GT(background(), 0.5);

    EXPECT_EQ(contextMenu(plot).join(";"),
              "Differentiate focus more.;Differentiate focus less.;|;Refine all.;Coarsen All.;|");
    viewtest::sendDrag(plot, {2, 2}, {150, 298});
    ASSERT_FALSE(plot->selectionIdxs()->empty());
    for (const QString entry : {"Set focus and differentiate.", "Differentiate focus more.",
                                "Differentiate focus less.", "Refine all.", "Coarsen All."}) {
        const int setUps = entry.startsWith("Set") ? 2 : 1;  // a new focus reports its own set-up
        const QImage before = plot->grabFramebuffer();
        const auto counts = std::make_tuple(inits + setUps, finished + 1, 30);
        contextMenu(plot, entry);
        EXPECT_EQ(std::make_tuple(inits, finished, updates), counts) << entry.toStdString();
        EXPECT_NE(plot->grabFramebuffer(), before) << entry.toStdString();
        if (setUps == 2) {
            EXPECT_NE(analysis.fcTree()->jsonObject().find("\"type\":2"), std::string::npos) << "a context half";
            EXPECT_LT(background(), 0.5) << "levels shaded behind";
        }
    }
}

}  // namespace
