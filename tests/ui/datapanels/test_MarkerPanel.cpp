// The marker check list, its defaults and the files it writes and loads.
#include "app/ShellTestSupport.h"
#include "support/DataFixture.h"
#include "support/WidgetFinders.h"

#include "data/MCV_Settings.h"
#include "ui/datapanels/UI_MarkerSelectionWidget.h"

#include <QCheckBox>
#include <QPushButton>
#include <QSettings>
#include <QTest>

namespace {

// Markers CD3, CD4, CD8.
class MarkerPanel : public viewtest::DataFixture {
protected:
    void TearDown() override {
        MCV_Settings::Instance()->setDefaultMarkers({});
        DataFixture::TearDown();
    }
    // The current button of that text (earlier builds' go deferred).
    static QPushButton* button(UI_MarkerSelectionWidget& panel, const QString& text) {
        runDeferredDeletes();
        return childWithText<QPushButton>(&panel, text);
    }
};

TEST_F(MarkerPanel, DefaultsDecideInitialStatesAndLongerOrShorterDefaultsAreFitted) {
    const std::vector<bool> cases[][2] = {
        {{}, {true, true, true}},
        {{true, false}, {true, false, false}},
        {{false, false, true, true, true}, {false, false, true}},
    };
    for (const auto& c : cases) {
        MCV_Settings::Instance()->setDefaultMarkers(c[0]);
        UI_MarkerSelectionWidget panel(nullptr, 2);
        panel.refreshWidget(true);
        EXPECT_EQ(panel.markerSelectionState(), c[1]) << c[0].size();
        EXPECT_EQ(panel.checkBoxes()[1]->isChecked(), c[1][1]) << c[0].size();
        EXPECT_EQ(panel.selectedMarkers().front(), -1) << "the Sample box comes first";
        EXPECT_EQ(MCV_Settings::Instance()->defaultMarkers, c[0]) << "the stored default is left alone";
    }
}

TEST_F(MarkerPanel, BoundAnalysisFollowsClicksInverseAndLoadedSelections) {
    TestAnalysis analysis(1, "a");
    MCV_Settings::Instance()->setDefaultMarkers({true, false, true});
    UI_MarkerSelectionWidget panel(nullptr, 2);
    panel.refreshWidget(&analysis, true);
    EXPECT_EQ(analysis.markerStates(), (std::vector<bool>{true, false, true}));
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    panel.checkBoxes()[0]->click();
    EXPECT_EQ(analysis.markerStates(), (std::vector<bool>{false, false, true}));
    QTest::mouseClick(button(panel, "Inverse Markers"), Qt::LeftButton);
    EXPECT_EQ(analysis.markerStates(), (std::vector<bool>{true, true, false}));
    EXPECT_EQ(panel.markerSelectionState(), analysis.markerStates());
    EXPECT_FALSE(panel.sampleBox()->isChecked()) << "the Sample box flips too";
    EXPECT_EQ(panel.selectedMarkers(), (std::vector<int>{0, 1}));
    EXPECT_EQ(*analysis.selectedMarkers(), (std::vector<unsigned>{0, 1}));

    FcsTestFile::writeBytes(dir.filePath("sel.txt").toStdString(), "0\n7 0\n1 x 1");
    UI_ModalDialogs::answerFiles({dir.filePath("sel.txt")});
    QTest::mouseClick(button(panel, "Load Selection"), Qt::LeftButton);  // rebuilds inside its own click
    EXPECT_EQ(UI_ModalDialogs::lastFilter(), "Text Files (*.txt)");
    // Read up to the first non-number; the fourth flag is dropped.
    const std::vector<bool> expected{false, true, false};
    EXPECT_EQ(panel.markerSelectionState(), expected);
    EXPECT_EQ(MCV_Settings::Instance()->defaultMarkers, expected);
    EXPECT_EQ(analysis.markerStates(), expected);
    EXPECT_TRUE(panel.checkBoxes().at(1)->isChecked());
    // A cancelled choice changes nothing but still rebuilds.
    QTest::mouseClick(button(panel, "Load Selection"), Qt::LeftButton);
    EXPECT_EQ(panel.markerSelectionState(), expected);
    EXPECT_EQ(UI_ModalDialogs::unanswered(), 1);
}

TEST_F(MarkerPanel, SetDefaultWritesTheExactBytesBesideTheDataOrNothingWithoutAFolder) {
    MCV_Settings::Instance()->setDefaultMarkers({true, false, true});
    UI_MarkerSelectionWidget panel(nullptr, 4);
    panel.refreshWidget(false);
    MCV_Settings::Instance()->setDefaultMarkers({});
    QSettings().remove("dataDefaultFilePath");
    button(panel, "Set Default")->click();
    EXPECT_FALSE(QFile::exists("/QLMRN_DefaultMarkers.txt"));
    EXPECT_EQ(MCV_Settings::Instance()->defaultMarkers, (std::vector<bool>{true, false, true}));

    QSettings().setValue("dataDefaultFilePath", dir.path());
    button(panel, "Set Default")->click();
    EXPECT_EQ(bytes(dir.filePath("QLMRN_DefaultMarkers.txt")), QByteArray("1 0 1 "));
}

}  // namespace
