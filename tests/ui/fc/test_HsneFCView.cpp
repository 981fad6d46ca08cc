// The focus-and-context view with the real bridge, analysis and plot (the
// analysis's own tests choose its operations during a run).
#include "data/FcsTestFile.h"
#include "support/CapturedOutput.h"
#include "support/Pixels.h"
#include "ui/plot/ScatterplotTest.h"

#include "analysis/fc/MCV_FCTree.h"
#include "analysis/fc/MCV_HsneFCAnalysis.h"
#include "analysis/hsne/MCV_DerivedDataHierarchy.h"
#include "app/UI_Interface.h"
#include "data/MCV_FcsHeader.h"
#include "ui/fc/UI_HsneFCWidget.h"

#include <QMenu>
#include <QTimer>

#include <map>
#include <set>
#include <tuple>

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

// A fresh data set of `events` events in three blobs, with the map's output
// columns; false when the file does not load.
bool loadThreeBlobs(const QTemporaryDir& dir, UI_Interface& bridge, int events) {
    delete MCV_CytometryData::Instance();
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    data->init(&bridge);
    std::vector<std::vector<float>> rows;
    for (int i = 0; i < events; ++i)
        rows.push_back({15.0f * (i % 3) + 0.1f * (i % 17), 0.1f * (i % 13), 0.1f * (i % 11)});
    if (data->loadFromFile(FcsTestFile::floats(rows).write(dir, "blobs.fcs")) != 0) return false;
    data->initAllDerviedDataPointer();
    data->addDimensions({"QLMRN_HsneDataX", "QLMRN_HsneDataY"}, 0.0f);
    return true;
}

// A focus-and-context map of all points, seeded, uncached, on the CPU.
void setUpMap(MCV_HsneFCAnalysis& analysis, UI_Interface& bridge, int scales, int iterations) {
    analysis.init(&bridge, "FC");
    analysis.setActiveDataSelection(MCV_CytometryData::Instance()->derivedDataPoints("All Points", true));
    analysis.setNumScales(scales), analysis.setCachingEnabled(false), analysis.setUseGPU(false);
    analysis.setSeed(1), analysis.setIterations(iterations);
}

TEST(HsneFCView, EachContextMenuEntryRunsItsOperationAndRedrawsThePlot) {
    viewtest::useProgramFormat();
    QTemporaryDir dir;
    UI_Interface bridge;
    ASSERT_TRUE(loadThreeBlobs(dir, bridge, 4500));
    // The data model goes after the view and the analysis, which leaves its
    // tree there and lets go of it when it goes.
    struct DataModelLast {
        ~DataModelLast() { delete MCV_CytometryData::Instance(); }
    } dataModelLast;
    MCV_HsneFCAnalysis analysis;
    setUpMap(analysis, bridge, 3, 30);
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

// For each event on the map, the point whose position it holds: of the points
// whose landmark lists it, the one of the lowest scale, the first among equals.
std::map<std::pair<int, int>, size_t> eventsOnTheMap(MCV_HsneFCAnalysis& analysis) {
    std::map<std::pair<int, int>, size_t> owner;
    std::map<std::pair<int, int>, int> scaleOf;
    const auto& nodes = *analysis.pointNodes();
    for (size_t i = 0; i < nodes.size(); ++i) {
        const int scale = nodes[i].first->scale;
        if (const auto* refs = analysis.hierarchy()->pointBasedHierarchyForLandmark(
                {scale, nodes[i].first->landmarkIdxs.at(static_cast<size_t>(nodes[i].second))}))
            for (const auto& r : *refs) {
                const auto [it, added] = scaleOf.emplace(r, scale);
                if (added || scale < it->second) it->second = scale, owner[r] = i;
            }
    }
    return owner;
}

// Events of `before` no longer on the map, events on it whose columns do not
// hold their point's position or hold (0, 0), and events off it whose columns
// are not (0, 0); `before` becomes the events on the map now.
std::tuple<size_t, size_t, size_t, size_t> mapFaults(MCV_HsneFCAnalysis& analysis,
                                                     std::set<std::pair<int, int>>& before) {
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    const auto owner = eventsOnTheMap(analysis);
    const std::vector<float>& y = *analysis.output();
    const int x = data->combinedHeader()->variableIdx("QLMRN_HsneDataX");
    const size_t width = static_cast<size_t>(data->combinedHeader()->numVariables());
    size_t left = 0, wrong = 0, zero = 0, stale = 0;
    for (const auto& event : before) left += owner.count(event) == 0;
    before.clear();
    for (int f = 0; f < data->numFiles(); ++f)
        for (int e = 0; e < data->header(f)->numEvents(); ++e) {
            const float* row = data->rawData(f) + static_cast<size_t>(e) * width + static_cast<size_t>(x);
            const auto it = owner.find({f, e});
            if (it == owner.end()) {
                stale += row[0] != 0.f || row[1] != 0.f;
                continue;
            }
            before.insert({f, e});
            wrong += 2 * it->second + 1 >= y.size() || row[0] != y[2 * it->second] || row[1] != y[2 * it->second + 1];
            zero += row[0] == 0.f && row[1] == 0.f;
        }
    return {left, wrong, zero, stale};
}

// The roads through the menu that took most of the data off the map: a box
// made the focus, refined and coarsened on 4 scales; Ctrl+A on the data level
// made the focus and coarsened on 2 scales. After every entry the map holds
// every event it held and the columns hold the map.
TEST(HsneFCView, TheMenusOperationsKeepEveryEventOnTheMapAndInTheColumns) {
    viewtest::useProgramFormat();
    const struct {
        int scales;
        std::vector<QString> steps;
        std::vector<std::pair<int, int>> leaves;  // kind and scale of each leaf at the end
    } roads[] = {
        {4,
         {"box", "Set focus and differentiate.", "Differentiate focus more.", "Coarsen All."},
         {{hierarchyNodeFocus, 2}, {hierarchyNodeContext, 3}}},
        {2, {"Refine all.", "Ctrl+A", "Set focus and differentiate.", "Differentiate focus less."}, {{0, 1}}},
    };
    for (const auto& road : roads) {
        SCOPED_TRACE(testing::Message() << road.scales << " scales");
        QTemporaryDir dir;
        UI_Interface bridge;
        ASSERT_TRUE(loadThreeBlobs(dir, bridge, 3000));
        MCV_HsneFCAnalysis analysis;
        setUpMap(analysis, bridge, road.scales, 20);
        UI_HsneFCWidget view(nullptr, &analysis);
        QObject::connect(&bridge, &UI_Interface::analysisInitializedSignal, [&](void* a) { view.initComputation(a); });
        QObject::connect(&bridge, &UI_Interface::analysisUpdatedSignal, [&](void* a) { view.computationUpdated(a); });
        QObject::connect(&bridge, &UI_Interface::analysisFinishedSignal, [&](void* a) { view.computationFinished(a); });
        view.resize(300, 300);
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
        UI_ScatterplotWidget* plot = view.plot();
        quietly([&] { analysis.initHSNE(); });
        std::set<std::pair<int, int>> before;
        ASSERT_EQ(mapFaults(analysis, before), std::make_tuple(size_t(0), size_t(0), size_t(0), size_t(0)));
        ASSERT_EQ(before.size(), 3000u);

        for (const QString& step : road.steps) {
            SCOPED_TRACE(step.toStdString());
            if (step == "box") {
                viewtest::sendDrag(plot, {2, 2}, {150, 298});
            } else if (step == "Ctrl+A") {
                QTest::keyClick(plot, Qt::Key_A, Qt::ControlModifier);
                EXPECT_EQ(plot->selectionIdxs()->size(), static_cast<size_t>(analysis.numDataPoints()));
            } else {
                contextMenu(plot, step);
            }
            EXPECT_EQ(mapFaults(analysis, before), std::make_tuple(size_t(0), size_t(0), size_t(0), size_t(0)))
                << "events off the map since the step before, on it at another position, on it at (0, 0), off it "
                   "not at (0, 0)";
            EXPECT_EQ(before.size(), 3000u);
        }
        std::vector<std::pair<int, int>> leaves;
        for (const auto& leaf : *analysis.fcTree()->leaves()) leaves.emplace_back(leaf->type, leaf->scale);
        EXPECT_EQ(leaves, road.leaves);
    }
    delete MCV_CytometryData::Instance();
}

}  // namespace
