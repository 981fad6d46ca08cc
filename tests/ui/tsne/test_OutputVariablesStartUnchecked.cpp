// An analysis' marker list leaves the variables analyses write out of its
// inputs unless the user or a stored default puts them in: a second A-tSNE
// must not embed the first one's coordinates.
#include "support/DataFixture.h"

#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "data/MCV_FcsHeader.h"
#include "data/MCV_Settings.h"
#include "ui/datapanels/UI_MarkerSelectionWidget.h"
#include "ui/tsne/UI_TsneSettingsWidget.h"

#include <QCheckBox>
#include <QTest>

#include <memory>

namespace {

using namespace viewtest;

class OutputVariablesStartUnchecked : public DataFixture {
protected:
    void SetUp() override {
        DataFixture::SetUp();
        MCV_CytometryData::Instance()->addDimensions(
            {"QLMRN_TsneX", "QLMRN_TsneY", "QLMRN_HsneDataX", "QLMRN_HsneDataY"}, 0.0f);
    }
    void TearDown() override {
        MCV_Settings::Instance()->setDefaultMarkers({});
        DataFixture::TearDown();
    }
};

TEST_F(OutputVariablesStartUnchecked, UnlessAStoredDefaultChoosesThem) {
    // Markers: CD3, CD4, CD8, then the four output variables.
    const struct {
        std::vector<bool> stored;
        std::vector<bool> expected;
    } cases[] = {
        {{}, {true, true, true, false, false, false, false}},
        {{false, true, true, true, false, true, false}, {false, true, true, true, false, true, false}},
    };
    for (const auto& c : cases) {
        MCV_Settings::Instance()->setDefaultMarkers(c.stored);
        MCV_TsneAnalysis tsne;
        tsne.init(nullptr, "second");
        UI_TsneSettingsWidget panel(nullptr, &tsne);
        const UI_MarkerSelectionWidget* list = panel.findChild<UI_MarkerSelectionWidget*>();
        ASSERT_NE(list, nullptr);
        std::vector<bool> shown;
        for (QCheckBox* box : list->checkBoxes()) shown.push_back(box->isChecked());
        EXPECT_EQ(shown, c.expected) << c.stored.size();
        EXPECT_EQ(tsne.markerStates(), c.expected) << "what the analysis embeds";
    }
}

TEST_F(OutputVariablesStartUnchecked, TheUserCanStillCheckThem) {
    MCV_TsneAnalysis tsne;
    tsne.init(nullptr, "again");
    UI_TsneSettingsWidget panel(nullptr, &tsne);
    UI_MarkerSelectionWidget* list = panel.findChild<UI_MarkerSelectionWidget*>();
    ASSERT_NE(list, nullptr);
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    const int x = MCV_CytometryData::Instance()->combinedHeader()->variableIdx("QLMRN_TsneX");
    QCheckBox* box = list->checkBoxes().at(static_cast<size_t>(x));
    box->click();
    EXPECT_TRUE(box->isChecked());
    EXPECT_EQ(*tsne.selectedMarkers(), (std::vector<unsigned>{0, 1, 2, static_cast<unsigned>(x)}));
}

}  // namespace
