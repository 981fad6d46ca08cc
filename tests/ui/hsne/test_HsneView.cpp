// The HSNE level view over a real hierarchy and plot.
#include "analysis/hsne/HsneAnalysisTest.h"

#include "analysis/applicationSurfaceFormat.h"
#include "data/MCV_DerivedDataPoints.h"
#include "ui/hsne/UI_HsneWidget.h"
#include "ui/plot/UI_ScatterplotWidget.h"

#include <QTest>

#include <numeric>
#include <tuple>

namespace {

using HsneView = HsneAnalysisTest;

// A plot selection made on a larger overview (kept when the level was built
// again on fewer points) names positions beyond the level: both directions
// leave them out instead of failing.
TEST_F(HsneView, PositionsBeyondTheLevelAreLeftOutOfTheSelectionAndTheZoom) {
    setApplicationSurfaceFormat();
    loadHsneBlobs(3, 400, 3, 1);
    MCV_DerivedDataPoints* few = data->derivedDataPoints("Few", true);
    for (int e = 0; e < 300; ++e) few->data().push_back({0, e});
    makeHsne(2, 10);
    UI_HsneWidget view(nullptr, overview(), hsne.get());
    ui.onInitialized = [&](void* a) { view.initComputation(a); };
    view.resize(300, 300);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    view.plot()->grabFramebuffer();

    quietly([&] { hsne->initHSNE(); });
    const int before = overview()->numDataPoints();
    QTest::keyClick(view.plot(), Qt::Key_A, Qt::ControlModifier);
    ASSERT_EQ(int(view.plot()->selectionIdxs()->size()), before);

    ui.onInitialized = nullptr;  // the plot keeps its points and its selection
    hsne->setActiveDataSelection(few);
    hsne->setNumScales(2);
    quietly([&] { hsne->initHSNE(); });
    const int after = overview()->numDataPoints();
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
    EXPECT_EQ(zooms, (decltype(zooms){{1, hsne.get(), all}})) << "the overview's landmarks are its positions";
}

}  // namespace
