// The HSNE level view with the real bridge, hierarchy and plot.
#include "data/FcsTestFile.h"
#include "support/CapturedOutput.h"

#include "analysis/applicationSurfaceFormat.h"
#include "analysis/hsne/MCV_HsneAnalysis.h"
#include "analysis/hsne/MCV_HsneAnalysisHierarchy.h"
#include "app/UI_Interface.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataPoints.h"
#include "ui/hsne/UI_HsneWidget.h"
#include "ui/plot/UI_ScatterplotWidget.h"

#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <numeric>
#include <random>
#include <tuple>

namespace {

// A plot selection made on a larger overview (kept when the level was built
// again on fewer points) names positions beyond the level: both directions
// leave them out instead of failing.
TEST(HsneView, PositionsBeyondTheLevelAreLeftOutOfTheSelectionAndTheZoom) {
    setApplicationSurfaceFormat();
    QTemporaryDir dir;
    UI_Interface bridge;
    delete MCV_CytometryData::Instance();
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    data->init(&bridge);
    std::mt19937 random(5);
    std::normal_distribution<float> noise(0.0f, 1.0f);
    std::vector<std::vector<float>> rows;
    for (int i = 0; i < 1200; ++i) rows.push_back({15.0f * (i % 3) + noise(random), noise(random), noise(random)});
    ASSERT_EQ(data->loadFromFile(FcsTestFile::floats(rows).write(dir, "blobs.fcs")), 0);
    data->initAllDerviedDataPointer();
    data->addDimensions({"QLMRN_HsneDataX", "QLMRN_HsneDataY"}, 0.0f);
    MCV_DerivedDataPoints* few = data->derivedDataPoints("Few", true);
    for (int e = 0; e < 300; ++e) few->data().push_back({0, e});

    MCV_HsneAnalysisHierarchy hierarchy;
    MCV_HsneAnalysis* overview = hierarchy.init(&bridge, "H");
    hierarchy.setCachingEnabled(false);
    hierarchy.setSeed(1);
    overview->setIterations(10);
    UI_HsneWidget view(nullptr, overview, &hierarchy);
    auto fed =
        QObject::connect(&bridge, &UI_Interface::analysisInitializedSignal, &view, &UI_HsneWidget::initComputation);
    view.resize(300, 300);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    view.plot()->grabFramebuffer();

    hierarchy.setActiveDataSelection(data->derivedDataPoints("All Points", true));
    hierarchy.setNumScales(2);
    quietly([&] { hierarchy.initHSNE(); });
    const int before = overview->numDataPoints();
    QTest::keyClick(view.plot(), Qt::Key_A, Qt::ControlModifier);
    ASSERT_EQ(int(view.plot()->selectionIdxs()->size()), before);

    QObject::disconnect(fed);  // the plot keeps its points and its selection
    hierarchy.setActiveDataSelection(few);
    hierarchy.setNumScales(2);
    quietly([&] { hierarchy.initHSNE(); });
    const int after = overview->numDataPoints();
    ASSERT_LT(after, before);

    view.scatterplotSelectionUpdated();
    EXPECT_EQ(data->selectionPoints()->data().size(), 300u) << "every event of the landmarks on the level";
    std::vector<std::tuple<int, MCV_HsneAnalysisHierarchy*, std::vector<unsigned>>> zooms;
    QObject::connect(
        &view, &UI_HsneWidget::newHsneLevelTriggered,
        [&](int scale, MCV_HsneAnalysisHierarchy* h, std::vector<unsigned>* s) { zooms.emplace_back(scale, h, *s); });
    view.drillIntoSelection();
    std::vector<unsigned> all(static_cast<size_t>(after));
    std::iota(all.begin(), all.end(), 0u);
    ASSERT_EQ(zooms.size(), 1u);
    EXPECT_EQ(zooms[0], std::make_tuple(1, &hierarchy, all)) << "the overview's landmarks are its positions";
    delete MCV_CytometryData::Instance();
}

}  // namespace
