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

    // The analysis' values (its default percentile is on: 32 events give 1 scale); no cache box.
    EXPECT_EQ(std::make_tuple(widgetBeside<QAbstractSpinBox>(&panel, "#Checks in AKNN")->text(),
                              widgetBeside<QAbstractSpinBox>(&panel, "Exaggeration Factor for Refine")->text(),
                              panel.numScalesBox()->value(),
                              widgetBeside<QCheckBox>(&panel, "GPU Acceleration")->isChecked()),
              std::make_tuple(QString("256"), QString("0.75"), 1, true));
    EXPECT_EQ(childWithText<QLabel>(&panel, "Cache HSNE Hierarchy"), nullptr);
    QStringList modes;
    for (int i = 0; i < panel.modeCombo()->count(); ++i) modes << panel.modeCombo()->itemText(i);
    EXPECT_EQ(modes.join(';'), "Simple Combine;Prune Deepest Level;Prune Deepest + Combine;Augment Combined");

    panel.inputCombo()->setCurrentText("Big");
    EXPECT_EQ(std::make_tuple(analysis.dataSelection(), analysis.numScales()), std::make_tuple(big, 4))
        << "100000, 25000, 6250, 1562";
    panel.modeCombo()->setCurrentIndex(3);
    EXPECT_EQ(analysis.transitionMatrixMode(), 3);
    widgetBeside<QDoubleSpinBox>(&panel, "Filter Percentile")->stepUp();
    EXPECT_EQ(std::make_tuple(analysis.hardThresh(), analysis.numScales()), std::make_tuple(0.99f, 50));
    widgetBeside<QCheckBox>(&panel, "Filter Percentile for Landmark Selection")->setChecked(false);
    panel.inputCombo()->setCurrentText("All Points");
    EXPECT_EQ(std::make_tuple(analysis.dataSelection(), analysis.numScales()), std::make_tuple(all, 50));

    widgetBeside<QCheckBox>(&panel, "GPU Acceleration")->setChecked(false);
    panel.libraryCombo()->setCurrentText("HNSW");
    EXPECT_EQ(std::make_tuple(analysis.useGPU(), analysis.knnLibrary()), std::make_tuple(true, 1)) << "not yet";
    // 32 events are too few to build on: refused with a line.
    quietly([&] { QTest::mouseClick(panel.computeHsneButton(), Qt::LeftButton); });
    EXPECT_EQ(std::make_tuple(analysis.useGPU(), analysis.knnLibrary(), analysis.isRunning()),
              std::make_tuple(false, 0, false));
}

}  // namespace
