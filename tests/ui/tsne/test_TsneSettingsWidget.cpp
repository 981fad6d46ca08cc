// The A-tSNE settings panel.
#include "support/CapturedOutput.h"
#include "support/DataFixture.h"

#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "data/MCV_Settings.h"
#include "ui/datapanels/UI_MarkerSelectionWidget.h"
#include "ui/tsne/UI_TsneSettingsWidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <memory>

namespace {

class TsneSettingsTest : public viewtest::DataFixture {
protected:
    void SetUp() override {
        DataFixture::SetUp();
        tsne = std::make_unique<MCV_TsneAnalysis>();
        tsne->init(nullptr, "A-tSNE 1");
        tsne->setIterations(0);
        tsne->setSeed(1);
        panel = std::make_unique<UI_TsneSettingsWidget>(nullptr, tsne.get());
    }
    void TearDown() override {
        panel.reset();
        tsne.reset();
        MCV_Settings::Instance()->setDefaultMarkers({});
        DataFixture::TearDown();
    }
    void pressCompute() {
        quietly([&] { QTest::mousePress(panel->computeTsneButton(), Qt::LeftButton); });  // the press alone starts it
        QTest::mouseRelease(panel->computeTsneButton(), Qt::LeftButton);
    }
    std::unique_ptr<MCV_TsneAnalysis> tsne;
    std::unique_ptr<UI_TsneSettingsWidget> panel;
};

TEST_F(TsneSettingsTest, EachBackEndOffersItsMetricsWithTheirCodes) {
    const struct {
        const char* library;
        int libraryCode;
        std::vector<int> metricCodes;  // in list order, Euclidean first
    } cases[] = {{"HNSW", 0, {0, 2}}, {"Flann", -1, {0}}, {"Annoy", 1, {0, 1, 3, 5}}};
    EXPECT_EQ(panel->libraryCombo()->currentText(), "Annoy");
    for (const auto& c : cases) {
        panel->libraryCombo()->setCurrentText(c.library);
        EXPECT_EQ(panel->knnLibrary(), c.libraryCode) << c.library;
        ASSERT_EQ(panel->metricCombo()->count(), int(c.metricCodes.size())) << c.library;
        EXPECT_EQ(panel->knnMetric(), 0) << c.library << ": a new list starts at Euclidean";
        for (int m = 0; m < panel->metricCombo()->count(); ++m) {
            panel->metricCombo()->setCurrentIndex(m);
            EXPECT_EQ(panel->knnMetric(), c.metricCodes[size_t(m)]) << c.library << " " << m;
        }
    }
}

TEST_F(TsneSettingsTest, ParametersReachTheAnalysisAtOnceOrAtComputeAndNeverWithoutMarkers) {
    panel->normalizeBox()->setChecked(false);
    EXPECT_TRUE(tsne->skipNormalization());
    panel->perplexityBox()->setValue(0);
    EXPECT_EQ(tsne->perplexity(), 1) << "perplexity 0 is refused";
    panel->libraryCombo()->setCurrentText("HNSW");
    panel->metricCombo()->setCurrentIndex(1);
    const std::vector<unsigned> markers = *tsne->selectedMarkers();
    for (unsigned m : markers) tsne->setMarkerState(int(m), false);
    pressCompute();
    EXPECT_EQ(UI_ModalDialogs::takeMessages().size(), 1u) << "no markers: a warning";
    EXPECT_EQ(tsne->dataSelection(), nullptr);
    EXPECT_EQ(tsne->knnLibrary(), 1) << "the back end waits for Compute";
    for (unsigned m : markers) tsne->setMarkerState(int(m), true);
    pressCompute();
    EXPECT_EQ(tsne->dataSelection(), all);
    EXPECT_EQ(std::make_pair(tsne->knnLibrary(), tsne->knnMetric()), std::make_pair(0, 2));
    EXPECT_EQ(tsne->numDataPoints(), 32);
    EXPECT_EQ(UI_TsneSettingsWidget(nullptr, nullptr).inputCombo(), nullptr) << "no analysis: no controls";
}

TEST_F(TsneSettingsTest, OutputVariablesStartUncheckedUnlessAStoredDefaultChoosesThem) {
    MCV_CytometryData::Instance()->addDimensions({"QLMRN_TsneX", "QLMRN_TsneY", "QLMRN_HsneDataX", "QLMRN_HsneDataY"},
                                                 0.0f);
    const std::vector<bool> cases[][2] = {
        {{}, {true, true, true, false, false, false, false}},
        {{false, true, true, true, false, true, false}, {false, true, true, true, false, true, false}},
    };
    for (const auto& c : cases) {
        MCV_Settings::Instance()->setDefaultMarkers(c[0]);
        MCV_TsneAnalysis second;
        second.init(nullptr, "second");
        UI_TsneSettingsWidget secondPanel(nullptr, &second);
        const auto* list = secondPanel.findChild<UI_MarkerSelectionWidget*>();
        std::vector<bool> shown;
        for (QCheckBox* box : list->checkBoxes()) shown.push_back(box->isChecked());
        EXPECT_EQ(shown, c[1]) << c[0].size();
        EXPECT_EQ(second.markerStates(), c[1]) << "what the analysis embeds";
        if (c[0].empty()) {
            list->checkBoxes()[3]->click();
            EXPECT_EQ(*second.selectedMarkers(), (std::vector<unsigned>{0, 1, 2, 3})) << "the user can check them";
        }
    }
}

}  // namespace
