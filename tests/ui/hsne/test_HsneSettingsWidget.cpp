// The HSNE settings panel; its defaults and suggestion on real data are on
// the shell's HSNE road.
#include "support/CapturedOutput.h"
#include "support/DataFixture.h"
#include "support/WidgetFinders.h"

#include "analysis/hsne/MCV_HsneAnalysis.h"
#include "analysis/hsne/MCV_HsneAnalysisHierarchy.h"
#include "ui/hsne/UI_HsneSettingsWidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <functional>

namespace {

using HsneSettingsTest = viewtest::DataFixture;

TEST(HsneScaleSuggestion, OneScalePlusOneForEachReductionThatLeavesAtLeast2000Points) {
    const struct {
        int points;
        float factor;
        int scales;
    } cases[] = {{0, 0.125f, 1},     {1999, 0.5f, 1},     {2000, 0.125f, 2}, {15999, 0.125f, 2},
                 {16000, 0.125f, 3}, {100000, 0.125f, 3}, {100000, 0.5f, 7}, {1000000, 0.0f, 2}};
    for (const auto& c : cases)
        EXPECT_EQ(UI_HsneSettingsWidget::suggestedNumScales(c.points, c.factor), c.scales)
            << c.points << " x " << c.factor;
}

TEST_F(HsneSettingsTest, WalkSettingsReachTheHierarchyAtOnceTheRestAtComputeAndNothingWithoutMarkers) {
    MCV_HsneAnalysisHierarchy hierarchy;
    hierarchy.init(nullptr, "H")->setIterations(10);
    hierarchy.setSeed(3);
    UI_HsneSettingsWidget panel(nullptr, &hierarchy);
    EXPECT_EQ(widgetBeside<QSpinBox>(&panel, "RNG Seed")->value(), 3) << "read from the hierarchy";
    widgetBeside<QSpinBox>(&panel, "#RW for influence")->setValue(50);
    EXPECT_EQ(hierarchy.numWalksPerLandmark(), 50);

    panel.numScalesBox()->setValue(2);
    widgetBeside<QCheckBox>(&panel, "Cache HSNE Hierarchy")->setChecked(false);
    panel.libraryCombo()->setCurrentText("HNSW");
    const std::vector<unsigned> markers = *hierarchy.selectedMarkers();
    for (unsigned m : markers) hierarchy.setMarkerState(int(m), false);
    // Presses Compute; returns the settings that wait for it.
    auto compute = [&] {
        quietly([&] { QTest::mouseClick(panel.computeHsneButton(), Qt::LeftButton); });
        return std::make_tuple(hierarchy.dataSelection(), hierarchy.numScales(), hierarchy.cachingEnabled(),
                               hierarchy.knnLibrary());
    };
    EXPECT_EQ(compute(), std::make_tuple(nullptr, 4, true, 1)) << "no markers: nothing taken";
    EXPECT_EQ(UI_ModalDialogs::takeMessages().size(), 1u) << "no markers: a warning";
    for (unsigned m : markers) hierarchy.setMarkerState(int(m), true);
    EXPECT_EQ(compute(), std::make_tuple(all, 2, false, 0));

    // A name the data model does not know gives no suggestion and registers
    // no empty set.
    const size_t sets = MCV_CytometryData::Instance()->derivedDataPoints().size();
    panel.inputCombo()->addItem("Gone");
    panel.inputCombo()->setCurrentText("Gone");
    EXPECT_EQ(MCV_CytometryData::Instance()->derivedDataPoints().size(), sets);
    EXPECT_EQ(panel.numScalesBox()->value(), 2);
}

// The shell calls newDataAdded after every registration; only a point set
// registered since the panel last looked moves its input (and the scales
// suggested from it).
TEST_F(HsneSettingsTest, OnlyANewPointSetBecomesTheInput) {
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    MCV_HsneAnalysisHierarchy hierarchy;
    hierarchy.init(nullptr, "H");
    data->derivedDataPoints("Known", true)->data().assign(100000, {0, 0});
    UI_HsneSettingsWidget panel(nullptr, &hierarchy);
    ASSERT_EQ(panel.inputCombo()->currentText().toStdString(), "All Points");
    panel.numScalesBox()->setValue(5);
    // {what is registered, the input afterwards, the scales shown}
    const struct {
        std::function<void()> add;
        const char* input;
        int scales;
    } cases[] = {
        {[] {}, "All Points", 5},
        {[data] { data->derivedDataClusters("Clusters", true); }, "All Points", 5},
        {[data] { data->derivedDataImage("Image", true); }, "All Points", 5},
        {[data] {
             data->derivedDataPoints("Gated", true)->data().assign(100000, {0, 0});
         },
         "Gated", 3},
        {[] {}, "Gated", 3},
    };
    for (const auto& c : cases) {
        c.add();
        panel.newDataAdded();
        EXPECT_EQ(panel.inputCombo()->currentText().toStdString(), c.input);
        EXPECT_EQ(panel.chosenInput(), data->derivedDataPoints(c.input, true));
        EXPECT_EQ(panel.numScalesBox()->value(), c.scales) << c.input;
        EXPECT_EQ(panel.inputCombo()->count(), int(data->derivedDataPoints().size()));
    }
}

}  // namespace
