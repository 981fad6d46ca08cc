// The marker check list, its defaults and the files it writes and loads.
#include "app/ShellTestSupport.h"
#include "support/DataFixture.h"
#include "support/WidgetFinders.h"

#include "data/MCV_Settings.h"
#include "ui/datapanels/UI_MarkerSelectionWidget.h"

#include <QCheckBox>
#include <QMessageBox>
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

    FcsTestFile::writeBytes(dir.filePath("sel.txt").toStdString(), "0\n1 0\n");
    UI_ModalDialogs::answerFiles({dir.filePath("sel.txt")});
    QTest::mouseClick(button(panel, "Load Selection"), Qt::LeftButton);  // rebuilds inside its own click
    EXPECT_EQ(UI_ModalDialogs::lastFilter(), "Text Files (*.txt)");
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

// "Load Selection" takes only a file of 0/1 flags, at least one per marker
// the files bring (a further one is the sample tag's). Anything else is
// refused in a box that says why and changes nothing: neither the boxes, the
// bound analysis nor the stored default.
TEST_F(MarkerPanel, LoadSelectionTakesTheFilesMarkersFlagsAndRefusesAnythingElseWithItsReason) {
    const struct {
        const char* name;
        QByteArray bytes;
        const char* reason;  // empty: taken
        std::vector<bool> states;
    } cases[] = {
        {"words.txt", "hello world 7 -3", "is not a marker file", {true, false, true}},
        {"numbers.txt", "1 0 7", "is not a marker file", {true, false, true}},
        {"shorter.txt", "0 1 ", "holds 2 flags for 3 markers", {true, false, true}},
        {"empty.txt", "", "holds 0 flags for 3 markers", {true, false, true}},
        {"valid.txt", "0\r\n1\r\n1\r\n", "", {false, true, true}},
        {"longer.txt", "1 1 0 1 0 0 ", "", {true, true, false}},
    };
    TestAnalysis analysis(1, "a");
    MCV_Settings::Instance()->setDefaultMarkers({true, false, true});
    UI_MarkerSelectionWidget panel(nullptr, 2);
    panel.refreshWidget(&analysis, false);
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(c.name);
        FcsTestFile::writeBytes(path.toStdString(), c.bytes.toStdString());
        UI_ModalDialogs::answerFiles({path});
        QTest::mouseClick(button(panel, "Load Selection"), Qt::LeftButton);
        runDeferredDeletes();
        const std::vector<UI_ModalDialogs::Message> shown = UI_ModalDialogs::takeMessages();
        if (*c.reason) {
            ASSERT_EQ(shown.size(), 1u);
            EXPECT_EQ(shown[0].icon, QMessageBox::Warning);
            EXPECT_TRUE(shown[0].text.startsWith(path + " " + c.reason)) << shown[0].text.toStdString();
            EXPECT_TRUE(shown[0].text.endsWith("The marker selection is unchanged.")) << shown[0].text.toStdString();
        } else {
            EXPECT_TRUE(shown.empty());
        }
        EXPECT_EQ(panel.markerSelectionState(), c.states);
        EXPECT_EQ(analysis.markerStates(), c.states);
        EXPECT_EQ(MCV_Settings::Instance()->defaultMarkers, c.states);
        std::vector<bool> ticked;
        for (QCheckBox* box : panel.checkBoxes()) ticked.push_back(box->isChecked());
        EXPECT_EQ(ticked, c.states);
    }
}

// Beside the loaded files, whatever folder the file dialogs remember; with
// the sample tag added, its flag follows the markers' and the variables the
// program added otherwise get none.
TEST_F(MarkerPanel, SetDefaultWritesTheExactBytesBesideTheLoadedData) {
    MCV_Settings::Instance()->setDefaultMarkers({true, false, true});
    UI_MarkerSelectionWidget panel(nullptr, 4);
    panel.refreshWidget(false);
    MCV_Settings::Instance()->setDefaultMarkers({});
    QTemporaryDir remembered;
    QSettings().setValue("dataDefaultFilePath", remembered.path());
    button(panel, "Set Default")->click();
    EXPECT_FALSE(QFile::exists(remembered.filePath("QLMRN_DefaultMarkers.txt")));
    EXPECT_EQ(bytes(dir.filePath("QLMRN_DefaultMarkers.txt")), QByteArray("1 0 1 "));
    EXPECT_EQ(MCV_Settings::Instance()->defaultMarkers, (std::vector<bool>{true, false, true}));

    MCV_CytometryData::Instance()->addDimensions({"QLMRN_TsneX"}, 0.0f);
    MCV_CytometryData::Instance()->addDimensions({"QLMRN_ST"}, -1.0f);
    panel.refreshWidget(false);
    ASSERT_EQ(panel.checkBoxes().size(), 5u);
    panel.checkBoxes()[3]->click();
    panel.checkBoxes()[4]->click();
    button(panel, "Set Default")->click();
    EXPECT_EQ(bytes(dir.filePath("QLMRN_DefaultMarkers.txt")), QByteArray("1 0 1 1 "));
    EXPECT_EQ(MCV_Settings::Instance()->defaultMarkers, (std::vector<bool>{true, false, true, true, true}))
        << "the stored default of this session has every variable's flag";
}

}  // namespace
