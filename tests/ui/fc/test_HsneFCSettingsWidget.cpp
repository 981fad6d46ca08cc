// The focus-and-context settings panel over the real analysis.
#include "support/CapturedOutput.h"
#include "support/DataFixture.h"
#include "support/WidgetFinders.h"

#include "analysis/fc/MCV_HsneFCAnalysis.h"
#include "ui/fc/UI_HsneFCSettingsWidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

namespace {

using HsneFCSettingsTest = viewtest::DataFixture;

TEST_F(HsneFCSettingsTest, ShowsTheAnalysisAndSendsEachValueAtOnceButGpuAndKnnAtCompute) {
    MCV_DerivedDataPoints* big = MCV_CytometryData::Instance()->derivedDataPoints("Big", true);
    big->data().assign(100000, {0, 0});
    MCV_HsneFCAnalysis analysis;
    analysis.init(nullptr, "F");
    UI_HsneFCSettingsWidget panel(nullptr, &analysis);

    QStringList shown;
    for (const char* label :
         {"RNG Seed", "Memory preserving computation", "#Checks in AKNN", "#RW for influence", "#RW for Monte Carlo",
          "Random walks threshold", "Random walks length", "Pruning threshold",
          "Filter Percentile for Landmark Selection", "Filter Percentile", "Exaggeration Factor for Refine",
          "Number of Scales", "Momentum for Refine", "Rescale Embedding for Refine", "GPU Acceleration"}) {
        auto* box = widgetBeside<QCheckBox>(&panel, label);
        shown << (box ? QString(box->isChecked() ? "on" : "off")
                      : widgetBeside<QAbstractSpinBox>(&panel, label)->text());
    }
    EXPECT_EQ(shown.join(' '), "-1 on 256 100 15 1.50 15 0 on 0.25 0.75 1 0.75 0.50 on") << "32 events: 1 scale";
    EXPECT_EQ(childWithText<QLabel>(&panel, "Cache HSNE Hierarchy"), nullptr);
    QStringList modes;
    for (int i = 0; i < panel.modeCombo()->count(); ++i) modes << panel.modeCombo()->itemText(i);
    EXPECT_EQ(modes.join(';'), "Simple Combine;Prune Deepest Level;Prune Deepest + Combine;Augment Combined");

    panel.inputCombo()->setCurrentText("Big");
    EXPECT_EQ(std::make_tuple(analysis.dataSelection(), analysis.numScales()), std::make_tuple(big, 4))
        << "100000, 25000, 6250, 1562";
    panel.modeCombo()->setCurrentIndex(3);
    EXPECT_EQ(analysis.transitionMatrixMode(), 3);
    auto* percentile = widgetBeside<QDoubleSpinBox>(&panel, "Filter Percentile");
    percentile->stepUp();
    EXPECT_EQ(std::make_tuple(analysis.hardThresh(), analysis.numScales()), std::make_tuple(0.99f, 50));
    percentile->stepDown();
    EXPECT_EQ(std::make_tuple(analysis.hardThresh(), analysis.numScales()), std::make_tuple(0.0f, 2));
    widgetBeside<QCheckBox>(&panel, "Filter Percentile for Landmark Selection")->setChecked(false);
    panel.inputCombo()->setCurrentText("All Points");
    EXPECT_EQ(std::make_tuple(analysis.dataSelection(), analysis.numScales()), std::make_tuple(all, 2));

    widgetBeside<QCheckBox>(&panel, "GPU Acceleration")->setChecked(false);
    panel.libraryCombo()->setCurrentText("HNSW");
    const std::vector<unsigned> markers = *analysis.selectedMarkers();
    for (unsigned m : markers) analysis.setMarkerState(int(m), false);
    auto pressCompute = [&] { quietly([&] { QTest::mouseClick(panel.computeHsneButton(), Qt::LeftButton); }); };
    pressCompute();
    EXPECT_EQ(UI_ModalDialogs::takeMessages().size(), 1u) << "no markers: a warning";
    EXPECT_EQ(std::make_tuple(analysis.useGPU(), analysis.knnLibrary()), std::make_tuple(true, 1));
    for (unsigned m : markers) analysis.setMarkerState(int(m), true);
    pressCompute();  // 32 events are too few to build on: refused with a line
    EXPECT_EQ(std::make_tuple(analysis.useGPU(), analysis.knnLibrary(), analysis.isRunning()),
              std::make_tuple(false, 0, false));
}

}  // namespace
