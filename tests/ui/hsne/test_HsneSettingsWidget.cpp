// The HSNE settings panel.
#include "support/CapturedOutput.h"
#include "support/DataFixture.h"
#include "support/WidgetFinders.h"

#include "analysis/hsne/MCV_HsneAnalysisHierarchy.h"
#include "ui/hsne/UI_HsneSettingsWidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <memory>

namespace {

class HsneSettingsTest : public viewtest::DataFixture {
protected:
    void SetUp() override {
        DataFixture::SetUp();
        hierarchy = std::make_unique<MCV_HsneAnalysisHierarchy>();
        hierarchy->init(nullptr, "H");
        hierarchy->setIterations(0);
        hierarchy->setSeed(3);
        panel = std::make_unique<UI_HsneSettingsWidget>(nullptr, hierarchy.get());
    }
    void TearDown() override {
        panel.reset();
        hierarchy.reset();
        DataFixture::TearDown();
    }
    void pressCompute() {
        quietly([&] { QTest::mousePress(panel->computeHsneButton(), Qt::LeftButton); });
        QTest::mouseRelease(panel->computeHsneButton(), Qt::LeftButton);
    }
    std::unique_ptr<MCV_HsneAnalysisHierarchy> hierarchy;
    std::unique_ptr<UI_HsneSettingsWidget> panel;
};

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
    EXPECT_EQ(widgetBeside<QSpinBox>(panel.get(), "RNG Seed")->value(), 3) << "read from the hierarchy";
    widgetBeside<QSpinBox>(panel.get(), "#RW for influence")->setValue(50);
    widgetBeside<QDoubleSpinBox>(panel.get(), "Random walks threshold")->setValue(0.7);
    widgetBeside<QCheckBox>(panel.get(), "Memory preserving computation")->setChecked(false);
    EXPECT_EQ(hierarchy->numWalksPerLandmark(), 50);
    EXPECT_FLOAT_EQ(hierarchy->mcmcsLandmarkThresh(), 0.7f);
    EXPECT_FALSE(hierarchy->memoryPreserving());

    // 32 points: one scale whatever the percentile; a change of the landmark
    // selection replaces a number set by hand.
    QSpinBox* scales = panel->numScalesBox();
    EXPECT_EQ(scales->value(), 1);
    scales->setValue(5);
    widgetBeside<QCheckBox>(panel.get(), "Fixed Percentile Landmark Selection")->setChecked(true);
    EXPECT_TRUE(hierarchy->useHardThresh());
    EXPECT_EQ(scales->value(), 1);

    scales->setValue(2);
    widgetBeside<QCheckBox>(panel.get(), "Cache HSNE Hierarchy")->setChecked(false);
    widgetBeside<QCheckBox>(panel.get(), "GPU Acceleration")->setChecked(true);
    panel->libraryCombo()->setCurrentText("HNSW");
    const std::vector<unsigned> markers = *hierarchy->selectedMarkers();
    for (unsigned m : markers) hierarchy->setMarkerState(int(m), false);
    pressCompute();
    EXPECT_EQ(UI_ModalDialogs::takeMessages().size(), 1u) << "no markers: a warning";
    EXPECT_EQ(hierarchy->dataSelection(), nullptr);
    EXPECT_EQ(std::make_tuple(hierarchy->numScales(), hierarchy->cachingEnabled(), hierarchy->useGPU(),
                              hierarchy->knnLibrary()),
              std::make_tuple(4, true, false, 1))
        << "these wait for Compute";

    for (unsigned m : markers) hierarchy->setMarkerState(int(m), true);
    widgetBeside<QCheckBox>(panel.get(), "GPU Acceleration")->setChecked(false);  // keeps the run on the CPU
    pressCompute();
    EXPECT_EQ(hierarchy->dataSelection(), all);
    EXPECT_EQ(std::make_tuple(hierarchy->numScales(), hierarchy->cachingEnabled(), hierarchy->knnLibrary()),
              std::make_tuple(2, false, 0));
    EXPECT_EQ(UI_HsneSettingsWidget(nullptr, nullptr).inputCombo(), nullptr) << "no hierarchy: no controls";
}

TEST_F(HsneSettingsTest, AnInputNameTheDataModelDoesNotKnowRegistersNothing) {
    const size_t sets = MCV_CytometryData::Instance()->derivedDataPoints().size();
    panel->numScalesBox()->setValue(5);
    panel->inputCombo()->addItem("Gone");
    panel->inputCombo()->setCurrentText("Gone");
    EXPECT_EQ(MCV_CytometryData::Instance()->derivedDataPoints().size(), sets);
    EXPECT_EQ(panel->chosenInput(), nullptr);
    EXPECT_EQ(panel->numScalesBox()->value(), 5) << "no suggestion without a set";
}

}  // namespace
